#include <algorithm>
#include <functional>
#include <set>

#include "platform/memory/memory_machine.h"
#include "platform/text.h"

namespace cu::memory {

namespace {

constexpr uint32_t kAcceptStop = 0x1;  // SERVICE_ACCEPT_STOP

bool IsPendingState(uint32_t state) {
  return state == kServiceStartPending || state == kServiceStopPending ||
         state == 5 /* continue pending */ || state == 6 /* pause pending */;
}

ServiceStatus SettledStatus(const MemoryService& service) {
  ServiceStatus status;
  status.service_type = service.type;
  status.current_state = service.state;
  if (service.state == kServiceRunning) status.controls_accepted = kAcceptStop;
  return status;
}

// Scripts usually leave the type out; the service's own type stands in.
ServiceStatus Scripted(const MemoryService& service, ServiceStatus status) {
  if (status.service_type == 0) status.service_type = service.type;
  return status;
}

}  // namespace

// A manager or service handle. It names its service by the lower-cased
// service name, so a handle to a service that has gone finds nothing.
class MemoryScHandle : public ScHandle {
 public:
  MemoryScHandle(MemoryServiceManager& owner, bool is_manager, std::string key, uint32_t access)
      : owner_(owner), is_manager_(is_manager), key_(std::move(key)), access_(access) {
    ++owner_.open_handles;
  }
  ~MemoryScHandle() override { --owner_.open_handles; }

  // The handle as one of `owner`'s, or null for a foreign handle.
  static MemoryScHandle* Of(MemoryServiceManager& owner, ScHandle& handle) {
    auto* own = dynamic_cast<MemoryScHandle*>(&handle);
    return own != nullptr && &own->owner_ == &owner ? own : nullptr;
  }

  bool is_manager() const { return is_manager_; }
  bool Allows(uint32_t rights) const { return (access_ & rights) == rights; }

  // The service this handle opened, unless it has been removed. A handle
  // opened before the service was marked for deletion still works on it.
  MemoryService* Service() const { return is_manager_ ? nullptr : Lookup(owner_, key_); }
  bool MarkedForDeletion() const { return owner_.deleted_.count(key_) != 0; }

  static MemoryService* Lookup(MemoryServiceManager& owner, const std::string& key) {
    for (MemoryService& service : owner.services_) {
      if (AsciiLower(service.name) == key) return &service;
    }
    return nullptr;
  }

  MemoryServiceManager::Pending* Pending() const {
    auto it = owner_.pending_.find(key_);
    return it == owner_.pending_.end() ? nullptr : &it->second;
  }

  void SetPending(std::vector<ServiceStatus> statuses) const {
    owner_.pending_[key_] = MemoryServiceManager::Pending{std::move(statuses), 0};
  }
  void ClearPending() const { owner_.pending_.erase(key_); }

  // The status the service reports now without moving its script on.
  ServiceStatus Current(const MemoryService& service) const {
    const MemoryServiceManager::Pending* pending = Pending();
    if (pending != nullptr && pending->next > 0) {
      return Scripted(service, pending->statuses[pending->next - 1]);
    }
    return SettledStatus(service);
  }

  // Forgets a service marked for deletion once it has stopped.
  void RemoveIfDeletedAndStopped(const MemoryService& service) const {
    if (service.state != kServiceStopped || owner_.deleted_.count(key_) == 0) return;
    Remove();
  }

  void Remove() const {
    auto& services = owner_.services_;
    services.erase(
        std::remove_if(services.begin(), services.end(),
                       [&](const MemoryService& s) { return AsciiLower(s.name) == key_; }),
        services.end());
    owner_.pending_.erase(key_);
    owner_.deleted_.erase(key_);
  }

  void MarkDeleted() const { owner_.deleted_.insert(key_); }

