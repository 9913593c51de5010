// Removal by handle. Each folder is opened once, without following a link,
// and checked on the handle that was opened; its entries are listed through
// that handle, and every child is opened relative to it by its exact UTF-16
// name (NtCreateFile with a root directory), checked on its own handle and
// deleted through that handle. No path is resolved twice, so swapping an
// entry or a folder above it for a link half-way redirects nothing.
//
// Wine opens the target of a Unix symbolic link even when told not to
// follow it, and the handle then shows no reparse attribute. So each opened
// handle is also checked by its name: an entry opened relative to a folder
// must be named as that folder's name plus the entry's own, while a handle
// that arrived through a link is named as the link's target. That also keeps
// a Unix file link, which Wine lists as a plain file, and what it points to.

#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cu::win32 {
namespace {

// ------------------------------------------------------------ ntdll calls

using NtCreateFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                          PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG,
                                          ULONG, PVOID, ULONG);
using StatusToErrorCall = ULONG(NTAPI*)(NTSTATUS);
using NtQueryInformationFileCall = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                    FILE_INFORMATION_CLASS);

struct NtCalls {
  NtCreateFileCall create_file = nullptr;
  StatusToErrorCall status_to_error = nullptr;
  NtQueryInformationFileCall query_information = nullptr;  // optional
  bool available() const { return create_file != nullptr && status_to_error != nullptr; }
};

const NtCalls& Nt() {
  static const NtCalls calls = [] {
    NtCalls found;
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return found;
    found.create_file = reinterpret_cast<NtCreateFileCall>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtCreateFile")));
    found.status_to_error = reinterpret_cast<StatusToErrorCall>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    found.query_information = reinterpret_cast<NtQueryInformationFileCall>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQueryInformationFile")));
    return found;
  }();
  return calls;
}

constexpr NTSTATUS kStatusBufferOverflow = static_cast<NTSTATUS>(0x80000005);
constexpr NTSTATUS kStatusNoSuchFile = static_cast<NTSTATUS>(0xC000000F);
constexpr NTSTATUS kStatusObjectNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS kStatusObjectPathNotFound = static_cast<NTSTATUS>(0xC000003A);
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056);
constexpr NTSTATUS kStatusFileIsADirectory = static_cast<NTSTATUS>(0xC00000BA);
constexpr NTSTATUS kStatusNotADirectory = static_cast<NTSTATUS>(0xC0000103);

// The entry is no longer there under that name (RtlNtStatusToDosError turns
// a pending deletion into "access denied", which would count it as refused).
bool IsGone(NTSTATUS status) {
  return status == kStatusNoSuchFile || status == kStatusObjectNameNotFound ||
         status == kStatusObjectPathNotFound || status == kStatusDeletePending;
}

// Folders: listed, their attributes read and changed, removed themselves.
constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE | DELETE;
// A folder whose removal the system refuses can still be emptied.
constexpr ACCESS_MASK kFolderListAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens `name` inside the folder `parent` as itself (a link is never
// followed); `kind` is FILE_DIRECTORY_FILE or FILE_NON_DIRECTORY_FILE.
NTSTATUS OpenRelative(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG kind,
                      UniqueFile& opened) {
  UNICODE_STRING object_name;
  object_name.Buffer = const_cast<PWSTR>(name.c_str());
  object_name.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  object_name.MaximumLength = object_name.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &object_name, OBJ_CASE_INSENSITIVE, parent, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE handle = nullptr;
  const NTSTATUS status = Nt().create_file(
      &handle, access, &attributes, &io, nullptr, 0, kShareAll, FILE_OPEN,
      kind | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT,
      nullptr, 0);
  // NtCreateFile gives a null handle on failure, never INVALID_HANDLE_VALUE.
  if (NT_SUCCESS(status)) opened.reset(handle);
  return status;
}

// Opens the folder `name` inside `parent` for its removal, or, where its
// removal is refused, at least for emptying it.
NTSTATUS OpenFolderRelative(HANDLE parent, const std::wstring& name, UniqueFile& opened) {
  const NTSTATUS status = OpenRelative(parent, name, kFolderAccess, FILE_DIRECTORY_FILE, opened);
  if (NT_SUCCESS(status) || IsGone(status) ||
      Nt().status_to_error(status) != ERROR_ACCESS_DENIED) {
    return status;
  }
  return OpenRelative(parent, name, kFolderListAccess, FILE_DIRECTORY_FILE, opened);
}

// ---------------------------------------------------- handle information

std::optional<DWORD> HandleAttributes(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) {
    return std::nullopt;
  }
  return tag.FileAttributes;
}

