// Counting what clearing a large tree would remove: the Shell folders tab's
// count ("TEMP User" pointed at the tree, selected by the load, counted on
// the counter's own thread as in the window) next to the least a program
// counting a tree does: a FindFirstFileA/FindNextFileA walk summing sizes.

#include <cstring>

#include "bench/bench_ui.h"
#include "bench/windows/bench_support.h"
#include "bench/windows/benchmarks.h"
#include "bench/windows/seed.h"
#include "folders/folder_count.h"
#include "folders/folders_tab.h"
#include "platform/win32/win32_platform.h"
#include "presenter/system_paths.h"

namespace cu::bench::win {

namespace {

// Every file and folder below `folder`, with the files' sizes. The tree has
// no links and no dot names, so nothing needs telling apart.
void RawCount(const std::string& folder, RemovalTally& tally) {
  WIN32_FIND_DATAA data{};
  UniqueFind search(::FindFirstFileA((folder + "\\*").c_str(), &data));
  if (!search) return;
  do {
    if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ++tally.folders;
      RawCount(folder + "\\" + data.cFileName, tally);
    } else {
      ++tally.files;
      tally.bytes += (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
  } while (::FindNextFileA(search.get(), &data));
}

}  // namespace

bool RunCountBenchmark(const Sizes& sizes, int runs) {
  const Tree tree = MakeTree(sizes.tree_folders, sizes.tree_files);
  const std::string root = SandboxRoot() + "\\" + kClearTree;
  if (CountEntries(root) != tree.folders.size() + tree.files.size()) SeedTree(root, tree);

  cu::win32::Win32Machine machine;
  const Platform platform = machine.platform();
  QuietUi ui;
  SystemPaths paths = ReadSystemPaths(platform);
  paths.user_temp_dir = root + "\\";  // "TEMP User", row 0, selected by the load
  FoldersTab tab(platform, ui, paths);
  UniqueFile counted(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
  Check(counted.get() != nullptr, "CreateEventA");
  tab.counter().StartWorker([&counted] { ::SetEvent(counted.get()); });
  // Selecting the row counts it; the time runs until the worker says the
  // count has ended, as the window learns it.
  const auto count_selected = [&] {
    tab.SelectionChanged();
    ::WaitForSingleObject(counted.get(), INFINITE);
  };
  tab.LoadShellFolders();
  ::WaitForSingleObject(counted.get(), INFINITE);
  Check(tab.folder_caption() == root && tab.clear_enabled(), "selecting the tree in the tab");

  RemovalTally raw;
  const std::vector<Timings> timings = Alternate(runs, {[&] {
                                                          raw = RemovalTally{};
                                                          RawCount(root, raw);
                                                        },
                                                        count_selected});
  const std::string ours = tab.result_caption();
  const std::string expected = CountResultText(platform.locale, raw);

  PrintTitle("Counting a tree of " + Grouped(tree.files.size()) + " files in " +
             Grouped(tree.folders.size()) + " folders before clearing (" + std::to_string(runs) +
             " runs each)");
  PrintHeader();
  PrintTimingRow("raw FindFirstFileA loop summing sizes", timings[0], expected);
  PrintTimingRow("Shell folders tab's count, on its thread", timings[1], ours);
  const bool met = PrintRatio("count / raw Win32 loop", timings[1].Median() / timings[0].Median(), 1.1);
  if (ours != expected) PrintNote("the counts differ");
  return met && ours == expected;
}

}  // namespace cu::bench::win
