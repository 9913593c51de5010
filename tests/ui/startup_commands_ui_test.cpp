// The StartUp tab's commands worked from outside: the Info dialog (Enter,
// the "Info" button, a double-click), removal through "DELETE!!!" and the
// "Confirm" question, the 32-bit registry view's rows, the Disable/Enable
// switch, the grouped report file written through the real save dialog, and
// the verdicts on the programs' signatures (in Info, in the file, as pale
// rows; for 2,000 rows behind a window that keeps answering).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui_driver.h"

namespace cu::ui_test {
namespace {

constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunLocation[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kApprovedRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr char kCrLf[] = "\r\n";

// Entries seeded for these tests. Their rows sort together, in this order:
// the two values of the "a" names below (HKCU Run), a file of the sandboxed
// Startup folder, a Run value whose text has spaces at both ends, the
// system.ini "load" key, and a second Run value. None of their programs
// exists, so each report is the program text and "File not found!".
constexpr char kFolderFile[] = "cuui-a.txt";
constexpr char kRunB[] = "cuui-b";
constexpr char kRunBText[] = "  C:\\cuui-missing\\b.exe  ";
constexpr char kSystemLoad[] = "cuui-c.exe";
constexpr char kRunD[] = "cuui-d";
constexpr char kRunDText[] = "C:\\cuui-missing\\d.exe";
// A value whose name holds "=", beside a value named like its first part.
constexpr char kEqualsName[] = "a=b";
constexpr char kEqualsText[] = "C:\\cuui-missing\\ab.exe";
constexpr char kPlainName[] = "a";
constexpr char kPlainText[] = "C:\\cuui-missing\\a.exe";

std::string NotFoundReport(const std::string& program) { return program + "\r\n\r\nFile not found!"; }

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string Trimmed(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

// Whether a value exists, and its text when it is a string.
std::optional<std::string> RegValue(const std::string& key, const std::string& name) {
  const std::optional<cu::test_kit::StoredValue> value = ReadValue(HKEY_CURRENT_USER, key, name);
  if (!value) return std::nullopt;
  return value->Text();
}

// Seeds the entries above in HKCU, a sandboxed Startup folder and
// system.ini, and puts everything back afterwards.
class StartupCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteFileA(report_path_.c_str());
    CreateDirectoryA(startup_folder_.c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(startup_folder_ + "\\" + kFolderFile, ""));
    // The shell rewrites the Shell Folders values from the User Shell
    // Folders ones (the save dialog uses the shell), so both point at the
    // sandbox.
    ASSERT_EQ(user_shell_folders_.SetString("Startup", startup_folder_), ERROR_SUCCESS);
    ASSERT_EQ(shell_folders_.SetString("Startup", startup_folder_), ERROR_SUCCESS);
    ASSERT_EQ(run_.SetString(kRunB, kRunBText), ERROR_SUCCESS);
    ASSERT_EQ(run_.SetString(kRunD, kRunDText), ERROR_SUCCESS);
    ASSERT_EQ(run_.SetString(kEqualsName, kEqualsText), ERROR_SUCCESS);
    ASSERT_EQ(run_.SetString(kPlainName, kPlainText), ERROR_SUCCESS);
    ASSERT_TRUE(WritePrivateProfileStringA("windows", "load", kSystemLoad, system_ini_.path().c_str()));
  }

  void TearDown() override {
    DeleteFileA(report_path_.c_str());
    (void)RemoveTree(startup_folder_);
  }

  // Clicks the row with this text and waits until it is selected.
  int SelectRow(AppProcess& app, const std::string& row) {
    HWND list = app.List(0);
    const std::vector<std::string> rows = ListRows(list);
    const int index = RowIndex(rows, row);
    EXPECT_GE(index, 0) << "row " << row << " is listed:\n" << Shown(rows);
    if (index < 0) return -1;
    app.Foreground();
    ClickRow(list, index);
    EXPECT_TRUE(WaitFor([&] { return ListSelection(list) == index; }, 5000)) << "the click selects " << row;
    return index;
  }

  // Presses Enter in the focused list and waits for the Info dialog.
  HWND OpenInfoWithEnter(AppProcess& app) {
    app.Foreground();
    PressKey(VK_RETURN);
    return WaitForDialog(app.id(), "Info StartUp");
  }

  // Ctrl+S from the list, the report file named in the save dialog; its
  // content once written and the window has settled.
  std::string SaveReportWithCtrlS(AppProcess& app) {
    app.Foreground();
    PressKey('S', true);
    EXPECT_EQ(SaveAsInDialog(app, report_path_), "");
    EXPECT_TRUE(WaitFor([&] { return PathExists(report_path_); }, 15000)) << "the report file is written";
    app.Settle();
    return ReadWholeFile(report_path_).value_or("");
  }

  // Closes a dialog with Esc, as the user would.
  static bool CloseWithEsc(HWND dialog) {
    SetForegroundWindow(dialog);
    WaitFor([&] { return GetForegroundWindow() == dialog; }, 3000);
    PressKey(VK_ESCAPE);
    return WaitFor([&] { return !IsWindow(dialog); }, 5000);
  }

  const std::string startup_folder_ = TempFolder() + "cuui-startup-commands";
  const std::string report_path_ = TempFolder() + "cuui-startup-report.txt";
  SavedRegistryValues user_shell_folders_{HKEY_CURRENT_USER, kUserShellFolders, {"Startup"}};
  SavedRegistryValues shell_folders_{HKEY_CURRENT_USER, kShellFolders, {"Startup"}};
  SavedRegistryValues run_{HKEY_CURRENT_USER, kRunKey, {kRunB, kRunD, kEqualsName, kPlainName}};
  SavedFile system_ini_{WindowsFolder() + "\\system.ini"};
};

const std::string kRowD = std::string(kRunD) + "=" + kRunDText;
const std::string kRowB = std::string(kRunB) + "=" + kRunBText;
const std::string kRowEquals = std::string(kEqualsName) + "=" + kEqualsText;
const std::string kRowPlain = std::string(kPlainName) + "=" + kPlainText;

TEST_F(StartupCommandsTest, EnterAndTheInfoButtonShowLocationAndReportAndEscRemovesNothing) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  HWND list = app.List(0);
  const std::string expected_memo =
      std::string("Location=") + kRunLocation + kCrLf + kCrLf + NotFoundReport(kRunDText);

  // Enter on the selected row.
  const int index = SelectRow(app, kRowD);
  ASSERT_GE(index, 0);
  HWND info = OpenInfoWithEnter(app);
  ASSERT_NE(info, nullptr) << "Enter opens \"Info StartUp\"";
  const InfoTexts shown = ReadInfo(info);
  EXPECT_EQ(shown.memo, expected_memo);
  EXPECT_EQ(shown.action, "DELETE!!!");
  // The second button switches the entry: an HKCU Run value has a switch.
  EXPECT_TRUE(shown.stop_shown);
  EXPECT_EQ(shown.second, "Disable");
  EXPECT_TRUE(shown.second_enabled);
  EXPECT_EQ(shown.hint, "");

  // Esc closes the dialog, not the main window, and removes nothing.
  ASSERT_TRUE(CloseWithEsc(info));
  Sleep(300);
  EXPECT_FALSE(app.Exited(0)) << "Esc in the dialog leaves the main window open";
  EXPECT_EQ(WaitForDialog(app.id(), "Confirm", 500), nullptr) << "no removal is asked for";
  EXPECT_EQ(RegValue(kRunKey, kRunD), std::optional<std::string>(kRunDText));
  EXPECT_EQ(RowIndex(ListRows(list), kRowD), index);
  EXPECT_EQ(ListSelection(list), index);

