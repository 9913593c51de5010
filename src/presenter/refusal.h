#pragma once

// What the tabs do when the system refuses a change: offer to restart the
// program with administrator rights where that would help, else say what
// failed with the system's own words.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "presenter/ui.h"

namespace cu {

inline constexpr char kElevationQuestion[] =
    "Administrator rights are needed to change this. Restart Clear utility as administrator?";

// The command line that starts the program on a tab ("/page 2"), and the
// tab such a command line names; nullopt for any other command line.
[[nodiscard]] std::string PageArguments(Page page);
[[nodiscard]] std::optional<Page> PageOfArguments(std::string_view arguments);

// Starts the program again elevated on `page` and, once it has started,
// closes this window. A declined elevation prompt changes nothing; another
// failure throws AppError with the system's text.
void RestartElevated(const Platform& platform, Ui& ui, Page page);

// For a change refused with `error`: when it is access denied and the token
// is an administrator's limited one, asks kElevationQuestion (Yes:
// RestartElevated) and gives true, the refusal then said. False otherwise.
[[nodiscard]] bool OfferElevation(const Platform& platform, Ui& ui, Page page, uint32_t error);

// OfferElevation, else throws AppError("<failure>: <the system's text>").
void ReportRefusal(const Platform& platform, Ui& ui, Page page, uint32_t error,
                   const std::string& failure);

}  // namespace cu
