// The Shell folders tab worked from outside: the catalogue against the
// registry as the test reads it, the path panel and the Clear button
// following the keyboard selection, and clearing the user's temporary folder
// (a large one too: the window keeps answering, Stop and Esc stop, the result
// line counts what went).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui_driver.h"
#include "urls_folders_ui_support.h"

namespace cu::ui_test {
namespace {

constexpr int kFoldersPage = 2;
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kEnvironment[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// Values the test adds to the user's Shell Folders key (and removes again).
constexpr char kExtraName[] = "CU UI extra";
constexpr char kBlankName[] = "CU UI blank";
constexpr char kDuplicateName[] = "CU UI duplicate";

std::string WithoutOneBackslash(std::string path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool IsBlankText(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

std::string ExpandedSystemTemp() {
  std::string text;
  for (const char* name : {"TMP", "TEMP"}) {
    for (const cu::test_kit::StoredValue& value : ReadValues(HKEY_LOCAL_MACHINE, kEnvironment)) {
      if (_stricmp(value.name.c_str(), name) == 0) text = value.Text();
    }
    if (!text.empty()) break;
  }
  char expanded[MAX_PATH * 4] = {};
  ExpandEnvironmentStringsA(text.c_str(), expanded, sizeof expanded);
  return expanded;
}

struct ExpectedRow {
  std::string name;
  std::string path;
};

// The catalogue as the registry describes it: the two temporary folders,
// then the user's and the machine's Shell Folders values, less one trailing
// backslash, without blank paths and without paths already listed.
std::vector<ExpectedRow> ExpectedCatalogue() {
  std::vector<ExpectedRow> rows{{"TEMP User", WithoutOneBackslash(TempFolder())},
                                {"TEMP System", WithoutOneBackslash(ExpandedSystemTemp())}};
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    for (const cu::test_kit::StoredValue& value : ReadValues(root, kShellFolders)) {
      const std::string path = WithoutOneBackslash(value.Text());
      if (IsBlankText(path)) continue;
      bool listed = false;
      for (const ExpectedRow& row : rows) listed = listed || lstrcmpiA(row.path.c_str(), path.c_str()) == 0;
      if (!listed) rows.push_back({value.name, path});
    }
  }
  return rows;
}

bool ClearAllowed(std::size_t index, const std::string& name) {
  const std::string lower = Lower(name);
  return index < 2 || lower == "recent" || lower == "cookies" || lower == "cache";
}

// Adds a unique, a blank and a duplicate (other case, trailing backslash)
// value to the user's Shell Folders, and seeds the user's temporary folder
// with what clearing must remove and what it must keep.
class FoldersWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_ = TempFolder();
    extra_folder_ = temp_ + ".cu-ui-extra-folder";  // dot-named: clearing the temp folder keeps it
    ASSERT_TRUE(CreateDirectoryA(extra_folder_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(shell_folders_.usable());
    ASSERT_EQ(shell_folders_.SetString(kExtraName, extra_folder_ + "\\"), ERROR_SUCCESS);
    ASSERT_EQ(shell_folders_.SetString(kBlankName, "   "), ERROR_SUCCESS);
    ASSERT_EQ(shell_folders_.SetString(kDuplicateName, Lower(TempFolder())), ERROR_SUCCESS);

    RemoveSeeded();
    ASSERT_TRUE(WriteWholeFile(temp_ + "cu-ui-clear-a.txt", "a"));
    ASSERT_TRUE(WriteWholeFile(temp_ + "cu-ui-clear b with spaces.log", "b"));
    ASSERT_TRUE(CreateDirectoryA((temp_ + "cu-ui-clear-dir").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((temp_ + "cu-ui-clear-dir\\sub").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(temp_ + "cu-ui-clear-dir\\top.txt", "top"));
    ASSERT_TRUE(WriteWholeFile(temp_ + "cu-ui-clear-dir\\sub\\deep.txt", "deep"));
    ASSERT_TRUE(WriteWholeFile(temp_ + "cu-ui-clear-dir\\sub\\deep-ro.txt", "deep read-only"));
    ASSERT_TRUE(SetFileAttributesA((temp_ + "cu-ui-clear-dir\\sub\\deep-ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteWholeFile(temp_ + "cu-ui-clear-ro.txt", "read-only"));
    ASSERT_TRUE(SetFileAttributesA((temp_ + "cu-ui-clear-ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteWholeFile(temp_ + "cu-ui-clear-hidden.txt", "hidden"));
    ASSERT_TRUE(SetFileAttributesA((temp_ + "cu-ui-clear-hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(CreateDirectoryA((temp_ + ".cu-ui-keep").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((temp_ + ".cu-ui-keep\\inner").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(temp_ + ".cu-ui-keep\\kept.txt", "kept"));
    ASSERT_TRUE(WriteWholeFile(temp_ + ".cu-ui-keep\\inner\\kept-too.txt", "kept too"));
    ASSERT_TRUE(WriteWholeFile(temp_ + ".cu-ui-keep.txt", "kept file"));
  }

  void TearDown() override {
    RemoveSeeded();
    (void)RemoveTree(extra_folder_);
  }

  void RemoveSeeded() const {
    for (const std::string& name : kRemoved) (void)RemoveTree(temp_ + name);
    for (const std::string& name : kKept) (void)RemoveTree(temp_ + name);
  }

  // Shows the Shell folders tab of a started program.
  void ShowFolders(AppProcess& app) {
    ASSERT_TRUE(app.started());
    app.SelectTab(kFoldersPage);
    list_ = app.List(kFoldersPage);
    path_panel_ = app.PathPanel();
    clear_ = app.Button(kFoldersPage, "Clear");
    ASSERT_NE(list_, nullptr);
    ASSERT_NE(path_panel_, nullptr);
    ASSERT_NE(clear_, nullptr);
  }

  // Entries directly in the temporary folder.
  const std::vector<std::string> kRemoved{"cu-ui-clear-a.txt", "cu-ui-clear b with spaces.log", "cu-ui-clear-dir",
                                          "cu-ui-clear-ro.txt", "cu-ui-clear-hidden.txt"};
  const std::vector<std::string> kKept{".cu-ui-keep", ".cu-ui-keep.txt"};
  // Everything seeded, nested entries included.
  const std::vector<std::string> kAllRemoved{"cu-ui-clear-a.txt",
                                             "cu-ui-clear b with spaces.log",
                                             "cu-ui-clear-dir",
                                             "cu-ui-clear-dir\\top.txt",
                                             "cu-ui-clear-dir\\sub",
                                             "cu-ui-clear-dir\\sub\\deep.txt",
                                             "cu-ui-clear-dir\\sub\\deep-ro.txt",
                                             "cu-ui-clear-ro.txt",
                                             "cu-ui-clear-hidden.txt"};
  const std::vector<std::string> kAllKept{".cu-ui-keep", ".cu-ui-keep\\kept.txt", ".cu-ui-keep\\inner",
                                          ".cu-ui-keep\\inner\\kept-too.txt", ".cu-ui-keep.txt"};

  std::string temp_;
  std::string extra_folder_;
  SavedRegistryValues shell_folders_{HKEY_CURRENT_USER, kShellFolders, {kExtraName, kBlankName, kDuplicateName}};
  HWND list_ = nullptr;
  HWND path_panel_ = nullptr;
  HWND clear_ = nullptr;
};

TEST_F(FoldersWindowTest, ListsFoldersAndTheKeyboardSelectionDrivesThePathPanelAndClear) {
  AppProcess app;
  ASSERT_NO_FATAL_FAILURE(ShowFolders(app));
  HWND list = list_;
  HWND path_panel = path_panel_;
  HWND clear = clear_;

  const std::vector<ExpectedRow> expected = ExpectedCatalogue();
  std::vector<std::string> expected_names;
  for (const ExpectedRow& row : expected) expected_names.push_back(row.name);
  const std::vector<std::string> rows = ListRows(list);
  {
    SCOPED_TRACE("the catalogue: TEMP rows first, then every distinct non-blank shell folder");
    EXPECT_EQ(rows, expected_names);
    EXPECT_EQ(TextOf(app.Panel(kFoldersPage)), std::to_string(rows.size()));
    EXPECT_GT(rows.size(), 10u) << "the prefix registers its shell folders";
    const auto has = [&](const std::string& name) {
      for (const std::string& row : rows) {
        if (row == name) return true;
      }
      return false;
    };
    EXPECT_TRUE(has(kExtraName));
    EXPECT_FALSE(has(kBlankName)) << "a blank path gives no row";
    EXPECT_FALSE(has(kDuplicateName)) << "a path already listed (other case, trailing backslash) gives no row";
    EXPECT_TRUE(has("Desktop"));
  }
  ASSERT_EQ(rows.size(), expected.size());

  {
    SCOPED_TRACE("the keyboard selection drives PanF and Clear, row by row");
    EXPECT_EQ(ListSelection(list), 0);
    EXPECT_EQ(TextOf(path_panel), expected[0].path);
    EXPECT_TRUE(IsWindowEnabled(clear));
    app.Foreground();
    ASSERT_TRUE(WaitFor([&] { return FocusOf(app.main()) == list; }, 3000))
        << "the folder list has the focus";
    int disabled_rows = 0;
    int enabled_shell_rows = 0;
    for (std::size_t index = 1; index < expected.size(); ++index) {
      PressKey(VK_DOWN);
      ASSERT_TRUE(WaitFor([&] { return ListSelection(list) == static_cast<int>(index); }, 3000))
          << "Down reaches row " << index;
      const bool allowed = ClearAllowed(index, expected[index].name);
      EXPECT_TRUE(WaitFor([&] { return TextOf(path_panel) == expected[index].path; }, 3000))
          << expected[index].name << ": PanF shows " << TextOf(path_panel);
      EXPECT_EQ(IsWindowEnabled(clear) != FALSE, allowed) << expected[index].name;
      if (!allowed) ++disabled_rows;
      if (allowed && index >= 2) ++enabled_shell_rows;
      if (expected[index].name == kExtraName) {
        EXPECT_EQ(TextOf(path_panel), extra_folder_) << "shown without the trailing backslash";
      }
    }
    EXPECT_GT(disabled_rows, 0);
    EXPECT_GE(enabled_shell_rows, 2) << "Recent, Cookies and Cache are in the prefix";
    PressKey(VK_HOME);
    ASSERT_TRUE(WaitFor([&] { return ListSelection(list) == 0; }, 3000));
    EXPECT_EQ(TextOf(path_panel), expected[0].path);
    EXPECT_TRUE(IsWindowEnabled(clear));
  }
}

TEST_F(FoldersWindowTest, ClearsUserTempWhenConfirmedKeepingDotNamedEntries) {
  AppProcess app;
  ASSERT_NO_FATAL_FAILURE(ShowFolders(app));
  HWND list = list_;
  HWND clear = clear_;
  const std::vector<ExpectedRow> expected = ExpectedCatalogue();
  const std::vector<std::string> rows = ListRows(list);
  ASSERT_EQ(ListSelection(list), 0);
  app.Foreground();
  ASSERT_TRUE(WaitFor([&] { return FocusOf(app.main()) == list; }, 3000)) << "the folder list has the focus";

  const std::string question = "Clear folder " + expected[0].path + "?";
  {
    SCOPED_TRACE("Ctrl+Del on TEMP User answered No deletes nothing");
    app.Foreground();
    PressKey(VK_DELETE, true);
    HWND box = WaitForDialog(app.id(), "Confirm");
    ASSERT_NE(box, nullptr) << "Clear asks first";
    EXPECT_EQ(MessageBoxText(box), question);
    ClickDialogButton(box, IDNO);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, 5000));
    Sleep(500);
    for (const std::string& name : kAllRemoved) EXPECT_TRUE(PathExists(temp_ + name)) << name;
    for (const std::string& name : kAllKept) EXPECT_TRUE(PathExists(temp_ + name)) << name;
    EXPECT_TRUE(ListHasFocusAgain(app, list)) << "the focus returns to the list after No";
    EXPECT_EQ(ListSelection(list), 0);
  }
  {
    SCOPED_TRACE("Clear on TEMP User answered Yes empties the folder but for dot-named entries");
    ASSERT_TRUE(IsWindowEnabled(clear));
    app.Foreground();
    ClickCentre(clear);
    HWND box = WaitForDialog(app.id(), "Confirm");
    ASSERT_NE(box, nullptr) << "a click on Clear asks first (selection now " << ListSelection(list)
                            << ", Clear enabled " << IsWindowEnabled(clear) << ")";
    EXPECT_EQ(MessageBoxText(box), question);
    ClickDialogButton(box, IDYES);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, 5000));
    EXPECT_TRUE(WaitFor(
        [&] {
          for (const std::string& name : kRemoved) {
            if (PathExists(temp_ + name)) return false;
          }
          return true;
        },
        15000));
    for (const std::string& name : kAllRemoved) EXPECT_FALSE(PathExists(temp_ + name)) << name;
    EXPECT_TRUE(PathExists(temp_)) << "the folder itself stays";
    for (const std::string& name : kAllKept) EXPECT_TRUE(PathExists(temp_ + name)) << name;
    EXPECT_TRUE(PathExists(extra_folder_));
    std::string left;
    for (const std::string& name : FolderEntries(temp_)) left += " [" + name + "]";
    std::printf("[ folders ] %s after Clear holds:%s\n", temp_.c_str(), left.c_str());
    EXPECT_TRUE(Dialogs(app.id()).empty()) << "no error box";
    EXPECT_EQ(ListRows(list), rows) << "clearing reloads nothing";
  }
}

// What clearing a folder should remove: the files and folders below it,
// dot-named entries and links (with everything below them) left out.
struct TreeCount {
  uint64_t files = 0;
  uint64_t folders = 0;
};

TreeCount CountRemovable(const std::string& folder) {
  TreeCount count;
  WIN32_FIND_DATAA data{};
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return count;
  do {
    const std::string name = data.cFileName;
    if (name.empty() || name[0] == '.' || (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      const TreeCount inner = CountRemovable(folder + "\\" + name);
      count.files += inner.files;
      count.folders += inner.folders + 1;
    } else {
      ++count.files;
    }
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return count;
}

// The Shell folders tab's result line: its visible static text.
std::string ResultLine(HWND main) {
  for (HWND child : Children(main)) {
    if (_stricmp(ClassOf(child).c_str(), "Static") != 0 || !IsWindowVisible(child)) continue;
    const std::string text = TextOf(child);
    if (text.rfind("Removed ", 0) == 0 || text.rfind("Stopped: ", 0) == 0) return text;
  }
  return {};
}

// "1,234 files and 5 folders (" as the result and count lines begin.
std::string CountsText(const TreeCount& count) {
  return GroupedDigits(count.files) + (count.files == 1 ? " file" : " files") + " and " +
         GroupedDigits(count.folders) + (count.folders == 1 ? " folder" : " folders") + " (";
}

// The line above the path panel, whatever it says; "" while it is hidden.
std::string LineAbovePathPanel(const AppProcess& app) {
  const HWND page = GetParent(app.PathPanel());
  for (HWND child : Children(page)) {
    if (GetParent(child) == page && _stricmp(ClassOf(child).c_str(), "Static") == 0 && IsWindowVisible(child)) {
      return TextOf(child);
    }
  }
  return {};
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST_F(FoldersWindowTest, LargeClearKeepsTheWindowAnsweringCanBeStoppedAndEndsWithItsResult) {
  // 20,000 files in 100 folders, and a link to a non-empty folder outside.
  const std::string big = temp_ + "cu-ui-big";
  const std::string outside = WindowsFolder().substr(0, 3) + "cu-ui-outside";
  (void)RemoveTree(big);
  (void)RemoveTree(outside);
  ASSERT_TRUE(CreateDirectoryA(outside.c_str(), nullptr));
  ASSERT_TRUE(WriteWholeFile(outside + "\\keep-1.txt", "outside"));
  ASSERT_TRUE(CreateDirectoryA((outside + "\\nested").c_str(), nullptr));
  ASSERT_TRUE(WriteWholeFile(outside + "\\nested\\keep-2.txt", "outside too"));
  ASSERT_TRUE(CreateDirectoryA(big.c_str(), nullptr));
  for (int folder = 0; folder < 100; ++folder) {
    const std::string dir = big + "\\d" + std::to_string(folder);
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    for (int file = 0; file < 200; ++file) {
      ASSERT_TRUE(WriteWholeFile(dir + "\\f" + std::to_string(file) + ".tmp", "12345678"));
    }
  }
  ASSERT_TRUE(cu::test_kit::MakeDirectoryLink(big + "\\link", outside));
  struct Cleanup {
    std::string big, outside;
    ~Cleanup() {
      cu::test_kit::RemoveDirectoryLink(big + "\\link");
      (void)RemoveTree(big);
      (void)RemoveTree(outside);
    }
  } cleanup{big, outside};

  TreeCount before = CountRemovable(WithoutOneBackslash(temp_));
  AppProcess app;
  {
    SCOPED_TRACE("shown, the tab counts the 20,000 files behind a window that keeps answering");
    ResponsivenessProbe probe(app.main());
    ASSERT_NO_FATAL_FAILURE(ShowFolders(app));
    EXPECT_TRUE(WaitFor([&] { return EndsWith(LineAbovePathPanel(app), ") to clear"); }, 60000))
        << LineAbovePathPanel(app);
    probe.Stop();
    EXPECT_EQ(LineAbovePathPanel(app).rfind(CountsText(before), 0), 0u) << LineAbovePathPanel(app);
    EXPECT_GT(probe.probes(), 0);
    EXPECT_EQ(probe.stalls(), 0) << "slowest answer " << probe.slowest_ms() << " ms";
    std::printf("[ folders ] count: %d probes, slowest %d ms; %s\n", probe.probes(), probe.slowest_ms(),
                LineAbovePathPanel(app).c_str());
  }
  ASSERT_EQ(ListSelection(list_), 0);
  const std::string question = "Clear folder " + WithoutOneBackslash(temp_) + "?";
  const auto start_clear = [&] {
    app.Foreground();
    ClickCentre(clear_);
    HWND box = WaitForDialog(app.id(), "Confirm");
    ASSERT_NE(box, nullptr) << "Clear asks first";
    EXPECT_EQ(MessageBoxText(box), question);
    ClickDialogButton(box, IDYES);
  };

  // Stopped twice, once with the button and once with Esc, then run to the end.
  std::string previous;
  for (const char* way : {"Stop", "Esc", ""}) {
    SCOPED_TRACE(*way ? way : "to the end");
    ResponsivenessProbe probe(app.main());
    ASSERT_NO_FATAL_FAILURE(start_clear());
    if (*way) {
      HWND dialog = nullptr;
      ASSERT_TRUE(WaitFor([&] { return (dialog = ProgressDialog(app.id())) != nullptr; }, 15000))
          << "a clear that lasts shows the progress dialog";
      EXPECT_EQ(TextOf(ChildByClassAndIndex(dialog, "Static", 0)), "Clearing " + WithoutOneBackslash(temp_));
      if (std::string(way) == "Stop") {
        ClickDialogButton(dialog, IDCANCEL);
      } else {
        SetForegroundWindow(dialog);
        PressKey(VK_ESCAPE);
      }
    }
    // Each run ends differently from the one before ("Stopped: removed 1,234" and so on).
    ASSERT_TRUE(WaitFor([&] { return !ResultLine(app.main()).empty() && ResultLine(app.main()) != previous; },
                        120000))
        << "the result line shows";
    previous = ResultLine(app.main());
    probe.Stop();
    EXPECT_EQ(ProgressDialog(app.id()), nullptr);
    EXPECT_FALSE(app.Exited(0)) << "Esc stops the work, not the program";
    EXPECT_GT(probe.probes(), 0);
    EXPECT_EQ(probe.stalls(), 0) << "slowest answer " << probe.slowest_ms() << " ms";
    std::printf("[ folders ] clear (%s): %d probes, slowest %d ms; %s\n", *way ? way : "full", probe.probes(),
                probe.slowest_ms(), ResultLine(app.main()).c_str());

    const TreeCount after = CountRemovable(WithoutOneBackslash(temp_));
    const std::string line = ResultLine(app.main());
    const std::string counts = CountsText({before.files - after.files, before.folders - after.folders});
    if (*way) {
      EXPECT_EQ(line.rfind("Stopped: removed " + counts, 0), 0u) << line;
      EXPECT_GT(after.files, 0u) << "Stop leaves the rest in place";
    } else {
      EXPECT_EQ(line.rfind("Removed " + counts, 0), 0u) << line;
      EXPECT_EQ(after.files, 0u);
      EXPECT_FALSE(PathExists(big + "\\d0"));
    }
    before = after;
  }
  EXPECT_TRUE(PathExists(outside + "\\keep-1.txt"));
  EXPECT_TRUE(PathExists(outside + "\\nested\\keep-2.txt"));
  EXPECT_TRUE(PathExists(big + "\\link")) << "the link itself stays";
  for (const std::string& name : kAllKept) EXPECT_TRUE(PathExists(temp_ + name)) << name;

  // The next action on the tab takes the line away.
  app.Foreground();
  ClickRow(list_, 1);
  EXPECT_TRUE(WaitFor([&] { return ResultLine(app.main()).empty(); }, 5000));
}

// The program's TEMP User and %LOCALAPPDATA% point into a folder of the test:
// the count of a seeded temporary folder before its clearing, and the caches
// of today's browsers and of Windows listed after the shell folders.
TEST(FoldersCountTest, TheSelectedFolderIsCountedBeforeClearingAndTodaysCachesFollowTheShellFolders) {
  const std::string base = WindowsFolder().substr(0, 3) + "cu-ui-count";
  const std::string temp = base + "\\temp";
  const std::string outside = base + "\\outside";
  const std::string local = base + "\\local";
  if (PathExists(temp + "\\link")) cu::test_kit::RemoveDirectoryLink(temp + "\\link");
  (void)RemoveTree(base);
  struct Cleanup {
    std::string base;
    ~Cleanup() {
      cu::test_kit::RemoveDirectoryLink(base + "\\temp\\link");
      (void)RemoveTree(base);
    }
  } cleanup{base};
  // 300 files of 1,000 to 1,299 bytes (344,850 bytes, 336.8 KB) in three
  // folders; a dot-named file and a link to a folder outside, both kept.
  for (const std::string& folder : {base, temp, outside, temp + "\\d0", temp + "\\d1", temp + "\\d2"}) {
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
  }
  for (int file = 0; file < 300; ++file) {
    const std::string path = temp + "\\d" + std::to_string(file / 100) + "\\f" + std::to_string(file) + ".tmp";
    ASSERT_TRUE(WriteWholeFile(path, std::string(static_cast<std::size_t>(1000 + file), 'x')));
  }
  ASSERT_TRUE(WriteWholeFile(temp + "\\.cu-keep.txt", "kept"));
  ASSERT_TRUE(WriteWholeFile(outside + "\\outside.txt", std::string(5000, 'o')));
  ASSERT_TRUE(cu::test_kit::MakeDirectoryLink(temp + "\\link", outside));

  // The caches, in the order of their rows; each holds two files (100 and 8
  // bytes), one of them in a subfolder.
  const std::vector<ExpectedRow> caches{
      {"Edge cache", local + "\\Microsoft\\Edge\\User Data\\Default\\Cache"},
      {"Chrome cache", local + "\\Google\\Chrome\\User Data\\Default\\Cache"},
      {"Chrome cache (Profile 1)", local + "\\Google\\Chrome\\User Data\\Profile 1\\Cache"},
      {"Firefox cache (x1y2z3.default-release)",
       local + "\\Mozilla\\Firefox\\Profiles\\x1y2z3.default-release\\cache2"},
      {"Error reports", local + "\\Microsoft\\Windows\\WER"},
      {"Crash dumps", local + "\\CrashDumps"}};
  for (const ExpectedRow& cache : caches) {
    ASSERT_TRUE(MakeFolders(cache.path + "\\entries")) << cache.path;
    ASSERT_TRUE(WriteWholeFile(cache.path + "\\data_0", std::string(100, 'c')));
    ASSERT_TRUE(WriteWholeFile(cache.path + "\\entries\\f_000001", "12345678"));
  }
  // A profile without a cache folder gives no row.
  ASSERT_TRUE(MakeFolders(local + "\\Google\\Chrome\\User Data\\Profile 2"));

  // The program started next inherits them.
  cu::test_kit::ScopedEnvironmentVariable tmp("TMP", temp);
  cu::test_kit::ScopedEnvironmentVariable temp_variable("TEMP", temp);
  cu::test_kit::ScopedEnvironmentVariable local_app_data("LOCALAPPDATA", local);
  AppProcess app;
  ASSERT_TRUE(app.started());
  app.SelectTab(kFoldersPage);
  HWND list = app.List(kFoldersPage);
  ASSERT_NE(list, nullptr);
  {
    SCOPED_TRACE("TEMP User, selected, counted by the clearing's rules");
    // The line is watched from the tab's first showing: "Counting..." first
    // when the count takes a while, then the count.
    const std::string counted = "300 files and 3 folders (336.8 KB) to clear";
    std::vector<std::string> lines;
    EXPECT_TRUE(WaitFor(
        [&] {
          const std::string line = LineAbovePathPanel(app);
          if (lines.empty() || lines.back() != line) lines.push_back(line);
          return line == counted;
        },
        15000))
        << Shown(lines);
    EXPECT_TRUE(lines.size() == 1 || (lines.size() == 2 && lines[0] == "Counting...")) << Shown(lines);
    EXPECT_EQ(ListSelection(list), 0);
    EXPECT_EQ(TextOf(app.PathPanel()), temp);
    {
      // The line sits between the list and the path panel, covering neither.
      RECT line{}, path{}, rows{}, overlap{};
      for (HWND child : Children(GetParent(app.PathPanel()))) {
        if (IsWindowVisible(child) && TextOf(child) == counted) GetWindowRect(child, &line);
      }
      GetWindowRect(app.PathPanel(), &path);
      GetWindowRect(list, &rows);
      EXPECT_GT(line.bottom, line.top);
      EXPECT_FALSE(IntersectRect(&overlap, &line, &path)) << "the line covers the path panel";
      EXPECT_FALSE(IntersectRect(&overlap, &line, &rows)) << "the line covers the list";
    }
    ClickButton(app.Button(kFoldersPage, "Clear"));
    HWND box = WaitForDialog(app.id(), "Confirm");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), "Clear folder " + temp + "?");
    ClickDialogButton(box, IDYES);
    EXPECT_TRUE(WaitFor([&] { return LineAbovePathPanel(app) == "Removed 300 files and 3 folders (336.8 KB)"; }))
        << LineAbovePathPanel(app);
    EXPECT_EQ(FolderEntries(temp), (std::vector<std::string>{".cu-keep.txt", "link"}));
    EXPECT_TRUE(PathExists(outside + "\\outside.txt"));
  }
  const std::vector<std::string> rows = ListRows(list);
  {
    SCOPED_TRACE("the caches after the shell folders, in order, with their paths and Clear");
    std::vector<std::string> expected;
    for (const ExpectedRow& row : ExpectedCatalogue()) expected.push_back(row.name);
    for (const ExpectedRow& row : caches) expected.push_back(row.name);
    ASSERT_EQ(rows, expected);
    for (std::size_t i = 0; i < caches.size(); ++i) {
      ClickRow(list, static_cast<int>(rows.size() - caches.size() + i));
      EXPECT_TRUE(WaitFor([&] { return TextOf(app.PathPanel()) == caches[i].path; }, 5000))
          << caches[i].name << ": " << TextOf(app.PathPanel());
      EXPECT_TRUE(IsWindowEnabled(app.Button(kFoldersPage, "Clear"))) << caches[i].name;
    }
  }
  {
    SCOPED_TRACE("Clear on Chrome cache (Profile 1) empties that folder only");
    ClickRow(list, RowIndex(rows, "Chrome cache (Profile 1)"));
    EXPECT_TRUE(WaitFor([&] { return LineAbovePathPanel(app) == "2 files and 1 folder (108 bytes) to clear"; }))
        << LineAbovePathPanel(app);
    ClickButton(app.Button(kFoldersPage, "Clear"));
    HWND box = WaitForDialog(app.id(), "Confirm");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), "Clear folder " + caches[2].path + "?");
    ClickDialogButton(box, IDYES);
    EXPECT_TRUE(WaitFor([&] { return LineAbovePathPanel(app) == "Removed 2 files and 1 folder (108 bytes)"; }))
        << LineAbovePathPanel(app);
    for (std::size_t i = 0; i < caches.size(); ++i) {
      EXPECT_EQ(FolderEntries(caches[i].path).size(), i == 2 ? 0u : 2u) << caches[i].name;
    }
  }
}

// Drive E: is a folder of its own in the test run's prefix
// (scripts/windows-tests.sh maps it).
TEST(FoldersDriveRootTest, ADriveRootIsClearedAsTheRootAndARelativePathIsRefused) {
  const std::string root = "E:\\";
  ASSERT_NE(GetFileAttributesA(root.c_str()), INVALID_FILE_ATTRIBUTES) << "the test run maps drive E:";
  for (const std::string& name : FolderEntries(root)) ASSERT_TRUE(RemoveTree(root + name)) << name;
  ASSERT_TRUE(WriteWholeFile(root + "cu-root.txt", "root"));
  ASSERT_TRUE(CreateDirectoryA((root + "cu-dir").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((root + "cu-dir\\sub").c_str(), nullptr));
  ASSERT_TRUE(WriteWholeFile(root + "cu-dir\\sub\\deep.txt", "deep"));
  ASSERT_TRUE(CreateDirectoryA((root + "reports").c_str(), nullptr));
  ASSERT_TRUE(WriteWholeFile(root + ".cu-keep.txt", "kept"));
  // A folder the relative path would name from the program's current folder.
  ASSERT_TRUE(CreateDirectoryA("relcache", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(WriteWholeFile("relcache\\keep.txt", "kept"));
  struct Cleanup {
    ~Cleanup() { (void)RemoveTree("relcache"); }
  } cleanup;
  SavedRegistryValues shell_folders{HKEY_CURRENT_USER, kShellFolders, {"Recent", "Cache"}};
  ASSERT_EQ(shell_folders.SetString("Recent", root), ERROR_SUCCESS);
  ASSERT_EQ(shell_folders.SetString("Cache", "relcache"), ERROR_SUCCESS);
  // A StartUp row, so that there is a report to save.
  SavedRegistryValues run{HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", {"cu-root"}};
  ASSERT_EQ(run.SetString("cu-root", "C:\\cu-root.exe"), ERROR_SUCCESS);

  AppProcess app;
  ASSERT_TRUE(app.started());
  {
    SCOPED_TRACE("a StartUp report saved into E:\\reports");
    ClickButton(app.Button(0, "Save"));
    ASSERT_EQ(SaveAsInDialog(app, root + "reports\\startup.txt"), "");
    ASSERT_TRUE(WaitFor([&] { return PathExists(root + "reports\\startup.txt"); }, 15000));
    app.Settle();
  }
  app.SelectTab(kFoldersPage);
  HWND list = app.List(kFoldersPage);
  const std::vector<std::string> rows = ListRows(list);
  const int recent = RowIndex(rows, "Recent");
  const int cache = RowIndex(rows, "Cache");
  ASSERT_GE(recent, 0) << Shown(rows);
  ASSERT_GE(cache, 0) << Shown(rows);
  {
    SCOPED_TRACE("the root, shown, asked and cleared as the root");
    ClickRow(list, recent);
    EXPECT_TRUE(WaitFor([&] { return TextOf(app.PathPanel()) == root; }, 5000)) << TextOf(app.PathPanel());
    ClickButton(app.Button(kFoldersPage, "Clear"));
    HWND box = WaitForDialog(app.id(), "Confirm");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), "Clear folder E:\\?");
    ClickDialogButton(box, IDYES);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return FolderEntries(root) == std::vector<std::string>{".cu-keep.txt"}; }, 15000))
        << "left on E: " << Shown(FolderEntries(root));
    app.Settle();
  }
  {
    SCOPED_TRACE("a relative path: refused before any question");
    ClickRow(list, cache);
    EXPECT_TRUE(WaitFor([&] { return TextOf(app.PathPanel()) == "relcache"; }, 5000));
    ClickButton(app.Button(kFoldersPage, "Clear"));
    EXPECT_EQ(AcceptErrorBox(app), "The folder's path is not a full path, so nothing was cleared: relcache");
    EXPECT_TRUE(Dialogs(app.id()).empty()) << "no question follows";
    EXPECT_TRUE(PathExists("relcache\\keep.txt"));
  }
}

}  // namespace
}  // namespace cu::ui_test
