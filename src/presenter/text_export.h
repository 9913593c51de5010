#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace cu {

// Writes the lines, each ended by CR LF, in place of the file's content. The
// old content is replaced only once the new one is completely written.
// Throws AppError "Cannot create file <path>" when that fails.
void ExportLines(FileSystem& files, const std::string& path, const std::vector<std::string>& lines);

}  // namespace cu
