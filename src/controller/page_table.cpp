#include "controller/page_table.h"

#include <memory>

#include "folders/folders_tab.h"
#include "startup/startup_tab.h"
#include "urls/urls_tab.h"

namespace cu {

namespace {

// Command ids: one range per page; a button has the id of its command.
enum CommandId : int {
  kStartInfo = 200, kStartSave, kStartSwitch,
  kUrlOpen = 300, kUrlDelete, kUrlInsert, kUrlCopy, kUrlSave,
  kFolderOpen = 400, kFolderClear, kFolderInfo,
  kServiceInfo = 500, kServiceSave, kServiceToggle,
};

constexpr Shortcut kCtrlS{'S', true};
constexpr char kInfoHint[] = "Get info about file...(DblClick)";
constexpr char kSaveHint[] = "Save list to txt-file";

// The list box's text of each row, as the row type gives it.
template <typename Row, typename Text>
std::vector<std::string> RowTexts(const std::vector<Row>& rows, Text text) {
  std::vector<std::string> texts;
  texts.reserve(rows.size());
  for (const Row& row : rows) texts.push_back(std::invoke(text, row));
  return texts;
}

PageDescription StartupPage(StartupTab& startup) {
  PageDescription page;
  page.page = Page::kStartup;
  page.caption = "StartUp";
  page.buttons = {{kStartInfo, "Info", kInfoHint, 10, 25, nullptr},
                  {kStartSave, "Save", kSaveHint, 40, 25, nullptr}};
  // The tab judges its menu as it opens (Save keeps that judgement until
  // the next opening); each command reads its part of the last judgement.
  const auto judged = std::make_shared<StartupCommands>();
  page.commands = {
      {kStartInfo, "&Info...", nullptr, "", {}, false, [judged] { return judged->info; },
       [&startup] { startup.ShowStartupInfo(); }},
      {kStartSave, "&Save...", nullptr, "Ctrl+S", kCtrlS, false, [judged] { return judged->save; },
       [&startup] { startup.SaveReport(); }},
      {kStartSwitch, "Disable", [&startup] { return startup.SwitchCaption(); }, "", {}, true,
       [judged] { return judged->switch_entry; }, [&startup] { startup.SwitchSelectedEntry(); }},
  };
  page.default_command = kStartInfo;
  page.menu_opening = [&startup, judged] { *judged = startup.MenuState(); };
  page.row_texts = [&startup] { return RowTexts(startup.rows(), &StartupRow::text); };
  page.selection = [&startup] { return startup.selection(); };
  page.select = [&startup](int index) { startup.Select(index); };
  page.take_focus_request = [&startup] { return startup.TakeFocusRequest(); };
  page.count_caption = [&startup] { return startup.count_caption(); };
  page.draw_row = [&startup](int index, bool selected) { return startup.RowDrawingAt(index, selected); };
  return page;
}

PageDescription UrlsPage(UrlsTab& urls) {
  PageDescription page;
  page.page = Page::kUrls;
  page.caption = "IE Address bar (Urls)";
  page.buttons = {{kUrlOpen, "Open", "Open URL", 10, 22, nullptr},
                  {kUrlDelete, "Del", "Delete URL", 35, 22, nullptr},
                  {kUrlInsert, "Ins", "Insert new URL", 60, 22, nullptr},
                  {kUrlCopy, "Copy", "Copy URL", 85, 22, nullptr},
                  {kUrlSave, "Save", kSaveHint, 110, 22, nullptr}};
  page.commands = {
      {kUrlOpen, "&Open URL", nullptr, "", {}, false, [&urls] { return urls.MenuState().open; },
       [&urls] { urls.OpenSelectedUrl(); }},
      {kUrlDelete, "&Delete URL", nullptr, "Del", {kKeyDelete, false}, false,
       [&urls] { return urls.MenuState().del; }, [&urls] { urls.DeleteTypedUrl(); }},
      {kUrlInsert, "&Insert URL", nullptr, "Ins", {kKeyInsert, false}, false,
       [&urls] { return urls.MenuState().insert; }, [&urls] { urls.InsertTypedUrl(); }},
      {kUrlCopy, "&Copy URL", nullptr, "Ctrl+C", {'C', true}, false, [&urls] { return urls.MenuState().copy; },
       [&urls] { urls.CopySelectedUrl(); }},
      {kUrlSave, "&Save...", nullptr, "Ctrl+S", kCtrlS, true, [&urls] { return urls.MenuState().save; },
       [&urls] { urls.SaveUrlList(); }},
  };
  page.default_command = kUrlOpen;
  // A row of this list is its address.
  page.row_texts = [&urls] { return urls.rows(); };
  page.selection = [&urls] { return urls.selection(); };
  page.select = [&urls](int index) { urls.Select(index); };
  page.take_focus_request = [&urls] { return urls.TakeFocusRequest(); };
  page.count_caption = [&urls] { return urls.count_caption(); };
  return page;
}

PageDescription FoldersPage(FoldersTab& folders) {
  PageDescription page;
  page.page = Page::kFolders;
  page.caption = "Shell folders";
  page.buttons = {{kFolderOpen, "Open", "Open folder", 10, 25, nullptr},
                  {kFolderClear, "Clear", "Clear folder", 40, 25, [&folders] { return folders.clear_enabled(); }},
                  {kFolderInfo, "Info", "Folder info...", 70, 25, nullptr}};
  page.commands = {
      {kFolderOpen, "&Open folder", nullptr, "", {}, false, [&folders] { return folders.MenuState().open; },
       [&folders] { folders.OpenShownFolder(); }},
      {kFolderClear, "&Clear folder", nullptr, "Ctrl+Del", {kKeyDelete, true}, false,
       [&folders] { return folders.MenuState().clear; }, [&folders] { folders.ClearShownFolder(); }},
      {kFolderInfo, "&Folder info...", nullptr, "", {}, false, [&folders] { return folders.MenuState().info; },
       [&folders] { folders.ShowFolderProperties(); }},
  };
  page.default_command = kFolderOpen;
  // A row of this list is its folder's name.
  page.row_texts = [&folders] { return folders.names(); };
  page.selection = [&folders] { return folders.selection(); };
  page.select = [&folders](int index) {
    folders.Select(index);
    folders.SelectionChanged();
  };
  page.count_caption = [&folders] { return folders.count_caption(); };
  page.path_caption = [&folders] { return folders.folder_caption(); };
  page.result_caption = [&folders] { return folders.result_caption(); };
  return page;
}

PageDescription ServicesPage(ServicesTab& services, StartupTab& startup) {
  PageDescription page;
  page.page = Page::kServices;
  page.caption = "Services";
  page.buttons = {{kServiceInfo, "Info", kInfoHint, 10, 25, nullptr},
                  {kServiceSave, "Save", kSaveHint, 40, 25, nullptr}};
  page.commands = {
      {kServiceInfo, "&Info...", nullptr, "", {}, false, nullptr, [&services] { services.ShowServiceInfo(); }},
      {kServiceSave, "&Save...", nullptr, "Ctrl+S", kCtrlS, false, nullptr,
       [&services] { services.SaveServiceList(); }},
  };
  page.default_command = kServiceInfo;
  // This menu's opening also runs the StartUp menu's opening handler, which
  // judges StartUp's Save.
  page.menu_opening = [&startup] { (void)startup.MenuState(); };
  page.row_texts = [&services] { return RowTexts(services.entries(), &ServiceEntry::display_name); };
  page.selection = [&services] { return services.selection(); };
  page.select = [&services](int index) { services.Select(index); };
  page.take_focus_request = [&services] { return services.TakeFocusRequest(); };
  page.draw_row = [&services](int index, bool selected) { return services.RowDrawingAt(index, selected); };
  page.toggle_caption = [&services] { return services.toggle_caption(); };
  page.toggle_hint = "Only Running / All services";
  page.toggle_changed = [&services](bool down) {
    services.SetOnlyRunning(down);
    services.Reload();
  };
  page.toggle_command = kServiceToggle;
  return page;
}

bool ShortcutMatches(const Shortcut& shortcut, int key, Modifiers modifiers) {
  if (shortcut.key == 0 || shortcut.key != key || modifiers.shift || modifiers.alt) return false;
  return shortcut.ctrl == modifiers.ctrl;
}

}  // namespace

std::vector<PageDescription> DescribePages(StartupTab& startup, UrlsTab& urls, FoldersTab& folders,
                                    ServicesTab* services) {
  std::vector<PageDescription> pages;
  pages.push_back(StartupPage(startup));
  pages.push_back(UrlsPage(urls));
  pages.push_back(FoldersPage(folders));
  if (services) pages.push_back(ServicesPage(*services, startup));
  return pages;
}

bool CommandEnabled(const PageCommand& command) { return !command.enabled || command.enabled(); }

std::vector<MenuItem> OpenMenu(const PageDescription& page) {
  if (page.menu_opening) page.menu_opening();
  std::vector<MenuItem> items;
  for (const PageCommand& command : page.commands) {
    if (command.menu_text.empty()) continue;
    MenuItem item;
    item.command = command.id;
    item.text = command.live_text ? command.live_text() : command.menu_text;
    if (!command.shortcut_text.empty()) item.text += "\t" + command.shortcut_text;
    item.enabled = CommandEnabled(command);
    item.is_default = command.id == page.default_command;
    item.separator_before = command.separator_before;
    items.push_back(std::move(item));
  }
  return items;
}

std::optional<KeyMatch> MatchKey(const PageDescription& page, int key, Modifiers modifiers) {
  // Enter types the character 13 with or without Shift; with Ctrl it types 10.
  if (key == kKeyEnter && !modifiers.ctrl && !modifiers.alt) return KeyMatch{page.default_command, false};
  for (const PageCommand& command : page.commands) {
    if (ShortcutMatches(command.shortcut, key, modifiers)) return KeyMatch{command.id, true};
  }
  return std::nullopt;
}

int CommandForKey(const PageDescription& page, const KeyMatch& match) {
  if (!match.shortcut) return match.command;
  if (page.menu_opening) page.menu_opening();
  const PageCommand* command = FindCommand(page, match.command);
  return command && CommandEnabled(*command) ? match.command : 0;
}

const PageCommand* FindCommand(const PageDescription& page, int id) {
  for (const PageCommand& command : page.commands) {
    if (command.id == id) return &command;
  }
  return nullptr;
}

}  // namespace cu
