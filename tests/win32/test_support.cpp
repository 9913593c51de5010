#include "test_support.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace cu::win32::test {

namespace {

constexpr const char* kTestsKey = "Software\\ClearUtilityTests";

// Polls are bounded by count, never by time.
constexpr int kPolls = 500;
constexpr DWORD kPollMs = 10;

bool IsDirectoryLink(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
}

// The Unix path Wine maps a Windows path to; nullopt outside Wine.
std::optional<std::string> UnixName(const std::string& path) {
  using UnixNameFunction = char*(CDECL*)(LPCWSTR);
  const auto function = reinterpret_cast<UnixNameFunction>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!function) return std::nullopt;
  char* name = function(ToWide(path).c_str());
  if (!name) return std::nullopt;
  std::string result(name);
  ::HeapFree(::GetProcessHeap(), 0, name);
  return result;
}

// The Unix path of an entry whose own name may be a link: its folder is
// mapped, the name is kept, so the link is never resolved.
std::optional<std::string> UnixNameOfEntry(const std::string& path) {
  const std::size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos) return std::nullopt;
  std::optional<std::string> folder = UnixName(path.substr(0, slash + 1));
  if (!folder) return std::nullopt;
  if (!folder->empty() && folder->back() == '/') folder->pop_back();
  return *folder + "/" + path.substr(slash + 1);
}

template <typename Done>
bool PollUntil(Done done) {
  for (int poll = 0; poll < kPolls; ++poll) {
    if (done()) return true;
    ::Sleep(kPollMs);
  }
  return done();
}

// Runs a Unix shell script with arguments ($1, $2, ...) and waits, bounded,
// until it has finished. Wine's process creation runs a file that is not a
// Windows program natively but gives no process to wait for, so the script
// ends by creating a marker file, which is polled for. The script sees its
// arguments unsplit and unexpanded (IFS empty, globbing off), so it needs no
// quotes, which would not survive the Windows command line.
bool RunUnixScript(const std::string& script, const std::vector<std::string>& arguments) {
  static int runs = 0;
  char temp[MAX_PATH * 4] = {};
  const DWORD length = ::GetTempPathA(sizeof temp, temp);
  const std::string marker = std::string(temp, length) + "ClearUtilityTests-unix-" +
                             std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(++runs) + ".done";
  const std::optional<std::string> unix_marker = UnixNameOfEntry(marker);
  if (!unix_marker) return false;
  ::DeleteFileA(marker.c_str());

  std::vector<std::string> argv = {"-c", "set -f; IFS=; " + script + "; : > $" +
                                             std::to_string(arguments.size() + 1),
                                   "sh"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  argv.push_back(*unix_marker);
  std::string command = "sh";
  for (const std::string& argument : argv) command += " \"" + argument + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA("Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
    return false;
  }
  if (process.hThread) ::CloseHandle(process.hThread);
  if (process.hProcess) ::CloseHandle(process.hProcess);
  const bool finished =
      PollUntil([&] { return ::GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES; });
  ::DeleteFileA(marker.c_str());
  return finished;
}

}  // namespace

std::string ExeFolder() {
  char path[MAX_PATH * 4] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
  std::string text(path, length);
  return text.substr(0, text.find_last_of('\\') + 1);
}

bool RunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TestKey::TestKey(const std::string& name) : path_(std::string(kTestsKey) + "\\" + name) {
  Remove();
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key_.receive(), nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create test key " + path_);
  }
}

TestKey::~TestKey() {
  key_.reset();
  Remove();
}

