#pragma once

// The seam between the program's logic and Windows. Every interface here is
// implemented twice: by src/platform/win32 over the real system calls and by
// src/platform/memory as an in-memory machine for tests. The logic never sees
// a Win32 type.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cu {

// The system's answers that the program acts on.
inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorCancelled = 1223;  // the user declined (an elevation prompt)

// ---------------------------------------------------------------- registry

enum class Hive { kCurrentUser, kLocalMachine, kUsers };

inline constexpr uint32_t kKeyAllAccess = 0xF003F;
inline constexpr uint32_t kKeyRead = 0x20019;  // 131097
// The rights of a key handle that a change needs: reading values, writing
// or deleting them, creating subkeys.
inline constexpr uint32_t kKeyQueryValue = 0x0001;
inline constexpr uint32_t kKeySetValue = 0x0002;
inline constexpr uint32_t kKeyCreateSubKey = 0x0004;
// View flags of an access mask. On 64-bit Windows the machine's Software
// keys exist twice: the 64-bit view (the native one of this program) and the
// 32-bit view, which regedit shows below Software\WOW6432Node. Keys that
// Windows shares between the views open the same key in both.
inline constexpr uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr uint32_t kKeyWow64_32Key = 0x0200;

inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;

struct RegValueData {
  uint32_t type = kRegNone;
  std::string bytes;  // raw data exactly as stored (string data may or may not hold a NUL)
};

struct RegQuery {
  enum class Status { kOk, kMissing, kFailed };
  Status status = Status::kMissing;
  RegValueData value;  // filled only for kOk
};

// One value of a key as the enumeration gives it, name and data together.
struct RegNamedValue {
  std::string name;
  RegQuery query;  // kOk with the data, or kFailed when its data cannot be read
};

// An open registry key. Closed by the destructor.
class RegKey {
 public:
  virtual ~RegKey() = default;
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // Opens a subkey relative to this key; never creates. Empty path opens this
  // key again. Null when it does not open with the given access.
  [[nodiscard]] virtual std::unique_ptr<RegKey> OpenSubKey(const std::string& path,
                                                           uint32_t access) = 0;
  // All value names in enumeration order; nullopt when the key cannot be queried.
  [[nodiscard]] virtual std::optional<std::vector<std::string>> ValueNames() = 0;
  // All values with their data, in enumeration order, read in one pass;
  // nullopt when the key cannot be queried.
  [[nodiscard]] virtual std::optional<std::vector<RegNamedValue>> Values() = 0;
  // One value; the empty name is the default value.
  [[nodiscard]] virtual RegQuery QueryValue(const std::string& name) = 0;
  // Writes REG_SZ data: the text plus its terminating NUL.
  [[nodiscard]] virtual bool SetString(const std::string& name, const std::string& text) = 0;
  // Writes REG_BINARY data exactly as given.
  [[nodiscard]] virtual bool SetBinary(const std::string& name, const std::string& bytes) = 0;
  [[nodiscard]] virtual bool DeleteValue(const std::string& name) = 0;
  // The system's own name of the key ("\REGISTRY\MACHINE\SOFTWARE\..."),
  // after any view redirection; two handles with equal names (compared
  // without letter case) are one key. nullopt when the system cannot say.
  [[nodiscard]] virtual std::optional<std::string> SystemName() = 0;
};

class RegistryBackend {
 public:
  virtual ~RegistryBackend() = default;
  // Opens a key below a root; never creates. The path has no leading
  // backslash; the empty path opens the root itself. `access` may carry a
  // view flag (kKeyWow64_32Key). Null on failure.
  [[nodiscard]] virtual std::unique_ptr<RegKey> OpenKey(Hive root, const std::string& path,
                                                        uint32_t access) = 0;
  // As OpenKey, creating the missing keys of the path. Null on failure.
  [[nodiscard]] virtual std::unique_ptr<RegKey> CreateKey(Hive root, const std::string& path,
                                                          uint32_t access) = 0;
  // The system's error code of the last open or creation of a key, or the
  // last write or deletion of a value through any key, that failed on the
  // calling thread (kErrorAccessDenied for a key the user may only read).
  [[nodiscard]] virtual uint32_t LastError() = 0;
};

// -------------------------------------------------------------- file system

inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrNormal = 0x80;
inline constexpr uint32_t kAttrReparsePoint = 0x400;

