#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

namespace cu::win32 {
namespace {

class Win32ScHandle : public ScHandle {
 public:
  explicit Win32ScHandle(UniqueSc handle) : handle_(std::move(handle)) {}
  SC_HANDLE get() const { return handle_.get(); }

 private:
  UniqueSc handle_;
};

// Handles of another implementation are never valid here.
SC_HANDLE Raw(ScHandle& handle) {
  auto* own = dynamic_cast<Win32ScHandle*>(&handle);
  return own ? own->get() : nullptr;
}

// The reason the last open or start on this thread failed: kept apart from
// GetLastError, which closing the manager's handle afterwards may change.
thread_local DWORD last_open_error = 0;

// Takes GetLastError at once when the open failed.
std::unique_ptr<ScHandle> Wrap(SC_HANDLE raw) {
  if (!raw) {
    const DWORD error = ::GetLastError();
    last_open_error = error != 0 ? error : ERROR_ACCESS_DENIED;
    return nullptr;
  }
  return std::make_unique<Win32ScHandle>(UniqueSc(raw));
}

ServiceStatus ToStatus(const SERVICE_STATUS& s) {
  ServiceStatus status;
  status.service_type = s.dwServiceType;
  status.current_state = s.dwCurrentState;
  status.controls_accepted = s.dwControlsAccepted;
  status.win32_exit_code = s.dwWin32ExitCode;
  status.service_exit_code = s.dwServiceSpecificExitCode;
  status.check_point = s.dwCheckPoint;
  status.wait_hint = s.dwWaitHint;
  return status;
}

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }

// A buffer of `bytes` bytes aligned for the records the manager writes.
template <typename Record>
std::vector<Record> RecordBuffer(DWORD bytes) {
  return std::vector<Record>(bytes / sizeof(Record) + 1);
}

}  // namespace

std::vector<std::string> SplitNulList(const char* list, const char* end) {
  std::vector<std::string> names;
  while (list < end && *list != '\0') {
    const std::size_t length = ::strnlen(list, static_cast<std::size_t>(end - list));
    names.emplace_back(list, length);
    list += length + 1;
  }
  return names;
}

std::unique_ptr<ScHandle> Win32ServiceManager::OpenManager(const std::string& machine,
                                                           uint32_t access) {
  return Wrap(::OpenSCManagerA(machine.empty() ? nullptr : machine.c_str(), nullptr, access));
}

std::vector<ServiceRecord> Win32ServiceManager::Enumerate(ScHandle& manager, uint32_t type,
                                                          uint32_t state) {
  std::vector<ServiceRecord> records;
  SC_HANDLE handle = Raw(manager);
  if (!handle) return records;
  DWORD needed = 0;
  DWORD returned = 0;
  DWORD resume = 0;
  if (::EnumServicesStatusA(handle, type, state, nullptr, 0, &needed, &returned, &resume)) {
    return records;  // nothing to list
  }
  if (::GetLastError() != ERROR_MORE_DATA || needed == 0) return records;

  std::vector<ENUM_SERVICE_STATUSA> buffer = RecordBuffer<ENUM_SERVICE_STATUSA>(needed);
  returned = 0;
  // One call is the whole enumeration. When it reports more data than it
  // returned (services added in between, or a limit on one batch), the
  // records it did return are still listed.
  if (!::EnumServicesStatusA(handle, type, state, buffer.data(), needed, &needed, &returned,
                             &resume) &&
      ::GetLastError() != ERROR_MORE_DATA) {
    return records;
  }
  records.reserve(returned);
  for (DWORD i = 0; i < returned && i < buffer.size(); ++i) {
    const ENUM_SERVICE_STATUSA& entry = buffer[i];
    records.push_back(ServiceRecord{Text(entry.lpServiceName), Text(entry.lpDisplayName),
                                    ToStatus(entry.ServiceStatus)});
  }
  return records;
}

