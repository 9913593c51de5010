#pragma once

// Where autostart entries live: the registry keys, Startup folders and
// initialisation-file keys the StartUp list reads, the tag each row carries,
// and the pure pieces that turn a tag back into a place.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/platform.h"
#include "platform/registry_access.h"

namespace cu {

// Whether Windows starts an entry, as Task Manager and Settings switch it:
// a REG_BINARY value named like the entry in Explorer\StartupApproved.
struct Approval {
  bool applies = false;      // the entry's source has such a switch
  bool disabled = false;     // bit 0 of the value's first byte
  uint64_t switched_at = 0;  // UTC FILETIME of the switch; 0 when none is stored
};

// One row of the StartUp list.
struct StartupRow {
  std::string text;  // what the list shows
  int tag = 0;       // SourceTag: where the entry was found
  // Exactly what removal deletes: the registry value name as read (the whole
  // name, "=" included), the Startup-folder entry name as it was reached (long
  // name, or the 8.3 name when only that worked), the ini key for ini rows.
  std::string source_name;
  Approval approval;
};

// SourceTag values besides the registry ones (1-8, 11-18, 21-28, and 31-38
// for HKLM's 32-bit view).
inline constexpr int kTagUserStartup = 100;
inline constexpr int kTagCommonStartup = 110;
inline constexpr int kTagDefaultStartup = 120;
inline constexpr int kTagWinIniLoad = 500;
inline constexpr int kTagWinIniRun = 501;
inline constexpr int kTagSystemIniLoad = 600;
inline constexpr int kTagSystemIniRun = 601;

// The eight autostart key paths, in reading order; the tag of path i is
// i + 1 under HKLM, i + 11 under HKU\.DEFAULT, i + 21 under HKCU and i + 31
// under HKLM in the 32-bit view (read on 64-bit Windows only).
inline constexpr std::array<std::string_view, 8> kStartupKeyPaths = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Services",
    "Software\\Microsoft\\Windows\\CurrentVersion\\ServicesOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\Run",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
};

inline constexpr std::string_view kShellFoldersKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr std::string_view kDefaultShellFoldersKey =
    "\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

inline constexpr int kFirstWow64Tag = 31;

// The hive group of a registry tag (1-10 HKLM, 11-20 HKU, 21-30 HKCU, 31-40
// HKLM's 32-bit view); false for every other tag.
[[nodiscard]] bool IsRegistryTag(int tag);
[[nodiscard]] bool IsWow64Tag(int tag);
[[nodiscard]] Hive HiveOfTag(int tag);  // only for registry tags
// The key path of a tag that names one of the 32 keys ("" for 9, 10, ...),
// as opened in the tag's view.
[[nodiscard]] std::string KeyPathOfTag(int tag);
// "Software\X" as regedit shows it in the 32-bit view: "Software\WOW6432Node\X".
[[nodiscard]] std::string Wow64Path(std::string_view key_path);

// The key a registry row was read from: its root, the path from the root
// (leading backslash, below .DEFAULT for HKU) and the view flag to open it with.
struct RegistryPlace {
  Hive hive = Hive::kCurrentUser;
  std::string path;
  uint32_t view = 0;
};
[[nodiscard]] std::optional<RegistryPlace> RegistryPlaceOfTag(int tag);

// Where the switch of a tag's entries lives (read and written in the native
// view, as Explorer does): HKLM/HKCU Run (3, 23) in StartupApproved\Run,
// HKLM's 32-bit Run (33) in StartupApproved\Run32, the user's and the
// common Startup folder (100, 110) in StartupApproved\StartupFolder of HKCU
// and HKLM. nullopt for every other source.
struct ApprovedPlace {
  Hive hive = Hive::kCurrentUser;
  std::string path;  // leading backslash
};
[[nodiscard]] std::optional<ApprovedPlace> ApprovedPlaceOfTag(int tag);
// The tags whose entries have such a switch, one per place.
inline constexpr std::array<int, 5> kSwitchedTags = {3, 23, 33, kTagUserStartup, kTagCommonStartup};

// The switch as a value reads (null: no value). Disabled only for
// REG_BINARY of at least 12 bytes whose first byte has bit 0 set; the switch
// date is bytes 4 to 11. `applies` is left false for the caller to set.
[[nodiscard]] Approval ApprovalOf(const RegValueData* value);
// The 12 bytes Windows writes to switch an entry: bit 0 of the first byte
// set (disable) or cleared (enable), its other bits and bytes 1 to 3 kept
// from a REG_BINARY `current` (else 02 00 00 00), bytes 4 to 11 the time
// `now` when disabling and zero when enabling. Bytes beyond 12 are kept.
[[nodiscard]] std::string SwitchedApprovalBytes(const RegValueData* current, bool disable,
                                                uint64_t now);

