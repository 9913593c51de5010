#include "ui_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

namespace cu::ui_test {

namespace {

const char* const kPageTitles[] = {"StartUp", "IE Address bar (Urls)", "Shell folders", "Services"};

HWND PageOf(HWND main, int page) { return ChildByText(main, "ClearUtilityPage", kPageTitles[page]); }

}  // namespace

bool WaitFor(const std::function<bool()>& condition, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::string TextOf(HWND hwnd) {
  // The Unicode messages are carried across processes alike on Windows and
  // Wine; the program's own texts are UTF-8. Room is left beyond the
  // reported length, since a cross-process reply may come back in a larger
  // piece than the text needs.
  const LRESULT length = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length < 0 ? 0 : length) + 4096, L'\0');
  const LRESULT got = SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return Narrow(text);
}

std::string ClassOf(HWND hwnd) {
  char name[256] = {};
  GetClassNameA(hwnd, name, sizeof name);
  return name;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> found;
  EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND ChildByClassAndIndex(HWND parent, const std::string& class_name, int index) {
  int seen = 0;
  for (HWND child : Children(parent)) {
    if (_stricmp(ClassOf(child).c_str(), class_name.c_str()) == 0 && seen++ == index) return child;
  }
  return nullptr;
}

HWND ChildByText(HWND parent, const std::string& class_name, const std::string& text) {
  for (HWND child : Children(parent)) {
    if (_stricmp(ClassOf(child).c_str(), class_name.c_str()) == 0 && TextOf(child) == text) return child;
  }
  return nullptr;
}

std::vector<std::string> ListRows(HWND list) {
  std::vector<std::string> rows;
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
    std::wstring row(static_cast<std::size_t>(length < 0 ? 0 : length) + 4096, L'\0');
    const LRESULT got = SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(row.data()));
    row.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    rows.push_back(Narrow(row));
  }
  return rows;
}

int ListSelection(HWND list) { return static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0)); }

