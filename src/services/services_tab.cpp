#include "services/services_tab.h"

#include <algorithm>
#include <optional>

#include "platform/cleanup.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "presenter/refusal.h"
#include "presenter/text_export.h"
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
    const auto report_text = [&](const ServiceReport& shown) {
      return "Display Name:\t" + display_name + "\r\n" + shown.text + "\r\n" +
             "Description:\t" + description;
    };

    InfoRequest request;
    request.caption = "Info Service";
    request.text = report_text(report);
    request.show_stop = report.running;
    request.yes_caption = report.running ? "ReStart!" : "Start!";
    if (!report.running) request.bottom_hint = kPressCtrlDelHint;
    bool reconfigured = false;
    request.choice = StartTypeList(service_name, display_name, [&] {
      reconfigured = true;
      return report_text(GetServiceInfo(platform_, "", service_name));
    });

    const int result = ui_.ShowInfo(request);
    if (reconfigured && result != kResultNo && result != kResultYes) {
      Reload();
      Select(row);
    }
    // No to stopping the dependents: nothing stops; a changed start type
    // still shows in the list.
    const auto refused_stop = [&] {
      if (reconfigured) {
        Reload();
        Select(row);
      }
      ui_.Repaint();
      list_.RequestFocus();
    };
    if (result == kResultNo) {
      const std::optional<std::vector<ServiceRecord>> dependents = DependentsToStop(service_name);
      if (!dependents) {
        refused_stop();
        return;
      }
      busy.emplace(ui_);
      ui_.Repaint();
      // The reload shows the outcome; a refusal is said after it.
      ControlRefusal refusal;
      ui_.RunWork({"Stopping " + display_name, WorkKind::kWaiting, 0}, [&](Progress& progress) {
        bool all_stopped = false;
        (void)StopDependents(*dependents, progress, all_stopped, refusal);
        if (!all_stopped) return;
        uint32_t error = 0;
        (void)StopServiceAndWait(platform_, "", service_name, &progress, &error);
        refusal.Note(error, kNotStopped);
      });
      ui_.Repaint();
      Reload();
      Select(row);
      SayRefusal(refusal);
    } else if (result == kResultYes) {
      const std::optional<std::vector<ServiceRecord>> dependents =
          report.running ? DependentsToStop(service_name) : std::vector<ServiceRecord>{};
      if (!dependents) {
        refused_stop();
        return;
      }
      busy.emplace(ui_);
      ui_.Repaint();
      const std::string starting = "Starting " + display_name;
      bool stopped = false;
      std::vector<std::string> not_started;
      ControlRefusal refusal;
      ui_.RunWork({report.running ? "Stopping " + display_name : starting, WorkKind::kWaiting, 0},
                  [&](Progress& progress) {
                    if (report.running) {
                      not_started = Restart(service_name, display_name, *dependents, progress,
                                            stopped, refusal);
                      return;
                    }
                    // A service that is not running reports stopped at once,
                    // so Start! goes straight to starting it.
                    stopped = StopServiceAndWait(platform_, "", service_name, &progress);
                    if (stopped && !progress.StopRequested()) {
                      progress.SetAction(starting);
                      refusal.Note(StartServiceAndWait(platform_, "", service_name, &progress),
                                   kNotStarted);
                    }
                  });
      if (!not_started.empty()) {
        ui_.ShowMessage(kNotStartedAgain + JoinNames(not_started));
      }
      if (stopped || reconfigured) {
        ui_.Repaint();
        Reload();
        Select(row);
      }
      SayRefusal(refusal);
    } else if (result == kResultAbort && !report.running) {
      if (ui_.Confirm(DeleteServiceQuestion(display_name, service_name))) {
        ui_.Repaint();
        const uint32_t error = DeleteServiceByName(platform_.services, service_name);
        if (error == kErrorSuccess) {
          ui_.Repaint();
          Reload();
          Select(row > 0 ? row - 1 : 0);
        } else if (!OfferElevation(platform_, ui_, Page::kServices, error)) {
          ui_.ShowMessage(kCannotDeleteService);
        }
      }
      ui_.Repaint();
    }
  }
  ui_.Repaint();
  list_.RequestFocus();
}

