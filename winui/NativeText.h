#pragma once
// Conversions between the control model's values and the window system's.
//
// The model's texts are byte strings in the window system's single-byte code page:
// device replies shown in the monitor may hold any byte. Each byte becomes the
// character of the same number (Latin-1), so every byte keeps its place and the
// native controls' character positions are the model's byte positions. A zero byte,
// which would end a native text, shows as the symbol for null and comes back as 0; a
// character typed outside Latin-1 comes back as '?'.
#include "winsys/Colors.h"
#include "winsys/Win32.h"

#include <string>

namespace winui {

std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);

// A UTF-8 text (the tool's own signs and files) as the window system's text.
std::wstring WideUtf8(const std::string& text);
// The text a window holds (GetWindowText), whatever its length.
std::wstring WindowText(::HWND window);

inline COLORREF ColorRef(winsys::TColor color) {
    return RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
}

inline winsys::TColor ModelColor(COLORREF color) {
    return (static_cast<winsys::TColor>(GetRValue(color)) << 16) |
           (static_cast<winsys::TColor>(GetGValue(color)) << 8) | GetBValue(color);
}

} // namespace winui
