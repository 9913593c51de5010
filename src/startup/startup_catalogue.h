#pragma once

// Where autostart entries live: the registry keys, Startup folders and
// initialisation-file keys the StartUp list reads, one descriptor per source,
// the rows read from them, and the pure pieces that turn a source into a place.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
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

// The three Startup folders as the Shell Folders values gave them.
struct StartupFolders {
  std::string user;
  std::string common;
  std::string default_user;
};

// The source tags of the Startup folders and the ini keys; the registry
// sources are tagged 1-8 (HKLM), 11-18 (HKU\.DEFAULT), 21-28 (HKCU) and
// 31-38 (HKLM's 32-bit view), key path i + 1 in each group.
inline constexpr int kTagUserStartup = 100;
inline constexpr int kTagCommonStartup = 110;
inline constexpr int kTagDefaultStartup = 120;
inline constexpr int kTagWinIniLoad = 500;
inline constexpr int kTagWinIniRun = 501;
inline constexpr int kTagSystemIniLoad = 600;
inline constexpr int kTagSystemIniRun = 601;
// The newer places: scheduled tasks, packaged apps' startup tasks, the
// Winlogon values (HKLM, then HKLM's 32-bit view, then HKCU's Shell), the
// programs' debuggers (HKLM, 32-bit view) and AppInit_DLLs (HKLM, 32-bit view).
inline constexpr int kTagScheduledTasks = 700;
inline constexpr int kTagPackageTasks = 710;
inline constexpr int kTagWinlogonShell = 800;
inline constexpr int kTagWinlogonUserinit = 801;
inline constexpr int kTagWinlogonTaskman = 802;
inline constexpr int kTagWinlogonShell32 = 810;
inline constexpr int kTagWinlogonUserinit32 = 811;
inline constexpr int kTagWinlogonTaskman32 = 812;
inline constexpr int kTagUserWinlogonShell = 820;
inline constexpr int kTagDebuggers = 830;
inline constexpr int kTagDebuggers32 = 831;
inline constexpr int kTagAppInitDlls = 840;
inline constexpr int kTagAppInitDlls32 = 841;

// The eight autostart key paths, in reading order within each registry root.
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

// How a source's rows are read and how one of them is removed.
enum class SourceKind {
  // The values of one registry key, one row "name=data" each; removal
  // deletes the value through the view it was read in.
  kRegistryKey,
  // The entries of a Startup folder whose path a Shell Folders value gives;
  // removal deletes the entry by its exact path.
  kStartupFolder,
  // One key of [windows] in an initialisation file of the Windows folder,
  // its text the row; removal deletes the key.
  kIniKey,
  // The tasks of the task scheduler that start at logon or at startup, one
  // row per program a task runs; switched and deleted through the scheduler.
  kScheduledTasks,
  // The startup tasks packaged apps declare for the current user; switched
  // by their State value, never removed (removing an app is not ours to do).
  kPackageTasks,
  // One value that replaces or wraps what Windows starts (Winlogon's Shell,
  // Userinit, Taskman; AppInit_DLLs), a row only when it differs from what
  // Windows has by default; removal puts Windows' default back or deletes it.
  kLogonValue,
  // The Debugger value of each program's key below Image File Execution
  // Options: Windows starts the debugger instead of the program.
  kDebuggers,
};

// When a kLogonValue source's value gives a row.
enum class ValueRule {
  kUnlessShell,     // not "explorer.exe"
  kUnlessUserinit,  // not the system folder's userinit.exe followed by a comma
  kWhenPresent,
  kWhenNotBlank,
};

// What removing a kLogonValue row does.
enum class ValueRemoval {
  kDelete,      // deletes the value
  kSetDefault,  // writes Windows' default back (DefaultValueOf)
  kEmpty,       // writes the empty text
};

// A registry root as the list reads and names it: the hive, the key below
// it the key paths start from, the short name a location begins with and
// the view every open of it goes to.
struct StartupRoot {
  Hive hive = Hive::kLocalMachine;
  std::string_view below;   // leading and trailing backslash: "\", "\.DEFAULT\"
  std::string_view prefix;  // "HKLM", "HKU\.DEFAULT", "HKCU"
  // kKeyWow64_32Key: HKLM's 32-bit view, read on 64-bit Windows only, where
  // a key the native view shares is read once, through the native view.
  uint32_t view = 0;
};

struct RegistryKeySource {
  StartupRoot root;
  std::string_view path;  // below the root's `below` (today the eight of kStartupKeyPaths)
  // Only the values "load" and "run" (exact bytes) are entries.
  bool load_and_run_only = false;
};

struct FolderSource {
  Hive hive = Hive::kCurrentUser;  // where its Shell Folders value lives
  std::string_view key;            // kShellFoldersKey or kDefaultShellFoldersKey
  std::string_view value;          // "Startup", "Common Startup"
  std::string StartupFolders::*field = nullptr;  // where the load keeps the path
};

// A kLogonValue source's value; its key is the source's `registry` member.
struct ValueSource {
  std::string_view name;
  ValueRule rule = ValueRule::kWhenPresent;
  ValueRemoval removal = ValueRemoval::kDelete;
};

struct IniKeySource {
  std::string_view file;  // in the Windows folder
  std::string_view key;   // in [windows]
};

// Where Explorer keeps the switch of a source's entries: the key
// Explorer\StartupApproved\<key> of `hive`, in the native view.
struct SwitchPlace {
  Hive hive = Hive::kCurrentUser;
  std::string_view key;  // "Run", "Run32", "StartupFolder"
};

