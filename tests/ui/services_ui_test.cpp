// The Services tab worked from outside: the list against the service
// manager's own view, the colours of running rows, the toggle, the export,
// and the Info flow on a real service of ours (tests\win32\test-service.exe).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui_driver.h"

namespace cu::ui_test {
namespace {

constexpr int kServicesPage = 3;
constexpr char kServiceName[] = "ClearUtilityUiTestService";
constexpr char kDisplayName[] = "Clear utility test service";
constexpr char kDescription[] = "Started and stopped by the window tests";
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kAqua = RGB(0, 255, 255);
constexpr COLORREF kUnverified = RGB(255, 208, 208);

using cu::win32::UniqueSc;

// One service as the service manager reports it, independently of the program.
struct ManagerEntry {
  std::string display_name;
  bool running = false;
};

std::vector<ManagerEntry> ManagerServices() {
  std::vector<ManagerEntry> entries;
  UniqueSc manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
  if (!manager) return entries;
  std::vector<BYTE> buffer(64 * 1024);
  DWORD needed = 0;
  DWORD count = 0;
  DWORD resume = 0;
  while (!EnumServicesStatusA(manager.get(), SERVICE_WIN32, SERVICE_STATE_ALL,
                              reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data()),
                              static_cast<DWORD>(buffer.size()), &needed, &count, &resume)) {
    if (GetLastError() != ERROR_MORE_DATA) return entries;
    buffer.resize(buffer.size() + needed);
    resume = 0;
  }
  const auto* records = reinterpret_cast<const ENUM_SERVICE_STATUSA*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    entries.push_back({records[i].lpDisplayName, records[i].ServiceStatus.dwCurrentState == SERVICE_RUNNING});
  }
  return entries;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> DisplayNames(const std::vector<ManagerEntry>& entries, bool only_running) {
  std::vector<std::string> names;
  for (const ManagerEntry& entry : entries) {
    if (entry.running || !only_running) names.push_back(entry.display_name);
  }
  return names;
}

// The toggle ButSrv: the push-like check box on the Services page.
HWND Toggle(const AppProcess& app) {
  for (HWND child : Children(GetParent(app.List(kServicesPage)))) {
    if (_stricmp(ClassOf(child).c_str(), "Button") == 0 &&
        (GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
      return child;
    }
  }
  return nullptr;
}

// "R / N" read from the toggle; false when the caption has another form.
bool ParseCounts(const std::string& caption, int& running, int& total) {
  char rest = 0;
  return std::sscanf(caption.c_str(), "%d / %d%c", &running, &total, &rest) == 2;
}

// What a user's click on a row does: the row is selected and the list tells
// its parent.
void SelectRow(const AppProcess& app, int index) {
  HWND list = app.List(kServicesPage);
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list));
  app.Settle();
}

// Posted, since the click may open a modal dialog in the program.
void Click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

// Chooses the action of the Info dialog and waits until the flow behind it
// has ended and the list is reloaded.
void ChooseInInfo(const AppProcess& app, HWND dialog, int id) {
  ClickDialogButton(dialog, id);
  WaitFor([&] { return !IsWindow(dialog); }, 10000);
  app.Settle();
}

// Quoted: the build folder may hold blanks.
std::string Quoted(const std::string& path) { return "\"" + path + "\""; }
std::string TestServiceCommand() { return Quoted(ExeFolder() + "tests\\win32\\test-service.exe"); }

// The test service's state and process now; all zero when unknown.
SERVICE_STATUS_PROCESS StatusNow() {
  return cu::test_kit::ServiceStatusNow(kServiceName).value_or(SERVICE_STATUS_PROCESS{});
}

