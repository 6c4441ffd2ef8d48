// The main window's widgets against the control model: operator actions reach the
// model's events, model changes reach the widgets, Enter goes to the default button,
// and every page is drawn at the window's size.
#include "FormFixture.h"
#include "QtFixture.h"
#include "ui/FormView.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTabBar>
#include <QTest>
#include <QTextCursor>

#include <filesystem>
#include <string>
#include <vector>

using namespace winsys;

namespace {

class WindowTest : public fakes::FormFixture {
  protected:
    WindowTest() {
        uitest::Qt();
        bridge = std::make_unique<ui::LoopBridge>(loop);
        view = std::make_unique<ui::FormView>(application, *form, *bridge);
        view->Window()->show();
    }
    ~WindowTest() override {
        view.reset();
        bridge.reset();
    }
    template <class W> W* Get(const std::string& name) {
        auto* widget = dynamic_cast<W*>(view->WidgetOf(name));
        if (!widget) ADD_FAILURE() << "no widget of the expected kind for " << name;
        return widget;
    }
    QColor Fill(const std::string& name) {
        return view->WidgetOf(name)->palette().color(QPalette::Window);
    }

    std::unique_ptr<ui::LoopBridge> bridge;
    std::unique_ptr<ui::FormView> view;
};

} // namespace

TEST_F(WindowTest, AClickOnEachKindOfWidgetReachesItsControlsHandler) {
    std::vector<std::string> clicked;
    const std::vector<std::string> names = {"Button35", "BitBtn4",   "Label43",   "StatusBar1",
                                            "Shape8",   "GroupBox2", "TabSheet1", "MainForm"};
    for (const std::string& name : names) {
        Control* control = form->FindControl(name);
        control->OnClick = [&clicked, name] { clicked.push_back(name); };
        QTest::mouseClick(view->WidgetOf(name), Qt::LeftButton, {}, QPoint(3, 3));
    }
    EXPECT_EQ(clicked, names); // each once: a label's click is not its frame's too
    int doubleClicks = 0;
    form->Label43.OnDblClick = [&] { ++doubleClicks; };
    clicked.clear();
    QTest::mouseClick(view->WidgetOf("Label43"), Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseDClick(view->WidgetOf("Label43"), Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseRelease(view->WidgetOf("Label43"), Qt::LeftButton, {},
                        QPoint(3, 3)); // as a display sends it
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_EQ(clicked, std::vector<std::string>{"Label43"}); // the double click's release is none

    // The grid: a click makes its row the selected one; a double click elsewhere
    // finds the double-clicked row selected when its handler runs.
    auto* grid = Get<ui::GridView>("StringGrid3");
    int clickedRow = 0, doubleClickedRow = 0;
    form->StringGrid3.OnClick = [&] { clickedRow = form->StringGrid3.Row(); };
    form->StringGrid3.OnDblClick = [&] { doubleClickedRow = form->StringGrid3.Row(); };
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(4, 1)).center());
    EXPECT_EQ(clickedRow, 5);
    form->StringGrid3.SetRow(2);
    QPoint row7 = grid->visualRect(grid->model()->index(6, 2)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, row7);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, row7);
    EXPECT_EQ(doubleClickedRow, 7);

    // The monitor: clicks, double clicks, and a key that lands where the operator put
    // the caret, after OnKeyPress saw it.
    form->PageControl1.SetActivePageIndex(1);
    auto* memo = Get<ui::MemoWidget>("Memo2");
    int memoClicks = 0, memoDoubleClicks = 0;
    char seen = 0;
    form->Memo2.OnClick = [&] { ++memoClicks; };
    form->Memo2.OnDblClick = [&] { ++memoDoubleClicks; };
    form->Memo2.OnKeyPress = [&](char& key) { seen = key; };
    form->Memo2.SetText("ab\r\ncd");
    QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, QPoint(4, 4));
    QTest::mouseDClick(memo->viewport(), Qt::LeftButton, {}, QPoint(4, 4));
    QTest::mouseRelease(memo->viewport(), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_EQ(memoClicks, 1);
    EXPECT_EQ(memoDoubleClicks, 1);
    QTextCursor caret = memo->textCursor();
    caret.setPosition(4); // between c and d
    memo->setTextCursor(caret);
    QTest::keyClick(memo, 'x');
    EXPECT_EQ(seen, 'x');
    EXPECT_EQ(form->Memo2.Text(), "ab\r\ncxd");
    EXPECT_EQ(memo->toPlainText(), "ab\ncxd");

    // Pages: a click on a tab.
    auto* pages = Get<QTabWidget>("PageControl1");
    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, pages->tabBar()->tabRect(2).center());
    EXPECT_EQ(form->PageControl1.ActivePageIndex(), 2);
}

