// Arbitrary command texts through the command-line split and the whole
// report on the memory machine: a seeded random loop, so every run checks
// the same inputs and a failure names the one that broke.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "startup_fuzz_checks.h"

namespace cu {
namespace {

constexpr int kRuns = 20000;

// Pieces that steer the heuristic, mixed with single bytes of every value.
const std::vector<std::string> kTokens = {
    "\"",  " ",    "\t",      ".exe",  ".EXE", ".Dll", ".cpl", ".",        "\\",    ":",
    "*",   "?",    "<",       ">",     "|",    "=",    ",",    "/min",     "C:\\", "tool",
    "App", "lib",  "C:\\App\\", "Data", "\r\n", "..",   "x.exe", "C:\\Data", "notes", "%windir%",
};

std::string RandomCommand(std::mt19937& random) {
  std::uniform_int_distribution<int> length(0, 12);
  std::uniform_int_distribution<int> choice(0, 2);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<std::size_t> token(0, kTokens.size() - 1);
  std::string out;
  for (int n = length(random); n > 0; --n) {
    if (choice(random) == 0) {
      out += static_cast<char>(byte(random));
    } else {
      out += kTokens[token(random)];
    }
  }
  return out;
}

TEST(StartupReportFuzz, ArbitraryCommandsGiveCutsOfTheirOwnText) {
  fuzz::FuzzWorld world;
  std::mt19937 random(20240531);
  int resolved = 0;
  int with_parameter = 0;
  for (int run = 0; run < kRuns; ++run) {
    const fuzz::FuzzWorld::Outcome outcome = world.Check(RandomCommand(random));
    ASSERT_EQ(outcome.failure, "");
    if (outcome.resolved) ++resolved;
    if (outcome.with_parameter) ++with_parameter;
  }
  // The inputs did reach both resolution and the parameter branch.
  EXPECT_GT(resolved, 0);
  EXPECT_GT(with_parameter, 0);
}

}  // namespace
}  // namespace cu
