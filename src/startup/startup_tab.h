#pragma once

// The StartUp tab without its window: the rows of the list, the selection,
// the count caption, the three Startup folders of the last load, and one
// method per command. The window refreshes its controls from this state
// after every call.

#include <string>
#include <vector>

#include "platform/platform.h"
#include "presenter/list_state.h"
#include "presenter/signatures.h"
#include "presenter/system_paths.h"
#include "presenter/ui.h"
#include "startup/startup_catalogue.h"

namespace cu {

// Which of the tab's menu items are enabled.
struct StartupCommands {
  bool info = true;  // always
  bool save = true;  // Save (Ctrl+S): as judged when the menu last opened
  bool switch_entry = false;  // Disable/Enable: the selected row has a switch
};

// The grey of a disabled entry's row.
inline constexpr uint32_t kColourDisabledRow = 0x808080;

class StartupTab {
 public:
  StartupTab(const Platform& platform, Ui& ui, const SystemPaths& paths);

  // Rebuilds the rows from every source of StartupSources, in its order: the
  // 24 registry keys (and, on 64-bit Windows, the eight HKLM keys once more
  // through the 32-bit view, leaving out a key both views share), the three
  // Startup folders and win.ini/system.ini; sorted
  // without letter case (rows that compare equal keep their reading order),
  // with each row's switch read from StartupApproved, and selects row 0. The
  // count caption is set on every way out. What cannot be read (a value
  // that is not text, a Startup folder's shortcuts when the shell-link object
  // cannot be made) gives no row and the load goes on through every other
  // source; the first such error is thrown once the list is complete and
  // row 0 is selected.
  void LoadStartupList();

  const std::vector<StartupRow>& rows() const { return list_.rows(); }
  int selection() const { return list_.selection(); }
  // Selects the row, or nothing (-1) for an index outside the list.
  void Select(int index) { list_.Select(index); }
  // The button panel's caption: the decimal row count after a load, "" during one.
  const std::string& count_caption() const { return count_caption_; }

  // As the Shell Folders values gave them at the last load that reached them.
  const StartupFolders& startup_folders() const { return folders_; }
  const std::string& user_startup_dir() const { return folders_.user; }
  const std::string& common_startup_dir() const { return folders_.common; }
  const std::string& default_startup_dir() const { return folders_.default_user; }

  // The selected row's location ("" without a selection).
  [[nodiscard]] std::string GetStartupLocation(bool with_prefix) const;
  // Asks "Delete <row>?"; on Yes removes exactly the entry the row came
  // from (and, once it is gone, its StartupApproved value), reloads the list
  // and asks for the focus. On No nothing changes. An entry the system
  // refused to remove (or that was gone meanwhile) is said after the reload:
  // "The entry was not removed: <the system's text>", or, for access denied
  // on an administrator's limited token, the question to restart elevated.
  void DeleteStartupItem();
  // Deletes one entry of a Startup folder: a file, or a folder with all its
  // contents (a linked folder loses only the link). kErrorSuccess, or the
  // system's error code of the step that failed.
  [[nodiscard]] uint32_t DeleteStartupPath(const std::string& path);
  // The file report of the selected row ("" without a selection).
  [[nodiscard]] std::string GetStartupReport() const;

  // "Info": the Info dialog for the selected row, with removal on
  // "DELETE!!!" and the switch on its second button. A disabled row's text
  // has a "Disabled=<date>" line after the location.
  void ShowStartupInfo();

  // The switch command's caption for the selected row: "Enable" for a
  // disabled entry, else "Disable".
  [[nodiscard]] std::string SwitchCaption() const;
  // Disable or Enable, without a question (it is reversible): writes the
  // selected entry's StartupApproved value as Windows does (creating the key
  // when missing), reloads the list and selects the same entry again. Does
  // nothing for a row without a switch. Throws AppError "Failed to set data
  // for '<name>'" when the write fails; nothing is changed then. A scheduled
  // task is switched by the scheduler and its state read back: when it did
  // not change, AppError "The task scheduler did not switch <task path>" and
  // no reload. A packaged app's startup task gets State 1 (disable) or 2.
  void SwitchSelectedEntry();
  // A disabled entry's row is grey unless selected; a row whose program is
  // verified and not found verified is pale red unless selected.
  [[nodiscard]] RowDrawing RowDrawingAt(int index, bool selected) const;
  // The context menu opens: "Save" is enabled exactly when a row is
  // selected, and stays so judged until the menu opens again.
  StartupCommands MenuState();
  bool save_enabled() const { return save_enabled_; }
  // "Save": the grouped report of every row (StartupReportLines) to a file
  // the user chooses, built and written through Ui::RunWork; Stop before the
  // last row writes nothing. Selects row 0 afterwards. An error while a
  // row's report is built leaves the selection on that row; AppError "Cannot
  // create file <path>" leaves it on the last row.
  void SaveReport();

  // The verdicts on the rows' programs, verified after each load.
  SignatureVerifier& signatures() { return signatures_; }

  // True once after a command that moves the keyboard focus to the list.
  [[nodiscard]] bool TakeFocusRequest() { return list_.TakeFocusRequest(); }

 private:
  void ReadAllSources(std::vector<StartupRow>& rows, LoadErrors& errors);
  // Removes the entry the row came from, as its source says. True when it is
  // gone (an ini key always counts as gone); otherwise `error` is the
  // system's code of the refusal, or kErrorSuccess when the system gave none.
  [[nodiscard]] bool RemoveEntry(const StartupRow& row, uint32_t& error);
  // A packaged app's startup task is switched, never removed.
  [[nodiscard]] static bool CanRemove(const StartupRow& row);
  // "Delete <row>?"; for a Winlogon value set back, "Set <name> back to
  // <default>?", for AppInit_DLLs "Empty AppInit_DLLs?".
  [[nodiscard]] std::string RemovalQuestion(const StartupRow& row) const;
  // The switch of each kind of source. True when it was written and the
  // list is to be read again; false when nothing was (a refusal met by the
  // offer to restart elevated). Throw the error to show otherwise.
  bool SwitchApproved(const StartupRow& row);
  bool SwitchPackageTask(const StartupRow& row);
  bool SwitchTask(const StartupRow& row);
  bool RefusedSwitch(const std::string& name);
  void SortRows();
  // "Disabled=<local date and time of the switch>", or "Disabled" without one.
  [[nodiscard]] std::string DisabledLine(const Approval& approval) const;
  // Selects the row of the same entry, or row 0 when it is gone.
  void SelectEntry(const StartupRow& entry);

  Platform platform_;
  Ui& ui_;
  SystemPaths paths_;

  ListState<StartupRow> list_;
  std::string count_caption_;
  StartupFolders folders_;
  bool save_enabled_ = true;
  // Last: its worker, which uses the platform, stops first.
  mutable SignatureVerifier signatures_;  // a cache of verdicts, filled also by reports
};

}  // namespace cu
