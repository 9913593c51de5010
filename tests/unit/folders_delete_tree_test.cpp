#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "folders/delete_tree.h"
#include "folders/folder_count.h"
#include "platform/memory/memory_machine.h"
#include "scripted_progress.h"

namespace cu {
namespace {

using Names = std::vector<std::string>;

// A folder outside the tree, reached from inside it through a link.
void AddOutside(memory::MemoryFileSystem& files) {
  files.AddFile("C:\\Outside\\keep.txt", "k");
  files.AddFile("C:\\Outside\\ro.txt", "r", kAttrReadOnly);
  files.AddFile("C:\\Outside\\nested\\deep.txt", "d");
}

void ExpectOutsideIntact(memory::MemoryFileSystem& files) {
  EXPECT_EQ(files.List("C:\\Outside"), (Names{"keep.txt", "ro.txt", "nested"}));
  EXPECT_EQ(files.List("C:\\Outside\\nested"), (Names{"deep.txt"}));
  // Still read-only, also when a name of it inside the tree was met.
  EXPECT_NE(files.GetAttributes("C:\\Outside\\ro.txt") & kAttrReadOnly, 0u);
}

// A tree with every kind of entry the rules treat apart, outside links included.
void AddMixedTree(memory::MemoryFileSystem& files) {
  AddOutside(files);
  files.AddFile("C:\\T\\a.txt", "a");
  files.AddFile("C:\\T\\sub\\deep\\b.txt", "bb");
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
  // Reachable by path only through its 8.3 alias.
  files.AddFile("C:\\T\\unreachable long name.txt");
  files.SetShortName("C:\\T\\unreachable long name.txt", "UNREAC~1.TXT");
  files.BlockLongName("C:\\T\\unreachable long name.txt");
  // Reachable by path by neither name.
  files.AddFile("C:\\T\\lost name.txt");
  files.BlockLongName("C:\\T\\lost name.txt");
  files.AddLink("C:\\T\\link", "C:\\Outside");
  files.AddLink("C:\\T\\sub\\nested link", "C:\\Outside\\nested");
  // A second name of a read-only file outside.
  files.AddHardLink("C:\\T\\ro-link.txt", "C:\\Outside\\ro.txt");
}

TEST(FolderClearing, RemovesEverythingButDotEntriesLockedChainsAndLinks) {
  // By handle every name the search gives is reached; by path a name that
  // neither the long nor the short form reaches stays. A read-only file with
  // another name elsewhere goes only where the system can delete it without
  // taking its attribute off.
  for (const int mode : {0, 1, 2}) {
    const bool by_path = mode == 1;
    const bool ignores_read_only = mode == 2;
    SCOPED_TRACE(by_path ? "by path" : ignores_read_only ? "by handle, read-only passed over"
                                                          : "by handle");
    memory::MemoryMachine machine;
    memory::MemoryFileSystem& files = machine.files;
    files.path_removal = by_path;
    files.delete_ignores_read_only = ignores_read_only;
    AddMixedTree(files);

    const RemovalTally tally = RemoveFolderContents(files, "C:\\T");

    Names top = {"sub", ".keep", ".cfg", "busy", "link"};
    if (by_path) top.insert(top.end() - 1, "lost name.txt");
    if (!ignores_read_only) top.push_back("ro-link.txt");
    EXPECT_TRUE(files.Exists("C:\\T"));
    EXPECT_EQ(files.List("C:\\T"), top);
    EXPECT_EQ(files.List("C:\\T\\.cfg"), (Names{"inner.txt"}));
    EXPECT_EQ(files.List("C:\\T\\busy"), (Names{"x"}));
    EXPECT_EQ(files.List("C:\\T\\busy\\x"), (Names{"locked.txt"}));
    // "sub" stays only because the link inside it is never deleted through.
    EXPECT_EQ(files.List("C:\\T\\sub"), (Names{"nested link"}));
    ExpectOutsideIntact(files);
    EXPECT_EQ(files.open_search_count(), 0);
    // a, b, c, hidden, system, in, gone, other, unreachable (+ lost by handle);
    // deep, rodir removed; locked.txt refused.
    EXPECT_EQ(tally.files, by_path ? 9u : ignores_read_only ? 11u : 10u);
    EXPECT_EQ(tally.folders, 2u);
    EXPECT_EQ(tally.bytes, ignores_read_only ? 5u : 4u);  // "a", "bb", "c" (and "r")
    EXPECT_EQ(tally.left, ignores_read_only ? 1u : 2u);
    EXPECT_FALSE(tally.stopped);
  }
}

TEST(FolderClearing, TheCountBeforehandSeesWhatClearingWouldRemove) {
  memory::MemoryMachine machine;
  AddMixedTree(machine.files);
  RemovalRoot root = machine.files.OpenRemovalRoot("C:\\T", true);
  ASSERT_EQ(root.status, RemovalRoot::Status::kOpen);
  RemovalTally counted;
  CountOpenFolderContents(*root.folder, counted, nullptr);
  // Every file but those behind links and dot names, the locked one and the
  // second name of a file outside included; sub, deep, rodir, busy and x.
  EXPECT_EQ(counted.files, 12u);
  EXPECT_EQ(counted.folders, 5u);
  EXPECT_EQ(counted.bytes, 5u);
  EXPECT_EQ(CountResultText(machine.locale, counted), "12 files and 5 folders (5 bytes) to clear");
  ExpectOutsideIntact(machine.files);
  EXPECT_EQ(machine.files.List("C:\\T").size(), 12u) << "nothing removed";
  // One of each, and nothing at all.
  EXPECT_EQ(CountResultText(machine.locale, {1, 1, 2048, 0, false}), "1 file and 1 folder (2.0 KB) to clear");
  EXPECT_EQ(CountResultText(machine.locale, {}), "Nothing to clear");

  // Stopped before the first entry: nothing counted, and it says so.
  RemovalRoot again = machine.files.OpenRemovalRoot("C:\\T", true);
  testing::ScriptedProgress stop_now;
  stop_now.stop_from = 1;
  RemovalTally stopped;
  CountOpenFolderContents(*again.folder, stopped, &stop_now);
  EXPECT_TRUE(stopped.stopped);
  EXPECT_EQ(stopped.files + stopped.folders, 0u);

  // On the counter's own thread: a count asked for again replaces the one
  // before, whose result never shows; the counter's end stops a count still
  // running. The machine is only read while the worker runs.
  for (int i = 0; i < 5000; ++i) {
    machine.files.AddFile("C:\\Big\\d" + std::to_string(i % 50) + "\\f" + std::to_string(i), "x");
  }
  std::atomic<int> notices{0};
  {
    FolderCounter counter(machine.files);
    counter.StartWorker([&notices] { ++notices; });
    counter.Count("C:\\Big");
    counter.Count("C:\\T");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (counter.ResultText(machine.locale) == "Counting..." && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(counter.ResultText(machine.locale), "12 files and 5 folders (5 bytes) to clear");
    EXPECT_GE(notices.load(), 1);
    counter.Count("C:\\Big");
  }
}

TEST(FolderClearing, StopAtEveryStepLeavesExactlyTheEntriesNotYetReached) {
  // The full run gives the order of removals; a run stopped at step k has
  // removed a beginning of that order, and everything else is in place.
  std::vector<std::string> order;
  int steps = 0;
  {
    memory::MemoryMachine machine;
    AddMixedTree(machine.files);
    testing::ScriptedProgress progress;
    (void)RemoveFolderContents(machine.files, "C:\\T", &progress);
    order = machine.files.removals();
    steps = progress.steps;
    // Progress counts every removal, in order, never going back.
    ASSERT_FALSE(progress.reports.empty());
    EXPECT_EQ(progress.reports.back(), (std::pair<uint64_t, uint64_t>{order.size(), 4}));
    for (std::size_t i = 1; i < progress.reports.size(); ++i) {
      EXPECT_LE(progress.reports[i - 1].first, progress.reports[i].first);
    }
  }
  std::size_t previous = 0;
  for (int stop = 1; stop <= steps; ++stop) {
    SCOPED_TRACE(stop);
    memory::MemoryMachine machine;
    AddMixedTree(machine.files);
    testing::ScriptedProgress progress;
    progress.stop_from = stop;
    const RemovalTally tally = RemoveFolderContents(machine.files, "C:\\T", &progress);
    const std::vector<std::string>& removed = machine.files.removals();
    EXPECT_TRUE(tally.stopped);
    EXPECT_EQ(progress.steps, stop);  // not asked again once told to stop
    ASSERT_LE(removed.size(), order.size());
    EXPECT_TRUE(std::equal(removed.begin(), removed.end(), order.begin()));
    EXPECT_GE(removed.size(), previous);
    if (stop == 1) {
      EXPECT_TRUE(removed.empty());
    }
    previous = removed.size();
    EXPECT_EQ(tally.removed(), removed.size());
    for (std::size_t i = removed.size(); i < order.size(); ++i) {
      EXPECT_TRUE(machine.files.Exists(order[i])) << order[i];
    }
    ExpectOutsideIntact(machine.files);
  }
}

TEST(FolderClearing, AFolderSwappedForALinkMidRunNeverLeadsOutside) {
  // Another user moves T\sub away and puts a link to C:\Outside in its
  // place: before the walk reaches it (step 1), or once it is open (step 2).
  for (const int step : {1, 2}) {
    SCOPED_TRACE(step);
    memory::MemoryMachine machine;
    memory::MemoryFileSystem& files = machine.files;
    AddOutside(files);
    files.AddFile("C:\\Outside\\x.txt", "same name as inside");
    files.AddFile("C:\\T\\sub\\x.txt");
    files.AddFile("C:\\T\\sub\\y.txt");
    files.AddFolder("C:\\Moved");
    testing::ScriptedProgress progress;
    progress.pauses[step] = [&files] {
      files.SwapForLink("C:\\T\\sub", "C:\\Moved\\sub", "C:\\Outside");
    };

    (void)RemoveFolderContents(files, "C:\\T", &progress);

    EXPECT_EQ(files.List("C:\\Outside"), (Names{"keep.txt", "ro.txt", "nested", "x.txt"}));
    EXPECT_EQ(files.List("C:\\T"), (Names{"sub"}));  // the link stays
    // Once open, the folder is emptied and removed wherever it went.
    EXPECT_EQ(files.Exists("C:\\Moved\\sub"), step == 1);
  }
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
