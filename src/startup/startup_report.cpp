#include "startup/startup_report.h"

#include <algorithm>
#include <cstdio>

#include "platform/errors.h"
#include "platform/registry_access.h"
#include "platform/text.h"

namespace cu {

namespace {

constexpr std::array<std::string_view, 3> kProgramExtensions = {".exe", ".dll", ".cpl"};

// A text has an extension when the last of ".", "\" and ":" in it is a dot.
bool HasExtension(const std::string& text) {
  const std::size_t last = text.find_last_of(".\\:");
  return last != std::string::npos && text[last] == '.';
}

std::string TranslationText(const Translation& translation) {
  char buffer[9];
  std::snprintf(buffer, sizeof buffer, "%04X%04X", static_cast<unsigned>(translation.language),
                static_cast<unsigned>(translation.code_page));
  return buffer;
}

}  // namespace

std::string CutAfterExtension(const std::string& text) {
  if (text.empty()) return text;
  const std::string lower = AsciiLower(text);
  std::size_t earliest = std::string::npos;
  for (std::string_view extension : kProgramExtensions) {
    earliest = std::min(earliest, lower.find(extension));
  }
  if (earliest == std::string::npos) return text;
  return text.substr(0, earliest + 4);
}

CommandPaths SplitCommandLine(const Platform& platform, const std::string& command) {
  CommandPaths paths{command, {}};
  if (command.empty()) return paths;

  // Only quotes at the very start are removed; a blank before a quote keeps it.
  const std::size_t quotes = command.find_first_not_of('"');
  const std::string rest = command.substr(quotes == std::string::npos ? command.size() : quotes);

  paths.program = CutAfterExtension(rest);
  paths.parameter = rest.substr(paths.program.size());

  paths.program = Trim(paths.program);
  if (std::string found = ResolveProgramPath(platform, paths.program); !found.empty()) {
    paths.program = Trim(found);
  }

  paths.parameter = Trim(paths.parameter);
  if (paths.parameter.empty()) return paths;
  const std::size_t start = paths.parameter.find_first_not_of(kParameterLeadChars);
  paths.parameter.erase(0, start == std::string::npos ? paths.parameter.size() : start);
  paths.parameter = Trim(CutAfterExtension(paths.parameter));
  if (std::string found = ResolveProgramPath(platform, paths.parameter); !found.empty()) {
    paths.parameter = Trim(found);
  }
  return paths;
}

std::string ResolveProgramPath(const Platform& platform, const std::string& text) {
  if (text.empty()) return {};
  if (platform.files.FileExists(text)) return text;
  const std::string name = HasExtension(text) ? text : text + ".exe";
  if (platform.files.FileExists(name)) return name;
  // 64-bit programs register in the native view, 32-bit ones in the other.
  const bool two_views = platform.environment.Is64BitWindows();
  for (const uint32_t view : {uint32_t{0}, kKeyWow64_32Key}) {
    if (view != 0 && !two_views) break;
    if (std::string registered = ReadAppPath(platform, name, view);
        !registered.empty() && platform.files.FileExists(registered)) {
      return registered;
    }
  }
  if (std::optional<std::string> found = platform.files.SearchPath(name); found) return *found;
  return {};
}

std::string ReadAppPath(const Platform& platform, const std::string& text, uint32_t view) {
  const std::string key = "\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + text;
  RegistryAccess reg(platform.registry, kKeyRead | view);
  reg.SetRoot(Hive::kLocalMachine);
  if (!reg.KeyExists(key) || !reg.OpenKey(key)) return {};
  try {
    return reg.ReadString("");
  } catch (const AppError&) {
    // A default value of another type only means no usable registration.
    return {};
  }
}

std::string GetFileDateSize(const Platform& platform, const std::string& path) {
  if (path.empty()) return {};
  std::unique_ptr<FileSearch> search = platform.files.FindFirst(path);
  if (!search) return {};
  const std::optional<FindData> hit = search->Next();
  if (!hit) return {};
  return "FileSize=" + platform.locale.FormatSize(hit->size) + "\r\n" +
         "FileDate=" + platform.locale.FormatDateTime(hit->last_write);
}

std::string GetVersionStrings(const Platform& platform, const std::string& path) {
  if (path.empty()) return {};
  std::unique_ptr<VersionInfo> info = platform.versions.Load(path);
  if (!info) return {};
  const std::optional<Translation> translation = info->FirstTranslation();
  const std::string language =
      translation ? TranslationText(*translation) : std::string(kDefaultTranslation);
  std::string result;
  for (std::string_view name : kVersionKeys) {
    const std::string sub_block = "StringFileInfo\\\\" + language + "\\\\" + std::string(name);
    const std::optional<std::string> value = info->QueryString(sub_block);
    if (value && !IsBlank(*value)) result += "\r\n" + std::string(name) + "=" + *value;
  }
  return Trim(result);
}

std::optional<std::string> ProgramFileOf(const Platform& platform, const std::string& command) {
  std::string program = SplitCommandLine(platform, command).program;
  if (program.empty()) return std::nullopt;
  return program;
}

std::string BuildStartupReport(const Platform& platform, const std::string& command,
                               SignatureVerifier* signatures) {
  const CommandPaths paths = SplitCommandLine(platform, command);
  // The size and date of a file found, and who signed it.
  const auto file_lines = [&](const std::string& path) {
    std::string lines = GetFileDateSize(platform, path);
    if (!lines.empty() && signatures) {
      if (const std::optional<Signature> verdict = signatures->VerdictOn(path)) {
        lines += "\r\nSignature=" + SignatureText(*verdict);
      }
    }
    return lines;
  };
  std::string program_lines = file_lines(paths.program);
  if (program_lines.empty()) program_lines = "File not found!";
  const std::string parameter_lines = file_lines(paths.parameter);

  std::string report = GetVersionStrings(platform, paths.program);
  if (report.empty()) report = paths.program;
  report += "\r\n\r\n" + program_lines;
  if (!parameter_lines.empty()) {
    report += "\r\n\r\n\r\nParameter Program:";
    const std::string parameter_versions = GetVersionStrings(platform, paths.parameter);
    if (!parameter_versions.empty()) report += "\r\n\r\n" + parameter_versions;
    report += "\r\n\r\n" + parameter_lines;
  }
  return Trim(report);
}

std::optional<std::vector<std::string>> StartupReportLines(
    const Platform& platform, const std::vector<StartupRow>& rows, const StartupFolders& folders,
    const std::string& windows_dir, Progress* progress, std::size_t* row_reached,
    SignatureVerifier* signatures) {
  std::vector<std::string> lines;
  std::string previous;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (progress && progress->StopRequested()) return std::nullopt;
    if (row_reached) *row_reached = i;
    const StartupRow& row = rows[i];
    // Grouped by the text, not by the source: two sources shown at the same
    // place (two Startup folders with one path) make one group.
    const std::string location =
        StartupLocation(*row.source, true, folders, windows_dir, platform.locale, row.place);
    if (location != previous) {
      previous = location;
      lines.insert(lines.end(), {"", "", "", platform.locale.UpperCase(location), ""});
    }
    lines.push_back("");
    lines.push_back(std::to_string(i + 1));
    lines.push_back(Trim(row.text) + (row.approval.disabled ? " (disabled)" : ""));
    lines.push_back(BuildStartupReport(platform, row.command, signatures));
    lines.push_back("");
    if (progress) progress->Report(static_cast<uint64_t>(i) + 1, 0);
  }
  return lines;
}

}  // namespace cu
