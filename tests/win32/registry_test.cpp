#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "platform/errors.h"
#include "platform/registry_access.h"
#include "platform/win32/win32_platform.h"

namespace cu::win32 {
namespace {

using test::DwordBytes;
using test::ReadValue;
using test::ScratchKey;
using test::StoredValue;
using test::TestKey;

// The system's name of a key, lower-cased; empty when it cannot be given.
std::string LowerSystemName(RegKey& key) {
  std::string name = key.SystemName().value_or("");
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name;
}

TEST(Win32Registry, KeyReadableButNotWritableOpensOnlyForRead) {
  TestKey key("ReadOnlyKey");
  ASSERT_EQ(key.SetRaw("Run", REG_SZ, std::string("app.exe", 8)), ERROR_SUCCESS);
  ASSERT_TRUE(cu::test_kit::SetKeyDacl(key.get(), "D:(A;;KR;;;WD)"));
  // Give the key back its full access before it is removed.
  ScopeExit restore([&] { (void)cu::test_kit::SetKeyDacl(key.get(), "D:(A;;KA;;;WD)"); });

  Win32Registry registry;
  EXPECT_EQ(registry.OpenKey(Hive::kCurrentUser, key.path(), kKeyAllAccess), nullptr);
  std::unique_ptr<RegKey> read = registry.OpenKey(Hive::kCurrentUser, key.path(), kKeyRead);
  ASSERT_NE(read, nullptr);
  RegQuery query = read->QueryValue("Run");
  EXPECT_EQ(query.status, RegQuery::Status::kOk);

  // Through the registry object, as the tabs use it.
  RegistryAccess full(registry, kKeyAllAccess);
  EXPECT_FALSE(full.OpenKey("\\" + key.path()));
  EXPECT_FALSE(full.KeyExists("\\" + key.path()));
  RegistryAccess reader(registry, kKeyRead);
  ASSERT_TRUE(reader.OpenKey("\\" + key.path()));
  EXPECT_EQ(reader.ReadString("Run"), "app.exe");
}

TEST(Win32Registry, ValuesReadAsStoredWhateverTheirType) {
  TestKey key("ValueTypes");
  ASSERT_EQ(key.SetRaw("Count", REG_DWORD, DwordBytes(7)), ERROR_SUCCESS);
  ASSERT_EQ(key.SetRaw("Blob", REG_BINARY, std::string("\x01\x02", 2)), ERROR_SUCCESS);
  // Exactly three bytes, no terminator.
  ASSERT_EQ(key.SetRaw("NoNul", REG_SZ, "abc"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetRaw("Inner", REG_SZ, std::string("ab\0cd\0", 6)), ERROR_SUCCESS);
  ASSERT_EQ(key.SetRaw("Expand", REG_EXPAND_SZ, std::string("%WINDIR%\\x\0", 11)), ERROR_SUCCESS);
  ASSERT_EQ(key.SetRaw("Empty", REG_BINARY, ""), ERROR_SUCCESS);
  const std::string big(70000, 'q');
  ASSERT_EQ(key.SetRaw("Big", REG_SZ, big + '\0'), ERROR_SUCCESS);

  Win32Registry registry;
  RegistryAccess access(registry, kKeyAllAccess);
  ASSERT_TRUE(access.OpenKey("\\" + key.path()));

  // Non-string data is refused with the value's name.
  try {
    (void)access.ReadString("Count");
    ADD_FAILURE() << "REG_DWORD read as text";
  } catch (const AppError& error) {
    EXPECT_STREQ(error.what(), "Invalid data type for 'Count'");
  }
  EXPECT_THROW((void)access.ReadString("Blob"), AppError);

  // String data: up to the first NUL or the end of the data.
  EXPECT_EQ(access.ReadString("NoNul"), "abc");
  EXPECT_EQ(access.ReadString("Inner"), "ab");
  EXPECT_EQ(access.ReadString("Expand"), "%WINDIR%\\x");  // never expanded
  EXPECT_EQ(access.ReadString("Big"), big);
  EXPECT_EQ(access.ReadString("Empty"), "");  // no data: no type check
  EXPECT_EQ(access.ReadString("Missing"), "");

  // The raw bytes as the backend reports them.
  std::unique_ptr<RegKey> raw = registry.OpenKey(Hive::kCurrentUser, key.path(), kKeyRead);
  ASSERT_NE(raw, nullptr);
  RegQuery no_nul = raw->QueryValue("NoNul");
  ASSERT_EQ(no_nul.status, RegQuery::Status::kOk);
  EXPECT_EQ(no_nul.value.type, kRegSz);
  // Windows gives the three bytes as stored; Wine's "A" conversion adds a NUL.
  EXPECT_TRUE(no_nul.value.bytes == "abc" || no_nul.value.bytes == std::string("abc", 4))
      << no_nul.value.bytes.size();
  RegQuery count = raw->QueryValue("Count");
  ASSERT_EQ(count.status, RegQuery::Status::kOk);
  EXPECT_EQ(count.value.type, kRegDword);
  EXPECT_EQ(count.value.bytes, DwordBytes(7));
  EXPECT_EQ(raw->QueryValue("Missing").status, RegQuery::Status::kMissing);
}

TEST(Win32Registry, ValueNamesAndValuesListEveryValueIncludingLongOnesAndTheDefault) {
  TestKey key("ValueNames");
  const std::string long_name(2000, 'n');
  const std::string big_data(70000, 'q');
  ASSERT_EQ(key.SetRaw("", REG_SZ, std::string("default", 8)), ERROR_SUCCESS);
  ASSERT_EQ(key.SetRaw("a=b", REG_SZ, std::string("x", 2)), ERROR_SUCCESS);
  ASSERT_EQ(key.SetRaw(long_name, REG_SZ, std::string("y", 2)), ERROR_SUCCESS);

  Win32Registry registry;
  std::unique_ptr<RegKey> open = registry.OpenKey(Hive::kCurrentUser, key.path(), kKeyRead);
  ASSERT_NE(open, nullptr);
  std::optional<std::vector<std::string>> names = open->ValueNames();
  ASSERT_TRUE(names.has_value());
  // Wine enumerates sorted, Windows in insertion order: compare as sets.
  std::vector<std::string> sorted = *names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"", "a=b", long_name}));

