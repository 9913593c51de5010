#include "test_kit.h"

#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace cu::test_kit {

using cu::win32::ClipboardOpen;
using cu::win32::ComPtr;
using cu::win32::ScopeExit;
using cu::win32::ToWide;
using cu::win32::UniqueCertStore;
using cu::win32::UniqueFile;
using cu::win32::UniqueFind;
using cu::win32::UniqueHkey;
using cu::win32::UniqueSc;

namespace {

// Polls are bounded by count, never by time: 500 polls of 10 ms by default.
constexpr DWORD kPollMs = 10;

template <typename Done>
bool PollUntil(Done done, int polls = 500) {
  for (int poll = 0; poll < polls; ++poll) {
    if (done()) return true;
    ::Sleep(kPollMs);
  }
  return done();
}

bool IsDirectoryLink(DWORD attributes) {
  constexpr DWORD kLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kLink) == kLink;
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

// Runs a Unix shell script with arguments ($1, $2, ...) and waits, bounded,
// until it has finished. Wine's process creation runs a file that is not a
// Windows program natively but gives no process to wait for, so the script
// ends by creating a marker file, which is polled for. The script sees its
// arguments unsplit and unexpanded (IFS empty, globbing off), so it needs no
// quotes, which would not survive the Windows command line.
bool RunUnixScript(const std::string& script, const std::vector<std::string>& arguments) {
  static int runs = 0;
  const std::string marker = TempFolder() + "ClearUtilityTests-unix-" +
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
  UniqueFile thread(process.hThread ? process.hThread : INVALID_HANDLE_VALUE);
  UniqueFile child(process.hProcess ? process.hProcess : INVALID_HANDLE_VALUE);
  const bool finished =
      PollUntil([&] { return ::GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES; });
  ::DeleteFileA(marker.c_str());
  return finished;
}

UniqueHkey OpenKey(HKEY root, const std::string& key, REGSAM access) {
  UniqueHkey open;
  // A failed call may leave anything in the slot.
  if (::RegOpenKeyExA(root, key.c_str(), 0, access, open.receive()) != ERROR_SUCCESS) {
    (void)open.release();
  }
  return open;
}

LSTATUS SetValue(HKEY key, const std::string& name, DWORD type, const std::string& bytes) {
  if (!key) return ERROR_INVALID_HANDLE;
  return ::RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()));
}

UniqueSc OpenTestService(const std::string& name, DWORD manager_access, DWORD access) {
  UniqueSc manager(::OpenSCManagerA(nullptr, nullptr, manager_access));
  if (!manager) return UniqueSc();
  return UniqueSc(::OpenServiceA(manager.get(), name.c_str(), access));
}

}  // namespace

std::string ExeFolder() {
  char path[MAX_PATH * 4] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
  const std::string text(path, length);
  return text.substr(0, text.find_last_of('\\') + 1);
}

std::string TempFolder() {
  char path[MAX_PATH * 4] = {};
  std::string folder(path, ::GetTempPathA(sizeof path, path));
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

std::string WindowsFolder() {
  char path[MAX_PATH * 4] = {};
  return std::string(path, ::GetWindowsDirectoryA(path, sizeof path));
}

bool RunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

SignatureFixtures SignatureFixturePaths() {
  std::string folder = ExeFolder();
  if (!PathExists(folder + "cu-test-root.cer")) folder += "tests\\win32\\";
  return SignatureFixtures{folder + "signed-by-trusted.exe", folder + "self-signed.exe",
                           folder + "tampered.exe", folder + "unsigned.exe",
                           folder + "signed-test-service.exe", folder + "cu-test-root.cer"};
}

DWORD TrustTestRoot() {
  const std::optional<std::string> der = ReadWholeFile(SignatureFixturePaths().root_certificate);
  if (!der) return ::GetLastError();
  const UniqueCertStore store(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                              CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
  if (!store) return ::GetLastError();
  if (!::CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING,
                                          reinterpret_cast<const BYTE*>(der->data()),
                                          static_cast<DWORD>(der->size()),
                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
    return ::GetLastError();
  }
  return ERROR_SUCCESS;
}

bool PathExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::string pattern = folder;
  if (pattern.empty() || pattern.back() != '\\') pattern += '\\';
  std::vector<std::string> names;
  WIN32_FIND_DATAA data{};
  UniqueFind search(::FindFirstFileA((pattern + "*").c_str(), &data));
  if (!search) return names;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(search.get(), &data));
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[64 * 1024];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    bytes.append(buffer, got);
  }
  return bytes;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return bytes.empty() || (::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                       &written, nullptr) &&
                           written == bytes.size());
}

