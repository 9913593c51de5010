#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace cu {

// The system's answers that the program acts on.
inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorCancelled = 1223;  // the user declined (an elevation prompt)

// An error whose message is shown to the user as it stands, in the error box
// of the main window. Raised only where the program's behaviour calls for a
// message; everything else reports failure through its result.
class AppError : public std::runtime_error {
 public:
  explicit AppError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace cu
