// The Windows benchmarks, one command per step, so that each measurement
// runs in a process of its own (the memory figures need a fresh one) and the
// caller can time `rm -rf` between seeding and clearing:
//
//   cu_bench_windows seed-startup      StartUp world (with the newer places)
//                                      and typed addresses
//   cu_bench_windows startup [--runs=N]
//   cu_bench_windows services [--runs=N]   (registers more services)
//   cu_bench_windows memory
//   cu_bench_windows seed-report       report world (replaces the StartUp one)
//   cu_bench_windows report [--runs=N]
//   cu_bench_windows seed-signatures   signed and unsigned programs, and
//                                      the test root trusted
//   cu_bench_windows signatures [--runs=N]
//   cu_bench_windows seed-tree NAME    prints the tree's path
//   cu_bench_windows count [--runs=N]  counts <sandbox>\clear-ours (seeded
//                                      when incomplete)
//   cu_bench_windows clear [--floor-ms=X] [--seeded=yes]
//                                      deletes <sandbox>\clear-ours,
//                                      <sandbox>\clear-raw and
//                                      <sandbox>\clear-rd (seeded unless
//                                      --seeded=yes)
//
// Sizes: bench/workload.h, scaled by CU_BENCH_SCALE. Exit code 0 when the
// step ran and met its targets, 2 when a target was missed, 1 on failure.
// Meant for a throwaway Wine prefix: it rewrites the autostart keys, the
// Startup folder's location, Winlogon's Shell, AppInit_DLLs and the typed
// addresses, and adds tasks, packages, debuggers, services and a trusted
// root of its own.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "bench/windows/bench_support.h"
#include "bench/windows/benchmarks.h"
#include "bench/windows/seed.h"
#include "platform/win32/win32_platform.h"

namespace {

using namespace cu::bench;
using namespace cu::bench::win;

std::string Option(int argc, char** argv, const std::string& name, const std::string& fallback) {
  const std::string prefix = "--" + name + "=";
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.compare(0, prefix.size(), prefix) == 0) return arg.substr(prefix.size());
  }
  return fallback;
}

int Run(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: cu_bench_windows COMMAND [options] (see main.cpp)\n");
    return 1;
  }
  const std::string command = argv[1];
  const Sizes sizes = SizesFromEnvironment();
  const int runs = std::max(1, std::atoi(Option(argc, argv, "runs", "5").c_str()));
  const std::string sandbox = SandboxRoot();

  if (command == "seed-startup") {
    ComScope com;
    Stopwatch watch;
    RemoveSeededStartup();
    SeedStartup(MakeStartupWorld(sandbox, sizes.run_values, sizes.startup_entries));
    SeedNewerPlaces(sandbox, sizes);
    SeedUrls(sizes.urls);
    std::printf("seeded %s values, %s Startup-folder entries, %s scheduled tasks, %s packages, "
                "%s debugger keys and %s typed addresses in %s\n",
                Grouped(sizes.run_values).c_str(), Grouped(sizes.startup_entries).c_str(),
                Grouped(sizes.scheduled_tasks).c_str(), Grouped(sizes.packages).c_str(),
                Grouped(sizes.debugger_keys).c_str(), Grouped(sizes.urls).c_str(),
                FormatMs(watch.ElapsedMs()).c_str());
    return 0;
  }
  if (command == "seed-report") {
    ComScope com;
    Stopwatch watch;
    RemoveSeededStartup();
    cu::win32::Win32Machine machine;
    std::string system_dir = machine.platform().environment.WindowsDirectory() + "\\system32";
    SeedStartup(MakeReportWorld(sandbox, system_dir, sizes.report_rows));
    std::printf("seeded the report world (%s rows) in %s\n", Grouped(sizes.report_rows).c_str(),
                FormatMs(watch.ElapsedMs()).c_str());
    return 0;
  }
  if (command == "seed-signatures") {
    Stopwatch watch;
    SeedSignatures(sandbox, sizes.signature_copies);
    std::printf("seeded %s signed and %s unsigned programs in %s\n",
                Grouped(sizes.signature_copies).c_str(), Grouped(sizes.signature_copies).c_str(),
                FormatMs(watch.ElapsedMs()).c_str());
    return 0;
  }
  if (command == "seed-tree") {
    if (argc < 3) return 1;
    const std::string root = sandbox + "\\" + argv[2];
    SeedTree(root, MakeTree(sizes.tree_folders, sizes.tree_files));
    std::printf("%s\n", root.c_str());
    return 0;
  }

  bool met = false;
  if (command == "startup") {
    met = RunStartupBenchmark(sizes, runs);
  } else if (command == "report") {
    met = RunReportBenchmark(sizes, runs);
  } else if (command == "services") {
    met = RunServicesBenchmark(sizes, runs * 10);
  } else if (command == "clear") {
    met = RunClearBenchmark(sizes, std::atof(Option(argc, argv, "floor-ms", "-1").c_str()),
                            Option(argc, argv, "seeded", "no") == "yes");
  } else if (command == "count") {
    met = RunCountBenchmark(sizes, runs);
  } else if (command == "signatures") {
    met = RunSignaturesBenchmark(sizes, runs);
  } else if (command == "memory") {
    met = RunMemoryBenchmark(sizes);
  } else {
    std::fprintf(stderr, "unknown command %s\n", command.c_str());
    return 1;
  }
  std::fflush(stdout);
  return met ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cu_bench_windows: %s\n", e.what());
    return 1;
  }
}