// Gives the test service this command line from its next start on.
bool SetCommand(const std::string& command) {
  UniqueSc manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  UniqueSc service(manager ? OpenServiceA(manager.get(), kServiceName, SERVICE_CHANGE_CONFIG) : nullptr);
  return service && ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                         command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

// A message box of the program showing exactly `text`; null when none
// shows in time.
HWND WaitForMessage(DWORD process_id, const std::string& text, int timeout_ms = 20000) {
  return WaitForDialogWhere(process_id, [&](HWND dialog) { return MessageBoxText(dialog) == text; },
                            timeout_ms);
}

// Returns once the window thread takes messages again after long work: at
// the end of the command, or in the loop of a message box it shows.
void AfterWork(const AppProcess& app) {
  WaitFor([&] { return ProgressDialog(app.id()) == nullptr; }, 30000);
  DWORD_PTR result = 0;
  SendMessageTimeoutA(app.main(), WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
}

// Registers the test service (stopped, demand start) for each test.
class ServicesWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string program = ExeFolder() + "tests\\win32\\test-service.exe";
    ASSERT_NE(GetFileAttributesA(program.c_str()), INVALID_FILE_ATTRIBUTES) << program << " is built with ui_tests";
    ASSERT_TRUE(service_.created()) << "the test service could not be registered";
    ASSERT_TRUE(service_.SetDescription(kDescription));
  }

  // The Info dialog's report on the test service in this state.
  std::string ExpectedMemo(const std::string& state) const {
    std::string memo = std::string("Display Name:\t") + kDisplayName + "\r\n" + "Service Name:\t" + kServiceName +
                       "\r\n" + "Service Type:\tOwn process.\r\n" + "Current State:\t" + state + "\r\n" +
                       "Start Type: \tDemand (Manual) Start\r\n" + "BinaryPathName:\t" + command_ + "\r\n" +
                       "Signature:\tNot signed\r\n";
    const std::string start_name = service_.StartName();
    if (!start_name.empty()) memo += "ServiceStartName:\t" + start_name + "\r\n";
    return memo + "Description:\t" + kDescription;
  }

  // Shows the Services tab (which reloads the list) and finds its list and
  // toggle.
  void ShowServices(AppProcess& app) {
    app.SelectTab(kServicesPage);
    app.Settle();
    list_ = app.List(kServicesPage);
    toggle_ = Toggle(app);
    ASSERT_NE(list_, nullptr);
    ASSERT_NE(toggle_, nullptr);
    // The toggle is up at the start: "<running> / <all>".
    ASSERT_TRUE(ParseCounts(TextOf(toggle_), running_, total_)) << "caption: " << TextOf(toggle_);
  }

  // Selects the test service's row and opens its Info dialog.
  void OpenInfoOnTestService(const AppProcess& app, HWND& dialog) {
    const int row = RowIndex(ListRows(list_), kDisplayName);
    ASSERT_GE(row, 0);
    SelectRow(app, row);
    Click(app.Button(kServicesPage, "Info"));
    dialog = WaitForDialog(app.id(), "Info Service");
    ASSERT_NE(dialog, nullptr) << "the Info dialog opens";
  }

  // Info on the running test service, ReStart!, and once the service
  // reports `state` under the progress dialog, its Stop, or a close of the
  // main window.
  void RestartAndStopWhen(AppProcess& app, DWORD state, bool close_window) {
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenInfoOnTestService(app, dialog));
    ASSERT_EQ(ReadInfo(dialog).action, "ReStart!");
    ClickDialogButton(dialog, IDYES);
    HWND progress = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] { return (progress = ProgressDialog(app.id())) != nullptr && StatusNow().dwCurrentState == state; },
        20000))
        << "the service's state under the progress dialog: " << StatusNow().dwCurrentState;
    if (close_window) {
      PostMessageA(app.main(), WM_CLOSE, 0, 0);
    } else {
      ClickDialogButton(progress, IDCANCEL);
    }
  }

  const std::string command_ = TestServiceCommand();
  RegisteredService service_{kServiceName, kDisplayName, command_};
  HWND list_ = nullptr;
  HWND toggle_ = nullptr;
  int running_ = -1;  // the counts the toggle showed when the tab opened
  int total_ = -1;
};

