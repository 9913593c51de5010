// The first showing, tab changes and the page table's menu and key rules,
// on the memory machine.
#include "controller/main_controller.h"
#include "controller/page_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_ui.h"
#include "folders/folders_tab.h"
#include "platform/errors.h"
#include "platform/memory/memory_machine.h"
#include "presenter/system_paths.h"
#include "services/services_tab.h"
#include "startup/startup_tab.h"
#include "urls/urls_tab.h"

namespace cu {
namespace {

constexpr char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kTypedUrls[] = "Software\\Microsoft\\Internet Explorer\\TypedUrls";

class RecordingView : public MainView {
 public:
  void ActivatePage(Page page) override { events.push_back("page " + std::to_string(static_cast<int>(page))); }
  void FocusList(Page page) override { events.push_back("focus " + std::to_string(static_cast<int>(page))); }
  void CopyRowHeight() override { events.push_back("row height"); }
  std::vector<std::string> events;
};

class MainControllerTest : public ::testing::Test {
 protected:
  MainControllerTest() {
    machine_.registry.SetString(Hive::kCurrentUser, kShellFolders, "Recent", "C:\\users\\user\\Recent");
    machine_.registry.SetString(Hive::kCurrentUser, kRun, "first", "C:\\first.exe");
    memory::MemoryService service;
    service.name = "svc";
    service.display_name = "Some service";
    service.state = kServiceRunning;
    machine_.services.Add(service);
  }

