#pragma once

// The window classes of the main window's pages and panels, and the drawing
// the window does itself: a panel's caption and an owner-drawn list row.

#include <windows.h>

#include "services/services_tab.h"

namespace cu {

// A page: lies over the tab control's display area and holds one tab's
// controls. It passes what they report up to the main window.
inline constexpr char kPageClass[] = "ClearUtilityPage";
// The button panel at a page's left; its window text, a count, is drawn in
// bold navy, centred.
inline constexpr char kPanelClass[] = "ClearUtilityPanel";
// The path panel along a page's bottom; its window text, a path, is drawn
// left-justified on a sunken edge.
inline constexpr char kPathPanelClass[] = "ClearUtilityPathPanel";

// Registers the three classes above; false when one fails.
[[nodiscard]] bool RegisterPanelClasses(HINSTANCE instance);

// Makes a push-like check box work like a speed button: clicking it never
// takes the keyboard focus from where it was.
void KeepFocusOnClick(HWND toggle);

// Draws one owner-drawn list row: the fill of its state, the row's name at
// (left + 1, top + 1) in its colour, and the focus rectangle.
void DrawListRow(const DRAWITEMSTRUCT& item, const RowDrawing& drawing);

}  // namespace cu
