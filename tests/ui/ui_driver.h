#pragma once

// Drives the real clear-utility.exe from outside, as a user or an
// accessibility tool would: finds its windows, reads the standard controls,
// clicks buttons and types keys. The test kit's helpers for seeding and
// restoring the prefix are named here for the window tests.

#include "test_kit.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace cu::ui_test {

using cu::test_kit::ClipboardText;
using cu::test_kit::ExeFolder;
using cu::test_kit::FolderEntries;
using cu::test_kit::GroupedDigits;
using cu::test_kit::MakeFolders;
using cu::test_kit::PathExists;
using cu::test_kit::PutTextOnClipboard;
using cu::test_kit::ReadValue;
using cu::test_kit::ReadValues;
using cu::test_kit::ReadWholeFile;
using cu::test_kit::RegisteredService;
using cu::test_kit::RemoveTree;
using cu::test_kit::SaveShortcut;
using cu::test_kit::SavedFile;
using cu::test_kit::SavedRegistryValues;
using cu::test_kit::TempFolder;
using cu::test_kit::WindowsFolder;
using cu::test_kit::WriteWholeFile;

// Waits until `condition` holds, pumping this thread's messages; false on
// timeout.
bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 15000);

std::string TextOf(HWND hwnd);
std::string ClassOf(HWND hwnd);
std::vector<HWND> Children(HWND parent);  // every descendant, in z order
HWND ChildByClassAndIndex(HWND parent, const std::string& class_name, int index);
HWND ChildByText(HWND parent, const std::string& class_name, const std::string& text);

std::vector<std::string> ListRows(HWND list);
int ListSelection(HWND list);

// Real keyboard input to the foreground window.
void PressKey(WORD key, bool ctrl = false);
void TypeText(const std::string& text);

// A visible top-level window of the process with this exact title, or null.
HWND FindTopWindow(DWORD process_id, const std::string& title);
// The visible dialogs and message boxes (class #32770) of the process.
std::vector<HWND> Dialogs(DWORD process_id);
// Waits for a dialog of the process with this title; null on timeout.
HWND WaitForDialog(DWORD process_id, const std::string& title, int timeout_ms = 15000);
// Waits for a dialog or message box of the process that `wanted` accepts;
// null on timeout.
HWND WaitForDialogWhere(DWORD process_id, const std::function<bool(HWND)>& wanted, int timeout_ms);
// The visible progress dialog of the program (titled like the program, with
// a "Stop" button), or null.
HWND ProgressDialog(DWORD process_id);

// The program started for one test and closed at its end.
class AppProcess {
 public:
  AppProcess();
  ~AppProcess();
  AppProcess(const AppProcess&) = delete;
  AppProcess& operator=(const AppProcess&) = delete;

  bool started() const { return main_ != nullptr; }
  HWND main() const { return main_; }
  DWORD id() const { return info_.dwProcessId; }
  bool Exited(int timeout_ms);
  // Returns once the window thread has finished what it was doing: a
  // command's own steps, and long work, which runs behind the disabled
  // window until it ends.
  void Settle() const;

  HWND Tabs() const;
  // The list box of a page: 0 StartUp, 1 URLs, 2 Shell folders, 3 Services.
  HWND List(int page) const;
  // The count panel of a page.
  HWND Panel(int page) const;
  HWND PathPanel() const;  // PanF
  HWND Button(int page, const std::string& caption) const;
  void SelectTab(int index);
  // Waits for a dialog or message box of the program with this title.
  HWND WaitForWindow(const std::string& title, int timeout_ms = 15000) const;
  void Foreground();

 private:
  PROCESS_INFORMATION info_{};
  HWND main_ = nullptr;
};

// Clicks a button of a dialog or message box by its id (IDYES, IDOK...).
void ClickDialogButton(HWND dialog, int id);
// The text of a message box.
std::string MessageBoxText(HWND box);
// Waits for the program's error box, closes it with OK and lets the window
// settle; its text, or nullopt when no error box appeared.
std::optional<std::string> AcceptErrorBox(const AppProcess& app);