TEST_F(ServicesWindowTest, ListsEveryServiceWithRunningRowsInRed) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  ASSERT_NO_FATAL_FAILURE(ShowServices(app));

  // Up: every Win32 service of the prefix, the caption "R / N".
  const std::vector<ManagerEntry> manager = ManagerServices();
  const std::vector<std::string> rows = ListRows(list_);
  std::string shown;
  for (const std::string& row : rows) shown += row + "\n";
  SCOPED_TRACE("rows:\n" + shown);
  EXPECT_EQ(SendMessageW(list_, LB_GETCOUNT, 0, 0), total_);
  EXPECT_EQ(Sorted(rows), Sorted(DisplayNames(manager, false)));
  EXPECT_EQ(running_, static_cast<int>(DisplayNames(manager, true).size()));
  EXPECT_EQ(SendMessageW(toggle_, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(ListSelection(list_), 0);

  // A running row is drawn in red, a stopped row (our service) has no red.
  // Neither may be the selected row, which is drawn in other colours.
  const int stopped_row = RowIndex(rows, kDisplayName);
  ASSERT_GT(stopped_row, 0);
  int running_row = -1;
  for (const ManagerEntry& entry : manager) {
    const int row = RowIndex(rows, entry.display_name);
    if (entry.running && row > 0 &&
        (running_row < 0 || std::abs(row - stopped_row) < std::abs(running_row - stopped_row))) {
      running_row = row;
    }
  }
  ASSERT_GT(running_row, 0) << "the prefix runs a service besides the first row";
  SendMessageW(list_, LB_SETTOPINDEX, static_cast<WPARAM>(std::min(running_row, stopped_row)), 0);
  const RECT running_rect = RowRect(list_, running_row);
  const RECT stopped_rect = RowRect(list_, stopped_row);
  RECT client{};
  GetClientRect(list_, &client);
  ASSERT_LE(std::max(running_rect.bottom, stopped_rect.bottom), client.bottom) << "both rows are in view";
  app.Foreground();
  const Screenshot shot = WaitForRowColour(list_, running_row, kRed);
  const std::string picture = shot.Save(TempFolder() + "cu-services-list.bmp");
  EXPECT_GT(shot.Count(running_rect, kRed), 0) << rows[running_row] << " runs: red text; picture " << picture;
  EXPECT_EQ(shot.Count(stopped_rect, kRed), 0) << "a stopped row has no red; picture " << picture;
  EXPECT_EQ(shot.Count(stopped_rect, kAqua), 0) << "nor aqua; picture " << picture;
}

TEST_F(ServicesWindowTest, ToggleDownListsOnlyTheRunningServicesAndUpEveryServiceAgain) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  ASSERT_NO_FATAL_FAILURE(ShowServices(app));

  // Down: only the running services, the caption their count.
  Click(toggle_);
  ASSERT_TRUE(WaitFor([&] { return TextOf(toggle_) == std::to_string(running_); }, 10000))
      << "caption: " << TextOf(toggle_);
  app.Settle();
  EXPECT_EQ(SendMessageW(toggle_, BM_GETCHECK, 0, 0), BST_CHECKED);
  const std::vector<std::string> running_rows = ListRows(list_);
  EXPECT_EQ(static_cast<int>(running_rows.size()), running_);
  EXPECT_EQ(Sorted(running_rows), Sorted(DisplayNames(ManagerServices(), true)));
  EXPECT_EQ(RowIndex(running_rows, kDisplayName), -1);

  // Up again: every service.
  Click(toggle_);
  EXPECT_TRUE(WaitFor([&] { return TextOf(toggle_) == std::to_string(running_) + " / " + std::to_string(total_); },
                      10000))
      << "caption: " << TextOf(toggle_);
  app.Settle();
  EXPECT_EQ(SendMessageW(list_, LB_GETCOUNT, 0, 0), total_);
}

