#include "presenter/refusal.h"

#include "platform/errors.h"
#include "platform/text.h"

namespace cu {

namespace {
constexpr std::string_view kPageSwitch = "/page ";
}  // namespace

std::string PageArguments(Page page) {
  return std::string(kPageSwitch) + std::to_string(static_cast<int>(page));
}

std::optional<Page> PageOfArguments(std::string_view arguments) {
  const std::string text = Trim(arguments);
  if (text.size() != kPageSwitch.size() + 1 || text.compare(0, kPageSwitch.size(), kPageSwitch) != 0) {
    return std::nullopt;
  }
  const char digit = text.back();
  if (digit < '0' || digit > '3') return std::nullopt;
  return static_cast<Page>(digit - '0');
}

void RestartElevated(const Platform& platform, Ui& ui, Page page) {
  const uint32_t error = platform.environment.RelaunchElevated(PageArguments(page));
  if (error == kErrorSuccess) {
    ui.CloseWindow();
    return;
  }
  if (error == kErrorCancelled) return;
  throw AppError("Clear utility could not be restarted as administrator: " +
                 platform.environment.ErrorText(error));
}

bool OfferElevation(const Platform& platform, Ui& ui, Page page, uint32_t error) {
  if (error != kErrorAccessDenied ||
      platform.environment.TokenElevation() != Elevation::kLimited) {
    return false;
  }
  if (ui.Confirm(kElevationQuestion)) RestartElevated(platform, ui, page);
  return true;
}

void ReportRefusal(const Platform& platform, Ui& ui, Page page, uint32_t error,
                   const std::string& failure) {
  if (OfferElevation(platform, ui, page, error)) return;
  throw AppError(failure + ": " + platform.environment.ErrorText(error));
}

}  // namespace cu
