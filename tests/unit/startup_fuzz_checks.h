#pragma once

// The world and the checks shared by the seeded fuzz test (host suites) and
// the libFuzzer target (tests/fuzz): arbitrary command texts through the
// command-line split and the whole report on the memory machine.

#include <exception>
#include <string>
#include <string_view>

#include "check_text.h"
#include "platform/memory/memory_machine.h"
#include "platform/text.h"
#include "startup/startup_report.h"

namespace cu::fuzz {

using testing::Hex;

// The program text before resolution, worked out independently: the text
// after its leading quotes, cut after the earliest program extension, trimmed.
inline std::string ExpectedProgramCut(const std::string& rest, std::size_t& cut_length) {
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

// A small machine with programs, a library, a folder, a search path and an
// App Paths entry, so that inputs reach every branch of the heuristic.
class FuzzWorld {
 public:
  FuzzWorld() {
    m_.files.AddFile("C:\\tool.exe", "abc");
    m_.files.AddFile("C:\\App\\app.exe", "abcdef");
    m_.files.AddFile("C:\\App\\lib.dll");
    m_.files.AddFolder("C:\\Data");
    m_.files.SetSearchFolders({"C:\\App"});
    memory::VersionData data;
    data.translations = {{0x0409, 0x04B0}};
    data.tables["040904B0"] = {{"ProductName", "App"}};
    m_.versions.Set("C:\\App\\app.exe", data);
    m_.registry.SetString(Hive::kLocalMachine,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\notes.exe", "",
                          "C:\\App\\app.exe");
  }

  struct Outcome {
    std::string failure;  // empty when every check held
    bool resolved = false;
    bool with_parameter = false;
  };

  // Splits and reports one command and checks what must hold for any input.
  Outcome Check(const std::string& command) {
    Outcome outcome;
    const auto fail = [&](const std::string& what) {
      outcome.failure = what + "; command bytes: " + Hex(command);
      return outcome;
    };
    const Platform platform = m_.platform();
    CommandPaths paths;
    std::string report;
    try {
      paths = SplitCommandLine(platform, command);
      report = BuildStartupReport(platform, command);
    } catch (const std::exception& error) {
      return fail(std::string("threw: ") + error.what());
    }
    const std::size_t quotes = command.find_first_not_of('"');
    const std::string rest = quotes == std::string::npos ? "" : command.substr(quotes);
    std::size_t cut_length = 0;
    const std::string cut = ExpectedProgramCut(rest, cut_length);
    if (paths.program != Trim(paths.program)) return fail("program text not trimmed");
    if (paths.parameter != Trim(paths.parameter)) return fail("parameter text not trimmed");
    if (paths.program != cut) {
      // Only a found file may replace the cut.
      if (!m_.files.FileExists(paths.program)) return fail("program is neither the cut nor a file: " + paths.program);
      outcome.resolved = true;
    }
    if (!paths.parameter.empty() && !m_.files.FileExists(paths.parameter) &&
        rest.find(paths.parameter, cut_length) == std::string::npos) {
      // An unresolved parameter is a piece of the text after the program.
      return fail("parameter is not a piece of the text: " + paths.parameter);
    }
    outcome.with_parameter = !paths.parameter.empty();
    if (report.empty()) return fail("empty report");
    if (report != Trim(report)) return fail("report not trimmed");
    if (report.find("FileSize=") == std::string::npos && report.find("File not found!") == std::string::npos) {
      return fail("report has neither size nor not-found line");
    }
    if (m_.files.open_search_count() != 0) return fail("a file search stayed open");
    if (m_.registry.open_key_count() != 0) return fail("a registry key stayed open");
    return outcome;
  }

 private:
  memory::MemoryMachine m_;
};

}  // namespace cu::fuzz
