#include "presenter/system_paths.h"

#include "platform/errors.h"
#include "platform/registry_access.h"
#include "platform/text.h"

namespace cu {

SystemPaths ReadSystemPaths(const Platform& platform) {
  SystemPaths paths;
  paths.windows_dir = platform.environment.WindowsDirectory();
  const std::string temp = platform.environment.TempPath();
  if (!temp.empty()) paths.user_temp_dir = WithBackslash(temp, platform.locale);

  RegistryAccess reg(platform.registry, kKeyRead);
  reg.SetRoot(Hive::kLocalMachine);
  if (reg.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment")) {
    // Read while the window is being created, where an error would end the
    // program before it shows: a value of a wrong type counts as not found,
    // so a bad TMP falls back to TEMP as an empty one does.
    const auto read = [&reg](const char* name) {
      try {
        return reg.ReadString(name);
      } catch (const AppError&) {
        return std::string();
      }
    };
    std::string text = read("TMP");
    if (text.empty()) text = read("TEMP");
    if (!text.empty()) {
      std::optional<std::string> expanded = platform.environment.ExpandEnvironmentStrings(text);
      if (expanded) {
        const std::size_t nul = expanded->find('\0');
        paths.system_temp_dir = nul == std::string::npos ? *expanded : expanded->substr(0, nul);
      }
    }
  }
  return paths;
}

}  // namespace cu