 private:
  MemoryServiceManager& owner_;
  bool is_manager_;
  std::string key_;
  uint32_t access_;
};

std::unique_ptr<ScHandle> MemoryServiceManager::Refuse(uint32_t error) {
  last_error_ = error;
  return nullptr;
}

std::unique_ptr<ScHandle> MemoryServiceManager::OpenManager(const std::string& machine,
                                                            uint32_t access) {
  // Only the local computer exists here: RPC_S_SERVER_UNAVAILABLE for others.
  if (!machine.empty()) return Refuse(1722);
  if (deny_manager || (access & ~manager_access) != 0) return Refuse(kErrorAccessDenied);
  return std::make_unique<MemoryScHandle>(*this, true, std::string(), access);
}

std::vector<ServiceRecord> MemoryServiceManager::Enumerate(ScHandle& manager, uint32_t type,
                                                           uint32_t state) {
  std::vector<ServiceRecord> records;
  MemoryScHandle* handle = MemoryScHandle::Of(*this, manager);
  if (handle == nullptr || !handle->is_manager() || !handle->Allows(kScManagerEnumerateService)) {
    return records;
  }
  if (state < 1 || state > kServiceStateAll) return records;  // ERROR_INVALID_PARAMETER
  for (const MemoryService& service : services_) {
    if (deleted_.count(AsciiLower(service.name)) != 0) continue;
    if ((service.type & type) == 0) continue;
    const bool active = service.state != kServiceStopped;
    if (state == 1 && !active) continue;
    if (state == 2 && active) continue;
    records.push_back(ServiceRecord{service.name, service.display_name, SettledStatus(service)});
  }
  return records;
}

std::unique_ptr<ScHandle> MemoryServiceManager::OpenService(ScHandle& manager,
                                                            const std::string& name,
                                                            uint32_t access) {
  MemoryScHandle* handle = MemoryScHandle::Of(*this, manager);
  if (handle == nullptr || !handle->is_manager()) return Refuse(6);  // ERROR_INVALID_HANDLE
  const MemoryService* service = Find(name);
  if (service == nullptr) return Refuse(kErrorServiceDoesNotExist);
  if (service->deny_open || (access & ~service->granted_access) != 0) {
    return Refuse(kErrorAccessDenied);
  }
  return std::make_unique<MemoryScHandle>(*this, false, AsciiLower(service->name), access);
}

std::optional<ServiceStatus> MemoryServiceManager::QueryStatus(ScHandle& service_handle) {
  MemoryScHandle* handle = MemoryScHandle::Of(*this, service_handle);
  if (handle == nullptr || !handle->Allows(kServiceQueryStatus)) return std::nullopt;
  MemoryService* service = handle->Service();
  if (service == nullptr || service->fail_status) return std::nullopt;
  Pending* pending = handle->Pending();
  if (pending == nullptr) return SettledStatus(*service);

  const std::size_t index = std::min(pending->next, pending->statuses.size() - 1);
  const ServiceStatus status = Scripted(*service, pending->statuses[index]);
  if (pending->next < pending->statuses.size()) ++pending->next;
  service->state = status.current_state;
  // A script that ends in a settled state is done; one that ends pending
  // keeps reporting its last status, check point and hint included.
  if (pending->next == pending->statuses.size() && !IsPendingState(status.current_state)) {
    handle->ClearPending();
  }
  handle->RemoveIfDeletedAndStopped(*service);
  return status;
}

std::optional<ServiceConfig> MemoryServiceManager::QueryConfig(ScHandle& service_handle) {
  MemoryScHandle* handle = MemoryScHandle::Of(*this, service_handle);
  if (handle == nullptr || !handle->Allows(kServiceQueryConfig)) return std::nullopt;
  const MemoryService* service = handle->Service();
  if (service == nullptr || service->fail_config) return std::nullopt;
  ServiceConfig config;
  config.service_type = service->type;
  config.start_type = service->start_type;
  config.binary_path = service->binary_path;
  config.service_start_name = service->start_name;
  config.dependencies = service->dependencies;
  config.delayed_auto_start = service->start_type == kStartAuto && service->delayed_auto_start;
  return config;
}

bool MemoryServiceManager::Start(ScHandle& service_handle) {
  MemoryScHandle* handle = MemoryScHandle::Of(*this, service_handle);
  MemoryService* service = handle != nullptr ? handle->Service() : nullptr;
  if (service == nullptr) return false;
  calls.push_back("start " + service->name);
  if (!handle->Allows(kServiceStart)) {
    last_error_ = kErrorAccessDenied;
    return false;
  }
  if (service->refuse_start) {
    last_error_ = service->start_error;
    return false;
  }
  // ERROR_SERVICE_ALREADY_RUNNING, also while it is still starting or stopping.
  if (service->state != kServiceStopped) {
    last_error_ = 1056;
    return false;
  }
  if (service->on_start.statuses.empty()) {
    service->state = kServiceRunning;
    handle->ClearPending();
  } else {
    service->state = kServiceStartPending;
    handle->SetPending(service->on_start.statuses);
  }
  return true;
}

ControlResult MemoryServiceManager::Stop(ScHandle& service_handle) {
  MemoryScHandle* handle = MemoryScHandle::Of(*this, service_handle);
  MemoryService* service = handle != nullptr ? handle->Service() : nullptr;
  if (service == nullptr) return {};
  calls.push_back("stop " + service->name);
  if (!handle->Allows(kServiceStop)) return {false, std::nullopt, kErrorAccessDenied};
  // ERROR_SERVICE_NOT_ACTIVE, which still reports the state.
  if (service->state == kServiceStopped) return {false, SettledStatus(*service), 1062};
  if (service->refuse_stop) {
    if (!service->refusal_reports_state) return {false, std::nullopt, service->stop_error};
    return {false, handle->Current(*service), service->stop_error};
  }
  for (const MemoryService* dependent : DependentsOf(AsciiLower(service->name))) {
    if (dependent->state != kServiceStopped) {
      return {false, handle->Current(*service), kErrorDependentServicesRunning};
    }
  }
  // ERROR_SERVICE_CANNOT_ACCEPT_CTRL while it is starting, stopping,
  // pausing or continuing.
  if (IsPendingState(service->state)) return {false, handle->Current(*service), 1061};

  if (service->on_stop.statuses.empty()) {
    service->state = kServiceStopped;
    handle->ClearPending();
    const ServiceStatus stopped = SettledStatus(*service);
    handle->RemoveIfDeletedAndStopped(*service);
    return {true, stopped};
  }
  service->state = kServiceStopPending;
  handle->SetPending(service->on_stop.statuses);
  // The reply shows the script's first status; the next query reports it again.
  return {true, Scripted(*service, service->on_stop.statuses.front())};
}

bool MemoryServiceManager::Delete(ScHandle& service_handle) {
  MemoryScHandle* handle = MemoryScHandle::Of(*this, service_handle);
  MemoryService* service = handle != nullptr ? handle->Service() : nullptr;
  if (service == nullptr) return false;
  calls.push_back("delete " + service->name);
  if (!handle->Allows(kDelete) || service->deny_delete) {
    last_error_ = kErrorAccessDenied;
    return false;
  }
  if (handle->MarkedForDeletion()) {
    last_error_ = 1072;  // ERROR_SERVICE_MARKED_FOR_DELETE
    return false;
  }
  if (service->state == kServiceStopped && handle->Pending() == nullptr) {
    handle->Remove();
  } else {
    handle->MarkDeleted();
  }
  return true;
}

void MemoryServiceManager::Add(MemoryService service) { services_.push_back(std::move(service)); }

MemoryService* MemoryServiceManager::Find(const std::string& name) {
  const std::string key = AsciiLower(name);
  if (deleted_.count(key) != 0) return nullptr;
  return MemoryScHandle::Lookup(*this, key);
}

uint32_t MemoryServiceManager::ChangeStartType(ScHandle& service_handle, uint32_t start_type,
                                               bool delayed) {
  MemoryScHandle* handle = MemoryScHandle::Of(*this, service_handle);
  MemoryService* service = handle != nullptr ? handle->Service() : nullptr;
  if (service == nullptr) return 6;  // ERROR_INVALID_HANDLE
  calls.push_back("config " + service->name + " " + std::to_string(start_type) +
                  (start_type == kStartAuto && delayed ? " delayed" : ""));
  if (!handle->Allows(kServiceChangeConfig) || service->deny_change_config) {
    return kErrorAccessDenied;
  }
  if (start_type > kStartDisabled) return 87;  // ERROR_INVALID_PARAMETER
  service->start_type = start_type;
  if (start_type == kStartAuto) service->delayed_auto_start = delayed;
  return 0;
}

std::vector<const MemoryService*> MemoryServiceManager::DependentsOf(const std::string& key) const {
  std::vector<const MemoryService*> order;
  std::set<std::string> seen{key};
  // Depth first, each service after everything that depends on it.
  std::function<void(const std::string&)> visit = [&](const std::string& needed) {
    for (const MemoryService& service : services_) {
      const std::string name = AsciiLower(service.name);
      if (seen.count(name) != 0 || deleted_.count(name) != 0) continue;
      const bool depends =
          std::any_of(service.dependencies.begin(), service.dependencies.end(),
                      [&](const std::string& d) { return AsciiLower(d) == needed; });
      if (!depends) continue;
      seen.insert(name);
      visit(name);
      order.push_back(&service);
    }
  };
  visit(key);
  return order;
}

std::optional<std::vector<ServiceRecord>> MemoryServiceManager::Dependents(
    ScHandle& service_handle, uint32_t state) {
  MemoryScHandle* handle = MemoryScHandle::Of(*this, service_handle);
  MemoryService* service = handle != nullptr ? handle->Service() : nullptr;
  if (service == nullptr || !handle->Allows(kServiceEnumerateDependents) ||
      service->fail_dependents || state < 1 || state > kServiceStateAll) {
    return std::nullopt;
  }
  std::vector<ServiceRecord> records;
  for (const MemoryService* dependent : DependentsOf(AsciiLower(service->name))) {
    const bool active = dependent->state != kServiceStopped;
    if ((state == 1 && !active) || (state == 2 && active)) continue;
    records.push_back(
        ServiceRecord{dependent->name, dependent->display_name, SettledStatus(*dependent)});
  }
  return records;
}

std::string MemoryServiceManager::ErrorText(uint32_t error) { return ErrorTextOf(error); }

}  // namespace cu::memory
