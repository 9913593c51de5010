#include <stdexcept>

#include "platform/memory/memory_machine.h"
#include "platform/text.h"

namespace cu::memory {

namespace {

constexpr uint32_t kViewFlags = kKeyWow64_32Key | kKeyWow64_64Key;
constexpr char kWow64Node[] = "WOW6432Node";

struct StoredValue {
  std::string name;
  RegValueData data;
  bool fail_reads = false;
};

struct Key {
  std::string name;
  Key* parent = nullptr;
  // Children are never removed, so a Key* held by an open handle stays valid
  // for the registry's whole life.
  std::map<std::string, std::unique_ptr<Key>> children;  // lower-cased name -> key
  // Values in enumeration order (by sequence number), with a by-name index
  // so that keys with thousands of values stay fast.
  std::map<uint64_t, StoredValue> values;
  std::map<std::string, uint64_t> value_index;  // lower-cased name -> sequence
  uint64_t next_sequence = 1;
  std::optional<uint32_t> allowed;  // access restriction

  std::string FullName() const {
    if (parent == nullptr) return name;
    return parent->FullName() + "\\" + name;
  }
  Key* Child(const std::string& child_name) const {
    auto it = children.find(AsciiLower(child_name));
    return it == children.end() ? nullptr : it->second.get();
  }
  StoredValue* FindValue(const std::string& value_name) {
    auto it = value_index.find(AsciiLower(value_name));
    return it == value_index.end() ? nullptr : &values.at(it->second);
  }
  // An existing value keeps its place in the enumeration.
  StoredValue& Put(const std::string& value_name, RegValueData data) {
    StoredValue* value = FindValue(value_name);
    if (value == nullptr) {
      const uint64_t seq = next_sequence++;
      value_index[AsciiLower(value_name)] = seq;
      value = &values[seq];
      value->name = value_name;
    }
    value->data = std::move(data);
    value->fail_reads = false;
    return *value;
  }
  bool Erase(const std::string& value_name) {
    auto it = value_index.find(AsciiLower(value_name));
    if (it == value_index.end()) return false;
    values.erase(it->second);
    value_index.erase(it);
    return true;
  }
};

std::vector<std::string> SplitKeyPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

// A restriction applies to the key it was set on and to every key below it.
bool AccessAllowed(const Key* key, uint32_t access) {
  for (; key != nullptr; key = key->parent) {
    if (key->allowed && (access & ~*key->allowed) != 0) return false;
  }
  return true;
}

}  // namespace

struct MemoryRegistry::Impl {
  Impl() {
    // The names the system gives the roots, in the order of Hive.
    roots[0].name = "USER\\S-1-5-21-1000";
    roots[1].name = "MACHINE";
    roots[2].name = "USER";
  }
  Key roots[3];
  int open_keys = 0;
  bool wow64 = true;
  // Lower-cased paths below HKLM that both views share.
  std::set<std::string> shared;
  // Writes left before the first refused one; 0 when writes never fail.
  int writes_until_failure = 0;
  bool writes_failing = false;
  uint32_t last_error = 0;  // see MemoryRegistry::LastError

  // Keeps `error` as the last one and gives false, for a refused call.
  bool Refuse(uint32_t error) {
    last_error = error;
    return false;
  }

  Key& Root(Hive hive) { return roots[static_cast<int>(hive)]; }
  const Key& Root(Hive hive) const { return roots[static_cast<int>(hive)]; }

  // Walks below `from`; never creates. Null when a component is missing.
  static Key* Walk(Key* from, const std::string& path) {
    Key* key = from;
    for (const std::string& part : SplitKeyPath(path)) {
      key = key->Child(part);
      if (key == nullptr) return nullptr;
    }
    return key;
  }

  Key* Find(Hive hive, const std::string& path) const {
    return Walk(const_cast<Key*>(&Root(hive)), path);
  }

  // The path an open of HKLM in the 32-bit view reaches: Software\X becomes
  // Software\WOW6432Node\X unless X lies in a key both views share.
  std::string Redirected(Hive hive, const std::string& path, uint32_t access) const {
    if (!wow64 || hive != Hive::kLocalMachine || (access & kKeyWow64_32Key) == 0) return path;
    std::vector<std::string> parts = SplitKeyPath(path);
    if (parts.empty() || AsciiLower(parts[0]) != "software") return path;
    if (parts.size() > 1 && AsciiLower(parts[1]) == AsciiLower(kWow64Node)) return path;
    std::string below;
    for (std::size_t i = 1; i < parts.size(); ++i) {
      below += (i > 1 ? "\\" : "") + parts[i];
      if (shared.count(AsciiLower("Software\\" + below)) != 0) return path;
    }
    std::string out = parts[0] + "\\" + kWow64Node;
    if (!below.empty()) out += "\\" + below;
    return out;
  }