// A point in local time, as the file search reports a last-write time.
struct LocalTime {
  int year = 1980;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

struct FindData {
  std::string long_name;
  std::string short_name;  // empty when the system keeps none
  uint32_t attributes = 0;
  uint64_t size = 0;        // full 64-bit size
  LocalTime last_write;     // converted to local time, seconds rounded down to even
};

// One open directory search. Closed by the destructor.
class FileSearch {
 public:
  virtual ~FileSearch() = default;
  FileSearch() = default;
  FileSearch(const FileSearch&) = delete;
  FileSearch& operator=(const FileSearch&) = delete;
  // The next entry; nullopt when no more. The first call gives the first hit.
  [[nodiscard]] virtual std::optional<FindData> Next() = 0;
};

// One folder held open for removing what is inside it. It keeps naming the
// folder it opened, whatever becomes of the folder's path meanwhile, so an
// entry swapped for a link half-way cannot redirect the removal. Each action
// applies to the entry that the last Next() gave, reached relative to this
// folder and never through a link. Closed by the destructor.
class RemovalFolder {
 public:
  enum class Outcome {
    kRemoved,  // the entry is gone
    kKept,     // the system refused: in use, protected, access denied
    kSkipped,  // not removed and not refused: gone meanwhile, or no longer
               // what the search said (a link or a folder now)
  };

  virtual ~RemovalFolder() = default;
  RemovalFolder() = default;
  RemovalFolder(const RemovalFolder&) = delete;
  RemovalFolder& operator=(const RemovalFolder&) = delete;

