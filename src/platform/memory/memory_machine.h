#pragma once

// The in-memory machine: every platform interface over plain data, for host
// tests and host benchmarks. Seeding and inspection functions let a test set
// up a world and look at it afterwards; failure switches let it refuse what a
// real system may refuse.
//
// Paths are Windows paths ("C:\dir\file.txt"), compared without letter case
// (ASCII). Registry key paths have no leading backslash.
//
// Fixed locale: thousands separator ",", short date "M/d/yyyy", long time
// "h:mm:ss AM" (the United States defaults); CompareNoCase folds A to Z only.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace cu::memory {

// The system's texts of the errors the memory machine gives, as Windows
// words them; "Error N" for others.
std::string ErrorTextOf(uint32_t error);

// ---------------------------------------------------------------- registry

class MemoryRegistry : public RegistryBackend {
 public:
  MemoryRegistry();
  ~MemoryRegistry() override;

  std::unique_ptr<RegKey> OpenKey(Hive root, const std::string& path, uint32_t access) override;
  // Creating a missing key needs KEY_CREATE_SUB_KEY on the last existing one
  // and counts as a write for FailWritesFrom.
  std::unique_ptr<RegKey> CreateKey(Hive root, const std::string& path, uint32_t access) override;

  // Views, as on 64-bit Windows: an open of HKLM with kKeyWow64_32Key
  // reaches Software\WOW6432Node\X for Software\X, except below a key both
  // views share. Seeding and inspection use the literal paths.
  void ShareBetweenViews(const std::string& path);  // "Software\..." below HKLM
  // One view only, as on 32-bit Windows: the view flags change nothing.
  void SetSingleView();
  // Where an HKLM path lands in the 32-bit view.
  std::string View32Path(const std::string& path) const;

  // Seeding. Keys are created as needed; values keep insertion order, as
  // Windows enumerates them. Setting an existing value keeps its position.
  void CreateKey(Hive root, const std::string& path);
  void SetValue(Hive root, const std::string& path, const std::string& name, uint32_t type,
                std::string bytes);
  // REG_SZ (or the given string type) holding the text and a terminating NUL.
  void SetString(Hive root, const std::string& path, const std::string& name,
                 const std::string& text, uint32_t type = kRegSz);
  void SetDword(Hive root, const std::string& path, const std::string& name, uint32_t value);
  // Opens of this key (and below) requesting any bit outside `allowed` fail,
  // as a key whose DACL grants only read does for KEY_ALL_ACCESS.
  void RestrictAccess(Hive root, const std::string& path, uint32_t allowed);
  // Reads of this value report failure (a read error, not a missing value).
  void FailReads(Hive root, const std::string& path, const std::string& name);
  // The n-th write from now (RegKey::SetString or SetBinary, a key created;
  // 1 = the next one) and every later one fail; n <= 0 lets every write
  // succeed again. Seeding never fails.
  void FailWritesFrom(int n);

  // Inspection.
  bool HasKey(Hive root, const std::string& path) const;
  std::optional<RegValueData> Value(Hive root, const std::string& path,
                                    const std::string& name) const;
  std::optional<std::string> StringValue(Hive root, const std::string& path,
                                         const std::string& name) const;  // up to the first NUL
  std::vector<std::string> Names(Hive root, const std::string& path) const;
  int open_key_count() const;  // keys currently open: 0 when every key was closed
  // Access denied (5) for an open refused by RestrictAccess or a value write
  // or deletion through a handle without KEY_SET_VALUE; not found (2) for a
  // missing key or value.
  uint32_t LastError() override;

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

// ------------------------------------------------------------ file system

class MemoryFileSystem : public FileSystem {
 public:
  MemoryFileSystem();
  ~MemoryFileSystem() override;

