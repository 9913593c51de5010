// Peak memory of the program's lists: the four tab presenters loaded, one
// after the other, on the seeded machine, in a process that did nothing
// before. The figures include Wine's own share of the process.

// First: <windows.h> with the names the platform interfaces need.
#include "bench/windows/bench_support.h"

#include <cstdio>
#include <psapi.h>

#include "bench/bench_ui.h"
#include "bench/windows/benchmarks.h"
#include "folders/folders_tab.h"
#include "platform/win32/win32_platform.h"
#include "presenter/system_paths.h"
#include "services/services_tab.h"
#include "startup/startup_tab.h"
#include "urls/urls_tab.h"

namespace cu::bench::win {

namespace {

PROCESS_MEMORY_COUNTERS Counters() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  Check(::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters) != FALSE,
        "GetProcessMemoryInfo");
  return counters;
}

std::string Mib(double bytes) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f MiB", bytes / (1024.0 * 1024.0));
  return buffer;
}

void PrintStage(const std::string& stage, const PROCESS_MEMORY_COUNTERS& now,
                const PROCESS_MEMORY_COUNTERS& start, const std::string& data) {
  std::printf("  %-36s %12s %12s %12s %14s  %s\n", stage.c_str(),
              Mib(static_cast<double>(now.WorkingSetSize)).c_str(),
              Mib(static_cast<double>(now.PeakWorkingSetSize)).c_str(),
              Mib(static_cast<double>(now.PagefileUsage)).c_str(),
              Mib(static_cast<double>(now.PeakWorkingSetSize) -
                  static_cast<double>(start.PeakWorkingSetSize))
                  .c_str(),
              data.c_str());
  std::fflush(stdout);
}

template <typename Rows, typename Text>
uint64_t TextBytes(const Rows& rows, Text text) {
  uint64_t bytes = 0;
  for (const auto& row : rows) bytes += text(row).size();
  return bytes;
}

}  // namespace

bool RunMemoryBenchmark(const Sizes& sizes) {
  (void)sizes;
  const PROCESS_MEMORY_COUNTERS start = Counters();
  ComScope com;
  cu::win32::Win32Machine machine;
  const Platform platform = machine.platform();
  QuietUi ui;
  const SystemPaths paths = ReadSystemPaths(platform);

  PrintTitle("Peak memory with the largest lists loaded (GetProcessMemoryInfo)");
  std::printf("  %-36s %12s %12s %12s %14s  %s\n", "", "working set", "peak WS", "private",
              "peak - start", "list text");
  PrintStage("process start (baseline)", start, start, "");

  StartupTab startup(platform, ui, paths);
  startup.LoadStartupList();
  PrintStage("+ StartUp list", Counters(), start,
             Grouped(startup.rows().size()) + " rows, " +
                 Grouped(TextBytes(startup.rows(), [](const StartupRow& r) { return r.text; })) +
                 " bytes");

  ServicesTab services(platform, ui);
  services.Reload();
  PrintStage("+ Services list", Counters(), start,
             Grouped(services.entries().size()) + " rows, " +
                 Grouped(TextBytes(services.entries(),
                                   [](const ServiceEntry& e) { return e.display_name + e.service_name; })) +
                 " bytes");

  UrlsTab urls(platform, ui);
  urls.LoadTypedUrls();
  PrintStage("+ URL list", Counters(), start,
             Grouped(urls.rows().size()) + " rows, " +
                 Grouped(TextBytes(urls.rows(), [](const std::string& r) { return r; })) +
                 " bytes");

  FoldersTab folders(platform, ui, paths);
  folders.LoadShellFolders();
  PrintStage("+ Shell folders list", Counters(), start,
             Grouped(folders.names().size()) + " rows");

  const PROCESS_MEMORY_COUNTERS end = Counters();
  PrintNote("peak working set with every list loaded: " +
            Mib(static_cast<double>(end.PeakWorkingSetSize)) + ", of which " +
            Mib(static_cast<double>(end.PeakWorkingSetSize) -
                static_cast<double>(start.PeakWorkingSetSize)) +
            " above the process at start");
  return true;
}

}  // namespace cu::bench::win
