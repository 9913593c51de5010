#pragma once

// The Windows test kit: throwaway-world helpers shared by the tests of the
// real platform layer, the window tests, the walkthrough and the Windows
// benchmarks. Nothing here asserts: each step reports whether it worked (a
// bool, a Win32 status or an HRESULT), so the caller checks it where it
// stands (`ASSERT_EQ(values.SetString(...), ERROR_SUCCESS)` reports the
// caller's line) and the benchmark links the kit without GoogleTest.

#include "platform/win32/win32_handles.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cu::test_kit {

// Folders, each with a trailing backslash: the running executable's (the
// fixture programs and clear-utility.exe are built next to it) and the
// user's temporary folder. The Windows folder as the system gives it, without.
std::string ExeFolder();
std::string TempFolder();
std::string WindowsFolder();

// True under Wine, where a few system behaviours differ from Windows.
bool RunningUnderWine();

// True when a file or folder (or a link) shows at `path`.
bool PathExists(const std::string& path);
// The names inside a folder, "." and ".." left out, sorted; empty when it
// does not open.
std::vector<std::string> FolderEntries(const std::string& folder);

// The programs made at build time for the signature checks
// (scripts/sign-fixtures.sh), next to the Win32 tests; the window tests,
// built one folder up, find them in tests\win32 below their own folder.
struct SignatureFixtures {
  std::string signed_by_trusted;  // by kTestPublisher, issued by the test root, chain included
  std::string self_signed;        // by kSelfSignedPublisher, its own issuer
  std::string tampered;           // as signed_by_trusted, then one byte of its data changed
  std::string unsigned_program;   // the same program, never signed
  std::string signed_service;     // the test service (test-service.exe), signed like signed_by_trusted
  std::string root_certificate;   // the test root, DER
};
inline constexpr char kTestPublisher[] = "CU Test Publisher";
inline constexpr char kSelfSignedPublisher[] = "CU Self Signed";
SignatureFixtures SignatureFixturePaths();

// Adds the test root to the machine's trusted roots (the local machine's
// "Root" store), replacing it when it is there already, so signatures by
// kTestPublisher are trusted from then on (in the test prefix this lasts).
// ERROR_SUCCESS when the root is in the store, else the system's error.
[[nodiscard]] DWORD TrustTestRoot();

// A whole file's bytes; nullopt when it does not open.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Creates or truncates a file holding exactly `bytes`.
[[nodiscard]] bool WriteWholeFile(const std::string& path, const std::string& bytes);

// Creates a folder and its missing parents.
[[nodiscard]] bool MakeFolders(const std::string& path);

// A number's digits grouped by three with the user's thousands separator,
// as the program shows counts and sizes.
std::string GroupedDigits(uint64_t number);

// Sets an environment variable of this process (and of the programs it
// starts) until the end of the scope, then puts back what was there.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(std::string name, const std::string& value);
  ~ScopedEnvironmentVariable();
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Removes a file, or a folder with everything in it; attributes are reset
// first. Directory links inside are removed as links, never followed. True
// when nothing is left at `path`.
[[nodiscard]] bool RemoveTree(const std::string& path);

// Makes `link` a directory symbolic link to the existing folder `target`:
// under Wine a Unix symlink (Wine's CreateSymbolicLinkA reports success and
// creates nothing), elsewhere CreateSymbolicLinkA. False when no link shows
// at `link` afterwards.
[[nodiscard]] bool MakeDirectoryLink(const std::string& link, const std::string& target);
// Removes a directory link itself, never what it points to; also a link whose
// folder is gone (which Wine does not show at all).
void RemoveDirectoryLink(const std::string& link);

// Writes a shortcut to `target` with the shell-link object; the first failing
// step's HRESULT, S_OK when saved. Initialises COM on the thread for the call
// when the caller has not.
[[nodiscard]] HRESULT SaveShortcut(const std::string& link_path, const std::string& target);

// A real file kept for one test: its bytes (or its absence) are saved, and
// put back (or the file removed) at the end.
class SavedFile {
 public:
  explicit SavedFile(std::string path);
  ~SavedFile();
  SavedFile(const SavedFile&) = delete;
  SavedFile& operator=(const SavedFile&) = delete;

  const std::string& path() const { return path_; }
  [[nodiscard]] bool Write(const std::string& content) const;
  // Empty when the file does not open.
  std::string Read() const;

 private:
  std::string path_;
  std::optional<std::string> saved_;
};

// A registry value as stored.
struct StoredValue {
  std::string name;
  DWORD type = REG_NONE;
  std::string bytes;
  // REG_SZ and REG_EXPAND_SZ data up to its first NUL; empty for other types.
  std::string Text() const;
};

// Data as the system stores it: REG_SZ text with its NUL, a REG_DWORD.
std::string SzBytes(const std::string& text);
std::string DwordBytes(DWORD value);
// `view` is a registry view flag (KEY_WOW64_32KEY, KEY_WOW64_64KEY) the key
// is opened with, 0 for the process's own view.
// Every value of a key, in enumeration order; empty when the key does not open.
std::vector<StoredValue> ReadValues(HKEY root, const std::string& key, REGSAM view = 0);
// One value, or nullopt when it (or its key) is missing.
std::optional<StoredValue> ReadValue(HKEY root, const std::string& key, const std::string& name,
                                     REGSAM view = 0);

