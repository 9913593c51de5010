// The typed-address tab worked from outside: Ins, Del and Ctrl+C on the
// list, the input box and the confirmation, checked against the registry key
// and the clipboard as the test reads them itself.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui_driver.h"
#include "urls_folders_ui_support.h"

#include <commctrl.h>

namespace cu::ui_test {
namespace {

constexpr int kUrlsPage = 1;
constexpr char kTypedUrls[] = "Software\\Microsoft\\Internet Explorer\\TypedUrls";
constexpr int kPromptId = 1101;
constexpr int kEditId = 1102;

constexpr char kFirst[] = "http://first.example/page?a=1";
constexpr char kSecond[] = "second.example";

// "name=text" for each value of the key, text only for REG_SZ, in the order
// RegEnumValue gives them.
std::vector<std::string> KeyContents() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kTypedUrls, 0, KEY_READ, &key) != ERROR_SUCCESS) return {"<no key>"};
  RegCloseKey(key);
  std::vector<std::string> contents;
  for (const cu::test_kit::StoredValue& value : ReadValues(HKEY_CURRENT_USER, kTypedUrls)) {
    contents.push_back(value.name + "=" +
                       (value.type == REG_SZ ? value.Text() : "<type " + std::to_string(value.type) + ">"));
  }
  return contents;
}

std::string Clipboard() { return ClipboardText().value_or("<no text>"); }

// Empties the key for the test (creating it when missing, since addresses
// are only written to a key that exists) and puts back exactly what it held.
class UrlsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(typed_urls_.usable());
    ASSERT_TRUE(KeyContents().empty());
  }

  // Shows the URL tab of a started program, whose list has the focus.
  void ShowUrls(AppProcess& app) {
    ASSERT_TRUE(app.started());
    app.SelectTab(kUrlsPage);
    list_ = app.List(kUrlsPage);
    panel_ = app.Panel(kUrlsPage);
    ASSERT_NE(list_, nullptr);
    ASSERT_NE(panel_, nullptr);
    ASSERT_TRUE(WaitFor([&] { return FocusOf(app.main()) == list_; }, 3000)) << "the URL list has the focus";
  }

  // Presses a key on the focused list and checks that no dialog follows.
  void ExpectNoDialogAfter(AppProcess& app, HWND list, WORD vk, bool ctrl, const char* what) {
    app.Foreground();
    ASSERT_EQ(FocusOf(app.main()), list) << what << " is pressed on the list";
    PressKey(vk, ctrl);
    EXPECT_FALSE(WaitFor([&] { return !Dialogs(app.id()).empty(); }, 1500)) << what << " opened a dialog";
    for (HWND dialog : Dialogs(app.id())) ClickDialogButton(dialog, IDCANCEL);
  }

  // Ins on the list, the address typed into the input box, `while_open`, OK.
  void InsertThroughInputBox(AppProcess& app, const std::string& url,
                             const std::function<void()>& while_open = {}) {
    app.Foreground();
    PressKey(VK_INSERT);
    HWND box = WaitForDialog(app.id(), "Insert new Url");
    ASSERT_NE(box, nullptr) << "Ins opens the input box";
    EXPECT_EQ(TextOf(GetDlgItem(box, kPromptId)), "Enter Url:");
    HWND edit = GetDlgItem(box, kEditId);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), 255);
    // Typed for real into the focused edit field.
    SetForegroundWindow(box);
    WaitFor([&] { return GetForegroundWindow() == box; }, 3000);
    TypeText(url);
    ASSERT_TRUE(WaitFor([&] { return TextOf(edit) == url; }, 5000)) << "edit holds: " << TextOf(edit);
    if (while_open) while_open();
    ClickDialogButton(box, IDOK);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, 5000));
  }

  // Del on the list, `while_open`, then the answer to "Delete <row>?".
  void DeleteAnswering(AppProcess& app, const std::string& row, int answer,
                       const std::function<void()>& while_open = {}) {
    app.Foreground();
    PressKey(VK_DELETE);
    HWND box = WaitForDialog(app.id(), "Confirm");
    ASSERT_NE(box, nullptr) << "Del asks before deleting";
    EXPECT_EQ(MessageBoxText(box), "Delete " + row + "?");
    if (while_open) while_open();
    ClickDialogButton(box, answer);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, 5000));
  }

  SavedRegistryValues typed_urls_{HKEY_CURRENT_USER, kTypedUrls};
  HWND list_ = nullptr;
  HWND panel_ = nullptr;
};

using Rows = std::vector<std::string>;

