#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

namespace cu::win32 {
namespace {

// UTF-8, whatever the process code page: lossless, so that two different
// names never compare equal.
std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string out(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), length, nullptr, nullptr);
  return out;
}

// The status of the last refused open, creation, write or deletion on this
// thread (see RegistryBackend::LastError).
thread_local LSTATUS last_error = ERROR_SUCCESS;

// True for ERROR_SUCCESS; any other status is kept as the thread's last error.
bool Succeeded(LSTATUS status) {
  if (status == ERROR_SUCCESS) return true;
  last_error = status;
  return false;
}

HKEY RootKey(Hive root) {
  switch (root) {
    case Hive::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case Hive::kUsers:
      return HKEY_USERS;
    case Hive::kCurrentUser:
      break;
  }
  return HKEY_CURRENT_USER;
}

class Win32RegKey : public RegKey {
 public:
  explicit Win32RegKey(UniqueHkey key) : key_(std::move(key)) {}

  std::unique_ptr<RegKey> OpenSubKey(const std::string& path, uint32_t access) override {
    return Open(key_.get(), path, access);
  }

  std::optional<std::vector<std::string>> ValueNames() override {
    DWORD count = 0;
    DWORD longest = 0;
    if (!QueryInfo(count, longest)) return std::nullopt;
    std::vector<std::string> names;
    names.reserve(count);
    std::vector<char> buffer(std::size_t{longest} + 1);
    for (DWORD index = 0; index < count;) {
      DWORD length = static_cast<DWORD>(buffer.size());
      const LSTATUS status = ::RegEnumValueA(key_.get(), index, buffer.data(), &length, nullptr,
                                             nullptr, nullptr, nullptr);
      if (status == ERROR_SUCCESS) {
        names.emplace_back(buffer.data(), std::min<std::size_t>(length, buffer.size()));
        ++index;
      } else if (status == ERROR_MORE_DATA && buffer.size() < kMaxNameBytes) {
        // A longer name was added since the key was queried, or the name
        // takes more bytes in the ANSI code page than it has characters.
        DWORD ignored = 0;
        if (QueryInfo(ignored, longest)) {
          buffer.resize(std::max<std::size_t>(std::size_t{longest} + 1, buffer.size() * 2));
        } else {
          buffer.resize(buffer.size() * 2);
        }
      } else if (status == ERROR_NO_MORE_ITEMS) {
        break;  // values were removed since the key was queried
      } else {
        ++index;  // this one cannot be read; the others still can
      }
    }
    return names;
  }

  std::optional<std::vector<RegNamedValue>> Values() override {
    DWORD count = 0;
    DWORD longest_name = 0;
    DWORD longest_data = 0;
    if (!QueryInfo(count, longest_name, &longest_data)) return std::nullopt;
    std::vector<RegNamedValue> values;
    values.reserve(count);
    std::vector<char> name(std::size_t{longest_name} + 1);
    // The ANSI data of a string value can take more bytes than its stored
    // UTF-16 form reports; a value that grows past the buffer is read again.
    std::string data(std::max<std::size_t>(longest_data, 256) + 2, '\0');
    for (DWORD index = 0; index < count;) {
      DWORD name_length = static_cast<DWORD>(name.size());
      DWORD data_length = static_cast<DWORD>(data.size());
      DWORD type = REG_NONE;
      const LSTATUS status =
          ::RegEnumValueA(key_.get(), index, name.data(), &name_length, nullptr, &type,
                          reinterpret_cast<BYTE*>(data.data()), &data_length);
      if (status == ERROR_SUCCESS) {
        RegNamedValue& value = values.emplace_back();
        value.name.assign(name.data(), std::min<std::size_t>(name_length, name.size()));
        value.query.status = RegQuery::Status::kOk;
        value.query.value.type = type;
        value.query.value.bytes.assign(data.data(), std::min<std::size_t>(data_length, data.size()));
        ++index;
      } else if (status == ERROR_MORE_DATA && (name.size() < kMaxNameBytes || data.size() < kMaxDataBytes)) {
        // Name or data do not fit: a value grew or was added since the key
        // was queried. Both buffers grow; the same index is read again.
        DWORD ignored = 0;
        DWORD new_name = 0;
        DWORD new_data = 0;
        if (!QueryInfo(ignored, new_name, &new_data)) new_name = new_data = 0;
        name.resize(std::min(kMaxNameBytes, std::max<std::size_t>(std::size_t{new_name} + 1, name.size() * 2)));
        data.resize(std::min(kMaxDataBytes, std::max<std::size_t>(std::size_t{new_data} + 2, data.size() * 2)));
      } else if (status == ERROR_NO_MORE_ITEMS) {
        break;  // values were removed since the key was queried
      } else {
        ++index;  // this one cannot be read; the others still can
      }
    }
    return values;
  }

