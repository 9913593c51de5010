#pragma once

// The file system: searches, attributes, deletion, folders held open for removal, ini files. Part of the seam (see platform.h).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/errors.h"
#include "platform/locale.h"

namespace cu {

inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrNormal = 0x80;
inline constexpr uint32_t kAttrReparsePoint = 0x400;


struct FindData {
  std::string long_name;
  std::string short_name;  // empty when the system keeps none
  uint32_t attributes = 0;
  uint64_t size = 0;        // full 64-bit size
  LocalTime last_write;     // converted to local time, seconds rounded down to even
  uint64_t write_time = 0;  // the last write as the system keeps it (UTC FILETIME), unrounded
};

// What GetFileAttributesEx tells of an entry, in one call.
struct FileStamp {
  uint32_t attributes = 0;
  uint64_t size = 0;
  uint64_t write_time = 0;  // UTC FILETIME, as FindData::write_time
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
  // The entry's attributes, size and last write without a search (no
  // wildcards); nullopt when the path does not exist.
  [[nodiscard]] virtual std::optional<FileStamp> StampOf(const std::string& path) = 0;
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
  // The whole content of a file, read with shared access; nullopt when it
  // cannot be opened or read, or holds more than `max_bytes`.
  [[nodiscard]] virtual std::optional<std::string> ReadFileBytes(const std::string& path,
                                                                 std::size_t max_bytes) = 0;
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

}  // namespace cu
