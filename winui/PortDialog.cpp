#include "winui/PortDialog.h"

#include "winui/NativeText.h"

#include <commctrl.h>

#include <vector>

namespace winui {

namespace {

struct Session {
    PortDialog* dialog;
    port::TComSelectForm* form;
    const std::function<void(::HWND)>* onShown;
    int chosen = -1;
    ::HFONT font = nullptr;
    ::HWND tooltips = nullptr;
};

::HWND Child(::HWND dialog, const wchar_t* cls, const std::string& text, DWORD style, int id,
             int left, int top, int width, int height, ::HFONT font) {
    ::HWND hwnd = CreateWindowExW(
        0, cls, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, left, top, width, height, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return hwnd;
}

void Build(::HWND dialog, Session& s) {
    port::TComSelectForm& form = *s.form;
    SetWindowTextW(dialog, Wide(form.Caption()).c_str());
    const int width = form.GetBounds().width > 0 ? form.GetBounds().width : 300;
    const int height = form.GetBounds().height > 0 ? form.GetBounds().height : 170;
    RECT outer{0, 0, width, height};
    AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    s.font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                         L"MS Sans Serif");
    const int margin = 12, inner = width - 2 * margin;
    Child(dialog, L"STATIC", form.Label1.Caption(), SS_LEFT | SS_NOPREFIX, -1, margin, margin,
          inner, 18, s.font);
    Child(dialog, L"STATIC", form.Label2.Caption(), SS_LEFT | SS_NOPREFIX, -1, margin, margin + 22,
          inner, 18, s.font);
    ::HWND ports = Child(dialog, L"COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                         PortDialog::PortListId, margin, margin + 50, inner, 200, s.font);
    for (const std::string& item : form.PortsComboBox.Items())
        SendMessageW(ports, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    SendMessageW(ports, CB_SETCURSEL, static_cast<WPARAM>(form.PortsComboBox.ItemIndex()), 0);
    const int buttonTop = height - margin - 26;
    ::HWND ok = Child(dialog, L"BUTTON", form.OkBtn.Caption(), BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK,
                      width - margin - 2 * 80 - 8, buttonTop, 80, 26, s.font);
    Child(dialog, L"BUTTON", form.CancelBtn.Caption(), BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL,
          width - margin - 80, buttonTop, 80, 26, s.font);
    EnableWindow(ok, !form.PortsComboBox.Items().empty());

    const std::string& hint = form.PortsComboBox.Hint();
    if (!hint.empty()) {
        s.tooltips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                     WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
        SendMessageW(s.tooltips, TTM_SETMAXTIPWIDTH, 0, 400);
        std::wstring text = Wide(hint);
        TOOLINFOW info{};
        info.cbSize = sizeof info;
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = dialog;
        info.uId = reinterpret_cast<UINT_PTR>(ports);
        info.lpszText = text.data();
        SendMessageW(s.tooltips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
}

} // namespace

PortDialog::PortDialog(::HWND owner) : owner_(owner) {
    previous_ = port::SetComSelectHook([this](port::TComSelectForm& form) { return Show(form); });
}

PortDialog::~PortDialog() {
    port::SetComSelectHook(std::move(previous_));
}

INT_PTR CALLBACK PortDialog::Procedure(::HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto& s = *reinterpret_cast<Session*>(lParam);
        Build(dialog, s);
        if (*s.onShown) (*s.onShown)(dialog);
        return TRUE;
    }
    auto* s = reinterpret_cast<Session*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!s) return FALSE;
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            s->chosen =
                static_cast<int>(SendDlgItemMessageW(dialog, PortListId, CB_GETCURSEL, 0, 0));
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        if (s->tooltips) DestroyWindow(s->tooltips);
        s->tooltips = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

port::TModalResult PortDialog::Show(port::TComSelectForm& form) {
    // A template with no controls: they are made when the dialog starts, in pixels.
    std::vector<WORD> memory(32, 0);
    auto* header = reinterpret_cast<DLGTEMPLATE*>(memory.data());
    header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER;
    header->cx = 200;
    header->cy = 100;
    Session session{this, &form, &OnShown};
    INT_PTR result =
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), header, owner_, &PortDialog::Procedure,
                                reinterpret_cast<LPARAM>(&session));
    if (session.font) DeleteObject(session.font);
    if (result != IDOK || session.chosen < 0) {
        form.CancelBtn.Click();
        return port::mrCancel;
    }
    form.PortsComboBox.Select(session.chosen);
    form.OkBtn.Click();
    return port::mrOk;
}

} // namespace winui
