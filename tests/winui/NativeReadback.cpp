#include "NativeReadback.h"

#include "winui/NativeText.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace winuitest {

using winui::Narrow;

std::string Text(::HWND window) {
    return Narrow(winui::WindowText(window));
}

std::string ClassOf(::HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return Narrow(name);
}

bool HasStyle(::HWND window, LONG_PTR style) {
    return (GetWindowLongPtrW(window, GWL_STYLE) & style) == style;
}

winsys::TColor PaintedBackground(::HWND control, UINT ctlColorMessage) {
    ::HDC dc = CreateCompatibleDC(nullptr);
    auto brush = reinterpret_cast<::HBRUSH>(SendMessageW(GetParent(control), ctlColorMessage,
                                                         reinterpret_cast<WPARAM>(dc),
                                                         reinterpret_cast<LPARAM>(control)));
    COLORREF background = GetBkColor(dc);
    DeleteDC(dc);
    LOGBRUSH info{};
    if (brush && GetObjectW(brush, sizeof info, &info) == sizeof info)
        return winui::ModelColor(info.lbColor);
    return winui::ModelColor(background) | 0xFF000000; // no brush of ours: never equal
}

winsys::TColor PrintedPixel(::HWND window, int x, int y) {
    RECT area;
    GetClientRect(window, &area);
    ::HDC screen = GetDC(nullptr);
    ::HDC dc = CreateCompatibleDC(screen);
    ::HBITMAP bitmap = CreateCompatibleBitmap(screen, area.right, area.bottom);
    ReleaseDC(nullptr, screen);
    ::HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    COLORREF pixel = GetPixel(dc, x < 0 ? area.right + x : x, y < 0 ? area.bottom + y : y);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return winui::ModelColor(pixel);
}

std::vector<std::string> ComboItems(::HWND combo) {
    std::vector<std::string> items;
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const int length =
            static_cast<int>(SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0));
        std::wstring item(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(item.data()));
        item.resize(static_cast<size_t>(length));
        items.push_back(Narrow(item));
    }
    return items;
}

int ComboIndex(::HWND combo) {
    return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
}

std::string TabText(::HWND tabs, int index) {
    wchar_t text[128] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 128;
    SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return Narrow(text);
}

int TabCount(::HWND tabs) {
    return static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
}

int ActiveTab(::HWND tabs) {
    return static_cast<int>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0));
}

std::string ListCell(::HWND list, int item, int subItem) {
    wchar_t text[512] = {};
    LVITEMW request{};
    request.iSubItem = subItem;
    request.pszText = text;
    request.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item),
                 reinterpret_cast<LPARAM>(&request));
    return Narrow(text);
}

std::string ListColumnTitle(::HWND list, int column) {
    wchar_t text[256] = {};
    LVCOLUMNW request{};
    request.mask = LVCF_TEXT;
    request.pszText = text;
    request.cchTextMax = 256;
    SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column),
                 reinterpret_cast<LPARAM>(&request));
    return Narrow(text);
}

int ListColumnWidth(::HWND list, int column) {
    return static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

int ListColumnCount(::HWND list) {
    auto header = reinterpret_cast<::HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    return static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
}

int ListItemCount(::HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

int ListSelected(::HWND list) {
    return static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

std::string StatusText(::HWND bar, int part) {
    const int length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(part),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return Narrow(text);
}

std::string TooltipText(::HWND tooltips, ::HWND tool) {
    wchar_t text[1024] = {};
    TOOLINFOW info{};
    info.cbSize = sizeof info;
    info.hwnd = GetParent(tool);
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = text;
    SendMessageW(tooltips, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&info));
    return Narrow(text);
}

::HWND LowestChild(::HWND parent) {
    ::HWND first = GetWindow(parent, GW_CHILD);
    return first ? GetWindow(first, GW_HWNDLAST) : nullptr;
}

size_t Picture::Colors(int left, int top, int right, int bottom) const {
    std::set<uint32_t> seen;
    for (int y = std::max(0, top); y < std::min(height, bottom); ++y)
        for (int x = std::max(0, left); x < std::min(width, right); ++x)
            seen.insert(At(x, y));
    return seen.size();
}

namespace {

MENUITEMINFOW MenuItem(::HMENU menu, UINT item, bool byPosition, wchar_t* text, UINT size) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = size;
    if (!GetMenuItemInfoW(menu, item, byPosition, &info)) ADD_FAILURE() << "no menu item " << item;
    return info;
}

} // namespace

std::vector<std::string> MenuTexts(::HMENU menu) {
    std::vector<std::string> texts;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info = MenuItem(menu, static_cast<UINT>(i), true, text, 255);
        texts.push_back((info.fType & MFT_SEPARATOR) ? "-" : winui::Narrow(text));
    }
    return texts;
}

bool MenuChecked(::HMENU menu, UINT id) {
    return (MenuItem(menu, id, false, nullptr, 0).fState & MFS_CHECKED) != 0;
}

bool MenuEnabled(::HMENU menu, UINT id) {
    return (MenuItem(menu, id, false, nullptr, 0).fState & MFS_DISABLED) == 0;
}

Picture Capture(::HWND window) {
    RECT outer;
    GetWindowRect(window, &outer);
    Picture picture;
    picture.width = outer.right - outer.left;
    picture.height = outer.bottom - outer.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    ::HDC dc = CreateCompatibleDC(nullptr);
    ::HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ::HGDIOBJ old = SelectObject(dc, bitmap);
    // What the window shows, its frame and caption included, as painted.
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ::HDC source = GetWindowDC(window);
    BitBlt(dc, 0, 0, picture.width, picture.height, source, 0, 0, SRCCOPY);
    ReleaseDC(window, source);
    GdiFlush();
    const auto* pixels = static_cast<const uint32_t*>(bits);
    picture.pixels.assign(pixels, pixels + static_cast<size_t>(picture.width) * picture.height);
    for (uint32_t& pixel : picture.pixels)
        pixel &= 0xFFFFFF;
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return picture;
}

bool WriteBmp(const Picture& picture, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    if (!out) return false;
    const uint32_t imageBytes = static_cast<uint32_t>(picture.pixels.size() * 4);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageBytes;
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = picture.width;
    info.biHeight = -picture.height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(reinterpret_cast<const char*>(picture.pixels.data()), imageBytes);
    return static_cast<bool>(out);
}

} // namespace winuitest
