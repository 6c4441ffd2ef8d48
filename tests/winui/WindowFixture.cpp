#include "WindowFixture.h"

#include "NativeReadback.h"
#include "tool/DesignTimePorts.h"
#include "tool/StatusLine.h"
#include "winui/NativeText.h"

#include <commctrl.h>

#include <filesystem>

namespace winuitest {

using namespace winsys;

WindowFixture::WindowFixture() {
    for (const auto& entry : std::filesystem::directory_iterator(RVEX_SITE_DIR))
        std::filesystem::copy_file(entry.path(),
                                   std::filesystem::current_path() / entry.path().filename());
    form = std::make_unique<tool::TMainForm>(loop, tool::MakeDesignTimePorts());
    view = std::make_unique<winui::FormView>(application, *form);
    readings = std::make_unique<winui::ReadingsView>(*form, *view);
    errors = std::make_unique<winui::ErrorBox>(loop, winui::Wide(form->Caption()), view->Window());
    application.Errors().SetViewer([this](const std::string& message) { errors->Show(message); });
    portDialog = std::make_unique<winui::PortDialog>(view->Window());
    application.Guard([this] { form->FormCreate(); });
    view->Show();
    Pump();
}

WindowFixture::~WindowFixture() {
    application.Guard([this] { form->FormClose(); });
    application.Errors().SetViewer(nullptr);
    portDialog.reset();
    errors.reset();
    readings.reset();
    view.reset();
    Pump();
}

::HWND WindowFixture::Handle(const std::string& name) const {
    return view->HandleOf(name);
}

void WindowFixture::ExpectWindowShowsModel() {
    ASSERT_TRUE(view->Unplaced().empty()) << view->Unplaced().front();
    for (Control* c : form->AllControls()) {
        if (c->Kind() == ControlKind::Timer) continue;
        SCOPED_TRACE(c->Name());
        ::HWND hwnd = Handle(c->Name());
        ASSERT_NE(hwnd, nullptr);
        switch (c->Kind()) {
        case ControlKind::Form:
        case ControlKind::Button:
        case ControlKind::BitBtn:
        case ControlKind::Label:
        case ControlKind::Edit:
        case ControlKind::Memo:
        case ControlKind::ComboBox:
            EXPECT_EQ(Text(hwnd), c->Text());
            break;
        case ControlKind::Panel:
        case ControlKind::GroupBox:
            EXPECT_EQ(Text(LowestChild(hwnd)), c->Text());
            break;
        case ControlKind::TabSheet: {
            const auto& sheets = c->Parent()->Children();
            int index =
                static_cast<int>(std::find(sheets.begin(), sheets.end(), c) - sheets.begin());
            EXPECT_EQ(TabText(GetParent(hwnd), index), c->Text());
            const bool active = static_cast<TPageControl*>(c->Parent())->ActivePageIndex() == index;
            EXPECT_EQ(HasStyle(hwnd, WS_VISIBLE), active && c->Visible());
            break;
        }
        case ControlKind::StatusBar:
            EXPECT_EQ(StatusText(hwnd, 0), tool::StatusLine(c->Text()));
            EXPECT_EQ(StatusText(hwnd, 1), tool::CountersText(form->Counters));
            // The middle of the text field, right of its short text.
            EXPECT_EQ(ColorName(PrintedPixel(
                          hwnd, tool::WindowWidth - winui::FormView::StatusFieldWidth - 12, 8)),
                      ColorName(c->Color()));
            break;
        default:
            break;
        }
        if (c->Kind() != ControlKind::TabSheet && c->Kind() != ControlKind::Form) {
            EXPECT_EQ(HasStyle(hwnd, WS_VISIBLE), c->Visible());
        }
        switch (c->Kind()) {
        case ControlKind::Label:
            EXPECT_EQ(ColorName(PaintedBackground(hwnd, WM_CTLCOLORSTATIC)), ColorName(c->Color()));
            break;
        case ControlKind::Edit: {
            UINT message = static_cast<TEdit*>(c)->ReadOnly ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
            EXPECT_EQ(ColorName(PaintedBackground(hwnd, message)), ColorName(c->Color()));
            break;
        }
        case ControlKind::Memo:
            EXPECT_EQ(ColorName(PaintedBackground(hwnd, WM_CTLCOLOREDIT)), ColorName(c->Color()));
            break;
        case ControlKind::Shape: {
            auto* shape = static_cast<TShape*>(c);
            EXPECT_EQ(ColorName(PrintedPixel(hwnd, 10, 10)), ColorName(shape->BrushColor()));
            EXPECT_EQ(ColorName(PrintedPixel(hwnd, 0, 0)), ColorName(shape->PenColor()));
            break;
        }
        case ControlKind::Panel:
        case ControlKind::GroupBox:
        case ControlKind::TabSheet:
            EXPECT_EQ(ColorName(PrintedPixel(hwnd, 8, -8)), ColorName(c->Color()));
            break;
        case ControlKind::ComboBox: {
            auto* combo = static_cast<TComboBox*>(c);
            EXPECT_EQ(ComboItems(hwnd), combo->Items());
            EXPECT_EQ(ComboIndex(hwnd), combo->ItemIndex());
            break;
        }
        case ControlKind::BitBtn: {
            const Bitmap& glyph = static_cast<TBitBtn*>(c)->Glyph();
            auto image =
                reinterpret_cast<::HBITMAP>(SendMessageW(hwnd, BM_GETIMAGE, IMAGE_BITMAP, 0));
            BITMAP info{};
            if (image) GetObjectW(image, sizeof info, &info);
            EXPECT_EQ(info.bmWidth, glyph.width);
            EXPECT_EQ(info.bmHeight, glyph.height);
            break;
        }
        case ControlKind::PageControl: {
            auto* pages = static_cast<TPageControl*>(c);
            EXPECT_EQ(TabCount(hwnd), static_cast<int>(pages->Children().size()));
            EXPECT_EQ(ActiveTab(hwnd), pages->ActivePageIndex());
            break;
        }
        default:
            break;
        }
        if (!c->Hint().empty()) {
            EXPECT_EQ(TooltipText(view->Tooltips(), hwnd), c->Hint());
        }
    }
}

void WindowFixture::ExpectGridShowsModel() {
    const TStringGrid& grid = form->StringGrid3;
    ::HWND list = Handle("StringGrid3");
    ASSERT_EQ(ListColumnCount(list), grid.ColCount());
    ASSERT_EQ(ListItemCount(list), grid.RowCount() - grid.FixedRows);
    for (int col = 0; col < grid.ColCount(); ++col) {
        EXPECT_EQ(ListColumnTitle(list, col), grid.Cell(col, 0)) << "column " << col;
        EXPECT_EQ(ListColumnWidth(list, col), grid.ColWidths[static_cast<size_t>(col)])
            << "column " << col;
    }
    for (int row = grid.FixedRows; row < grid.RowCount(); ++row)
        for (int col = 0; col < grid.ColCount(); ++col)
            ASSERT_EQ(ListCell(list, row - grid.FixedRows, col), grid.Cell(col, row))
                << "cell " << col << "," << row;
    EXPECT_EQ(ListSelected(list), grid.Row() - grid.FixedRows);
}

} // namespace winuitest
