// StartUp load: the full StartupTab::LoadStartupList on the real platform
// layer next to a minimal raw loop that reads the same keys, folders and
// ini keys, resolving the shortcuts, and does nothing else.

#include <cstdio>

#include "bench/bench_ui.h"
#include "bench/windows/bench_support.h"

#include <shlobj.h>
#include "bench/windows/benchmarks.h"
#include "platform/system_paths.h"
#include "platform/text.h"
#include "platform/win32/win32_platform.h"
#include "startup/startup_catalogue.h"
#include "startup/startup_tab.h"

namespace cu::bench::win {

namespace {

struct RootGroup {
  HKEY root;
  const char* prefix;
};

const RootGroup kGroups[] = {
    {HKEY_LOCAL_MACHINE, ""}, {HKEY_USERS, ".DEFAULT\\"}, {HKEY_CURRENT_USER, ""}};

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

// Every row the load shows, read with the fewest calls: one RegEnumValueA
// per value (name and data together), one search per folder, one shared
// shell-link object for every shortcut, four profile reads.
std::size_t RawStartupLoop(const std::string& windows_dir) {
  std::vector<std::string> rows;
  std::vector<char> name;
  std::vector<BYTE> data;
  for (const RootGroup& group : kGroups) {
    for (std::size_t i = 0; i < kStartupKeyPaths.size(); ++i) {
      const std::string path = group.prefix + std::string(kStartupKeyPaths[i]);
      const bool windows_key = i + 1 == kStartupKeyPaths.size();
      UniqueHkey key;
      if (::RegOpenKeyExA(group.root, path.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) {
        continue;
      }
      DWORD longest_name = 0;
      DWORD longest_data = 0;
      ::RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &longest_name, &longest_data, nullptr, nullptr);
      name.resize(longest_name + 2);
      data.resize(longest_data + 2);
      for (DWORD index = 0;; ++index) {
        DWORD name_length = static_cast<DWORD>(name.size());
        DWORD data_length = static_cast<DWORD>(data.size() - 1);
        DWORD type = 0;
        const LSTATUS status = ::RegEnumValueA(key.get(), index, name.data(), &name_length, nullptr,
                                               &type, data.data(), &data_length);
        if (status != ERROR_SUCCESS) break;
        data[data_length] = 0;
        const std::string value_name(name.data(), name_length);
        if (windows_key && value_name != "load" && value_name != "run") continue;
        const char* text = reinterpret_cast<const char*>(data.data());
        if (*text) rows.push_back(value_name + "=" + text);
      }
    }
  }

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
      if (entry.size() > 4 && cu::AsciiLower(entry.substr(entry.size() - 4)) == ".lnk") {
        if (!link) {
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

  PrintTitle("StartUp load: " + Grouped(sizes.run_values) + " values over 21 autostart keys, " +
             Grouped(sizes.startup_entries) + " Startup-folder entries (" +
             Grouped((sizes.startup_entries + 2) / 3) + " shortcuts)");
  PrintHeader();
  PrintTimingRow("raw Win32 loop (baseline)", timings[0], Grouped(raw_rows) + " rows");
  PrintTimingRow("StartupTab::LoadStartupList", timings[1], Grouped(tab.rows().size()) + " rows");
  const bool met = PrintRatio("full load / raw loop", timings[1].Median() / timings[0].Median(), 1.5);
  if (raw_rows != tab.rows().size()) {
    PrintNote("warning: the two loops saw different numbers of rows");
    return false;
  }
  return met;
}

}  // namespace cu::bench::win
