#pragma once

// The real machine: every platform interface over the Win32 "A" functions,
// with text in the process's ANSI code page. This header has no Win32 types,
// so it can be included with or without <windows.h>.
//
// Usage (src/app):
//   cu::win32::Win32Machine machine;          // COM must be initialised on the
//   cu::Platform platform = machine.platform();  // thread that resolves shortcuts
//                                                 // and reads scheduled tasks
//   machine.SetOwnerWindow(main_window_hwnd);  // once the main window exists

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace cu::win32 {

// The window that owns what the shell opens and what goes on the clipboard.
// Null until set; the shell then has no owner window.
struct OwnerWindow {
  void* hwnd = nullptr;  // HWND
};

class Win32Registry : public RegistryBackend {
 public:
  // RegOpenKeyExA below HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or HKEY_USERS.
  std::unique_ptr<RegKey> OpenKey(Hive root, const std::string& path, uint32_t access) override;
  // RegCreateKeyExA, non-volatile.
  std::unique_ptr<RegKey> CreateKey(Hive root, const std::string& path, uint32_t access) override;
  uint32_t LastError() override;
};

class Win32FileSystem : public FileSystem {
 public:
  std::unique_ptr<FileSearch> FindFirst(const std::string& pattern) override;
  uint32_t GetAttributes(const std::string& path) override;
  // GetFileAttributesExA.
  std::optional<FileStamp> StampOf(const std::string& path) override;
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  // GetFileInformationByHandle on the entry itself (a link is not followed).
  uint32_t LinkCount(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  uint32_t LastError() override;
  bool RemoveDirectory(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  std::optional<std::string> SearchPath(const std::string& name) override;
  std::optional<std::string> ReadFileBytes(const std::string& path, std::size_t max_bytes) override;
  std::string ReadIniString(const std::string& file, const std::string& section,
                            const std::string& key) override;
  void DeleteIniKey(const std::string& file, const std::string& section,
                    const std::string& key) override;
  // Writes a temporary file next to the target, flushes it and moves it over
  // the target in one step; on any failure the temporary file is removed and
  // the target is left as it was.
  bool ReplaceFileContent(const std::string& path, const std::string& bytes) override;
  // Holds each folder open by handle (see platform/win32/removal.cpp); the
  // path-based way of FileSystem where the system lacks the calls, or when
  // `handle_removal` is off (for tests of that way).
  RemovalRoot OpenRemovalRoot(const std::string& path, bool follow_link) override;

  bool handle_removal = true;

 private:
  bool RemoveDirectoryOrLink(const std::string& path);
};

class Win32Shell : public Shell {
 public:
  explicit Win32Shell(const OwnerWindow& owner) : owner_(owner) {}
  void OpenItem(const std::string& target) override;
  void ShowPropertiesSheet(const std::string& path) override;
  // Needs COM initialised on the calling thread; otherwise, or when the
  // shell-link object or its interfaces are missing, throws AppError with the
  // system's text for the failure. The object is used on that thread only.
  std::unique_ptr<ShortcutResolver> OpenShortcutResolver() override;

 private:
  const OwnerWindow& owner_;
};

class Win32Environment : public Environment {
 public:
  // GetTokenInformation(TokenElevationType) of the process token.
  Elevation TokenElevation() override;
  // This program's own file, with `arguments`; waits until the new process
  // takes input (bounded), so this one can then close.
  uint32_t RelaunchElevated(const std::string& arguments) override;
  // FormatMessage from the system; "Error N" when it has no text.
  std::string ErrorText(uint32_t error) override;
  std::string WindowsDirectory() override;
  std::string SystemDirectory() override;
  std::string TempPath() override;
  std::optional<std::string> ExpandEnvironmentStrings(const std::string& text) override;
  bool IsNtFamily() override;
  // IsWow64Process2 where the system has it, else GetNativeSystemInfo.
  bool Is64BitWindows() override;
  uint64_t CurrentFileTime() override;
  // The user's time zone rules for that moment (SystemTimeToTzSpecificLocalTime).
  std::optional<LocalTime> LocalTimeOf(uint64_t utc_file_time) override;
  void Sleep(uint32_t milliseconds) override;
  uint64_t TickCount() override;
};

class Win32VersionResources : public VersionResources {
 public:
  std::unique_ptr<VersionInfo> Load(const std::string& path) override;
};

class Win32Locale : public Locale {
 public:
  // CharUpperBuffA / CharLowerBuffA on a copy.
  std::string UpperCase(const std::string& text) override;
  std::string LowerCase(const std::string& text) override;
  // IsDBCSLeadByteEx with the process code page.
  bool IsLeadByte(unsigned char byte) override;
  int CompareNoCase(const std::string& a, const std::string& b) override;
  // Digits grouped by three with the user's thousands separator.
  std::string FormatSize(uint64_t bytes) override;
  // The user's decimal separator, thousands grouped by three.
  std::string FormatTenths(uint64_t tenths) override;
  // The user's short date and long time. Dates the system cannot format
  // (years before 1601, impossible days) are written as yyyy-MM-dd HH:mm:ss.
  std::string FormatDateTime(const LocalTime& time) override;
};

class Win32Clipboard : public Clipboard {
 public:
  explicit Win32Clipboard(const OwnerWindow& owner) : owner_(owner) {}
  void SetText(const std::string& text) override;

 private:
  const OwnerWindow& owner_;
};

class Win32ServiceManager : public ServiceManager {
 public:
  std::unique_ptr<ScHandle> OpenManager(const std::string& machine, uint32_t access) override;
  std::vector<ServiceRecord> Enumerate(ScHandle& manager, uint32_t type, uint32_t state) override;
  std::unique_ptr<ScHandle> OpenService(ScHandle& manager, const std::string& name,
                                        uint32_t access) override;
  uint32_t LastError() override;
  std::optional<ServiceStatus> QueryStatus(ScHandle& service) override;
  std::optional<ServiceConfig> QueryConfig(ScHandle& service) override;
  bool Start(ScHandle& service) override;
  ControlResult Stop(ScHandle& service) override;
  bool Delete(ScHandle& service) override;
  uint32_t ChangeStartType(ScHandle& service, uint32_t start_type, bool delayed) override;
  std::optional<std::vector<ServiceRecord>> Dependents(ScHandle& service, uint32_t state) override;
  std::string ErrorText(uint32_t error) override;
};

// The Task Scheduler 2.0 service of this machine (ITaskService), connected
// afresh for each call. Needs COM initialised on the calling thread; without
// it every call fails. Paths are in the process code page. Codes returned are
// the Win32 code of a failed HRESULT of that facility, else the HRESULT.
class Win32TaskScheduler : public TaskScheduler {
 public:
  // Walks the folders from the root, hidden tasks included. Each task's XML
  // is given as the scheduler holds it, UTF-16LE with its byte-order mark.
  // A folder below the root that refuses this user is left out; any other
  // failure to enumerate (Wine cannot count a collection) gives nullopt.
  // A scheduler that cannot count (E_NOTIMPL) is not asked again for the
  // rest of the run.
  std::optional<std::vector<RegisteredTask>> AllTasks(const std::string& skipped_folder) override;
  std::optional<bool> TaskEnabled(const std::string& path) override;
  uint32_t SetTaskEnabled(const std::string& path, bool enabled) override;
  // ITaskFolder::DeleteTask of the task's name in its folder.
  uint32_t DeleteTask(const std::string& path) override;

 private:
  std::atomic<bool> cannot_count_{false};
};

// XmlLite, with document types prohibited. Besides the seam's limits, a
// document is refused when it nests deeper than 256 elements (the tree is
// freed recursively), or when it takes more reads than it has characters or
// eight per allowed element (Wine's reader never ends on a document cut
// inside an element).
class Win32XmlParser : public XmlParser {
 public:
  std::optional<XmlElement> Parse(const std::string& bytes) override;
};

// WinVerifyTrust (generic verify action, no UI, no revocation check, URLs
// from the cache only, so nothing waits for the network). The file is opened
// first with every kind of sharing; a file that does not open is kFailed.
// The publisher and the chain are read from the signer the system found,
// or, when it stopped before reading one (a changed digest), from the
// signature's own signer certificate. chain_trusted allows only the
// revocation-unknown bits, since revocation is not checked.
class Win32SignatureChecks : public SignatureChecks {
 public:
  TrustCheck Embedded(const std::string& path) override;
  // Looks the file's SHA-256 hash up where the system can compute it
  // (CryptCATAdminCalcHashFromFileHandle2, Windows 8 and later), then its
  // SHA-1 hash; the first catalog found is verified for the file.
  // kFailed when no lookup could be made at all.
  TrustCheck Catalog(const std::string& path) override;
};

// One of each, and the Platform that refers to them. Neither copied nor
// moved: the Platform holds references into it.
class Win32Machine {
 public:
  Win32Machine() = default;
  Win32Machine(const Win32Machine&) = delete;
  Win32Machine& operator=(const Win32Machine&) = delete;

  Platform platform() {
    return Platform{registry_,  files_,    shell_,  environment_, versions_,   locale_,
                    clipboard_, services_, tasks_,  xml_,         signatures_};
  }
  // The owner (an HWND) of shell windows and of the clipboard data; may be
  // set or changed at any time, null for none.
  void SetOwnerWindow(void* hwnd) { owner_.hwnd = hwnd; }

 private:
  OwnerWindow owner_;
  Win32Registry registry_;
  Win32FileSystem files_;
  Win32Shell shell_{owner_};
  Win32Environment environment_;
  Win32VersionResources versions_;
  Win32Locale locale_;
  Win32Clipboard clipboard_{owner_};
  Win32ServiceManager services_;
  Win32TaskScheduler tasks_;
  Win32XmlParser xml_;
  Win32SignatureChecks signatures_;
};

}  // namespace cu::win32
