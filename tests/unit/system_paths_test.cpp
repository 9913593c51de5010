// The environment paths recorded when the main window is created.
#include "presenter/system_paths.h"

#include <gtest/gtest.h>

#include "platform/memory/memory_machine.h"

namespace cu {
namespace {

constexpr char kEnvironment[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

TEST(SystemPaths, TempFallsBackFromTmpToTempAndIsExpanded) {
  memory::MemoryMachine m;
  m.environment.windows_dir = "C:\\WINDOWS";
  m.environment.temp_path = "C:\\Users\\me\\Temp";  // no trailing backslash: one is added
  m.environment.variables["SYSTEMROOT"] = "C:\\WINDOWS";
  m.registry.SetString(Hive::kLocalMachine, kEnvironment, "TMP", "");
  m.registry.SetString(Hive::kLocalMachine, kEnvironment, "TEMP", "%SystemRoot%\\TEMP", kRegExpandSz);
  SystemPaths paths = ReadSystemPaths(m.platform());
  EXPECT_EQ(paths.windows_dir, "C:\\WINDOWS");
  EXPECT_EQ(paths.user_temp_dir, "C:\\Users\\me\\Temp\\");
  EXPECT_EQ(paths.system_temp_dir, "C:\\WINDOWS\\TEMP");

  m.registry.SetString(Hive::kLocalMachine, kEnvironment, "TMP", "D:\\tmp\\");
  EXPECT_EQ(ReadSystemPaths(m.platform()).system_temp_dir, "D:\\tmp\\") << "no backslash is cut or added";

  m.environment.fail_expand = true;
  EXPECT_EQ(ReadSystemPaths(m.platform()).system_temp_dir, "");
}

TEST(SystemPaths, WrongTypeFallsBackToTempAndARefusedKeyLeavesOnlyTheSystemTempEmpty) {
  memory::MemoryMachine m;
  m.registry.SetDword(Hive::kLocalMachine, kEnvironment, "TMP", 5);
  m.registry.SetString(Hive::kLocalMachine, kEnvironment, "TEMP", "C:\\T");
  SystemPaths paths;
  ASSERT_NO_THROW(paths = ReadSystemPaths(m.platform()));
  EXPECT_EQ(paths.system_temp_dir, "C:\\T");
  EXPECT_EQ(paths.windows_dir, m.environment.windows_dir);
  // Both of a wrong type: no path, and no error.
  m.registry.SetDword(Hive::kLocalMachine, kEnvironment, "TEMP", 6);
  ASSERT_NO_THROW(paths = ReadSystemPaths(m.platform()));
  EXPECT_EQ(paths.system_temp_dir, "");

  memory::MemoryMachine refused;
  refused.registry.SetString(Hive::kLocalMachine, kEnvironment, "TMP", "C:\\T");
  refused.registry.RestrictAccess(Hive::kLocalMachine, kEnvironment, kKeyRead);
  EXPECT_EQ(ReadSystemPaths(refused.platform()).system_temp_dir, "C:\\T")
      << "a key the user may only read is read";
  refused.registry.RestrictAccess(Hive::kLocalMachine, kEnvironment, 0);
  EXPECT_EQ(ReadSystemPaths(refused.platform()).system_temp_dir, "");
  EXPECT_EQ(refused.registry.open_key_count(), 0);
}

}  // namespace
}  // namespace cu
