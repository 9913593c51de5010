#include <benchmark/benchmark.h>

#include <memory>

#include "bench/bench_ui.h"
#include "bench/host/benchmarks.h"
#include "bench/host/memory_worlds.h"
#include "folders/delete_tree.h"
#include "folders/folders_tab.h"
#include "platform/text.h"

namespace cu::bench {

void RegisterFoldersBenchmarks(const Sizes& sizes) {
  const std::string label =
      "/files:" + std::to_string(sizes.tree_files) + "/folders:" + std::to_string(sizes.tree_folders);

  // "TEMP User" selected and Clear answered Yes; the tree is seeded again,
  // untimed, before each run.
  benchmark::RegisterBenchmark(
      ("FoldersTab::ClearShownFolder" + label).c_str(),
      [sizes](benchmark::State& state) {
        const Tree tree = MakeTree(sizes.tree_folders, sizes.tree_files);
        const SystemPaths paths = MemorySystemPaths();
        const std::string root = WithoutBackslash(paths.user_temp_dir);
        std::size_t left = 0;
        for (auto _ : state) {
          state.PauseTiming();
          auto machine = std::make_unique<memory::MemoryMachine>();
          SeedTree(machine->files, root, tree);
          QuietUi ui;
          FoldersTab tab(machine->platform(), ui, paths);
          tab.LoadShellFolders();  // selects "TEMP User"
          state.ResumeTiming();
          tab.ClearShownFolder();
          state.PauseTiming();
          left = machine->files.List(root).size();
          machine.reset();
          state.ResumeTiming();
        }
        state.counters["left"] = static_cast<double>(left);
        state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(tree.files.size()));
      })
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);

  benchmark::RegisterBenchmark(
      ("DeleteTree" + label).c_str(),
      [sizes](benchmark::State& state) {
        const Tree tree = MakeTree(sizes.tree_folders, sizes.tree_files);
        const std::string root = "C:\\cu-bench-tree";
        bool removed = false;
        for (auto _ : state) {
          state.PauseTiming();
          auto machine = std::make_unique<memory::MemoryMachine>();
          SeedTree(machine->files, root, tree);
          state.ResumeTiming();
          removed = DeleteTree(machine->files, root);
          state.PauseTiming();
          machine.reset();
          state.ResumeTiming();
        }
        state.counters["removed"] = removed ? 1 : 0;
        state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(tree.files.size()));
      })
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
}

}  // namespace cu::bench
