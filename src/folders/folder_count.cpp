#include "folders/folder_count.h"


namespace cu {

void CountOpenFolderContents(RemovalFolder& folder, RemovalTally& tally, Progress* progress) {
  while (std::optional<FindData> entry = folder.Next()) {
    if (progress && progress->StopRequested()) {
      tally.stopped = true;
      return;
    }
    if (entry->long_name.empty() || entry->long_name[0] == '.' ||
        (entry->attributes & kAttrReparsePoint) != 0) {
      continue;
    }
    if ((entry->attributes & kAttrDirectory) != 0) {
      ++tally.folders;
      // Gone, refused, or a link by now: counted, with nothing inside.
      if (std::unique_ptr<RemovalFolder> child = folder.OpenCurrentFolder()) {
        CountOpenFolderContents(*child, tally, progress);
        if (tally.stopped) return;
      }
    } else {
      ++tally.files;
      tally.bytes += entry->size;
    }
  }
}

std::string CountResultText(Locale& locale, const RemovalTally& tally) {
  if (tally.files == 0 && tally.folders == 0) return "Nothing to clear";
  const auto counted = [&locale](uint64_t count, const char* one, const char* many) {
    return locale.FormatSize(count) + " " + (count == 1 ? one : many);
  };
  return counted(tally.files, "file", "files") + " and " +
         counted(tally.folders, "folder", "folders") + " (" + ByteSizeText(locale, tally.bytes) +
         ") to clear";
}

}  // namespace cu
