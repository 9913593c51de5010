#include "bench/windows/seed.h"

// First: <windows.h> with the names the platform interfaces need.
#include "bench/windows/bench_support.h"

#include <cstdio>
#include <map>
#include <optional>
#include <shlobj.h>

#include "startup/startup_catalogue.h"
#include "startup/startup_places.h"
#include "urls/urls_tab.h"

namespace cu::bench::win {

namespace {

constexpr char kAppPathsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";

// The names the newer places' seeding gives what it adds: the tasks' folder
// (below the task store and below Windows' own folder), the packages'
// names, the debugged programs' keys (as the App Paths tools').
constexpr char kTaskFolder[] = "CuBench";
constexpr char kPackagePrefix[] = "CuBench.";
constexpr char kProgramPrefix[] = "cu-bench-";
// What goes into Winlogon and AppInit_DLLs; the files need not exist.
constexpr char kShellProgram[] = "C:\\ProgramData\\cu-bench\\cu-bench-shell.exe";
constexpr char kTaskmanProgram[] = "C:\\ProgramData\\cu-bench\\cu-bench-taskman.exe";
constexpr char kAppInitDll[] = "C:\\ProgramData\\cu-bench\\cu-bench-hook.dll";

std::string KeyPathOf(int tag) { return std::string(FindStartupSource(tag)->registry.path); }

UniqueHkey CreateKey(Hive hive, const std::string& path, REGSAM view = 0) {
  UniqueHkey key;
  const LSTATUS status = ::RegCreateKeyExA(RootKey(hive), path.c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS | view, nullptr, key.receive(), nullptr);
  ::SetLastError(static_cast<DWORD>(status));
  Check(status == ERROR_SUCCESS, "RegCreateKeyExA " + path);
  return key;
}

void SetString(HKEY key, const std::string& name, const std::string& text) {
  const LSTATUS status = ::RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(text.c_str()),
                                          static_cast<DWORD>(text.size() + 1));
  ::SetLastError(static_cast<DWORD>(status));
  Check(status == ERROR_SUCCESS, "RegSetValueExA " + name);
}

// Names of a key's values or subkeys that start with `prefix`.
std::vector<std::string> NamesWithPrefix(HKEY key, const std::string& prefix, bool subkeys) {
  std::vector<std::string> names;
  char buffer[1024];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof buffer;
    const LSTATUS status =
        subkeys ? ::RegEnumKeyExA(key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr)
                : ::RegEnumValueA(key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    const std::string name(buffer, length);
    if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
  }
  return names;
}

std::string ParentOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }

std::string Padded(int number, int width) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", width, number);
  return buffer;
}

std::optional<std::string> StringValue(HKEY key, const char* name) {
  char buffer[4096];
  DWORD size = sizeof buffer - 1;
  DWORD type = 0;
  if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  buffer[size] = 0;
  return std::string(buffer);
}

// Shell and AppInit_DLLs take lists: the program goes after a comma, or
// alone where the value was missing, so that TakeProgramOut puts back
// exactly what was there (an empty value too).
void AppendProgram(HKEY key, const char* name, const std::string& program) {
  const std::optional<std::string> current = StringValue(key, name);
  if (current && current->find(program) != std::string::npos) return;
  SetString(key, name, current ? *current + "," + program : program);
}

void TakeProgramOut(HKEY key, const char* name, const std::string& program) {
  const std::optional<std::string> current = StringValue(key, name);
  const std::string appended = "," + program;
  if (!current) return;
  if (*current == program) {
    ::RegDeleteValueA(key, name);
  } else if (current->size() >= appended.size() &&
             current->compare(current->size() - appended.size(), appended.size(), appended) == 0) {
    SetString(key, name, current->substr(0, current->size() - appended.size()));
  }
}

// Deletes `path` and then its parents, up to `stop` (kept), while each
// holds neither keys nor values: the keys the seeding had to create.
void DeleteEmptyKeys(HKEY root, std::string path, const std::string& stop) {
  for (; path.size() > stop.size(); path = ParentOf(path)) {
    {
      UniqueHkey key;
      if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) {
        continue;
      }
      DWORD subkeys = 1;
      DWORD values = 1;
      if (::RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                             &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
          subkeys != 0 || values != 0) {
        return;
      }
    }
    ::RegDeleteKeyA(root, path.c_str());
  }
}

