#include "folders/folders_tab.h"

#include <algorithm>
#include <optional>
#include <utility>

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

void FoldersTab::AddRow(std::string name, std::string path, bool cache) {
  list_.mutable_rows().push_back(std::move(name));
  paths_.push_back(std::move(path));
  cache_rows_.push_back(cache);
}

namespace {

// The number of a browser profile folder named "Profile <N>"; nullopt for
// any other name.
std::optional<unsigned long> ProfileNumber(const std::string& name) {
  constexpr std::string_view kProfile = "Profile ";
  if (name.size() <= kProfile.size() || name.compare(0, kProfile.size(), kProfile) != 0) {
    return std::nullopt;
  }
  const std::string digits = name.substr(kProfile.size());
  if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return std::stoul(digits);
}

}  // namespace

bool FoldersTab::IsFolder(const std::string& path) const {
  const uint32_t attributes = platform_.files.GetAttributes(path);
  return attributes != kInvalidAttributes && (attributes & kAttrDirectory) != 0;
}

std::vector<std::string> FoldersTab::SubfolderNames(const std::string& folder) const {
  std::vector<std::string> names;
  std::unique_ptr<FileSearch> search = platform_.files.FindFirst(folder + "\\*");
  if (!search) return names;
  while (std::optional<FindData> entry = search->Next()) {
    if ((entry->attributes & kAttrDirectory) == 0 || entry->long_name == "." ||
        entry->long_name == "..") {
      continue;
    }
    names.push_back(entry->long_name);
  }
  return names;
}

void FoldersTab::AddBrowserCaches(const std::string& caption, const std::string& user_data) {
  std::vector<std::pair<unsigned long, std::string>> profiles;
  for (const std::string& name : SubfolderNames(user_data)) {
    if (const std::optional<unsigned long> number = ProfileNumber(name)) {
      profiles.emplace_back(*number, name);
    }
  }
  std::sort(profiles.begin(), profiles.end());
  const auto add = [&](const std::string& profile, const std::string& name) {
    const std::string cache = user_data + "\\" + profile + "\\Cache";
    if (IsFolder(cache)) AddRow(name, cache, true);
  };
  add("Default", caption);
  for (const auto& [number, profile] : profiles) add(profile, caption + " (" + profile + ")");
}

void FoldersTab::AddTodaysCaches() {
  const std::optional<std::string> expanded =
      platform_.environment.ExpandEnvironmentStrings("%LOCALAPPDATA%");
  // Unexpanded, the variable is not set: there is no such folder to offer.
  if (!expanded || expanded->empty() || expanded->find('%') != std::string::npos) return;
  const std::string local = WithoutBackslash(*expanded, platform_.locale);
  AddBrowserCaches("Edge cache", local + "\\Microsoft\\Edge\\User Data");
  AddBrowserCaches("Chrome cache", local + "\\Google\\Chrome\\User Data");
  const std::string firefox = local + "\\Mozilla\\Firefox\\Profiles";
  std::vector<std::string> profiles = SubfolderNames(firefox);
  std::stable_sort(profiles.begin(), profiles.end(), [this](const std::string& a, const std::string& b) {
    return platform_.locale.CompareNoCase(a, b) < 0;
  });
  for (const std::string& profile : profiles) {
    const std::string cache = firefox + "\\" + profile + "\\cache2";
    if (IsFolder(cache)) AddRow("Firefox cache (" + profile + ")", cache, true);
  }
  for (const auto& [name, below] : {std::pair<const char*, const char*>{"Error reports", "\\Microsoft\\Windows\\WER"},
                                    {"Crash dumps", "\\CrashDumps"}}) {
    if (IsFolder(local + below)) AddRow(name, local + below, true);
  }
}

void FoldersTab::LoadShellFolders() {
  list_.Clear();
  paths_.clear();
  cache_rows_.clear();
  AddRow("TEMP User", WithoutBackslash(system_paths_.user_temp_dir, platform_.locale));
  AddRow("TEMP System", WithoutBackslash(system_paths_.system_temp_dir, platform_.locale));

  RegistryAccess registry(platform_.registry, kKeyRead);
  registry.SetRoot(Hive::kCurrentUser);
  ReadShellFolders(registry);
  registry.CloseKey();
  registry.SetRoot(Hive::kLocalMachine);
  ReadShellFolders(registry);
  registry.CloseKey();
  AddTodaysCaches();

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
    counter_.Stop();
    return;
  }
  folder_caption_ = paths_[static_cast<std::size_t>(list_.selection())];
  const std::size_t row = static_cast<std::size_t>(list_.selection());
  clear_enabled_ = cache_rows_[row] || IsClearableFolder(list_.selection(), *name);
  CountShownFolder();
}

void FoldersTab::CountShownFolder() {
  // A clearing's result line stays until the next action on the tab; a path
  // that is not a full one is never cleared, so it is not counted.
  if (result_caption_.empty() && clear_enabled_ && IsFullPath(folder_caption_)) {
    counter_.Count(folder_caption_);
  } else {
    counter_.Stop();
  }
}

FoldersCommands FoldersTab::MenuState() const {
  return FoldersCommandsFor(list_.selection(), clear_enabled_);
}

void FoldersTab::ClearShownFolder() {
  result_caption_.clear();
  counter_.Stop();
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
