// Loading the StartUp list: which sources are read, in which order, with
// which tags, and what a failing read leaves behind.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/errors.h"
#include "startup/startup_tab.h"
#include "startup_test_support.h"

namespace cu {
namespace {

const std::string kWindows = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const std::string kRunOnceEx = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
const std::string kUserStartup = "C:\\Users\\u\\Start Menu\\Programs\\Startup";
const std::string kCommonStartup = "C:\\ProgramData\\Start Menu\\Programs\\StartUp";
const std::string kDefaultStartup = "C:\\Users\\Default\\Start Menu\\Programs\\Startup";

std::string Under(Hive hive, const std::string& path) {
  return hive == Hive::kUsers ? ".DEFAULT\\" + path : path;
}

// "text|tag" of every row, in list order.
std::vector<std::string> Listed(const StartupTab& tab) {
  std::vector<std::string> out;
  for (const StartupRow& row : tab.rows()) out.push_back(row.text + "|" + std::to_string(row.source->tag));
  return out;
}

class StartupLoad : public testing::StartupTabTest {
 protected:
  void SeedShellFolders() {
    m.registry.SetString(Hive::kCurrentUser, kShellFolders, "Startup", kUserStartup);
    m.registry.SetString(Hive::kLocalMachine, kShellFolders, "Common Startup", kCommonStartup);
    m.registry.SetString(Hive::kUsers, Under(Hive::kUsers, kShellFolders), "Startup",
                         kDefaultStartup);
  }
};

TEST_F(StartupLoad, ReadsTheTwentyFourKeysWithTheirTags) {
  for (Hive hive : {Hive::kLocalMachine, Hive::kUsers, Hive::kCurrentUser}) {
    const int base = hive == Hive::kLocalMachine ? 0 : hive == Hive::kUsers ? 10 : 20;
    for (int i = 0; i < 7; ++i) {
      const int tag = base + i + 1;
      const std::string name = (tag < 10 ? "v0" : "v") + std::to_string(tag);
      m.registry.SetString(hive, Under(hive, std::string(kStartupKeyPaths[i])), name, "x.exe");
    }
    // In the Windows key only "load" and "run", byte for byte, are read
    // ("Load" and "RUN" are not); a REG_DWORD of another name there does not
    // disturb the load.
    const std::string windows = Under(hive, kWindows);
    m.registry.SetDword(hive, windows, "Spooler", 1);
    m.registry.SetString(hive, windows, hive == Hive::kLocalMachine ? "Load" : "load",
                         "l" + std::to_string(base + 8) + ".exe");
    m.registry.SetString(hive, windows, hive == Hive::kUsers ? "RUN" : "run",
                         "r" + std::to_string(base + 8) + ".exe");
  }
  // The same row from three hives keeps the reading order HKLM, HKU, HKCU.
  for (Hive hive : {Hive::kCurrentUser, Hive::kUsers, Hive::kLocalMachine}) {
    m.registry.SetString(hive, Under(hive, kRun), "same", "s.exe");
  }

  tab.LoadStartupList();

  const std::vector<std::string> expected = {
      "load=l18.exe|18", "load=l28.exe|28",  // sorted as text
      "run=r28.exe|28",  "run=r8.exe|8",
      "same=s.exe|3",    "same=s.exe|13",   "same=s.exe|23",
      "v01=x.exe|1",     "v02=x.exe|2",     "v03=x.exe|3",     "v04=x.exe|4",
      "v05=x.exe|5",     "v06=x.exe|6",     "v07=x.exe|7",     "v11=x.exe|11",
      "v12=x.exe|12",    "v13=x.exe|13",    "v14=x.exe|14",    "v15=x.exe|15",
      "v16=x.exe|16",    "v17=x.exe|17",    "v21=x.exe|21",    "v22=x.exe|22",
      "v23=x.exe|23",    "v24=x.exe|24",    "v25=x.exe|25",    "v26=x.exe|26",
      "v27=x.exe|27",
  };
  EXPECT_EQ(Listed(tab), expected);
  EXPECT_EQ(tab.selection(), 0);
  EXPECT_EQ(tab.count_caption(), "28");
  EXPECT_EQ(m.registry.open_key_count(), 0);
}

TEST_F(StartupLoad, ValueTextIsListedAsRead) {
  m.registry.SetString(Hive::kCurrentUser, kRun, "empty", "");
  m.registry.SetString(Hive::kCurrentUser, kRun, "blank", "  \t ");
  m.registry.SetString(Hive::kCurrentUser, kRun, "spaced", "  a.exe  ");
  m.registry.SetString(Hive::kCurrentUser, kRun, "", "def.exe");
  m.registry.SetString(Hive::kCurrentUser, kRun, "expand", "%windir%\\x.exe", kRegExpandSz);
  m.registry.SetString(Hive::kCurrentUser, kRun, "a=b", "eq.exe");
  m.registry.SetString(Hive::kCurrentUser, kRun, "Beta", "b.exe");

  tab.LoadStartupList();

  EXPECT_EQ(Listed(tab), (std::vector<std::string>{"=def.exe|23", "a=b=eq.exe|23", "Beta=b.exe|23",
                                                   "expand=%windir%\\x.exe|23",
                                                   "spaced=  a.exe  |23"}));
  // Each row knows the whole value name it came from.
  EXPECT_EQ(tab.rows()[0].name, "");
  EXPECT_EQ(tab.rows()[1].name, "a=b");
  EXPECT_EQ(tab.rows()[1].command, "eq.exe");
}

TEST_F(StartupLoad, NonTextValuesGiveNoRowAndHideNothingElse) {
  SeedShellFolders();
  m.files.AddFile(kUserStartup + "\\old.exe");
  m.files.AddFile("C:\\Elsewhere\\new.exe");
  m.registry.SetString(Hive::kLocalMachine, kRun, "machine", "m.exe");
  m.registry.SetString(Hive::kCurrentUser, kRun, "first", "f.exe");
  m.registry.SetValue(Hive::kCurrentUser, kRun, "bad", kRegBinary, "\x01\x02");
  m.registry.SetString(Hive::kCurrentUser, kRun, "later", "l.exe");
  // RunOnceEx's own REG_DWORD, in a key read before the one above.
  m.registry.SetDword(Hive::kLocalMachine, kRunOnceEx, "Flags", 0x20);
  m.registry.SetString(Hive::kCurrentUser, kShellFolders, "Startup", "C:\\Elsewhere");
  m.registry.SetDword(Hive::kLocalMachine, kShellFolders, "Common Startup", 1);
  m.files.SetIniString("C:\\windows\\win.ini", "windows", "load", "w.exe");

  // The first one read is named, once, after the list is complete.
  testing::ExpectAppError([&] { tab.LoadStartupList(); }, "Invalid data type for 'Flags'");
  EXPECT_EQ(Listed(tab),
            (std::vector<std::string>{"first=f.exe|23", "later=l.exe|23", "machine=m.exe|3",
                                      "new.exe|100", "w.exe|500"}));
  EXPECT_EQ(tab.count_caption(), "5");
  EXPECT_EQ(tab.selection(), 0);
  EXPECT_EQ(tab.user_startup_dir(), "C:\\Elsewhere");
  EXPECT_EQ(m.registry.open_key_count(), 0);
}

TEST_F(StartupLoad, StartupFolderEntries) {
  SeedShellFolders();
  const std::string dir = kUserStartup + "\\";
  m.files.AddFile(dir + "Tool.lnk");
  m.shell.SetShortcutTarget(dir + "Tool.lnk", "C:\\Tools\\tool.exe");
  m.files.AddFile(dir + "SHOUT.LNK");
  m.shell.SetShortcutTarget(dir + "SHOUT.LNK", "C:\\Tools\\shout.exe");
  m.files.AddFile(dir + "broken.lnk");  // resolves to nothing
  m.files.AddFile(dir + "desktop.ini", "", kAttrHidden | kAttrSystem);
  m.files.AddFile(dir + ".profile");
  m.files.AddFolder(dir + ".cache");
  m.files.AddFile(dir + "Sub\\inner.exe");
  // Reachable only by the 8.3 name: a plain file and a shortcut.
  m.files.AddFile(dir + "Long program name.exe");
  m.files.SetShortName(dir + "Long program name.exe", "LONGPR~1.EXE");
  m.files.BlockLongName(dir + "Long program name.exe");
  m.files.AddFile(dir + "My shortcut.lnk");
  m.files.SetShortName(dir + "My shortcut.lnk", "MYSHOR~1.LNK");
  m.files.BlockLongName(dir + "My shortcut.lnk");
  m.shell.SetShortcutTarget(dir + "MYSHOR~1.LNK", "C:\\Tools\\my.exe");
  // Reachable by no name at all.
  m.files.AddFile(dir + "Lost name.exe");
  m.files.BlockLongName(dir + "Lost name.exe");
  m.files.AddFile(kCommonStartup + "\\common.exe");
  m.files.AddFile(kDefaultStartup + "\\default.exe");

  tab.LoadStartupList();

  EXPECT_EQ(Listed(tab), (std::vector<std::string>{
                             ".profile|100",
                             "broken.lnk=|100",
                             "common.exe|110",
                             "default.exe|120",
                             "desktop.ini|100",
                             "LONGPR~1.EXE=Long program name.exe|100",
                             "MYSHOR~1.LNK=C:\\Tools\\my.exe|100",
                             "SHOUT.LNK=C:\\Tools\\shout.exe|100",
                             "Sub|100",
                             "Tool.lnk=C:\\Tools\\tool.exe|100",
                         }));
  EXPECT_EQ(tab.rows()[5].name, "LONGPR~1.EXE");
  EXPECT_EQ(tab.user_startup_dir(), kUserStartup);
  EXPECT_EQ(tab.common_startup_dir(), kCommonStartup);
  EXPECT_EQ(tab.default_startup_dir(), kDefaultStartup);
  EXPECT_EQ(m.files.open_search_count(), 0);

  // Without the shell-link object a folder with shortcuts gives no rows; the
  // others are still listed and the error comes once the list is complete.
  m.shell.fail_create = true;
  EXPECT_THROW(tab.LoadStartupList(), AppError);
  EXPECT_EQ(Listed(tab), (std::vector<std::string>{"common.exe|110", "default.exe|120"}));
  EXPECT_EQ(tab.selection(), 0);
  EXPECT_EQ(tab.count_caption(), "2");
  EXPECT_EQ(m.files.open_search_count(), 0);
}

TEST_F(StartupLoad, FolderFieldKeepsItsPathWhenItsKeyDoesNotOpen) {
  SeedShellFolders();
  m.files.AddFile(kUserStartup + "\\user.exe");
  m.files.AddFile(kCommonStartup + "\\common.exe");
  tab.LoadStartupList();
  ASSERT_EQ(tab.rows().size(), 2u);

  // The machine key may only be read now: it is read all the same. The
  // user's value is emptied.
  m.registry.RestrictAccess(Hive::kLocalMachine, kShellFolders, kKeyRead);
  m.registry.SetString(Hive::kLocalMachine, kShellFolders, "Common Startup", "C:\\Common");
  m.files.AddFile("C:\\Common\\other.exe");
  m.registry.SetString(Hive::kCurrentUser, kShellFolders, "Startup", "");
  tab.LoadStartupList();
  EXPECT_EQ(tab.common_startup_dir(), "C:\\Common");
  EXPECT_EQ(tab.user_startup_dir(), "");
  EXPECT_EQ(Listed(tab), (std::vector<std::string>{"other.exe|110"}));

  // A key that does not open at all keeps the path of the last load.
  m.registry.RestrictAccess(Hive::kLocalMachine, kShellFolders, 0);
  tab.LoadStartupList();
  EXPECT_EQ(tab.common_startup_dir(), "C:\\Common");
  EXPECT_EQ(Listed(tab), (std::vector<std::string>{"other.exe|110"}));
}

TEST_F(StartupLoad, IniKeysAndTheEmptyList) {
  tab.LoadStartupList();
  EXPECT_TRUE(tab.rows().empty());
  EXPECT_EQ(tab.count_caption(), "0");
  EXPECT_EQ(tab.selection(), -1);

  m.files.SetIniString("C:\\windows\\win.ini", "windows", "load", "");
  m.files.SetIniString("C:\\windows\\win.ini", "windows", "run", "C:\\w\\run.exe /x");
  m.files.SetIniString("C:\\windows\\system.ini", "windows", "load", "sysload.exe");
  m.files.SetIniString("C:\\windows\\system.ini", "windows", "run", "sysrun.exe");
  tab.LoadStartupList();
  EXPECT_EQ(Listed(tab), (std::vector<std::string>{"C:\\w\\run.exe /x|501", "sysload.exe|600",
                                                   "sysrun.exe|601"}));
  EXPECT_EQ(tab.selection(), 0);
  EXPECT_EQ(tab.count_caption(), "3");
}

}  // namespace
}  // namespace cu
