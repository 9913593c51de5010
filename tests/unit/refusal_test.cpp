// Changes the system refuses: the question to restart elevated where that
// would help, the system's own words otherwise.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "check_text.h"
#include "controller/main_controller.h"
#include "fake_ui.h"
#include "folders/folders_tab.h"
#include "platform/errors.h"
#include "presenter/refusal.h"
#include "services/services_tab.h"
#include "services_test_support.h"
#include "startup_test_support.h"

namespace cu {
namespace {

using cu::testing::ErrorOf;

using Strings = std::vector<std::string>;


bool Closed(const testing::FakeUi& ui) {
  return std::find(ui.events.begin(), ui.events.end(), "close") != ui.events.end();
}

class RefusedRemoval : public testing::StartupTabTest {};

TEST_F(RefusedRemoval, AMachineEntryTheUserMayOnlyReadIsListedAndItsRemovalAsksOrSaysWhy) {
  struct Case {
    const char* what;
    Elevation elevation;
    std::deque<bool> answers;  // Delete?, then the restart question
    uint32_t relaunch_answer;
    bool asks;
    Strings relaunches;
    bool closes;
    std::string error;
  };
  const std::string kDenied = "The entry was not removed: Access is denied.";
  const Case cases[] = {
      {"limited, Yes: restarted on the tab", Elevation::kLimited, {true, true}, kErrorSuccess,
       true, {"/page 0"}, true, ""},
      {"limited, Yes, prompt declined", Elevation::kLimited, {true, true}, kErrorCancelled, true,
       {"/page 0"}, false, ""},
      {"limited, No", Elevation::kLimited, {true, false}, kErrorSuccess, true, {}, false, ""},
      {"elevated already", Elevation::kFull, {true}, kErrorSuccess, false, {}, false, kDenied},
      {"a standard user", Elevation::kDefault, {true}, kErrorSuccess, false, {}, false, kDenied},
  };
  m.registry.SetString(Hive::kLocalMachine, kRun, "Tool", "t.exe");
  m.registry.RestrictAccess(Hive::kLocalMachine, kRun, kKeyRead);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui = {};
    m.environment.relaunches.clear();
    m.environment.elevation = c.elevation;
    m.environment.relaunch_answer = c.relaunch_answer;
    tab.LoadStartupList();
    ASSERT_EQ(tab.rows().size(), 1u) << "listed without the right to change it";
    tab.Select(0);
    ui.confirm_answers = c.answers;
    EXPECT_EQ(ErrorOf([&] { tab.DeleteStartupItem(); }), c.error);
    Strings questions{"Delete Tool=t.exe?"};
    if (c.asks) questions.push_back(kElevationQuestion);
    EXPECT_EQ(ui.questions, questions);
    EXPECT_EQ(m.environment.relaunches, c.relaunches);
    EXPECT_EQ(Closed(ui), c.closes);
    EXPECT_TRUE(m.registry.Value(Hive::kLocalMachine, kRun, "Tool")) << "the value stays";
    EXPECT_EQ(tab.rows().size(), 1u);
  }
}

TEST_F(RefusedRemoval, EachCommandSaysWhatFailedInTheSystemsWords) {
  // A Startup-folder entry this user may not delete.
  m.registry.SetString(Hive::kCurrentUser, kShellFolders, "Startup", "C:\\Startup");
  m.files.AddFile("C:\\Startup\\gone.exe");
  tab.LoadStartupList();
  m.files.Deny("C:\\Startup\\gone.exe");
  tab.Select(0);
  ui.confirm_answers = {true};
  EXPECT_EQ(ErrorOf([&] { tab.DeleteStartupItem(); }),
            "The entry was not removed: Access is denied.");

  // A folder the user may not open for clearing; with a limited token the
  // question comes instead.
  m.files.AddFile("C:\\users\\user\\Temp\\x.tmp");
  m.files.Deny("C:\\users\\user\\Temp");
  FoldersTab folders(m.platform(), ui, paths);
  folders.LoadShellFolders();
  EXPECT_EQ(ErrorOf([&] { folders.ClearShownFolder(); }),
            "The folder could not be opened, so nothing was cleared: Access is denied.");
  m.environment.elevation = Elevation::kLimited;
  ui.confirm_answers = {true};
  EXPECT_EQ(ErrorOf([&] { folders.ClearShownFolder(); }), "");
  EXPECT_EQ(m.environment.relaunches, Strings{"/page 2"});
  m.environment.elevation = Elevation::kFull;

  // Services: a start the manager refuses, and a stop the user may not ask.
  memory::MemoryService missing = testing::Service("missing", "Missing Program");
  missing.refuse_start = true;
  memory::MemoryService guarded = testing::Service("guarded", "Guarded", kServiceRunning);
  guarded.granted_access = kServiceAllAccess & ~kServiceStop;
  m.services.Add(missing);
  m.services.Add(guarded);
  ServicesTab services(m.platform(), ui);
  services.Reload();
  const auto info = [&](int row, int result) {
    services.Select(row);
    ui.info_results.push_back(result);
    return ErrorOf([&] { services.ShowServiceInfo(); });
  };
  EXPECT_EQ(info(1, kResultYes),
            "The service was not started: The system cannot find the file specified.");
  EXPECT_EQ(info(0, kResultNo), "The service was not stopped: Access is denied.");
  m.environment.elevation = Elevation::kLimited;
  ui.confirm_answers = {false};
  EXPECT_EQ(info(0, kResultNo), "");
  EXPECT_EQ(ui.questions.back(), kElevationQuestion);
  EXPECT_TRUE(ui.ScriptUsedUp());
}

TEST(RestartElevated, TheCommandLineNamesTheTabAndAFailedRestartSaysWhy) {
  for (const Page page : {Page::kStartup, Page::kUrls, Page::kFolders, Page::kServices}) {
    EXPECT_EQ(PageOfArguments(PageArguments(page)), page);
  }
  for (const char* other : {"", "/page", "/page 4", "/page 12", "/PAGE 1", "-page 1", "x"}) {
    EXPECT_EQ(PageOfArguments(other), std::nullopt) << other;
  }
  EXPECT_EQ(PageOfArguments("  /page 3 "), Page::kServices);

  // A prompt that fails for another reason says so.
  memory::MemoryMachine machine;
  testing::FakeUi ui;
  machine.environment.relaunch_answer = 1155;
  EXPECT_EQ(ErrorOf([&] { RestartElevated(machine.platform(), ui, Page::kUrls); }),
            "Clear utility could not be restarted as administrator: Error 1155");
  EXPECT_FALSE(Closed(ui));
}

}  // namespace
}  // namespace cu