// A key made for one test, with everything below it removed before and (when
// it was made) after.
class ScratchKey {
 public:
  ScratchKey(HKEY root, std::string path);
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  // RegCreateKeyExA's status; ERROR_SUCCESS when the key is open.
  LSTATUS status() const { return status_; }
  const std::string& path() const { return path_; }
  HKEY get() const { return key_.get(); }
  [[nodiscard]] LSTATUS SetRaw(const std::string& name, DWORD type, const std::string& bytes) const;

 private:
  HKEY root_;
  std::string path_;
  LSTATUS status_ = ERROR_SUCCESS;
  cu::win32::UniqueHkey key_;
};

// Values of a real key, kept for one test: the named values (every value when
// no name is given) are saved and removed, so the test starts without them;
// at the end the key holds the saved values again and none the test left.
// A key that did not exist is created and, at the end, removed again, with
// the keys above it that were created for it. The key is opened and created
// in `view` (see ReadValue).
class SavedRegistryValues {
 public:
  SavedRegistryValues(HKEY root, std::string key, std::vector<std::string> names = {},
                      REGSAM view = 0);
  ~SavedRegistryValues();
  SavedRegistryValues(const SavedRegistryValues&) = delete;
  SavedRegistryValues& operator=(const SavedRegistryValues&) = delete;

  // False when the key could neither be opened nor created with full access.
  bool usable() const { return key_.valid(); }
  [[nodiscard]] LSTATUS SetString(const std::string& name, const std::string& text) const;
  [[nodiscard]] LSTATUS SetRaw(const std::string& name, DWORD type, const std::string& bytes) const;

 private:
  void RemoveTestValues() const;
  HKEY root_;
  std::string path_;
  std::vector<std::string> names_;
  REGSAM view_;
  std::vector<StoredValue> saved_;
  bool created_ = false;
  std::string existing_ancestor_;  // the deepest key of the path that existed before
  cu::win32::UniqueHkey key_;
};

// Runs a command line (a program of the system, such as reg.exe, with its
// arguments) with its output discarded, and waits, bounded, until it ends.
// Its exit code; nullopt when it did not start or did not end in time.
std::optional<DWORD> RunAndWait(const std::string& command_line);

// The clipboard's text as a Unicode program pastes it (CF_UNICODETEXT), in
// UTF-8, read with the clipboard opened for `owner` (waiting, bounded, while
// another window holds it); nullopt when it does not open or holds no text.
std::optional<std::string> ClipboardText(HWND owner = nullptr);
// Replaces the clipboard's contents with `text`, opened for no window.
[[nodiscard]] bool PutTextOnClipboard(const std::string& text);

// A service's state and process as the manager reports them now; nullopt
// when it cannot be opened or queried.
std::optional<SERVICE_STATUS_PROCESS> ServiceStatusNow(const std::string& service_name);
// The process of a running service; 0 when it has none or cannot be queried.
DWORD ServiceProcessId(const std::string& service_name);
// Waits, bounded, until a stopped service's process has ended and the manager
// has let go of it (it reports no process for the service any more). A
// service reports STOPPED just before its process exits, and the manager
// removes a deleted service only after it has let go. False when the wait
// ran out first.
[[nodiscard]] bool WaitForServiceProcessEnd(const std::string& service_name, DWORD process_id);

// A real key made readable but not writable by everyone (the DACL
// "D:(A;;KR;;;WD)"), as a user without administrator rights finds the
// machine's keys; its own DACL comes back at the end. The key must exist.
class ReadOnlyKey {
 public:
  ReadOnlyKey(HKEY root, const std::string& path, REGSAM view = 0);
  ~ReadOnlyKey();
  ReadOnlyKey(const ReadOnlyKey&) = delete;
  ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;
  // False when the key could not be opened or its DACL not replaced.
  bool made() const { return made_; }

 private:
  cu::win32::UniqueHkey key_;  // opened with the right to give the DACL back
  std::vector<char> saved_;    // the key's own security descriptor
  bool made_ = false;
};

// Replaces a key's DACL, given in SDDL; false when refused.
[[nodiscard]] bool SetKeyDacl(HKEY key, const char* sddl);

// A Win32 service registered for one test (own process, demand start), and
// stopped and deleted before and after it; the removal waits, bounded, until
// the manager has forgotten the name, so the next test can register it again.
class RegisteredService {
 public:
  RegisteredService(std::string name, const std::string& display_name, const std::string& command,
                    const char* dependencies = nullptr);
  ~RegisteredService();
  RegisteredService(const RegisteredService&) = delete;
  RegisteredService& operator=(const RegisteredService&) = delete;

  bool created() const { return created_; }
  const std::string& name() const { return name_; }
  [[nodiscard]] bool SetDescription(const char* text) const;
  // The account the manager runs it under; empty when it cannot be queried.
  std::string StartName() const;
  // Starts it and waits, bounded, until it reports SERVICE_RUNNING.
  [[nodiscard]] bool Start() const;

 private:
  void Remove() const;
  std::string name_;
  bool created_ = false;
};

}  // namespace cu::test_kit
