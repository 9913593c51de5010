#include "services/service_control.h"

#include <algorithm>
#include <vector>

#include "platform/registry_access.h"
#include "platform/text.h"

namespace cu {

namespace {

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}


// Polls until the service reports `target`, a query fails, the check point
// goes down or the time limit passes; gives the last status reported.
ServiceStatus WaitForState(ServiceManager& services, Environment& environment,
                           ScHandle& service, ServiceStatus status, uint32_t target,
                           Progress* progress) {
  const auto stop_requested = [progress] { return progress && progress->StopRequested(); };
  const uint64_t started = environment.TickCount();
  while (status.current_state != target) {
    const uint32_t check_point = status.check_point;
    const uint64_t elapsed = environment.TickCount() - started;
    if (elapsed >= kServiceWaitLimitMs || stop_requested()) break;
    const uint64_t pause = std::min<uint64_t>(ServicePollPause(status.wait_hint),
                                              kServiceWaitLimitMs - elapsed);
    environment.Sleep(static_cast<uint32_t>(pause));
    if (stop_requested()) break;
    std::optional<ServiceStatus> next = services.QueryStatus(service);
    if (!next) break;
    status = *next;
    if (status.check_point < check_point) break;
  }
  return status;
}

}  // namespace

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    if (name.empty()) continue;
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

uint32_t ServicePollPause(uint32_t wait_hint) {
  return std::clamp<uint32_t>(wait_hint / 10, kServicePollMinMs, kServicePollMaxMs);
}

std::string_view ServiceTypeText(uint32_t type) {
  switch (type) {
    case 1: return "Windows device driver.";
    case 2: return "Windows file system driver.";
    case 16: return "Own process.";
    case 32: return "Shared process.";
    case 48: return "Own and Shared process.";
    case 256: return "Interactive with the desktop process.";
    case 272: return "Own Interactive process.";
    case 319: return "All types.";
    default: return {};
  }
}

std::string_view ServiceStateText(uint32_t state) {
  switch (state) {
    case 1: return "The service is not running.";
    case 2: return "The service is starting.";
    case 3: return "The service is stopping.";
    case 4: return "The service is running.";
    case 5: return "The service continue is pending.";
    case 6: return "The service pause is pending.";
    case 7: return "The service is paused.";
    default: return {};
  }
}

std::optional<std::string_view> StartTypeText(uint32_t start_type) {
  switch (start_type) {
    case 0: return "Boot Start";
    case 1: return "System Start";
    case 2: return "Auto Start";
    case 3: return "Demand (Manual) Start";
    case 4: return "Disabled";
    default: return std::nullopt;
  }
}

std::optional<std::string> ExecutableCheckPath(Locale& locale, std::string_view binary_path) {
  const std::string lower = locale.LowerCase(std::string(binary_path));
  const std::size_t exe = lower.find(".exe");
  if (exe == std::string::npos) return std::nullopt;
  std::string path = Trim(std::string_view(lower).substr(0, exe + 4));
  if (!path.empty() && (path.front() == '"' || path.front() == '\'')) {
    path = Trim(std::string_view(path).substr(1));
  }
  return path;
}

std::optional<std::string> ServiceProgramFile(const Platform& platform,
                                              const std::string& service_name) {
  ServiceManager& services = platform.services;
  std::unique_ptr<ScHandle> manager = services.OpenManager("", kScManagerConnect);
  if (!manager) return std::nullopt;
  std::unique_ptr<ScHandle> service = services.OpenService(*manager, service_name, kServiceQueryConfig);
  if (!service) return std::nullopt;
  const std::optional<ServiceConfig> config = services.QueryConfig(*service);
  if (!config) return std::nullopt;
  return ExecutableCheckPath(platform.locale, config->binary_path);
}

