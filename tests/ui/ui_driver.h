#pragma once

// Drives the real clear-utility.exe from outside, as a user or an
// accessibility tool would: finds its windows, reads the standard controls,
// clicks buttons and types keys.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cu::ui_test {

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

// Registry seeding for the test prefix.
void SetRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value);
void SetRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
void DeleteRegValue(HKEY root, const std::string& key, const std::string& name);
void DeleteRegTree(HKEY root, const std::string& key);
std::vector<std::pair<std::string, std::string>> RegStrings(HKEY root, const std::string& key);

// Puts one HKCU value back as it was (type and bytes) at the end of a test,
// or removes it when it did not exist.
class SavedRegValue {
 public:
  SavedRegValue(std::string key, std::string name);
  ~SavedRegValue();
  SavedRegValue(const SavedRegValue&) = delete;
  SavedRegValue& operator=(const SavedRegValue&) = delete;

 private:
  std::string key_;
  std::string name_;
  bool existed_ = false;
  DWORD type_ = REG_NONE;
  std::vector<BYTE> data_;
};

// Removes an HKCU key at the end when the test created it and left it empty.
class SavedRegKey {
 public:
  explicit SavedRegKey(std::string key);
  ~SavedRegKey();
  SavedRegKey(const SavedRegKey&) = delete;
  SavedRegKey& operator=(const SavedRegKey&) = delete;

 private:
  std::string key_;
  bool existed_ = false;
};

std::optional<std::string> ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// Puts a file back byte for byte (system.ini), or removes it when it did not
// exist.
class SavedFile {
 public:
  explicit SavedFile(std::string path);
  ~SavedFile();
  SavedFile(const SavedFile&) = delete;
  SavedFile& operator=(const SavedFile&) = delete;

 private:
  std::string path_;
  std::optional<std::string> bytes_;
};

// Mouse input is handed to the control itself: a pointer moved and clicked
// through SendInput lands unreliably under Wine and Xvfb. The control's own
// handling (selection, notifications, focus) runs as for a real click.
void ClickRow(HWND list, int index, bool double_click = false);
void ClickButton(HWND button);

std::string ProgramFolder();  // where ui_tests.exe and clear-utility.exe are
std::string TempFolder();     // the prefix user's temporary folder, with a trailing backslash

}  // namespace cu::ui_test
