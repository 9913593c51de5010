// The StartUp report file: StartupTab::SaveReport for every row next to a
// raw loop that makes the same searches (file, App Paths, search path), the
// same size-and-date reads, version-resource reads and signature checks per
// row and writes the text in one go.

#include <cstdio>
#include <map>
#include <tuple>

#include "bench/bench_ui.h"
#include "bench/windows/bench_support.h"
#include "bench/windows/benchmarks.h"
#include "bench/windows/raw_signatures.h"
#include "platform/text.h"
#include "platform/win32/win32_platform.h"
#include "presenter/system_paths.h"
#include "startup/startup_catalogue.h"
#include "startup/startup_report.h"
#include "startup/startup_tab.h"

namespace cu::bench::win {

namespace {

constexpr char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

bool IsFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string RawCut(const std::string& text) {
  const std::string lower = AsciiLower(text);
  std::size_t earliest = std::string::npos;
  for (const char* extension : {".exe", ".dll", ".cpl"}) {
    earliest = std::min(earliest, lower.find(extension));
  }
  return earliest == std::string::npos ? text : text.substr(0, earliest + 4);
}

std::string RawResolve(const std::string& text) {
  if (text.empty()) return {};
  if (IsFile(text)) return text;
  const std::size_t last = text.find_last_of(".\\:");
  const std::string name = last != std::string::npos && text[last] == '.' ? text : text + ".exe";
  if (IsFile(name)) return name;
  UniqueHkey key;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kAppPaths + name).c_str(), 0, KEY_READ,
                      key.receive()) == ERROR_SUCCESS) {
    char buffer[MAX_PATH * 2] = {};
    DWORD size = sizeof buffer - 1;
    if (::RegQueryValueExA(key.get(), "", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                           &size) == ERROR_SUCCESS &&
        IsFile(buffer)) {
      return buffer;
    }
  }
  char found[MAX_PATH] = {};
  if (::SearchPathA(nullptr, name.c_str(), nullptr, MAX_PATH, found, nullptr) > 0) return found;
  return {};
}

// Verdicts kept by the file's path, size and last write, as the program
// keeps them for the run: a file is verified once, whatever the number of
// rows and reports naming it.
using RawVerdicts = std::map<std::tuple<std::string, uint64_t, uint64_t>, std::string>;

// Size, date and, for a file that is no folder, the verdict on its signature.
std::string RawFileLines(const std::string& path, RawVerdicts& verdicts) {
  if (path.empty()) return {};
  WIN32_FIND_DATAA data{};
  UniqueFind search(::FindFirstFileA(path.c_str(), &data));
  if (!search) return {};
  const uint64_t size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  char number[64] = {};
  NUMBERFMTA format{0, 1, 3, const_cast<char*>("."), const_cast<char*>(","), 1};
  ::GetNumberFormatA(LOCALE_USER_DEFAULT, 0, std::to_string(size).c_str(), &format, number,
                     sizeof number);
  FILETIME local{};
  SYSTEMTIME time{};
  ::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  ::FileTimeToSystemTime(&local, &time);
  // As the program shows a file's time: the seconds rounded down to even.
  time.wSecond &= ~1;
  char date[64] = {};
  char clock[64] = {};
  ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, sizeof date);
  ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &time, nullptr, clock, sizeof clock);
  std::string lines = std::string("FileSize=") + number + "\r\nFileDate=" + date + " " + clock;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return lines;
  const uint64_t written = (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                           data.ftLastWriteTime.dwLowDateTime;
  auto [kept, added] = verdicts.try_emplace({AsciiLower(path), size, written});
  if (added) kept->second = RawSignatureText(path);
  return lines + "\r\nSignature=" + kept->second;
}

std::string RawVersion(const std::string& path, int& resources) {
  if (path.empty()) return {};
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<char> block(size + 1);
  if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return {};
  ++resources;
  void* data = nullptr;
  UINT length = 0;
  char language[16] = "041904E3";
  if (::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &data, &length) &&
      length >= 4) {
    const auto* words = static_cast<const WORD*>(data);
    std::snprintf(language, sizeof language, "%04X%04X", words[0], words[1]);
  }
  std::string lines;
  for (std::string_view name : kVersionKeys) {
    const std::string query =
        std::string("\\StringFileInfo\\") + language + "\\" + std::string(name);
    if (::VerQueryValueA(block.data(), query.c_str(), &data, &length) && data && length > 0) {
      lines += "\r\n" + std::string(name) + "=" + static_cast<const char*>(data);
    }
  }
  return Trim(lines);
}

std::string RawReport(const std::string& command, int& resources, RawVerdicts& verdicts) {
  const std::size_t quotes = command.find_first_not_of('"');
  const std::string rest = quotes == std::string::npos ? std::string() : command.substr(quotes);
  std::string program = RawCut(rest);
  std::string parameter = Trim(rest.substr(program.size()));
  program = Trim(program);
  if (std::string found = RawResolve(program); !found.empty()) program = found;
  const std::size_t start = parameter.find_first_not_of(kParameterLeadChars);
  parameter = Trim(RawCut(start == std::string::npos ? std::string() : parameter.substr(start)));
  if (std::string found = RawResolve(parameter); !found.empty()) parameter = found;

  std::string report = RawVersion(program, resources);
  if (report.empty()) report = program;
  const std::string program_lines = RawFileLines(program, verdicts);
  report += "\r\n\r\n" + (program_lines.empty() ? std::string("File not found!") : program_lines);
  if (const std::string parameter_lines = RawFileLines(parameter, verdicts);
      !parameter_lines.empty()) {
    report += "\r\n\r\n\r\nParameter Program:\r\n\r\n" + RawVersion(parameter, resources) +
              "\r\n\r\n" + parameter_lines;
  }
  return report;
}