ServiceReport GetServiceInfo(const Platform& platform, const std::string& machine,
                             const std::string& service_name, SignatureVerifier* signatures) {
  ServiceReport report;
  std::vector<std::string> lines{"Service Name:\t" + service_name};
  ServiceManager& services = platform.services;
  std::unique_ptr<ScHandle> manager = services.OpenManager(machine, kScManagerConnect);
  if (!manager) {
    report.text = JoinLines(lines);
    return report;
  }
  std::unique_ptr<ScHandle> service =
      services.OpenService(*manager, service_name, kServiceQueryConfig | kServiceQueryStatus);
  if (!service) {
    report.text = JoinLines(lines);
    return report;
  }

  std::string type_line = "Service Type:\t";
  if (std::optional<ServiceStatus> status = services.QueryStatus(*service)) {
    type_line += ServiceTypeText(status->service_type);
    lines.push_back(std::move(type_line));
    lines.push_back("Current State:\t" + std::string(ServiceStateText(status->current_state)));
    report.running = status->current_state == kServiceRunning;
  } else {
    lines.push_back(std::move(type_line));
  }

  if (std::optional<ServiceConfig> config = services.QueryConfig(*service)) {
    if (config->start_type == kStartAuto && config->delayed_auto_start) {
      lines.push_back("Start Type: \tAuto Start (Delayed)");
    } else if (std::optional<std::string_view> start = StartTypeText(config->start_type)) {
      lines.push_back("Start Type: \t" + std::string(*start));
    }
    if (!config->binary_path.empty()) {
      lines.push_back("BinaryPathName:\t" + config->binary_path);
      const std::optional<std::string> program =
          ExecutableCheckPath(platform.locale, config->binary_path);
      if (program && signatures) {
        if (const std::optional<Signature> verdict = signatures->VerdictOn(*program)) {
          lines.push_back("Signature:\t" + SignatureText(*verdict));
        }
      }
      if (!report.running && program && !platform.files.FileExists(*program)) {
        lines.push_back("(File not found!)");
      }
    }
    if (!config->service_start_name.empty()) {
      lines.push_back("ServiceStartName:\t" + config->service_start_name);
    }
    // Every dependency is shown, not only the first name of the list.
    const std::string dependencies = JoinNames(config->dependencies);
    if (!dependencies.empty()) lines.push_back("Dependencies:\t" + dependencies);
  }
  // Asked through a handle of its own: a user who may read the service but
  // not list its dependents still gets the rest of the report.
  if (std::unique_ptr<ScHandle> listing =
          services.OpenService(*manager, service_name, kServiceEnumerateDependents)) {
    std::vector<std::string> names;
    for (const ServiceRecord& dependent :
         services.Dependents(*listing, kServiceStateAll).value_or(std::vector<ServiceRecord>{})) {
      names.push_back(dependent.display_name);
    }
    const std::string dependents = JoinNames(names);
    if (!dependents.empty()) lines.push_back("Dependents:\t" + dependents);
  }
  report.text = JoinLines(lines);
  return report;
}

std::string ReadServiceDescription(RegistryBackend& registry, const std::string& service_name) {
  RegistryAccess reg(registry, kKeyRead);
  reg.SetRoot(Hive::kLocalMachine);
  const std::string path = "System\\CurrentControlSet\\Services\\" + service_name;
  if (!reg.KeyExists(path) || !reg.OpenKey(path)) return {};
  if (!reg.ValueExists("Description")) return {};
  return reg.ReadString("Description");
}

uint32_t StartServiceAndWait(const Platform& platform, const std::string& machine,
                             const std::string& service_name, Progress* progress) {
  ServiceManager& services = platform.services;
  std::unique_ptr<ScHandle> manager = services.OpenManager(machine, kScManagerConnect);
  if (!manager) return services.LastError();
  std::unique_ptr<ScHandle> service =
      services.OpenService(*manager, service_name, kServiceStart | kServiceQueryStatus);
  if (!service) return services.LastError();
  if (!services.Start(*service)) return services.LastError();
  std::optional<ServiceStatus> status = services.QueryStatus(*service);
  if (!status) return kErrorSuccess;
  const ServiceStatus last =
      WaitForState(services, platform.environment, *service, *status, kServiceRunning, progress);
  // A service that gave up while starting says why in its exit code.
  if (last.current_state == kServiceStopped) return last.win32_exit_code;
  return kErrorSuccess;
}

