#include "winui/TrendWindow.h"

#include "tool/CommissioningMenu.h"
#include "winui/NativeText.h"
#include "winui/SaveDialog.h"

#include <objidl.h>

#include <gdiplus.h>

#include <algorithm>
#include <cmath>

namespace winui {

namespace {

constexpr wchar_t TrendClass[] = L"RvexTrend";
constexpr int ClientWidth = 720, ClientHeight = 420;
constexpr int ButtonBand = 42, ButtonWidth = 110, ButtonHeight = 26;
constexpr int LegendLine = 18, MarkCount = 5;
constexpr COLORREF Palette[] = {RGB(0x20, 0x9F, 0xDF), RGB(0x99, 0xCA, 0x53), RGB(0xF6, 0xA6, 0x25),
                                RGB(0x6D, 0x5F, 0xD5), RGB(0xBF, 0x59, 0x3E), RGB(0x00, 0x80, 0x80),
                                RGB(0xD0, 0x3A, 0x8C), RGB(0x55, 0x55, 0x55)};
constexpr COLORREF GridColor = RGB(0xDD, 0xDD, 0xDD), AxisColor = RGB(0x40, 0x40, 0x40);
// The encoder GDI+ writes PNG with.
constexpr CLSID PngEncoder = {
    0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

void Line(::HDC dc, int x0, int y0, int x1, int y1) {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

void Label(::HDC dc, const std::string& text, RECT area, UINT format) {
    std::wstring wide = Wide(text);
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &area, format | DT_SINGLELINE);
}

// The chart as a 32-bit bitmap of width x height, drawn by draw.
template <class Draw>::HBITMAP Painted(int width, int height, Draw&& draw) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    ::HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    ::HDC dc = CreateCompatibleDC(nullptr);
    ::HGDIOBJ old = SelectObject(dc, bitmap);
    draw(dc);
    GdiFlush();
    SelectObject(dc, old);
    DeleteDC(dc);
    return bitmap;
}

} // namespace

TrendWindow::TrendWindow(tool::TCommissioning& commissioning, const winsys::TStringGrid& grid,
                         ::HWND owner)
    : commissioning_(commissioning), grid_(grid) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = TrendClass;
    RegisterClassW(&windowClass); // a second window registers it again: refused, harmless

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    font_ = CreateFontIndirectW(&metrics.lfMessageFont);