// Mouse input is handed to the control itself: a pointer moved and clicked
// through SendInput lands unreliably under Wine and Xvfb. The control's own
// handling (selection, notifications, focus) runs as for a real click.
void ClickRow(HWND list, int index, bool double_click = false);
void ClickButton(HWND button);

// The window that has the keyboard focus in the thread of `window`.
HWND FocusOf(HWND window);

// The index of the first row with this exact text; -1 when none has it.
int RowIndex(const std::vector<std::string>& rows, const std::string& text);
// The rows one a line, for a failure's message.
std::string Shown(const std::vector<std::string>& rows);

// The file-name box of the common Save dialog: the edit inside cmb13 (a
// combo box, or an extended combo box holding one, as Wine has it), or the
// plain edit edt1 of older layouts; null when there is neither.
HWND SaveDialogFileNameEdit(HWND dialog);
// Waits for the program's "Save As" dialog, enters `path` as the file name
// and presses Save. Empty when the dialog opened, took the name and closed;
// else what went wrong.
[[nodiscard]] std::string SaveAsInDialog(const AppProcess& app, const std::string& path);

// The StartUp tab's removal of its selected row from outside: the "Info"
// button, "DELETE!!!", the question "Delete <row>?" answered Yes. Empty once
// the question has closed; else what went wrong. `asked`, when given, is the
// question expected instead.
[[nodiscard]] std::string DeleteSelectedStartupRow(const AppProcess& app, const std::string& row,
                                                   const std::string& asked = "");

// The texts of an open Info dialog (StartUp or Service).
struct InfoTexts {
  std::string memo;
  std::string action;  // the IDYES button
  bool stop_shown = false;
  std::string hint;
  std::string second;  // the IDNO button: "Stop", or StartUp's "Disable"/"Enable"
  bool second_enabled = false;
  bool action_enabled = false;
};
InfoTexts ReadInfo(HWND dialog);

// Pixels of a window's client area as shown on the screen now.
class Screenshot {
 public:
  explicit Screenshot(HWND window);
  // How many pixels of the rectangle (client coordinates) have this colour.
  int Count(const RECT& rect, COLORREF colour) const;
  // Writes the picture as a BMP file, for a failure's message; returns the
  // path.
  std::string Save(const std::string& path) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<COLORREF> pixels_;
};

// Asks a window for WM_NULL every 20 ms from a thread of its own, from
// construction until Stop, and keeps the slowest answer; a probe answered
// late or not within 250 ms counts as a stall.
class ResponsivenessProbe {
 public:
  explicit ResponsivenessProbe(HWND window) : ResponsivenessProbe([window] { return window; }) {}
  // The window is asked of `find` until it gives one (a window not shown
  // yet); nothing is probed or counted before.
  explicit ResponsivenessProbe(std::function<HWND()> find);
  ~ResponsivenessProbe() { Stop(); }
  ResponsivenessProbe(const ResponsivenessProbe&) = delete;
  ResponsivenessProbe& operator=(const ResponsivenessProbe&) = delete;
  void Stop();
  int probes() const { return probes_; }
  int stalls() const { return stalls_; }
  int slowest_ms() const { return slowest_ms_; }

 private:
  std::atomic<bool> done_{false};
  std::atomic<int> probes_{0};
  std::atomic<int> stalls_{0};
  std::atomic<int> slowest_ms_{0};
  std::thread thread_;
};

// A list row's rectangle in the list's client area.
RECT RowRect(HWND list, int index);
// The same, scrolled into view first.
RECT VisibleRow(HWND list, int index);
// Waits until the painted list shows `colour` in row `index`, and returns the
// screenshot that showed it (or the last one taken).
Screenshot WaitForRowColour(HWND list, int index, COLORREF colour);

}  // namespace cu::ui_test
