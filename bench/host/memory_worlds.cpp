#include "bench/host/memory_worlds.h"

#include "startup/startup_catalogue.h"
#include "urls/urls_tab.h"

namespace cu::bench {

namespace {

memory::VersionData ProgramVersion(const std::string& path) {
  memory::VersionData data;
  data.translations.push_back({0x0409, 1200});
  data.tables["040904B0"] = {
      {"OriginalFilename", path.substr(path.rfind('\\') + 1)},
      {"ProductName", "Benchmark product"},
      {"ProductVersion", "1.2.0.0"},
      {"FileVersion", "1.2.3.4"},
      {"CompanyName", "Clear Utility Benchmarks"},
      {"FileDescription", "A program the StartUp report reads"},
      {"InternalName", "versioned"},
      {"LegalCopyright", "(c) nobody"},
  };
  return data;
}

}  // namespace

SystemPaths MemorySystemPaths() {
  return SystemPaths{"C:\\windows", "C:\\users\\user\\Temp\\", "C:\\windows\\Temp"};
}

void SeedStartupWorld(memory::MemoryMachine& machine, const StartupWorld& world) {
  // The system programs the report's commands name, and the search path.
  machine.files.AddFile(std::string(kMemorySystemDir) + "\\rundll32.exe", std::string(40000, 'x'));
  machine.versions.Set(std::string(kMemorySystemDir) + "\\rundll32.exe",
                       ProgramVersion("rundll32.exe"));
  machine.files.AddFile(std::string(kMemorySystemDir) + "\\notepad.exe", std::string(90000, 'x'));
  machine.files.SetSearchFolders({kMemorySystemDir, "C:\\windows"});
  machine.environment.variables["PROGRAMFILES"] = "C:\\Program Files";

  for (const RegistryItem& value : world.values) {
    machine.registry.SetString(value.hive, value.key, value.name, value.data);
  }
  for (const RegistryItem& value : world.approved) {
    machine.registry.SetValue(value.hive, value.key, value.name, kRegBinary, value.data);
  }
  for (const RegistryItem& value : world.app_paths) {
    machine.registry.SetString(value.hive, value.key, value.name, value.data);
  }
  for (const FileItem& file : world.files) {
    machine.files.AddFile(file.path, std::string(2048, 'p'), kAttrArchive,
                          LocalTime{2024, 5, 17, 13, 45, 30});
    if (file.versioned) machine.versions.Set(file.path, ProgramVersion(file.path));
  }

  machine.registry.SetString(Hive::kCurrentUser, std::string(kShellFoldersKey).substr(1),
                             "Startup", world.startup_folder);
  machine.files.AddFolder(world.startup_folder);
  for (const FolderItem& entry : world.folder_entries) {
    const std::string path = world.startup_folder + "\\" + entry.name;
    machine.files.AddFile(path, std::string(512, 's'));
    if (!entry.shortcut_target.empty()) machine.shell.SetShortcutTarget(path, entry.shortcut_target);
  }
}

void SeedServices(memory::MemoryServiceManager& services, int count) {
  for (const ServiceItem& item : MakeServices(count)) {
    memory::MemoryService service;
    service.name = item.name;
    service.display_name = item.display_name;
    service.state = item.running ? kServiceRunning : kServiceStopped;
    service.binary_path = "C:\\windows\\system32\\svchost.exe -k " + item.name;
    services.Add(std::move(service));
  }
}

void SeedTree(memory::MemoryFileSystem& files, const std::string& root, const Tree& tree) {
  files.AddFolder(root);
  const std::string prefix = root + "\\";
  for (const std::string& folder : tree.folders) files.AddFolder(prefix + folder);
  const std::string content(100, 't');
  for (const std::string& file : tree.files) files.AddFile(prefix + file, content);
}

void SeedUrls(memory::MemoryRegistry& registry, int count) {
  const std::string key = std::string(kTypedUrlsKey).substr(1);
  const std::vector<std::string> urls = MakeUrls(count);
  for (std::size_t i = 0; i < urls.size(); ++i) {
    registry.SetString(Hive::kCurrentUser, key, "url" + std::to_string(i + 1), urls[i]);
  }
}

}  // namespace cu::bench