bool StopServiceAndWait(const Platform& platform, const std::string& machine,
                        const std::string& service_name, Progress* progress, uint32_t* refusal) {
  ServiceManager& services = platform.services;
  const auto refused = [&](uint32_t error) {
    if (refusal) *refusal = error;
    return false;
  };
  if (refusal) *refusal = kErrorSuccess;
  std::unique_ptr<ScHandle> manager = services.OpenManager(machine, kScManagerConnect);
  if (!manager) return refused(services.LastError());
  std::unique_ptr<ScHandle> service =
      services.OpenService(*manager, service_name, kServiceStop | kServiceQueryStatus);
  if (!service) return refused(services.LastError());
  const ControlResult control = services.Stop(*service);
  std::optional<ServiceStatus> last = control.status;
  // A service that is not running refuses, and is stopped all the same.
  if (!control.accepted && !(last && last->current_state == kServiceStopped)) {
    return refused(control.error);
  }
  if (control.accepted) {
    if (std::optional<ServiceStatus> status = services.QueryStatus(*service)) {
      last = WaitForState(services, platform.environment, *service, *status, kServiceStopped,
                          progress);
    }
  }
  return last && last->current_state == kServiceStopped;
}

uint32_t DeleteServiceByName(ServiceManager& services, const std::string& service_name) {
  std::unique_ptr<ScHandle> manager = services.OpenManager("", kScManagerConnect);
  if (!manager) return services.LastError();
  std::unique_ptr<ScHandle> service = services.OpenService(*manager, service_name, kDelete);
  if (!service) return services.LastError();
  return services.Delete(*service) ? kErrorSuccess : services.LastError();
}

const std::vector<StartTypeChoice>& StartTypeChoices() {
  static const std::vector<StartTypeChoice> choices{{"Automatic", kStartAuto, false},
                                                    {"Automatic (delayed start)", kStartAuto, true},
                                                    {"Manual", kStartDemand, false},
                                                    {"Disabled", kStartDisabled, false}};
  return choices;
}

std::optional<std::size_t> StartTypeChoiceOf(const ServiceConfig& config) {
  const std::vector<StartTypeChoice>& choices = StartTypeChoices();
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (choices[i].start_type == config.start_type &&
        choices[i].delayed == (config.start_type == kStartAuto && config.delayed_auto_start)) {
      return i;
    }
  }
  return std::nullopt;
}

namespace {

// One service of the local computer; the manager's handle is closed at once,
// as a service handle does not need it.
std::unique_ptr<ScHandle> OpenLocalService(ServiceManager& services,
                                           const std::string& service_name, uint32_t access) {
  std::unique_ptr<ScHandle> manager = services.OpenManager("", kScManagerConnect);
  return manager ? services.OpenService(*manager, service_name, access) : nullptr;
}

}  // namespace

std::optional<ServiceConfig> ReadServiceConfig(const Platform& platform,
                                               const std::string& service_name) {
  std::unique_ptr<ScHandle> service =
      OpenLocalService(platform.services, service_name, kServiceQueryConfig);
  return service ? platform.services.QueryConfig(*service) : std::nullopt;
}

uint32_t SetServiceStartType(const Platform& platform, const std::string& service_name,
                             const StartTypeChoice& choice) {
  std::unique_ptr<ScHandle> service =
      OpenLocalService(platform.services, service_name, kServiceChangeConfig);
  if (!service) return platform.services.LastError();
  return platform.services.ChangeStartType(*service, choice.start_type, choice.delayed);
}

bool RequestServiceStart(const Platform& platform, const std::string& service_name) {
  std::unique_ptr<ScHandle> service =
      OpenLocalService(platform.services, service_name, kServiceStart);
  return service && platform.services.Start(*service);
}

std::optional<uint32_t> ServiceStateNow(const Platform& platform,
                                        const std::string& service_name) {
  std::unique_ptr<ScHandle> service =
      OpenLocalService(platform.services, service_name, kServiceQueryStatus);
  if (!service) return std::nullopt;
  const std::optional<ServiceStatus> status = platform.services.QueryStatus(*service);
  if (!status) return std::nullopt;
  return status->current_state;
}

std::vector<ServiceRecord> RunningDependents(const Platform& platform,
                                             const std::string& service_name) {
  std::unique_ptr<ScHandle> service =
      OpenLocalService(platform.services, service_name, kServiceEnumerateDependents);
  if (!service) return {};
  return platform.services.Dependents(*service, 1).value_or(std::vector<ServiceRecord>{});
}

}  // namespace cu
