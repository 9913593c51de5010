#include "services/services_tab.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "check_text.h"
#include "fake_ui.h"
#include "platform/errors.h"
#include "platform/memory/memory_machine.h"
#include "services/service_control.h"
#include "services_test_support.h"

namespace cu {
namespace {

using memory::MemoryMachine;
using memory::MemoryService;
using testing::Service;
using Strings = std::vector<std::string>;

ServiceStatus Status(uint32_t state, uint32_t check_point = 0, uint32_t wait_hint = 0) {
  ServiceStatus status;
  status.current_state = state;
  status.check_point = check_point;
  status.wait_hint = wait_hint;
  return status;
}

class ServicesTabTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(machine_.services.open_handles, 0) << "a service handle was left open";
    EXPECT_EQ(machine_.registry.open_key_count(), 0) << "a key was left open";
    EXPECT_FALSE(ui_.busy) << "the hourglass was left on";
    EXPECT_TRUE(ui_.ScriptUsedUp());
  }

  Strings Displays() const {
    Strings out;
    for (const ServiceEntry& e : tab_.entries()) out.push_back(e.display_name);
    return out;
  }
  // -1: no such row; else 1 for a row listed as running, 0 for another.
  int Running(const std::string& display) const {
    for (const ServiceEntry& e : tab_.entries()) {
      if (e.display_name == display) return e.running ? 1 : 0;
    }
    return -1;
  }
  // Lists the world, selects `row` and runs Info answered with `result`.
  void Info(int row, int result) {
    tab_.Reload();
    Open(row, result);
  }
  // The same on the list as it stands.
  void Open(int row, int result) {
    tab_.Select(row);
    ASSERT_EQ(tab_.selection(), row);
    ui_.info_results.push_back(result);
    tab_.ShowServiceInfo();
  }

  MemoryMachine machine_;
  testing::FakeUi ui_;
  ServicesTab tab_{machine_.platform(), ui_};
};

TEST_F(ServicesTabTest, ListIsSortedWithoutCaseAndCountsInBothToggleStates) {
  machine_.services.Add(Service("g", "gamma service", kServiceRunning));
  // Equal display names go by service name, not by the manager's order; a
  // display name goes before the longer ones it begins.
  machine_.services.Add(Service("c", "BETA SERVICE"));
  machine_.services.Add(Service("b", "Beta service"));
  machine_.services.Add(Service("a", "alpha service", kServiceRunning));
  machine_.services.Add(Service("p", "Beta"));
  MemoryService driver = Service("drv", "A driver", kServiceRunning);
  driver.type = 1;
  machine_.services.Add(driver);
  for (int i = 0; i < 7; ++i) {
    machine_.services.Add(Service("z" + std::to_string(i), "zz " + std::to_string(i),
                                  i < 2 ? kServiceStartPending : kServiceStopped));
  }

  tab_.Reload();
  EXPECT_EQ(tab_.toggle_caption(), "2 / 12");
  ASSERT_EQ(tab_.entries().size(), 12u);
  EXPECT_EQ(tab_.entries()[0].display_name, "alpha service");
  EXPECT_EQ(tab_.entries()[0].service_name, "a");
  const Strings displays = Displays();
  EXPECT_EQ(Strings(displays.begin(), displays.begin() + 6),
            (Strings{"alpha service", "Beta", "Beta service", "BETA SERVICE", "gamma service",
                     "zz 0"}));
  EXPECT_EQ(tab_.entries()[2].service_name, "b");
  EXPECT_EQ(Running("alpha service"), 1);
  EXPECT_EQ(Running("zz 0"), 0) << "a starting service is not running";
  EXPECT_EQ(tab_.selection(), 0);

  // Drawing: red when running, aqua when also selected, else the list's colours.
  EXPECT_EQ(tab_.RowDrawingAt(0, false).text_colour, kColourRed);
  EXPECT_EQ(tab_.RowDrawingAt(0, true).text_colour, kColourAqua);
  EXPECT_EQ(tab_.RowDrawingAt(0, true).name, "alpha service");
  EXPECT_EQ(tab_.RowDrawingAt(1, true).text_colour, std::nullopt);
  EXPECT_EQ(tab_.RowDrawingAt(12, true).name, "");
  EXPECT_EQ(tab_.RowDrawingAt(12, true).text_colour, std::nullopt);

  tab_.Select(4);
  tab_.SetOnlyRunning(true);
  tab_.Reload();
  EXPECT_EQ(tab_.toggle_caption(), "2");
  EXPECT_EQ(Displays(), (Strings{"alpha service", "gamma service"}));
  EXPECT_EQ(tab_.selection(), 0);

  tab_.SetOnlyRunning(false);
  tab_.Reload();
  EXPECT_EQ(tab_.toggle_caption(), "2 / 12");
}

