// StartUp on 64-bit Windows: HKLM read through both registry views, the
// StartupApproved switch of each entry, and Disable/Enable.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/errors.h"
#include "startup/startup_report.h"
#include "startup/startup_tab.h"
#include "startup_test_support.h"

namespace cu {
namespace {

const std::string kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const std::string kRun32 = "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kApproved = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
const std::string kStartup = "C:\\Users\\u\\Startup";
constexpr uint64_t kSwitchTime = 0x01DB4A2B3C4D5E6Full;

std::string Bytes(std::initializer_list<int> first, uint64_t time = 0) {
  std::string out;
  for (int b : first) out += static_cast<char>(b);
  for (int i = 0; i < 8; ++i) out += static_cast<char>((time >> (8 * i)) & 0xFF);
  return out;
}

class StartupViews : public testing::StartupTabTest {
 protected:
  // "text|tag" of every row, in list order.
  std::vector<std::string> Listed() const {
    std::vector<std::string> out;
    for (const StartupRow& row : tab.rows()) out.push_back(row.text + "|" + std::to_string(row.source->tag));
    return out;
  }
  int IndexOf(const std::string& text, int tag) const {
    for (std::size_t i = 0; i < tab.rows().size(); ++i) {
      if (tab.rows()[i].text == text && tab.rows()[i].source->tag == tag) return static_cast<int>(i);
    }
    ADD_FAILURE() << "no row " << text << "|" << tag;
    return -1;
  }
  void Approve(Hive hive, const std::string& key, const std::string& name, const std::string& bytes,
               uint32_t type = kRegBinary) {
    m.registry.SetValue(hive, kApproved + key, name, type, bytes);
  }
  std::string ApprovedBytes(Hive hive, const std::string& key, const std::string& name) const {
    std::optional<RegValueData> value = m.registry.Value(hive, kApproved + key, name);
    return value ? value->bytes : "<none>";
  }
};

TEST_F(StartupViews, HklmKeysAreReadThroughBothViewsOnceEach) {
  m.registry.ShareBetweenViews(kRunOnce);
  m.registry.SetString(Hive::kLocalMachine, kRun, "same", "native.exe");
  m.registry.SetString(Hive::kLocalMachine, kRun32, "same", "wow.exe");
  m.registry.SetString(Hive::kLocalMachine, kRunOnce, "once", "o.exe");  // shared: listed once
  m.registry.SetString(Hive::kCurrentUser, kRun, "user", "u.exe");       // HKCU: once
  ASSERT_EQ(m.registry.View32Path(kRun), kRun32);

  tab.LoadStartupList();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"once=o.exe|4", "same=native.exe|3", "same=wow.exe|33",
                                                "user=u.exe|23"}));

  // The 32-bit row's place as regedit shows it, in Info and in the report.
  tab.Select(IndexOf("same=wow.exe", 33));
  EXPECT_EQ(tab.GetStartupLocation(true), "HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
  ui.save_answers.push_back("C:\\report.txt");
  tab.SaveReport();
  EXPECT_NE(m.files.Content("C:\\report.txt")->find(
                "\r\nHKLM\\SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\r\n\r\n\r\n3\r\nsame=wow.exe\r\n"),
            std::string::npos);

  // Removal deletes from the row's own view only.
  tab.Select(IndexOf("same=wow.exe", 33));
  ui.confirm_answers.push_back(true);
  tab.DeleteStartupItem();
  EXPECT_FALSE(m.registry.Value(Hive::kLocalMachine, kRun32, "same"));
  EXPECT_EQ(m.registry.StringValue(Hive::kLocalMachine, kRun, "same"), "native.exe");
  tab.Select(IndexOf("same=native.exe", 3));
  ui.confirm_answers.push_back(true);
  tab.DeleteStartupItem();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"once=o.exe|4", "user=u.exe|23"}));

  // 32-bit Windows has no second view to read.
  m.environment.windows_64_bit = false;
  m.registry.SetSingleView();
  m.registry.SetString(Hive::kLocalMachine, kRun32, "stale", "s.exe");
  tab.LoadStartupList();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"once=o.exe|4", "user=u.exe|23"}));
}

