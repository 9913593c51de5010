#include "startup/startup_places.h"

#include "platform/errors.h"
#include "platform/registry_access.h"
#include "platform/text.h"

namespace cu {

namespace {

constexpr std::string_view kPackageRepository =
    "\\Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\"
    "Repository\\Packages";
constexpr std::string_view kPackageStates =
    "\\Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\"
    "SystemAppData\\";

// A task's folders may nest; deeper than this is not a task store.
constexpr int kMaxTaskFolderDepth = 32;

// An XML boolean that says no.
bool IsFalse(const std::string& text) {
  const std::string value = Trim(text);
  return value == "false" || value == "0";
}

bool IsWindowsTask(const std::string& path) {
  const std::string folder = AsciiLower(kWindowsTaskFolder) + "\\";
  return AsciiLower(path).rfind(folder, 0) == 0;
}

// The key system name `name` is the key `same_as` names, read through the other view.
bool ReadAlready(const std::optional<std::string>& same_as, const std::optional<std::string>& name) {
  return same_as && name && AsciiLower(*same_as) == AsciiLower(*name);
}

// Every task definition file below `folder` ("...\Tasks"), named by its
// path below it ("\Vendor\Updater"), leaving out Windows' own folder and
// never entering a linked folder.
void CollectTaskFiles(FileSystem& files, const std::string& folder, const std::string& below,
                      int depth, std::vector<RegisteredTask>& tasks) {
  if (depth > kMaxTaskFolderDepth) return;
  std::unique_ptr<FileSearch> search = files.FindFirst(folder + "\\*");
  if (!search) return;
  while (std::optional<FindData> entry = search->Next()) {
    if (entry->long_name == "." || entry->long_name == "..") continue;
    const std::string path = below + "\\" + entry->long_name;
    if ((entry->attributes & kAttrDirectory) != 0) {
      if ((entry->attributes & kAttrReparsePoint) != 0) continue;
      if (AsciiLower(path) == AsciiLower(kWindowsTaskFolder)) continue;
      CollectTaskFiles(files, folder + "\\" + entry->long_name, path, depth + 1, tasks);
    } else if (std::optional<std::string> xml =
                   files.ReadFileBytes(folder + "\\" + entry->long_name, kMaxXmlBytes)) {
      tasks.push_back({path, std::move(*xml), std::nullopt});
    }
  }
}

// A REG_DWORD's number; nullopt for anything else.
std::optional<uint32_t> DwordOf(const RegQuery& query) {
  if (query.status != RegQuery::Status::kOk || query.value.type != kRegDword ||
      query.value.bytes.size() < 4) {
    return std::nullopt;
  }
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    value |= uint32_t{static_cast<unsigned char>(query.value.bytes[i])} << (8 * i);
  }
  return value;
}

void CollectStartupTasks(const XmlElement& element, const std::string& application_executable,
                         std::vector<ManifestStartupTask>& tasks) {
  const std::string executable = element.name == "Application"
                                     ? element.Attribute("Executable").value_or("")
                                     : application_executable;
  if (element.name == "Extension" && element.Attribute("Category") == "windows.startupTask") {
    if (const XmlElement* task = element.Child("StartupTask")) {
      ManifestStartupTask found;
      found.executable = element.Attribute("Executable").value_or(executable);
      found.task_id = task->Attribute("TaskId").value_or("");
      found.display_name = task->Attribute("DisplayName").value_or("");
      found.enabled = !IsFalse(task->Attribute("Enabled").value_or("false"));
      if (!found.task_id.empty()) tasks.push_back(std::move(found));
    }
  }
  for (const XmlElement& child : element.children) {
    CollectStartupTasks(child, executable, tasks);
  }
}

}  // namespace

std::string DefaultValueOf(const StartupSource& source, const std::string& system_dir) {
  if (source.value.rule == ValueRule::kUnlessUserinit) {
    return WithBackslash(system_dir) + "userinit.exe,";
  }
  return "explorer.exe";
}

