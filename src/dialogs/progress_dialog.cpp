#include "dialogs/progress_dialog.h"

#include <commctrl.h>

#include <exception>
#include <optional>
#include <string>
#include <thread>

#include "dialogs/dialog_ids.h"
#include "dialogs/window_handles.h"
#include "platform/errors.h"
#include "platform/win32/win32_handles.h"

namespace cu::dialogs {

namespace {

constexpr UINT_PTR kUpdateTimer = 1;
constexpr UINT kUpdateMs = 100;

struct ProgressState {
  const WorkRequest* request = nullptr;
  SharedProgress* progress = nullptr;
  Locale* locale = nullptr;
  std::string shown_action;
  std::string shown_counts;
};

void SetTextIfChanged(HWND dialog, int id, const std::string& text, std::string& shown) {
  if (text == shown) return;
  shown = text;
  SetDlgItemTextA(dialog, id, text.c_str());
}

void Update(HWND dialog, ProgressState& state) {
  const SharedProgress::Snapshot now = state.progress->Take();
  SetTextIfChanged(dialog, IDC_PROGRESS_ACTION, now.action, state.shown_action);
  SetTextIfChanged(dialog, IDC_PROGRESS_COUNTS,
                   ProgressCountsText(*state.locale, *state.request, now.done, now.bytes),
                   state.shown_counts);
  if (state.request->kind == WorkKind::kRows) {
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(now.done), 0);
  }
}

void Stop(HWND dialog, ProgressState& state) {
  state.progress->RequestStop();
  // Shown as taken: the work ends before its next entry.
  EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
}

INT_PTR CALLBACK ProgressProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<ProgressState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      state = reinterpret_cast<ProgressState*>(lparam);
      HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
      if (state->request->kind == WorkKind::kRows) {
        const uint64_t total = state->request->total;
        SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(total > 0x7FFFFFFF ? 0x7FFFFFFF : total));
      } else {
        // How much is left is not known: the bar shows only that work goes on.
        SetWindowLongPtrA(bar, GWL_STYLE, GetWindowLongPtrA(bar, GWL_STYLE) | PBS_MARQUEE);
        SendMessageA(bar, PBM_SETMARQUEE, TRUE, 30);
      }
      Update(dialog, *state);
      SetTimer(dialog, kUpdateTimer, kUpdateMs, nullptr);
      return TRUE;
    }
    case WM_TIMER:
      if (state && wparam == kUpdateTimer) Update(dialog, *state);
      return TRUE;
    case WM_COMMAND:
      if (state && LOWORD(wparam) == IDCANCEL) Stop(dialog, *state);
      return TRUE;
    case WM_CLOSE:
      if (state) Stop(dialog, *state);
      return TRUE;
    default:
      break;
  }
  return FALSE;
}

// Signals the event when the work is done, also when it throws. Throws the
// system's message, before any work starts, when the event cannot be made:
// without it the wait below would never end.
class WorkThread {
 public:
  WorkThread(const std::function<void(Progress&)>& work, SharedProgress& progress)
      : done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (done_ == nullptr) throw AppError(win32::SystemMessage(GetLastError()));
    thread_ = std::thread([this, &work, &progress] {
      try {
        work(progress);
      } catch (...) {
        failure_ = std::current_exception();
      }
      SetEvent(done_);
    });
  }
  ~WorkThread() {
    if (thread_.joinable()) thread_.join();
    CloseHandle(done_);
  }
  WorkThread(const WorkThread&) = delete;
  WorkThread& operator=(const WorkThread&) = delete;

  HANDLE done() const { return done_; }
  void Join() {
    thread_.join();
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  HANDLE done_;
  std::exception_ptr failure_;
  std::thread thread_;
};

}  // namespace

void RunWithProgress(HWND owner, Locale& locale, const WorkRequest& request,
                     const std::function<void(Progress&)>& work) {
  SharedProgress progress(request.action);
  ProgressState state;
  state.request = &request;
  state.progress = &progress;
  state.locale = &locale;

  // Disabled first, so nothing can start before the dialog exists.
  const bool owner_was_enabled = EnableWindow(owner, FALSE) == 0;
  HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS), owner,
                                   ProgressProc, reinterpret_cast<LPARAM>(&state));
  // The owner comes back before the dialog goes, so it gets the activation;
  // also when the work cannot start.
  const auto restore = [&] {
    if (owner_was_enabled) EnableWindow(owner, TRUE);
    if (dialog) DestroyWindow(dialog);
  };
  std::optional<WorkThread> running;
  try {
    running.emplace(work, progress);
  } catch (...) {
    restore();
    throw;
  }
  WorkThread& worker = *running;
  const ULONGLONG started = GetTickCount64();
  bool shown = false;
  bool close_asked = false;
  bool quit_asked = false;
  int quit_code = 0;
  for (;;) {
    const ULONGLONG elapsed = GetTickCount64() - started;
    const DWORD wait = shown || elapsed >= kProgressDelayMs
                           ? INFINITE
                           : static_cast<DWORD>(kProgressDelayMs - elapsed);
    HANDLE done = worker.done();
    const DWORD woke = MsgWaitForMultipleObjectsEx(1, &done, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0) break;
    if (!shown && dialog && GetTickCount64() - started >= kProgressDelayMs) {
      shown = true;
      ShowWindow(dialog, SW_SHOW);
      SetFocus(GetDlgItem(dialog, IDCANCEL));
    }
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit_asked = true;
        quit_code = static_cast<int>(msg.wParam);
        continue;
      }
      // Esc stops the work wherever the focus is; it never closes the window meanwhile.
      if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
        if (dialog) Stop(dialog, state);
        progress.RequestStop();
        continue;
      }
      if (msg.message == WM_CLOSE && msg.hwnd == owner) {
        close_asked = true;
        progress.RequestStop();
        continue;
      }
      if (dialog && IsDialogMessageA(dialog, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  restore();
  if (close_asked) PostMessageA(owner, WM_CLOSE, 0, 0);
  if (quit_asked) PostQuitMessage(quit_code);
  worker.Join();
}

}  // namespace cu::dialogs
