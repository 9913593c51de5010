#pragma once

// The autostart places of today's Windows beside the Run keys, Startup
// folders and ini files: the task scheduler's logon and boot tasks, the
// startup tasks of packaged apps, and the registry values that replace or
// wrap what Windows starts (Winlogon, Image File Execution Options,
// AppInit_DLLs). Their readers, and the pure pieces that read a task
// definition or a package manifest.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "startup/startup_catalogue.h"

namespace cu {

// What Windows has by default in a kSetDefault value: "explorer.exe" for
// Shell, "<system folder>\userinit.exe," for Userinit.
[[nodiscard]] std::string DefaultValueOf(const StartupSource& source, const std::string& system_dir);

// The scheduler's folder of Windows' own tasks, left out of the list.
inline constexpr std::string_view kWindowsTaskFolder = "\\Microsoft\\Windows";

// One program a task starts.
struct TaskProgram {
  std::string command;    // trimmed
  std::string arguments;  // trimmed; may be empty
};

// What the list needs of a task definition: the programs it runs when it
// has a logon or boot trigger that is not switched off, and its own
// Enabled setting. nullopt for a task that starts at neither.
struct StartingTask {
  std::vector<TaskProgram> programs;  // its Exec actions, in order
  bool enabled = true;                // Settings/Enabled
};
[[nodiscard]] std::optional<StartingTask> StartingTaskOf(const XmlElement& task);

// The package family name of a package full name: its first field, "_",
// and its last (Name_1.2.3.0_x64__abcdefghjkmnp -> Name_abcdefghjkmnp).
[[nodiscard]] std::string PackageFamilyName(const std::string& full_name);

// One startup task a package manifest declares.
struct ManifestStartupTask {
  std::string executable;  // relative to the package folder
  std::string task_id;
  std::string display_name;
  bool enabled = false;  // the manifest's Enabled
};
// Every Extension of category windows.startupTask, whatever its prefix, with
// its executable (the Application's when the extension names none).
[[nodiscard]] std::vector<ManifestStartupTask> ManifestStartupTasks(const XmlElement& manifest);

// The key of a packaged app's startup task State, below HKCU.
[[nodiscard]] std::string PackageTaskStateKey(const std::string& place);

// The readers of the newer sources. The scheduled tasks come from the
// scheduler, or, when it cannot enumerate, from the task store's files below
// `system_dir`\Tasks; a task whose definition does not parse gives no row.
void ReadScheduledTasks(const Platform& platform, const StartupSource& source,
                        const std::string& system_dir, std::vector<StartupRow>& rows);
// A package whose folder or manifest is missing or unreadable gives no row.
void ReadPackageTasks(const Platform& platform, const StartupSource& source,
                      std::vector<StartupRow>& rows);
// As ReadStartupKey, for one value and for the debuggers' keys.
std::optional<std::string> ReadLogonValue(const Platform& platform, const StartupSource& source,
                                          const std::string& system_dir,
                                          std::vector<StartupRow>& rows, LoadErrors& errors,
                                          const std::optional<std::string>& same_as);
std::optional<std::string> ReadDebuggers(RegistryBackend& registry, const StartupSource& source,
                                         std::vector<StartupRow>& rows, LoadErrors& errors,
                                         const std::optional<std::string>& same_as);

}  // namespace cu
