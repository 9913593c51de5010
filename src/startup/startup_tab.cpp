#include "startup/startup_tab.h"

#include <algorithm>
#include <utility>

#include "folders/delete_tree.h"
#include "platform/cleanup.h"
#include "platform/registry_access.h"
#include "platform/text.h"
#include "platform/text_export.h"
#include "startup/startup_report.h"

namespace cu {

namespace {

struct HiveGroup {
  Hive hive;
  int first_tag;
  const char* prefix;  // the key paths' place below the hive's root
};

constexpr HiveGroup kHiveGroups[] = {
    {Hive::kLocalMachine, 1, "\\"},
    {Hive::kUsers, 11, "\\.DEFAULT\\"},
    {Hive::kCurrentUser, 21, "\\"},
};

struct IniSource {
  const char* file;
  const char* key;
  int tag;
};

constexpr IniSource kIniSources[] = {
    {"win.ini", "load", kTagWinIniLoad},
    {"win.ini", "run", kTagWinIniRun},
    {"system.ini", "load", kTagSystemIniLoad},
    {"system.ini", "run", kTagSystemIniRun},
};

const IniSource* FindIniSource(int tag) {
  for (const IniSource& source : kIniSources) {
    if (source.tag == tag) return &source;
  }
  return nullptr;
}

// Reads a Startup folder's path from its Shell Folders value into `field`
// and scans that folder. The field keeps its old value when the key does
// not open, and becomes empty when the value is missing.
void ReadStartupFolder(const Platform& platform, RegistryAccess& reg, Hive hive,
                       std::string_view key, const char* value, std::string& field, int tag,
                       std::vector<StartupRow>& rows) {
  reg.SetRoot(hive);
  if (reg.OpenKey(std::string(key))) field = reg.ReadString(value);
  reg.CloseKey();
  ScanStartupFolder(platform, field, tag, rows);
}

}  // namespace

StartupTab::StartupTab(const Platform& platform, Ui& ui, const SystemPaths& paths)
    : platform_(platform), ui_(ui), paths_(paths) {}

void StartupTab::LoadStartupList() {
  count_caption_.clear();
  list_.Clear();
  {
    // Also when a read throws: the rows read so far are shown, sorted, with
    // their count, and nothing is selected.
    const ScopeExit publish([this] {
      SortRows();
      count_caption_ = std::to_string(list_.size());
    });
    ReadAllSources(list_.mutable_rows());
  }
  Select(0);
}

void StartupTab::ReadAllSources(std::vector<StartupRow>& rows) {
  std::vector<std::string> names;
  RegistryAccess reg(platform_.registry);
  for (const HiveGroup& group : kHiveGroups) {
    reg.SetRoot(group.hive);
    for (std::size_t i = 0; i < kStartupKeyPaths.size(); ++i) {
      const bool windows_key = i + 1 == kStartupKeyPaths.size();
      ReadStartupKey(reg, group.prefix + std::string(kStartupKeyPaths[i]),
                     group.first_tag + static_cast<int>(i), windows_key, names, rows);
    }
  }

  ReadStartupFolder(platform_, reg, Hive::kCurrentUser, kShellFoldersKey, "Startup",
                    user_startup_dir_, kTagUserStartup, rows);
  ReadStartupFolder(platform_, reg, Hive::kLocalMachine, kShellFoldersKey, "Common Startup",
                    common_startup_dir_, kTagCommonStartup, rows);
  ReadStartupFolder(platform_, reg, Hive::kUsers, kDefaultShellFoldersKey, "Startup",
                    default_startup_dir_, kTagDefaultStartup, rows);

  const std::string windows_dir = WithBackslash(paths_.windows_dir);
  for (const IniSource& source : kIniSources) {
    std::string text = platform_.files.ReadIniString(windows_dir + source.file, "windows", source.key);
    if (!text.empty()) rows.push_back({std::move(text), source.tag, source.key});
  }
}

void StartupTab::SortRows() {
  // Stable, so rows that compare equal keep the order in which they were read.
  std::vector<StartupRow>& rows = list_.mutable_rows();
  std::stable_sort(rows.begin(), rows.end(), [this](const StartupRow& a, const StartupRow& b) {
    return platform_.locale.CompareNoCase(a.text, b.text) < 0;
  });
}

StartupFolders StartupTab::folders() const {
  return {user_startup_dir_, common_startup_dir_, default_startup_dir_};
}

std::string StartupTab::GetStartupLocation(bool with_prefix) const {
  const StartupRow* row = list_.selected();
  if (!row) return {};
  return StartupLocation(row->tag, with_prefix, folders(), paths_.windows_dir);
}

void StartupTab::DeleteStartupItem() {
  if (!list_.selected()) return;
  // A copy: the reload below replaces the rows.
  const StartupRow row = *list_.selected();
  if (!ui_.Confirm("Delete " + row.text + "?")) return;

  const std::string location = GetStartupLocation(false);
  if (IsRegistryTag(row.tag)) {
    if (!location.empty()) {
      RegistryAccess reg(platform_.registry);
      const Hive hive = HiveOfTag(row.tag);
      reg.SetRoot(hive);
      const std::string key = hive == Hive::kUsers ? "\\.DEFAULT" + location : location;
      // A key that does not open (missing, or refused full access) removes
      // nothing; the reloaded list shows the entry again.
      if (reg.OpenKey(key)) (void)reg.DeleteValue(row.source_name);
    }
  } else if (row.tag == kTagUserStartup || row.tag == kTagCommonStartup ||
             row.tag == kTagDefaultStartup) {
    // An empty name or folder would designate the Startup folder itself (or
    // a path from the drive's root), never an entry of it.
    if (!row.source_name.empty() && !location.empty()) {
      DeleteStartupPath(WithBackslash(location) + row.source_name);
    }
  } else if (const IniSource* source = FindIniSource(row.tag)) {
    platform_.files.DeleteIniKey(WithBackslash(paths_.windows_dir) + source->file, "windows",
                                 source->key);
  }

  LoadStartupList();
  list_.RequestFocus();
}

void StartupTab::DeleteStartupPath(const std::string& path) {
  FileSystem& files = platform_.files;
  const uint32_t attributes = files.GetAttributes(path);
  if (attributes == kInvalidAttributes) return;
  if ((attributes & kAttrDirectory) == 0) {
    (void)files.DeleteFile(path);  // failures show as the entry listed again
    return;
  }
  // DeleteTree leaves a linked folder (junction, symbolic link) in place
  // without touching what it points to; the second RemoveDirectory then
  // removes the link alone, as it does an emptied folder the tree kept.
  if (!DeleteTree(files, path)) (void)files.RemoveDirectory(path);
}

std::string StartupTab::GetStartupReport() const {
  const StartupRow* row = list_.selected();
  if (!row) return {};
  return BuildStartupReport(platform_, StartupCommand(*row));
}

void StartupTab::ShowStartupInfo() {
  InfoRequest request;
  request.caption = "Info StartUp";
  request.text = "Location=" + GetStartupLocation(true) + "\r\n\r\n" + GetStartupReport();
  request.yes_caption = "DELETE!!!";
  request.show_stop = false;
  if (ui_.ShowInfo(request) == kResultYes) {
    ui_.Repaint();
    DeleteStartupItem();
  }
  ui_.Repaint();
}

StartupCommands StartupTab::MenuState() {
  save_enabled_ = list_.selection() >= 0;
  return {true, save_enabled_};
}

void StartupTab::SaveReport() {
  if (list_.empty()) return;
  const std::optional<std::string> path = ui_.ChooseSaveFile();
  if (!path) return;

  std::vector<std::string> lines;
  std::string previous;
  const int count = static_cast<int>(list_.size());
  for (int i = 0; i < count; ++i) {
    // The location and the report are those of the selected row, so an
    // error while building them leaves the selection on that row.
    Select(i);
    const std::string location = GetStartupLocation(true);
    if (location != previous) {
      previous = location;
      lines.insert(lines.end(), {"", "", "", AsciiUpper(location), ""});
    }
    lines.push_back("");
    lines.push_back(std::to_string(i + 1));
    lines.push_back(Trim(list_.rows()[static_cast<std::size_t>(i)].text));
    lines.push_back(GetStartupReport());
    lines.push_back("");
  }
  ExportLines(platform_.files, *path, lines);
  Select(0);
}

}  // namespace cu
