#pragma once

// The task scheduler: registered tasks with their definitions, switched and
// deleted by their path. Part of the seam (see platform.h).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cu {

// One registered task as the scheduler lists it.
struct RegisteredTask {
  std::string path;  // as the scheduler shows it: "\Vendor\Updater"
  // The task's definition, the bytes of an XML document as the scheduler
  // gives them (with their encoding mark, UTF-16 or UTF-8).
  std::string xml;
  // The task's own Enabled setting as the scheduler keeps it; nullopt when
  // it did not say, and the definition's settings tell.
  std::optional<bool> enabled;
};

class TaskScheduler {
 public:
  virtual ~TaskScheduler() = default;
  // Every registered task of every folder, hidden ones included, leaving out
  // the folder `skipped_folder` ("\Microsoft\Windows", compared without
  // letter case) and everything below it. nullopt when the scheduler cannot
  // be reached or cannot enumerate its tasks; the task store's files are then
  // the only way to read them.
  [[nodiscard]] virtual std::optional<std::vector<RegisteredTask>> AllTasks(
      const std::string& skipped_folder) = 0;
  // The task's own Enabled setting as the scheduler keeps it now; nullopt
  // when the task cannot be read.
  [[nodiscard]] virtual std::optional<bool> TaskEnabled(const std::string& path) = 0;
  // Sets the task's Enabled setting. kErrorSuccess when the scheduler took
  // the call (which does not prove that it switched), else the system's code.
  [[nodiscard]] virtual uint32_t SetTaskEnabled(const std::string& path, bool enabled) = 0;
  // Deletes the task. kErrorSuccess, or the system's code of the refusal.
  [[nodiscard]] virtual uint32_t DeleteTask(const std::string& path) = 0;
};

}  // namespace cu