  std::unique_ptr<FileSearch> FindFirst(const std::string& pattern) override;
  uint32_t GetAttributes(const std::string& path) override;
  std::optional<FileStamp> StampOf(const std::string& path) override;
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool DeleteFile(const std::string& path) override;
  // Not found (2), in use (32, Lock), access denied (5, Deny or read-only),
  // or not empty (145).
  uint32_t LastError() override;
  bool RemoveDirectory(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  std::optional<std::string> SearchPath(const std::string& name) override;
  std::string ReadIniString(const std::string& file, const std::string& section,
                            const std::string& key) override;
  void DeleteIniKey(const std::string& file, const std::string& section,
                    const std::string& key) override;
  bool ReplaceFileContent(const std::string& path, const std::string& bytes) override;
  std::optional<std::string> ReadFileBytes(const std::string& path, std::size_t max_bytes) override;
  // By handle: a folder opened stays the same folder whatever happens to its
  // path, and each entry is acted on by its name relative to it, looked up
  // at that moment (so an entry swapped for a link meanwhile is seen as the
  // link). Entries are reached by the name the search gave, as the system
  // reaches them by their native name, so blocked long names do not matter.
  // With `path_removal` on, the path-based way of FileSystem instead.
  RemovalRoot OpenRemovalRoot(const std::string& path, bool follow_link) override;
  bool path_removal = false;
  // The removal by handle deletes a read-only file without changing its
  // attributes, as Windows 10 1809 and later can; off, it must take the
  // attribute off first, as older systems and Wine.
  bool delete_ignores_read_only = false;
  uint32_t LinkCount(const std::string& path) override;

  // Seeding. Parent folders are created as needed. Drives ("C:") exist as
  // soon as anything is added below them.
  void AddFolder(const std::string& path, uint32_t attributes = kAttrDirectory);
  void AddFile(const std::string& path, const std::string& content = "",
               uint32_t attributes = kAttrArchive, LocalTime last_write = {});
  // The size the search reports, when it should differ from the content's.
  void SetSize(const std::string& path, uint64_t size);
  void SetLastWrite(const std::string& path, LocalTime last_write);
  void SetShortName(const std::string& path, const std::string& short_name);
  // The entry can no longer be reached by its long name (only the search
  // still reports it, and its short name works when it has one).
  void BlockLongName(const std::string& path);
  // A directory symbolic link or junction (attributes 0x410) whose content
  // is that of `target`: paths through the link reach the target's entries.
  void AddLink(const std::string& path, const std::string& target);
  // A second name for the file `existing`: both names show the same
  // attributes, and a change made through one shows through the other.
  void AddHardLink(const std::string& path, const std::string& existing);
  // DeleteFile and RemoveDirectory of this path fail (a file in use:
  // ERROR_SHARING_VIOLATION, 32).
  void Lock(const std::string& path);
  // The entry may be read but not deleted or changed by this user: its
  // deletion fails with access denied (5), and so does opening it to clear
  // what it holds.
  void Deny(const std::string& path);
  // What another user may do to a shared folder: the folder at `path` moves
  // to `moved_to` (whose parent must exist) and a link to `target` takes its
  // place.
  void SwapForLink(const std::string& path, const std::string& moved_to, const std::string& target);
  void SetIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
  void SetCurrentDirectory(const std::string& path);
  // Folders that SearchPath looks in after the current folder, in order.
  void SetSearchFolders(std::vector<std::string> folders);
  // ReplaceFileContent of this path fails: before creating anything
  // (`partial` false) or after part of the new content was written (`partial` true).
  void FailWrite(const std::string& path, bool partial);

  // Inspection.
  bool Exists(const std::string& path) const;
  std::optional<std::string> Content(const std::string& path) const;
  // Long names of the entries directly in a folder, in search order.
  std::vector<std::string> List(const std::string& folder) const;
  std::optional<std::string> IniValue(const std::string& file, const std::string& section,
                                      const std::string& key) const;
  int open_search_count() const;
  // Every entry deleted so far (files, folders, links), as full paths at the
  // time, in order.
  const std::vector<std::string>& removals() const;

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

// ------------------------------------------------------------------ shell

class MemoryShell : public Shell {
 public:
  void OpenItem(const std::string& target) override;
  void ShowPropertiesSheet(const std::string& path) override;
  std::unique_ptr<ShortcutResolver> OpenShortcutResolver() override;

  // A shortcut file's target; a shortcut file without one resolves to "".
  void SetShortcutTarget(const std::string& path, const std::string& target);
  // The shell-link object cannot be created: OpenShortcutResolver throws.
  bool fail_create = false;
  int resolvers_created = 0;

  std::vector<std::string> opened;            // every OpenItem target, in order
  std::vector<std::string> properties_shown;  // every ShowPropertiesSheet path

 private:
  std::map<std::string, std::string> shortcuts_;  // lower-cased path -> target
};

// ------------------------------------------------------------ environment

class MemoryEnvironment : public Environment {
 public:
  std::string WindowsDirectory() override { return windows_dir; }
  std::string TempPath() override { return temp_path; }
  std::string SystemDirectory() override { return windows_dir + "\\system32"; }
  // Replaces %NAME% by variables[NAME] (names without case); unknown names stay.
  std::optional<std::string> ExpandEnvironmentStrings(const std::string& text) override;
  bool IsNtFamily() override { return nt_family; }
  bool Is64BitWindows() override { return windows_64_bit; }
  uint64_t CurrentFileTime() override { return file_time_now; }
  // Shifted by `utc_offset_minutes`; nullopt before 1601 or after 30827.
  std::optional<LocalTime> LocalTimeOf(uint64_t utc_file_time) override;
  // Advances the manual clock; never blocks.
  void Sleep(uint32_t milliseconds) override;
  uint64_t TickCount() override { return now_ms; }
  Elevation TokenElevation() override { return elevation; }
  // Records the arguments and answers `relaunch_answer`.
  uint32_t RelaunchElevated(const std::string& arguments) override {
    relaunches.push_back(arguments);
    return relaunch_answer;
  }
  std::string ErrorText(uint32_t error) override { return ErrorTextOf(error); }

  std::string windows_dir = "C:\\windows";
  std::string temp_path = "C:\\users\\user\\Temp\\";
  std::map<std::string, std::string> variables;  // upper-case names
  bool fail_expand = false;
  bool nt_family = true;
  bool windows_64_bit = true;
  // 2026-03-14 09:26:53 UTC.
  uint64_t file_time_now = 134179540130000000ull;
  int utc_offset_minutes = 0;
  uint64_t now_ms = 0;
  std::vector<uint32_t> sleeps;  // every Sleep, in order
  Elevation elevation = Elevation::kFull;
  uint32_t relaunch_answer = kErrorSuccess;  // kErrorCancelled: the prompt was declined
  std::vector<std::string> relaunches;       // every RelaunchElevated's arguments
};

// ------------------------------------------------------ version resources

struct VersionData {
  std::vector<Translation> translations;  // empty: no translation list
  // Language-and-code-page text such as "040904B0" -> name -> value.
  std::map<std::string, std::map<std::string, std::string>> tables;
};

class MemoryVersionResources : public VersionResources {
 public:
  std::unique_ptr<VersionInfo> Load(const std::string& path) override;
  void Set(const std::string& path, VersionData data);

 private:
  std::map<std::string, VersionData> data_;  // lower-cased path
};

// ----------------------------------------------------------------- locale

class MemoryLocale : public Locale {
 public:
  int CompareNoCase(const std::string& a, const std::string& b) override;
  std::string FormatSize(uint64_t bytes) override;
  std::string FormatTenths(uint64_t tenths) override;  // "1,234.5"
  std::string FormatDateTime(const LocalTime& time) override;
  // A to Z plus the UTF-8 letters \u00E9/\u00C9 and \u00FC/\u00DC.
  std::string UpperCase(const std::string& text) override;
  std::string LowerCase(const std::string& text) override;
  bool IsLeadByte(unsigned char byte) override;
  // The process code page is a double-byte one, with Shift-JIS's lead bytes
  // (0x81-0x9F, 0xE0-0xFC); a second byte may then be a backslash.
  bool double_byte = false;
};

// -------------------------------------------------------------- clipboard

class MemoryClipboard : public Clipboard {
 public:
  void SetText(const std::string& text) override;
  std::optional<std::string> text;  // what the clipboard holds
  bool fail_open = false;
};

// -------------------------------------------------------- service manager

// What a service does when asked to start or stop: the statuses that the
// following QueryStatus calls report, one per call, the last one repeating.
struct ServiceScript {
  std::vector<ServiceStatus> statuses;
};

struct MemoryService {
  std::string name;
  std::string display_name;
  uint32_t type = 16;  // own process
  uint32_t state = kServiceStopped;
  uint32_t start_type = 3;
  std::string binary_path;
  std::string start_name;
  std::vector<std::string> dependencies;   // the services this one needs
  bool delayed_auto_start = false;         // reported while start_type is automatic
  // Empty scripts go straight to the target state.
  ServiceScript on_start;
  ServiceScript on_stop;
  bool refuse_start = false;
  uint32_t start_error = kErrorFileNotFound;  // why a refused start failed: the program is missing
  // Stop refused; `refusal_reports_state` fills the status as Windows does for
  // ERROR_SERVICE_CANNOT_ACCEPT_CTRL and similar refusals.
  bool refuse_stop = false;
  uint32_t stop_error = 1061;  // why a refused stop failed: ERROR_SERVICE_CANNOT_ACCEPT_CTRL
  bool refusal_reports_state = true;
  bool deny_open = false;     // OpenService fails: access denied
  // The rights OpenService grants; asking for any other is refused (access
  // denied), as for a user whom the service's security allows only these.
  uint32_t granted_access = 0xFFFFFFFF;
  bool deny_delete = false;   // DeleteService fails
  bool fail_status = false;   // QueryServiceStatus fails
  bool fail_config = false;   // QueryServiceConfig fails
  bool deny_change_config = false;  // ChangeServiceConfig fails: access denied
  bool fail_dependents = false;     // EnumDependentServices fails
};

// The service control manager of the local computer (an empty machine name
// only). Handles check their access rights as Windows does: enumeration
// needs SC_MANAGER_ENUMERATE_SERVICE, status SERVICE_QUERY_STATUS, config
// SERVICE_QUERY_CONFIG, start SERVICE_START, stop SERVICE_STOP, delete DELETE.
// Names compare without letter case.
// - Opening: the manager is refused with `deny_manager` or for rights beyond
//   `manager_access`, a service with `deny_open` or for rights beyond its
//   `granted_access` (each access denied, 5), and a service that does not
//   exist or is marked for deletion with ERROR_SERVICE_DOES_NOT_EXIST (1060);
//   LastError gives that code.
// - Start: refused (false) with `refuse_start` or unless the service is
//   stopped; accepted, it runs at once or becomes start-pending with its
//   `on_start` script.
// - Stop: a stopped service is refused with its STOPPED status
//   (ERROR_SERVICE_NOT_ACTIVE); `refuse_stop` refuses with the current status
//   when `refusal_reports_state`, else none; a pending service (starting,
//   stopping) is refused with its current status. Accepted, it stops at once
//   or becomes stop-pending with its `on_stop` script, the reply showing the
//   script's first status.
// - While a script runs, each QueryStatus reports its next status and the
//   service's state follows; the last status repeats. A script ending in a
//   settled state is then done.
// - A stop is also refused (ERROR_DEPENDENT_SERVICES_RUNNING, with the
//   current status) while a service that depends on it, directly or not,
//   is active.
// - Dependents: the services whose dependencies name this one, and theirs,
//   each once, the deepest first.
// - ChangeStartType: needs SERVICE_CHANGE_CONFIG; refused with
//   `deny_change_config` (access denied) or a type above 4 (invalid
//   parameter); the delayed flag is set with an automatic start.
// - Delete: refused with `deny_delete` or when already marked; a stopped
//   service disappears at once, an active one is marked (gone from
//   enumeration, OpenService and Find; open handles still work) and
//   disappears when it reaches the stopped state.
class MemoryServiceManager : public ServiceManager {
 public:
  std::unique_ptr<ScHandle> OpenManager(const std::string& machine, uint32_t access) override;
  std::vector<ServiceRecord> Enumerate(ScHandle& manager, uint32_t type, uint32_t state) override;
  std::unique_ptr<ScHandle> OpenService(ScHandle& manager, const std::string& name,
                                        uint32_t access) override;
  uint32_t LastError() override { return last_error_; }
  std::optional<ServiceStatus> QueryStatus(ScHandle& service) override;
  std::optional<ServiceConfig> QueryConfig(ScHandle& service) override;
  bool Start(ScHandle& service) override;
  ControlResult Stop(ScHandle& service) override;
  bool Delete(ScHandle& service) override;
  uint32_t ChangeStartType(ScHandle& service, uint32_t start_type, bool delayed) override;
  std::optional<std::vector<ServiceRecord>> Dependents(ScHandle& service, uint32_t state) override;
  // "Access is denied.", the dependents refusal's and the missing service's
  // texts; "Error N" else.
  std::string ErrorText(uint32_t error) override;

  // Services in the manager's enumeration order.
  void Add(MemoryService service);
  MemoryService* Find(const std::string& name);

  bool deny_manager = false;  // OpenSCManager fails
  uint32_t manager_access = 0xFFFFFFFF;  // the rights OpenSCManager grants
  int open_handles = 0;       // handles not yet closed
  // Every start, stop and delete request that reached a service, accepted or
  // not: "start NAME", "stop NAME", "delete NAME", "config NAME TYPE" (with
  // " delayed" for a delayed automatic start), in order.
  std::vector<std::string> calls;

 private:
  struct Pending {
    std::vector<ServiceStatus> statuses;
    std::size_t next = 0;
  };
  // The services that depend on `key`, directly or not, the deepest first.
  std::vector<const MemoryService*> DependentsOf(const std::string& key) const;

  // Fails an open with `error`, which LastError gives from then on.
  std::unique_ptr<ScHandle> Refuse(uint32_t error);

  std::vector<MemoryService> services_;
  uint32_t last_error_ = 0;
  std::map<std::string, Pending> pending_;  // lower-cased name -> scripted statuses
  // Lower-cased names of services marked for deletion while still active;
  // each is removed once it has stopped.
  std::set<std::string> deleted_;
  friend class MemoryScHandle;
};

// ---------------------------------------------------------- task scheduler

// The scheduler's tasks by path. When `store` is set, every task seeded is
// also written as its XML file under `store_folder` (the task store, as on
// Windows), and a deletion removes that file too.
class MemoryTaskScheduler : public TaskScheduler {
 public:
  std::optional<std::vector<RegisteredTask>> AllTasks(const std::string& skipped_folder) override;
  std::optional<bool> TaskEnabled(const std::string& path) override;
  // Switches the task only when `switches` is on; the call succeeds either way.
  uint32_t SetTaskEnabled(const std::string& path, bool enabled) override;
  uint32_t DeleteTask(const std::string& path) override;

  void AddTask(const std::string& path, const std::string& xml, bool enabled = true);
  bool HasTask(const std::string& path) const;

  // Off: AllTasks gives nullopt, as Wine's scheduler that cannot count.
  bool enumerates = true;
  // Off: SetTaskEnabled takes the call and changes nothing, as Wine's.
  bool switches = true;
  // Set: SetTaskEnabled and DeleteTask fail with this code.
  uint32_t refusal = kErrorSuccess;
  MemoryFileSystem* store = nullptr;
  std::string store_folder = "C:\\windows\\system32\\Tasks";
  int enumerations = 0;  // AllTasks calls

 private:
  struct Task {
    std::string path;
    std::string xml;
    bool enabled = true;
  };
  std::map<std::string, Task> tasks_;  // lower-cased path
};

// ------------------------------------------------------------- signatures

// What each file's checks answer, by path (without letter case); a file
// not set has no signature of either kind.
class MemorySignatureChecks : public SignatureChecks {
 public:
  TrustCheck Embedded(const std::string& path) override;
  TrustCheck Catalog(const std::string& path) override;
  void SetEmbedded(const std::string& path, TrustCheck check);
  void SetCatalog(const std::string& path, TrustCheck check);
  int embedded_checks = 0;  // Embedded calls
  int catalog_checks = 0;   // Catalog calls
  // Called by Embedded with the path, before it answers; a test holds a
  // check there.
  std::function<void(const std::string&)> before_embedded;

 private:
  std::map<std::string, TrustCheck> embedded_;
  std::map<std::string, TrustCheck> catalog_;
};

// -------------------------------------------------------------------- xml

class MemoryXmlParser : public XmlParser {
 public:
  std::optional<XmlElement> Parse(const std::string& bytes) override;
  int parses = 0;
};

// ---------------------------------------------------------------- machine

// One of each, and the Platform that refers to them.
struct MemoryMachine {
  MemoryRegistry registry;
  MemoryFileSystem files;
  MemoryShell shell;
  MemoryEnvironment environment;
  MemoryVersionResources versions;
  MemoryLocale locale;
  MemoryClipboard clipboard;
  MemoryServiceManager services;
  MemoryTaskScheduler tasks;
  MemoryXmlParser xml;
  MemorySignatureChecks signatures;

  MemoryMachine() { tasks.store = &files; }
  MemoryMachine(const MemoryMachine&) = delete;
  MemoryMachine& operator=(const MemoryMachine&) = delete;

  Platform platform() {
    return Platform{registry,  files,    shell, environment, versions, locale,
                    clipboard, services, tasks, xml,         signatures};
  }
};

}  // namespace cu::memory
