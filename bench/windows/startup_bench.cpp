// StartUp load: the full StartupTab::LoadStartupList on the real platform
// layer next to a minimal raw loop that reads the same keys (HKLM in both
// views, a key the views share once), the StartupApproved switches, the
// folders and ini keys, resolving the shortcuts, and does nothing else.

// First: <windows.h> with the names the platform interfaces need.
#include "bench/windows/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <shlobj.h>

#include "bench/bench_ui.h"
#include "bench/windows/benchmarks.h"
#include "platform/registry_access.h"
#include "platform/text.h"
#include "platform/win32/win32_platform.h"
#include "presenter/system_paths.h"
#include "startup/startup_catalogue.h"
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
      UniqueHkey key;
      if (::RegOpenKeyExA(group.root, path.c_str(), 0, KEY_READ | group.view, key.receive()) !=
          ERROR_SUCCESS) {
        continue;
      }
      if (group.root == HKEY_LOCAL_MACHINE) {
        const std::wstring key_name = KeyName(key.get());
        if (group.view == 0) {
          native_names[i] = key_name;
        } else if (!key_name.empty() && _wcsicmp(key_name.c_str(), native_names[i].c_str()) == 0) {
          continue;
        }
      }
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

// Every row the load shows, read with the fewest calls: the two parts above
// and four profile reads. No sorting.
std::size_t RawStartupLoop(const std::string& windows_dir) {
  std::vector<std::string> rows;
  RawRegistryPart(rows);
  RawFolderPart(rows);
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
// where its time goes. The 32 keys (without the switches):
void PresenterRegistryPart(const Platform& platform, std::vector<StartupRow>& rows) {
  std::vector<RegNamedValue> values;
  // HKLM's native key names by path, for the keys the 32-bit view shares.
  std::map<std::string_view, std::optional<std::string>> native_names;
  LoadErrors errors;
  for (const StartupSource& source : StartupSources()) {
    if (source.kind != SourceKind::kRegistryKey) continue;
    const StartupRoot& root = source.registry.root;
    const bool hklm = root.hive == Hive::kLocalMachine;
    std::optional<std::string> name =
        ReadStartupKey(platform.registry, source, values, rows, errors,
                       hklm && root.view != 0 ? native_names[source.registry.path] : std::nullopt);
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

  std::size_t raw_rows = 0;
  const std::vector<Timings> timings = Alternate(
      runs, {[&] { raw_rows = RawStartupLoop(paths.windows_dir); }, [&] { tab.LoadStartupList(); }});

  PrintTitle("StartUp load: " + Grouped(sizes.run_values) + " values over " +
             std::to_string(SpreadKeys().size()) + " autostart keys (HKLM in both views), " +
             Grouped(sizes.startup_entries) + " Startup-folder entries (" +
             Grouped((sizes.startup_entries + 2) / 3) + " shortcuts)");
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
             }});
  PrintNote("where the time goes:");
  PrintTimingRow("  registry + switches, raw (enum with data)", parts[0], "");
  PrintTimingRow("  registry, ReadStartupKey x 32", parts[1], "without the switches");
  PrintTimingRow("  folders, raw (one shared shell link)", parts[2], "");
  PrintTimingRow("  folders, raw + attributes of every entry", parts[3], "");
  PrintTimingRow("  folders, raw + a shell link per shortcut", parts[4], "");
  PrintTimingRow("  folders, ScanStartupFolder x 3", parts[5], "one shell link per load");
  PrintTimingRow("  sort of the rows (CompareStringA)", parts[6], "");

  if (raw_rows != tab.rows().size()) {
    PrintNote("warning: the two loops saw different numbers of rows");
    return false;
  }
  return met;
}

}  // namespace cu::bench::win