void TestKey::SetRaw(const std::string& name, DWORD type, const std::string& bytes) {
  ASSERT_EQ(::RegSetValueExA(key_.get(), name.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
}

void TestKey::Remove() { ::RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str()); }

Sandbox::Sandbox(const std::string& name) {
  char temp[MAX_PATH * 4] = {};
  const DWORD length = ::GetTempPathA(sizeof temp, temp);
  std::string root = std::string(temp, length) + "ClearUtilityTests\\";
  ::CreateDirectoryA(root.c_str(), nullptr);
  folder_ = root + name + "\\";
  RemoveTree(folder_);
  if (!::CreateDirectoryA(folder_.c_str(), nullptr)) {
    throw std::runtime_error("cannot create sandbox " + folder_);
  }
}

Sandbox::~Sandbox() { RemoveTree(folder_); }

void Sandbox::WriteFile(const std::string& name, const std::string& content) const {
  std::ofstream out(Path(name), std::ios::binary | std::ios::trunc);
  out << content;
  ASSERT_TRUE(out.good()) << Path(name);
}

std::string Sandbox::ReadFile(const std::string& name) const {
  std::ifstream in(Path(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Sandbox::MakeFolder(const std::string& name) const {
  ASSERT_TRUE(::CreateDirectoryA(Path(name).c_str(), nullptr)) << Path(name);
}

void RemoveTree(const std::string& folder) {
  std::string base = folder;
  if (!base.empty() && base.back() == '\\') base.pop_back();
  WIN32_FIND_DATAA data{};
  UniqueFind search(::FindFirstFileA((base + "\\*").c_str(), &data));
  if (search) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = base + "\\" + name;
      ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        // Links are removed, never followed.
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
          RemoveDirectoryLink(path);
        } else {
          RemoveTree(path);
        }
      } else {
        ::DeleteFileA(path.c_str());
      }
    } while (::FindNextFileA(search.get(), &data));
  }
  search.reset();
  ::SetFileAttributesA(base.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::RemoveDirectoryA(base.c_str());
}

bool CopyFixture(const std::string& fixture, const std::string& destination) {
  return ::CopyFileA((ExeFolder() + fixture).c_str(), destination.c_str(), FALSE) != FALSE;
}

bool MakeDirectoryLink(const std::string& link, const std::string& target) {
  if (RunningUnderWine()) {
    const std::optional<std::string> unix_link = UnixNameOfEntry(link);
    const std::optional<std::string> unix_target = UnixName(target);
    if (!unix_link || !unix_target) return false;
    if (!RunUnixScript("ln -s -- $1 $2", {*unix_target, *unix_link})) return false;
  } else {
    constexpr DWORD kAllowUnprivilegedCreate = 0x2;  // needs Developer Mode, else admin rights
    if (!::CreateSymbolicLinkA(link.c_str(), target.c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY | kAllowUnprivilegedCreate)) {
      return false;
    }
  }
  return PollUntil([&] { return IsDirectoryLink(::GetFileAttributesA(link.c_str())); });
}

void RemoveDirectoryLink(const std::string& link) {
  if (RunningUnderWine()) {
    // Wine's RemoveDirectoryA follows a Unix link to its folder, and a link
    // whose folder is gone does not show at all; rm removes the link alone
    // (and, without -r, never a folder).
    if (const std::optional<std::string> unix_link = UnixNameOfEntry(link)) {
      (void)RunUnixScript("test -L $1 && rm -f -- $1", {*unix_link});
    }
  } else if (IsDirectoryLink(::GetFileAttributesA(link.c_str()))) {
    ::RemoveDirectoryA(link.c_str());
  }
}

std::string SzBytes(const std::string& text) { return text + '\0'; }

std::vector<StoredValue> ReadValues(HKEY root, const std::string& key) {
  std::vector<StoredValue> values;
  UniqueHkey open;
  if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, open.receive()) != ERROR_SUCCESS) {
    return values;
  }
  DWORD max_name = 0;
  DWORD max_data = 0;
  if (::RegQueryInfoKeyA(open.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &max_name, &max_data, nullptr, nullptr) != ERROR_SUCCESS) {
    return values;
  }
  std::vector<char> name(max_name + 2);
  std::vector<BYTE> data(max_data + 2);
  for (DWORD index = 0;; ++index) {
    DWORD name_size = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    if (::RegEnumValueA(open.get(), index, name.data(), &name_size, nullptr, &type, data.data(),
                        &data_size) != ERROR_SUCCESS) {
      break;
    }
    values.push_back({std::string(name.data(), name_size), type,
                      std::string(reinterpret_cast<const char*>(data.data()), data_size)});
  }
  return values;
}

