#include "services/services_tab.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/cleanup.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "presenter/refusal.h"
#include "presenter/text_export.h"
#include "services/service_control.h"

namespace cu {

std::string SortText(const ServiceEntry& entry) {
  return entry.display_name + '\x01' + entry.service_name;
}

bool ListedBefore(Locale& locale, const ServiceEntry& a, const ServiceEntry& b) {
  return locale.CompareNoCase(SortText(a), SortText(b)) < 0;
}

RowDrawing DrawServiceEntry(const ServiceEntry& entry, bool selected) {
  RowDrawing row;
  row.name = entry.display_name;
  if (entry.running) row.text_colour = selected ? kColourAqua : kColourRed;
  return row;
}

std::string DeleteServiceQuestion(const std::string& display_name,
                                  const std::string& service_name) {
  std::string question = "Delete service\r" + display_name;
  if (Trim(display_name) != Trim(service_name)) question += "\r" + service_name;
  return question + "?";
}

ServicesTab::ServicesTab(const Platform& platform, Ui& ui)
    : platform_(platform),
      ui_(ui),
      signatures_(platform, [platform](const std::string& service_name) {
        return ServiceProgramFile(platform, service_name);
      }) {}

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
    entries.push_back(ServiceEntry{std::move(record.display_name),
                                   std::move(record.service_name), is_running});
  }
}

void ServicesTab::FinishLoad(int running) {
  list_.Select(0);
  Locale& locale = platform_.locale;
  std::vector<ServiceEntry>& entries = list_.mutable_rows();
  // Each row's sort text made once, not at every comparison.
  std::vector<std::pair<std::string, ServiceEntry>> keyed;
  keyed.reserve(entries.size());
  for (ServiceEntry& entry : entries) keyed.emplace_back(SortText(entry), std::move(entry));
  std::stable_sort(keyed.begin(), keyed.end(), [&locale](const auto& a, const auto& b) {
    return locale.CompareNoCase(a.first, b.first) < 0;
  });
  for (std::size_t i = 0; i < keyed.size(); ++i) entries[i] = std::move(keyed[i].second);
  const std::string count = std::to_string(entries.size());
  toggle_caption_ = only_running_ ? count : std::to_string(running) + " / " + count;
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (const ServiceEntry& entry : entries) names.push_back(entry.service_name);
  signatures_.Start(std::move(names));
}

void ServicesTab::Reload() { LoadServices("", kServiceWin32, kServiceStateAll); }

void ServicesTab::Select(int index) {
  if (index == -1 || list_.Contains(index)) list_.Select(index);
}

RowDrawing ServicesTab::RowDrawingAt(int index, bool selected) const {
  if (!list_.Contains(index)) return RowDrawing{};
  const ServiceEntry& entry = list_.rows()[static_cast<std::size_t>(index)];
  RowDrawing drawing = DrawServiceEntry(entry, selected);
  if (!selected) {
    const std::optional<Signature> verdict = signatures_.ResultOf(entry.service_name);
    if (verdict && verdict->kind != Signature::Kind::kVerified) {
      drawing.fill_colour = kColourUnverifiedRow;
    }
  }
  return drawing;
}

void ServicesTab::SaveServiceList() {
  if (list_.empty()) return;
  std::optional<std::string> path = ui_.ChooseSaveFile();
  if (!path) return;
  std::vector<std::string> lines;
  lines.reserve(list_.size());
  for (const ServiceEntry& entry : list_.rows()) lines.push_back(entry.display_name);
  ExportLines(platform_.files, *path, lines);
}

void ServicesTab::ShowServiceInfo() {
  const int row = list_.selection();
  if (!list_.selected()) return;
  // A copy: every reload below replaces the rows.
  const ServiceEntry entry = *list_.selected();
  const InfoOutcome outcome = RunInfoDialog(entry);
  if (outcome.reconfigured && outcome.result != kResultNo && outcome.result != kResultYes) {
    ReloadAndSelect(row);
  }
  if (outcome.result == kResultNo) {
    StopChosenService(entry, row, outcome);
  } else if (outcome.result == kResultYes) {
    StartChosenService(entry, row, outcome);
  } else if (outcome.result == kResultAbort && !outcome.running) {
    DeleteChosenService(entry, row);
  }
  ui_.Repaint();
  list_.RequestFocus();
}

void ServicesTab::ReloadAndSelect(int row) {
  Reload();
  Select(row);
}

