#include <stdexcept>
#include <utility>

#include "platform/memory/memory_machine.h"
#include "platform/text.h"

namespace cu::memory {

namespace {

// Links inside link targets are followed at most this deep, so a link that
// reaches itself ends the walk instead of looping.
constexpr int kMaxLinkDepth = 32;
constexpr std::size_t kIniBufferChars = 2047;  // a 2048-byte buffer less its NUL

struct Entry {
  std::string long_name;
  std::string short_name;
  uint32_t attributes = 0;
  std::string content;
  std::optional<uint64_t> size;  // reported instead of the content's size
  LocalTime last_write;
  // Stands for the system's exact last-write time: a new value at every
  // write, so that two versions of a file never share it.
  uint64_t write_time = 0;
  bool long_blocked = false;
  bool locked = false;
  bool denied = false;  // this user may not delete or change it
  std::optional<std::string> link_target;  // full path of the folder a link shows
  // Every name of a file with hard links, this one included; null for a
  // file with one name. The names share their attributes, as they are one file.
  std::shared_ptr<std::vector<std::weak_ptr<Entry>>> hard_links;

  // A folder's entries: the sequence number keeps insertion order and stays
  // valid for an open search while other entries come and go.
  std::map<uint64_t, std::shared_ptr<Entry>> ordered;
  std::map<std::string, uint64_t> by_long;   // lower-cased long name -> sequence
  std::map<std::string, uint64_t> by_short;  // lower-cased short name -> sequence

