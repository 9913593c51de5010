#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

#include <atomic>
#include <cstdio>

namespace cu::win32 {

// Last-write time in local time, at the two-second resolution of a DOS
// date-time; the year is kept whole, so dates outside 1980-2107 stay real.
// The conversion uses the current time-zone bias, as the DOS time did.
LocalTime SearchTimeOf(const FILETIME& utc) {
  LocalTime result;
  FILETIME local{};
  SYSTEMTIME st{};
  if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &st)) {
    return result;  // a time the system cannot express: the DOS epoch
  }
  result.year = st.wYear;
  result.month = st.wMonth;
  result.day = st.wDay;
  result.hour = st.wHour;
  result.minute = st.wMinute;
  result.second = st.wSecond & ~1;
  return result;
}

namespace {

FindData ToFindData(const WIN32_FIND_DATAA& data) {
  FindData found;
  found.long_name.assign(data.cFileName, ::strnlen(data.cFileName, sizeof data.cFileName));
  found.short_name.assign(data.cAlternateFileName,
                          ::strnlen(data.cAlternateFileName, sizeof data.cAlternateFileName));
  found.attributes = data.dwFileAttributes;
  found.size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  found.last_write = SearchTimeOf(data.ftLastWriteTime);
  found.write_time = (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                     data.ftLastWriteTime.dwLowDateTime;
  return found;
}

class Win32FileSearch : public FileSearch {
 public:
  Win32FileSearch(UniqueFind handle, const WIN32_FIND_DATAA& first)
      : handle_(std::move(handle)), pending_(ToFindData(first)) {}

  std::optional<FindData> Next() override {
    if (pending_) return std::exchange(pending_, std::nullopt);
    if (!handle_) return std::nullopt;
    WIN32_FIND_DATAA data{};
    if (!::FindNextFileA(handle_.get(), &data)) {
      handle_.reset();  // done: give the handle back at once
      return std::nullopt;
    }
    return ToFindData(data);
  }

 private:
  UniqueFind handle_;
  std::optional<FindData> pending_;
};

// Writes all bytes, in pieces a single WriteFile call accepts.
bool WriteAll(HANDLE file, const std::string& bytes) {
  constexpr std::size_t kPiece = 1u << 24;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD piece = static_cast<DWORD>(std::min(kPiece, bytes.size() - done));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, piece, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

}  // namespace

std::unique_ptr<FileSearch> Win32FileSystem::FindFirst(const std::string& pattern) {
  WIN32_FIND_DATAA data{};
  UniqueFind handle(::FindFirstFileA(pattern.c_str(), &data));
  if (!handle) return nullptr;
  return std::make_unique<Win32FileSearch>(std::move(handle), data);
}

uint32_t Win32FileSystem::GetAttributes(const std::string& path) {
  return ::GetFileAttributesA(path.c_str());
}

bool Win32FileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  return ::SetFileAttributesA(path.c_str(), attributes) != FALSE;
}

uint32_t Win32FileSystem::LinkCount(const std::string& path) {
  const UniqueFile file(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !::GetFileInformationByHandle(file.get(), &info)) return 0;
  return info.nNumberOfLinks;
}

namespace {
// The error of the last refused deletion on this thread (FileSystem::LastError).
thread_local DWORD last_deletion_error = ERROR_SUCCESS;

bool Kept(BOOL done) {
  if (!done) last_deletion_error = ::GetLastError();
  return done != FALSE;
}
}  // namespace

bool Win32FileSystem::DeleteFile(const std::string& path) {
  return Kept(::DeleteFileA(path.c_str()));
}

uint32_t Win32FileSystem::LastError() { return last_deletion_error; }

bool Win32FileSystem::RemoveDirectory(const std::string& path) {
  return Kept(RemoveDirectoryOrLink(path) ? TRUE : FALSE);
}

bool Win32FileSystem::RemoveDirectoryOrLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return ::RemoveDirectoryA(path.c_str()) != FALSE;
  }
  // A junction or directory symbolic link: remove the link itself and never
  // what it points to. RemoveDirectoryA does that on Windows, but Wine
  // follows the link and would delete an empty target folder. So the link is
  // opened without being followed and deleted through that handle, and only
  // when the handle really is the link (it then reports the reparse
  // attribute); otherwise nothing is removed.
  UniqueFile link(::CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!link) return false;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!::GetFileInformationByHandleEx(link.get(), FileAttributeTagInfo, &tag, sizeof tag)) {
    return false;
  }
  if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return false;
  }
  FILE_DISPOSITION_INFO disposition{TRUE};  // its one member: delete on close
  return ::SetFileInformationByHandle(link.get(), FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

std::optional<FileStamp> Win32FileSystem::StampOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return FileStamp{data.dwFileAttributes,
                   (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
                   (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                       data.ftLastWriteTime.dwLowDateTime};
}

bool Win32FileSystem::FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::string> Win32FileSystem::SearchPath(const std::string& name) {
  return FetchText(MAX_PATH, CountStyle::kLengthOrNeeded, [&](char* buffer, DWORD size) {
    return ::SearchPathA(nullptr, name.c_str(), nullptr, size, buffer, nullptr);
  });
}

std::optional<std::string> Win32FileSystem::ReadFileBytes(const std::string& path,
                                                          std::size_t max_bytes) {
  const UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size)) return std::nullopt;
  if (static_cast<uint64_t>(size.QuadPart) > max_bytes) return std::nullopt;
  // Read to the end rather than to the size taken: a file that grew since
  // is still refused once it passes the limit. The first read asks for one
  // byte more than the size, so a file that did not grow ends there, and the
  // text holds no more room than it needs.
  constexpr std::size_t kPiece = 1u << 16;
  std::string bytes;
  std::size_t ask = static_cast<std::size_t>(size.QuadPart) + 1;
  for (;;) {
    const std::size_t done = bytes.size();
    bytes.resize(done + ask);
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(ask), &read, nullptr)) {
      return std::nullopt;
    }
    bytes.resize(done + read);
    if (bytes.size() > max_bytes) return std::nullopt;
    if (read < ask) {
      bytes.shrink_to_fit();
      return bytes;
    }
    ask = kPiece;
  }
}

