#pragma once

// What clearing a folder would remove, counted before the question: the
// same walk as the clearing (delete_tree.h), taking nothing away.

#include <string>

#include "folders/delete_tree.h"
#include "platform/platform.h"
#include "presenter/progress.h"

namespace cu {

// Counts the entries inside an open folder that clearing would remove, by
// its rules: links are neither followed nor counted, a name beginning with
// "." is left with all it holds, a folder that cannot be opened counts
// without its content. Fills files, folders and bytes (the sizes the search
// reports); `left` stays 0. With `progress`, asked before every entry
// whether to stop (the tally then says so).
void CountOpenFolderContents(RemovalFolder& folder, RemovalTally& tally, Progress* progress);

// "12,345 files and 678 folders (1.2 GB) to clear" in the numbers, sizes and
// singular forms of the clearing's result line; "Nothing to clear" when the
// folder holds nothing clearing would remove.
[[nodiscard]] std::string CountResultText(Locale& locale, const RemovalTally& tally);

}  // namespace cu
