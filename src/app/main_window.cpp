#include "app/main_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <exception>
#include <utility>

#include "dialogs/info_dialog.h"
#include "dialogs/input_box.h"
#include "folders/folders_tab.h"
#include "services/services_tab.h"
#include "startup/startup_tab.h"
#include "urls/urls_tab.h"

namespace cu {

namespace {

constexpr char kMainClass[] = "ClearUtilityMain";
constexpr char kPageClass[] = "ClearUtilityPage";
constexpr char kPanelClass[] = "ClearUtilityPanel";  // caption centred (counts)
constexpr char kPathPanelClass[] = "ClearUtilityPathPanel";  // caption left-justified (PanF)
constexpr char kTitle[] = "Clear utility";
constexpr UINT kFirstShow = WM_APP + 1;
constexpr COLORREF kNavy = RGB(0, 0, 128);

enum CommandId : int {
  kStartInfo = 200, kStartSave,
  kUrlOpen = 300, kUrlDelete, kUrlInsert, kUrlCopy, kUrlSave,
  kFolderOpen = 400, kFolderClear, kFolderInfo,
  kServiceInfo = 500, kServiceSave, kServiceToggle,
  kListFirst = 600,  // + page index
};

struct ButtonSpec {
  int id;
  const char* caption;
  const char* hint;
  int y;
  int height;
};

const ButtonSpec kStartButtons[] = {
    {kStartInfo, "Info", "Get info about file...(DblClick)", 10, 25},
    {kStartSave, "Save", "Save list to txt-file", 40, 25},
};
const ButtonSpec kUrlButtons[] = {
    {kUrlOpen, "Open", "Open URL", 10, 22},
    {kUrlDelete, "Del", "Delete URL", 35, 22},
    {kUrlInsert, "Ins", "Insert new URL", 60, 22},
    {kUrlCopy, "Copy", "Copy URL", 85, 22},
    {kUrlSave, "Save", "Save list to txt-file", 110, 22},
};
const ButtonSpec kFolderButtons[] = {
    {kFolderOpen, "Open", "Open folder", 10, 25},
    {kFolderClear, "Clear", "Clear folder", 40, 25},
    {kFolderInfo, "Info", "Folder info...", 70, 25},
};
const ButtonSpec kServiceButtons[] = {
    {kServiceInfo, "Info", "Get info about file...(DblClick)", 10, 25},
    {kServiceSave, "Save", "Save list to txt-file", 40, 25},
};

const char* const kTabCaptions[] = {"StartUp", "IE Address bar (Urls)", "Shell folders", "Services"};


// Pages and panels pass what their controls report up to the main window.
LRESULT CALLBACK ForwardingProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_CONTEXTMENU:
      return SendMessageA(GetParent(hwnd), message, wparam, lparam);
    default:
      break;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

// A panel draws its own caption in bold navy: centred on the button panels
// (where it shows a count), left-justified on PanF (a path).
void PaintPanel(HWND hwnd, bool centred) {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(hwnd, &paint);
  RECT rect{};
  GetClientRect(hwnd, &rect);
  FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
  if (!centred) DrawEdge(dc, &rect, BDR_SUNKENOUTER, BF_RECT);
  char text[1024] = {};
  GetWindowTextA(hwnd, text, sizeof text);
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, centred ? kNavy : GetSysColor(COLOR_WINDOWTEXT));
  if (!centred) InflateRect(&rect, -4, 0);
  DrawTextA(dc, text, -1, &rect,
            (centred ? DT_CENTER : DT_LEFT) | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  if (old) SelectObject(dc, old);
  EndPaint(hwnd, &paint);
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, bool centred) {
  switch (message) {
    case WM_PAINT:
      PaintPanel(hwnd, centred);
      return 0;
    case WM_SETFONT:
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, static_cast<LONG_PTR>(wparam));
      return 0;
    case WM_GETFONT:
      return GetWindowLongPtrA(hwnd, GWLP_USERDATA);
    case WM_SETTEXT: {
      const LRESULT result = DefWindowProcA(hwnd, message, wparam, lparam);
      InvalidateRect(hwnd, nullptr, TRUE);
      return result;
    }
    case WM_ERASEBKGND:
      return 1;
    default:
      break;
  }
  return ForwardingProc(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK CentredPanelProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return PanelProc(hwnd, message, wparam, lparam, true);
}

LRESULT CALLBACK PathPanelProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return PanelProc(hwnd, message, wparam, lparam, false);
}

bool RegisterClasses(HINSTANCE instance, WNDPROC main_proc) {
  WNDCLASSEXA main{};
  main.cbSize = sizeof main;
  main.lpfnWndProc = main_proc;
  main.hInstance = instance;
  main.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  main.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  main.lpszClassName = kMainClass;
  WNDCLASSEXA page = main;
  page.lpfnWndProc = ForwardingProc;
  page.hIcon = nullptr;
  page.lpszClassName = kPageClass;
  WNDCLASSEXA panel = page;
  panel.lpfnWndProc = CentredPanelProc;
  panel.lpszClassName = kPanelClass;
  WNDCLASSEXA path_panel = page;
  path_panel.lpfnWndProc = PathPanelProc;
  path_panel.lpszClassName = kPathPanelClass;
  return RegisterClassExA(&main) && RegisterClassExA(&page) && RegisterClassExA(&panel) &&
         RegisterClassExA(&path_panel);
}

void SetText(HWND hwnd, const std::string& text) {
  char current[1024] = {};
  GetWindowTextA(hwnd, current, sizeof current);
  if (text != current) SetWindowTextA(hwnd, text.c_str());
}

bool CtrlOnly() {
  return (GetKeyState(VK_CONTROL) & 0x8000) && !(GetKeyState(VK_SHIFT) & 0x8000) &&
         !(GetKeyState(VK_MENU) & 0x8000);
}

// Enter types the character 13 with or without Shift; with Ctrl it types 10.
bool IsEnter(WPARAM key) {
  return key == VK_RETURN && !(GetKeyState(VK_CONTROL) & 0x8000) && !(GetKeyState(VK_MENU) & 0x8000);
}

bool NoModifier() {
  return !(GetKeyState(VK_CONTROL) & 0x8000) && !(GetKeyState(VK_SHIFT) & 0x8000) &&
         !(GetKeyState(VK_MENU) & 0x8000);
}

// The services toggle works like a speed button: clicking it never takes
// the keyboard focus from where it was.
LRESULT CALLBACK ToggleProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
  if (message == WM_SETFOCUS) {
    HWND previous = reinterpret_cast<HWND>(wparam);
    if (previous && IsWindow(previous) && previous != hwnd) {
      SetFocus(previous);
      return 0;
    }
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, const Platform& platform, bool has_services)
    : instance_(instance), platform_(platform), has_services_(has_services) {}

MainWindow::~MainWindow() = default;

bool MainWindow::Create(int show_command) {
  if (!RegisterClasses(instance_, &MainWindow::WindowProc)) return false;
  paths_ = ReadSystemPaths(platform_);
  startup_ = std::make_unique<StartupTab>(platform_, *this, paths_);
  urls_ = std::make_unique<UrlsTab>(platform_, *this);
  folders_ = std::make_unique<FoldersTab>(platform_, *this, paths_);
  if (has_services_) services_ = std::make_unique<ServicesTab>(platform_, *this);
  controller_ = std::make_unique<MainController>(*this, *startup_, *urls_, *folders_, services_.get());

  hwnd_ = CreateWindowExA(WS_EX_CONTROLPARENT, kMainClass, kTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                          CW_USEDEFAULT, CW_USEDEFAULT, 619, 530, nullptr, nullptr, instance_, this);
  if (!hwnd_) return false;
  // 619 x 530 at 96 dots per inch, centred on the screen.
  dpi_ = dialogs::WindowDpi(hwnd_);
  const int width = dialogs::Scale(619, dpi_);
  const int height = dialogs::Scale(530, dpi_);
  SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, SWP_NOZORDER);
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
    MessageBoxA(hwnd_, failure.c_str(), kTitle, MB_OK | MB_ICONERROR);
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
        Guarded([this] { controller_->ShowFirstTime(); });
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
    case WM_CLOSE:
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
  for (PageControls& controls : pages_) {
    if (!controls.page) continue;
    SendMessageA(controls.list, WM_SETFONT, reinterpret_cast<WPARAM>(list_font_.get()), TRUE);
    SendMessageA(controls.list, LB_SETITEMHEIGHT, 0, dialogs::Scale(15, dpi_));
    SendMessageA(controls.panel, WM_SETFONT, reinterpret_cast<WPARAM>(panel_font_.get()), TRUE);
    for (HWND button : controls.buttons) {
      SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(button_font_.get()), TRUE);
    }
    if (controls.bottom) {
      SendMessageA(controls.bottom, WM_SETFONT, reinterpret_cast<WPARAM>(panel_font_.get()), TRUE);
    }
    if (controls.toggle) {
      SendMessageA(controls.toggle, WM_SETFONT, reinterpret_cast<WPARAM>(panel_font_.get()), TRUE);
    }
  }
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
  int index = 0;
  for (int page = 0; page < 4; ++page) {
    if (page == static_cast<int>(Page::kServices) && !has_services_) continue;
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(kTabCaptions[page]);
    TabCtrl_InsertItem(tabs_, index++, &item);
    CreatePage(static_cast<Page>(page));
  }
  CreateFonts();
  ActivatePage(Page::kStartup);
}