  // Values() gives each name with its data in one pass: data far beyond the
  // first read's buffer, binary data with NULs, and no data at all.
  ASSERT_EQ(key.SetRaw("big", REG_SZ, big_data + '\0'), ERROR_SUCCESS);
  ASSERT_EQ(key.SetRaw("blob", REG_BINARY, std::string("\x03\0\0\0\xff", 5)), ERROR_SUCCESS);
  ASSERT_EQ(key.SetRaw("count", REG_DWORD, DwordBytes(12)), ERROR_SUCCESS);
  ASSERT_EQ(key.SetRaw("none", REG_BINARY, ""), ERROR_SUCCESS);
  std::optional<std::vector<RegNamedValue>> values = open->Values();
  ASSERT_TRUE(values.has_value());
  std::sort(values->begin(), values->end(),
            [](const RegNamedValue& a, const RegNamedValue& b) { return a.name < b.name; });
  const std::vector<std::pair<std::string, RegValueData>> expected = {
      {"", {kRegSz, std::string("default", 8)}},
      {"a=b", {kRegSz, std::string("x", 2)}},
      {"big", {kRegSz, big_data + '\0'}},
      {"blob", {kRegBinary, std::string("\x03\0\0\0\xff", 5)}},
      {"count", {kRegDword, DwordBytes(12)}},
      {long_name, {kRegSz, std::string("y", 2)}},
      {"none", {kRegBinary, ""}},
  };
  ASSERT_EQ(values->size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].first.substr(0, 10));
    EXPECT_EQ((*values)[i].name, expected[i].first);
    EXPECT_EQ((*values)[i].query.status, RegQuery::Status::kOk);
    EXPECT_EQ((*values)[i].query.value.type, expected[i].second.type);
    EXPECT_EQ((*values)[i].query.value.bytes, expected[i].second.bytes);
  }

  RegistryAccess access(registry, kKeyAllAccess);
  ASSERT_TRUE(access.OpenKey("\\" + key.path()));
  EXPECT_EQ(access.ReadString(""), "default");
}