TEST_F(WindowTest, TypingAndChoosingReachTheModelWithTheTypingLimit) {
    int edits = 0;
    form->Edit10.OnChange = [&] { ++edits; };
    form->PageControl1.SetActivePageIndex(1);
    auto* edit = Get<QLineEdit>("Edit10");
    edit->selectAll();
    QTest::keyClicks(edit, "12345"); // at most 3 characters
    EXPECT_EQ(form->Edit10.Text(), "123");
    EXPECT_EQ(edit->text(), "123");
    EXPECT_EQ(edits, 3);
    form->Edit10.SetText("123456"); // the program is not limited
    EXPECT_EQ(edit->text(), "123456");
    edit->end(false);
    QTest::keyClick(edit, Qt::Key_Backspace); // and the operator may shorten it
    EXPECT_EQ(form->Edit10.Text(), "12345");

    int choices = 0;
    form->ComboBox4.OnChange = [&] { ++choices; };
    form->ComboBox4.SetItemIndex(1);
    auto* combo = Get<QComboBox>("ComboBox4");
    QTest::keyClick(combo, Qt::Key_Down); // the operator picks the next item
    EXPECT_EQ(form->ComboBox4.ItemIndex(), 2);
    EXPECT_EQ(form->ComboBox4.Text(), "long int");
    EXPECT_EQ(choices, 1);
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), "hex"); // typing drops the choice
    EXPECT_EQ(form->ComboBox4.Text(), "hex");
    EXPECT_EQ(form->ComboBox4.ItemIndex(), -1);
    EXPECT_EQ(combo->currentText(), "hex");
    EXPECT_EQ(choices, 4);
}

