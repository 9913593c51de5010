// libFuzzer target: the typed-URL key filled with values of random names,
// types, sizes and bytes (with and without a final NUL, some unreadable),
// read through the registry-access object, loaded by the URL tab, then
// edited and stored back over a few rounds while the key changes under the
// tab (a change since the tab read the key refuses the edit and reads it
// again); the machine's TMP and TEMP likewise, read as the window starts. Each
// result is checked against what the stored data allows. Aborts with the
// failed check and the key's contents.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check_text.h"
#include "fake_ui.h"
#include "platform/errors.h"
#include "platform/memory/memory_machine.h"
#include "platform/registry_access.h"
#include "platform/text.h"
#include "presenter/system_paths.h"
#include "urls/urls_tab.h"

namespace cu::fuzz {
namespace {

using testing::ErrorOf;
using testing::Hex;
using Rows = std::vector<std::string>;
using Values = std::vector<RegNamedValue>;

// Seeding and inspection take key paths without the leading backslash.
const char* const kUrlsKey = kTypedUrlsKey + 1;
constexpr char kEnvironmentKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr uint32_t kTypes[] = {kRegNone, kRegSz, kRegExpandSz, kRegBinary, kRegDword, kRegMultiSz};

// Value data: mostly a short run of input bytes, sometimes none, sometimes
// tens of kilobytes; with a final NUL or without.
std::string Payload(FuzzedDataProvider& in) {
  const uint8_t shape = in.ConsumeIntegral<uint8_t>();
  std::string bytes;
  if (shape < 0x10) {
    bytes.assign(in.ConsumeIntegralInRange<std::size_t>(4096, 65536),
                 static_cast<char>(in.ConsumeIntegral<uint8_t>()));
  } else if (shape >= 0x20) {
    bytes = in.ConsumeRandomLengthString(64);
  }
  if (shape & 1) bytes += '\0';
  return bytes;
}

// Mostly url1..url12 in either letter case, which the store rewrites;
// otherwise any name, the default value's empty one included.
std::string ValueName(FuzzedDataProvider& in) {
  const uint8_t pick = in.ConsumeIntegral<uint8_t>();
  if (pick >= 192) {
    // The system takes names as C strings: a name never holds a NUL.
    std::string name = in.ConsumeRandomLengthString(8);
    name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());
    return name;
  }
  const std::string name = "url" + std::to_string(pick % 12 + 1);
  return pick / 12 % 2 ? AsciiUpper(name) : name;
}

// Mostly text, so that loads get past the first few values; any type now and then.
uint32_t ValueType(FuzzedDataProvider& in) {
  const uint8_t pick = in.ConsumeIntegral<uint8_t>();
  if (pick < 160) return pick < 128 ? kRegSz : kRegExpandSz;
  return pick < 240 ? kTypes[pick % std::size(kTypes)] : in.ConsumeIntegral<uint32_t>();
}

// What RegistryAccess::ReadString must give for a value: its text up to the
// first NUL and never past its data, or the error naming the value.
struct Read {
  std::string text;
  std::string error;
  bool operator==(const Read&) const = default;
};

Read Expected(const std::string& name, const RegQuery& query) {
  if (query.status == RegQuery::Status::kMissing) return {};
  if (query.status == RegQuery::Status::kFailed) {
    return {"", "Failed to get data for '" + name + "'"};
  }
  const std::string& bytes = query.value.bytes;
  if (bytes.empty()) return {};
  if (query.value.type != kRegSz && query.value.type != kRegExpandSz) {
    return {"", "Invalid data type for '" + name + "'"};
  }
  return {bytes.substr(0, bytes.find('\0')), ""};
}

// Text for a failure message: printable ASCII as it is, other bytes as \xNN,
// cut after 200 bytes.
std::string Shown(std::string_view text) {
  std::string out;
  for (unsigned char c : text.substr(0, 200)) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\x" + Hex(std::string_view(reinterpret_cast<const char*>(&c), 1)).substr(0, 2);
    }
  }
  return text.size() > 200 ? out + "..." : out;
}

