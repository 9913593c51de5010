#include "app/main_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <exception>
#include <utility>

#include "app/panels.h"
#include "dialogs/info_dialog.h"
#include "dialogs/input_box.h"
#include "dialogs/progress_dialog.h"
#include "folders/folders_tab.h"
#include "presenter/refusal.h"
#include "services/services_tab.h"
#include "startup/startup_tab.h"
#include "urls/urls_tab.h"

namespace cu {

namespace {

constexpr char kMainClass[] = "ClearUtilityMain";
constexpr char kTitle[] = "Clear utility";
constexpr UINT kFirstShow = WM_APP + 1;
constexpr UINT kRefreshPage = WM_APP + 2;  // wparam: the Page whose state changed
constexpr int kListFirst = 600;  // + the page's tab index: the lists' control ids
// The system menu's own item; system commands keep their low four bits free.
constexpr UINT kRestartElevatedCommand = 0x0100;

bool RegisterClasses(HINSTANCE instance, WNDPROC main_proc) {
  WNDCLASSEXA main{};
  main.cbSize = sizeof main;
  main.lpfnWndProc = main_proc;
  main.hInstance = instance;
  main.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  main.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  main.lpszClassName = kMainClass;
  return RegisterClassExA(&main) && RegisterPanelClasses(instance);
}

bool KeyDown(int key) { return (GetKeyState(key) & 0x8000) != 0; }

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, const Platform& platform, bool has_services)
    : instance_(instance), platform_(platform), has_services_(has_services) {}

MainWindow::~MainWindow() = default;

bool MainWindow::Create(int show_command, Page first_page) {
  if (!RegisterClasses(instance_, &MainWindow::WindowProc)) return false;
  first_page_ = first_page;
  paths_ = ReadSystemPaths(platform_);
  startup_ = std::make_unique<StartupTab>(platform_, *this, paths_);
  urls_ = std::make_unique<UrlsTab>(platform_, *this);
  folders_ = std::make_unique<FoldersTab>(platform_, *this, paths_);
  if (has_services_) services_ = std::make_unique<ServicesTab>(platform_, *this);
  controller_ = std::make_unique<MainController>(*this, *startup_, *urls_, *folders_, services_.get());
  for (PageDescription& desc : DescribePages(*startup_, *urls_, *folders_, services_.get())) {
    pages_.emplace_back(std::move(desc));
  }

  hwnd_ = CreateWindowExA(WS_EX_CONTROLPARENT, kMainClass, kTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                          CW_USEDEFAULT, CW_USEDEFAULT, 619, 530, nullptr, nullptr, instance_, this);
  if (!hwnd_) return false;
  // 619 x 530 at 96 dots per inch, centred on the screen.
  dpi_ = dialogs::WindowDpi(hwnd_);
  const int width = dialogs::Scale(619, dpi_);
  const int height = dialogs::Scale(530, dpi_);
  SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, SWP_NOZORDER);
  // While the token is an administrator's limited one, the system menu
  // offers what the refusal question offers.
  if (platform_.environment.TokenElevation() == Elevation::kLimited) {
    if (HMENU system_menu = GetSystemMenu(hwnd_, FALSE)) {
      AppendMenuA(system_menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(system_menu, MF_STRING, kRestartElevatedCommand, "Restart as administrator");
    }
  }
  // The rows' programs are verified behind the window from the first load on.
  startup_->signatures().StartWorker([this] { RefreshPageSoon(Page::kStartup); });
  if (services_) services_->signatures().StartWorker([this] { RefreshPageSoon(Page::kServices); });
  // So are the counts of the folders selected on the Shell folders tab.
  folders_->counter().StartWorker([this] { RefreshPageSoon(Page::kFolders); });
  ShowWindow(hwnd_, show_command);
  UpdateWindow(hwnd_);
  PostMessageA(hwnd_, kFirstShow, 0, 0);
  return true;
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  MainWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcA(hwnd, message, wparam, lparam);
  return self->HandleMessage(message, wparam, lparam);
}

template <typename F>
void MainWindow::Guarded(F&& handler) {
  std::string failure;
  try {
    handler();
  } catch (const std::exception& error) {
    failure = error.what();
    if (failure.empty()) failure = "Unexpected error";
  } catch (...) {
    failure = "Unexpected error";
  }
  // The controls show what the lists hold, also behind the error box.
  Refresh();
  if (failure.empty()) {
    TakeFocusRequests();
  } else {
    busy_ = false;
    // The list a failing command or tab change focused keeps the focus after
    // the box, also when the window was not yet active when it appeared.
    HWND focus = GetFocus();
    MessageBoxA(hwnd_, failure.c_str(), kTitle, MB_OK | MB_ICONERROR);
    if (focus && IsWindow(focus) && IsChild(hwnd_, focus) && GetFocus() != focus) SetFocus(focus);
  }
  if (close_after_command_) {
    close_after_command_ = false;
    PostMessageA(hwnd_, WM_CLOSE, 0, 0);
  }
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case kFirstShow:
      if (!shown_) {
        shown_ = true;
        Guarded([this] { controller_->ShowFirstTime(first_page_); });
      }
      return 0;
    case kRefreshPage:
      for (PageView& page : pages_) {
        if (page.desc().page == static_cast<Page>(wparam)) page.Refresh();
      }
      return 0;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wparam);
      CreateFonts();
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
      return 0;
    case WM_NOTIFY:
      OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
      return 0;
    case WM_CONTEXTMENU:
      OnContextMenu(reinterpret_cast<HWND>(wparam), GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      return 0;
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
      // Every row has one fixed height; no per-row measuring.
      measure->itemHeight = static_cast<UINT>(dialogs::Scale(15, dpi_));
      return TRUE;
    }
    case WM_DRAWITEM:
      OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_ACTIVATE:
      // A plain window does not keep its focused control over a dialog or
      // message box: remember it on the way out and give it back.
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) focus_before_deactivation_ = focus;
      } else if (focus_before_deactivation_ && IsWindow(focus_before_deactivation_) &&
                 IsWindowVisible(focus_before_deactivation_)) {
        SetFocus(focus_before_deactivation_);
        return 0;
      }
      break;
    case WM_SETCURSOR:
      if (busy_) {
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == kRestartElevatedCommand) {
        Guarded([this] { RestartElevated(platform_, *this, controller_->active_page()); });
        return 0;
      }
      break;
    case WM_CLOSE:
      if (working_) {
        // Sent from outside while long work runs: the work's own loop takes
        // the posted one, stops the work and closes once it has ended.
        PostMessageA(hwnd_, WM_CLOSE, 0, 0);
        return 0;
      }
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd_, message, wparam, lparam);
}

