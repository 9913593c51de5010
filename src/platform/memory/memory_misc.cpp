#include <cstdio>

#include "platform/errors.h"
#include "platform/memory/memory_machine.h"
#include "platform/text.h"

namespace cu::memory {

std::string ErrorTextOf(uint32_t error) {
  switch (error) {
    case kErrorFileNotFound: return "The system cannot find the file specified.";
    case kErrorAccessDenied: return "Access is denied.";
    case 32: return "The process cannot access the file because it is being used by another process.";
    case 145: return "The directory is not empty.";
    case 267: return "The directory name is invalid.";
    case 1056: return "An instance of the service is already running.";
    case 1061: return "The service cannot accept control messages at this time.";
    case 1062: return "The service has not been started.";
    case kErrorServiceDoesNotExist: return "The specified service does not exist as an installed service.";
    case kErrorDependentServicesRunning:
      return "A stop control has been sent to a service that other running services are "
             "dependent on.";
    default: return "Error " + std::to_string(error);
  }
}


// ------------------------------------------------------------------ shell

void MemoryShell::OpenItem(const std::string& target) { opened.push_back(target); }

void MemoryShell::ShowPropertiesSheet(const std::string& path) {
  properties_shown.push_back(path);
}

namespace {

class MemoryShortcutResolver : public ShortcutResolver {
 public:
  explicit MemoryShortcutResolver(const std::map<std::string, std::string>& shortcuts)
      : shortcuts_(shortcuts) {}
  std::string Resolve(const std::string& path) override {
    auto it = shortcuts_.find(AsciiLower(path));
    return it == shortcuts_.end() ? std::string() : it->second;
  }

 private:
  const std::map<std::string, std::string>& shortcuts_;
};

}  // namespace

std::unique_ptr<ShortcutResolver> MemoryShell::OpenShortcutResolver() {
  if (fail_create) throw AppError("Class not registered");
  ++resolvers_created;
  return std::make_unique<MemoryShortcutResolver>(shortcuts_);
}

void MemoryShell::SetShortcutTarget(const std::string& path, const std::string& target) {
  shortcuts_[AsciiLower(path)] = target;
}

// ------------------------------------------------------------ environment

std::optional<std::string> MemoryEnvironment::ExpandEnvironmentStrings(const std::string& text) {
  if (fail_expand) return std::nullopt;
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('%', i);
    if (open == std::string::npos) break;
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string::npos) break;
    out.append(text, i, open - i);
    const std::string name = AsciiUpper(std::string_view(text).substr(open + 1, close - open - 1));
    const std::string* value = nullptr;
    for (const auto& [variable, variable_value] : variables) {
      if (AsciiUpper(variable) == name) {
        value = &variable_value;
        break;
      }
    }
    // An unknown name stays as written, both percent signs included.
    if (value != nullptr && !name.empty()) {
      out += *value;
    } else {
      out.append(text, open, close - open + 1);
    }
    i = close + 1;
  }
  out.append(text, i, std::string::npos);
  return out;
}

