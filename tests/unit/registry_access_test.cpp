#include "platform/registry_access.h"

#include <gtest/gtest.h>

#include "check_text.h"
#include "platform/errors.h"
#include "platform/memory/memory_machine.h"

namespace cu {
namespace {

using memory::MemoryRegistry;

using testing::ErrorOf;

class RegistryAccessTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(registry_.open_key_count(), 0) << "a key was left open"; }
  MemoryRegistry registry_;
};

TEST_F(RegistryAccessTest, PathsStartAtTheRootOrAtTheCurrentKey) {
  registry_.SetString(Hive::kCurrentUser, "Software\\Maker", "where", "maker");
  registry_.SetString(Hive::kCurrentUser, "Software\\Maker\\Tool", "where", "tool");
  registry_.SetString(Hive::kCurrentUser, "Tool", "where", "top-level tool");
  registry_.SetString(Hive::kLocalMachine, "Software\\Maker", "where", "machine");
  {
    RegistryAccess access(registry_, kKeyAllAccess);
    // No key current: with or without the leading backslash, from the root.
    ASSERT_TRUE(access.OpenKey("software\\MAKER"));
    EXPECT_EQ(access.ReadString("WHERE"), "maker");
    EXPECT_EQ(access.current_path(), "software\\MAKER");
    access.CloseKey();
    ASSERT_TRUE(access.OpenKey("\\Software\\Maker"));
    EXPECT_EQ(access.ReadString("where"), "maker");

    // A key is current: a relative path goes below it, a backslash from the root.
    ASSERT_TRUE(access.OpenKey("Tool"));
    EXPECT_EQ(access.ReadString("where"), "tool");
    EXPECT_EQ(access.current_path(), "Software\\Maker\\Tool");
    ASSERT_TRUE(access.OpenKey("\\Tool"));
    EXPECT_EQ(access.ReadString("where"), "top-level tool");

    // A failing open keeps the current key.
    EXPECT_FALSE(access.OpenKey("Missing"));
    EXPECT_FALSE(access.OpenKey("\\Software\\Missing"));
    ASSERT_TRUE(access.HasCurrentKey());
    EXPECT_EQ(access.current_path(), "Tool");
    EXPECT_EQ(access.ReadString("where"), "top-level tool");

    // The empty path reopens the current key.
    ASSERT_TRUE(access.OpenKey(""));
    EXPECT_EQ(access.ReadString("where"), "top-level tool");

    // A new root closes the current key.
    access.SetRoot(Hive::kLocalMachine);
    EXPECT_FALSE(access.HasCurrentKey());
    EXPECT_EQ(access.ReadString("where"), "");
    ASSERT_TRUE(access.OpenKey("Software\\Maker"));
    EXPECT_EQ(access.ReadString("where"), "machine");
  }
}

TEST_F(RegistryAccessTest, ReadStringHandlesEveryKindOfStoredData) {
  const char* key = "Software\\Data";
  registry_.SetString(Hive::kCurrentUser, key, "", "default text");
  registry_.SetString(Hive::kCurrentUser, key, "plain", "C:\\tool.exe /run");
  registry_.SetString(Hive::kCurrentUser, key, "expand", "%SystemRoot%\\x.exe", kRegExpandSz);
  registry_.SetValue(Hive::kCurrentUser, key, "no terminator", kRegSz, "abc");
  registry_.SetValue(Hive::kCurrentUser, key, "inner nul", kRegSz, std::string("ab\0cd\0", 6));
  registry_.SetValue(Hive::kCurrentUser, key, "empty sz", kRegSz, "");
  registry_.SetDword(Hive::kCurrentUser, key, "dword", 1);
  registry_.SetValue(Hive::kCurrentUser, key, "binary", kRegBinary, "\x01\x02");
  registry_.SetValue(Hive::kCurrentUser, key, "empty dword", kRegDword, "");
  registry_.SetString(Hive::kCurrentUser, key, "unreadable", "secret");
  registry_.FailReads(Hive::kCurrentUser, key, "unreadable");

  RegistryAccess access(registry_, kKeyAllAccess);
  // Without a current key nothing is read.
  EXPECT_EQ(access.ReadString("plain"), "");
  ASSERT_TRUE(access.OpenKey(key));

  EXPECT_EQ(access.ReadString(""), "default text");
  EXPECT_EQ(access.ReadString("PLAIN"), "C:\\tool.exe /run");
  EXPECT_EQ(access.ReadString("expand"), "%SystemRoot%\\x.exe");
  EXPECT_EQ(access.ReadString("no terminator"), "abc");
  EXPECT_EQ(access.ReadString("inner nul"), "ab");
  EXPECT_EQ(access.ReadString("empty sz"), "");
  EXPECT_EQ(access.ReadString("missing"), "");
  // Data of another type is an error only when there is data to convert.
  EXPECT_EQ(access.ReadString("empty dword"), "");
  EXPECT_EQ(ErrorOf([&] { (void)access.ReadString("dword"); }),
            "Invalid data type for 'dword'");
  EXPECT_EQ(ErrorOf([&] { (void)access.ReadString("binary"); }),
            "Invalid data type for 'binary'");
  EXPECT_EQ(ErrorOf([&] { (void)access.ReadString("unreadable"); }),
            "Failed to get data for 'unreadable'");

  EXPECT_TRUE(access.ValueExists("Empty Dword"));
  EXPECT_FALSE(access.ValueExists("missing"));
  EXPECT_TRUE(access.ValueExists(""));
}