void MainWindow::CreateFonts() {
  tab_font_.reset(dialogs::MakeFont("Arial", 15, dpi_));
  list_font_.reset(dialogs::MakeFont("Microsoft Sans Serif", 12, dpi_));
  button_font_.reset(dialogs::MakeFont("Arial", 12, dpi_));
  panel_font_.reset(dialogs::MakeFont("Arial", 15, dpi_, true));
  if (!tabs_) return;
  SendMessageA(tabs_, WM_SETFONT, reinterpret_cast<WPARAM>(tab_font_.get()), TRUE);
  const PageFonts fonts{list_font_.get(), button_font_.get(), panel_font_.get()};
  for (PageView& page : pages_) page.SetFonts(fonts, dpi_);
}

void MainWindow::OnCreate() {
  dpi_ = dialogs::WindowDpi(hwnd_);
  INITCOMMONCONTROLSEX init{sizeof init, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&init);
  tabs_ = CreateWindowExA(0, WC_TABCONTROLA, "Pg", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | TCS_HOTTRACK,
                          0, 0, 0, 0, hwnd_, nullptr, instance_, nullptr);
  tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                             instance_, nullptr);
  for (std::size_t index = 0; index < pages_.size(); ++index) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(pages_[index].desc().caption.c_str());
    TabCtrl_InsertItem(tabs_, static_cast<int>(index), &item);
    pages_[index].Create(hwnd_, instance_, tooltip_, kListFirst + static_cast<int>(index));
  }
  CreateFonts();
  ActivatePage(Page::kStartup);
}

void MainWindow::Layout() {
  if (!tabs_) return;
  RECT client{};
  GetClientRect(hwnd_, &client);
  MoveWindow(tabs_, 0, 0, client.right, client.bottom, TRUE);
  RECT display = client;
  TabCtrl_AdjustRect(tabs_, FALSE, &display);
  for (PageView& page : pages_) page.Layout(display, dpi_);
}

