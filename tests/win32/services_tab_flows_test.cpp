// The Services tab driving a real service (test-service.exe, built next to
// the tests) through the real service control manager: listed, reported,
// started, restarted, stopped and deleted through the Info flow.

#include "tab_flows.h"

#include <gtest/gtest.h>

#include "services/service_control.h"
#include "services/services_tab.h"

namespace cu::win32 {
namespace {

using test::RealMachine;
using test::RegisteredService;

constexpr char kServiceName[] = "ClearUtilityTabFlowService";
constexpr char kDisplayName[] = "Clear Utility Tab Flow Service";
constexpr char kDescription[] = "Started and stopped by the tab-flow tests";

int FindEntry(const ServicesTab& tab) {
  const std::vector<ServiceEntry>& entries = tab.entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].service_name == kServiceName) return static_cast<int>(i);
  }
  return -1;
}

DWORD StateNow() {
  const std::optional<SERVICE_STATUS_PROCESS> status = test::ServiceStatusNow(kServiceName);
  return status ? status->dwCurrentState : 0;
}

// Runs the Info flow on the tab's selection with the dialog's result.
const InfoRequest& RunInfo(ServicesTab& tab, cu::testing::FakeUi& ui, int result) {
  ui.info_results = {result};
  tab.ShowServiceInfo();
  EXPECT_FALSE(ui.busy);
  EXPECT_TRUE(tab.TakeFocusRequest());
  return ui.info_requests.back();
}

TEST(ServicesTabFlows, InfoReportsStartsRestartsStopsAndDeletesARealService) {
  // Quoted: the build folder may hold blanks. Built up piece by piece, as
  // "literal" + std::string&& trips a false -Wrestrict warning in GCC 12.
  std::string command = "\"";
  command += test::ExeFolder();
  command += "test-service.exe\"";
  RegisteredService registered(kServiceName, kDisplayName, command);
  ASSERT_TRUE(registered.created());
  ASSERT_TRUE(registered.SetDescription(kDescription));

  RealMachine real;
  ServicesTab tab(real.platform, real.ui);
  tab.Reload();
  int row = FindEntry(tab);
  ASSERT_GE(row, 0);
  EXPECT_EQ(tab.entries()[row].display_name, kDisplayName);
  EXPECT_FALSE(tab.entries()[row].running);
  tab.Select(row);

  // The report on the stopped service; "Start!" starts it and waits.
  const InfoRequest stopped = RunInfo(tab, real.ui, kResultYes);
  EXPECT_EQ(stopped.caption, "Info Service");
  EXPECT_EQ(stopped.yes_caption, "Start!");
  EXPECT_FALSE(stopped.show_stop);
  EXPECT_EQ(stopped.bottom_hint, kPressCtrlDelHint);
  const std::vector<std::string> lines = test::SplitCrLf(stopped.text);
  ASSERT_EQ(lines.size(), 9u) << stopped.text;
  EXPECT_EQ(lines[0], std::string("Display Name:\t") + kDisplayName);
  EXPECT_EQ(lines[1], std::string("Service Name:\t") + kServiceName);
  EXPECT_EQ(lines[2], "Service Type:\tOwn process.");
  EXPECT_EQ(lines[3], "Current State:\tThe service is not running.");
  EXPECT_EQ(lines[4], "Start Type: \tDemand (Manual) Start");
  // The program exists, so its signature follows the path, not "(File not found!)".
  EXPECT_EQ(lines[5], "BinaryPathName:\t" + command);
  EXPECT_EQ(lines[6], "Signature:\tNot signed");
  EXPECT_TRUE(test::StartsWith(lines[7], "ServiceStartName:\t")) << lines[7];
  EXPECT_EQ(lines[8], std::string("Description:\t") + kDescription);
  EXPECT_EQ(StateNow(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(real.ui.busy_changes, (std::vector<bool>{true, false}));
  // The reloaded list selects the same row, now running.
  row = FindEntry(tab);
  ASSERT_GE(row, 0);
  EXPECT_EQ(tab.selection(), row);
  EXPECT_TRUE(tab.entries()[row].running);

  // Ctrl+Del does nothing to a running service: no question is asked.
  const InfoRequest running = RunInfo(tab, real.ui, kResultAbort);
  EXPECT_EQ(running.yes_caption, "ReStart!");
  EXPECT_TRUE(running.show_stop);
  EXPECT_EQ(running.bottom_hint, "");
  EXPECT_NE(running.text.find("\r\nCurrent State:\tThe service is running.\r\n"), std::string::npos)
      << running.text;
  EXPECT_EQ(running.text.find("(File not found!)"), std::string::npos);
  EXPECT_TRUE(real.ui.questions.empty());
  EXPECT_EQ(StateNow(), static_cast<DWORD>(SERVICE_RUNNING));

  // "ReStart!" stops it and starts it again: a new process, the same row.
  const std::optional<SERVICE_STATUS_PROCESS> first = test::ServiceStatusNow(kServiceName);
  ASSERT_TRUE(first.has_value());
  (void)RunInfo(tab, real.ui, kResultYes);
  const std::optional<SERVICE_STATUS_PROCESS> second = test::ServiceStatusNow(kServiceName);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_NE(second->dwProcessId, first->dwProcessId);
  EXPECT_EQ(tab.selection(), FindEntry(tab));
  EXPECT_TRUE(tab.entries()[tab.selection()].running);

  // "Stop" stops it and reloads.
  (void)RunInfo(tab, real.ui, kResultNo);
  EXPECT_EQ(StateNow(), static_cast<DWORD>(SERVICE_STOPPED));
  row = FindEntry(tab);
  ASSERT_GE(row, 0);
  EXPECT_EQ(tab.selection(), row);
  EXPECT_FALSE(tab.entries()[row].running);
  // The manager removes a deleted service only once it has let go of its
  // process; the reload after the deletion comes at once.
  ASSERT_TRUE(test::WaitForServiceProcessEnd(kServiceName, second->dwProcessId));

  // Ctrl+Del on the stopped service, confirmed: deleted, the row above selected.
  real.ui.confirm_answers = {true};
  (void)RunInfo(tab, real.ui, kResultAbort);
  EXPECT_EQ(real.ui.questions.back(),
            std::string("Delete service\r") + kDisplayName + "\r" + kServiceName + "?");
  EXPECT_TRUE(real.ui.messages.empty());
  EXPECT_FALSE(test::ServiceStatusNow(kServiceName).has_value());
  EXPECT_EQ(FindEntry(tab), -1);
  EXPECT_EQ(tab.selection(), row > 0 ? row - 1 : 0);
  EXPECT_TRUE(real.ui.ScriptUsedUp());

  // A start type set on the service now gone gives the manager's reason,
  // which the dialog shows in the system's words (Windows: "The specified
  // service does not exist as an installed service.", Wine: "Service does
  // not exist.").
  const uint32_t error = SetServiceStartType(real.platform, kServiceName, StartTypeChoices()[0]);
  EXPECT_EQ(error, static_cast<uint32_t>(ERROR_SERVICE_DOES_NOT_EXIST));
  const std::string reason = real.platform.services.ErrorText(error);
  EXPECT_NE(reason.find("does not exist"), std::string::npos) << reason;
}

}  // namespace
}  // namespace cu::win32