TEST_F(ServicesWindowTest, SaveWithToggleDownWritesTheRunningServicesDisplayNames) {
  const std::string path = TempFolder() + "cu-ui-services.txt";
  DeleteFileA(path.c_str());
  cu::win32::ScopeExit remove_file([&] { DeleteFileA(path.c_str()); });

  AppProcess app;
  ASSERT_TRUE(app.started());
  ASSERT_NO_FATAL_FAILURE(ShowServices(app));
  Click(toggle_);
  ASSERT_TRUE(WaitFor([&] { return SendMessageW(toggle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }, 10000));
  app.Settle();
  const std::vector<std::string> rows = ListRows(list_);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(TextOf(toggle_), std::to_string(rows.size()));

  Click(app.Button(kServicesPage, "Save"));
  ASSERT_EQ(SaveAsInDialog(app, path), "");
  app.Settle();
  EXPECT_TRUE(Dialogs(app.id()).empty()) << "no error box";

  std::string expected;
  for (const std::string& row : rows) expected += row + "\r\n";
  EXPECT_EQ(ReadWholeFile(path).value_or(""), expected) << "the rows in list order, each line ended by CR LF";
  EXPECT_EQ(Sorted(rows), Sorted(DisplayNames(ManagerServices(), true))) << "only the running services";
}

TEST_F(ServicesWindowTest, InfoStartsTheStoppedTestServiceAndDrawsItsRowAsRunning) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  ASSERT_NO_FATAL_FAILURE(ShowServices(app));
  const std::vector<std::string> rows = ListRows(list_);
  const int row = RowIndex(rows, kDisplayName);
  ASSERT_GT(row, 0) << "the reload selects row 0 first, so another row shows the reselection";
  SelectRow(app, row);

  // Info on the stopped service: its report, "Start!", no "Stop", the
  // Ctrl+Del hint.
  Click(app.Button(kServicesPage, "Info"));
  HWND dialog = WaitForDialog(app.id(), "Info Service");
  ASSERT_NE(dialog, nullptr) << "the Info dialog opens";
  const InfoTexts info = ReadInfo(dialog);
  EXPECT_EQ(info.memo, ExpectedMemo("The service is not running."));
  EXPECT_EQ(info.action, "Start!");
  EXPECT_FALSE(info.stop_shown);
  EXPECT_EQ(info.hint, "Press Ctrl+Del to delete     ");

  // "Start!": the service runs, is counted, and its row (still selected)
  // is drawn in aqua; once another row is selected, in red.
  const std::string caption_with_ours = std::to_string(running_ + 1) + " / " + std::to_string(total_);
  ChooseInInfo(app, dialog, IDYES);
  EXPECT_TRUE(WaitFor([&] { return TextOf(toggle_) == caption_with_ours; }, 10000)) << "caption: " << TextOf(toggle_);
  EXPECT_EQ(StatusNow().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  ASSERT_EQ(ListRows(list_), rows);
  EXPECT_EQ(ListSelection(list_), row);
  app.Foreground();
  {
    const Screenshot shot = WaitForRowColour(list_, row, kAqua);
    EXPECT_GT(shot.Count(VisibleRow(list_, row), kAqua), 0)
        << "selected running row in aqua; picture: " << shot.Save(TempFolder() + "cu-services-aqua.bmp");
  }
  SelectRow(app, 0);
  {
    const Screenshot shot = WaitForRowColour(list_, row, kRed);
    EXPECT_GT(shot.Count(VisibleRow(list_, row), kRed), 0)
        << "started service's row in red; picture: " << shot.Save(TempFolder() + "cu-services-started.bmp");
  }
  SelectRow(app, row);
  EXPECT_EQ(FocusOf(app.main()), list_) << "the list has the focus after the Info flow";
}

TEST_F(ServicesWindowTest, EnterShowsInfoOnTheRunningTestServiceAndRestartKeepsItsRowSelected) {
  ASSERT_TRUE(service_.Start());
  const DWORD started_process = StatusNow().dwProcessId;
  AppProcess app;
  ASSERT_TRUE(app.started());
  ASSERT_NO_FATAL_FAILURE(ShowServices(app));
  const std::string caption_with_ours = TextOf(toggle_);
  const std::vector<std::string> rows = ListRows(list_);
  const int row = RowIndex(rows, kDisplayName);
  ASSERT_GT(row, 0) << "the reload selects row 0 first, so another row shows the reselection";
  SelectRow(app, row);
  ASSERT_TRUE(WaitFor([&] { return FocusOf(app.main()) == list_; }, 3000)) << "the list has the focus";

  // Info by Enter on the list.
  app.Foreground();
  PressKey(VK_RETURN);
  HWND dialog = WaitForDialog(app.id(), "Info Service");
  ASSERT_NE(dialog, nullptr) << "Enter opens Info";
  const InfoTexts info = ReadInfo(dialog);
  EXPECT_EQ(info.memo, ExpectedMemo("The service is running."));
  EXPECT_EQ(info.action, "ReStart!");
  EXPECT_TRUE(info.stop_shown);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDNO)), "Stop");
  EXPECT_EQ(info.hint, "");

  // "ReStart!": stopped and started again (a new process), the list reloaded
  // with the same row selected.
  ChooseInInfo(app, dialog, IDYES);
  const SERVICE_STATUS_PROCESS restarted = StatusNow();
  EXPECT_EQ(restarted.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_NE(restarted.dwProcessId, 0u);
  EXPECT_NE(restarted.dwProcessId, started_process) << "the service ran in a new process";
  EXPECT_EQ(TextOf(toggle_), caption_with_ours);
  EXPECT_EQ(ListRows(list_), rows);
  EXPECT_EQ(ListSelection(list_), row) << "the reloaded list selects the same row";
}

