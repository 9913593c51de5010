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

void MainController::ShowFirstTime() {
  active_ = Page::kStartup;
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
  urls_.LoadTypedUrls();
  startup_.LoadStartupList();
  if (services_) services_->LoadServices("", kServiceWin32, kServiceStateAll);
  view_.FocusList(active_);
}

void MainController::ChangePage(Page page) {
  if (page == Page::kServices && !services_) return;
  active_ = page;
  view_.ActivatePage(page);
  ReloadLists();
}

}  // namespace cu
