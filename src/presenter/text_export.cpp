#include "presenter/text_export.h"

#include "platform/errors.h"
#include "platform/text.h"

namespace cu {

void ExportLines(FileSystem& files, const std::string& path, const std::vector<std::string>& lines) {
  if (!files.ReplaceFileContent(path, JoinCrLf(lines))) {
    throw AppError("Cannot create file " + path);
  }
}

}  // namespace cu
