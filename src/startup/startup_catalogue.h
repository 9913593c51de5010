#pragma once

// Where autostart entries live: the registry keys, Startup folders and
// initialisation-file keys the StartUp list reads, the tag each row carries,
// and the pure pieces that turn a tag back into a place.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/registry_access.h"

namespace cu {

// One row of the StartUp list.
struct StartupRow {
  std::string text;  // what the list shows
  int tag = 0;       // SourceTag: where the entry was found
  // Exactly what removal deletes: the registry value name as read (the whole
  // name, "=" included), the Startup-folder entry name as it was reached (long
  // name, or the 8.3 name when only that worked), the ini key for ini rows.
  std::string source_name;
};

// SourceTag values besides the registry ones (1-8, 11-18, 21-28).
inline constexpr int kTagUserStartup = 100;
inline constexpr int kTagCommonStartup = 110;
inline constexpr int kTagDefaultStartup = 120;
inline constexpr int kTagWinIniLoad = 500;
inline constexpr int kTagWinIniRun = 501;
inline constexpr int kTagSystemIniLoad = 600;
inline constexpr int kTagSystemIniRun = 601;

// The eight autostart key paths, in reading order; the tag of path i is
// i + 1 under HKLM, i + 11 under HKU\.DEFAULT and i + 21 under HKCU.
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

// The hive group of a registry tag (1-10 HKLM, 11-20 HKU, 21-30 HKCU);
// false for every other tag.
[[nodiscard]] bool IsRegistryTag(int tag);
[[nodiscard]] Hive HiveOfTag(int tag);  // only for registry tags
// The key path of a tag that names one of the 24 keys ("" for 9, 10, ...).
[[nodiscard]] std::string KeyPathOfTag(int tag);

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
                                          const std::string& windows_dir);

// The command part of a row: what its entry runs. The registry data, the
// shortcut target or long name after the entry's own name and "=", or the
// whole text for an ini row and for an entry listed by its name alone. Taken
// after the row's known name, so a name holding "=" does not shift it.
[[nodiscard]] std::string StartupCommand(const StartupRow& row);

// Reads one key (path from the root of `reg`'s hive, leading backslash) into
// `rows` with `tag`. Only "load" and "run" (exact bytes) are read when
// `load_and_run_only`; blank data adds no row. `names` is a scratch list.
// Leaves no key open. Throws the registry errors of ReadString.
void ReadStartupKey(RegistryAccess& reg, const std::string& key_path, int tag,
                    bool load_and_run_only, std::vector<std::string>& names,
                    std::vector<StartupRow>& rows);

// Appends one row per usable entry of `folder`, in search order, tagged
// `tag`. Nothing for an empty path; folders whose names begin with "." are
// skipped. Throws when the shell-link object cannot be created.
void ScanStartupFolder(const Platform& platform, const std::string& folder, int tag,
                       std::vector<StartupRow>& rows);

// The per-entry step of the scan; `folder` ends in a backslash. Appends at
// most one row: none when neither the long nor a short name reaches the entry.
void AddStartupFolderItem(const Platform& platform, const std::string& folder,
                          const FindData& entry, int tag, std::vector<StartupRow>& rows);

}  // namespace cu