TEST_F(ServicesWindowTest, StopDuringARestartNamesTheServiceStillStoppingAlsoWhenTheWindowCloses) {
  // Its stop lasts five seconds, so it is still stopping when the waiting ends.
  ASSERT_TRUE(SetCommand(command_ + " --stop-ms=5000"));
  ASSERT_TRUE(service_.Start());
  const std::string message = std::string("Not started again: ") + kDisplayName;
  for (const bool close_window : {false, true}) {
    SCOPED_TRACE(close_window ? "the main window closed" : "Stop in the progress dialog");
    const DWORD process = StatusNow().dwProcessId;
    AppProcess app;
    ASSERT_TRUE(app.started());
    ASSERT_NO_FATAL_FAILURE(ShowServices(app));
    ASSERT_NO_FATAL_FAILURE(RestartAndStopWhen(app, SERVICE_STOP_PENDING, close_window));
    HWND box = WaitForMessage(app.id(), message);
    ASSERT_NE(box, nullptr) << "the restart says what it left down";
    Sleep(500);
    EXPECT_TRUE(IsWindow(box) && IsWindowVisible(box)) << "the message stays until it is answered";
    ClickDialogButton(box, IDOK);
    if (close_window) {
      EXPECT_TRUE(app.Exited(15000)) << "the window closes once the message is answered";
    } else {
      ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, 5000));
      app.Settle();
      EXPECT_FALSE(app.Exited(0));
      EXPECT_TRUE(Dialogs(app.id()).empty());
    }
    // The stop goes on to its end; nothing started the service again.
    EXPECT_TRUE(WaitFor([] { return StatusNow().dwCurrentState == SERVICE_STOPPED; }, 15000))
        << "state: " << StatusNow().dwCurrentState;
    ASSERT_TRUE(cu::test_kit::WaitForServiceProcessEnd(kServiceName, process));
    if (!close_window) {
      ASSERT_TRUE(service_.Start());
    }
  }
}

TEST_F(ServicesWindowTest, StartOnAServiceWhoseProgramIsMissingSaysWhy) {
  ASSERT_TRUE(SetCommand("\"C:\\cu no such folder\\missing.exe\""));
  AppProcess app;
  ASSERT_TRUE(app.started());
  ASSERT_NO_FATAL_FAILURE(ShowServices(app));
  HWND dialog = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenInfoOnTestService(app, dialog));
  ASSERT_EQ(ReadInfo(dialog).action, "Start!");
  ClickDialogButton(dialog, IDYES);
  const std::optional<std::string> error = AcceptErrorBox(app);
  const std::string prefix = "The service was not started: ";
  ASSERT_TRUE(error.has_value()) << "the failure is said";
  EXPECT_EQ(error->rfind(prefix, 0), 0u) << *error;
  EXPECT_GT(error->size(), prefix.size()) << "the system's text follows";
  EXPECT_EQ(StatusNow().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_TRUE(Dialogs(app.id()).empty());
}

