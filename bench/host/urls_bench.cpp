#include <benchmark/benchmark.h>

#include <memory>

#include "bench/bench_ui.h"
#include "bench/host/benchmarks.h"
#include "bench/host/memory_worlds.h"
#include "urls/urls_tab.h"

namespace cu::bench {

namespace {

struct UrlsBed {
  memory::MemoryMachine machine;
  QuietUi ui;
  UrlsTab tab{machine.platform(), ui};
};

std::unique_ptr<UrlsBed> MakeBed(int count) {
  auto bed = std::make_unique<UrlsBed>();
  SeedUrls(bed->machine.registry, count);
  bed->tab.LoadTypedUrls();
  return bed;
}

}  // namespace

void RegisterUrlsBenchmarks(const Sizes& sizes) {
  const std::string label = "/urls:" + std::to_string(sizes.urls);

  benchmark::RegisterBenchmark(("UrlsTab::LoadTypedUrls" + label).c_str(),
                               [sizes](benchmark::State& state) {
                                 auto bed = MakeBed(sizes.urls);
                                 for (auto _ : state) bed->tab.LoadTypedUrls();
                                 state.counters["rows"] =
                                     static_cast<double>(bed->tab.rows().size());
                               })
      ->Unit(benchmark::kMicrosecond);

  // The rewrite of url1..urlN after the list changed: every name read first,
  // then written, then the rest deleted.
  benchmark::RegisterBenchmark(("UrlsTab::StoreTypedUrls" + label).c_str(),
                               [sizes](benchmark::State& state) {
                                 auto bed = MakeBed(sizes.urls);
                                 for (auto _ : state) bed->tab.StoreTypedUrls();
                                 state.counters["values"] = static_cast<double>(
                                     bed->machine.registry
                                         .Names(Hive::kCurrentUser,
                                                std::string(kTypedUrlsKey).substr(1))
                                         .size());
                               })
      ->Unit(benchmark::kMicrosecond);

  // What the user waits for: an insertion at the top and its deletion, each
  // storing the whole list.
  benchmark::RegisterBenchmark(("UrlsTab::InsertTypedUrl+DeleteTypedUrl" + label).c_str(),
                               [sizes](benchmark::State& state) {
                                 auto bed = MakeBed(sizes.urls);
                                 bed->ui.input = "http://inserted.example.com/";
                                 for (auto _ : state) {
                                   bed->tab.Select(0);
                                   bed->tab.InsertTypedUrl();
                                   bed->tab.DeleteTypedUrl();
                                 }
                                 state.counters["rows"] =
                                     static_cast<double>(bed->tab.rows().size());
                               })
      ->Unit(benchmark::kMicrosecond);
}

}  // namespace cu::bench
