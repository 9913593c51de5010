// The StartUp tab on the real machine: entries seeded in the real registry,
// a real Startup folder (the user's "Shell Folders" value pointed at a
// sandbox for the test), the real system.ini and win.ini, and reports on
// real programs.

#include "tab_flows.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/text.h"
#include "startup/startup_report.h"
#include "startup/startup_tab.h"

namespace cu::win32 {
namespace {

using test::PathExists;
using test::RealMachine;
using test::Sandbox;
using test::SaveShortcut;
using test::SavedFile;
using test::SavedRegistryValues;
using test::ScratchKey;

constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kWindowsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr char kAppPathsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr char kApprovedKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";

constexpr int kTagHklmRun = 3;
constexpr int kTagHklmRun32 = 33;
constexpr int kTagHkcuRun = 23;
constexpr int kTagHkcuWindows = 28;

// The version lines of version_fixture.exe, in the report's order.
const std::vector<std::string> kToolVersionLines = {
    "ProductName=  Padded product  ",
    "FileVersion=1.2.3.4",
    "CompanyName=Clear Utility Tests",
    "LegalTradeMarks=TM",
};

int FindRow(const StartupTab& tab, const std::string& text, int tag) {
  const std::vector<StartupRow>& rows = tab.rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].text == text && rows[i].source->tag == tag) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> RowsTagged(const StartupTab& tab, int tag) {
  std::vector<std::string> texts;
  for (const StartupRow& row : tab.rows()) {
    if (row.source->tag == tag) texts.push_back(row.text);
  }
  std::sort(texts.begin(), texts.end());
  return texts;
}

// Info on the row, "DELETE!!!", then the answer to "Delete <row>?".
void RemoveThroughInfo(StartupTab& tab, cu::testing::FakeUi& ui, int row, bool answer) {
  tab.Select(row);
  ui.info_results = {kResultYes};
  ui.confirm_answers = {answer};
  tab.ShowStartupInfo();
}

// The size, date and signature lines the report gives for an existing file
// of ours (unsigned).
std::vector<std::string> SizeAndDateLines(const std::string& path) {
  return {"FileSize=" + test::GroupedDigits(test::FileSizeOf(path)),
          "FileDate=" + test::ShortDateOf(path), "Signature=Not signed"};
}

// Compares report lines, taking a "FileDate=" line as matching when it begins
// with the expected date (a time of day may follow).
void ExpectReportLines(const std::string& report, const std::vector<std::string>& expected) {
  const std::vector<std::string> lines = test::SplitCrLf(report);
  ASSERT_EQ(lines.size(), expected.size()) << report;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (test::StartsWith(expected[i], "FileDate=")) {
      EXPECT_TRUE(test::StartsWith(lines[i], expected[i])) << "line " << i << ": " << lines[i];
      EXPECT_GT(expected[i].size(), std::string("FileDate=").size());
    } else {
      EXPECT_EQ(lines[i], expected[i]) << "line " << i;
    }
  }
}