TEST_F(RegistryAccessTest, WriteStringStoresTextWithNulAndReportsFailure) {
  registry_.SetString(Hive::kCurrentUser, "Urls", "url1", "old");
  registry_.SetString(Hive::kCurrentUser, "Urls", "url2", "second");
  RegistryAccess access(registry_, kKeyAllAccess);
  EXPECT_EQ(ErrorOf([&] { access.WriteString("x", "y"); }), "Failed to set data for 'x'");

  ASSERT_TRUE(access.OpenKey("Urls"));
  access.WriteString("URL1", "new");
  access.WriteString("url3", "third");
  // An existing value is rewritten in its place, with its first spelling.
  EXPECT_EQ(registry_.Names(Hive::kCurrentUser, "Urls"),
            (std::vector<std::string>{"url1", "url2", "url3"}));
  std::optional<RegValueData> written = registry_.Value(Hive::kCurrentUser, "Urls", "url1");
  ASSERT_TRUE(written);
  EXPECT_EQ(written->type, kRegSz);
  EXPECT_EQ(written->bytes, std::string("new\0", 4));

  // The second write from now fails, and so does every later one.
  registry_.FailWritesFrom(2);
  access.WriteString("a", "1");
  EXPECT_EQ(ErrorOf([&] { access.WriteString("b", "2"); }), "Failed to set data for 'b'");
  EXPECT_EQ(ErrorOf([&] { access.WriteString("a", "3"); }), "Failed to set data for 'a'");
  EXPECT_EQ(registry_.StringValue(Hive::kCurrentUser, "Urls", "a"), "1");
  EXPECT_FALSE(registry_.Value(Hive::kCurrentUser, "Urls", "b"));

  EXPECT_TRUE(access.DeleteValue("URL2"));
  EXPECT_FALSE(access.DeleteValue("url2"));
  std::vector<std::string> names{"stale"};
  access.GetValueNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"url1", "url3", "a"}));
}

TEST_F(RegistryAccessTest, KeyExistsLeavesTheCurrentKey) {
  registry_.CreateKey(Hive::kCurrentUser, "A\\B");
  registry_.SetString(Hive::kCurrentUser, "A", "v", "in A");
  RegistryAccess access(registry_, kKeyAllAccess);
  EXPECT_TRUE(access.KeyExists("A\\B"));
  EXPECT_FALSE(access.HasCurrentKey());

  ASSERT_TRUE(access.OpenKey("A"));
  EXPECT_TRUE(access.KeyExists("B"));       // relative to the current key
  EXPECT_FALSE(access.KeyExists("A"));      // there is no A\A
  EXPECT_TRUE(access.KeyExists("\\A\\b"));  // from the root
  EXPECT_FALSE(access.KeyExists("\\B"));
  EXPECT_EQ(access.current_path(), "A");
  EXPECT_EQ(access.ReadString("v"), "in A");
  EXPECT_EQ(registry_.open_key_count(), 1);
}

TEST_F(RegistryAccessTest, RestrictedKeyRefusesFullAccessButOpensForReading) {
  const char* service = "SYSTEM\\CurrentControlSet\\Services\\Svc";
  registry_.SetString(Hive::kLocalMachine, service, "Description", "Does things");
  registry_.CreateKey(Hive::kLocalMachine, std::string(service) + "\\Parameters");
  registry_.RestrictAccess(Hive::kLocalMachine, service, kKeyRead);

  RegistryAccess full(registry_, kKeyAllAccess);
  full.SetRoot(Hive::kLocalMachine);
  EXPECT_FALSE(full.OpenKey(service));
  EXPECT_FALSE(full.KeyExists(std::string(service) + "\\Parameters"));  // below it too
  ASSERT_TRUE(full.OpenKey("SYSTEM\\CurrentControlSet\\Services"));  // above it is free
  EXPECT_FALSE(full.OpenKey("Svc"));

  RegistryAccess reader(registry_, kKeyRead);
  reader.SetRoot(Hive::kLocalMachine);
  ASSERT_TRUE(reader.OpenKey(service));
  EXPECT_EQ(reader.ReadString("description"), "Does things");
  // A key opened for reading cannot be written.
  EXPECT_EQ(ErrorOf([&] { reader.WriteString("Description", "x"); }),
            "Failed to set data for 'Description'");
  EXPECT_FALSE(reader.DeleteValue("Description"));
}

}  // namespace
}  // namespace cu