std::optional<StoredValue> ReadValue(HKEY root, const std::string& key, const std::string& name) {
  UniqueHkey open;
  if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, open.receive()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (::RegQueryValueExA(open.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::string bytes(size, '\0');
  if (::RegQueryValueExA(open.get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(bytes.data()), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  bytes.resize(size);
  return StoredValue{name, type, bytes};
}

SavedRegistryValues::SavedRegistryValues(HKEY root, std::string key, std::vector<std::string> names)
    : root_(root), path_(std::move(key)), names_(std::move(names)) {
  if (::RegOpenKeyExA(root_, path_.c_str(), 0, KEY_ALL_ACCESS, key_.receive()) != ERROR_SUCCESS) {
    DWORD disposition = 0;
    if (::RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          key_.receive(), &disposition) != ERROR_SUCCESS) {
      return;
    }
    created_ = disposition == REG_CREATED_NEW_KEY;
  }
  if (names_.empty()) {
    saved_ = ReadValues(root_, path_);
  } else {
    for (const std::string& name : names_) {
      if (std::optional<StoredValue> value = ReadValue(root_, path_, name)) {
        saved_.push_back(*value);
      }
    }
  }
  RemoveTestValues();
}

SavedRegistryValues::~SavedRegistryValues() {
  if (!key_) return;
  RemoveTestValues();
  for (const StoredValue& value : saved_) {
    ::RegSetValueExA(key_.get(), value.name.c_str(), 0, value.type,
                     reinterpret_cast<const BYTE*>(value.bytes.data()),
                     static_cast<DWORD>(value.bytes.size()));
  }
  key_.reset();
  // Only a key without subkeys goes; one the test made has none.
  if (created_) ::RegDeleteKeyA(root_, path_.c_str());
}

void SavedRegistryValues::RemoveTestValues() {
  if (names_.empty()) {
    for (const StoredValue& value : ReadValues(root_, path_)) {
      ::RegDeleteValueA(key_.get(), value.name.c_str());
    }
  } else {
    for (const std::string& name : names_) ::RegDeleteValueA(key_.get(), name.c_str());
  }
}

void SavedRegistryValues::SetString(const std::string& name, const std::string& text) {
  SetRaw(name, REG_SZ, SzBytes(text));
}

void SavedRegistryValues::SetRaw(const std::string& name, DWORD type, const std::string& bytes) {
  ASSERT_TRUE(key_.valid()) << path_;
  ASSERT_EQ(::RegSetValueExA(key_.get(), name.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS)
      << path_ << " " << name;
}

SavedFile::SavedFile(std::string path) : path_(std::move(path)) {
  const DWORD attributes = ::GetFileAttributesA(path_.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    saved_ = Read();
  }
}

SavedFile::~SavedFile() {
  if (saved_) {
    Write(*saved_);
  } else {
    ::DeleteFileA(path_.c_str());
  }
}

void SavedFile::Write(const std::string& content) const {
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  EXPECT_TRUE(out.good()) << path_;
}

std::string SavedFile::Read() const {
  std::ifstream in(path_, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

DWORD ServiceProcessId(const std::string& service_name) {
  UniqueSc manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  UniqueSc service(::OpenServiceA(manager.get(), service_name.c_str(), SERVICE_QUERY_STATUS));
  if (!service) return 0;
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(&status), sizeof status, &needed)) {
    return 0;
  }
  return status.dwProcessId;
}

bool WaitForServiceProcessEnd(const std::string& service_name, DWORD process_id) {
  if (process_id != 0) {
    // No such process (any more) means it has ended.
    if (const HANDLE opened = ::OpenProcess(SYNCHRONIZE, FALSE, process_id)) {
      UniqueFile process(opened);
      constexpr DWORD kProcessEndLimitMs = 30000;
      if (::WaitForSingleObject(process.get(), kProcessEndLimitMs) != WAIT_OBJECT_0) return false;
    }
  }
  // The manager notices the end on its own time.
  return PollUntil([&] { return ServiceProcessId(service_name) == 0; });
}

void SaveShortcut(const std::string& link_path, const std::string& target) {
  ComPtr<IShellLinkA> link;
  ASSERT_EQ(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                               link.receive()),
            S_OK);
  ASSERT_EQ(link->SetPath(target.c_str()), S_OK);
  ComPtr<IPersistFile> file;
  ASSERT_EQ(link->QueryInterface(IID_IPersistFile, file.receive()), S_OK);
  ASSERT_EQ(file->Save(ToWide(link_path).c_str(), TRUE), S_OK);
}

MessageWindow::MessageWindow()
    : hwnd_(::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              ::GetModuleHandleA(nullptr), nullptr)) {}

MessageWindow::~MessageWindow() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

std::optional<std::string> ClipboardText(HWND owner) {
  ClipboardOpen clipboard(owner);
  if (!clipboard.opened()) return std::nullopt;
  HANDLE data = ::GetClipboardData(CF_TEXT);
  if (!data) return std::nullopt;
  const char* text = static_cast<const char*>(::GlobalLock(data));
  if (!text) return std::nullopt;
  std::string result(text, ::strnlen(text, ::GlobalSize(data)));
  ::GlobalUnlock(data);
  return result;
}

RegisteredService::RegisteredService(const std::string& name, const std::string& display_name,
                                     const std::string& command, const char* dependencies)
    : name_(name) {
  Remove();
  UniqueSc manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return;
  UniqueSc service(::CreateServiceA(manager.get(), name.c_str(), display_name.c_str(),
                                    SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                    SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, command.c_str(),
                                    nullptr, nullptr, dependencies, nullptr, nullptr));
  created_ = service.valid();
}

RegisteredService::~RegisteredService() { Remove(); }

void RegisteredService::Remove() {
  UniqueSc manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  UniqueSc service(::OpenServiceA(manager.get(), name_.c_str(), SERVICE_ALL_ACCESS));
  if (!service) return;
  SERVICE_STATUS status{};
  ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  for (int i = 0; i < 100 && ::QueryServiceStatus(service.get(), &status) &&
                  status.dwCurrentState != SERVICE_STOPPED;
       ++i) {
    ::Sleep(50);
  }
  ::DeleteService(service.get());
}

}  // namespace cu::win32::test
