#pragma once

// Version resources of program files. Part of the seam (see platform.h).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace cu {

struct Translation {
  uint16_t language = 0;
  uint16_t code_page = 0;
};

// A file's version resource, loaded whole.
class VersionInfo {
 public:
  virtual ~VersionInfo() = default;
  // The first entry of "\VarFileInfo\Translation", or nullopt without one.
  [[nodiscard]] virtual std::optional<Translation> FirstTranslation() = 0;
  // A string sub-block such as "StringFileInfo\\040904B0\\ProductName": no
  // leading backslash needed, empty components ignored, names compared
  // without letter case. nullopt when the sub-block is missing.
  [[nodiscard]] virtual std::optional<std::string> QueryString(const std::string& sub_block) = 0;
};

class VersionResources {
 public:
  virtual ~VersionResources() = default;
  // Null when the file has no version resource or cannot be read.
  [[nodiscard]] virtual std::unique_ptr<VersionInfo> Load(const std::string& path) = 0;
};

}  // namespace cu
