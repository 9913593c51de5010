#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "folders/delete_tree.h"
#include "platform/memory/memory_machine.h"

namespace cu {
namespace {

using Names = std::vector<std::string>;

// A folder outside the tree, reached from inside it through a link.
void AddOutside(memory::MemoryFileSystem& files) {
  files.AddFile("C:\\Outside\\keep.txt", "k");
  files.AddFile("C:\\Outside\\ro.txt", "r", kAttrReadOnly);
  files.AddFile("C:\\Outside\\nested\\deep.txt", "d");
}

void ExpectOutsideIntact(const memory::MemoryFileSystem& files) {
  EXPECT_EQ(files.List("C:\\Outside"), (Names{"keep.txt", "ro.txt", "nested"}));
  EXPECT_EQ(files.List("C:\\Outside\\nested"), (Names{"deep.txt"}));
}

TEST(FolderClearing, RemovesEverythingButDotEntriesLockedChainsAndLinks) {
  memory::MemoryMachine machine;
  memory::MemoryFileSystem& files = machine.files;
  AddOutside(files);
  files.AddFile("C:\\T\\a.txt", "a");
  files.AddFile("C:\\T\\sub\\deep\\b.txt", "b");
  files.AddFile("C:\\T\\sub\\c.txt", "c", kAttrReadOnly);
  files.AddFile("C:\\T\\hidden.txt", "", kAttrHidden);
  files.AddFile("C:\\T\\system.sys", "", kAttrHidden | kAttrSystem);
  files.AddFolder("C:\\T\\rodir", kAttrDirectory | kAttrReadOnly);
  files.AddFile("C:\\T\\rodir\\in.txt");
  files.AddFile("C:\\T\\.keep", "dot file");
  files.AddFile("C:\\T\\.cfg\\inner.txt", "dot folder content");
  files.AddFile("C:\\T\\busy\\gone.txt");
  files.AddFile("C:\\T\\busy\\x\\locked.txt");
  files.AddFile("C:\\T\\busy\\x\\other.txt");
  files.Lock("C:\\T\\busy\\x\\locked.txt");
  // Reachable only by its 8.3 alias.
  files.AddFile("C:\\T\\unreachable long name.txt");
  files.SetShortName("C:\\T\\unreachable long name.txt", "UNREAC~1.TXT");
  files.BlockLongName("C:\\T\\unreachable long name.txt");
  // Reachable by neither name: stays.
  files.AddFile("C:\\T\\lost name.txt");
  files.BlockLongName("C:\\T\\lost name.txt");
  files.AddLink("C:\\T\\link", "C:\\Outside");
  files.AddLink("C:\\T\\sub\\nested link", "C:\\Outside\\nested");

  RemoveFolderContents(files, "C:\\T");

  EXPECT_TRUE(files.Exists("C:\\T"));
  EXPECT_EQ(files.List("C:\\T"), (Names{"sub", ".keep", ".cfg", "busy", "lost name.txt", "link"}));
  EXPECT_EQ(files.List("C:\\T\\.cfg"), (Names{"inner.txt"}));
  EXPECT_EQ(files.List("C:\\T\\busy"), (Names{"x"}));
  EXPECT_EQ(files.List("C:\\T\\busy\\x"), (Names{"locked.txt"}));
  // "sub" stays only because the link inside it is never deleted through.
  EXPECT_EQ(files.List("C:\\T\\sub"), (Names{"nested link"}));
  ExpectOutsideIntact(files);
  EXPECT_EQ(files.open_search_count(), 0);
}

TEST(FolderClearing, ReadOnlyFileInUseLosesOnlyItsAttribute) {
  memory::MemoryMachine machine;
  machine.files.AddFile("C:\\T\\ro.txt", "", kAttrReadOnly | kAttrArchive);
  machine.files.Lock("C:\\T\\ro.txt");

  RemoveFolderContents(machine.files, "C:\\T\\");

  EXPECT_TRUE(machine.files.Exists("C:\\T\\ro.txt"));
  EXPECT_EQ(machine.files.GetAttributes("C:\\T\\ro.txt"), kAttrArchive);
}

TEST(DeleteTree, ReportsWhetherTheFolderIsGone) {
  memory::MemoryMachine machine;
  memory::MemoryFileSystem& files = machine.files;
  AddOutside(files);

  // A missing path touches nothing.
  EXPECT_TRUE(DeleteTree(files, "C:\\Nowhere"));
  ExpectOutsideIntact(files);

  // Every entry deletes: the folder goes, with or without a trailing backslash.
  files.AddFile("C:\\Gone\\a\\b\\c.txt", "", kAttrReadOnly);
  files.AddFile("C:\\Gone\\d.txt");
  EXPECT_TRUE(DeleteTree(files, "C:\\Gone\\"));
  EXPECT_FALSE(files.Exists("C:\\Gone"));

  // A file in use keeps its chain of folders, and the result says so.
  files.AddFile("C:\\Kept\\x\\locked.txt");
  files.AddFile("C:\\Kept\\free.txt");
  files.Lock("C:\\Kept\\x\\locked.txt");
  EXPECT_FALSE(DeleteTree(files, "C:\\Kept"));
  EXPECT_EQ(files.List("C:\\Kept"), (Names{"x"}));
  EXPECT_EQ(files.List("C:\\Kept\\x"), (Names{"locked.txt"}));

  // A dot-named entry keeps its folder.
  files.AddFile("C:\\Dotted\\.hidden");
  EXPECT_FALSE(DeleteTree(files, "C:\\Dotted"));
  EXPECT_EQ(files.List("C:\\Dotted"), (Names{".hidden"}));

  // A link asked for directly is left in place, its target untouched.
  files.AddLink("C:\\Link", "C:\\Outside");
  EXPECT_FALSE(DeleteTree(files, "C:\\Link"));
  EXPECT_TRUE(files.Exists("C:\\Link"));
  ExpectOutsideIntact(files);

  // A tree holding a link keeps the link and reports the folder as still there.
  files.AddFile("C:\\WithLink\\a.txt");
  files.AddLink("C:\\WithLink\\to outside", "C:\\Outside");
  EXPECT_FALSE(DeleteTree(files, "C:\\WithLink"));
  EXPECT_EQ(files.List("C:\\WithLink"), (Names{"to outside"}));
  ExpectOutsideIntact(files);

  EXPECT_EQ(files.open_search_count(), 0);
}

}  // namespace
}  // namespace cu
