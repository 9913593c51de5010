#pragma once

// The Services tab: the list of Win32 services (all, or only the running
// ones), its export, and the Info flow that reports on a service and stops,
// starts, restarts or deletes it. No Win32 types: the window draws and
// refreshes its controls from this state after every command.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "presenter/list_state.h"
#include "presenter/signatures.h"
#include "presenter/ui.h"

namespace cu {

// Text colours of a running row (Windows COLORREF values).
inline constexpr uint32_t kColourAqua = 0xFFFF00;  // RGB(0, 255, 255), selected
inline constexpr uint32_t kColourRed = 0x0000FF;   // RGB(255, 0, 0), not selected

// One row of the list: a service as the last load found it.
struct ServiceEntry {
  std::string display_name;  // what the list shows and the Save export writes
  std::string service_name;  // what the manager knows the service by
  bool running = false;      // SERVICE_RUNNING at the load (a pending start is not)
};

// The text a row sorts by: its display name, a control character (U+0001)
// and its service name, compared as one text by the locale's
// case-insensitive order. The system's comparison passes over the control
// character, so a service name continues its display name in the order,
// the order the list and its export have always had.
[[nodiscard]] std::string SortText(const ServiceEntry& entry);
[[nodiscard]] bool ListedBefore(Locale& locale, const ServiceEntry& a, const ServiceEntry& b);

// How the list draws the row: its display name, red while the service runs
// (aqua when the row is also selected), else in the list's own colours.
[[nodiscard]] RowDrawing DrawServiceEntry(const ServiceEntry& entry, bool selected);

// "Delete service\r" + display name + "?", with "\r" + service name before
// the "?" when the trimmed names differ (letter case counts).
[[nodiscard]] std::string DeleteServiceQuestion(const std::string& display_name,
                                                const std::string& service_name);

inline constexpr char kPressCtrlDelHint[] = "Press Ctrl+Del to delete     ";
inline constexpr char kCannotDeleteService[] = "Cannot delete this service!";
// Followed by the display names of the services a restart left down.
inline constexpr char kNotStartedAgain[] = "Not started again: ";
inline constexpr char kNotStarted[] = "The service was not started";
inline constexpr char kNotStopped[] = "The service was not stopped";

// The first start or stop the manager refused in one command, and what
// that left undone.
struct ControlRefusal {
  uint32_t error = 0;
  const char* failure = nullptr;  // kNotStarted or kNotStopped
  void Note(uint32_t code, const char* what) {
    if (error == 0 && code != 0) {
      error = code;
      failure = what;
    }
  }
};

class ServicesTab {
 public:
  ServicesTab(const Platform& platform, Ui& ui);

  // Rebuilds the list from the manager of `machine` (empty: this computer):
  // services of `type` in `state`, only the running ones while the toggle is
  // down; sorted by ListedBefore (rows equal by it keep the manager's order);
  // row 0 selected. The caption is
  // empty while it runs and always set at the end: "R / N" with the toggle up,
  // "N" down. A manager that does not open gives an empty list.
  void LoadServices(const std::string& machine, uint32_t type, uint32_t state);
  // LoadServices of this computer's Win32 services in every state, as every
  // caller of the tab does.
  void Reload();

  // The toggle: down (true) lists only running services. Does not reload.
  void SetOnlyRunning(bool only_running) { only_running_ = only_running; }
  [[nodiscard]] bool only_running() const { return only_running_; }
  [[nodiscard]] const std::vector<ServiceEntry>& entries() const { return list_.rows(); }
  [[nodiscard]] int selection() const { return list_.selection(); }  // -1: none
  // Selects an existing row, or none with -1; any other index changes nothing.
  void Select(int index);
  [[nodiscard]] const std::string& toggle_caption() const { return toggle_caption_; }

  // DrawServiceEntry of row `index`, on pale red when the service's program
  // was verified and not found verified (unless selected); an index without
  // a row gives an empty name in the prepared colours.
  [[nodiscard]] RowDrawing RowDrawingAt(int index, bool selected) const;

  // Save: nothing for an empty list; else asks for a file and writes the
  // display names of the listed services, in list order, each line ended by
  // CR LF. Throws AppError "Cannot create file <path>".
  void SaveServiceList();