// The addresses a key holds: the non-blank text of every value readable as text.
Rows Addresses(const Values& values) {
  Rows out;
  for (const RegNamedValue& value : values) {
    const Read read = Expected(value.name, value.query);
    if (read.error.empty() && !IsBlank(read.text)) out.push_back(read.text);
  }
  return out;
}

bool SameValues(const Values& a, const Values& b) {
  const auto same = [](const RegNamedValue& x, const RegNamedValue& y) {
    return x.name == y.name && x.query.status == y.query.status &&
           x.query.value.type == y.query.value.type && x.query.value.bytes == y.query.value.bytes;
  };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), same);
}

// The same values whatever their enumeration order: what the tab compares
// before it stores.
bool SameContent(Values a, Values b) {
  const auto by_name = [](const RegNamedValue& x, const RegNamedValue& y) {
    return x.name < y.name;
  };
  std::sort(a.begin(), a.end(), by_name);
  std::sort(b.begin(), b.end(), by_name);
  return SameValues(a, b);
}

constexpr char kChanged[] =
    "The address list changed since it was read, so nothing was changed; it has been read again.";

// The number K of a name the store writes for N rows ("urlK", 1 <= K <= N,
// without case); 0 for any other name.
std::size_t TargetNumber(const std::string& name, std::size_t rows) {
  for (std::size_t k = 1; k <= rows; ++k) {
    if (AsciiLower(name) == "url" + std::to_string(k)) return k;
  }
  return 0;
}

class World {
 public:
  void Run(FuzzedDataProvider& in) {
    SeedKey(in);
    SeedEnvironment(in);
    CheckSystemTemp();
    CheckAccess();
    CheckLoad();
    for (int round = 0; round < 4 && in.remaining_bytes() > 0; ++round) {
      const uint8_t step = in.ConsumeIntegral<uint8_t>();
      if (step % 3 == 0) {
        CheckLoad();
      } else {
        CheckEdit(in, step % 3 == 1);
      }
    }
  }

 private:
  // Prints the check and the key as it stands, and stops the run.
  [[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\nTypedUrls key:%s\n", Shown(what).c_str(),
                 has_key() ? "" : " missing");
    for (const RegNamedValue& value : Contents(Hive::kCurrentUser, kUrlsKey)) {
      const std::string& bytes = value.query.value.bytes;
      if (value.query.status != RegQuery::Status::kOk) {
        std::fprintf(stderr, "  '%s': unreadable\n", Shown(value.name).c_str());
        continue;
      }
      std::fprintf(stderr, "  '%s': type %u, %zu bytes: %s%s\n", Shown(value.name).c_str(),
                   value.query.value.type, bytes.size(), Hex(bytes.substr(0, 48)).c_str(),
                   bytes.size() > 48 ? "..." : "");
    }
    std::abort();
  }
  void Check(bool holds, const std::string& what) {
    if (!holds) Fail(what);
  }

  bool has_key() const { return machine_.registry.HasKey(Hive::kCurrentUser, kUrlsKey); }

  // A value of random name, type and data; now and then one that cannot be read.
  void SeedValue(FuzzedDataProvider& in, Hive hive, const std::string& path,
                 const std::string& name) {
    const uint32_t type = ValueType(in);
    machine_.registry.SetValue(hive, path, name, type, Payload(in));
    if (in.ConsumeIntegral<uint8_t>() < 12) machine_.registry.FailReads(hive, path, name);
  }

  // Mostly a key the tab may change; sometimes none, sometimes one opened
  // read-only, as a key whose rights grant only reading.
  void SeedKey(FuzzedDataProvider& in) {
    const uint8_t state = in.ConsumeIntegral<uint8_t>();
    if (state < 16) return;
    machine_.registry.CreateKey(Hive::kCurrentUser, kUrlsKey);
    if (state < 32) machine_.registry.RestrictAccess(Hive::kCurrentUser, kUrlsKey, kKeyRead);
    for (int n = in.ConsumeIntegralInRange(0, 16); n > 0; --n) {
      SeedValue(in, Hive::kCurrentUser, kUrlsKey, ValueName(in));
    }
  }

