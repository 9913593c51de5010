// The main window and the StartUp list, worked from outside.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "ui_driver.h"

namespace cu::ui_test {
namespace {

constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::string WindowsFolder() {
  char path[MAX_PATH] = {};
  GetWindowsDirectoryA(path, MAX_PATH);
  return path;
}

bool MakeShortcut(const std::string& link, const std::string& target) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkA* shell_link = nullptr;
  bool ok = false;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&shell_link)))) {
    shell_link->SetPath(target.c_str());
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      std::wstring wide(link.begin(), link.end());
      ok = SUCCEEDED(file->Save(wide.c_str(), TRUE));
      file->Release();
    }
    shell_link->Release();
  }
  CoUninitialize();
  return ok;
}

// Seeds Run values, a Startup-folder shortcut and a system.ini key, and
// removes them again afterwards.
class StartupWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    startup_folder_ = TempFolder() + "cu-ui-startup";
    CreateDirectoryA(startup_folder_.c_str(), nullptr);
    ASSERT_TRUE(MakeShortcut(startup_folder_ + "\\Tool.lnk", WindowsFolder() + "\\notepad.exe"));
    // The shell rewrites the Shell Folders values from the User Shell
    // Folders ones, so both point at the sandbox for the test.
    SetRegString(HKEY_CURRENT_USER, kUserShellFolders, "Startup", startup_folder_);
    SetRegString(HKEY_CURRENT_USER, kShellFolders, "Startup", startup_folder_);
    SetRegString(HKEY_CURRENT_USER, kRunKey, "zeta", "C:\\zeta.exe");
    SetRegString(HKEY_CURRENT_USER, kRunKey, "Alpha", "c:\\alpha.exe /min");
    WritePrivateProfileStringA("windows", "load", "sysload.exe", system_ini_path_.c_str());
  }

  void TearDown() override {
    DeleteFileA((startup_folder_ + "\\Tool.lnk").c_str());
    RemoveDirectoryA(startup_folder_.c_str());
  }

  std::string startup_folder_;
  // Everything the test changes is put back as it was.
  SavedRegValue user_startup_{kUserShellFolders, "Startup"};
  SavedRegValue startup_{kShellFolders, "Startup"};
  SavedRegValue zeta_{kRunKey, "zeta"};
  SavedRegValue alpha_{kRunKey, "Alpha"};
  SavedRegValue broken_{kRunKey, "Broken"};
  std::string system_ini_path_ = WindowsFolder() + "\\system.ini";
  SavedFile system_ini_{system_ini_path_};
};

std::ptrdiff_t IndexOf(const std::vector<std::string>& rows, const std::string& row) {
  const auto found = std::find(rows.begin(), rows.end(), row);
  return found == rows.end() ? -1 : found - rows.begin();
}

TEST_F(StartupWindowTest, ShowsTabsAndSortedStartupRowsWithFocusAndClosesOnEsc) {
  AppProcess app;
  ASSERT_TRUE(app.started());

  HWND tabs = app.Tabs();
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 4);  // Wine reports the NT family
  EXPECT_EQ(SendMessageA(tabs, TCM_GETCURSEL, 0, 0), 0);

  HWND list = app.List(0);
  ASSERT_NE(list, nullptr);
  const std::vector<std::string> rows = ListRows(list);
  std::string shown;
  for (const std::string& row : rows) shown += row + "\n";
  SCOPED_TRACE("rows:\n" + shown);
  const auto alpha = IndexOf(rows, "Alpha=c:\\alpha.exe /min");
  const auto sysload = IndexOf(rows, "sysload.exe");
  const auto tool = IndexOf(rows, "Tool.lnk=" + WindowsFolder() + "\\notepad.exe");
  const auto zeta = IndexOf(rows, "zeta=C:\\zeta.exe");
  ASSERT_GE(alpha, 0);
  ASSERT_GE(sysload, 0);
  ASSERT_GE(tool, 0) << "the shortcut row resolves to its target";
  ASSERT_GE(zeta, 0);
  EXPECT_LT(alpha, sysload);
  EXPECT_LT(sysload, tool);
  EXPECT_LT(tool, zeta);
  EXPECT_EQ(TextOf(app.Panel(0)), std::to_string(rows.size()));
  EXPECT_EQ(ListSelection(list), 0);

  DWORD thread = GetWindowThreadProcessId(app.main(), nullptr);
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  ASSERT_TRUE(GetGUIThreadInfo(thread, &gui));
  EXPECT_EQ(gui.hwndFocus, list) << "the StartUp list has the focus";

  app.Foreground();
  PressKey(VK_ESCAPE);
  EXPECT_TRUE(app.Exited(10000)) << "Esc closes the window from the list";
}

TEST_F(StartupWindowTest, WrongValueTypeShowsErrorOnceKeepsEarlierRowsAndFillsShellFolders) {
  SetRegDword(HKEY_CURRENT_USER, kRunKey, "Broken", 1);
  AppProcess app;
  ASSERT_NE(app.main(), nullptr);
  // The main window has the same title; the error box is the dialog.
  HWND error = WaitForDialog(app.id(), "Clear utility");
  ASSERT_NE(error, nullptr) << "the error box appears";
  EXPECT_EQ(MessageBoxText(error), "Invalid data type for 'Broken'");
  ClickDialogButton(error, IDOK);
  WaitFor([&] { return !IsWindow(error); }, 5000);
  Sleep(500);
  EXPECT_TRUE(Dialogs(app.id()).empty()) << "the error is shown exactly once";

  // The HKCU Run key is read after the machine's keys; rows before the bad
  // value stay and are counted, nothing is selected.
  const std::vector<std::string> rows = ListRows(app.List(0));
  EXPECT_EQ(TextOf(app.Panel(0)), std::to_string(rows.size()));
  EXPECT_EQ(ListSelection(app.List(0)), -1);

  // The Shell folders list was still filled at the first showing.
  const std::vector<std::string> folders = ListRows(app.List(2));
  ASSERT_GE(folders.size(), 2u);
  EXPECT_EQ(folders[0], "TEMP User");
  EXPECT_EQ(folders[1], "TEMP System");
  EXPECT_EQ(TextOf(app.Panel(2)), std::to_string(folders.size()));
}

}  // namespace
}  // namespace cu::ui_test
