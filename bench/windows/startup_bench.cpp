// StartUp load: the full StartupTab::LoadStartupList on the real platform
// layer next to a minimal raw loop that reads the same keys (HKLM in both
// views, a key the views share once), the StartupApproved switches, the
// folders and ini keys, resolving the shortcuts, the task store's
// definitions and the packages' manifests (XmlLite), the Winlogon,
// debugger and AppInit_DLLs values, and does nothing else.

// First: <windows.h> with the names the platform interfaces need.
#include "bench/windows/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <shlobj.h>
#include <shlwapi.h>
#include <xmllite.h>

#include "bench/bench_ui.h"
#include "bench/windows/benchmarks.h"
#include "bench/windows/seed.h"
#include "platform/registry_access.h"
#include "platform/text.h"
#include "platform/win32/win32_platform.h"
#include "presenter/system_paths.h"
#include "startup/startup_catalogue.h"
#include "startup/startup_places.h"
#include "startup/startup_tab.h"

namespace cu::bench::win {

namespace {

struct RootGroup {
  HKEY root;
  const char* prefix;
  REGSAM view;
};

const RootGroup kGroups[] = {{HKEY_LOCAL_MACHINE, "", 0},
                             {HKEY_USERS, ".DEFAULT\\", 0},
                             {HKEY_CURRENT_USER, "", 0},
                             {HKEY_LOCAL_MACHINE, "", KEY_WOW64_32KEY}};

// The key's name in the object namespace (NtQueryKey), which tells a key
// both views share.
std::wstring KeyName(HKEY key) {
  using QueryKey = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<QueryKey>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryKey")));
  ULONG buffer[512] = {};
  ULONG needed = 0;
  if (query == nullptr || query(key, 3, buffer, sizeof buffer, &needed) < 0) return {};
  return std::wstring(reinterpret_cast<const wchar_t*>(buffer + 1), buffer[0] / sizeof(wchar_t));
}

// A key opened for reading through `view`. HKLM's native key keeps its name
// in `native_name`; its 32-bit view stays closed when it is that same key,
// read already.
UniqueHkey OpenOnce(HKEY root, const std::string& path, REGSAM view, std::wstring& native_name) {
  UniqueHkey key;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, key.receive()) != ERROR_SUCCESS) {
    return UniqueHkey();
  }
  if (root == HKEY_LOCAL_MACHINE) {
    const std::wstring key_name = KeyName(key.get());
    if (view == 0) {
      native_name = key_name;
    } else if (!key_name.empty() && _wcsicmp(key_name.c_str(), native_name.c_str()) == 0) {
      return UniqueHkey();
    }
  }
  return key;
}

// Every value of a key, name and data together, into `rows` as name=text
// (only load and run for the Windows key; `all` takes every value as it is).
void EnumerateValues(HKEY key, bool windows_key, bool all, std::vector<char>& name,
                     std::vector<BYTE>& data, std::vector<std::string>& rows) {
  DWORD longest_name = 0;
  DWORD longest_data = 0;
  ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     &longest_name, &longest_data, nullptr, nullptr);
  name.resize(longest_name + 2);
  data.resize(longest_data + 2);
  for (DWORD index = 0;; ++index) {
    DWORD name_length = static_cast<DWORD>(name.size());
    DWORD data_length = static_cast<DWORD>(data.size() - 1);
    DWORD type = 0;
    const LSTATUS status = ::RegEnumValueA(key, index, name.data(), &name_length, nullptr, &type,
                                           data.data(), &data_length);
    if (status != ERROR_SUCCESS) break;
    data[data_length] = 0;
    const std::string value_name(name.data(), name_length);
    if (all) {
      rows.push_back(value_name);
      continue;
    }
    if (windows_key && value_name != "load" && value_name != "run") continue;
    const char* text = reinterpret_cast<const char*>(data.data());
    if (*text) rows.push_back(value_name + "=" + text);
  }
}

