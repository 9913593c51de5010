#pragma once

// Throwaway worlds for the tests of the real platform layer: a registry key
// and a folder per test, removed before and after. The helpers shared with
// the window tests and the benchmarks come from the test kit.

#include "test_kit.h"

#include <string>

namespace cu::win32::test {

using cu::test_kit::ClipboardText;
using cu::test_kit::DwordBytes;
using cu::test_kit::ExeFolder;
using cu::test_kit::FolderEntries;
using cu::test_kit::GroupedDigits;
using cu::test_kit::MakeDirectoryLink;
using cu::test_kit::PathExists;
using cu::test_kit::ReadValue;
using cu::test_kit::ReadValues;
using cu::test_kit::RegisteredService;
using cu::test_kit::RemoveDirectoryLink;
using cu::test_kit::RunAndWait;
using cu::test_kit::RunningUnderWine;
using cu::test_kit::SavedFile;
using cu::test_kit::SavedRegistryValues;
using cu::test_kit::SaveShortcut;
using cu::test_kit::ScratchKey;
using cu::test_kit::ServiceProcessId;
using cu::test_kit::ServiceStatusNow;
using cu::test_kit::StoredValue;
using cu::test_kit::SzBytes;
using cu::test_kit::WaitForServiceProcessEnd;

// HKEY_CURRENT_USER\Software\ClearUtilityTests\<name>, created empty; throws
// when it cannot be created. path() is relative to HKEY_CURRENT_USER.
class TestKey : public ScratchKey {
 public:
  explicit TestKey(const std::string& name);
};

// <temp folder>\ClearUtilityTests\<name>, created empty; throws when it
// cannot be created. Each step returns whether it worked.
class Sandbox {
 public:
  explicit Sandbox(const std::string& name);
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // With a trailing backslash.
  const std::string& folder() const { return folder_; }
  std::string Path(const std::string& name) const { return folder_ + name; }
  [[nodiscard]] bool WriteFile(const std::string& name, const std::string& content) const;
  std::string ReadFile(const std::string& name) const;
  [[nodiscard]] bool MakeFolder(const std::string& name) const;

 private:
  std::string folder_;
};

// Copies a fixture program built next to the test executable; false when the
// copy fails.
[[nodiscard]] bool CopyFixture(const std::string& fixture, const std::string& destination);

// A message-only window for one test, to own what goes on the clipboard as
// the main window does; get() is null when it could not be created.
class MessageWindow {
 public:
  MessageWindow();
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND get() const { return hwnd_; }

 private:
  HWND hwnd_;
};

}  // namespace cu::win32::test
