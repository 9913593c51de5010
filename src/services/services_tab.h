#pragma once

// The Services tab: the list of Win32 services (all, or only the running
// ones), its export, and the Info flow that reports on a service and stops,
// starts, restarts or deletes it. No Win32 types: the window draws and
// refreshes its controls from this state after every command.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "presenter/list_state.h"
#include "presenter/ui.h"

namespace cu {

// Separates the display name from the service name in an element's text.
inline constexpr char kSoh = '\x01';

// Text colours of a running row (Windows COLORREF values).
inline constexpr uint32_t kColourAqua = 0xFFFF00;  // RGB(0, 255, 255), selected
inline constexpr uint32_t kColourRed = 0x0000FF;   // RGB(255, 0, 0), not selected

// One row of the list: display name, SOH, service name; tag 1 when the
// service was running at the last load, else 0.
struct ServiceEntry {
  std::string text;
  int tag = 0;
};

// The text before the first SOH, and the text after it; both empty when the
// element holds no SOH.
[[nodiscard]] std::string DisplayNamePart(std::string_view element);
[[nodiscard]] std::string ServiceNamePart(std::string_view element);

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
  // down; sorted by the locale's case-insensitive order of the whole text
  // (equal texts keep the manager's order); row 0 selected. The caption is
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

  // The name and text colour of row `index`; an index without element gives
  // an empty name in the prepared colours.
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

  // True once after a command that gives the list the keyboard focus.
  [[nodiscard]] bool TakeFocusRequest() { return list_.TakeFocusRequest(); }

 private:
  void LoadEntries(const std::string& machine, uint32_t type, uint32_t state, int& running);
  void FinishLoad(int running);
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
};

}  // namespace cu