  // The "Info" button opens the same dialog for the selected row.
  ClickButton(app.Button(0, "Info"));
  info = WaitForDialog(app.id(), "Info StartUp");
  ASSERT_NE(info, nullptr) << "the Info button opens \"Info StartUp\"";
  EXPECT_EQ(ReadInfo(info).memo, expected_memo);
  ASSERT_TRUE(CloseWithEsc(info));
}

TEST_F(StartupCommandsTest, DoubleClickShowsEachRowsOwnLocationAndReport) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  HWND list = app.List(0);

  // A double-click on another row selects it and opens its dialog; the
  // report covers the program without the spaces around it.
  const int index_b = RowIndex(ListRows(list), kRowB);
  ASSERT_GE(index_b, 0);
  app.Foreground();
  ClickRow(list, index_b, true);
  HWND info = WaitForDialog(app.id(), "Info StartUp");
  ASSERT_NE(info, nullptr) << "a double-click opens \"Info StartUp\"";
  EXPECT_EQ(ListSelection(list), index_b);
  EXPECT_EQ(ReadInfo(info).memo, std::string("Location=") + kRunLocation + kCrLf + kCrLf +
                                     NotFoundReport("C:\\cuui-missing\\b.exe"));
  ASSERT_TRUE(CloseWithEsc(info));

  // The Startup-folder and system.ini rows show their own locations.
  ClickRow(list, RowIndex(ListRows(list), kFolderFile), true);
  info = WaitForDialog(app.id(), "Info StartUp");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(ReadInfo(info).memo, "Location=" + startup_folder_ + kCrLf + kCrLf + NotFoundReport(kFolderFile));
  ASSERT_TRUE(CloseWithEsc(info));
  ClickRow(list, RowIndex(ListRows(list), kSystemLoad), true);
  info = WaitForDialog(app.id(), "Info StartUp");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(ReadInfo(info).memo,
            "Location=" + WindowsFolder() + "\\system.ini [load]" + kCrLf + kCrLf + NotFoundReport(kSystemLoad));
  ASSERT_TRUE(CloseWithEsc(info));

  EXPECT_EQ(RegValue(kRunKey, kRunB), std::optional<std::string>(kRunBText));
  EXPECT_EQ(RegValue(kRunKey, kRunD), std::optional<std::string>(kRunDText));
}

TEST_F(StartupCommandsTest, CtrlDelDoesNothingInStartupInfoNorInTheList) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  HWND list = app.List(0);
  const int index = SelectRow(app, kRowD);
  ASSERT_GE(index, 0);
  const std::vector<std::string> before = ListRows(list);

  // In the list itself the key has no StartUp command.
  app.Foreground();
  PressKey(VK_DELETE, true);
  Sleep(500);
  EXPECT_TRUE(Dialogs(app.id()).empty()) << "Ctrl+Del in the StartUp list opens nothing";

  HWND info = OpenInfoWithEnter(app);
  ASSERT_NE(info, nullptr);
  ASSERT_EQ(ReadInfo(info).action, "DELETE!!!");
  SetForegroundWindow(info);
  WaitFor([&] { return GetForegroundWindow() == info; }, 3000);
  PressKey(VK_DELETE, true);
  Sleep(1000);
  EXPECT_TRUE(IsWindow(info) && IsWindowVisible(info)) << "Ctrl+Del leaves the dialog open while it reads DELETE!!!";
  EXPECT_EQ(WaitForDialog(app.id(), "Confirm", 300), nullptr);
  ASSERT_TRUE(CloseWithEsc(info));

  EXPECT_EQ(RegValue(kRunKey, kRunD), std::optional<std::string>(kRunDText));
  EXPECT_EQ(ListRows(list), before);
  EXPECT_EQ(ListSelection(list), index);
}

// Starts the program and selects the row of kRunD, which other rows sort
// before, so that a reload's selection of row 0 shows.
class StartupDeleteTest : public StartupCommandsTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartupCommandsTest::SetUp());
    ASSERT_TRUE(app_.emplace().started());
    list_ = app_->List(0);
    before_ = ListRows(list_);
    index_ = SelectRow(*app_, kRowD);
    ASSERT_GT(index_, 0) << "rows sort before it, so the reload's selection of row 0 shows";
  }

  void TearDown() override {
    app_.reset();
    StartupCommandsTest::TearDown();
  }

  std::optional<AppProcess> app_;
  HWND list_ = nullptr;
  std::vector<std::string> before_;
  int index_ = -1;
};

TEST_F(StartupDeleteTest, DeleteAnsweredNoKeepsTheEntryAndTheSelection) {
  AppProcess& app = *app_;
  {
    SCOPED_TRACE("No to the question");
    HWND info = OpenInfoWithEnter(app);
    ASSERT_NE(info, nullptr);
    ClickDialogButton(info, IDYES);
    HWND confirm = WaitForDialog(app.id(), "Confirm");
    ASSERT_NE(confirm, nullptr) << "\"DELETE!!!\" asks first";
    EXPECT_EQ(MessageBoxText(confirm), "Delete " + kRowD + "?");
    EXPECT_FALSE(IsWindow(info)) << "the Info dialog is closed behind the question";
    ClickDialogButton(confirm, IDNO);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(confirm); }, 5000));
    Sleep(300);
    EXPECT_TRUE(Dialogs(app.id()).empty());
    EXPECT_EQ(RegValue(kRunKey, kRunD), std::optional<std::string>(kRunDText)) << "No keeps the value";
    EXPECT_EQ(ListRows(list_), before_);
    EXPECT_EQ(ListSelection(list_), index_) << "No does not reload: the selection stays";
  }
}

TEST_F(StartupDeleteTest, DeleteAnsweredYesRemovesTheEntryAndReloadsTheFocusedList) {
  AppProcess& app = *app_;
  {
    SCOPED_TRACE("Yes to the question");
    // Opened from the "Info" button, so the focus is away from the list
    // until the removal moves it there.
    ASSERT_EQ(DeleteSelectedStartupRow(app, kRowD), "");
    ASSERT_TRUE(WaitFor([&] { return ListRows(list_).size() == before_.size() - 1; }, 5000))
        << "the list is reloaded without the row:\n" << Shown(ListRows(list_));

    EXPECT_EQ(RegValue(kRunKey, kRunD), std::nullopt) << "the value is gone from HKCU Run";
    EXPECT_EQ(RegValue(kRunKey, kRunB), std::optional<std::string>(kRunBText)) << "its neighbour stays";
    std::vector<std::string> expected = before_;
    expected.erase(expected.begin() + index_);
    EXPECT_EQ(ListRows(list_), expected);
    EXPECT_EQ(TextOf(app.Panel(0)), std::to_string(expected.size()));
    EXPECT_EQ(ListSelection(list_), 0) << "the first row is selected";
    EXPECT_EQ(FocusOf(app.main()), list_) << "the list has the focus";
    EXPECT_TRUE(Dialogs(app.id()).empty()) << "no dialog is left open";
  }
}