std::string ReadRawString(HKEY root, const std::string& path, const char* name) {
  UniqueHkey key;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return {};
  char buffer[MAX_PATH * 2] = {};
  DWORD size = sizeof buffer - 1;
  DWORD type = 0;
  if (::RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  return buffer;
}

// The rows of the 32 keys (a key the 32-bit view shares read once), one
// RegEnumValueA per value (name and data together), and the five
// StartupApproved keys the same way. The switches' names are counted in
// `switches`, not in `rows`.
void RawRegistryPart(std::vector<std::string>& rows, std::vector<std::string>* switches = nullptr) {
  std::vector<char> name;
  std::vector<BYTE> data;
  std::wstring native_names[kStartupKeyPaths.size()];
  for (const RootGroup& group : kGroups) {
    for (std::size_t i = 0; i < kStartupKeyPaths.size(); ++i) {
      const std::string path = group.prefix + std::string(kStartupKeyPaths[i]);
      const bool windows_key = i + 1 == kStartupKeyPaths.size();
      const UniqueHkey key = OpenOnce(group.root, path, group.view, native_names[i]);
      if (!key) continue;
      EnumerateValues(key.get(), windows_key, false, name, data, rows);
    }
  }
  std::vector<std::string> ignored;
  for (const RegistryItem& place : ApprovedKeys()) {
    UniqueHkey key;
    if (::RegOpenKeyExA(RootKey(place.hive), place.key.c_str(), 0, KEY_READ, key.receive()) ==
        ERROR_SUCCESS) {
      EnumerateValues(key.get(), false, true, name, data, switches ? *switches : ignored);
    }
  }
}

// The rows of the three Startup folders: one search per folder and one
// shared shell-link object for every shortcut. The flags add what the
// presenter's path does on top: an attribute check of every entry
// (AddStartupFolderItem), a new shell-link object per shortcut
// (Win32Shell::ResolveShortcut).
void RawFolderPart(std::vector<std::string>& rows, bool check_attributes = false,
                   bool link_per_shortcut = false) {
  ComPtr<IShellLinkA> link;
  ComPtr<IPersistFile> persist;
  const std::string shell_folders = std::string(kShellFoldersKey).substr(1);
  const std::string folders[] = {
      ReadRawString(HKEY_CURRENT_USER, shell_folders, "Startup"),
      ReadRawString(HKEY_LOCAL_MACHINE, shell_folders, "Common Startup"),
      ReadRawString(HKEY_USERS, std::string(kDefaultShellFoldersKey).substr(1), "Startup")};
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    WIN32_FIND_DATAA found{};
    UniqueFind search(::FindFirstFileA((folder + "\\*.*").c_str(), &found));
    if (!search) continue;
    do {
      const std::string entry = found.cFileName;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && entry[0] == '.') continue;
      if (check_attributes) {
        (void)::GetFileAttributesA((folder + "\\" + entry).c_str());
      }
      if (entry.size() > 4 && cu::AsciiLower(entry.substr(entry.size() - 4)) == ".lnk") {
        if (link_per_shortcut || !link) {
          Check(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IShellLinkA, link.receive())) &&
                    SUCCEEDED(link->QueryInterface(IID_IPersistFile, persist.receive())),
                "ShellLink");
        }
        char target[MAX_PATH] = {};
        if (SUCCEEDED(persist->Load(cu::win32::ToWide(folder + "\\" + entry).c_str(), STGM_READ))) {
          WIN32_FIND_DATAA ignored{};
          (void)link->GetPath(target, MAX_PATH, &ignored, SLGP_UNCPRIORITY);
        }
        rows.push_back(entry + "=" + target);
      } else {
        rows.push_back(entry);
      }
    } while (::FindNextFileA(search.get(), &found));
  }
}

// The text of a string value, in `data`; null when it is missing or not text.
const char* RawText(HKEY key, const char* name, std::vector<char>& data) {
  DWORD size = static_cast<DWORD>(data.size() - 1);
  DWORD type = 0;
  if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return nullptr;
  }
  data[size] = 0;
  return data.data();
}