std::string GroupedDigits(uint64_t number) {
  char separator[16] = {};
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, sizeof separator) == 0) {
    separator[0] = '\0';
  }
  const std::string digits = std::to_string(number);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += separator;
    grouped += digits[i];
  }
  return grouped;
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name, const std::string& value)
    : name_(std::move(name)) {
  std::vector<char> old(32768);
  const DWORD length = ::GetEnvironmentVariableA(name_.c_str(), old.data(), static_cast<DWORD>(old.size()));
  if (length > 0 && length < old.size()) old_ = std::string(old.data(), length);
  ::SetEnvironmentVariableA(name_.c_str(), value.c_str());
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
  ::SetEnvironmentVariableA(name_.c_str(), old_ ? old_->c_str() : nullptr);
}

bool MakeFolders(const std::string& path) {
  if (::CreateDirectoryA(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS) {
    return true;
  }
  const std::size_t slash = path.rfind('\\');
  if (slash == std::string::npos || slash < 3) return false;
  return MakeFolders(path.substr(0, slash)) &&
         (::CreateDirectoryA(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
}

bool RemoveTree(const std::string& path) {
  std::string base = path;
  if (!base.empty() && base.back() == '\\') base.pop_back();
  const DWORD attributes = ::GetFileAttributesA(base.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  ::SetFileAttributesA(base.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ::DeleteFileA(base.c_str()) != FALSE;
  WIN32_FIND_DATAA data{};
  UniqueFind search(::FindFirstFileA((base + "\\*").c_str(), &data));
  if (search) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string entry = base + "\\" + name;
      // Links are removed, never followed.
      if (IsDirectoryLink(data.dwFileAttributes)) {
        RemoveDirectoryLink(entry);
      } else {
        (void)RemoveTree(entry);
      }
    } while (::FindNextFileA(search.get(), &data));
  }
  search.reset();
  return ::RemoveDirectoryA(base.c_str()) != FALSE;
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

HRESULT SaveShortcut(const std::string& link_path, const std::string& target) {
  // S_FALSE when the thread had COM already; each success is paired with an
  // uninitialise, a refusal (another apartment model) is not.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ScopeExit uninitialise([com] {
    if (SUCCEEDED(com)) ::CoUninitialize();
  });
  ComPtr<IShellLinkA> link;
  ComPtr<IPersistFile> file;
  HRESULT result = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, link.receive());
  if (SUCCEEDED(result)) result = link->SetPath(target.c_str());
  if (SUCCEEDED(result)) result = link->QueryInterface(IID_IPersistFile, file.receive());
  if (SUCCEEDED(result)) result = file->Save(ToWide(link_path).c_str(), TRUE);
  return result;
}

SavedFile::SavedFile(std::string path) : path_(std::move(path)) {
  const DWORD attributes = ::GetFileAttributesA(path_.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    saved_ = ReadWholeFile(path_);
  }
}

SavedFile::~SavedFile() {
  if (saved_) {
    (void)Write(*saved_);  // nothing better to do at the end of a test
  } else {
    ::DeleteFileA(path_.c_str());
  }
}

bool SavedFile::Write(const std::string& content) const { return WriteWholeFile(path_, content); }

std::string SavedFile::Read() const { return ReadWholeFile(path_).value_or(""); }

std::string StoredValue::Text() const {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
  return bytes.substr(0, bytes.find('\0'));
}

std::string SzBytes(const std::string& text) { return text + '\0'; }

std::string DwordBytes(DWORD value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

std::vector<StoredValue> ReadValues(HKEY root, const std::string& key, REGSAM view) {
  std::vector<StoredValue> values;
  const UniqueHkey open = OpenKey(root, key, KEY_READ | view);
  DWORD max_name = 0;
  DWORD max_data = 0;
  if (!open) return values;
  if (::RegQueryInfoKeyA(open.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &max_name, &max_data, nullptr, nullptr) != ERROR_SUCCESS) {
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

std::optional<StoredValue> ReadValue(HKEY root, const std::string& key, const std::string& name,
                                     REGSAM view) {
  const UniqueHkey open = OpenKey(root, key, KEY_READ | view);
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (!open || ::RegQueryValueExA(open.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
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

ScratchKey::ScratchKey(HKEY root, std::string path) : root_(root), path_(std::move(path)) {
  ::RegDeleteTreeA(root_, path_.c_str());
  status_ = ::RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key_.receive(), nullptr);
}

ScratchKey::~ScratchKey() {
  if (!key_) return;
  key_.reset();
  ::RegDeleteTreeA(root_, path_.c_str());
}

LSTATUS ScratchKey::SetRaw(const std::string& name, DWORD type, const std::string& bytes) const {
  return SetValue(key_.get(), name, type, bytes);
}

SavedRegistryValues::SavedRegistryValues(HKEY root, std::string key, std::vector<std::string> names,
                                         REGSAM view)
    : root_(root), path_(std::move(key)), names_(std::move(names)), view_(view) {
  key_ = OpenKey(root_, path_, KEY_ALL_ACCESS | view_);
  if (!key_) {
    existing_ancestor_ = path_;
    while (!existing_ancestor_.empty()) {
      const std::size_t slash = existing_ancestor_.find_last_of('\\');
      existing_ancestor_.resize(slash == std::string::npos ? 0 : slash);
      if (!existing_ancestor_.empty() && OpenKey(root_, existing_ancestor_, KEY_READ | view_)) break;
    }
    DWORD disposition = 0;
    if (::RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr,
                          key_.receive(), &disposition) != ERROR_SUCCESS) {
      (void)key_.release();
      return;
    }
    created_ = disposition == REG_CREATED_NEW_KEY;
  }
  if (names_.empty()) {
    saved_ = ReadValues(root_, path_, view_);
  } else {
    for (const std::string& name : names_) {
      if (std::optional<StoredValue> value = ReadValue(root_, path_, name, view_)) {
        saved_.push_back(*value);
      }
    }
  }
  RemoveTestValues();
}

SavedRegistryValues::~SavedRegistryValues() {
  if (!key_) return;
  RemoveTestValues();
  for (const StoredValue& value : saved_) (void)SetRaw(value.name, value.type, value.bytes);
  key_.reset();
  if (!created_) return;
  // Only keys without subkeys go: the test's key, then each key made for it,
  // up to the first that other keys still need.
  for (std::string key = path_; key.size() > existing_ancestor_.size();) {
    if (::RegDeleteKeyExA(root_, key.c_str(), view_, 0) != ERROR_SUCCESS) break;
    const std::size_t slash = key.find_last_of('\\');
    if (slash == std::string::npos) break;
    key.resize(slash);
  }
}

void SavedRegistryValues::RemoveTestValues() const {
  if (names_.empty()) {
    for (const StoredValue& value : ReadValues(root_, path_, view_)) {
      ::RegDeleteValueA(key_.get(), value.name.c_str());
    }
  } else {
    for (const std::string& name : names_) ::RegDeleteValueA(key_.get(), name.c_str());
  }
}

LSTATUS SavedRegistryValues::SetString(const std::string& name, const std::string& text) const {
  return SetRaw(name, REG_SZ, SzBytes(text));
}

LSTATUS SavedRegistryValues::SetRaw(const std::string& name, DWORD type,
                                    const std::string& bytes) const {
  return SetValue(key_.get(), name, type, bytes);
}

std::optional<DWORD> RunAndWait(const std::string& command_line) {
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  UniqueFile nul(::CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inherited, OPEN_EXISTING, 0, nullptr));
  if (!nul) return std::nullopt;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
  PROCESS_INFORMATION process{};
  std::string command = command_line;
  if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
    return std::nullopt;
  }
  UniqueFile thread(process.hThread);
  UniqueFile child(process.hProcess);
  constexpr DWORD kProgramEndLimitMs = 30000;
  DWORD code = 0;
  if (::WaitForSingleObject(child.get(), kProgramEndLimitMs) != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(child.get(), &code)) {
    return std::nullopt;
  }
  return code;
}

std::optional<std::string> ClipboardText(HWND owner) {
  std::optional<ClipboardOpen> clipboard;
  if (!PollUntil([&] { return clipboard.emplace(owner).opened(); })) return std::nullopt;
  HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
  if (!data) return std::nullopt;
  const wchar_t* text = static_cast<const wchar_t*>(::GlobalLock(data));
  if (!text) return std::nullopt;
  const std::size_t length = ::wcsnlen(text, ::GlobalSize(data) / sizeof(wchar_t));
  std::string result;
  if (length > 0) {
    const int chars = static_cast<int>(length);
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, chars, nullptr, 0, nullptr, nullptr);
    result.resize(static_cast<std::size_t>(size > 0 ? size : 0));
    if (size > 0) ::WideCharToMultiByte(CP_UTF8, 0, text, chars, result.data(), size, nullptr, nullptr);
  }
  ::GlobalUnlock(data);
  return result;
}

bool PutTextOnClipboard(const std::string& text) {
  std::optional<ClipboardOpen> clipboard;
  if (!PollUntil([&] { return clipboard.emplace(nullptr).opened(); })) return false;
  ::EmptyClipboard();
  cu::win32::UniqueHglobal block(::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1));
  void* bytes = block ? ::GlobalLock(block.get()) : nullptr;
  if (!bytes) return false;
  std::memcpy(bytes, text.c_str(), text.size() + 1);
  ::GlobalUnlock(block.get());
  // The clipboard owns the block once it took it.
  if (!::SetClipboardData(CF_TEXT, block.get())) return false;
  (void)block.release();
  return true;
}

std::optional<SERVICE_STATUS_PROCESS> ServiceStatusNow(const std::string& service_name) {
  const UniqueSc service = OpenTestService(service_name, SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS);
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!service) return std::nullopt;
  if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(&status), sizeof status, &needed)) {
    return std::nullopt;
  }
  return status;
}