TEST_F(StartupCommandsTest, DeletingValueNamedWithEqualsLeavesValueNamedLikeItsFirstPart) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  HWND list = app.List(0);
  const std::string& equals_row = kRowEquals;
  const std::string& plain_row = kRowPlain;
  ASSERT_GE(SelectRow(app, equals_row), 0);

  HWND info = OpenInfoWithEnter(app);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(ReadInfo(info).memo,
            std::string("Location=") + kRunLocation + kCrLf + kCrLf + NotFoundReport(kEqualsText));
  ClickDialogButton(info, IDYES);
  HWND confirm = WaitForDialog(app.id(), "Confirm");
  ASSERT_NE(confirm, nullptr);
  EXPECT_EQ(MessageBoxText(confirm), "Delete " + equals_row + "?");
  ClickDialogButton(confirm, IDYES);
  EXPECT_TRUE(WaitFor([&] { return RowIndex(ListRows(list), equals_row) < 0; }, 5000))
      << "the row goes:\n" << Shown(ListRows(list));

  EXPECT_EQ(RegValue(kRunKey, kEqualsName), std::nullopt) << "the value a=b is removed";
  EXPECT_EQ(RegValue(kRunKey, kPlainName), std::optional<std::string>(kPlainText)) << "the value a is untouched";
  EXPECT_GE(RowIndex(ListRows(list), plain_row), 0) << "and still listed";
}

// Adds a value of one name to HKLM Run in each registry view, and an HKCU Run
// value switched off (its StartupApproved value has bit 0 set and a date);
// kRunD has no StartupApproved value. Sorted after the rows above.
class StartupViewsAndSwitchTest : public StartupCommandsTest {
 protected:
  static constexpr char kViewsName[] = "cuui-views";
  static constexpr char kNativeText[] = "C:\\cuui-missing\\native.exe";
  static constexpr char kView32Text[] = "C:\\cuui-missing\\view32.exe";
  static constexpr char kOffName[] = "cuui-off";
  static constexpr char kOffText[] = "C:\\cuui-missing\\off.exe";

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartupCommandsTest::SetUp());
    ASSERT_EQ(machine_run_.SetString(kViewsName, kNativeText), ERROR_SUCCESS);
    ASSERT_EQ(machine_run32_.SetString(kViewsName, kView32Text), ERROR_SUCCESS);
    ASSERT_EQ(user_run_.SetString(kOffName, kOffText), ERROR_SUCCESS);
    const SYSTEMTIME when{2024, 3, 2, 5, 14, 15, 16, 0};
    ASSERT_TRUE(SystemTimeToFileTime(&when, &switched_at_));
    std::string off("\x03\0\0\0", 4);
    off.append(reinterpret_cast<const char*>(&switched_at_), sizeof switched_at_);
    ASSERT_EQ(approved_.SetRaw(kOffName, REG_BINARY, off), ERROR_SUCCESS);
  }

  FILETIME switched_at_{};
  // The process is 64-bit: its own view is the 64-bit one.
  SavedRegistryValues machine_run_{HKEY_LOCAL_MACHINE, kRunKey, {kViewsName}};
  SavedRegistryValues machine_run32_{HKEY_LOCAL_MACHINE, kRunKey, {kViewsName}, KEY_WOW64_32KEY};
  SavedRegistryValues user_run_{HKEY_CURRENT_USER, kRunKey, {kOffName}};
  SavedRegistryValues approved_{HKEY_CURRENT_USER, kApprovedRunKey, {kOffName, kRunD}};
};

const std::string kRowNative = std::string("cuui-views=") + "C:\\cuui-missing\\native.exe";
const std::string kRowView32 = std::string("cuui-views=") + "C:\\cuui-missing\\view32.exe";
const std::string kRowOff = std::string("cuui-off=") + "C:\\cuui-missing\\off.exe";
constexpr COLORREF kDisabledGrey = RGB(128, 128, 128);

// A moment as the user's short date and long time show it in local time.
std::string LocalDateAndTime(const FILETIME& utc) {
  SYSTEMTIME universal{};
  SYSTEMTIME local{};
  if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
    return "?";
  }
  char date[128] = {};
  char clock[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &local, nullptr, clock, sizeof clock);
  return std::string(date) + " " + clock;
}

uint64_t Now() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

// The bytes of the list's StartupApproved value; nullopt when there is none.
std::optional<std::string> SwitchBytes(const std::string& name) {
  const std::optional<cu::test_kit::StoredValue> value = ReadValue(HKEY_CURRENT_USER, kApprovedRunKey, name);
  if (!value) return std::nullopt;
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_BINARY)) << name;
  return value->bytes;
}

TEST_F(StartupViewsAndSwitchTest, The32BitViewsRunValueShowsItsWow6432NodeKeyAndDeleteRemovesOnlyIt) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  HWND list = app.List(0);
  ASSERT_GE(RowIndex(ListRows(list), kRowNative), 0) << Shown(ListRows(list));
  ASSERT_GE(SelectRow(app, kRowView32), 0);

  HWND info = OpenInfoWithEnter(app);
  ASSERT_NE(info, nullptr);
  const InfoTexts shown = ReadInfo(info);
  EXPECT_EQ(shown.memo, std::string("Location=HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run") +
                            kCrLf + kCrLf + NotFoundReport(kView32Text));
  EXPECT_EQ(shown.second, "Disable") << "the 32-bit Run key's entries have a switch (Run32)";
  EXPECT_TRUE(shown.second_enabled);
  ClickDialogButton(info, IDYES);
  HWND confirm = WaitForDialog(app.id(), "Confirm");
  ASSERT_NE(confirm, nullptr);
  EXPECT_EQ(MessageBoxText(confirm), "Delete " + kRowView32 + "?");
  ClickDialogButton(confirm, IDYES);
  EXPECT_TRUE(WaitFor([&] { return RowIndex(ListRows(list), kRowView32) < 0; }, 5000))
      << "the row goes:\n" << Shown(ListRows(list));

  EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, kRunKey, kViewsName, KEY_WOW64_32KEY).has_value())
      << "the 32-bit view's value is gone";
  const std::optional<cu::test_kit::StoredValue> native = ReadValue(HKEY_LOCAL_MACHINE, kRunKey, kViewsName);
  ASSERT_TRUE(native.has_value()) << "the native value of the same name stays";
  EXPECT_EQ(native->Text(), kNativeText);
  EXPECT_GE(RowIndex(ListRows(list), kRowNative), 0) << "and is still listed";
}

