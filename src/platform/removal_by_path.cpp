// Removal by path: the way for systems that cannot hold a folder open and
// act relative to it. Each entry is reached by its path again, so a path
// swapped for a link between the search and the deletion is caught only by
// the attribute check just before; the handle-based way closes that gap.

#include <memory>
#include <utility>

#include "platform/platform.h"
#include "platform/text.h"

namespace cu {

namespace {

class PathRemovalFolder : public RemovalFolder {
 public:
  PathRemovalFolder(FileSystem& files, std::string path)
      : files_(files), path_(std::move(path)), prefix_(WithBackslash(path_)) {}

  std::optional<FindData> Next() override {
    if (!started_) {
      started_ = true;
      search_ = files_.FindFirst(prefix_ + "*.*");
    }
    while (search_) {
      std::optional<FindData> entry = search_->Next();
      if (!entry) {
        search_.reset();  // an open search can keep its folder from being removed
        break;
      }
      if (entry->long_name == "." || entry->long_name == "..") continue;
      current_ = std::move(*entry);
      return current_;
    }
    current_.reset();
    return std::nullopt;
  }

  std::unique_ptr<RemovalFolder> OpenCurrentFolder() override {
    const std::optional<std::string> target = CurrentTarget();
    if (!target) return nullptr;
    const uint32_t attributes = files_.GetAttributes(*target);
    if ((attributes & kAttrDirectory) == 0 || (attributes & kAttrReparsePoint) != 0) return nullptr;
    return std::make_unique<PathRemovalFolder>(files_, *target);
  }

  Outcome RemoveCurrentFile(bool read_only) override {
    const std::optional<std::string> target = CurrentTarget();
    if (!target) return Outcome::kSkipped;
    const uint32_t attributes = files_.GetAttributes(*target);
    if ((attributes & (kAttrDirectory | kAttrReparsePoint)) != 0) return Outcome::kSkipped;
    // A path deletion cannot pass over the attribute; one that cannot be
    // counted is taken as shared.
    if (read_only) {
      if (files_.LinkCount(*target) != 1) return Outcome::kKept;
      // A failure shows in the deletion below.
      (void)files_.SetAttributes(*target, current_->attributes & ~kAttrReadOnly);
    }
    if (files_.DeleteFile(*target)) return Outcome::kRemoved;
    return files_.GetAttributes(*target) == kInvalidAttributes ? Outcome::kSkipped : Outcome::kKept;
  }

  bool ClearReadOnly() override {
    const uint32_t attributes = files_.GetAttributes(path_);
    if (attributes == kInvalidAttributes) return false;
    return files_.SetAttributes(path_, attributes & ~kAttrReadOnly);
  }

  Outcome RemoveSelf() override {
    search_.reset();
    if (files_.RemoveDirectory(WithoutBackslash(path_))) return Outcome::kRemoved;
    return files_.GetAttributes(path_) == kInvalidAttributes ? Outcome::kSkipped : Outcome::kKept;
  }

 private:
  // The current entry's path: by its long name, else by its 8.3 alias when
  // the long one does not resolve (a name that does not survive the code
  // page); nullopt when neither reaches it.
  std::optional<std::string> CurrentTarget() {
    if (!current_) return std::nullopt;
    std::string target = prefix_ + current_->long_name;
    if (files_.GetAttributes(target) != kInvalidAttributes) return target;
    if (current_->short_name.empty()) return std::nullopt;
    target = prefix_ + current_->short_name;
    if (files_.GetAttributes(target) == kInvalidAttributes) return std::nullopt;
    return target;
  }

  FileSystem& files_;
  std::string path_;
  std::string prefix_;
  bool started_ = false;
  std::unique_ptr<FileSearch> search_;
  std::optional<FindData> current_;
};

}  // namespace

RemovalRoot FileSystem::OpenRemovalRoot(const std::string& path, bool follow_link) {
  RemovalRoot root;
  const uint32_t attributes = GetAttributes(path);
  if (attributes == kInvalidAttributes) {
    root.status = RemovalRoot::Status::kMissing;
    root.error = kErrorFileNotFound;
  } else if ((attributes & kAttrReparsePoint) != 0 && !follow_link) {
    root.status = RemovalRoot::Status::kLink;
  } else if ((attributes & kAttrDirectory) == 0) {
    root.status = RemovalRoot::Status::kFailed;
    root.error = 267;  // ERROR_DIRECTORY: not a folder
  } else {
    root.status = RemovalRoot::Status::kOpen;
    root.folder = std::make_unique<PathRemovalFolder>(*this, WithoutBackslash(path));
  }
  return root;
}

}  // namespace cu
