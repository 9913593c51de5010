#pragma once

// The service control manager. Part of the seam (see platform.h).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace cu {

inline constexpr uint32_t kServiceWin32 = 48;
inline constexpr uint32_t kServiceStateAll = 3;
inline constexpr uint32_t kServiceStopped = 1;
inline constexpr uint32_t kServiceStartPending = 2;
inline constexpr uint32_t kServiceStopPending = 3;
inline constexpr uint32_t kServiceRunning = 4;

inline constexpr uint32_t kScManagerConnect = 1;
inline constexpr uint32_t kScManagerCreateService = 2;
inline constexpr uint32_t kScManagerEnumerateService = 4;
inline constexpr uint32_t kServiceQueryConfig = 1;
inline constexpr uint32_t kServiceQueryStatus = 4;
inline constexpr uint32_t kServiceStart = 0x10;
inline constexpr uint32_t kServiceStop = 0x20;
inline constexpr uint32_t kServiceChangeConfig = 2;
inline constexpr uint32_t kServiceEnumerateDependents = 8;
inline constexpr uint32_t kServiceAllAccess = 0xF01FF;
// The standard right to delete an object: all that DeleteService needs.
inline constexpr uint32_t kDelete = 0x10000;

// Start types (dwStartType).
inline constexpr uint32_t kStartBoot = 0;
inline constexpr uint32_t kStartSystem = 1;
inline constexpr uint32_t kStartAuto = 2;
inline constexpr uint32_t kStartDemand = 3;
inline constexpr uint32_t kStartDisabled = 4;

// The manager's answer that the Services tab acts on.
inline constexpr uint32_t kErrorDependentServicesRunning = 1051;
inline constexpr uint32_t kErrorServiceDoesNotExist = 1060;

struct ServiceStatus {
  uint32_t service_type = 0;
  uint32_t current_state = 0;
  uint32_t controls_accepted = 0;
  uint32_t win32_exit_code = 0;
  uint32_t service_exit_code = 0;
  uint32_t check_point = 0;
  uint32_t wait_hint = 0;  // milliseconds
};

struct ServiceRecord {
  std::string service_name;
  std::string display_name;
  ServiceStatus status;
};

struct ServiceConfig {
  uint32_t service_type = 0;
  uint32_t start_type = 0;
  std::string binary_path;
  std::string service_start_name;
  std::vector<std::string> dependencies;  // every name of the double-NUL list, in order
  // An automatic start delayed after boot (SERVICE_CONFIG_DELAYED_AUTO_START_INFO);
  // false where that cannot be read.
  bool delayed_auto_start = false;
};

// An open manager or service handle. Closed by the destructor.
class ScHandle {
 public:
  virtual ~ScHandle() = default;
  ScHandle() = default;
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
};

struct ControlResult {
  bool accepted = false;
  std::optional<ServiceStatus> status;  // filled on success and when the service reported its state
  uint32_t error = 0;                   // the system's error code of a refusal
};

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // Empty machine name is the local computer. Null on failure, LastError
  // then telling why.
  [[nodiscard]] virtual std::unique_ptr<ScHandle> OpenManager(const std::string& machine,
                                                              uint32_t access) = 0;
  // One sizing call, then one full call: the records returned, in the
  // manager's order; empty when either call fails.
  [[nodiscard]] virtual std::vector<ServiceRecord> Enumerate(ScHandle& manager, uint32_t type,
                                                             uint32_t state) = 0;
  // Null on failure, LastError then telling why (access denied, no such
  // service).
  [[nodiscard]] virtual std::unique_ptr<ScHandle> OpenService(ScHandle& manager,
                                                              const std::string& name,
                                                              uint32_t access) = 0;
  // The system's error code of the last OpenManager, OpenService, Start or
  // Delete that failed on the calling thread; never 0 once one has failed. Closing
  // handles in between does not change it.
  [[nodiscard]] virtual uint32_t LastError() = 0;
  [[nodiscard]] virtual std::optional<ServiceStatus> QueryStatus(ScHandle& service) = 0;
  // Sizing call, then the full call; nullopt when the sizing call does not
  // fail with ERROR_INSUFFICIENT_BUFFER or the full call fails.
  [[nodiscard]] virtual std::optional<ServiceConfig> QueryConfig(ScHandle& service) = 0;
  // LastError tells why it failed.
  [[nodiscard]] virtual bool Start(ScHandle& service) = 0;
  [[nodiscard]] virtual ControlResult Stop(ScHandle& service) = 0;
  [[nodiscard]] virtual bool Delete(ScHandle& service) = 0;
  // ChangeServiceConfig with only the start type, then for an automatic
  // start ChangeServiceConfig2 with the delayed flag. 0 on success, else the
  // system's error code; the handle needs SERVICE_CHANGE_CONFIG.
  [[nodiscard]] virtual uint32_t ChangeStartType(ScHandle& service, uint32_t start_type,
                                                 bool delayed) = 0;
  // EnumDependentServices: every service that depends on this one, directly
  // or not, in the state asked for (1 active, 2 inactive, 3 all), in the
  // order they must be stopped (the deepest first); nullopt when the call
  // fails. The handle needs SERVICE_ENUMERATE_DEPENDENTS.
  [[nodiscard]] virtual std::optional<std::vector<ServiceRecord>> Dependents(ScHandle& service,
                                                                             uint32_t state) = 0;
  // The system's message text for an error code, without the line end.
  [[nodiscard]] virtual std::string ErrorText(uint32_t error) = 0;
};

}  // namespace cu
