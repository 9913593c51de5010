#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/memory/memory_machine.h"

namespace cu {
namespace {

TEST(Text, TrimRemovesControlCodesAndBlanksButKeepsHighBytes) {
  // Every code up to 32 goes: tabs, CR LF, NUL, other control codes.
  EXPECT_EQ(Trim(std::string("\t\r\n \x01 x y\x1f\x20", 10)), "x y");
  EXPECT_EQ(Trim(std::string("\0a\0", 3)), "a");
  // Bytes of 128 and above belong to multi-byte characters: none is cut.
  EXPECT_EQ(Trim("\xC2\xA0 \xE2\x80\x83"), "\xC2\xA0 \xE2\x80\x83");
  EXPECT_EQ(Trim(" \x80 "), "\x80");
  // DEL (127) is above 32 and stays.
  EXPECT_EQ(Trim("\x7f"), "\x7f");
  EXPECT_EQ(Trim(" \t "), "");
  EXPECT_TRUE(IsBlank("\r\n\t "));
  EXPECT_FALSE(IsBlank(" \xA0 "));
}

TEST(Text, NamePartAndCommandPartSplitAtTheFirstEquals) {
  EXPECT_EQ(NamePart("name=cmd.exe /a=b"), "name");
  EXPECT_EQ(CommandPart("name=cmd.exe /a=b"), "cmd.exe /a=b");
  // Without "=" the whole row is both.
  EXPECT_EQ(NamePart("only text"), "only text");
  EXPECT_EQ(CommandPart("only text"), "only text");
  // "=" at either end gives an empty side.
  EXPECT_EQ(NamePart("=x"), "");
  EXPECT_EQ(CommandPart("=x"), "x");
  EXPECT_EQ(CommandPart("x="), "");
}

TEST(Text, ATrailingBackslashCountsOnlyWhenItIsACharacterOfItsOwn) {
  memory::MemoryLocale locale;
  // "\x95\x5C" is one double-byte character whose second byte is a backslash.
  const std::string kanji_end = "C:\\\x95\x5C";
  struct Case {
    bool double_byte;
    std::string path;
    bool ends;
  };
  for (const Case& c : std::vector<Case>{{false, "C:\\Docs\\", true},
                                         {false, "C:", false},
                                         {false, "", false},
                                         {false, kanji_end, true},
                                         {true, kanji_end, false},
                                         {true, kanji_end + "\\", true},
                                         {true, "C:\\\x95\x5C\x95", false},  // a lead byte alone
                                         {true, "C:\\\x81\x81\\", true}}) {
    SCOPED_TRACE(c.path);
    locale.double_byte = c.double_byte;
    EXPECT_EQ(EndsInBackslash(c.path, locale), c.ends);
    EXPECT_EQ(WithoutBackslash(c.path, locale),
              c.ends ? c.path.substr(0, c.path.size() - 1) : c.path);
    EXPECT_EQ(WithBackslash(c.path, locale), c.ends ? c.path : c.path + "\\");
  }
}

TEST(Text, ADriveRootKeepsItsBackslashAndOnlyFullPathsNameOnePlace) {
  memory::MemoryLocale locale;
  // "D:" alone is the current folder of drive D.
  for (const std::string root : {"C:\\", "d:\\"}) {
    EXPECT_TRUE(IsDriveRoot(root));
    EXPECT_EQ(WithoutBackslash(root, locale), root);
    EXPECT_EQ(WithoutBackslash(root), root);
  }
  EXPECT_FALSE(IsDriveRoot("C:"));
  EXPECT_FALSE(IsDriveRoot("1:\\"));
  EXPECT_EQ(WithoutBackslash("C:\\\\"), "C:\\");

  for (const char* full : {"C:\\", "e:\\Temp", "\\\\server\\share", "\\\\server\\share\\Temp",
                           "\\\\?\\C:\\Temp", "\\\\.\\C:\\Temp"}) {
    EXPECT_TRUE(IsFullPath(full)) << full;
  }
  for (const char* relative : {"", "Temp", "D:", "D:Temp", "\\Temp", "\\\\", "\\\\server",
                               "\\\\server\\", "\\\\\\share", "1:\\Temp"}) {
    EXPECT_FALSE(IsFullPath(relative)) << relative;
  }
}

TEST(Text, CaseChangesTouchAsciiLettersOnly) {
  EXPECT_EQ(AsciiLower("AbC[\xC4]_Z"), "abc[\xC4]_z");
  EXPECT_EQ(AsciiUpper("abc{\xE4}z"), "ABC{\xE4}Z");
}

}  // namespace
}  // namespace cu
