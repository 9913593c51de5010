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

std::unique_ptr<ScHandle> Wrap(SC_HANDLE raw) {
  UniqueSc handle(raw);
  if (!handle) return nullptr;
  return std::make_unique<Win32ScHandle>(std::move(handle));
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
  if (!handle) return nullptr;
  return Wrap(::OpenServiceA(handle, name.c_str(), access));
}

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
  return result;
}

bool Win32ServiceManager::Start(ScHandle& service) {
  SC_HANDLE handle = Raw(service);
  return handle && ::StartServiceA(handle, 0, nullptr);
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
  // For these refusals the manager still reports the service's latest state.
  switch (::GetLastError()) {
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
  return handle && ::DeleteService(handle);
}

}  // namespace cu::win32