TEST(Win32Registry, OpensNeverCreateAndWritesRoundTrip) {
  TestKey key("OpenAndWrite");
  Win32Registry registry;

  // Opening a missing key fails and leaves no key behind.
  EXPECT_EQ(registry.OpenKey(Hive::kCurrentUser, key.path() + "\\Absent", kKeyAllAccess), nullptr);
  UniqueHkey probe;
  EXPECT_EQ(::RegOpenKeyExA(key.get(), "Absent", 0, KEY_READ, probe.receive()),
            ERROR_FILE_NOT_FOUND);

  // Relative opens below an open key; the empty path opens the key again.
  ASSERT_EQ(::RegCreateKeyExA(key.get(), "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              probe.receive(), nullptr),
            ERROR_SUCCESS);
  probe.reset();
  std::unique_ptr<RegKey> parent = registry.OpenKey(Hive::kCurrentUser, key.path(), kKeyAllAccess);
  ASSERT_NE(parent, nullptr);
  std::unique_ptr<RegKey> sub = parent->OpenSubKey("Sub", kKeyAllAccess);
  ASSERT_NE(sub, nullptr);
  std::unique_ptr<RegKey> again = sub->OpenSubKey("", kKeyAllAccess);
  ASSERT_NE(again, nullptr);

  // A string written through one handle is REG_SZ with its NUL.
  ASSERT_TRUE(again->SetString("url1", "http://a/"));
  RegQuery written = sub->QueryValue("url1");
  ASSERT_EQ(written.status, RegQuery::Status::kOk);
  EXPECT_EQ(written.value.type, kRegSz);
  EXPECT_EQ(written.value.bytes, std::string("http://a/", 10));
  EXPECT_TRUE(sub->DeleteValue("url1"));
  EXPECT_FALSE(sub->DeleteValue("url1"));
  EXPECT_EQ(sub->QueryValue("url1").status, RegQuery::Status::kMissing);

  // Binary data is written exactly as given, NULs and all.
  const std::string switch_bytes("\x03\0\0\0\x10\0\x20\0\x30\0\x40\0", 12);
  ASSERT_TRUE(again->SetBinary("switch", switch_bytes));
  const std::optional<StoredValue> binary = ReadValue(HKEY_CURRENT_USER, key.path() + "\\Sub", "switch");
  ASSERT_TRUE(binary.has_value());
  EXPECT_EQ(binary->type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(binary->bytes, switch_bytes);

  // CreateKey makes every missing key of the path, and opens an existing
  // key with its values kept.
  std::unique_ptr<RegKey> made =
      registry.CreateKey(Hive::kCurrentUser, key.path() + "\\New\\Deeper", kKeyAllAccess);
  ASSERT_NE(made, nullptr);
  ASSERT_TRUE(made->SetString("here", "yes"));
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, key.path() + "\\New\\Deeper", "here").value_or(StoredValue{}).Text(),
            "yes");
  std::unique_ptr<RegKey> existing = registry.CreateKey(Hive::kCurrentUser, key.path() + "\\Sub", kKeyAllAccess);
  ASSERT_NE(existing, nullptr);
  EXPECT_EQ(existing->QueryValue("switch").value.bytes, switch_bytes);

  // The three roots open.
  EXPECT_NE(registry.OpenKey(Hive::kCurrentUser, "Software", kKeyRead), nullptr);
  EXPECT_NE(registry.OpenKey(Hive::kLocalMachine, "Software", kKeyRead), nullptr);
  EXPECT_NE(registry.OpenKey(Hive::kUsers, ".DEFAULT", kKeyRead), nullptr);
}

TEST(Win32Registry, SubKeyNamesNeedTheRightToEnumerateAndDwordsAreWrittenAsStored) {
  TestKey key("SubKeys");
  const std::string long_name(255, 'k');
  for (const std::string& name : {std::string("Alpha"), std::string("beta"), long_name}) {
    UniqueHkey sub;
    ASSERT_EQ(::RegCreateKeyExA(key.get(), name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                sub.receive(), nullptr),
              ERROR_SUCCESS);
  }
  ASSERT_EQ(key.SetRaw("value", REG_SZ, std::string("not a key", 10)), ERROR_SUCCESS);

  Win32Registry registry;
  std::unique_ptr<RegKey> open = registry.OpenKey(Hive::kCurrentUser, key.path(), kKeyRead);
  ASSERT_NE(open, nullptr);
  std::optional<std::vector<std::string>> names = open->SubKeyNames();
  ASSERT_TRUE(names.has_value());
  std::sort(names->begin(), names->end());
  EXPECT_EQ(*names, (std::vector<std::string>{"Alpha", "beta", long_name}));
  std::unique_ptr<RegKey> empty = open->OpenSubKey("Alpha", kKeyRead);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->SubKeyNames(), std::vector<std::string>{});
  std::unique_ptr<RegKey> values_only = registry.OpenKey(Hive::kCurrentUser, key.path(), kKeyQueryValue);
  ASSERT_NE(values_only, nullptr);
  EXPECT_EQ(values_only->SubKeyNames(), std::nullopt);

  // A DWORD is four bytes, low byte first; a key opened for reading keeps
  // the refusal as the last error.
  std::unique_ptr<RegKey> writable = registry.OpenKey(Hive::kCurrentUser, key.path(), kKeyAllAccess);
  ASSERT_NE(writable, nullptr);
  ASSERT_TRUE(writable->SetDword("Start", 0xA1B2C3D4u));
  const std::optional<StoredValue> stored = ReadValue(HKEY_CURRENT_USER, key.path(), "Start");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(stored->bytes, std::string("\xD4\xC3\xB2\xA1", 4));
  EXPECT_FALSE(open->SetDword("Start", 4));
  EXPECT_EQ(registry.LastError(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, key.path(), "Start").value_or(StoredValue{}).bytes,
            DwordBytes(0xA1B2C3D4u));
}

