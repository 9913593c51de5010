#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

#include "platform/errors.h"

namespace cu::win32 {

void Win32Clipboard::SetText(const std::string& text) {
  // The block is filled before the clipboard is opened and emptied, so a
  // failing allocation leaves the clipboard as it was.
  UniqueHglobal block(::GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1));
  if (!block) return;
  {
    void* memory = ::GlobalLock(block.get());
    if (!memory) return;
    std::memcpy(memory, text.c_str(), text.size() + 1);
    ::GlobalUnlock(block.get());
  }

  ClipboardOpen clipboard(static_cast<HWND>(owner_.hwnd));
  if (!clipboard.opened()) throw AppError("Cannot open clipboard");
  ::EmptyClipboard();
  // Once handed over the block belongs to the clipboard; otherwise it is
  // freed here.
  if (::SetClipboardData(CF_TEXT, block.get()) != nullptr) (void)block.release();
}

}  // namespace cu::win32
