#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "folders/delete_tree.h"
#include "folders/folder_count.h"
#include "platform/platform.h"
#include "platform/registry_access.h"
#include "presenter/list_state.h"
#include "presenter/system_paths.h"
#include "presenter/ui.h"

namespace cu {

// Which of the tab's commands are enabled: the Clear button, the context
// menu and its Ctrl+Del shortcut all read this one state.
struct FoldersCommands {
  bool open = false;   // Open folder: a row is selected
  bool clear = false;  // the Clear button and Clear folder (Ctrl+Del)
  bool info = true;    // Folder info: always
};

// True for the temporary rows (0 and 1) and for rows named exactly "recent",
// "cookies" or "cache" once the letters A to Z are lower-cased.
[[nodiscard]] bool IsClearableFolder(int index, std::string_view name);

// The enabled states for a selection and the Clear state set by the last
// selection event.
[[nodiscard]] FoldersCommands FoldersCommandsFor(int selection, bool clear_enabled);

// The line the tab shows after clearing: "Removed 12,345 files and 678
// folders (1.2 GB)", then "; 3 in use were left" when the system refused
// some; "Stopped: removed ..." when Stop ended it early. Counts and sizes in
// the user's number format.
[[nodiscard]] std::string ClearingResultText(Locale& locale, const RemovalTally& tally);

// The "Shell folders" tab: the temporary folders and every registered shell
// folder, and the commands that open, clear or describe the one whose path the
// path panel along the bottom shows.
class FoldersTab {
 public:
  // `paths` are the main window's recorded paths and must outlive the tab.
  FoldersTab(const Platform& platform, Ui& ui, const SystemPaths& paths);
  FoldersTab(const Platform& platform, Ui& ui, const SystemPaths&& paths) = delete;

  // Rebuilds the rows: "TEMP User" and "TEMP System" (their paths less one
  // trailing backslash, also when empty or equal), then the accepted
  // "Shell Folders" values of HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, then
  // the caches of today (AddTodaysCaches).
  // Selects row 0, sets the count caption and runs SelectionChanged.
  // Throws the registry's AppError for a value of a non-string type; the
  // rows read so far then stay (names and paths parallel) but nothing is
  // selected and the captions and Clear state are left as they were.
  void LoadShellFolders();
  // Adds the accepted values of "Shell Folders" under the registry object's
  // current root: paths less one trailing backslash, blank ones skipped, and
  // one equal (without case, by the user's locale) to any path already
  // listed skipped. A key that does not open adds nothing; the key stays open.
  void ReadShellFolders(RegistryAccess& registry);

  // The selection event: the path panel shows the selected row's path and the Clear
  // state follows the selected row. Without a selection both are cleared.
  // A row whose Clear is enabled starts the count of what clearing would
  // remove (off the window's thread); any other selection stops a count.
  void SelectionChanged();
  // Counts the shown folder when its Clear is enabled (the tab is shown),
  // in place of any count before; else stops the count. A clearing's result
  // line stays, uncounted.
  void CountShownFolder();
  // Ends a count that is running (the tab is left); its line goes.
  void StopCounting() { counter_.Stop(); }
  // The counts of the selected folders, run after each selection.
  FolderCounter& counter() { return counter_; }
  // Sets the selection (-1 or out of range: none). Does not raise SelectionChanged,
  // as a selection set from code does not.
  void Select(int index) { list_.Select(index); }

  // Clears the folder the path panel shows after the question "Clear folder <path>?":
  // every entry inside goes (see delete_tree.h), the folder stays. The
  // folder is opened before the question and the same open folder is
  // cleared, so the question names the folder really opened when links
  // lead elsewhere. The work runs through Ui::RunWork, so it can be stopped
  // between two entries; afterwards the result line tells what happened.
  // Nothing when Clear is disabled or the path panel is empty. A path that
  // is not a full one throws, asking nothing; so does a folder that does not
  // open ("The folder could not be opened, so nothing was cleared: <the
  // system's text>"), unless access was denied to an administrator's limited
  // token: then the question to restart elevated is asked instead.
  // Nothing is reloaded.
  void ClearShownFolder();
  // Opens the folder the path panel shows, when it is not empty.
  void OpenShownFolder();
  // Shows the Properties sheet of the folder the path panel shows, when it is not
  // empty and exists.
  void ShowFolderProperties();
  // The enabled states of the context menu's items (and of Ctrl+Del).
  [[nodiscard]] FoldersCommands MenuState() const;

  const std::vector<std::string>& names() const { return list_.rows(); }
  // The path of each row, at the same index.
  const std::vector<std::string>& paths() const { return paths_; }
  int selection() const { return list_.selection(); }
  // The button panel's caption: the row count.
  const std::string& count_caption() const { return count_caption_; }
  // The path panel's caption: the path the commands act on.
  const std::string& folder_caption() const { return folder_caption_; }
  // The Clear button's state.
  bool clear_enabled() const { return clear_enabled_; }
  // The result of the last clearing; empty once another action on the tab
  // (a selection, Open, Info, Clear again) follows. Without one, the count
  // of the selected folder: "Counting..." until it ends, then "<n> files
  // and <m> folders (<size>) to clear" or "Nothing to clear".
  [[nodiscard]] std::string result_caption() const {
    return result_caption_.empty() ? counter_.ResultText(platform_.locale) : result_caption_;
  }

 private:
  void AddRow(std::string name, std::string path, bool cache = false);
  // The caches that fill disks today, each only when its folder exists, in
  // this order, with Clear: "Edge cache" and "Chrome cache" (the profile
  // Default, then each "Profile N" by its number, named "... (Profile N)"),
  // "Firefox cache (<profile folder>)" in name order, "Error reports" (WER)
  // and "Crash dumps", all below %LOCALAPPDATA%.
  void AddTodaysCaches();
  void AddBrowserCaches(const std::string& caption, const std::string& user_data);
  [[nodiscard]] bool IsFolder(const std::string& path) const;
  [[nodiscard]] std::vector<std::string> SubfolderNames(const std::string& folder) const;

  Platform platform_;
  Ui& ui_;
  const SystemPaths& system_paths_;

  ListState<std::string> list_;  // the rows' names
  std::vector<std::string> paths_;
  std::vector<bool> cache_rows_;  // rows of AddTodaysCaches, at the same index
  std::string count_caption_;
  std::string folder_caption_;
  // Clear is disabled until the first selection event decides. It is set
  // together with the path panel, so Clear always acts on the path it was
  // judged for.
  bool clear_enabled_ = false;
  std::string result_caption_;
  // Last: its worker, which uses the platform, stops first.
  FolderCounter counter_{platform_.files};
};

}  // namespace cu
