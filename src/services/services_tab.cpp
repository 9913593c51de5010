#include "services/services_tab.h"

#include <algorithm>
#include <optional>

#include "platform/cleanup.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "platform/text_export.h"
#include "services/service_control.h"

namespace cu {

std::string DisplayNamePart(std::string_view element) {
  const std::size_t soh = element.find(kSoh);
  return soh == std::string_view::npos ? std::string() : std::string(element.substr(0, soh));
}

std::string ServiceNamePart(std::string_view element) {
  const std::size_t soh = element.find(kSoh);
  return soh == std::string_view::npos ? std::string() : std::string(element.substr(soh + 1));
}

std::string DeleteServiceQuestion(const std::string& display_name,
                                  const std::string& service_name) {
  std::string question = "Delete service\r" + display_name;
  if (Trim(display_name) != Trim(service_name)) question += "\r" + service_name;
  return question + "?";
}

ServicesTab::ServicesTab(const Platform& platform, Ui& ui) : platform_(platform), ui_(ui) {}

void ServicesTab::LoadServices(const std::string& machine, uint32_t type, uint32_t state) {
  toggle_caption_.clear();
  list_.Clear();
  int running = 0;
  // Whatever cuts the load short, the list ends sorted, with a selection
  // and a caption.
  const ScopeExit finish([&] { FinishLoad(running); });
  LoadEntries(machine, type, state, running);
}

void ServicesTab::LoadEntries(const std::string& machine, uint32_t type, uint32_t state,
                              int& running) {
  ServiceManager& services = platform_.services;
  std::unique_ptr<ScHandle> manager = services.OpenManager(machine, kScManagerEnumerateService);
  if (!manager) return;
  std::vector<ServiceRecord> records = services.Enumerate(*manager, type, state);
  std::vector<ServiceEntry>& entries = list_.mutable_rows();
  entries.reserve(records.size());
  for (ServiceRecord& record : records) {
    const bool is_running = record.status.current_state == kServiceRunning;
    if (is_running) ++running;
    if (!is_running && only_running_) continue;
    entries.push_back(
        ServiceEntry{record.display_name + kSoh + record.service_name, is_running ? 1 : 0});
  }
}

void ServicesTab::FinishLoad(int running) {
  list_.Select(0);
  Locale& locale = platform_.locale;
  std::vector<ServiceEntry>& entries = list_.mutable_rows();
  std::stable_sort(entries.begin(), entries.end(),
                   [&locale](const ServiceEntry& a, const ServiceEntry& b) {
                     return locale.CompareNoCase(a.text, b.text) < 0;
                   });
  const std::string count = std::to_string(entries.size());
  toggle_caption_ = only_running_ ? count : std::to_string(running) + " / " + count;
}

void ServicesTab::Reload() { LoadServices("", kServiceWin32, kServiceStateAll); }

void ServicesTab::Select(int index) {
  if (index == -1 || list_.Contains(index)) list_.Select(index);
}

RowDrawing ServicesTab::RowDrawingAt(int index, bool selected) const {
  RowDrawing row;
  if (!list_.Contains(index)) return row;
  const ServiceEntry& entry = list_.rows()[static_cast<std::size_t>(index)];
  row.name = DisplayNamePart(entry.text);
  if (entry.tag == 1) row.text_colour = selected ? kColourAqua : kColourRed;
  return row;
}

void ServicesTab::SaveServiceList() {
  if (list_.empty()) return;
  std::optional<std::string> path = ui_.ChooseSaveFile();
  if (!path) return;
  std::vector<std::string> lines;
  lines.reserve(list_.size());
  for (const ServiceEntry& entry : list_.rows()) {
    if (entry.text.find(kSoh) != std::string::npos) lines.push_back(DisplayNamePart(entry.text));
  }
  ExportLines(platform_.files, *path, lines);
}

void ServicesTab::ShowServiceInfo() {
  const int row = list_.selection();
  if (!list_.selected()) return;

  {
    // The hourglass, once set, is taken down on every way out of the flow.
    std::optional<BusyCursor> busy;
    const std::string element = list_.selected()->text;
    const std::string service_name = ServiceNamePart(element);
    const std::string display_name = DisplayNamePart(element);

    std::string description;
    try {
      description = ReadServiceDescription(platform_.registry, service_name);
    } catch (const AppError&) {
      // A description that cannot be read is shown as none.
    }
    const ServiceReport report = GetServiceInfo(platform_, "", service_name);

    InfoRequest request;
    request.caption = "Info Service";
    request.text = "Display Name:\t" + display_name + "\r\n" + report.text + "\r\n" +
                   "Description:\t" + description;
    request.show_stop = report.running;
    request.yes_caption = report.running ? "ReStart!" : "Start!";
    if (!report.running) request.bottom_hint = kPressCtrlDelHint;

    const int result = ui_.ShowInfo(request);
    if (result == kResultNo) {
      busy.emplace(ui_);
      ui_.Repaint();
      // The reload shows the outcome.
      ui_.RunWork({"Stopping " + display_name, WorkKind::kWaiting, 0}, [&](Progress& progress) {
        (void)StopServiceAndWait(platform_, "", service_name, &progress);
      });
      ui_.Repaint();
      Reload();
      Select(row);
    } else if (result == kResultYes) {
      busy.emplace(ui_);
      ui_.Repaint();
      // A service that is not running reports stopped at once, so Start!
      // goes straight to starting it.
      const std::string starting = "Starting " + display_name;
      bool stopped = false;
      ui_.RunWork({report.running ? "Stopping " + display_name : starting, WorkKind::kWaiting, 0},
                  [&](Progress& progress) {
                    stopped = StopServiceAndWait(platform_, "", service_name, &progress);
                    if (!stopped || progress.StopRequested()) return;
                    progress.SetAction(starting);
                    StartServiceAndWait(platform_, "", service_name, &progress);
                  });
      if (stopped) {
        ui_.Repaint();
        Reload();
        Select(row);
      }
    } else if (result == kResultAbort && !report.running) {
      if (ui_.Confirm(DeleteServiceQuestion(display_name, service_name))) {
        ui_.Repaint();
        if (DeleteServiceByName(platform_.services, service_name)) {
          ui_.Repaint();
          Reload();
          Select(row > 0 ? row - 1 : 0);
        } else {
          ui_.ShowMessage(kCannotDeleteService);
        }
      }
      ui_.Repaint();
    }
  }
  ui_.Repaint();
  list_.RequestFocus();
}

}  // namespace cu