void PressKey(WORD key, bool ctrl) {
  std::vector<INPUT> inputs;
  const auto add = [&inputs](WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    if (vk == VK_DELETE || vk == VK_INSERT) input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    inputs.push_back(input);
  };
  if (ctrl) add(VK_CONTROL, false);
  add(key, false);
  add(key, true);
  if (ctrl) add(VK_CONTROL, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  Sleep(150);
}

void TypeText(const std::string& text) {
  for (char c : text) {
    INPUT inputs[2]{};
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wScan = static_cast<unsigned char>(c);
    inputs[0].ki.dwFlags = KEYEVENTF_UNICODE;
    inputs[1] = inputs[0];
    inputs[1].ki.dwFlags |= KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
  }
  Sleep(150);
}

HWND FindTopWindow(DWORD process_id, const std::string& title) {
  struct Search {
    DWORD pid;
    const std::string* title;
    HWND found;
  } search{process_id, &title, nullptr};
  EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (pid == s->pid && IsWindowVisible(hwnd) && TextOf(hwnd) == *s->title) {
          s->found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> Dialogs(DWORD process_id) {
  struct Search {
    DWORD pid;
    std::vector<HWND> found;
  } search{process_id, {}};
  EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (pid == s->pid && IsWindowVisible(hwnd) && ClassOf(hwnd) == "#32770") s->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForDialogWhere(DWORD process_id, const std::function<bool(HWND)>& wanted, int timeout_ms) {
  HWND found = nullptr;
  WaitFor(
      [&] {
        for (HWND dialog : Dialogs(process_id)) {
          if (wanted(dialog)) found = dialog;
        }
        return found != nullptr;
      },
      timeout_ms);
  return found;
}

HWND WaitForDialog(DWORD process_id, const std::string& title, int timeout_ms) {
  return WaitForDialogWhere(process_id, [&](HWND dialog) { return TextOf(dialog) == title; }, timeout_ms);
}

AppProcess::AppProcess() {
  std::string command = "\"";
  command += ExeFolder();
  command += "clear-utility.exe\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_)) {
    return;
  }
  WaitForInputIdle(info_.hProcess, 10000);
  WaitFor([this] {
    main_ = nullptr;
    HWND candidate = FindWindowA("ClearUtilityMain", "Clear utility");
    DWORD pid = 0;
    if (candidate) GetWindowThreadProcessId(candidate, &pid);
    if (pid == info_.dwProcessId) main_ = candidate;
    // The lists are loaded once the StartUp panel shows a count.
    return main_ && !TextOf(Panel(0)).empty();
  });
  if (main_) Foreground();
}

AppProcess::~AppProcess() {
  if (info_.hProcess) {
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
      if (main_) PostMessageA(main_, WM_CLOSE, 0, 0);
      if (WaitForSingleObject(info_.hProcess, 5000) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 1);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
}

bool AppProcess::Exited(int timeout_ms) {
  return info_.hProcess && WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout_ms)) == WAIT_OBJECT_0;
}

void AppProcess::Settle() const {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
  // Long work runs behind a disabled window that still answers: wait until
  // the window takes input again, then for what the command does after it.
  WaitFor([this] { return IsWindowEnabled(main_) != FALSE; }, 120000);
  SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
}

HWND AppProcess::Tabs() const { return ChildByClassAndIndex(main_, WC_TABCONTROLA, 0); }

HWND AppProcess::List(int page) const { return ChildByClassAndIndex(PageOf(main_, page), "ListBox", 0); }

HWND AppProcess::Panel(int page) const {
  return ChildByClassAndIndex(PageOf(main_, page), "ClearUtilityPanel", 0);
}

HWND AppProcess::PathPanel() const { return ChildByClassAndIndex(PageOf(main_, 2), "ClearUtilityPathPanel", 0); }

HWND AppProcess::Button(int page, const std::string& caption) const {
  return ChildByText(PageOf(main_, page), "Button", caption);
}

void AppProcess::SelectTab(int index) {
  HWND tabs = Tabs();
  // A user's click: the tab control changes and tells its parent.
  SendMessageA(tabs, TCM_SETCURFOCUS, index, 0);
  WaitFor([&] { return SendMessageA(tabs, TCM_GETCURSEL, 0, 0) == index; }, 3000);
  Sleep(300);
}

HWND AppProcess::WaitForWindow(const std::string& title, int timeout_ms) const {
  HWND found = nullptr;
  WaitFor([&] { return (found = FindTopWindow(info_.dwProcessId, title)) != nullptr; }, timeout_ms);
  return found;
}

void AppProcess::Foreground() {
  SetForegroundWindow(main_);
  WaitFor([this] { return GetForegroundWindow() == main_; }, 3000);
}

HWND ProgressDialog(DWORD process_id) {
  for (HWND dialog : Dialogs(process_id)) {
    if (TextOf(dialog) == "Clear utility" && ChildByText(dialog, "Button", "Stop")) return dialog;
  }
  return nullptr;
}

void ClickDialogButton(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::string MessageBoxText(HWND box) {
  // A message box shows its text in the static control with id 0xFFFF.
  HWND text = GetDlgItem(box, 0xFFFF);
  return text ? TextOf(text) : std::string();
}

std::optional<std::string> AcceptErrorBox(const AppProcess& app) {
  // The main window has the same title; the error box is the dialog.
  HWND error = WaitForDialog(app.id(), "Clear utility");
  if (!error) return std::nullopt;
  const std::string text = MessageBoxText(error);
  ClickDialogButton(error, IDOK);
  WaitFor([&] { return !IsWindow(error); }, 5000);
  app.Settle();
  return text;
}

void ClickRow(HWND list, int index, bool double_click) {
  SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
  const int top = static_cast<int>(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
  const int height = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, static_cast<WPARAM>(index), 0));
  const LPARAM at = MAKELPARAM(20, (index - top) * height + height / 2);
  PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(list, WM_LBUTTONUP, 0, at);
  if (double_click) {
    PostMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageA(list, WM_LBUTTONUP, 0, at);
  }
  Sleep(250);
}

void ClickButton(HWND button) {
  PostMessageA(button, BM_CLICK, 0, 0);
  Sleep(250);
}

HWND FocusOf(HWND window) {
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui)) return nullptr;
  return gui.hwndFocus;
}

int RowIndex(const std::vector<std::string>& rows, const std::string& text) {
  const auto found = std::find(rows.begin(), rows.end(), text);
  return found == rows.end() ? -1 : static_cast<int>(found - rows.begin());
}

std::string Shown(const std::vector<std::string>& rows) {
  std::string shown;
  for (const std::string& row : rows) shown += row + "\n";
  return shown;
}

HWND SaveDialogFileNameEdit(HWND dialog) {
  if (HWND combo = GetDlgItem(dialog, 0x47C)) {
    if (_stricmp(ClassOf(combo).c_str(), "Edit") == 0) return combo;
    if (HWND edit = ChildByClassAndIndex(combo, "Edit", 0)) return edit;
  }
  return GetDlgItem(dialog, 0x480);
}

std::string DeleteSelectedStartupRow(const AppProcess& app, const std::string& row,
                                     const std::string& asked) {
  ClickButton(app.Button(0, "Info"));
  HWND info = WaitForDialog(app.id(), "Info StartUp");
  if (info == nullptr) return "the Info dialog did not open";
  ClickDialogButton(info, IDYES);
  HWND confirm = WaitForDialog(app.id(), "Confirm");
  if (confirm == nullptr) return "\"DELETE!!!\" asked nothing";
  const std::string question = MessageBoxText(confirm);
  const std::string expected = asked.empty() ? "Delete " + row + "?" : asked;
  if (question != expected) return "the question reads: " + question;
  ClickDialogButton(confirm, IDYES);
  if (!WaitFor([&] { return !IsWindow(confirm); }, 5000)) return "the question stayed open";
  return {};
}

