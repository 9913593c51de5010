#pragma once

// The clipboard. Part of the seam (see platform.h).

#include <string>

namespace cu {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // Leaves only the text on the clipboard. Throws AppError("Cannot open
  // clipboard") when the clipboard cannot be opened.
  virtual void SetText(const std::string& text) = 0;
};

}  // namespace cu
