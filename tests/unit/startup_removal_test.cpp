// Turning a StartUp row back into its place: the table of sources, the
// location text and the removal of exactly the entry the row came from.

#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "startup/startup_tab.h"
#include "startup_test_support.h"

namespace cu {
namespace {

const std::string kPolicyRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
const std::string kStartup = "C:\\Users\\u\\Startup";

TEST(StartupSources, EverySourceOnceInReadingOrder) {
  // Registry keys: each root's eight paths in order, HKLM's 32-bit view last.
  std::vector<int> tags;
  for (int first : {1, 11, 21, 31}) {
    for (int i = 0; i < 8; ++i) tags.push_back(first + i);
  }
  tags.insert(tags.end(), {kTagUserStartup, kTagCommonStartup, kTagDefaultStartup, kTagWinIniLoad,
                           kTagWinIniRun, kTagSystemIniLoad, kTagSystemIniRun});
  tags.insert(tags.end(), {kTagWinlogonShell, kTagWinlogonUserinit, kTagWinlogonTaskman,
                           kTagWinlogonShell32, kTagWinlogonUserinit32, kTagWinlogonTaskman32,
                           kTagUserWinlogonShell, kTagDebuggers, kTagDebuggers32, kTagAppInitDlls,
                           kTagAppInitDlls32, kTagScheduledTasks, kTagPackageTasks});
  const std::span<const StartupSource> sources = StartupSources();
  ASSERT_EQ(sources.size(), tags.size());
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const StartupSource& source = sources[i];
    SCOPED_TRACE(source.tag);
    EXPECT_EQ(source.tag, tags[i]);
    EXPECT_EQ(FindStartupSource(source.tag), &source);
    if (i < 32) {
      ASSERT_EQ(source.kind, SourceKind::kRegistryKey);
      EXPECT_EQ(source.registry.path, kStartupKeyPaths[i % 8]);
      EXPECT_EQ(source.registry.load_and_run_only, i % 8 == 7);
      EXPECT_EQ(source.registry.root.view, i < 24 ? 0u : kKeyWow64_32Key);
    } else if (i < 39) {
      EXPECT_EQ(source.kind, i < 35 ? SourceKind::kStartupFolder : SourceKind::kIniKey);
    }
    // The switch: HKLM and HKCU Run, HKLM's 32-bit Run, the user's and the
    // common Startup folder.
    const std::optional<ApprovedPlace> place = ApprovedPlaceOf(source);
    const std::string approved = place ? (place->hive == Hive::kLocalMachine ? "HKLM" : "HKCU") +
                                             place->path.substr(place->path.rfind('\\'))
                                       : "";
    switch (source.tag) {
      case 3: EXPECT_EQ(approved, "HKLM\\Run"); break;
      case 23: EXPECT_EQ(approved, "HKCU\\Run"); break;
      case 33: EXPECT_EQ(approved, "HKLM\\Run32"); break;
      case kTagUserStartup: EXPECT_EQ(approved, "HKCU\\StartupFolder"); break;
      case kTagCommonStartup: EXPECT_EQ(approved, "HKLM\\StartupFolder"); break;
      default: EXPECT_EQ(approved, "");
    }
  }
  EXPECT_EQ(ApprovedPlaceOf(*FindStartupSource(33))->path,
            "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32");
  for (int unknown : {0, 9, 502}) EXPECT_EQ(FindStartupSource(unknown), nullptr);
}

TEST(StartupLocation, EverySourceGroup) {
  const StartupFolders folders{"C:\\Users\\u\\Startup", "D:\\All\\Startup\\", ""};
  struct Case {
    int tag;
    const char* without_prefix;
    const char* with_prefix;
  };
  const Case cases[] = {
      {3, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
       "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {6, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
       "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"},
      {16, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
       "HKU\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"},
      {17, "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\Run",
       "HKU\\.DEFAULT\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\Run"},
      {26, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
       "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"},
      {28, "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
       "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"},
      // Folders exactly as the Shell Folders values gave them.
      {100, "C:\\Users\\u\\Startup", "C:\\Users\\u\\Startup"},
      {110, "D:\\All\\Startup\\", "D:\\All\\Startup\\"},
      {120, "", ""},
      {500, "C:\\WINDOWS\\win.ini [load]", "C:\\WINDOWS\\win.ini [load]"},
      {601, "C:\\WINDOWS\\system.ini [run]", "C:\\WINDOWS\\system.ini [run]"},
      // The 32-bit view's key where regedit shows it.
      {33, "\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
       "HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {kTagWinlogonShell32, "\\Software\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
       "HKLM\\Software\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"},
      {kTagUserWinlogonShell, "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
       "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"},
      {kTagAppInitDlls, "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
       "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"},
      // Sources of many places: the row's place completes the location.
      {kTagDebuggers,
       "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\sethc.exe",
       "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\sethc.exe"},
      {kTagScheduledTasks, "Task Scheduler\\Vendor\\Updater", "Task Scheduler\\Vendor\\Updater"},
      {kTagPackageTasks, "App package Name_abc\\Boot", "App package Name_abc\\Boot"},
  };
  const auto place_of = [](int tag) -> std::string {
    switch (tag) {
      case kTagDebuggers: return "sethc.exe";
      case kTagScheduledTasks: return "\\Vendor\\Updater";
      case kTagPackageTasks: return "Name_abc\\Boot";
      default: return "";
    }
  };
  memory::MemoryLocale locale;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    const StartupSource& source = *FindStartupSource(c.tag);
    EXPECT_EQ(StartupLocation(source, false, folders, "C:\\WINDOWS", locale, place_of(c.tag)),
              c.without_prefix);
    EXPECT_EQ(StartupLocation(source, true, folders, "C:\\WINDOWS\\", locale, place_of(c.tag)),
              c.with_prefix);
  }
  // A double-byte character ending in a backslash byte is not a separator.
  locale.double_byte = true;
  EXPECT_EQ(StartupLocation(*FindStartupSource(kTagWinIniLoad), false, folders, "C:\\\x95\x5C", locale),
            "C:\\\x95\x5C\\win.ini [load]");
}

