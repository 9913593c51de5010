// Clearing a large tree: FoldersTab::ClearShownFolder ("TEMP User" pointed at
// the tree, Clear answered Yes) next to the minimal raw Win32 loop
// (FindFirstFileA/FindNextFileA, DeleteFileA, RemoveDirectoryA) and the
// system's own recursive delete, `cmd /c rd /s /q`, each on an identical
// tree, and `rm -rf` on the Linux side as the floor (timed by the caller on
// one more identical tree).

#include <cstdio>
#include <cstring>

#include "bench/bench_ui.h"
#include "bench/windows/bench_support.h"
#include "bench/windows/benchmarks.h"
#include "bench/windows/seed.h"
#include "folders/folders_tab.h"
#include "platform/win32/win32_platform.h"
#include "presenter/system_paths.h"

namespace cu::bench::win {

namespace {

// Runs a command line and waits for it; its exit code.
DWORD RunAndWait(const std::string& command_line) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string mutable_line = command_line;
  Check(::CreateProcessA(nullptr, mutable_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         nullptr, &startup, &process) != FALSE,
        "CreateProcessA " + command_line);
  UniqueFile process_handle(process.hProcess);
  UniqueFile thread_handle(process.hThread);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  return code;
}

// The least a program clearing a folder does: every entry found is deleted
// by its path, folders depth first and then removed; the folder itself stays.
// No dot names kept, no attributes cleared, no links told apart (the tree
// has none).
void RawClear(const std::string& folder) {
  WIN32_FIND_DATAA data{};
  UniqueFind search(::FindFirstFileA((folder + "\\*").c_str(), &data));
  if (!search) return;
  do {
    if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
    const std::string path = folder + "\\" + data.cFileName;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      RawClear(path);
      (void)::RemoveDirectoryA(path.c_str());  // what stays is counted afterwards
    } else {
      (void)::DeleteFileA(path.c_str());
    }
  } while (::FindNextFileA(search.get(), &data));
}

}  // namespace

bool RunClearBenchmark(const Sizes& sizes, double floor_ms, bool seeded) {
  const Tree tree = MakeTree(sizes.tree_folders, sizes.tree_files);
  const std::string sandbox = SandboxRoot();
  const std::string ours = sandbox + "\\" + kClearTree;
  const std::string theirs = sandbox + "\\" + kRdTree;
  const std::string raw = sandbox + "\\" + kRawTree;
  const uint64_t expected = tree.folders.size() + tree.files.size();

  double seed_ms = -1;
  if (!seeded) {
    Stopwatch seeding;
    SeedTree(ours, tree);
    seed_ms = seeding.ElapsedMs();
    SeedTree(theirs, tree);
  }
  if (!seeded || CountEntries(raw) != expected) SeedTree(raw, tree);
  // Every tree is walked once before any is deleted, which checks that they
  // are complete and leaves all equally warm in the caches.
  const uint64_t ours_before = CountEntries(ours);
  const uint64_t theirs_before = CountEntries(theirs);
  const uint64_t raw_before = CountEntries(raw);
  if (ours_before != expected || theirs_before != expected || raw_before != expected) {
    PrintNote("the trees to clear are incomplete: " + Grouped(ours_before) + ", " +
              Grouped(theirs_before) + " and " + Grouped(raw_before) + " entries, " +
              Grouped(expected) + " expected");
    return false;
  }

  Timings raw_loop;
  {
    Stopwatch watch;
    RawClear(raw);
    raw_loop.ms.push_back(watch.ElapsedMs());
  }
  const uint64_t raw_left = CountEntries(raw);

  cu::win32::Win32Machine machine;
  const Platform platform = machine.platform();
  QuietUi ui;
  SystemPaths paths = ReadSystemPaths(platform);
  paths.user_temp_dir = ours + "\\";  // "TEMP User", row 0, selected by the load
  FoldersTab tab(platform, ui, paths);
  tab.LoadShellFolders();
  Check(tab.folder_caption() == ours && tab.clear_enabled(), "selecting the tree in the tab");
  Timings clear;
  {
    Stopwatch watch;
    tab.ClearShownFolder();
    clear.ms.push_back(watch.ElapsedMs());
  }
  const uint64_t left = CountEntries(ours);
  const bool folder_stays = ::GetFileAttributesA(ours.c_str()) != INVALID_FILE_ATTRIBUTES;

  // The process start of cmd alone, so the table shows how much of rd's time
  // is not deletion.
  Timings cmd_start;
  {
    Stopwatch watch;
    (void)RunAndWait("cmd.exe /c rem");
    cmd_start.ms.push_back(watch.ElapsedMs());
  }

  Timings rd;
  {
    Stopwatch watch;
    (void)RunAndWait("cmd.exe /c rd /s /q \"" + theirs + "\"");
    rd.ms.push_back(watch.ElapsedMs());
  }
  const bool rd_removed = ::GetFileAttributesA(theirs.c_str()) == INVALID_FILE_ATTRIBUTES;
  const uint64_t rd_left = rd_removed ? 0 : CountEntries(theirs);
  (void)RemoveTree(ours);
  (void)RemoveTree(raw);

  PrintTitle("Clearing a tree of " + Grouped(tree.files.size()) + " files in " +
             Grouped(tree.folders.size()) + " folders (one run each, on identical trees)");
  PrintHeader();
  if (floor_ms >= 0) {
    Timings floor;
    floor.ms.push_back(floor_ms);
    PrintTimingRow("rm -rf on Linux, same file system (floor)", floor, "");
  }
  PrintTimingRow("raw Win32 loop under Wine", raw_loop, Grouped(raw_left) + " entries left");
  PrintTimingRow("cmd /c rd /s /q under Wine", rd,
                 rd_removed ? "tree gone" : Grouped(rd_left) + " entries left");
  PrintTimingRow("  of which cmd /c start-up alone", cmd_start, "");
  PrintTimingRow("FoldersTab::ClearShownFolder under Wine", clear,
                 Grouped(left) + " entries left, folder " + (folder_stays ? "kept" : "gone"));
  const bool met = PrintRatio("clear / raw Win32 loop", clear.Median() / raw_loop.Median(), 1.1);
  (void)PrintRatio("clear / rd /s /q", clear.Median() / rd.Median(), 1.0);
  if (floor_ms > 0) {
    std::printf("  %-44s %11.2fx\n", "ratio clear / rm -rf", clear.Median() / floor_ms);
    std::printf("  %-44s %11.2fx\n", "ratio rd /s /q / rm -rf", rd.Median() / floor_ms);
  }
  if (seed_ms >= 0) PrintNote("(seeding one tree took " + FormatMs(seed_ms) + ")");
  return met && left == 0;
}

}  // namespace cu::bench::win