// The three Startup folders as the Shell Folders values gave them.
struct StartupFolders {
  std::string user;
  std::string common;
  std::string default_user;
};

// The location text of a tag: "\" + key path for registry tags (below
// .DEFAULT for 11-18, without that level), with "HKLM", "HKU\.DEFAULT" or
// "HKCU" in front when `with_prefix`; the folder as stored for 100/110/120;
// "<WindowsDir>\win.ini [load]" and the like for the ini tags; "" otherwise.
[[nodiscard]] std::string StartupLocation(int tag, bool with_prefix, const StartupFolders& folders,
                                          const std::string& windows_dir, Locale& locale);

// The command part of a row: what its entry runs. The registry data, the
// shortcut target or long name after the entry's own name and "=", or the
// whole text for an ini row and for an entry listed by its name alone. Taken
// after the row's known name, so a name holding "=" does not shift it.
[[nodiscard]] std::string StartupCommand(const StartupRow& row);

// The first error a load met. A value that cannot be read as text gives
// no row, as Windows does not run it either, and the load goes on through
// every other value and source; the error is raised once, at the end.
class LoadErrors {
 public:
  void Note(const std::string& message) {
    if (!first_) first_ = message;
  }
  // Runs `read`, noting the AppError it throws instead of passing it on.
  template <typename Read>
  void Collect(Read&& read) {
    try {
      read();
    } catch (const AppError& error) {
      Note(error.what());
    }
  }
  // Throws the first error noted as an AppError; nothing when none was.
  void ThrowFirst() const {
    if (first_) throw AppError(*first_);
  }

 private:
  std::optional<std::string> first_;
};

// Reads one key (path from the root of `reg`'s hive, leading backslash) into
// `rows` with `tag`, values and data in one pass. Only "load" and "run"
// (exact bytes) are read when `load_and_run_only`; blank data adds no row.
// `values` is a scratch list. A key whose system name equals `same_as` is the
// key already read through the other view and adds nothing. Gives the system
// name of the key it opened (nullopt when it did not open, or the system
// cannot name it). Leaves no key open. A value that is not text adds no row
// and its error goes to `errors`; the other values are read all the same.
std::optional<std::string> ReadStartupKey(RegistryAccess& reg, const std::string& key_path,
                                          int tag, bool load_and_run_only,
                                          std::vector<RegNamedValue>& values,
                                          std::vector<StartupRow>& rows, LoadErrors& errors,
                                          const std::optional<std::string>& same_as = std::nullopt);

// The one shell-link object of a load, made at its first shortcut (so a load
// without shortcuts never makes one). Resolve throws when it cannot be made.
class StartupShortcuts {
 public:
  explicit StartupShortcuts(Shell& shell) : shell_(shell) {}
  [[nodiscard]] std::string Resolve(const std::string& path);

 private:
  Shell& shell_;
  std::unique_ptr<ShortcutResolver> resolver_;
};

// The path that reaches exactly the entry `name` of a Startup folder.
// Windows' path rules cut trailing dots and spaces off a name, so
// "Tool.lnk." would reach "Tool.lnk"; such a name is given in the verbatim
// form ("\\?\C:\...", "\\?\UNC\server\share\...") when the folder is a
// full path. Every other name is simply appended.
[[nodiscard]] std::string ExactEntryPath(const std::string& folder, const std::string& name,
                                         Locale& locale);

// Appends one row per usable entry of `folder`, in search order, tagged
// `tag`. Nothing for an empty path; folders whose names begin with "." are
// skipped. Throws when the shell-link object cannot be created.
void ScanStartupFolder(const Platform& platform, StartupShortcuts& shortcuts,
                       const std::string& folder, int tag, std::vector<StartupRow>& rows);

// The per-entry step of the scan; `folder` ends in a backslash. Appends at
// most one row: none when neither the long nor a short name reaches the entry.
void AddStartupFolderItem(const Platform& platform, StartupShortcuts& shortcuts,
                          const std::string& folder, const FindData& entry, int tag,
                          std::vector<StartupRow>& rows);

}  // namespace cu
