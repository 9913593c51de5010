#pragma once

// The file report of a StartUp row: the heuristic that turns a loosely formed
// command line into a program path and a parameter path, and the version,
// size and date lines of each; and the grouped report file of the whole list.
// Reads only; changes nothing.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "presenter/progress.h"
#include "presenter/signatures.h"
#include "startup/startup_catalogue.h"

namespace cu {

// The ten version strings reported, in this order.
inline constexpr std::array<std::string_view, 10> kVersionKeys = {
    "OriginalFilename", "ProductName",    "ProductVersion", "FileVersion",     "CompanyName",
    "FileDescription",  "InternalName",   "LegalCopyright", "LegalTradeMarks", "Comments",
};

// Used when a version resource has no translation list.
inline constexpr std::string_view kDefaultTranslation = "041904E3";

// Skipped at the start of a parameter: blank, double quote, * < > ? |.
inline constexpr std::string_view kParameterLeadChars = " \"*<>?|";

struct CommandPaths {
  std::string program;    // resolved full path, or the trimmed cut of the command
  std::string parameter;  // the same for the text after the program; may be empty
};

// The text up to and including the earliest ".exe", ".dll" or ".cpl" (found
// without letter case, anywhere in the text), in the text's own case; the
// text unchanged when it holds none.
[[nodiscard]] std::string CutAfterExtension(const std::string& text);

// Splits a command: leading double quotes removed, the program cut after its
// extension, the rest (lead characters skipped, cut the same way) as the
// parameter; each resolved to an existing file's path when one is found.
// Both results are trimmed.
[[nodiscard]] CommandPaths SplitCommandLine(const Platform& platform, const std::string& command);

// The path of an existing file the text names: the text itself, the text
// with ".exe" appended when it has no extension, its App Paths entry (the
// native view first, then the 32-bit view on 64-bit Windows), or
// its hit along the system search path. "" when none is found.
[[nodiscard]] std::string ResolveProgramPath(const Platform& platform, const std::string& text);

// The default value of HKLM "\Software\Microsoft\Windows\CurrentVersion\App
// Paths\<text>", unexpanded, in the given view (0: the native one,
// kKeyWow64_32Key: the 32-bit one); "" when the key does not open with full
// access, the value is missing or is not text. Never throws a registry error.
[[nodiscard]] std::string ReadAppPath(const Platform& platform, const std::string& text,
                                      uint32_t view = 0);

// "FileSize=<size>\r\nFileDate=<date>" of the first search hit for the path
// (folders match too); "" when nothing is found. The whole 64-bit size.
[[nodiscard]] std::string GetFileDateSize(const Platform& platform, const std::string& path);

// "Name=value" lines, CR LF between them, for each of kVersionKeys whose
// string is present and not blank, under the resource's first translation
// (or kDefaultTranslation); "" when the file has no version resource.
[[nodiscard]] std::string GetVersionStrings(const Platform& platform, const std::string& path);

// The whole report for a command: the program's version lines (or its path),
// its size and date (or "File not found!"), and when the parameter names
// something the search finds, "Parameter Program:" with its version lines,
// size and date. With `signatures`, each found file's date line is followed
// by "Signature=<SignatureText>" (none for a folder). Lines separated by CR
// LF; trimmed.
[[nodiscard]] std::string BuildStartupReport(const Platform& platform, const std::string& command,
                                             SignatureVerifier* signatures = nullptr);

// The program file a command runs, as the report finds it (the verifier's
// key resolution); nullopt when none.
[[nodiscard]] std::optional<std::string> ProgramFileOf(const Platform& platform,
                                                       const std::string& command);

// The lines of the StartUp report file, for ExportLines. Rows are grouped by
// runs of equal location (StartupLocation with the prefix, `folders` and
// `windows_dir` as the list was loaded with): a run opens with three empty
// lines, its location in the system's capitals and an empty line, except a
// first run whose location is "". Each row then gives an empty line, its
// number from 1, its trimmed text (with " (disabled)" for a disabled entry),
// BuildStartupReport of its command, and an empty line. `progress` (may be
// null) is asked before each row whether to stop (nullopt then) and told each
// row done. `row_reached` (may be null) holds the index of the row being
// reported, so after a throw it names the row that failed.
[[nodiscard]] std::optional<std::vector<std::string>> StartupReportLines(
    const Platform& platform, const std::vector<StartupRow>& rows, const StartupFolders& folders,
    const std::string& windows_dir, Progress* progress, std::size_t* row_reached = nullptr,
    SignatureVerifier* signatures = nullptr);

}  // namespace cu
