// The commissioning record in the native window, with fake ports: the grid's and the
// monitor's context menus read back from the native menus, recording with its check
// mark, sign and two files, export and report through the save dialog's answer, and
// the trend window with two series drawn.
#include "FormFixture.h"
#include "ModbusReplies.h"
#include "NativeReadback.h"
#include "tool/Commissioning.h"
#include "winui/CommissioningMenus.h"
#include "winui/FormView.h"
#include "winui/NativeText.h"
#include "winui/ReadingsView.h"
#include "winui/TrendWindow.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace winuitest {
namespace {

using Command = tool::MenuCommand;
using winui::CommissioningMenus;

const std::vector<std::string> GridEntries{"Registra sessione",       "-", "Esporta tabella CSV...",
                                           "Rapporto di collaudo...", "-", "Trend"};
const std::vector<std::string> MonitorEntries{"Copia", "Seleziona tutto", "-", "Registra sessione",
                                              "Rapporto di collaudo..."};

// The files in the current folder whose names start with prefix and end with suffix.
int FilesNamed(const std::string& prefix, const std::string& suffix) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) && name.ends_with(suffix)) ++count;
    }
    return count;
}

// The pixels of a picture that have a colour.
int PixelsOf(const Picture& picture, COLORREF color) {
    const uint32_t wanted = (static_cast<uint32_t>(GetRValue(color)) << 16) |
                            (static_cast<uint32_t>(GetGValue(color)) << 8) | GetBValue(color);
    int count = 0;
    for (uint32_t pixel : picture.pixels)
        count += pixel == wanted;
    return count;
}

class CommissioningWindow : public fakes::FormFixture {
  protected:
    CommissioningWindow() {
        fakes::WriteGlyphs();
        fakes::WriteFile("Table1.c",
                         ">454 d 4<1.8.0><energia>\n>462 i 1<C.1.0><contatore>\n>470 i 1<><>\n");
        form->Button40.Click();
        form->Button45.Click(); // RTU
        serial->SetOpen(true);
        view = std::make_unique<winui::FormView>(application, *form);
        readings = std::make_unique<winui::ReadingsView>(*form, *view);
        commissioning = std::make_unique<tool::TCommissioning>(*form);
        menus = std::make_unique<CommissioningMenus>(application, *form, *view, *commissioning);
        menus->AskSaveName = [this](const std::string&, const std::string&, const std::string&) {
            return answer;
        };
        // The menu a right click opens, read back, and the entry the operator picks.
        systemTrack = menus->TrackMenu;
        menus->TrackMenu = [this](::HMENU menu, POINT) {
            opened = MenuTexts(menu);
            openedChecked = MenuChecked(menu, CommissioningMenus::CommandId(Command::Record));
            return pick;
        };
        view->Show();
        Pump();
    }
    ~CommissioningWindow() override {
        menus.reset();
        commissioning.reset();
        readings.reset();
        view.reset();
        Pump();
    }
    // Row's request, then the reply.
    void Read(int row, const std::string& reply) {
        form->StringGrid3.SetRow(row);
        form->StringGrid3.DblClick();
        Advance(100);
        serial->TakeWritten();
        serial->Deliver(reply);
        Pump();
        Advance(300);
    }
    // A right click on the grid's item (a row below the titles), as the list view
    // passes it on.
    void RightClickGridItem(int item) {
        ::HWND list = view->HandleOf("StringGrid3");
        RECT cell{};
        cell.left = LVIR_BOUNDS;
        SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(item),
                     reinterpret_cast<LPARAM>(&cell));
        POINT at{cell.left + 20, (cell.top + cell.bottom) / 2};
        ClientToScreen(list, &at);
        SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(at.x, at.y));
    }
    void Choose(Command command, int row) {
        menus->Choose(CommissioningMenus::CommandId(command), row);
        Pump();
    }

    std::string answer; // the file name the save dialog gives
    UINT pick = 0;      // the entry picked from the next menu opened
    std::vector<std::string> opened;
    std::function<UINT(::HMENU, POINT)> systemTrack; // the system's menu
    bool openedChecked = false;
    std::unique_ptr<winui::FormView> view;
    std::unique_ptr<winui::ReadingsView> readings;
    std::unique_ptr<tool::TCommissioning> commissioning;
    std::unique_ptr<CommissioningMenus> menus;
};

