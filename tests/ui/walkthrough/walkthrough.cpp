// A walkthrough of the real window for the README: starts the program on a
// seeded prefix, visits every tab, opens each Info dialog and context menu,
// and saves a screenshot of each step as a BMP file in the folder given on
// the command line.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ui_driver.h"

using namespace cu::ui_test;

namespace {

constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kTypedUrls[] = "Software\\Microsoft\\Internet Explorer\\TypedUrls";

std::string g_folder;
int g_failures = 0;

// The window's rectangle (with any dialog over it) written as a 24-bit BMP.
void Shot(const std::string& name, HWND window) {
  Sleep(700);
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);

  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const int stride = ((width * 3 + 3) / 4) * 4;
  std::vector<char> pixels(static_cast<std::size_t>(stride) * height);
  GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  const std::string path = g_folder + "\\" + name + ".bmp";
  if (FILE* out = std::fopen(path.c_str(), "wb")) {
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    std::fclose(out);
    std::printf("saved %s\n", path.c_str());
  } else {
    std::printf("cannot write %s\n", path.c_str());
    ++g_failures;
  }
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

void ContextMenuShot(AppProcess& app, HWND list, const std::string& name) {
  app.Foreground();
  SetForegroundWindow(app.main());
  PostMessageA(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(-1, -1));
  Sleep(600);
  Shot(name, app.main());
  PressKey(VK_ESCAPE);
  Sleep(300);
}

void InfoShot(AppProcess& app, int page, const std::string& caption, const std::string& name) {
  app.Foreground();
  PostMessageA(app.Button(page, "Info"), BM_CLICK, 0, 0);
  HWND dialog = WaitForDialog(app.id(), caption, 20000);
  if (!dialog) {
    std::printf("no dialog %s\n", caption.c_str());
    ++g_failures;
    return;
  }
  Shot(name, dialog);
  ClickDialogButton(dialog, IDCANCEL);
  WaitFor([&] { return !IsWindow(dialog); }, 5000);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: walkthrough <output folder>\n");
    return 2;
  }
  g_folder = argv[1];
  CreateDirectoryA(g_folder.c_str(), nullptr);

  // Seeded for the walkthrough, put back as they were at its end.
  const SavedRegistryValues run(HKEY_CURRENT_USER, kRunKey, {"Notepad", "Command prompt", "Updater"});
  const SavedRegistryValues typed_urls(HKEY_CURRENT_USER, kTypedUrls);
  const auto seed = [](const SavedRegistryValues& key, const char* name, const std::string& text) {
    if (key.SetString(name, text) == ERROR_SUCCESS) return;
    std::printf("cannot seed %s\n", name);
    ++g_failures;
  };
  const std::string windows = WindowsFolder();
  seed(run, "Notepad", windows + "\\notepad.exe");
  seed(run, "Command prompt", windows + "\\system32\\cmd.exe /k");
  seed(run, "Updater", "\"C:\\Program Files\\Updater\\update.exe\" /min");
  // The updater switched off in Task Manager: its row is grey.
  const SavedRegistryValues approved(
      HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run",
      {"Updater"});
  if (approved.SetRaw("Updater", REG_BINARY, std::string("\x03\0\0\0\x60\x5e\x4d\x3c\x2b\x4a\xdb\x01", 12)) !=
      ERROR_SUCCESS) {
    std::printf("cannot seed the Updater's switch\n");
    ++g_failures;
  }
  seed(typed_urls, "url1", "http://example.com/");
  seed(typed_urls, "url2", "https://example.org/news");
  seed(typed_urls, "url3", "ftp://files.example.net/");

  {
    AppProcess app;
    if (!app.started()) {
      std::printf("the program did not start\n");
      return 1;
    }
    SendMessageA(app.List(0), LB_SETCURSEL, 0, 0);
    Shot("1-startup", app.main());
    ContextMenuShot(app, app.List(0), "2-startup-menu");
    InfoShot(app, 0, "Info StartUp", "3-startup-info");

    app.SelectTab(1);
    Shot("4-urls", app.main());
    ContextMenuShot(app, app.List(1), "5-urls-menu");

    app.SelectTab(2);
    Shot("6-shell-folders", app.main());
    ContextMenuShot(app, app.List(2), "7-shell-folders-menu");

    app.SelectTab(3);
    Shot("8-services", app.main());
    ContextMenuShot(app, app.List(3), "9-services-menu");
    InfoShot(app, 3, "Info Service", "10-service-info");
  }

  std::printf("%d step(s) failed\n", g_failures);
  return g_failures == 0 ? 0 : 1;
}
