// The typed-address tab worked from outside: Ins, Del and Ctrl+C on the
// list, the input box and the confirmation, checked against the registry key
// and the clipboard as the test reads them itself.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ui_driver.h"
#include "urls_folders_ui_support.h"

namespace cu::ui_test {
namespace {

constexpr int kUrlsPage = 1;
constexpr char kTypedUrls[] = "Software\\Microsoft\\Internet Explorer\\TypedUrls";
constexpr int kPromptId = 1101;
constexpr int kEditId = 1102;

// One value of the key, exactly as stored.
struct RawValue {
  std::string name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

std::vector<RawValue> ReadRawValues(HKEY key) {
  std::vector<RawValue> values;
  for (DWORD index = 0;; ++index) {
    char name[16384];
    DWORD name_size = sizeof name;
    DWORD type = 0;
    DWORD data_size = 0;
    if (RegEnumValueA(key, index, name, &name_size, nullptr, &type, nullptr, &data_size) != ERROR_SUCCESS) break;
    RawValue value{std::string(name, name_size), type, std::vector<BYTE>(data_size)};
    name_size = sizeof name;
    if (RegEnumValueA(key, index, name, &name_size, nullptr, &type, value.data.data(), &data_size) !=
        ERROR_SUCCESS) {
      break;
    }
    value.data.resize(data_size);
    values.push_back(std::move(value));
  }
  return values;
}

void DeleteAllValues(HKEY key) {
  std::vector<RawValue> values = ReadRawValues(key);
  for (const RawValue& value : values) RegDeleteValueA(key, value.name.c_str());
}

// "name=text" for each value of the key, text only for REG_SZ, in the order
// RegEnumValue gives them.
std::vector<std::string> KeyContents() {
  std::vector<std::string> contents;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kTypedUrls, 0, KEY_READ, &key) != ERROR_SUCCESS) return {"<no key>"};
  for (const RawValue& value : ReadRawValues(key)) {
    std::string text = value.name + "=";
    if (value.type == REG_SZ) {
      text += std::string(reinterpret_cast<const char*>(value.data.data()), value.data.size()).c_str();
    } else {
      text += "<type " + std::to_string(value.type) + ">";
    }
    contents.push_back(text);
  }
  RegCloseKey(key);
  return contents;
}

bool PutOnClipboard(const std::string& text) {
  if (!WaitFor([] { return OpenClipboard(nullptr) != FALSE; }, 5000)) return false;
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  bool ok = false;
  if (block) {
    std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
    GlobalUnlock(block);
    ok = SetClipboardData(CF_TEXT, block) != nullptr;
    if (!ok) GlobalFree(block);
  }
  CloseClipboard();
  return ok;
}

std::string ClipboardText() {
  if (!WaitFor([] { return OpenClipboard(nullptr) != FALSE; }, 5000)) return "<cannot open clipboard>";
  std::string text = "<no text>";
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* chars = static_cast<const char*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

// Empties the key for the test (creating it when missing, since addresses
// are only written to a key that exists) and puts back exactly what it held.
class UrlsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kTypedUrls, 0, KEY_READ, &key) == ERROR_SUCCESS) {
      existed_ = true;
      saved_ = ReadRawValues(key);
      RegCloseKey(key);
    }
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTypedUrls, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    DeleteAllValues(key);
    RegCloseKey(key);
    ASSERT_TRUE(KeyContents().empty());
  }

  void TearDown() override {
    HKEY key = nullptr;
    if (!existed_) {
      RegDeleteTreeA(HKEY_CURRENT_USER, kTypedUrls);
      RegDeleteKeyA(HKEY_CURRENT_USER, kTypedUrls);
      return;
    }
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kTypedUrls, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
      return;
    }
    DeleteAllValues(key);
    for (const RawValue& value : saved_) {
      RegSetValueExA(key, value.name.c_str(), 0, value.type, value.data.data(),
                     static_cast<DWORD>(value.data.size()));
    }
    RegCloseKey(key);
  }

  // Presses a key on the focused list and checks that no dialog follows.
  void ExpectNoDialogAfter(AppProcess& app, HWND list, WORD vk, bool ctrl, const char* what) {
    app.Foreground();
    ASSERT_EQ(FocusOf(app.main()), list) << what << " is pressed on the list";
    PressKey(vk, ctrl);
    EXPECT_FALSE(WaitFor([&] { return !Dialogs(app.id()).empty(); }, 1500)) << what << " opened a dialog";
    for (HWND dialog : Dialogs(app.id())) ClickDialogButton(dialog, IDCANCEL);
  }

  // Ins on the list, the address typed into the input box, OK.
  void InsertThroughInputBox(AppProcess& app, const std::string& url) {
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
    ClickDialogButton(box, IDOK);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, 5000));
  }

  // Del on the list, then the answer to "Delete <row>?".
  void DeleteAnswering(AppProcess& app, const std::string& row, int answer) {
    app.Foreground();
    PressKey(VK_DELETE);
    HWND box = WaitForDialog(app.id(), "Confirm");
    ASSERT_NE(box, nullptr) << "Del asks before deleting";
    EXPECT_EQ(MessageBoxText(box), "Delete " + row + "?");
    ClickDialogButton(box, answer);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, 5000));
  }

  bool existed_ = false;
  std::vector<RawValue> saved_;
};

using Rows = std::vector<std::string>;

TEST_F(UrlsWindowTest, InsDelAndCtrlCWorkTheListAndRewriteTheKey) {
  constexpr char kFirst[] = "http://first.example/page?a=1";
  constexpr char kSecond[] = "second.example";
  AppProcess app;
  ASSERT_TRUE(app.started());
  app.SelectTab(kUrlsPage);
  HWND list = app.List(kUrlsPage);
  HWND panel = app.Panel(kUrlsPage);
  ASSERT_NE(list, nullptr);
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(WaitFor([&] { return FocusOf(app.main()) == list; }, 3000)) << "the URL list has the focus";
  EXPECT_EQ(ListRows(list), Rows{});
  EXPECT_EQ(TextOf(panel), "0");

  {
    SCOPED_TRACE("empty list: Del and Ctrl+C do nothing");
    ASSERT_TRUE(PutOnClipboard("before"));
    ASSERT_NO_FATAL_FAILURE(ExpectNoDialogAfter(app, list, VK_DELETE, false, "Del"));
    ASSERT_NO_FATAL_FAILURE(ExpectNoDialogAfter(app, list, 'C', true, "Ctrl+C"));
    EXPECT_EQ(ClipboardText(), "before");
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
    EXPECT_TRUE(WaitFor([&] { return ClipboardText() == kSecond; }, 5000)) << ClipboardText();
    PressKey(VK_DOWN);
    ASSERT_TRUE(WaitFor([&] { return ListSelection(list) == 1; }, 3000));
    app.Foreground();
    PressKey('C', true);
    EXPECT_TRUE(WaitFor([&] { return ClipboardText() == kFirst; }, 5000)) << ClipboardText();
    EXPECT_TRUE(Dialogs(app.id()).empty());
  }
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
    ASSERT_TRUE(PutOnClipboard("after"));
    ASSERT_NO_FATAL_FAILURE(ExpectNoDialogAfter(app, list, VK_DELETE, false, "Del"));
    ASSERT_NO_FATAL_FAILURE(ExpectNoDialogAfter(app, list, 'C', true, "Ctrl+C"));
    EXPECT_EQ(ClipboardText(), "after");
  }
}

}  // namespace
}  // namespace cu::ui_test
