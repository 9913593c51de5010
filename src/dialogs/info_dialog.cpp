#include "dialogs/info_dialog.h"

#include <exception>
#include <string>

#include "dialogs/dialog_ids.h"
#include "dialogs/window_handles.h"

namespace cu::dialogs {

namespace {

struct InfoState {
  const InfoRequest* request = nullptr;
  UniqueFont memo_font;
  UniqueFont button_font;
  UniqueFont hint_font;
  HHOOK hook = nullptr;
  HWND dialog = nullptr;
  int choice_selected = -1;   // the list's item the report stands for
  bool choosing = false;      // a pick is being handled (its question is up)
};

// One Info dialog exists at a time (it is modal), so the keyboard hook can
// find its state here.
InfoState* g_active = nullptr;

bool IsCtrlOnly() {
  return (GetKeyState(VK_CONTROL) & 0x8000) && !(GetKeyState(VK_SHIFT) & 0x8000) &&
         !(GetKeyState(VK_MENU) & 0x8000);
}

std::string WindowText(HWND hwnd) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(hwnd)) + 1, '\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The dialog sees every key before its controls: Ctrl+Del (Ctrl alone)
// aborts only while the action button reads "Start!"; other keys go on.
LRESULT CALLBACK KeyFilter(int code, WPARAM wparam, LPARAM lparam) {
  if (code == MSGF_DIALOGBOX && g_active) {
    const MSG* msg = reinterpret_cast<const MSG*>(lparam);
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_DELETE && IsCtrlOnly() &&
        (msg->hwnd == g_active->dialog || IsChild(g_active->dialog, msg->hwnd)) &&
        WindowText(GetDlgItem(g_active->dialog, IDYES)) == "Start!") {
      EndDialog(g_active->dialog, kResultAbort);
      return TRUE;
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void Layout(HWND dialog) {
  const UINT dpi = WindowDpi(dialog);
  RECT client{};
  GetClientRect(dialog, &client);
  const int bottom_height = Scale(28, dpi);
  const int top = client.bottom - bottom_height;
  const int gap = Scale(2, dpi);
  const int button_height = bottom_height - 2 * gap;
  int memo_bottom = top;
  if (HWND combo = GetDlgItem(dialog, IDC_INFO_CHOICE)) {
    // The list's row: the label, then the list, above the buttons.
    memo_bottom = top - bottom_height;
    const int label_width = Scale(90, dpi);
    MoveWindow(GetDlgItem(dialog, IDC_INFO_CHOICE_LABEL), gap, memo_bottom + gap + Scale(4, dpi),
               label_width, button_height - Scale(4, dpi), TRUE);
    MoveWindow(combo, gap + label_width + gap, memo_bottom + gap, Scale(220, dpi), Scale(200, dpi),
               TRUE);
  }
  MoveWindow(GetDlgItem(dialog, IDC_INFO_MEMO), 0, 0, client.right, memo_bottom, TRUE);
  int x = gap;
  const struct { int id; int width; } buttons[] = {{IDCANCEL, 90}, {IDYES, 110}, {IDNO, 90}};
  for (const auto& button : buttons) {
    HWND hwnd = GetDlgItem(dialog, button.id);
    const int width = Scale(button.width, dpi);
    MoveWindow(hwnd, x, top + gap, width, button_height, TRUE);
    // The button's own style: the dialog itself may not be shown yet.
    if (GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_VISIBLE) x += width + gap;
  }
  MoveWindow(GetDlgItem(dialog, IDC_INFO_PANBOT), x, top + gap, client.right - x - gap,
             button_height, TRUE);
}

// The user picked an item: the caller acts on it (asking first), and the
// dialog shows the report and the item it answers with.
void Picked(HWND dialog, InfoState& state) {
  const InfoChoice& choice = *state.request->choice;
  HWND combo = GetDlgItem(dialog, IDC_INFO_CHOICE);
  const int item = static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0));
  if (state.choosing || item == state.choice_selected || !choice.picked) return;
  state.choosing = true;
  InfoUpdate update{std::string(), state.choice_selected};
  bool updated = false;
  try {
    update = choice.picked(item);
    updated = true;
  } catch (const std::exception& error) {
    MessageBoxA(dialog, error.what(), "Clear utility", MB_OK | MB_ICONERROR);
  }
  state.choosing = false;
  if (updated) SetDlgItemTextA(dialog, IDC_INFO_MEMO, update.text.c_str());
  state.choice_selected = update.selected;
  SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(update.selected), 0);
}

