// Host benchmarks: the presenters' logic on the memory machine. Sizes follow
// bench/workload.h, scaled by CU_BENCH_SCALE; the usual Google Benchmark
// flags (--benchmark_filter=...) apply.

#include <benchmark/benchmark.h>

#include "bench/host/benchmarks.h"

int main(int argc, char** argv) {
  const cu::bench::Sizes sizes = cu::bench::SizesFromEnvironment();
  cu::bench::RegisterStartupBenchmarks(sizes);
  cu::bench::RegisterServicesBenchmarks(sizes);
  cu::bench::RegisterFoldersBenchmarks(sizes);
  cu::bench::RegisterUrlsBenchmarks(sizes);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
