#include "services/service_control.h"

#include <gtest/gtest.h>

#include "fake_ui.h"
#include "platform/memory/memory_machine.h"
#include "services/services_tab.h"
#include "services_test_support.h"

namespace cu {
namespace {

using memory::MemoryMachine;
using memory::MemoryService;
using testing::Service;

class ServiceControlTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(machine_.services.open_handles, 0) << "a service handle was left open";
    EXPECT_EQ(machine_.registry.open_key_count(), 0) << "a key was left open";
  }
  std::string Report(const std::string& name) {
    return GetServiceInfo(machine_.platform(), "", name).text;
  }
  MemoryMachine machine_;
};

TEST(ServiceTextsTest, ExecutableCheckPathCutsAfterTheFirstExeAndDropsOneQuote) {
  memory::MemoryLocale locale;
  const auto ExecutableCheckPath = [&locale](std::string_view path) {
    return cu::ExecutableCheckPath(locale, path);
  };
  EXPECT_EQ(ExecutableCheckPath("  \"C:\\Program Files\\App\\App.EXE\" -service /x"),
            "c:\\program files\\app\\app.exe");
  // Letters beyond A to Z by the system's mapping.
  EXPECT_EQ(ExecutableCheckPath("C:\\JOS\xC3\x89\\R\xC3\x9Cn.exe"),
            "c:\\jos\xC3\xA9\\r\xC3\xBCn.exe");
  EXPECT_EQ(ExecutableCheckPath("'C:\\Tools\\run.exe'"), "c:\\tools\\run.exe");
  EXPECT_EQ(ExecutableCheckPath("\" C:\\Tools\\run.exe"), "c:\\tools\\run.exe");
  // The first ".exe" decides, even inside a folder name.
  EXPECT_EQ(ExecutableCheckPath("C:\\a.exec\\b.exe"), "c:\\a.exe");
  EXPECT_EQ(ExecutableCheckPath("%SystemRoot%\\System32\\svchost.exe -k netsvcs"),
            "%systemroot%\\system32\\svchost.exe");
  EXPECT_EQ(ExecutableCheckPath("C:\\drivers\\thing.sys"), std::nullopt);
}

TEST(ServiceTextsTest, PollPauseIsATenthOfTheHintWithinBounds) {
  EXPECT_EQ(ServicePollPause(0), kServicePollMinMs);  // a hint of 0 never spins
  EXPECT_EQ(ServicePollPause(499), kServicePollMinMs);
  EXPECT_EQ(ServicePollPause(3000), 300u);
  EXPECT_EQ(ServicePollPause(0xFFFFFFFFu), kServicePollMaxMs);
}

TEST_F(ServiceControlTest, ReportOnAStoppedServiceChecksTheProgramFile) {
  machine_.files.AddFile("C:\\Program Files\\App\\app.exe");
  machine_.files.AddFile("C:\\windows\\System32\\svchost.exe");
  machine_.files.AddFolder("C:\\folder.exe");
  struct Case {
    const char* path;
    bool not_found;
  };
  const Case cases[] = {
      {"\"C:\\Program Files\\App\\APP.exe\" -service", false},
      {"%SystemRoot%\\System32\\svchost.exe -k netsvcs", true},  // not expanded
      {"C:\\windows\\System32\\svchost.exe", false},
      {"'C:\\gone\\svc.exe'", true},
      {"C:\\folder.exe", true},  // a folder is no program
      {"C:\\drivers\\gone.sys", false},  // no ".exe": no check
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    MemoryService service = Service("svc", "Svc");
    service.binary_path = c.path;
    machine_.services = {};
    machine_.services.Add(service);
    const std::string text = Report("svc");
    EXPECT_NE(text.find("BinaryPathName:\t" + std::string(c.path)), std::string::npos);
    EXPECT_EQ(text.find("\r\n(File not found!)") != std::string::npos, c.not_found) << text;
  }
}

TEST_F(ServiceControlTest, TheProgramsSignatureFollowsItsPathAndColoursTheRow) {
  machine_.files.AddFile("C:\\svc\\signed.exe");
  machine_.files.AddFile("C:\\svc\\plain.exe");
  machine_.signatures.SetEmbedded("c:\\svc\\signed.exe", {TrustCheck::Outcome::kValid, "Maker", true});
  MemoryService signed_service = Service("a", "A");
  signed_service.binary_path = "\"C:\\svc\\signed.exe\" -run";
  signed_service.state = kServiceRunning;
  MemoryService plain = Service("b", "B");
  plain.binary_path = "C:\\svc\\plain.exe";
  MemoryService gone = Service("c", "C");
  gone.binary_path = "C:\\svc\\gone.exe";
  for (const MemoryService& service : {signed_service, plain, gone}) machine_.services.Add(service);
  testing::FakeUi ui;
  ServicesTab tab(machine_.platform(), ui);
  tab.Reload();
  tab.signatures().RunQueued();
  const std::optional<uint32_t> pale_red = kColourUnverifiedRow;
  const std::pair<const char*, std::optional<uint32_t>> fills[] = {{"a", {}}, {"b", pale_red}, {"c", {}}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(tab.entries()[i].service_name, fills[i].first);
    EXPECT_EQ(tab.RowDrawingAt(i, false).fill_colour, fills[i].second) << fills[i].first;
    EXPECT_EQ(tab.RowDrawingAt(i, false).text_colour, i == 0 ? std::optional<uint32_t>(kColourRed) : std::nullopt);
    EXPECT_FALSE(tab.RowDrawingAt(i, true).fill_colour);
  }
  const auto report = [&](const char* name) {
    return GetServiceInfo(machine_.platform(), "", name, &tab.signatures()).text;
  };
  EXPECT_NE(report("a").find("BinaryPathName:\t\"C:\\svc\\signed.exe\" -run\r\nSignature:\tVerified: Maker"),
            std::string::npos) << report("a");
  EXPECT_NE(report("b").find("plain.exe\r\nSignature:\tNot signed"), std::string::npos) << report("b");
  EXPECT_NE(report("c").find("gone.exe\r\n(File not found!)"), std::string::npos) << report("c");
}