// The same for folders: RemoveDirectoryA takes only an empty one.
void RemoveEmptyFolders(std::string path, const std::string& stop) {
  for (; path.size() > stop.size(); path = ParentOf(path)) {
    if (!::RemoveDirectoryA(path.c_str()) &&
        ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
      return;
    }
  }
}

// A task definition as Wine's scheduler stores it: UTF-8 with a byte-order
// mark, its comment, no declaration. By i % 10: 0-4 start at logon, 5 at
// boot, 6 at both, 7 daily only (no row), 8 at logon but switched off in
// its settings, 9 at logon and daily with the logon trigger switched off
// every other time (no row then). Every third runs two programs.
std::string TaskDefinition(int i, const std::string& path) {
  const int kind = i % 10;
  const std::string logon = std::string("    <LogonTrigger>\n      <Enabled>") +
                            (kind == 9 && i % 20 == 19 ? "false" : "true") +
                            "</Enabled>\n    </LogonTrigger>\n";
  const std::string boot =
      "    <BootTrigger>\n      <Enabled>true</Enabled>\n      <Delay>PT30S</Delay>\n"
      "    </BootTrigger>\n";
  const std::string daily =
      "    <CalendarTrigger>\n      <StartBoundary>2024-05-17T09:00:00</StartBoundary>\n"
      "      <ScheduleByDay>\n        <DaysInterval>1</DaysInterval>\n      </ScheduleByDay>\n"
      "    </CalendarTrigger>\n";
  std::string triggers;
  if (kind <= 4 || kind >= 8) triggers += logon;
  if (kind == 5 || kind == 6) triggers += boot;
  if (kind == 6) triggers += logon;
  if (kind == 7 || kind == 9) triggers += daily;
  const std::string program = "\"C:\\Program Files\\Vendor " + Padded(i % 97, 2) + "\\Task" +
                              Padded(i, 4) + ".exe\"";
  std::string actions = "    <Exec>\n      <Command>" + program +
                        "</Command>\n      <Arguments>/logon --quiet</Arguments>\n    </Exec>\n";
  if (i % 3 == 0) {
    actions += "    <Exec>\n      <Command>C:\\windows\\system32\\rundll32.exe</Command>\n"
               "      <Arguments>C:\\Program Files\\Common\\Task" + Padded(i, 4) +
               ".dll,Start</Arguments>\n"
               "      <WorkingDirectory>C:\\Program Files\\Common</WorkingDirectory>\n"
               "    </Exec>\n";
  }
  return "\xEF\xBB\xBF<!-- Task definition created by Wine -->\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
         "  <RegistrationInfo>\n    <Author>Clear Utility Benchmarks</Author>\n"
         "    <Description>Keeps task " + Padded(i, 4) + " up to date</Description>\n"
         "    <URI>" + path + "</URI>\n  </RegistrationInfo>\n"
         "  <Triggers>\n" + triggers + "  </Triggers>\n"
         "  <Principals>\n    <Principal id=\"Author\">\n"
         "      <LogonType>InteractiveToken</LogonType>\n"
         "      <RunLevel>LeastPrivilege</RunLevel>\n    </Principal>\n  </Principals>\n"
         "  <Settings>\n    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\n"
         "    <DisallowStartIfOnBatteries>true</DisallowStartIfOnBatteries>\n"
         "    <StopIfGoingOnBatteries>true</StopIfGoingOnBatteries>\n"
         "    <AllowHardTerminate>true</AllowHardTerminate>\n"
         "    <StartWhenAvailable>false</StartWhenAvailable>\n"
         "    <RunOnlyIfNetworkAvailable>false</RunOnlyIfNetworkAvailable>\n"
         "    <IdleSettings>\n      <StopOnIdleEnd>true</StopOnIdleEnd>\n"
         "      <RestartOnIdle>false</RestartOnIdle>\n    </IdleSettings>\n"
         "    <AllowStartOnDemand>true</AllowStartOnDemand>\n"
         "    <Enabled>" + (kind == 8 ? "false" : "true") + "</Enabled>\n"
         "    <Hidden>false</Hidden>\n    <RunOnlyIfIdle>false</RunOnlyIfIdle>\n"
         "    <WakeToRun>false</WakeToRun>\n    <ExecutionTimeLimit>PT72H</ExecutionTimeLimit>\n"
         "    <Priority>7</Priority>\n  </Settings>\n"
         "  <Actions Context=\"Author\">\n" + actions + "  </Actions>\n</Task>\n";
}

