#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/page_view.h"
#include "controller/main_controller.h"
#include "dialogs/window_handles.h"
#include "platform/platform.h"
#include "presenter/system_paths.h"
#include "presenter/ui.h"

namespace cu {

class StartupTab;
class UrlsTab;
class FoldersTab;
class ServicesTab;

// The main window "Clear utility": a tab control with one page per entry of
// the page table (controller/page_table.h), each a button panel and a list.
// It only unpacks messages, forwards them to the page table's presenter
// calls, and refreshes the controls from their state afterwards.
class MainWindow : public Ui, public MainView {
 public:
  MainWindow(HINSTANCE instance, const Platform& platform, bool has_services);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates and shows the window; the first showing loads the lists and
  // opens `first_page` (a program restarted elevated opens the tab it was
  // restarted from).
  [[nodiscard]] bool Create(int show_command, Page first_page = Page::kStartup);
  HWND hwnd() const { return hwnd_; }
  // The window sees keys before its controls: Esc and the lists' shortcuts.
  // True when the key was handled and must go no further.
  bool PreTranslateKey(const MSG& msg);

  // Ui
  bool Confirm(const std::string& question) override;
  std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                      std::size_t max_length) override;
  std::optional<std::string> ChooseSaveFile() override;
  int ShowInfo(const InfoRequest& request) override;
  void ShowMessage(const std::string& text) override;
  void Repaint() override;
  void RefreshPageSoon(Page page) override;
  void CloseWindow() override;
  void SetBusyCursor(bool busy) override;
  void RunWork(const WorkRequest& request, const std::function<void(Progress&)>& work) override;

  // MainView
  void ActivatePage(Page page) override;
  void FocusList(Page page) override;
  void CopyRowHeight() override;

 private:
  HWND MessageOwner() const;
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnCreate();
  void CreateFonts();
  void Layout();
  void OnCommand(int id, int code, HWND control);
  void OnNotify(const NMHDR& header);
  void OnContextMenu(HWND list, int x, int y);
  void OnDrawItem(const DRAWITEMSTRUCT& item);
  // Runs the command with this id (a button's, a menu item's, a key's).
  void RunCommand(int id);
  // Runs a handler at the one error boundary: an escaping error ends the
  // handler and is shown in the error box; the program goes on.
  template <typename F>
  void Guarded(F&& handler);
  void Refresh();
  void TakeFocusRequests();
  // The page of a list, or of the tab control's index; null for none.
  PageView* PageOfList(HWND list);
  PageView* PageAt(Page page);

  HINSTANCE instance_;
  Platform platform_;
  bool has_services_;
  SystemPaths paths_;
  HWND hwnd_ = nullptr;
  HWND tabs_ = nullptr;
  HWND tooltip_ = nullptr;
  std::vector<PageView> pages_;  // in tab order
  UINT dpi_ = 96;
  bool busy_ = false;
  HWND focus_before_deactivation_ = nullptr;
  bool shown_ = false;
  Page first_page_ = Page::kStartup;
  bool working_ = false;  // long work runs: closing waits until it has stopped
  bool close_after_command_ = false;  // a close asked for during work, for when the command ends

  dialogs::UniqueFont tab_font_;
  dialogs::UniqueFont list_font_;
  dialogs::UniqueFont button_font_;
  dialogs::UniqueFont panel_font_;

  std::unique_ptr<StartupTab> startup_;
  std::unique_ptr<UrlsTab> urls_;
  std::unique_ptr<FoldersTab> folders_;
  std::unique_ptr<ServicesTab> services_;
  std::unique_ptr<MainController> controller_;
};

}  // namespace cu
