#include <gtest/gtest.h>

#include "platform/win32/win32_platform.h"
#include "platform/text.h"
#include "test_support.h"

namespace cu::win32 {
namespace {

std::string Digits(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return digits;
}

std::string UserThousandsSeparator() {
  char buffer[8] = {};
  ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, buffer, sizeof buffer);
  return buffer;
}

TEST(Win32Locale, SizesAreWholeAndGroupedByThree) {
  Win32Locale locale;
  const std::string separator = UserThousandsSeparator();
  EXPECT_EQ(locale.FormatSize(0), "0");
  EXPECT_EQ(locale.FormatSize(999), "999");
  EXPECT_EQ(locale.FormatSize(3'000'000'000ull),
            "3" + separator + "000" + separator + "000" + separator + "000");
  const std::string largest = locale.FormatSize(18'446'744'073'709'551'615ull);
  EXPECT_EQ(Digits(largest), "18446744073709551615");
  EXPECT_EQ(largest.substr(0, 2 + separator.size()), "18" + separator);
}

TEST(Win32Locale, DateAndTimeInTheUsersFormat) {
  Win32Locale locale;
  SYSTEMTIME st{};
  st.wYear = 2001;
  st.wMonth = 2;
  st.wDay = 3;
  char date[64] = {};
  ASSERT_GT(::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, sizeof date), 0);

  // Midnight shows the date alone.
  EXPECT_EQ(locale.FormatDateTime({2001, 2, 3, 0, 0, 0}), date);

  st.wHour = 14;
  st.wMinute = 5;
  st.wSecond = 6;
  char clock[64] = {};
  ASSERT_GT(::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, clock, sizeof clock), 0);
  EXPECT_EQ(locale.FormatDateTime({2001, 2, 3, 14, 5, 6}), std::string(date) + " " + clock);
  // One second past midnight is not midnight.
  EXPECT_NE(locale.FormatDateTime({2001, 2, 3, 0, 0, 2}), date);

  // Dates the system cannot format still show their numbers.
  EXPECT_EQ(locale.FormatDateTime({1500, 7, 8, 9, 10, 12}), "1500-07-08 09:10:12");
  EXPECT_EQ(locale.FormatDateTime({1500, 7, 8, 0, 0, 0}), "1500-07-08");
  EXPECT_EQ(locale.FormatDateTime({2001, 2, 30, 1, 0, 0}), "2001-02-30 01:00:00");
}

TEST(Win32Locale, ComparisonIgnoresCase) {
  Win32Locale locale;
  EXPECT_EQ(locale.CompareNoCase("Event Log", "EVENT LOG"), 0);
  EXPECT_LT(locale.CompareNoCase("alpha", "Beta"), 0);
  EXPECT_GT(locale.CompareNoCase("Beta", "alpha"), 0);
  EXPECT_LT(locale.CompareNoCase("Name", "Name\x01Service"), 0);
  EXPECT_EQ(locale.CompareNoCase("", ""), 0);
}

// The process code page's bytes of a Unicode text.
std::string InCodePage(const wchar_t* text) {
  char buffer[64] = {};
  ::WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  return buffer;
}

TEST(Win32Locale, CaseFollowsTheSystemMappingAndBackslashesStayCharacters) {
  Win32Locale locale;
  const std::string small = InCodePage(L"c:\\users\\jos\u00E9\\d\u00FCr.exe");
  const std::string capital = InCodePage(L"C:\\USERS\\JOS\u00C9\\D\u00DCR.EXE");
  ASSERT_EQ(small.size(), capital.size());
  EXPECT_EQ(locale.UpperCase(small), capital);
  EXPECT_EQ(locale.LowerCase(capital), small);
  EXPECT_EQ(locale.UpperCase(""), "");
  // Neither a backslash nor any byte of a single-byte or UTF-8 code page
  // opens a double-byte character.
  for (int byte = 0; byte < 256; ++byte) {
    if (::GetACP() == CP_UTF8 || !::IsDBCSLeadByte(static_cast<BYTE>(byte))) {
      EXPECT_FALSE(locale.IsLeadByte(static_cast<unsigned char>(byte))) << byte;
    }
  }
  EXPECT_EQ(WithoutBackslash(small + "\\", locale), small);
}

}  // namespace
}  // namespace cu::win32
