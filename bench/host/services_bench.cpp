#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "bench/bench_ui.h"
#include "bench/host/benchmarks.h"
#include "bench/host/memory_worlds.h"
#include "services/services_tab.h"

namespace cu::bench {

namespace {

struct ServicesBed {
  memory::MemoryMachine machine;
  QuietUi ui;
  ServicesTab tab{machine.platform(), ui};
};

// The manager hands the services over in `presorted` display order, or in
// the scrambled order of MakeServices.
std::unique_ptr<ServicesBed> MakeBed(int count, bool presorted) {
  auto bed = std::make_unique<ServicesBed>();
  if (!presorted) {
    SeedServices(bed->machine.services, count);
    return bed;
  }
  std::vector<ServiceItem> items = MakeServices(count);
  std::sort(items.begin(), items.end(), [](const ServiceItem& a, const ServiceItem& b) {
    return a.display_name < b.display_name;
  });
  for (const ServiceItem& item : items) {
    memory::MemoryService service;
    service.name = item.name;
    service.display_name = item.display_name;
    service.state = item.running ? kServiceRunning : kServiceStopped;
    bed->machine.services.Add(std::move(service));
  }
  return bed;
}

}  // namespace

void RegisterServicesBenchmarks(const Sizes& sizes) {
  const std::string count = std::to_string(sizes.services);
  for (bool presorted : {false, true}) {
    // Enumeration, the rows' texts, the locale sort and the caption.
    benchmark::RegisterBenchmark(
        ("ServicesTab::LoadServices/" + std::string(presorted ? "presorted" : "scrambled") +
         "/services:" + count)
            .c_str(),
        [sizes, presorted](benchmark::State& state) {
          auto bed = MakeBed(sizes.services, presorted);
          for (auto _ : state) {
            bed->tab.Reload();
            benchmark::DoNotOptimize(bed->tab.entries().data());
          }
          state.counters["rows"] = static_cast<double>(bed->tab.entries().size());
          state.SetItemsProcessed(state.iterations() *
                                  static_cast<int64_t>(bed->tab.entries().size()));
        })
        ->Unit(benchmark::kMicrosecond);
  }

  // What the owner-drawn list asks for every row of a full repaint.
  benchmark::RegisterBenchmark(
      ("ServicesTab::RowDrawingAt/every row/services:" + count).c_str(),
      [sizes](benchmark::State& state) {
        auto bed = MakeBed(sizes.services, false);
        bed->tab.Reload();
        const int rows = static_cast<int>(bed->tab.entries().size());
        for (auto _ : state) {
          for (int i = 0; i < rows; ++i) {
            RowDrawing drawing = bed->tab.RowDrawingAt(i, i == bed->tab.selection());
            benchmark::DoNotOptimize(drawing);
          }
        }
        state.SetItemsProcessed(state.iterations() * rows);
      })
      ->Unit(benchmark::kMicrosecond);
}

}  // namespace cu::bench
