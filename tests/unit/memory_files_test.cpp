#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/memory/memory_machine.h"

namespace cu::memory {
namespace {

// Every name a search of the pattern gives, in order.
std::vector<std::string> SearchNames(FileSystem& files, const std::string& pattern) {
  std::vector<std::string> names;
  std::unique_ptr<FileSearch> search = files.FindFirst(pattern);
  if (!search) return names;
  while (std::optional<FindData> hit = search->Next()) names.push_back(hit->long_name);
  return names;
}

class MemoryFilesTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(files_.open_search_count(), 0) << "a search was left open"; }
  MemoryFileSystem files_;
};

TEST_F(MemoryFilesTest, SearchReturnsEachRemainingEntryOnceWhileEntriesAreDeleted) {
  for (const char* name : {"a.tmp", "b.tmp", "c.tmp", "d.tmp", "e.tmp"}) {
    files_.AddFile(std::string("C:\\Temp\\") + name, "x");
  }
  std::vector<std::string> seen;
  {
    std::unique_ptr<FileSearch> search = files_.FindFirst("C:\\Temp\\*.*");
    ASSERT_TRUE(search);
    EXPECT_EQ(files_.open_search_count(), 1);
    std::optional<FindData> hit = search->Next();
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->long_name, ".");
    EXPECT_EQ(hit->attributes, kAttrDirectory);
    hit = search->Next();
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->long_name, "..");
    EXPECT_EQ(hit->attributes, kAttrDirectory);
    while ((hit = search->Next())) {
      seen.push_back(hit->long_name);
      // Delete what was returned, and one entry not yet returned.
      EXPECT_TRUE(files_.DeleteFile("C:\\Temp\\" + hit->long_name));
      if (hit->long_name == "b.tmp") {
        EXPECT_TRUE(files_.DeleteFile("C:\\Temp\\D.TMP"));
      }
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"a.tmp", "b.tmp", "c.tmp", "e.tmp"}));
  EXPECT_TRUE(files_.List("C:\\Temp").empty());
  // An empty folder still gives "." and ".."; a missing one gives no search.
  EXPECT_EQ(SearchNames(files_, "C:\\Temp\\*"), (std::vector<std::string>{".", ".."}));
  EXPECT_EQ(files_.FindFirst("C:\\Nowhere\\*.*"), nullptr);
  EXPECT_EQ(files_.FindFirst("C:\\Temp\\*.exe"), nullptr);
}

