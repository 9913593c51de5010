#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/errors.h"
#include "platform/win32/win32_platform.h"
#include "test_support.h"

namespace cu::win32 {
namespace {

using test::ClipboardText;
using test::MessageWindow;

TEST(Win32Clipboard, TextRoundTripsAndReplacesWhatWasThere) {
  MessageWindow window;
  ASSERT_NE(window.get(), nullptr);
  OwnerWindow owner{window.get()};
  Win32Clipboard clipboard(owner);

  clipboard.SetText("http://first.example/");
  clipboard.SetText("http://example.com/a b?c=d");
  EXPECT_EQ(ClipboardText(window.get()), "http://example.com/a b?c=d");
  {
    ClipboardOpen open(window.get());
    ASSERT_TRUE(open.opened());
    EXPECT_GT(::CountClipboardFormats(), 0);
    EXPECT_EQ(::GetClipboardOwner(), window.get());
  }
  clipboard.SetText("");
  EXPECT_EQ(ClipboardText(window.get()), "");

  // Text beyond ASCII, in this process's code page, reaches a Unicode
  // reader unchanged (bytes of "http://bücher.example/?q=ü").
  const wchar_t* wide = L"http://b\u00FCcher.example/?q=\u00FC";
  char ansi[64] = {};
  ASSERT_GT(::WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, sizeof ansi, nullptr, nullptr), 0);
  clipboard.SetText(ansi);
  EXPECT_EQ(ClipboardText(window.get()), "http://b\xC3\xBC" "cher.example/?q=\xC3\xBC");
  // Put as Unicode itself: the formats put come before those the system
  // makes from them, and CF_TEXT would be converted with the clipboard
  // locale's code page, not with the program's.
  ClipboardOpen open(window.get());
  ASSERT_TRUE(open.opened());
  EXPECT_EQ(::EnumClipboardFormats(0), static_cast<UINT>(CF_UNICODETEXT));
}

TEST(Win32Clipboard, ClipboardHeldElsewhereRaisesTheErrorAndKeepsTheText) {
  MessageWindow window;
  OwnerWindow owner{window.get()};
  Win32Clipboard clipboard(owner);
  clipboard.SetText("kept");

  // Another thread holds the clipboard open until told to let go.
  std::mutex mutex;
  std::condition_variable changed;
  bool ready = false;
  bool holding = false;
  bool release = false;
  std::thread holder([&] {
    MessageWindow other;
    ClipboardOpen open(other.get());
    std::unique_lock lock(mutex);
    holding = open.opened();
    ready = true;
    changed.notify_all();
    changed.wait(lock, [&] { return release; });
  });
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return ready; });
  }
  EXPECT_TRUE(holding);
  std::string message;
  try {
    clipboard.SetText("replaced");
  } catch (const AppError& error) {
    message = error.what();
  }
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  changed.notify_all();
  holder.join();
  EXPECT_EQ(message, "Cannot open clipboard");
  EXPECT_EQ(ClipboardText(window.get()), "kept");
}

}  // namespace
}  // namespace cu::win32