  void SeedEnvironment(FuzzedDataProvider& in) {
    machine_.environment.variables["SYSTEMROOT"] = "C:\\windows";
    for (const char* name : {"TMP", "TEMP"}) {
      if (in.ConsumeBool()) SeedValue(in, Hive::kLocalMachine, kEnvironmentKey, name);
    }
  }

  // The key's values as the machine holds them; none when it is missing.
  Values Contents(Hive hive, const std::string& path) {
    const std::unique_ptr<RegKey> key = machine_.registry.OpenKey(hive, path, kKeyRead);
    return key ? key->Values().value_or(Values{}) : Values{};
  }

  // The tab opens the key with every right, so a read-only key counts as
  // one that does not open.
  // The tab reads the key with KEY_READ and changes it with the rights of a store.
  bool KeyOpensForReading() {
    return machine_.registry.OpenKey(Hive::kCurrentUser, kUrlsKey, kKeyRead) != nullptr;
  }
  bool KeyOpensForChange() {
    return machine_.registry.OpenKey(Hive::kCurrentUser, kUrlsKey,
                                     kKeyQueryValue | kKeySetValue) != nullptr;
  }

  // TMP, else TEMP, as text; a value of another type, an unreadable or empty
  // one counts as missing, and nothing throws.
  void CheckSystemTemp() {
    std::string chosen;
    for (const RegNamedValue& value : Contents(Hive::kLocalMachine, kEnvironmentKey)) {
      const Read read = Expected(value.name, value.query);
      if (read.error.empty() && !read.text.empty() && (chosen.empty() || value.name == "TMP")) {
        chosen = read.text;
      }
    }
    const std::string want =
        chosen.empty() ? "" : machine_.environment.ExpandEnvironmentStrings(chosen).value_or("");
    SystemPaths paths;
    try {
      paths = ReadSystemPaths(platform_);
    } catch (const std::exception& error) {
      Fail(std::string("reading the system paths threw: ") + error.what());
    }
    Check(paths.system_temp_dir == want,
          "system TEMP '" + paths.system_temp_dir + "', wanted '" + want + "'");
  }

  // Every value read by name and in the one-pass listing gives its text or
  // the error naming it.
  void CheckAccess() {
    RegistryAccess access(machine_.registry, kKeyRead);
    if (!access.OpenKey(kTypedUrlsKey)) {
      Check(!has_key(), "an existing key did not open for reading");
      return;
    }
    std::vector<std::string> names;
    access.GetValueNames(names);
    Values listed;
    access.GetValues(listed);
    const Values truth = Contents(Hive::kCurrentUser, kUrlsKey);
    Check(names.size() == truth.size() && listed.size() == truth.size(),
          "value count differs from the key's");
    for (std::size_t i = 0; i < truth.size(); ++i) {
      const std::string& name = truth[i].name;
      Check(names[i] == name && listed[i].name == name,
            "value " + std::to_string(i) + " is not '" + name + "'");
      const Read want = Expected(name, truth[i].query);
      Read by_name;
      by_name.error = ErrorOf([&] { by_name.text = access.ReadString(name); });
      Read from_list;
      from_list.error =
          ErrorOf([&] { from_list.text = RegistryAccess::StringOf(name, listed[i].query); });
      Check(by_name == want,
            "ReadString('" + name + "') gave '" + by_name.text + "' / " + by_name.error);
      Check(from_list == want,
            "StringOf('" + name + "') gave '" + from_list.text + "' / " + from_list.error);
      Check(access.ValueExists(name) == (truth[i].query.status == RegQuery::Status::kOk),
            "ValueExists('" + name + "')");
    }
  }

  void CheckLoad() {
    const std::string error = ErrorOf([&] { tab_.LoadTypedUrls(); });
    const std::string want_error = ExpectLoaded();
    Check(error == want_error, "load reported '" + error + "', wanted '" + want_error + "'");
  }