PageView* MainWindow::PageAt(Page page) {
  for (PageView& view : pages_) {
    if (view.desc().page == page) return &view;
  }
  return nullptr;
}

PageView* MainWindow::PageOfList(HWND list) {
  for (PageView& view : pages_) {
    if (list && view.list() == list) return &view;
  }
  return nullptr;
}

void MainWindow::ActivatePage(Page page) {
  for (std::size_t index = 0; index < pages_.size(); ++index) {
    if (pages_[index].desc().page == page) TabCtrl_SetCurSel(tabs_, static_cast<int>(index));
  }
  // The active page lies over the tab control's display area.
  for (PageView& view : pages_) view.Show(view.desc().page == page);
}

void MainWindow::FocusList(Page page) {
  const PageView* view = PageAt(page);
  HWND list = view ? view->list() : nullptr;
  if (list && IsWindowVisible(list) && IsWindowEnabled(list)) SetFocus(list);
}

void MainWindow::CopyRowHeight() {
  const PageView* services = PageAt(Page::kServices);
  const PageView* startup = PageAt(Page::kStartup);
  if (!services || !startup) return;
  const LRESULT height = SendMessageA(startup->list(), LB_GETITEMHEIGHT, 0, 0);
  if (height > 0) SendMessageA(services->list(), LB_SETITEMHEIGHT, 0, height);
}

void MainWindow::OnNotify(const NMHDR& header) {
  if (header.hwndFrom == tabs_ && header.code == TCN_SELCHANGE) {
    const int index = TabCtrl_GetCurSel(tabs_);
    if (index < 0 || static_cast<std::size_t>(index) >= pages_.size()) return;
    const Page page = pages_[static_cast<std::size_t>(index)].desc().page;
    Guarded([&] { controller_->ChangePage(page); });
  }
}

void MainWindow::OnCommand(int id, int code, HWND control) {
  if (PageView* page = PageOfList(control)) {
    if (code == LBN_SELCHANGE) {
      const int selection = static_cast<int>(SendMessageA(control, LB_GETCURSEL, 0, 0));
      Guarded([&] { page->desc().select(selection); });
    } else if (code == LBN_DBLCLK) {
      RunCommand(page->desc().default_command);
    }
    return;
  }
  if (code == BN_CLICKED || code == 0) RunCommand(id);
}

void MainWindow::RunCommand(int id) {
  for (PageView& page : pages_) {
    const PageDescription& desc = page.desc();
    if (desc.toggle_changed && id == desc.toggle_command) {
      const bool down = Button_GetCheck(page.toggle()) == BST_CHECKED;
      Guarded([&] { desc.toggle_changed(down); });
      return;
    }
    if (const PageCommand* command = FindCommand(desc, id)) {
      Guarded([&] { command->run(); });
      return;
    }
  }
}

void MainWindow::OnContextMenu(HWND window, int x, int y) {
  PageView* page = PageOfList(window);
  if (!page) return;
  HWND list = page->list();
  if (x == -1 && y == -1) {  // from the keyboard: below the selected row, or at the list's corner
    RECT row{};
    const LRESULT selection = SendMessageA(list, LB_GETCURSEL, 0, 0);
    POINT point{8, 8};
    if (selection >= 0 && SendMessageA(list, LB_GETITEMRECT, selection, reinterpret_cast<LPARAM>(&row)) != LB_ERR) {
      point = POINT{row.left + 8, row.bottom};
    }
    ClientToScreen(list, &point);
    x = point.x;
    y = point.y;
  }
  const dialogs::UniqueMenu menu(CreatePopupMenu());
  if (!menu) return;
  Guarded([&] {
    for (const MenuItem& item : OpenMenu(page->desc())) {
      if (item.separator_before) AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr);
      AppendMenuA(menu.get(), MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED),
                  static_cast<UINT_PTR>(item.command), item.text.c_str());
      if (item.is_default) SetMenuDefaultItem(menu.get(), static_cast<UINT>(item.command), FALSE);
    }
  });
  const int chosen = static_cast<int>(TrackPopupMenu(
      menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, x, y, 0, hwnd_, nullptr));
  if (chosen) RunCommand(chosen);
}

