#pragma once

// The StartUp tab on the memory machine with a scripted Ui, the world its
// load, removal and command tests share.

#include <gtest/gtest.h>

#include <string>

#include "fake_ui.h"
#include "platform/memory/memory_machine.h"
#include "presenter/system_paths.h"
#include "startup/startup_tab.h"

namespace cu::testing {

class StartupTabTest : public ::testing::Test {
 protected:
  static inline const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  static inline const std::string kShellFolders =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

  memory::MemoryMachine m;
  FakeUi ui;
  SystemPaths paths{"C:\\windows", "C:\\users\\user\\Temp\\", ""};
  StartupTab tab{m.platform(), ui, paths};
};

}  // namespace cu::testing