std::optional<LocalTime> MemoryEnvironment::LocalTimeOf(uint64_t utc_file_time) {
  constexpr int64_t kTicksPerSecond = 10'000'000;
  const int64_t seconds = static_cast<int64_t>(utc_file_time / kTicksPerSecond) +
                          int64_t{utc_offset_minutes} * 60;
  if (seconds < 0) return std::nullopt;
  // Days since 1601-01-01 to a civil date (proleptic Gregorian calendar).
  int64_t days = seconds / 86400;
  const int64_t in_day = seconds % 86400;
  days += 584694;  // 1601-01-01 as days since 0000-03-01
  const int64_t era = days / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t mp = (5 * day_of_year + 2) / 153;
  LocalTime t;
  t.day = static_cast<int>(day_of_year - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(year_of_era + era * 400 + (t.month <= 2 ? 1 : 0));
  t.hour = static_cast<int>(in_day / 3600);
  t.minute = static_cast<int>(in_day / 60 % 60);
  t.second = static_cast<int>(in_day % 60);
  if (t.year > 30827) return std::nullopt;
  return t;
}

void MemoryEnvironment::Sleep(uint32_t milliseconds) {
  sleeps.push_back(milliseconds);
  now_ms += milliseconds;
}

// ------------------------------------------------------ version resources

namespace {

class MemoryVersionInfo : public VersionInfo {
 public:
  explicit MemoryVersionInfo(VersionData data) : data_(std::move(data)) {}

  std::optional<Translation> FirstTranslation() override {
    if (data_.translations.empty()) return std::nullopt;
    return data_.translations.front();
  }

  // Backslashes separate components; empty components count for nothing and
  // names compare without letter case, as the system's query does.
  std::optional<std::string> QueryString(const std::string& sub_block) override {
    std::vector<std::string> parts;
    std::string part;
    for (char c : sub_block + '\\') {
      if (c != '\\') {
        part += c;
      } else if (!part.empty()) {
        parts.push_back(AsciiLower(part));
        part.clear();
      }
    }
    if (parts.size() != 3 || parts[0] != "stringfileinfo") return std::nullopt;
    for (const auto& [language, table] : data_.tables) {
      if (AsciiLower(language) != parts[1]) continue;
      for (const auto& [name, value] : table) {
        if (AsciiLower(name) == parts[2]) return value;
      }
    }
    return std::nullopt;
  }

 private:
  VersionData data_;
};

}  // namespace

std::unique_ptr<VersionInfo> MemoryVersionResources::Load(const std::string& path) {
  auto it = data_.find(AsciiLower(path));
  if (it == data_.end()) return nullptr;
  return std::make_unique<MemoryVersionInfo>(it->second);
}

void MemoryVersionResources::Set(const std::string& path, VersionData data) {
  data_[AsciiLower(path)] = std::move(data);
}

// ----------------------------------------------------------------- locale

int MemoryLocale::CompareNoCase(const std::string& a, const std::string& b) {
  // Folds byte by byte: the list sorts call this for every comparison.
  auto fold = [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return static_cast<unsigned char>(u >= 'A' && u <= 'Z' ? u - 'A' + 'a' : u);
  };
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char cx = fold(a[i]);
    const unsigned char cy = fold(b[i]);
    if (cx != cy) return cx < cy ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string MemoryLocale::FormatSize(uint64_t bytes) {
  const std::string digits = std::to_string(bytes);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string MemoryLocale::FormatTenths(uint64_t tenths) {
  return FormatSize(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::string MemoryLocale::FormatDateTime(const LocalTime& time) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%d/%d/%04d", time.month, time.day, time.year);
  std::string out = buffer;
  if (time.hour == 0 && time.minute == 0 && time.second == 0) return out;
  const int hour12 = time.hour % 12 == 0 ? 12 : time.hour % 12;
  std::snprintf(buffer, sizeof buffer, " %d:%02d:%02d %s", hour12, time.minute, time.second,
                time.hour < 12 ? "AM" : "PM");
  return out + buffer;
}

// -------------------------------------------------------------- clipboard

void MemoryClipboard::SetText(const std::string& new_text) {
  if (fail_open) throw AppError("Cannot open clipboard");
  text = new_text;
}

}  // namespace cu::memory

namespace cu::memory {

namespace {

// The test letters beyond A to Z, as UTF-8: small, then capital.
constexpr std::pair<const char*, const char*> kTestLetters[] = {{"\xC3\xA9", "\xC3\x89"},
                                                                {"\xC3\xBC", "\xC3\x9C"}};

std::string MapTestLetters(std::string text, bool to_upper) {
  for (const auto& [small, capital] : kTestLetters) {
    const std::string from = to_upper ? small : capital;
    const std::string to = to_upper ? capital : small;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 2)) {
      text.replace(at, 2, to);
    }
  }
  return text;
}

}  // namespace

std::string MemoryLocale::UpperCase(const std::string& text) {
  return MapTestLetters(AsciiUpper(text), true);
}

std::string MemoryLocale::LowerCase(const std::string& text) {
  return MapTestLetters(AsciiLower(text), false);
}

bool MemoryLocale::IsLeadByte(unsigned char byte) {
  return double_byte && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

}  // namespace cu::memory

namespace cu::memory {

std::optional<std::vector<RegisteredTask>> MemoryTaskScheduler::AllTasks(
    const std::string& skipped_folder) {
  ++enumerations;
  if (!enumerates) return std::nullopt;
  const std::string skipped = AsciiLower(skipped_folder) + "\\";
  std::vector<RegisteredTask> tasks;
  for (const auto& [lower, task] : tasks_) {
    if (!skipped_folder.empty() && lower.rfind(skipped, 0) == 0) continue;
    tasks.push_back({task.path, task.xml, task.enabled});
  }
  return tasks;
}

std::optional<bool> MemoryTaskScheduler::TaskEnabled(const std::string& path) {
  auto it = tasks_.find(AsciiLower(path));
  if (it == tasks_.end()) return std::nullopt;
  return it->second.enabled;
}

uint32_t MemoryTaskScheduler::SetTaskEnabled(const std::string& path, bool enabled) {
  if (refusal != kErrorSuccess) return refusal;
  auto it = tasks_.find(AsciiLower(path));
  if (it == tasks_.end()) return kErrorFileNotFound;
  if (switches) it->second.enabled = enabled;
  return kErrorSuccess;
}

uint32_t MemoryTaskScheduler::DeleteTask(const std::string& path) {
  if (refusal != kErrorSuccess) return refusal;
  auto it = tasks_.find(AsciiLower(path));
  if (it == tasks_.end()) return kErrorFileNotFound;
  tasks_.erase(it);
  if (store) (void)store->DeleteFile(store_folder + path);
  return kErrorSuccess;
}

void MemoryTaskScheduler::AddTask(const std::string& path, const std::string& xml, bool enabled) {
  tasks_[AsciiLower(path)] = {path, xml, enabled};
  if (store) store->AddFile(store_folder + path, xml);
}

bool MemoryTaskScheduler::HasTask(const std::string& path) const {
  return tasks_.count(AsciiLower(path)) != 0;
}

}  // namespace cu::memory

namespace cu::memory {

TrustCheck MemorySignatureChecks::Embedded(const std::string& path) {
  if (before_embedded) before_embedded(path);
  ++embedded_checks;
  auto it = embedded_.find(AsciiLower(path));
  return it == embedded_.end() ? TrustCheck{} : it->second;
}

TrustCheck MemorySignatureChecks::Catalog(const std::string& path) {
  ++catalog_checks;
  auto it = catalog_.find(AsciiLower(path));
  return it == catalog_.end() ? TrustCheck{} : it->second;
}

void MemorySignatureChecks::SetEmbedded(const std::string& path, TrustCheck check) {
  embedded_[AsciiLower(path)] = std::move(check);
}

void MemorySignatureChecks::SetCatalog(const std::string& path, TrustCheck check) {
  catalog_[AsciiLower(path)] = std::move(check);
}

}  // namespace cu::memory
