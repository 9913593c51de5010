// Arbitrary command texts through the command-line split and the whole
// report on the memory machine: a seeded random loop, so every run checks
// the same inputs and a failure names the one that broke.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/memory_machine.h"
#include "platform/text.h"
#include "startup/startup_report.h"

namespace cu {
namespace {

constexpr int kRuns = 20000;

std::string Hex(const std::string& bytes) {
  std::string out;
  char buffer[4];
  for (unsigned char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X ", c);
    out += buffer;
  }
  return out;
}

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

// The program text before resolution, worked out independently: the text
// after its leading quotes, cut after the earliest program extension, trimmed.
std::string ExpectedProgramCut(const std::string& rest, std::size_t& cut_length) {
  std::size_t earliest = std::string::npos;
  for (std::string_view extension : {".exe", ".dll", ".cpl"}) {
    for (std::size_t i = 0; i + 4 <= rest.size() && i < earliest; ++i) {
      bool match = true;
      for (std::size_t k = 0; k < 4 && match; ++k) {
        char c = rest[i + k];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        match = c == extension[k];
      }
      if (match) earliest = i;
    }
  }
  cut_length = earliest == std::string::npos ? rest.size() : earliest + 4;
  return Trim(std::string_view(rest).substr(0, cut_length));
}

TEST(StartupReportFuzz, ArbitraryCommandsGiveCutsOfTheirOwnText) {
  memory::MemoryMachine m;
  m.files.AddFile("C:\\tool.exe", "abc");
  m.files.AddFile("C:\\App\\app.exe", "abcdef");
  m.files.AddFile("C:\\App\\lib.dll");
  m.files.AddFolder("C:\\Data");
  m.files.SetSearchFolders({"C:\\App"});
  memory::VersionData data;
  data.translations = {{0x0409, 0x04B0}};
  data.tables["040904B0"] = {{"ProductName", "App"}};
  m.versions.Set("C:\\App\\app.exe", data);
  m.registry.SetString(Hive::kLocalMachine,
                       "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\notes.exe", "",
                       "C:\\App\\app.exe");
  const Platform platform = m.platform();

  std::mt19937 random(20240531);
  int resolved = 0;
  int with_parameter = 0;
  for (int run = 0; run < kRuns; ++run) {
    const std::string command = RandomCommand(random);
    // Formatted only when a check fails.
    const auto input = [&command] { return "command bytes: " + Hex(command); };
    CommandPaths paths;
    std::string report;
    try {
      paths = SplitCommandLine(platform, command);
      report = BuildStartupReport(platform, command);
    } catch (const std::exception& error) {
      FAIL() << "threw: " << error.what() << "; " << input();
    }

    const std::size_t quotes = command.find_first_not_of('"');
    const std::string rest = quotes == std::string::npos ? "" : command.substr(quotes);
    std::size_t cut_length = 0;
    const std::string cut = ExpectedProgramCut(rest, cut_length);
    ASSERT_EQ(paths.program, Trim(paths.program)) << input();
    ASSERT_EQ(paths.parameter, Trim(paths.parameter)) << input();
    if (paths.program != cut) {
      // Only a found file may replace the cut.
      ASSERT_TRUE(m.files.FileExists(paths.program)) << paths.program << "; " << input();
      ++resolved;
    }
    if (!paths.parameter.empty() && !m.files.FileExists(paths.parameter)) {
      // An unresolved parameter is a piece of the text after the program.
      ASSERT_NE(rest.find(paths.parameter, cut_length), std::string::npos) << paths.parameter << "; " << input();
    }
    if (!paths.parameter.empty()) ++with_parameter;

    ASSERT_FALSE(report.empty()) << input();
    ASSERT_EQ(report, Trim(report)) << input();
    ASSERT_TRUE(report.find("FileSize=") != std::string::npos ||
                report.find("File not found!") != std::string::npos)
        << input();
    ASSERT_EQ(m.files.open_search_count(), 0) << input();
    ASSERT_EQ(m.registry.open_key_count(), 0) << input();
  }
  // The inputs did reach both resolution and the parameter branch.
  EXPECT_GT(resolved, 0);
  EXPECT_GT(with_parameter, 0);
}

}  // namespace
}  // namespace cu