  // The rows of a load of the key as it stands are the non-blank texts in
  // enumeration order up to the first value that cannot be read as text;
  // returns that value's error, which the load reports. The key's values are
  // then what the tab's next store expects to find (none when the key does
  // not open for reading).
  std::string ExpectLoaded() {
    Rows want;
    std::string want_error;
    const bool opens = KeyOpensForReading();
    const Values values = opens ? Contents(Hive::kCurrentUser, kUrlsKey) : Values{};
    for (const RegNamedValue& value : values) {
      Read read = Expected(value.name, value.query);
      if (!read.error.empty()) {
        want_error = read.error;
        break;
      }
      if (!IsBlank(read.text)) want.push_back(std::move(read.text));
    }
    Check(tab_.rows() == want, "load gave " + std::to_string(tab_.rows().size()) +
                                   " rows, wanted " + std::to_string(want.size()));
    Check(tab_.selection() == (want_error.empty() && !want.empty() ? 0 : -1),
          "selection after load");
    CheckCommonState();
    load_complete_ = want_error.empty();
    load_error_ = want_error;
    read_values_ = values;
    return want_error;
  }

  void CheckCommonState() {
    Check(tab_.count_caption() == std::to_string(tab_.rows().size()),
          "count caption " + tab_.count_caption());
    Check(machine_.registry.open_key_count() == 0, "a registry key stayed open");
  }

  // What may happen between the load and the store: the registry starts
  // refusing writes, another program writes a value, or a value turns
  // unreadable.
  bool Meddle(FuzzedDataProvider& in) {
    machine_.registry.FailWritesFrom(0);
    const uint8_t what = in.ConsumeIntegral<uint8_t>();
    if (!has_key()) return false;
    if (what < 32) {
      machine_.registry.FailWritesFrom(what % 8 + 1);
      return true;
    }
    if (what < 48) {
      SeedValue(in, Hive::kCurrentUser, kUrlsKey, ValueName(in));
    } else if (what < 56) {
      const std::vector<std::string> names = machine_.registry.Names(Hive::kCurrentUser, kUrlsKey);
      if (!names.empty()) {
        machine_.registry.FailReads(Hive::kCurrentUser, kUrlsKey, names[what % names.size()]);
      }
    }
    return false;
  }