// A whole file, in one ReadFile of the size taken first.
bool ReadRawFile(const std::string& path, std::string& bytes) {
  const UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  bytes.resize(::GetFileSize(file.get(), nullptr));
  DWORD read = 0;
  return ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
         read == bytes.size();
}

ComPtr<IXmlReader> NewXmlReader() {
  ComPtr<IXmlReader> reader;
  Check(SUCCEEDED(::CreateXmlReader(__uuidof(IXmlReader), reader.receive(), nullptr)),
        "CreateXmlReader");
  return reader;
}

// Hands a document to `reader` (one reader for every document) and each of
// its nodes' types to `on_node`, which asks the reader for the rest. False
// when the document does not read to its end.
template <typename OnNode>
bool WalkXml(IXmlReader& reader, const std::string& bytes, OnNode&& on_node) {
  ComPtr<IStream> stream;
  *stream.receive() = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                                          static_cast<UINT>(bytes.size()));
  if (!stream || FAILED(reader.SetInput(stream.get()))) return false;
  XmlNodeType type = XmlNodeType_None;
  HRESULT hr = S_OK;
  while ((hr = reader.Read(&type)) == S_OK) on_node(type);
  (void)reader.SetInput(nullptr);  // lets go of the stream
  return hr == S_FALSE;
}

std::wstring_view LocalName(IXmlReader& reader) {
  const wchar_t* name = nullptr;
  UINT length = 0;
  if (FAILED(reader.GetLocalName(&name, &length)) || name == nullptr) return {};
  return {name, length};
}

std::string NodeValue(IXmlReader& reader) {
  const wchar_t* value = nullptr;
  UINT length = 0;
  if (FAILED(reader.GetValue(&value, &length)) || value == nullptr) return {};
  return cu::win32::ToCodePage(value, length);
}

std::string AttributeValue(IXmlReader& reader, const wchar_t* name) {
  return reader.MoveToAttributeByName(name, nullptr) == S_OK ? NodeValue(reader) : std::string();
}

// Where in a task definition an open element is.
enum class TaskSpot {
  kOther,
  kTriggers,
  kStartTrigger,
  kActions,
  kExec,
  kSettings,
  kEnabled,
  kCommand,
  kArguments,
};

// The rows of one task definition, "path=command arguments" per Exec
// action, when a logon or boot trigger of it is on; one walk of its nodes
// for the triggers, the actions' Command and Arguments and Settings/Enabled.
void RawTaskRows(IXmlReader& reader, const std::string& path, const std::string& bytes,
                 std::vector<std::string>& rows) {
  std::vector<TaskSpot> open;  // the open elements, the root first
  bool is_task = false;
  bool starts = false;
  bool trigger_off = false;
  bool enabled = true;
  std::vector<std::pair<std::string, std::string>> programs;
  const bool read = WalkXml(reader, bytes, [&](XmlNodeType type) {
    if (type == XmlNodeType_Element) {
      const std::wstring_view name = LocalName(reader);
      const TaskSpot parent = open.empty() ? TaskSpot::kOther : open.back();
      TaskSpot spot = TaskSpot::kOther;
      if (open.empty()) {
        is_task = name == L"Task";
      } else if (open.size() == 1) {
        spot = name == L"Triggers" ? TaskSpot::kTriggers
               : name == L"Actions" ? TaskSpot::kActions
               : name == L"Settings" ? TaskSpot::kSettings
                                     : TaskSpot::kOther;
      } else if (parent == TaskSpot::kTriggers &&
                 (name == L"LogonTrigger" || name == L"BootTrigger")) {
        spot = TaskSpot::kStartTrigger;
        trigger_off = false;
      } else if (parent == TaskSpot::kActions && name == L"Exec") {
        spot = TaskSpot::kExec;
        programs.emplace_back();
      } else if ((parent == TaskSpot::kStartTrigger || parent == TaskSpot::kSettings) &&
                 name == L"Enabled") {
        spot = TaskSpot::kEnabled;
      } else if (parent == TaskSpot::kExec && name == L"Command") {
        spot = TaskSpot::kCommand;
      } else if (parent == TaskSpot::kExec && name == L"Arguments") {
        spot = TaskSpot::kArguments;
      }
      if (!reader.IsEmptyElement()) {
        open.push_back(spot);
      } else if (spot == TaskSpot::kStartTrigger) {
        starts = true;
      }
    } else if (type == XmlNodeType_EndElement && !open.empty()) {
      if (open.back() == TaskSpot::kStartTrigger && !trigger_off) starts = true;
      open.pop_back();
    } else if (type == XmlNodeType_Text && open.size() >= 2) {
      switch (open.back()) {
        case TaskSpot::kEnabled:
          if (open[open.size() - 2] == TaskSpot::kStartTrigger) {
            trigger_off = NodeValue(reader) == "false";
          } else {
            enabled = NodeValue(reader) != "false";
          }
          break;
        case TaskSpot::kCommand:
          programs.back().first = NodeValue(reader);
          break;
        case TaskSpot::kArguments:
          programs.back().second = NodeValue(reader);
          break;
        default:
          break;
      }
    }
  });
  if (!read || !is_task || !starts) return;
  for (const auto& [command, arguments] : programs) {
    if (command.empty()) continue;
    rows.push_back(path + "=" + command + (arguments.empty() ? "" : " " + arguments) +
                   (enabled ? "" : "\tdisabled"));
  }
}

