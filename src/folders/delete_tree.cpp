#include "folders/delete_tree.h"

namespace cu {

namespace {

void ReportTally(const RemovalTally& tally, Progress* progress) {
  if (progress) progress->Report(tally.removed(), tally.bytes);
}

}  // namespace

bool RemoveOpenFolderContents(RemovalFolder& folder, RemovalTally& tally, Progress* progress) {
  bool emptied = true;
  while (std::optional<FindData> entry = folder.Next()) {
    if (progress && progress->StopRequested()) {
      tally.stopped = true;
      return false;
    }
    if (entry->long_name.empty() || entry->long_name[0] == '.' ||
        (entry->attributes & kAttrReparsePoint) != 0) {
      emptied = false;
      continue;
    }
    const bool read_only = (entry->attributes & kAttrReadOnly) != 0;
    if ((entry->attributes & kAttrDirectory) != 0) {
      std::unique_ptr<RemovalFolder> child = folder.OpenCurrentFolder();
      if (!child) {
        // Gone, refused, or a link by now: nothing to walk into.
        emptied = false;
        continue;
      }
      // A failure shows in the removal below.
      if (read_only) (void)child->ClearReadOnly();
      const bool child_emptied = RemoveOpenFolderContents(*child, tally, progress);
      if (tally.stopped) return false;
      // Tried also when something seemed to stay: it may have gone meanwhile.
      const RemovalFolder::Outcome outcome = child->RemoveSelf();
      if (outcome == RemovalFolder::Outcome::kRemoved) {
        ++tally.folders;
      } else {
        // An emptied folder the system still refuses counts as left itself;
        // one that keeps an entry was counted through that entry.
        if (child_emptied && outcome == RemovalFolder::Outcome::kKept) ++tally.left;
        emptied = false;
      }
    } else {
      switch (folder.RemoveCurrentFile(read_only)) {
        case RemovalFolder::Outcome::kRemoved:
          ++tally.files;
          tally.bytes += entry->size;
          break;
        case RemovalFolder::Outcome::kKept:
          ++tally.left;
          emptied = false;
          break;
        case RemovalFolder::Outcome::kSkipped:
          emptied = false;
          break;
      }
    }
    ReportTally(tally, progress);
  }
  return emptied;
}

bool DeleteTree(FileSystem& files, const std::string& path) {
  RemovalRoot root = files.OpenRemovalRoot(path, false);
  switch (root.status) {
    case RemovalRoot::Status::kMissing:
      return true;
    case RemovalRoot::Status::kLink:
    case RemovalRoot::Status::kFailed:
      return false;
    case RemovalRoot::Status::kOpen:
      break;
  }
  RemovalTally tally;
  (void)RemoveOpenFolderContents(*root.folder, tally, nullptr);
  return root.folder->RemoveSelf() == RemovalFolder::Outcome::kRemoved;
}

RemovalTally RemoveFolderContents(FileSystem& files, const std::string& folder,
                                  Progress* progress) {
  RemovalTally tally;
  RemovalRoot root = files.OpenRemovalRoot(folder, true);
  if (root.status == RemovalRoot::Status::kOpen) {
    (void)RemoveOpenFolderContents(*root.folder, tally, progress);
  }
  return tally;
}

}  // namespace cu