std::optional<StartingTask> StartingTaskOf(const XmlElement& task) {
  bool starts = false;
  if (const XmlElement* triggers = task.Child("Triggers")) {
    for (const XmlElement& trigger : triggers->children) {
      if ((trigger.name == "LogonTrigger" || trigger.name == "BootTrigger") &&
          !IsFalse(trigger.ChildText("Enabled"))) {
        starts = true;
      }
    }
  }
  if (!starts) return std::nullopt;
  StartingTask starting;
  if (const XmlElement* settings = task.Child("Settings")) {
    starting.enabled = !IsFalse(settings->ChildText("Enabled"));
  }
  if (const XmlElement* actions = task.Child("Actions")) {
    for (const XmlElement& action : actions->children) {
      if (action.name != "Exec") continue;
      starting.programs.push_back(
          {Trim(action.ChildText("Command")), Trim(action.ChildText("Arguments"))});
    }
  }
  return starting;
}

std::string PackageFamilyName(const std::string& full_name) {
  const std::size_t first = full_name.find('_');
  if (first == std::string::npos) return full_name;
  return full_name.substr(0, first) + "_" + full_name.substr(full_name.rfind('_') + 1);
}

std::vector<ManifestStartupTask> ManifestStartupTasks(const XmlElement& manifest) {
  std::vector<ManifestStartupTask> tasks;
  CollectStartupTasks(manifest, {}, tasks);
  return tasks;
}

std::string PackageTaskStateKey(const std::string& place) {
  return std::string(kPackageStates) + place;
}

void ReadScheduledTasks(const Platform& platform, const StartupSource& source,
                        const std::string& system_dir, std::vector<StartupRow>& rows) {
  std::optional<std::vector<RegisteredTask>> tasks =
      platform.tasks.AllTasks(std::string(kWindowsTaskFolder));
  if (!tasks) {
    // The scheduler keeps each task's definition as a file of its store.
    tasks.emplace();
    if (!system_dir.empty()) {
      CollectTaskFiles(platform.files, WithoutBackslash(system_dir) + "\\Tasks", "", 0, *tasks);
    }
  }
  for (const RegisteredTask& task : *tasks) {
    if (IsWindowsTask(task.path)) continue;
    const std::optional<XmlElement> definition = platform.xml.Parse(task.xml);
    if (!definition || definition->name != "Task") continue;
    const std::optional<StartingTask> starting = StartingTaskOf(*definition);
    if (!starting) continue;
    const bool enabled = task.enabled.value_or(starting->enabled);
    for (const TaskProgram& program : starting->programs) {
      if (program.command.empty()) continue;
      std::string command = program.command;
      if (!program.arguments.empty()) command += " " + program.arguments;
      StartupRow& row = rows.emplace_back();
      row.source = &source;
      row.name = task.path;
      row.text = task.path + "=" + command;
      row.command = std::move(command);
      row.place = task.path;
      row.approval.applies = true;
      row.approval.disabled = !enabled;
    }
  }
}

void ReadPackageTasks(const Platform& platform, const StartupSource& source,
                      std::vector<StartupRow>& rows) {
  RegistryAccess reg(platform.registry, kKeyRead);
  reg.SetRoot(Hive::kCurrentUser);
  if (!reg.OpenKey(std::string(kPackageRepository))) return;
  std::vector<std::string> packages;
  reg.GetSubKeyNames(packages);
  for (const std::string& package : packages) {
    std::string folder;
    if (!reg.OpenKey(std::string(kPackageRepository) + "\\" + package)) continue;
    try {
      folder = reg.ReadString("PackageRootFolder");
    } catch (const AppError&) {
      continue;  // a folder that cannot be read is a package that gives no row
    }
    if (folder.empty()) continue;
    folder = WithBackslash(folder, platform.locale);
    const std::optional<std::string> bytes =
        platform.files.ReadFileBytes(folder + "AppxManifest.xml", kMaxXmlBytes);
    if (!bytes) continue;
    const std::optional<XmlElement> manifest = platform.xml.Parse(*bytes);
    if (!manifest) continue;
    const std::string family = PackageFamilyName(package);
    for (const ManifestStartupTask& task : ManifestStartupTasks(*manifest)) {
      StartupRow& row = rows.emplace_back();
      row.source = &source;
      row.place = family + "\\" + task.task_id;
      // 0 disabled, 1 disabled by the user, 2 enabled, 3 disabled by
      // policy, 4 enabled by policy; without a State, the manifest's word.
      std::optional<uint32_t> state;
      if (reg.OpenKey(PackageTaskStateKey(row.place))) state = DwordOf(reg.ReadValue("State"));
      const uint32_t current = state.value_or(task.enabled ? 2 : 0);
      row.approval.applies = current != 3 && current != 4;
      row.approval.disabled = current != 2 && current != 4;
      const bool named = !task.display_name.empty() &&
                         AsciiLower(task.display_name).rfind("ms-resource:", 0) != 0;
      row.name = named ? task.display_name : task.task_id;
      row.command = folder + task.executable;
      row.text = row.name + "=" + row.command;
    }
  }
  reg.CloseKey();
}

