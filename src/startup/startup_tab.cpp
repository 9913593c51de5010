#include "startup/startup_tab.h"

#include <algorithm>
#include <exception>
#include <map>
#include <span>
#include <utility>

#include "folders/delete_tree.h"
#include "platform/cleanup.h"
#include "platform/errors.h"
#include "platform/registry_access.h"
#include "platform/text.h"
#include "presenter/refusal.h"
#include "presenter/text_export.h"
#include "startup/startup_places.h"
#include "startup/startup_report.h"

namespace cu {

namespace {

// The StartupApproved values of every source that has them, read once per
// load: place -> lower-cased value name -> data. Never throws: a switch that
// cannot be read leaves its entries enabled, as Windows starts them then.
class ApprovedValues {
 public:
  explicit ApprovedValues(RegistryBackend& registry) {
    RegistryAccess reg(registry, kKeyRead);
    std::vector<RegNamedValue> values;
    for (const StartupSource& source : StartupSources()) {
      const std::optional<ApprovedPlace> place = ApprovedPlaceOf(source);
      if (!place || places_.count(Key(*place)) != 0) continue;
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
    const std::optional<ApprovedPlace> place = ApprovedPlaceOf(*row.source);
    if (!place) return;
    const RegValueData* value = nullptr;
    if (auto it = places_.find(Key(*place)); it != places_.end()) {
      if (auto found = it->second.find(AsciiLower(row.name)); found != it->second.end()) {
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
    : platform_(platform),
      ui_(ui),
      paths_(paths),
      signatures_(platform, [platform](const std::string& command) {
        return ProgramFileOf(platform, command);
      }) {}

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
  std::vector<std::string> commands;
  commands.reserve(list_.size());
  for (const StartupRow& row : list_.rows()) commands.push_back(row.command);
  signatures_.Start(std::move(commands));
  errors.ThrowFirst();
}

namespace {

// Sources that read one registry key (or the keys below it) through a view.
bool ReadsRegistryKey(const StartupSource& source) {
  return source.kind == SourceKind::kRegistryKey || source.kind == SourceKind::kLogonValue ||
         source.kind == SourceKind::kDebuggers;
}

}  // namespace

void StartupTab::ReadAllSources(std::vector<StartupRow>& rows, LoadErrors& errors) {
  const std::span<const StartupSource> sources = StartupSources();
  const bool two_views = platform_.environment.Is64BitWindows();
  const std::string windows_dir = WithBackslash(paths_.windows_dir, platform_.locale);
  const std::string system_dir = platform_.environment.SystemDirectory();
  std::vector<RegNamedValue> values;
  // The system's name of each registry source's key, to know a key the
  // 32-bit view shares with the native one.
  std::vector<std::optional<std::string>> key_names(sources.size());
  StartupShortcuts shortcuts(platform_.shell);
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const StartupSource& source = sources[i];
    std::optional<std::string> same_as;
    if (ReadsRegistryKey(source) && source.registry.root.view == kKeyWow64_32Key) {
      if (!two_views) continue;
      // A key that did not open in the native view is not shared either:
      // the 32-bit view of a shared key would not open the same way.
      const RegistryKeySource& key = source.registry;
      for (std::size_t n = 0; n < i; ++n) {
        const RegistryKeySource& native = sources[n].registry;
        if (ReadsRegistryKey(sources[n]) && native.root.view == 0 &&
            native.root.hive == key.root.hive && native.path == key.path && key_names[n]) {
          same_as = key_names[n];
        }
      }
    }
    switch (source.kind) {
      case SourceKind::kRegistryKey:
        key_names[i] = ReadStartupKey(platform_.registry, source, values, rows, errors, same_as);
        break;
      case SourceKind::kStartupFolder:
        errors.Collect([&] { ReadStartupFolder(platform_, shortcuts, source, folders_, rows); });
        break;
      case SourceKind::kIniKey:
        ReadStartupIniKey(platform_.files, source, windows_dir, rows);
        break;
      case SourceKind::kScheduledTasks:
        ReadScheduledTasks(platform_, source, system_dir, rows);
        break;
      case SourceKind::kPackageTasks:
        ReadPackageTasks(platform_, source, rows);
        break;
      case SourceKind::kLogonValue:
        key_names[i] = ReadLogonValue(platform_, source, system_dir, rows, errors, same_as);
        break;
      case SourceKind::kDebuggers:
        key_names[i] = ReadDebuggers(platform_.registry, source, rows, errors, same_as);
        break;
    }
  }
}

void StartupTab::SortRows() {
  // Stable, so rows that compare equal keep the order in which they were read.
  std::vector<StartupRow>& rows = list_.mutable_rows();
  std::stable_sort(rows.begin(), rows.end(), [this](const StartupRow& a, const StartupRow& b) {
    return platform_.locale.CompareNoCase(a.text, b.text) < 0;
  });
}

std::string StartupTab::GetStartupLocation(bool with_prefix) const {
  const StartupRow* row = list_.selected();
  if (!row) return {};
  return StartupLocation(*row->source, with_prefix, folders_, paths_.windows_dir, platform_.locale,
                         row->place);
}

void StartupTab::DeleteStartupItem() {
  if (!list_.selected()) return;
  // A copy: the reload below replaces the rows.
  const StartupRow row = *list_.selected();
  if (!CanRemove(row) || !ui_.Confirm(RemovalQuestion(row))) return;

  uint32_t error = kErrorSuccess;  // why the entry stayed, when the system said
  const bool removed = RemoveEntry(row, error);
  // Windows leaves a removed entry's switch behind; an entry that stays
  // keeps its switch.
  if (removed) {
    if (const std::optional<ApprovedPlace> place = ApprovedPlaceOf(*row.source)) {
      RegistryAccess reg(platform_.registry, kKeySetValue);
      reg.SetRoot(place->hive);
      if (reg.OpenKey(place->path)) (void)reg.DeleteValue(row.name);
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

bool StartupTab::CanRemove(const StartupRow& row) {
  return row.source->kind != SourceKind::kPackageTasks;
}

std::string StartupTab::RemovalQuestion(const StartupRow& row) const {
  const StartupSource& source = *row.source;
  if (source.kind == SourceKind::kLogonValue) {
    const std::string name(source.value.name);
    switch (source.value.removal) {
      case ValueRemoval::kSetDefault:
        return "Set " + name + " back to " +
               DefaultValueOf(source, platform_.environment.SystemDirectory()) + "?";
      case ValueRemoval::kEmpty:
        return "Empty " + name + "?";
      case ValueRemoval::kDelete:
        break;
    }
  }
  return "Delete " + row.text + "?";
}

bool StartupTab::RemoveEntry(const StartupRow& row, uint32_t& error) {
  error = kErrorSuccess;
  const StartupSource& source = *row.source;
  switch (source.kind) {
    case SourceKind::kRegistryKey: {
      const RegistryKeySource& key = source.registry;
      // The view the row was read through, so that the other view's value
      // of the same name stays.
      RegistryAccess reg(platform_.registry, kKeySetValue | key.root.view);
      reg.SetRoot(key.root.hive);
      if (reg.OpenKey(RegistryKeyPath(key)) && reg.DeleteValue(row.name)) return true;
      error = platform_.registry.LastError();
      return false;
    }
    case SourceKind::kStartupFolder: {
      const std::string& folder = folders_.*source.folder.field;
      // An empty name or folder would designate the Startup folder itself (or
      // a path from the drive's root), never an entry of it.
      if (row.name.empty() || folder.empty()) return false;
      const std::string path = ExactEntryPath(folder, row.name, platform_.locale);
      error = DeleteStartupPath(path);
      return platform_.files.GetAttributes(path) == kInvalidAttributes;
    }
    case SourceKind::kIniKey:
      // The profile functions tell of no failure: the key is taken as gone,
      // and the reload shows what stayed.
      platform_.files.DeleteIniKey(WithBackslash(paths_.windows_dir, platform_.locale) +
                                       std::string(source.ini.file),
                                   "windows", std::string(source.ini.key));
      return true;
    case SourceKind::kScheduledTasks:
      error = platform_.tasks.DeleteTask(row.place);
      return error == kErrorSuccess;
    case SourceKind::kPackageTasks:
      return false;
    case SourceKind::kLogonValue:
    case SourceKind::kDebuggers: {
      const RegistryKeySource& key = source.registry;
      RegistryAccess reg(platform_.registry, kKeySetValue | key.root.view);
      reg.SetRoot(key.root.hive);
      std::string path = RegistryKeyPath(key);
      if (source.kind == SourceKind::kDebuggers) path += "\\" + row.place;
      bool done = reg.OpenKey(path);
      if (done && source.kind == SourceKind::kDebuggers) {
        done = reg.DeleteValue("Debugger");
      } else if (done) {
        // Logon needs Shell and Userinit: they get Windows' default back
        // instead of going.
        const std::string name(source.value.name);
        switch (source.value.removal) {
          case ValueRemoval::kDelete:
            done = reg.DeleteValue(name);
            break;
          case ValueRemoval::kSetDefault:
            done = reg.TryWriteString(
                name, DefaultValueOf(source, platform_.environment.SystemDirectory()));
            break;
          case ValueRemoval::kEmpty:
            done = reg.TryWriteString(name, "");
            break;
        }
      }
      if (!done) error = platform_.registry.LastError();
      return done;
    }
  }
  return false;
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
  return BuildStartupReport(platform_, row->command, &signatures_);
}

void StartupTab::ShowStartupInfo() {
  const StartupRow* row = list_.selected();
  InfoRequest request;
  request.caption = "Info StartUp";
  request.text = "Location=" + GetStartupLocation(true);
  if (row && row->approval.disabled) request.text += "\r\n" + DisabledLine(row->approval);
  request.text += "\r\n\r\n" + GetStartupReport();
  request.yes_caption = "DELETE!!!";
  request.yes_enabled = !row || CanRemove(*row);
  request.show_stop = true;
  request.stop_caption = SwitchCaption();
  request.stop_enabled = row && row->approval.applies;
  const int result = ui_.ShowInfo(request);
  // Repainted also when the removal or the switch fails.
  const ScopeExit repaint([this] { ui_.Repaint(); });
  if (result == kResultYes && request.yes_enabled) {
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
  bool switched = false;
  switch (row.source->kind) {
    case SourceKind::kScheduledTasks:
      switched = SwitchTask(row);
      break;
    case SourceKind::kPackageTasks:
      switched = SwitchPackageTask(row);
      break;
    default:
      switched = SwitchApproved(row);
      break;
  }
  if (!switched) return;
  LoadStartupList();
  SelectEntry(row);
  list_.RequestFocus();
}

bool StartupTab::SwitchApproved(const StartupRow& row) {
  const std::optional<ApprovedPlace> place = ApprovedPlaceOf(*row.source);
  if (!place) return false;
  RegistryAccess reg(platform_.registry, kKeyQueryValue | kKeySetValue);
  reg.SetRoot(place->hive);
  const std::string& name = row.name;
  if (!reg.CreateKey(place->path)) return RefusedSwitch(name);
  // The value as it stands now, so that bits another program set are kept.
  const RegQuery current = reg.ReadValue(name);
  const RegValueData* value = current.status == RegQuery::Status::kOk ? &current.value : nullptr;
  if (!reg.TryWriteBinary(name, SwitchedApprovalBytes(value, !row.approval.disabled,
                                                      platform_.environment.CurrentFileTime()))) {
    return RefusedSwitch(name);
  }
  return true;
}

bool StartupTab::SwitchPackageTask(const StartupRow& row) {
  RegistryAccess reg(platform_.registry, kKeyQueryValue | kKeySetValue);
  reg.SetRoot(Hive::kCurrentUser);
  // 1: disabled by the user, 2: enabled, as Settings writes them.
  if (!reg.CreateKey(PackageTaskStateKey(row.place)) ||
      !reg.TryWriteDword("State", row.approval.disabled ? 2 : 1)) {
    return RefusedSwitch("State");
  }
  return true;
}

bool StartupTab::SwitchTask(const StartupRow& row) {
  TaskScheduler& tasks = platform_.tasks;
  const bool enable = row.approval.disabled;
  const std::string refusal = "The task scheduler did not switch " + row.place;
  const uint32_t error = tasks.SetTaskEnabled(row.place, enable);
  if (error != kErrorSuccess) {
    if (OfferElevation(platform_, ui_, Page::kStartup, error)) return false;
    throw AppError(refusal);
  }
  // A scheduler may take the call and keep the task as it was.
  if (tasks.TaskEnabled(row.place) != enable) throw AppError(refusal);
  return true;
}

bool StartupTab::RefusedSwitch(const std::string& name) {
  // A refusal for lack of rights may be met by restarting elevated;
  // otherwise it is said as ever.
  if (OfferElevation(platform_, ui_, Page::kStartup, platform_.registry.LastError())) return false;
  throw AppError("Failed to set data for '" + name + "'");
}

void StartupTab::SelectEntry(const StartupRow& entry) {
  const std::vector<StartupRow>& rows = list_.rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].source == entry.source && rows[i].name == entry.name &&
        rows[i].place == entry.place) {
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
  if (!selected) {
    const std::optional<Signature> verdict = signatures_.ResultOf(row.command);
    if (verdict && verdict->kind != Signature::Kind::kVerified) {
      drawing.fill_colour = kColourUnverifiedRow;
    }
  }
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

  std::size_t reached = 0;
  try {
    const int count = static_cast<int>(list_.size());
    ui_.RunWork({"Writing " + *path, WorkKind::kRows, static_cast<uint64_t>(count)},
                [&](Progress& progress) {
                  const std::optional<std::vector<std::string>> lines = StartupReportLines(
                      platform_, list_.rows(), folders_, paths_.windows_dir, &progress, &reached,
                      &signatures_);
                  // Stopped: nothing is written, the file stays as it was.
                  if (lines) ExportLines(platform_.files, *path, *lines);
                });
  } catch (...) {
    // Where the report stopped: the row whose report failed, or the last
    // row when the file could not be written.
    Select(static_cast<int>(reached));
    throw;
  }
  Select(0);
}

}  // namespace cu