TEST_F(ServicesWindowTest, StopDuringTheStartOfARestartLeavesTheServiceToRun) {
  ASSERT_TRUE(service_.Start());
  // From the restart's start on it stays starting for five seconds.
  ASSERT_TRUE(SetCommand(command_ + " --start-ms=5000"));
  const DWORD process = StatusNow().dwProcessId;
  AppProcess app;
  ASSERT_TRUE(app.started());
  ASSERT_NO_FATAL_FAILURE(ShowServices(app));
  ASSERT_NO_FATAL_FAILURE(RestartAndStopWhen(app, SERVICE_START_PENDING, false));
  AfterWork(app);
  const std::vector<HWND> boxes = Dialogs(app.id());
  EXPECT_TRUE(boxes.empty()) << "nothing to say: " << MessageBoxText(boxes.empty() ? nullptr : boxes.front());
  app.Settle();
  EXPECT_TRUE(WaitFor([] { return StatusNow().dwCurrentState == SERVICE_RUNNING; }, 15000))
      << "state: " << StatusNow().dwCurrentState;
  EXPECT_NE(StatusNow().dwProcessId, process) << "started again, in a new process";
}

// The test service's start type as the manager reports it.
DWORD StartTypeNow() {
  UniqueSc manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  UniqueSc service(manager ? OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_CONFIG) : nullptr);
  std::vector<BYTE> buffer(8192);
  DWORD needed = 0;
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  if (!service || !QueryServiceConfigA(service.get(), config, static_cast<DWORD>(buffer.size()), &needed)) {
    return 0xFFFFFFFF;
  }
  return config->dwStartType;
}

TEST_F(ServicesWindowTest, StartTypeListInInfoChangesTheTypeAfterTheQuestion) {
  AppProcess app;
  ASSERT_TRUE(app.started());
  ASSERT_NO_FATAL_FAILURE(ShowServices(app));
  const int row = RowIndex(ListRows(list_), kDisplayName);
  ASSERT_GE(row, 0);
  SelectRow(app, row);
  Click(app.Button(kServicesPage, "Info"));
  HWND dialog = WaitForDialog(app.id(), "Info Service");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ReadInfo(dialog).memo, ExpectedMemo("The service is not running."));
  HWND label = ChildByText(dialog, "Static", "Start type:");
  HWND combo = ChildByClassAndIndex(dialog, "ComboBox", 0);
  ASSERT_NE(label, nullptr) << "the list is labelled";
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(GetWindowLongA(combo, GWL_STYLE) & 3, CBS_DROPDOWNLIST);
  ASSERT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 4);
  const auto item = [combo](int index) {
    wchar_t text[64] = {};  // ASCII texts, read as Unicode across processes
    SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    std::string ascii;
    for (const wchar_t* c = text; *c != 0; ++c) ascii += static_cast<char>(*c);
    return ascii;
  };
  EXPECT_EQ(item(0) + "|" + item(1) + "|" + item(2) + "|" + item(3),
            "Automatic|Automatic (delayed start)|Manual|Disabled");
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 2) << "Manual, as registered";

  // Picked as a user would: the selection changes, the dialog is told.
  const auto pick = [&](int index, const char* type, int answer) {
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    HWND question = WaitForDialog(app.id(), "Confirm");
    ASSERT_NE(question, nullptr) << "the change is asked first";
    EXPECT_EQ(MessageBoxText(question), std::string("Set the start type of ") + kDisplayName + " to " + type + "?");
    ClickDialogButton(question, answer);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(question); }, 5000));
    Sleep(300);
  };
  ASSERT_NO_FATAL_FAILURE(pick(3, "Disabled", IDYES));
  EXPECT_EQ(StartTypeNow(), static_cast<DWORD>(SERVICE_DISABLED));
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 3);
  EXPECT_NE(ReadInfo(dialog).memo.find("Start Type: \tDisabled\r\n"), std::string::npos);
  ASSERT_NO_FATAL_FAILURE(pick(0, "Automatic", IDNO));
  EXPECT_EQ(StartTypeNow(), static_cast<DWORD>(SERVICE_DISABLED)) << "No changes nothing";
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 3);
  ASSERT_NO_FATAL_FAILURE(pick(2, "Manual", IDYES));
  EXPECT_EQ(StartTypeNow(), static_cast<DWORD>(SERVICE_DEMAND_START));
  EXPECT_EQ(ReadInfo(dialog).memo, ExpectedMemo("The service is not running."));

  ChooseInInfo(app, dialog, IDCANCEL);
  EXPECT_EQ(ListSelection(list_), row) << "the reloaded list keeps the row";
}

