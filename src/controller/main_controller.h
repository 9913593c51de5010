#pragma once

#include <exception>

#include "presenter/ui.h"

namespace cu {

class StartupTab;
class UrlsTab;
class FoldersTab;
class ServicesTab;

// What the controller asks of the window it drives.
class MainView {
 public:
  virtual ~MainView() = default;
  virtual void ActivatePage(Page page) = 0;
  // Gives the page's list the keyboard focus when it can take it.
  virtual void FocusList(Page page) = 0;
  // The service list takes the StartUp list's row height.
  virtual void CopyRowHeight() = 0;
};

// The first showing and the tab changes: which lists load, in which order.
class MainController {
 public:
  // `services` is null when the system has no Services tab.
  MainController(MainView& view, StartupTab& startup, UrlsTab& urls, FoldersTab& folders,
                 ServicesTab* services);

  Page active_page() const { return active_; }
  bool has_services() const { return services_ != nullptr; }

  // Makes `first` (StartUp, unless the program was restarted on another
  // tab) the active page and loads every list. The shell-folder
  // list is loaded and the row height copied even when an earlier load
  // fails, so one bad registry value cannot leave that tab empty for the
  // whole run; the earlier failure is rethrown afterwards, once.
  void ShowFirstTime(Page first = Page::kStartup);
  // Reloads the URL, StartUp and service lists, then focuses the active
  // page's list. A failing load leaves its own rows as it left them; the
  // other lists still load and the focus still moves, and the first failure
  // is rethrown afterwards, so the user sees one error box.
  void ReloadLists();
  // The user picked another tab.
  void ChangePage(Page page);

 private:
  MainView& view_;
  StartupTab& startup_;
  UrlsTab& urls_;
  FoldersTab& folders_;
  ServicesTab* services_;
  Page active_ = Page::kStartup;
};

}  // namespace cu
