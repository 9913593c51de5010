// The URL tab on the real key HKEY_CURRENT_USER\Software\Microsoft\Internet
// Explorer\TypedUrls (its values saved before each test and put back after)
// and on the real clipboard.

#include "tab_flows.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/errors.h"
#include "urls/urls_tab.h"

namespace cu::win32 {
namespace {

using test::ClipboardText;
using test::MessageWindow;
using test::RealMachine;
using test::SavedRegistryValues;
using test::StoredValue;

constexpr char kKey[] = "Software\\Microsoft\\Internet Explorer\\TypedUrls";

// The key must hold exactly url1..urlN, REG_SZ, with the rows in order.
void ExpectKeyHoldsRows(const std::vector<std::string>& rows) {
  std::vector<StoredValue> values = test::ReadValues(HKEY_CURRENT_USER, kKey);
  std::sort(values.begin(), values.end(),
            [](const StoredValue& a, const StoredValue& b) { return a.name < b.name; });
  std::vector<std::string> expected_names;
  for (std::size_t i = 1; i <= rows.size(); ++i) expected_names.push_back("url" + std::to_string(i));
  std::sort(expected_names.begin(), expected_names.end());
  std::vector<std::string> names;
  for (const StoredValue& value : values) names.push_back(value.name);
  ASSERT_EQ(names, expected_names);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::optional<StoredValue> value =
        test::ReadValue(HKEY_CURRENT_USER, kKey, "url" + std::to_string(i + 1));
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ)) << value->name;
    EXPECT_EQ(value->bytes, test::SzBytes(rows[i])) << value->name;
  }
}

TEST(UrlsTabFlows, InsertingIntoAnEmptyListLeavesOnlyUrl1AndCopiesToTheClipboard) {
  SavedRegistryValues typed(HKEY_CURRENT_USER, kKey);  // saved, then emptied
  ASSERT_TRUE(typed.usable());
  RealMachine real;
  MessageWindow owner;
  ASSERT_NE(owner.get(), nullptr);
  real.machine.SetOwnerWindow(owner.get());

  UrlsTab tab(real.platform, real.ui);
  tab.LoadTypedUrls();
  EXPECT_TRUE(tab.rows().empty());
  EXPECT_EQ(tab.selection(), -1);
  EXPECT_EQ(tab.count_caption(), "0");

  const std::string address = "  http://tabflow.example/a b?c=d  ";
  real.ui.input_answers = {address};
  tab.InsertTypedUrl();
  ASSERT_EQ(real.ui.input_requests.size(), 1u);
  EXPECT_EQ(real.ui.input_requests[0].caption, "Insert new Url");
  EXPECT_EQ(real.ui.input_requests[0].prompt, "Enter Url:");
  EXPECT_EQ(real.ui.input_requests[0].max_length, 255u);
  EXPECT_EQ(tab.rows(), std::vector<std::string>{address});
  EXPECT_EQ(tab.selection(), 0);
  EXPECT_EQ(tab.count_caption(), "1");
  EXPECT_TRUE(tab.TakeFocusRequest());
  ASSERT_NO_FATAL_FAILURE(ExpectKeyHoldsRows({address}));

  // The copy carries the address with its blanks; a reload reads it back.
  tab.CopySelectedUrl();
  EXPECT_EQ(ClipboardText(), address);
  tab.LoadTypedUrls();
  EXPECT_EQ(tab.rows(), std::vector<std::string>{address});
  EXPECT_TRUE(real.ui.ScriptUsedUp());
}

