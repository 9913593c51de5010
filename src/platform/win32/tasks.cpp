#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

#include <taskschd.h>

#include <cstring>

namespace cu::win32 {
namespace {

uint32_t CodeOf(HRESULT hr) {
  if (SUCCEEDED(hr)) return ERROR_SUCCESS;
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32) return HRESULT_CODE(hr);
  return static_cast<uint32_t>(hr);
}

UniqueBstr Bstr(const std::wstring& text) {
  return UniqueBstr(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

std::string FromBstr(const UniqueBstr& text) {
  return text ? ToCodePage(text.get(), ::SysStringLen(text.get())) : std::string();
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// A collection's item by its 1-based position.
VARIANT Position(LONG position) {
  VARIANT index;
  ::VariantInit(&index);
  index.vt = VT_I4;
  index.lVal = position;
  return index;
}

// The service, connected to this machine as the calling user.
HRESULT Connect(ComPtr<ITaskService>& service) {
  HRESULT hr = ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ITaskService, service.receive());
  if (FAILED(hr)) return hr;
  VARIANT none;
  ::VariantInit(&none);
  return service->Connect(none, none, none, none);
}

// The folder that holds the task at `path` and the task's name in it:
// "\Vendor\Updater" is "Updater" in "\Vendor", "\Updater" is in the root.
HRESULT OpenFolderOf(const std::string& path, ComPtr<ITaskFolder>& folder, UniqueBstr& name) {
  // Split in UTF-16, where a backslash is never part of another character.
  const std::wstring wide = ToWide(path);
  const std::size_t slash = wide.find_last_of(L'\\');
  const std::wstring parent = slash == std::wstring::npos || slash == 0 ? L"\\" : wide.substr(0, slash);
  const std::wstring leaf = slash == std::wstring::npos ? wide : wide.substr(slash + 1);
  // A path that names no task must never reach the folder's calls.
  if (leaf.empty()) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
  ComPtr<ITaskService> service;
  HRESULT hr = Connect(service);
  if (FAILED(hr)) return hr;
  const UniqueBstr folder_path = Bstr(parent);
  hr = service->GetFolder(folder_path.get(), reinterpret_cast<ITaskFolder**>(folder.receive()));
  if (FAILED(hr)) return hr;
  name = Bstr(leaf);
  return S_OK;
}

HRESULT OpenTask(const std::string& path, ComPtr<IRegisteredTask>& task) {
  ComPtr<ITaskFolder> folder;
  UniqueBstr name;
  const HRESULT hr = OpenFolderOf(path, folder, name);
  if (FAILED(hr)) return hr;
  return folder->GetTask(name.get(), reinterpret_cast<IRegisteredTask**>(task.receive()));
}

// Collects the tasks of a folder tree, leaving out one folder and below.
class TaskWalk {
 public:
  explicit TaskWalk(std::wstring skipped) : skipped_(std::move(skipped)) {
    while (!skipped_.empty() && skipped_.back() == L'\\') skipped_.pop_back();
  }

  // False when the folder's tasks or subfolders cannot be enumerated.
  bool Folder(ITaskFolder& folder, bool root) {
    ComPtr<IRegisteredTaskCollection> tasks;
    HRESULT hr = folder.GetTasks(TASK_ENUM_HIDDEN,
                                 reinterpret_cast<IRegisteredTaskCollection**>(tasks.receive()));
    // A folder below the root that this user may not read holds no task the
    // user could act on; the rest of the tree is still listed.
    if (FAILED(hr)) return !root && hr == E_ACCESSDENIED;
    LONG count = 0;
    if (!Counted(tasks->get_Count(&count))) return false;
    for (LONG position = 1; position <= count; ++position) {
      ComPtr<IRegisteredTask> task;
      // A task deleted meanwhile is simply not listed.
      if (SUCCEEDED(tasks->get_Item(Position(position),
                                    reinterpret_cast<IRegisteredTask**>(task.receive())))) {
        Add(*task.get());
      }
    }

    ComPtr<ITaskFolderCollection> folders;
    hr = folder.GetFolders(0, reinterpret_cast<ITaskFolderCollection**>(folders.receive()));
    if (FAILED(hr)) return !root && hr == E_ACCESSDENIED;
    if (!Counted(folders->get_Count(&count))) return false;
    for (LONG position = 1; position <= count; ++position) {
      ComPtr<ITaskFolder> child;
      if (FAILED(folders->get_Item(Position(position),
                                   reinterpret_cast<ITaskFolder**>(child.receive())))) {
        continue;
      }
      UniqueBstr path;
      if (SUCCEEDED(child->get_Path(path.receive())) && path && !skipped_.empty() &&
          SamePath(std::wstring(path.get(), ::SysStringLen(path.get())), skipped_)) {
        continue;
      }
      if (!Folder(*child.get(), false)) return false;
    }
    return true;
  }

  std::vector<RegisteredTask>& tasks() { return tasks_; }
  // The scheduler has no count of a collection at all.
  bool not_implemented() const { return not_implemented_; }

 private:
  bool Counted(HRESULT hr) {
    if (hr == E_NOTIMPL) not_implemented_ = true;
    return SUCCEEDED(hr);
  }
  void Add(IRegisteredTask& task) {
    UniqueBstr path;
    if (FAILED(task.get_Path(path.receive())) || !path) return;
    RegisteredTask& added = tasks_.emplace_back();
    added.path = FromBstr(path);
    UniqueBstr xml;
    if (SUCCEEDED(task.get_Xml(xml.receive())) && xml) {
      // The scheduler's own UTF-16, marked so that the reader knows it.
      const std::size_t bytes = std::size_t{::SysStringLen(xml.get())} * sizeof(wchar_t);
      added.xml.assign("\xFF\xFE", 2);
      added.xml.resize(2 + bytes);
      std::memcpy(added.xml.data() + 2, xml.get(), bytes);
    }
    VARIANT_BOOL enabled = VARIANT_FALSE;
    if (SUCCEEDED(task.get_Enabled(&enabled))) added.enabled = enabled != VARIANT_FALSE;
  }

  std::wstring skipped_;
  std::vector<RegisteredTask> tasks_;
  bool not_implemented_ = false;
};

}  // namespace

std::optional<std::vector<RegisteredTask>> Win32TaskScheduler::AllTasks(
    const std::string& skipped_folder) {
  if (cannot_count_) return std::nullopt;
  ComPtr<ITaskService> service;
  if (FAILED(Connect(service))) return std::nullopt;
  ComPtr<ITaskFolder> root;
  const UniqueBstr root_path = Bstr(L"\\");
  if (FAILED(service->GetFolder(root_path.get(), reinterpret_cast<ITaskFolder**>(root.receive())))) {
    return std::nullopt;
  }
  TaskWalk walk(ToWide(skipped_folder));
  if (!walk.Folder(*root.get(), true)) {
    if (walk.not_implemented()) cannot_count_ = true;
    return std::nullopt;
  }
  return std::move(walk.tasks());
}

std::optional<bool> Win32TaskScheduler::TaskEnabled(const std::string& path) {
  ComPtr<IRegisteredTask> task;
  if (FAILED(OpenTask(path, task))) return std::nullopt;
  VARIANT_BOOL enabled = VARIANT_FALSE;
  if (FAILED(task->get_Enabled(&enabled))) return std::nullopt;
  return enabled != VARIANT_FALSE;
}

uint32_t Win32TaskScheduler::SetTaskEnabled(const std::string& path, bool enabled) {
  ComPtr<IRegisteredTask> task;
  const HRESULT hr = OpenTask(path, task);
  if (FAILED(hr)) return CodeOf(hr);
  return CodeOf(task->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE));
}

uint32_t Win32TaskScheduler::DeleteTask(const std::string& path) {
  ComPtr<ITaskFolder> folder;
  UniqueBstr name;
  const HRESULT hr = OpenFolderOf(path, folder, name);
  if (FAILED(hr)) return CodeOf(hr);
  return CodeOf(folder->DeleteTask(name.get(), 0));
}

}  // namespace cu::win32