void MainWindow::CreatePage(Page page) {
  PageControls& controls = pages_[static_cast<int>(page)];
  controls.page = CreateWindowExA(WS_EX_CONTROLPARENT, kPageClass, kTabCaptions[static_cast<int>(page)],
                                  WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0, hwnd_, nullptr,
                                  instance_, nullptr);
  controls.panel = CreateWindowExA(WS_EX_CONTROLPARENT, kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                   0, 0, 0, 0, controls.page, nullptr, instance_, nullptr);

  DWORD list_style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                     LBS_HASSTRINGS;
  if (page == Page::kServices) list_style |= LBS_OWNERDRAWFIXED;
  controls.list = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTBOXA, "", list_style, 0, 0, 0, 0, controls.page,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListFirst + static_cast<int>(page))),
                                  instance_, nullptr);

  const ButtonSpec* specs = nullptr;
  std::size_t count = 0;
  switch (page) {
    case Page::kStartup: specs = kStartButtons; count = std::size(kStartButtons); break;
    case Page::kUrls: specs = kUrlButtons; count = std::size(kUrlButtons); break;
    case Page::kFolders: specs = kFolderButtons; count = std::size(kFolderButtons); break;
    case Page::kServices: specs = kServiceButtons; count = std::size(kServiceButtons); break;
  }
  for (std::size_t i = 0; i < count; ++i) {
    HWND button = CreateWindowExA(0, WC_BUTTONA, specs[i].caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                  0, 0, 0, 0, controls.panel,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(specs[i].id)), instance_, nullptr);
    controls.buttons.push_back(button);
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(button);
    tool.lpszText = const_cast<char*>(specs[i].hint);
    SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
  if (page == Page::kFolders) {
    EnableWindow(controls.buttons[1], FALSE);  // Clear waits for the first selection
    controls.bottom = CreateWindowExA(0, kPathPanelClass, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, controls.page,
                                      nullptr, instance_, nullptr);
  }
  if (page == Page::kServices) {
    controls.toggle = CreateWindowExA(0, WC_BUTTONA, "", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX | BS_PUSHLIKE |
                                                             BS_FLAT,
                                      0, 0, 0, 0, controls.panel,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kServiceToggle)), instance_,
                                      nullptr);
    SetWindowSubclass(controls.toggle, ToggleProc, 1, 0);
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(controls.toggle);
    tool.lpszText = const_cast<char*>("Only Running / All services");
    SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void MainWindow::Layout() {
  if (!tabs_) return;
  RECT client{};
  GetClientRect(hwnd_, &client);
  MoveWindow(tabs_, 0, 0, client.right, client.bottom, TRUE);
  RECT display = client;
  TabCtrl_AdjustRect(tabs_, FALSE, &display);
  const int width = display.right - display.left;
  const int height = display.bottom - display.top;
  const auto s = [this](int value) { return dialogs::Scale(value, dpi_); };
  for (int index = 0; index < 4; ++index) {
    PageControls& controls = pages_[index];
    if (!controls.page) continue;
    MoveWindow(controls.page, display.left, display.top, width, height, TRUE);
    const int bottom_height = controls.bottom ? s(29) : 0;
    const int body = height - bottom_height;
    MoveWindow(controls.panel, 0, 0, s(51), body, TRUE);
    MoveWindow(controls.list, s(51), 0, width - s(51), body, TRUE);
    if (controls.bottom) MoveWindow(controls.bottom, 0, body, width, bottom_height, TRUE);
    const ButtonSpec* specs = index == 0 ? kStartButtons
                              : index == 1 ? kUrlButtons
                              : index == 2 ? kFolderButtons
                                           : kServiceButtons;
    for (std::size_t i = 0; i < controls.buttons.size(); ++i) {
      MoveWindow(controls.buttons[i], s(6), s(specs[i].y), s(37), s(specs[i].height), TRUE);
    }
    if (controls.toggle) MoveWindow(controls.toggle, 0, s(194), s(51), s(37), TRUE);
  }
}

