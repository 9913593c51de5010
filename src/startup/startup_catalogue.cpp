#include "startup/startup_catalogue.h"

#include "platform/cleanup.h"
#include "platform/text.h"

namespace cu {

namespace {

// The extension as the file name functions see it: from the last "." when no
// "\" or ":" follows it.
std::string ExtensionOf(const std::string& name) {
  const std::size_t dot = name.find_last_of(".\\:");
  if (dot == std::string::npos || name[dot] != '.') return {};
  return name.substr(dot);
}

constexpr StartupRoot kHklm{Hive::kLocalMachine, "\\", "HKLM", 0};
constexpr StartupRoot kHkuDefault{Hive::kUsers, "\\.DEFAULT\\", "HKU\\.DEFAULT", 0};
constexpr StartupRoot kHkcu{Hive::kCurrentUser, "\\", "HKCU", 0};
constexpr StartupRoot kHklm32{Hive::kLocalMachine, "\\", "HKLM", kKeyWow64_32Key};

constexpr std::string_view kServices = kStartupKeyPaths[0];
constexpr std::string_view kServicesOnce = kStartupKeyPaths[1];
constexpr std::string_view kRun = kStartupKeyPaths[2];
constexpr std::string_view kRunOnce = kStartupKeyPaths[3];
constexpr std::string_view kRunOnceEx = kStartupKeyPaths[4];
constexpr std::string_view kPolicyRun = kStartupKeyPaths[5];
constexpr std::string_view kWindowsRun = kStartupKeyPaths[6];
constexpr std::string_view kWindows = kStartupKeyPaths[7];
constexpr std::string_view kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr std::string_view kImageFileOptions =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";

// The switches Explorer keeps: the Run keys of HKLM and HKCU, HKLM's 32-bit
// Run, and the user's and the common Startup folder.
constexpr SwitchPlace kMachineRunSwitch{Hive::kLocalMachine, "Run"};
constexpr SwitchPlace kUserRunSwitch{Hive::kCurrentUser, "Run"};
constexpr SwitchPlace kMachineRun32Switch{Hive::kLocalMachine, "Run32"};
constexpr SwitchPlace kUserFolderSwitch{Hive::kCurrentUser, "StartupFolder"};
constexpr SwitchPlace kCommonFolderSwitch{Hive::kLocalMachine, "StartupFolder"};

constexpr StartupSource Key(int tag, const StartupRoot& root, std::string_view path,
                            std::optional<SwitchPlace> approved = std::nullopt) {
  StartupSource source;
  source.tag = tag;
  source.kind = SourceKind::kRegistryKey;
  source.registry = {root, path, false};
  source.approved = approved;
  return source;
}

// The Windows key holds the system's own settings beside "load" and "run".
constexpr StartupSource LoadAndRunOf(int tag, const StartupRoot& root, std::string_view path) {
  StartupSource source = Key(tag, root, path);
  source.registry.load_and_run_only = true;
  return source;
}

constexpr StartupSource Folder(int tag, Hive hive, std::string_view key, std::string_view value,
                               std::string StartupFolders::*field,
                               std::optional<SwitchPlace> approved = std::nullopt) {
  StartupSource source;
  source.tag = tag;
  source.kind = SourceKind::kStartupFolder;
  source.folder = {hive, key, value, field};
  source.approved = approved;
  return source;
}

// A value of `path` that replaces or wraps what Windows starts.
constexpr StartupSource LogonValue(int tag, const StartupRoot& root, std::string_view path,
                                   std::string_view name, ValueRule rule, ValueRemoval removal) {
  StartupSource source;
  source.tag = tag;
  source.kind = SourceKind::kLogonValue;
  source.registry = {root, path, false};
  source.value = {name, rule, removal};
  return source;
}

constexpr StartupSource Debuggers(int tag, const StartupRoot& root) {
  StartupSource source;
  source.tag = tag;
  source.kind = SourceKind::kDebuggers;
  source.registry = {root, kImageFileOptions, false};
  return source;
}

constexpr StartupSource Everywhere(int tag, SourceKind kind) {
  StartupSource source;
  source.tag = tag;
  source.kind = kind;
  return source;
}

constexpr StartupSource Ini(int tag, std::string_view file, std::string_view key) {
  StartupSource source;
  source.tag = tag;
  source.kind = SourceKind::kIniKey;
  source.ini = {file, key};
  return source;
}

// In reading order; see StartupSources.
constexpr StartupSource kSources[] = {
    Key(1, kHklm, kServices),
    Key(2, kHklm, kServicesOnce),
    Key(3, kHklm, kRun, kMachineRunSwitch),
    Key(4, kHklm, kRunOnce),
    Key(5, kHklm, kRunOnceEx),
    Key(6, kHklm, kPolicyRun),
    Key(7, kHklm, kWindowsRun),
    LoadAndRunOf(8, kHklm, kWindows),

    Key(11, kHkuDefault, kServices),
    Key(12, kHkuDefault, kServicesOnce),
    Key(13, kHkuDefault, kRun),
    Key(14, kHkuDefault, kRunOnce),
    Key(15, kHkuDefault, kRunOnceEx),
    Key(16, kHkuDefault, kPolicyRun),
    Key(17, kHkuDefault, kWindowsRun),
    LoadAndRunOf(18, kHkuDefault, kWindows),

    Key(21, kHkcu, kServices),
    Key(22, kHkcu, kServicesOnce),
    Key(23, kHkcu, kRun, kUserRunSwitch),
    Key(24, kHkcu, kRunOnce),
    Key(25, kHkcu, kRunOnceEx),
    Key(26, kHkcu, kPolicyRun),
    Key(27, kHkcu, kWindowsRun),
    LoadAndRunOf(28, kHkcu, kWindows),

    Key(31, kHklm32, kServices),
    Key(32, kHklm32, kServicesOnce),
    Key(33, kHklm32, kRun, kMachineRun32Switch),
    Key(34, kHklm32, kRunOnce),
    Key(35, kHklm32, kRunOnceEx),
    Key(36, kHklm32, kPolicyRun),
    Key(37, kHklm32, kWindowsRun),
    LoadAndRunOf(38, kHklm32, kWindows),

    Folder(kTagUserStartup, Hive::kCurrentUser, kShellFoldersKey, "Startup",
           &StartupFolders::user, kUserFolderSwitch),
    Folder(kTagCommonStartup, Hive::kLocalMachine, kShellFoldersKey, "Common Startup",
           &StartupFolders::common, kCommonFolderSwitch),
    Folder(kTagDefaultStartup, Hive::kUsers, kDefaultShellFoldersKey, "Startup",
           &StartupFolders::default_user),

    Ini(kTagWinIniLoad, "win.ini", "load"),
    Ini(kTagWinIniRun, "win.ini", "run"),
    Ini(kTagSystemIniLoad, "system.ini", "load"),
    Ini(kTagSystemIniRun, "system.ini", "run"),

    // Windows keeps both views of these keys on 64-bit systems; a view both
    // share is read once.
    LogonValue(kTagWinlogonShell, kHklm, kWinlogon, "Shell", ValueRule::kUnlessShell,
               ValueRemoval::kSetDefault),
    LogonValue(kTagWinlogonUserinit, kHklm, kWinlogon, "Userinit", ValueRule::kUnlessUserinit,
               ValueRemoval::kSetDefault),
    LogonValue(kTagWinlogonTaskman, kHklm, kWinlogon, "Taskman", ValueRule::kWhenPresent,
               ValueRemoval::kDelete),
    LogonValue(kTagWinlogonShell32, kHklm32, kWinlogon, "Shell", ValueRule::kUnlessShell,
               ValueRemoval::kSetDefault),
    LogonValue(kTagWinlogonUserinit32, kHklm32, kWinlogon, "Userinit", ValueRule::kUnlessUserinit,
               ValueRemoval::kSetDefault),
    LogonValue(kTagWinlogonTaskman32, kHklm32, kWinlogon, "Taskman", ValueRule::kWhenPresent,
               ValueRemoval::kDelete),
    // The user's own Shell overrides the machine's; without it the machine's
    // applies, so removing it is deleting it.
    LogonValue(kTagUserWinlogonShell, kHkcu, kWinlogon, "Shell", ValueRule::kWhenPresent,
               ValueRemoval::kDelete),
    Debuggers(kTagDebuggers, kHklm),
    Debuggers(kTagDebuggers32, kHklm32),
    LogonValue(kTagAppInitDlls, kHklm, kWindows, "AppInit_DLLs", ValueRule::kWhenNotBlank,
               ValueRemoval::kEmpty),
    LogonValue(kTagAppInitDlls32, kHklm32, kWindows, "AppInit_DLLs", ValueRule::kWhenNotBlank,
               ValueRemoval::kEmpty),

    Everywhere(kTagScheduledTasks, SourceKind::kScheduledTasks),
    Everywhere(kTagPackageTasks, SourceKind::kPackageTasks),
};

// A row whose text is "<name>=<command>".
StartupRow NamedRow(const StartupSource& source, std::string name, std::string command) {
  std::string text = name + "=" + command;
  return {&source, std::move(name), std::move(command), std::move(text), {}, {}};
}

}  // namespace

std::span<const StartupSource> StartupSources() { return kSources; }

const StartupSource* FindStartupSource(int tag) {
  for (const StartupSource& source : kSources) {
    if (source.tag == tag) return &source;
  }
  return nullptr;
}

std::string Wow64Path(std::string_view key_path) {
  const std::size_t slash = key_path.find('\\');
  const std::string_view first = key_path.substr(0, slash);
  std::string out = std::string(first) + "\\WOW6432Node";
  if (slash != std::string_view::npos) out.append(key_path.substr(slash));
  return out;
}

std::string RegistryKeyPath(const RegistryKeySource& key) {
  return std::string(key.root.below) + std::string(key.path);
}

std::optional<ApprovedPlace> ApprovedPlaceOf(const StartupSource& source) {
  if (!source.approved) return std::nullopt;
  static constexpr char kApproved[] =
      "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
  return ApprovedPlace{source.approved->hive, kApproved + std::string(source.approved->key)};
}

namespace {

constexpr std::size_t kApprovalSize = 12;

uint64_t FileTimeAt(const std::string& bytes, std::size_t offset) {
  uint64_t value = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    value |= uint64_t{static_cast<unsigned char>(bytes[offset + i])} << (8 * i);
  }
  return value;
}

}  // namespace