// The task store's definitions below `folder`: one search per folder
// (Windows' own left out), one read per file.
void RawTaskFolder(IXmlReader& reader, const std::string& folder, const std::string& below,
                   std::string& bytes, std::vector<std::string>& rows) {
  WIN32_FIND_DATAA found{};
  const UniqueFind search(::FindFirstFileA((folder + "\\*").c_str(), &found));
  if (!search) return;
  static const std::string windows_folder(kWindowsTaskFolder);
  do {
    const std::string name = found.cFileName;
    const std::string path = below + "\\" + name;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      if (ReadRawFile(folder + "\\" + name, bytes)) RawTaskRows(reader, path, bytes, rows);
    } else if (name != "." && name != ".." && _stricmp(path.c_str(), windows_folder.c_str()) != 0) {
      RawTaskFolder(reader, folder + "\\" + name, path, bytes, rows);
    }
  } while (::FindNextFileA(search.get(), &found));
}

void RawTasksPart(const std::string& system_dir, std::vector<std::string>& rows) {
  const ComPtr<IXmlReader> reader = NewXmlReader();
  std::string bytes;
  RawTaskFolder(*reader.get(), system_dir + "\\Tasks", "", bytes, rows);
}

// The packaged apps' startup tasks: the repository's keys enumerated, each
// package's folder, its manifest walked for the startup-task extensions,
// and each task's State.
void RawPackagesPart(std::vector<std::string>& rows) {
  const std::string app_model = kAppModelKey;
  UniqueHkey packages;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, (app_model + "\\Repository\\Packages").c_str(), 0,
                      KEY_READ, packages.receive()) != ERROR_SUCCESS) {
    return;
  }
  const ComPtr<IXmlReader> owned_reader = NewXmlReader();
  IXmlReader& reader = *owned_reader.get();
  std::string bytes;
  char name[256];
  char folder[MAX_PATH * 2];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    if (::RegEnumKeyExA(packages.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    DWORD size = sizeof folder;
    if (::RegGetValueA(packages.get(), name, "PackageRootFolder", RRF_RT_REG_SZ, nullptr, folder,
                       &size) != ERROR_SUCCESS ||
        !ReadRawFile(std::string(folder) + "\\AppxManifest.xml", bytes)) {
      continue;
    }
    const std::string states = app_model + "\\SystemAppData\\" + PackageFamilyName(name) + "\\";
    std::string application;
    std::string executable;
    bool startup = false;  // in a startup-task extension, before its task
    (void)WalkXml(reader, bytes, [&](XmlNodeType type) {
      if (type != XmlNodeType_Element) return;
      const std::wstring_view element = LocalName(reader);
      if (element == L"Application") {
        application = AttributeValue(reader, L"Executable");
      } else if (element == L"Extension") {
        startup = AttributeValue(reader, L"Category") == "windows.startupTask";
        if (startup) {
          executable = AttributeValue(reader, L"Executable");
          if (executable.empty()) executable = application;
        }
      } else if (element == L"StartupTask" && startup) {
        startup = false;
        const std::string task_id = AttributeValue(reader, L"TaskId");
        std::string shown = AttributeValue(reader, L"DisplayName");
        if (task_id.empty()) return;
        if (shown.empty() || shown.rfind("ms-resource:", 0) == 0) shown = task_id;
        DWORD state = 0;
        DWORD state_size = sizeof state;
        const bool has_state =
            ::RegGetValueA(HKEY_CURRENT_USER, (states + task_id).c_str(), "State",
                           RRF_RT_REG_DWORD, nullptr, &state, &state_size) == ERROR_SUCCESS;
        std::string& row = rows.emplace_back(shown + "=" + folder + "\\" + executable);
        if (has_state) row.append("\t").append(std::to_string(state));
      }
    });
  }
}

