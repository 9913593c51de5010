#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

#include "platform/errors.h"

namespace cu::win32 {

void Win32Clipboard::SetText(const std::string& text) {
  // Put as CF_UNICODETEXT, converted from the process code page (UTF-8 by
  // the manifest): the system converts CF_TEXT with the clipboard locale's
  // legacy code page instead, which would garble every character beyond
  // ASCII for the program that pastes. The system offers CF_TEXT itself.
  std::wstring wide;
  if (!text.empty()) {
    const int size = static_cast<int>(text.size());
    const int chars = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (chars <= 0) return;
    wide.resize(static_cast<std::size_t>(chars));
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), chars);
  }
  // The block is filled before the clipboard is opened and emptied, so a
  // failing allocation leaves the clipboard as it was.
  const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
  UniqueHglobal block(::GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes));
  if (!block) return;
  {
    void* memory = ::GlobalLock(block.get());
    if (!memory) return;
    std::memcpy(memory, wide.c_str(), bytes);
    ::GlobalUnlock(block.get());
  }

  ClipboardOpen clipboard(static_cast<HWND>(owner_.hwnd));
  if (!clipboard.opened()) throw AppError("Cannot open clipboard");
  ::EmptyClipboard();
  // Once handed over the block belongs to the clipboard; otherwise it is
  // freed here.
  if (::SetClipboardData(CF_UNICODETEXT, block.get()) != nullptr) (void)block.release();
}

}  // namespace cu::win32
