// Recursive removal on the real file system, both ways the Win32 layer has:
// by handle (folders held open, children opened relative to them) and by
// path (the fallback where the system lacks those calls).

#include <gtest/gtest.h>

#include <iostream>
#include <map>

#include "folders/delete_tree.h"
#include "platform/text.h"
#include "platform/win32/win32_platform.h"
#include "test_support.h"

namespace cu::win32 {
namespace {

using test::FolderEntries;
using test::PathExists;
using test::Sandbox;

constexpr char kNoLinkHere[] =
    "no directory link can be made here (Windows needs Developer Mode or administrator rights "
    "for one)";

using Names = std::vector<std::string>;

// Writes each file ("folder\\name" makes the folders on the way) and sets
// the attributes given.
struct Entry {
  std::string path;
  std::string content;  // a folder when "/"
  DWORD attributes = 0;
};

void Populate(const Sandbox& box, const std::vector<Entry>& entries) {
  for (const Entry& entry : entries) {
    if (entry.content == "/") {
      ASSERT_TRUE(box.MakeFolder(entry.path)) << entry.path;
    } else {
      ASSERT_TRUE(box.WriteFile(entry.path, entry.content)) << entry.path;
    }
  }
  // Attributes last: a read-only folder would refuse what goes inside it.
  for (const Entry& entry : entries) {
    if (entry.attributes != 0) {
      ASSERT_TRUE(::SetFileAttributesA(box.Path(entry.path).c_str(), entry.attributes))
          << entry.path;
    }
  }
}

// The outside folder a link in the tree points to; nothing in it may change.
struct Outside {
  Sandbox box;
  Names before;
  explicit Outside(const std::string& name) : box(name) {}
  void Fill() {
    ASSERT_NO_FATAL_FAILURE(Populate(box, {{"a.txt", "a"},
                                           {"sub", "/"},
                                           {"sub\\b.txt", "b"},
                                           {"read-only.txt", "r", FILE_ATTRIBUTE_READONLY}}));
    before = FolderEntries(box.folder());
  }
  void ExpectUntouched() const {
    EXPECT_EQ(FolderEntries(box.folder()), before);
    EXPECT_EQ(FolderEntries(box.Path("sub")), Names{"b.txt"});
    EXPECT_NE(::GetFileAttributesA(box.Path("read-only.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
              0u);
  }
};

// Run once by handle and once by path.
class Win32Removal : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { files_.handle_removal = GetParam(); }
  std::string Named(const std::string& name) const {
    return name + (GetParam() ? "ByHandle" : "ByPath");
  }
  Win32FileSystem files_;
};

INSTANTIATE_TEST_SUITE_P(BothWays, Win32Removal, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "ByHandle" : "ByPath");
                         });

TEST_P(Win32Removal, AReadOnlyFileWithANameOutsideStaysReadOnlyThere) {
  Outside outside(Named("RemovalNamesOutside"));
  ASSERT_NO_FATAL_FAILURE(outside.Fill());
  Sandbox box(Named("RemovalHardLink"));
  ASSERT_NO_FATAL_FAILURE(Populate(box, {{"single.txt", "s", FILE_ATTRIBUTE_READONLY}}));
  ASSERT_TRUE(::CreateHardLinkA(box.Path("second name.txt").c_str(),
                                outside.box.Path("read-only.txt").c_str(), nullptr));

  const RemovalTally tally = RemoveFolderContents(files_, box.folder());

  // Attributes belong to the file: the name outside must stay read-only.
  outside.ExpectUntouched();
  EXPECT_FALSE(PathExists(box.Path("single.txt"))) << "a read-only file with one name goes";
  // The name inside goes only where the system deletes without changing the
  // attribute (by handle on Windows 10 1809 and later); else it is left.
  const bool left = PathExists(box.Path("second name.txt"));
  std::cout << "[ hard link ] " << (left ? "left in place" : "deleted, attribute untouched") << "\n";
  if (!GetParam()) {
    EXPECT_TRUE(left) << "a deletion by path cannot pass over the attribute";
  }
  EXPECT_EQ(tally.files, left ? 1u : 2u);
  EXPECT_EQ(tally.left, left ? 1u : 0u);
}

TEST_P(Win32Removal, ClearingTakesAllButDotEntriesLinksAndFilesInUseAndCountsWhatWent) {
  Outside outside(Named("RemovalOutside"));
  ASSERT_NO_FATAL_FAILURE(outside.Fill());
  Sandbox box(Named("RemovalClear"));
  ASSERT_NO_FATAL_FAILURE(Populate(
      box, {{"plain.txt", "12345"},
            {"read-only.txt", "ro", FILE_ATTRIBUTE_READONLY},
            {"hidden system.txt", "hs", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
            {".dotfile", "kept"},
            {".dotfolder", "/"},
            {".dotfolder\\inner.txt", "kept"},
            {"nested", "/"},
            {"nested\\a", "/"},
            {"nested\\a\\b", "/"},
            {"nested\\a\\b\\deep.txt", "deep"},
            {"nested\\read-only folder", "/", FILE_ATTRIBUTE_READONLY},
            {"nested\\read-only folder\\x.txt", "x"},
            {"busy", "/"},
            {"busy\\other.txt", "o"},
            {"busy\\sub", "/"},
            {"busy\\sub\\held.txt", "held"}}));
  if (!test::MakeDirectoryLink(box.Path("linked"), WithoutBackslash(outside.box.folder()))) {
    GTEST_SKIP() << kNoLinkHere;
  }
  // Held open without FILE_SHARE_DELETE: the system refuses its deletion.
  UniqueFile held(::CreateFileA(box.Path("busy\\sub\\held.txt").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held.valid());

  RemovalTally tally = RemoveFolderContents(files_, box.folder());
  EXPECT_EQ(tally.files, 6u);  // plain, read-only, hidden, deep, x, other
  EXPECT_EQ(tally.bytes, 5u + 2 + 2 + 4 + 1 + 1);
  EXPECT_EQ(tally.folders, 4u);  // nested with a, b and the read-only folder
  EXPECT_EQ(tally.left, 1u);     // held.txt
  EXPECT_FALSE(tally.stopped);
  EXPECT_EQ(FolderEntries(box.folder()), (Names{".dotfile", ".dotfolder", "busy", "linked"}));
  EXPECT_EQ(FolderEntries(box.Path(".dotfolder")), Names{"inner.txt"});
  // The file in use keeps the chain of folders down to it.
  EXPECT_EQ(FolderEntries(box.Path("busy")), Names{"sub"});
  EXPECT_EQ(FolderEntries(box.Path("busy\\sub")), Names{"held.txt"});
  // The link stays, and nothing behind it changed, not even an attribute.
  EXPECT_TRUE(PathExists(box.Path("linked")));
  outside.ExpectUntouched();

  held.reset();
  tally = RemoveFolderContents(files_, box.folder());
  EXPECT_EQ(tally.files, 1u);
  EXPECT_EQ(tally.bytes, 4u);
  EXPECT_EQ(tally.folders, 2u);
  EXPECT_EQ(tally.left, 0u);
  EXPECT_EQ(FolderEntries(box.folder()), (Names{".dotfile", ".dotfolder", "linked"}));
  outside.ExpectUntouched();
}

TEST_P(Win32Removal, DeleteTreeSaysWhetherThePathIsGoneAndNeverRemovesALink) {
  // Outlives the sandbox and the link in it (Wine hides a dangling link).
  Outside outside(Named("RemovalDeleteTreeOutside"));
  Sandbox box(Named("RemovalDeleteTree"));
  {
    SCOPED_TRACE("a missing path is gone already, and nothing is made");
    EXPECT_TRUE(DeleteTree(files_, box.Path("missing")));
    EXPECT_TRUE(DeleteTree(files_, box.Path("missing\\deeper\\")));
    EXPECT_TRUE(FolderEntries(box.folder()).empty());
  }
  {
    SCOPED_TRACE("a whole tree goes, read-only folder and file included");
    ASSERT_NO_FATAL_FAILURE(Populate(box, {{"tree", "/"},
                                           {"tree\\f.txt", "f"},
                                           {"tree\\ro", "/", FILE_ATTRIBUTE_READONLY},
                                           {"tree\\ro\\r.txt", "r", FILE_ATTRIBUTE_READONLY}}));
    EXPECT_TRUE(DeleteTree(files_, box.Path("tree")));
    EXPECT_FALSE(PathExists(box.Path("tree")));
  }
  {
    SCOPED_TRACE("a dot entry inside keeps the tree");
    ASSERT_NO_FATAL_FAILURE(Populate(box, {{"dotted", "/"},
                                           {"dotted\\f.txt", "f"},
                                           {"dotted\\.keep", "k"}}));
    EXPECT_FALSE(DeleteTree(files_, box.Path("dotted\\")));
    EXPECT_EQ(FolderEntries(box.Path("dotted")), Names{".keep"});
  }
  {
    SCOPED_TRACE("a file at the path is no folder to remove");
    ASSERT_TRUE(box.WriteFile("file.txt", "f"));
    EXPECT_FALSE(DeleteTree(files_, box.Path("file.txt")));
    EXPECT_TRUE(PathExists(box.Path("file.txt")));
  }
  {
    SCOPED_TRACE("a link at the path stays, and so does everything behind it");
    ASSERT_NO_FATAL_FAILURE(outside.Fill());
    if (!test::MakeDirectoryLink(box.Path("link"), WithoutBackslash(outside.box.folder()))) {
      GTEST_SKIP() << kNoLinkHere;
    }
    EXPECT_FALSE(DeleteTree(files_, box.Path("link")));
    EXPECT_TRUE(PathExists(box.Path("link")));
    outside.ExpectUntouched();
    // Clearing through it is what the user asks for with a linked folder.
    const RemovalTally tally = RemoveFolderContents(files_, box.Path("link"));
    EXPECT_EQ(tally.files, 3u);
    EXPECT_EQ(tally.folders, 1u);
    EXPECT_TRUE(FolderEntries(outside.box.folder()).empty());
  }
}

// A file another program holds open with FILE_SHARE_DELETE can be deleted.
// Its name goes at once (POSIX semantics) or when the holder closes it (the
// plain disposition; its folder then stays until a later clearing); either
// way it is gone once closed and was counted as deleted.
TEST_P(Win32Removal, AFileHeldWithShareDeleteGoesNowOrWhenItsHolderClosesIt) {
  Sandbox box(Named("RemovalShareDelete"));
  ASSERT_NO_FATAL_FAILURE(Populate(box, {{"dir", "/"}, {"dir\\shared.txt", "shared"}}));
  UniqueFile holder(::CreateFileA(box.Path("dir\\shared.txt").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.valid());

  const RemovalTally tally = RemoveFolderContents(files_, box.folder());
  EXPECT_EQ(tally.files, 1u);
  EXPECT_EQ(tally.bytes, 6u);
  const bool name_gone_at_once = FolderEntries(box.Path("dir")).empty();
  std::cout << "[          ] " << (GetParam() ? "by handle" : "by path") << ": a held file's name "
            << (name_gone_at_once ? "went at once (POSIX semantics)"
                                  : "stayed until its holder closed it (plain disposition)")
            << "\n";
  if (name_gone_at_once) {
    EXPECT_EQ(tally.folders, 1u);
    EXPECT_EQ(tally.left, 0u);
    EXPECT_FALSE(PathExists(box.Path("dir")));
  } else {
    // Its emptied folder is refused while the deletion waits.
    EXPECT_EQ(tally.folders, 0u);
    EXPECT_EQ(tally.left, 1u);
    EXPECT_EQ(FolderEntries(box.folder()), Names{"dir"});
  }
  holder.reset();
  EXPECT_TRUE(FolderEntries(box.Path("dir")).empty());
  (void)RemoveFolderContents(files_, box.folder());
  EXPECT_TRUE(FolderEntries(box.folder()).empty());
}

// The handle way keeps acting on the folder it opened: a folder moved away
// and replaced by a link to another one half-way through is still the one
// emptied, and nothing behind the link is touched. (The path way would
// follow the new path: the gap it leaves open.)
TEST(Win32RemovalByHandle, AFolderSwappedForALinkHalfWayIsStillTheOneEmptied) {
  Sandbox outside("RemovalSwapOutside");
  ASSERT_TRUE(outside.WriteFile("victim.txt", "outside"));
  Sandbox box("RemovalSwap");
  ASSERT_NO_FATAL_FAILURE(Populate(box, {{"tree", "/"}, {"tree\\victim.txt", "inside"}}));

  Win32FileSystem files;
  RemovalRoot root = files.OpenRemovalRoot(box.Path("tree"), false);
  ASSERT_EQ(root.status, RemovalRoot::Status::kOpen);
  const std::optional<FindData> entry = root.folder->Next();
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->long_name, "victim.txt");
  ASSERT_TRUE(::MoveFileA(box.Path("tree").c_str(), box.Path("moved").c_str()))
      << ::GetLastError();
  if (!test::MakeDirectoryLink(box.Path("tree"), WithoutBackslash(outside.folder()))) {
    GTEST_SKIP() << kNoLinkHere;
  }

  const RemovalFolder::Outcome file_outcome = root.folder->RemoveCurrentFile(false);
  EXPECT_FALSE(root.folder->Next().has_value());
  const RemovalFolder::Outcome folder_outcome = root.folder->RemoveSelf();
  // Wine's own searches share no deletion, so they wait for the handle.
  root.folder.reset();
  // Whatever came of it, nothing went through the link.
  EXPECT_EQ(FolderEntries(outside.folder()), Names{"victim.txt"});
  EXPECT_EQ(outside.ReadFile("victim.txt"), "outside");
  EXPECT_TRUE(PathExists(box.Path("tree")));  // the link, left in place
  if (test::RunningUnderWine()) {
    // Under Wine the deletion through the moved folder's handle removes
    // nothing (the outside file is intact, above): the moved folder keeps
    // its entry, and the folder stays.
    EXPECT_EQ(folder_outcome, RemovalFolder::Outcome::kKept);
    EXPECT_EQ(FolderEntries(box.Path("moved")), Names{"victim.txt"});
    GTEST_SKIP() << "Wine does not follow a folder moved while open: the moved folder is "
                    "left as it is rather than emptied";
  }
  EXPECT_EQ(file_outcome, RemovalFolder::Outcome::kRemoved);
  EXPECT_EQ(folder_outcome, RemovalFolder::Outcome::kRemoved);
  EXPECT_FALSE(PathExists(box.Path("moved")));
}

// A folder is entered relative to the one listing it and checked by its
// name (and its attributes) on the handle: a real folder two levels down is
// entered, a folder swapped for a link after the listing is not.
TEST(Win32RemovalByHandle, AFolderSwappedForALinkAfterTheListingIsNotEntered) {
  Sandbox outside("RemovalEnterOutside");
  ASSERT_TRUE(outside.WriteFile("victim.txt", "outside"));
  Sandbox box("RemovalEnter");
  ASSERT_NO_FATAL_FAILURE(
      Populate(box, {{"sub", "/"}, {"sub\\deeper", "/"}, {"sub\\deeper\\inner.txt", "inside"}}));
  Win32FileSystem files;
  const auto open_sub = [&] {
    RemovalRoot root = files.OpenRemovalRoot(WithoutBackslash(box.folder()), false);
    EXPECT_EQ(root.status, RemovalRoot::Status::kOpen);
    const std::optional<FindData> entry = root.folder ? root.folder->Next() : std::nullopt;
    EXPECT_TRUE(entry && entry->long_name == "sub");
    return root;
  };
  {
    RemovalRoot root = open_sub();
    ASSERT_TRUE(root.folder);
    std::unique_ptr<RemovalFolder> sub = root.folder->OpenCurrentFolder();
    ASSERT_TRUE(sub);
    ASSERT_EQ(sub->Next()->long_name, "deeper");
    std::unique_ptr<RemovalFolder> deeper = sub->OpenCurrentFolder();
    ASSERT_TRUE(deeper);
    EXPECT_EQ(deeper->Next()->long_name, "inner.txt");
  }
  RemovalRoot root = open_sub();
  ASSERT_TRUE(root.folder);
  ASSERT_TRUE(::MoveFileA(box.Path("sub").c_str(), box.Path("moved").c_str())) << ::GetLastError();
  if (!test::MakeDirectoryLink(box.Path("sub"), WithoutBackslash(outside.folder()))) {
    GTEST_SKIP() << kNoLinkHere;
  }
  EXPECT_EQ(root.folder->OpenCurrentFolder(), nullptr) << "entered through the link";
  EXPECT_EQ(outside.ReadFile("victim.txt"), "outside");
}

// The handle way lists a folder itself; what it reports of each entry must
// be what the file search reports.
TEST(Win32RemovalByHandle, EntriesAreReportedAsTheFileSearchReportsThem) {
  Sandbox box("RemovalEntries");
  ASSERT_NO_FATAL_FAILURE(Populate(
      box, {{"short.txt", "12345"},
            {"a rather long name of a file.text", ""},
            {"hidden folder", "/", FILE_ATTRIBUTE_HIDDEN},
            {"read-only.bin", std::string(70'000, 'x'), FILE_ATTRIBUTE_READONLY}}));

  Win32FileSystem files;
  std::map<std::string, FindData> searched;
  std::unique_ptr<FileSearch> search = files.FindFirst(box.folder() + "*");
  ASSERT_NE(search, nullptr);
  while (std::optional<FindData> found = search->Next()) {
    if (found->long_name != "." && found->long_name != "..") searched[found->long_name] = *found;
  }
  search.reset();
  ASSERT_EQ(searched.size(), 4u);

  RemovalRoot root = files.OpenRemovalRoot(box.folder(), true);
  ASSERT_EQ(root.status, RemovalRoot::Status::kOpen);
  std::map<std::string, FindData> listed;
  while (std::optional<FindData> found = root.folder->Next()) listed[found->long_name] = *found;
  ASSERT_EQ(listed.size(), searched.size());
  for (const auto& [name, want] : searched) {
    SCOPED_TRACE(name);
    ASSERT_EQ(listed.count(name), 1u);
    const FindData& got = listed[name];
    EXPECT_EQ(got.short_name, want.short_name);
    EXPECT_EQ(got.attributes, want.attributes);
    EXPECT_EQ(got.size, want.size);
    const auto time = [](const LocalTime& t) {
      return std::vector<int>{t.year, t.month, t.day, t.hour, t.minute, t.second};
    };
    EXPECT_EQ(time(got.last_write), time(want.last_write));
    EXPECT_EQ(got.write_time, want.write_time);
  }
}

}  // namespace
}  // namespace cu::win32
