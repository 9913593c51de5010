#include "presenter/progress.h"

#include <iterator>

namespace cu {

std::string ByteSizeText(Locale& locale, uint64_t bytes) {
  static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
  if (bytes < 1024) return locale.FormatSize(bytes) + (bytes == 1 ? " byte" : " bytes");
  std::size_t unit = 0;
  uint64_t size = 1024;
  while (unit + 1 < std::size(kUnits) && bytes / size >= 1024) {
    size *= 1024;
    ++unit;
  }
  // Rounded to the nearest tenth without overflowing near the top of 64 bits;
  // a size that rounds up to 1024 of a unit is shown in the next one.
  uint64_t tenths = bytes / size * 10 + ((bytes % size) * 10 + size / 2) / size;
  if (tenths >= 10240 && unit + 1 < std::size(kUnits)) {
    tenths = 10;
    ++unit;
  }
  return locale.FormatTenths(tenths) + " " + kUnits[unit];
}

std::string ProgressCountsText(Locale& locale, const WorkRequest& request, uint64_t done,
                               uint64_t bytes) {
  switch (request.kind) {
    case WorkKind::kClearing:
      return "Removed " + locale.FormatSize(done) + (done == 1 ? " entry (" : " entries (") +
             ByteSizeText(locale, bytes) + ")";
    case WorkKind::kRows:
      return locale.FormatSize(done) + " of " + locale.FormatSize(request.total);
    case WorkKind::kWaiting:
      break;
  }
  return {};
}

}  // namespace cu
