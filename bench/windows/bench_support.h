#pragma once

// Shared pieces of the Windows benchmarks: the clock, the tables, the
// sandbox folder, COM on the main thread, and raw Win32 helpers for seeding
// (files and trees from the test kit).

#include "platform/platform.h"
#include "test_kit.h"

#include <functional>
#include <string>
#include <vector>

namespace cu::bench::win {

using cu::win32::ComPtr;
using cu::win32::ToWide;
using cu::win32::UniqueFile;
using cu::win32::UniqueFind;
using cu::win32::UniqueHkey;
using cu::win32::UniqueSc;
using cu::test_kit::ExeFolder;
using cu::test_kit::MakeFolders;
using cu::test_kit::ReadWholeFile;
using cu::test_kit::RemoveTree;
using cu::test_kit::WriteWholeFile;

// Milliseconds on the performance counter.
class Stopwatch {
 public:
  Stopwatch();
  double ElapsedMs() const;

 private:
  LARGE_INTEGER start_{};
};

// Times of repeated runs of one contender.
struct Timings {
  std::vector<double> ms;
  double Median() const;
  double Min() const;
};

// Runs the contenders in turn, `runs` rounds after one untimed warm-up round,
// so that neither always runs on a cache the other warmed.
std::vector<Timings> Alternate(int runs, const std::vector<std::function<void()>>& contenders);

// Tables: a title, rows of contenders, then ratio lines with their targets.
void PrintTitle(const std::string& title);
void PrintHeader();
void PrintTimingRow(const std::string& label, const Timings& timings, const std::string& note);
// "ratio <what>  1.23x   target <= 1.50x: met" (or "NOT met"), after
// `indent` blanks.
bool PrintRatio(const std::string& what, double ratio, double target, int indent = 0);
void PrintNote(const std::string& text);
std::string FormatMs(double ms);

// The benchmarks' folder below the temporary folder: <temp>\cu-bench, no
// trailing backslash. Created when missing.
std::string SandboxRoot();

// COM for the shell-link object, on this thread, for the object's lifetime.
class ComScope {
 public:
  ComScope();
  ~ComScope();
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
};

HKEY RootKey(Hive hive);

// Counts the entries below a folder, "." and ".." not counted.
uint64_t CountEntries(const std::string& folder);

// Throws std::runtime_error with the text and the last error when `ok` is false.
void Check(bool ok, const std::string& what);

}  // namespace cu::bench::win
