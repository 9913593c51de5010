#pragma once

// The Services tab's talks with the service control manager: the report on
// one service, its description, start, stop and delete. Every manager and
// service handle lives only for the one call that opened it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "presenter/progress.h"
#include "presenter/signatures.h"

namespace cu {

// Waiting for a service. A service may stay pending for ever while reporting
// the same check point, and may give a wait hint of 0 or of hours, so the
// waits are bounded:
// - the whole wait of one start or one stop lasts at most kServiceWaitLimitMs
//   by Environment::TickCount; then the caller goes on as if the wait had
//   ended with the state last reported (a stop that is still pending counts
//   as not stopped);
// - between two status queries the wait pauses for a tenth of the service's
//   last wait hint, kept within kServicePollMinMs..kServicePollMaxMs, so a
//   hint of 0 never spins and a huge hint never stalls a service that is
//   already done.
// A check point lower than the one before ends the wait; an equal or higher
// one goes on waiting.
inline constexpr uint64_t kServiceWaitLimitMs = 60000;
inline constexpr uint32_t kServicePollMinMs = 50;
inline constexpr uint32_t kServicePollMaxMs = 1000;

// The pause before the next status query for a service's wait hint.
[[nodiscard]] uint32_t ServicePollPause(uint32_t wait_hint);

// Report texts for SERVICE_STATUS::dwServiceType and dwCurrentState; empty
// for values without a text (a type of 288, for one).
[[nodiscard]] std::string_view ServiceTypeText(uint32_t type);
[[nodiscard]] std::string_view ServiceStateText(uint32_t state);
// The start-type text for 0 to 4; nullopt for others (the line is left out).
[[nodiscard]] std::optional<std::string_view> StartTypeText(uint32_t start_type);

// The file that the "(File not found!)" check looks for: the program path
// lower-cased by the system's ANSI mapping, cut after its first ".exe",
// trimmed, one leading double or single quote dropped and trimmed again. nullopt when the path
// holds no ".exe" (no check). Environment variables are left as they are.
[[nodiscard]] std::optional<std::string> ExecutableCheckPath(Locale& locale,
                                                             std::string_view binary_path);

struct ServiceReport {
  // Lines joined by CR LF, none after the last: "Service Name:", then as far
  // as the manager answers "Service Type:", "Current State:", "Start Type: ",
  // "BinaryPathName:", "(File not found!)", "ServiceStartName:",
  // "Dependencies:" (every name, joined by ", ").
  std::string text;
  // True only when the manager reported SERVICE_RUNNING just now.
  bool running = false;
};

// The report on one service. Never fails: what cannot be read is left out.
// "Start Type: " reads "Auto Start (Delayed)" for a delayed automatic start,
// and a last line "Dependents:" names (display names, joined by ", ") every
// service that depends on this one, left out when there is none.
// With `signatures`, the program's file (ExecutableCheckPath), when found,
// adds "Signature:" TAB <SignatureText> right after "BinaryPathName:".
[[nodiscard]] ServiceReport GetServiceInfo(const Platform& platform, const std::string& machine,
                                           const std::string& service_name,
                                           SignatureVerifier* signatures = nullptr);

// The file a service of this computer runs, as its report checks it; nullopt
// when the manager does not say or the path names no program.
[[nodiscard]] std::optional<std::string> ServiceProgramFile(const Platform& platform,
                                                            const std::string& service_name);

// The "Description" value of the service's key under HKEY_LOCAL_MACHINE,
// read with KEY_READ; empty when the key or the value is missing. Throws the
// registry layer's AppError for a value that is not text.
[[nodiscard]] std::string ReadServiceDescription(RegistryBackend& registry,
                                                 const std::string& service_name);

// Asks the service to start and waits, bounded as above, while it reports a
// state other than running. With `progress` the wait also ends when Stop is
// asked for (before a pause or a status query); the service keeps whatever
// state it reaches. kErrorSuccess when the manager took the request and the
// service did not end stopped with an error; else the system's error code
// (the refusal of the open or the start, or the service's exit code).
[[nodiscard]] uint32_t StartServiceAndWait(const Platform& platform, const std::string& machine,
                                           const std::string& service_name,
                                           Progress* progress = nullptr);

// Asks the service to stop and waits, bounded as above, while it reports a
// state other than stopped. True exactly when the last state the manager
// reported is SERVICE_STOPPED; a service that was not running reports that
// state at once.
// A wait ended by Stop counts by the state last reported, as one that ran out.
// With `refusal`, the system's error code goes there when the service could
// not be opened for stopping or refused the stop (kErrorSuccess otherwise).
[[nodiscard]] bool StopServiceAndWait(const Platform& platform, const std::string& machine,
                                      const std::string& service_name, Progress* progress = nullptr,
                                      uint32_t* refusal = nullptr);

// Asks the service of the local computer to start and does not wait; true
// when the manager accepted the request.
[[nodiscard]] bool RequestServiceStart(const Platform& platform, const std::string& service_name);

// The state the service of the local computer reports now (kServiceStopped,
// kServiceRunning...); nullopt when it cannot be opened or queried.
[[nodiscard]] std::optional<uint32_t> ServiceStateNow(const Platform& platform,
                                                      const std::string& service_name);

// Marks the service of the local computer for deletion; kErrorSuccess, or
// the system's error code. Asks only for the rights that needs:
// SC_MANAGER_CONNECT and DELETE.
[[nodiscard]] uint32_t DeleteServiceByName(ServiceManager& services,
                                           const std::string& service_name);

// Names joined by ", ", empty ones left out.
[[nodiscard]] std::string JoinNames(const std::vector<std::string>& names);

// One entry of the Info dialog's start-type list.
struct StartTypeChoice {
  const char* text;
  uint32_t start_type;
  bool delayed;
};
// Automatic, Automatic (delayed start), Manual, Disabled: the types a user
// may choose (Boot and System are drivers' own).
[[nodiscard]] const std::vector<StartTypeChoice>& StartTypeChoices();
// The entry that matches a configuration; nullopt for Boot and System.
[[nodiscard]] std::optional<std::size_t> StartTypeChoiceOf(const ServiceConfig& config);

// The configuration of one service on the local computer; nullopt when it
// cannot be read.
[[nodiscard]] std::optional<ServiceConfig> ReadServiceConfig(const Platform& platform,
                                                             const std::string& service_name);
// Sets the start type; 0 on success, else the system's error code, also
// when the service does not open (access denied, no such service).
[[nodiscard]] uint32_t SetServiceStartType(const Platform& platform,
                                           const std::string& service_name,
                                           const StartTypeChoice& choice);
// The active services that depend on this one, the deepest first; none when
// the manager cannot tell.
[[nodiscard]] std::vector<ServiceRecord> RunningDependents(const Platform& platform,
                                                           const std::string& service_name);

}  // namespace cu