TEST_F(ServicesTabTest, RefusedManagerGivesAnEmptyListAndNothingToDo) {
  machine_.services.Add(Service("a", "A", kServiceRunning));
  machine_.services.deny_manager = true;
  tab_.Reload();
  EXPECT_TRUE(tab_.entries().empty());
  EXPECT_EQ(tab_.selection(), -1);
  EXPECT_EQ(tab_.toggle_caption(), "0 / 0");
  tab_.SetOnlyRunning(true);
  tab_.Reload();
  EXPECT_EQ(tab_.toggle_caption(), "0");

  tab_.SaveServiceList();
  tab_.ShowServiceInfo();
  EXPECT_EQ(ui_.save_requests, 0);
  EXPECT_TRUE(ui_.info_requests.empty());
  EXPECT_FALSE(tab_.TakeFocusRequest());
}

TEST_F(ServicesTabTest, SaveWritesTheListedDisplayNamesEachEndedByCrLf) {
  machine_.files.AddFolder("C:\\out");
  machine_.services.Add(Service("w", "Web", kServiceRunning));
  machine_.services.Add(Service("f", "Fax"));
  machine_.services.Add(Service("a", "Audio", kServiceRunning));
  tab_.Reload();
  ui_.save_answers.push_back("C:\\out\\all.txt");
  tab_.SaveServiceList();
  EXPECT_EQ(machine_.files.Content("C:\\out\\all.txt"), "Audio\r\nFax\r\nWeb\r\n");

  tab_.SetOnlyRunning(true);
  tab_.Reload();
  ui_.save_answers.push_back("C:\\out\\all.txt");
  tab_.SaveServiceList();
  EXPECT_EQ(machine_.files.Content("C:\\out\\all.txt"), "Audio\r\nWeb\r\n");

  ui_.save_answers.push_back(std::nullopt);  // cancelled: nothing written
  tab_.SaveServiceList();
  ui_.save_answers.push_back("C:\\nowhere\\list.txt");
  try {
    tab_.SaveServiceList();
    ADD_FAILURE() << "no error";
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Cannot create file C:\\nowhere\\list.txt");
  }
  EXPECT_EQ(tab_.entries().size(), 2u);
}

TEST_F(ServicesTabTest, InfoOnARunningServiceOffersRestartAndIgnoresCtrlDel) {
  MemoryService web = Service("W3svc", "Web Publishing", kServiceRunning);
  web.binary_path = "C:\\gone\\svc.exe";  // no check while it runs
  web.start_name = "LocalSystem";
  web.dependencies = {"RPCSS", "http"};
  machine_.services.Add(web);
  machine_.registry.SetString(Hive::kLocalMachine, "System\\CurrentControlSet\\Services\\W3svc",
                              "Description", "Serves pages.");
  Info(0, kResultAbort);

  ASSERT_EQ(ui_.info_requests.size(), 1u);
  const InfoRequest& request = ui_.info_requests[0];
  EXPECT_EQ(request.caption, "Info Service");
  EXPECT_EQ(request.text,
            "Display Name:\tWeb Publishing\r\nService Name:\tW3svc\r\n"
            "Service Type:\tOwn process.\r\nCurrent State:\tThe service is running.\r\n"
            "Start Type: \tDemand (Manual) Start\r\nBinaryPathName:\tC:\\gone\\svc.exe\r\n"
            "ServiceStartName:\tLocalSystem\r\nDependencies:\tRPCSS, http\r\n"
            "Description:\tServes pages.");
  EXPECT_EQ(request.yes_caption, "ReStart!");
  EXPECT_TRUE(request.show_stop);
  EXPECT_EQ(request.bottom_hint, "");
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_TRUE(machine_.services.calls.empty());
  EXPECT_TRUE(tab_.TakeFocusRequest());
  EXPECT_FALSE(tab_.TakeFocusRequest());
}