TEST_F(StartupViewsAndSwitchTest, ASwitchedOffEntryIsGreyAndEnableAndDisableWriteItsSwitch) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  HWND list = app.List(0);
  const std::vector<std::string> rows = ListRows(list);
  const int off = RowIndex(rows, kRowOff);
  const int plain = RowIndex(rows, kRowD);
  ASSERT_GE(off, 0) << Shown(rows);
  ASSERT_GE(plain, 0);
  ASSERT_NE(ListSelection(list), off);
  ASSERT_NE(ListSelection(list), plain);
  {
    SCOPED_TRACE("drawn grey unless selected");
    app.Foreground();
    const Screenshot shot = WaitForRowColour(list, off, kDisabledGrey);
    const RECT plain_rect = RowRect(list, plain);
    RECT client{};
    GetClientRect(list, &client);
    ASSERT_LE(plain_rect.bottom, client.bottom) << "both rows are in view";
    const std::string picture = shot.Save(TempFolder() + "cu-startup-switch.bmp");
    EXPECT_GT(shot.Count(RowRect(list, off), kDisabledGrey), 0) << "a switched-off row is grey; picture " << picture;
    EXPECT_EQ(shot.Count(plain_rect, kDisabledGrey), 0) << "an enabled row is not; picture " << picture;
    ASSERT_EQ(SelectRow(app, kRowOff), off);
    EXPECT_TRUE(WaitFor([&] { return Screenshot(list).Count(RowRect(list, off), kDisabledGrey) == 0; }, 5000))
        << "selected, it is drawn in the selection's colours";
  }
  {
    SCOPED_TRACE("Enable in the Info dialog");
    HWND info = OpenInfoWithEnter(app);
    ASSERT_NE(info, nullptr);
    const InfoTexts shown = ReadInfo(info);
    EXPECT_EQ(shown.memo, std::string("Location=") + kRunLocation + kCrLf + "Disabled=" +
                              LocalDateAndTime(switched_at_) + kCrLf + kCrLf + NotFoundReport(kOffText));
    EXPECT_EQ(shown.second, "Enable");
    ASSERT_TRUE(shown.second_enabled);
    ClickDialogButton(info, IDNO);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(info); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return SwitchBytes(kOffName).value_or("").substr(0, 1) == "\x02"; }, 5000));
    EXPECT_EQ(SwitchBytes(kOffName), std::optional<std::string>(std::string("\x02\0\0\0\0\0\0\0\0\0\0\0", 12)))
        << "bit 0 cleared, the date zeroed";
    app.Settle();
    EXPECT_EQ(ListSelection(list), off) << "the selection stays on the entry";
    EXPECT_TRUE(Dialogs(app.id()).empty());
  }
  {
    // Wine cannot read another process's menu (GetMenuItemCount gives -1),
    // so the item is chosen from the keyboard: Up from the opened menu
    // lands on its last item, the switch. Its caption is the dialog's.
    SCOPED_TRACE("Disable from the context menu, without a value so far");
    ASSERT_EQ(SwitchBytes(kRunD), std::nullopt);
    ASSERT_EQ(SelectRow(app, kRowD), plain);
    const uint64_t before = Now();
    app.Foreground();
    PostMessageA(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(-1, -1));
    ASSERT_TRUE(WaitFor([&] {
      HWND menu = FindWindowA("#32768", nullptr);
      DWORD pid = 0;
      if (menu) GetWindowThreadProcessId(menu, &pid);
      return pid == app.id() && IsWindowVisible(menu);
    }, 5000)) << "the context menu opens";
    PressKey(VK_UP);
    PressKey(VK_RETURN);
    ASSERT_TRUE(WaitFor([&] { return SwitchBytes(kRunD).has_value(); }, 5000)) << "the switch is written";
    const uint64_t after = Now();
    const std::string bytes = SwitchBytes(kRunD).value_or("");
    ASSERT_EQ(bytes.size(), 12u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x03\0\0\0", 4));
    uint64_t stamp = 0;
    std::memcpy(&stamp, bytes.data() + 4, sizeof stamp);
    EXPECT_GE(stamp, before) << "dated now";
    EXPECT_LE(stamp, after);
    app.Settle();
    EXPECT_EQ(ListSelection(list), plain) << "the selection stays on the entry";
  }
}

// The report file's lines for one group header and for one row.
std::string HeaderLines(const std::string& location) {
  return std::string(kCrLf) + kCrLf + kCrLf + Upper(location) + kCrLf + kCrLf;
}

std::string RowLines(int number, const std::string& row, const std::string& report) {
  return std::string(kCrLf) + std::to_string(number) + kCrLf + Trimmed(row) + kCrLf + report + kCrLf + kCrLf;
}

TEST_F(StartupCommandsTest, SaveCancelledInTheDialogWritesNothingAndKeepsTheSelection) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  HWND list = app.List(0);
  {
    SCOPED_TRACE("the Save button, cancelled");
    const int index = SelectRow(app, kRowD);
    ClickButton(app.Button(0, "Save"));
    HWND save = WaitForDialog(app.id(), "Save As");
    ASSERT_NE(save, nullptr) << "\"Save\" opens the save dialog";
    ClickDialogButton(save, IDCANCEL);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(save); }, 5000));
    Sleep(300);
    EXPECT_EQ(GetFileAttributesA(report_path_.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing is written";
    EXPECT_EQ(ListSelection(list), index) << "a cancelled save keeps the selection";
    EXPECT_TRUE(Dialogs(app.id()).empty());
  }
}

TEST_F(StartupCommandsTest, CtrlSWritesTheGroupedReportThroughTheSaveDialog) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  HWND list = app.List(0);
  const std::vector<std::string> rows = ListRows(list);
  SCOPED_TRACE("rows:\n" + Shown(rows));

  // The seeded rows stand together, in this order: the two values of the
  // "a" names share HKCU Run; every later row's location differs from the
  // one before it.
  const std::vector<std::string> seeded = {kRowEquals, kRowPlain, kFolderFile, kRowB, kSystemLoad, kRowD};
  const int first = RowIndex(rows, kRowEquals);
  ASSERT_GE(first, 0);
  ASSERT_LE(first + seeded.size(), rows.size());
  for (std::size_t i = 0; i < seeded.size(); ++i) ASSERT_EQ(rows[first + i], seeded[i]);

  // Ctrl+S in the focused list, the file named in the save dialog.
  const int index = SelectRow(app, kRowB);
  ASSERT_GT(index, 0);
  ASSERT_EQ(FocusOf(app.main()), list);
  app.Foreground();
  PressKey('S', true);
  ASSERT_EQ(SaveAsInDialog(app, report_path_), "") << "Ctrl+S saves through the save dialog";
  ASSERT_TRUE(WaitFor([&] { return GetFileAttributesA(report_path_.c_str()) != INVALID_FILE_ATTRIBUTES; }, 15000))
      << "the report file is written";
  EXPECT_TRUE(WaitFor([&] { return ListSelection(list) == 0; }, 5000)) << "saving leaves the first row selected";
  EXPECT_TRUE(Dialogs(app.id()).empty()) << "no error box";

  const std::optional<std::string> file = ReadWholeFile(report_path_);
  ASSERT_TRUE(file.has_value());
  SCOPED_TRACE("file:\n" + *file);

  // Every line ends in CR LF.
  ASSERT_GE(file->size(), 2u);
  EXPECT_EQ(file->substr(file->size() - 4), "\r\n\r\n") << "the last row ends with its empty line";
  for (std::size_t i = 0; i < file->size(); ++i) {
    if ((*file)[i] == '\n') {
      ASSERT_TRUE(i > 0 && (*file)[i - 1] == '\r') << "a bare LF at " << i;
    }
    if ((*file)[i] == '\r') {
      ASSERT_TRUE(i + 1 < file->size() && (*file)[i + 1] == '\n') << "a bare CR at " << i;
    }
  }
  // The first line of the file opens a group: three empty lines, then a
  // location in upper case.
  EXPECT_EQ(file->substr(0, 6), "\r\n\r\n\r\n");
  EXPECT_NE(file->substr(6, 2), "\r\n") << "a location follows the three empty lines";

  // Every row of the list, numbered from 1 in list order, trimmed.
  std::size_t position = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string entry = std::string(kCrLf) + kCrLf + std::to_string(i + 1) + kCrLf + Trimmed(rows[i]) + kCrLf;
    const std::size_t found = file->find(entry, position);
    ASSERT_NE(found, std::string::npos) << "row " << i + 1 << " (" << rows[i] << ") follows row " << i;
    position = found + entry.size();
  }

  // The seeded rows exactly, from the first one's number on: the two "a"
  // rows under one header, then each row under its own upper-cased header
  // (a Startup folder, HKCU Run, system.ini "load", HKCU Run again), each
  // with its number, the trimmed row text and its report.
  const std::string seeded_text =
      RowLines(first + 1, kRowEquals, NotFoundReport(kEqualsText)) +
      RowLines(first + 2, kRowPlain, NotFoundReport(kPlainText)) +
      HeaderLines(startup_folder_) + RowLines(first + 3, kFolderFile, NotFoundReport(kFolderFile)) +
      HeaderLines(kRunLocation) + RowLines(first + 4, kRowB, NotFoundReport("C:\\cuui-missing\\b.exe")) +
      HeaderLines(WindowsFolder() + "\\system.ini [load]") +
      RowLines(first + 5, kSystemLoad, NotFoundReport(kSystemLoad)) +
      HeaderLines(kRunLocation) + RowLines(first + 6, kRowD, NotFoundReport(kRunDText));
  if (rows.size() == seeded.size()) {
    // Only the seeded entries are listed (as in a fresh prefix): the whole
    // file, byte for byte.
    EXPECT_EQ(*file, HeaderLines(kRunLocation) + seeded_text);
    return;
  }
  const std::size_t at = file->find(seeded_text);
  ASSERT_NE(at, std::string::npos) << "expected part:\n" << seeded_text;
  if (first == 0) {
    EXPECT_EQ(file->substr(0, at), HeaderLines(kRunLocation)) << "the file opens with the header of HKCU Run";
  } else {
    EXPECT_EQ(file->compare(at - 4, 4, "\r\n\r\n"), 0) << "the part follows the previous row's closing line";
  }
  const std::size_t end = at + seeded_text.size();
  if (first + seeded.size() < rows.size()) {
    const std::string next = std::string(kCrLf) + std::to_string(first + seeded.size() + 1) + kCrLf;
    EXPECT_TRUE(file->compare(end, next.size(), next) == 0 || file->compare(end, 6, "\r\n\r\n\r\n") == 0)
        << "the next row or its header follows";
  } else {
    EXPECT_EQ(end, file->size());
  }
}

}  // namespace
}  // namespace cu::ui_test