bool MainWindow::PreTranslateKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
  if (msg.wParam == VK_ESCAPE) {
    PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    return true;
  }
  if (msg.message != WM_KEYDOWN) return false;
  PageView* page = PageOfList(GetFocus());
  if (!page) return false;
  const Modifiers modifiers{KeyDown(VK_CONTROL), KeyDown(VK_SHIFT), KeyDown(VK_MENU)};
  const std::optional<KeyMatch> match = MatchKey(page->desc(), static_cast<int>(msg.wParam), modifiers);
  if (!match) return false;
  int command = match->shortcut ? 0 : match->command;
  if (match->shortcut) Guarded([&] { command = CommandForKey(page->desc(), *match); });
  if (command) RunCommand(command);
  return true;
}

void MainWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
  const PageView* page = PageOfList(item.hwndItem);
  if (!page || !page->desc().draw_row) return;
  RowDrawing drawing;
  try {
    drawing = page->desc().draw_row(static_cast<int>(item.itemID), (item.itemState & ODS_SELECTED) != 0);
  } catch (...) {
    // Drawing must never end in an error box; the row stays empty.
    drawing = RowDrawing{};
  }
  DrawListRow(item, drawing);
}

void MainWindow::Refresh() {
  if (!tabs_) return;
  for (PageView& page : pages_) page.Refresh();
}

void MainWindow::TakeFocusRequests() {
  for (PageView& page : pages_) {
    if (page.desc().take_focus_request && page.desc().take_focus_request()) FocusList(page.desc().page);
  }
}

// ------------------------------------------------------------------- Ui

// A question or message asked while one of the window's dialogs is up (the
// Info dialog's list) belongs to that dialog, so closing it gives the dialog
// back, not the disabled main window.
HWND MainWindow::MessageOwner() const {
  HWND active = GetActiveWindow();
  return active && GetWindow(active, GW_OWNER) == hwnd_ ? active : hwnd_;
}

// Called by the verifiers' threads: a posted message, nothing else.
void MainWindow::RefreshPageSoon(Page page) {
  PostMessageA(hwnd_, kRefreshPage, static_cast<WPARAM>(page), 0);
}

bool MainWindow::Confirm(const std::string& question) {
  return MessageBoxA(MessageOwner(), question.c_str(), "Confirm", MB_YESNO | MB_ICONQUESTION) ==
         IDYES;
}

std::optional<std::string> MainWindow::InputBox(const std::string& caption, const std::string& prompt,
                                                std::size_t max_length) {
  return dialogs::ShowInputBox(hwnd_, caption, prompt, max_length);
}

std::optional<std::string> MainWindow::ChooseSaveFile() {
  char file[MAX_PATH * 4] = {};
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter = "Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  dialog.lpstrDefExt = "txt";
  // The process's current folder stays where it is: a path that still
  // depends on it must not be moved by a save.
  dialog.Flags =
      OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameA(&dialog)) return std::nullopt;
  return std::string(file);
}

int MainWindow::ShowInfo(const InfoRequest& request) { return dialogs::ShowInfoDialog(hwnd_, request); }

void MainWindow::ShowMessage(const std::string& text) {
  MessageBoxA(MessageOwner(), text.c_str(), kTitle, MB_OK);
}

void MainWindow::CloseWindow() { PostMessageA(hwnd_, WM_CLOSE, 0, 0); }

void MainWindow::Repaint() { RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); }

void MainWindow::SetBusyCursor(bool busy) {
  busy_ = busy;
  SetCursor(LoadCursorA(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

}  // namespace cu

namespace cu {

void MainWindow::RunWork(const WorkRequest& request, const std::function<void(Progress&)>& work) {
  working_ = true;
  struct Reset {
    MainWindow& window;
    ~Reset() {
      window.working_ = false;
      // A close asked for during the work comes back posted. It waits until
      // the command has ended: the loop of a message box the command still
      // shows would take it and destroy the window, box and all, unseen.
      MSG close{};
      if (PeekMessageA(&close, window.hwnd_, WM_CLOSE, WM_CLOSE, PM_REMOVE)) {
        window.close_after_command_ = true;
      }
    }
  } reset{*this};
  // The controls show the state the command left before its work, so the
  // page does not show the previous result meanwhile.
  Refresh();
  dialogs::RunWithProgress(hwnd_, platform_.locale, request, work);
}

}  // namespace cu