TEST_F(ServicesTabTest, InfoOnAStoppedServiceOffersStartAndDelete) {
  MemoryService odd = Service("odd", "Odd");
  odd.type = 288;
  odd.fail_config = true;
  machine_.services.Add(odd);
  // A description that is not text is shown as none.
  machine_.registry.SetDword(Hive::kLocalMachine, "System\\CurrentControlSet\\Services\\odd",
                             "Description", 7);
  Info(0, kResultCancel);
  const InfoRequest& request = ui_.info_requests.at(0);
  EXPECT_EQ(request.text,
            "Display Name:\tOdd\r\nService Name:\todd\r\nService Type:\t\r\n"
            "Current State:\tThe service is not running.\r\nDescription:\t");
  EXPECT_EQ(request.yes_caption, "Start!");
  EXPECT_FALSE(request.show_stop);
  EXPECT_EQ(request.bottom_hint, "Press Ctrl+Del to delete     ");

  // A running service whose status cannot be read counts as not running.
  machine_.services.Find("odd")->state = kServiceRunning;
  machine_.services.Find("odd")->fail_status = true;
  Info(0, kResultCancel);
  EXPECT_EQ(ui_.info_requests.at(1).text,
            "Display Name:\tOdd\r\nService Name:\todd\r\nService Type:\t\r\nDescription:\t");
  EXPECT_EQ(ui_.info_requests.at(1).yes_caption, "Start!");
  EXPECT_TRUE(machine_.services.calls.empty());
}

TEST_F(ServicesTabTest, RestartStopsThenStartsWaitingByTheHintsAndReselects) {
  machine_.services.Add(Service("a", "A", kServiceRunning));
  machine_.services.Add(Service("b", "B", kServiceRunning));
  MemoryService c = Service("c", "C", kServiceRunning);
  c.on_stop.statuses = {Status(kServiceStopPending, 1, 2000), Status(kServiceStopped)};
  c.on_start.statuses = {Status(kServiceStartPending, 1, 0), Status(kServiceRunning)};
  machine_.services.Add(c);

  Info(2, kResultYes);
  EXPECT_EQ(machine_.services.calls, (Strings{"stop c", "start c"}));
  EXPECT_EQ(machine_.environment.sleeps, (std::vector<uint32_t>{200, 50}));
  EXPECT_EQ(machine_.services.Find("c")->state, kServiceRunning);
  EXPECT_EQ(tab_.selection(), 2);
  EXPECT_EQ(tab_.toggle_caption(), "3 / 3");
  EXPECT_EQ(ui_.events, (Strings{"info:Info Service", "busy:on", "repaint", "work:Stopping C",
                                 "repaint", "busy:off", "repaint"}));
  EXPECT_EQ(ui_.progress.actions, (Strings{"Starting C"}));

  // "Start!" on a stopped service: its stop is refused as not active.
  machine_.services.Find("a")->state = kServiceStopped;
  machine_.services.calls.clear();
  Info(0, kResultYes);
  EXPECT_EQ(machine_.services.calls, (Strings{"stop a", "start a"}));
  EXPECT_EQ(ui_.work_requests.back().action, "Starting A");
  EXPECT_EQ(Running("A"), 1);
}

TEST_F(ServicesTabTest, StopEndsAServiceWaitAndARestartNamesTheServiceLeftStopping) {
  // Stop (row 0) and ReStart! (row 1) each wait for a service that stays
  // pending; Stop is asked for after the first pause (the wait's second
  // question; the restart asks once more before it stops the service).
  for (const char* name : {"s", "t"}) {
    MemoryService slow = Service(name, std::string("Slow ") + name, kServiceRunning);
    slow.on_stop.statuses = {Status(kServiceStopPending, 1, 2000)};
    machine_.services.Add(slow);
  }
  for (const int row : {0, 1}) {
    SCOPED_TRACE(row);
    const std::string name = row == 0 ? "s" : "t";
    machine_.services.calls.clear();
    machine_.environment.sleeps.clear();
    ui_.progress = {};
    ui_.progress.stop_from = row == 0 ? 2 : 3;
    Info(row, row == 0 ? kResultNo : kResultYes);
    // One pause, no start: the wait ended at Stop, the service stays pending
    // and cannot take a start, which the restart says.
    EXPECT_EQ(machine_.services.calls, (Strings{"stop " + name}));
    EXPECT_EQ(machine_.environment.sleeps, (std::vector<uint32_t>{200}));
    EXPECT_EQ(machine_.services.Find(name)->state, kServiceStopPending);
    EXPECT_EQ(ui_.work_requests.back().action, "Stopping Slow " + name);
    EXPECT_EQ(ui_.messages, row == 0 ? Strings{} : Strings{"Not started again: Slow t"});
  }
}

