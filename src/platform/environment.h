#pragma once

// The process's environment: system folders, expansion, clock, the token's elevation and a restart elevated. Part of the seam (see platform.h).

#include <cstdint>
#include <optional>
#include <string>

#include "platform/locale.h"

namespace cu {

// How the process's token stands towards elevation (User Account Control).
enum class Elevation {
  kDefault,  // no second token: a standard user, or User Account Control off
  kFull,     // elevated
  kLimited,  // an administrator's filtered token, which can be elevated
};

class Environment {
 public:
  virtual ~Environment() = default;
  [[nodiscard]] virtual Elevation TokenElevation() = 0;
  // Starts this program again, elevated (ShellExecuteEx with the verb
  // "runas"), with `arguments`, and returns once the new process has
  // started: kErrorSuccess, kErrorCancelled when the user declined the
  // elevation prompt, else the system's error code.
  [[nodiscard]] virtual uint32_t RelaunchElevated(const std::string& arguments) = 0;
  // The system's message text for an error code, without the line end.
  [[nodiscard]] virtual std::string ErrorText(uint32_t error) = 0;
  // Empty when the query fails. Any length of result is returned whole.
  [[nodiscard]] virtual std::string WindowsDirectory() = 0;
  // The system folder ("C:\Windows\system32"); empty when the query fails.
  [[nodiscard]] virtual std::string SystemDirectory() = 0;
  [[nodiscard]] virtual std::string TempPath() = 0;
  // nullopt when the expansion fails.
  [[nodiscard]] virtual std::optional<std::string> ExpandEnvironmentStrings(const std::string& text) = 0;
  [[nodiscard]] virtual bool IsNtFamily() = 0;
  // True on 64-bit Windows, where the registry has a 32-bit view besides
  // the native one. Asked of the system, not taken from the build.
  [[nodiscard]] virtual bool Is64BitWindows() = 0;
  // The current time as a UTC FILETIME (100-ns intervals since 1601).
  [[nodiscard]] virtual uint64_t CurrentFileTime() = 0;
  // A UTC FILETIME in the user's local time; nullopt when it cannot be converted.
  [[nodiscard]] virtual std::optional<LocalTime> LocalTimeOf(uint64_t utc_file_time) = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Milliseconds from an arbitrary start; only differences are meaningful.
  [[nodiscard]] virtual uint64_t TickCount() = 0;
};

}  // namespace cu
