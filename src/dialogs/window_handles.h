#pragma once

#include <windows.h>

#include "platform/win32/close_with.h"

namespace cu::dialogs {

// Owners of what the window layer creates: GDI objects, menus, an object
// selected into a device context, and a paint session.
using UniqueFont = UniqueHandle<win32::CloseWith<HFONT, &::DeleteObject>>;
using UniqueBrush = UniqueHandle<win32::CloseWith<HBRUSH, &::DeleteObject>>;
using UniqueMenu = UniqueHandle<win32::CloseWith<HMENU, &::DestroyMenu>>;

// An object selected into a device context; closing selects the previous
// object back.
struct GdiSelection {
  HDC dc = nullptr;
  HGDIOBJ previous = nullptr;
  bool operator==(const GdiSelection&) const = default;
};
struct GdiSelectionTraits {
  using Handle = GdiSelection;
  static Handle Invalid() { return {}; }
  static void Close(Handle selection) { ::SelectObject(selection.dc, selection.previous); }
};
using UniqueSelection = UniqueHandle<GdiSelectionTraits>;

// Selects `object` into `dc` until the owner goes; nothing for a null object.
inline UniqueSelection SelectInto(HDC dc, HGDIOBJ object) {
  if (!object) return UniqueSelection();
  return UniqueSelection(GdiSelection{dc, ::SelectObject(dc, object)});
}

// A window's paint session between BeginPaint and EndPaint.
struct PaintSession {
  HWND hwnd = nullptr;
  const PAINTSTRUCT* paint = nullptr;
  bool operator==(const PaintSession&) const = default;
};
struct PaintTraits {
  using Handle = PaintSession;
  static Handle Invalid() { return {}; }
  static void Close(Handle session) { ::EndPaint(session.hwnd, session.paint); }
};
using UniquePaint = UniqueHandle<PaintTraits>;

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
