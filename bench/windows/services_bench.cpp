// Services: ServicesTab::LoadServices (enumeration, rows, locale sort,
// caption) next to the raw EnumServicesStatusA pair, on the prefix's own
// services and again with many more registered.

#include <cstdio>

#include "bench/bench_ui.h"
#include "bench/windows/bench_support.h"
#include "bench/windows/benchmarks.h"
#include "platform/win32/win32_platform.h"
#include "services/services_tab.h"

namespace cu::bench::win {

namespace {

// The sizing call and the full call; the number of services listed.
DWORD RawEnumeration() {
  UniqueSc manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
  Check(manager.valid(), "OpenSCManagerA");
  DWORD needed = 0;
  DWORD returned = 0;
  DWORD resume = 0;
  if (::EnumServicesStatusA(manager.get(), SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &needed,
                            &returned, &resume) ||
      ::GetLastError() != ERROR_MORE_DATA) {
    return 0;
  }
  std::vector<ENUM_SERVICE_STATUSA> buffer(needed / sizeof(ENUM_SERVICE_STATUSA) + 1);
  resume = 0;
  Check(::EnumServicesStatusA(manager.get(), SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
                              needed, &needed, &returned, &resume) != FALSE,
        "EnumServicesStatusA");
  return returned;
}

// Registers the benchmark's services (demand start, never started); those
// already registered stay. Returns how many were created.
int RegisterServices(int count) {
  UniqueSc manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  Check(manager.valid(), "OpenSCManagerA(all access)");
  std::string binary = "\"";
  binary += ExeFolder();
  binary += "cu_bench_versioned.exe\"";
  int created = 0;
  for (const ServiceItem& item : MakeServices(count)) {
    UniqueSc service(::CreateServiceA(manager.get(), item.name.c_str(), item.display_name.c_str(),
                                      SERVICE_QUERY_STATUS, SERVICE_WIN32_OWN_PROCESS,
                                      SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, binary.c_str(),
                                      nullptr, nullptr, nullptr, nullptr, nullptr));
    if (service) {
      ++created;
    } else {
      Check(::GetLastError() == ERROR_SERVICE_EXISTS, "CreateServiceA " + item.name);
    }
  }
  return created;
}

bool MeasureOnce(const std::string& label, int runs) {
  cu::win32::Win32Machine machine;
  QuietUi ui;
  ServicesTab tab(machine.platform(), ui);
  DWORD raw_count = 0;
  const std::vector<Timings> timings =
      Alternate(runs, {[&] { raw_count = RawEnumeration(); }, [&] { tab.Reload(); }});
  PrintNote(label + ": " + Grouped(raw_count) + " services");
  PrintTimingRow("  raw EnumServicesStatusA pair (baseline)", timings[0], "");
  PrintTimingRow("  ServicesTab::LoadServices", timings[1],
                 Grouped(tab.entries().size()) + " rows, caption " + tab.toggle_caption());
  return PrintRatio("load / raw", timings[1].Median() / timings[0].Median(), 1.5, 2);
}

}  // namespace

bool RunServicesBenchmark(const Sizes& sizes, int runs) {
  PrintTitle("Services list (Win32 services, every state)");
  PrintHeader();
  bool met = MeasureOnce("the prefix's own services", runs);
  Stopwatch watch;
  const int created = RegisterServices(sizes.services);
  const double register_ms = watch.ElapsedMs();
  met = MeasureOnce("with " + Grouped(sizes.services) + " more registered", runs) && met;
  PrintNote("(registering " + Grouped(created) + " services took " + FormatMs(register_ms) + ")");
  return met;
}

}  // namespace cu::bench::win