TEST_F(UrlsWindowTest, EmptyListIgnoresDelAndCtrlCAndACancelledInsertChangesNothing) {
  AppProcess app;
  ASSERT_NO_FATAL_FAILURE(ShowUrls(app));
  HWND list = list_;
  HWND panel = panel_;
  EXPECT_EQ(ListRows(list), Rows{});
  EXPECT_EQ(TextOf(panel), "0");

  {
    SCOPED_TRACE("empty list: Del and Ctrl+C do nothing");
    ASSERT_TRUE(PutTextOnClipboard("before"));
    ASSERT_NO_FATAL_FAILURE(ExpectNoDialogAfter(app, list, VK_DELETE, false, "Del"));
    ASSERT_NO_FATAL_FAILURE(ExpectNoDialogAfter(app, list, 'C', true, "Ctrl+C"));
    EXPECT_EQ(Clipboard(), "before");
    EXPECT_EQ(KeyContents(), Rows{});
  }
  {
    SCOPED_TRACE("Cancel in the input box changes nothing");
    app.Foreground();
    PressKey(VK_INSERT);
    HWND box = WaitForDialog(app.id(), "Insert new Url");
    ASSERT_NE(box, nullptr);
    SendMessageW(GetDlgItem(box, kEditId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"cancelled.example"));
    ClickDialogButton(box, IDCANCEL);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, 5000));
    Sleep(300);
    EXPECT_EQ(ListRows(list), Rows{});
    EXPECT_EQ(KeyContents(), Rows{});
    EXPECT_TRUE(ListHasFocusAgain(app, list)) << "the focus returns to the list after Cancel";
  }
}

TEST_F(UrlsWindowTest, InsInsertsAtTheSelectedRowAndCtrlCCopiesTheSelectedRow) {
  AppProcess app;
  ASSERT_NO_FATAL_FAILURE(ShowUrls(app));
  HWND list = list_;
  HWND panel = panel_;
  {
    SCOPED_TRACE("the first address: inserted, selected, the key holds only url1");
    ASSERT_NO_FATAL_FAILURE(InsertThroughInputBox(app, kFirst));
    ASSERT_TRUE(WaitFor([&] { return ListRows(list) == Rows{kFirst}; }, 5000));
    EXPECT_EQ(ListSelection(list), 0);
    EXPECT_EQ(TextOf(panel), "1");
    EXPECT_EQ(KeyContents(), Rows{std::string("url1=") + kFirst});
    std::printf("[ urls ] key after the first insertion: %s\n", KeyContents()[0].c_str());
    EXPECT_TRUE(ListHasFocusAgain(app, list)) << "the focus returns to the list after OK";
  }
  {
    SCOPED_TRACE("a second address goes in at the selected row and is selected");
    ASSERT_NO_FATAL_FAILURE(InsertThroughInputBox(app, kSecond));
    ASSERT_TRUE(WaitFor([&] { return ListRows(list) == Rows{kSecond, kFirst}; }, 5000));
    EXPECT_EQ(ListSelection(list), 0);
    EXPECT_EQ(TextOf(panel), "2");
    EXPECT_EQ(KeyContents(), (Rows{std::string("url1=") + kSecond, std::string("url2=") + kFirst}));
    EXPECT_TRUE(ListHasFocusAgain(app, list)) << "the focus returns to the list after OK";
  }
  {
    SCOPED_TRACE("Ctrl+C copies the selected row, also after moving down");
    app.Foreground();
    PressKey('C', true);
    EXPECT_TRUE(WaitFor([&] { return Clipboard() == kSecond; }, 5000)) << Clipboard();
    PressKey(VK_DOWN);
    ASSERT_TRUE(WaitFor([&] { return ListSelection(list) == 1; }, 3000));
    app.Foreground();
    PressKey('C', true);
    EXPECT_TRUE(WaitFor([&] { return Clipboard() == kFirst; }, 5000)) << Clipboard();
    EXPECT_TRUE(Dialogs(app.id()).empty());
  }
}

