#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/text.h"
#include "platform/win32/win32_platform.h"
#include "test_support.h"

namespace cu::win32 {
namespace {

using ScopedVariable = cu::test_kit::ScopedEnvironmentVariable;

TEST(Win32Environment, SystemPathsAreReported) {
  Win32Environment environment;
  const std::string windows = environment.WindowsDirectory();
  ASSERT_FALSE(windows.empty());
  EXPECT_NE(::GetFileAttributesA(windows.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  const std::string system = environment.SystemDirectory();
  ASSERT_GT(system.size(), 9u);
  EXPECT_EQ(AsciiLower(system.substr(system.size() - 9)), "\\system32");
  EXPECT_NE(::GetFileAttributesA(system.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  const std::string temp = environment.TempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_TRUE(environment.IsNtFamily());

  EXPECT_EQ(AsciiLower(environment.ExpandEnvironmentStrings("%WINDIR%\\win.ini").value_or("?")),
            AsciiLower(windows + "\\win.ini"));
  EXPECT_EQ(environment.ExpandEnvironmentStrings("%NO_SUCH_VARIABLE_HERE%"),
            "%NO_SUCH_VARIABLE_HERE%");
  EXPECT_EQ(environment.ExpandEnvironmentStrings(""), "");
}

TEST(Win32Environment, ResultsLongerThanAPathAreReturnedWhole) {
  Win32Environment environment;
  const std::string long_value(1000, 'x');
  {
    ScopedVariable variable("CU_LONG_VALUE", long_value);
    EXPECT_EQ(environment.ExpandEnvironmentStrings("[%CU_LONG_VALUE%]"), "[" + long_value + "]");
    // Exactly at the first buffer's edge: 260 characters.
    ScopedVariable edge("CU_EDGE_VALUE", std::string(260, 'e'));
    EXPECT_EQ(environment.ExpandEnvironmentStrings("%CU_EDGE_VALUE%"), std::string(260, 'e'));
  }
  // The temporary path as the system builds it from TMP: 259 characters and
  // the added backslash fill 260, one more than the first buffer holds.
  // Wine refuses temporary paths of 260 characters or more (error 206).
  if (test::RunningUnderWine()) GTEST_SKIP() << "Wine limits the temporary path to 259";
  std::string long_temp = "C:\\";
  long_temp.append(256, 't');
  ScopedVariable tmp("TMP", long_temp);
  EXPECT_EQ(environment.TempPath(), long_temp + "\\");
}

// A stand-in for a system call that writes `text`, reporting its counts in
// the given style; when the buffer is short it writes nothing and asks for
// the size needed divided by `under_report`.
struct FakeCall {
  std::string text;
  CountStyle style;
  std::size_t under_report = 1;
  int calls = 0;

  DWORD operator()(char* buffer, DWORD size) {
    ++calls;
    const std::size_t needed = text.size() + 1;
    if (needed + (style == CountStyle::kNeededAlways ? 1 : 0) > size) {
      return static_cast<DWORD>(needed / under_report);
    }
    std::memcpy(buffer, text.c_str(), needed);
    return static_cast<DWORD>(style == CountStyle::kNeededAlways ? needed : text.size());
  }
};

TEST(Win32Environment, TextFetchGrowsUntilTheResultFits) {
  FakeCall fits{"short", CountStyle::kLengthOrNeeded};
  EXPECT_EQ(FetchText(260, fits.style, std::ref(fits)), "short");
  EXPECT_EQ(fits.calls, 1);

  FakeCall edge{std::string(260, 'e'), CountStyle::kLengthOrNeeded};
  EXPECT_EQ(FetchText(260, edge.style, std::ref(edge)), edge.text);
  EXPECT_EQ(edge.calls, 2);

  FakeCall expand{std::string(260, 'x'), CountStyle::kNeededAlways};
  EXPECT_EQ(FetchText(261, expand.style, std::ref(expand)), expand.text);
  EXPECT_EQ(expand.calls, 2);

  // A call that asks for too little (UTF-16 units for a multi-byte text)
  // still gets there by doubling.
  FakeCall under{std::string(5000, 'u'), CountStyle::kLengthOrNeeded, 3};
  EXPECT_EQ(FetchText(260, under.style, std::ref(under)), under.text);
  FakeCall under_expand{std::string(5000, 'v'), CountStyle::kNeededAlways, 3};
  EXPECT_EQ(FetchText(261, under_expand.style, std::ref(under_expand)), under_expand.text);

  // The empty expansion is a result, not a short buffer.
  FakeCall empty{"", CountStyle::kNeededAlways};
  EXPECT_EQ(FetchText(261, empty.style, std::ref(empty)), "");
  EXPECT_EQ(empty.calls, 1);

  // Failure, and a result that never fits, give nothing.
  EXPECT_EQ(FetchText(260, CountStyle::kLengthOrNeeded, [](char*, DWORD) { return DWORD{0}; }),
            std::nullopt);
  EXPECT_EQ(FetchText(260, CountStyle::kLengthOrNeeded,
                      [](char*, DWORD size) { return size + 1; }),
            std::nullopt);
}

}  // namespace
}  // namespace cu::win32
