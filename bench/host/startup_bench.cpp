#include <benchmark/benchmark.h>

#include <memory>

#include "bench/bench_ui.h"
#include "bench/host/benchmarks.h"
#include "bench/host/memory_worlds.h"
#include "startup/startup_tab.h"

namespace cu::bench {

namespace {

// A seeded machine with a presenter over it, built on first use.
struct StartupBed {
  memory::MemoryMachine machine;
  QuietUi ui;
  SystemPaths paths = MemorySystemPaths();
  StartupTab tab{machine.platform(), ui, paths};
};

std::string Label(const char* name, const Sizes& sizes) {
  return std::string(name) + "/values:" + std::to_string(sizes.run_values) +
         "/entries:" + std::to_string(sizes.startup_entries);
}

}  // namespace

void RegisterStartupBenchmarks(const Sizes& sizes) {
  // The full load: 24 keys, three Startup folders (a third of the entries
  // shortcuts), win.ini and system.ini, then the sort.
  benchmark::RegisterBenchmark(
      Label("StartupTab::LoadStartupList", sizes).c_str(),
      [sizes](benchmark::State& state) {
        auto bed = std::make_unique<StartupBed>();
        SeedStartupWorld(bed->machine,
                         MakeStartupWorld(kMemorySandbox, sizes.run_values, sizes.startup_entries));
        for (auto _ : state) {
          bed->tab.LoadStartupList();
          benchmark::DoNotOptimize(bed->tab.rows().data());
        }
        const auto rows = static_cast<int64_t>(bed->tab.rows().size());
        state.counters["rows"] = static_cast<double>(rows);
        state.SetItemsProcessed(state.iterations() * rows);
      })
      ->Unit(benchmark::kMillisecond);

  // The report file of every row: command split, path resolution (App Paths,
  // search path), size, date and version strings of program and parameter.
  benchmark::RegisterBenchmark(
      ("StartupTab::SaveReport/rows:" + std::to_string(sizes.report_rows)).c_str(),
      [sizes](benchmark::State& state) {
        auto bed = std::make_unique<StartupBed>();
        SeedStartupWorld(bed->machine,
                         MakeReportWorld(kMemorySandbox, kMemorySystemDir, sizes.report_rows));
        bed->tab.LoadStartupList();
        const std::string report = std::string(kMemorySandbox) + "\\report.txt";
        for (auto _ : state) {
          bed->ui.save_path = report;
          bed->tab.SaveReport();
        }
        const auto rows = static_cast<int64_t>(bed->tab.rows().size());
        state.counters["rows"] = static_cast<double>(rows);
        state.counters["bytes"] =
            static_cast<double>(bed->machine.files.Content(report).value_or("").size());
        state.SetItemsProcessed(state.iterations() * rows);
      })
      ->Unit(benchmark::kMillisecond);
}

}  // namespace cu::bench