DWORD ServiceProcessId(const std::string& service_name) {
  const std::optional<SERVICE_STATUS_PROCESS> status = ServiceStatusNow(service_name);
  return status ? status->dwProcessId : 0;
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

bool SetKeyDacl(HKEY key, const char* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
    return false;
  }
  const cu::win32::UniqueHlocal owner(descriptor);
  return ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
}

ReadOnlyKey::ReadOnlyKey(HKEY root, const std::string& path, REGSAM view) {
  if (::RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL | WRITE_DAC | view, key_.receive()) !=
      ERROR_SUCCESS) {
    return;
  }
  DWORD size = 0;
  (void)::RegGetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
  saved_.resize(size);
  if (size == 0 || ::RegGetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, saved_.data(),
                                       &size) != ERROR_SUCCESS) {
    return;
  }
  made_ = SetKeyDacl(key_.get(), "D:(A;;KR;;;WD)");
}

ReadOnlyKey::~ReadOnlyKey() {
  if (made_) (void)::RegSetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, saved_.data());
}

RegisteredService::RegisteredService(std::string name, const std::string& display_name,
                                     const std::string& command, const char* dependencies)
    : name_(std::move(name)) {
  Remove();  // a leftover of an earlier run that ended abruptly
  UniqueSc manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return;
  UniqueSc service(::CreateServiceA(manager.get(), name_.c_str(), display_name.c_str(),
                                    SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                    SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, command.c_str(),
                                    nullptr, nullptr, dependencies, nullptr, nullptr));
  created_ = service.valid();
}

