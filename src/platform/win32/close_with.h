#pragma once

// The traits that make UniqueHandle an owner of a Win32 handle closed by one
// call. Kept out of win32_handles.h, which undefines some <windows.h> names,
// so that the window code can use it too.

#include <windows.h>

#include "platform/cleanup.h"

namespace cu::win32 {

using cu::ScopeExit;
using cu::UniqueHandle;

// Traits for a Win32 handle closed by one call: `kClose(handle)` unless the
// handle is null (or INVALID_HANDLE_VALUE with `kMinusOneInvalid`). Closing
// keeps the thread's last error, so the error of a failed call survives the
// clean-up of the handles around it.
template <typename H, auto kClose, bool kMinusOneInvalid = false>
struct CloseWith {
  using Handle = H;
  static Handle Invalid() {
    if constexpr (kMinusOneInvalid) {
      return INVALID_HANDLE_VALUE;
    } else {
      return nullptr;
    }
  }
  static void Close(Handle handle) {
    const DWORD error = ::GetLastError();
    (void)kClose(handle);
    ::SetLastError(error);
  }
};

}  // namespace cu::win32