Approval ApprovalOf(const RegValueData* value) {
  Approval approval;
  if (value == nullptr || value->type != kRegBinary || value->bytes.size() < kApprovalSize) {
    return approval;
  }
  approval.disabled = (static_cast<unsigned char>(value->bytes[0]) & 1) != 0;
  if (approval.disabled) approval.switched_at = FileTimeAt(value->bytes, 4);
  return approval;
}

std::string SwitchedApprovalBytes(const RegValueData* current, bool disable, uint64_t now) {
  std::string bytes("\x02\0\0\0", 4);
  if (current != nullptr && current->type == kRegBinary && !current->bytes.empty()) {
    bytes = current->bytes;
  }
  if (bytes.size() < kApprovalSize) bytes.resize(kApprovalSize, '\0');
  const auto first = static_cast<unsigned char>(bytes[0]);
  bytes[0] = static_cast<char>(disable ? (first | 1) : (first & ~1));
  for (std::size_t i = 0; i < 8; ++i) {
    bytes[4 + i] = disable ? static_cast<char>((now >> (8 * i)) & 0xFF) : '\0';
  }
  return bytes;
}

std::string StartupLocation(const StartupSource& source, bool with_prefix,
                            const StartupFolders& folders, const std::string& windows_dir,
                            Locale& locale, const std::string& place) {
  switch (source.kind) {
    case SourceKind::kRegistryKey:
    case SourceKind::kLogonValue:
    case SourceKind::kDebuggers: {
      const RegistryKeySource& key = source.registry;
      // The 32-bit view's keys are shown where regedit shows them.
      std::string text =
          "\\" + (key.root.view == kKeyWow64_32Key ? Wow64Path(key.path) : std::string(key.path));
      // A debugger is a value of the program's own key.
      if (source.kind == SourceKind::kDebuggers) text += "\\" + place;
      return with_prefix ? std::string(key.root.prefix) + text : text;
    }
    case SourceKind::kScheduledTasks:
      return "Task Scheduler" + place;
    case SourceKind::kPackageTasks:
      return "App package " + place;
    case SourceKind::kStartupFolder:
      return folders.*source.folder.field;
    case SourceKind::kIniKey:
      return WithBackslash(windows_dir, locale) + std::string(source.ini.file) + " [" +
             std::string(source.ini.key) + "]";
  }
  return {};
}