// A packaged app's manifest declaring `tasks` startup tasks; the second
// names no executable of its own (the Application's applies), and every
// fourth package's names are resource references (the TaskId is shown).
std::string PackageManifest(int p, int tasks) {
  const std::string app = "App" + Padded(p, 3);
  std::string extensions;
  for (int k = 0; k < tasks; ++k) {
    const std::string executable =
        k == 0 ? " Executable=\"" + app + "\\Tray" + Padded(p, 3) + ".exe\"" : "";
    const std::string display = p % 4 == 3 ? "ms-resource:StartupTaskName"
                                           : "cu-bench " + app + " startup " + std::to_string(k);
    extensions += "        <uap5:Extension Category=\"windows.startupTask\"" + executable +
                  " EntryPoint=\"Windows.FullTrustApplication\">\n"
                  "          <uap5:StartupTask TaskId=\"CuBenchStartup" + std::to_string(k) +
                  "\" Enabled=\"" + ((p + k) % 2 == 0 ? "true" : "false") + "\" DisplayName=\"" +
                  display + "\"/>\n        </uap5:Extension>\n";
  }
  return "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<Package xmlns=\"http://schemas.microsoft.com/appx/manifest/foundation/windows10\" "
         "xmlns:uap=\"http://schemas.microsoft.com/appx/manifest/uap/windows10\" "
         "xmlns:uap5=\"http://schemas.microsoft.com/appx/manifest/uap/windows10/5\" "
         "xmlns:rescap=\"http://schemas.microsoft.com/appx/manifest/foundation/windows10/"
         "restrictedcapabilities\" "
         "IgnorableNamespaces=\"uap uap5 rescap\">\n"
         "  <Identity Name=\"" + std::string(kPackagePrefix) + app +
         "\" Publisher=\"CN=Clear Utility Benchmarks\" Version=\"1.4." + std::to_string(p) +
         ".0\" ProcessorArchitecture=\"x64\"/>\n"
         "  <Properties>\n    <DisplayName>cu-bench " + app + "</DisplayName>\n"
         "    <PublisherDisplayName>Clear Utility Benchmarks</PublisherDisplayName>\n"
         "    <Logo>Assets\\StoreLogo.png</Logo>\n  </Properties>\n"
         "  <Dependencies>\n"
         "    <TargetDeviceFamily Name=\"Windows.Desktop\" MinVersion=\"10.0.17763.0\" "
         "MaxVersionTested=\"10.0.22621.0\"/>\n  </Dependencies>\n"
         "  <Resources>\n    <Resource Language=\"en-us\"/>\n  </Resources>\n"
         "  <Applications>\n    <Application Id=\"App\" Executable=\"" + app + "\\" + app +
         ".exe\" EntryPoint=\"Windows.FullTrustApplication\">\n"
         "      <uap:VisualElements DisplayName=\"cu-bench " + app +
         "\" Description=\"A packaged app of the benchmark\" BackgroundColor=\"transparent\" "
         "Square150x150Logo=\"Assets\\Square150x150Logo.png\" "
         "Square44x44Logo=\"Assets\\Square44x44Logo.png\"/>\n"
         "      <Extensions>\n" + extensions + "      </Extensions>\n    </Application>\n"
         "  </Applications>\n  <Capabilities>\n    <rescap:Capability Name=\"runFullTrust\"/>\n"
         "  </Capabilities>\n</Package>\n";
}

}  // namespace

std::string TaskStoreFolder() {
  char buffer[MAX_PATH + 1] = {};
  const UINT n = ::GetSystemDirectoryA(buffer, sizeof buffer);
  Check(n > 0 && n < sizeof buffer, "GetSystemDirectoryA");
  return std::string(buffer, n) + "\\Tasks";
}