std::string Win32FileSystem::ReadIniString(const std::string& file, const std::string& section,
                                           const std::string& key) {
  char buffer[2048] = {};
  // The result is NUL-terminated in the zeroed buffer, also when cut short.
  (void)::GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof buffer,
                                   file.c_str());
  return std::string(buffer, ::strnlen(buffer, sizeof buffer));
}

void Win32FileSystem::DeleteIniKey(const std::string& file, const std::string& section,
                                   const std::string& key) {
  // Callers see the outcome in the next reading of the file.
  (void)::WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, file.c_str());
}

namespace {

// A name of the form "~cXXXX.tmp" (or .bak) beside the target that no entry
// holds now; empty when the folder cannot take a file. Ten characters, so that a target that fits within MAX_PATH has
// room for it in its own folder, whatever the length of its own name.
std::string SpareNameBeside(const std::string& path, const char* extension) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  for (int attempt = 0; attempt < 0x10000; ++attempt) {
    const unsigned number = (::GetCurrentProcessId() * 40503u + counter++) & 0xFFFFu;
    char name[16];
    std::snprintf(name, sizeof name, "~c%04X.%s", number, extension);
    const std::string spare = folder + name;
    if (::GetFileAttributesA(spare.c_str()) != INVALID_FILE_ATTRIBUTES) continue;  // taken
    // Any other answer (a missing folder, access denied) means no file can be
    // made there.
    return ::GetLastError() == ERROR_FILE_NOT_FOUND ? spare : std::string();
  }
  return {};
}

}  // namespace

bool Win32FileSystem::ReplaceFileContent(const std::string& path, const std::string& bytes) {
  // A read-only file is not overwritten (Windows refuses to replace it;
  // Wine would not).
  const DWORD old_attributes = ::GetFileAttributesA(path.c_str());
  const bool existed = old_attributes != INVALID_FILE_ATTRIBUTES;
  if (existed && (old_attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    return false;
  }
  // The content goes to a new file in the target's folder (so the final step
  // is a rename on the same volume), and only a complete, flushed file takes
  // the target's place.
  std::string temp;
  UniqueFile file;
  for (int attempt = 0; attempt < 100 && !file; ++attempt) {
    temp = SpareNameBeside(path, "tmp");
    if (temp.empty()) return false;
    file.reset(::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && ::GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (!file) return false;
  ScopeExit remove_temp([&] {
    file.reset();
    ::DeleteFileA(temp.c_str());
  });
  if (!WriteAll(file.get(), bytes) || !::FlushFileBuffers(file.get())) return false;
  file.reset();
  if (!existed) {
    if (!::MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) return false;
    remove_temp.dismiss();
    return true;
  }
  // ReplaceFile keeps the old file's attributes, security and creation time.
  // With a backup name, every failure leaves the old file whole: under its
  // own name, or under the backup name when the new file could not be moved
  // in, from where it goes back.
  const std::string backup = SpareNameBeside(path, "bak");
  if (backup.empty()) return false;
  if (!::ReplaceFileA(path.c_str(), temp.c_str(), backup.c_str(),
                      REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    if (::GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 &&
        ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      (void)::MoveFileExA(backup.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
    }
    return false;
  }
  remove_temp.dismiss();
  (void)::DeleteFileA(backup.c_str());
  // Where the system's replacement does not carry the marks over (Wine), the
  // hidden and system marks are put back.
  const DWORD marks = old_attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  const DWORD now = ::GetFileAttributesA(path.c_str());
  if (marks != 0 && now != INVALID_FILE_ATTRIBUTES && (now & marks) != marks) {
    (void)::SetFileAttributesA(path.c_str(), (now & ~FILE_ATTRIBUTE_NORMAL) | marks);
  }
  return true;
}

}  // namespace cu::win32