class StartupRemoval : public testing::StartupTabTest {
 protected:
  void SetUp() override {
    m.registry.SetString(Hive::kCurrentUser, kShellFolders, "Startup", kStartup);
  }

  int IndexOf(const std::string& text) const {
    for (std::size_t i = 0; i < tab.rows().size(); ++i) {
      if (tab.rows()[i].text == text) return static_cast<int>(i);
    }
    ADD_FAILURE() << "no row " << text;
    return -1;
  }

  // Loads, selects the row and answers Yes to its question.
  void Remove(const std::string& text) {
    tab.LoadStartupList();
    tab.Select(IndexOf(text));
    ui.confirm_answers.push_back(true);
    tab.DeleteStartupItem();
    EXPECT_EQ(ui.questions.back(), "Delete " + text + "?");
    EXPECT_EQ(tab.selection(), tab.rows().empty() ? -1 : 0);
    EXPECT_TRUE(tab.TakeFocusRequest());
    EXPECT_FALSE(tab.TakeFocusRequest());
  }
};

TEST_F(StartupRemoval, RegistryRowRemovesOnlyItsOwnValue) {
  m.registry.SetString(Hive::kCurrentUser, kRun, "Foo", "foo.exe");
  m.registry.SetString(Hive::kCurrentUser, kRun, "Bar", "bar.exe");
  m.registry.SetString(Hive::kLocalMachine, kRun, "Foo", "foo.exe");
  m.registry.SetString(Hive::kUsers, ".DEFAULT\\" + kRun, "Foo", "foo.exe");
  m.registry.SetString(Hive::kUsers, ".DEFAULT\\" + kPolicyRun, "Pol", "pol.exe");
  m.registry.SetString(Hive::kCurrentUser, kRun, "", "default.exe");
  m.registry.SetString(Hive::kCurrentUser, kRun, "a", "a.exe");
  m.registry.SetString(Hive::kCurrentUser, kRun, "a=b", "ab.exe");

  tab.LoadStartupList();
  tab.Select(IndexOf("Foo=foo.exe"));  // the first of three: HKLM, then HKU, then HKCU
  ASSERT_EQ(tab.rows()[static_cast<std::size_t>(tab.selection())].source->tag, 3);
  tab.Select(tab.selection() + 2);
  ASSERT_EQ(tab.rows()[static_cast<std::size_t>(tab.selection())].source->tag, 23);
  ui.confirm_answers.push_back(true);
  tab.DeleteStartupItem();
  EXPECT_FALSE(m.registry.Value(Hive::kCurrentUser, kRun, "Foo"));
  EXPECT_TRUE(m.registry.Value(Hive::kCurrentUser, kRun, "Bar"));
  EXPECT_TRUE(m.registry.Value(Hive::kLocalMachine, kRun, "Foo"));
  EXPECT_TRUE(m.registry.Value(Hive::kUsers, ".DEFAULT\\" + kRun, "Foo"));
  EXPECT_TRUE(tab.TakeFocusRequest());

  // HKU rows: the key below .DEFAULT.
  tab.Select(IndexOf("Foo=foo.exe"));
  tab.Select(tab.selection() + 1);
  ASSERT_EQ(tab.rows()[static_cast<std::size_t>(tab.selection())].source->tag, 13);
  ui.confirm_answers.push_back(true);
  tab.DeleteStartupItem();
  EXPECT_FALSE(m.registry.Value(Hive::kUsers, ".DEFAULT\\" + kRun, "Foo"));
  EXPECT_TRUE(m.registry.Value(Hive::kLocalMachine, kRun, "Foo"));
  Remove("Pol=pol.exe");
  EXPECT_FALSE(m.registry.Value(Hive::kUsers, ".DEFAULT\\" + kPolicyRun, "Pol"));

  // The unnamed default value.
  Remove("=default.exe");
  EXPECT_FALSE(m.registry.Value(Hive::kCurrentUser, kRun, ""));

  // A name holding "=" removes exactly that value, never the one named by
  // the text before the first "=".
  Remove("a=b=ab.exe");
  EXPECT_FALSE(m.registry.Value(Hive::kCurrentUser, kRun, "a=b"));
  EXPECT_TRUE(m.registry.Value(Hive::kCurrentUser, kRun, "a"));
  EXPECT_EQ(m.registry.Names(Hive::kCurrentUser, kRun), (std::vector<std::string>{"Bar", "a"}));
  EXPECT_EQ(m.registry.open_key_count(), 0);
}