std::optional<std::string> ReadStartupKey(RegistryBackend& registry, const StartupSource& source,
                                          std::vector<RegNamedValue>& values,
                                          std::vector<StartupRow>& rows, LoadErrors& errors,
                                          const std::optional<std::string>& same_as) {
  const RegistryKeySource& key = source.registry;
  // Read-only opens: a key the user may read but not change is listed.
  RegistryAccess reg(registry, kKeyRead | key.root.view);
  reg.SetRoot(key.root.hive);
  values.clear();
  std::optional<std::string> name_of_key;
  if (reg.OpenKey(RegistryKeyPath(key))) {
    name_of_key = reg.CurrentKeyName();
    const bool read_already = same_as && name_of_key && AsciiLower(*same_as) == AsciiLower(*name_of_key);
    if (!read_already) reg.GetValues(values);
  }
  reg.CloseKey();
  for (const RegNamedValue& value : values) {
    std::string text;
    // Byte-exact on purpose: "Load" or "RUN" in the Windows key are not what
    // the system starts, and values of other names there may be of any type.
    if (!key.load_and_run_only || value.name == "load" || value.name == "run") {
      errors.Collect([&] { text = RegistryAccess::StringOf(value.name, value.query); });
    }
    if (!IsBlank(text)) rows.push_back(NamedRow(source, value.name, std::move(text)));
  }
  return name_of_key;
}