  Key& Create(Hive hive, const std::string& path) {
    Key* key = &Root(hive);
    for (const std::string& part : SplitKeyPath(path)) {
      std::unique_ptr<Key>& slot = key->children[AsciiLower(part)];
      if (!slot) {
        slot = std::make_unique<Key>();
        slot->name = part;
        slot->parent = key;
      }
      key = slot.get();
    }
    return *key;
  }

  bool NextWriteFails() {
    if (writes_until_failure > 0 && --writes_until_failure == 0) writes_failing = true;
    return writes_failing;
  }
};

namespace {

class MemoryRegKey : public RegKey {
 public:
  MemoryRegKey(std::shared_ptr<MemoryRegistry::Impl> impl, Key* key, uint32_t access)
      : impl_(std::move(impl)), key_(key), access_(access) {
    ++impl_->open_keys;
  }
  ~MemoryRegKey() override { --impl_->open_keys; }

  std::unique_ptr<RegKey> OpenSubKey(const std::string& path, uint32_t access) override {
    return Open(impl_, key_, path, access);
  }

  std::optional<std::vector<std::string>> ValueNames() override {
    if ((access_ & kKeyQueryValue) == 0) return std::nullopt;
    std::vector<std::string> names;
    names.reserve(key_->values.size());
    for (const auto& [seq, value] : key_->values) names.push_back(value.name);
    return names;
  }

  std::optional<std::vector<RegNamedValue>> Values() override {
    if ((access_ & kKeyQueryValue) == 0) return std::nullopt;
    std::vector<RegNamedValue> values;
    values.reserve(key_->values.size());
    for (const auto& [seq, value] : key_->values) {
      RegNamedValue& entry = values.emplace_back();
      entry.name = value.name;
      if (value.fail_reads) {
        entry.query.status = RegQuery::Status::kFailed;
      } else {
        entry.query.status = RegQuery::Status::kOk;
        entry.query.value = value.data;
      }
    }
    return values;
  }

  std::optional<std::string> SystemName() override {
    return "\\REGISTRY\\" + key_->FullName();
  }

  // In name order without letter case, as Windows keeps them.
  std::optional<std::vector<std::string>> SubKeyNames() override {
    if ((access_ & kKeyEnumerateSubKeys) == 0) return std::nullopt;
    std::vector<std::string> names;
    names.reserve(key_->children.size());
    for (const auto& [lower, child] : key_->children) names.push_back(child->name);
    return names;
  }

  RegQuery QueryValue(const std::string& name) override {
    RegQuery query;
    if ((access_ & kKeyQueryValue) == 0) {
      query.status = RegQuery::Status::kFailed;
      return query;
    }
    const StoredValue* value = key_->FindValue(name);
    if (value == nullptr) {
      query.status = RegQuery::Status::kMissing;
    } else if (value->fail_reads) {
      query.status = RegQuery::Status::kFailed;
    } else {
      query.status = RegQuery::Status::kOk;
      query.value = value->data;
    }
    return query;
  }

  bool SetString(const std::string& name, const std::string& text) override {
    if (!MayWrite()) return false;
    key_->Put(name, RegValueData{kRegSz, text + '\0'});
    return true;
  }

  bool SetBinary(const std::string& name, const std::string& bytes) override {
    if (!MayWrite()) return false;
    key_->Put(name, RegValueData{kRegBinary, bytes});
    return true;
  }

  bool SetDword(const std::string& name, uint32_t value) override {
    if (!MayWrite()) return false;
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    key_->Put(name, RegValueData{kRegDword, bytes});
    return true;
  }

  bool DeleteValue(const std::string& name) override {
    if ((access_ & kKeySetValue) == 0) return impl_->Refuse(kErrorAccessDenied);
    return key_->Erase(name) || impl_->Refuse(kErrorFileNotFound);
  }

  static std::unique_ptr<RegKey> Open(const std::shared_ptr<MemoryRegistry::Impl>& impl, Key* from,
                                      const std::string& path, uint32_t access) {
    // Windows refuses a subkey path that begins with a backslash.
    if (!path.empty() && path[0] == '\\') return nullptr;
    access &= ~kViewFlags;
    Key* key = MemoryRegistry::Impl::Walk(from, path);
    if (key == nullptr) {
      (void)impl->Refuse(kErrorFileNotFound);
      return nullptr;
    }
    if (!AccessAllowed(key, access)) {
      (void)impl->Refuse(kErrorAccessDenied);
      return nullptr;
    }
    return std::make_unique<MemoryRegKey>(impl, key, access);
  }