// Takes the read-only attribute off the entry behind `handle`, keeping its
// other attributes and its times (zero times are left as they are).
bool ClearReadOnlyOn(HANDLE handle, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return true;
  constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                              FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                              FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = attributes & kSettable & ~FILE_ATTRIBUTE_READONLY;
  // Zero would mean "leave the attributes unchanged".
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return ::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

// Whether the entry behind `handle` is already on its way out.
bool DeletePending(HANDLE handle) {
  FILE_STANDARD_INFO standard{};
  return ::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) &&
         standard.DeletePending;
}

// The name of what `handle` opened, from the root of its volume
// ("\Users\me\Temp"); nullopt when the system cannot say.
std::optional<std::wstring> HandleName(HANDLE handle) {
  std::vector<ULONGLONG> buffer(128);
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(ULONGLONG));
    if (::GetFileInformationByHandleEx(handle, FileNameInfo, buffer.data(), bytes)) {
      const auto* info = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
      const std::size_t length = std::min<std::size_t>(
          info->FileNameLength, bytes - offsetof(FILE_NAME_INFO, FileName));
      return std::wstring(info->FileName, length / sizeof(wchar_t));
    }
    if (::GetLastError() != ERROR_MORE_DATA) return std::nullopt;
    const auto* info = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
    buffer.resize((offsetof(FILE_NAME_INFO, FileName) + info->FileNameLength) /
                      sizeof(ULONGLONG) + 2);
  }
  return std::nullopt;
}

// Whether `child_name` is the entry `name` of the folder whose name is
// `parent_name`, letter case aside.
bool IsChildName(const std::wstring& child_name, const std::wstring& parent_name,
                 const std::wstring& name) {
  std::wstring expected = parent_name;
  if (expected.empty() || expected.back() != L'\\') expected += L'\\';
  expected += name;
  return ::CompareStringOrdinal(child_name.c_str(), static_cast<int>(child_name.size()),
                                expected.c_str(), static_cast<int>(expected.size()),
                                TRUE) == CSTR_EQUAL;
}

// Whether `child_handle` names the entry `name` of the folder whose name is
// `parent_name`.
bool NamedAsChild(HANDLE child_handle, const std::wstring& parent_name, const std::wstring& name) {
  const std::optional<std::wstring> child_name = HandleName(child_handle);
  return child_name && IsChildName(*child_name, parent_name, name);
}

// What is checked on a folder opened inside another: its attributes, and
// its name from the root of its volume (nullopt when the system cannot say).
struct FolderFacts {
  DWORD attributes = 0;
  std::optional<std::wstring> name;
};

// FILE_ALL_INFORMATION as the system documents it, up to the name.
constexpr auto kFileAllInformation = static_cast<FILE_INFORMATION_CLASS>(18);
struct AllInformation {
  FILE_BASIC_INFO basic;
  FILE_STANDARD_INFO standard;
  LARGE_INTEGER index_number;
  ULONG ea_size;
  ACCESS_MASK access_flags;
  LARGE_INTEGER current_byte_offset;
  ULONG mode;
  ULONG alignment_requirement;
  ULONG file_name_length;
  WCHAR file_name[1];
};