TEST_F(UrlsWindowTest, DelAsksAndRemovesTheSelectedRowUntilTheListIsEmpty) {
  ASSERT_EQ(typed_urls_.SetString("url1", kSecond), ERROR_SUCCESS);
  ASSERT_EQ(typed_urls_.SetString("url2", kFirst), ERROR_SUCCESS);
  AppProcess app;
  ASSERT_NO_FATAL_FAILURE(ShowUrls(app));
  HWND list = list_;
  HWND panel = panel_;
  ASSERT_EQ(ListRows(list), (Rows{kSecond, kFirst}));
  app.Foreground();
  PressKey(VK_DOWN);
  ASSERT_TRUE(WaitFor([&] { return ListSelection(list) == 1; }, 3000));
  {
    SCOPED_TRACE("Del answered No keeps the row and the key");
    ASSERT_NO_FATAL_FAILURE(DeleteAnswering(app, kFirst, IDNO));
    Sleep(300);
    EXPECT_EQ(ListRows(list), (Rows{kSecond, kFirst}));
    EXPECT_EQ(ListSelection(list), 1);
    EXPECT_EQ(KeyContents(), (Rows{std::string("url1=") + kSecond, std::string("url2=") + kFirst}));
    EXPECT_TRUE(ListHasFocusAgain(app, list)) << "the focus returns to the list after No";
  }
  {
    SCOPED_TRACE("Del answered Yes removes the row; the row above is selected");
    ASSERT_NO_FATAL_FAILURE(DeleteAnswering(app, kFirst, IDYES));
    ASSERT_TRUE(WaitFor([&] { return ListRows(list) == Rows{kSecond}; }, 5000));
    EXPECT_EQ(ListSelection(list), 0);
    EXPECT_EQ(TextOf(panel), "1");
    EXPECT_EQ(KeyContents(), Rows{std::string("url1=") + kSecond});
    EXPECT_TRUE(ListHasFocusAgain(app, list)) << "the focus returns to the list after Yes";
  }
  {
    SCOPED_TRACE("deleting the only row empties the list and the key");
    ASSERT_NO_FATAL_FAILURE(DeleteAnswering(app, kSecond, IDYES));
    ASSERT_TRUE(WaitFor([&] { return ListRows(list).empty(); }, 5000));
    EXPECT_EQ(TextOf(panel), "0");
    EXPECT_EQ(ListSelection(list), -1);
    EXPECT_EQ(KeyContents(), Rows{});
    EXPECT_TRUE(ListHasFocusAgain(app, list)) << "the focus returns to the emptied list";
  }
  {
    SCOPED_TRACE("emptied list: Del and Ctrl+C do nothing");
    ASSERT_TRUE(PutTextOnClipboard("after"));
    ASSERT_NO_FATAL_FAILURE(ExpectNoDialogAfter(app, list, VK_DELETE, false, "Del"));
    ASSERT_NO_FATAL_FAILURE(ExpectNoDialogAfter(app, list, 'C', true, "Ctrl+C"));
    EXPECT_EQ(Clipboard(), "after");
  }
}

// The error box reads `text`, and no second one follows.
void ExpectOneErrorBox(AppProcess& app, const std::string& text) {
  EXPECT_EQ(AcceptErrorBox(app), text);
  EXPECT_TRUE(Dialogs(app.id()).empty()) << "the error is shown once";
}

TEST_F(UrlsWindowTest, ABadValueLeavesTheOtherTabsLoadedAndInsIsRefusedAloud) {
  SavedRegistryValues run(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                          {"cu-url-test"});
  ASSERT_EQ(run.SetString("cu-url-test", "C:\\cu-url-test.exe"), ERROR_SUCCESS);
  ASSERT_EQ(typed_urls_.SetString("url1", kFirst), ERROR_SUCCESS);
  ASSERT_EQ(typed_urls_.SetRaw("url2", REG_DWORD, cu::test_kit::DwordBytes(7)), ERROR_SUCCESS);
  const Rows key_before = KeyContents();
  const char kBadValue[] = "Invalid data type for 'url2'";

  AppProcess app;
  ASSERT_TRUE(app.started());
  ASSERT_NO_FATAL_FAILURE(ExpectOneErrorBox(app, kBadValue));
  EXPECT_GE(RowIndex(ListRows(app.List(0)), "cu-url-test=C:\\cu-url-test.exe"), 0)
      << "the StartUp list is filled: " << Shown(ListRows(app.List(0)));
  EXPECT_EQ(FocusOf(app.main()), app.List(0)) << "the StartUp list has the focus, not a "
                                              << ClassOf(FocusOf(app.main()));

  // Posted as a click would come: the tab change shows a modal error box.
  const auto show_tab = [&app](int page) {
    PostMessageA(app.Tabs(), TCM_SETCURFOCUS, page, 0);
  };
  show_tab(3);
  ASSERT_NO_FATAL_FAILURE(ExpectOneErrorBox(app, kBadValue));
  EXPECT_FALSE(ListRows(app.List(3)).empty()) << "the Services list is filled";
  EXPECT_EQ(FocusOf(app.main()), app.List(3)) << "the focus goes to the Services list";

  show_tab(kUrlsPage);
  ASSERT_NO_FATAL_FAILURE(ExpectOneErrorBox(app, kBadValue));
  HWND list = app.List(kUrlsPage);
  ASSERT_TRUE(WaitFor([&] { return FocusOf(app.main()) == list; }, 3000)) << "the URL list has the focus";
  EXPECT_EQ(ListRows(list), Rows{kFirst});
  EXPECT_EQ(TextOf(app.Panel(kUrlsPage)), "1");

  // Ins would rewrite the key without the address it could not read.
  app.Foreground();
  PressKey(VK_INSERT);
  ASSERT_NO_FATAL_FAILURE(ExpectOneErrorBox(
      app, std::string("The address list could not be read completely, so nothing was changed: ") + kBadValue));
  EXPECT_EQ(ListRows(list), Rows{kFirst});
  EXPECT_EQ(TextOf(app.Panel(kUrlsPage)), "1");
  EXPECT_EQ(KeyContents(), key_before);
}

