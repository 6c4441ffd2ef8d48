// FormView, the model's side: each control's changes brought to its native control.
#include "winui/FormView.h"

#include "tool/StatusLine.h"
#include "winui/Glyph.h"
#include "winui/NativeText.h"

#include <commctrl.h>

#include <algorithm>

namespace {
// Outside the namespace, where HWND is still the system's type the macros cast to.
const HWND TopOfSiblings = HWND_TOP;
const HWND BottomOfSiblings = HWND_BOTTOM;
} // namespace

namespace winui {

using namespace winsys;

namespace {

// Sets a single-line text, keeping the caret where it was as far as the text allows.
void SetLineText(::HWND edit, const std::wstring& text) {
    DWORD start = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    SetWindowTextW(edit, text.c_str());
    DWORD at = std::min<DWORD>(start, static_cast<DWORD>(text.size()));
    SendMessageW(edit, EM_SETSEL, at, at);
}

} // namespace

void FormView::Sync(Binding& b, Change change) {
    if (closing_) return;
    ++syncing_;
    switch (change) {
    case Change::Text:
        if (typing_ != &b) SyncText(b);
        break;
    case Change::Items:
    case Change::ItemIndex:
        if (typing_ != &b) SyncCombo(b);
        break;
    case Change::Color:
    case Change::Brush:
    case Change::Pen:
        SyncColor(b);
        break;
    case Change::Visible:
        SyncVisible(b);
        break;
    case Change::Enabled:
        if (!b.tabs) EnableWindow(b.hwnd, b.control->Enabled());
        break;
    case Change::Hint:
        SyncHint(b);
        break;
    case Change::Cell:
        SyncCell(b);
        break;
    case Change::Row:
        SyncRow(b);
        break;
    case Change::Caret:
        if (typing_ != &b) SyncMemoCaret(b, true);
        break;
    case Change::Glyph:
        SyncGlyph(b);
        break;
    case Change::Front:
        SetWindowPos(b.hwnd, TopOfSiblings, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        break;
    case Change::ActivePage:
        SyncPages(b);
        break;
    }
    --syncing_;
}

void FormView::SyncAll(Binding& b) {
    SyncText(b);
    SyncColor(b);
    SyncVisible(b);
    Sync(b, Change::Enabled);
    switch (b.control->Kind()) {
    case ControlKind::ComboBox:
        SyncCombo(b);
        break;
    case ControlKind::Memo:
        SyncMemoCaret(b, false);
        break;
    case ControlKind::BitBtn:
        SyncGlyph(b);
        break;
    case ControlKind::StringGrid:
        SyncRow(b);
        break;
    default:
        break;
    }
    // A page shows once its page control knows it; the page control itself comes first.
    if (b.control->Kind() == ControlKind::TabSheet)
        if (auto it = byControl_.find(b.control->Parent()); it != byControl_.end())
            SyncPages(*it->second);
}

void FormView::SyncText(Binding& b) {
    Control& c = *b.control;
    std::wstring text = Wide(c.Text());
    switch (c.Kind()) {
    case ControlKind::Form:
    case ControlKind::Button:
    case ControlKind::BitBtn:
    case ControlKind::Label:
        if (WindowText(b.hwnd) != text) SetWindowTextW(b.hwnd, text.c_str());
        break;
    case ControlKind::Panel:
    case ControlKind::GroupBox:
        if (b.frame) SetWindowTextW(b.frame, text.c_str());
        break;
    case ControlKind::TabSheet: {
        const auto& sheets = c.Parent()->Children();
        int index = static_cast<int>(std::find(sheets.begin(), sheets.end(), &c) - sheets.begin());
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        SendMessageW(b.tabs, TCM_SETITEMW, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&item));
        break;
    }
    case ControlKind::StatusBar:
        SendMessageW(b.hwnd, SB_SETTEXTW, 0,
                     reinterpret_cast<LPARAM>(Wide(tool::StatusLine(c.Text())).c_str()));
        break;
    case ControlKind::Edit:
        if (WindowText(b.hwnd) != text) SetLineText(b.hwnd, text);
        b.shown = text;
        break;
    case ControlKind::ComboBox:
        SyncCombo(b);
        break;
    case ControlKind::Memo:
        SyncMemoText(b);
        break;
    default:
        break;
    }
}

void FormView::SyncColor(Binding& b) {
    switch (b.control->Kind()) {
    case ControlKind::StatusBar:
        SendMessageW(b.hwnd, SB_SETBKCOLOR, 0, static_cast<LPARAM>(ColorRef(b.control->Color())));
        break;
    case ControlKind::StringGrid:
        SendMessageW(b.hwnd, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(ColorRef(b.control->Color())));
        SendMessageW(b.hwnd, LVM_SETTEXTBKCOLOR, 0,
                     static_cast<LPARAM>(ColorRef(b.control->Color())));
        InvalidateRect(b.hwnd, nullptr, TRUE);
        break;
    case ControlKind::Button:
    case ControlKind::BitBtn:
        break; // buttons keep the system's face
    default:
        // The rest paint with the colour their parent hands out (WM_CTLCOLOR...), or
        // themselves (frames, pages, shapes); a frame's colour lies beneath its labels.
        InvalidateRect(b.hwnd, nullptr, TRUE);
        if (b.frame) InvalidateRect(b.frame, nullptr, TRUE);
        break;
    }
}

void FormView::SyncVisible(Binding& b) {
    Control& c = *b.control;
    switch (c.Kind()) {
    case ControlKind::Form:
        break; // the window is shown by its owner
    case ControlKind::TabSheet: {
        auto it = byControl_.find(c.Parent());
        if (it != byControl_.end()) SyncPages(*it->second);
        break;
    }
    default:
        ShowWindow(b.hwnd, c.Visible() ? SW_SHOWNA : SW_HIDE);
        break;
    }
}

void FormView::SyncHint(Binding& b) {
    RemoveTooltip(b.hwnd);
    RemoveTooltip(b.edit);
    AddTooltip(b.hwnd, b.control->Hint());
    AddTooltip(b.edit, b.control->Hint());
}

// The tab control shows the active page; a page is shown while it is the active one
// and visible.
void FormView::SyncPages(Binding& pages) {
    auto& control = static_cast<TPageControl&>(*pages.control);
    const int active = control.ActivePageIndex();
    if (SendMessageW(pages.hwnd, TCM_GETCURSEL, 0, 0) != active)
        SendMessageW(pages.hwnd, TCM_SETCURSEL, static_cast<WPARAM>(active), 0);
    int index = 0;
    for (Control* sheet : control.Children()) {
        auto it = byControl_.find(sheet);
        if (it != byControl_.end())
            ShowWindow(it->second->hwnd, index == active && sheet->Visible() ? SW_SHOWNA : SW_HIDE);
        ++index;
    }
}

void FormView::SyncCombo(Binding& b) {
    auto& combo = static_cast<TComboBox&>(*b.control);
    if (b.items != combo.Items()) {
        SendMessageW(b.hwnd, CB_RESETCONTENT, 0, 0);
        for (const std::string& item : combo.Items())
            SendMessageW(b.hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
        b.items = combo.Items();
    }
    if (static_cast<int>(SendMessageW(b.hwnd, CB_GETCURSEL, 0, 0)) != combo.ItemIndex())
        SendMessageW(b.hwnd, CB_SETCURSEL, static_cast<WPARAM>(combo.ItemIndex()), 0);
    std::wstring text = Wide(combo.Text());
    if (b.edit && WindowText(b.edit) != text) SetLineText(b.edit, text);
}

void FormView::SyncMemoText(Binding& b) {
    std::wstring now = Wide(b.control->Text());
    if (now == b.shown) return;
    if (now.size() > b.shown.size() && now.compare(0, b.shown.size(), b.shown) == 0) {
        // An append: only the new text goes in, and the view does not jump.
        const auto end = static_cast<WPARAM>(b.shown.size());
        SendMessageW(b.hwnd, EM_SETSEL, end, static_cast<LPARAM>(end));
        SendMessageW(b.hwnd, EM_REPLACESEL, FALSE,
                     reinterpret_cast<LPARAM>(now.c_str() + b.shown.size()));
    } else {
        SetWindowTextW(b.hwnd, now.c_str());
    }
    b.shown = now;
    SyncMemoCaret(b, false);
}

// scroll: bring the caret into view.
void FormView::SyncMemoCaret(Binding& b, bool scroll) {
    auto pos =
        static_cast<WPARAM>(std::min(static_cast<TMemo&>(*b.control).SelStart(), b.shown.size()));
    SendMessageW(b.hwnd, EM_SETSEL, pos, static_cast<LPARAM>(pos));
    if (scroll) SendMessageW(b.hwnd, EM_SCROLLCARET, 0, 0);
}

void FormView::SyncGlyph(Binding& b) {
    const Bitmap& glyph = static_cast<TBitBtn&>(*b.control).Glyph();
    ::HBITMAP bitmap = GlyphBitmap(glyph, GetSysColor(COLOR_BTNFACE));
    SendMessageW(b.hwnd, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
    if (b.glyph) DeleteObject(b.glyph);
    b.glyph = bitmap;
}

::HBRUSH FormView::Brush(TColor color) {
    auto it = brushes_.find(color);
    if (it != brushes_.end()) return it->second;
    ::HBRUSH brush = CreateSolidBrush(ColorRef(color));
    brushes_[color] = brush;
    return brush;
}

::HBRUSH FormView::ControlColors(::HWND control, ::HDC dc) {
    Binding* b = Find(control);
    if (!b) b = Find(GetParent(control)); // a combo box's edit field, a decoration
    if (!b) return nullptr;
    Control& c = *b->control;
    // A panel's group box and the decorations take their frame's colour.
    SetBkColor(dc, ColorRef(c.Color()));
    if ((control == b->hwnd || control == b->edit) && BadText && BadText(c))
        SetTextColor(dc, ColorRef(clRed));
    return Brush(c.Color());
}

} // namespace winui
