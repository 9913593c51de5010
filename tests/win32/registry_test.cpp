// <windows.h> (through test_support.h) must come before <sddl.h>.
#include "test_support.h"

#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/errors.h"
#include "platform/registry_access.h"
#include "platform/win32/win32_platform.h"

namespace cu::win32 {
namespace {

using test::DwordBytes;
using test::TestKey;

// Replaces the key's DACL, given in SDDL.
bool SetDacl(HKEY key, const char* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
    return false;
  }
  UniqueHlocal owner(descriptor);
  return ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
}

TEST(Win32Registry, KeyReadableButNotWritableOpensOnlyForRead) {
  TestKey key("ReadOnlyKey");
  ASSERT_EQ(key.SetRaw("Run", REG_SZ, std::string("app.exe", 8)), ERROR_SUCCESS);
  ASSERT_TRUE(SetDacl(key.get(), "D:(A;;KR;;;WD)"));
  // Give the key back its full access before it is removed.
  ScopeExit restore([&] { SetDacl(key.get(), "D:(A;;KA;;;WD)"); });

  Win32Registry registry;
  EXPECT_EQ(registry.OpenKey(Hive::kCurrentUser, key.path(), kKeyAllAccess), nullptr);
  std::unique_ptr<RegKey> read = registry.OpenKey(Hive::kCurrentUser, key.path(), kKeyRead);
  ASSERT_NE(read, nullptr);
  RegQuery query = read->QueryValue("Run");
  EXPECT_EQ(query.status, RegQuery::Status::kOk);

  // Through the registry object, as the tabs use it.
  RegistryAccess full(registry);
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
  RegistryAccess access(registry);
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

TEST(Win32Registry, ValueNamesListsEveryNameIncludingLongOnesAndTheDefault) {
  TestKey key("ValueNames");
  const std::string long_name(2000, 'n');
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

  RegistryAccess access(registry);
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

  // The three roots open.
  EXPECT_NE(registry.OpenKey(Hive::kCurrentUser, "Software", kKeyRead), nullptr);
  EXPECT_NE(registry.OpenKey(Hive::kLocalMachine, "Software", kKeyRead), nullptr);
  EXPECT_NE(registry.OpenKey(Hive::kUsers, ".DEFAULT", kKeyRead), nullptr);
}

}  // namespace
}  // namespace cu::win32
