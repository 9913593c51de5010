#pragma once

// The window's tabs as data. Each tab is described once: its caption, its
// buttons, its commands (menu text, shortcut, which one double-click and
// Enter run) and the presenter calls that fill its list and say which
// commands are enabled. The window builds its controls, menus, shortcuts and
// buttons from this table; a new command is one row in a page's command list
// plus the presenter method it calls. No Win32 types, so the rules below are
// tested on the memory machine.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "controller/main_controller.h"
#include "services/services_tab.h"

namespace cu {

// Windows virtual-key codes of the shortcuts the pages use.
inline constexpr int kKeyEnter = 0x0D;
inline constexpr int kKeyInsert = 0x2D;
inline constexpr int kKeyDelete = 0x2E;

// The modifier keys held while a key went down.
struct Modifiers {
  bool ctrl = false;
  bool shift = false;
  bool alt = false;
};

// A shortcut: the key alone, or with Ctrl alone. Key 0: none.
struct Shortcut {
  int key = 0;
  bool ctrl = false;
};

struct PageCommand {
  int id = 0;                 // also the id of the button that runs it
  std::string menu_text;      // "" : not in the context menu
  // Null: `menu_text` stands. Otherwise the text as the menu opens.
  std::function<std::string()> live_text;
  std::string shortcut_text;  // shown after the menu text ("Ctrl+S")
  Shortcut shortcut;
  bool separator_before = false;
  // Null: always enabled. Otherwise whether the menu item is enabled and
  // the shortcut acts, read after the page's `menu_opening` handler.
  std::function<bool()> enabled;
  std::function<void()> run;
};

// Whether the command may run as its page's menu stands now.
[[nodiscard]] bool CommandEnabled(const PageCommand& command);

struct PageButton {
  int command = 0;
  std::string caption;
  std::string hint;  // the tooltip
  int y = 0;         // in the button panel, at 96 dots per inch
  int height = 0;
  // Null: always enabled. Otherwise read after every command.
  std::function<bool()> enabled;
};

struct PageDescription {
  Page page = Page::kStartup;
  std::string caption;
  std::vector<PageButton> buttons;
  std::vector<PageCommand> commands;
  int default_command = 0;  // double-click and Enter; the menu's bold item

  // The context menu's opening handler: runs as the menu opens and again
  // before one of its shortcuts acts, before any command's `enabled` rule
  // is read (null: nothing to judge).
  std::function<void()> menu_opening;

  // The list: the text of each row, read from the page's row type (what the
  // list box holds, and so the name accessibility tools read for the row),
  // the selection, the selection event from the list, and the focus request
  // a command leaves (null: never).
  std::function<std::vector<std::string>()> row_texts;
  std::function<int()> selection;
  std::function<void(int)> select;
  std::function<bool()> take_focus_request;
  // The button panel's caption, a count (null: the panel shows none).
  std::function<std::string()> count_caption;
  // The path panel along the bottom (null: the page has none).
  std::function<std::string()> path_caption;
  // A line above the path panel telling what the last long command did,
  // shown only while it is not empty (null: the page has none).
  std::function<std::string()> result_caption;
  // Rows drawn by the window from this, the drawing of the row type at an
  // index (null: plain list box rows showing `row_texts`).
  std::function<RowDrawing(int, bool)> draw_row;

  // The push-like toggle below the buttons (null: none): its caption, its
  // tooltip, and what a click that left it `down` does.
  std::function<std::string()> toggle_caption;
  std::string toggle_hint;
  std::function<void(bool)> toggle_changed;
  int toggle_command = 0;
};

// The pages in tab order; Services only when `services` is given.
[[nodiscard]] std::vector<PageDescription> DescribePages(StartupTab& startup, UrlsTab& urls, FoldersTab& folders,
                                                  ServicesTab* services);

struct MenuItem {
  int command = 0;
  std::string text;  // menu text, a tab and the shortcut text when it has one
  bool enabled = true;
  bool is_default = false;
  bool separator_before = false;
};

// Runs the page's opening handler and gives its context menu.
[[nodiscard]] std::vector<MenuItem> OpenMenu(const PageDescription& page);

// A key pressed in a page's list that the page answers: Enter (without Ctrl
// or Alt) asks for the default command, a shortcut for its command.
struct KeyMatch {
  int command = 0;
  bool shortcut = false;
};
// nullopt: the key is not the page's and goes on to the list.
[[nodiscard]] std::optional<KeyMatch> MatchKey(const PageDescription& page, int key, Modifiers modifiers);

// What a matched key runs: the default command as it is; a shortcut first
// runs the menu's opening handler, as opening the menu would, and runs its
// command only when the menu item is then enabled. 0: nothing runs (the key
// goes no further either way).
[[nodiscard]] int CommandForKey(const PageDescription& page, const KeyMatch& match);

// The command with this id on the page; null when it has none.
[[nodiscard]] const PageCommand* FindCommand(const PageDescription& page, int id);

}  // namespace cu
