// The Shell folders tab clearing real trees. The tab's "TEMP User" row is
// pointed at a sandbox (the main window records that path; here the test
// does), so nothing outside the sandboxes is ever cleared.

#include "tab_flows.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "folders/folders_tab.h"
#include "platform/text.h"
#include "startup/startup_tab.h"

namespace cu::win32 {
namespace {

using test::FolderEntries;
using test::PathExists;
using test::RealMachine;
using test::Sandbox;

// The attributes the directory search reports for one entry.
DWORD SearchAttributes(const std::string& path) {
  WIN32_FIND_DATAA data{};
  UniqueFind search(::FindFirstFileA(path.c_str(), &data));
  return search ? data.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

// Loads the tab with its "TEMP User" row on `folder` (selected after the
// load) and answers the clearing question with `answer`.
void ClearThroughTab(RealMachine& real, const Sandbox& folder, bool answer) {
  SystemPaths paths = real.paths;
  paths.user_temp_dir = folder.folder();
  FoldersTab tab(real.platform, real.ui, paths);
  tab.LoadShellFolders();
  ASSERT_EQ(tab.selection(), 0);
  ASSERT_EQ(tab.folder_caption(), WithoutBackslash(folder.folder()));
  ASSERT_TRUE(tab.clear_enabled());
  real.ui.confirm_answers = {answer};
  tab.ClearShownFolder();
  EXPECT_EQ(real.ui.questions.back(), "Clear folder " + WithoutBackslash(folder.folder()) + "?");
  EXPECT_FALSE(real.ui.busy);
}

TEST(FoldersTabFlows, ClearingEmptiesTheTreeButKeepsDotEntriesAndFilesInUse) {
  Sandbox box("TabFlowClear");
  ASSERT_TRUE(box.WriteFile("plain.txt", "p"));
  ASSERT_TRUE(box.WriteFile("read-only.txt", "r"));
  ASSERT_TRUE(box.WriteFile("hidden system.txt", "h"));
  ASSERT_TRUE(box.WriteFile(".dotfile", "kept"));
  ASSERT_TRUE(box.MakeFolder(".dotfolder"));
  ASSERT_TRUE(box.WriteFile(".dotfolder\\inner.txt", "kept"));
  ASSERT_TRUE(box.MakeFolder("nested"));
  ASSERT_TRUE(box.MakeFolder("nested\\a"));
  ASSERT_TRUE(box.MakeFolder("nested\\a\\b"));
  ASSERT_TRUE(box.WriteFile("nested\\a\\b\\deep.txt", "d"));
  ASSERT_TRUE(box.MakeFolder("nested\\read-only folder"));
  ASSERT_TRUE(box.WriteFile("nested\\read-only folder\\x.txt", "x"));
  ASSERT_TRUE(box.MakeFolder("busy"));
  ASSERT_TRUE(box.MakeFolder("busy\\sub"));
  ASSERT_TRUE(box.WriteFile("busy\\other.txt", "o"));
  ASSERT_TRUE(box.WriteFile("busy\\sub\\held.txt", "in use"));
  ASSERT_TRUE(::SetFileAttributesA(box.Path("read-only.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(::SetFileAttributesA(box.Path("hidden system.txt").c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(::SetFileAttributesA(box.Path("nested\\read-only folder").c_str(),
                                   FILE_ATTRIBUTE_READONLY));
  const std::vector<std::string> before = FolderEntries(box.folder());

  RealMachine real;
  // Held open without FILE_SHARE_DELETE: the file cannot be deleted.
  UniqueFile held(::CreateFileA(box.Path("busy\\sub\\held.txt").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held.valid());

  // No to the question deletes nothing.
  ASSERT_NO_FATAL_FAILURE(ClearThroughTab(real, box, false));
  EXPECT_EQ(FolderEntries(box.folder()), before);
  EXPECT_TRUE(real.ui.busy_changes.empty());

  ASSERT_NO_FATAL_FAILURE(ClearThroughTab(real, box, true));
  EXPECT_EQ(real.ui.busy_changes, (std::vector<bool>{true, false}));
  EXPECT_TRUE(PathExists(box.folder()));
  EXPECT_EQ(FolderEntries(box.folder()),
            (std::vector<std::string>{".dotfile", ".dotfolder", "busy"}));
  EXPECT_EQ(FolderEntries(box.Path(".dotfolder")), std::vector<std::string>{"inner.txt"});
  // The file in use stays, and so does the chain of folders down to it.
  EXPECT_EQ(FolderEntries(box.Path("busy")), std::vector<std::string>{"sub"});
  EXPECT_EQ(FolderEntries(box.Path("busy\\sub")), std::vector<std::string>{"held.txt"});

  // Once released, a second Clear takes the rest.
  held.reset();
  ASSERT_NO_FATAL_FAILURE(ClearThroughTab(real, box, true));
  EXPECT_EQ(FolderEntries(box.folder()), (std::vector<std::string>{".dotfile", ".dotfolder"}));
  EXPECT_TRUE(real.ui.ScriptUsedUp());
}

// A directory link made for one test, removed as a link at the end.
class LinkForTest {
 public:
  LinkForTest(std::string link, const std::string& target)
      : link_(std::move(link)), made_(test::MakeDirectoryLink(link_, WithoutBackslash(target))) {}
  ~LinkForTest() { test::RemoveDirectoryLink(link_); }
  LinkForTest(const LinkForTest&) = delete;
  LinkForTest& operator=(const LinkForTest&) = delete;

  const std::string& path() const { return link_; }
  bool made() const { return made_; }

 private:
  std::string link_;
  bool made_;
};

constexpr char kNoLinkHere[] =
    "no directory link can be made here (Windows needs Developer Mode or administrator rights "
    "for one)";

TEST(FoldersTabFlows, ClearingAndStartupRemovalLeaveADirectoryLinkAndEverythingBehindIt) {
  Sandbox outside("TabFlowLinkTarget");
  ASSERT_TRUE(outside.WriteFile("a.txt", "a"));
  ASSERT_TRUE(outside.MakeFolder("sub"));
  ASSERT_TRUE(outside.WriteFile("sub\\b.txt", "b"));
  ASSERT_TRUE(outside.WriteFile("read-only.txt", "r"));
  ASSERT_TRUE(::SetFileAttributesA(outside.Path("read-only.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  const std::vector<std::string> target_before = FolderEntries(outside.folder());

  Sandbox box("TabFlowLinkClear");
  ASSERT_TRUE(box.WriteFile("plain.txt", "p"));
  LinkForTest link(box.Path("linked"), outside.folder());
  if (!link.made()) GTEST_SKIP() << kNoLinkHere;
  EXPECT_EQ(SearchAttributes(link.path()) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  // A search through the link reaches the files behind it, so a walk that
  // followed it would delete them.
  EXPECT_EQ(FolderEntries(link.path()), target_before);

  // Clearing the folder that holds the link: the link stays, and nothing
  // behind it is touched, not even an attribute.
  RealMachine real;
  ASSERT_NO_FATAL_FAILURE(ClearThroughTab(real, box, true));
  EXPECT_EQ(FolderEntries(box.folder()), std::vector<std::string>{"linked"});
  EXPECT_EQ(FolderEntries(outside.folder()), target_before);
  EXPECT_EQ(FolderEntries(outside.Path("sub")), std::vector<std::string>{"b.txt"});
  EXPECT_NE(::GetFileAttributesA(outside.Path("read-only.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
            0u);

  // A Startup-folder entry that is a link: its removal never reaches into
  // the folder it points to.
  StartupTab startup(real.platform, real.ui, real.paths);
  (void)startup.DeleteStartupPath(link.path());
  EXPECT_EQ(FolderEntries(outside.folder()), target_before);
  EXPECT_EQ(FolderEntries(outside.Path("sub")), std::vector<std::string>{"b.txt"});
  if (test::RunningUnderWine()) {
    GTEST_SKIP() << "Wine's RemoveDirectoryA follows a Unix directory link and fails on the "
                    "non-empty folder behind it (ERROR_DIR_NOT_EMPTY), so the link itself stays";
  }
  EXPECT_FALSE(PathExists(link.path()));
}

TEST(FoldersTabFlows, StartupRemovalOfALinkToAnEmptyFolderKeepsThatFolder) {
  Sandbox outside("TabFlowLinkEmptyTarget");
  Sandbox box("TabFlowLinkEmpty");
  LinkForTest link(box.Path("linked-empty"), outside.folder());
  if (!link.made()) GTEST_SKIP() << kNoLinkHere;

  RealMachine real;
  StartupTab startup(real.platform, real.ui, real.paths);
  (void)startup.DeleteStartupPath(link.path());
  // The folder behind the link lies outside the Startup folder: removing the
  // entry may take the link, never that folder.
  EXPECT_TRUE(PathExists(outside.folder()));
}

}  // namespace
}  // namespace cu::win32