TEST_F(StartupViews, AppPathsTryTheNativeViewThenThe32BitView) {
  const std::string app_paths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  m.files.AddFile("C:\\x64\\tool.exe");
  m.files.AddFile("C:\\x86\\tool.exe");
  m.registry.SetString(Hive::kLocalMachine, m.registry.View32Path(app_paths + "tool.exe"), "", "C:\\x86\\tool.exe");
  EXPECT_EQ(ResolveProgramPath(m.platform(), "tool"), "C:\\x86\\tool.exe");
  m.registry.SetString(Hive::kLocalMachine, app_paths + "tool.exe", "", "C:\\x64\\tool.exe");
  EXPECT_EQ(ResolveProgramPath(m.platform(), "tool"), "C:\\x64\\tool.exe");
  // A stale native registration does not hide the 32-bit one.
  m.registry.SetString(Hive::kLocalMachine, app_paths + "tool.exe", "", "C:\\gone\\tool.exe");
  EXPECT_EQ(ResolveProgramPath(m.platform(), "tool"), "C:\\x86\\tool.exe");
}

TEST_F(StartupViews, TheSwitchReadsEveryShapeOfValue) {
  struct Case {
    const char* name;
    std::string bytes;
    uint32_t type;
    bool disabled;
  };
  const Case cases[] = {
      {"enabled02", Bytes({2, 0, 0, 0}), kRegBinary, false},
      {"enabled06", Bytes({6, 0, 0, 0}, kSwitchTime), kRegBinary, false},
      {"off03", Bytes({3, 0, 0, 0}, kSwitchTime), kRegBinary, true},
      {"off07", Bytes({7, 0, 0, 0}), kRegBinary, true},
      {"short", std::string("\x03\0\0\0", 4), kRegBinary, false},
      {"dword", Bytes({3, 0, 0, 0}, kSwitchTime), kRegDword, false},
      {"missing", "", kRegNone, false},
  };
  for (const Case& c : cases) {
    m.registry.SetString(Hive::kCurrentUser, kRun, c.name, "x.exe");
    if (c.type != kRegNone) Approve(Hive::kCurrentUser, "Run", c.name, c.bytes, c.type);
  }
  tab.LoadStartupList();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const StartupRow& row = tab.rows().at(static_cast<std::size_t>(IndexOf(std::string(c.name) + "=x.exe", 23)));
    EXPECT_TRUE(row.approval.applies);
    EXPECT_EQ(row.approval.disabled, c.disabled);
  }

  // A disabled row: grey unless selected, its Info has the date line after
  // the location, the report line ends in " (disabled)". Without a stored
  // date the line is the word alone.
  const int off = IndexOf("off03=x.exe", 23);
  EXPECT_EQ(tab.RowDrawingAt(off, false).text_colour, kColourDisabledRow);
  EXPECT_FALSE(tab.RowDrawingAt(off, true).text_colour);
  EXPECT_FALSE(tab.RowDrawingAt(IndexOf("enabled02=x.exe", 23), false).text_colour);
  tab.Select(off);
  ui.info_results = {kResultCancel, kResultCancel};
  tab.ShowStartupInfo();
  EXPECT_EQ(ui.info_requests[0].text.substr(0, ui.info_requests[0].text.find("\r\n\r\n")),
            "Location=HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\r\nDisabled=" +
                m.locale.FormatDateTime(*m.environment.LocalTimeOf(kSwitchTime)));
  EXPECT_EQ(ui.info_requests[0].stop_caption, "Enable");
  tab.Select(IndexOf("off07=x.exe", 23));
  tab.ShowStartupInfo();
  EXPECT_NE(ui.info_requests[1].text.find("Run\r\nDisabled\r\n\r\n"), std::string::npos);
  ui.save_answers.push_back("C:\\report.txt");
  tab.SaveReport();
  const std::string report = *m.files.Content("C:\\report.txt");
  EXPECT_NE(report.find("\r\noff03=x.exe (disabled)\r\n"), std::string::npos);
  EXPECT_NE(report.find("\r\nenabled06=x.exe\r\n"), std::string::npos);
}

