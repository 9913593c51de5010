#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>

#include "platform/errors.h"

namespace cu::win32 {

std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  UniqueHlocal owner(text);
  std::string message = length > 0 && text ? std::string(text, length) : std::string();
  while (!message.empty() && static_cast<unsigned char>(message.back()) <= ' ') message.pop_back();
  if (message.empty()) {
    char fallback[40];
    if (code & 0x80000000u) {
      std::snprintf(fallback, sizeof fallback, "System error 0x%08lX",
                    static_cast<unsigned long>(code));
    } else {
      std::snprintf(fallback, sizeof fallback, "System error %lu",
                    static_cast<unsigned long>(code));
    }
    message = fallback;
  }
  return message;
}

std::wstring ToWide(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string ToCodePage(const wchar_t* text, std::size_t length) {
  if (length == 0) return {};
  const int size = static_cast<int>(length);
  const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text, size, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string result(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, size, result.data(), bytes, nullptr, nullptr);
  return result;
}

void Win32Shell::OpenItem(const std::string& target) {
  // What the associated program does with it is its own business.
  (void)::ShellExecuteA(static_cast<HWND>(owner_.hwnd), nullptr, target.c_str(), nullptr, nullptr,
                        SW_SHOW);
}

void Win32Shell::ShowPropertiesSheet(const std::string& path) {
  // Quoted so that a path with blanks stays one item; a quote inside is doubled.
  std::string quoted = "\"";
  for (char c : path) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  quoted += '"';
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_INVOKEIDLIST;
  info.lpVerb = "properties";
  info.lpFile = quoted.c_str();
  (void)::ShellExecuteExA(&info);
}

namespace {

class Win32ShortcutResolver : public ShortcutResolver {
 public:
  Win32ShortcutResolver(ComPtr<IShellLinkA> link, ComPtr<IPersistFile> file)
      : link_(std::move(link)), file_(std::move(file)) {}

  std::string Resolve(const std::string& path) override {
    const std::wstring wide = ToWide(path);
    // After a failed Load the object still holds the previous shortcut.
    if (FAILED(file_->Load(wide.c_str(), STGM_READ))) return {};
    char target[MAX_PATH] = {};
    WIN32_FIND_DATAA ignored{};
    // A shortcut without a file-system target leaves the buffer empty.
    (void)link_->GetPath(target, MAX_PATH, &ignored, SLGP_UNCPRIORITY);
    return std::string(target, ::strnlen(target, sizeof target));
  }

 private:
  ComPtr<IShellLinkA> link_;
  ComPtr<IPersistFile> file_;
};

}  // namespace

std::unique_ptr<ShortcutResolver> Win32Shell::OpenShortcutResolver() {
  ComPtr<IUnknown> object;
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr,
                                  CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                  object.receive());
  if (FAILED(hr)) throw AppError(SystemMessage(static_cast<DWORD>(hr)));

  ComPtr<IShellLinkA> link;
  hr = object->QueryInterface(IID_IShellLinkA, link.receive());
  if (FAILED(hr)) throw AppError(SystemMessage(static_cast<DWORD>(hr)));
  ComPtr<IPersistFile> file;
  hr = object->QueryInterface(IID_IPersistFile, file.receive());
  if (FAILED(hr)) throw AppError(SystemMessage(static_cast<DWORD>(hr)));
  return std::make_unique<Win32ShortcutResolver>(std::move(link), std::move(file));
}

}  // namespace cu::win32
