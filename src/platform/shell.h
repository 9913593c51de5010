#pragma once

// The shell: opening items, Properties sheets, shortcuts. Part of the seam (see platform.h).

#include <memory>
#include <string>

namespace cu {

// One shell-link object, loaded with one shortcut file after another.
class ShortcutResolver {
 public:
  virtual ~ShortcutResolver() = default;
  ShortcutResolver() = default;
  ShortcutResolver(const ShortcutResolver&) = delete;
  ShortcutResolver& operator=(const ShortcutResolver&) = delete;
  // The target path of a shortcut file, or empty when it cannot be loaded
  // (the object is then not asked for a path, so nothing of an earlier
  // shortcut shows through) or has no file-system target.
  [[nodiscard]] virtual std::string Resolve(const std::string& path) = 0;
};

class Shell {
 public:
  virtual ~Shell() = default;
  // Opens a URL or folder with its associated program; result not examined.
  virtual void OpenItem(const std::string& target) = 0;
  // Shows the Properties sheet of a path; result not examined.
  virtual void ShowPropertiesSheet(const std::string& path) = 0;
  // The target path of a shortcut file, or empty when it cannot be loaded or
  // has no file-system target. Throws AppError when the shell-link object
  // cannot be created.
  [[nodiscard]] std::string ResolveShortcut(const std::string& path) {
    return OpenShortcutResolver()->Resolve(path);
  }
  // A shell-link object for resolving many shortcuts; never null. Throws
  // AppError when the object cannot be created.
  [[nodiscard]] virtual std::unique_ptr<ShortcutResolver> OpenShortcutResolver() = 0;
};

}  // namespace cu