TEST_F(CommissioningWindow, GridAndMonitorMenusRecordWithACheckMarkASignAndTwoFiles) {
    ::HMENU menu = menus->GridMenu(1);
    EXPECT_EQ(MenuTexts(menu), GridEntries);
    EXPECT_FALSE(MenuChecked(menu, CommissioningMenus::CommandId(Command::Record)));
    DestroyMenu(menu);
    ASSERT_TRUE(menus->RecordingSign());
    EXPECT_FALSE(IsWindowVisible(menus->RecordingSign()));

    // A right click on the grid opens its menu; "Registra sessione" starts recording.
    pick = CommissioningMenus::CommandId(Command::Record);
    RightClickGridItem(0);
    EXPECT_EQ(opened, GridEntries);
    EXPECT_FALSE(openedChecked);
    ASSERT_TRUE(commissioning->Recording());
    EXPECT_TRUE(IsWindowVisible(menus->RecordingSign()));
    EXPECT_EQ(winui::WindowText(menus->RecordingSign()), L"\u25CF REC");
    // In the status bar, red, left of the counters field and not over it.
    ::HWND bar = view->HandleOf("StatusBar1");
    EXPECT_EQ(GetParent(menus->RecordingSign()), bar);
    RECT sign{}, counters{};
    GetWindowRect(menus->RecordingSign(), &sign);
    MapWindowPoints(nullptr, bar, reinterpret_cast<POINT*>(&sign), 2);
    SendMessageW(bar, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&counters));
    EXPECT_LE(sign.right, counters.left);
    EXPECT_GE(sign.left, 0);
    Picture status = Capture(bar);
    int red = 0;
    for (uint32_t pixel : status.pixels)
        red += (pixel >> 16) > 0xA0 && ((pixel >> 8) & 0xFF) < 0x40 && (pixel & 0xFF) < 0x40;
    EXPECT_GT(red, 10);
    std::filesystem::create_directories(RVEX_SCREENSHOT_DIR);
    WriteBmp(status, RVEX_SCREENSHOT_DIR "/status-recording.bmp");
    // The two logs in the working folder, the readings log with its header.
    EXPECT_EQ(FilesNamed("letture-", ".csv"), 1);
    EXPECT_EQ(FilesNamed("traffico-", ".log"), 1);
    EXPECT_TRUE(std::filesystem::exists(commissioning->ReadingsLogPath()));
    Read(1, fakes::RtuReply(0x0A, {0x2D, 0x18, 0x54, 0x44, 0x21, 0xFB, 0x40, 0x09}));
    const std::string log = fakes::ReadFile(commissioning->ReadingsLogPath());
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log; // the header, the reading
    EXPECT_FALSE(fakes::ReadFile(commissioning->TrafficLogPath()).empty());

    menu = menus->GridMenu(1);
    EXPECT_TRUE(MenuChecked(menu, CommissioningMenus::CommandId(Command::Record)));
    DestroyMenu(menu);

    // The monitor's menu from the keyboard: its editing entries, then ours; stops it.
    ::HWND memo = view->HandleOf("Memo2");
    SendMessageW(memo, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(memo), -1);
    EXPECT_EQ(opened, MonitorEntries);
    EXPECT_TRUE(openedChecked);
    EXPECT_FALSE(commissioning->Recording());
    EXPECT_FALSE(IsWindowVisible(menus->RecordingSign()));
    menu = menus->MonitorMenu();
    EXPECT_FALSE(MenuChecked(menu, CommissioningMenus::CommandId(Command::Record)));
    DestroyMenu(menu);

    // Trend needs a row that holds a register.
    struct TrendCase {
        int row;
        bool enabled;
    };
    for (TrendCase c :
         {TrendCase{2, true}, TrendCase{3, true}, TrendCase{5, false}, TrendCase{0, false}}) {
        menu = menus->GridMenu(c.row);
        EXPECT_EQ(MenuEnabled(menu, CommissioningMenus::CommandId(Command::Trend)), c.enabled)
            << "row " << c.row;
        DestroyMenu(menu);
    }
    EXPECT_TRUE(Errors().empty());
}

// Set by the timer that runs inside the system's menu loop: a popup menu window was
// there; and the window that closes it.
bool PopupShown = false;
::HWND MenuOwner = nullptr;

void CALLBACK LookAtTheMenu(::HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    PopupShown = FindWindowW(L"#32768", nullptr) != nullptr; // the system's menu class
    PostMessageW(MenuOwner, WM_CANCELMODE, 0, 0);
}

TEST_F(CommissioningWindow, TheSystemsPopupMenuOpensAndClosesWithoutAChoice) {
    // The menu as the system tracks it, looked at and closed from inside its loop.
    auto track = systemTrack;
    int opens = 0;
    UINT chosen = 99;
    PopupShown = false;
    MenuOwner = view->Window();
    menus->TrackMenu = [&](::HMENU menu, POINT at) {
        ++opens;
        opened = MenuTexts(menu);
        const UINT_PTR timer = SetTimer(nullptr, 0, 200, LookAtTheMenu);
        chosen = track(menu, at);
        KillTimer(nullptr, timer); // when the menu did not wait for it
        return chosen;
    };
    RightClickGridItem(1);
    EXPECT_EQ(opens, 1);
    EXPECT_TRUE(PopupShown);
    EXPECT_EQ(chosen, 0u);
    EXPECT_EQ(opened, GridEntries);
    EXPECT_FALSE(commissioning->Recording());
    EXPECT_TRUE(Errors().empty());
}