  memory::MemoryMachine machine_;
  Platform platform_ = machine_.platform();
  testing::FakeUi ui_;
  SystemPaths paths_ = ReadSystemPaths(platform_);
  StartupTab startup_{platform_, ui_, paths_};
  UrlsTab urls_{platform_, ui_};
  FoldersTab folders_{platform_, ui_, paths_};
  ServicesTab services_{platform_, ui_};
  RecordingView view_;
};

TEST_F(MainControllerTest, FirstShowingLoadsEveryListAndFocusesStartup) {
  machine_.registry.SetString(Hive::kCurrentUser, kTypedUrls, "url1", "http://a/");
  MainController controller(view_, startup_, urls_, folders_, &services_);
  controller.ShowFirstTime();

  EXPECT_EQ(view_.events, (std::vector<std::string>{"page 0", "focus 0", "row height"}));
  EXPECT_EQ(urls_.rows(), std::vector<std::string>{"http://a/"});
  ASSERT_EQ(startup_.rows().size(), 1u);
  EXPECT_EQ(services_.entries().size(), 1u);
  ASSERT_EQ(folders_.names().size(), 3u);
  EXPECT_EQ(folders_.names()[2], "Recent");

  // Restarted as administrator from another tab: that tab opens; without a
  // Services tab, StartUp does.
  view_.events.clear();
  controller.ShowFirstTime(Page::kFolders);
  EXPECT_EQ(view_.events, (std::vector<std::string>{"page 2", "focus 2", "row height"}));
  MainController without_services(view_, startup_, urls_, folders_, nullptr);
  view_.events.clear();
  without_services.ShowFirstTime(Page::kServices);
  EXPECT_EQ(view_.events.front(), "page 0");
}

TEST_F(MainControllerTest, BadStartupValueAtFirstShowingStillFillsShellFoldersAndFailsOnce) {
  machine_.registry.SetDword(Hive::kCurrentUser, kRun, "NAME", 1);
  MainController controller(view_, startup_, urls_, folders_, &services_);
  testing::ExpectAppError([&] { controller.ShowFirstTime(); }, "Invalid data type for 'NAME'");
  // The bad value gives no row and hides nothing; the service list after it
  // still loads, the focus moves and the shell folders are listed.
  EXPECT_EQ(startup_.count_caption(), "1");
  EXPECT_EQ(startup_.selection(), 0);
  EXPECT_EQ(services_.entries().size(), 1u);
  EXPECT_EQ(view_.events, (std::vector<std::string>{"page 0", "focus 0", "row height"}));
  ASSERT_EQ(folders_.names().size(), 3u);
  EXPECT_EQ(folders_.names()[0], "TEMP User");
  EXPECT_EQ(folders_.names()[1], "TEMP System");
  EXPECT_EQ(folders_.selection(), 0);
}

TEST_F(MainControllerTest, TabChangeReloadsAllButShellFoldersAndSkipsServicesWhenAbsent) {
  MainController controller(view_, startup_, urls_, folders_, nullptr);
  controller.ShowFirstTime();
  machine_.registry.SetString(Hive::kCurrentUser, kShellFolders, "Cookies", "C:\\cookies");
  machine_.registry.SetString(Hive::kCurrentUser, kRun, "second", "C:\\second.exe");
  machine_.registry.SetString(Hive::kCurrentUser, kTypedUrls, "url1", "http://b/");

  EXPECT_EQ(folders_.result_caption(), "") << "the selected folder is not counted behind another tab";
  controller.ChangePage(Page::kFolders);
  EXPECT_EQ(controller.active_page(), Page::kFolders);
  EXPECT_EQ(startup_.rows().size(), 2u) << "edits made outside appear at the next tab change";
  EXPECT_EQ(urls_.rows(), std::vector<std::string>{"http://b/"});
  EXPECT_EQ(folders_.names().size(), 3u) << "the shell-folder list is loaded only once";
  EXPECT_EQ(view_.events.back(), "focus 2");
  EXPECT_EQ(folders_.result_caption(), "Counting...") << "shown, the tab counts its selected folder";
  controller.ChangePage(Page::kUrls);
  folders_.counter().RunQueued();
  EXPECT_EQ(folders_.result_caption(), "") << "left, the count ends unshown";
  machine_.files.AddFile(paths_.user_temp_dir + "a.tmp", "abc");
  controller.ChangePage(Page::kFolders);
  folders_.counter().RunQueued();
  EXPECT_EQ(folders_.result_caption(), "1 file and 0 folders (3 bytes) to clear");

  controller.ChangePage(Page::kServices);  // no Services tab on this system
  EXPECT_EQ(controller.active_page(), Page::kFolders);
  EXPECT_TRUE(services_.entries().empty());
  EXPECT_TRUE(machine_.services.calls.empty());
}

TEST_F(MainControllerTest, FailingLoadsOnTabChangeLeaveTheOtherListsLoadedAndReportTheFirst) {
  MainController controller(view_, startup_, urls_, folders_, &services_);
  controller.ShowFirstTime();
  machine_.registry.SetString(Hive::kCurrentUser, kTypedUrls, "url1", "http://a/");
  machine_.registry.SetDword(Hive::kCurrentUser, kTypedUrls, "url2", 7);
  machine_.registry.SetString(Hive::kCurrentUser, kRun, "second", "C:\\second.exe");
  view_.events.clear();
  testing::ExpectAppError([&] { controller.ChangePage(Page::kStartup); },
                          "Invalid data type for 'url2'");
  EXPECT_EQ(urls_.rows(), std::vector<std::string>{"http://a/"});
  EXPECT_EQ(startup_.rows().size(), 2u) << "the StartUp list loads after the URL failure";
  EXPECT_EQ(services_.entries().size(), 1u);
  EXPECT_EQ(view_.events, (std::vector<std::string>{"page 0", "focus 0"}));

  // Two bad keys: both lists keep what they read, the first error is shown.
  machine_.registry.SetDword(Hive::kCurrentUser, kRun, "third", 1);
  testing::ExpectAppError([&] { controller.ChangePage(Page::kServices); },
                          "Invalid data type for 'url2'");
  EXPECT_EQ(startup_.count_caption(), "2");
  EXPECT_EQ(services_.entries().size(), 1u);
  EXPECT_EQ(view_.events.back(), "focus 3");
}

// What a list shows and what it draws come from its rows, and the text an
// accessibility tool reads for an owner-drawn row is the name drawn.
TEST_F(MainControllerTest, ListsShowTheirRowsAndNameEachRowAsItIsDrawn) {
  MainController controller(view_, startup_, urls_, folders_, &services_);
  controller.ShowFirstTime();
  const std::vector<PageDescription> pages = DescribePages(startup_, urls_, folders_, &services_);
  ASSERT_EQ(pages.size(), 4u);
  EXPECT_EQ(pages[0].row_texts(), std::vector<std::string>{startup_.rows().at(0).text});
  EXPECT_EQ(pages[2].row_texts(), folders_.names());
  EXPECT_EQ(pages[3].row_texts(), std::vector<std::string>{"Some service"});
  EXPECT_EQ(pages[3].draw_row(0, false).text_colour, kColourRed);
  for (const PageDescription& page : pages) {
    if (!page.draw_row) continue;
    const std::vector<std::string> texts = page.row_texts();
    for (std::size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(page.draw_row(static_cast<int>(i), false).name, texts[i]) << page.caption << " row " << i;
    }
  }
}

// The one rule of menus and shortcuts: a shortcut runs the menu's opening
// handler first and does nothing while its item is then disabled; Enter and
// the menu's bold item are the default command.
TEST_F(MainControllerTest, ShortcutsActOnlyWhenTheirMenuItemIsEnabled) {
  const std::vector<PageDescription> pages = DescribePages(startup_, urls_, folders_, &services_);
  ASSERT_EQ(pages.size(), 4u);
  const PageDescription& start = pages[0];
  const PageDescription& url = pages[1];
  const PageDescription& folder = pages[2];
  const auto run = [](const PageDescription& page, int key, Modifiers modifiers) {
    const std::optional<KeyMatch> match = MatchKey(page, key, modifiers);
    return match ? CommandForKey(page, *match) : -1;  // -1: not the page's key
  };
  const Modifiers none{}, ctrl{true, false, false}, ctrl_shift{true, true, false}, shift{false, true, false};

  // An empty URL list: Del, Ctrl+C and Ctrl+S are swallowed, Ins runs.
  EXPECT_EQ(run(url, kKeyDelete, none), 0);
  EXPECT_EQ(run(url, 'C', ctrl), 0);
  EXPECT_EQ(run(url, 'S', ctrl), 0);
  const PageCommand* insert = FindCommand(url, run(url, kKeyInsert, none));
  ASSERT_NE(insert, nullptr);
  EXPECT_EQ(insert->menu_text, "&Insert URL");
  EXPECT_EQ(run(url, kKeyDelete, ctrl), -1);
  EXPECT_EQ(run(url, 'S', ctrl_shift), -1);
  EXPECT_EQ(run(url, kKeyEnter, shift), url.default_command);
  EXPECT_EQ(run(url, kKeyEnter, ctrl), -1);

  const std::vector<MenuItem> menu = OpenMenu(url);
  ASSERT_EQ(menu.size(), 5u);
  EXPECT_EQ(menu[1].text, "&Delete URL\tDel");
  EXPECT_FALSE(menu[1].enabled);
  EXPECT_TRUE(menu[2].enabled);
  EXPECT_TRUE(menu[0].is_default);
  EXPECT_TRUE(menu[4].separator_before);
  EXPECT_EQ(menu[4].text, "&Save...\tCtrl+S");

  // StartUp's Save is judged when its menu opens, and the Services menu's
  // opening runs that handler too.
  EXPECT_EQ(run(start, 'S', ctrl), 0);
  EXPECT_FALSE(startup_.save_enabled());
  startup_.LoadStartupList();
  EXPECT_FALSE(startup_.save_enabled());
  EXPECT_NE(run(pages[3], 'S', ctrl), 0);
  EXPECT_TRUE(startup_.save_enabled());
  EXPECT_NE(run(start, 'S', ctrl), 0);

  // Each StartUp item reads its part of what the menu judged as it opened;
  // the Services items have no rule and are always enabled.
  startup_.Select(-1);
  std::vector<MenuItem> start_menu = OpenMenu(start);
  ASSERT_EQ(start_menu.size(), 3u);
  EXPECT_TRUE(start_menu[0].enabled);
  EXPECT_FALSE(start_menu[1].enabled);
  EXPECT_FALSE(start_menu[2].enabled);
  for (const MenuItem& item : OpenMenu(pages[3])) EXPECT_TRUE(item.enabled) << item.text;
  startup_.Select(0);
  start_menu = OpenMenu(start);
  EXPECT_TRUE(start_menu[1].enabled);
  EXPECT_TRUE(start_menu[2].enabled) << "a Run value can be disabled";

  // Ctrl+Del clears only once a clearable row was selected from the list.
  folders_.LoadShellFolders();
  folder.select(2);  // "Recent"
  EXPECT_NE(run(folder, kKeyDelete, ctrl), 0);
  folders_.Select(-1);
  folders_.SelectionChanged();
  EXPECT_EQ(run(folder, kKeyDelete, ctrl), 0);
  EXPECT_EQ(run(folder, kKeyDelete, none), -1);
}

}  // namespace
}  // namespace cu