// The test writes to the key as the browser would, after the list was read:
// before Ins, while the input box is open and while Del asks. No edit is
// stored over it; the list shows the key read again, and the error box says so.
TEST_F(UrlsWindowTest, AnAddressWrittenAfterTheListWasReadSurvivesInsAndDel) {
  const std::string changed =
      "The address list changed since it was read, so nothing was changed; it has been read again.";
  const std::string first = std::string("url1=") + kFirst;
  const std::string second = std::string("url2=") + kSecond;
  ASSERT_EQ(typed_urls_.SetString("url1", kFirst), ERROR_SUCCESS);
  AppProcess app;
  ASSERT_NO_FATAL_FAILURE(ShowUrls(app));
  HWND list = list_;
  ASSERT_EQ(ListRows(list), Rows{kFirst});
  // Wine enumerates the key sorted by name, so the list reads url1, url2, ...
  {
    SCOPED_TRACE("written before Ins: refused before the input box");
    ASSERT_EQ(typed_urls_.SetString("url2", kSecond), ERROR_SUCCESS);
    app.Foreground();
    PressKey(VK_INSERT);
    ASSERT_NO_FATAL_FAILURE(ExpectOneErrorBox(app, changed));
    EXPECT_EQ(ListRows(list), (Rows{kFirst, kSecond}));
    EXPECT_EQ(ListSelection(list), 0);
    EXPECT_EQ(TextOf(panel_), "2");
    EXPECT_EQ(KeyContents(), (Rows{first, second}));
  }
  {
    SCOPED_TRACE("written while the input box is open");
    ASSERT_NO_FATAL_FAILURE(InsertThroughInputBox(app, "typed.example", [this] {
      EXPECT_EQ(typed_urls_.SetString("url3", "browser3.example"), ERROR_SUCCESS);
    }));
    ASSERT_NO_FATAL_FAILURE(ExpectOneErrorBox(app, changed));
    EXPECT_EQ(ListRows(list), (Rows{kFirst, kSecond, "browser3.example"}));
    EXPECT_EQ(TextOf(panel_), "3");
    EXPECT_EQ(KeyContents(), (Rows{first, second, "url3=browser3.example"}));
  }
  {
    SCOPED_TRACE("written while Del asks");
    ASSERT_EQ(ListSelection(list), 0);
    ASSERT_NO_FATAL_FAILURE(DeleteAnswering(app, kFirst, IDYES, [this] {
      EXPECT_EQ(typed_urls_.SetString("url4", "browser4.example"), ERROR_SUCCESS);
    }));
    ASSERT_NO_FATAL_FAILURE(ExpectOneErrorBox(app, changed));
    EXPECT_EQ(ListRows(list), (Rows{kFirst, kSecond, "browser3.example", "browser4.example"}));
    EXPECT_EQ(ListSelection(list), 0);
    EXPECT_EQ(KeyContents(),
              (Rows{first, second, "url3=browser3.example", "url4=browser4.example"}));
  }
}

TEST_F(UrlsWindowTest, CtrlCCopiesAccentedAndCjkLettersExactly) {
  // Written as Unicode: this test runs in the legacy code page, the program in UTF-8.
  const wchar_t kWide[] = L"http://b\u00FCcher.example/\u65E5\u672C\u8A9E?q=\u00FC";
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTypedUrls, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  const LSTATUS set = RegSetValueExW(key, L"url1", 0, REG_SZ, reinterpret_cast<const BYTE*>(kWide),
                                     sizeof kWide);
  RegCloseKey(key);
  ASSERT_EQ(set, ERROR_SUCCESS);

  AppProcess app;
  ASSERT_NO_FATAL_FAILURE(ShowUrls(app));
  ASSERT_EQ(ListSelection(list_), 0);
  ASSERT_TRUE(PutTextOnClipboard("before"));
  app.Foreground();
  PressKey('C', true);
  const std::string utf8 = "http://b\xC3\xBC" "cher.example/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E?q=\xC3\xBC";
  EXPECT_TRUE(WaitFor([&] { return Clipboard() == utf8; }, 5000)) << Clipboard();
}

}  // namespace
}  // namespace cu::ui_test