  // Info on the selected service: the report in the Info dialog, then the
  // chosen action (Stop, Start!/ReStart!, Ctrl+Del for a service that does
  // not run), the list reloaded and the row selected again afterwards. The
  // hourglass shows from the start of a stop or start until the flow ends,
  // and is gone on every way out. Errors propagate after that clean-up.
  //
  // The dialog also offers the start type (Automatic, Automatic (delayed
  // start), Manual, Disabled; Boot and System shown greyed): a pick asks
  // "Set the start type of <display name> to <type>?", changes it, tells a
  // refusal with the system's reason, and shows the report again; the list
  // reloads once the dialog has closed. Stop and ReStart! first ask "Also
  // stop <names>?" when running services depend on this one: No stops
  // nothing, Yes stops them first, the deepest first, and ReStart! starts
  // them again after the service itself.
  //
  // Stop in the progress dialog ends a restart's waits, not its starts: each
  // service the restart stopped that has reached the stopped state is asked
  // to start (without waiting), and no further one is stopped. Whatever the
  // restart stopped that is neither running nor starting at the end (still
  // stopping, or its start refused) is named: "Not started again: <display
  // names>".
  void ShowServiceInfo();

  // The verdicts on the services' programs, verified after each load.
  SignatureVerifier& signatures() { return signatures_; }

  // True once after a command that gives the list the keyboard focus.
  [[nodiscard]] bool TakeFocusRequest() { return list_.TakeFocusRequest(); }

 private:
  // What the Info dialog ended with.
  struct InfoOutcome {
    int result = 0;             // the dialog's kResult value
    bool running = false;       // as the report said when the dialog opened
    bool reconfigured = false;  // a start type was picked (the list then reloads)
  };

  void LoadEntries(const std::string& machine, uint32_t type, uint32_t state, int& running);
  void FinishLoad(int running);
  // Reloads the list and selects `row`; the load's selection (row 0) stays
  // when the list no longer has that row.
  void ReloadAndSelect(int row);
  // The Info dialog on `entry`: its report (display name, the manager's
  // report, the description, shown as none when it cannot be read), the
  // buttons its state offers, and the start-type list, whose picks change
  // the start type while the dialog stays open. Changes nothing else.
  [[nodiscard]] InfoOutcome RunInfoDialog(const ServiceEntry& entry);
  // Stop chosen in the dialog on the service of list row `row`: agrees the
  // running dependents with the user (No: nothing stops, a changed start
  // type still reloads the list), then stops them and the service under the
  // progress dialog, with the hourglass from then to the end; reloads,
  // selects `row` again and says a refusal afterwards.
  void StopChosenService(const ServiceEntry& entry, int row, const InfoOutcome& outcome);
  // Start! (the service did not run) or ReStart! (it ran; its dependents are
  // agreed first, as for Stop) chosen in the dialog: the hourglass from the
  // agreement to the end, "Not started again: <display names>" for what a
  // restart left down, the list reloaded and `row` selected when the service
  // stopped or its start type changed, and a refusal said last.
  void StartChosenService(const ServiceEntry& entry, int row, const InfoOutcome& outcome);
  // Ctrl+Del chosen in the dialog on a service that did not run: asks
  // DeleteServiceQuestion; on Yes marks it for deletion and selects the row
  // above `row` (or row 0) in the reloaded list, or offers a restart elevated
  // for a refusal and otherwise says kCannotDeleteService.
  void DeleteChosenService(const ServiceEntry& entry, int row);
  // The Info dialog's start-type list; none when the configuration cannot
  // be read. `report` gives the dialog's text anew after a change.
  [[nodiscard]] std::optional<InfoChoice> StartTypeList(const std::string& service_name,
                                                        const std::string& display_name,
                                                        const std::function<std::string()>& report);
  // The running dependents to stop first, after the user agreed to; none
  // without any; nullopt when the user said No.
  [[nodiscard]] std::optional<std::vector<ServiceRecord>> DependentsToStop(
      const std::string& service_name);
  // Stops them in order until one does not stop or Stop is asked; gives
  // those asked to stop, in order, and whether every one of them stopped.
  // A stop the manager refused goes to `refusal`.
  std::vector<ServiceRecord> StopDependents(const std::vector<ServiceRecord>& dependents,
                                            Progress& progress, bool& all_stopped,
                                            ControlRefusal& refusal);
  // ReStart! of a running service after the dependents were agreed to:
  // stops them and the service, starts again what reached the stopped state
  // (the service, then the dependents in reverse), and gives the display
  // names of those stopped that are neither running nor starting at the
  // end, but for the service itself when the manager refused its stop or
  // start: that goes to `refusal`. `stopped` tells whether the service
  // itself stopped.
  std::vector<std::string> Restart(const std::string& service_name,
                                   const std::string& display_name,
                                   const std::vector<ServiceRecord>& dependents,
                                   Progress& progress, bool& stopped, ControlRefusal& refusal);
  // Says the refusal after the list has been reloaded (see ReportRefusal).
  void SayRefusal(const ControlRefusal& refusal);

  Platform platform_;
  Ui& ui_;
  ListState<ServiceEntry> list_;
  bool only_running_ = false;
  std::string toggle_caption_;
  // Last: its worker, which uses the platform, stops first.
  mutable SignatureVerifier signatures_;  // a cache of verdicts, filled also by reports
};

}  // namespace cu
