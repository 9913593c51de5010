#pragma once

#include <windows.h>

#include <utility>

namespace cu::dialogs {

// Owns a GDI object (font, brush) and deletes it.
template <typename T>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(T handle) : handle_(handle) {}
  ~GdiObject() { reset(); }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  GdiObject(GdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  T get() const { return handle_; }
  void reset(T handle = nullptr) {
    if (handle_) DeleteObject(handle_);
    handle_ = handle;
  }

 private:
  T handle_ = nullptr;
};

using Font = GdiObject<HFONT>;

// A font of `pixels` character height, scaled from 96 dots per inch.
inline HFONT MakeFont(const char* face, int pixels, UINT dpi, bool bold = false) {
  return CreateFontA(-MulDiv(pixels, static_cast<int>(dpi), 96), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                     FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

// The dots per inch of a window, 96 where the system cannot tell. Looked up
// at run time: systems before Windows 10 have no per-window DPI call, and a
// static import of it would stop the program from loading there.
inline UINT WindowDpi(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get_dpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  UINT dpi = 0;
  if (hwnd && get_dpi) dpi = get_dpi(hwnd);
  if (!dpi) {
    HDC screen = GetDC(nullptr);
    dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
  }
  return dpi ? dpi : 96;
}

inline int Scale(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), 96); }

}  // namespace cu::dialogs
