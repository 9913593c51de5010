#include "app/page_view.h"

#include <commctrl.h>

#include "app/panels.h"
#include "dialogs/window_handles.h"

namespace cu {

namespace {

void SetText(HWND hwnd, const std::string& text) {
  char current[1024] = {};
  GetWindowTextA(hwnd, current, sizeof current);
  if (text != current) SetWindowTextA(hwnd, text.c_str());
}

void AddTooltip(HWND tooltip, HWND owner, HWND control, const std::string& text) {
  TTTOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<char*>(text.c_str());
  SendMessageA(tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

HMENU ControlId(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

void SetFont(HWND control, HFONT font) {
  if (control) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

}  // namespace

void PageView::Create(HWND parent, HINSTANCE instance, HWND tooltip, int list_id) {
  page_ = CreateWindowExA(WS_EX_CONTROLPARENT, kPageClass, desc_.caption.c_str(),
                          WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent, nullptr, instance,
                          nullptr);
  panel_ = CreateWindowExA(WS_EX_CONTROLPARENT, kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0,
                           0, page_, nullptr, instance, nullptr);

  DWORD list_style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                     LBS_HASSTRINGS;
  if (desc_.draw_row) list_style |= LBS_OWNERDRAWFIXED;
  list_ = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTBOXA, "", list_style, 0, 0, 0, 0, page_, ControlId(list_id),
                          instance, nullptr);

  for (const PageButton& desc : desc_.buttons) {
    // A button whose state the presenter decides waits for the first refresh.
    const DWORD disabled = desc.enabled ? WS_DISABLED : 0;
    HWND button = CreateWindowExA(0, WC_BUTTONA, desc.caption.c_str(),
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | disabled, 0, 0, 0, 0, panel_,
                                  ControlId(desc.command), instance, nullptr);
    buttons_.push_back(button);
    AddTooltip(tooltip, parent, button, desc.hint);
  }
  if (desc_.path_caption) {
    path_panel_ = CreateWindowExA(0, kPathPanelClass, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, page_, nullptr,
                                  instance, nullptr);
  }
  if (desc_.result_caption) {
    result_line_ = CreateWindowExA(0, WC_STATICA, "", WS_CHILD | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_CENTERIMAGE,
                                   0, 0, 0, 0, page_, nullptr, instance, nullptr);
  }
  if (desc_.toggle_changed) {
    toggle_ = CreateWindowExA(0, WC_BUTTONA, "", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX | BS_PUSHLIKE | BS_FLAT, 0,
                              0, 0, 0, panel_, ControlId(desc_.toggle_command), instance, nullptr);
    KeepFocusOnClick(toggle_);
    AddTooltip(tooltip, parent, toggle_, desc_.toggle_hint);
  }
}

void PageView::SetFonts(const PageFonts& fonts, UINT dpi) {
  SetFont(list_, fonts.list);
  SendMessageA(list_, LB_SETITEMHEIGHT, 0, dialogs::Scale(15, dpi));
  SetFont(panel_, fonts.panel);
  for (HWND button : buttons_) SetFont(button, fonts.button);
  SetFont(path_panel_, fonts.panel);
  SetFont(result_line_, fonts.list);
  SetFont(toggle_, fonts.panel);
}

void PageView::Layout(const RECT& display, UINT dpi) {
  const auto s = [dpi](int value) { return dialogs::Scale(value, dpi); };
  const int width = display.right - display.left;
  const int height = display.bottom - display.top;
  MoveWindow(page_, display.left, display.top, width, height, TRUE);
  display_ = display;
  dpi_ = dpi;
  const int bottom_height = path_panel_ ? s(29) : 0;
  // The result line takes its height from the list while it shows.
  const bool result_shown = ResultLineShown();
  const int result_height = result_shown ? s(20) : 0;
  const int body = height - bottom_height - result_height;
  if (result_line_) MoveWindow(result_line_, s(4), body, width - s(8), result_height, TRUE);
  MoveWindow(panel_, 0, 0, s(51), body, TRUE);
  MoveWindow(list_, s(51), 0, width - s(51), body, TRUE);
  // Below the result line, never under it: the path stays readable.
  if (path_panel_) MoveWindow(path_panel_, 0, body + result_height, width, bottom_height, TRUE);
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    const PageButton& desc = desc_.buttons[i];
    MoveWindow(buttons_[i], s(6), s(desc.y), s(37), s(desc.height), TRUE);
  }
  if (toggle_) MoveWindow(toggle_, 0, s(194), s(51), s(37), TRUE);
}

bool PageView::ResultLineShown() const {
  // Its own style: the page itself may be hidden.
  return result_line_ && (GetWindowLongPtrA(result_line_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void PageView::Show(bool visible) {
  if (visible) {
    SetWindowPos(page_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  } else {
    ShowWindow(page_, SW_HIDE);
  }
}

void PageView::Refresh() {
  std::vector<std::string> rows = desc_.row_texts();
  if (shown_rows_ != rows) {
    SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list_, LB_RESETCONTENT, 0, 0);
    SendMessageA(list_, LB_INITSTORAGE, rows.size(), rows.size() * 32);
    for (const std::string& row : rows) {
      SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
    }
    SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
    shown_rows_ = std::move(rows);
  }
  const int selection = desc_.selection();
  if (static_cast<int>(SendMessageA(list_, LB_GETCURSEL, 0, 0)) != selection) {
    SendMessageA(list_, LB_SETCURSEL, static_cast<WPARAM>(selection), 0);
  }
  if (desc_.count_caption) SetText(panel_, desc_.count_caption());
  if (path_panel_) SetText(path_panel_, desc_.path_caption());
  if (result_line_) {
    const std::string result = desc_.result_caption();
    SetText(result_line_, result);
    const bool show = !result.empty();
    if (show != ResultLineShown()) {
      ShowWindow(result_line_, show ? SW_SHOWNA : SW_HIDE);
      Layout(display_, dpi_);
    }
  }
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    if (desc_.buttons[i].enabled) EnableWindow(buttons_[i], desc_.buttons[i].enabled() ? TRUE : FALSE);
  }
  if (toggle_) SetText(toggle_, desc_.toggle_caption());
  // Owner-drawn rows take their colours from the presenter's state.
  if (desc_.draw_row) InvalidateRect(list_, nullptr, FALSE);
}

}  // namespace cu
