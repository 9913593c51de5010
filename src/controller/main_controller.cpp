#include "controller/main_controller.h"

#include "folders/folders_tab.h"
#include "platform/platform.h"
#include "services/services_tab.h"
#include "startup/startup_tab.h"
#include "urls/urls_tab.h"

namespace cu {

MainController::MainController(MainView& view, StartupTab& startup, UrlsTab& urls,
                               FoldersTab& folders, ServicesTab* services)
    : view_(view), startup_(startup), urls_(urls), folders_(folders), services_(services) {}

void MainController::ShowFirstTime(Page first) {
  active_ = first == Page::kServices && !services_ ? Page::kStartup : first;
  view_.ActivatePage(active_);
  std::exception_ptr failure;
  try {
    ReloadLists();
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    folders_.LoadShellFolders();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  view_.CopyRowHeight();
  if (failure) std::rethrow_exception(failure);
}

void MainController::ReloadLists() {
  // Each list loads on its own: a bad value in one key must not leave the
  // other tabs unloaded for the whole run.
  std::exception_ptr failure;
  const auto load = [&failure](const auto& step) {
    try {
      step();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  load([this] { urls_.LoadTypedUrls(); });
  load([this] { startup_.LoadStartupList(); });
  if (services_) load([this] { services_->LoadServices("", kServiceWin32, kServiceStateAll); });
  view_.FocusList(active_);
  if (failure) std::rethrow_exception(failure);
}

void MainController::ChangePage(Page page) {
  if (page == Page::kServices && !services_) return;
  active_ = page;
  // A count of the Shell folders tab ends with the tab; coming back, the
  // reload's selection counts again.
  folders_.StopCounting();
  view_.ActivatePage(page);
  ReloadLists();
}

}  // namespace cu