  // One insertion or deletion at a random selection, and its store: the key
  // ends as url1..urlN holding the rows, or, when the store stops, it keeps
  // every address it held.
  void CheckEdit(FuzzedDataProvider& in, bool insert) {
    tab_.Select(in.ConsumeIntegralInRange<int>(-1, static_cast<int>(tab_.rows().size())));
    const bool writes_fail = Meddle(in);
    const int selected = tab_.selection();
    const Values before = Contents(Hive::kCurrentUser, kUrlsKey);
    const bool had_key = has_key();
    const bool storable = load_complete_ && KeyOpensForChange();
    // Another program wrote to the key since the tab read it: both edits
    // check that before asking anything.
    const bool changed =
        storable && !SameContent(before, read_values_) && (insert || selected >= 0);
    const Rows rows_before = tab_.rows();
    Rows want_rows = rows_before;
    std::vector<std::string> want_events;
    bool changes = false;
    ui_.events.clear();
    std::string error;
    if (insert) {
      // The input box gives text without NULs, of at most 255 characters.
      std::string text = in.ConsumeRandomLengthString(255);
      text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
      ui_.input_answers.push_back(text);
      want_events = {"input:Insert new Url"};
      changes = !IsBlank(text);
      if (changes) want_rows.insert(want_rows.begin() + std::max(selected, 0), text);
      error = ErrorOf([&] { tab_.InsertTypedUrl(); });
      ui_.input_answers.clear();
    } else {
      if (selected >= 0) {
        ui_.confirm_answers.push_back(true);
        want_events = {"confirm:Delete " + want_rows[selected] + "?"};
        want_rows.erase(want_rows.begin() + selected);
        changes = true;
      }
      error = ErrorOf([&] { tab_.DeleteTypedUrl(); });
      ui_.confirm_answers.clear();
    }
    CheckCommonState();
    const Values after = Contents(Hive::kCurrentUser, kUrlsKey);
    Check(has_key() == had_key, "the store created or removed the key");
    const bool unchanged = SameValues(after, before);
    if (changed) {
      Check(error == kChanged, "an edit over a changed key reported '" + error + "'");
      Check(ui_.events.empty(), "an edit over a changed key asked something");
      Check(unchanged, "an edit over a changed key changed it");
      (void)ExpectLoaded();
      return;
    }
    // An edit refused before anything was asked, or whose store stopped
    // before any write, may show the rows from before again.
    const bool refused = !error.empty() && ui_.events.empty();
    Check(ui_.events == want_events || refused, "the edit asked something else");
    Check(tab_.rows() == want_rows || (!error.empty() && unchanged && tab_.rows() == rows_before),
          "rows after the edit");

    const std::size_t count = want_rows.size();
    // No store: rows from a load that stopped (a refusal names the value it
    // stopped at), a key that does not open for change, or nothing to change.
    if (!storable || !changes) {
      Check(unchanged, "an edit that stores nothing changed the key");
      const bool names_stop =
          error.size() > load_error_.size() &&
          error.compare(error.size() - load_error_.size(), std::string::npos, load_error_) == 0;
      Check(error.empty() || (refused && !storable && (load_complete_ || names_stop)),
            "an edit that stores nothing reported '" + error + "'");
      return;
    }
    Check(!refused, "a storable edit was refused with '" + error + "'");
    // The values about to be overwritten are read first; one that cannot be
    // read as text stops the store before any write.
    for (const RegNamedValue& value : before) {
      if (TargetNumber(value.name, count) == 0) continue;
      const std::string read_error = Expected(value.name, value.query).error;
      if (read_error.empty()) continue;
      Check(error == read_error, "store reported '" + error + "', wanted '" + read_error + "'");
      Check(unchanged, "a store stopped by a read changed the key");
      return;
    }
    // The key as the store left it, fully or part-way written, is what the
    // next store expects to find.
    read_values_ = after;
    if (error.empty()) {
      Check(tab_.rows() == want_rows, "rows after a store");
      Check(after.size() == count, "a stored key holds " + std::to_string(after.size()) +
                                       " values for " + std::to_string(count) + " rows");
      std::vector<bool> seen(count + 1, false);
      for (const RegNamedValue& value : after) {
        const std::size_t k = TargetNumber(value.name, count);
        Check(k != 0 && !seen[k], "a stored key holds '" + value.name + "'");
        seen[k] = true;
        Check(value.query.status == RegQuery::Status::kOk && value.query.value.type == kRegSz &&
                  value.query.value.bytes == want_rows[k - 1] + '\0',
              "'" + value.name + "' does not hold its row as REG_SZ");
      }
      return;
    }
    const std::string prefix = "Failed to set data for 'url";
    Check(writes_fail && error.rfind(prefix, 0) == 0, "store reported '" + error + "'");
    const Rows now = Addresses(after);
    for (const std::string& address : Addresses(before)) {
      Check(std::find(now.begin(), now.end(), address) != now.end(),
            "a failed store lost '" + address + "'");
    }
    // A spare copy failed before any address was overwritten: the copies
    // made so far are gone again.
    if (std::stoul(error.substr(prefix.size())) > count) {
      Check(unchanged, "a failed spare copy left the key changed");
    }
  }

  memory::MemoryMachine machine_;
  Platform platform_ = machine_.platform();
  testing::FakeUi ui_;
  UrlsTab tab_{platform_, ui_};
  bool load_complete_ = false;
  std::string load_error_;  // what stopped the last load
  Values read_values_;      // the key as the tab last read or stored it
};

}  // namespace
}  // namespace cu::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  cu::fuzz::World world;
  world.Run(in);
  return 0;
}