// One place autostart entries are read from. The member matching `kind`
// says where; the others are empty.
struct StartupSource {
  int tag = 0;  // the source's identity; nothing is ordered or grouped by it
  SourceKind kind = SourceKind::kRegistryKey;
  RegistryKeySource registry;  // also the key of kLogonValue and kDebuggers
  ValueSource value;
  FolderSource folder;
  IniKeySource ini;
  std::optional<SwitchPlace> approved;  // the entries' switch, when they have one
};

// Every source, each once, in reading order: HKLM's eight keys, those of
// HKU\.DEFAULT, of HKCU and of HKLM's 32-bit view, the user's, the common
// and the default user's Startup folder, then win.ini [load] and [run] and
// system.ini [load] and [run]. A row refers to its entry here.
[[nodiscard]] std::span<const StartupSource> StartupSources();
// The source with this tag; null when none has it.
[[nodiscard]] const StartupSource* FindStartupSource(int tag);

// "Software\X" as regedit shows it in the 32-bit view: "Software\WOW6432Node\X".
[[nodiscard]] std::string Wow64Path(std::string_view key_path);

// The key a registry source is read from: the path from the root of its
// hive (leading backslash, below .DEFAULT for HKU\.DEFAULT).
[[nodiscard]] std::string RegistryKeyPath(const RegistryKeySource& key);

// The StartupApproved key of a source's switch (read and written in the
// native view, as Explorer does); nullopt for a source without one.
struct ApprovedPlace {
  Hive hive = Hive::kCurrentUser;
  std::string path;  // leading backslash
};
[[nodiscard]] std::optional<ApprovedPlace> ApprovedPlaceOf(const StartupSource& source);

// One row of the StartUp list.
struct StartupRow {
  const StartupSource* source = nullptr;  // where the entry was found; never null in a list
  // Exactly what removal deletes: the registry value name as read (the whole
  // name, "=" included), the Startup-folder entry name as it was reached (long
  // name, or the 8.3 name when only that worked), the ini key for ini rows.
  std::string name;
  // What the entry runs, as read: the registry data, the shortcut's target,
  // the long name of an entry reached by its 8.3 name, the entry's own name
  // otherwise, the ini key's text.
  std::string command;
  // What the list shows: "<name>=<command>", the name alone for a
  // Startup-folder entry that is neither a shortcut nor reached by its 8.3
  // name, the command alone for an ini row.
  std::string text;
  Approval approval;
  // Where in its source the entry is, for sources with many places: the
  // task's path for a scheduled task, "<package family name>\<TaskId>" for a
  // packaged app's startup task, the program's key name below Image File
  // Execution Options for a debugger; "" for every other source.
  std::string place;
};

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

// The location text of a source: "\" + key path for registry sources (without
// the .DEFAULT level; the 32-bit view's as regedit shows it), with the root's
// "HKLM", "HKU\.DEFAULT" or "HKCU" in front when `with_prefix`; the folder as
// stored for a Startup folder; "<WindowsDir>\win.ini [load]" and the like for
// an ini key. The report groups its rows by the text with the prefix.
// A scheduled task's location is "Task Scheduler" and the task's path, a
// packaged app's "App package <family>\<TaskId>", a debugger's the
// program's key; `place` is the row's.
[[nodiscard]] std::string StartupLocation(const StartupSource& source, bool with_prefix,
                                          const StartupFolders& folders,
                                          const std::string& windows_dir, Locale& locale,
                                          const std::string& place = {});

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

// The reader of a kRegistryKey source: its key, opened read-only through the
// root's view, into `rows`, values and data in one pass. Only "load" and
// "run" (exact bytes) are read when the source says so; blank data adds no
// row. `values` is a scratch list. A key whose system name equals `same_as`
// is the key already read through the other view and adds nothing. Gives the
// system name of the key it opened (nullopt when it did not open, or the
// system cannot name it). Leaves no key open. A value that is not text adds
// no row and its error goes to `errors`; the other values are read all the same.
std::optional<std::string> ReadStartupKey(RegistryBackend& registry, const StartupSource& source,
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

// The reader of a kStartupFolder source: reads the folder's path from its
// Shell Folders value (read-only) into the source's field of `folders` and
// scans that folder. The field keeps its old value when the key does not
// open and becomes empty when the value is missing. A value that is not text
// throws its AppError, the field as it was and nothing scanned. Leaves no key
// open. Throws when the shell-link object cannot be created.
void ReadStartupFolder(const Platform& platform, StartupShortcuts& shortcuts,
                       const StartupSource& source, StartupFolders& folders,
                       std::vector<StartupRow>& rows);

// Appends one row per usable entry of `folder`, in search order, from
// `source`. Nothing for an empty path; folders whose names begin with "." are
// skipped. Throws when the shell-link object cannot be created.
void ScanStartupFolder(const Platform& platform, StartupShortcuts& shortcuts,
                       const std::string& folder, const StartupSource& source,
                       std::vector<StartupRow>& rows);

// The per-entry step of the scan; `folder` ends in a backslash. Appends at
// most one row: none when neither the long nor a short name reaches the entry.
void AddStartupFolderItem(const Platform& platform, StartupShortcuts& shortcuts,
                          const std::string& folder, const FindData& entry,
                          const StartupSource& source, std::vector<StartupRow>& rows);

// The reader of a kIniKey source: one row with the key's text, named by the
// key; none when the text is empty. `windows_dir` ends in a backslash.
void ReadStartupIniKey(FileSystem& files, const StartupSource& source,
                       const std::string& windows_dir, std::vector<StartupRow>& rows);

}  // namespace cu
