#pragma once

// Throwaway worlds for the tests of the real platform layer: a registry key
// and a folder per test, removed before and after.

#include "platform/win32/win32_handles.h"

#include <string>

namespace cu::win32::test {

// The folder of the running test executable, with a trailing backslash; the
// fixture programs are built next to it.
std::string ExeFolder();

// True under Wine, where a few system behaviours differ from Windows; each
// test that skips something for it says what and why.
bool RunningUnderWine();

// HKEY_CURRENT_USER\Software\ClearUtilityTests\<name>, created empty.
class TestKey {
 public:
  explicit TestKey(const std::string& name);
  ~TestKey();
  TestKey(const TestKey&) = delete;
  TestKey& operator=(const TestKey&) = delete;

  // Relative to HKEY_CURRENT_USER, without a leading backslash.
  const std::string& path() const { return path_; }
  HKEY get() const { return key_.get(); }
  void SetRaw(const std::string& name, DWORD type, const std::string& bytes);

 private:
  void Remove();
  std::string path_;
  UniqueHkey key_;
};

// <temp folder>\ClearUtilityTests\<name>, created empty.
class Sandbox {
 public:
  explicit Sandbox(const std::string& name);
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // With a trailing backslash.
  const std::string& folder() const { return folder_; }
  std::string Path(const std::string& name) const { return folder_ + name; }
  void WriteFile(const std::string& name, const std::string& content) const;
  std::string ReadFile(const std::string& name) const;
  void MakeFolder(const std::string& name) const;

 private:
  std::string folder_;
};

// Removes a folder with everything in it; attributes are reset first.
void RemoveTree(const std::string& folder);

}  // namespace cu::win32::test
