#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "presenter/progress.h"

namespace cu {

// The tabs, in their order.
enum class Page { kStartup = 0, kUrls = 1, kFolders = 2, kServices = 3 };

// Results of the Info dialog's modal run.
inline constexpr int kResultCancel = 2;
inline constexpr int kResultAbort = 3;
inline constexpr int kResultYes = 6;
inline constexpr int kResultNo = 7;

// What the Info dialog shows after the user picked an item of its list.
struct InfoUpdate {
  std::string text;   // the report
  int selected = -1;  // the list's item
};

// A drop-down list in a row of its own above the buttons, with its label.
struct InfoChoice {
  std::string label;
  std::vector<std::string> items;
  int selected = -1;
  bool enabled = true;  // false: shown greyed
  // Runs, while the dialog stays open, when the user picks another item.
  std::function<InfoUpdate(int item)> picked;
};

struct InfoRequest {
  std::string caption;
  std::string text;
  std::string bottom_hint;               // right-aligned in the panel below the report
  std::string yes_caption = "DELETE!!!";  // the button that ends the dialog with kResultYes
  bool yes_enabled = true;                // false: shown greyed
  bool show_stop = false;                // shows the second button (kResultNo)
  std::string stop_caption = "Stop";     // its caption
  bool stop_enabled = true;              // false: shown greyed
  std::optional<InfoChoice> choice;      // none: the dialog has no list
};

// What an owner-drawn list shows for one row.
struct RowDrawing {
  std::string name;  // drawn at (left + 1, top + 1), opaque on the fill colour
  // nullopt: the colours the list prepared (window text, or highlight text
  // when selected).
  std::optional<uint32_t> text_colour;
  // nullopt: the list's own background (window, or highlight when selected).
  std::optional<uint32_t> fill_colour;
};

// The narrow way the tab presenters reach the user. The Win32 window
// implements it with real dialogs; tests script it.
class Ui {
 public:
  virtual ~Ui() = default;
  // "Confirm", question icon, Yes and No: true only for Yes.
  [[nodiscard]] virtual bool Confirm(const std::string& question) = 0;
  // Input box with OK and Cancel; nullopt on Cancel or Esc.
  [[nodiscard]] virtual std::optional<std::string> InputBox(const std::string& caption,
                                                            const std::string& prompt,
                                                            std::size_t max_length) = 0;
  // The shared save dialog; nullopt when the user cancels.
  [[nodiscard]] virtual std::optional<std::string> ChooseSaveFile() = 0;
  // The Info dialog, modal; returns one of the kResult values.
  [[nodiscard]] virtual int ShowInfo(const InfoRequest& request) = 0;
  // A plain message box with OK and no icon.
  virtual void ShowMessage(const std::string& text) = 0;
  // Repaints the main window at once.
  virtual void Repaint() = 0;
  // Asks, from any thread, for the page to be shown again from its
  // presenter (rows' colours, the result line); returns at once.
  virtual void RefreshPageSoon(Page page) = 0;
  // Closes the main window, as its close box does, once the command ends.
  virtual void CloseWindow() = 0;
  // The hourglass on (true) or the default cursor (false).
  virtual void SetBusyCursor(bool busy) = 0;
  // Runs long work and returns when it has ended; what the work throws is
  // thrown here. The window keeps answering meanwhile: the work runs off its
  // thread, other commands wait, and after about half a second a progress
  // dialog shows the request's action and counts with a Stop button (and
  // Esc), which sets the stop flag the work asks.
  virtual void RunWork(const WorkRequest& request, const std::function<void(Progress&)>& work) = 0;
};

// Shows the hourglass for as long as it lives.
class BusyCursor {
 public:
  explicit BusyCursor(Ui& ui) : ui_(ui) { ui_.SetBusyCursor(true); }
  ~BusyCursor() { ui_.SetBusyCursor(false); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  Ui& ui_;
};

}  // namespace cu