// The values that replace or wrap what Windows starts: Winlogon's Shell,
// Userinit and Taskman, the programs' debuggers and AppInit_DLLs of HKLM
// in both views (a key both views share read once), and HKCU's Shell.
void RawValuesPart(const std::string& system_dir, std::vector<std::string>& rows) {
  const std::string winlogon(FindStartupSource(kTagWinlogonShell)->registry.path);
  const std::string debuggers(FindStartupSource(kTagDebuggers)->registry.path);
  const std::string windows(FindStartupSource(kTagAppInitDlls)->registry.path);
  const std::string userinit = cu::AsciiLower(system_dir + "\\userinit.exe");
  std::vector<char> data(4096);
  std::wstring native_names[3];
  for (const REGSAM view : {REGSAM{0}, REGSAM{KEY_WOW64_32KEY}}) {
    if (const UniqueHkey key = OpenOnce(HKEY_LOCAL_MACHINE, winlogon, view, native_names[0])) {
      const char* text = RawText(key.get(), "Shell", data);
      if (text && _stricmp(text, "explorer.exe") != 0) rows.push_back(std::string("Shell=") + text);
      text = RawText(key.get(), "Userinit", data);
      if (text && cu::AsciiLower(text) != userinit && cu::AsciiLower(text) != userinit + ",") {
        rows.push_back(std::string("Userinit=") + text);
      }
      text = RawText(key.get(), "Taskman", data);
      if (text) rows.push_back(std::string("Taskman=") + text);
    }
    if (const UniqueHkey key = OpenOnce(HKEY_LOCAL_MACHINE, debuggers, view, native_names[1])) {
      char program[256];
      for (DWORD index = 0;; ++index) {
        DWORD length = sizeof program;
        if (::RegEnumKeyExA(key.get(), index, program, &length, nullptr, nullptr, nullptr,
                            nullptr) != ERROR_SUCCESS) {
          break;
        }
        UniqueHkey options;
        if (::RegOpenKeyExA(key.get(), program, 0, KEY_READ, options.receive()) != ERROR_SUCCESS) {
          continue;
        }
        const char* text = RawText(options.get(), "Debugger", data);
        if (text && !cu::IsBlank(text)) rows.push_back(std::string(program) + "=" + text);
      }
    }
    if (const UniqueHkey key = OpenOnce(HKEY_LOCAL_MACHINE, windows, view, native_names[2])) {
      const char* text = RawText(key.get(), "AppInit_DLLs", data);
      if (text && !cu::IsBlank(text)) rows.push_back(std::string("AppInit_DLLs=") + text);
    }
  }
  UniqueHkey user;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, winlogon.c_str(), 0, KEY_READ, user.receive()) ==
      ERROR_SUCCESS) {
    const char* text = RawText(user.get(), "Shell", data);
    if (text) rows.push_back(std::string("Shell=") + text);
  }
}