ServicesTab::InfoOutcome ServicesTab::RunInfoDialog(const ServiceEntry& entry) {
  std::string description;
  try {
    description = ReadServiceDescription(platform_.registry, entry.service_name);
  } catch (const AppError&) {
    // A description that cannot be read is shown as none.
  }
  const ServiceReport report = GetServiceInfo(platform_, "", entry.service_name, &signatures_);
  const auto report_text = [&](const ServiceReport& shown) {
    return "Display Name:\t" + entry.display_name + "\r\n" + shown.text + "\r\n" +
           "Description:\t" + description;
  };

  InfoOutcome outcome;
  outcome.running = report.running;
  InfoRequest request;
  request.caption = "Info Service";
  request.text = report_text(report);
  request.show_stop = report.running;
  request.yes_caption = report.running ? "ReStart!" : "Start!";
  if (!report.running) request.bottom_hint = kPressCtrlDelHint;
  request.choice = StartTypeList(entry.service_name, entry.display_name, [&] {
    outcome.reconfigured = true;
    return report_text(GetServiceInfo(platform_, "", entry.service_name, &signatures_));
  });
  outcome.result = ui_.ShowInfo(request);
  return outcome;
}

void ServicesTab::StopChosenService(const ServiceEntry& entry, int row,
                                    const InfoOutcome& outcome) {
  const std::optional<std::vector<ServiceRecord>> dependents =
      DependentsToStop(entry.service_name);
  if (!dependents) {
    // No to stopping the dependents: nothing stops; a changed start type
    // still shows in the list.
    if (outcome.reconfigured) ReloadAndSelect(row);
    return;
  }
  // Taken down on every way out, before the caller's last repaint.
  const BusyCursor busy(ui_);
  ui_.Repaint();
  // The reload shows the outcome; a refusal is said after it.
  ControlRefusal refusal;
  ui_.RunWork({"Stopping " + entry.display_name, WorkKind::kWaiting, 0},
              [&](Progress& progress) {
                bool all_stopped = false;
                (void)StopDependents(*dependents, progress, all_stopped, refusal);
                if (!all_stopped) return;
                uint32_t error = 0;
                (void)StopServiceAndWait(platform_, "", entry.service_name, &progress, &error);
                refusal.Note(error, kNotStopped);
              });
  ui_.Repaint();
  ReloadAndSelect(row);
  SayRefusal(refusal);
}

void ServicesTab::StartChosenService(const ServiceEntry& entry, int row,
                                     const InfoOutcome& outcome) {
  const std::optional<std::vector<ServiceRecord>> dependents =
      outcome.running ? DependentsToStop(entry.service_name) : std::vector<ServiceRecord>{};
  if (!dependents) {
    // As for Stop: No leaves everything running.
    if (outcome.reconfigured) ReloadAndSelect(row);
    return;
  }
  // Taken down on every way out, before the caller's last repaint.
  const BusyCursor busy(ui_);
  ui_.Repaint();
  const std::string starting = "Starting " + entry.display_name;
  bool stopped = false;
  std::vector<std::string> not_started;
  ControlRefusal refusal;
  ui_.RunWork({outcome.running ? "Stopping " + entry.display_name : starting,
               WorkKind::kWaiting, 0},
              [&](Progress& progress) {
                if (outcome.running) {
                  not_started = Restart(entry.service_name, entry.display_name, *dependents,
                                        progress, stopped, refusal);
                  return;
                }
                // A service that is not running reports stopped at once, so
                // Start! goes straight to starting it.
                stopped = StopServiceAndWait(platform_, "", entry.service_name, &progress);
                if (stopped && !progress.StopRequested()) {
                  progress.SetAction(starting);
                  refusal.Note(StartServiceAndWait(platform_, "", entry.service_name, &progress),
                               kNotStarted);
                }
              });
  if (!not_started.empty()) ui_.ShowMessage(kNotStartedAgain + JoinNames(not_started));
  if (stopped || outcome.reconfigured) {
    ui_.Repaint();
    ReloadAndSelect(row);
  }
  SayRefusal(refusal);
}

void ServicesTab::DeleteChosenService(const ServiceEntry& entry, int row) {
  if (ui_.Confirm(DeleteServiceQuestion(entry.display_name, entry.service_name))) {
    ui_.Repaint();
    const uint32_t error = DeleteServiceByName(platform_.services, entry.service_name);
    if (error == kErrorSuccess) {
      ui_.Repaint();
      ReloadAndSelect(row > 0 ? row - 1 : 0);
    } else if (!OfferElevation(platform_, ui_, Page::kServices, error)) {
      ui_.ShowMessage(kCannotDeleteService);
    }
  }
  ui_.Repaint();
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
