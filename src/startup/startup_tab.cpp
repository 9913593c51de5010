#include "startup/startup_tab.h"

#include <algorithm>
#include <exception>
#include <array>
#include <map>
#include <utility>

#include "folders/delete_tree.h"
#include "platform/cleanup.h"
#include "platform/errors.h"
#include "platform/registry_access.h"
#include "platform/text.h"
#include "presenter/refusal.h"
#include "presenter/text_export.h"
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
constexpr int kHklmGroup = 0;

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
// A value that is not text leaves the field as it was and scans nothing.
void ReadStartupFolder(const Platform& platform, StartupShortcuts& shortcuts, RegistryAccess& reg,
                       Hive hive, std::string_view key, const char* value, std::string& field,
                       int tag, std::vector<StartupRow>& rows) {
  reg.SetRoot(hive);
  // Closed also when the value throws.
  const ScopeExit close([&reg] { reg.CloseKey(); });
  if (reg.OpenKey(std::string(key))) field = reg.ReadString(value);
  reg.CloseKey();
  ScanStartupFolder(platform, shortcuts, field, tag, rows);
}

// The StartupApproved values of every source that has them, read once per
// load: place -> lower-cased value name -> data. Never throws: a switch that
// cannot be read leaves its entries enabled, as Windows starts them then.
class ApprovedValues {
 public:
  explicit ApprovedValues(RegistryBackend& registry) {
    RegistryAccess reg(registry, kKeyRead);
    std::vector<RegNamedValue> values;
    for (const int tag : kSwitchedTags) {
      const std::optional<ApprovedPlace> place = ApprovedPlaceOfTag(tag);
      auto& by_name = places_[Key(*place)];
      reg.SetRoot(place->hive);
      if (!reg.OpenKey(place->path)) continue;
      reg.GetValues(values);
      for (RegNamedValue& value : values) {
        if (value.query.status == RegQuery::Status::kOk) {
          by_name.emplace(AsciiLower(value.name), std::move(value.query.value));
        }
      }
      reg.CloseKey();
    }
  }

  void Apply(StartupRow& row) const {
    const std::optional<ApprovedPlace> place = ApprovedPlaceOfTag(row.tag);
    if (!place) return;
    const RegValueData* value = nullptr;
    if (auto it = places_.find(Key(*place)); it != places_.end()) {
      if (auto found = it->second.find(AsciiLower(row.source_name)); found != it->second.end()) {
        value = &found->second;
      }
    }
    row.approval = ApprovalOf(value);
    row.approval.applies = true;
  }

 private:
  static std::string Key(const ApprovedPlace& place) {
    return std::to_string(static_cast<int>(place.hive)) + place.path;
  }
  std::map<std::string, std::map<std::string, RegValueData>> places_;
};

}  // namespace

StartupTab::StartupTab(const Platform& platform, Ui& ui, const SystemPaths& paths)
    : platform_(platform), ui_(ui), paths_(paths) {}

void StartupTab::LoadStartupList() {
  count_caption_.clear();
  list_.Clear();
  const ApprovedValues approved(platform_.registry);
  LoadErrors errors;
  {
    // Also when a read throws: the rows read so far are shown, sorted, with
    // their switches and their count, and nothing is selected.
    const ScopeExit publish([this, &approved] {
      for (StartupRow& row : list_.mutable_rows()) approved.Apply(row);
      SortRows();
      count_caption_ = std::to_string(list_.size());
    });
    ReadAllSources(list_.mutable_rows(), errors);
  }
  Select(0);
  errors.ThrowFirst();
}

