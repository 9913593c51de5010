#include "dialogs/input_box.h"

#include "dialogs/dialog_ids.h"

namespace cu::dialogs {

namespace {

struct InputState {
  const std::string* caption = nullptr;
  const std::string* prompt = nullptr;
  std::size_t max_length = 0;
  std::string text;
};

INT_PTR CALLBACK InputProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<InputState*>(lparam);
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      SetWindowTextA(dialog, state->caption->c_str());
      SetDlgItemTextA(dialog, IDC_INPUT_PROMPT, state->prompt->c_str());
      SendDlgItemMessageA(dialog, IDC_INPUT_EDIT, EM_LIMITTEXT, state->max_length, 0);
      return TRUE;  // the edit field, first tab stop, takes the focus
    }
    case WM_COMMAND: {
      auto* state = reinterpret_cast<InputState*>(GetWindowLongPtrA(dialog, DWLP_USER));
      if (LOWORD(wparam) == IDOK) {
        HWND edit = GetDlgItem(dialog, IDC_INPUT_EDIT);
        std::string text(static_cast<std::size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
        text.resize(static_cast<std::size_t>(GetWindowTextA(edit, text.data(), static_cast<int>(text.size()))));
        state->text = std::move(text);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
    }
    default:
      break;
  }
  return FALSE;
}

}  // namespace

std::optional<std::string> ShowInputBox(HWND owner, const std::string& caption,
                                        const std::string& prompt, std::size_t max_length) {
  InputState state;
  state.caption = &caption;
  state.prompt = &prompt;
  state.max_length = max_length;
  const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INPUT), owner,
                                         InputProc, reinterpret_cast<LPARAM>(&state));
  if (result != IDOK) return std::nullopt;
  return state.text;
}

}  // namespace cu::dialogs