std::string SaveAsInDialog(const AppProcess& app, const std::string& path) {
  HWND dialog = WaitForDialog(app.id(), "Save As");
  if (dialog == nullptr) return "the save dialog did not open";
  HWND edit = SaveDialogFileNameEdit(dialog);
  if (edit == nullptr) return "the save dialog has no file-name field";
  const std::wstring wide_path(path.begin(), path.end());
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide_path.c_str()));
  if (TextOf(edit) != path) return "the file-name field shows " + TextOf(edit);
  ClickDialogButton(dialog, IDOK);
  if (!WaitFor([&] { return !IsWindow(dialog); }, 10000)) return "the save dialog stayed open";
  return {};
}

InfoTexts ReadInfo(HWND dialog) {
  return {TextOf(GetDlgItem(dialog, 1001)), TextOf(GetDlgItem(dialog, IDYES)),
          IsWindowVisible(GetDlgItem(dialog, IDNO)) != FALSE, TextOf(GetDlgItem(dialog, 1002)),
          TextOf(GetDlgItem(dialog, IDNO)), IsWindowEnabled(GetDlgItem(dialog, IDNO)) != FALSE,
          IsWindowEnabled(GetDlgItem(dialog, IDYES)) != FALSE};
}

Screenshot::Screenshot(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  width_ = client.right;
  height_ = client.bottom;
  if (width_ <= 0 || height_ <= 0) return;
  pixels_.resize(static_cast<std::size_t>(width_) * height_);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width_;
  info.bmiHeader.biHeight = -height_;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width_, height_, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    const auto* source = static_cast<const DWORD*>(bits);
    for (std::size_t i = 0; i < pixels_.size(); ++i) {
      const DWORD bgr = source[i];  // 0x00RRGGBB in a 32-bit DIB
      pixels_[i] = RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

int Screenshot::Count(const RECT& rect, COLORREF colour) const {
  int found = 0;
  for (int y = std::max<LONG>(rect.top, 0); y < std::min<LONG>(rect.bottom, height_); ++y) {
    for (int x = std::max<LONG>(rect.left, 0); x < std::min<LONG>(rect.right, width_); ++x) {
      if (pixels_[static_cast<std::size_t>(y) * width_ + x] == colour) ++found;
    }
  }
  return found;
}

std::string Screenshot::Save(const std::string& path) const {
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width_;
  header.biHeight = -height_;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  std::vector<DWORD> data(pixels_.size());
  for (std::size_t i = 0; i < pixels_.size(); ++i) {
    data[i] = (GetRValue(pixels_[i]) << 16) | (GetGValue(pixels_[i]) << 8) | GetBValue(pixels_[i]);
  }
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(data.size() * sizeof(DWORD));
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size() * sizeof(DWORD)));
  return path;
}

ResponsivenessProbe::ResponsivenessProbe(std::function<HWND()> find)
    : thread_([this, find = std::move(find)] {
        HWND window = nullptr;
        while (!done_) {
          if (window == nullptr && (window = find()) == nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
          }
          const auto start = std::chrono::steady_clock::now();
          DWORD_PTR result = 0;
          const bool answered = SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 250, &result) != 0;
          const auto ms =
              std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                  .count();
          ++probes_;
          if (!answered || ms > 250) ++stalls_;
          if (ms > 100) std::printf("[ probe ] %d: %d ms\n", probes_.load(), static_cast<int>(ms));
          if (ms > slowest_ms_) slowest_ms_ = static_cast<int>(ms);
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
      }) {}

void ResponsivenessProbe::Stop() {
  done_ = true;
  if (thread_.joinable()) thread_.join();
}

RECT RowRect(HWND list, int index) {
  RECT row{};
  SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&row));
  return row;
}

RECT VisibleRow(HWND list, int index) {
  RECT client{};
  GetClientRect(list, &client);
  RECT row = RowRect(list, index);
  if (row.top < 0 || row.bottom > client.bottom) {
    SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
    row = RowRect(list, index);
  }
  return row;
}

Screenshot WaitForRowColour(HWND list, int index, COLORREF colour) {
  const RECT row = VisibleRow(list, index);
  InvalidateRect(list, nullptr, TRUE);
  std::unique_ptr<Screenshot> shot;
  WaitFor(
      [&] {
        shot = std::make_unique<Screenshot>(list);
        return shot->Count(row, colour) > 0;
      },
      5000);
  return *shot;
}

}  // namespace cu::ui_test
