#include "test_support.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/errors.h"
#include "platform/text.h"
#include "platform/win32/win32_platform.h"

namespace cu::win32 {
namespace {

using test::Sandbox;
using test::SaveShortcut;

TEST(Win32Shell, ResolvesShortcutsAndGivesEmptyForUnreadableOnes) {
  Sandbox box("Shortcuts");
  ASSERT_TRUE(box.WriteFile("target program.exe", "MZ"));
  const std::string target = box.Path("target program.exe");
  ASSERT_EQ(SaveShortcut(box.Path("Program.lnk"), target), S_OK);
  ASSERT_TRUE(box.WriteFile("corrupt.lnk", "this is not a shell link at all"));

  OwnerWindow owner;
  Win32Shell shell(owner);
  EXPECT_EQ(AsciiLower(shell.ResolveShortcut(box.Path("Program.lnk"))), AsciiLower(target));
  EXPECT_EQ(shell.ResolveShortcut(box.Path("corrupt.lnk")), "");
  EXPECT_EQ(shell.ResolveShortcut(box.Path("absent.lnk")), "");
}

TEST(Win32Shell, ShortcutWithoutComReportsTheSystemsError) {
  OwnerWindow owner;
  Win32Shell shell(owner);
  // A thread of its own, on which COM was never initialised.
  std::string message;
  bool thrown = false;
  std::thread worker([&] {
    try {
      (void)shell.ResolveShortcut("C:\\any.lnk");
    } catch (const AppError& error) {
      thrown = true;
      message = error.what();
    }
  });
  worker.join();
  EXPECT_TRUE(thrown);
  EXPECT_EQ(message, SystemMessage(static_cast<DWORD>(CO_E_NOTINITIALIZED)));
  EXPECT_FALSE(message.empty());
}

}  // namespace
}  // namespace cu::win32