void Initialise(HWND dialog, InfoState& state) {
  const InfoRequest& request = *state.request;
  state.dialog = dialog;
  const UINT dpi = WindowDpi(dialog);
  SetWindowTextA(dialog, request.caption.c_str());
  HWND memo = GetDlgItem(dialog, IDC_INFO_MEMO);
  state.memo_font.reset(MakeFont("Microsoft Sans Serif", 15, dpi));
  state.button_font.reset(MakeFont("Arial", 15, dpi));
  state.hint_font.reset(MakeFont("Arial", 9, dpi));
  SendMessageA(memo, WM_SETFONT, reinterpret_cast<WPARAM>(state.memo_font.get()), FALSE);
  SendMessageA(GetDlgItem(dialog, IDYES), WM_SETFONT,
               reinterpret_cast<WPARAM>(state.button_font.get()), FALSE);
  SendMessageA(GetDlgItem(dialog, IDNO), WM_SETFONT,
               reinterpret_cast<WPARAM>(state.button_font.get()), FALSE);
  SendMessageA(GetDlgItem(dialog, IDC_INFO_PANBOT), WM_SETFONT,
               reinterpret_cast<WPARAM>(state.hint_font.get()), FALSE);
  SetWindowTextA(memo, request.text.c_str());
  SetDlgItemTextA(dialog, IDYES, request.yes_caption.c_str());
  SetDlgItemTextA(dialog, IDC_INFO_PANBOT, request.bottom_hint.c_str());
  SetDlgItemTextA(dialog, IDNO, request.stop_caption.c_str());
  EnableWindow(GetDlgItem(dialog, IDYES), request.yes_enabled ? TRUE : FALSE);
  EnableWindow(GetDlgItem(dialog, IDNO), request.stop_enabled ? TRUE : FALSE);
  ShowWindow(GetDlgItem(dialog, IDNO), request.show_stop ? SW_SHOW : SW_HIDE);
  if (request.choice) {
    const InfoChoice& choice = *request.choice;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND label = CreateWindowExA(
        0, "STATIC", choice.label.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 0, 0, 0, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_INFO_CHOICE_LABEL)), instance, nullptr);
    HWND combo = CreateWindowExA(
        0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, 0,
        0, 0, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_INFO_CHOICE)), instance,
        nullptr);
    for (HWND control : {label, combo}) {
      SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                   FALSE);
    }
    for (const std::string& item : choice.items) {
      SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(choice.selected), 0);
    state.choice_selected = choice.selected;
    EnableWindow(combo, choice.enabled ? TRUE : FALSE);
    // Tab order: memo, list, then the buttons.
    SetWindowPos(label, memo, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(combo, label, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }

  // 730 x 403 at 96 dots per inch, centred on the screen.
  const int width = Scale(730, dpi);
  const int height = Scale(403, dpi);
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(dialog, nullptr, x, y, width, height, SWP_NOZORDER);
  Layout(dialog);
  SetFocus(memo);
  SendMessageA(memo, EM_SETSEL, 0, 0);
}

INT_PTR CALLBACK InfoProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<InfoState*>(lparam);
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      Initialise(dialog, *state);
      return FALSE;  // the focus was set to the memo
    }
    case WM_SIZE:
      Layout(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_INFO_CHOICE:
          if (HIWORD(wparam) == CBN_SELCHANGE) {
            Picked(dialog, *reinterpret_cast<InfoState*>(GetWindowLongPtrA(dialog, DWLP_USER)));
            return TRUE;
          }
          break;
        case IDCANCEL:
        case IDYES:
        case IDNO:
          if (HIWORD(wparam) == BN_CLICKED) {
            EndDialog(dialog, LOWORD(wparam));
            return TRUE;
          }
          break;
        default:
          break;
      }
      break;
    case WM_CLOSE:
      EndDialog(dialog, kResultCancel);
      return TRUE;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

int ShowInfoDialog(HWND owner, const InfoRequest& request) {
  InfoState state;
  state.request = &request;
  InfoState* previous = g_active;
  g_active = &state;
  state.hook = SetWindowsHookExA(WH_MSGFILTER, KeyFilter, nullptr, GetCurrentThreadId());
  const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INFO),
                                         owner, InfoProc, reinterpret_cast<LPARAM>(&state));
  if (state.hook) UnhookWindowsHookEx(state.hook);
  g_active = previous;
  if (result == kResultYes || result == kResultNo || result == kResultAbort)
    return static_cast<int>(result);
  return kResultCancel;
}

}  // namespace cu::dialogs