TEST(UrlsTabFlows, FirstInsertionAndDeletionRewriteTheKeyAsUrl1ToUrlNInRowOrder) {
  SavedRegistryValues typed(HKEY_CURRENT_USER, kKey);
  ASSERT_TRUE(typed.usable());
  ASSERT_EQ(typed.SetString("url3", "http://three.example/"), ERROR_SUCCESS);
  ASSERT_EQ(typed.SetString("url1", "http://one.example/"), ERROR_SUCCESS);
  ASSERT_EQ(typed.SetString("url2", "http://two.example/"), ERROR_SUCCESS);
  ASSERT_EQ(typed.SetString("Other Name", "http://other.example/"), ERROR_SUCCESS);
  ASSERT_EQ(typed.SetString("blank", "   "), ERROR_SUCCESS);
  ASSERT_EQ(typed.SetString("empty", ""), ERROR_SUCCESS);

  RealMachine real;
  UrlsTab tab(real.platform, real.ui);
  tab.LoadTypedUrls();
  // The rows follow the registry's enumeration order, which differs between
  // Windows (insertion order) and Wine (sorted): only the set is fixed.
  std::vector<std::string> listed = tab.rows();
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"http://one.example/", "http://other.example/",
                                              "http://three.example/", "http://two.example/"}));
  ASSERT_EQ(tab.rows().size(), 4u);

  // Insert at row 2: the key then holds exactly url1..url5 in row order;
  // "Other Name" and the blank values are gone.
  tab.Select(2);
  real.ui.input_answers = {"http://inserted.example/"};
  tab.InsertTypedUrl();
  ASSERT_EQ(tab.rows().size(), 5u);
  EXPECT_EQ(tab.rows()[2], "http://inserted.example/");
  EXPECT_EQ(tab.selection(), 2);
  ASSERT_NO_FATAL_FAILURE(ExpectKeyHoldsRows(tab.rows()));

  // Delete row 0: the new row 0 is selected and the key rewritten again.
  tab.Select(0);
  const std::string first = tab.rows()[0];
  real.ui.confirm_answers = {true};
  tab.DeleteTypedUrl();
  EXPECT_EQ(real.ui.questions.back(), "Delete " + first + "?");
  ASSERT_EQ(tab.rows().size(), 4u);
  EXPECT_EQ(tab.selection(), 0);
  EXPECT_EQ(tab.count_caption(), "4");
  ASSERT_NO_FATAL_FAILURE(ExpectKeyHoldsRows(tab.rows()));
  EXPECT_TRUE(real.ui.ScriptUsedUp());
}

TEST(UrlsTabFlows, AValueOfAnotherTypeStopsTheLoadAndNothingIsWrittenBack) {
  SavedRegistryValues typed(HKEY_CURRENT_USER, kKey);
  ASSERT_TRUE(typed.usable());
  ASSERT_EQ(typed.SetString("url1", "http://keep.example/"), ERROR_SUCCESS);
  ASSERT_EQ(typed.SetRaw("zzcount", REG_DWORD, test::DwordBytes(5)), ERROR_SUCCESS);
  const std::vector<StoredValue> before = test::ReadValues(HKEY_CURRENT_USER, kKey);

  RealMachine real;
  UrlsTab tab(real.platform, real.ui);
  try {
    tab.LoadTypedUrls();
    ADD_FAILURE() << "a REG_DWORD value was read as an address";
  } catch (const AppError& error) {
    EXPECT_STREQ(error.what(), "Invalid data type for 'zzcount'");
  }
  EXPECT_EQ(tab.rows(), std::vector<std::string>{"http://keep.example/"});
  EXPECT_EQ(tab.selection(), -1);
  EXPECT_EQ(tab.count_caption(), "1");

  // Writing back rows from a load that stopped early would delete what it
  // did not reach: the insertion is refused before the input box.
  try {
    tab.InsertTypedUrl();
    ADD_FAILURE() << "an insertion after a partial load went unreported";
  } catch (const AppError& error) {
    EXPECT_STREQ(error.what(), "The address list could not be read completely, so nothing was "
                               "changed: Invalid data type for 'zzcount'");
  }
  EXPECT_TRUE(real.ui.input_requests.empty());
  EXPECT_EQ(tab.rows().size(), 1u);
  const std::vector<StoredValue> after = test::ReadValues(HKEY_CURRENT_USER, kKey);
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i].name, before[i].name);
    EXPECT_EQ(after[i].type, before[i].type);
    EXPECT_EQ(after[i].bytes, before[i].bytes);
  }
}

}  // namespace
}  // namespace cu::win32