  // The next entry of the folder; "." and ".." are never given. Entries
  // removed meanwhile are not given again; every remaining one comes once.
  [[nodiscard]] virtual std::optional<FindData> Next() = 0;
  // Opens the current entry as a folder, without following a link. Null
  // when it is gone, is no folder or is a link now, or cannot be opened.
  [[nodiscard]] virtual std::unique_ptr<RemovalFolder> OpenCurrentFolder() = 0;
  // Deletes the current entry as a file. A folder or a link is never
  // deleted here (kSkipped). A `read_only` entry is deleted without a change
  // of its attributes where the system can; elsewhere it first loses its
  // read-only attribute (also when the deletion then fails), unless the file
  // has more than one name (hard links): the attribute belongs to the file,
  // so taking it off would leave the file writable under its other names.
  // Such a file stays (kKept).
  [[nodiscard]] virtual Outcome RemoveCurrentFile(bool read_only) = 0;
  // Takes the read-only attribute off this folder; false when refused.
  virtual bool ClearReadOnly() = 0;
  // Where this folder really is ("E:\\", "C:\\Data\\Temp"), links on the
  // way resolved, as the system names the opened folder now; a drive's root
  // keeps its backslash, other folders have none. nullopt when the system
  // cannot say.
  [[nodiscard]] virtual std::optional<std::string> FinalPath() { return std::nullopt; }
  // Removes this folder itself, which must be empty by now.
  [[nodiscard]] virtual Outcome RemoveSelf() = 0;
};

// The folder a removal starts from.
struct RemovalRoot {
  enum class Status { kOpen, kMissing, kLink, kFailed };
  Status status = Status::kFailed;
  std::unique_ptr<RemovalFolder> folder;  // set for kOpen only
  uint32_t error = 0;  // the system's error code for kMissing and kFailed, when it gave one
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens a folder for removing its content. With `follow_link` a link at
  // `path` itself is followed (the folder a user chose to clear may be a
  // junction); without it a link gives kLink and is not opened. Links
  // inside are never followed either way. The default works by path (a
  // search, then each entry's path); systems that can hold folders open
  // override it.
  [[nodiscard]] virtual RemovalRoot OpenRemovalRoot(const std::string& path, bool follow_link);
  // Starts a search for a pattern (a path, optionally ending in a wildcard
  // name such as "*.*"). Every kind of entry matches, "." and ".." included.
  // Null when nothing is found. Entries deleted while the search is open are
  // not returned again; every remaining entry is returned once.
  [[nodiscard]] virtual std::unique_ptr<FileSearch> FindFirst(const std::string& pattern) = 0;
  // kInvalidAttributes when the path does not exist.
  [[nodiscard]] virtual uint32_t GetAttributes(const std::string& path) = 0;
  [[nodiscard]] virtual bool SetAttributes(const std::string& path, uint32_t attributes) = 0;
  // The number of names (hard links) of the file at `path`, links not
  // followed; 0 when it cannot be read.
  [[nodiscard]] virtual uint32_t LinkCount(const std::string& path) = 0;
  [[nodiscard]] virtual bool DeleteFile(const std::string& path) = 0;
  // The system's error code of the last DeleteFile or RemoveDirectory that
  // failed on the calling thread.
  [[nodiscard]] virtual uint32_t LastError() = 0;
  // Removes an empty folder only. On a junction or directory symbolic link
  // it removes the link itself, never what the link points to; where that
  // cannot be made sure of, it removes nothing and gives false.
  [[nodiscard]] virtual bool RemoveDirectory(const std::string& path) = 0;
  // True only for an existing file, never for a folder. Relative paths are
  // taken from the process's current folder.
  [[nodiscard]] virtual bool FileExists(const std::string& path) = 0;
  // The system's search order for a file name, no default extension; the full
  // path found, or nullopt. Any length of result is returned whole.
  [[nodiscard]] virtual std::optional<std::string> SearchPath(const std::string& name) = 0;
  // Private-profile read with the empty default (at most 2047 characters).
  [[nodiscard]] virtual std::string ReadIniString(const std::string& file, const std::string& section,
                                                  const std::string& key) = 0;
  // Removes one key of a section; the result is not examined by callers.
  virtual void DeleteIniKey(const std::string& file, const std::string& section,
                            const std::string& key) = 0;
  // Replaces the file's content with the given bytes. The old content stays
  // intact unless the new content was completely written. False when the file
  // cannot be created or written.
  [[nodiscard]] virtual bool ReplaceFileContent(const std::string& path, const std::string& bytes) = 0;
};

// -------------------------------------------------------------------- shell

// One shell-link object, loaded with one shortcut file after another.
class ShortcutResolver {
 public:
  virtual ~ShortcutResolver() = default;
  ShortcutResolver() = default;
  ShortcutResolver(const ShortcutResolver&) = delete;
  ShortcutResolver& operator=(const ShortcutResolver&) = delete;
  // The target path of a shortcut file, or empty when it cannot be loaded
  // (the object is then not asked for a path, so nothing of an earlier
  // shortcut shows through) or has no file-system target.
  [[nodiscard]] virtual std::string Resolve(const std::string& path) = 0;
};

class Shell {
 public:
  virtual ~Shell() = default;
  // Opens a URL or folder with its associated program; result not examined.
  virtual void OpenItem(const std::string& target) = 0;
  // Shows the Properties sheet of a path; result not examined.
  virtual void ShowPropertiesSheet(const std::string& path) = 0;
  // The target path of a shortcut file, or empty when it cannot be loaded or
  // has no file-system target. Throws AppError when the shell-link object
  // cannot be created.
  [[nodiscard]] std::string ResolveShortcut(const std::string& path) {
    return OpenShortcutResolver()->Resolve(path);
  }
  // A shell-link object for resolving many shortcuts; never null. Throws
  // AppError when the object cannot be created.
  [[nodiscard]] virtual std::unique_ptr<ShortcutResolver> OpenShortcutResolver() = 0;
};

// -------------------------------------------------------------- environment

// How the process's token stands towards elevation (User Account Control).
enum class Elevation {
  kDefault,  // no second token: a standard user, or User Account Control off
  kFull,     // elevated
  kLimited,  // an administrator's filtered token, which can be elevated
};

class Environment {
 public:
  virtual ~Environment() = default;
  [[nodiscard]] virtual Elevation TokenElevation() = 0;
  // Starts this program again, elevated (ShellExecuteEx with the verb
  // "runas"), with `arguments`, and returns once the new process has
  // started: kErrorSuccess, kErrorCancelled when the user declined the
  // elevation prompt, else the system's error code.
  [[nodiscard]] virtual uint32_t RelaunchElevated(const std::string& arguments) = 0;
  // The system's message text for an error code, without the line end.
  [[nodiscard]] virtual std::string ErrorText(uint32_t error) = 0;
  // Empty when the query fails. Any length of result is returned whole.
  [[nodiscard]] virtual std::string WindowsDirectory() = 0;
  [[nodiscard]] virtual std::string TempPath() = 0;
  // nullopt when the expansion fails.
  [[nodiscard]] virtual std::optional<std::string> ExpandEnvironmentStrings(const std::string& text) = 0;
  [[nodiscard]] virtual bool IsNtFamily() = 0;
  // True on 64-bit Windows, where the registry has a 32-bit view besides
  // the native one. Asked of the system, not taken from the build.
  [[nodiscard]] virtual bool Is64BitWindows() = 0;
  // The current time as a UTC FILETIME (100-ns intervals since 1601).
  [[nodiscard]] virtual uint64_t CurrentFileTime() = 0;
  // A UTC FILETIME in the user's local time; nullopt when it cannot be converted.
  [[nodiscard]] virtual std::optional<LocalTime> LocalTimeOf(uint64_t utc_file_time) = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Milliseconds from an arbitrary start; only differences are meaningful.
  [[nodiscard]] virtual uint64_t TickCount() = 0;
};

// -------------------------------------------------------- version resources

struct Translation {
  uint16_t language = 0;
  uint16_t code_page = 0;
};

// A file's version resource, loaded whole.
class VersionInfo {
 public:
  virtual ~VersionInfo() = default;
  // The first entry of "\VarFileInfo\Translation", or nullopt without one.
  [[nodiscard]] virtual std::optional<Translation> FirstTranslation() = 0;
  // A string sub-block such as "StringFileInfo\\040904B0\\ProductName": no
  // leading backslash needed, empty components ignored, names compared
  // without letter case. nullopt when the sub-block is missing.
  [[nodiscard]] virtual std::optional<std::string> QueryString(const std::string& sub_block) = 0;
};

class VersionResources {
 public:
  virtual ~VersionResources() = default;
  // Null when the file has no version resource or cannot be read.
  [[nodiscard]] virtual std::unique_ptr<VersionInfo> Load(const std::string& path) = 0;
};

// ------------------------------------------------------------------- locale

class Locale {
 public:
  virtual ~Locale() = default;
  // Case-insensitive comparison by the user's locale: <0, 0, >0.
  [[nodiscard]] virtual int CompareNoCase(const std::string& a, const std::string& b) = 0;
  // Whole bytes grouped by three with the user's thousands separator ("#,##0").
  [[nodiscard]] virtual std::string FormatSize(uint64_t bytes) = 0;
  // A number of tenths with one decimal, the user's decimal separator and
  // thousands grouped by three ("1,234.5" for 12345).
  [[nodiscard]] virtual std::string FormatTenths(uint64_t tenths) = 0;
  // The user's short date, then a blank and the long time unless the time
  // is exactly midnight.
  [[nodiscard]] virtual std::string FormatDateTime(const LocalTime& time) = 0;
  // The text in capitals, or in small letters, by the system's ANSI case
  // mapping of the process code page (letters beyond A to Z included). The
  // length in bytes never changes.
  [[nodiscard]] virtual std::string UpperCase(const std::string& text) = 0;
  [[nodiscard]] virtual std::string LowerCase(const std::string& text) = 0;
  // True when the byte opens a double-byte character in the process code
  // page; never under UTF-8 or a single-byte code page.
  [[nodiscard]] virtual bool IsLeadByte(unsigned char byte) = 0;
};

// ---------------------------------------------------------------- clipboard

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // Leaves only the text on the clipboard. Throws AppError("Cannot open
  // clipboard") when the clipboard cannot be opened.
  virtual void SetText(const std::string& text) = 0;
};