TEST_F(CommissioningWindow, ExportAndReportWriteTheChosenFilesAndReportWhatCannotBeWritten) {
    Read(1, fakes::RtuReply(0x0A, {0x2D, 0x18, 0x54, 0x44, 0x21, 0xFB, 0x40, 0x09}));
    answer = "tabella.csv";
    Choose(Command::ExportGrid, 1);
    EXPECT_TRUE(fakes::ReadFile("tabella.csv").starts_with("Rif,Address,"));
    answer = "collaudo.html";
    pick = CommissioningMenus::CommandId(Command::Report);
    ::HWND memo = view->HandleOf("Memo2");
    SendMessageW(memo, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(memo), -1);
    const std::string html = fakes::ReadFile("collaudo.html");
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>"));
    EXPECT_NE(html.find("energia"), std::string::npos);
    EXPECT_TRUE(Errors().empty());

    // No PDF writer here: a .pdf name is refused, and no file is left under it.
    answer = "collaudo.pdf";
    Choose(Command::Report, 1);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0], "cannot write collaudo.pdf: the report is written as HTML only (.html)");
    EXPECT_FALSE(std::filesystem::exists("collaudo.pdf"));

    answer = "no-such-folder\\tabella.csv";
    Choose(Command::ExportGrid, 1);
    ASSERT_EQ(Errors().size(), 2u);
    EXPECT_TRUE(Errors()[1].starts_with("cannot write no-such-folder\\tabella.csv")) << Errors()[1];
    answer = ""; // cancelled: nothing happens
    Choose(Command::ExportGrid, 1);
    Choose(Command::Report, 1);
    EXPECT_EQ(Errors().size(), 2u);
}

TEST_F(CommissioningWindow, TheTrendWindowPlotsEachRowsGoodReadingsAsItsOwnSeries) {
    pick = CommissioningMenus::CommandId(Command::Trend);
    RightClickGridItem(0); // row 1
    Choose(Command::Trend, 2);
    Choose(Command::Trend, 2); // a row already plotted stays one series
    winui::TrendWindow* trend = menus->Trend();
    ASSERT_TRUE(trend);
    ASSERT_TRUE(IsWindow(trend->Window()));
    EXPECT_TRUE(trend->Visible());
    EXPECT_EQ(Text(trend->Window()), "Trend");
    ASSERT_EQ(trend->Plot().Series().size(), 2u);
    EXPECT_EQ(trend->Plot().Series()[0].name, "Rif 1  454  1.8.0  energia");
    EXPECT_EQ(trend->Plot().Series()[1].row, 2);

    Read(1, fakes::RtuReply(0x0A, {0x2D, 0x18, 0x54, 0x44, 0x21, 0xFB, 0x40, 0x09}));
    Read(2, fakes::RtuReply(0x0A, {0x00, 0x2A}));
    Read(2, fakes::RtuException(0x0A, 0x02)); // not a value: no point
    Read(2, fakes::RtuReply(0x0A, {0x00, 0x2B}));
    Read(3, fakes::RtuReply(0x0A, {0x00, 0x01})); // not plotted
    EXPECT_EQ(trend->Plot().PointCount(1), 1);
    EXPECT_EQ(trend->Plot().PointCount(2), 2);
    EXPECT_EQ(trend->Plot().PointCount(3), 0);
    EXPECT_DOUBLE_EQ(trend->Plot().Series()[1].points[1].value, 43);

    // Both series are drawn in their colours (lines, dots and legend), on a chart
    // that is more than a blank.
    Picture picture = Capture(trend->Window());
    EXPECT_GT(picture.Colors(0, 0, picture.width, picture.height), 8u);
    EXPECT_GT(PixelsOf(picture, winui::TrendWindow::SeriesColor(0)), 20);
    EXPECT_GT(PixelsOf(picture, winui::TrendWindow::SeriesColor(1)), 20);
    std::filesystem::create_directories(RVEX_SCREENSHOT_DIR);
    WriteBmp(picture, RVEX_SCREENSHOT_DIR "/trend.bmp");

    // Saved as PNG; a folder that is not there gives false.
    ASSERT_TRUE(trend->SavePng("trend.png"));
    EXPECT_TRUE(fakes::ReadFile("trend.png").starts_with("\x89PNG\r\n"));
    EXPECT_FALSE(trend->SavePng("no-such-folder\\trend.png"));

    // Closed, it plots nothing more; the next Trend starts a new one.
    SendMessageW(trend->Window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(trend->Visible());
    Read(1, fakes::RtuReply(0x0A, {0x2D, 0x18, 0x54, 0x44, 0x21, 0xFB, 0x40, 0x09}));
    EXPECT_EQ(trend->Plot().PointCount(1), 1);
    Choose(Command::Trend, 2);
    ASSERT_TRUE(menus->Trend());
    EXPECT_EQ(menus->Trend()->Plot().Series().size(), 1u);
    EXPECT_EQ(menus->Trend()->Plot().PointCount(2), 0);
}

} // namespace
} // namespace winuitest