TEST_F(StartupViews, TheSwitchIsOfferedOnlyWhereWindowsKeepsOne) {
  m.registry.SetString(Hive::kCurrentUser, kShellFolders, "Startup", kStartup);
  m.files.AddFile(kStartup + "\\tool.exe");
  m.registry.SetString(Hive::kLocalMachine, kRun, "a", "x");
  m.registry.SetString(Hive::kLocalMachine, kRun32, "b", "x");
  m.registry.SetString(Hive::kLocalMachine, kRunOnce, "c", "x");
  m.registry.SetString(Hive::kUsers, ".DEFAULT\\" + kRun, "d", "x");
  m.files.SetIniString("C:\\windows\\win.ini", "windows", "load", "e");
  tab.LoadStartupList();
  const std::pair<const char*, int> rows[] = {{"a=x", 3}, {"b=x", 33}, {"c=x", 4}, {"d=x", 13}, {"e", 500},
                                              {"tool.exe", 100}};
  for (const auto& [text, tag] : rows) {
    SCOPED_TRACE(text);
    tab.Select(IndexOf(text, tag));
    const bool has_switch = tag == 3 || tag == 33 || tag == 100;
    EXPECT_EQ(tab.MenuState().switch_entry, has_switch);
    EXPECT_EQ(tab.SwitchCaption(), "Disable");
    // Without a switch the command does nothing at all.
    if (!has_switch) tab.SwitchSelectedEntry();
  }
  EXPECT_FALSE(m.registry.HasKey(Hive::kLocalMachine, kApproved + "Run"));
  EXPECT_FALSE(m.registry.HasKey(Hive::kUsers, ".DEFAULT\\" + kApproved + "Run"));
}

TEST_F(StartupViews, DisableAndEnableWriteTheBytesWindowsWrites) {
  m.registry.SetString(Hive::kCurrentUser, kRun, "fresh", "f.exe");
  m.registry.SetString(Hive::kLocalMachine, kRun32, "wow", "w.exe");
  m.registry.SetString(Hive::kCurrentUser, kRun, "six", "s.exe");
  Approve(Hive::kCurrentUser, "Run", "six", Bytes({6, 0xAA, 0xBB, 0xCC}));
  tab.LoadStartupList();
  const uint64_t now = m.environment.file_time_now;

  // Disable without a value creates the key and a 12-byte value starting 03;
  // the selection stays on the entry.
  tab.Select(IndexOf("fresh=f.exe", 23));
  tab.SwitchSelectedEntry();
  EXPECT_EQ(ApprovedBytes(Hive::kCurrentUser, "Run", "fresh"), Bytes({3, 0, 0, 0}, now));
  EXPECT_EQ(tab.selection(), IndexOf("fresh=f.exe", 23));
  EXPECT_TRUE(tab.rows()[static_cast<std::size_t>(tab.selection())].approval.disabled);
  EXPECT_EQ(tab.SwitchCaption(), "Enable");
  EXPECT_TRUE(tab.TakeFocusRequest());

  // Enable clears bit 0 and the date; other bits and bytes stay.
  m.environment.file_time_now = now + 1;
  tab.SwitchSelectedEntry();
  EXPECT_EQ(ApprovedBytes(Hive::kCurrentUser, "Run", "fresh"), Bytes({2, 0, 0, 0}));
  tab.Select(IndexOf("six=s.exe", 23));
  tab.SwitchSelectedEntry();
  EXPECT_EQ(ApprovedBytes(Hive::kCurrentUser, "Run", "six"), Bytes({7, 0xAA, 0xBB, 0xCC}, now + 1));
  tab.SwitchSelectedEntry();
  EXPECT_EQ(ApprovedBytes(Hive::kCurrentUser, "Run", "six"), Bytes({6, 0xAA, 0xBB, 0xCC}));

  // The 32-bit view's Run entries switch in HKLM's Run32, in the native view.
  tab.Select(IndexOf("wow=w.exe", 33));
  tab.SwitchSelectedEntry();
  EXPECT_EQ(ApprovedBytes(Hive::kLocalMachine, "Run32", "wow"), Bytes({3, 0, 0, 0}, now + 1));
  EXPECT_FALSE(m.registry.HasKey(Hive::kLocalMachine, kApproved + "Run"));

  // From the Info dialog's second button.
  ui.info_results.push_back(kResultNo);
  tab.ShowStartupInfo();
  EXPECT_EQ(ApprovedBytes(Hive::kLocalMachine, "Run32", "wow"), Bytes({2, 0, 0, 0}));

  // A refused write says so and changes nothing.
  tab.Select(IndexOf("fresh=f.exe", 23));
  m.registry.FailWritesFrom(1);
  testing::ExpectAppError([&] { tab.SwitchSelectedEntry(); }, "Failed to set data for 'fresh'");
  EXPECT_EQ(ApprovedBytes(Hive::kCurrentUser, "Run", "fresh"), Bytes({2, 0, 0, 0}));
  EXPECT_FALSE(tab.rows()[static_cast<std::size_t>(tab.selection())].approval.disabled);
  m.registry.FailWritesFrom(0);
  m.registry.RestrictAccess(Hive::kCurrentUser, kApproved + "StartupFolder", kKeyRead);
  m.registry.SetString(Hive::kCurrentUser, kShellFolders, "Startup", kStartup);
  m.files.AddFile(kStartup + "\\tool.exe");
  tab.LoadStartupList();
  tab.Select(IndexOf("tool.exe", 100));
  EXPECT_THROW(tab.SwitchSelectedEntry(), AppError);
  EXPECT_TRUE(m.registry.Names(Hive::kCurrentUser, kApproved + "StartupFolder").empty());
  EXPECT_TRUE(ui.ScriptUsedUp());
}