TEST_F(ServicesTabTest, StartOfAStartingServiceIsRefusedWithoutReload) {
  machine_.services.Add(Service("s", "Slow", kServiceStartPending));
  tab_.Reload();
  machine_.services.Add(Service("n", "New"));  // a reload would list it
  Open(0, kResultYes);
  EXPECT_EQ(machine_.services.calls, (Strings{"stop s"}));
  EXPECT_EQ(tab_.entries().size(), 1u);
  EXPECT_TRUE(ui_.busy_changes == (std::vector<bool>{true, false}));
}

TEST_F(ServicesTabTest, WaitEndsWhenTheCheckPointGoesDownButNotWhenItStays) {
  MemoryService s = Service("s", "S");
  s.on_start.statuses = {Status(kServiceStartPending, 1), Status(kServiceStartPending, 1),
                         Status(kServiceStartPending, 3), Status(kServiceStartPending, 0),
                         Status(kServiceRunning)};
  machine_.services.Add(s);
  Info(0, kResultYes);
  EXPECT_EQ(machine_.environment.sleeps.size(), 3u);
  EXPECT_EQ(machine_.services.Find("s")->state, kServiceStartPending);
  EXPECT_EQ(Running("S"), 0) << "the reload shows the state reached";
}

TEST_F(ServicesTabTest, WaitsAreBoundedAndPollAtAClampedPace) {
  MemoryService hang = Service("hang", "Hang");
  hang.on_start.statuses = {Status(kServiceStartPending, 4, 0)};  // for ever, hint 0
  machine_.services.Add(hang);
  Info(0, kResultYes);
  const auto& sleeps = machine_.environment.sleeps;
  EXPECT_EQ(std::accumulate(sleeps.begin(), sleeps.end(), uint64_t{0}), kServiceWaitLimitMs);
  EXPECT_EQ(sleeps.size(), kServiceWaitLimitMs / kServicePollMinMs);
  EXPECT_EQ(Running("Hang"), 0);

  // A stop that never ends, with a huge hint: polled every second, then the
  // list reloads with the state reached.
  machine_.environment.sleeps.clear();
  MemoryService busy = Service("busy", "Busy", kServiceRunning);
  busy.on_stop.statuses = {Status(kServiceStopPending, 2, 0xFFFFFFFFu)};
  machine_.services.Add(busy);
  Info(0, kResultNo);
  EXPECT_EQ(sleeps.size(), kServiceWaitLimitMs / kServicePollMaxMs);
  EXPECT_EQ(sleeps.front(), kServicePollMaxMs);
  EXPECT_EQ(Running("Busy"), 0);
  EXPECT_EQ(machine_.services.Find("busy")->state, kServiceStopPending);
}

TEST_F(ServicesTabTest, DeleteAsksWithBothNamesWhenTheyDifferAndSelectsTheRowAbove) {
  EXPECT_EQ(DeleteServiceQuestion(" Fax", "Fax "), "Delete service\r Fax?");
  EXPECT_EQ(DeleteServiceQuestion("fax", "Fax"), "Delete service\rfax\rFax?");

  for (char c = 'a'; c <= 'f'; ++c) {
    machine_.services.Add(Service(std::string(1, c), std::string(1, c) + " service"));
  }
  ui_.confirm_answers.push_back(true);
  Info(5, kResultAbort);
  EXPECT_EQ(ui_.questions, (Strings{"Delete service\rf service\rf?"}));
  EXPECT_EQ(machine_.services.Find("f"), nullptr);
  EXPECT_EQ(tab_.selection(), 4);
  EXPECT_EQ(tab_.entries().size(), 5u);
  EXPECT_TRUE(ui_.busy_changes.empty()) << "no hourglass while deleting";

  ui_.confirm_answers.push_back(true);
  Info(0, kResultAbort);
  EXPECT_EQ(tab_.selection(), 0);
  EXPECT_EQ(Displays().front(), "b service");

  ui_.confirm_answers.push_back(false);  // No: nothing deleted
  Info(0, kResultAbort);
  EXPECT_EQ(machine_.services.calls, (Strings{"delete f", "delete a"}));
}