TEST_F(ServicesWindowTest, AServiceWhoseProgramTheTrustedPublisherSignedIsReportedVerifiedAndNotDrawnPale) {
  ASSERT_EQ(cu::test_kit::TrustTestRoot(), static_cast<DWORD>(ERROR_SUCCESS));
  constexpr char kSignedDisplayName[] = "Clear utility signed test service";
  const std::string program = cu::test_kit::SignatureFixturePaths().signed_service;
  ASSERT_TRUE(PathExists(program)) << program << " is made with the signature fixtures";
  const std::string command = Quoted(program);
  RegisteredService signed_service{"ClearUtilityUiSignedService", kSignedDisplayName, command};
  ASSERT_TRUE(signed_service.created());

  AppProcess app;
  ASSERT_TRUE(app.started());
  ASSERT_NO_FATAL_FAILURE(ShowServices(app));
  const std::vector<std::string> rows = ListRows(list_);
  const int signed_row = RowIndex(rows, kSignedDisplayName);
  const int unsigned_row = RowIndex(rows, kDisplayName);
  ASSERT_GT(signed_row, 0) << Shown(rows);
  ASSERT_GT(unsigned_row, 0);
  {
    SCOPED_TRACE("the unsigned test service's row is pale red, the signed one's is not");
    ASSERT_NE(ListSelection(list_), signed_row);
    ASSERT_NE(ListSelection(list_), unsigned_row);
    SendMessageW(list_, LB_SETTOPINDEX, static_cast<WPARAM>(std::min(signed_row, unsigned_row)), 0);
    RECT client{};
    GetClientRect(list_, &client);
    ASSERT_LE(std::max(RowRect(list_, signed_row).bottom, RowRect(list_, unsigned_row).bottom), client.bottom)
        << "both rows are in view";
    app.Foreground();
    const Screenshot shot = WaitForRowColour(list_, unsigned_row, kUnverified);
    const std::string picture = shot.Save(TempFolder() + "cu-services-signatures.bmp");
    EXPECT_GT(shot.Count(RowRect(list_, unsigned_row), kUnverified), 0) << "picture " << picture;
    EXPECT_EQ(shot.Count(RowRect(list_, signed_row), kUnverified), 0) << "picture " << picture;
  }
  SelectRow(app, signed_row);
  Click(app.Button(kServicesPage, "Info"));
  HWND dialog = WaitForDialog(app.id(), "Info Service");
  ASSERT_NE(dialog, nullptr) << "the Info dialog opens";
  const std::string memo = ReadInfo(dialog).memo;
  // A line break added at the end, so the verdict's line is matched whole
  // also when it is the last.
  EXPECT_NE((memo + "\r\n").find("\r\nBinaryPathName:\t" + command + "\r\nSignature:\tVerified: " +
                                 cu::test_kit::kTestPublisher + "\r\n"),
            std::string::npos)
      << memo;
  ChooseInInfo(app, dialog, IDCANCEL);
}

}  // namespace
}  // namespace cu::ui_test