    const DWORD style = WS_OVERLAPPEDWINDOW;
    RECT frame{0, 0, ClientWidth, ClientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    window_ = CreateWindowExW(0, TrendClass, L"Trend", style, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, owner, nullptr,
                              GetModuleHandleW(nullptr), this);
    save_ = CreateWindowExW(0, L"BUTTON", L"Salva PNG...", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0,
                            ButtonWidth, ButtonHeight, window_, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
    SendMessageW(save_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SendMessageW(window_, WM_SIZE, 0, 0);

    AskPngName = [this] {
        return AskSaveFileName(window_, "Salva trend", "trend.png", {{L"PNG (*.png)", L"*.png"}},
                               L"png");
    };
    observer_ = commissioning_.AddGoodReadingObserver(
        [this](int row, double value, tool::WallTime at) { Plotted(row, value, at); });
}

TrendWindow::~TrendWindow() {
    commissioning_.RemoveGoodReadingObserver(observer_);
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (font_) DeleteObject(font_);
}

void TrendWindow::AddRow(int row) {
    if (plot_.AddSeries(row, tool::TrendSeriesName(grid_, row)))
        InvalidateRect(window_, nullptr, FALSE);
}

void TrendWindow::Show() {
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
    UpdateWindow(window_);
}

bool TrendWindow::Visible() const {
    return window_ && IsWindowVisible(window_);
}

void TrendWindow::Plotted(int row, double value, tool::WallTime at) {
    if (!Visible()) return; // plotted while shown only
    if (plot_.AddPoint(row, value, at)) InvalidateRect(window_, nullptr, FALSE);
}

COLORREF TrendWindow::SeriesColor(size_t index) {
    return Palette[index % std::size(Palette)];
}

void TrendWindow::Render(::HDC dc, int width, int height) const {
    RECT all{0, 0, width, height};
    FillRect(dc, &all, static_cast<::HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const auto& series = plot_.Series();
    const int legend = static_cast<int>(series.size()) * LegendLine + 8;
    tool::PlotArea area{72, 24, width - 24, height - 34 - legend};
    area.right = std::max(area.right, area.left + 40);
    area.bottom = std::max(area.bottom, area.top + 40);
    const tool::TrendRange range = plot_.Range(tool::SystemWallTime());

    ::HGDIOBJ oldFont = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, AxisColor);
    ::HPEN gridPen = CreatePen(PS_SOLID, 1, GridColor);
    ::HPEN axisPen = CreatePen(PS_SOLID, 1, AxisColor);
    ::HGDIOBJ oldPen = SelectObject(dc, gridPen);
    for (const tool::AxisMark& mark : tool::ValueMarks(range, MarkCount)) {
        const int y = tool::ToPixel(range, area, range.fromMs, mark.at).y;
        Line(dc, area.left, y, area.right, y);
        Label(dc, mark.label, {0, y - 9, area.left - 6, y + 9}, DT_RIGHT | DT_VCENTER);
    }
    for (const tool::AxisMark& mark : tool::TimeMarks(range, MarkCount)) {
        const int x = tool::ToPixel(range, area, std::llround(mark.at), range.low).x;
        Line(dc, x, area.top, x, area.bottom);
        Label(dc, mark.label, {x - 40, area.bottom + 4, x + 40, area.bottom + 22}, DT_CENTER);
    }
    SelectObject(dc, axisPen);
    Line(dc, area.left, area.top, area.left, area.bottom);
    Line(dc, area.left, area.bottom, area.right, area.bottom);
    Label(dc, "Valore", {4, 4, area.left + 80, 22}, DT_LEFT);
    Label(dc, "Ora", {4, area.bottom + 4, area.left - 6, area.bottom + 22}, DT_LEFT);

    for (size_t i = 0; i < series.size(); ++i) {
        const COLORREF color = SeriesColor(i);
        ::HPEN pen = CreatePen(PS_SOLID, 2, color);
        ::HBRUSH brush = CreateSolidBrush(color);
        SelectObject(dc, pen);
        ::HGDIOBJ oldBrush = SelectObject(dc, brush);
        std::vector<POINT> points;
        for (const tool::TrendPoint& p : series[i].points) {
            tool::PlotPixel at = tool::ToPixel(range, area, p.ms, p.value);
            points.push_back({at.x, at.y});
        }
        const int saved = SaveDC(dc);
        IntersectClipRect(dc, area.left, area.top, area.right + 1, area.bottom + 1);
        if (points.size() > 1) Polyline(dc, points.data(), static_cast<int>(points.size()));
        for (const POINT& p : points)
            Ellipse(dc, p.x - 3, p.y - 3, p.x + 4, p.y + 4);
        RestoreDC(dc, saved);
        // The legend: the series' colour, then its name.
        const int y = area.bottom + 30 + static_cast<int>(i) * LegendLine;
        Line(dc, area.left, y + LegendLine / 2, area.left + 24, y + LegendLine / 2);
        SetTextColor(dc, RGB(0, 0, 0));
        Label(dc, series[i].name, {area.left + 32, y, width - 8, y + LegendLine},
              DT_LEFT | DT_VCENTER | DT_END_ELLIPSIS);
        SelectObject(dc, oldBrush);
        SelectObject(dc, axisPen);
        DeleteObject(brush);
        DeleteObject(pen);
    }
    SelectObject(dc, oldPen);
    SelectObject(dc, oldFont);
    DeleteObject(gridPen);
    DeleteObject(axisPen);
}

bool TrendWindow::SavePng(const std::string& path) const {
    RECT client{};
    GetClientRect(window_, &client);
    const int width = client.right > 0 ? client.right : ClientWidth;
    const int height = std::max<int>(client.bottom - ButtonBand, 100);
    ::HBITMAP bitmap = Painted(width, height, [&](::HDC dc) { Render(dc, width, height); });
    if (!bitmap) return false;

    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    bool written = false;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        Gdiplus::GpBitmap* image = nullptr;
        if (Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) ==
            Gdiplus::Ok) {
            written = Gdiplus::DllExports::GdipSaveImageToFile(image, Wide(path).c_str(),
                                                               &PngEncoder, nullptr) == Gdiplus::Ok;
            Gdiplus::DllExports::GdipDisposeImage(image);
        }
        Gdiplus::GdiplusShutdown(token);
    }
    DeleteObject(bitmap);
    return written;
}

void TrendWindow::SaveAsked() {
    std::string path = AskPngName();
    if (path.empty() || SavePng(path)) return;
    MessageBoxW(window_, (L"Impossibile scrivere " + Wide(path)).c_str(), L"Trend",
                MB_OK | MB_ICONWARNING);
}

LRESULT CALLBACK TrendWindow::Proc(::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TrendWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCDESTROY && self) {
        // Destroyed with its owner, the main window: nothing is left to draw on.
        self->window_ = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    }
    if (!self || !self->window_) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->Message(msg, wParam, lParam);
}

LRESULT TrendWindow::Message(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        ::HDC dc = BeginPaint(window_, &paint);
        RECT client;
        GetClientRect(window_, &client);
        const int height = std::max<int>(client.bottom - ButtonBand, 1);
        // Drawn off screen first, so the chart does not flicker on every point.
        ::HDC buffer = CreateCompatibleDC(dc);
        ::HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max<int>(client.right, 1), height);
        ::HGDIOBJ old = SelectObject(buffer, bitmap);
        Render(buffer, client.right, height);
        BitBlt(dc, 0, 0, client.right, height, buffer, 0, 0, SRCCOPY);
        SelectObject(buffer, old);
        DeleteObject(bitmap);
        DeleteDC(buffer);
        RECT band{0, height, client.right, client.bottom};
        FillRect(dc, &band, GetSysColorBrush(COLOR_BTNFACE));
        EndPaint(window_, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE: {
        RECT client;
        GetClientRect(window_, &client);
        SetWindowPos(save_, nullptr, client.right - ButtonWidth - 8,
                     client.bottom - ButtonHeight - (ButtonBand - ButtonHeight) / 2, ButtonWidth,
                     ButtonHeight, SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(window_, nullptr, FALSE);
        return 0;
    }
    case WM_COMMAND:
        if (reinterpret_cast<::HWND>(lParam) == save_ && HIWORD(wParam) == BN_CLICKED) SaveAsked();
        return 0;
    case WM_CLOSE:
        ShowWindow(window_, SW_HIDE);
        return 0;
    default:
        return DefWindowProcW(window_, msg, wParam, lParam);
    }
}

} // namespace winui
