#pragma once

// The controls of one tab page, made from the page's description: the page
// window, the button panel with its buttons (and the toggle), the list, and
// the path panel along the bottom. Refresh shows the presenter's state.

#include <windows.h>

#include <string>
#include <vector>

#include "controller/page_table.h"

namespace cu {

struct PageFonts {
  HFONT list = nullptr;
  HFONT button = nullptr;
  HFONT panel = nullptr;
};

class PageView {
 public:
  explicit PageView(PageDescription desc) : desc_(std::move(desc)) {}

  // Creates the controls below `parent`; the list gets the control id
  // `list_id`, each button its command's id. Tooltips go to `tooltip`.
  void Create(HWND parent, HINSTANCE instance, HWND tooltip, int list_id);
  void SetFonts(const PageFonts& fonts, UINT dpi);
  // Places the page over `display` (the tab control's display area).
  void Layout(const RECT& display, UINT dpi);
  // Shows the page on top of the tab control, or hides it.
  void Show(bool visible);
  // Refills the list only when its rows changed, then the selection, the
  // captions and the buttons' enabled states.
  void Refresh();

  const PageDescription& desc() const { return desc_; }
  HWND list() const { return list_; }
  HWND toggle() const { return toggle_; }

 private:
  bool ResultLineShown() const;

  PageDescription desc_;
  HWND page_ = nullptr;
  HWND panel_ = nullptr;
  HWND list_ = nullptr;
  HWND path_panel_ = nullptr;
  HWND result_line_ = nullptr;  // shown only while it has a text
  RECT display_{};
  UINT dpi_ = 96;
  HWND toggle_ = nullptr;
  std::vector<HWND> buttons_;  // in the order of desc_.buttons
  std::vector<std::string> shown_rows_;  // what the list box holds now
};

}  // namespace cu
