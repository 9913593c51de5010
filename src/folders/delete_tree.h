#pragma once

#include <string>

#include "platform/platform.h"

namespace cu {

// Recursive removal, shared by clearing a shell folder and by the removal of
// a folder found in a Startup folder.
//
// Links are never followed: an entry or a path carrying the reparse-point
// attribute (a junction or a directory symbolic link) is neither descended
// into nor deleted, so nothing outside the tree being removed is touched and
// the link itself stays where it is.

// Removes the folder at `path` with everything in it, depth first.
// True when the path does not exist (nothing is touched) or the folder is
// gone at the end; false when it is still there: an entry inside stayed
// (a file in use, a dot-named entry, a link, an unreachable name), the
// system refused, or `path` is itself a link, which is left in place
// untouched and therefore reported as still there.
[[nodiscard]] bool DeleteTree(FileSystem& files, const std::string& path);

// Removes one entry that a search of `folder_with_backslash` (a folder path
// ending in a backslash) reported:
//  - a name beginning with "." ("." and ".." included) is left alone;
//  - the entry is reached by its long name, else by its 8.3 short name when
//    the long one does not resolve, else left alone;
//  - a link (reparse-point attribute) is left alone;
//  - a read-only entry loses that attribute first;
//  - a folder goes through DeleteTree, a file through DeleteFile.
// Failures are ignored: whatever cannot be removed stays.
void RemoveFolderEntry(FileSystem& files, const std::string& folder_with_backslash,
                       const FindData& entry);

// Runs RemoveFolderEntry on every entry inside `folder` (with or without a
// trailing backslash), in the order the search gives them. The folder itself
// stays. A missing folder is left as it is.
void RemoveFolderContents(FileSystem& files, const std::string& folder);

}  // namespace cu
