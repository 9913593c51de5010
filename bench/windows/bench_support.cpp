#include "bench/windows/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "bench/workload.h"

namespace cu::bench::win {

namespace {

double Frequency() {
  static const double frequency = [] {
    LARGE_INTEGER f{};
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  return frequency;
}

}  // namespace

Stopwatch::Stopwatch() { ::QueryPerformanceCounter(&start_); }

double Stopwatch::ElapsedMs() const {
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 / Frequency();
}

double Timings::Median() const {
  if (ms.empty()) return 0;
  std::vector<double> sorted = ms;
  std::sort(sorted.begin(), sorted.end());
  const std::size_t n = sorted.size();
  return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

double Timings::Min() const { return ms.empty() ? 0 : *std::min_element(ms.begin(), ms.end()); }

std::vector<Timings> Alternate(int runs, const std::vector<std::function<void()>>& contenders) {
  std::vector<Timings> timings(contenders.size());
  for (const auto& run : contenders) run();  // warm-up
  for (int round = 0; round < runs; ++round) {
    for (std::size_t i = 0; i < contenders.size(); ++i) {
      Stopwatch watch;
      contenders[i]();
      timings[i].ms.push_back(watch.ElapsedMs());
    }
  }
  return timings;
}

std::string FormatMs(double ms) {
  char buffer[32];
  if (ms >= 100) {
    std::snprintf(buffer, sizeof buffer, "%.0f ms", ms);
  } else if (ms >= 1) {
    std::snprintf(buffer, sizeof buffer, "%.2f ms", ms);
  } else {
    std::snprintf(buffer, sizeof buffer, "%.3f ms", ms);
  }
  return buffer;
}

void PrintTitle(const std::string& title) {
  std::printf("\n%s\n%s\n", title.c_str(), std::string(title.size(), '-').c_str());
}

void PrintHeader() {
  std::printf("  %-44s %12s %12s %5s  %s\n", "", "median", "min", "runs", "");
}

void PrintTimingRow(const std::string& label, const Timings& timings, const std::string& note) {
  std::printf("  %-44s %12s %12s %5zu  %s\n", label.c_str(), FormatMs(timings.Median()).c_str(),
              FormatMs(timings.Min()).c_str(), timings.ms.size(), note.c_str());
  std::fflush(stdout);
}

bool PrintRatio(const std::string& what, double ratio, double target, int indent) {
  const bool met = ratio <= target;
  const std::string label = std::string(static_cast<std::size_t>(indent), ' ') + "ratio " + what;
  std::printf("  %-44s %11.2fx   target <= %.2fx: %s\n", label.c_str(), ratio, target,
              met ? "met" : "NOT met");
  std::fflush(stdout);
  return met;
}

void PrintNote(const std::string& text) {
  std::printf("  %s\n", text.c_str());
  std::fflush(stdout);
}

std::string SandboxRoot() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD n = ::GetTempPathA(sizeof buffer, buffer);
  Check(n > 0 && n < sizeof buffer, "GetTempPathA");
  std::string root = std::string(buffer, n) + "cu-bench";
  ::CreateDirectoryA(root.c_str(), nullptr);
  return root;
}

ComScope::ComScope() {
  const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Check(SUCCEEDED(hr), "CoInitializeEx");
}

ComScope::~ComScope() { ::CoUninitialize(); }

HKEY RootKey(Hive hive) {
  switch (hive) {
    case Hive::kLocalMachine: return HKEY_LOCAL_MACHINE;
    case Hive::kUsers: return HKEY_USERS;
    case Hive::kCurrentUser: break;
  }
  return HKEY_CURRENT_USER;
}

uint64_t CountEntries(const std::string& folder) {
  uint64_t count = 0;
  WIN32_FIND_DATAA data{};
  UniqueFind search(::FindFirstFileA((folder + "\\*").c_str(), &data));
  if (!search) return 0;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    ++count;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) count += CountEntries(folder + "\\" + name);
  } while (::FindNextFileA(search.get(), &data));
  return count;
}

void Check(bool ok, const std::string& what) {
  if (ok) return;
  throw std::runtime_error(what + " failed (error " + std::to_string(::GetLastError()) + ")");
}

}  // namespace cu::bench::win