void RemoveSeededStartup() {
  std::vector<RegistryItem> spots = SpreadKeys();
  for (RegistryItem& key : ApprovedKeys()) spots.push_back(std::move(key));
  for (const RegistryItem& spot : spots) {
    UniqueHkey key;
    if (::RegOpenKeyExA(RootKey(spot.hive), spot.key.c_str(), 0, KEY_ALL_ACCESS, key.receive()) !=
        ERROR_SUCCESS) {
      continue;
    }
    for (const std::string& name : NamesWithPrefix(key.get(), kSeedPrefix, false)) {
      ::RegDeleteValueA(key.get(), name.c_str());
    }
  }
  UniqueHkey app_paths;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, KEY_ALL_ACCESS, app_paths.receive()) ==
      ERROR_SUCCESS) {
    for (const std::string& name : NamesWithPrefix(app_paths.get(), "cu-bench-", true)) {
      ::RegDeleteKeyA(app_paths.get(), name.c_str());
    }
  }
  (void)RemoveTree(SandboxRoot() + "\\startup");

  // The newer places.
  const std::string store = TaskStoreFolder();
  const std::string windows_tasks = store + std::string(kWindowsTaskFolder);
  (void)RemoveTree(store + "\\" + kTaskFolder);
  (void)RemoveTree(windows_tasks + "\\" + kTaskFolder);
  RemoveEmptyFolders(windows_tasks, ParentOf(store));
  const std::string app_model = kAppModelKey;
  for (const char* below : {"\\Repository\\Packages", "\\SystemAppData"}) {
    {
      UniqueHkey key;
      if (::RegOpenKeyExA(HKEY_CURRENT_USER, (app_model + below).c_str(), 0, KEY_ALL_ACCESS,
                          key.receive()) == ERROR_SUCCESS) {
        for (const std::string& name : NamesWithPrefix(key.get(), kPackagePrefix, true)) {
          ::RegDeleteTreeA(key.get(), name.c_str());
        }
      }
    }
    DeleteEmptyKeys(HKEY_CURRENT_USER, app_model + below, "Software\\Classes");
  }
  (void)RemoveTree(SandboxRoot() + "\\packages");
  for (const REGSAM view : {REGSAM{0}, REGSAM{KEY_WOW64_32KEY}}) {
    UniqueHkey options;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPathOf(kTagDebuggers).c_str(), 0,
                        KEY_ALL_ACCESS | view, options.receive()) == ERROR_SUCCESS) {
      for (const std::string& name : NamesWithPrefix(options.get(), kProgramPrefix, true)) {
        ::RegDeleteKeyA(options.get(), name.c_str());
      }
    }
  }
  UniqueHkey winlogon;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPathOf(kTagWinlogonShell).c_str(), 0, KEY_ALL_ACCESS,
                      winlogon.receive()) == ERROR_SUCCESS) {
    TakeProgramOut(winlogon.get(), "Shell", kShellProgram);
    TakeProgramOut(winlogon.get(), "Taskman", kTaskmanProgram);
  }
  UniqueHkey windows;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPathOf(kTagAppInitDlls).c_str(), 0, KEY_ALL_ACCESS,
                      windows.receive()) == ERROR_SUCCESS) {
    TakeProgramOut(windows.get(), "AppInit_DLLs", kAppInitDll);
  }
}