TEST_F(MemoryFilesTest, SearchReportsNamesSizesAndEvenSeconds) {
  files_.AddFile("C:\\d\\Program Files Long.txt", "12345", kAttrArchive | kAttrHidden,
                 LocalTime{2020, 2, 29, 23, 59, 59});
  files_.SetShortName("C:\\d\\Program Files Long.txt", "PROGRA~1.TXT");
  files_.AddFile("C:\\d\\big.bin");
  files_.SetSize("C:\\d\\big.bin", 5'000'000'000ULL);
  files_.AddFolder("C:\\d\\sub", kAttrDirectory | kAttrReadOnly);

  std::unique_ptr<FileSearch> search = files_.FindFirst("C:\\d\\*.*");
  ASSERT_TRUE(search);
  (void)search->Next();  // "."
  (void)search->Next();  // ".."
  std::optional<FindData> file = search->Next();
  ASSERT_TRUE(file);
  EXPECT_EQ(file->long_name, "Program Files Long.txt");
  EXPECT_EQ(file->short_name, "PROGRA~1.TXT");
  EXPECT_EQ(file->attributes, kAttrArchive | kAttrHidden);
  EXPECT_EQ(file->size, 5u);
  EXPECT_EQ(file->last_write.second, 58);
  EXPECT_EQ(file->last_write.minute, 59);
  std::optional<FindData> big = search->Next();
  ASSERT_TRUE(big);
  EXPECT_EQ(big->size, 5'000'000'000ULL);
  std::optional<FindData> sub = search->Next();
  ASSERT_TRUE(sub);
  EXPECT_EQ(sub->attributes, kAttrDirectory | kAttrReadOnly);
  EXPECT_FALSE(search->Next());
  search.reset();

  // A wildcard matches the long or the short name; a plain path finds one entry.
  EXPECT_EQ(SearchNames(files_, "C:\\d\\progra~1.*"),
            (std::vector<std::string>{"Program Files Long.txt"}));
  EXPECT_EQ(SearchNames(files_, "C:\\D\\SUB"), (std::vector<std::string>{"sub"}));
  EXPECT_EQ(SearchNames(files_, "C:\\d\\big.bin"), (std::vector<std::string>{"big.bin"}));
  EXPECT_EQ(files_.FindFirst("C:\\d\\missing.txt"), nullptr);
}

TEST_F(MemoryFilesTest, BlockedLongNameIsReachedOnlyByTheShortName) {
  files_.AddFile("C:\\Startup\\Caf? shortcut.lnk", "link data");
  files_.SetShortName("C:\\Startup\\Caf? shortcut.lnk", "CAFSHO~1.LNK");
  files_.BlockLongName("C:\\Startup\\Caf? shortcut.lnk");

  EXPECT_EQ(files_.GetAttributes("C:\\Startup\\Caf? shortcut.lnk"), kInvalidAttributes);
  EXPECT_FALSE(files_.FileExists("C:\\Startup\\Caf? shortcut.lnk"));
  EXPECT_FALSE(files_.DeleteFile("C:\\Startup\\Caf? shortcut.lnk"));
  EXPECT_EQ(files_.GetAttributes("C:\\Startup\\cafsho~1.lnk"), kAttrArchive);
  EXPECT_TRUE(files_.FileExists("C:\\Startup\\CAFSHO~1.LNK"));
  // The search still reports the entry under both names.
  std::unique_ptr<FileSearch> search = files_.FindFirst("C:\\Startup\\*");
  ASSERT_TRUE(search);
  (void)search->Next();
  (void)search->Next();
  std::optional<FindData> hit = search->Next();
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->long_name, "Caf? shortcut.lnk");
  EXPECT_EQ(hit->short_name, "CAFSHO~1.LNK");
  search.reset();

  EXPECT_TRUE(files_.DeleteFile("C:\\Startup\\CAFSHO~1.LNK"));
  EXPECT_TRUE(files_.List("C:\\Startup").empty());
}

TEST_F(MemoryFilesTest, LinksLeadToTheTargetAndGoByThemselves) {
  files_.AddFile("C:\\Data\\keep.txt", "precious");
  files_.AddLink("C:\\Temp\\link", "C:\\Data");

  EXPECT_EQ(files_.GetAttributes("C:\\Temp\\link"), kAttrDirectory | kAttrReparsePoint);
  EXPECT_TRUE(files_.FileExists("C:\\Temp\\LINK\\keep.txt"));
  EXPECT_EQ(SearchNames(files_, "C:\\Temp\\link\\*.*"),
            (std::vector<std::string>{".", "..", "keep.txt"}));
  EXPECT_FALSE(files_.DeleteFile("C:\\Temp\\link"));  // a folder, not a file
  // The link goes although its target is not empty; the target stays whole.
  EXPECT_TRUE(files_.RemoveDirectory("C:\\Temp\\link"));
  EXPECT_FALSE(files_.Exists("C:\\Temp\\link"));
  EXPECT_EQ(files_.Content("C:\\Data\\keep.txt"), "precious");
  EXPECT_EQ(files_.GetAttributes("C:\\Temp\\link\\keep.txt"), kInvalidAttributes);
}

TEST_F(MemoryFilesTest, DeletionRefusesWhatWindowsRefuses) {
  files_.AddFile("C:\\t\\ro.txt", "", kAttrReadOnly);
  files_.AddFile("C:\\t\\busy.txt");
  files_.Lock("C:\\t\\busy.txt");
  files_.AddFolder("C:\\t\\full");
  files_.AddFile("C:\\t\\full\\f.txt");

  // A read-only file goes only once its attribute is cleared.
  EXPECT_FALSE(files_.DeleteFile("C:\\t\\ro.txt"));
  EXPECT_TRUE(files_.SetAttributes("C:\\t\\ro.txt", kAttrNormal));
  EXPECT_EQ(files_.GetAttributes("C:\\t\\ro.txt"), kAttrNormal);
  EXPECT_TRUE(files_.DeleteFile("C:\\t\\ro.txt"));

  EXPECT_FALSE(files_.DeleteFile("C:\\t\\busy.txt"));
  EXPECT_FALSE(files_.DeleteFile("C:\\t\\full"));
  EXPECT_FALSE(files_.RemoveDirectory("C:\\t\\full"));
  EXPECT_FALSE(files_.RemoveDirectory("C:\\t\\busy.txt"));
  EXPECT_FALSE(files_.RemoveDirectory("C:\\t\\missing"));
  EXPECT_TRUE(files_.DeleteFile("C:\\t\\full\\f.txt"));
  EXPECT_TRUE(files_.RemoveDirectory("C:\\t\\full"));
  EXPECT_EQ(files_.List("C:\\t"), (std::vector<std::string>{"busy.txt"}));

  // A folder is not a file, but it has attributes.
  EXPECT_FALSE(files_.FileExists("C:\\t"));
  EXPECT_EQ(files_.GetAttributes("C:\\t"), kAttrDirectory);
  EXPECT_FALSE(files_.DeleteFile("C:\\t\\missing.txt"));
}

TEST_F(MemoryFilesTest, ReplaceFileContentKeepsTheOldContentOnFailure) {
  files_.AddFile("C:\\out\\report.txt", "old report");
  EXPECT_TRUE(files_.ReplaceFileContent("C:\\out\\report.txt", "new"));
  EXPECT_EQ(files_.Content("C:\\out\\report.txt"), "new");
  EXPECT_TRUE(files_.ReplaceFileContent("C:\\out\\created.txt", "made"));
  EXPECT_EQ(files_.Content("C:\\out\\created.txt"), "made");

  for (bool partial : {false, true}) {
    SCOPED_TRACE(partial ? "failing part-way" : "failing at once");
    files_.FailWrite("C:\\out\\report.txt", partial);
    EXPECT_FALSE(files_.ReplaceFileContent("C:\\out\\report.txt", "lost"));
    EXPECT_EQ(files_.Content("C:\\out\\report.txt"), "new");
    EXPECT_EQ(files_.List("C:\\out"), (std::vector<std::string>{"report.txt", "created.txt"}));
  }
  files_.FailWrite("C:\\out\\never.txt", true);
  EXPECT_FALSE(files_.ReplaceFileContent("C:\\out\\never.txt", "x"));
  EXPECT_FALSE(files_.Exists("C:\\out\\never.txt"));

  EXPECT_FALSE(files_.ReplaceFileContent("C:\\missing\\x.txt", "x"));
  EXPECT_FALSE(files_.ReplaceFileContent("C:\\out", "x"));
  EXPECT_EQ(files_.List("C:\\out"), (std::vector<std::string>{"report.txt", "created.txt"}));
}

TEST_F(MemoryFilesTest, SearchPathLooksInTheCurrentFolderThenTheSearchFolders) {
  files_.AddFile("C:\\work\\tool.exe");
  files_.AddFile("C:\\windows\\tool.exe");
  files_.AddFile("C:\\windows\\system32\\only.exe");
  files_.AddFolder("C:\\windows\\system32\\folder.exe");
  files_.SetCurrentDirectory("C:\\work");
  files_.SetSearchFolders({"C:\\windows\\system32", "C:\\windows\\"});

  EXPECT_EQ(files_.SearchPath("tool.exe"), "C:\\work\\tool.exe");
  EXPECT_EQ(files_.SearchPath("only.exe"), "C:\\windows\\system32\\only.exe");
  EXPECT_EQ(files_.SearchPath("folder.exe"), std::nullopt);
  EXPECT_EQ(files_.SearchPath("C:\\windows\\tool.exe"), "C:\\windows\\tool.exe");
  EXPECT_EQ(files_.SearchPath("C:\\elsewhere\\only.exe"), std::nullopt);
  EXPECT_TRUE(files_.FileExists("tool.exe"));  // relative to the current folder
}

TEST_F(MemoryFilesTest, IniReadsAreCappedAndKeysDelete) {
  files_.SetIniString("C:\\windows\\win.ini", "windows", "load", std::string(3000, 'x'));
  files_.SetIniString("C:\\windows\\win.ini", "windows", "run", "prog.exe");
  EXPECT_EQ(files_.ReadIniString("c:\\WINDOWS\\Win.ini", "Windows", "LOAD").size(), 2047u);
  files_.DeleteIniKey("C:\\windows\\win.ini", "WINDOWS", "Run");
  EXPECT_EQ(files_.ReadIniString("C:\\windows\\win.ini", "windows", "run"), "");
  EXPECT_FALSE(files_.IniValue("C:\\windows\\win.ini", "windows", "run"));
  EXPECT_TRUE(files_.IniValue("C:\\windows\\win.ini", "windows", "load"));
}

TEST(MemoryMisc, EnvironmentShellLocaleClipboardAndVersions) {
  MemoryMachine machine;
  Platform platform = machine.platform();

  machine.environment.variables["SYSTEMROOT"] = "C:\\windows";
  EXPECT_EQ(platform.environment.ExpandEnvironmentStrings("%SystemRoot%\\%unknown%\\%"),
            "C:\\windows\\%unknown%\\%");
  machine.environment.fail_expand = true;
  EXPECT_EQ(platform.environment.ExpandEnvironmentStrings("x"), std::nullopt);

  machine.shell.SetShortcutTarget("C:\\s\\App.lnk", "C:\\app.exe");
  EXPECT_EQ(platform.shell.ResolveShortcut("c:\\S\\app.LNK"), "C:\\app.exe");
  EXPECT_EQ(platform.shell.ResolveShortcut("C:\\s\\other.lnk"), "");
  machine.shell.fail_create = true;
  EXPECT_THROW((void)platform.shell.ResolveShortcut("C:\\s\\App.lnk"), AppError);

  EXPECT_EQ(platform.locale.FormatSize(0), "0");
  EXPECT_EQ(platform.locale.FormatSize(999), "999");
  EXPECT_EQ(platform.locale.FormatSize(1000), "1,000");
  EXPECT_EQ(platform.locale.FormatSize(5'000'000'000ULL), "5,000,000,000");
  EXPECT_EQ(platform.locale.FormatDateTime(LocalTime{2024, 3, 7, 0, 0, 0}), "3/7/2024");
  EXPECT_EQ(platform.locale.FormatDateTime(LocalTime{2024, 12, 25, 0, 5, 0}),
            "12/25/2024 12:05:00 AM");
  EXPECT_EQ(platform.locale.FormatDateTime(LocalTime{2024, 1, 2, 13, 4, 9}),
            "1/2/2024 1:04:09 PM");
  EXPECT_EQ(platform.locale.CompareNoCase("ABC", "abc"), 0);
  EXPECT_LT(platform.locale.CompareNoCase("abc", "ABD"), 0);
  EXPECT_GT(platform.locale.CompareNoCase("\xC4", "z"), 0);  // bytes compare unsigned
  EXPECT_LT(platform.locale.CompareNoCase("ab", "abc"), 0);

  machine.clipboard.SetText("first");
  machine.clipboard.fail_open = true;
  try {
    platform.clipboard.SetText("second");
    ADD_FAILURE() << "no error";
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Cannot open clipboard");
  }
  EXPECT_EQ(machine.clipboard.text, "first");

  VersionData data;
  data.tables["040904B0"]["LegalTrademarks"] = "TM";
  machine.versions.Set("C:\\app.exe", data);
  EXPECT_EQ(platform.versions.Load("C:\\other.exe"), nullptr);
  std::unique_ptr<VersionInfo> info = platform.versions.Load("c:\\APP.exe");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->FirstTranslation(), std::nullopt);
  EXPECT_EQ(info->QueryString("StringFileInfo\\\\040904b0\\\\LegalTradeMarks"), "TM");
  EXPECT_EQ(info->QueryString("\\StringFileInfo\\040904B0\\LegalTrademarks"), "TM");
  EXPECT_EQ(info->QueryString("StringFileInfo\\041904E3\\LegalTrademarks"), std::nullopt);
  EXPECT_EQ(info->QueryString("StringFileInfo\\040904B0"), std::nullopt);
}

}  // namespace
}  // namespace cu::memory
