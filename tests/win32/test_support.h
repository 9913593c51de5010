#pragma once

// Throwaway worlds for the tests of the real platform layer: a registry key
// and a folder per test, removed before and after.

#include "platform/win32/win32_handles.h"

#include <optional>
#include <string>
#include <vector>

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
// Directory links inside are removed as links, never followed.
void RemoveTree(const std::string& folder);

// Copies a fixture program built next to the test executable; false when the
// copy fails.
[[nodiscard]] bool CopyFixture(const std::string& fixture, const std::string& destination);

// Makes `link` a directory symbolic link to the existing folder `target`:
// under Wine a Unix symlink (Wine's CreateSymbolicLinkA reports success and
// creates nothing), elsewhere CreateSymbolicLinkA. False when no link shows
// at `link` afterwards.
[[nodiscard]] bool MakeDirectoryLink(const std::string& link, const std::string& target);
// Removes a directory link itself, never what it points to; also a link whose
// folder is gone (which Wine does not show at all).
void RemoveDirectoryLink(const std::string& link);

// Writes a shortcut to `target` with the shell-link object; a step that fails
// fails the test.
void SaveShortcut(const std::string& link_path, const std::string& target);

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

// The clipboard's text, read with the clipboard opened for `owner`; nullopt
// when it does not open or holds no text.
std::optional<std::string> ClipboardText(HWND owner = nullptr);

// A registry value as stored.
struct StoredValue {
  std::string name;
  DWORD type = REG_NONE;
  std::string bytes;
};

// REG_SZ data as the system stores it: the text and its NUL.
std::string SzBytes(const std::string& text);
// Every value of a key, in enumeration order; empty when the key does not open.
std::vector<StoredValue> ReadValues(HKEY root, const std::string& key);
// One value, or nullopt when it (or its key) is missing.
std::optional<StoredValue> ReadValue(HKEY root, const std::string& key, const std::string& name);

// Values of a real key, kept for one test: the named values (every value when
// no name is given) are saved and removed, so the test starts without them;
// at the end the key holds the saved values again and none the test left.
// A key that did not exist is created and, at the end, removed again.
class SavedRegistryValues {
 public:
  SavedRegistryValues(HKEY root, std::string key, std::vector<std::string> names = {});
  ~SavedRegistryValues();
  SavedRegistryValues(const SavedRegistryValues&) = delete;
  SavedRegistryValues& operator=(const SavedRegistryValues&) = delete;

  // False when the key could neither be opened nor created with full access.
  bool usable() const { return key_.valid(); }
  void SetString(const std::string& name, const std::string& text);
  void SetRaw(const std::string& name, DWORD type, const std::string& bytes);

 private:
  void RemoveTestValues();
  HKEY root_;
  std::string path_;
  std::vector<std::string> names_;
  std::vector<StoredValue> saved_;
  bool created_ = false;
  UniqueHkey key_;
};

// A real file kept for one test: its bytes (or its absence) are saved and put
// back at the end.
class SavedFile {
 public:
  explicit SavedFile(std::string path);
  ~SavedFile();
  SavedFile(const SavedFile&) = delete;
  SavedFile& operator=(const SavedFile&) = delete;

  const std::string& path() const { return path_; }
  void Write(const std::string& content) const;
  std::string Read() const;

 private:
  std::string path_;
  std::optional<std::string> saved_;
};

// The process of a running service; 0 when it has none or cannot be queried.
DWORD ServiceProcessId(const std::string& service_name);
// Waits, bounded, until a stopped service's process has ended and the manager
// has let go of it (it reports no process for the service any more). A
// service reports STOPPED just before its process exits, and the manager
// removes a deleted service only after it has let go. False when the wait
// ran out first.
[[nodiscard]] bool WaitForServiceProcessEnd(const std::string& service_name, DWORD process_id);

// A Win32 service registered for one test (own process, demand start), and
// stopped and deleted before and after it.
class RegisteredService {
 public:
  RegisteredService(const std::string& name, const std::string& display_name,
                    const std::string& command, const char* dependencies = nullptr);
  ~RegisteredService();
  RegisteredService(const RegisteredService&) = delete;
  RegisteredService& operator=(const RegisteredService&) = delete;

  bool created() const { return created_; }
  const std::string& name() const { return name_; }

 private:
  void Remove();
  std::string name_;
  bool created_ = false;
};

}  // namespace cu::win32::test
