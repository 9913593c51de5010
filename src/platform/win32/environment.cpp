#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

#include <shellapi.h>

namespace cu::win32 {

std::string Win32Environment::WindowsDirectory() {
  return FetchText(MAX_PATH, CountStyle::kLengthOrNeeded, [](char* buffer, DWORD size) {
           return ::GetWindowsDirectoryA(buffer, size);
         }).value_or(std::string());
}

std::string Win32Environment::SystemDirectory() {
  return FetchText(MAX_PATH, CountStyle::kLengthOrNeeded, [](char* buffer, DWORD size) {
           return ::GetSystemDirectoryA(buffer, size);
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

bool Win32Environment::Is64BitWindows() {
  using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  const auto is_wow64_process2 = reinterpret_cast<IsWow64Process2Fn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "IsWow64Process2")));
  USHORT process = 0;
  USHORT native = 0;
  if (is_wow64_process2 && is_wow64_process2(::GetCurrentProcess(), &process, &native)) {
    return native == IMAGE_FILE_MACHINE_AMD64 || native == IMAGE_FILE_MACHINE_ARM64 ||
           native == IMAGE_FILE_MACHINE_IA64;
  }
  SYSTEM_INFO info{};
  ::GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
         info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64 ||
         info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

uint64_t Win32Environment::CurrentFileTime() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

std::optional<LocalTime> Win32Environment::LocalTimeOf(uint64_t utc_file_time) {
  FILETIME utc{};
  utc.dwLowDateTime = static_cast<DWORD>(utc_file_time & 0xFFFFFFFFu);
  utc.dwHighDateTime = static_cast<DWORD>(utc_file_time >> 32);
  SYSTEMTIME universal{};
  SYSTEMTIME local{};
  if (!::FileTimeToSystemTime(&utc, &universal) ||
      !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
    return std::nullopt;
  }
  return LocalTime{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

void Win32Environment::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

uint64_t Win32Environment::TickCount() { return ::GetTickCount64(); }

Elevation Win32Environment::TokenElevation() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return Elevation::kDefault;
  const UniqueFile token(raw);
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenElevationType, &type, sizeof type, &size)) {
    return Elevation::kDefault;
  }
  switch (type) {
    case TokenElevationTypeFull: return Elevation::kFull;
    case TokenElevationTypeLimited: return Elevation::kLimited;
    default: return Elevation::kDefault;
  }
}

uint32_t Win32Environment::RelaunchElevated(const std::string& arguments) {
  // A path that fills the buffer is cut: the next round gives more room.
  const std::optional<std::string> program =
      FetchText(MAX_PATH, CountStyle::kLengthOrNeeded, [](char* buffer, DWORD size) {
        return ::GetModuleFileNameA(nullptr, buffer, size);
      });
  if (!program) return ::GetLastError();
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
  info.lpVerb = "runas";
  info.lpFile = program->c_str();
  info.lpParameters = arguments.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExA(&info)) return ::GetLastError();
  if (info.hProcess != nullptr) {
    const UniqueFile process(info.hProcess);
    // Until its window takes input, so the user is never left without one.
    (void)::WaitForInputIdle(process.get(), 10000);
  }
  return ERROR_SUCCESS;
}

std::string Win32Environment::ErrorText(uint32_t error) { return SystemMessage(error); }

}  // namespace cu::win32
