// FormView, the readings grid: a report-style list view over the model's cells. Its
// columns are the grid's columns (the fixed one first) with the model's widths, the
// header shows the fixed row, and its items are the rows below the fixed row; the
// list asks for each text when it draws it, so a changed cell only redraws its row.
#include "winui/FormView.h"

#include "winui/NativeText.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

namespace winui {

using namespace winsys;

void FormView::MakeGrid(Binding& b) {
    auto& grid = static_cast<TStringGrid&>(*b.control);
    SendMessageW(b.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(gridFont_), FALSE);
    SendMessageW(b.hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    for (int col = 0; col < grid.ColCount(); ++col) {
        std::wstring title = Wide(grid.Cell(col, 0));
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = col < static_cast<int>(grid.ColWidths.size()) ? grid.ColWidths[col] : 64;
        column.pszText = title.data();
        column.iSubItem = col;
        SendMessageW(b.hwnd, LVM_INSERTCOLUMNW, static_cast<WPARAM>(col),
                     reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(b.hwnd, LVM_SETITEMCOUNT,
                 static_cast<WPARAM>(std::max(0, grid.RowCount() - grid.FixedRows)),
                 LVSICF_NOINVALIDATEALL);
}

void FormView::SyncCell(Binding& b) {
    auto& grid = static_cast<TStringGrid&>(*b.control);
    const int col = grid.ChangedCol(), row = grid.ChangedRow();
    if (row < grid.FixedRows) {
        std::wstring title = Wide(grid.Cell(col, row));
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = title.data();
        SendMessageW(b.hwnd, LVM_SETCOLUMNW, static_cast<WPARAM>(col),
                     reinterpret_cast<LPARAM>(&column));
        return;
    }
    const int item = row - grid.FixedRows;
    SendMessageW(b.hwnd, LVM_REDRAWITEMS, static_cast<WPARAM>(item), item);
}

void FormView::SyncRow(Binding& b) {
    auto& grid = static_cast<TStringGrid&>(*b.control);
    const int item = grid.Row() - grid.FixedRows;
    const int items = static_cast<int>(SendMessageW(b.hwnd, LVM_GETITEMCOUNT, 0, 0));
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = 0;
    SendMessageW(b.hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(&state));
    if (item < 0 || item >= items) return;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(b.hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(item),
                 reinterpret_cast<LPARAM>(&state));
    SendMessageW(b.hwnd, LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), FALSE);
}

int FormView::GridRowAt(Binding& b, POINT screen, bool selected) {
    auto& grid = static_cast<TStringGrid&>(*b.control);
    if (selected) return grid.Row() >= grid.FixedRows ? grid.Row() : 0;
    LVHITTESTINFO hit{};
    hit.pt = screen;
    ScreenToClient(b.hwnd, &hit.pt);
    const int item = static_cast<int>(
        SendMessageW(b.hwnd, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    return item >= 0 && (hit.flags & LVHT_ONITEM) ? item + grid.FixedRows : 0;
}

LRESULT FormView::GridNotify(Binding& b, NMHDR& header) {
    auto& grid = static_cast<TStringGrid&>(*b.control);
    switch (header.code) {
    case LVN_GETDISPINFOW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
            std::wstring text = Wide(grid.Cell(item.iSubItem, item.iItem + grid.FixedRows));
            std::wcsncpy(item.pszText, text.c_str(), static_cast<size_t>(item.cchTextMax) - 1);
            item.pszText[item.cchTextMax - 1] = L'\0';
        }
        return 0;
    }
    case NM_CUSTOMDRAW: {
        auto& draw = reinterpret_cast<NMLVCUSTOMDRAW&>(header);
        switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            const int row = static_cast<int>(draw.nmcd.dwItemSpec) + grid.FixedRows;
            const bool bad = BadCell && BadCell(draw.iSubItem, row);
            draw.clrText = bad ? ColorRef(clRed) : GetSysColor(COLOR_WINDOWTEXT);
            return CDRF_NEWFONT;
        }
        default:
            return CDRF_DODEFAULT;
        }
    }
    case LVN_ITEMCHANGED: {
        auto& change = reinterpret_cast<NMLISTVIEW&>(header);
        if (syncing_ || change.iItem < 0) return 0;
        if ((change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED)) {
            const int row = change.iItem + grid.FixedRows;
            if (row != grid.Row()) Act([&] { grid.SetRow(row); });
        }
        return 0;
    }
    case NM_CLICK:
    case NM_DBLCLK: {
        auto& activate = reinterpret_cast<NMITEMACTIVATE&>(header);
        if (syncing_ || activate.iItem < 0) return 0;
        const int row = activate.iItem + grid.FixedRows;
        const bool twice = header.code == NM_DBLCLK;
        Act([&] {
            grid.SetRow(row); // the clicked row first
            if (twice)
                grid.DblClick();
            else
                grid.Click();
        });
        return 0;
    }
    default:
        return 0;
    }
}

} // namespace winui