TEST_F(ServicesTabTest, RefusedDeleteSaysSoAndKeepsTheList) {
  MemoryService kept = Service("Kept", "Kept");
  kept.deny_delete = true;
  machine_.services.Add(kept);
  ui_.confirm_answers.push_back(true);
  tab_.Reload();
  machine_.services.Add(Service("n", "New"));  // a reload would list it
  Open(0, kResultAbort);
  EXPECT_EQ(ui_.questions, (Strings{"Delete service\rKept?"}));
  EXPECT_EQ(ui_.messages, (Strings{"Cannot delete this service!"}));
  EXPECT_EQ(tab_.entries().size(), 1u);
}

// Throws from the first repaint once the hourglass is on.
class FailingUi : public testing::FakeUi {
 public:
  void Repaint() override {
    FakeUi::Repaint();
    if (busy) throw AppError("repaint failed");
  }
};

TEST(ServicesTabErrorTest, AnErrorInTheFlowLeavesTheDefaultCursor) {
  MemoryMachine machine;
  FailingUi ui;
  ServicesTab tab(machine.platform(), ui);
  machine.services.Add(Service("s", "S", kServiceRunning));
  tab.Reload();
  ui.info_results.push_back(kResultNo);
  EXPECT_THROW(tab.ShowServiceInfo(), AppError);
  EXPECT_FALSE(ui.busy);
  EXPECT_EQ(ui.busy_changes, (std::vector<bool>{true, false}));
  EXPECT_FALSE(tab.TakeFocusRequest());
  EXPECT_EQ(machine.services.open_handles, 0);
}

TEST_F(ServicesTabTest, StartTypeListChangesTheTypeAfterTheQuestionAndSaysWhyWhenRefused) {
  MemoryService svc = Service("svc", "My Service", kServiceRunning);
  MemoryService user = Service("user", "User Service", kServiceRunning);
  user.dependencies = {"SVC"};
  machine_.services.Add(svc);
  machine_.services.Add(user);
  MemoryService* stored = machine_.services.Find("svc");
  const auto start_line = [](const std::string& text) {
    const std::size_t at = text.find("Start Type: \t");
    return text.substr(at, text.find("\r\n", at) - at);
  };

  // Manual -> Disabled (Yes), -> Automatic (No), -> Automatic (delayed
  // start) (Yes); the list shows the current type each time.
  ui_.info_picks.push_back({3, 0, 1});
  ui_.confirm_answers = {true, false, true};
  Info(0, kResultCancel);
  const InfoRequest& request = ui_.info_requests.at(0);
  ASSERT_TRUE(request.choice.has_value());
  EXPECT_EQ(request.choice->label, "Start type:");
  EXPECT_EQ(request.choice->items,
            (Strings{"Automatic", "Automatic (delayed start)", "Manual", "Disabled"}));
  EXPECT_EQ(request.choice->selected, 2);
  EXPECT_TRUE(request.choice->enabled);
  EXPECT_EQ(ui_.questions,
            (Strings{"Set the start type of My Service to Disabled?",
                     "Set the start type of My Service to Automatic?",
                     "Set the start type of My Service to Automatic (delayed start)?"}));
  ASSERT_EQ(ui_.info_updates.size(), 3u);
  EXPECT_EQ(ui_.info_updates[0].selected, 3);
  EXPECT_EQ(start_line(ui_.info_updates[0].text), "Start Type: \tDisabled");
  EXPECT_EQ(ui_.info_updates[1].selected, 3);
  EXPECT_EQ(ui_.info_updates[2].selected, 1);
  EXPECT_EQ(start_line(ui_.info_updates[2].text), "Start Type: \tAuto Start (Delayed)");
  EXPECT_EQ(machine_.services.calls, (Strings{"config svc 4", "config svc 2 delayed"}));
  EXPECT_EQ(stored->start_type, kStartAuto);
  EXPECT_TRUE(stored->delayed_auto_start);
  // The report names what depends on the service.
  EXPECT_NE(request.text.find("\r\nDependents:\tUser Service\r\nDescription:\t"),
            std::string::npos)
      << request.text;

  // A refusal: the user hears why, the list keeps the delayed entry.
  stored->deny_change_config = true;
  ui_.info_picks.push_back({2});
  ui_.confirm_answers = {true};
  Info(0, kResultCancel);
  EXPECT_EQ(ui_.info_updates.at(3).selected, 1);
  EXPECT_TRUE(stored->delayed_auto_start);
  EXPECT_EQ(ui_.messages,
            Strings{"The start type of My Service was not changed: Access is denied."});
  ui_.messages.clear();

  // A driver's Boot type is shown greyed and not offered.
  stored->deny_change_config = false;
  stored->start_type = kStartBoot;
  Info(0, kResultCancel);
  const InfoChoice& boot = *ui_.info_requests.at(2).choice;
  EXPECT_FALSE(boot.enabled);
  EXPECT_EQ(boot.items.at(static_cast<std::size_t>(boot.selected)), "Boot Start");

  // The service no longer opens once the dialog shows: refused to this user,
  // then deleted meanwhile. The user hears the manager's own reason.
  stored->start_type = kStartDemand;
  ui_.on_info = [stored] { stored->deny_open = true; };
  ui_.info_picks.push_back({3});
  ui_.confirm_answers = {true};
  Info(0, kResultCancel);
  stored->deny_open = false;
  ui_.on_info = [this] {
    std::unique_ptr<ScHandle> manager = machine_.services.OpenManager("", kScManagerConnect);
    std::unique_ptr<ScHandle> service = machine_.services.OpenService(*manager, "svc", kDelete);
    ASSERT_TRUE(machine_.services.Delete(*service));
  };
  ui_.info_picks.push_back({3});
  ui_.confirm_answers = {true};
  Info(0, kResultCancel);
  EXPECT_EQ(ui_.messages,
            (Strings{"The start type of My Service was not changed: Access is denied.",
                     "The start type of My Service was not changed: The specified service does "
                     "not exist as an installed service."}));
  EXPECT_EQ(stored->start_type, kStartDemand);
}

