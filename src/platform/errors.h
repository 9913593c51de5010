#pragma once

#include <stdexcept>
#include <string>

namespace cu {

// An error whose message is shown to the user as it stands, in the error box
// of the main window. Raised only where the program's behaviour calls for a
// message; everything else reports failure through its result.
class AppError : public std::runtime_error {
 public:
  explicit AppError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace cu