TEST(StartupTabFlows, RemovingARunValueNamedWithAnEqualsSignRemovesExactlyThatValue) {
  SavedRegistryValues run(HKEY_CURRENT_USER, kRunKey, {"CuTabFlow=b", "CuTabFlow"});
  ASSERT_TRUE(run.usable());
  ASSERT_EQ(run.SetString("CuTabFlow=b", "tabflow-equals.exe /one"), ERROR_SUCCESS);
  ASSERT_EQ(run.SetString("CuTabFlow", "tabflow-plain.exe /two"), ERROR_SUCCESS);

  RealMachine real;
  StartupTab tab(real.platform, real.ui, real.paths);
  tab.LoadStartupList();
  const int equals_row = FindRow(tab, "CuTabFlow=b=tabflow-equals.exe /one", kTagHkcuRun);
  ASSERT_GE(equals_row, 0);
  ASSERT_GE(FindRow(tab, "CuTabFlow=tabflow-plain.exe /two", kTagHkcuRun), 0);

  // Answering No removes nothing and does not reload.
  RemoveThroughInfo(tab, real.ui, equals_row, false);
  EXPECT_EQ(tab.selection(), equals_row);
  EXPECT_TRUE(test::ReadValue(HKEY_CURRENT_USER, kRunKey, "CuTabFlow=b").has_value());
  EXPECT_FALSE(tab.TakeFocusRequest());

  // Yes removes the value "CuTabFlow=b" and leaves "CuTabFlow" as it was.
  RemoveThroughInfo(tab, real.ui, equals_row, true);
  ASSERT_EQ(real.ui.info_requests.size(), 2u);
  const InfoRequest& info = real.ui.info_requests.back();
  EXPECT_EQ(info.caption, "Info StartUp");
  EXPECT_EQ(info.yes_caption, "DELETE!!!");
  EXPECT_EQ(info.stop_caption, "Disable");
  // The program names no file: its text and "File not found!" are the report.
  EXPECT_EQ(info.text,
            "Location=HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\r\n\r\n"
            "tabflow-equals.exe\r\n\r\nFile not found!");
  EXPECT_EQ(real.ui.questions.back(), "Delete CuTabFlow=b=tabflow-equals.exe /one?");

  EXPECT_FALSE(test::ReadValue(HKEY_CURRENT_USER, kRunKey, "CuTabFlow=b").has_value());
  const std::optional<test::StoredValue> plain =
      test::ReadValue(HKEY_CURRENT_USER, kRunKey, "CuTabFlow");
  ASSERT_TRUE(plain.has_value());
  EXPECT_EQ(plain->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(plain->bytes, test::SzBytes("tabflow-plain.exe /two"));

  // The list was reloaded and asks for the focus.
  EXPECT_EQ(FindRow(tab, "CuTabFlow=b=tabflow-equals.exe /one", kTagHkcuRun), -1);
  EXPECT_GE(FindRow(tab, "CuTabFlow=tabflow-plain.exe /two", kTagHkcuRun), 0);
  EXPECT_EQ(tab.selection(), 0);
  EXPECT_EQ(tab.count_caption(), std::to_string(tab.rows().size()));
  EXPECT_TRUE(tab.TakeFocusRequest());
  EXPECT_TRUE(real.ui.ScriptUsedUp());
}

TEST(StartupTabFlows, AValueOfThe32BitRunKeyIsItsOwnRowAndGoesFromThatViewOnly) {
  RealMachine real;
  if (!real.platform.environment.Is64BitWindows()) {
    GTEST_SKIP() << "32-bit Windows has one registry view";
  }
  const std::string run_key = kRunKey;
  const std::string name = "CuViewsFlow";
  SavedRegistryValues native_run(HKEY_LOCAL_MACHINE, run_key, {name});
  SavedRegistryValues view_run(HKEY_LOCAL_MACHINE, run_key, {name}, KEY_WOW64_32KEY);
  if (!native_run.usable() && !test::RunningUnderWine()) {
    GTEST_SKIP() << "HKEY_LOCAL_MACHINE is not writable for this user";
  }
  ASSERT_TRUE(native_run.usable());
  ASSERT_TRUE(view_run.usable());
  // The switches of both entries, in the native view as Explorer keeps them:
  // the 32-bit one off (Run32, without a date), the native one on (Run).
  SavedRegistryValues approved_run32(HKEY_LOCAL_MACHINE, std::string(kApprovedKey) + "Run32", {name});
  SavedRegistryValues approved_run(HKEY_LOCAL_MACHINE, std::string(kApprovedKey) + "Run", {name});
  ASSERT_EQ(approved_run32.SetRaw(name, REG_BINARY, std::string("\x03\0\0\0\0\0\0\0\0\0\0\0", 12)),
            ERROR_SUCCESS);
  const std::string enabled("\x02\0\0\0\0\0\0\0\0\0\0\0", 12);
  ASSERT_EQ(approved_run.SetRaw(name, REG_BINARY, enabled), ERROR_SUCCESS);
  ASSERT_EQ(native_run.SetString(name, "cuviews-native.exe /n"), ERROR_SUCCESS);
  // Seeded by the system's own tool (Wine's reg.exe takes /reg:32 too), so
  // the place of the value does not rest on our reading of the view flag.
  ASSERT_EQ(test::RunAndWait("reg.exe add \"HKLM\\" + run_key + "\" /v " + name +
                             " /t REG_SZ /d \"cuviews-32.exe /x\" /f /reg:32"),
            std::optional<DWORD>(0));
  ASSERT_EQ(test::ReadValue(HKEY_LOCAL_MACHINE, "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
                            name)
                .value_or(test::StoredValue{})
                .Text(),
            "cuviews-32.exe /x");

  StartupTab tab(real.platform, real.ui, real.paths);
  tab.LoadStartupList();
  const int view_row = FindRow(tab, name + "=cuviews-32.exe /x", kTagHklmRun32);
  const int native_row = FindRow(tab, name + "=cuviews-native.exe /n", kTagHklmRun);
  ASSERT_GE(view_row, 0);
  ASSERT_GE(native_row, 0);
  EXPECT_EQ(FindRow(tab, name + "=cuviews-32.exe /x", kTagHklmRun), -1) << "the native key does not hold it";
  EXPECT_TRUE(tab.rows()[view_row].approval.disabled);
  EXPECT_FALSE(tab.rows()[native_row].approval.disabled);

  // Info shows the 32-bit view's key where regedit shows it.
  RemoveThroughInfo(tab, real.ui, view_row, true);
  const InfoRequest& info = real.ui.info_requests.back();
  EXPECT_EQ(info.text,
            "Location=HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run\r\n"
            "Disabled\r\n\r\ncuviews-32.exe\r\n\r\nFile not found!");
  EXPECT_EQ(info.stop_caption, "Enable");
  EXPECT_EQ(real.ui.questions.back(), "Delete " + name + "=cuviews-32.exe /x?");

  // Exactly the 32-bit view's value goes, with its switch; the native value
  // of the same name and its switch stay.
  EXPECT_FALSE(test::ReadValue(HKEY_LOCAL_MACHINE, run_key, name, KEY_WOW64_32KEY).has_value());
  EXPECT_FALSE(test::ReadValue(HKEY_LOCAL_MACHINE, std::string(kApprovedKey) + "Run32", name).has_value());
  EXPECT_EQ(test::ReadValue(HKEY_LOCAL_MACHINE, run_key, name).value_or(test::StoredValue{}).Text(),
            "cuviews-native.exe /n");
  EXPECT_EQ(test::ReadValue(HKEY_LOCAL_MACHINE, std::string(kApprovedKey) + "Run", name)
                .value_or(test::StoredValue{})
                .bytes,
            enabled);
  EXPECT_EQ(FindRow(tab, name + "=cuviews-32.exe /x", kTagHklmRun32), -1);
  EXPECT_GE(FindRow(tab, name + "=cuviews-native.exe /n", kTagHklmRun), 0);
  EXPECT_TRUE(real.ui.ScriptUsedUp());
}

TEST(StartupTabFlows, RemovingStartupFolderEntriesDeletesTheShortcutAndTheSubfolderOnly) {
  Sandbox startup("TabFlowStartupFolder");
  Sandbox programs("TabFlowStartupPrograms");
  const std::string target = programs.Path("tool.exe");
  ASSERT_TRUE(test::CopyFixture("version_fixture.exe", target));
  ASSERT_EQ(SaveShortcut(startup.Path("Tool.lnk"), target), S_OK);
  ASSERT_TRUE(startup.WriteFile("keep.txt", "stays"));
  ASSERT_TRUE(startup.MakeFolder("Helpers"));
  ASSERT_TRUE(startup.MakeFolder("Helpers\\deep"));
  ASSERT_TRUE(startup.WriteFile("Helpers\\a.txt", "a"));
  ASSERT_TRUE(startup.WriteFile("Helpers\\deep\\b.txt", "b"));
  ASSERT_TRUE(startup.WriteFile("Helpers\\read-only.txt", "r"));
  ASSERT_TRUE(::SetFileAttributesA(startup.Path("Helpers\\read-only.txt").c_str(),
                                   FILE_ATTRIBUTE_READONLY));

  // The user's Startup folder is the sandbox for this test.
  const std::string folder = WithoutBackslash(startup.folder());
  SavedRegistryValues shell_folders(HKEY_CURRENT_USER, kShellFoldersKey, {"Startup"});
  ASSERT_TRUE(shell_folders.usable());
  ASSERT_EQ(shell_folders.SetString("Startup", folder), ERROR_SUCCESS);

  RealMachine real;
  StartupTab tab(real.platform, real.ui, real.paths);
  tab.LoadStartupList();
  EXPECT_EQ(tab.user_startup_dir(), folder);
  const std::vector<std::string> listed = RowsTagged(tab, kTagUserStartup);
  ASSERT_EQ(listed.size(), 3u) << ::testing::PrintToString(listed);
  EXPECT_EQ(listed[0], "Helpers");
  // The shortcut's row names its target (the shell may change the letter case).
  EXPECT_EQ(AsciiLower(listed[1]), AsciiLower("Tool.lnk=" + target));
  EXPECT_EQ(listed[2], "keep.txt");

  // The shortcut goes; the program it points to stays.
  RemoveThroughInfo(tab, real.ui, FindRow(tab, listed[1], kTagUserStartup), true);
  const std::string info = real.ui.info_requests.back().text;
  EXPECT_TRUE(test::StartsWith(info, "Location=" + folder + "\r\n\r\n")) << info;
  // The report is on the shortcut's target.
  EXPECT_NE(info.find("\r\nFileVersion=1.2.3.4\r\n"), std::string::npos) << info;
  EXPECT_EQ(real.ui.questions.back(), "Delete " + listed[1] + "?");
  EXPECT_FALSE(PathExists(startup.Path("Tool.lnk")));
  EXPECT_TRUE(PathExists(target));
  EXPECT_TRUE(PathExists(startup.Path("keep.txt")));

  // The subfolder goes with everything in it, its read-only file included.
  RemoveThroughInfo(tab, real.ui, FindRow(tab, "Helpers", kTagUserStartup), true);
  EXPECT_EQ(real.ui.questions.back(), "Delete Helpers?");
  EXPECT_FALSE(PathExists(startup.Path("Helpers")));
  EXPECT_TRUE(PathExists(startup.Path("keep.txt")));
  EXPECT_EQ(RowsTagged(tab, kTagUserStartup), std::vector<std::string>{"keep.txt"});

  // A name that Windows' path rules cut to the name beside it goes by its
  // exact name; the other entry stays.
  const std::string dotted = "\\\\?\\" + startup.Path("keep.txt.");
  UniqueFile made(::CreateFileA(dotted.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(made.valid());
  made.reset();
  tab.LoadStartupList();
  RemoveThroughInfo(tab, real.ui, FindRow(tab, "keep.txt.", kTagUserStartup), true);
  EXPECT_EQ(real.ui.questions.back(), "Delete keep.txt.?");
  EXPECT_FALSE(PathExists(dotted));
  EXPECT_TRUE(PathExists(startup.Path("keep.txt")));
  EXPECT_EQ(RowsTagged(tab, kTagUserStartup), std::vector<std::string>{"keep.txt"});
  EXPECT_TRUE(real.ui.ScriptUsedUp());
}

TEST(StartupTabFlows, RemovingASystemIniRowDeletesOnlyItsKeyFromTheFile) {
  RealMachine real;
  ASSERT_FALSE(real.paths.windows_dir.empty());
  const std::string windows = WithBackslash(real.paths.windows_dir);
  SavedFile ini(windows + "system.ini");
  ASSERT_TRUE(ini.Write("[drivers]\r\nwave=mmdrv.dll\r\n\r\n"
                        "[windows]\r\nload=tabflow-sysini-load.exe /l\r\nrun=tabflow-sysini-run.exe /r\r\n"));

  StartupTab tab(real.platform, real.ui, real.paths);
  tab.LoadStartupList();
  const int load_row = FindRow(tab, "tabflow-sysini-load.exe /l", kTagSystemIniLoad);
  ASSERT_GE(load_row, 0);
  ASSERT_GE(FindRow(tab, "tabflow-sysini-run.exe /r", kTagSystemIniRun), 0);

  RemoveThroughInfo(tab, real.ui, load_row, true);
  EXPECT_TRUE(test::StartsWith(real.ui.info_requests.back().text,
                               "Location=" + windows + "system.ini [load]\r\n\r\n"));
  EXPECT_EQ(real.ui.questions.back(), "Delete tabflow-sysini-load.exe /l?");

  char text[256] = {};
  ::GetPrivateProfileStringA("windows", "load", "<none>", text, sizeof text, ini.path().c_str());
  EXPECT_STREQ(text, "<none>");
  ::GetPrivateProfileStringA("windows", "run", "<none>", text, sizeof text, ini.path().c_str());
  EXPECT_STREQ(text, "tabflow-sysini-run.exe /r");
  ::GetPrivateProfileStringA("drivers", "wave", "<none>", text, sizeof text, ini.path().c_str());
  EXPECT_STREQ(text, "mmdrv.dll");
  EXPECT_EQ(ini.Read().find("tabflow-sysini-load.exe"), std::string::npos) << ini.Read();

  EXPECT_EQ(FindRow(tab, "tabflow-sysini-load.exe /l", kTagSystemIniLoad), -1);
  EXPECT_GE(FindRow(tab, "tabflow-sysini-run.exe /r", kTagSystemIniRun), 0);
}

TEST(StartupTabFlows, WinIniLoadIsTheMappedRegistryValueAndGoesWithIt) {
  // The [windows] section of win.ini lives in this key (on Windows and Wine
  // alike), so one "load" value shows as a registry row and as a win.ini row.
  SavedRegistryValues windows_key(HKEY_CURRENT_USER, kWindowsKey, {"load", "run"});
  ASSERT_TRUE(windows_key.usable());
  ASSERT_EQ(windows_key.SetString("load", "tabflow-winini.exe /w"), ERROR_SUCCESS);

  RealMachine real;
  StartupTab tab(real.platform, real.ui, real.paths);
  tab.LoadStartupList();
  ASSERT_GE(FindRow(tab, "load=tabflow-winini.exe /w", kTagHkcuWindows), 0);
  const int ini_row = FindRow(tab, "tabflow-winini.exe /w", kTagWinIniLoad);
  ASSERT_GE(ini_row, 0);

  RemoveThroughInfo(tab, real.ui, ini_row, true);
  EXPECT_TRUE(test::StartsWith(real.ui.info_requests.back().text,
                               "Location=" + WithBackslash(real.paths.windows_dir) +
                                   "win.ini [load]\r\n\r\n"));
  EXPECT_FALSE(test::ReadValue(HKEY_CURRENT_USER, kWindowsKey, "load").has_value());
  EXPECT_EQ(FindRow(tab, "load=tabflow-winini.exe /w", kTagHkcuWindows), -1);
  EXPECT_EQ(FindRow(tab, "tabflow-winini.exe /w", kTagWinIniLoad), -1);
}

TEST(StartupTabFlows, ReportOnAQuotedProgramGivesItsVersionSizeAndDateAndNamedParameterFile) {
  Sandbox box("TabFlowReport");
  ASSERT_TRUE(box.MakeFolder("Program Files"));
  ASSERT_TRUE(box.MakeFolder("Program Files\\Tool"));
  ASSERT_TRUE(box.MakeFolder("Data Files"));
  const std::string tool = box.Path("Program Files\\Tool\\tool.exe");
  const std::string helper = box.Path("Data Files\\helper.dll");
  ASSERT_TRUE(test::CopyFixture("version_fixture.exe", tool));
  ASSERT_TRUE(test::CopyFixture("no_translation_fixture.exe", helper));
  // Sizes of a thousand bytes and more show the grouping.
  ASSERT_GE(test::FileSizeOf(tool), 1000u);

  SavedRegistryValues run(HKEY_CURRENT_USER, kRunKey, {"CuTabFlowReport", "CuTabFlowReportParam"});
  ASSERT_TRUE(run.usable());
  const std::string with_switch = "\"" + tool + "\" /min";
  const std::string with_parameter = "\"" + tool + "\" \"" + helper + "\",Entry";
  ASSERT_EQ(run.SetString("CuTabFlowReport", with_switch), ERROR_SUCCESS);
  ASSERT_EQ(run.SetString("CuTabFlowReportParam", with_parameter), ERROR_SUCCESS);

  RealMachine real;
  StartupTab tab(real.platform, real.ui, real.paths);
  tab.LoadStartupList();

  // The switch names no file: version lines, an empty line, size and date.
  const int switch_row = FindRow(tab, "CuTabFlowReport=" + with_switch, kTagHkcuRun);
  ASSERT_GE(switch_row, 0);
  tab.Select(switch_row);
  const std::string report = tab.GetStartupReport();
  std::vector<std::string> expected = kToolVersionLines;
  expected.push_back("");
  for (const std::string& line : SizeAndDateLines(tool)) expected.push_back(line);
  ASSERT_NO_FATAL_FAILURE(ExpectReportLines(report, expected));
  EXPECT_EQ(report.find("Parameter Program:"), std::string::npos);

  // Info shows the location and that report; Cancel removes nothing.
  real.ui.info_results = {kResultCancel};
  tab.ShowStartupInfo();
  EXPECT_EQ(real.ui.info_requests.back().text,
            "Location=HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\r\n\r\n" + report);
  EXPECT_TRUE(real.ui.questions.empty());
  EXPECT_TRUE(test::ReadValue(HKEY_CURRENT_USER, kRunKey, "CuTabFlowReport").has_value());

  // A parameter naming an existing file adds its block, without its path.
  const int parameter_row = FindRow(tab, "CuTabFlowReportParam=" + with_parameter, kTagHkcuRun);
  ASSERT_GE(parameter_row, 0);
  tab.Select(parameter_row);
  const std::string parameter_report = tab.GetStartupReport();
  expected.insert(expected.end(), {"", "", "Parameter Program:", "", "ProductName=Untranslated", ""});
  for (const std::string& line : SizeAndDateLines(helper)) expected.push_back(line);
  ASSERT_NO_FATAL_FAILURE(ExpectReportLines(parameter_report, expected));
  EXPECT_EQ(AsciiLower(parameter_report).find("helper.dll"), std::string::npos);
}

TEST(StartupTabFlows, ReportFindsAProgramRegisteredUnderAppPaths) {
  ScratchKey registered(HKEY_LOCAL_MACHINE, std::string(kAppPathsKey) + "cutabflowapp.exe");
  if (registered.status() == ERROR_ACCESS_DENIED) {
    GTEST_SKIP() << "HKEY_LOCAL_MACHINE is not writable for this user: no App Paths entry can "
                    "be seeded";
  }
  ASSERT_EQ(registered.status(), ERROR_SUCCESS);
  ScratchKey wrong_type(HKEY_LOCAL_MACHINE, std::string(kAppPathsKey) + "cutabflowbad.exe");
  ASSERT_EQ(wrong_type.status(), ERROR_SUCCESS);

  Sandbox box("TabFlowAppPaths");
  ASSERT_TRUE(box.MakeFolder("Hidden Place"));
  const std::string program = box.Path("Hidden Place\\cutabflowapp.exe");
  ASSERT_TRUE(test::CopyFixture("version_fixture.exe", program));
  ASSERT_EQ(registered.SetRaw("", REG_SZ, test::SzBytes(program)), ERROR_SUCCESS);
  ASSERT_EQ(wrong_type.SetRaw("", REG_DWORD, test::DwordBytes(7)), ERROR_SUCCESS);

  RealMachine real;
  EXPECT_EQ(ReadAppPath(real.platform, "cutabflowapp.exe"), program);
  // A bare name gets ".exe" before the lookup.
  EXPECT_EQ(ResolveProgramPath(real.platform, "cutabflowapp"), program);
  // A registration that is not text counts as none, without an error.
  EXPECT_EQ(ReadAppPath(real.platform, "cutabflowbad.exe"), "");
  EXPECT_EQ(ResolveProgramPath(real.platform, "cutabflowbad"), "");

  SavedRegistryValues run(HKEY_CURRENT_USER, kRunKey, {"CuTabFlowAppPaths"});
  ASSERT_TRUE(run.usable());
  ASSERT_EQ(run.SetString("CuTabFlowAppPaths", "cutabflowapp.exe /q"), ERROR_SUCCESS);
  StartupTab tab(real.platform, real.ui, real.paths);
  tab.LoadStartupList();
  const int row = FindRow(tab, "CuTabFlowAppPaths=cutabflowapp.exe /q", kTagHkcuRun);
  ASSERT_GE(row, 0);
  tab.Select(row);
  std::vector<std::string> expected = kToolVersionLines;
  expected.push_back("");
  for (const std::string& line : SizeAndDateLines(program)) expected.push_back(line);
  ASSERT_NO_FATAL_FAILURE(ExpectReportLines(tab.GetStartupReport(), expected));
}

TEST(StartupTabFlows, ReportFindsABareProgramNameAlongTheSearchPath) {
  RealMachine real;
  const std::string found = ResolveProgramPath(real.platform, "notepad");
  ASSERT_FALSE(found.empty());
  EXPECT_TRUE(test::StartsWith(AsciiLower(found).substr(1), ":\\")) << found;
  EXPECT_EQ(AsciiLower(found).substr(found.size() - 12), "\\notepad.exe") << found;

  SavedRegistryValues run(HKEY_CURRENT_USER, kRunKey, {"CuTabFlowNotepad"});
  ASSERT_TRUE(run.usable());
  ASSERT_EQ(run.SetString("CuTabFlowNotepad", "notepad"), ERROR_SUCCESS);
  StartupTab tab(real.platform, real.ui, real.paths);
  tab.LoadStartupList();
  const int row = FindRow(tab, "CuTabFlowNotepad=notepad", kTagHkcuRun);
  ASSERT_GE(row, 0);
  tab.Select(row);
  const std::vector<std::string> lines = test::SplitCrLf(tab.GetStartupReport());
  ASSERT_GE(lines.size(), 4u);
  // The found path stands everywhere in the report: in place of version
  // lines when the program has none (Wine's notepad has none), and for the
  // size and date.
  const std::string versions = GetVersionStrings(real.platform, found);
  EXPECT_EQ(lines.front(), versions.empty() ? found : test::SplitCrLf(versions).front());
  const std::vector<std::string> size_and_date = SizeAndDateLines(found);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[lines.size() - 3], size_and_date[0]);
  EXPECT_TRUE(test::StartsWith(lines[lines.size() - 2], size_and_date[1])) << lines[lines.size() - 2];
  EXPECT_EQ(lines.back(), size_and_date[2]) << "Wine's own programs are not signed";
}

}  // namespace
}  // namespace cu::win32