RegisteredService::~RegisteredService() { Remove(); }

bool RegisteredService::SetDescription(const char* text) const {
  const UniqueSc service = OpenTestService(name_, SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG);
  SERVICE_DESCRIPTIONA description{const_cast<char*>(text)};
  return service &&
         ::ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_DESCRIPTION, &description) != FALSE;
}

std::string RegisteredService::StartName() const {
  const UniqueSc service = OpenTestService(name_, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG);
  std::vector<BYTE> buffer(8192);
  DWORD needed = 0;
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  if (!service ||
      !::QueryServiceConfigA(service.get(), config, static_cast<DWORD>(buffer.size()), &needed) ||
      !config->lpServiceStartName) {
    return {};
  }
  return config->lpServiceStartName;
}

bool RegisteredService::Start() const {
  const UniqueSc service = OpenTestService(name_, SC_MANAGER_CONNECT, SERVICE_START);
  if (!service || !::StartServiceA(service.get(), 0, nullptr)) return false;
  return PollUntil(
      [&] {
        const std::optional<SERVICE_STATUS_PROCESS> status = ServiceStatusNow(name_);
        return status && status->dwCurrentState == SERVICE_RUNNING;
      },
      1000);
}

void RegisteredService::Remove() const {
  UniqueSc manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return;
  {
    UniqueSc service(::OpenServiceA(manager.get(), name_.c_str(), SERVICE_ALL_ACCESS));
    if (!service) return;
    // A service still starting refuses the stop, so it is asked again.
    SERVICE_STATUS status{};
    (void)PollUntil(
        [&] {
          if (::QueryServiceStatus(service.get(), &status) &&
              status.dwCurrentState == SERVICE_STOPPED) {
            return true;
          }
          (void)::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
          return false;
        },
        1000);
    ::DeleteService(service.get());
  }
  // The manager removes a deleted service once its last handle is closed.
  (void)PollUntil(
      [&] {
        return !UniqueSc(::OpenServiceA(manager.get(), name_.c_str(), SERVICE_QUERY_STATUS));
      },
      1000);
}

}  // namespace cu::test_kit
