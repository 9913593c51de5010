#pragma once

#include "bench/workload.h"

namespace cu::bench {

// Each registers its Google Benchmark cases for the given sizes.
void RegisterStartupBenchmarks(const Sizes& sizes);
void RegisterServicesBenchmarks(const Sizes& sizes);
void RegisterFoldersBenchmarks(const Sizes& sizes);
void RegisterUrlsBenchmarks(const Sizes& sizes);

}  // namespace cu::bench