namespace cu::ui_test {
namespace {

// Rows of the list that begin with `prefix`, in list order.
std::vector<std::string> RowsStartingWith(const std::vector<std::string>& rows, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& row : rows) {
    if (row.rfind(prefix, 0) == 0) found.push_back(row);
  }
  return found;
}

// Task definitions placed in the scheduler's store as Wine writes them
// (UTF-8 with a mark): a logon task in \Vendor with arguments, a boot task
// running two programs, a daily task, one of Windows' own, a switched-off
// logon task and a file that is no XML document.
class StartupTasksTest : public StartupCommandsTest {
 protected:
  static std::string Task(const std::string& triggers, const std::string& actions,
                          const std::string& settings = "") {
    return "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
           "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
           "  <Triggers>" + triggers + "</Triggers>\r\n  <Settings>" + settings + "</Settings>\r\n"
           "  <Actions Context=\"Author\">" + actions + "</Actions>\r\n</Task>\r\n";
  }
  static std::string Exec(const std::string& command, const std::string& arguments = "") {
    return "<Exec><Command>" + command + "</Command>" +
           (arguments.empty() ? "" : "<Arguments>" + arguments + "</Arguments>") + "</Exec>";
  }

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartupCommandsTest::SetUp());
    for (const std::string& folder : {store_, store_ + "\\Vendor", store_ + "\\Microsoft",
                                      store_ + "\\Microsoft\\Windows"}) {
      CreateDirectoryA(folder.c_str(), nullptr);
    }
    const std::pair<std::string, std::string> tasks[] = {
        {"Vendor\\Updater", Task("<LogonTrigger><Enabled>true</Enabled></LogonTrigger>",
                                 Exec("C:\\cuui-missing\\upd.exe", "/logon"))},
        {"CuUiBoot", Task("<BootTrigger/>", Exec("C:\\cuui-missing\\first.exe") +
                                                Exec("C:\\cuui-missing\\second.exe", "-x"))},
        {"CuUiDaily", Task("<CalendarTrigger><StartBoundary>2026-01-01T09:00:00</StartBoundary>"
                           "<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger>",
                           Exec("C:\\cuui-missing\\daily.exe"))},
        {"Microsoft\\Windows\\CuUiOwn", Task("<BootTrigger/>", Exec("C:\\cuui-missing\\own.exe"))},
        {"CuUiOff", Task("<LogonTrigger/>", Exec("C:\\cuui-missing\\off.exe"), "<Enabled>false</Enabled>")},
        {"CuUiBroken", "\xEF\xBB\xBF<Task><Triggers><LogonTrigger></Triggers>"},
    };
    for (const auto& [name, xml] : tasks) {
      ASSERT_TRUE(WriteWholeFile(store_ + "\\" + name, xml)) << name;
      written_.push_back(store_ + "\\" + name);
    }
  }

  void TearDown() override {
    for (const std::string& file : written_) DeleteFileA(file.c_str());
    RemoveDirectoryA((store_ + "\\Vendor").c_str());
    StartupCommandsTest::TearDown();
  }

  const std::string store_ = WindowsFolder() + "\\system32\\tasks";
  std::vector<std::string> written_;
};

const std::string kTaskUpdater = "\\Vendor\\Updater=C:\\cuui-missing\\upd.exe /logon";
const std::string kTaskFirst = "\\CuUiBoot=C:\\cuui-missing\\first.exe";
const std::string kTaskSecond = "\\CuUiBoot=C:\\cuui-missing\\second.exe -x";
const std::string kTaskOff = "\\CuUiOff=C:\\cuui-missing\\off.exe";