std::unique_ptr<ScHandle> Win32ServiceManager::OpenService(ScHandle& manager,
                                                           const std::string& name,
                                                           uint32_t access) {
  SC_HANDLE handle = Raw(manager);
  if (!handle) {
    last_open_error = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  return Wrap(::OpenServiceA(handle, name.c_str(), access));
}

uint32_t Win32ServiceManager::LastError() { return last_open_error; }

std::optional<ServiceStatus> Win32ServiceManager::QueryStatus(ScHandle& service) {
  SC_HANDLE handle = Raw(service);
  SERVICE_STATUS status{};
  if (!handle || !::QueryServiceStatus(handle, &status)) return std::nullopt;
  return ToStatus(status);
}

std::optional<ServiceConfig> Win32ServiceManager::QueryConfig(ScHandle& service) {
  SC_HANDLE handle = Raw(service);
  if (!handle) return std::nullopt;
  DWORD needed = 0;
  if (::QueryServiceConfigA(handle, nullptr, 0, &needed) ||
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) {
    return std::nullopt;
  }
  std::vector<QUERY_SERVICE_CONFIGA> buffer = RecordBuffer<QUERY_SERVICE_CONFIGA>(needed);
  auto* config = buffer.data();
  if (!::QueryServiceConfigA(handle, config, needed, &needed)) return std::nullopt;

  ServiceConfig result;
  result.service_type = config->dwServiceType;
  result.start_type = config->dwStartType;
  result.binary_path = Text(config->lpBinaryPathName);
  result.service_start_name = Text(config->lpServiceStartName);
  if (config->lpDependencies) {
    // The list lies in the buffer, whose end bounds it.
    const char* end = reinterpret_cast<const char*>(buffer.data() + buffer.size());
    const char* list = config->lpDependencies;
    if (list < reinterpret_cast<const char*>(buffer.data()) || list >= end) {
      end = list + ::strlen(list) + 1;  // elsewhere: trust one name only
    }
    result.dependencies = SplitNulList(list, end);
  }
  if (result.start_type == SERVICE_AUTO_START) {
    SERVICE_DELAYED_AUTO_START_INFO delayed{};
    DWORD size = 0;
    if (::QueryServiceConfig2W(handle, SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
                               reinterpret_cast<BYTE*>(&delayed), sizeof delayed, &size)) {
      result.delayed_auto_start = delayed.fDelayedAutostart != FALSE;
    }
  }
  return result;
}

bool Win32ServiceManager::Start(ScHandle& service) {
  SC_HANDLE handle = Raw(service);
  if (handle && ::StartServiceA(handle, 0, nullptr)) return true;
  const DWORD error = handle ? ::GetLastError() : ERROR_INVALID_HANDLE;
  last_open_error = error != 0 ? error : ERROR_SERVICE_REQUEST_TIMEOUT;
  return false;
}

ControlResult Win32ServiceManager::Stop(ScHandle& service) {
  ControlResult result;
  SC_HANDLE handle = Raw(service);
  if (!handle) return result;
  SERVICE_STATUS status{};
  if (::ControlService(handle, SERVICE_CONTROL_STOP, &status)) {
    result.accepted = true;
    result.status = ToStatus(status);
    return result;
  }
  result.error = ::GetLastError();
  // For these refusals the manager still reports the service's latest state.
  switch (result.error) {
    case ERROR_SERVICE_NOT_ACTIVE:
    case ERROR_SERVICE_CANNOT_ACCEPT_CTRL:
    case ERROR_INVALID_SERVICE_CONTROL:
      result.status = ToStatus(status);
      break;
    default:
      break;
  }
  return result;
}

bool Win32ServiceManager::Delete(ScHandle& service) {
  SC_HANDLE handle = Raw(service);
  if (handle && ::DeleteService(handle)) return true;
  last_open_error = handle ? ::GetLastError() : ERROR_INVALID_HANDLE;
  return false;
}

uint32_t Win32ServiceManager::ChangeStartType(ScHandle& service, uint32_t start_type,
                                              bool delayed) {
  SC_HANDLE handle = Raw(service);
  if (!handle) return ERROR_INVALID_HANDLE;
  // The flag (a structure without text, so the W call is the A call) is set
  // before a delayed start's type, so that a manager without delayed starts
  // (Wine answers ERROR_INVALID_LEVEL) refuses it with nothing changed.
  SERVICE_DELAYED_AUTO_START_INFO info{};
  info.fDelayedAutostart = delayed ? TRUE : FALSE;
  const bool automatic = start_type == SERVICE_AUTO_START;
  if (automatic && delayed &&
      !::ChangeServiceConfig2W(handle, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info)) {
    return ::GetLastError();
  }
  if (!::ChangeServiceConfigA(handle, SERVICE_NO_CHANGE, start_type, SERVICE_NO_CHANGE, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
    return ::GetLastError();
  }
  // A plain automatic start clears the flag; without delayed starts there is
  // none to clear.
  if (automatic && !delayed &&
      !::ChangeServiceConfig2W(handle, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info) &&
      ::GetLastError() != ERROR_INVALID_LEVEL) {
    return ::GetLastError();
  }
  return 0;
}

std::optional<std::vector<ServiceRecord>> Win32ServiceManager::Dependents(ScHandle& service,
                                                                          uint32_t state) {
  SC_HANDLE handle = Raw(service);
  if (!handle) return std::nullopt;
  std::vector<ServiceRecord> records;
  DWORD needed = 0;
  DWORD returned = 0;
  if (::EnumDependentServicesA(handle, state, nullptr, 0, &needed, &returned)) return records;
  if (::GetLastError() != ERROR_MORE_DATA || needed == 0) return std::nullopt;
  std::vector<ENUM_SERVICE_STATUSA> buffer = RecordBuffer<ENUM_SERVICE_STATUSA>(needed);
  if (!::EnumDependentServicesA(handle, state, buffer.data(), needed, &needed, &returned)) {
    return std::nullopt;
  }
  for (DWORD i = 0; i < returned && i < buffer.size(); ++i) {
    const ENUM_SERVICE_STATUSA& entry = buffer[i];
    records.push_back(ServiceRecord{Text(entry.lpServiceName), Text(entry.lpDisplayName),
                                    ToStatus(entry.ServiceStatus)});
  }
  return records;
}

std::string Win32ServiceManager::ErrorText(uint32_t error) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 && text ? std::string(text, length) : std::string();
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ')) {
    message.pop_back();
  }
  return message.empty() ? "Error " + std::to_string(error) : message;
}

}  // namespace cu::win32