int MainWindow::TabIndexOf(Page page) const { return static_cast<int>(page); }

std::optional<Page> MainWindow::PageOfTab(int index) const {
  if (index < 0 || index > 3) return std::nullopt;
  if (index == 3 && !has_services_) return std::nullopt;
  return static_cast<Page>(index);
}

void MainWindow::ActivatePage(Page page) {
  TabCtrl_SetCurSel(tabs_, TabIndexOf(page));
  for (int index = 0; index < 4; ++index) {
    if (!pages_[index].page) continue;
    if (index == static_cast<int>(page)) {
      // Pages lie over the tab control's display area.
      SetWindowPos(pages_[index].page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    } else {
      ShowWindow(pages_[index].page, SW_HIDE);
    }
  }
}

void MainWindow::FocusList(Page page) {
  HWND list = pages_[static_cast<int>(page)].list;
  if (list && IsWindowVisible(list) && IsWindowEnabled(list)) SetFocus(list);
}

void MainWindow::CopyRowHeight() {
  if (!pages_[3].list) return;
  const LRESULT height = SendMessageA(pages_[0].list, LB_GETITEMHEIGHT, 0, 0);
  if (height > 0) SendMessageA(pages_[3].list, LB_SETITEMHEIGHT, 0, height);
}

Page MainWindow::PageOfList(HWND list) const {
  for (int index = 0; index < 4; ++index) {
    if (pages_[index].list == list) return static_cast<Page>(index);
  }
  return Page::kStartup;
}

void MainWindow::OnNotify(const NMHDR& header) {
  if (header.hwndFrom == tabs_ && header.code == TCN_SELCHANGE) {
    const std::optional<Page> page = PageOfTab(TabCtrl_GetCurSel(tabs_));
    if (page) Guarded([&] { controller_->ChangePage(*page); });
  }
}

void MainWindow::OnCommand(int id, int code, HWND control) {
  if (id >= kListFirst && id < kListFirst + 4 && control) {
    const Page page = static_cast<Page>(id - kListFirst);
    const int selection = static_cast<int>(SendMessageA(control, LB_GETCURSEL, 0, 0));
    if (code == LBN_SELCHANGE) {
      Guarded([&] {
        switch (page) {
          case Page::kStartup: startup_->Select(selection); break;
          case Page::kUrls: urls_->Select(selection); break;
          case Page::kFolders: folders_->Select(selection); folders_->SelectionChanged(); break;
          case Page::kServices: services_->Select(selection); break;
        }
      });
    } else if (code == LBN_DBLCLK) {
      const int main_command[] = {kStartInfo, kUrlOpen, kFolderOpen, kServiceInfo};
      RunCommand(main_command[static_cast<int>(page)]);
    }
    return;
  }
  if (code == BN_CLICKED || code == 0) RunCommand(id);
}

void MainWindow::RunCommand(int id) {
  Guarded([&] {
    switch (id) {
      case kStartInfo: startup_->ShowStartupInfo(); break;
      case kStartSave: startup_->SaveReport(); break;
      case kUrlOpen: urls_->OpenSelectedUrl(); break;
      case kUrlDelete: urls_->DeleteTypedUrl(); break;
      case kUrlInsert: urls_->InsertTypedUrl(); break;
      case kUrlCopy: urls_->CopySelectedUrl(); break;
      case kUrlSave: urls_->SaveUrlList(); break;
      case kFolderOpen: folders_->OpenShownFolder(); break;
      case kFolderClear: folders_->ClearShownFolder(); break;
      case kFolderInfo: folders_->ShowFolderProperties(); break;
      case kServiceInfo: if (services_) services_->ShowServiceInfo(); break;
      case kServiceSave: if (services_) services_->SaveServiceList(); break;
      case kServiceToggle:
        if (services_) {
          services_->SetOnlyRunning(Button_GetCheck(pages_[3].toggle) == BST_CHECKED);
          services_->Reload();
        }
        break;
      default: break;
    }
  });
}

void MainWindow::OnContextMenu(HWND window, int x, int y) {
  int page_index = -1;
  for (int index = 0; index < 4; ++index) {
    if (pages_[index].list && pages_[index].list == window) page_index = index;
  }
  if (page_index < 0) return;
  HWND list = pages_[page_index].list;
  if (x == -1 && y == -1) {  // from the keyboard: below the selected row
    RECT row{};
    const LRESULT selection = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (selection >= 0 && SendMessageA(list, LB_GETITEMRECT, selection, reinterpret_cast<LPARAM>(&row)) != LB_ERR) {
      POINT point{row.left + 8, row.bottom};
      ClientToScreen(list, &point);
      x = point.x;
      y = point.y;
    } else {
      POINT point{8, 8};
      ClientToScreen(list, &point);
      x = point.x;
      y = point.y;
    }
  }
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  struct MenuOwner {
    HMENU menu;
    ~MenuOwner() { DestroyMenu(menu); }
  } owner{menu};
  const auto add = [menu](int id, const char* caption, bool enabled) {
    AppendMenuA(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), static_cast<UINT_PTR>(id), caption);
  };
  Guarded([&] {
    switch (static_cast<Page>(page_index)) {
      case Page::kStartup:
        startup_->MenuState();
        add(kStartInfo, "&Info...", true);
        add(kStartSave, "&Save...\tCtrl+S", startup_->save_enabled());
        SetMenuDefaultItem(menu, kStartInfo, FALSE);
        break;
      case Page::kUrls: {
        const auto state = urls_->MenuState();
        add(kUrlOpen, "&Open URL", state.open);
        add(kUrlDelete, "&Delete URL\tDel", state.del);
        add(kUrlInsert, "&Insert URL\tIns", state.insert);
        add(kUrlCopy, "&Copy URL\tCtrl+C", state.copy);
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        add(kUrlSave, "&Save...\tCtrl+S", state.save);
        SetMenuDefaultItem(menu, kUrlOpen, FALSE);
        break;
      }
      case Page::kFolders: {
        const auto state = folders_->MenuState();
        add(kFolderOpen, "&Open folder", state.open);
        add(kFolderClear, "&Clear folder\tCtrl+Del", state.clear);
        add(kFolderInfo, "&Folder info...", state.info);
        SetMenuDefaultItem(menu, kFolderOpen, FALSE);
        break;
      }
      case Page::kServices:
        // Opening this menu runs the StartUp menu's opening handler too.
        startup_->MenuState();
        add(kServiceInfo, "&Info...", true);
        add(kServiceSave, "&Save...\tCtrl+S", true);
        SetMenuDefaultItem(menu, kServiceInfo, FALSE);
        break;
    }
  });
  const int chosen = static_cast<int>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, x, y, 0, hwnd_, nullptr));
  if (chosen) RunCommand(chosen);
}