// Every row the load shows, read with the fewest calls: the parts above
// and four profile reads. No sorting.
std::size_t RawStartupLoop(const std::string& windows_dir, const std::string& system_dir) {
  std::vector<std::string> rows;
  RawRegistryPart(rows);
  RawFolderPart(rows);
  RawTasksPart(system_dir, rows);
  RawPackagesPart(rows);
  RawValuesPart(system_dir, rows);
  const char* ini_files[] = {"win.ini", "system.ini"};
  for (const char* file : ini_files) {
    for (const char* key : {"load", "run"}) {
      char buffer[2048] = {};
      ::GetPrivateProfileStringA("windows", key, "", buffer, sizeof buffer,
                                 (windows_dir + "\\" + file).c_str());
      if (*buffer) rows.push_back(buffer);
    }
  }
  return rows.size();
}

// The presenter's own pieces, called as LoadStartupList calls them, to show
// where its time goes. The 32 keys (without the switches), or with `values`
// the Winlogon, debugger and AppInit_DLLs sources instead:
void PresenterRegistryPart(const Platform& platform, std::vector<StartupRow>& rows,
                           bool values_sources = false, const std::string& system_dir = {}) {
  std::vector<RegNamedValue> values;
  // HKLM's native key names by path, for the keys the 32-bit view shares.
  std::map<std::string_view, std::optional<std::string>> native_names;
  LoadErrors errors;
  for (const StartupSource& source : StartupSources()) {
    const bool value_source =
        source.kind == SourceKind::kLogonValue || source.kind == SourceKind::kDebuggers;
    if (values_sources ? !value_source : source.kind != SourceKind::kRegistryKey) continue;
    const StartupRoot& root = source.registry.root;
    const bool hklm = root.hive == Hive::kLocalMachine;
    const std::optional<std::string> same_as =
        hklm && root.view != 0 ? native_names[source.registry.path] : std::nullopt;
    std::optional<std::string> name;
    switch (source.kind) {
      case SourceKind::kLogonValue:
        name = ReadLogonValue(platform, source, system_dir, rows, errors, same_as);
        break;
      case SourceKind::kDebuggers:
        name = ReadDebuggers(platform.registry, source, rows, errors, same_as);
        break;
      default:
        name = ReadStartupKey(platform.registry, source, values, rows, errors, same_as);
        break;
    }
    if (hklm && root.view == 0) native_names[source.registry.path] = std::move(name);
  }
}

void PresenterFolderPart(const Platform& platform, const StartupTab& tab,
                         std::vector<StartupRow>& rows) {
  StartupShortcuts shortcuts(platform.shell);
  for (const StartupSource& source : StartupSources()) {
    if (source.kind != SourceKind::kStartupFolder) continue;
    ScanStartupFolder(platform, shortcuts, tab.startup_folders().*source.folder.field, source, rows);
  }
}

}  // namespace

