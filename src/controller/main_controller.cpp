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
  if (active_ != Page::kFolders) folders_.StopCounting();
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
  // The Shell folders tab counts its selected folder only while it is shown:
  // leaving it ends the count, coming back counts afresh.
  if (page == Page::kFolders) {
    folders_.CountShownFolder();
  } else {
    folders_.StopCounting();
  }
  view_.ActivatePage(page);
  ReloadLists();
}

}  // namespace cu
