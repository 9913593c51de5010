#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "platform/text.h"
#include "platform/win32/win32_platform.h"
#include "test_support.h"

namespace cu::win32 {
namespace {

using test::Sandbox;

std::map<std::string, FindData> SearchAll(FileSystem& files, const std::string& pattern) {
  std::map<std::string, FindData> found;
  std::unique_ptr<FileSearch> search = files.FindFirst(pattern);
  if (!search) return found;
  while (std::optional<FindData> entry = search->Next()) found[entry->long_name] = *entry;
  return found;
}

// Sets a file's last-write time from a local time.
void SetLocalWriteTime(const std::string& path, WORD year, WORD month, WORD day, WORD hour,
                       WORD minute, WORD second) {
  SYSTEMTIME st{};
  st.wYear = year;
  st.wMonth = month;
  st.wDay = day;
  st.wHour = hour;
  st.wMinute = minute;
  st.wSecond = second;
  FILETIME local{};
  FILETIME utc{};
  ASSERT_TRUE(::SystemTimeToFileTime(&st, &local));
  ASSERT_TRUE(::LocalFileTimeToFileTime(&local, &utc));
  UniqueFile file(::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file.valid()) << path;
  ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &utc));
}

TEST(Win32Files, SearchReportsEveryEntryWithSizeTimeAndAttributes) {
  Sandbox box("Search");
  ASSERT_TRUE(box.WriteFile("plain.txt", "12345"));
  ASSERT_TRUE(box.WriteFile("hidden.txt", ""));
  ASSERT_TRUE(::SetFileAttributesA(box.Path("hidden.txt").c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(box.MakeFolder("sub"));
  ASSERT_NO_FATAL_FAILURE(SetLocalWriteTime(box.Path("plain.txt"), 2001, 2, 3, 4, 5, 7));

  // A sparse file beyond 4 GiB: the size needs both halves.
  ASSERT_TRUE(box.WriteFile("big.bin", ""));
  {
    UniqueFile big(::CreateFileA(box.Path("big.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(big.valid());
    LARGE_INTEGER end;
    end.QuadPart = 5'000'000'000LL;
    ASSERT_TRUE(::SetFilePointerEx(big.get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(big.get()));
  }
  // A date far outside the DOS range keeps its year.
  ASSERT_NO_FATAL_FAILURE(SetLocalWriteTime(box.Path("big.bin"), 2150, 6, 30, 23, 59, 59));

  Win32FileSystem files;
  std::map<std::string, FindData> found = SearchAll(files, box.Path("*.*"));
  for (const char* name : {".", "..", "plain.txt", "hidden.txt", "sub", "big.bin"}) {
    EXPECT_EQ(found.count(name), 1u) << name;
  }
  EXPECT_EQ(found.size(), 6u);

  const FindData& plain = found["plain.txt"];
  EXPECT_EQ(plain.size, 5u);
  EXPECT_EQ(plain.attributes & kAttrDirectory, 0u);
  EXPECT_EQ(plain.last_write.year, 2001);
  EXPECT_EQ(plain.last_write.month, 2);
  EXPECT_EQ(plain.last_write.day, 3);
  EXPECT_EQ(plain.last_write.hour, 4);
  EXPECT_EQ(plain.last_write.minute, 5);
  EXPECT_EQ(plain.last_write.second, 6);  // two-second resolution, rounded down

  // The exact last write as the system keeps it, and it follows a write.
  const auto file_time = [](const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
    const FILETIME& time = data.ftLastWriteTime;
    return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
  };
  EXPECT_EQ(plain.write_time, file_time(box.Path("plain.txt")));
  ASSERT_TRUE(box.WriteFile("plain.txt", "123456"));
  const FindData rewritten = SearchAll(files, box.Path("plain.txt"))["plain.txt"];
  EXPECT_EQ(rewritten.write_time, file_time(box.Path("plain.txt")));
  EXPECT_GT(rewritten.write_time, plain.write_time);
  // The stamp without a search says the same.
  const std::optional<FileStamp> stamp = files.StampOf(box.Path("plain.txt"));
  ASSERT_TRUE(stamp.has_value());
  EXPECT_EQ(stamp->size, 6u);
  EXPECT_EQ(stamp->write_time, rewritten.write_time);
  EXPECT_EQ(stamp->attributes, rewritten.attributes);
  EXPECT_FALSE(files.StampOf(box.Path("gone.txt")).has_value());

  EXPECT_NE(found["hidden.txt"].attributes & kAttrHidden, 0u);
  EXPECT_NE(found["hidden.txt"].attributes & kAttrSystem, 0u);
  EXPECT_NE(found["sub"].attributes & kAttrDirectory, 0u);

  const FindData& big = found["big.bin"];
  EXPECT_EQ(big.size, 5'000'000'000ull);
  EXPECT_EQ(big.last_write.year, 2150);
  EXPECT_EQ(big.last_write.second, 58);

  // A search for one name gives that entry first; nothing found gives null.
  std::unique_ptr<FileSearch> one = files.FindFirst(box.Path("plain.txt"));
  ASSERT_NE(one, nullptr);
  std::optional<FindData> first = one->Next();
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->long_name, "plain.txt");
  EXPECT_FALSE(one->Next().has_value());
  EXPECT_FALSE(one->Next().has_value());
  EXPECT_EQ(files.FindFirst(box.Path("absent.*")), nullptr);
}

TEST(Win32Files, LongNameReachableThroughItsShortName) {
  Sandbox box("ShortName");
  const std::string long_name = "A very long file name with blanks.text";
  ASSERT_TRUE(box.WriteFile(long_name, "x"));
  ASSERT_TRUE(box.WriteFile("SHORT.TXT", "y"));

  Win32FileSystem files;
  std::map<std::string, FindData> found = SearchAll(files, box.Path("*"));
  ASSERT_EQ(found.count(long_name), 1u);
  const std::string short_name = found[long_name].short_name;
  ASSERT_FALSE(short_name.empty()) << "the system keeps no short name";
  EXPECT_LE(short_name.size(), 12u);
  EXPECT_NE(short_name, long_name);
  EXPECT_NE(files.GetAttributes(box.Path(short_name)), kInvalidAttributes);
  EXPECT_TRUE(files.FileExists(box.Path(short_name)));
  // A name that is already 8.3 may have no short name of its own (Wine keeps
  // none); when it has one, it is not some other name.
  const std::string plain_short = found["SHORT.TXT"].short_name;
  EXPECT_TRUE(plain_short.empty() || plain_short == "SHORT.TXT") << plain_short;
}

TEST(Win32Files, AttributesExistenceAndDeletion) {
  Sandbox box("Attributes");
  ASSERT_TRUE(box.WriteFile("file.txt", "x"));
  ASSERT_TRUE(box.MakeFolder("full"));
  ASSERT_TRUE(box.WriteFile("full\\inner.txt", "y"));
  ASSERT_TRUE(box.MakeFolder("empty"));

  Win32FileSystem files;
  EXPECT_TRUE(files.FileExists(box.Path("file.txt")));
  EXPECT_FALSE(files.FileExists(box.Path("full")));  // a folder is no file
  EXPECT_NE(files.GetAttributes(box.Path("full")), kInvalidAttributes);
  EXPECT_FALSE(files.FileExists(box.Path("absent.txt")));
  EXPECT_EQ(files.GetAttributes(box.Path("absent.txt")), kInvalidAttributes);

  ASSERT_TRUE(files.SetAttributes(box.Path("file.txt"), kAttrHidden | kAttrReadOnly));
  EXPECT_EQ(files.GetAttributes(box.Path("file.txt")) & (kAttrHidden | kAttrReadOnly),
            kAttrHidden | kAttrReadOnly);
  ASSERT_TRUE(files.SetAttributes(box.Path("file.txt"), kAttrNormal));
  EXPECT_TRUE(files.DeleteFile(box.Path("file.txt")));
  EXPECT_FALSE(files.DeleteFile(box.Path("file.txt")));

  EXPECT_FALSE(files.RemoveDirectory(box.Path("full")));  // only empty folders go
  EXPECT_TRUE(files.FileExists(box.Path("full\\inner.txt")));
  EXPECT_TRUE(files.RemoveDirectory(box.Path("empty")));
  EXPECT_EQ(files.GetAttributes(box.Path("empty")), kInvalidAttributes);
}

TEST(Win32Files, SearchPathFindsProgramsOnTheSystemPath) {
  Win32FileSystem files;
  std::optional<std::string> cmd = files.SearchPath("cmd.exe");
  ASSERT_TRUE(cmd.has_value());
  ASSERT_GT(cmd->size(), 8u);
  EXPECT_EQ(AsciiLower(cmd->substr(cmd->size() - 8)), "\\cmd.exe");
  EXPECT_TRUE(files.FileExists(*cmd));
  EXPECT_FALSE(files.SearchPath("no-such-program-anywhere.exe").has_value());
}

TEST(Win32Files, ReplaceFileContentWritesWholeOrLeavesTheOldFile) {
  Sandbox box("Replace");
  Win32FileSystem files;

  ASSERT_TRUE(box.WriteFile("report.txt", "old content"));
  ASSERT_TRUE(files.ReplaceFileContent(box.Path("report.txt"), "new\r\ncontent\r\n"));
  EXPECT_EQ(box.ReadFile("report.txt"), "new\r\ncontent\r\n");
  ASSERT_TRUE(files.ReplaceFileContent(box.Path("fresh.txt"), ""));
  EXPECT_TRUE(files.FileExists(box.Path("fresh.txt")));
  EXPECT_EQ(box.ReadFile("fresh.txt"), "");

  // A hidden file stays hidden with its new content.
  ASSERT_TRUE(box.WriteFile("hidden.txt", "old"));
  ASSERT_TRUE(files.SetAttributes(box.Path("hidden.txt"), kAttrHidden));
  ASSERT_TRUE(files.ReplaceFileContent(box.Path("hidden.txt"), "new"));
  EXPECT_EQ(box.ReadFile("hidden.txt"), "new");
  EXPECT_NE(files.GetAttributes(box.Path("hidden.txt")) & kAttrHidden, 0u);

  // A folder in the way: nothing is replaced, the folder and its file stay.
  ASSERT_TRUE(box.MakeFolder("folder"));
  ASSERT_TRUE(box.WriteFile("folder\\keep.txt", "keep"));
  EXPECT_FALSE(files.ReplaceFileContent(box.Path("folder"), "text"));
  EXPECT_NE(files.GetAttributes(box.Path("folder")) & kAttrDirectory, 0u);
  EXPECT_EQ(box.ReadFile("folder\\keep.txt"), "keep");

  // A missing folder: false, nothing created.
  EXPECT_FALSE(files.ReplaceFileContent(box.Path("absent\\report.txt"), "text"));

  // A read-only target that cannot be replaced keeps its content.
  ASSERT_TRUE(box.WriteFile("locked.txt", "locked"));
  ASSERT_TRUE(files.SetAttributes(box.Path("locked.txt"), kAttrReadOnly));
  EXPECT_FALSE(files.ReplaceFileContent(box.Path("locked.txt"), "text"));
  EXPECT_EQ(box.ReadFile("locked.txt"), "locked");

  // A file another program holds open without sharing cannot be replaced:
  // false, and it keeps its content.
  ASSERT_TRUE(box.WriteFile("held.txt", "held"));
  {
    UniqueFile held(::CreateFileA(box.Path("held.txt").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(files.ReplaceFileContent(box.Path("held.txt"), "text"));
  }
  EXPECT_EQ(box.ReadFile("held.txt"), "held");

  // A target of 250 characters saves, new and over an old file: the
  // temporary name beside it is short.
  const std::string deep_name = std::string(250 - box.folder().size() - 6, 'd');
  ASSERT_TRUE(box.MakeFolder(deep_name));
  const std::string deep = box.Path(deep_name + "\\r.txt");
  ASSERT_EQ(deep.size(), 250u);
  ASSERT_TRUE(files.ReplaceFileContent(deep, "first"));
  ASSERT_TRUE(files.ReplaceFileContent(deep, "second"));
  EXPECT_EQ(box.ReadFile(deep_name + "\\r.txt"), "second");

  // No temporary file is left behind by any of these.
  const auto names_in = [&files](const std::string& pattern) {
    std::vector<std::string> names;
    std::unique_ptr<FileSearch> search = files.FindFirst(pattern);
    while (search) {
      std::optional<FindData> entry = search->Next();
      if (!entry) break;
      names.push_back(entry->long_name);
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  EXPECT_EQ(names_in(box.Path("*")),
            (std::vector<std::string>{".", "..", deep_name, "folder", "fresh.txt", "held.txt",
                                      "hidden.txt", "locked.txt", "report.txt"}));
  EXPECT_EQ(names_in(box.Path(deep_name + "\\*")), (std::vector<std::string>{".", "..", "r.txt"}));
}

TEST(Win32Files, ReadFileBytesGivesWholeFilesUpToTheLimit) {
  Sandbox box("ReadBytes");
  // Beyond one read's piece, with NULs and every byte value.
  std::string content;
  for (int i = 0; i < 200000; ++i) content += static_cast<char>(i * 7);
  ASSERT_TRUE(box.WriteFile("data.bin", content));
  ASSERT_TRUE(box.WriteFile("empty.txt", ""));
  ASSERT_TRUE(box.MakeFolder("folder"));

  Win32FileSystem files;
  EXPECT_EQ(files.ReadFileBytes(box.Path("data.bin"), content.size()), content);
  EXPECT_EQ(files.ReadFileBytes(box.Path("data.bin"), content.size() - 1), std::nullopt);
  EXPECT_EQ(files.ReadFileBytes(box.Path("empty.txt"), 0), "");
  EXPECT_EQ(files.ReadFileBytes(box.Path("absent.txt"), 100), std::nullopt);
  EXPECT_EQ(files.ReadFileBytes(box.Path("folder"), 100), std::nullopt);

  // A file another program is writing, with sharing, is read all the same.
  UniqueFile writer(::CreateFileA(box.Path("data.bin").c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer);
  EXPECT_EQ(files.ReadFileBytes(box.Path("data.bin"), content.size()), content);
}

TEST(Win32Files, IniKeysReadAndDeleted) {
  Sandbox box("Ini");
  const std::string long_value(3000, 'v');
  ASSERT_TRUE(box.WriteFile("system.ini", "[boot]\r\nshell=explorer.exe\r\n"
                                          "[windows]\r\nload=loader.exe /q\r\nrun=runner.exe\r\n"
                                          "long=" + long_value + "\r\n"));
  const std::string ini = box.Path("system.ini");
  Win32FileSystem files;

  EXPECT_EQ(files.ReadIniString(ini, "windows", "load"), "loader.exe /q");
  EXPECT_EQ(files.ReadIniString(ini, "windows", "run"), "runner.exe");
  EXPECT_EQ(files.ReadIniString(ini, "windows", "absent"), "");
  EXPECT_EQ(files.ReadIniString(box.Path("absent.ini"), "windows", "load"), "");
  EXPECT_EQ(files.ReadIniString(ini, "windows", "long"), long_value.substr(0, 2047));

  files.DeleteIniKey(ini, "windows", "load");
  EXPECT_EQ(files.ReadIniString(ini, "windows", "load"), "");
  EXPECT_EQ(files.ReadIniString(ini, "windows", "run"), "runner.exe");
  EXPECT_EQ(files.ReadIniString(ini, "boot", "shell"), "explorer.exe");
}

}  // namespace
}  // namespace cu::win32
