#include <gtest/gtest.h>

#include "platform/win32/win32_platform.h"
#include "test_support.h"

namespace cu::win32 {
namespace {

TEST(Win32Versions, StringsAndTranslationOfAVersionResource) {
  Win32VersionResources versions;
  std::unique_ptr<VersionInfo> info = versions.Load(test::ExeFolder() + "version_fixture.exe");
  ASSERT_NE(info, nullptr);

  std::optional<Translation> translation = info->FirstTranslation();
  ASSERT_TRUE(translation.has_value());
  EXPECT_EQ(translation->language, 0x0409);
  EXPECT_EQ(translation->code_page, 0x04B0);

  // The sub-block as the report builds it: doubled backslashes, no leading one.
  EXPECT_EQ(info->QueryString("StringFileInfo\\\\040904B0\\\\CompanyName"), "Clear Utility Tests");
  EXPECT_EQ(info->QueryString("\\StringFileInfo\\040904B0\\FileVersion"), "1.2.3.4");
  // Stored text as it is, blanks included.
  EXPECT_EQ(info->QueryString("StringFileInfo\\\\040904B0\\\\ProductName"), "  Padded product  ");
  EXPECT_EQ(info->QueryString("StringFileInfo\\\\040904B0\\\\Comments"), "   ");
  // Names and the translation compare without letter case.
  EXPECT_EQ(info->QueryString("StringFileInfo\\\\040904b0\\\\LegalTradeMarks"), "TM");
  // Missing names and tables.
  EXPECT_EQ(info->QueryString("StringFileInfo\\\\040904B0\\\\InternalName"), std::nullopt);
  EXPECT_EQ(info->QueryString("StringFileInfo\\\\041904E3\\\\CompanyName"), std::nullopt);
  EXPECT_EQ(info->QueryString("\\\\"), std::nullopt);
}

TEST(Win32Versions, ResourceWithoutTranslationListAndFilesWithoutResource) {
  Win32VersionResources versions;
  std::unique_ptr<VersionInfo> info =
      versions.Load(test::ExeFolder() + "no_translation_fixture.exe");
  ASSERT_NE(info, nullptr);
  EXPECT_FALSE(info->FirstTranslation().has_value());
  EXPECT_EQ(info->QueryString("StringFileInfo\\\\041904E3\\\\ProductName"), "Untranslated");

  // This test program has no version resource; an absent file has nothing.
  char self[MAX_PATH * 4] = {};
  ::GetModuleFileNameA(nullptr, self, sizeof self);
  EXPECT_EQ(versions.Load(self), nullptr);
  EXPECT_EQ(versions.Load(test::ExeFolder() + "absent.exe"), nullptr);
}

}  // namespace
}  // namespace cu::win32
