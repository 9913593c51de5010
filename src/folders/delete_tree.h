#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "presenter/progress.h"

namespace cu {

// Recursive removal, shared by clearing a shell folder and by the removal of
// a folder found in a Startup folder.
//
// Each folder is held open while its entries go (FileSystem::OpenRemovalRoot,
// RemovalFolder): children are reached relative to it and deleted through
// their own handles, so nothing can be redirected by swapping a path for a
// link half-way. Links (junctions, directory and file symbolic links) are
// never descended into, deleted through or deleted; nothing outside the tree
// is touched and the link stays where it is. The rules per entry:
//  - a name beginning with "." is left alone, with all it holds;
//  - a read-only entry loses that attribute first (also when it then stays);
//  - a folder goes depth first, then itself once it is empty;
//  - whatever the system refuses (a file in use) stays, and so does the
//    chain of folders above it.

// What a removal did.
struct RemovalTally {
  uint64_t files = 0;    // files deleted
  uint64_t folders = 0;  // folders removed
  uint64_t bytes = 0;    // the sizes of the files deleted, as the search reported them
  uint64_t left = 0;     // entries the system refused to delete (in use, protected)
  bool stopped = false;  // the progress asked to stop before the end

  [[nodiscard]] uint64_t removed() const { return files + folders; }
};

// Removes the folder at `path` with everything in it, depth first.
// True when the path does not exist (nothing is touched) or the folder is
// gone at the end; false when it is still there: an entry inside stayed, the
// system refused, or `path` is itself a link, which is left in place
// untouched and therefore reported as still there.
[[nodiscard]] bool DeleteTree(FileSystem& files, const std::string& path);

// Removes every entry inside `folder` (with or without a trailing
// backslash); the folder itself stays. A link at `folder` itself is
// followed: it is the folder the user chose. A missing folder is left as it
// is. With `progress`, it is asked before every entry whether to stop (the
// tally then says so) and told the entries removed and bytes freed so far.
RemovalTally RemoveFolderContents(FileSystem& files, const std::string& folder,
                                  Progress* progress = nullptr);

// The walk itself over a folder already open: removes its entries as above
// and gives true when none was left (so the folder itself can go).
bool RemoveOpenFolderContents(RemovalFolder& folder, RemovalTally& tally, Progress* progress);

}  // namespace cu
