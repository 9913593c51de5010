#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

namespace cu::win32 {
namespace {

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
    return ::RegSetValueExA(key_.get(), name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
  }

  bool DeleteValue(const std::string& name) override {
    return ::RegDeleteValueA(key_.get(), name.c_str()) == ERROR_SUCCESS;
  }

  static std::unique_ptr<RegKey> Open(HKEY parent, const std::string& path, uint32_t access) {
    UniqueHkey key;
    if (::RegOpenKeyExA(parent, path.c_str(), 0, access, key.receive()) != ERROR_SUCCESS) {
      return nullptr;
    }
    return std::make_unique<Win32RegKey>(std::move(key));
  }

 private:
  // A value name has at most 16,383 characters; in a multi-byte code page
  // each may take up to three bytes.
  static constexpr std::size_t kMaxNameBytes = 16384 * 3 + 1;

  bool QueryInfo(DWORD& count, DWORD& longest) {
    return ::RegQueryInfoKeyA(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &count, &longest, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  }

  UniqueHkey key_;
};

}  // namespace

std::unique_ptr<RegKey> Win32Registry::OpenKey(Hive root, const std::string& path,
                                               uint32_t access) {
  return Win32RegKey::Open(RootKey(root), path, access);
}

}  // namespace cu::win32
