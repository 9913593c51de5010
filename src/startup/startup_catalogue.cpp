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

bool IsRegistryTag(int tag) { return tag >= 1 && tag <= 30; }

Hive HiveOfTag(int tag) {
  if (tag <= 10) return Hive::kLocalMachine;
  if (tag <= 20) return Hive::kUsers;
  return Hive::kCurrentUser;
}

std::string KeyPathOfTag(int tag) {
  if (!IsRegistryTag(tag)) return {};
  const int index = (tag - 1) % 10;
  if (index >= static_cast<int>(kStartupKeyPaths.size())) return {};
  return std::string(kStartupKeyPaths[static_cast<std::size_t>(index)]);
}

std::string StartupLocation(int tag, bool with_prefix, const StartupFolders& folders,
                            const std::string& windows_dir) {
  if (IsRegistryTag(tag)) {
    const std::string path = KeyPathOfTag(tag);
    if (path.empty()) return {};
    const std::string text = "\\" + path;
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
    case kTagWinIniLoad: return WithBackslash(windows_dir) + "win.ini [load]";
    case kTagWinIniRun: return WithBackslash(windows_dir) + "win.ini [run]";
    case kTagSystemIniLoad: return WithBackslash(windows_dir) + "system.ini [load]";
    case kTagSystemIniRun: return WithBackslash(windows_dir) + "system.ini [run]";
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

void ReadStartupKey(RegistryAccess& reg, const std::string& key_path, int tag,
                    bool load_and_run_only, std::vector<std::string>& names,
                    std::vector<StartupRow>& rows) {
  names.clear();
  if (reg.OpenKey(key_path)) reg.GetValueNames(names);
  for (const std::string& name : names) {
    std::string text;
    // Byte-exact on purpose: "Load" or "RUN" in the Windows key are not what
    // the system starts, and values of other names there may be of any type.
    if (!load_and_run_only || name == "load" || name == "run") text = reg.ReadString(name);
    if (!IsBlank(text)) rows.push_back({name + "=" + text, tag, name});
  }
  reg.CloseKey();
}

void ScanStartupFolder(const Platform& platform, const std::string& folder, int tag,
                       std::vector<StartupRow>& rows) {
  if (folder.empty()) return;
  const std::string dir = WithBackslash(folder);
  std::unique_ptr<FileSearch> search = platform.files.FindFirst(dir + "*.*");
  if (!search) return;
  while (std::optional<FindData> entry = search->Next()) {
    if ((entry->attributes & kAttrDirectory) != 0 && !entry->long_name.empty() &&
        entry->long_name[0] == '.') {
      continue;
    }
    AddStartupFolderItem(platform, dir, *entry, tag, rows);
  }
}

void AddStartupFolderItem(const Platform& platform, const std::string& folder,
                          const FindData& entry, int tag, std::vector<StartupRow>& rows) {
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
    rows.push_back({name + "=" + platform.shell.ResolveShortcut(folder + name), tag, name});
  } else if (by_short_name) {
    rows.push_back({name + "=" + entry.long_name, tag, name});
  } else {
    rows.push_back({name, tag, name});
  }
}

}  // namespace cu