// The facts in one query where the system gives them together (each query
// is a round trip to Wine's server, as dear as opening the folder), else
// the attributes and the name asked for apart. Nullopt when even the
// attributes cannot be read.
std::optional<FolderFacts> FactsOf(HANDLE handle) {
  if (Nt().query_information != nullptr) {
    std::vector<ULONGLONG> buffer(160);
    for (int attempt = 0; attempt < 4; ++attempt) {
      const ULONG bytes = static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG));
      IO_STATUS_BLOCK io{};
      const NTSTATUS status =
          Nt().query_information(handle, &io, buffer.data(), bytes, kFileAllInformation);
      const auto* all = reinterpret_cast<const AllInformation*>(buffer.data());
      if (NT_SUCCESS(status)) {
        const std::size_t length = std::min<std::size_t>(
            all->file_name_length, bytes - offsetof(AllInformation, file_name));
        return FolderFacts{all->basic.FileAttributes,
                           std::wstring(all->file_name, length / sizeof(wchar_t))};
      }
      const std::size_t needed =
          (offsetof(AllInformation, file_name) + all->file_name_length) / sizeof(ULONGLONG) + 2;
      if (status != kStatusBufferOverflow || needed <= buffer.size()) break;
      buffer.resize(needed);
    }
  }
  const std::optional<DWORD> attributes = HandleAttributes(handle);
  if (!attributes) return std::nullopt;
  return FolderFacts{*attributes, HandleName(handle)};
}

// Errors that say a call or an information class is missing, not that the
// system refused the request.
bool IsUnsupported(DWORD error) {
  return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
         error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED ||
         error == ERROR_INVALID_LEVEL;
}

// The disposition with flags (Windows 10 1607 and later), spelt out here as
// the system documents it: older SDK headers lack it.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
struct DispositionInfoEx {
  DWORD flags;
};
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;  // Windows 10 1809 and later

// Set once a deletion found the POSIX-semantics disposition unsupported;
// every later deletion of the process then goes to the plain one at once.
std::atomic<bool> g_plain_disposition{false};
// Set once a deletion found the flag that passes over the read-only
// attribute unsupported (systems that have the POSIX disposition without it).
std::atomic<bool> g_no_ignore_read_only{false};

// Marks a read-only file behind `handle` for deletion without touching its
// attributes, which it shares with its other names (hard links). nullopt
// where the system cannot; else ERROR_SUCCESS or the system's refusal.
std::optional<DWORD> MarkReadOnlyForDeletion(HANDLE handle) {
  if (g_plain_disposition.load(std::memory_order_relaxed) ||
      g_no_ignore_read_only.load(std::memory_order_relaxed)) {
    return std::nullopt;
  }
  DispositionInfoEx disposition{kDispositionDelete | kDispositionPosixSemantics |
                                kDispositionIgnoreReadOnly};
  if (::SetFileInformationByHandle(handle, kFileDispositionInfoEx, &disposition,
                                   sizeof disposition)) {
    return ERROR_SUCCESS;
  }
  const DWORD error = ::GetLastError();
  if (!IsUnsupported(error)) return error;
  g_no_ignore_read_only.store(true, std::memory_order_relaxed);
  return std::nullopt;
}

// The number of names of the file behind `handle`; 0 when unknown.
DWORD NameCount(HANDLE handle) {
  FILE_STANDARD_INFO standard{};
  if (!::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) {
    return 0;
  }
  return standard.NumberOfLinks;
}

