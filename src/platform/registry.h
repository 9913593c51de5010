#pragma once

// The registry: keys opened with an access mask (and a view), values read and written. Part of the seam (see platform.h).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace cu {

enum class Hive { kCurrentUser, kLocalMachine, kUsers };

inline constexpr uint32_t kKeyAllAccess = 0xF003F;
inline constexpr uint32_t kKeyRead = 0x20019;  // 131097
// The rights of a key handle that a change needs: reading values, writing
// or deleting them, creating subkeys.
inline constexpr uint32_t kKeyQueryValue = 0x0001;
inline constexpr uint32_t kKeySetValue = 0x0002;
inline constexpr uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
// View flags of an access mask. On 64-bit Windows the machine's Software
// keys exist twice: the 64-bit view (the native one of this program) and the
// 32-bit view, which regedit shows below Software\WOW6432Node. Keys that
// Windows shares between the views open the same key in both.
inline constexpr uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr uint32_t kKeyWow64_32Key = 0x0200;

inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;

struct RegValueData {
  uint32_t type = kRegNone;
  std::string bytes;  // raw data exactly as stored (string data may or may not hold a NUL)
};

struct RegQuery {
  enum class Status { kOk, kMissing, kFailed };
  Status status = Status::kMissing;
  RegValueData value;  // filled only for kOk
};

// One value of a key as the enumeration gives it, name and data together.
struct RegNamedValue {
  std::string name;
  RegQuery query;  // kOk with the data, or kFailed when its data cannot be read
};

// An open registry key. Closed by the destructor.
class RegKey {
 public:
  virtual ~RegKey() = default;
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // Opens a subkey relative to this key; never creates. Empty path opens this
  // key again. Null when it does not open with the given access.
  [[nodiscard]] virtual std::unique_ptr<RegKey> OpenSubKey(const std::string& path,
                                                           uint32_t access) = 0;
  // All value names in enumeration order; nullopt when the key cannot be queried.
  [[nodiscard]] virtual std::optional<std::vector<std::string>> ValueNames() = 0;
  // All values with their data, in enumeration order, read in one pass;
  // nullopt when the key cannot be queried.
  [[nodiscard]] virtual std::optional<std::vector<RegNamedValue>> Values() = 0;
  // The names of the key's subkeys in enumeration order; nullopt when the
  // key cannot be enumerated.
  [[nodiscard]] virtual std::optional<std::vector<std::string>> SubKeyNames() = 0;
  // One value; the empty name is the default value.
  [[nodiscard]] virtual RegQuery QueryValue(const std::string& name) = 0;
  // Writes REG_SZ data: the text plus its terminating NUL.
  [[nodiscard]] virtual bool SetString(const std::string& name, const std::string& text) = 0;
  // Writes REG_BINARY data exactly as given.
  [[nodiscard]] virtual bool SetBinary(const std::string& name, const std::string& bytes) = 0;
  // Writes REG_DWORD data.
  [[nodiscard]] virtual bool SetDword(const std::string& name, uint32_t value) = 0;
  [[nodiscard]] virtual bool DeleteValue(const std::string& name) = 0;
  // The system's own name of the key ("\REGISTRY\MACHINE\SOFTWARE\..."),
  // after any view redirection; two handles with equal names (compared
  // without letter case) are one key. nullopt when the system cannot say.
  [[nodiscard]] virtual std::optional<std::string> SystemName() = 0;
};

class RegistryBackend {
 public:
  virtual ~RegistryBackend() = default;
  // Opens a key below a root; never creates. The path has no leading
  // backslash; the empty path opens the root itself. `access` may carry a
  // view flag (kKeyWow64_32Key). Null on failure.
  [[nodiscard]] virtual std::unique_ptr<RegKey> OpenKey(Hive root, const std::string& path,
                                                        uint32_t access) = 0;
  // As OpenKey, creating the missing keys of the path. Null on failure.
  [[nodiscard]] virtual std::unique_ptr<RegKey> CreateKey(Hive root, const std::string& path,
                                                          uint32_t access) = 0;
  // The system's error code of the last open or creation of a key, or the
  // last write or deletion of a value through any key, that failed on the
  // calling thread (kErrorAccessDenied for a key the user may only read).
  [[nodiscard]] virtual uint32_t LastError() = 0;
};

}  // namespace cu