TEST_F(StartupTasksTest, LogonAndBootTasksAreListedReportedAndDeletedThroughTheScheduler) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  HWND list = app.List(0);
  const std::vector<std::string> rows = ListRows(list);
  EXPECT_EQ(RowsStartingWith(rows, "\\"),
            (std::vector<std::string>{kTaskFirst, kTaskSecond, kTaskOff, kTaskUpdater}))
      << "one row per program of a logon or boot task; not the daily task, not Windows' own, not the "
         "broken file:\n" << Shown(rows);
  const int off = RowIndex(rows, kTaskOff);
  const int first = RowIndex(rows, kTaskFirst);
  ASSERT_GE(off, 0);
  ASSERT_GE(first, 0);
  {
    SCOPED_TRACE("the switched-off task is grey, with its Disabled line");
    ASSERT_NE(ListSelection(list), off);
    app.Foreground();
    const Screenshot shot = WaitForRowColour(list, off, kDisabledGrey);
    const std::string picture = shot.Save(TempFolder() + "cu-startup-tasks.bmp");
    EXPECT_GT(shot.Count(RowRect(list, off), kDisabledGrey), 0) << "picture " << picture;
    EXPECT_EQ(shot.Count(RowRect(list, first), kDisabledGrey), 0) << "picture " << picture;
    ASSERT_EQ(SelectRow(app, kTaskOff), off);
    HWND info = OpenInfoWithEnter(app);
    ASSERT_NE(info, nullptr);
    const InfoTexts shown = ReadInfo(info);
    EXPECT_EQ(shown.memo, std::string("Location=Task Scheduler\\CuUiOff") + kCrLf + "Disabled" + kCrLf + kCrLf +
                              NotFoundReport("C:\\cuui-missing\\off.exe"));
    EXPECT_EQ(shown.second, "Enable");
    EXPECT_TRUE(shown.second_enabled);
    EXPECT_TRUE(shown.action_enabled);
    ASSERT_TRUE(CloseWithEsc(info));
  }
  {
    SCOPED_TRACE("the report file groups each task's rows under its location");
    ASSERT_EQ(SelectRow(app, kTaskFirst), first);
    std::string file;
    ASSERT_NO_FATAL_FAILURE(file = SaveReportWithCtrlS(app));
    EXPECT_NE(file.find(HeaderLines("Task Scheduler\\CuUiBoot") +
                        RowLines(first + 1, kTaskFirst, NotFoundReport("C:\\cuui-missing\\first.exe")) +
                        RowLines(first + 2, kTaskSecond, NotFoundReport("C:\\cuui-missing\\second.exe")) +
                        HeaderLines("Task Scheduler\\CuUiOff")),
              std::string::npos)
        << file;
    EXPECT_NE(file.find(kTaskOff + " (disabled)"), std::string::npos);
  }
  {
    SCOPED_TRACE("DELETE!!! deletes the task through the scheduler");
    ASSERT_GE(SelectRow(app, kTaskUpdater), 0);
    ASSERT_EQ(DeleteSelectedStartupRow(app, kTaskUpdater), "");
    EXPECT_TRUE(WaitFor([&] { return RowIndex(ListRows(list), kTaskUpdater) < 0; }, 5000));
    EXPECT_FALSE(PathExists(store_ + "\\Vendor\\Updater")) << "the task's definition is gone";
    EXPECT_TRUE(PathExists(store_ + "\\CuUiBoot")) << "the other tasks stay";
    EXPECT_TRUE(Dialogs(app.id()).empty()) << "no error box";
  }
}

constexpr char kAppModel[] =
    "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\";

// A package registered for the user with a manifest of two startup tasks
// (the second switched off by the user), and a package whose folder is gone.
class StartupPackagesTest : public StartupCommandsTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartupCommandsTest::SetUp());
    Clear();
    CreateDirectoryA(package_.c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(
        package_ + "\\AppxManifest.xml",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
        "<Package xmlns=\"http://schemas.microsoft.com/appx/manifest/foundation/windows10\" "
        "xmlns:desktop=\"http://schemas.microsoft.com/appx/manifest/desktop/windows10\" "
        "xmlns:uap5=\"http://schemas.microsoft.com/appx/manifest/uap/windows10/5\">\r\n"
        " <Applications><Application Id=\"App\" Executable=\"app.exe\"><Extensions>\r\n"
        "  <desktop:Extension Category=\"windows.startupTask\" Executable=\"tray.exe\" EntryPoint=\"Windows.FullTrustApplication\">\r\n"
        "   <desktop:StartupTask TaskId=\"CuUiTray\" Enabled=\"true\" DisplayName=\"CuUi Tray\"/></desktop:Extension>\r\n"
        "  <uap5:Extension Category=\"windows.startupTask\" Executable=\"bin\\sync.exe\">\r\n"
        "   <uap5:StartupTask TaskId=\"CuUiSync\" Enabled=\"true\" DisplayName=\"CuUi Sync\"/></uap5:Extension>\r\n"
        " </Extensions></Application></Applications>\r\n</Package>\r\n"));
    ASSERT_EQ(Set(std::string(kAppModel) + "Repository\\Packages\\CuUiChat_1.0.0.0_x64__cuuitest",
                  "PackageRootFolder", REG_SZ, package_ + '\0'), ERROR_SUCCESS);
    ASSERT_EQ(Set(std::string(kAppModel) + "Repository\\Packages\\CuUiGone_1.0.0.0_x64__cuuitest",
                  "PackageRootFolder", REG_SZ, package_ + "-gone" + '\0'), ERROR_SUCCESS);
    ASSERT_EQ(Set(StateKey("CuUiSync"), "State", REG_DWORD, std::string("\x01\0\0\0", 4)), ERROR_SUCCESS);
  }
  void TearDown() override {
    Clear();
    StartupCommandsTest::TearDown();
  }
  static std::string StateKey(const std::string& task) {
    return std::string(kAppModel) + "SystemAppData\\CuUiChat_cuuitest\\" + task;
  }
  static LSTATUS Set(const std::string& key, const std::string& name, DWORD type, const std::string& bytes) {
    return RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), type, bytes.data(),
                           static_cast<DWORD>(bytes.size()));
  }
  void Clear() const {
    for (const char* key : {"Repository\\Packages\\CuUiChat_1.0.0.0_x64__cuuitest",
                            "Repository\\Packages\\CuUiGone_1.0.0.0_x64__cuuitest",
                            "SystemAppData\\CuUiChat_cuuitest"}) {
      RegDeleteTreeA(HKEY_CURRENT_USER, (std::string(kAppModel) + key).c_str());
    }
    (void)RemoveTree(package_);
  }
  static std::optional<std::string> State(const std::string& task) {
    const std::optional<cu::test_kit::StoredValue> value = ReadValue(HKEY_CURRENT_USER, StateKey(task), "State");
    if (!value) return std::nullopt;
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD));
    return value->bytes;
  }
  // Opens Info on the row, checks its location and buttons, and presses the switch.
  void SwitchInInfo(AppProcess& app, const std::string& row, const std::string& location,
                    const std::string& caption) {
    ASSERT_GE(SelectRow(app, row), 0);
    HWND info = OpenInfoWithEnter(app);
    ASSERT_NE(info, nullptr);
    const InfoTexts shown = ReadInfo(info);
    EXPECT_EQ(shown.memo.substr(0, shown.memo.find(kCrLf)), "Location=" + location);
    EXPECT_FALSE(shown.action_enabled) << "an app's startup task is not removed";
    EXPECT_EQ(shown.second, caption);
    ASSERT_TRUE(shown.second_enabled);
    ClickDialogButton(info, IDNO);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(info); }, 5000));
    app.Settle();
  }

  const std::string package_ = TempFolder() + "cuui-package";
};

TEST_F(StartupPackagesTest, StartupTasksOfPackagesAreListedAndSwitchedByTheirState) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  HWND list = app.List(0);
  const std::string sync = "CuUi Sync=" + package_ + "\\bin\\sync.exe";
  const std::string tray = "CuUi Tray=" + package_ + "\\tray.exe";
  const std::vector<std::string> rows = ListRows(list);
  EXPECT_EQ(RowsStartingWith(rows, "CuUi "), (std::vector<std::string>{sync, tray})) << Shown(rows);
  const int grey = RowIndex(rows, sync);
  ASSERT_GE(grey, 0);
  ASSERT_NE(ListSelection(list), grey);
  app.Foreground();
  const Screenshot shot = WaitForRowColour(list, grey, kDisabledGrey);
  EXPECT_GT(shot.Count(RowRect(list, grey), kDisabledGrey), 0)
      << "State 1 is drawn grey; picture " << shot.Save(TempFolder() + "cu-startup-packages.bmp");
  EXPECT_EQ(shot.Count(RowRect(list, RowIndex(rows, tray)), kDisabledGrey), 0);

  ASSERT_NO_FATAL_FAILURE(SwitchInInfo(app, tray, "App package CuUiChat_cuuitest\\CuUiTray", "Disable"));
  EXPECT_EQ(State("CuUiTray"), std::optional<std::string>(std::string("\x01\0\0\0", 4)));
  ASSERT_NO_FATAL_FAILURE(SwitchInInfo(app, sync, "App package CuUiChat_cuuitest\\CuUiSync", "Enable"));
  EXPECT_EQ(State("CuUiSync"), std::optional<std::string>(std::string("\x02\0\0\0", 4)));
  EXPECT_TRUE(Dialogs(app.id()).empty()) << "no error box";
}