bool MainWindow::PreTranslateKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
  const WPARAM key = msg.wParam;
  if (key == VK_ESCAPE) {
    PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    return true;
  }
  if (msg.message != WM_KEYDOWN) return false;
  HWND focus = GetFocus();
  int page_index = -1;
  for (int index = 0; index < 4; ++index) {
    if (pages_[index].list && pages_[index].list == focus) page_index = index;
  }
  if (page_index < 0) return false;
  int command = 0;
  switch (static_cast<Page>(page_index)) {
    case Page::kStartup:
      if (IsEnter(key)) {
        command = kStartInfo;
      } else if (key == 'S' && CtrlOnly()) {
        startup_->MenuState();
        if (startup_->save_enabled()) command = kStartSave;
        else return true;
      }
      break;
    case Page::kUrls: {
      if (IsEnter(key)) {
        command = kUrlOpen;
        break;
      }
      int wanted = 0;
      if (key == VK_DELETE && NoModifier()) wanted = kUrlDelete;
      else if (key == VK_INSERT && NoModifier()) wanted = kUrlInsert;
      else if (key == 'C' && CtrlOnly()) wanted = kUrlCopy;
      else if (key == 'S' && CtrlOnly()) wanted = kUrlSave;
      if (!wanted) break;
      bool enabled = false;
      Guarded([&] {
        const auto state = urls_->MenuState();
        enabled = wanted == kUrlDelete ? state.del
                  : wanted == kUrlInsert ? state.insert
                  : wanted == kUrlCopy   ? state.copy
                                         : state.save;
      });
      if (enabled) command = wanted;
      else return true;
      break;
    }
    case Page::kFolders:
      if (IsEnter(key)) {
        command = kFolderOpen;
      } else if (key == VK_DELETE && CtrlOnly()) {
        bool enabled = false;
        Guarded([&] { enabled = folders_->MenuState().clear; });
        if (enabled) command = kFolderClear;
        else return true;
      }
      break;
    case Page::kServices:
      if (IsEnter(key)) {
        command = kServiceInfo;
      } else if (key == 'S' && CtrlOnly()) {
        startup_->MenuState();
        command = kServiceSave;
      }
      break;
  }
  if (!command) return false;
  RunCommand(command);
  return true;
}

void MainWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (!services_ || item.hwndItem != pages_[3].list) return;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  HDC dc = item.hDC;
  const COLORREF fill = GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
  COLORREF text = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
  HBRUSH brush = CreateSolidBrush(fill);
  FillRect(dc, &item.rcItem, brush);
  DeleteObject(brush);
  const int index = static_cast<int>(item.itemID);
  std::string name;
  try {
    const RowDrawing drawing = services_->RowDrawingAt(index, selected);
    name = drawing.name;
    if (drawing.text_colour) text = static_cast<COLORREF>(*drawing.text_colour);
  } catch (...) {
    // Drawing must never end in an error box; the row stays empty.
  }
  SetTextColor(dc, text);
  SetBkColor(dc, fill);
  SetBkMode(dc, OPAQUE);
  TextOutA(dc, item.rcItem.left + 1, item.rcItem.top + 1, name.c_str(), static_cast<int>(name.size()));
  if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &item.rcItem);
}

void MainWindow::RefreshList(PageControls& controls, const std::vector<std::string>& rows, int selection) {
  if (controls.shown_rows != rows) {
    SendMessageA(controls.list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(controls.list, LB_RESETCONTENT, 0, 0);
    SendMessageA(controls.list, LB_INITSTORAGE, rows.size(), rows.size() * 32);
    for (const std::string& row : rows) {
      SendMessageA(controls.list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
    }
    SendMessageA(controls.list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(controls.list, nullptr, TRUE);
    controls.shown_rows = rows;
  }
  if (static_cast<int>(SendMessageA(controls.list, LB_GETCURSEL, 0, 0)) != selection) {
    SendMessageA(controls.list, LB_SETCURSEL, static_cast<WPARAM>(selection), 0);
  }
}

void MainWindow::Refresh() {
  if (!startup_ || !tabs_) return;
  {
    std::vector<std::string> rows;
    rows.reserve(startup_->rows().size());
    for (const auto& row : startup_->rows()) rows.push_back(row.text);
    RefreshList(pages_[0], rows, startup_->selection());
    SetText(pages_[0].panel, startup_->count_caption());
  }
  RefreshList(pages_[1], urls_->rows(), urls_->selection());
  SetText(pages_[1].panel, urls_->count_caption());
  RefreshList(pages_[2], folders_->names(), folders_->selection());
  SetText(pages_[2].panel, folders_->count_caption());
  SetText(pages_[2].bottom, folders_->folder_caption());
  EnableWindow(pages_[2].buttons[1], folders_->clear_enabled() ? TRUE : FALSE);
  if (services_) {
    std::vector<std::string> rows;
    rows.reserve(services_->entries().size());
    for (const auto& entry : services_->entries()) rows.push_back(entry.text.substr(0, entry.text.find('\1')));
    RefreshList(pages_[3], rows, services_->selection());
    SetText(pages_[3].toggle, services_->toggle_caption());
    InvalidateRect(pages_[3].list, nullptr, FALSE);
  }
}

void MainWindow::TakeFocusRequests() {
  if (startup_ && startup_->TakeFocusRequest()) FocusList(Page::kStartup);
  if (urls_ && urls_->TakeFocusRequest()) FocusList(Page::kUrls);
  if (services_ && services_->TakeFocusRequest()) FocusList(Page::kServices);
}

// ------------------------------------------------------------------- Ui

bool MainWindow::Confirm(const std::string& question) {
  return MessageBoxA(hwnd_, question.c_str(), "Confirm", MB_YESNO | MB_ICONQUESTION) == IDYES;
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
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER;
  if (!GetSaveFileNameA(&dialog)) return std::nullopt;
  return std::string(file);
}

int MainWindow::ShowInfo(const InfoRequest& request) { return dialogs::ShowInfoDialog(hwnd_, request); }

void MainWindow::ShowMessage(const std::string& text) { MessageBoxA(hwnd_, text.c_str(), kTitle, MB_OK); }

void MainWindow::Repaint() { RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); }

void MainWindow::SetBusyCursor(bool busy) {
  busy_ = busy;
  SetCursor(LoadCursorA(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

}  // namespace cu