TEST_F(ServiceControlTest, ReportIsTheNameAloneWhenTheServiceDoesNotOpen) {
  MemoryService closed = Service("closed", "Closed");
  closed.deny_open = true;
  machine_.services.Add(closed);
  machine_.services.Add(Service("open", "Open"));
  EXPECT_EQ(Report("closed"), "Service Name:\tclosed");
  EXPECT_EQ(Report("nosuch"), "Service Name:\tnosuch");
  machine_.services.deny_manager = true;
  EXPECT_EQ(Report("open"), "Service Name:\topen");
}

TEST_F(ServiceControlTest, DescriptionIsReadWithReadAccessOnly) {
  const std::string key = "System\\CurrentControlSet\\Services\\Spooler";
  machine_.registry.SetString(Hive::kLocalMachine, key, "Description", "Queues print jobs.");
  machine_.registry.RestrictAccess(Hive::kLocalMachine, key, kKeyRead);
  EXPECT_EQ(ReadServiceDescription(machine_.registry, "spooler"), "Queues print jobs.");
  machine_.registry.CreateKey(Hive::kLocalMachine, key + "x");
  EXPECT_EQ(ReadServiceDescription(machine_.registry, "spoolerx"), "");
  EXPECT_EQ(ReadServiceDescription(machine_.registry, "absent"), "");
}

TEST_F(ServiceControlTest, MemoryManagerFiltersAndChecksRights) {
  auto& services = machine_.services;
  services.Add(Service("b", "B", kServiceRunning));
  services.Add(Service("a", "A"));
  MemoryService driver = Service("d", "Driver", kServiceRunning);
  driver.type = 1;
  services.Add(driver);
  MemoryService pending = Service("p", "P", kServiceStartPending);
  services.Add(pending);

  auto names = [&](uint32_t type, uint32_t state) {
    std::string out;
    auto manager = services.OpenManager("", kScManagerEnumerateService);
    for (const ServiceRecord& r : services.Enumerate(*manager, type, state)) out += r.service_name;
    return out;
  };
  EXPECT_EQ(names(kServiceWin32, 3), "bap");  // insertion order
  EXPECT_EQ(names(kServiceWin32, 1), "bp");   // active: not stopped
  EXPECT_EQ(names(kServiceWin32, 2), "a");
  EXPECT_EQ(names(1, 3), "d");

  auto manager = services.OpenManager("", kScManagerConnect);
  EXPECT_TRUE(services.Enumerate(*manager, kServiceWin32, 3).empty()) << "needs enumerate right";
  auto query_only = services.OpenService(*manager, "B", kServiceQueryStatus);
  ASSERT_TRUE(query_only);
  EXPECT_FALSE(services.Start(*query_only));
  EXPECT_FALSE(services.Stop(*query_only).accepted);
  EXPECT_FALSE(services.Delete(*query_only));
  EXPECT_EQ(services.Find("b")->state, kServiceRunning);

  // A running service marked for deletion leaves the list at once and the
  // manager when it has stopped.
  auto b = services.OpenService(*manager, "b", kServiceAllAccess);
  EXPECT_TRUE(services.Delete(*b));
  EXPECT_FALSE(services.Delete(*b));
  EXPECT_EQ(names(kServiceWin32, 3), "ap");
  EXPECT_FALSE(services.OpenService(*manager, "b", kServiceQueryStatus));
  EXPECT_TRUE(services.Stop(*b).accepted);
  EXPECT_FALSE(services.QueryStatus(*b));
  EXPECT_EQ(services.calls,
            (std::vector<std::string>{"start b", "stop b", "delete b", "delete b", "delete b",
                                      "stop b"}));
}

TEST_F(ServiceControlTest, DeleteAsksOnlyToConnectAndToDelete) {
  // A user whom the manager allows only to connect, and the service only
  // deletion: enough for the delete, and nothing more is asked.
  auto& services = machine_.services;
  services.manager_access = kScManagerConnect;
  MemoryService deletable = Service("deletable", "Deletable");
  deletable.granted_access = kDelete;
  services.Add(deletable);
  MemoryService kept = Service("kept", "Kept");
  kept.granted_access = kServiceAllAccess & ~kDelete;
  services.Add(kept);
  EXPECT_EQ(DeleteServiceByName(services, "deletable"), kErrorSuccess);
  EXPECT_EQ(services.Find("deletable"), nullptr);
  EXPECT_EQ(DeleteServiceByName(services, "kept"), kErrorAccessDenied);
  EXPECT_EQ(DeleteServiceByName(services, "gone"), kErrorServiceDoesNotExist);
  EXPECT_EQ(services.calls, (std::vector<std::string>{"delete deletable"}));
}

}  // namespace
}  // namespace cu