void StartupTab::ReadAllSources(std::vector<StartupRow>& rows, LoadErrors& errors) {
  std::vector<RegNamedValue> values;
  // Read-only opens: a key the user may read but not change is listed.
  RegistryAccess reg(platform_.registry, kKeyRead);
  // The system's names of the HKLM keys, to know a key the 32-bit view shares.
  std::array<std::optional<std::string>, kStartupKeyPaths.size()> native_keys;
  for (std::size_t g = 0; g < std::size(kHiveGroups); ++g) {
    const HiveGroup& group = kHiveGroups[g];
    reg.SetRoot(group.hive);
    for (std::size_t i = 0; i < kStartupKeyPaths.size(); ++i) {
      const bool windows_key = i + 1 == kStartupKeyPaths.size();
      std::optional<std::string> name =
          ReadStartupKey(reg, group.prefix + std::string(kStartupKeyPaths[i]),
                         group.first_tag + static_cast<int>(i), windows_key, values, rows,
                         errors);
      if (g == kHklmGroup) native_keys[i] = std::move(name);
    }
  }
  if (platform_.environment.Is64BitWindows()) {
    RegistryAccess reg32(platform_.registry, kKeyRead | kKeyWow64_32Key);
    reg32.SetRoot(Hive::kLocalMachine);
    for (std::size_t i = 0; i < kStartupKeyPaths.size(); ++i) {
      const bool windows_key = i + 1 == kStartupKeyPaths.size();
      // A key that did not open in the native view is not shared either:
      // the 32-bit view of a shared key would not open the same way.
      (void)ReadStartupKey(reg32, "\\" + std::string(kStartupKeyPaths[i]),
                           kFirstWow64Tag + static_cast<int>(i), windows_key, values, rows,
                           errors, native_keys[i]);
    }
  }

  StartupShortcuts shortcuts(platform_.shell);
  errors.Collect([&] {
    ReadStartupFolder(platform_, shortcuts, reg, Hive::kCurrentUser, kShellFoldersKey, "Startup",
                      user_startup_dir_, kTagUserStartup, rows);
  });
  errors.Collect([&] {
    ReadStartupFolder(platform_, shortcuts, reg, Hive::kLocalMachine, kShellFoldersKey,
                      "Common Startup", common_startup_dir_, kTagCommonStartup, rows);
  });
  errors.Collect([&] {
    ReadStartupFolder(platform_, shortcuts, reg, Hive::kUsers, kDefaultShellFoldersKey, "Startup",
                      default_startup_dir_, kTagDefaultStartup, rows);
  });

  const std::string windows_dir = WithBackslash(paths_.windows_dir, platform_.locale);
  for (const IniSource& source : kIniSources) {
    std::string text =
        platform_.files.ReadIniString(windows_dir + source.file, "windows", source.key);
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
  return StartupLocation(row->tag, with_prefix, folders(), paths_.windows_dir, platform_.locale);
}

void StartupTab::DeleteStartupItem() {
  if (!list_.selected()) return;
  // A copy: the reload below replaces the rows.
  const StartupRow row = *list_.selected();
  if (!ui_.Confirm("Delete " + row.text + "?")) return;

  const std::string location = GetStartupLocation(false);
  bool removed = false;
  uint32_t error = kErrorSuccess;  // why the entry stayed, when the system said
  if (IsRegistryTag(row.tag)) {
    if (const std::optional<RegistryPlace> place = RegistryPlaceOfTag(row.tag)) {
      // The view the row was read through, so that the other view's value
      // of the same name stays.
      RegistryAccess reg(platform_.registry, kKeySetValue | place->view);
      reg.SetRoot(place->hive);
      removed = reg.OpenKey(place->path) && reg.DeleteValue(row.source_name);
      if (!removed) error = platform_.registry.LastError();
    }
  } else if (row.tag == kTagUserStartup || row.tag == kTagCommonStartup ||
             row.tag == kTagDefaultStartup) {
    // An empty name or folder would designate the Startup folder itself (or
    // a path from the drive's root), never an entry of it.
    if (!row.source_name.empty() && !location.empty()) {
      const std::string path = ExactEntryPath(location, row.source_name, platform_.locale);
      error = DeleteStartupPath(path);
      removed = platform_.files.GetAttributes(path) == kInvalidAttributes;
    }
  } else if (const IniSource* source = FindIniSource(row.tag)) {
    platform_.files.DeleteIniKey(WithBackslash(paths_.windows_dir, platform_.locale) + source->file,
                                 "windows", source->key);
  }
  // Windows leaves a removed entry's switch behind; an entry that stays
  // keeps its switch.
  if (removed) {
    if (const std::optional<ApprovedPlace> place = ApprovedPlaceOfTag(row.tag)) {
      RegistryAccess reg(platform_.registry, kKeySetValue);
      reg.SetRoot(place->hive);
      if (reg.OpenKey(place->path)) (void)reg.DeleteValue(row.source_name);
    }
  }

  // The list shows what the machine holds now, also when the removal was
  // refused; the refusal is said after it, and a bad value met by the
  // reload only when there is no refusal to say.
  std::exception_ptr load_failure;
  try {
    LoadStartupList();
  } catch (...) {
    load_failure = std::current_exception();
  }
  list_.RequestFocus();
  if (!removed && error != kErrorSuccess) {
    ReportRefusal(platform_, ui_, Page::kStartup, error, "The entry was not removed");
    return;
  }
  if (load_failure) std::rethrow_exception(load_failure);
}

uint32_t StartupTab::DeleteStartupPath(const std::string& path) {
  FileSystem& files = platform_.files;
  const uint32_t attributes = files.GetAttributes(path);
  if (attributes == kInvalidAttributes) return kErrorFileNotFound;  // gone meanwhile
  if ((attributes & kAttrDirectory) == 0) {
    return files.DeleteFile(path) ? kErrorSuccess : files.LastError();
  }
  // DeleteTree leaves a linked folder (junction, symbolic link) in place
  // without touching what it points to; the second RemoveDirectory then
  // removes the link alone, as it does an emptied folder the tree kept.
  if (DeleteTree(files, path) || files.RemoveDirectory(path)) return kErrorSuccess;
  return files.LastError();
}

std::string StartupTab::GetStartupReport() const {
  const StartupRow* row = list_.selected();
  if (!row) return {};
  return BuildStartupReport(platform_, StartupCommand(*row));
}

void StartupTab::ShowStartupInfo() {
  const StartupRow* row = list_.selected();
  InfoRequest request;
  request.caption = "Info StartUp";
  request.text = "Location=" + GetStartupLocation(true);
  if (row && row->approval.disabled) request.text += "\r\n" + DisabledLine(row->approval);
  request.text += "\r\n\r\n" + GetStartupReport();
  request.yes_caption = "DELETE!!!";
  request.show_stop = true;
  request.stop_caption = SwitchCaption();
  request.stop_enabled = row && row->approval.applies;
  const int result = ui_.ShowInfo(request);
  // Repainted also when the removal or the switch fails.
  const ScopeExit repaint([this] { ui_.Repaint(); });
  if (result == kResultYes) {
    ui_.Repaint();
    DeleteStartupItem();
  } else if (result == kResultNo && request.stop_enabled) {
    SwitchSelectedEntry();
  }
}

std::string StartupTab::DisabledLine(const Approval& approval) const {
  if (approval.switched_at != 0) {
    if (const std::optional<LocalTime> when =
            platform_.environment.LocalTimeOf(approval.switched_at)) {
      return "Disabled=" + platform_.locale.FormatDateTime(*when);
    }
  }
  return "Disabled";
}

std::string StartupTab::SwitchCaption() const {
  const StartupRow* row = list_.selected();
  return row && row->approval.disabled ? "Enable" : "Disable";
}

void StartupTab::SwitchSelectedEntry() {
  const StartupRow* selected = list_.selected();
  if (!selected || !selected->approval.applies) return;
  // A copy: the reload below replaces the rows.
  const StartupRow row = *selected;
  const std::optional<ApprovedPlace> place = ApprovedPlaceOfTag(row.tag);
  if (!place) return;
  RegistryAccess reg(platform_.registry, kKeyQueryValue | kKeySetValue);
  reg.SetRoot(place->hive);
  const std::string& name = row.source_name;
  // A refusal for lack of rights may be met by restarting elevated;
  // otherwise it is said as ever.
  const auto refused = [&] {
    if (!OfferElevation(platform_, ui_, Page::kStartup, platform_.registry.LastError())) {
      throw AppError("Failed to set data for '" + name + "'");
    }
  };
  if (!reg.CreateKey(place->path)) return refused();
  // The value as it stands now, so that bits another program set are kept.
  const RegQuery current = reg.ReadValue(name);
  const RegValueData* value = current.status == RegQuery::Status::kOk ? &current.value : nullptr;
  if (!reg.TryWriteBinary(name, SwitchedApprovalBytes(value, !row.approval.disabled,
                                                      platform_.environment.CurrentFileTime()))) {
    return refused();
  }
  reg.CloseKey();
  LoadStartupList();
  SelectEntry(row);
  list_.RequestFocus();
}

void StartupTab::SelectEntry(const StartupRow& entry) {
  const std::vector<StartupRow>& rows = list_.rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].tag == entry.tag && rows[i].source_name == entry.source_name) {
      Select(static_cast<int>(i));
      return;
    }
  }
  Select(0);
}