TEST_F(WindowTest, ModelChangesReachTheirWidgetsAtOnce) {
    form->Label24.SetText("Connesso");
    form->Label24.SetColor(clLime);
    auto* label = Get<QLabel>("Label24");
    EXPECT_EQ(label->text(), "Connesso");
    EXPECT_EQ(Fill("Label24"), QColor(0, 255, 0));
    EXPECT_TRUE(label->autoFillBackground());

    form->StatusBar1.SetText("    OPEN IP SOCKET");
    form->StatusBar1.SetColor(clGradientInactiveCaption);
    EXPECT_EQ(Get<QLabel>("StatusBar1")->text(), "    OPEN IP SOCKET"); // blanks kept
    EXPECT_EQ(Fill("StatusBar1"), ui::ToQt(clGradientInactiveCaption));

    EXPECT_TRUE(view->WidgetOf("Button21")->isHidden());
    form->Button21.Show();
    EXPECT_FALSE(view->WidgetOf("Button21")->isHidden());
    EXPECT_TRUE(view->WidgetOf("Button10")->isHidden());

    // Grid: a cell, a title of the fixed row, a row number of the fixed column,
    // the corner, the selected row.
    auto* grid = Get<ui::GridView>("StringGrid3");
    form->StringGrid3.SetCell(2, 5, "12.5");
    form->StringGrid3.SetCell(2, 0, "Valore letto");
    form->StringGrid3.SetCell(0, 5, "5");
    form->StringGrid3.SetCell(0, 0, "Rif");
    form->StringGrid3.SetRow(9);
    EXPECT_EQ(grid->model()->index(4, 1).data().toString(), "12.5");
    EXPECT_EQ(grid->model()->headerData(1, Qt::Horizontal).toString(), "Valore letto");
    EXPECT_EQ(grid->model()->headerData(4, Qt::Vertical).toString(), "5");
    EXPECT_EQ(grid->Corner()->text(), "Rif");
    ASSERT_EQ(grid->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(grid->selectionModel()->selectedRows()[0].row(), 8);

    // Memo: the text (CR LF as line breaks), the caret at the end, scrolled there.
    form->PageControl1.SetActivePageIndex(1);
    auto* memo = Get<ui::MemoWidget>("Memo2");
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "0A 03 08 00 " + std::to_string(i) + "\r\n";
    form->Memo2.SetText(text);
    form->Memo2.AppendText("last");
    form->Memo2.CaretToEnd();
    EXPECT_EQ(ui::FromQt(memo->toPlainText()) + "", [&] {
        std::string shown;
        for (char c : text + "last")
            if (c != '\r') shown += c;
        return shown;
    }());
    EXPECT_EQ(memo->textCursor().position(), memo->document()->characterCount() - 1);
    EXPECT_GT(memo->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(memo->viewport()->rect().contains(memo->cursorRect()));
    EXPECT_EQ(memo->palette().color(QPalette::Base), ui::ToQt(clMoneyGreen));

    // Combo box items and the program's choice.
    form->ComboBox1.AddItem("COM3");
    form->ComboBox1.AddItem("COM12");
    auto* combo = Get<QComboBox>("ComboBox1");
    EXPECT_EQ(combo->currentText(), "COM X");
    form->ComboBox1.SetItemIndex(1);
    EXPECT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(combo->currentText(), "COM12");

    // Shape: fill and outline as drawn.
    form->Shape2.SetBrushColor(clMoneyGreen);
    form->Shape2.SetPenColor(clLime);
    QImage shape = view->WidgetOf("Shape2")->grab().toImage();
    EXPECT_EQ(shape.pixelColor(shape.width() / 2, shape.height() - 4), ui::ToQt(clMoneyGreen));
    EXPECT_EQ(shape.pixelColor(0, shape.height() / 2), ui::ToQt(clLime));

    // Glyph from the file.
    fakes::WriteGlyphs();
    EXPECT_TRUE(Get<QPushButton>("BitBtn4")->icon().isNull());
    form->BitBtn4.LoadGlyph("BmpOK.bmp");
    EXPECT_FALSE(Get<QPushButton>("BitBtn4")->icon().isNull());
}

TEST_F(WindowTest, EnterRunsTheDefaultButtonUnlessTheControlUsesIt) {
    int reads = 0, tcp = 0;
    char seen = 0;
    form->BitBtn1.OnClick = [&] { ++reads; };
    form->Button35.OnClick = [&] { ++tcp; };
    form->Memo2.OnKeyPress = [&](char& key) { seen = key; };
    for (const char* name : {"Edit10", "ComboBox2", "StringGrid3", "PageControl1"}) {
        QTest::keyClick(view->WidgetOf(name), Qt::Key_Return);
        EXPECT_EQ(reads, 1) << name;
        reads = 0;
    }
    QTest::keyClick(view->WidgetOf("Memo2"), Qt::Key_Return); // the monitor takes it
    EXPECT_EQ(reads, 0);
    EXPECT_EQ(seen, '\r');
    EXPECT_EQ(form->Memo2.Text(), "\r\n- CLICK FOR CLEAR -\r\n\r\n"); // at the caret
    QTest::keyClick(view->WidgetOf("Button35"), Qt::Key_Return);      // a focused button too
    EXPECT_EQ(tcp, 1);
    EXPECT_EQ(reads, 0);
}

namespace {

const Control* PageOf(const Control* c) {
    for (; c; c = c->Parent())
        if (c->Kind() == ControlKind::TabSheet) return c;
    return nullptr;
}

} // namespace

TEST_F(WindowTest, EveryPageIsDrawnAtTheWindowSizeWithEveryControlInPlace) {
    for (const char* glyph : {"BmpOK.bmp", "BmpX.bmp"})
        std::filesystem::copy_file(std::filesystem::path(RVEX_SITE_DIR) / glyph, glyph);
    application.Guard([&] { form->FormCreate(); });
    form->BitBtn4.LoadGlyph("BmpX.bmp");
    form->BitBtn5.LoadGlyph("BmpX.bmp");
    form->BitBtn2.LoadGlyph("BmpX.bmp");
    form->BitBtn3.LoadGlyph("BmpX.bmp");
    // A loaded register table, so that the grid shows its titles, numbers and values.
    const char* titles[] = {"Rif", "Address",   "Valore letto",   "t",
                            "n",   "OBIS code", "Note di esempio"};
    for (int col = 0; col < 7; ++col)
        form->StringGrid3.SetCell(col, 0, titles[col]);
    for (int row = 1; row < 300; ++row)
        form->StringGrid3.SetCell(0, row, std::to_string(row));
    const char* entry[] = {"454", "1234.5678", "d", "4", "1.8.0", "Energia attiva"};
    for (int col = 1; col < 7; ++col)
        form->StringGrid3.SetCell(col, 1, entry[col - 1]);
    form->Memo2.SetText("0A 03 08 40 93 4A 45 6D 5C FA AD 1F 2B\r\n");
    Pump();

    std::string unplaced;
    for (const std::string& name : view->Unplaced())
        unplaced += name + " ";
    EXPECT_EQ(unplaced, "");
    QDir().mkpath(RVEX_SCREENSHOT_DIR);
    auto* pages = Get<QTabWidget>("PageControl1");
    EXPECT_EQ(pages->currentIndex(), 0); // the first page at start
    std::vector<QImage> shots;
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        // Every shown control of the window and of this page lies inside its frame
        // and clear of its neighbours; shapes are frames drawn behind controls.
        const Control* sheet = form->PageControl1.Children()[page];
        for (Control* c : form->AllControls()) {
            QWidget* w = view->WidgetOf(c->Name());
            const Control* on = PageOf(c->Parent());
            if (!w || !c->Parent() || c->Kind() == ControlKind::TabSheet || !c->Visible()) continue;
            if (on != sheet && (on || page > 0)) continue;
            EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << c->Name();
            if (c->Kind() == ControlKind::Shape) continue;
            for (Control* other : c->Parent()->Children()) {
                QWidget* o = view->WidgetOf(other->Name());
                if (other == c || !o || !other->Visible() || other->Kind() == ControlKind::Shape)
                    continue;
                EXPECT_FALSE(w->geometry().intersects(o->geometry()))
                    << c->Name() << " and " << other->Name();
            }
        }
        QImage shot = view->Window()->grab().toImage();
        QString file = QString(RVEX_SCREENSHOT_DIR "/page%1.png").arg(page + 1);
        EXPECT_TRUE(shot.save(file)) << ui::FromQt(file);
        EXPECT_EQ(shot.size(), QSize(1033, 608));
        QSet<QRgb> colours;
        for (int y = 0; y < shot.height(); y += 3)
            for (int x = 0; x < shot.width(); x += 3)
                colours.insert(shot.pixel(x, y));
        EXPECT_GT(colours.size(), 20) << "page " << page + 1 << " looks blank";
        for (const QImage& earlier : shots)
            EXPECT_NE(shot, earlier) << "page " << page + 1;
        shots.push_back(shot);
    }
    EXPECT_EQ(ui::FromQt(view->Window()->windowTitle()), "R-VEX Varentis Rv1.9 B [116]");
}
