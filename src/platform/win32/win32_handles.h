#pragma once

// Owners for the Win32 handles the platform layer opens (one UniqueHandle
// alias per kind), and the few helpers its parts share. Used by the layer,
// the window code and the Windows tests: includes <windows.h>.

#include <windows.h>
#include <wincrypt.h>
#include <objbase.h>
#include <oleauto.h>
#include <winsvc.h>

#include "platform/win32/close_with.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// <windows.h> maps these names to their "A"/"W" functions, which would also
// rename the platform interface's methods of the same names. This layer calls
// the "A" functions by their full names.
#undef DeleteFile
#undef RemoveDirectory
#undef SearchPath
#undef ExpandEnvironmentStrings
#undef OpenService

namespace cu {
struct LocalTime;  // platform/platform.h
}  // namespace cu

namespace cu::win32 {

using UniqueHkey = UniqueHandle<CloseWith<HKEY, &::RegCloseKey>>;
using UniqueFind = UniqueHandle<CloseWith<HANDLE, &::FindClose, true>>;
using UniqueFile = UniqueHandle<CloseWith<HANDLE, &::CloseHandle, true>>;
using UniqueSc = UniqueHandle<CloseWith<SC_HANDLE, &::CloseServiceHandle>>;
using UniqueHglobal = UniqueHandle<CloseWith<HGLOBAL, &::GlobalFree>>;
using UniqueHlocal = UniqueHandle<CloseWith<HLOCAL, &::LocalFree>>;
using UniqueBstr = UniqueHandle<CloseWith<BSTR, &::SysFreeString>>;

inline BOOL CloseCertStore(HCERTSTORE store) { return ::CertCloseStore(store, 0); }
using UniqueCertStore = UniqueHandle<CloseWith<HCERTSTORE, &CloseCertStore>>;

// The clipboard opened by this thread; closed by the destructor.
class ClipboardOpen {
 public:
  // Check opened() before use: opening fails while another window holds it.
  explicit ClipboardOpen(HWND owner) : opened_(::OpenClipboard(owner) != FALSE) {}
  ~ClipboardOpen() {
    if (opened_) ::CloseClipboard();
  }
  ClipboardOpen(const ClipboardOpen&) = delete;
  ClipboardOpen& operator=(const ClipboardOpen&) = delete;
  bool opened() const { return opened_; }

 private:
  bool opened_;
};

// A COM interface pointer, released by the destructor.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // For calls that hand out a reference: CoCreateInstance, QueryInterface,
  // an interface's out parameter, or one returned (assigned through it).
  void** receive() {
    reset();
    return reinterpret_cast<void**>(&ptr_);
  }
  void reset() {
    if (ptr_) std::exchange(ptr_, nullptr)->Release();
  }

 private:
  T* ptr_ = nullptr;
};

// How a text-returning call reports its result count.
enum class CountStyle {
  // Success gives the length without the NUL (always below the buffer size);
  // a buffer too small gives the size needed with the NUL
  // (GetWindowsDirectoryA, GetTempPathA, SearchPathA).
  kLengthOrNeeded,
  // Success and failure both give the size needed with the NUL
  // (ExpandEnvironmentStringsA). One spare byte is kept, as the "A" form may
  // need it.
  kNeededAlways,
};

// Calls `call(buffer, size)` with a zeroed buffer of `initial` bytes and, while
// the call reports that the result does not fit, again with the size it asked
// for. The text is taken only from a buffer the call said it filled, up to its
// first NUL. nullopt when the call fails (returns 0).
template <typename Call>
std::optional<std::string> FetchText(DWORD initial, CountStyle style, Call call) {
  // Far beyond any path or environment text (32 K UTF-16 units, 3 bytes each).
  constexpr std::size_t kLimit = 1u << 20;
  std::vector<char> buffer(initial);
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::fill(buffer.begin(), buffer.end(), '\0');
    const DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::nullopt;
    // Both styles: a result below the buffer size was written with its NUL.
    // A positive count with nothing written (only the empty expansion writes
    // nothing) is taken as a call that wanted more room than it said.
    const bool wrote = buffer[0] != '\0' || (style == CountStyle::kNeededAlways && n == 1);
    if (n < buffer.size() && wrote) {
      return std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
    }
    // The "A" functions may report the need in UTF-16 units, below the bytes a
    // multi-byte code page takes; never ask for less than twice as much again.
    std::size_t next = style == CountStyle::kLengthOrNeeded ? n : std::size_t{n} + 1;
    if (next <= buffer.size()) next = buffer.size() * 2;
    if (next > kLimit) return std::nullopt;
    buffer.assign(next, '\0');
  }
  return std::nullopt;
}

// The system's message text for an error or HRESULT code, without the
// trailing line break; "System error NNN" (hexadecimal for HRESULTs) when the
// system has no text for it.
std::string SystemMessage(DWORD code);

// ANSI text converted to UTF-16, for COM.
std::wstring ToWide(const std::string& text);
// UTF-16 text (from COM, or a name the system gave) in the process code page,
// as the "A" functions give text.
std::string ToCodePage(const wchar_t* text, std::size_t length);

// The names of a list in which each name ends with a NUL and one more NUL
// ends the list (a service's dependencies). Never reads at or beyond `end`;
// a list cut off by `end` gives the names before the cut and the cut name.
std::vector<std::string> SplitNulList(const char* list, const char* end);

// A last-write time as the file search reports it: local time at the current
// bias, seconds rounded down to even, the DOS epoch for a time the system
// cannot express.
cu::LocalTime SearchTimeOf(const FILETIME& utc);

}  // namespace cu::win32
