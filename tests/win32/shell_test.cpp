#include "test_support.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <thread>

#include "platform/errors.h"
#include "platform/text.h"
#include "platform/win32/win32_platform.h"

namespace cu::win32 {
namespace {

using test::Sandbox;

// Writes a shortcut to `target` with the shell-link object.
void SaveShortcut(const std::string& link_path, const std::string& target) {
  ComPtr<IShellLinkA> link;
  ASSERT_EQ(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                               link.receive()),
            S_OK);
  ASSERT_EQ(link->SetPath(target.c_str()), S_OK);
  ComPtr<IPersistFile> file;
  ASSERT_EQ(link->QueryInterface(IID_IPersistFile, file.receive()), S_OK);
  ASSERT_EQ(file->Save(ToWide(link_path).c_str(), TRUE), S_OK);
}

TEST(Win32Shell, ResolvesShortcutsAndGivesEmptyForUnreadableOnes) {
  Sandbox box("Shortcuts");
  box.WriteFile("target program.exe", "MZ");
  const std::string target = box.Path("target program.exe");
  SaveShortcut(box.Path("Program.lnk"), target);
  box.WriteFile("corrupt.lnk", "this is not a shell link at all");

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