TEST_F(StartupViews, RemovalTakesTheSwitchAlongOnlyWhenTheEntryWent) {
  m.registry.SetString(Hive::kCurrentUser, kShellFolders, "Startup", kStartup);
  m.files.AddFile(kStartup + "\\tool.exe");
  m.files.AddFile(kStartup + "\\locked.exe");
  m.files.Lock(kStartup + "\\locked.exe");
  m.registry.SetString(Hive::kCurrentUser, kRun, "tool.exe", "t.exe");
  for (const char* name : {"tool.exe", "locked.exe"}) {
    Approve(Hive::kCurrentUser, "StartupFolder", name, Bytes({3, 0, 0, 0}, kSwitchTime));
  }
  Approve(Hive::kCurrentUser, "Run", "tool.exe", Bytes({3, 0, 0, 0}, kSwitchTime));
  tab.LoadStartupList();

  tab.Select(IndexOf("tool.exe", 100));
  ui.confirm_answers.push_back(true);
  tab.DeleteStartupItem();
  EXPECT_FALSE(m.files.Exists(kStartup + "\\tool.exe"));
  EXPECT_EQ(ApprovedBytes(Hive::kCurrentUser, "StartupFolder", "tool.exe"), "<none>");
  // The Run value of the same name keeps its own switch.
  EXPECT_EQ(ApprovedBytes(Hive::kCurrentUser, "Run", "tool.exe"), Bytes({3, 0, 0, 0}, kSwitchTime));

  // A file in use stays, and so does its switch; the refusal is said.
  tab.Select(IndexOf("locked.exe", 100));
  ui.confirm_answers.push_back(true);
  testing::ExpectAppError([&] { tab.DeleteStartupItem(); },
                          "The entry was not removed: The process cannot access the file because "
                          "it is being used by another process.");
  EXPECT_TRUE(m.files.Exists(kStartup + "\\locked.exe"));
  EXPECT_EQ(ApprovedBytes(Hive::kCurrentUser, "StartupFolder", "locked.exe"), Bytes({3, 0, 0, 0}, kSwitchTime));
  EXPECT_TRUE(ui.ScriptUsedUp());
}

TEST_F(StartupViews, OneShellLinkObjectServesAWholeLoad) {
  m.registry.SetString(Hive::kCurrentUser, kShellFolders, "Startup", kStartup);
  tab.LoadStartupList();
  EXPECT_EQ(m.shell.resolvers_created, 0);
  for (const char* name : {"a.lnk", "b.lnk", "c.LNK"}) {
    m.files.AddFile(kStartup + "\\" + name);
    m.shell.SetShortcutTarget(kStartup + "\\" + name, std::string("C:\\") + name + ".exe");
  }
  tab.LoadStartupList();
  EXPECT_EQ(m.shell.resolvers_created, 1);
  EXPECT_EQ(tab.rows().at(2).text, "c.LNK=C:\\c.LNK.exe");
}

}  // namespace
}  // namespace cu