TEST(Win32Registry, MachineSoftwareOfThe32BitViewLivesBelowWow6432NodeAndUserKeysAreShared) {
  Win32Environment environment;
  if (!environment.Is64BitWindows()) GTEST_SKIP() << "32-bit Windows has one registry view";
  // The same key path in both views, each removed before and after in the
  // native view (where the 32-bit view's keys show below WOW6432Node).
  ScratchKey native(HKEY_LOCAL_MACHINE, "Software\\ClearUtilityTests");
  if (native.status() == ERROR_ACCESS_DENIED) {
    GTEST_SKIP() << "HKEY_LOCAL_MACHINE is not writable for this user";
  }
  ASSERT_EQ(native.status(), ERROR_SUCCESS);
  ScratchKey redirected(HKEY_LOCAL_MACHINE, "Software\\WOW6432Node\\ClearUtilityTests");
  ASSERT_EQ(redirected.status(), ERROR_SUCCESS);

  // Created through the 32-bit view, the missing keys land below WOW6432Node
  // and the native key of the same path stays without them.
  Win32Registry registry;
  const std::string path = "Software\\ClearUtilityTests\\Views\\Switches";
  std::unique_ptr<RegKey> created =
      registry.CreateKey(Hive::kLocalMachine, path, kKeyAllAccess | kKeyWow64_32Key);
  ASSERT_NE(created, nullptr);
  const std::string bytes("\x03\0\0\0\x01\x02\x03\x04\x05\x06\x07\x08", 12);
  ASSERT_TRUE(created->SetBinary("CuViews", bytes));
  const std::optional<StoredValue> seen =
      ReadValue(HKEY_LOCAL_MACHINE, "Software\\WOW6432Node\\ClearUtilityTests\\Views\\Switches", "CuViews");
  ASSERT_TRUE(seen.has_value());
  EXPECT_EQ(seen->type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(seen->bytes, bytes);
  EXPECT_EQ(registry.OpenKey(Hive::kLocalMachine, path, kKeyRead), nullptr);
  std::unique_ptr<RegKey> reopened = registry.OpenKey(Hive::kLocalMachine, path, kKeyRead | kKeyWow64_32Key);
  ASSERT_NE(reopened, nullptr);
  EXPECT_EQ(reopened->QueryValue("CuViews").value.bytes, bytes);

  // The system names the redirected key where it really is: the two views
  // of one path give two names, the created key's name shows WOW6432Node.
  std::unique_ptr<RegKey> native_key =
      registry.OpenKey(Hive::kLocalMachine, "Software\\ClearUtilityTests", kKeyRead);
  std::unique_ptr<RegKey> view_key =
      registry.OpenKey(Hive::kLocalMachine, "Software\\ClearUtilityTests", kKeyRead | kKeyWow64_32Key);
  ASSERT_NE(native_key, nullptr);
  ASSERT_NE(view_key, nullptr);
  EXPECT_EQ(LowerSystemName(*native_key), "\\registry\\machine\\software\\clearutilitytests");
  EXPECT_EQ(LowerSystemName(*view_key), "\\registry\\machine\\software\\wow6432node\\clearutilitytests");
  EXPECT_EQ(LowerSystemName(*created),
            "\\registry\\machine\\software\\wow6432node\\clearutilitytests\\views\\switches");

  // A user's key is one key in both views: the names are equal.
  TestKey user("Views");
  std::unique_ptr<RegKey> plain = registry.OpenKey(Hive::kCurrentUser, user.path(), kKeyRead);
  std::unique_ptr<RegKey> flagged = registry.OpenKey(Hive::kCurrentUser, user.path(), kKeyRead | kKeyWow64_32Key);
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(flagged, nullptr);
  const std::string user_name = LowerSystemName(*plain);
  const std::string suffix = "\\software\\clearutilitytests\\views";
  ASSERT_GT(user_name.size(), suffix.size()) << user_name;
  EXPECT_TRUE(user_name.rfind("\\registry\\user\\", 0) == 0) << user_name;
  EXPECT_EQ(user_name.substr(user_name.size() - suffix.size()), suffix);
  EXPECT_EQ(LowerSystemName(*flagged), user_name);
}

}  // namespace
}  // namespace cu::win32
