#include "winui/CommissioningMenus.h"

#include "tool/LocalTime.h"
#include "tool/Unit1.h"
#include "winsys/Exception.h"
#include "winui/FormView.h"
#include "winui/NativeText.h"
#include "winui/SaveDialog.h"
#include "winui/TrendWindow.h"

#include <commctrl.h>

#include <algorithm>

namespace winui {

namespace {

constexpr wchar_t SignClass[] = L"RvexRecordingSign";
constexpr int SignWidth = 64;
constexpr COLORREF SignColor = RGB(0xD0, 0x00, 0x00);

void AddEntry(::HMENU menu, const tool::MenuEntry& entry) {
    if (entry.command == tool::MenuCommand::Separator) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        return;
    }
    UINT flags = MF_STRING;
    if (entry.checked) flags |= MF_CHECKED;
    if (!entry.enabled) flags |= MF_GRAYED;
    AppendMenuW(menu, flags, CommissioningMenus::CommandId(entry.command),
                Wide(entry.text).c_str());
}

std::vector<FileType> TypesOf(const std::string& type) {
    if (type == "csv") return {{L"CSV (*.csv)", L"*.csv"}};
    return {{L"HTML (*.html, *.htm)", L"*.html;*.htm"}};
}

} // namespace

CommissioningMenus::CommissioningMenus(winsys::TApplication& application, tool::TMainForm& form,
                                       FormView& view, tool::TCommissioning& commissioning)
    : application_(application), form_(form), view_(view), commissioning_(commissioning) {
    TrackMenu = [this](::HMENU menu, POINT screen) {
        // The menu closes on a click elsewhere only when its owner is in front.
        SetForegroundWindow(view_.Window());
        return static_cast<UINT>(TrackPopupMenu(menu,
                                                TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                screen.x, screen.y, 0, view_.Window(), nullptr));
    };
    AskSaveName = [this](const std::string& title, const std::string& suggested,
                         const std::string& type) {
        return AskSaveFileName(view_.Window(), title, suggested, TypesOf(type),
                               type == "csv" ? L"csv" : L"html");
    };
    view_.OnContextMenu = [this](const winsys::Control& control, POINT screen, int row) {
        ShowMenu(control, screen, row);
    };

    // The sign sits in the status bar left of the counters field, over the end of the
    // text field, and shows only while the session records.
    if (::HWND bar = view_.StatusBar()) {
        WNDCLASSW signClass{};
        signClass.lpfnWndProc = SignProc;
        signClass.hInstance = GetModuleHandleW(nullptr);
        signClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        signClass.lpszClassName = SignClass;
        RegisterClassW(&signClass); // a second window registers it again: refused, harmless
        // The bar's own painting must leave the sign alone.
        SetWindowLongPtrW(bar, GWL_STYLE, GetWindowLongPtrW(bar, GWL_STYLE) | WS_CLIPCHILDREN);
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        metrics.lfStatusFont.lfWeight = FW_BOLD;
        signFont_ = CreateFontIndirectW(&metrics.lfStatusFont);
        sign_ =
            CreateWindowExW(0, SignClass, WideUtf8(tool::RecordingSignText).c_str(), WS_CHILD, 0, 0,
                            SignWidth, 16, bar, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(sign_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        PlaceSign();
        TOOLINFOW tip{};
        tip.cbSize = sizeof tip;
        tip.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tip.hwnd = bar;
        tip.uId = reinterpret_cast<UINT_PTR>(sign_);
        std::wstring hint = WideUtf8(tool::RecordingSignHint(commissioning_));
        tip.lpszText = hint.data();
        SendMessageW(view_.Tooltips(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tip));
        statusObserver_ = form_.StatusBar1.AddObserver(
            [this](winsys::Control&, winsys::Change) { InvalidateRect(sign_, nullptr, TRUE); });
    }
    commissioning_.OnRecordingChanged = [this](bool recording) { ShowRecording(recording); };
}

CommissioningMenus::~CommissioningMenus() {
    commissioning_.OnRecordingChanged = nullptr;
    view_.OnContextMenu = nullptr;
    trend_.reset();
    if (statusObserver_) form_.StatusBar1.RemoveObserver(statusObserver_);
    if (sign_ && IsWindow(sign_)) {
        TOOLINFOW tip{};
        tip.cbSize = sizeof tip;
        tip.hwnd = GetParent(sign_);
        tip.uId = reinterpret_cast<UINT_PTR>(sign_);
        SendMessageW(view_.Tooltips(), TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tip));
        DestroyWindow(sign_);
    }
    if (signFont_) DeleteObject(signFont_);
}

::HMENU CommissioningMenus::GridMenu(int row) {
    ::HMENU menu = CreatePopupMenu();
    for (const tool::MenuEntry& entry : tool::GridMenuEntries(commissioning_, row))
        AddEntry(menu, entry);
    return menu;
}

::HMENU CommissioningMenus::MonitorMenu() {
    ::HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, CopyId, L"Copia");
    AppendMenuW(menu, MF_STRING, SelectAllId, L"Seleziona tutto");
    for (const tool::MenuEntry& entry : tool::MonitorMenuEntries(commissioning_))
        AddEntry(menu, entry);
    return menu;
}