// ---------------------------------------------------------- service manager

inline constexpr uint32_t kServiceWin32 = 48;
inline constexpr uint32_t kServiceStateAll = 3;
inline constexpr uint32_t kServiceStopped = 1;
inline constexpr uint32_t kServiceStartPending = 2;
inline constexpr uint32_t kServiceStopPending = 3;
inline constexpr uint32_t kServiceRunning = 4;

inline constexpr uint32_t kScManagerConnect = 1;
inline constexpr uint32_t kScManagerCreateService = 2;
inline constexpr uint32_t kScManagerEnumerateService = 4;
inline constexpr uint32_t kServiceQueryConfig = 1;
inline constexpr uint32_t kServiceQueryStatus = 4;
inline constexpr uint32_t kServiceStart = 0x10;
inline constexpr uint32_t kServiceStop = 0x20;
inline constexpr uint32_t kServiceChangeConfig = 2;
inline constexpr uint32_t kServiceEnumerateDependents = 8;
inline constexpr uint32_t kServiceAllAccess = 0xF01FF;
// The standard right to delete an object: all that DeleteService needs.
inline constexpr uint32_t kDelete = 0x10000;

// Start types (dwStartType).
inline constexpr uint32_t kStartBoot = 0;
inline constexpr uint32_t kStartSystem = 1;
inline constexpr uint32_t kStartAuto = 2;
inline constexpr uint32_t kStartDemand = 3;
inline constexpr uint32_t kStartDisabled = 4;