struct RawRow {
  std::string location;
  std::string text;
  std::string command;
};

// The grouped text of every row, written with one CreateFileA and WriteFile.
// Returns the number of version resources read.
int RawReportFile(const std::vector<RawRow>& rows, const std::string& path,
                  RawVerdicts& verdicts) {
  int resources = 0;
  std::string out;
  std::string previous;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].location != previous) {
      previous = rows[i].location;
      out += "\r\n\r\n\r\n" + AsciiUpper(previous) + "\r\n\r\n";
    }
    out += "\r\n" + std::to_string(i + 1) + "\r\n" + Trim(rows[i].text) + "\r\n" +
           RawReport(rows[i].command, resources, verdicts) + "\r\n\r\n";
  }
  Check(WriteWholeFile(path, out), "CreateFileA " + path);
  return resources;
}

int CountOf(const std::string& text, const std::string& needle) {
  int count = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace

bool RunReportBenchmark(const Sizes& sizes, int runs) {
  ComScope com;
  cu::win32::Win32Machine machine;
  const Platform platform = machine.platform();
  QuietUi ui;
  const SystemPaths paths = ReadSystemPaths(platform);
  StartupTab tab(platform, ui, paths);
  tab.LoadStartupList();

  std::vector<RawRow> rows;
  for (int i = 0; i < static_cast<int>(tab.rows().size()); ++i) {
    tab.Select(i);
    rows.push_back({tab.GetStartupLocation(true), tab.rows()[static_cast<std::size_t>(i)].text,
                    tab.rows()[static_cast<std::size_t>(i)].command});
  }

  const std::string sandbox = SandboxRoot();
  const std::string full_file = sandbox + "\\report-full.txt";
  const std::string raw_file = sandbox + "\\report-raw.txt";
  // Reports of a run whose files were verified before (in the warm-up
  // round): the program keeps its verdicts for the run, the raw loop too.
  int resources = 0;
  RawVerdicts verdicts;
  const std::vector<Timings> timings =
      Alternate(runs, {[&] { resources = RawReportFile(rows, raw_file, verdicts); },
                       [&] {
                         ui.save_path = full_file;
                         tab.SaveReport();
                       }});

  // The first report of a run, every file verified: the raw loop with no
  // verdicts kept, the program with a tab just loaded (the load untimed; no
  // worker verifies in the background).
  Timings raw_first;
  Timings tab_first;
  int checked_first = 0;
  for (int round = 0; round < runs; ++round) {
    verdicts.clear();
    Stopwatch raw_watch;
    resources = RawReportFile(rows, raw_file, verdicts);
    raw_first.ms.push_back(raw_watch.ElapsedMs());

    StartupTab fresh(platform, ui, paths);
    fresh.LoadStartupList();
    ui.save_path = full_file;
    Stopwatch tab_watch;
    fresh.SaveReport();
    tab_first.ms.push_back(tab_watch.ElapsedMs());
    checked_first = fresh.signatures().files_checked();
  }

  const std::string full_text = ReadWholeFile(full_file).value_or("");
  const std::string raw_text = ReadWholeFile(raw_file).value_or("");
  PrintTitle("StartUp report file: " + Grouped(rows.size()) + " rows (" +
             Grouped(sizes.report_rows) +
             " seeded), each resolved, searched, version-read and signature-checked");
  PrintHeader();
  const auto note = [](int version_resources, const std::string& text) {
    return Grouped(version_resources) + " version resources, " +
           Grouped(CountOf(text, "Signature=")) + " verdicts, " + Grouped(text.size()) + " bytes";
  };
  PrintNote("files verified in the run before:");
  PrintTimingRow("  raw searches, version reads, verdicts kept", timings[0],
                 note(resources, raw_text));
  PrintTimingRow("  StartupTab::SaveReport", timings[1],
                 note(CountOf(full_text, "FileVersion="), full_text));
  bool met = PrintRatio("report / raw", timings[1].Median() / timings[0].Median(), 1.5, 2);
  PrintNote("the first report of a run, every file verified:");
  PrintTimingRow("  raw, with WinVerifyTrust per file", raw_first,
                 Grouped(verdicts.size()) + " files verified");
  PrintTimingRow("  StartupTab::SaveReport, fresh tab", tab_first,
                 Grouped(checked_first) + " files verified");
  met &= PrintRatio("first report / raw", tab_first.Median() / raw_first.Median(), 1.5, 2);
  if (raw_text != full_text) PrintNote("the raw loop's text differs from the program's");
  return met;
}

}  // namespace cu::bench::win