// Marks the entry behind `handle` for deletion: with POSIX semantics its
// name goes when this handle closes, even while others hold it open with
// FILE_SHARE_DELETE; with the plain disposition, when the last one closes.
// ERROR_SUCCESS, or the system's refusal.
DWORD MarkForDeletion(HANDLE handle) {
  if (!g_plain_disposition.load(std::memory_order_relaxed)) {
    DispositionInfoEx disposition{kDispositionDelete | kDispositionPosixSemantics};
    if (::SetFileInformationByHandle(handle, kFileDispositionInfoEx, &disposition,
                                     sizeof disposition)) {
      return ERROR_SUCCESS;
    }
    const DWORD error = ::GetLastError();
    if (!IsUnsupported(error)) return error;
    g_plain_disposition.store(true, std::memory_order_relaxed);
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                   sizeof disposition)) {
    return ERROR_SUCCESS;
  }
  return ::GetLastError();
}

// --------------------------------------------------------------- entries

FindData ToFindData(const FILE_ID_BOTH_DIR_INFO& entry) {
  FindData found;
  found.long_name = ToCodePage(entry.FileName, entry.FileNameLength / sizeof(wchar_t));
  const std::size_t short_length =
      static_cast<unsigned char>(entry.ShortNameLength) / sizeof(wchar_t);
  found.short_name = ToCodePage(entry.ShortName, std::min<std::size_t>(short_length, 12));
  found.attributes = entry.FileAttributes;
  found.size = static_cast<uint64_t>(entry.EndOfFile.QuadPart);
  FILETIME utc{};
  utc.dwLowDateTime = entry.LastWriteTime.LowPart;
  utc.dwHighDateTime = static_cast<DWORD>(entry.LastWriteTime.HighPart);
  found.last_write = SearchTimeOf(utc);
  found.write_time = static_cast<uint64_t>(entry.LastWriteTime.QuadPart);
  return found;
}

// A final path as users write it: "\\?\C:\Temp" as "C:\Temp",
// "\\?\UNC\server\share" as "\\server\share"; a drive's root keeps its
// backslash, other folders lose a trailing one.
std::wstring DosPathOf(const std::wstring& final_path) {
  std::wstring path = final_path;
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    path = L"\\\\" + path.substr(8);
  } else if (path.rfind(L"\\\\?\\", 0) == 0) {
    path = path.substr(4);
  }
  const bool drive_root = path.size() == 3 && path[1] == L':' && path[2] == L'\\';
  if (!drive_root && path.size() > 1 && path.back() == L'\\') path.pop_back();
  return path;
}

// ---------------------------------------------------------------- folder

class HandleRemovalFolder : public RemovalFolder {
 public:
  explicit HandleRemovalFolder(UniqueFile handle) : handle_(std::move(handle)) {}
  // A folder whose name was just read on its handle.
  HandleRemovalFolder(UniqueFile handle, std::wstring name)
      : handle_(std::move(handle)), name_queried_(true), name_(std::move(name)) {}

  // Fetches the first batch of entries. ERROR_SUCCESS also for an empty
  // folder; otherwise the error of the listing call.
  DWORD Start() {
    started_ = true;
    return Fetch(FileIdBothDirectoryRestartInfo);
  }