  bool IsFolder() const { return (attributes & kAttrDirectory) != 0; }
  bool IsLink() const { return link_target.has_value(); }
};

using EntryPtr = std::shared_ptr<Entry>;

// The number of names the file has in the tree.
uint32_t NameCount(const Entry& entry) {
  if (!entry.hard_links) return 1;
  uint32_t count = 0;
  for (const std::weak_ptr<Entry>& name : *entry.hard_links) count += name.expired() ? 0 : 1;
  return count;
}

// Sets a file's attributes under every name it has.
void SetFileAttributesOf(Entry& entry, uint32_t attributes) {
  entry.attributes = attributes;
  if (!entry.hard_links) return;
  for (const std::weak_ptr<Entry>& name : *entry.hard_links) {
    if (EntryPtr other = name.lock()) other->attributes = attributes;
  }
}

struct ParsedPath {
  std::string drive;               // "C:" as written
  std::vector<std::string> parts;  // components below the drive
  bool trailing_backslash = false;
};

std::string Format(const ParsedPath& path) {
  std::string out = path.drive + "\\";
  for (std::size_t i = 0; i < path.parts.size(); ++i) {
    if (i > 0) out += '\\';
    out += path.parts[i];
  }
  return out;
}

bool HasDrive(const std::string& path) {
  const unsigned char c = path.size() >= 2 ? static_cast<unsigned char>(path[0]) : 0;
  return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && path[1] == ':';
}

bool IsAbsolute(const std::string& path) {
  return HasDrive(path) || (!path.empty() && path[0] == '\\');
}

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

// '*' matches any run of characters, '?' exactly one; letters without case.
bool GlobMatch(const std::string& pattern, const std::string& name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string::npos;
  std::size_t resume = 0;
  const std::string pat = AsciiLower(pattern);
  const std::string text = AsciiLower(name);
  while (n < text.size()) {
    if (p < pat.size() && (pat[p] == '?' || pat[p] == text[n])) {
      ++p;
      ++n;
    } else if (p < pat.size() && pat[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == '*') ++p;
  return p == pat.size();
}

bool NameMatches(const std::string& pattern, const Entry& entry) {
  // "*.*" is the old spelling of "every name", also for names without a dot.
  if (pattern == "*" || pattern == "*.*") return true;
  return GlobMatch(pattern, entry.long_name) ||
         (!entry.short_name.empty() && GlobMatch(pattern, entry.short_name));
}

FindData MakeFindData(const Entry& entry) {
  FindData data;
  data.long_name = entry.long_name;
  data.short_name = entry.short_name;
  data.attributes = entry.attributes;
  data.size = entry.IsFolder() ? 0 : entry.size.value_or(entry.content.size());
  data.last_write = entry.last_write;
  data.write_time = entry.write_time;
  // The search reports DOS date-times, which keep seconds in steps of two.
  data.last_write.second -= data.last_write.second % 2;
  return data;
}

FindData DotEntry(const std::string& name, const Entry& folder) {
  FindData data;
  data.long_name = name;
  data.attributes = kAttrDirectory;
  data.last_write = folder.last_write;
  data.last_write.second -= data.last_write.second % 2;
  return data;
}

}  // namespace

struct MemoryFileSystem::Impl {
  std::map<std::string, EntryPtr> drives;  // lower-cased "c:" -> drive root
  uint64_t next_sequence = 1;
  int open_searches = 0;
  std::string current_directory = "C:\\";
  std::vector<std::string> search_folders;
  std::map<std::string, bool> failing_writes;  // lower-cased full path -> partial
  std::vector<std::string> removals;
  bool delete_ignores_read_only = false;
  uint32_t last_error = 0;  // see MemoryFileSystem::LastError
  uint64_t write_clock = 0;  // the last Entry::write_time given

  // Keeps `error` as the last one and gives false, for a refused deletion.
  bool Refuse(uint32_t error) {
    last_error = error;
    return false;
  }
  // lower-cased full path -> lower-cased section -> lower-cased key -> value
  std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> ini;

  Impl() { Drive("C:"); }

  EntryPtr Drive(const std::string& drive) {
    EntryPtr& root = drives[AsciiLower(drive)];
    if (!root) {
      root = std::make_shared<Entry>();
      root->long_name = drive;
      root->attributes = kAttrDirectory;
    }
    return root;
  }

  EntryPtr FindDrive(const std::string& drive) const {
    auto it = drives.find(AsciiLower(drive));
    return it == drives.end() ? nullptr : it->second;
  }

  // Absolute form of a path: relative paths start at the current folder
  // ("D:Temp" and "D:" at the current folder when it is on drive D, else at
  // D's root), "." and ".." are applied, empty components dropped, and as
  // Windows does, trailing dots and spaces are cut off each name unless the
  // path is a verbatim one ("\\?\C:\...").
  std::optional<ParsedPath> Parse(const std::string& given) const {
    const bool verbatim = given.rfind("\\\\?\\", 0) == 0;
    const std::string path = verbatim ? given.substr(4) : given;
    if (path.empty()) return std::nullopt;
    std::string full;
    if (HasDrive(path) && (path.size() == 2 || path[2] != '\\')) {
      const bool on_current_drive = AsciiLower(path.substr(0, 2)) ==
                                    AsciiLower(current_directory.substr(0, 2));
      full = (on_current_drive ? WithBackslash(current_directory) : path.substr(0, 2) + "\\") +
             path.substr(2);
    } else if (HasDrive(path)) {
      full = path;
    } else if (path[0] == '\\') {
      full = current_directory.substr(0, 2) + path;
    } else {
      full = WithBackslash(current_directory) + path;
    }
    ParsedPath parsed;
    parsed.drive = full.substr(0, 2);
    parsed.trailing_backslash = full.size() > 2 && full.back() == '\\';
    std::string part;
    auto flush = [&] {
      if (!verbatim && part != "." && part != "..") {
        while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
      }
      if (part == "..") {
        if (!parsed.parts.empty()) parsed.parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parsed.parts.push_back(part);
      }
      part.clear();
    };
    for (std::size_t i = 2; i < full.size(); ++i) {
      if (full[i] == '\\') {
        flush();
      } else {
        part += full[i];
      }
    }
    flush();
    return parsed;
  }

  static std::optional<uint64_t> ChildSequence(const Entry& folder, const std::string& name,
                                               bool ignore_blocks) {
    const std::string lower = AsciiLower(name);
    auto it = folder.by_long.find(lower);
    if (it != folder.by_long.end()) {
      const Entry& entry = *folder.ordered.at(it->second);
      if (ignore_blocks || !entry.long_blocked) return it->second;
    }
    auto s = folder.by_short.find(lower);
    if (s != folder.by_short.end()) return s->second;
    return std::nullopt;
  }

  // The folder whose entries `entry` shows: itself, or a link's target.
  EntryPtr Contents(const EntryPtr& entry, bool ignore_blocks, int depth) const {
    if (!entry) return nullptr;
    if (entry->IsLink()) {
      if (depth >= kMaxLinkDepth) return nullptr;
      std::optional<ParsedPath> target = Parse(*entry->link_target);
      if (!target) return nullptr;
      return Contents(Walk(*target, target->parts.size(), ignore_blocks, depth + 1), ignore_blocks,
                      depth + 1);
    }
    return entry->IsFolder() ? entry : nullptr;
  }

  // The entry named by the first `count` components; links on the way are
  // followed, the last entry is returned as it is (a link stays a link).
  EntryPtr Walk(const ParsedPath& path, std::size_t count, bool ignore_blocks,
                int depth = 0) const {
    EntryPtr entry = FindDrive(path.drive);
    for (std::size_t i = 0; i < count && entry; ++i) {
      EntryPtr folder = Contents(entry, ignore_blocks, depth);
      if (!folder) return nullptr;
      std::optional<uint64_t> seq = ChildSequence(*folder, path.parts[i], ignore_blocks);
      entry = seq ? folder->ordered.at(*seq) : nullptr;
    }
    return entry;
  }

  struct Location {
    EntryPtr folder;  // null for a drive root
    uint64_t sequence = 0;
    EntryPtr entry;
  };

  std::optional<Location> Locate(const std::string& path, bool ignore_blocks) const {
    std::optional<ParsedPath> parsed = Parse(path);
    if (!parsed) return std::nullopt;
    Location location;
    if (parsed->parts.empty()) {
      location.entry = FindDrive(parsed->drive);
      if (!location.entry) return std::nullopt;
      return location;
    }
    location.folder =
        Contents(Walk(*parsed, parsed->parts.size() - 1, ignore_blocks), ignore_blocks, 0);
    if (!location.folder) return std::nullopt;
    std::optional<uint64_t> seq =
        ChildSequence(*location.folder, parsed->parts.back(), ignore_blocks);
    if (!seq) return std::nullopt;
    location.sequence = *seq;
    location.entry = location.folder->ordered.at(*seq);
    // As Windows, "name\" names a folder only.
    if (parsed->trailing_backslash && !location.entry->IsFolder()) return std::nullopt;
    return location;
  }

  EntryPtr Find(const std::string& path, bool ignore_blocks) const {
    std::optional<Location> location = Locate(path, ignore_blocks);
    return location ? location->entry : nullptr;
  }

  void Insert(Entry& folder, EntryPtr entry) {
    const uint64_t seq = next_sequence++;
    folder.by_long[AsciiLower(entry->long_name)] = seq;
    if (!entry->short_name.empty()) folder.by_short[AsciiLower(entry->short_name)] = seq;
    folder.ordered[seq] = std::move(entry);
  }

  static void Remove(Entry& folder, uint64_t seq) {
    auto it = folder.ordered.find(seq);
    if (it == folder.ordered.end()) return;
    folder.by_long.erase(AsciiLower(it->second->long_name));
    if (!it->second->short_name.empty()) folder.by_short.erase(AsciiLower(it->second->short_name));
    folder.ordered.erase(it);
  }

  // Seeding: the folder for a path's parent, created as needed.
  EntryPtr MakeParent(const std::string& path, std::string& name) {
    std::optional<ParsedPath> parsed = Parse(path);
    if (!parsed || parsed->parts.empty()) {
      throw std::invalid_argument("not a path below a drive: " + path);
    }
    EntryPtr folder = Drive(parsed->drive);
    for (std::size_t i = 0; i + 1 < parsed->parts.size(); ++i) {
      EntryPtr contents = Contents(folder, true, 0);
      if (!contents) throw std::invalid_argument("not a folder on the way to " + path);
      std::optional<uint64_t> seq = ChildSequence(*contents, parsed->parts[i], true);
      if (seq) {
        folder = contents->ordered.at(*seq);
      } else {
        auto created = std::make_shared<Entry>();
        created->long_name = parsed->parts[i];
        created->attributes = kAttrDirectory;
        folder = created;
        Insert(*contents, std::move(created));
      }
    }
    EntryPtr contents = Contents(folder, true, 0);
    if (!contents) throw std::invalid_argument("not a folder on the way to " + path);
    name = parsed->parts.back();
    return contents;
  }

  EntryPtr Existing(const std::string& path) const {
    EntryPtr entry = Find(path, true);
    if (!entry) throw std::invalid_argument("no such entry: " + path);
    return entry;
  }

  std::string FullPath(const std::string& path) const {
    std::optional<ParsedPath> parsed = Parse(path);
    return parsed ? Format(*parsed) : path;
  }

  // The folder that holds `target` now, and its sequence there; searched
  // from the drives, for an entry that may have moved.
  bool FindHolder(const EntryPtr& folder, const Entry* target, EntryPtr& holder,
                  uint64_t& sequence) const {
    for (const auto& [seq, child] : folder->ordered) {
      if (child.get() == target) {
        holder = folder;
        sequence = seq;
        return true;
      }
      if (child->IsFolder() && !child->IsLink() && FindHolder(child, target, holder, sequence)) {
        return true;
      }
    }
    return false;
  }

  // The path of a folder as reached from the drives without links: a drive
  // is "C:\\", a folder below it has no trailing backslash.
  std::optional<std::string> PathOf(const Entry* target) const {
    for (const auto& [key, drive] : drives) {
      if (drive.get() == target) return drive->long_name + "\\";
      std::vector<std::string> names;
      if (NamesDownTo(*drive, target, names)) {
        std::string path = drive->long_name;
        for (const std::string& name : names) path += "\\" + name;
        return path;
      }
    }
    return std::nullopt;
  }

  static bool NamesDownTo(const Entry& folder, const Entry* target, std::vector<std::string>& names) {
    for (const auto& [seq, child] : folder.ordered) {
      if (!child->IsFolder() || child->IsLink()) continue;
      names.push_back(child->long_name);
      if (child.get() == target || NamesDownTo(*child, target, names)) return true;
      names.pop_back();
    }
    return false;
  }

  std::string FullKey(const std::string& path) const {
    std::optional<ParsedPath> parsed = Parse(path);
    return AsciiLower(parsed ? Format(*parsed) : path);
  }
};

namespace {

class MemorySearch : public FileSearch {
 public:
  MemorySearch(std::shared_ptr<MemoryFileSystem::Impl> impl, std::vector<FindData> leading,
               EntryPtr folder, std::vector<uint64_t> sequences)
      : impl_(std::move(impl)),
        leading_(std::move(leading)),
        folder_(std::move(folder)),
        sequences_(std::move(sequences)) {
    ++impl_->open_searches;
  }
  ~MemorySearch() override { --impl_->open_searches; }

  std::optional<FindData> Next() override {
    if (next_leading_ < leading_.size()) return leading_[next_leading_++];
    // The names were taken when the search began; entries deleted since are
    // passed over, so each remaining one comes exactly once.
    while (folder_ && next_ < sequences_.size()) {
      auto it = folder_->ordered.find(sequences_[next_++]);
      if (it != folder_->ordered.end()) return MakeFindData(*it->second);
    }
    return std::nullopt;
  }

 private:
  std::shared_ptr<MemoryFileSystem::Impl> impl_;
  std::vector<FindData> leading_;
  std::size_t next_leading_ = 0;
  EntryPtr folder_;
  std::vector<uint64_t> sequences_;
  std::size_t next_ = 0;
};

// Hands out a first hit it already took, then the rest of the search.
class PrimedSearch : public FileSearch {
 public:
  PrimedSearch(std::unique_ptr<FileSearch> inner, FindData first)
      : inner_(std::move(inner)), first_(std::move(first)) {}
  std::optional<FindData> Next() override {
    if (first_) return std::exchange(first_, std::nullopt);
    return inner_->Next();
  }

 private:
  std::unique_ptr<FileSearch> inner_;
  std::optional<FindData> first_;
};

// A folder held open: bound to its entry, not to its path.
class MemoryRemovalFolder : public RemovalFolder {
 public:
  MemoryRemovalFolder(std::shared_ptr<MemoryFileSystem::Impl> impl, EntryPtr folder,
                      EntryPtr holder, uint64_t sequence, std::string path)
      : impl_(std::move(impl)),
        folder_(std::move(folder)),
        holder_(std::move(holder)),
        sequence_(sequence),
        path_(std::move(path)) {}

  std::optional<FindData> Next() override {
    if (!started_) {
      started_ = true;
      sequences_.reserve(folder_->ordered.size());
      for (const auto& [seq, entry] : folder_->ordered) sequences_.push_back(seq);
    }
    while (next_ < sequences_.size()) {
      auto it = folder_->ordered.find(sequences_[next_++]);
      if (it == folder_->ordered.end()) continue;
      current_name_ = it->second->long_name;
      return MakeFindData(*it->second);
    }
    current_name_.clear();
    return std::nullopt;
  }

  std::unique_ptr<RemovalFolder> OpenCurrentFolder() override {
    const std::optional<uint64_t> seq = Current();
    if (!seq) return nullptr;
    EntryPtr entry = folder_->ordered.at(*seq);
    if (!entry->IsFolder() || entry->IsLink() || entry->denied) return nullptr;
    return std::make_unique<MemoryRemovalFolder>(impl_, entry, folder_, *seq,
                                                 path_ + "\\" + entry->long_name);
  }

  Outcome RemoveCurrentFile(bool read_only) override {
    const std::optional<uint64_t> seq = Current();
    if (!seq) return Outcome::kSkipped;
    Entry& entry = *folder_->ordered.at(*seq);
    if (entry.IsFolder() || entry.IsLink()) return Outcome::kSkipped;
    const bool ignore_read_only = read_only && impl_->delete_ignores_read_only;
    if (read_only && !ignore_read_only) {
      if (NameCount(entry) > 1) return Outcome::kKept;
      uint32_t attributes = entry.attributes & ~kAttrReadOnly;
      SetFileAttributesOf(entry, attributes == 0 ? kAttrNormal : attributes);
    }
    if (entry.locked || entry.denied ||
        (!ignore_read_only && (entry.attributes & kAttrReadOnly) != 0)) {
      return Outcome::kKept;
    }
    impl_->removals.push_back(path_ + "\\" + entry.long_name);
    MemoryFileSystem::Impl::Remove(*folder_, *seq);
    return Outcome::kRemoved;
  }

  bool ClearReadOnly() override {
    folder_->attributes &= ~kAttrReadOnly;
    return true;
  }

  std::optional<std::string> FinalPath() override { return impl_->PathOf(folder_.get()); }

  Outcome RemoveSelf() override {
    if (!holder_) return Outcome::kKept;  // a drive, or a folder reached through a link
    auto it = holder_->ordered.find(sequence_);
    if (it == holder_->ordered.end() || it->second != folder_) {
      // Moved meanwhile: the handle still names it wherever it is now.
      bool found = false;
      for (const auto& [name, drive] : impl_->drives) {
        if (impl_->FindHolder(drive, folder_.get(), holder_, sequence_)) {
          found = true;
          break;
        }
      }
      if (!found) return Outcome::kSkipped;
    }
    if (folder_->locked || folder_->denied || (folder_->attributes & kAttrReadOnly) != 0 ||
        !folder_->ordered.empty()) {
      return Outcome::kKept;
    }
    impl_->removals.push_back(path_);
    MemoryFileSystem::Impl::Remove(*holder_, sequence_);
    holder_.reset();
    return Outcome::kRemoved;
  }

 private:
  // The current entry as its name finds it now.
  std::optional<uint64_t> Current() const {
    if (current_name_.empty()) return std::nullopt;
    auto it = folder_->by_long.find(AsciiLower(current_name_));
    if (it == folder_->by_long.end()) return std::nullopt;
    return it->second;
  }

  std::shared_ptr<MemoryFileSystem::Impl> impl_;
  EntryPtr folder_;
  EntryPtr holder_;  // the folder holding this one, null when it cannot go
  uint64_t sequence_ = 0;
  std::string path_;  // where it was opened, for the removal log
  bool started_ = false;
  std::vector<uint64_t> sequences_;
  std::size_t next_ = 0;
  std::string current_name_;
};

}  // namespace

RemovalRoot MemoryFileSystem::OpenRemovalRoot(const std::string& path, bool follow_link) {
  if (path_removal) return FileSystem::OpenRemovalRoot(path, follow_link);
  impl_->delete_ignores_read_only = delete_ignores_read_only;
  RemovalRoot root;
  std::optional<Impl::Location> location = impl_->Locate(path, false);
  if (!location) {
    root.status = RemovalRoot::Status::kMissing;
    root.error = kErrorFileNotFound;
    return root;
  }
  EntryPtr folder = location->entry;
  EntryPtr holder = location->folder;
  if (folder->IsLink()) {
    if (!follow_link) {
      root.status = RemovalRoot::Status::kLink;
      return root;
    }
    folder = impl_->Contents(folder, false, 0);
    holder = nullptr;
    if (!folder) {  // a link to nothing
      root.error = kErrorFileNotFound;
      return root;
    }
  }
  if (!folder->IsFolder()) {
    root.error = 267;  // ERROR_DIRECTORY
    return root;
  }
  if (folder->denied) {
    root.error = kErrorAccessDenied;
    return root;
  }
  root.status = RemovalRoot::Status::kOpen;
  root.folder = std::make_unique<MemoryRemovalFolder>(impl_, folder, holder, location->sequence,
                                                      WithoutBackslash(impl_->FullPath(path)));
  return root;
}

MemoryFileSystem::MemoryFileSystem() : impl_(std::make_shared<Impl>()) {}
MemoryFileSystem::~MemoryFileSystem() = default;

std::unique_ptr<FileSearch> MemoryFileSystem::FindFirst(const std::string& pattern) {
  std::optional<ParsedPath> parsed = impl_->Parse(pattern);
  if (!parsed || parsed->parts.empty()) return nullptr;
  std::unique_ptr<FileSearch> search;
  const std::string& last = parsed->parts.back();
  if (!HasWildcard(last)) {
    // A plain path finds that one entry, file or folder.
    EntryPtr entry = impl_->Find(pattern, false);
    if (!entry) return nullptr;
    search = std::make_unique<MemorySearch>(impl_, std::vector<FindData>{MakeFindData(*entry)},
                                            nullptr, std::vector<uint64_t>{});
  } else {
    EntryPtr folder =
        impl_->Contents(impl_->Walk(*parsed, parsed->parts.size() - 1, false), false, 0);
    if (!folder) return nullptr;
    std::vector<FindData> leading;
    // A drive's root has no "." and ".." entries.
    if (parsed->parts.size() > 1) {
      Entry dot_probe;
      dot_probe.long_name = ".";
      if (NameMatches(last, dot_probe)) leading.push_back(DotEntry(".", *folder));
      dot_probe.long_name = "..";
      if (NameMatches(last, dot_probe)) leading.push_back(DotEntry("..", *folder));
    }
    std::vector<uint64_t> sequences;
    sequences.reserve(folder->ordered.size());
    for (const auto& [seq, entry] : folder->ordered) {
      if (NameMatches(last, *entry)) sequences.push_back(seq);
    }
    search = std::make_unique<MemorySearch>(impl_, std::move(leading), std::move(folder),
                                            std::move(sequences));
  }
  std::optional<FindData> first = search->Next();
  if (!first) return nullptr;
  return std::make_unique<PrimedSearch>(std::move(search), std::move(*first));
}

uint32_t MemoryFileSystem::GetAttributes(const std::string& path) {
  EntryPtr entry = impl_->Find(path, false);
  return entry ? entry->attributes : kInvalidAttributes;
}

bool MemoryFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  EntryPtr entry = impl_->Find(path, false);
  if (!entry) return false;
  // The kind of an entry (folder, link) cannot be changed by attributes.
  constexpr uint32_t kKind = kAttrDirectory | kAttrReparsePoint;
  uint32_t updated = (attributes & ~kKind) | (entry->attributes & kKind);
  if (entry->IsFolder()) {
    updated &= ~kAttrNormal;
  } else if ((updated & ~kAttrNormal) != 0) {
    updated &= ~kAttrNormal;
  } else {
    updated = kAttrNormal;
  }
  if (entry->IsFolder()) {
    entry->attributes = updated;
  } else {
    SetFileAttributesOf(*entry, updated);
  }
  return true;
}

bool MemoryFileSystem::DeleteFile(const std::string& path) {
  std::optional<Impl::Location> location = impl_->Locate(path, false);
  if (!location || !location->folder) return impl_->Refuse(kErrorFileNotFound);
  const Entry& entry = *location->entry;
  if (entry.locked) return impl_->Refuse(32);  // ERROR_SHARING_VIOLATION
  // Windows refuses read-only files: the attribute must be cleared first.
  if (entry.IsFolder() || entry.denied || (entry.attributes & kAttrReadOnly) != 0) {
    return impl_->Refuse(kErrorAccessDenied);
  }
  impl_->removals.push_back(impl_->FullPath(path));
  Impl::Remove(*location->folder, location->sequence);
  return true;
}

bool MemoryFileSystem::RemoveDirectory(const std::string& path) {
  std::optional<Impl::Location> location = impl_->Locate(path, false);
  if (!location || !location->folder) return impl_->Refuse(kErrorFileNotFound);
  const Entry& entry = *location->entry;
  if (!entry.IsFolder()) return impl_->Refuse(267);  // ERROR_DIRECTORY
  if (entry.locked) return impl_->Refuse(32);
  if (entry.denied || (entry.attributes & kAttrReadOnly) != 0) {
    return impl_->Refuse(kErrorAccessDenied);
  }
  // A link goes by itself, whatever its target holds.
  if (!entry.IsLink() && !entry.ordered.empty()) return impl_->Refuse(145);  // not empty
  impl_->removals.push_back(impl_->FullPath(path));
  Impl::Remove(*location->folder, location->sequence);
  return true;
}

bool MemoryFileSystem::FileExists(const std::string& path) {
  EntryPtr entry = impl_->Find(path, false);
  return entry && !entry->IsFolder();
}

std::optional<std::string> MemoryFileSystem::SearchPath(const std::string& name) {
  if (name.empty()) return std::nullopt;
  auto found = [&](const std::string& candidate) -> std::optional<std::string> {
    if (!FileExists(candidate)) return std::nullopt;
    std::optional<ParsedPath> parsed = impl_->Parse(candidate);
    return parsed ? std::optional<std::string>(Format(*parsed)) : std::nullopt;
  };
  if (IsAbsolute(name)) return found(name);
  if (auto hit = found(WithBackslash(impl_->current_directory) + name)) return hit;
  for (const std::string& folder : impl_->search_folders) {
    if (auto hit = found(WithBackslash(folder) + name)) return hit;
  }
  return std::nullopt;
}

std::string MemoryFileSystem::ReadIniString(const std::string& file, const std::string& section,
                                            const std::string& key) {
  std::optional<std::string> value = IniValue(file, section, key);
  if (!value) return {};
  return value->substr(0, kIniBufferChars);
}

void MemoryFileSystem::DeleteIniKey(const std::string& file, const std::string& section,
                                    const std::string& key) {
  auto f = impl_->ini.find(impl_->FullKey(file));
  if (f == impl_->ini.end()) return;
  auto s = f->second.find(AsciiLower(section));
  if (s == f->second.end()) return;
  s->second.erase(AsciiLower(key));
}

bool MemoryFileSystem::ReplaceFileContent(const std::string& path, const std::string& bytes) {
  std::optional<ParsedPath> parsed = impl_->Parse(path);
  if (!parsed || parsed->parts.empty() || parsed->trailing_backslash) return false;
  // The new content replaces the old only once it is completely written, so
  // an injected failure, early or part-way, leaves the old file as it was.
  if (impl_->failing_writes.count(impl_->FullKey(path)) != 0) return false;
  EntryPtr folder =
      impl_->Contents(impl_->Walk(*parsed, parsed->parts.size() - 1, false), false, 0);
  if (!folder) return false;
  std::optional<uint64_t> seq = Impl::ChildSequence(*folder, parsed->parts.back(), false);
  if (seq) {
    Entry& entry = *folder->ordered.at(*seq);
    if (entry.IsFolder() || (entry.attributes & kAttrReadOnly) != 0) return false;
    entry.content = bytes;
    entry.size.reset();
    entry.write_time = ++impl_->write_clock;
    return true;
  }
  auto entry = std::make_shared<Entry>();
  entry->long_name = parsed->parts.back();
  entry->attributes = kAttrArchive;
  entry->content = bytes;
  entry->write_time = ++impl_->write_clock;
  impl_->Insert(*folder, std::move(entry));
  return true;
}

void MemoryFileSystem::AddFolder(const std::string& path, uint32_t attributes) {
  std::string name;
  EntryPtr parent = impl_->MakeParent(path, name);
  if (std::optional<uint64_t> seq = Impl::ChildSequence(*parent, name, true)) {
    Entry& existing = *parent->ordered.at(*seq);
    if (!existing.IsFolder()) throw std::invalid_argument("a file is in the way: " + path);
    existing.attributes = attributes | kAttrDirectory;
    return;
  }
  auto entry = std::make_shared<Entry>();
  entry->long_name = name;
  entry->attributes = attributes | kAttrDirectory;
  impl_->Insert(*parent, std::move(entry));
}

void MemoryFileSystem::AddFile(const std::string& path, const std::string& content,
                               uint32_t attributes, LocalTime last_write) {
  std::string name;
  EntryPtr parent = impl_->MakeParent(path, name);
  if (std::optional<uint64_t> seq = Impl::ChildSequence(*parent, name, true)) {
    Entry& existing = *parent->ordered.at(*seq);
    if (existing.IsFolder()) throw std::invalid_argument("a folder is in the way: " + path);
    existing.content = content;
    existing.size.reset();
    existing.attributes = attributes & ~kAttrDirectory;
    existing.last_write = last_write;
    existing.write_time = ++impl_->write_clock;
    return;
  }
  auto entry = std::make_shared<Entry>();
  entry->long_name = name;
  entry->attributes = attributes & ~kAttrDirectory;
  entry->content = content;
  entry->last_write = last_write;
  entry->write_time = ++impl_->write_clock;
  impl_->Insert(*parent, std::move(entry));
}

void MemoryFileSystem::SetSize(const std::string& path, uint64_t size) {
  impl_->Existing(path)->size = size;
}

void MemoryFileSystem::SetLastWrite(const std::string& path, LocalTime last_write) {
  EntryPtr entry = impl_->Existing(path);
  entry->last_write = last_write;
  entry->write_time = ++impl_->write_clock;
}

void MemoryFileSystem::SetShortName(const std::string& path, const std::string& short_name) {
  std::optional<Impl::Location> location = impl_->Locate(path, true);
  if (!location || !location->folder) throw std::invalid_argument("no such entry: " + path);
  Entry& folder = *location->folder;
  Entry& entry = *location->entry;
  if (!entry.short_name.empty()) folder.by_short.erase(AsciiLower(entry.short_name));
  entry.short_name = short_name;
  if (!short_name.empty()) folder.by_short[AsciiLower(short_name)] = location->sequence;
}

void MemoryFileSystem::BlockLongName(const std::string& path) {
  impl_->Existing(path)->long_blocked = true;
}

void MemoryFileSystem::AddLink(const std::string& path, const std::string& target) {
  std::optional<ParsedPath> parsed_target = impl_->Parse(target);
  if (!parsed_target) throw std::invalid_argument("bad link target: " + target);
  std::string name;
  EntryPtr parent = impl_->MakeParent(path, name);
  if (Impl::ChildSequence(*parent, name, true)) {
    throw std::invalid_argument("an entry is in the way: " + path);
  }
  auto entry = std::make_shared<Entry>();
  entry->long_name = name;
  entry->attributes = kAttrDirectory | kAttrReparsePoint;
  entry->link_target = Format(*parsed_target);
  impl_->Insert(*parent, std::move(entry));
}

void MemoryFileSystem::AddHardLink(const std::string& path, const std::string& existing) {
  EntryPtr file = impl_->Existing(existing);
  if (file->IsFolder()) throw std::invalid_argument("a folder has no hard links: " + existing);
  std::string name;
  EntryPtr parent = impl_->MakeParent(path, name);
  if (Impl::ChildSequence(*parent, name, true)) {
    throw std::invalid_argument("an entry is in the way: " + path);
  }
  if (!file->hard_links) {
    file->hard_links = std::make_shared<std::vector<std::weak_ptr<Entry>>>();
    file->hard_links->push_back(file);
  }
  auto entry = std::make_shared<Entry>(*file);
  entry->long_name = name;
  entry->short_name.clear();
  entry->long_blocked = false;
  file->hard_links->push_back(entry);
  impl_->Insert(*parent, std::move(entry));
}

uint32_t MemoryFileSystem::LinkCount(const std::string& path) {
  EntryPtr entry = impl_->Find(path, false);
  return entry && !entry->IsFolder() ? NameCount(*entry) : 0;
}

void MemoryFileSystem::Lock(const std::string& path) { impl_->Existing(path)->locked = true; }

void MemoryFileSystem::Deny(const std::string& path) { impl_->Existing(path)->denied = true; }

uint32_t MemoryFileSystem::LastError() { return impl_->last_error; }

void MemoryFileSystem::SwapForLink(const std::string& path, const std::string& moved_to,
                                   const std::string& target) {
  std::optional<Impl::Location> location = impl_->Locate(path, true);
  if (!location || !location->folder || !location->entry->IsFolder()) {
    throw std::invalid_argument("no folder to swap: " + path);
  }
  EntryPtr moved = location->entry;
  Impl::Remove(*location->folder, location->sequence);
  std::string name;
  EntryPtr parent = impl_->MakeParent(moved_to, name);
  moved->long_name = name;
  moved->short_name.clear();
  impl_->Insert(*parent, std::move(moved));
  AddLink(path, target);
}

void MemoryFileSystem::SetIniString(const std::string& file, const std::string& section,
                                    const std::string& key, const std::string& value) {
  impl_->ini[impl_->FullKey(file)][AsciiLower(section)][AsciiLower(key)] = value;
}

void MemoryFileSystem::SetCurrentDirectory(const std::string& path) {
  std::optional<ParsedPath> parsed = impl_->Parse(path);
  if (!parsed) throw std::invalid_argument("bad folder: " + path);
  impl_->current_directory = Format(*parsed);
}

void MemoryFileSystem::SetSearchFolders(std::vector<std::string> folders) {
  impl_->search_folders = std::move(folders);
}

void MemoryFileSystem::FailWrite(const std::string& path, bool partial) {
  impl_->failing_writes[impl_->FullKey(path)] = partial;
}

bool MemoryFileSystem::Exists(const std::string& path) const {
  return impl_->Find(path, true) != nullptr;
}

std::optional<FileStamp> MemoryFileSystem::StampOf(const std::string& path) {
  EntryPtr entry = impl_->Find(path, true);
  if (!entry) return std::nullopt;
  const FindData data = MakeFindData(*entry);
  return FileStamp{data.attributes, data.size, data.write_time};
}

std::optional<std::string> MemoryFileSystem::ReadFileBytes(const std::string& path,
                                                           std::size_t max_bytes) {
  std::optional<std::string> content = Content(path);
  if (!content || content->size() > max_bytes) return std::nullopt;
  return content;
}

std::optional<std::string> MemoryFileSystem::Content(const std::string& path) const {
  EntryPtr entry = impl_->Find(path, true);
  if (!entry || entry->IsFolder()) return std::nullopt;
  return entry->content;
}

std::vector<std::string> MemoryFileSystem::List(const std::string& folder) const {
  std::vector<std::string> names;
  EntryPtr contents = impl_->Contents(impl_->Find(folder, true), true, 0);
  if (!contents) return names;
  names.reserve(contents->ordered.size());
  for (const auto& [seq, entry] : contents->ordered) names.push_back(entry->long_name);
  return names;
}

std::optional<std::string> MemoryFileSystem::IniValue(const std::string& file,
                                                      const std::string& section,
                                                      const std::string& key) const {
  auto f = impl_->ini.find(impl_->FullKey(file));
  if (f == impl_->ini.end()) return std::nullopt;
  auto s = f->second.find(AsciiLower(section));
  if (s == f->second.end()) return std::nullopt;
  auto k = s->second.find(AsciiLower(key));
  if (k == s->second.end()) return std::nullopt;
  return k->second;
}

int MemoryFileSystem::open_search_count() const { return impl_->open_searches; }

const std::vector<std::string>& MemoryFileSystem::removals() const { return impl_->removals; }

}  // namespace cu::memory