  std::optional<std::vector<std::string>> SubKeyNames() override {
    // A key name has at most 255 characters, each up to three bytes in a
    // multi-byte code page: one buffer holds any of them.
    char name[255 * 3 + 1];
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
      DWORD length = sizeof name;
      const LSTATUS status = ::RegEnumKeyExA(key_.get(), index, name, &length, nullptr, nullptr,
                                             nullptr, nullptr);
      // Subkeys removed since the enumeration began end it early.
      if (status == ERROR_NO_MORE_ITEMS) return names;
      if (status != ERROR_SUCCESS) return std::nullopt;
      names.emplace_back(name, std::min<std::size_t>(length, sizeof name));
    }
  }

  RegQuery QueryValue(const std::string& name) override {
    RegQuery query;
    // Most values are short: one read into a small buffer, and only a value
    // that does not fit is read again with the size the call asked for (also
    // when it grew in between).
    std::string bytes(512, '\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
      DWORD type = REG_NONE;
      DWORD read = static_cast<DWORD>(bytes.size());
      const LSTATUS status = ::RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type,
                                                reinterpret_cast<BYTE*>(bytes.data()), &read);
      if (status == ERROR_MORE_DATA) {
        bytes.assign(std::max<std::size_t>(read, bytes.size() * 2), '\0');
        continue;
      }
      if (status == ERROR_FILE_NOT_FOUND) return query;
      if (status != ERROR_SUCCESS) break;
      bytes.resize(std::min<std::size_t>(read, bytes.size()));
      query.status = RegQuery::Status::kOk;
      query.value.type = type;
      query.value.bytes = std::move(bytes);
      return query;
    }
    query.status = RegQuery::Status::kFailed;
    return query;
  }

  bool SetString(const std::string& name, const std::string& text) override {
    return Succeeded(::RegSetValueExA(key_.get(), name.c_str(), 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(text.c_str()),
                                      static_cast<DWORD>(text.size() + 1)));
  }

  bool SetBinary(const std::string& name, const std::string& bytes) override {
    return Succeeded(::RegSetValueExA(key_.get(), name.c_str(), 0, REG_BINARY,
                                      reinterpret_cast<const BYTE*>(bytes.data()),
                                      static_cast<DWORD>(bytes.size())));
  }

  bool SetDword(const std::string& name, uint32_t value) override {
    const DWORD data = value;
    return Succeeded(::RegSetValueExA(key_.get(), name.c_str(), 0, REG_DWORD,
                                      reinterpret_cast<const BYTE*>(&data), sizeof data));
  }

  bool DeleteValue(const std::string& name) override {
    return Succeeded(::RegDeleteValueA(key_.get(), name.c_str()));
  }

  std::optional<std::string> SystemName() override {
    // NtQueryKey's KeyNameInformation: the key's full name in the object
    // namespace, which already shows where a view redirected it.
    using QueryKey = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<QueryKey>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryKey")));
    if (query == nullptr) return std::nullopt;
    constexpr int kKeyNameInformation = 3;
    std::vector<ULONG> buffer(256);
    for (int attempt = 0; attempt < 4; ++attempt) {
      ULONG needed = 0;
      const ULONG size = static_cast<ULONG>(buffer.size() * sizeof(ULONG));
      const LONG status = query(key_.get(), kKeyNameInformation, buffer.data(), size, &needed);
      if (status >= 0) {
        const ULONG bytes = std::min<ULONG>(buffer[0], size - sizeof(ULONG));
        const auto* name = reinterpret_cast<const wchar_t*>(buffer.data() + 1);
        return Utf8(std::wstring(name, bytes / sizeof(wchar_t)));
      }
      if (needed <= size) return std::nullopt;
      buffer.resize(needed / sizeof(ULONG) + 1);
    }
    return std::nullopt;
  }

  static std::unique_ptr<RegKey> Open(HKEY parent, const std::string& path, uint32_t access) {
    UniqueHkey key;
    if (!Succeeded(::RegOpenKeyExA(parent, path.c_str(), 0, access, key.receive()))) {
      return nullptr;
    }
    return std::make_unique<Win32RegKey>(std::move(key));
  }

  static std::unique_ptr<RegKey> Create(HKEY parent, const std::string& path, uint32_t access) {
    UniqueHkey key;
    if (!Succeeded(::RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     access, nullptr, key.receive(), nullptr))) {
      return nullptr;
    }
    return std::make_unique<Win32RegKey>(std::move(key));
  }

 private:
  // A value name has at most 16,383 characters; in a multi-byte code page
  // each may take up to three bytes.
  static constexpr std::size_t kMaxNameBytes = 16384 * 3 + 1;
  // Far beyond any value the program reads; ends a value that keeps growing.
  static constexpr std::size_t kMaxDataBytes = std::size_t{64} << 20;

  bool QueryInfo(DWORD& count, DWORD& longest, DWORD* longest_data = nullptr) {
    return ::RegQueryInfoKeyA(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &count, &longest, longest_data, nullptr, nullptr) == ERROR_SUCCESS;
  }

  UniqueHkey key_;
};

}  // namespace

std::unique_ptr<RegKey> Win32Registry::OpenKey(Hive root, const std::string& path,
                                               uint32_t access) {
  return Win32RegKey::Open(RootKey(root), path, access);
}

std::unique_ptr<RegKey> Win32Registry::CreateKey(Hive root, const std::string& path,
                                                 uint32_t access) {
  return Win32RegKey::Create(RootKey(root), path, access);
}

uint32_t Win32Registry::LastError() { return static_cast<uint32_t>(last_error); }

}  // namespace cu::win32
