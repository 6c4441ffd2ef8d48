#pragma once
// What the native controls show, read back through the window system's own messages:
// the tests compare it with the control model.
#include "winsys/Colors.h"
#include "winsys/Win32.h"

#include <cstdint>
#include <string>
#include <vector>

namespace winuitest {

std::string Text(::HWND window); // GetWindowText
std::string ClassOf(::HWND window);
bool HasStyle(::HWND window, LONG_PTR style);
// The background colour the parent hands the control for painting (WM_CTLCOLOR...).
winsys::TColor PaintedBackground(::HWND control, UINT ctlColorMessage);
// The colour of the pixel (x, y) of a window's client area as the window paints it
// into a bitmap (WM_PRINTCLIENT). Negative coordinates count from the right or bottom.
winsys::TColor PrintedPixel(::HWND window, int x, int y);
std::vector<std::string> ComboItems(::HWND combo);
int ComboIndex(::HWND combo);
std::string TabText(::HWND tabs, int index);
int TabCount(::HWND tabs);
int ActiveTab(::HWND tabs);
std::string ListCell(::HWND list, int item, int subItem);
std::string ListColumnTitle(::HWND list, int column);
int ListColumnWidth(::HWND list, int column);
int ListColumnCount(::HWND list);
int ListItemCount(::HWND list);
int ListSelected(::HWND list);
std::string StatusText(::HWND bar, int part);
std::string TooltipText(::HWND tooltips, ::HWND tool);
// A popup menu's entries (GetMenuItemInfo): their texts in order, "-" for a separator;
// and the check mark and enabled state of the entry with an identifier.
std::vector<std::string> MenuTexts(::HMENU menu);
bool MenuChecked(::HMENU menu, UINT id);
bool MenuEnabled(::HMENU menu, UINT id);
// The bottom-most child window (a frame's group box lies there).
::HWND LowestChild(::HWND parent);

// A picture of a window with its frame and caption (from its window DC), 32-bit pixels
// 0x00RRGGBB, top row first.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // The number of different colours in the rectangle.
    size_t Colors(int left, int top, int right, int bottom) const;
};
Picture Capture(::HWND window);
// Writes the picture as a BMP file; false when it cannot.
bool WriteBmp(const Picture& picture, const std::string& path);

} // namespace winuitest