TEST_F(ServicesTabTest, StopWithRunningDependentsAsksAndStopsThemDeepestFirst) {
  MemoryService base = Service("base", "Base", kServiceRunning);
  MemoryService mid = Service("mid", "Middle", kServiceRunning);
  mid.dependencies = {"base"};
  MemoryService top = Service("top", "Top", kServiceRunning);
  top.dependencies = {"mid"};
  MemoryService idle = Service("idle", "Idle");  // stopped: not asked about
  idle.dependencies = {"base"};
  for (const MemoryService& service : {base, mid, top, idle}) machine_.services.Add(service);
  const auto state = [this](const char* name) { return machine_.services.Find(name)->state; };

  // The manager alone refuses to stop a service others need.
  {
    std::unique_ptr<ScHandle> manager = machine_.services.OpenManager("", kScManagerConnect);
    std::unique_ptr<ScHandle> handle =
        machine_.services.OpenService(*manager, "base", kServiceStop);
    EXPECT_EQ(machine_.services.Stop(*handle).error, kErrorDependentServicesRunning);
    machine_.services.calls.clear();
  }

  // No: nothing stops.
  ui_.confirm_answers = {false};
  Info(0, kResultNo);  // Base
  EXPECT_EQ(ui_.questions, Strings{"Also stop Top, Middle?"});
  EXPECT_TRUE(machine_.services.calls.empty());
  EXPECT_EQ(state("base"), kServiceRunning);
  EXPECT_EQ(state("top"), kServiceRunning);

  // ReStart!, Yes: the dependents stop deepest first and start again after
  // the service, the ones it needs first.
  ui_.confirm_answers = {true};
  Info(0, kResultYes);
  EXPECT_EQ(machine_.services.calls, (Strings{"stop top", "stop mid", "stop base", "start base",
                                              "start mid", "start top"}));
  for (const char* name : {"base", "mid", "top"}) EXPECT_EQ(state(name), kServiceRunning) << name;
  EXPECT_EQ(state("idle"), kServiceStopped);

  // Stop, Yes: all three end stopped.
  machine_.services.calls.clear();
  ui_.confirm_answers = {true};
  Info(0, kResultNo);
  EXPECT_EQ(machine_.services.calls, (Strings{"stop top", "stop mid", "stop base"}));
  for (const char* name : {"base", "mid", "top"}) EXPECT_EQ(state(name), kServiceStopped) << name;
}

