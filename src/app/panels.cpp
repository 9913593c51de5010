#include "app/panels.h"

#include <commctrl.h>

#include "dialogs/window_handles.h"

namespace cu {

namespace {

constexpr COLORREF kNavy = RGB(0, 0, 128);

// Pages and panels pass what their controls report up to the main window.
LRESULT CALLBACK ForwardingProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_CONTEXTMENU:
      return SendMessageA(GetParent(hwnd), message, wparam, lparam);
    default:
      break;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

void PaintPanel(HWND hwnd, bool centred) {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(hwnd, &paint);
  const dialogs::UniquePaint painting(dialogs::PaintSession{hwnd, &paint});
  RECT rect{};
  GetClientRect(hwnd, &rect);
  FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
  if (!centred) DrawEdge(dc, &rect, BDR_SUNKENOUTER, BF_RECT);
  char text[1024] = {};
  GetWindowTextA(hwnd, text, sizeof text);
  const auto font = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
  const dialogs::UniqueSelection selected = dialogs::SelectInto(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, centred ? kNavy : GetSysColor(COLOR_WINDOWTEXT));
  if (!centred) InflateRect(&rect, -4, 0);
  DrawTextA(dc, text, -1, &rect,
            (centred ? DT_CENTER : DT_LEFT) | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, bool centred) {
  switch (message) {
    case WM_PAINT:
      PaintPanel(hwnd, centred);
      return 0;
    case WM_SETFONT:
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, static_cast<LONG_PTR>(wparam));
      return 0;
    case WM_GETFONT:
      return GetWindowLongPtrA(hwnd, GWLP_USERDATA);
    case WM_SETTEXT: {
      const LRESULT result = DefWindowProcA(hwnd, message, wparam, lparam);
      InvalidateRect(hwnd, nullptr, TRUE);
      return result;
    }
    case WM_ERASEBKGND:
      return 1;
    default:
      break;
  }
  return ForwardingProc(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK CentredPanelProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return PanelProc(hwnd, message, wparam, lparam, true);
}

LRESULT CALLBACK PathPanelProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return PanelProc(hwnd, message, wparam, lparam, false);
}

LRESULT CALLBACK ToggleProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
  if (message == WM_SETFOCUS) {
    HWND previous = reinterpret_cast<HWND>(wparam);
    if (previous && IsWindow(previous) && previous != hwnd) {
      SetFocus(previous);
      return 0;
    }
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

}  // namespace

bool RegisterPanelClasses(HINSTANCE instance) {
  WNDCLASSEXA page{};
  page.cbSize = sizeof page;
  page.lpfnWndProc = ForwardingProc;
  page.hInstance = instance;
  page.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  page.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  page.lpszClassName = kPageClass;
  WNDCLASSEXA panel = page;
  panel.lpfnWndProc = CentredPanelProc;
  panel.lpszClassName = kPanelClass;
  WNDCLASSEXA path_panel = page;
  path_panel.lpfnWndProc = PathPanelProc;
  path_panel.lpszClassName = kPathPanelClass;
  return RegisterClassExA(&page) && RegisterClassExA(&panel) && RegisterClassExA(&path_panel);
}

void KeepFocusOnClick(HWND toggle) { SetWindowSubclass(toggle, ToggleProc, 1, 0); }

void DrawListRow(const DRAWITEMSTRUCT& item, const RowDrawing& drawing) {
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  HDC dc = item.hDC;
  COLORREF fill = GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
  if (drawing.fill_colour) fill = static_cast<COLORREF>(*drawing.fill_colour);
  COLORREF text = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
  if (drawing.text_colour) text = static_cast<COLORREF>(*drawing.text_colour);
  {
    const dialogs::UniqueBrush brush(CreateSolidBrush(fill));
    FillRect(dc, &item.rcItem, brush.get());
  }
  SetTextColor(dc, text);
  SetBkColor(dc, fill);
  SetBkMode(dc, OPAQUE);
  TextOutA(dc, item.rcItem.left + 1, item.rcItem.top + 1, drawing.name.c_str(),
           static_cast<int>(drawing.name.size()));
  if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &item.rcItem);
}

}  // namespace cu
