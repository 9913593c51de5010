#include "folders/delete_tree.h"

#include <memory>

#include "platform/text.h"

namespace cu {

bool DeleteTree(FileSystem& files, const std::string& path) {
  const uint32_t attributes = files.GetAttributes(path);
  if (attributes == kInvalidAttributes) return true;
  // Removing through a link would empty the folder it points to, which lies
  // outside the tree the caller asked to remove.
  if (attributes & kAttrReparsePoint) return false;
  RemoveFolderContents(files, path);
  // The search is closed by now: an open search can keep its folder from
  // being removed.
  return files.RemoveDirectory(WithoutBackslash(path));
}

void RemoveFolderEntry(FileSystem& files, const std::string& folder_with_backslash,
                       const FindData& entry) {
  if (entry.long_name.empty() || entry.long_name[0] == '.') return;
  std::string target = folder_with_backslash + entry.long_name;
  if (files.GetAttributes(target) == kInvalidAttributes) {
    // A long name the system cannot take back (for example one that does not
    // survive the code page) may still be reachable by its 8.3 alias.
    if (entry.short_name.empty()) return;
    target = folder_with_backslash + entry.short_name;
  }
  if (entry.attributes & kAttrReparsePoint) return;
  if (entry.attributes & kAttrReadOnly) {
    // A failure shows in the deletion below, which is ignored as well.
    (void)files.SetAttributes(target, entry.attributes & ~kAttrReadOnly);
  }
  if (entry.attributes & kAttrDirectory) {
    // Whatever stays inside keeps the folder; the caller learns nothing more.
    (void)DeleteTree(files, target);
  } else {
    // A file in use or protected simply stays.
    (void)files.DeleteFile(target);
  }
}

void RemoveFolderContents(FileSystem& files, const std::string& folder) {
  const std::string prefix = WithBackslash(folder);
  std::unique_ptr<FileSearch> search = files.FindFirst(prefix + "*.*");
  if (!search) return;
  while (std::optional<FindData> entry = search->Next()) {
    RemoveFolderEntry(files, prefix, *entry);
  }
}

}  // namespace cu
