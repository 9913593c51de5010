#pragma once

// The Windows benchmarks; each prints its table and returns false when a
// target was not met (or the run could not be measured).

#include "bench/workload.h"

namespace cu::bench::win {

bool RunStartupBenchmark(const Sizes& sizes, int runs);
bool RunReportBenchmark(const Sizes& sizes, int runs);
// Measures the prefix's own services, then registers `sizes.services` more
// (left registered for the memory benchmark) and measures again.
bool RunServicesBenchmark(const Sizes& sizes, int runs);
// The trees that the clear benchmark deletes, below the sandbox folder.
inline constexpr char kClearTree[] = "clear-ours";
inline constexpr char kRdTree[] = "clear-rd";
inline constexpr char kRawTree[] = "clear-raw";

// `floor_ms`: the time of `rm -rf` on an identical tree, measured by the
// caller on the Linux side; negative when there is none. `seeded`: the two
// trees are already there (the caller seeded one and copied it); otherwise
// both are seeded here.
bool RunClearBenchmark(const Sizes& sizes, double floor_ms, bool seeded);
bool RunMemoryBenchmark(const Sizes& sizes);
// Counts <sandbox>\clear-ours (seeded when incomplete) as the Shell folders
// tab does before a clear, and with a raw loop.
bool RunCountBenchmark(const Sizes& sizes, int runs);
// Verifies the files seed-signatures made (SignatureFiles in seed.h).
bool RunSignaturesBenchmark(const Sizes& sizes, int runs);

}  // namespace cu::bench::win