void SeedStartup(const StartupWorld& world) {
  std::map<std::pair<int, std::string>, UniqueHkey> keys;
  auto write = [&](const RegistryItem& item) {
    UniqueHkey& key = keys[{static_cast<int>(item.hive), item.key}];
    if (!key) key = CreateKey(item.hive, item.key);
    SetString(key.get(), item.name, item.data);
  };
  for (const RegistryItem& item : world.values) write(item);
  for (const RegistryItem& item : world.app_paths) write(item);
  for (const RegistryItem& item : world.approved) {
    UniqueHkey& key = keys[{static_cast<int>(item.hive), item.key}];
    if (!key) key = CreateKey(item.hive, item.key);
    const LSTATUS status = ::RegSetValueExA(key.get(), item.name.c_str(), 0, REG_BINARY,
                                            reinterpret_cast<const BYTE*>(item.data.data()),
                                            static_cast<DWORD>(item.data.size()));
    ::SetLastError(static_cast<DWORD>(status));
    Check(status == ERROR_SUCCESS, "RegSetValueExA " + item.name);
  }
  keys.clear();

  const std::string versioned = ExeFolder() + "cu_bench_versioned.exe";
  for (const FileItem& file : world.files) {
    Check(MakeFolders(ParentOf(file.path)), "CreateDirectoryA " + ParentOf(file.path));
    if (file.versioned) {
      Check(::CopyFileA(versioned.c_str(), file.path.c_str(), FALSE) != FALSE,
            "CopyFileA " + file.path);
    } else {
      Check(WriteWholeFile(file.path, std::string(2048, 'p')), "CreateFileA " + file.path);
    }
  }

  (void)RemoveTree(world.startup_folder);
  Check(MakeFolders(world.startup_folder), "CreateDirectoryA " + world.startup_folder);
  ComPtr<IShellLinkA> link;
  ComPtr<IPersistFile> persist;
  for (const FolderItem& entry : world.folder_entries) {
    const std::string path = world.startup_folder + "\\" + entry.name;
    if (entry.shortcut_target.empty()) {
      Check(WriteWholeFile(path, std::string(512, 's')), "CreateFileA " + path);
      continue;
    }
    if (!link) {
      HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, link.receive());
      Check(SUCCEEDED(hr), "CoCreateInstance(ShellLink)");
      hr = link->QueryInterface(IID_IPersistFile, persist.receive());
      Check(SUCCEEDED(hr), "QueryInterface(IPersistFile)");
    }
    Check(SUCCEEDED(link->SetPath(entry.shortcut_target.c_str())), "SetPath " + path);
    Check(SUCCEEDED(persist->Save(ToWide(path).c_str(), TRUE)), "IPersistFile::Save " + path);
  }

  // Wine's shell rewrites "Shell Folders" from "User Shell Folders" whenever
  // a program asks for a special folder, so both name the sandbox.
  const std::string shell_folders_key = std::string(kShellFoldersKey).substr(1);
  UniqueHkey user_shell_folders =
      CreateKey(Hive::kCurrentUser, ParentOf(shell_folders_key) + "\\User Shell Folders");
  SetString(user_shell_folders.get(), "Startup", world.startup_folder);
  UniqueHkey shell_folders = CreateKey(Hive::kCurrentUser, shell_folders_key);
  SetString(shell_folders.get(), "Startup", world.startup_folder);
}

