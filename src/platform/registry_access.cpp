#include "platform/registry_access.h"

#include "platform/errors.h"

namespace cu {

RegistryAccess::RegistryAccess(RegistryBackend& backend, uint32_t access)
    : backend_(backend), access_(access) {}

void RegistryAccess::SetRoot(Hive root) {
  CloseKey();
  root_ = root;
}

std::unique_ptr<RegKey> RegistryAccess::Open(const std::string& path) {
  if (!path.empty() && path[0] == '\\') {
    return backend_.OpenKey(root_, path.substr(1), access_);
  }
  if (current_) return current_->OpenSubKey(path, access_);
  return backend_.OpenKey(root_, path, access_);
}

bool RegistryAccess::OpenKey(const std::string& path) { return MakeCurrent(Open(path), path); }

bool RegistryAccess::CreateKey(const std::string& path) {
  // Created from the root: a relative path goes below the current key's path.
  std::string full = !path.empty() && path[0] == '\\' ? path.substr(1) : path;
  if ((path.empty() || path[0] != '\\') && current_ && !current_path_.empty()) {
    full = path.empty() ? current_path_ : current_path_ + "\\" + path;
  }
  return MakeCurrent(backend_.CreateKey(root_, full, access_), "\\" + full);
}

std::optional<std::string> RegistryAccess::CurrentKeyName() {
  if (!current_) return std::nullopt;
  return current_->SystemName();
}

bool RegistryAccess::MakeCurrent(std::unique_ptr<RegKey> key, const std::string& path) {
  if (!key) return false;
  const bool absolute = !path.empty() && path[0] == '\\';
  std::string full = absolute ? path.substr(1) : path;
  if (!absolute && current_ && !current_path_.empty()) {
    full = path.empty() ? current_path_ : current_path_ + "\\" + path;
  }
  current_ = std::move(key);
  current_path_ = std::move(full);
  return true;
}

void RegistryAccess::CloseKey() {
  current_.reset();
  current_path_.clear();
}

void RegistryAccess::GetValueNames(std::vector<std::string>& names) {
  names.clear();
  if (!current_) return;
  std::optional<std::vector<std::string>> found = current_->ValueNames();
  if (found) names = std::move(*found);
}

void RegistryAccess::GetValues(std::vector<RegNamedValue>& values) {
  values.clear();
  if (!current_) return;
  std::optional<std::vector<RegNamedValue>> found = current_->Values();
  if (found) values = std::move(*found);
}

void RegistryAccess::GetSubKeyNames(std::vector<std::string>& names) {
  names.clear();
  if (!current_) return;
  std::optional<std::vector<std::string>> found = current_->SubKeyNames();
  if (found) names = std::move(*found);
}

std::string RegistryAccess::ReadString(const std::string& name) {
  if (!current_) return {};
  return StringOf(name, current_->QueryValue(name));
}

RegQuery RegistryAccess::ReadValue(const std::string& name) {
  if (!current_) return {};
  return current_->QueryValue(name);
}

std::string RegistryAccess::StringOf(const std::string& name, const RegQuery& query) {
  if (query.status == RegQuery::Status::kMissing) return {};
  if (query.status == RegQuery::Status::kFailed) {
    throw AppError("Failed to get data for '" + name + "'");
  }
  const std::string& bytes = query.value.bytes;
  if (bytes.empty()) return {};
  if (query.value.type != kRegSz && query.value.type != kRegExpandSz) {
    throw AppError("Invalid data type for '" + name + "'");
  }
  // Stored data need not end in a NUL; stop at the first one or at the end.
  const std::size_t end = bytes.find('\0');
  return end == std::string::npos ? bytes : bytes.substr(0, end);
}

void RegistryAccess::WriteString(const std::string& name, const std::string& text) {
  if (!current_ || !current_->SetString(name, text)) {
    throw AppError("Failed to set data for '" + name + "'");
  }
}

void RegistryAccess::WriteBinary(const std::string& name, const std::string& bytes) {
  if (!TryWriteBinary(name, bytes)) throw AppError("Failed to set data for '" + name + "'");
}

bool RegistryAccess::TryWriteBinary(const std::string& name, const std::string& bytes) {
  return current_ && current_->SetBinary(name, bytes);
}

bool RegistryAccess::TryWriteString(const std::string& name, const std::string& text) {
  return current_ && current_->SetString(name, text);
}

bool RegistryAccess::TryWriteDword(const std::string& name, uint32_t value) {
  return current_ && current_->SetDword(name, value);
}

bool RegistryAccess::DeleteValue(const std::string& name) {
  return current_ && current_->DeleteValue(name);
}

bool RegistryAccess::ValueExists(const std::string& name) {
  return current_ && current_->QueryValue(name).status == RegQuery::Status::kOk;
}

bool RegistryAccess::KeyExists(const std::string& path) {
  return Open(path) != nullptr;
}

}  // namespace cu
