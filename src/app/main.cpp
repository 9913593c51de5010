// Program entry: COM for the user-interface thread, the main window, the
// message loop.
#include <windows.h>
#include <objbase.h>

#include "app/main_window.h"
#include "platform/win32/win32_platform.h"
#include "presenter/refusal.h"

namespace {

// COM, apartment model, for as long as the program runs.
class ComApartment {
 public:
  ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (ok_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool ok_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show_command) {
  ComApartment com;
  cu::win32::Win32Machine machine;
  const cu::Platform platform = machine.platform();
  cu::MainWindow window(instance, platform, platform.environment.IsNtFamily());
  // The one command line the program knows: the tab to open after a restart
  // as administrator.
  const cu::Page first_page =
      cu::PageOfArguments(command_line ? command_line : "").value_or(cu::Page::kStartup);
  if (!window.Create(show_command, first_page)) return 1;
  machine.SetOwnerWindow(window.hwnd());

  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (window.PreTranslateKey(msg)) continue;
    if (IsDialogMessageA(window.hwnd(), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}
