#pragma once

// Keyboard-focus helpers shared by the URL and Shell folders window tests.

#include <windows.h>

#include "ui_driver.h"

namespace cu::ui_test {

// A real left click at a point of a window's client area.
inline void ClickAt(HWND window, POINT point) {
  ClientToScreen(window, &point);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = static_cast<LONG>((point.x * 65535 + GetSystemMetrics(SM_CXSCREEN) / 2) /
                                  (GetSystemMetrics(SM_CXSCREEN) - 1));
  input.mi.dy = static_cast<LONG>((point.y * 65535 + GetSystemMetrics(SM_CYSCREEN) / 2) /
                                  (GetSystemMetrics(SM_CYSCREEN) - 1));
  // Every event carries the position: under Wine a press sent without one
  // shortly after a move was seen to land where the pointer had been before.
  const DWORD at = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  INPUT inputs[3] = {input, input, input};
  inputs[0].mi.dwFlags = at;
  inputs[1].mi.dwFlags = at | MOUSEEVENTF_LEFTDOWN;
  inputs[2].mi.dwFlags = at | MOUSEEVENTF_LEFTUP;
  SendInput(1, &inputs[0], sizeof(INPUT));
  WaitFor(
      [&] {
        POINT now{};
        return GetCursorPos(&now) && now.x == point.x && now.y == point.y;
      },
      1000);
  Sleep(100);
  SendInput(2, &inputs[1], sizeof(INPUT));
  Sleep(200);
}

// A real left click in the middle of a window, a button for example.
inline void ClickCentre(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  ClickAt(window, POINT{rect.right / 2, rect.bottom / 2});
}

// A real left click on the list's selected row (or its top when nothing is
// selected), as a user gives the list the focus back without changing the
// selection.
inline void ClickSelectedRow(HWND list) {
  const LRESULT selection = SendMessageW(list, LB_GETCURSEL, 0, 0);
  const LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
  const LRESULT height = SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
  POINT point{8, 4};
  if (selection >= 0 && selection >= top && height > 0) {
    point.y = static_cast<LONG>((selection - top) * height + height / 2);
  }
  ClickAt(list, point);
}

// After a dialog of the program closed, the list the user was working in
// should have the keyboard focus again. Checks that; when it does not, gives
// the focus back with a click so the following steps still test their own
// behaviour.
inline bool ListHasFocusAgain(AppProcess& app, HWND list) {
  const bool kept = WaitFor([&] { return FocusOf(app.main()) == list; }, 1500);
  if (!kept) {
    app.Foreground();
    ClickSelectedRow(list);
    WaitFor([&] { return FocusOf(app.main()) == list; }, 3000);
  }
  return kept;
}

}  // namespace cu::ui_test
