// The readings' outcomes as the window draws them: bad value texts in red, the
// counters at the right of the status bar, status texts on one line, numbers with a
// decimal point while Qt's desktop locale has a comma.
#include "ui/ReadingsView.h"
#include "CommaLocale.h"
#include "FormFixture.h"
#include "ModbusReplies.h"
#include "QtFixture.h"
#include "ui/FormView.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>

using namespace winsys;

namespace {

class ReadingsViewTest : public fakes::FormFixture {
  protected:
    ReadingsViewTest() {
        uitest::Qt();
        bridge = std::make_unique<ui::LoopBridge>(loop);
        view = std::make_unique<ui::FormView>(application, *form, *bridge);
        readings = std::make_unique<ui::ReadingsView>(*form, *view);
        view->Window()->show();
        fakes::WriteGlyphs();
        fakes::WriteFile("Table1.c", "\n>454 d 4<><>\n>462 i 1<><>\n");
        form->Button40.Click();
        form->Button45.Click(); // RTU
        serial->SetOpen(true);
    }
    ~ReadingsViewTest() override {
        readings.reset();
        view.reset();
        bridge.reset();
    }
    void RequestRow(int row) {
        form->StringGrid3.SetRow(row);
        form->StringGrid3.DblClick();
        Advance(100);
    }
    ui::GridModel* Grid() {
        return dynamic_cast<ui::GridView*>(view->WidgetOf("StringGrid3"))->Model();
    }
    // The value cell of a grid row as the view draws it.
    QVariant Drawn(int row, int role) { return Grid()->data(Grid()->index(row - 1, 1), role); }
    QColor Edit20Text() {
        return dynamic_cast<QLineEdit*>(view->WidgetOf("Edit20"))->palette().color(QPalette::Text);
    }

    std::unique_ptr<ui::LoopBridge> bridge;
    std::unique_ptr<ui::FormView> view;
    std::unique_ptr<ui::ReadingsView> readings;
};

TEST_F(ReadingsViewTest, BadOutcomesAreDrawnInRedGoodValuesAsBefore) {
    const QColor red = ui::ToQt(clRed);
    RequestRow(1);
    serial->Deliver(fakes::RtuException(0x0A, 0x02));
    Advance(250);
    EXPECT_EQ(Drawn(1, Qt::DisplayRole).toString(), "exception 02: illegal data address");
    EXPECT_EQ(Drawn(1, Qt::ForegroundRole).value<QColor>(), red);
    RequestRow(2);
    serial->Deliver(fakes::RtuReply(0x0A, {0x00, 0x07}));
    Advance(250);
    EXPECT_EQ(Drawn(2, Qt::DisplayRole).toString(), "7");
    EXPECT_FALSE(Drawn(2, Qt::ForegroundRole).isValid());
    RequestRow(1); // the blank of a new request is no longer red
    EXPECT_FALSE(Drawn(1, Qt::ForegroundRole).isValid());

    QColor plain = Edit20Text();
    form->ComboBox4.TypeText("int");
    form->Button47.Click();
    Advance(1100);
    EXPECT_EQ(form->Edit20.Text(), "no reply");
    EXPECT_EQ(Edit20Text(), red);
    form->Button47.Click();
    Advance(100);
    serial->Deliver(fakes::RtuReply(0x0A, {0x00, 0x2A}));
    Advance(250);
    EXPECT_EQ(form->Edit20.Text(), "42");
    EXPECT_EQ(Edit20Text(), plain);
}

TEST_F(ReadingsViewTest, TheCountersAreAPermanentFieldAtTheRightOfTheStatusBar) {
    auto* bar = dynamic_cast<QLabel*>(view->WidgetOf("StatusBar1"));
    QLabel* field = readings->CountersField();
    EXPECT_EQ(ui::FromQt(field->text()), "Sent 0  Good 0  Exc 0  Bad 0  No reply 0");
    RequestRow(2);
    serial->Deliver(fakes::RtuReply(0x0A, {0x00, 0x07}));
    Advance(250);
    form->StatusBar1.SetText("    Interrogazione MODBUS");
    QApplication::processEvents();
    EXPECT_EQ(ui::FromQt(field->text()), "Sent 1  Good 1  Exc 0  Bad 0  No reply 0");
    EXPECT_EQ(field->parentWidget(), bar);
    EXPECT_TRUE(field->isVisible());
    EXPECT_GT(field->geometry().left(), bar->width() / 2);
    EXPECT_GE(field->geometry().right(), bar->width() - 12);
    EXPECT_EQ(ui::FromQt(bar->text()), "    Interrogazione MODBUS"); // the status text stays
}

TEST_F(ReadingsViewTest, StatusTextsAreDrawnOnOneLine) {
    auto* bar = dynamic_cast<QLabel*>(view->WidgetOf("StatusBar1"));
    const std::pair<const char*, const char*> cases[] = {
        {"Socket Error: 10061\n", "Socket Error: 10061"},
        {"Error recieving main data chunk!\nError code: 10054\n",
         "Error recieving main data chunk! - Error code: 10054"},
        {"Connection Failed to 10.0.0.7:80 error: 10060\r\n",
         "Connection Failed to 10.0.0.7:80 error: 10060"},
        {"    OPEN IP SOCKET", "    OPEN IP SOCKET"},
    };
    for (const auto& [text, drawn] : cases) {
        form->StatusBar1.SetText(text);
        EXPECT_EQ(ui::FromQt(bar->text()), drawn);
        EXPECT_EQ(form->StatusBar1.Text(), text); // the model keeps the text as set
    }
}

TEST_F(ReadingsViewTest, NumbersKeepTheirPointUnderTheDesktopsCommaLocale) {
    fakes::ScopedCommaLocale comma;
    ASSERT_TRUE(comma.Active()) << comma.Error();
    RequestRow(1);
    serial->Deliver(fakes::RtuReply(0x0A, {0, 0, 0, 0, 0, 0, 0x3F, 0xF8}));
    Advance(250);
    EXPECT_EQ(Drawn(1, Qt::DisplayRole).toString(), "1.500000");
}

} // namespace