bool RunStartupBenchmark(const Sizes& sizes, int runs) {
  ComScope com;
  cu::win32::Win32Machine machine;
  const Platform platform = machine.platform();
  QuietUi ui;
  const SystemPaths paths = ReadSystemPaths(platform);
  StartupTab tab(platform, ui, paths);
  const std::string system_dir = platform.environment.SystemDirectory();

  std::size_t raw_rows = 0;
  const std::vector<Timings> timings =
      Alternate(runs, {[&] { raw_rows = RawStartupLoop(paths.windows_dir, system_dir); },
                       [&] { tab.LoadStartupList(); }});

  PrintTitle("StartUp load: " + Grouped(sizes.run_values) + " values over " +
             std::to_string(SpreadKeys().size()) + " autostart keys (HKLM in both views), " +
             Grouped(sizes.startup_entries) + " Startup-folder entries (" +
             Grouped((sizes.startup_entries + 2) / 3) + " shortcuts), " +
             Grouped(sizes.scheduled_tasks) + " scheduled tasks, " + Grouped(sizes.packages) +
             " packages, " + Grouped(sizes.debugger_keys) +
             " debugger keys, Winlogon and AppInit_DLLs");
  PrintHeader();
  PrintTimingRow("raw Win32 loop (baseline)", timings[0], Grouped(raw_rows) + " rows");
  PrintTimingRow("StartupTab::LoadStartupList", timings[1], Grouped(tab.rows().size()) + " rows");
  const bool met = PrintRatio("full load / raw loop", timings[1].Median() / timings[0].Median(), 1.2);

  // Where the time goes: each part on its own, raw and through the presenter.
  std::vector<std::string> raw_part;
  std::vector<StartupRow> presenter_part;
  std::vector<StartupRow> sorted;
  const std::vector<Timings> parts = Alternate(
      runs, {[&] { raw_part.clear(); RawRegistryPart(raw_part); },
             [&] { presenter_part.clear(); PresenterRegistryPart(platform, presenter_part); },
             [&] { raw_part.clear(); RawFolderPart(raw_part); },
             [&] { raw_part.clear(); RawFolderPart(raw_part, true, false); },
             [&] { raw_part.clear(); RawFolderPart(raw_part, false, true); },
             [&] { presenter_part.clear(); PresenterFolderPart(platform, tab, presenter_part); },
             [&] {
               sorted = tab.rows();
               std::reverse(sorted.begin(), sorted.end());
               std::stable_sort(sorted.begin(), sorted.end(),
                                [&](const StartupRow& a, const StartupRow& b) {
                                  return platform.locale.CompareNoCase(a.text, b.text) < 0;
                                });
             },
             [&] { raw_part.clear(); RawTasksPart(system_dir, raw_part); },
             [&] {
               presenter_part.clear();
               ReadScheduledTasks(platform, *FindStartupSource(kTagScheduledTasks), system_dir,
                                  presenter_part);
             },
             [&] { (void)platform.tasks.AllTasks(std::string(kWindowsTaskFolder)); },
             [&] { raw_part.clear(); RawPackagesPart(raw_part); },
             [&] {
               presenter_part.clear();
               ReadPackageTasks(platform, *FindStartupSource(kTagPackageTasks), presenter_part);
             },
             [&] { raw_part.clear(); RawValuesPart(system_dir, raw_part); },
             [&] {
               presenter_part.clear();
               PresenterRegistryPart(platform, presenter_part, true, system_dir);
             }});
  PrintNote("where the time goes:");
  PrintTimingRow("  registry + switches, raw (enum with data)", parts[0], "");
  PrintTimingRow("  registry, ReadStartupKey x 32", parts[1], "without the switches");
  PrintTimingRow("  folders, raw (one shared shell link)", parts[2], "");
  PrintTimingRow("  folders, raw + attributes of every entry", parts[3], "");
  PrintTimingRow("  folders, raw + a shell link per shortcut", parts[4], "");
  PrintTimingRow("  folders, ScanStartupFolder x 3", parts[5], "one shell link per load");
  PrintTimingRow("  sort of the rows (CompareStringA)", parts[6], "");
  PrintTimingRow("  tasks, raw (search, read, XmlLite nodes)", parts[7], "");
  PrintTimingRow("  tasks, ReadScheduledTasks", parts[8], "the scheduler asked first");
  PrintTimingRow("  tasks, TaskScheduler::AllTasks alone", parts[9],
                 platform.tasks.AllTasks(std::string(kWindowsTaskFolder)) ? "enumerates"
                                                                         : "cannot enumerate");
  PrintTimingRow("  packages, raw (enum, manifest, State)", parts[10], "");
  PrintTimingRow("  packages, ReadPackageTasks", parts[11], "");
  PrintTimingRow("  values, raw (Winlogon, IFEO, AppInit)", parts[12], "");
  PrintTimingRow("  values, ReadLogonValue + ReadDebuggers", parts[13],
                 "9 values, 2 debugger keys");

  if (raw_rows != tab.rows().size()) {
    PrintNote("warning: the two loops saw different numbers of rows");
    return false;
  }
  return met;
}

}  // namespace cu::bench::win