TEST_F(ServicesTabTest, StopDuringARestartStillStartsWhatStoppedAndNamesWhatIsLeftDown) {
  // Base, needed by Middle, needed by Top; all running, ReStart! on Base with
  // Yes to stopping the dependents. Stop is pressed as soon as `stop_when`
  // holds at one of the work's questions.
  struct Case {
    const char* what;
    std::function<void(MemoryService& base, MemoryService& mid)> setup;
    std::function<bool()> stop_when;  // none: never
    Strings calls;
    std::vector<uint32_t> states;  // Base, Middle, Top at the end
    Strings messages;
    std::string error = {};  // the error box, when one ends the command
  };
  const auto state = [this](const char* name) { return machine_.services.Find(name)->state; };
  const auto stopping = [&](const char* name) {
    return [&state, name] { return state(name) == kServiceStopPending; };
  };
  const Case cases[] = {
      {"while a dependent stops: it starts once stopped, Base is left alone",
       [](MemoryService&, MemoryService& mid) {
         mid.on_stop.statuses = {Status(kServiceStopPending, 1, 2000), Status(kServiceStopped)};
       },
       stopping("mid"),
       {"stop top", "stop mid", "start mid", "start top"},
       {kServiceRunning, kServiceRunning, kServiceRunning},
       {}},
      {"while Base stops: the dependents start, Base still stopping is named",
       [](MemoryService& base, MemoryService&) {
         base.on_stop.statuses = {Status(kServiceStopPending, 1, 2000)};
       },
       stopping("base"),
       {"stop top", "stop mid", "stop base", "start mid", "start top"},
       {kServiceStopPending, kServiceRunning, kServiceRunning},
       {"Not started again: Base"}},
      {"while Base starts: its wait ends, the dependents start, all run or start",
       [](MemoryService& base, MemoryService&) {
         base.on_start.statuses = {Status(kServiceStartPending, 1, 2000),
                                   Status(kServiceStartPending, 2, 2000), Status(kServiceRunning)};
       },
       [&state] { return state("base") == kServiceStartPending; },
       {"stop top", "stop mid", "stop base", "start base", "start mid", "start top"},
       {kServiceStartPending, kServiceRunning, kServiceRunning},
       {}},
      {"no Stop, Base refuses to start: the refusal is said in the system's words",
       [](MemoryService& base, MemoryService&) { base.refuse_start = true; },
       nullptr,
       {"stop top", "stop mid", "stop base", "start base", "start mid", "start top"},
       {kServiceStopped, kServiceRunning, kServiceRunning},
       {},
       "The service was not started: The system cannot find the file specified."},
      {"no Stop, Base refuses to stop: said, and the dependents run again",
       [](MemoryService& base, MemoryService&) { base.refuse_stop = true; },
       nullptr,
       {"stop top", "stop mid", "stop base", "start mid", "start top"},
       {kServiceRunning, kServiceRunning, kServiceRunning},
       {},
       "The service was not stopped: The service cannot accept control messages at this time."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    machine_.services = {};
    MemoryService base = Service("base", "Base", kServiceRunning);
    MemoryService mid = Service("mid", "Middle", kServiceRunning);
    mid.dependencies = {"base"};
    MemoryService top = Service("top", "Top", kServiceRunning);
    top.dependencies = {"mid"};
    c.setup(base, mid);
    for (const MemoryService& service : {base, mid, top}) machine_.services.Add(service);
    ui_.progress = {};
    ui_.messages.clear();
    for (int step = 1; c.stop_when && step <= 20; ++step) {
      ui_.progress.pauses[step] = [this, &c] {
        if (ui_.progress.stop_from == 0 && c.stop_when()) {
          ui_.progress.stop_from = ui_.progress.steps;
        }
      };
    }
    ui_.confirm_answers = {true};
    EXPECT_EQ(testing::ErrorOf([&] { Info(0, kResultYes); }), c.error);
    EXPECT_EQ(ui_.questions.back(), "Also stop Top, Middle?");
    EXPECT_EQ(machine_.services.calls, c.calls);
    EXPECT_EQ((std::vector<uint32_t>{state("base"), state("mid"), state("top")}), c.states);
    EXPECT_EQ(ui_.messages, c.messages);
    EXPECT_EQ(c.stop_when != nullptr, ui_.progress.stop_from != 0) << "Stop was pressed as planned";
  }
}

}  // namespace
}  // namespace cu
