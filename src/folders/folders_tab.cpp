#include "folders/folders_tab.h"

#include "platform/errors.h"
#include "platform/text.h"
#include "presenter/refusal.h"

namespace cu {

namespace {
constexpr char kShellFoldersKey[] =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
}  // namespace

bool IsClearableFolder(int index, std::string_view name) {
  if (index == 0 || index == 1) return true;
  if (index < 0) return false;
  const std::string lower = AsciiLower(name);
  return lower == "recent" || lower == "cookies" || lower == "cache";
}

std::string ClearingResultText(Locale& locale, const RemovalTally& tally) {
  const auto counted = [&locale](uint64_t count, const char* one, const char* many) {
    return locale.FormatSize(count) + " " + (count == 1 ? one : many);
  };
  std::string text = tally.stopped ? "Stopped: removed " : "Removed ";
  text += counted(tally.files, "file", "files") + " and " +
          counted(tally.folders, "folder", "folders") + " (" + ByteSizeText(locale, tally.bytes) +
          ")";
  if (tally.left > 0) {
    text += "; " + locale.FormatSize(tally.left) +
            (tally.left == 1 ? " in use was left" : " in use were left");
  }
  return text;
}

FoldersCommands FoldersCommandsFor(int selection, bool clear_enabled) {
  FoldersCommands commands;
  commands.open = selection >= 0;
  commands.clear = clear_enabled;
  commands.info = true;
  return commands;
}

FoldersTab::FoldersTab(const Platform& platform, Ui& ui, const SystemPaths& paths)
    : platform_(platform), ui_(ui), system_paths_(paths) {}

void FoldersTab::AddRow(std::string name, std::string path) {
  list_.mutable_rows().push_back(std::move(name));
  paths_.push_back(std::move(path));
}

void FoldersTab::LoadShellFolders() {
  list_.Clear();
  paths_.clear();
  AddRow("TEMP User", WithoutBackslash(system_paths_.user_temp_dir, platform_.locale));
  AddRow("TEMP System", WithoutBackslash(system_paths_.system_temp_dir, platform_.locale));

  RegistryAccess registry(platform_.registry, kKeyRead);
  registry.SetRoot(Hive::kCurrentUser);
  ReadShellFolders(registry);
  registry.CloseKey();
  registry.SetRoot(Hive::kLocalMachine);
  ReadShellFolders(registry);

  list_.Select(0);
  count_caption_ = std::to_string(list_.size());
  SelectionChanged();
}

void FoldersTab::ReadShellFolders(RegistryAccess& registry) {
  if (!registry.OpenKey(kShellFoldersKey)) return;
  std::vector<std::string> value_names;
  registry.GetValueNames(value_names);
  for (const std::string& name : value_names) {
    std::string path = WithoutBackslash(registry.ReadString(name), platform_.locale);
    if (IsBlank(path)) continue;
    bool listed = false;
    for (const std::string& existing : paths_) {
      if (platform_.locale.CompareNoCase(existing, path) == 0) {
        listed = true;
        break;
      }
    }
    if (!listed) AddRow(name, std::move(path));
  }
}

void FoldersTab::SelectionChanged() {
  result_caption_.clear();
  const std::string* name = list_.selected();
  if (!name) {
    folder_caption_.clear();
    clear_enabled_ = false;
    return;
  }
  folder_caption_ = paths_[static_cast<std::size_t>(list_.selection())];
  clear_enabled_ = IsClearableFolder(list_.selection(), *name);
}

FoldersCommands FoldersTab::MenuState() const {
  return FoldersCommandsFor(list_.selection(), clear_enabled_);
}

void FoldersTab::ClearShownFolder() {
  result_caption_.clear();
  if (!MenuState().clear) return;
  const std::string path = folder_caption_;
  if (path.empty()) return;
  // A relative path names whatever folder is current when it is resolved.
  if (!IsFullPath(path)) {
    throw AppError("The folder's path is not a full path, so nothing was cleared: " + path);
  }
  // Opened before the question, and this very folder is cleared after it:
  // a link put at or above the path meanwhile cannot redirect the clearing.
  const RemovalRoot root = platform_.files.OpenRemovalRoot(path, true);
  if (root.status != RemovalRoot::Status::kOpen) {
    if (root.error != kErrorSuccess) {
      ReportRefusal(platform_, ui_, Page::kFolders, root.error,
                    "The folder could not be opened, so nothing was cleared");
    }
    return;
  }
  std::string shown = path;
  if (const std::optional<std::string> final_path = root.folder->FinalPath()) {
    if (platform_.locale.CompareNoCase(*final_path, path) != 0) shown = *final_path;
  }
  if (!ui_.Confirm("Clear folder " + shown + "?")) return;
  BusyCursor busy(ui_);
  RemovalTally tally;
  ui_.RunWork({"Clearing " + shown, WorkKind::kClearing, 0}, [&](Progress& progress) {
    (void)RemoveOpenFolderContents(*root.folder, tally, &progress);
  });
  result_caption_ = ClearingResultText(platform_.locale, tally);
}

void FoldersTab::OpenShownFolder() {
  result_caption_.clear();
  if (folder_caption_.empty()) return;
  platform_.shell.OpenItem(folder_caption_);
}

void FoldersTab::ShowFolderProperties() {
  result_caption_.clear();
  if (folder_caption_.empty()) return;
  if (platform_.files.GetAttributes(folder_caption_) == kInvalidAttributes) return;
  platform_.shell.ShowPropertiesSheet(folder_caption_);
}

}  // namespace cu
