#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

namespace cu::win32 {

std::string Win32Environment::WindowsDirectory() {
  return FetchText(MAX_PATH, CountStyle::kLengthOrNeeded, [](char* buffer, DWORD size) {
           return ::GetWindowsDirectoryA(buffer, size);
         }).value_or(std::string());
}

std::string Win32Environment::TempPath() {
  return FetchText(MAX_PATH, CountStyle::kLengthOrNeeded, [](char* buffer, DWORD size) {
           return ::GetTempPathA(size, buffer);
         }).value_or(std::string());
}

std::optional<std::string> Win32Environment::ExpandEnvironmentStrings(const std::string& text) {
  return FetchText(MAX_PATH + 1, CountStyle::kNeededAlways, [&](char* buffer, DWORD size) {
    return ::ExpandEnvironmentStringsA(text.c_str(), buffer, size);
  });
}

bool Win32Environment::IsNtFamily() {
  // Every system this 64-bit program runs on is of the NT family; the query
  // is kept so the answer comes from the system, not from the build.
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  const BOOL ok = ::GetVersionExA(&info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  return !ok || info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void Win32Environment::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

uint64_t Win32Environment::TickCount() { return ::GetTickCount64(); }

}  // namespace cu::win32