std::string StartupShortcuts::Resolve(const std::string& path) {
  if (!resolver_) resolver_ = shell_.OpenShortcutResolver();
  return resolver_->Resolve(path);
}

std::string ExactEntryPath(const std::string& folder, const std::string& name, Locale& locale) {
  const std::string path = WithBackslash(folder, locale) + name;
  const bool cut_by_windows = !name.empty() && (name.back() == '.' || name.back() == ' ');
  if (!cut_by_windows || !IsFullPath(folder) || folder.rfind("\\\\?\\", 0) == 0) return path;
  if (folder.rfind("\\\\.\\", 0) == 0) return "\\\\?\\" + path.substr(4);
  if (folder.rfind("\\\\", 0) == 0) return "\\\\?\\UNC\\" + path.substr(2);
  return "\\\\?\\" + path;
}

void ReadStartupFolder(const Platform& platform, StartupShortcuts& shortcuts,
                       const StartupSource& source, StartupFolders& folders,
                       std::vector<StartupRow>& rows) {
  const FolderSource& place = source.folder;
  std::string& field = folders.*place.field;
  RegistryAccess reg(platform.registry, kKeyRead);
  reg.SetRoot(place.hive);
  // Closed also when the value throws.
  const ScopeExit close([&reg] { reg.CloseKey(); });
  if (reg.OpenKey(std::string(place.key))) field = reg.ReadString(std::string(place.value));
  reg.CloseKey();
  ScanStartupFolder(platform, shortcuts, field, source, rows);
}

void ScanStartupFolder(const Platform& platform, StartupShortcuts& shortcuts,
                       const std::string& folder, const StartupSource& source,
                       std::vector<StartupRow>& rows) {
  if (folder.empty()) return;
  const std::string dir = WithBackslash(folder, platform.locale);
  std::unique_ptr<FileSearch> search = platform.files.FindFirst(dir + "*.*");
  if (!search) return;
  while (std::optional<FindData> entry = search->Next()) {
    if ((entry->attributes & kAttrDirectory) != 0 && !entry->long_name.empty() &&
        entry->long_name[0] == '.') {
      continue;
    }
    AddStartupFolderItem(platform, shortcuts, dir, *entry, source, rows);
  }
}

void AddStartupFolderItem(const Platform& platform, StartupShortcuts& shortcuts,
                          const std::string& folder, const FindData& entry,
                          const StartupSource& source, std::vector<StartupRow>& rows) {
  std::string name;
  bool by_short_name = false;
  if (platform.files.GetAttributes(folder + entry.long_name) != kInvalidAttributes) {
    name = entry.long_name;
  } else if (!entry.short_name.empty() &&
             platform.files.GetAttributes(folder + entry.short_name) != kInvalidAttributes) {
    name = entry.short_name;
    by_short_name = true;
  } else {
    return;
  }

  if (AsciiLower(ExtensionOf(name)) == ".lnk") {
    std::string target = shortcuts.Resolve(folder + name);
    rows.push_back(NamedRow(source, std::move(name), std::move(target)));
  } else if (by_short_name) {
    // Listed under the name that reached it; the long name is what runs.
    rows.push_back(NamedRow(source, std::move(name), entry.long_name));
  } else {
    rows.push_back({&source, name, name, name, {}, {}});
  }
}

void ReadStartupIniKey(FileSystem& files, const StartupSource& source,
                       const std::string& windows_dir, std::vector<StartupRow>& rows) {
  const IniKeySource& place = source.ini;
  std::string text = files.ReadIniString(windows_dir + std::string(place.file), "windows",
                                         std::string(place.key));
  if (text.empty()) return;
  rows.push_back({&source, std::string(place.key), text, text, {}, {}});
}

}  // namespace cu