RowDrawing StartupTab::RowDrawingAt(int index, bool selected) const {
  RowDrawing drawing;
  if (!list_.Contains(index)) return drawing;
  const StartupRow& row = list_.rows()[static_cast<std::size_t>(index)];
  drawing.name = row.text;
  if (row.approval.disabled && !selected) drawing.text_colour = kColourDisabledRow;
  return drawing;
}

StartupCommands StartupTab::MenuState() {
  save_enabled_ = list_.selection() >= 0;
  const StartupRow* row = list_.selected();
  return {true, save_enabled_, row && row->approval.applies};
}

void StartupTab::SaveReport() {
  if (list_.empty()) return;
  const std::optional<std::string> path = ui_.ChooseSaveFile();
  if (!path) return;

  std::vector<std::string> lines;
  std::string previous;
  const int count = static_cast<int>(list_.size());
  ui_.RunWork({"Writing " + *path, WorkKind::kRows, static_cast<uint64_t>(count)},
              [&](Progress& progress) {
                for (int i = 0; i < count; ++i) {
                  // Stopped: nothing is written, the file stays as it was.
                  if (progress.StopRequested()) return;
                  // The location and the report are those of the selected row, so an
                  // error while building them leaves the selection on that row.
                  Select(i);
                  const std::string location = GetStartupLocation(true);
                  if (location != previous) {
                    previous = location;
                    lines.insert(lines.end(),
                                 {"", "", "", platform_.locale.UpperCase(location), ""});
                  }
                  lines.push_back("");
                  lines.push_back(std::to_string(i + 1));
                  const StartupRow& row = list_.rows()[static_cast<std::size_t>(i)];
                  lines.push_back(Trim(row.text) + (row.approval.disabled ? " (disabled)" : ""));
                  lines.push_back(GetStartupReport());
                  lines.push_back("");
                  progress.Report(static_cast<uint64_t>(i) + 1, 0);
                }
                ExportLines(platform_.files, *path, lines);
              });
  Select(0);
}

}  // namespace cu
