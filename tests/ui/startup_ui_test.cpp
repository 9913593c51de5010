// The main window and the StartUp list, worked from outside.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include <gtest/gtest.h>

#include "ui_driver.h"

namespace cu::ui_test {
namespace {

constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Seeds Run values, a Startup-folder shortcut and a system.ini key, and
// removes them again afterwards.
class StartupWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    startup_folder_ = TempFolder() + "cu-ui-startup";
    CreateDirectoryA(startup_folder_.c_str(), nullptr);
    ASSERT_EQ(SaveShortcut(startup_folder_ + "\\Tool.lnk", WindowsFolder() + "\\notepad.exe"), S_OK);
    // The shell rewrites the Shell Folders values from the User Shell
    // Folders ones, so both point at the sandbox for the test.
    ASSERT_EQ(user_shell_folders_.SetString("Startup", startup_folder_), ERROR_SUCCESS);
    ASSERT_EQ(shell_folders_.SetString("Startup", startup_folder_), ERROR_SUCCESS);
    ASSERT_EQ(run_.SetString("zeta", "C:\\zeta.exe"), ERROR_SUCCESS);
    ASSERT_EQ(run_.SetString("Alpha", "c:\\alpha.exe /min"), ERROR_SUCCESS);
    ASSERT_TRUE(WritePrivateProfileStringA("windows", "load", "sysload.exe", system_ini_.path().c_str()));
  }

  void TearDown() override { (void)RemoveTree(startup_folder_); }

  std::string startup_folder_;
  // Everything the test changes is put back as it was.
  SavedRegistryValues user_shell_folders_{HKEY_CURRENT_USER, kUserShellFolders, {"Startup"}};
  SavedRegistryValues shell_folders_{HKEY_CURRENT_USER, kShellFolders, {"Startup"}};
  SavedRegistryValues run_{HKEY_CURRENT_USER, kRunKey, {"zeta", "Alpha", "Broken"}};
  SavedFile system_ini_{WindowsFolder() + "\\system.ini"};
};

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
  SCOPED_TRACE("rows:\n" + Shown(rows));
  const auto alpha = RowIndex(rows, "Alpha=c:\\alpha.exe /min");
  const auto sysload = RowIndex(rows, "sysload.exe");
  const auto tool = RowIndex(rows, "Tool.lnk=" + WindowsFolder() + "\\notepad.exe");
  const auto zeta = RowIndex(rows, "zeta=C:\\zeta.exe");
  ASSERT_GE(alpha, 0);
  ASSERT_GE(sysload, 0);
  ASSERT_GE(tool, 0) << "the shortcut row resolves to its target";
  ASSERT_GE(zeta, 0);
  EXPECT_LT(alpha, sysload);
  EXPECT_LT(sysload, tool);
  EXPECT_LT(tool, zeta);
  EXPECT_EQ(TextOf(app.Panel(0)), std::to_string(rows.size()));
  EXPECT_EQ(ListSelection(list), 0);

  EXPECT_EQ(FocusOf(app.main()), list) << "the StartUp list has the focus";

  app.Foreground();
  PressKey(VK_ESCAPE);
  EXPECT_TRUE(app.Exited(10000)) << "Esc closes the window from the list";
}

TEST_F(StartupWindowTest, WrongValueTypeShowsErrorOnceAndHidesNoOtherRow) {
  ASSERT_EQ(run_.SetRaw("Broken", REG_BINARY, std::string("\x01\x02", 2)), ERROR_SUCCESS);
  AppProcess app;
  ASSERT_NE(app.main(), nullptr);
  EXPECT_EQ(AcceptErrorBox(app), "Invalid data type for 'Broken'");
  Sleep(500);
  EXPECT_TRUE(Dialogs(app.id()).empty()) << "the error is shown exactly once";

  // The value gives no row; the rest of its key (read after it: Wine
  // enumerates sorted), the Startup folder and the ini keys are all listed,
  // counted, and the first row is selected.
  const std::vector<std::string> rows = ListRows(app.List(0));
  SCOPED_TRACE("rows:\n" + Shown(rows));
  for (const std::string& row : {std::string("Alpha=c:\\alpha.exe /min"), std::string("zeta=C:\\zeta.exe"),
                                 std::string("sysload.exe"),
                                 "Tool.lnk=" + WindowsFolder() + "\\notepad.exe"}) {
    EXPECT_GE(RowIndex(rows, row), 0) << row;
  }
  for (const std::string& row : rows) EXPECT_NE(row.rfind("Broken=", 0), 0u) << row;
  EXPECT_EQ(TextOf(app.Panel(0)), std::to_string(rows.size()));
  EXPECT_EQ(ListSelection(app.List(0)), 0);

  // The Shell folders list was still filled at the first showing.
  const std::vector<std::string> folders = ListRows(app.List(2));
  ASSERT_GE(folders.size(), 2u);
  EXPECT_EQ(folders[0], "TEMP User");
  EXPECT_EQ(folders[1], "TEMP System");
  EXPECT_EQ(TextOf(app.Panel(2)), std::to_string(folders.size()));
}

TEST_F(StartupWindowTest, AMachineEntryThatMayOnlyBeReadIsListedAndItsRefusedRemovalIsSaid) {
  constexpr char kName[] = "cu-ui-machine";
  const std::string row = std::string(kName) + "=C:\\cu-ui-machine.exe";
  SavedRegistryValues machine_run{HKEY_LOCAL_MACHINE, kRunKey, {kName}};
  ASSERT_EQ(machine_run.SetString(kName, "C:\\cu-ui-machine.exe"), ERROR_SUCCESS);
  // Given back before the value is removed again.
  const cu::test_kit::ReadOnlyKey locked(HKEY_LOCAL_MACHINE, kRunKey);
  ASSERT_TRUE(locked.made());

  AppProcess app;
  ASSERT_TRUE(app.started());
  HWND list = app.List(0);
  const int index = RowIndex(ListRows(list), row);
  ASSERT_GE(index, 0) << "listed without the right to change it:\n" << Shown(ListRows(list));
  ClickRow(list, index);
  ASSERT_EQ(DeleteSelectedStartupRow(app, row), "");
  // Wine runs every process elevated: the refusal is said, not asked about.
  EXPECT_EQ(AcceptErrorBox(app), "The entry was not removed: " + cu::win32::SystemMessage(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, kRunKey, kName).has_value()) << "the value stays";
  EXPECT_GE(RowIndex(ListRows(list), row), 0) << "and so does its row";
  EXPECT_TRUE(Dialogs(app.id()).empty());
}

}  // namespace
}  // namespace cu::ui_test
