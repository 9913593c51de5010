#include "bench/windows/seed.h"

// First: <windows.h> with the names the platform interfaces need.
#include "bench/windows/bench_support.h"

#include <map>
#include <shlobj.h>

#include "startup/startup_catalogue.h"
#include "urls/urls_tab.h"

namespace cu::bench::win {

namespace {

constexpr char kAppPathsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";

UniqueHkey CreateKey(Hive hive, const std::string& path) {
  UniqueHkey key;
  const LSTATUS status = ::RegCreateKeyExA(RootKey(hive), path.c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, key.receive(), nullptr);
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

}  // namespace

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

}  // namespace cu::bench::win