void CommissioningMenus::ShowMenu(const winsys::Control& control, POINT screen, int row) {
    const bool grid = &control == &form_.StringGrid3;
    if (!grid && &control != &form_.Memo2) return;
    ::HMENU menu = grid ? GridMenu(row) : MonitorMenu();
    const UINT id = TrackMenu(menu, screen);
    DestroyMenu(menu);
    Choose(id, row);
}

void CommissioningMenus::Choose(UINT id, int row) {
    if (id == CopyId || id == SelectAllId) {
        ::HWND memo = view_.HandleOf("Memo2");
        if (id == CopyId)
            SendMessageW(memo, WM_COPY, 0, 0);
        else
            SendMessageW(memo, EM_SETSEL, 0, -1);
        return;
    }
    switch (static_cast<tool::MenuCommand>(id)) {
    case tool::MenuCommand::Record:
        ToggleRecording();
        break;
    case tool::MenuCommand::ExportGrid:
        ExportGrid();
        break;
    case tool::MenuCommand::Report:
        SaveReport();
        break;
    case tool::MenuCommand::Trend:
        OpenTrend(row);
        break;
    case tool::MenuCommand::Separator:
        break;
    }
}

void CommissioningMenus::ToggleRecording() {
    application_.Guard([this] { tool::ToggleRecording(commissioning_); });
}

void CommissioningMenus::ExportGrid() {
    std::string path = AskSaveName("Esporta tabella CSV",
                                   tool::SuggestedExportName(tool::SystemWallTime()), "csv");
    if (path.empty()) return;
    application_.Guard([&] { commissioning_.ExportGrid(path); });
}

void CommissioningMenus::SaveReport() {
    std::string path = AskSaveName("Rapporto di collaudo",
                                   tool::SuggestedReportName(tool::SystemWallTime()), "html");
    if (path.empty()) return;
    application_.Guard([&] {
        // Writing HTML under a .pdf name would leave a file that no PDF reader opens.
        if (tool::IsPdfName(path))
            throw winsys::Exception("cannot write " + path +
                                    ": the report is written as HTML only (.html)");
        commissioning_.WriteReport(path);
    });
}

void CommissioningMenus::OpenTrend(int row) {
    if (!tool::CanTrend(commissioning_, row)) return;
    // A trend closed by the operator is over; the next one starts afresh.
    if (!trend_ || !trend_->Visible())
        trend_ = std::make_unique<TrendWindow>(commissioning_, form_.StringGrid3, view_.Window());
    trend_->AddRow(row);
    trend_->Show();
}

void CommissioningMenus::ShowRecording(bool recording) {
    if (!sign_) return;
    if (recording) {
        TOOLINFOW tip{};
        tip.cbSize = sizeof tip;
        tip.hwnd = GetParent(sign_);
        tip.uId = reinterpret_cast<UINT_PTR>(sign_);
        std::wstring hint = WideUtf8(tool::RecordingSignHint(commissioning_));
        tip.lpszText = hint.data();
        SendMessageW(view_.Tooltips(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tip));
        PlaceSign();
    }
    ShowWindow(sign_, recording ? SW_SHOWNA : SW_HIDE);
}

void CommissioningMenus::PlaceSign() {
    RECT text{};
    SendMessageW(view_.StatusBar(), SB_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
    SetWindowPos(sign_, HWND_TOP, text.right - SignWidth - 4, text.top + 2, SignWidth,
                 std::max<int>(text.bottom - text.top - 4, 12), SWP_NOACTIVATE);
}

LRESULT CALLBACK CommissioningMenus::SignProc(::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CommissioningMenus*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || (msg != WM_PAINT && msg != WM_PRINTCLIENT && msg != WM_ERASEBKGND))
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_ERASEBKGND) return 1;
    PAINTSTRUCT paint{};
    ::HDC dc = msg == WM_PAINT ? BeginPaint(hwnd, &paint) : reinterpret_cast<::HDC>(wParam);
    RECT area;
    GetClientRect(hwnd, &area);
    ::HBRUSH back = CreateSolidBrush(ColorRef(self->form_.StatusBar1.Color()));
    FillRect(dc, &area, back);
    DeleteObject(back);
    ::HGDIOBJ font = SelectObject(dc, self->signFont_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, SignColor);
    std::wstring text = WindowText(hwnd);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, font);
    if (msg == WM_PAINT) EndPaint(hwnd, &paint);
    return 0;
}

} // namespace winui
