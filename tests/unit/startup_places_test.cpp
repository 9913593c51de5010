// The autostart places beside the Run keys: scheduled tasks, packaged apps'
// startup tasks, and the values that replace or wrap what Windows starts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/errors.h"
#include "startup/startup_places.h"
#include "startup/startup_tab.h"
#include "startup_test_support.h"

namespace cu {
namespace {

// A task definition as the scheduler writes it, with `triggers` and
// `actions` inside their elements and `settings` inside Settings.
std::string TaskXml(const std::string& triggers, const std::string& actions,
                    const std::string& settings = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
         "<Triggers>" + triggers + "</Triggers><Settings>" + settings + "</Settings>"
         "<Actions Context=\"Author\">" + actions + "</Actions></Task>";
}

std::string Exec(const std::string& command, const std::string& arguments = "") {
  return "<Exec><Command>" + command + "</Command>" +
         (arguments.empty() ? "" : "<Arguments>" + arguments + "</Arguments>") + "</Exec>";
}

std::vector<std::string> Texts(const StartupTab& tab) {
  std::vector<std::string> texts;
  for (const StartupRow& row : tab.rows()) texts.push_back(row.text + (row.approval.disabled ? " [grey]" : ""));
  return texts;
}

// Selects the row with this text; fails the test when there is none.
void SelectText(StartupTab& tab, const std::string& text) {
  for (std::size_t i = 0; i < tab.rows().size(); ++i) {
    if (tab.rows()[i].text == text) return tab.Select(static_cast<int>(i));
  }
  FAIL() << "no row " << text;
}

class StartupPlaces : public testing::StartupTabTest {
 protected:
  void SeedTasks() {
    m.tasks.AddTask("\\Vendor\\Updater",
                    TaskXml("<LogonTrigger><Enabled>true</Enabled></LogonTrigger>",
                            Exec("\"C:\\Program Files\\Vendor\\upd.exe\"", "/logon")));
    m.tasks.AddTask("\\Boot two", TaskXml("<BootTrigger/>", Exec("a.exe") + Exec("b.exe", " -x ")));
    m.tasks.AddTask("\\Daily", TaskXml("<CalendarTrigger/>", Exec("daily.exe")));
    m.tasks.AddTask("\\Microsoft\\Windows\\Defrag\\Scheduled",
                    TaskXml("<BootTrigger/>", Exec("defrag.exe")));
    m.tasks.AddTask("\\Off", TaskXml("<LogonTrigger/>", Exec("off.exe"), "<Enabled>false</Enabled>"),
                    false);
    m.tasks.AddTask("\\Trigger off",
                    TaskXml("<LogonTrigger><Enabled>false</Enabled></LogonTrigger>", Exec("t.exe")));
    m.tasks.AddTask("\\Broken", "<Task><Triggers><LogonTrigger></Triggers></Task>");
  }
  const std::vector<std::string> kTaskRows = {
      "\\Boot two=a.exe", "\\Boot two=b.exe -x", "\\Off=off.exe [grey]",
      "\\Vendor\\Updater=\"C:\\Program Files\\Vendor\\upd.exe\" /logon"};
};

TEST_F(StartupPlaces, TasksThatStartAtLogonOrBootOneRowPerProgram) {
  SeedTasks();
  tab.LoadStartupList();
  EXPECT_EQ(Texts(tab), kTaskRows);

  // The same rows when the scheduler cannot enumerate and its store's files
  // are read instead.
  m.tasks.enumerates = false;
  tab.LoadStartupList();
  EXPECT_EQ(Texts(tab), kTaskRows);

  SelectText(tab, "\\Off=off.exe");
  ui.info_results.push_back(kResultCancel);
  tab.ShowStartupInfo();
  EXPECT_EQ(ui.info_requests.at(0).text.substr(0, 41), "Location=Task Scheduler\\Off\r\nDisabled\r\n\r\n");
  EXPECT_TRUE(ui.info_requests[0].stop_enabled);
  EXPECT_EQ(ui.info_requests[0].stop_caption, "Enable");

  // The report file groups each task under its location.
  ui.save_answers.push_back("C:\\r.txt");
  tab.SaveReport();
  const std::string report = *m.files.Content("C:\\r.txt");
  EXPECT_NE(report.find("\r\n\r\n\r\nTASK SCHEDULER\\BOOT TWO\r\n\r\n\r\n1\r\n\\Boot two=a.exe\r\n"),
            std::string::npos);
  EXPECT_NE(report.find("\\Off=off.exe (disabled)"), std::string::npos);
}

TEST_F(StartupPlaces, TaskSwitchIsReadBackAndDeletionGoesThroughTheScheduler) {
  SeedTasks();
  tab.LoadStartupList();
  SelectText(tab, "\\Vendor\\Updater=\"C:\\Program Files\\Vendor\\upd.exe\" /logon");
  tab.SwitchSelectedEntry();
  EXPECT_EQ(m.tasks.TaskEnabled("\\Vendor\\Updater"), false);
  EXPECT_TRUE(tab.rows()[static_cast<std::size_t>(tab.selection())].approval.disabled);

  // A scheduler that takes the call and switches nothing: said, no reload.
  m.tasks.switches = false;
  const int enumerations = m.tasks.enumerations;
  try {
    tab.SwitchSelectedEntry();
    ADD_FAILURE() << "no error";
  } catch (const AppError& error) {
    EXPECT_STREQ(error.what(), "The task scheduler did not switch \\Vendor\\Updater");
  }
  EXPECT_EQ(m.tasks.enumerations, enumerations);

  // DELETE!!! deletes the task with all its rows; a refusal is said.
  SelectText(tab, "\\Boot two=b.exe -x");
  m.tasks.refusal = kErrorAccessDenied;
  m.environment.elevation = Elevation::kDefault;
  ui.confirm_answers = {true, true};
  EXPECT_THROW(tab.DeleteStartupItem(), AppError);
  EXPECT_TRUE(m.tasks.HasTask("\\Boot two"));
  m.tasks.refusal = kErrorSuccess;
  SelectText(tab, "\\Boot two=b.exe -x");
  tab.DeleteStartupItem();
  EXPECT_EQ(ui.questions.back(), "Delete \\Boot two=b.exe -x?");
  EXPECT_FALSE(m.tasks.HasTask("\\Boot two"));
  EXPECT_FALSE(m.files.Exists("C:\\windows\\system32\\Tasks\\Boot two"));
  EXPECT_EQ(tab.rows().size(), 2u);
}

class PackagePlaces : public StartupPlaces {
 protected:
  static inline const std::string kRepository =
      "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\"
      "Repository\\Packages\\";
  static inline const std::string kStates =
      "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\"
      "SystemAppData\\";
  void SetUp() override {
    m.registry.SetString(Hive::kCurrentUser, kRepository + "Chat_2.1.0.0_x64__8wekyb3d8bbwe",
                         "PackageRootFolder", "C:\\Program Files\\WindowsApps\\Chat");
    m.files.AddFile(
        "C:\\Program Files\\WindowsApps\\Chat\\AppxManifest.xml",
        "\xEF\xBB\xBF<Package xmlns:desktop=\"d\" xmlns:uap5=\"u\"><Applications>"
        "<Application Id=\"App\" Executable=\"Chat.exe\"><Extensions>"
        "<desktop:Extension Category=\"windows.startupTask\" Executable=\"bin\\tray.exe\">"
        "<desktop:StartupTask TaskId=\"Tray\" Enabled=\"true\" DisplayName=\"Chat &amp; tray\"/>"
        "</desktop:Extension>"
        "<uap5:Extension Category=\"windows.startupTask\">"
        "<uap5:StartupTask TaskId=\"Boot\" Enabled=\"true\" DisplayName=\"ms-resource:Boot\"/>"
        "</uap5:Extension>"
        "<uap5:Extension Category=\"windows.protocol\"/>"
        "</Extensions></Application></Applications></Package>");
    m.registry.SetDword(Hive::kCurrentUser, kStates + "Chat_8wekyb3d8bbwe\\Boot", "State", 1);
    // A package whose folder is gone gives nothing.
    m.registry.SetString(Hive::kCurrentUser, kRepository + "Gone_1.0.0.0_x64__abc",
                         "PackageRootFolder", "C:\\Program Files\\WindowsApps\\Gone");
  }
  std::optional<RegValueData> State(const std::string& task) {
    return m.registry.Value(Hive::kCurrentUser, kStates + "Chat_8wekyb3d8bbwe\\" + task, "State");
  }
};

TEST_F(PackagePlaces, StartupTasksWithTheirStateSwitchedButNeverRemoved) {
  tab.LoadStartupList();
  const std::string folder = "C:\\Program Files\\WindowsApps\\Chat\\";
  EXPECT_EQ(Texts(tab), (std::vector<std::string>{"Boot=" + folder + "Chat.exe [grey]",
                                                  "Chat & tray=" + folder + "bin\\tray.exe"}));
  tab.Select(0);
  EXPECT_EQ(tab.GetStartupLocation(true), "App package Chat_8wekyb3d8bbwe\\Boot");
  ui.info_results.push_back(kResultYes);
  tab.ShowStartupInfo();
  EXPECT_FALSE(ui.info_requests.at(0).yes_enabled);
  EXPECT_TRUE(ui.info_requests[0].stop_enabled);
  tab.DeleteStartupItem();
  EXPECT_TRUE(ui.questions.empty());

  // Enable writes 2, Disable 1 (the key made when missing).
  tab.SwitchSelectedEntry();
  EXPECT_EQ(State("Boot")->bytes, std::string("\x02\0\0\0", 4));
  EXPECT_EQ(tab.rows()[0].text, "Boot=" + folder + "Chat.exe");
  tab.Select(1);
  tab.SwitchSelectedEntry();
  EXPECT_EQ(State("Tray")->type, kRegDword);
  EXPECT_EQ(State("Tray")->bytes, std::string("\x01\0\0\0", 4));

  // Policy states: grey for 3, no switch for either.
  m.registry.SetDword(Hive::kCurrentUser, kStates + "Chat_8wekyb3d8bbwe\\Boot", "State", 3);
  m.registry.SetDword(Hive::kCurrentUser, kStates + "Chat_8wekyb3d8bbwe\\Tray", "State", 4);
  tab.LoadStartupList();
  EXPECT_TRUE(tab.rows()[0].approval.disabled);
  EXPECT_FALSE(tab.rows()[1].approval.disabled);
  for (int i : {0, 1}) {
    tab.Select(i);
    EXPECT_FALSE(tab.MenuState().switch_entry);
  }
}

class LogonPlaces : public StartupPlaces {
 protected:
  static inline const std::string kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
  static inline const std::string kWinlogon32 =
      "Software\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
  static inline const std::string kOptions =
      "Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\";
  static inline const std::string kWindows = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
  void SeedDefaults() {
    m.registry.SetString(Hive::kLocalMachine, kWinlogon, "Shell", "Explorer.EXE");
    m.registry.SetString(Hive::kLocalMachine, kWinlogon, "Userinit", "C:\\windows\\system32\\userinit.exe,");
    m.registry.SetString(Hive::kLocalMachine, kWinlogon32, "Userinit", "c:\\WINDOWS\\system32\\USERINIT.exe");
    m.registry.SetString(Hive::kLocalMachine, kOptions + "notepad.exe", "GlobalFlag", "0");
    m.registry.SetString(Hive::kLocalMachine, kWindows, "AppInit_DLLs", " ");
  }
};

TEST_F(LogonPlaces, ValuesListedOnlyWhenTheyDifferFromWindowsDefault) {
  SeedDefaults();
  tab.LoadStartupList();
  EXPECT_TRUE(tab.rows().empty());

  m.registry.SetString(Hive::kLocalMachine, kWinlogon, "Shell", "explorer.exe evil.exe");
  m.registry.SetString(Hive::kLocalMachine, kWinlogon32, "Userinit", "C:\\x\\userinit.exe,hook.exe");
  m.registry.SetString(Hive::kLocalMachine, kWinlogon, "Taskman", "tm.exe");
  m.registry.SetString(Hive::kCurrentUser, kWinlogon, "Shell", "explorer.exe");
  m.registry.SetString(Hive::kLocalMachine, kOptions + "sethc.exe", "Debugger", "cmd.exe");
  m.registry.SetString(Hive::kLocalMachine, kWindows, "AppInit_DLLs", "C:\\hook.dll");
  tab.LoadStartupList();
  EXPECT_EQ(Texts(tab), (std::vector<std::string>{
                            "AppInit_DLLs=C:\\hook.dll", "sethc.exe=cmd.exe",
                            "Shell=explorer.exe", "Shell=explorer.exe evil.exe", "Taskman=tm.exe",
                            "Userinit=C:\\x\\userinit.exe,hook.exe"}));
  SelectText(tab, "sethc.exe=cmd.exe");
  EXPECT_EQ(tab.GetStartupLocation(true),
            "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\sethc.exe");
  EXPECT_FALSE(tab.MenuState().switch_entry);

  // Removal never leaves logon without its shell: each value as its kind asks.
  struct Removal {
    std::string row, question;
    Hive hive;
    std::string key, name;
    std::optional<std::string> after;  // nullopt: the value is gone
  };
  const Removal removals[] = {
      {"Shell=explorer.exe evil.exe", "Set Shell back to explorer.exe?", Hive::kLocalMachine,
       kWinlogon, "Shell", "explorer.exe"},
      {"Userinit=C:\\x\\userinit.exe,hook.exe",
       "Set Userinit back to C:\\windows\\system32\\userinit.exe,?", Hive::kLocalMachine,
       kWinlogon32, "Userinit", "C:\\windows\\system32\\userinit.exe,"},
      {"AppInit_DLLs=C:\\hook.dll", "Empty AppInit_DLLs?", Hive::kLocalMachine, kWindows,
       "AppInit_DLLs", ""},
      {"sethc.exe=cmd.exe", "Delete sethc.exe=cmd.exe?", Hive::kLocalMachine, kOptions + "sethc.exe",
       "Debugger", std::nullopt},
      {"Taskman=tm.exe", "Delete Taskman=tm.exe?", Hive::kLocalMachine, kWinlogon, "Taskman",
       std::nullopt},
      {"Shell=explorer.exe", "Delete Shell=explorer.exe?", Hive::kCurrentUser, kWinlogon, "Shell",
       std::nullopt},
  };
  for (const Removal& removal : removals) {
    SCOPED_TRACE(removal.row);
    SelectText(tab, removal.row);
    ui.confirm_answers.push_back(true);
    tab.DeleteStartupItem();
    EXPECT_EQ(ui.questions.back(), removal.question);
    const std::optional<std::string> after =
        m.registry.StringValue(removal.hive, removal.key, removal.name);
    EXPECT_EQ(after, removal.after);
  }
  EXPECT_TRUE(tab.rows().empty());
}

}  // namespace
}  // namespace cu
