// The tabs on a machine whose machine-wide keys this user may read but not
// change, as a program without administrator rights finds them: everything
// is listed, and a change that is refused says so in the system's words.
// (Wine runs every process elevated, so the question to restart elevated is
// tested on the memory machine.)

#include "tab_flows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "../unit/check_text.h"
#include "folders/folders_tab.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "services/services_tab.h"
#include "startup/startup_catalogue.h"
#include "startup/startup_tab.h"

namespace cu::win32 {
namespace {

using cu::testing::ErrorOf;

using test::RealMachine;
using test::RegisteredService;
using test::Sandbox;
using test::SavedRegistryValues;
using cu::test_kit::ReadOnlyKey;

constexpr char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kDefaultRun[] = ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kEnvironment[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr char kAppPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\culptool.exe";

int RowOf(const StartupTab& tab, const std::string& text, int tag) {
  for (std::size_t i = 0; i < tab.rows().size(); ++i) {
    if (tab.rows()[i].text == text && tab.rows()[i].source->tag == tag) return static_cast<int>(i);
  }
  return -1;
}


TEST(LeastPrivilegeFlows, MachineKeysThatMayOnlyBeReadAreListedAndARefusedRemovalIsSaid) {
  Sandbox common("LeastPrivilegeCommonStartup");
  ASSERT_TRUE(common.WriteFile("culp-common.exe", "x"));
  Sandbox programs("LeastPrivilegePrograms");
  ASSERT_TRUE(test::CopyFixture("version_fixture.exe", programs.Path("culptool.exe")));

  SavedRegistryValues run(HKEY_LOCAL_MACHINE, kRun, {"culp-native"});
  SavedRegistryValues run32(HKEY_LOCAL_MACHINE, kRun, {"culp-32"}, KEY_WOW64_32KEY);
  SavedRegistryValues default_run(HKEY_USERS, kDefaultRun, {"culp-default"});
  SavedRegistryValues folders(HKEY_LOCAL_MACHINE, kShellFolders, {"Common Startup", "CU LP Machine"});
  SavedRegistryValues app_path(HKEY_LOCAL_MACHINE, kAppPath, {""});
  SavedRegistryValues user_run(HKEY_CURRENT_USER, kRun, {"culp-user"});
  ASSERT_EQ(run.SetString("culp-native", "culp-native.exe"), ERROR_SUCCESS);
  ASSERT_EQ(run32.SetString("culp-32", "culp-32.exe"), ERROR_SUCCESS);
  ASSERT_EQ(default_run.SetString("culp-default", "culp-default.exe"), ERROR_SUCCESS);
  ASSERT_EQ(folders.SetString("Common Startup", WithoutBackslash(common.folder())), ERROR_SUCCESS);
  ASSERT_EQ(folders.SetString("CU LP Machine", WithoutBackslash(programs.folder())), ERROR_SUCCESS);
  ASSERT_EQ(app_path.SetString("", programs.Path("culptool.exe")), ERROR_SUCCESS);
  ASSERT_EQ(user_run.SetString("culp-user", "culptool"), ERROR_SUCCESS);
  // Made read-only after the values above, and given back before them.
  const ReadOnlyKey locked[] = {{HKEY_LOCAL_MACHINE, kRun},
                                {HKEY_LOCAL_MACHINE, kRun, KEY_WOW64_32KEY},
                                {HKEY_USERS, kDefaultRun},
                                {HKEY_LOCAL_MACHINE, kShellFolders},
                                {HKEY_LOCAL_MACHINE, kEnvironment},
                                {HKEY_LOCAL_MACHINE, kAppPath}};
  for (const ReadOnlyKey& key : locked) ASSERT_TRUE(key.made());

  RealMachine real;
  EXPECT_FALSE(real.paths.system_temp_dir.empty()) << "TEMP System is read";

  StartupTab startup(real.platform, real.ui, real.paths);
  startup.LoadStartupList();
  const int native = RowOf(startup, "culp-native=culp-native.exe", 3);
  EXPECT_GE(native, 0);
  EXPECT_GE(RowOf(startup, "culp-32=culp-32.exe", 33), 0);
  EXPECT_GE(RowOf(startup, "culp-default=culp-default.exe", 13), 0);
  EXPECT_GE(RowOf(startup, "culp-common.exe", kTagCommonStartup), 0);

  // The program named by its bare name is found through App Paths.
  startup.Select(RowOf(startup, "culp-user=culptool", 23));
  const std::string report = startup.GetStartupReport();
  EXPECT_NE(report.find("FileVersion=1.2.3.4"), std::string::npos) << report;

  FoldersTab shell_folders(real.platform, real.ui, real.paths);
  shell_folders.LoadShellFolders();
  EXPECT_EQ(shell_folders.paths().at(1), WithoutBackslash(real.paths.system_temp_dir));
  const std::vector<std::string>& names = shell_folders.names();
  EXPECT_NE(std::find(names.begin(), names.end(), "CU LP Machine"), names.end());

  // Wine runs every process elevated: the refusal is said, not asked about.
  ASSERT_GE(native, 0);
  startup.Select(native);
  real.ui.info_results = {kResultYes};
  real.ui.confirm_answers = {true};
  EXPECT_EQ(ErrorOf([&] { startup.ShowStartupInfo(); }),
            "The entry was not removed: " + SystemMessage(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(test::ReadValue(HKEY_LOCAL_MACHINE, kRun, "culp-native").has_value());
  EXPECT_GE(RowOf(startup, "culp-native=culp-native.exe", 3), 0);
  EXPECT_TRUE(real.ui.ScriptUsedUp());
}

TEST(LeastPrivilegeFlows, StartOnAServiceWhoseProgramIsMissingSaysWhy) {
  constexpr char kName[] = "ClearUtilityMissingProgram";
  RegisteredService registered(kName, "Clear Utility Missing Program",
                               "\"C:\\\\no such folder\\\\missing.exe\"");
  ASSERT_TRUE(registered.created());
  RealMachine real;
  ServicesTab tab(real.platform, real.ui);
  tab.Reload();
  int row = -1;
  for (std::size_t i = 0; i < tab.entries().size(); ++i) {
    if (tab.entries()[i].service_name == kName) row = static_cast<int>(i);
  }
  ASSERT_GE(row, 0);
  tab.Select(row);
  real.ui.info_results = {kResultYes};
  const std::string error = ErrorOf([&] { tab.ShowServiceInfo(); });
  const std::string prefix = "The service was not started: ";
  EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;
  EXPECT_GT(error.size(), prefix.size()) << "the system's text follows";
  std::printf("[ least privilege ] %s\n", error.c_str());
}

}  // namespace
}  // namespace cu::win32
