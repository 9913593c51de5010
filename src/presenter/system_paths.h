#pragma once

#include <string>

#include "platform/platform.h"

namespace cu {

// The environment paths the main window records at creation.
struct SystemPaths {
  std::string windows_dir;      // no trailing backslash added; empty when the query fails
  std::string user_temp_dir;    // always ends in a backslash; empty when the query fails
  std::string system_temp_dir;  // expanded TMP or TEMP of the machine; empty when not found
};

// Never throws: a TMP or TEMP value of a non-string type counts as missing.
SystemPaths ReadSystemPaths(const Platform& platform);

}  // namespace cu