constexpr char kWinlogonKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr char kWindowsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr char kDebuggedKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\cuui-target.exe";

TEST_F(StartupCommandsTest, LogonValuesAreListedWhenChangedAndRemovalPutsWindowsDefaultBack) {
  const std::vector<std::string> prefixes = {"Shell=", "Userinit=", "Taskman=", "AppInit_DLLs=", "cuui-target.exe="};
  const auto logon_rows = [&](const std::vector<std::string>& rows) {
    std::vector<std::string> found;
    for (const std::string& prefix : prefixes) {
      for (const std::string& row : RowsStartingWith(rows, prefix)) found.push_back(row);
    }
    return found;
  };
  {
    AppProcess app;
    ASSERT_TRUE(app.started());
    EXPECT_EQ(logon_rows(ListRows(app.List(0))), std::vector<std::string>{})
        << "Windows' own values give no row";
  }
  SavedRegistryValues winlogon{HKEY_LOCAL_MACHINE, kWinlogonKey, {"Shell"}};
  SavedRegistryValues windows{HKEY_LOCAL_MACHINE, kWindowsKey, {"AppInit_DLLs"}};
  SavedRegistryValues debugged{HKEY_LOCAL_MACHINE, kDebuggedKey, {"Debugger"}};
  ASSERT_EQ(winlogon.SetString("Shell", "explorer.exe evil.exe"), ERROR_SUCCESS);
  ASSERT_EQ(windows.SetString("AppInit_DLLs", "C:\\cuui-missing\\hook.dll"), ERROR_SUCCESS);
  ASSERT_EQ(debugged.SetString("Debugger", "C:\\cuui-missing\\dbg.exe"), ERROR_SUCCESS);

  AppProcess app;
  ASSERT_TRUE(app.started());
  HWND list = app.List(0);
  const std::string shell = "Shell=explorer.exe evil.exe";
  const std::string dlls = "AppInit_DLLs=C:\\cuui-missing\\hook.dll";
  const std::string debugger = "cuui-target.exe=C:\\cuui-missing\\dbg.exe";
  ASSERT_EQ(logon_rows(ListRows(list)), (std::vector<std::string>{shell, dlls, debugger}))
      << Shown(ListRows(list));
  ASSERT_GE(SelectRow(app, debugger), 0);
  HWND info = OpenInfoWithEnter(app);
  ASSERT_NE(info, nullptr);
  const InfoTexts shown = ReadInfo(info);
  EXPECT_EQ(shown.memo, std::string("Location=HKLM\\") + kDebuggedKey + kCrLf + kCrLf +
                            NotFoundReport("C:\\cuui-missing\\dbg.exe"));
  EXPECT_FALSE(shown.second_enabled) << "these values have no switch";
  ASSERT_TRUE(CloseWithEsc(info));

  struct Removal {
    std::string row, question;
    std::string key, name;
    std::optional<std::string> after;  // nullopt: the value is gone
  };
  const Removal removals[] = {
      {shell, "Set Shell back to explorer.exe?", kWinlogonKey, "Shell", "explorer.exe"},
      {dlls, "Empty AppInit_DLLs?", kWindowsKey, "AppInit_DLLs", ""},
      {debugger, "Delete " + debugger + "?", kDebuggedKey, "Debugger", std::nullopt},
  };
  for (const Removal& removal : removals) {
    SCOPED_TRACE(removal.row);
    ASSERT_GE(SelectRow(app, removal.row), 0);
    ASSERT_EQ(DeleteSelectedStartupRow(app, removal.row, removal.question), "");
    EXPECT_TRUE(WaitFor([&] { return RowIndex(ListRows(list), removal.row) < 0; }, 5000));
    const std::optional<cu::test_kit::StoredValue> value = ReadValue(HKEY_LOCAL_MACHINE, removal.key, removal.name);
    EXPECT_EQ(value ? std::optional<std::string>(value->Text()) : std::nullopt, removal.after);
  }
  EXPECT_TRUE(Dialogs(app.id()).empty()) << "no error box";
}

// The size and date lines a report gives for a file found: its size grouped
// by the user's thousands separator, its last write in local time, to the
// two seconds of a DOS date-time, as the short date and the time (no time
// at midnight).
std::string FileLines(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  FILETIME local{};
  SYSTEMTIME time{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &time)) {
    return "?";
  }
  time.wSecond &= ~1;
  const std::string size = GroupedDigits((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
  char date[128] = {};
  char clock[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &time, nullptr, clock, sizeof clock);
  const bool midnight = time.wHour == 0 && time.wMinute == 0 && time.wSecond == 0;
  return "FileSize=" + size + kCrLf + "FileDate=" + date + (midnight ? "" : std::string(" ") + clock);
}

constexpr COLORREF kUnverifiedPale = RGB(255, 208, 208);

// HKCU Run values whose programs are the signature fixtures, the test root
// trusted. Their rows sort together after the rows above, in this order.
class StartupSignaturesTest : public StartupCommandsTest {
 protected:
  struct Program {
    std::string name;
    std::string path;
    std::string verdict;  // the report's text after "Signature="
    bool pale;            // drawn on pale red when not selected
    std::string Row() const { return name + "=" + path; }
  };

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartupCommandsTest::SetUp());
    ASSERT_EQ(cu::test_kit::TrustTestRoot(), static_cast<DWORD>(ERROR_SUCCESS));
    for (const Program& program : programs_) {
      ASSERT_TRUE(PathExists(program.path)) << program.path << " is made with the signature fixtures";
      ASSERT_EQ(signed_run_.SetString(program.name, program.path), ERROR_SUCCESS);
    }
  }

  const cu::test_kit::SignatureFixtures fixtures_ = cu::test_kit::SignatureFixturePaths();
  const std::vector<Program> programs_{
      {"cuui-sig-self", fixtures_.self_signed, std::string("Not trusted: ") + cu::test_kit::kSelfSignedPublisher,
       true},
      {"cuui-sig-tampered", fixtures_.tampered, "Invalid: the file was changed after it was signed", true},
      {"cuui-sig-trusted", fixtures_.signed_by_trusted, std::string("Verified: ") + cu::test_kit::kTestPublisher,
       false},
      {"cuui-sig-unsigned", fixtures_.unsigned_program, "Not signed", true},
  };
  SavedRegistryValues signed_run_{
      HKEY_CURRENT_USER, kRunKey, {"cuui-sig-self", "cuui-sig-tampered", "cuui-sig-trusted", "cuui-sig-unsigned"}};
};