  std::optional<FindData> Next() override {
    current_name_.clear();
    if (!started_) (void)Start();  // a failed listing ends it: done_
    while (!done_) {
      if (offset_ >= filled_) {
        if (Fetch(FileIdBothDirectoryInfo) != ERROR_SUCCESS) done_ = true;
        continue;
      }
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(
          reinterpret_cast<const char*>(buffer_.data()) + offset_);
      offset_ = entry->NextEntryOffset == 0 ? filled_ : offset_ + entry->NextEntryOffset;
      std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name == L"." || name == L"..") continue;
      current_name_ = std::move(name);
      current_attributes_ = entry->FileAttributes;
      return ToFindData(*entry);
    }
    buffer_ = {};  // the folder may hold many; the listing is no longer needed
    return std::nullopt;
  }

  std::unique_ptr<RemovalFolder> OpenCurrentFolder() override {
    if (current_name_.empty() || !handle_) return nullptr;
    UniqueFile child;
    if (!NT_SUCCESS(OpenFolderRelative(handle_.get(), current_name_, child))) return nullptr;
    std::optional<FolderFacts> facts = FactsOf(child.get());
    if (!facts || (facts->attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (facts->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !IsCurrentEntry(facts->name)) {
      return nullptr;
    }
    // The name it was checked by is its own, for the check of its children.
    if (!facts->name) return std::make_unique<HandleRemovalFolder>(std::move(child));
    return std::make_unique<HandleRemovalFolder>(std::move(child), std::move(*facts->name));
  }

  // A file is opened for deletion only, with no question asked of its
  // handle: each query costs a round trip as dear as the deletion itself.
  // The open is safe without one: it never follows a link on Windows
  // (FILE_OPEN_REPARSE_POINT), a directory link does not open as a file,
  // and entries the listing marks as links never get here; a file swapped
  // for a file link after the listing loses that link alone. (Wine lists a
  // Unix file link as a plain file and opens its target, as its own
  // DeleteFile does; folders, where Wine follows links as well, are
  // checked by name.)
  //
  // Where the system has no POSIX-semantics disposition, the plain one and
  // delete-on-close do the same (the name goes when the last handle
  // closes), so a file that keeps no read-only attribute to take off is
  // opened with FILE_DELETE_ON_CLOSE and goes as the handle closes: one
  // round trip fewer.
  Outcome RemoveCurrentFile(bool read_only) override {
    if (current_name_.empty() || !handle_) return Outcome::kSkipped;
    UniqueFile file;
    if (!read_only && g_plain_disposition.load(std::memory_order_relaxed)) {
      const NTSTATUS status =
          OpenRelative(handle_.get(), current_name_, DELETE | SYNCHRONIZE,
                       FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE, file);
      if (NT_SUCCESS(status)) return Outcome::kRemoved;  // as `file` closes
      return IsGone(status) || status == kStatusFileIsADirectory ? Outcome::kSkipped
                                                                 : Outcome::kKept;
    }
    const ACCESS_MASK access =
        DELETE | SYNCHRONIZE | (read_only ? FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES : 0);
    const NTSTATUS status =
        OpenRelative(handle_.get(), current_name_, access, FILE_NON_DIRECTORY_FILE, file);
    if (!NT_SUCCESS(status)) {
      return IsGone(status) || status == kStatusFileIsADirectory ? Outcome::kSkipped
                                                                 : Outcome::kKept;
    }
    if (read_only) {
      if (const std::optional<DWORD> marked = MarkReadOnlyForDeletion(file.get())) {
        return *marked == ERROR_SUCCESS ? Outcome::kRemoved : Outcome::kKept;
      }
      // The attribute must come off first. It belongs to the file, not to
      // this name: a file with other names elsewhere stays as it is.
      if (NameCount(file.get()) != 1) return Outcome::kKept;
      // The attributes as the listing gave them; a failure shows in the deletion below.
      (void)ClearReadOnlyOn(file.get(), current_attributes_);
    }
    if (MarkForDeletion(file.get()) == ERROR_SUCCESS) return Outcome::kRemoved;
    return Outcome::kKept;
  }

  std::optional<std::string> FinalPath() override {
    if (!handle_) return std::nullopt;
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
      const DWORD length = ::GetFinalPathNameByHandleW(handle_.get(), path.data(),
                                                       static_cast<DWORD>(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
      if (length == 0) return std::nullopt;
      if (length < path.size()) {
        path.resize(length);
        const std::wstring dos = DosPathOf(path);
        return ToCodePage(dos.c_str(), dos.size());
      }
      path.resize(length + 1);
    }
    return std::nullopt;
  }

  bool ClearReadOnly() override {
    if (!handle_) return false;
    const std::optional<DWORD> attributes = HandleAttributes(handle_.get());
    return attributes && ClearReadOnlyOn(handle_.get(), *attributes);
  }

  Outcome RemoveSelf() override {
    buffer_ = {};
    done_ = true;
    current_name_.clear();
    if (!handle_) return Outcome::kSkipped;
    if (MarkForDeletion(handle_.get()) == ERROR_SUCCESS) {
      // The plain disposition removes the folder when this, its last
      // handle, closes: before the folder above tries its own removal.
      handle_.reset();
      return Outcome::kRemoved;
    }
    return DeletePending(handle_.get()) ? Outcome::kSkipped : Outcome::kKept;
  }

 private:
  // Whether `handle` is the current entry itself, not what a link there
  // points to (see the top of this file). Where the system cannot name this
  // folder, the reparse attribute on the handle is the only check.
  bool IsCurrentEntry(const std::optional<std::wstring>& child_name) {
    if (!name_queried_) {
      name_queried_ = true;
      name_ = HandleName(handle_.get());
    }
    if (!name_) return true;
    if (!child_name) return false;
    if (IsChildName(*child_name, *name_, current_name_)) return true;
    // This folder may have been moved since its name was taken.
    name_ = HandleName(handle_.get());
    return !name_ || IsChildName(*child_name, *name_, current_name_);
  }

  // Reads the next batch of entries into the buffer; ERROR_SUCCESS with an
  // empty batch ends the listing.
  DWORD Fetch(FILE_INFO_BY_HANDLE_CLASS info_class) {
    constexpr std::size_t kBufferBytes = 64 * 1024;
    if (buffer_.empty()) buffer_.resize(kBufferBytes / sizeof(ULONGLONG));
    offset_ = 0;
    filled_ = 0;
    if (!::GetFileInformationByHandleEx(handle_.get(), info_class, buffer_.data(),
                                        static_cast<DWORD>(buffer_.size() * sizeof(ULONGLONG)))) {
      const DWORD error = ::GetLastError();
      done_ = true;
      return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : error;
    }
    filled_ = buffer_.size() * sizeof(ULONGLONG);
    return ERROR_SUCCESS;
  }

  UniqueFile handle_;
  // The listing: entries are 8-byte aligned, each naming the next one's
  // offset; the last of a batch names none. filled_ marks the batch's end.
  std::vector<ULONGLONG> buffer_;
  std::size_t offset_ = 0;
  std::size_t filled_ = 0;
  bool started_ = false;
  bool done_ = false;
  // The exact name of the entry the last Next() gave; empty when none.
  std::wstring current_name_;
  DWORD current_attributes_ = 0;
  // This folder's own name, asked for once.
  bool name_queried_ = false;
  std::optional<std::wstring> name_;
};

// --------------------------------------------------------------- the root

// The path as CreateFileW takes it: without trailing backslashes (a drive's
// root keeps its own), and in the long form ("\\?\") where it would exceed
// the classic limit.
std::wstring RootPath(const std::string& path) {
  std::wstring wide = ToWide(path);
  while (wide.size() > 1 && wide.back() == L'\\' && wide[wide.size() - 2] != L':') {
    wide.pop_back();
  }
  if (wide.size() < MAX_PATH - 12 || wide.rfind(L"\\\\?\\", 0) == 0 ||
      wide.rfind(L"\\\\.\\", 0) == 0) {
    return wide;
  }
  const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return wide;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return wide;
  full.resize(length);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// Splits a path into the folder above its last name and that name
// ("C:\a\b": "C:\a" and "b"; "C:\a": "C:\" and "a"). False when there is
// no such name to split off.
bool SplitLastName(const std::wstring& path, std::wstring& parent, std::wstring& name) {
  const std::size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash + 1 >= path.size()) return false;
  name = path.substr(slash + 1);
  if (name == L"." || name == L"..") return false;
  parent = path.substr(0, slash);
  if (parent.empty() || parent.back() == L':') parent += L'\\';
  return true;
}

RemovalRoot::Status MissingOrFailed(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
             ? RemovalRoot::Status::kMissing
             : RemovalRoot::Status::kFailed;
}

// Opens the folder at `path` itself, never what a link there points to.
// The folders above it are the caller's path and may be links; the last
// name is opened relative to the folder above and checked by its name, as
// every entry inside is (under Wine the reparse attribute alone shows
// nothing on a handle). Where the folder above cannot be opened, the path
// is opened directly, with the reparse checks on the path and the handle.
RemovalRoot::Status OpenRootItself(const std::wstring& path, UniqueFile& opened) {
  const DWORD path_attributes = ::GetFileAttributesW(path.c_str());
  if (path_attributes == INVALID_FILE_ATTRIBUTES) return MissingOrFailed(::GetLastError());
  if ((path_attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return RemovalRoot::Status::kLink;
  if ((path_attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return RemovalRoot::Status::kFailed;

  std::wstring parent_path;
  std::wstring name;
  UniqueFile parent;
  if (SplitLastName(path, parent_path, name)) {
    parent.reset(::CreateFileW(parent_path.c_str(), FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                               kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                               nullptr));
  }
  if (parent) {
    const NTSTATUS status = OpenFolderRelative(parent.get(), name, opened);
    if (IsGone(status)) return RemovalRoot::Status::kMissing;
    if (!NT_SUCCESS(status)) return RemovalRoot::Status::kFailed;
    const std::optional<std::wstring> parent_name = HandleName(parent.get());
    if (parent_name && !NamedAsChild(opened.get(), *parent_name, name)) {
      opened.reset();
      return RemovalRoot::Status::kLink;
    }
  } else {
    opened.reset(::CreateFileW(path.c_str(), kFolderAccess, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!opened) return MissingOrFailed(::GetLastError());
  }
  const std::optional<DWORD> attributes = HandleAttributes(opened.get());
  if (attributes && (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    opened.reset();
    return RemovalRoot::Status::kLink;
  }
  if (!attributes || (*attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    opened.reset();
    return RemovalRoot::Status::kFailed;
  }
  return RemovalRoot::Status::kOpen;
}

// Opens the folder at `path`, following a link there to its folder; `error`
// tells why it did not open.
RemovalRoot::Status OpenRootFollowingLink(const std::wstring& path, UniqueFile& opened,
                                          DWORD& error) {
  opened.reset(::CreateFileW(path.c_str(), kFolderAccess, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!opened && ::GetLastError() == ERROR_ACCESS_DENIED) {
    // A folder only to be emptied: its own removal is never asked for.
    opened.reset(::CreateFileW(path.c_str(), kFolderAccess & ~DELETE, kShareAll, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  }
  if (!opened) {
    error = ::GetLastError();
    return MissingOrFailed(error);
  }
  const std::optional<DWORD> attributes = HandleAttributes(opened.get());
  if (!attributes || (*attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    error = attributes ? ERROR_DIRECTORY : ::GetLastError();
    opened.reset();
    return RemovalRoot::Status::kFailed;
  }
  return RemovalRoot::Status::kOpen;
}

}  // namespace

RemovalRoot Win32FileSystem::OpenRemovalRoot(const std::string& path, bool follow_link) {
  if (!handle_removal || !Nt().available()) return FileSystem::OpenRemovalRoot(path, follow_link);
  const std::wstring wide = RootPath(path);
  UniqueFile handle;
  RemovalRoot root;
  DWORD error = ERROR_SUCCESS;
  root.status =
      follow_link ? OpenRootFollowingLink(wide, handle, error) : OpenRootItself(wide, handle);
  root.error = error;
  if (root.status != RemovalRoot::Status::kOpen) return root;
  auto folder = std::make_unique<HandleRemovalFolder>(std::move(handle));
  const DWORD listing = folder->Start();
  if (listing != ERROR_SUCCESS && IsUnsupported(listing)) {
    folder.reset();  // its handle would keep the folder from being removed
    return FileSystem::OpenRemovalRoot(path, follow_link);
  }
  root.folder = std::move(folder);
  return root;
}

}  // namespace cu::win32