 private:
  // A value write needs KEY_SET_VALUE, and may be one set to fail.
  bool MayWrite() {
    if ((access_ & kKeySetValue) == 0) return impl_->Refuse(kErrorAccessDenied);
    // ERROR_WRITE_FAULT, for a write the test set to fail.
    if (impl_->NextWriteFails()) return impl_->Refuse(29);
    return true;
  }

  std::shared_ptr<MemoryRegistry::Impl> impl_;
  Key* key_;
  uint32_t access_;
};

}  // namespace

MemoryRegistry::MemoryRegistry() : impl_(std::make_shared<Impl>()) {}
MemoryRegistry::~MemoryRegistry() = default;

std::unique_ptr<RegKey> MemoryRegistry::OpenKey(Hive root, const std::string& path,
                                                uint32_t access) {
  return MemoryRegKey::Open(impl_, &impl_->Root(root), impl_->Redirected(root, path, access), access);
}

std::unique_ptr<RegKey> MemoryRegistry::CreateKey(Hive root, const std::string& path,
                                                  uint32_t access) {
  const std::string target = impl_->Redirected(root, path, access);
  if (!target.empty() && target[0] == '\\') return nullptr;
  // Creating a missing key takes the right to create subkeys of the last
  // existing one, and counts as a write.
  Key* existing = &impl_->Root(root);
  for (const std::string& part : SplitKeyPath(target)) {
    Key* child = existing->Child(part);
    if (child == nullptr) {
      if (!AccessAllowed(existing, kKeyCreateSubKey)) {
        (void)impl_->Refuse(kErrorAccessDenied);
        return nullptr;
      }
      if (impl_->NextWriteFails()) {
        (void)impl_->Refuse(29);
        return nullptr;
      }
      impl_->Create(root, target);
      break;
    }
    existing = child;
  }
  return OpenKey(root, path, access);
}

uint32_t MemoryRegistry::LastError() { return impl_->last_error; }

void MemoryRegistry::ShareBetweenViews(const std::string& path) {
  impl_->shared.insert(AsciiLower(path));
}

void MemoryRegistry::SetSingleView() { impl_->wow64 = false; }

std::string MemoryRegistry::View32Path(const std::string& path) const {
  return impl_->Redirected(Hive::kLocalMachine, path, kKeyWow64_32Key);
}

void MemoryRegistry::CreateKey(Hive root, const std::string& path) { impl_->Create(root, path); }

void MemoryRegistry::SetValue(Hive root, const std::string& path, const std::string& name,
                              uint32_t type, std::string bytes) {
  impl_->Create(root, path).Put(name, RegValueData{type, std::move(bytes)});
}

void MemoryRegistry::SetString(Hive root, const std::string& path, const std::string& name,
                               const std::string& text, uint32_t type) {
  SetValue(root, path, name, type, text + '\0');
}

void MemoryRegistry::SetDword(Hive root, const std::string& path, const std::string& name,
                              uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  SetValue(root, path, name, kRegDword, std::move(bytes));
}

void MemoryRegistry::RestrictAccess(Hive root, const std::string& path, uint32_t allowed) {
  impl_->Create(root, path).allowed = allowed;
}

void MemoryRegistry::FailReads(Hive root, const std::string& path, const std::string& name) {
  Key* key = impl_->Find(root, path);
  StoredValue* value = key ? key->FindValue(name) : nullptr;
  if (value == nullptr) {
    throw std::invalid_argument("FailReads: no value '" + name + "' in " + path);
  }
  value->fail_reads = true;
}

void MemoryRegistry::FailWritesFrom(int n) {
  impl_->writes_until_failure = n > 0 ? n : 0;
  impl_->writes_failing = false;
}

bool MemoryRegistry::HasKey(Hive root, const std::string& path) const {
  return impl_->Find(root, path) != nullptr;
}

std::optional<RegValueData> MemoryRegistry::Value(Hive root, const std::string& path,
                                                  const std::string& name) const {
  Key* key = impl_->Find(root, path);
  if (key == nullptr) return std::nullopt;
  const auto* value = key->FindValue(name);
  if (value == nullptr) return std::nullopt;
  return value->data;
}

std::optional<std::string> MemoryRegistry::StringValue(Hive root, const std::string& path,
                                                       const std::string& name) const {
  std::optional<RegValueData> data = Value(root, path, name);
  if (!data) return std::nullopt;
  const std::size_t end = data->bytes.find('\0');
  return end == std::string::npos ? data->bytes : data->bytes.substr(0, end);
}

std::vector<std::string> MemoryRegistry::Names(Hive root, const std::string& path) const {
  std::vector<std::string> names;
  if (Key* key = impl_->Find(root, path)) {
    for (const auto& [seq, value] : key->values) names.push_back(value.name);
  }
  return names;
}

int MemoryRegistry::open_key_count() const { return impl_->open_keys; }

}  // namespace cu::memory