TEST_F(StartupSignaturesTest, EachProgramsVerdictShowsInInfoInTheReportFileAndAsAPaleRowUnlessVerified) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  HWND list = app.List(0);
  const std::vector<std::string> rows = ListRows(list);
  SCOPED_TRACE("rows:\n" + Shown(rows));
  const int first = RowIndex(rows, programs_.front().Row());
  ASSERT_GE(first, 0);
  for (std::size_t i = 0; i < programs_.size(); ++i) {
    ASSERT_EQ(RowIndex(rows, programs_[i].Row()), first + static_cast<int>(i)) << "the rows stand together";
  }
  // A program's report: no version resource, so its path, then its size,
  // date and verdict.
  const auto report = [](const Program& program) {
    return program.path + kCrLf + kCrLf + FileLines(program.path) + kCrLf + "Signature=" + program.verdict;
  };
  {
    SCOPED_TRACE("pale red unless verified, while not selected");
    const int last = first + static_cast<int>(programs_.size()) - 1;
    ASSERT_LT(ListSelection(list), first);
    SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(first), 0);
    RECT client{};
    GetClientRect(list, &client);
    ASSERT_LE(RowRect(list, last).bottom, client.bottom) << "the rows are in view";
    app.Foreground();
    // Each pale row is waited for; the last screenshot shows them all.
    std::optional<Screenshot> shot;
    for (std::size_t i = 0; i < programs_.size(); ++i) {
      if (programs_[i].pale) shot.emplace(WaitForRowColour(list, first + static_cast<int>(i), kUnverifiedPale));
    }
    const std::string picture = shot->Save(TempFolder() + "cu-startup-signatures.bmp");
    for (std::size_t i = 0; i < programs_.size(); ++i) {
      const int pale = shot->Count(RowRect(list, first + static_cast<int>(i)), kUnverifiedPale);
      if (programs_[i].pale) {
        EXPECT_GT(pale, 0) << programs_[i].name << "; picture " << picture;
      } else {
        EXPECT_EQ(pale, 0) << programs_[i].name << "; picture " << picture;
      }
    }
  }
  for (const Program& program : programs_) {
    SCOPED_TRACE("Info on " + program.name);
    ASSERT_GE(SelectRow(app, program.Row()), 0);
    HWND info = OpenInfoWithEnter(app);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(ReadInfo(info).memo, std::string("Location=") + kRunLocation + kCrLf + kCrLf + report(program));
    ASSERT_TRUE(CloseWithEsc(info));
  }
  {
    SCOPED_TRACE("the report file");
    std::string file;
    ASSERT_NO_FATAL_FAILURE(file = SaveReportWithCtrlS(app));
    // One group (kRunD, before them, is an HKCU Run row too).
    std::string expected;
    for (std::size_t i = 0; i < programs_.size(); ++i) {
      expected += RowLines(first + static_cast<int>(i) + 1, programs_[i].Row(), report(programs_[i]));
    }
    EXPECT_NE(file.find(expected), std::string::npos) << "expected part:\n" << expected << "\nfile:\n" << file;
  }
}

TEST_F(StartupCommandsTest, TwoThousandProgramsAreVerifiedBehindAWindowThatKeepsAnswering) {
  ASSERT_EQ(cu::test_kit::TrustTestRoot(), static_cast<DWORD>(ERROR_SUCCESS));
  constexpr int kPrograms = 2000;
  // Copies of the trusted and of the unsigned program in turn, the last one
  // unsigned: each is a file of its own, verified afresh, in list order.
  const cu::test_kit::SignatureFixtures fixtures = cu::test_kit::SignatureFixturePaths();
  const std::string folder = TempFolder() + "cuui-many-programs";
  (void)RemoveTree(folder);
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  struct Cleanup {
    std::string folder;
    ~Cleanup() { (void)RemoveTree(folder); }
  } cleanup{folder};
  const auto numbered = [](int i) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04d", i);
    return std::string(digits);
  };
  std::vector<std::string> names;
  for (int i = 0; i < kPrograms; ++i) names.push_back("cuui-many-" + numbered(i));
  SavedRegistryValues many{HKEY_CURRENT_USER, kRunKey, names};
  std::vector<std::string> rows_seeded;
  for (int i = 0; i < kPrograms; ++i) {
    const std::string path = folder + "\\p" + numbered(i) + ".exe";
    const std::string& source = i % 2 == 0 ? fixtures.signed_by_trusted : fixtures.unsigned_program;
    ASSERT_TRUE(CopyFileA(source.c_str(), path.c_str(), FALSE)) << path;
    ASSERT_EQ(many.SetString(names[i], path), ERROR_SUCCESS);
    rows_seeded.push_back(names[i] + "=" + path);
  }

  // The first load of every list runs on the window thread, with or without
  // signatures: it is probed from the moment the window shows, for the
  // figures only.
  const auto start = std::chrono::steady_clock::now();
  ResponsivenessProbe loading([] { return FindWindowA("ClearUtilityMain", "Clear utility"); });
  AppProcess app;
  ASSERT_TRUE(app.started());
  loading.Stop();
  const double loaded_after = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ResponsivenessProbe probe(app.main());
  HWND list = app.List(0);
  const std::vector<std::string> rows = ListRows(list);
  const int last = RowIndex(rows, rows_seeded.back());
  const int before_last = RowIndex(rows, rows_seeded[kPrograms - 2]);
  ASSERT_GT(last, 0) << rows.size() << " rows";
  ASSERT_EQ(before_last, last - 1);
  ASSERT_LT(ListSelection(list), before_last);
  const RECT last_rect = VisibleRow(list, last);
  const RECT before_last_rect = RowRect(list, before_last);
  // A picture of the scrolled list: the selected first row is out of view.
  RECT client{};
  GetClientRect(list, &client);
  std::optional<Screenshot> shot;
  ASSERT_TRUE(WaitFor(
      [&] {
        shot.emplace(list);
        return shot->Count(client, GetSysColor(COLOR_HIGHLIGHT)) == 0;
      },
      5000));
  const bool coloured_at_once = shot->Count(last_rect, kUnverifiedPale) > 0;
  const bool coloured = WaitFor(
      [&] {
        shot.emplace(list);
        return shot->Count(last_rect, kUnverifiedPale) > 0;
      },
      300000);
  const double coloured_after = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  probe.Stop();
  const std::string picture = shot->Save(TempFolder() + "cu-startup-many.bmp");
  std::printf("[ signatures ] %d programs: window loaded after %.1f s (%d probes while loading, slowest %d ms), "
              "last row coloured after %.1f s; %d probes since the load, slowest %d ms\n",
              kPrograms, loaded_after, loading.probes(), loading.slowest_ms(), coloured_after, probe.probes(),
              probe.slowest_ms());
  // 2,000 files take seconds to verify: they are verified behind the
  // loaded window, not while it loads.
  EXPECT_FALSE(coloured_at_once) << "the last row's verdict was in when the window had only just loaded";
  EXPECT_TRUE(coloured) << "the last unsigned row is drawn pale red; picture " << picture;
  EXPECT_EQ(shot->Count(before_last_rect, kUnverifiedPale), 0)
      << "the trusted one before it (verified first) is not; picture " << picture;
  EXPECT_GT(probe.probes(), 0);
  EXPECT_EQ(probe.stalls(), 0) << probe.probes() << " probes, slowest answer " << probe.slowest_ms() << " ms";
}

}  // namespace
}  // namespace cu::ui_test