TEST_F(StartupRemoval, AnswerNoChangesNothing) {
  m.registry.SetString(Hive::kCurrentUser, kRun, "A", "a.exe");
  m.registry.SetString(Hive::kCurrentUser, kRun, "B", "b.exe");
  tab.LoadStartupList();
  tab.Select(1);
  ui.confirm_answers.push_back(false);
  tab.DeleteStartupItem();
  EXPECT_EQ(ui.questions, (std::vector<std::string>{"Delete B=b.exe?"}));
  EXPECT_EQ(tab.selection(), 1);
  EXPECT_EQ(tab.rows().size(), 2u);
  EXPECT_TRUE(m.registry.Value(Hive::kCurrentUser, kRun, "B"));
  EXPECT_FALSE(tab.TakeFocusRequest());

  // Without a selection nothing is asked.
  tab.Select(-1);
  tab.DeleteStartupItem();
  EXPECT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(tab.GetStartupLocation(true), "");
}

TEST_F(StartupRemoval, IniRowRemovesTheKeyOfItsTag) {
  m.files.SetIniString("C:\\windows\\win.ini", "windows", "load", "l.exe");
  m.files.SetIniString("C:\\windows\\win.ini", "windows", "run", "r.exe");
  Remove("l.exe");
  EXPECT_FALSE(m.files.IniValue("C:\\windows\\win.ini", "windows", "load"));
  EXPECT_EQ(m.files.IniValue("C:\\windows\\win.ini", "windows", "run"), "r.exe");
  EXPECT_EQ(tab.rows().size(), 1u);
}

TEST_F(StartupRemoval, StartupFolderRowRemovesItsEntryOnly) {
  const std::string dir = kStartup + "\\";
  m.files.AddFile(dir + "Tool.lnk");
  m.shell.SetShortcutTarget(dir + "Tool.lnk", "C:\\Tools\\tool.exe");
  m.files.AddFile("C:\\Tools\\tool.exe");
  m.files.AddFile(dir + "Sub\\deep\\inner.exe", "", kAttrReadOnly);
  m.files.AddFile(dir + "Long program name.exe");
  m.files.SetShortName(dir + "Long program name.exe", "LONGPR~1.EXE");
  m.files.BlockLongName(dir + "Long program name.exe");
  m.files.AddFile(dir + "=odd.exe");
  m.files.AddFile("D:\\Outside\\keep.txt");
  m.files.AddLink(dir + "Linked", "D:\\Outside");
  m.files.AddFile(dir + "stays.exe");
  // Names that Windows' path rules cut to the name of another entry beside them.
  m.files.AddFile("\\\\?\\" + dir + "Tool.lnk.");
  m.files.AddFile("\\\\?\\" + dir + "stays.exe ");

  Remove("Tool.lnk.");
  Remove("stays.exe ");
  EXPECT_EQ(m.files.List(kStartup).size(), 6u);
  EXPECT_TRUE(m.files.Exists(dir + "Tool.lnk"));
  EXPECT_TRUE(m.files.Exists(dir + "stays.exe"));

  Remove("Tool.lnk=C:\\Tools\\tool.exe");
  EXPECT_FALSE(m.files.Exists(dir + "Tool.lnk"));
  EXPECT_TRUE(m.files.Exists("C:\\Tools\\tool.exe"));

  Remove("Sub");
  EXPECT_FALSE(m.files.Exists(dir + "Sub"));

  Remove("LONGPR~1.EXE=Long program name.exe");
  EXPECT_FALSE(m.files.Exists(dir + "Long program name.exe"));

  // A name that begins with "=" is the file's whole name, not an empty one
  // designating the Startup folder.
  Remove("=odd.exe");
  EXPECT_FALSE(m.files.Exists(dir + "=odd.exe"));

  // A linked folder loses the link; what it points to stays.
  Remove("Linked");
  EXPECT_FALSE(m.files.Exists(dir + "Linked"));
  EXPECT_TRUE(m.files.Exists("D:\\Outside\\keep.txt"));

  EXPECT_EQ(m.files.List(kStartup), (std::vector<std::string>{"stays.exe"}));
  EXPECT_EQ(m.files.open_search_count(), 0);
}

}  // namespace
}  // namespace cu
