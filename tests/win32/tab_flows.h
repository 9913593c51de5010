#pragma once

// The tab presenters on the real machine: the Win32 platform layer, the paths
// the main window records at creation, and a scripted Ui that answers the
// presenters' questions and records what they asked.

// <windows.h> (through test_support.h) comes first: the platform layer's
// handle header undoes the macros that would rename the seam's methods.
#include "test_support.h"

#include <cstdint>
#include <string>
#include <vector>

#include "../unit/fake_ui.h"
#include "platform/win32/win32_platform.h"
#include "presenter/system_paths.h"

namespace cu::win32::test {

struct RealMachine {
  Win32Machine machine;
  Platform platform = machine.platform();
  SystemPaths paths = ReadSystemPaths(platform);
  cu::testing::FakeUi ui;
};

// The lines of a text whose lines are separated by CR LF.
std::vector<std::string> SplitCrLf(const std::string& text);

// A file's size as the system reports it now.
uint64_t FileSizeOf(const std::string& path);

// The user's short date of a file's last-write time in local time.
std::string ShortDateOf(const std::string& path);

// True when `text` begins with `prefix`.
bool StartsWith(const std::string& text, const std::string& prefix);

}  // namespace cu::win32::test