void SeedNewerPlaces(const std::string& sandbox, const Sizes& sizes) {
  const std::string store = TaskStoreFolder();
  for (int i = 0; i < sizes.scheduled_tasks; ++i) {
    // Windows' own folder is left out of the list; its tasks are read all the same.
    const std::string folder = i % 30 == 29 ? std::string(kWindowsTaskFolder) + "\\" + kTaskFolder
                                            : std::string("\\") + kTaskFolder + "\\Group " +
                                                  Padded(i % 12, 2);
    const std::string path = folder + "\\" + kSeedPrefix + "Task " + Padded(i, 4);
    Check(MakeFolders(store + folder), "CreateDirectoryA " + store + folder);
    Check(WriteWholeFile(store + path, TaskDefinition(i, path)), "CreateFileA " + store + path);
  }

  const std::string app_model = kAppModelKey;
  for (int p = 0; p < sizes.packages; ++p) {
    const std::string full_name = std::string(kPackagePrefix) + "App" + Padded(p, 3) + "_1.4." +
                                  std::to_string(p) + ".0_x64__8wekyb3d8bbwe";
    const std::string folder = sandbox + "\\packages\\" + full_name;
    const int tasks = p % 3 == 0 ? 2 : 1;
    Check(MakeFolders(folder), "CreateDirectoryA " + folder);
    Check(WriteWholeFile(folder + "\\AppxManifest.xml", PackageManifest(p, tasks)),
          "CreateFileA " + folder);
    UniqueHkey package =
        CreateKey(Hive::kCurrentUser, app_model + "\\Repository\\Packages\\" + full_name);
    SetString(package.get(), "PackageRootFolder", folder);
    for (int k = 0; k < tasks; ++k) {
      if ((p + k) % 3 == 2) continue;  // no State: the manifest's Enabled applies
      UniqueHkey state = CreateKey(Hive::kCurrentUser, app_model + "\\SystemAppData\\" +
                                                           PackageFamilyName(full_name) +
                                                           "\\CuBenchStartup" + std::to_string(k));
      const DWORD value = static_cast<DWORD>((p + k) % 5);
      const LSTATUS status = ::RegSetValueExA(state.get(), "State", 0, REG_DWORD,
                                              reinterpret_cast<const BYTE*>(&value), sizeof value);
      ::SetLastError(static_cast<DWORD>(status));
      Check(status == ERROR_SUCCESS, "RegSetValueExA State");
    }
  }

  for (int i = 0; i < sizes.debugger_keys; ++i) {
    UniqueHkey program =
        CreateKey(Hive::kLocalMachine, KeyPathOf(kTagDebuggers) + "\\" + kProgramPrefix + "prog" +
                                           Padded(i, 3) + ".exe",
                  i % 2 == 0 ? 0 : KEY_WOW64_32KEY);
    if (i % 4 < 2) {
      SetString(program.get(), "Debugger",
                i % 8 < 4 ? "\"" + sandbox + "\\debuggers\\cu-bench-debugger.exe\" -attach"
                          : "vsjitdebugger.exe");
    } else {
      SetString(program.get(), "GlobalFlag", "0x02000000");
    }
  }

  UniqueHkey winlogon = CreateKey(Hive::kLocalMachine, KeyPathOf(kTagWinlogonShell));
  AppendProgram(winlogon.get(), "Shell", kShellProgram);
  if (!StringValue(winlogon.get(), "Taskman")) {
    SetString(winlogon.get(), "Taskman", kTaskmanProgram);
  }
  UniqueHkey windows = CreateKey(Hive::kLocalMachine, KeyPathOf(kTagAppInitDlls));
  AppendProgram(windows.get(), "AppInit_DLLs", kAppInitDll);
}

void SeedUrls(int count) {
  const std::string path = std::string(kTypedUrlsKey).substr(1);
  ::RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
  UniqueHkey key = CreateKey(Hive::kCurrentUser, path);
  const std::vector<std::string> urls = MakeUrls(count);
  for (std::size_t i = 0; i < urls.size(); ++i) {
    SetString(key.get(), "url" + std::to_string(i + 1), urls[i]);
  }
}

void SeedTree(const std::string& root, const Tree& tree) {
  (void)RemoveTree(root);
  Check(MakeFolders(root), "CreateDirectoryA " + root);
  for (const std::string& folder : tree.folders) {
    const std::string path = root + "\\" + folder;
    Check(::CreateDirectoryA(path.c_str(), nullptr) != FALSE, "CreateDirectoryA " + path);
  }
  const std::string content(100, 't');
  for (const std::string& file : tree.files) {
    const std::string path = root + "\\" + file;
    Check(WriteWholeFile(path, content), "CreateFileA " + path);
  }
}

std::vector<std::string> SignatureFiles(const std::string& sandbox, int copies) {
  const std::string folder = sandbox + "\\signatures\\";
  std::vector<std::string> files;
  for (int i = 0; i < copies; ++i) {
    files.push_back(folder + "signed-" + Padded(i, 3) + ".exe");
    files.push_back(folder + "unsigned-" + Padded(i, 3) + ".exe");
  }
  return files;
}

void SeedSignatures(const std::string& sandbox, int copies) {
  const std::string folder = sandbox + "\\signatures";
  (void)RemoveTree(folder);
  Check(MakeFolders(folder), "CreateDirectoryA " + folder);
  const cu::test_kit::SignatureFixtures fixtures = cu::test_kit::SignatureFixturePaths();
  const std::vector<std::string> files = SignatureFiles(sandbox, copies);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string& source = i % 2 == 0 ? fixtures.signed_by_trusted : fixtures.unsigned_program;
    Check(::CopyFileA(source.c_str(), files[i].c_str(), FALSE) != FALSE, "CopyFileA " + files[i]);
  }
  const DWORD status = cu::test_kit::TrustTestRoot();
  ::SetLastError(status);
  Check(status == ERROR_SUCCESS, "adding the test root to the trusted roots");
}

}  // namespace cu::bench::win
