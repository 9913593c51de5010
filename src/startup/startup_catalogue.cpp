#include "startup/startup_catalogue.h"

#include "platform/text.h"

namespace cu {

namespace {

bool IsIniTag(int tag) {
  return tag == kTagWinIniLoad || tag == kTagWinIniRun || tag == kTagSystemIniLoad ||
         tag == kTagSystemIniRun;
}

// The extension as the file name functions see it: from the last "." when no
// "\" or ":" follows it.
std::string ExtensionOf(const std::string& name) {
  const std::size_t dot = name.find_last_of(".\\:");
  if (dot == std::string::npos || name[dot] != '.') return {};
  return name.substr(dot);
}

}  // namespace

bool IsRegistryTag(int tag) { return tag >= 1 && tag <= 40; }

bool IsWow64Tag(int tag) { return tag >= kFirstWow64Tag && tag <= 40; }

Hive HiveOfTag(int tag) {
  if (tag <= 10) return Hive::kLocalMachine;
  if (tag <= 20) return Hive::kUsers;
  if (tag <= 30) return Hive::kCurrentUser;
  return Hive::kLocalMachine;
}

std::string Wow64Path(std::string_view key_path) {
  const std::size_t slash = key_path.find('\\');
  const std::string_view first = key_path.substr(0, slash);
  std::string out = std::string(first) + "\\WOW6432Node";
  if (slash != std::string_view::npos) out.append(key_path.substr(slash));
  return out;
}

std::optional<RegistryPlace> RegistryPlaceOfTag(int tag) {
  const std::string path = KeyPathOfTag(tag);
  if (path.empty()) return std::nullopt;
  RegistryPlace place;
  place.hive = HiveOfTag(tag);
  place.path = (place.hive == Hive::kUsers ? "\\.DEFAULT\\" : "\\") + path;
  place.view = IsWow64Tag(tag) ? kKeyWow64_32Key : 0;
  return place;
}

std::optional<ApprovedPlace> ApprovedPlaceOfTag(int tag) {
  static constexpr char kApproved[] =
      "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
  constexpr int kRunTag = 3;  // the Run key's place in the key paths, plus one
  if (tag == kRunTag) return ApprovedPlace{Hive::kLocalMachine, std::string(kApproved) + "Run"};
  if (tag == kRunTag + 20) return ApprovedPlace{Hive::kCurrentUser, std::string(kApproved) + "Run"};
  if (tag == kRunTag + 30) return ApprovedPlace{Hive::kLocalMachine, std::string(kApproved) + "Run32"};
  if (tag == kTagUserStartup) {
    return ApprovedPlace{Hive::kCurrentUser, std::string(kApproved) + "StartupFolder"};
  }
  if (tag == kTagCommonStartup) {
    return ApprovedPlace{Hive::kLocalMachine, std::string(kApproved) + "StartupFolder"};
  }
  return std::nullopt;
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

std::string KeyPathOfTag(int tag) {
  if (!IsRegistryTag(tag)) return {};
  const int index = (tag - 1) % 10;
  if (index >= static_cast<int>(kStartupKeyPaths.size())) return {};
  return std::string(kStartupKeyPaths[static_cast<std::size_t>(index)]);
}

std::string StartupLocation(int tag, bool with_prefix, const StartupFolders& folders,
                            const std::string& windows_dir, Locale& locale) {
  if (IsRegistryTag(tag)) {
    const std::string path = KeyPathOfTag(tag);
    if (path.empty()) return {};
    // The 32-bit view's keys are shown where regedit shows them.
    const std::string text = "\\" + (IsWow64Tag(tag) ? Wow64Path(path) : path);
    if (!with_prefix) return text;
    switch (HiveOfTag(tag)) {
      case Hive::kLocalMachine: return "HKLM" + text;
      case Hive::kUsers: return "HKU\\.DEFAULT" + text;
      case Hive::kCurrentUser: return "HKCU" + text;
    }
    return {};
  }
  switch (tag) {
    case kTagUserStartup: return folders.user;
    case kTagCommonStartup: return folders.common;
    case kTagDefaultStartup: return folders.default_user;
    case kTagWinIniLoad: return WithBackslash(windows_dir, locale) + "win.ini [load]";
    case kTagWinIniRun: return WithBackslash(windows_dir, locale) + "win.ini [run]";
    case kTagSystemIniLoad: return WithBackslash(windows_dir, locale) + "system.ini [load]";
    case kTagSystemIniRun: return WithBackslash(windows_dir, locale) + "system.ini [run]";
    default: return {};
  }
}

std::string StartupCommand(const StartupRow& row) {
  if (IsIniTag(row.tag)) return row.text;
  const std::string& name = row.source_name;
  const std::size_t n = name.size();
  if (row.text.size() > n && row.text.compare(0, n, name) == 0 && row.text[n] == '=') {
    return row.text.substr(n + 1);
  }
  if (row.text == name) return row.text;
  // A row whose name is not known: the text after its first "=".
  return CommandPart(row.text);
}

std::optional<std::string> ReadStartupKey(RegistryAccess& reg, const std::string& key_path,
                                          int tag, bool load_and_run_only,
                                          std::vector<RegNamedValue>& values,
                                          std::vector<StartupRow>& rows, LoadErrors& errors,
                                          const std::optional<std::string>& same_as) {
  values.clear();
  std::optional<std::string> name_of_key;
  if (reg.OpenKey(key_path)) {
    name_of_key = reg.CurrentKeyName();
    const bool read_already = same_as && name_of_key && AsciiLower(*same_as) == AsciiLower(*name_of_key);
    if (!read_already) reg.GetValues(values);
  }
  reg.CloseKey();
  for (const RegNamedValue& value : values) {
    std::string text;
    // Byte-exact on purpose: "Load" or "RUN" in the Windows key are not what
    // the system starts, and values of other names there may be of any type.
    if (!load_and_run_only || value.name == "load" || value.name == "run") {
      errors.Collect([&] { text = RegistryAccess::StringOf(value.name, value.query); });
    }
    if (!IsBlank(text)) rows.push_back({value.name + "=" + text, tag, value.name, {}});
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

void ScanStartupFolder(const Platform& platform, StartupShortcuts& shortcuts,
                       const std::string& folder, int tag, std::vector<StartupRow>& rows) {
  if (folder.empty()) return;
  const std::string dir = WithBackslash(folder, platform.locale);
  std::unique_ptr<FileSearch> search = platform.files.FindFirst(dir + "*.*");
  if (!search) return;
  while (std::optional<FindData> entry = search->Next()) {
    if ((entry->attributes & kAttrDirectory) != 0 && !entry->long_name.empty() &&
        entry->long_name[0] == '.') {
      continue;
    }
    AddStartupFolderItem(platform, shortcuts, dir, *entry, tag, rows);
  }
}

void AddStartupFolderItem(const Platform& platform, StartupShortcuts& shortcuts,
                          const std::string& folder, const FindData& entry, int tag,
                          std::vector<StartupRow>& rows) {
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
    rows.push_back({name + "=" + shortcuts.Resolve(folder + name), tag, name, {}});
  } else if (by_short_name) {
    rows.push_back({name + "=" + entry.long_name, tag, name, {}});
  } else {
    rows.push_back({name, tag, name, {}});
  }
}

}  // namespace cu
