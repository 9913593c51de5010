#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace cu {

// The one registry object the tabs use: a root, an access mask requested by
// every open, and at most one open current key. Shared by both backends, so
// the path rules and error texts are the same everywhere.
class RegistryAccess {
 public:
  // `access` is what every open asks for: kKeyRead to read, the rights of
  // the change to write (kKeySetValue, ...). It may carry a view flag
  // (kKeyWow64_32Key): every open then goes to that view.
  RegistryAccess(RegistryBackend& backend, uint32_t access);

  Hive root() const { return root_; }
  // A new root closes the current key.
  void SetRoot(Hive root);
  bool HasCurrentKey() const { return current_ != nullptr; }
  const std::string& current_path() const { return current_path_; }

  // Never creates. A path beginning with a backslash is taken from the root;
  // any other from the current key when one is open, else from the root. On
  // success the key becomes current and the old one is closed; on failure the
  // current key is unchanged.
  [[nodiscard]] bool OpenKey(const std::string& path);
  // As OpenKey, creating what is missing of the path.
  [[nodiscard]] bool CreateKey(const std::string& path);
  void CloseKey();
  // The system's name of the current key (see RegKey::SystemName).
  [[nodiscard]] std::optional<std::string> CurrentKeyName();
  // Clears `names`, then adds the current key's value names in enumeration
  // order; nothing when there is no current key or it cannot be queried.
  void GetValueNames(std::vector<std::string>& names);
  // Clears `values`, then adds the current key's values with their data, in
  // enumeration order, read in one pass; nothing when there is no current
  // key or it cannot be queried.
  void GetValues(std::vector<RegNamedValue>& values);
  // Clears `names`, then adds the current key's subkey names in enumeration
  // order; nothing when there is no current key or it cannot be enumerated.
  void GetSubKeyNames(std::vector<std::string>& names);
  // The value's text up to its first NUL, unexpanded. Missing value or no
  // data: empty. Throws AppError "Invalid data type for '<name>'" for data of
  // a non-string type and "Failed to get data for '<name>'" when the read fails.
  std::string ReadString(const std::string& name);
  // The text ReadString gives for a value already read, with its errors.
  [[nodiscard]] static std::string StringOf(const std::string& name, const RegQuery& query);
  // The value as stored; kMissing without a current key.
  [[nodiscard]] RegQuery ReadValue(const std::string& name);
  // Writes REG_SZ. Throws AppError "Failed to set data for '<name>'".
  void WriteString(const std::string& name, const std::string& text);
  // Writes REG_BINARY. Throws AppError "Failed to set data for '<name>'".
  void WriteBinary(const std::string& name, const std::string& bytes);
  // As WriteBinary, false instead of the error (the backend's LastError
  // then tells why).
  [[nodiscard]] bool TryWriteBinary(const std::string& name, const std::string& bytes);
  // REG_SZ and REG_DWORD writes that give false instead of an error (the
  // backend's LastError then tells why).
  [[nodiscard]] bool TryWriteString(const std::string& name, const std::string& text);
  [[nodiscard]] bool TryWriteDword(const std::string& name, uint32_t value);
  [[nodiscard]] bool DeleteValue(const std::string& name);
  [[nodiscard]] bool ValueExists(const std::string& name);
  // Opens the path as OpenKey would, with the same mask, and closes it again.
  // The current key is unchanged.
  [[nodiscard]] bool KeyExists(const std::string& path);

 private:
  std::unique_ptr<RegKey> Open(const std::string& path);
  bool MakeCurrent(std::unique_ptr<RegKey> key, const std::string& path);

  RegistryBackend& backend_;
  uint32_t access_;
  Hive root_ = Hive::kCurrentUser;
  std::unique_ptr<RegKey> current_;
  std::string current_path_;
};

}  // namespace cu
