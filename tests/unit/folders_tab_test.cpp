#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_ui.h"
#include "folders/folders_tab.h"
#include "platform/errors.h"
#include "platform/memory/memory_machine.h"

namespace cu {
namespace {

using Names = std::vector<std::string>;

constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct FoldersWorld {
  // The Shell folders tab shows no message box, and every scripted answer is asked for.
  ~FoldersWorld() {
    EXPECT_TRUE(ui.messages.empty()) << "no message expected";
    EXPECT_TRUE(ui.ScriptUsedUp());
  }

  memory::MemoryMachine machine;
  Platform platform = machine.platform();
  testing::FakeUi ui;
  SystemPaths paths{"C:\\windows", "C:\\users\\user\\Temp\\", "C:\\windows\\Temp"};

  void ShellFolder(Hive hive, const std::string& name, const std::string& path) {
    machine.registry.SetString(hive, kShellFolders, name, path);
  }
};

TEST(FolderCatalogue, ListsTempRowsThenDistinctShellFoldersOfUserAndMachine) {
  FoldersWorld world;
  world.ShellFolder(Hive::kCurrentUser, "Cache", "C:\\users\\user\\Cache\\");
  world.ShellFolder(Hive::kCurrentUser, "Temp again", "c:\\USERS\\user\\temp");  // the user temp path
  world.ShellFolder(Hive::kCurrentUser, "Recent", "C:\\R");
  world.ShellFolder(Hive::kCurrentUser, "Backslash", "\\");
  world.ShellFolder(Hive::kCurrentUser, "Spaces", "   ");
  world.ShellFolder(Hive::kCurrentUser, "Empty", "");
  world.ShellFolder(Hive::kCurrentUser, "Leading", " C:\\R");
  world.ShellFolder(Hive::kCurrentUser, "Docs", "C:\\Docs\\\\");  // only one backslash is cut
  world.ShellFolder(Hive::kLocalMachine, "Common Recent", "c:\\r\\");  // same path as Recent
  world.ShellFolder(Hive::kLocalMachine, "Cache", "C:\\Machine\\Cache");
  world.ShellFolder(Hive::kLocalMachine, "Root", "C:\\");  // a drive's root keeps its backslash
  FoldersTab tab(world.platform, world.ui, world.paths);

  tab.LoadShellFolders();

  EXPECT_EQ(tab.names(), (Names{"TEMP User", "TEMP System", "Cache", "Recent", "Leading", "Docs",
                                "Cache", "Root"}));
  EXPECT_EQ(tab.paths(), (Names{"C:\\users\\user\\Temp", "C:\\windows\\Temp", "C:\\users\\user\\Cache",
                                "C:\\R", " C:\\R", "C:\\Docs\\", "C:\\Machine\\Cache", "C:\\"}));
  EXPECT_EQ(tab.count_caption(), "8");
  EXPECT_EQ(tab.selection(), 0);
  EXPECT_EQ(tab.folder_caption(), "C:\\users\\user\\Temp");
  EXPECT_TRUE(tab.clear_enabled());
  EXPECT_EQ(world.machine.registry.open_key_count(), 0);
}

TEST(FolderCatalogue, TodaysCachesFollowTheShellFoldersWhenTheyExist) {
  FoldersWorld world;
  world.ShellFolder(Hive::kCurrentUser, "Recent", "C:\\R");
  const std::string local = "C:\\users\\user\\AppData\\Local";
  world.machine.environment.variables["LOCALAPPDATA"] = local + "\\";
  memory::MemoryFileSystem& files = world.machine.files;
  const std::string chrome = local + "\\Google\\Chrome\\User Data\\";
  for (const char* profile : {"Profile 10", "Default", "Profile 2", "Profile 1"}) {
    files.AddFile(chrome + profile + "\\Cache\\data_0");
  }
  files.AddFolder(chrome + "Profile 3");             // no cache
  files.AddFolder(chrome + "System Profile\\Cache");  // not a user's profile
  files.AddFolder(chrome + "Profile x\\Cache");
  files.AddFolder(local + "\\Microsoft\\Edge\\User Data\\Default\\Cache");
  const std::string firefox = local + "\\Mozilla\\Firefox\\Profiles\\";
  files.AddFolder(firefox + "b.default\\cache2");
  files.AddFolder(firefox + "a.release\\cache2");
  files.AddFolder(firefox + "c.empty");
  files.AddFolder(local + "\\CrashDumps");
  FoldersTab tab(world.platform, world.ui, world.paths);

  tab.LoadShellFolders();
  EXPECT_EQ(tab.names(), (Names{"TEMP User", "TEMP System", "Recent", "Edge cache", "Chrome cache",
                                "Chrome cache (Profile 1)", "Chrome cache (Profile 2)",
                                "Chrome cache (Profile 10)", "Firefox cache (a.release)",
                                "Firefox cache (b.default)", "Crash dumps"}));
  EXPECT_EQ(tab.paths()[5], chrome + "Profile 1\\Cache");
  EXPECT_EQ(tab.paths()[8], firefox + "a.release\\cache2");
  EXPECT_EQ(tab.paths()[10], local + "\\CrashDumps");
  for (int row = 3; row < 11; ++row) {
    tab.Select(row);
    tab.SelectionChanged();
    EXPECT_TRUE(tab.clear_enabled()) << tab.names()[static_cast<std::size_t>(row)];
  }

  // Clear on one profile's cache empties that folder only.
  tab.Select(5);
  tab.SelectionChanged();
  world.ui.confirm_answers.push_back(true);
  tab.ClearShownFolder();
  EXPECT_TRUE(files.List(chrome + "Profile 1\\Cache").empty());
  EXPECT_EQ(files.List(chrome + "Default\\Cache"), Names{"data_0"});
  EXPECT_EQ(files.List(chrome + "Profile 2\\Cache"), Names{"data_0"});

  // Without the variable, none of them.
  world.machine.environment.variables.clear();
  tab.LoadShellFolders();
  EXPECT_EQ(tab.names().size(), 3u);
}

TEST(FolderCatalogue, TempRowsAreAlwaysListedAndEmptyPathsGiveNoCommand) {
  FoldersWorld world;
  world.paths = SystemPaths{"C:\\windows", "", ""};
  FoldersTab tab(world.platform, world.ui, world.paths);

  tab.LoadShellFolders();

  EXPECT_EQ(tab.names(), (Names{"TEMP User", "TEMP System"}));
  EXPECT_EQ(tab.paths(), (Names{"", ""}));
  EXPECT_EQ(tab.count_caption(), "2");
  EXPECT_EQ(tab.folder_caption(), "");
  EXPECT_TRUE(tab.clear_enabled());

  // With PanF empty, Clear asks nothing, and Open and Info do nothing.
  tab.ClearShownFolder();
  tab.OpenShownFolder();
  tab.ShowFolderProperties();
  EXPECT_TRUE(world.ui.questions.empty());
  EXPECT_TRUE(world.ui.busy_changes.empty());
  EXPECT_TRUE(world.machine.shell.opened.empty());
  EXPECT_TRUE(world.machine.shell.properties_shown.empty());
}

TEST(FolderCatalogue, NonStringValueEndsTheLoadKeepingRowsAndCaptions) {
  FoldersWorld world;
  world.ShellFolder(Hive::kCurrentUser, "Recent", "C:\\R");
  FoldersTab tab(world.platform, world.ui, world.paths);
  tab.LoadShellFolders();
  tab.Select(2);
  tab.SelectionChanged();
  ASSERT_EQ(tab.folder_caption(), "C:\\R");

  world.ShellFolder(Hive::kCurrentUser, "Later", "C:\\L");
  world.machine.registry.SetDword(Hive::kCurrentUser, kShellFolders, "Odd", 5);
  world.ShellFolder(Hive::kCurrentUser, "Never", "C:\\N");
  testing::ExpectAppError([&] { tab.LoadShellFolders(); }, "Invalid data type for 'Odd'");

  EXPECT_EQ(tab.names(), (Names{"TEMP User", "TEMP System", "Recent", "Later"}));
  EXPECT_EQ(tab.paths().size(), tab.names().size());
  EXPECT_EQ(tab.selection(), -1);
  EXPECT_EQ(tab.count_caption(), "3");
  EXPECT_EQ(tab.folder_caption(), "C:\\R");
  EXPECT_TRUE(tab.clear_enabled());
  EXPECT_EQ(world.machine.registry.open_key_count(), 0);
}

TEST(FolderCommands, ClearIsOfferedForTempRowsAndExactNamesOnly) {
  EXPECT_TRUE(IsClearableFolder(0, "TEMP User"));
  EXPECT_TRUE(IsClearableFolder(1, "anything"));
  EXPECT_TRUE(IsClearableFolder(5, "Recent"));
  EXPECT_TRUE(IsClearableFolder(5, "RECENT"));
  EXPECT_TRUE(IsClearableFolder(5, "cookies"));
  EXPECT_TRUE(IsClearableFolder(5, "Cache"));
  EXPECT_FALSE(IsClearableFolder(5, "History"));
  EXPECT_FALSE(IsClearableFolder(5, "Common Cookies"));
  EXPECT_FALSE(IsClearableFolder(5, "Recent "));
  EXPECT_FALSE(IsClearableFolder(5, "Caches"));
  EXPECT_FALSE(IsClearableFolder(-1, "Recent"));

  // The selection event carries the rule to the button and the menu alike.
  FoldersWorld world;
  world.ShellFolder(Hive::kCurrentUser, "History", "C:\\H");
  world.ShellFolder(Hive::kCurrentUser, "Cookies", "C:\\C");
  FoldersTab tab(world.platform, world.ui, world.paths);
  tab.LoadShellFolders();
  tab.Select(2);
  tab.SelectionChanged();
  EXPECT_FALSE(tab.clear_enabled());
  EXPECT_EQ(tab.folder_caption(), "C:\\H");
  FoldersCommands menu = tab.MenuState();
  EXPECT_TRUE(menu.open);
  EXPECT_FALSE(menu.clear);
  EXPECT_TRUE(menu.info);

  tab.Select(3);
  tab.SelectionChanged();
  EXPECT_TRUE(tab.clear_enabled());
  EXPECT_TRUE(tab.MenuState().clear);

  tab.Select(-1);
  tab.SelectionChanged();
  menu = tab.MenuState();
  EXPECT_FALSE(menu.open);
  EXPECT_FALSE(menu.clear);
  EXPECT_TRUE(menu.info);
}

TEST(FolderCommands, ClearAsksThenEmptiesTheShownFolderUnderTheHourglass) {
  FoldersWorld world;
  memory::MemoryFileSystem& files = world.machine.files;
  files.AddFile("C:\\users\\user\\Temp\\a.tmp", std::string(1500, 'a'));
  files.AddFile("C:\\users\\user\\Temp\\sub\\b.tmp", "", kAttrReadOnly);
  files.AddFile("C:\\H\\keep.txt");
  world.ShellFolder(Hive::kCurrentUser, "History", "C:\\H");
  FoldersTab tab(world.platform, world.ui, world.paths);
  tab.LoadShellFolders();

  // Selected, the folder is counted beforehand, off the window's thread.
  EXPECT_EQ(tab.result_caption(), "Counting...");
  tab.counter().RunQueued();
  EXPECT_EQ(tab.result_caption(), "2 files and 1 folder (1.5 KB) to clear");
  EXPECT_EQ(files.List("C:\\users\\user\\Temp"), (Names{"a.tmp", "sub"}));
  // Another selection stops the count: a row without Clear shows none, and
  // a count asked for before is never shown after.
  tab.Select(2);
  tab.SelectionChanged();
  tab.counter().RunQueued();
  EXPECT_EQ(tab.result_caption(), "");
  tab.Select(0);
  tab.SelectionChanged();
  tab.StopCounting();  // the tab is left
  tab.counter().RunQueued();
  EXPECT_EQ(tab.result_caption(), "");
  tab.SelectionChanged();

  // No: nothing deleted, the cursor never changes; Clear stopped the count.
  world.ui.confirm_answers.push_back(false);
  tab.ClearShownFolder();
  tab.counter().RunQueued();
  EXPECT_EQ(tab.result_caption(), "");
  EXPECT_EQ(world.ui.questions, (Names{"Clear folder C:\\users\\user\\Temp?"}));
  EXPECT_TRUE(world.ui.busy_changes.empty());
  EXPECT_EQ(files.List("C:\\users\\user\\Temp"), (Names{"a.tmp", "sub"}));

  // Stop before the first entry: nothing goes, and the line says so.
  world.ui.confirm_answers.push_back(true);
  world.ui.progress.stop_from = 1;
  tab.ClearShownFolder();
  EXPECT_EQ(files.List("C:\\users\\user\\Temp"), (Names{"a.tmp", "sub"}));
  EXPECT_EQ(tab.result_caption(), "Stopped: removed 0 files and 0 folders (0 bytes)");

  // Yes: everything inside goes, the folder stays, nothing is reloaded; the
  // result line tells what went until the next action on the tab.
  world.ui.progress = {};
  world.ui.busy_changes.clear();
  world.ui.confirm_answers.push_back(true);
  tab.ClearShownFolder();
  ASSERT_EQ(world.ui.work_requests.size(), 2u);
  EXPECT_EQ(world.ui.work_requests[1].action, "Clearing C:\\users\\user\\Temp");
  EXPECT_EQ(world.ui.work_requests[1].kind, WorkKind::kClearing);
  EXPECT_EQ(tab.result_caption(), "Removed 2 files and 1 folder (1.5 KB)");
  EXPECT_EQ(world.ui.busy_changes, (std::vector<bool>{true, false}));
  EXPECT_TRUE(files.Exists("C:\\users\\user\\Temp"));
  EXPECT_TRUE(files.List("C:\\users\\user\\Temp").empty());
  EXPECT_EQ(tab.names().size(), 3u);
  EXPECT_EQ(tab.folder_caption(), "C:\\users\\user\\Temp");
  EXPECT_EQ(files.open_search_count(), 0);

  // A row that may not be cleared: no question, nothing deleted.
  world.ui.questions.clear();
  tab.Select(2);
  tab.SelectionChanged();
  EXPECT_EQ(tab.result_caption(), "");
  tab.ClearShownFolder();
  EXPECT_TRUE(world.ui.questions.empty());
  EXPECT_EQ(files.List("C:\\H"), (Names{"keep.txt"}));
}

TEST(FolderCommands, ClearEmptiesExactlyTheFolderItNamesAndNothingRelative) {
  FoldersWorld world;
  memory::MemoryFileSystem& files = world.machine.files;
  // A drive's root while the current folder is one of its subfolders, as
  // after a save there: "E:" alone would be that subfolder.
  files.AddFile("E:\\root.txt");
  files.AddFile("E:\\reports\\startup.txt");
  files.AddFile("E:\\.keep\\kept.txt");
  files.SetCurrentDirectory("E:\\reports");
  world.ShellFolder(Hive::kCurrentUser, "Recent", "E:\\");
  world.ShellFolder(Hive::kCurrentUser, "Cache", "relcache");
  // Swapped for a link to Outside while the question is open.
  files.AddFile("C:\\Cookies\\c.txt");
  files.AddFile("C:\\Outside\\o.txt");
  world.ShellFolder(Hive::kCurrentUser, "Cookies", "C:\\Cookies");
  // TEMP System reached through a link: the question names where it leads.
  files.AddFile("D:\\RealTemp\\t.tmp");
  files.AddLink("C:\\windows\\Temp", "D:\\RealTemp");
  world.ShellFolder(Hive::kLocalMachine, "Cache", "C:\\Gone");
  FoldersTab tab(world.platform, world.ui, world.paths);
  tab.LoadShellFolders();
  const auto select = [&tab](int row) {
    tab.Select(row);
    tab.SelectionChanged();
  };

  select(2);
  EXPECT_EQ(tab.folder_caption(), "E:\\");
  world.ui.confirm_answers.push_back(true);
  tab.ClearShownFolder();
  EXPECT_EQ(world.ui.questions.back(), "Clear folder E:\\?");
  EXPECT_EQ(files.List("E:\\"), (Names{".keep"}));

  select(3);
  testing::ExpectAppError([&] { tab.ClearShownFolder(); },
                          "The folder's path is not a full path, so nothing was cleared: relcache");
  EXPECT_EQ(world.ui.questions.size(), 1u);

  select(4);
  world.ui.while_asking = [&files] {
    files.SwapForLink("C:\\Cookies", "C:\\Moved", "C:\\Outside");
  };
  world.ui.confirm_answers.push_back(true);
  tab.ClearShownFolder();
  world.ui.while_asking = nullptr;
  EXPECT_EQ(world.ui.questions.back(), "Clear folder C:\\Cookies?");
  EXPECT_TRUE(files.List("C:\\Moved").empty());
  EXPECT_EQ(files.List("C:\\Outside"), (Names{"o.txt"}));

  select(1);
  world.ui.confirm_answers.push_back(true);
  tab.ClearShownFolder();
  EXPECT_EQ(world.ui.questions.back(), "Clear folder D:\\RealTemp?");
  EXPECT_EQ(world.ui.work_requests.back().action, "Clearing D:\\RealTemp");
  EXPECT_TRUE(files.List("D:\\RealTemp").empty());

  // A folder that does not open: nothing is asked, and it is said why.
  select(5);
  ASSERT_TRUE(tab.clear_enabled());
  testing::ExpectAppError([&] { tab.ClearShownFolder(); },
                          "The folder could not be opened, so nothing was cleared: The system "
                          "cannot find the file specified.");
  EXPECT_EQ(world.ui.questions.size(), 3u);
  EXPECT_TRUE(world.ui.ScriptUsedUp());
}

TEST(FolderCommands, ResultLineCountsInTheUsersNumberFormat) {
  memory::MemoryLocale locale;
  struct Case {
    RemovalTally tally;
    const char* text;
  };
  const Case cases[] = {
      {{1, 1, 1, 0, false}, "Removed 1 file and 1 folder (1 byte)"},
      {{12345, 678, 1288490189, 3, false},
       "Removed 12,345 files and 678 folders (1.2 GB); 3 in use were left"},
      {{2, 0, 1023, 1, true}, "Stopped: removed 2 files and 0 folders (1,023 bytes); 1 in use was left"},
      {{0, 0, 1024 * 1024 - 1, 0, false}, "Removed 0 files and 0 folders (1.0 MB)"},
      {{0, 0, 5ull << 40, 0, false}, "Removed 0 files and 0 folders (5.0 TB)"},
      {{0, 0, ~0ull, 0, false}, "Removed 0 files and 0 folders (16.0 EB)"},
  };
  for (const Case& c : cases) EXPECT_EQ(ClearingResultText(locale, c.tally), c.text);
}

TEST(FolderCommands, OpenAndInfoActOnTheShownPath) {
  FoldersWorld world;
  world.machine.files.AddFolder("C:\\Docs");
  world.ShellFolder(Hive::kCurrentUser, "Personal", "C:\\Docs");
  world.ShellFolder(Hive::kCurrentUser, "Gone", "C:\\Gone");
  FoldersTab tab(world.platform, world.ui, world.paths);
  tab.LoadShellFolders();

  tab.Select(2);
  tab.SelectionChanged();
  tab.OpenShownFolder();
  tab.ShowFolderProperties();
  EXPECT_EQ(world.machine.shell.opened, (Names{"C:\\Docs"}));
  EXPECT_EQ(world.machine.shell.properties_shown, (Names{"C:\\Docs"}));

  // A folder that no longer exists shows no Properties sheet.
  tab.Select(3);
  tab.SelectionChanged();
  tab.ShowFolderProperties();
  EXPECT_EQ(world.machine.shell.properties_shown, (Names{"C:\\Docs"}));
}

}  // namespace
}  // namespace cu