// The manager's answer that the Services tab acts on.
inline constexpr uint32_t kErrorDependentServicesRunning = 1051;
inline constexpr uint32_t kErrorServiceDoesNotExist = 1060;

struct ServiceStatus {
  uint32_t service_type = 0;
  uint32_t current_state = 0;
  uint32_t controls_accepted = 0;
  uint32_t win32_exit_code = 0;
  uint32_t service_exit_code = 0;
  uint32_t check_point = 0;
  uint32_t wait_hint = 0;  // milliseconds
};

struct ServiceRecord {
  std::string service_name;
  std::string display_name;
  ServiceStatus status;
};

struct ServiceConfig {
  uint32_t service_type = 0;
  uint32_t start_type = 0;
  std::string binary_path;
  std::string service_start_name;
  std::vector<std::string> dependencies;  // every name of the double-NUL list, in order
  // An automatic start delayed after boot (SERVICE_CONFIG_DELAYED_AUTO_START_INFO);
  // false where that cannot be read.
  bool delayed_auto_start = false;
};

// An open manager or service handle. Closed by the destructor.
class ScHandle {
 public:
  virtual ~ScHandle() = default;
  ScHandle() = default;
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
};

struct ControlResult {
  bool accepted = false;
  std::optional<ServiceStatus> status;  // filled on success and when the service reported its state
  uint32_t error = 0;                   // the system's error code of a refusal
};

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // Empty machine name is the local computer. Null on failure, LastError
  // then telling why.
  [[nodiscard]] virtual std::unique_ptr<ScHandle> OpenManager(const std::string& machine,
                                                              uint32_t access) = 0;
  // One sizing call, then one full call: the records returned, in the
  // manager's order; empty when either call fails.
  [[nodiscard]] virtual std::vector<ServiceRecord> Enumerate(ScHandle& manager, uint32_t type,
                                                             uint32_t state) = 0;
  // Null on failure, LastError then telling why (access denied, no such
  // service).
  [[nodiscard]] virtual std::unique_ptr<ScHandle> OpenService(ScHandle& manager,
                                                              const std::string& name,
                                                              uint32_t access) = 0;
  // The system's error code of the last OpenManager, OpenService, Start or
  // Delete that failed on the calling thread; never 0 once one has failed. Closing
  // handles in between does not change it.
  [[nodiscard]] virtual uint32_t LastError() = 0;
  [[nodiscard]] virtual std::optional<ServiceStatus> QueryStatus(ScHandle& service) = 0;
  // Sizing call, then the full call; nullopt when the sizing call does not
  // fail with ERROR_INSUFFICIENT_BUFFER or the full call fails.
  [[nodiscard]] virtual std::optional<ServiceConfig> QueryConfig(ScHandle& service) = 0;
  // LastError tells why it failed.
  [[nodiscard]] virtual bool Start(ScHandle& service) = 0;
  [[nodiscard]] virtual ControlResult Stop(ScHandle& service) = 0;
  [[nodiscard]] virtual bool Delete(ScHandle& service) = 0;
  // ChangeServiceConfig with only the start type, then for an automatic
  // start ChangeServiceConfig2 with the delayed flag. 0 on success, else the
  // system's error code; the handle needs SERVICE_CHANGE_CONFIG.
  [[nodiscard]] virtual uint32_t ChangeStartType(ScHandle& service, uint32_t start_type,
                                                 bool delayed) = 0;
  // EnumDependentServices: every service that depends on this one, directly
  // or not, in the state asked for (1 active, 2 inactive, 3 all), in the
  // order they must be stopped (the deepest first); nullopt when the call
  // fails. The handle needs SERVICE_ENUMERATE_DEPENDENTS.
  [[nodiscard]] virtual std::optional<std::vector<ServiceRecord>> Dependents(ScHandle& service,
                                                                             uint32_t state) = 0;
  // The system's message text for an error code, without the line end.
  [[nodiscard]] virtual std::string ErrorText(uint32_t error) = 0;
};

// ----------------------------------------------------------------- platform

// References to one implementation of every concern, handed to each tab.
struct Platform {
  RegistryBackend& registry;
  FileSystem& files;
  Shell& shell;
  Environment& environment;
  VersionResources& versions;
  Locale& locale;
  Clipboard& clipboard;
  ServiceManager& services;
};

}  // namespace cu