std::optional<InfoChoice> ServicesTab::StartTypeList(const std::string& service_name,
                                                     const std::string& display_name,
                                                     const std::function<std::string()>& report) {
  const std::optional<ServiceConfig> config = ReadServiceConfig(platform_, service_name);
  if (!config) return std::nullopt;
  const std::vector<StartTypeChoice>& choices = StartTypeChoices();
  InfoChoice choice;
  choice.label = "Start type:";
  for (const StartTypeChoice& entry : choices) choice.items.emplace_back(entry.text);
  const std::optional<std::size_t> current = StartTypeChoiceOf(*config);
  if (current) {
    choice.selected = static_cast<int>(*current);
  } else {
    // Boot and System (drivers): shown, not offered.
    choice.items.emplace_back(StartTypeText(config->start_type).value_or("Unknown"));
    choice.selected = static_cast<int>(choice.items.size()) - 1;
    choice.enabled = false;
  }
  choice.picked = [this, &choices, service_name, display_name, report, items = choice.items,
                   selected = choice.selected](int item) mutable {
    InfoUpdate update{report(), selected};
    if (item == selected || item < 0 || static_cast<std::size_t>(item) >= choices.size()) {
      return update;
    }
    if (!ui_.Confirm("Set the start type of " + display_name + " to " +
                     items[static_cast<std::size_t>(item)] + "?")) {
      return update;
    }
    const uint32_t error =
        SetServiceStartType(platform_, service_name, choices[static_cast<std::size_t>(item)]);
    if (error != 0 && !OfferElevation(platform_, ui_, Page::kServices, error)) {
      ui_.ShowMessage("The start type of " + display_name + " was not changed: " +
                      platform_.services.ErrorText(error));
    }
    // The dialog shows what the manager holds now.
    update.text = report();
    if (const std::optional<ServiceConfig> now = ReadServiceConfig(platform_, service_name)) {
      if (const std::optional<std::size_t> index = StartTypeChoiceOf(*now)) {
        selected = static_cast<int>(*index);
      }
    }
    update.selected = selected;
    return update;
  };
  return choice;
}

std::optional<std::vector<ServiceRecord>> ServicesTab::DependentsToStop(
    const std::string& service_name) {
  std::vector<ServiceRecord> dependents = RunningDependents(platform_, service_name);
  if (dependents.empty()) return dependents;
  std::vector<std::string> names;
  for (const ServiceRecord& dependent : dependents) names.push_back(dependent.display_name);
  if (!ui_.Confirm("Also stop " + JoinNames(names) + "?")) return std::nullopt;
  return dependents;
}

std::vector<ServiceRecord> ServicesTab::StopDependents(const std::vector<ServiceRecord>& dependents,
                                                       Progress& progress, bool& all_stopped,
                                                       ControlRefusal& refusal) {
  std::vector<ServiceRecord> asked;
  all_stopped = false;
  for (const ServiceRecord& dependent : dependents) {
    if (progress.StopRequested()) return asked;
    progress.SetAction("Stopping " + dependent.display_name);
    asked.push_back(dependent);
    uint32_t error = 0;
    if (!StopServiceAndWait(platform_, "", dependent.service_name, &progress, &error)) {
      refusal.Note(error, kNotStopped);
      return asked;
    }
  }
  all_stopped = true;
  return asked;
}

std::vector<std::string> ServicesTab::Restart(const std::string& service_name,
                                              const std::string& display_name,
                                              const std::vector<ServiceRecord>& dependents,
                                              Progress& progress, bool& stopped,
                                              ControlRefusal& refusal) {
  bool dependents_stopped = false;
  std::vector<ServiceRecord> asked =
      StopDependents(dependents, progress, dependents_stopped, refusal);
  // Once Stop is asked nothing more is stopped: what already was runs again.
  bool refused_itself = false;  // the manager refused the service's own stop or start
  if (dependents_stopped && !progress.StopRequested()) {
    uint32_t error = 0;
    stopped = StopServiceAndWait(platform_, "", service_name, &progress, &error);
    refusal.Note(error, kNotStopped);
    refused_itself = error != 0;
    // A refused stop left it running: nothing of it to start again.
    if (!refused_itself) asked.push_back(ServiceRecord{service_name, display_name, {}});
  }
  // The service itself first, then the dependents, the ones it needs first.
  // A service still stopping cannot take a start; Stop ends the waits, so
  // after it each start is only asked for.
  for (auto it = asked.rbegin(); it != asked.rend(); ++it) {
    if (ServiceStateNow(platform_, it->service_name) != kServiceStopped) continue;
    if (progress.StopRequested()) {
      (void)RequestServiceStart(platform_, it->service_name);  // the check below tells
      continue;
    }
    if (it->service_name != service_name) {
      (void)StartServiceAndWait(platform_, "", it->service_name, &progress);  // the check below tells
      continue;
    }
    progress.SetAction("Starting " + display_name);
    const uint32_t error = StartServiceAndWait(platform_, "", service_name, &progress);
    refusal.Note(error, kNotStarted);
    refused_itself = refused_itself || error != 0;
  }
  std::vector<std::string> not_started;
  for (auto it = asked.rbegin(); it != asked.rend(); ++it) {
    if (refused_itself && it->service_name == service_name) continue;  // said on its own
    const std::optional<uint32_t> state = ServiceStateNow(platform_, it->service_name);
    if (state != kServiceRunning && state != kServiceStartPending) {
      not_started.push_back(it->display_name);
    }
  }
  return not_started;
}

void ServicesTab::SayRefusal(const ControlRefusal& refusal) {
  if (refusal.error == 0) return;
  ReportRefusal(platform_, ui_, Page::kServices, refusal.error, refusal.failure);
}

}  // namespace cu
