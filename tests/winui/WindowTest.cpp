// The native window against the control model: what start-up shows, the model's
// changes and the operator's actions both ways, a picture of the window, the error box
// and the port dialog.
#include "NativeReadback.h"
#include "WindowFixture.h"
#include "tool/MainFormLayout.h"
#include "winui/NativeText.h"

#include <commctrl.h>

#include <filesystem>

namespace winuitest {
namespace {

using namespace winsys;

using WindowTest = WindowFixture;

TEST_F(WindowTest, StartUpShowsTheModelInEveryNativeControl) {
    RECT client;
    GetClientRect(view->Window(), &client);
    EXPECT_EQ(client.right, tool::WindowWidth);
    EXPECT_EQ(client.bottom, tool::WindowHeight);
    EXPECT_EQ(Text(view->Window()), "R-VEX Varentis Rv1.9 B [116]");
    EXPECT_TRUE(HasStyle(Handle("BitBtn1"), BS_DEFPUSHBUTTON)); // the default button
    // Start-up left its marks: RTU framing, the meter group shown, the monitor cleared.
    EXPECT_EQ(Text(Handle("Label47")), "MB RTU");
    EXPECT_TRUE(HasStyle(Handle("Button21"), WS_VISIBLE));
    EXPECT_EQ(Text(Handle("Memo2")), "");
    ExpectWindowShowsModel();
    ExpectGridShowsModel();
}

TEST_F(WindowTest, ChangesOfTheModelReachTheWindow) {
    form->Label31.SetCaption("pin 1 asserted");
    form->Label31.SetColor(clLime);
    form->Edit4.SetText("127.0.0.1");
    form->Edit2.Hide();
    form->Shape8.SetBrushColor(clSkyBlue);
    form->Panel2.SetColor(clYellow);
    form->Button40.SetHint("another hint");
    form->StatusBar1.SetText("    first line\r\nsecond line\r\n");
    form->StatusBar1.SetColor(clLime);
    form->Memo2.AppendText("0A 03 02 00 07\r\n");
    form->Memo2.AppendText("text reply\r\n");
    form->Memo2.CaretToEnd();
    form->ComboBox2.SetItems({"454", "600", "836"});
    form->ComboBox2.SetItemIndex(1);
    form->StringGrid3.SetCell(2, 3, "12345.678000");
    form->StringGrid3.SetCell(3, 0, "Tipo");
    form->StringGrid3.SetRow(5);
    form->PageControl1.SetActivePageIndex(1);
    Pump();
    ExpectWindowShowsModel();
    ExpectGridShowsModel();
    EXPECT_EQ(StatusText(Handle("StatusBar1"), 0), "    first line - second line");
}

TEST_F(WindowTest, OperatorActionsReachTheModel) {
    // A click on a button runs its handler.
    SendMessageW(Handle("Button35"), BM_CLICK, 0, 0);
    EXPECT_EQ(form->Label47.Text(), "MB TCP");
    EXPECT_EQ(form->ModbusTcp, 1u);

    // Typing into a field: its limit binds the keys, the model takes the text.
    ::HWND edit10 = Handle("Edit10");
    SendMessageW(edit10, EM_SETSEL, 0, -1);
    for (wchar_t key : std::wstring(L"2479"))
        SendMessageW(edit10, WM_CHAR, key, 0);
    EXPECT_EQ(form->Edit10.Text(), "247");

    // A combo box item picked from its list.
    ::HWND combo = Handle("ComboBox4");
    SendMessageW(combo, CB_SETCURSEL, 2, 0);
    SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    EXPECT_EQ(form->ComboBox4.ItemIndex(), 2);
    EXPECT_EQ(form->ComboBox4.Text(), form->ComboBox4.Items()[2]);

    // Another page chosen by its tab.
    ::HWND tabs = Handle("PageControl1");
    SendMessageW(tabs, TCM_SETCURSEL, 1, 0);
    NMHDR change{tabs, static_cast<UINT_PTR>(GetDlgCtrlID(tabs)), static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageW(GetParent(tabs), WM_NOTIFY, change.idFrom, reinterpret_cast<LPARAM>(&change));
    EXPECT_EQ(form->PageControl1.ActivePageIndex(), 1);
    EXPECT_TRUE(HasStyle(Handle("TabSheet2"), WS_VISIBLE));

    // A key typed into the monitor goes to the model at its caret, through its key
    // handler; a double click clears the monitor.
    ::HWND memo = Handle("Memo2");
    SendMessageW(memo, WM_CHAR, L'A', 0);
    EXPECT_EQ(form->Memo2.Text(), "A");
    EXPECT_EQ(form->Label18.Text(), "Tasto");
    SendMessageW(memo, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(memo, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(form->Memo2.Text(), "");

    // Enter in a field runs the default button; Enter on a focused button runs that one.
    int defaultClicks = 0;
    form->BitBtn1.OnClick = [&] { ++defaultClicks; };
    PostMessageW(edit10, WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    EXPECT_EQ(defaultClicks, 1);
    form->ModbusTcp = 7;
    PostMessageW(Handle("Button45"), WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    EXPECT_EQ(defaultClicks, 1);
    EXPECT_EQ(form->ModbusTcp, 0u);

    // The window still shows the model after all of it.
    ExpectWindowShowsModel();
}

TEST_F(WindowTest, PictureOfTheWindowShowsItsContentAndCaption) {
    Picture picture = Capture(view->Window());
    ASSERT_GT(picture.width, tool::WindowWidth);
    ASSERT_GT(picture.height, tool::WindowHeight);
    std::filesystem::create_directories(RVEX_SCREENSHOT_DIR);
    EXPECT_TRUE(WriteBmp(picture, RVEX_SCREENSHOT_DIR "/window.bmp"));
    EXPECT_GT(picture.Colors(0, 0, picture.width, picture.height), 16u);

    // The caption bar carries the caption's text: more than its background colour.
    RECT outer, client;
    GetWindowRect(view->Window(), &outer);
    GetClientRect(view->Window(), &client);
    POINT origin{0, 0};
    ClientToScreen(view->Window(), &origin);
    const int left = origin.x - outer.left, top = origin.y - outer.top;
    EXPECT_GT(picture.Colors(left, 0, left + 300, top), 2u);
    EXPECT_EQ(Text(view->Window()), form->Caption());

    // The framing shape shows its fill where the layout puts it.
    RECT shape;
    GetWindowRect(Handle("Shape8"), &shape);
    const int x = (shape.left + shape.right) / 2 - outer.left, y = shape.top + 6 - outer.top;
    EXPECT_EQ(ColorName(picture.At(x, y)), ColorName(form->Shape8.BrushColor()));
}

TEST_F(WindowTest, AnErrorOfAHandlerShowsOneBoxOverTheWindow) {
    std::filesystem::remove("BmpX.bmp");
    struct Seen {
        ::HWND box;
        ::HWND owner;
        std::string caption;
        bool windowEnabled;
        bool messageShown;
        int boxes;
    };
    std::vector<Seen> seen;
    errors->OnShown = [&](::HWND box) {
        Seen s{box,       GetWindow(box, GW_OWNER),
               Text(box), IsWindowEnabled(view->Window()) != 0,
               false,     0};
        EnumChildWindows(
            box,
            [](::HWND child, LPARAM data) {
                auto* s = reinterpret_cast<Seen*>(data);
                if (Text(child).find("BmpX.bmp") != std::string::npos) s->messageShown = true;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&s));
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](::HWND top, LPARAM data) {
                if (ClassOf(top) == "#32770") ++reinterpret_cast<Seen*>(data)->boxes;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&s));
        seen.push_back(s);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    };
    // Two clicks that fail alike before the loop runs: one box, which counts them.
    SendMessageW(Handle("Button42"), BM_CLICK, 0, 0);
    SendMessageW(Handle("Button42"), BM_CLICK, 0, 0);
    EXPECT_TRUE(seen.empty()); // not from inside the handler
    Pump();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].owner, view->Window());
    EXPECT_EQ(seen[0].caption, form->Caption());
    EXPECT_TRUE(seen[0].messageShown);
    EXPECT_EQ(seen[0].boxes, 1);
    EXPECT_TRUE(seen[0].windowEnabled); // Poll STOP stays one click away
    EXPECT_FALSE(errors->Open());
    ASSERT_EQ(application.Errors().Messages().size(), 2u);
}

TEST_F(WindowTest, PortDialogShowsTheFormAndReturnsTheChoice) {
    for (bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        port::TComSelectForm selection;
        const auto items = selection.PortsComboBox.Items();
        std::string caption, label1, label2;
        std::vector<std::string> shown;
        bool okEnabled = false;
        portDialog->OnShown = [&](::HWND dialog) {
            caption = Text(dialog);
            shown = ComboItems(GetDlgItem(dialog, winui::PortDialog::PortListId));
            okEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != 0;
            if (ok && !items.empty())
                SendDlgItemMessageW(dialog, winui::PortDialog::PortListId, CB_SETCURSEL,
                                    items.size() - 1, 0);
            PostMessageW(dialog, WM_COMMAND, ok && okEnabled ? IDOK : IDCANCEL, 0);
        };
        const port::TModalResult result = selection.ShowModal();
        EXPECT_EQ(caption, selection.Caption());
        EXPECT_EQ(shown, items);
        EXPECT_EQ(okEnabled, !items.empty());
        if (ok && !items.empty()) {
            EXPECT_EQ(result, port::mrOk);
            EXPECT_EQ(selection.SelectedCom(), items.back());
        } else {
            EXPECT_EQ(result, port::mrCancel);
        }
    }
}

// Against rvex-sim's pty, mapped as the COM port RVEX_TEST_SIM_COM names (the Windows
// stage of scripts/test runs it with the simulator; ctest's run leaves it out).
TEST_F(WindowTest, AgainstSimPollRoundFillsTheGridAsTheModel) {
    const char* com = std::getenv("RVEX_TEST_SIM_COM");
    ASSERT_TRUE(com && *com) << "RVEX_TEST_SIM_COM names the simulator's COM port";
    ::HWND ports = Handle("ComboBox1");
    const int index =
        static_cast<int>(SendMessageW(ports, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(winui::Wide(com).c_str())));
    ASSERT_GE(index, 0) << com << " is not listed";
    SendMessageW(ports, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(GetParent(ports), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(ports), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(ports));
    SendMessageW(Handle("BitBtn4"), BM_CLICK, 0, 0);
    ASSERT_EQ(Text(Handle("Label2")), "OPEN");
    SendMessageW(Handle("BitBtn2"), BM_CLICK, 0, 0);

    // The round is over once every row of the table has had its reading: 700 ms a row,
    // bounded.
    const TStringGrid& grid = form->StringGrid3;
    int rows = 0;
    while (rows + 1 < grid.RowCount() &&
           grid.Cell(1, rows + 1).find_first_not_of(' ') != std::string::npos)
        ++rows;
    ASSERT_GT(rows, 20);
    auto completed = [&] {
        const tool::TExchangeCounters& n = form->Counters;
        return n.Good + n.Exceptions + n.BadReplies + n.NoReplies;
    };
    for (int step = 0; step < 800 && completed() < static_cast<uint32_t>(rows); ++step)
        loop.RunFor(50);
    SendMessageW(Handle("Button42"), BM_CLICK, 0, 0);
    Pump();
    ASSERT_GE(completed(), static_cast<uint32_t>(rows));
    for (const std::string& e : application.Errors().Messages())
        ADD_FAILURE() << "error: " << e;
    for (int row = 1; row <= rows; ++row) {
        EXPECT_TRUE(form->ShownOutcome(row).IsGood() &&
                    grid.Cell(2, row).find_first_not_of(' ') != std::string::npos)
            << "row " << row << ": " << grid.Cell(2, row);
    }
    EXPECT_GE(form->Counters.Good, static_cast<uint32_t>(rows));
    ExpectGridShowsModel();
    EXPECT_EQ(StatusText(Handle("StatusBar1"), 1), tool::CountersText(form->Counters));
    SendMessageW(Handle("BitBtn4"), BM_CLICK, 0, 0);
    EXPECT_EQ(Text(Handle("Label2")), "CLOSE");
}

} // namespace
} // namespace winuitest