std::optional<std::string> ReadLogonValue(const Platform& platform, const StartupSource& source,
                                          const std::string& system_dir,
                                          std::vector<StartupRow>& rows, LoadErrors& errors,
                                          const std::optional<std::string>& same_as) {
  const RegistryKeySource& key = source.registry;
  const std::string name(source.value.name);
  RegistryAccess reg(platform.registry, kKeyRead | key.root.view);
  reg.SetRoot(key.root.hive);
  std::optional<std::string> name_of_key;
  RegQuery query;
  if (reg.OpenKey(RegistryKeyPath(key))) {
    name_of_key = reg.CurrentKeyName();
    if (!ReadAlready(same_as, name_of_key)) query = reg.ReadValue(name);
  }
  reg.CloseKey();
  if (query.status == RegQuery::Status::kMissing) return name_of_key;
  std::optional<std::string> data;
  errors.Collect([&] { data = RegistryAccess::StringOf(name, query); });
  if (!data) return name_of_key;

  bool listed = true;
  switch (source.value.rule) {
    case ValueRule::kUnlessShell:
      listed = AsciiLower(*data) != "explorer.exe";
      break;
    case ValueRule::kUnlessUserinit: {
      const std::string lower = AsciiLower(*data);
      const std::string usual = AsciiLower(WithBackslash(system_dir) + "userinit.exe");
      listed = lower != usual && lower != usual + ",";
      break;
    }
    case ValueRule::kWhenPresent:
      break;
    case ValueRule::kWhenNotBlank:
      listed = !IsBlank(*data);
      break;
  }
  if (listed) rows.push_back({&source, name, *data, name + "=" + *data, {}, {}});
  return name_of_key;
}

std::optional<std::string> ReadDebuggers(RegistryBackend& registry, const StartupSource& source,
                                         std::vector<StartupRow>& rows, LoadErrors& errors,
                                         const std::optional<std::string>& same_as) {
  const RegistryKeySource& key = source.registry;
  RegistryAccess reg(registry, kKeyRead | key.root.view);
  reg.SetRoot(key.root.hive);
  if (!reg.OpenKey(RegistryKeyPath(key))) return std::nullopt;
  const std::optional<std::string> name_of_key = reg.CurrentKeyName();
  std::vector<std::string> programs;
  if (!ReadAlready(same_as, name_of_key)) reg.GetSubKeyNames(programs);
  for (const std::string& program : programs) {
    if (!reg.OpenKey(RegistryKeyPath(key) + "\\" + program)) continue;
    const RegQuery query = reg.ReadValue("Debugger");
    if (query.status == RegQuery::Status::kMissing) continue;
    std::string debugger;
    errors.Collect([&] { debugger = RegistryAccess::StringOf("Debugger", query); });
    if (IsBlank(debugger)) continue;
    rows.push_back({&source, program, debugger, program + "=" + debugger, {}, program});
  }
  reg.CloseKey();
  return name_of_key;
}

}  // namespace cu
