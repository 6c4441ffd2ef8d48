// The commissioning record on screen, offscreen: the grid's and the monitor's context
// menus, the recording sign, the trend window with two series, the report as PDF.
#include "FormFixture.h"
#include "ModbusReplies.h"
#include "QtFixture.h"
#include "tool/Commissioning.h"
#include "ui/CommissioningMenus.h"
#include "ui/FormView.h"
#include "ui/ReadingsView.h"
#include "ui/TrendWindow.h"
#include "ui/Widgets.h"

#include <gtest/gtest.h>

#include <QAbstractSeries>
#include <QChart>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QMenu>

#include <filesystem>

namespace {

QStringList Entries(QMenu& menu) {
    QStringList texts;
    for (QAction* action : menu.actions())
        texts << (action->isSeparator() ? "-" : action->text());
    return texts;
}

QAction* Entry(QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions())
        if (action->text() == text) return action;
    ADD_FAILURE() << "no entry " << text.toStdString();
    return nullptr;
}

class CommissioningWindow : public fakes::FormFixture {
  protected:
    CommissioningWindow() {
        uitest::Qt();
        fakes::WriteGlyphs();
        fakes::WriteFile("Table1.c",
                         ">454 d 4<1.8.0><energia>\n>462 i 1<C.1.0><contatore>\n>470 i 1<><>\n");
        form->Button40.Click();
        form->Button45.Click(); // RTU
        serial->SetOpen(true);
        bridge = std::make_unique<ui::LoopBridge>(loop);
        view = std::make_unique<ui::FormView>(application, *form, *bridge);
        readings = std::make_unique<ui::ReadingsView>(*form, *view); // as the window has it
        commissioning = std::make_unique<tool::TCommissioning>(*form);
        menus = std::make_unique<ui::CommissioningMenus>(application, *view, *commissioning);
        menus->AskSaveName = [this](const QString&, const QString&, const QString&) {
            return answer;
        };
        view->Window()->show();
    }
    ~CommissioningWindow() override {
        menus.reset();
        commissioning.reset();
        readings.reset();
        view.reset();
        bridge.reset();
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

    QString answer; // the file name the save dialog gives
    std::unique_ptr<ui::LoopBridge> bridge;
    std::unique_ptr<ui::FormView> view;
    std::unique_ptr<ui::ReadingsView> readings;
    std::unique_ptr<tool::TCommissioning> commissioning;
    std::unique_ptr<ui::CommissioningMenus> menus;
};

TEST_F(CommissioningWindow, TheGridMenuRecordsWithACheckMarkAndASignWhileOn) {
    auto menu = menus->GridMenu(1);
    EXPECT_EQ(Entries(*menu), (QStringList{"Registra sessione", "-", "Esporta tabella CSV...",
                                           "Rapporto di collaudo...", "-", "Trend"}));
    QAction* record = Entry(*menu, "Registra sessione");
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->isCheckable());
    EXPECT_FALSE(record->isChecked());
    EXPECT_FALSE(menus->RecordingSign()->isVisible());
    record->trigger();
    EXPECT_TRUE(commissioning->Recording());
    EXPECT_TRUE(menus->RecordingSign()->isVisible());
    // Beside the counters, not over them (the status bar is kept for a look).
    QWidget* bar = view->WidgetOf("StatusBar1");
    bar->layout()->activate();
    EXPECT_FALSE(
        menus->RecordingSign()->geometry().intersects(readings->CountersField()->geometry()));
    EXPECT_TRUE(bar->rect().contains(menus->RecordingSign()->geometry()));
    QDir().mkpath(RVEX_SCREENSHOT_DIR);
    bar->grab().save(RVEX_SCREENSHOT_DIR "/status-recording.png");
    EXPECT_TRUE(Entry(*menus->GridMenu(1), "Registra sessione")->isChecked());
    EXPECT_TRUE(Entry(*menus->MonitorMenu(), "Registra sessione")->isChecked());
    Entry(*menus->MonitorMenu(), "Registra sessione")->trigger();
    EXPECT_FALSE(commissioning->Recording());
    EXPECT_FALSE(menus->RecordingSign()->isVisible());
    // Trend needs a row that holds a register.
    EXPECT_TRUE(Entry(*menus->GridMenu(2), "Trend")->isEnabled());
    EXPECT_FALSE(Entry(*menus->GridMenu(5), "Trend")->isEnabled());
    EXPECT_FALSE(Entry(*menus->GridMenu(0), "Trend")->isEnabled());
    // The monitor keeps its own entries before ours.
    QStringList monitor = Entries(*menus->MonitorMenu());
    EXPECT_GT(monitor.size(), 3);
    EXPECT_EQ(monitor.mid(monitor.size() - 2),
              (QStringList{"Registra sessione", "Rapporto di collaudo..."}));
}

TEST_F(CommissioningWindow, TheTrendPlotsEachRowsGoodReadingsAsItsOwnSeries) {
    Entry(*menus->GridMenu(1), "Trend")->trigger();
    Entry(*menus->GridMenu(2), "Trend")->trigger();
    Entry(*menus->GridMenu(2), "Trend")->trigger(); // a row already plotted stays one series
    ui::TrendWindow* trend = menus->Trend();
    ASSERT_TRUE(trend);
    EXPECT_TRUE(trend->isVisible());
    ASSERT_EQ(trend->SeriesCount(), 2);
    EXPECT_EQ(trend->Chart()->series().size(), 2);
    EXPECT_EQ(trend->Chart()->series()[0]->name(), "Rif 1  454  1.8.0  energia");

    Read(1, fakes::RtuReply(0x0A, {0x2D, 0x18, 0x54, 0x44, 0x21, 0xFB, 0x40, 0x09}));
    Read(2, fakes::RtuReply(0x0A, {0x00, 0x2A}));
    Read(2, fakes::RtuException(0x0A, 0x02)); // not a value: no point
    Read(2, fakes::RtuReply(0x0A, {0x00, 0x2B}));
    Read(3, fakes::RtuReply(0x0A, {0x00, 0x01})); // not plotted
    EXPECT_EQ(trend->PointCount(1), 1);
    EXPECT_EQ(trend->PointCount(2), 2);
    EXPECT_EQ(trend->PointCount(3), 0);

    // Kept with the window's screenshots for a look after the run.
    QDir().mkpath(RVEX_SCREENSHOT_DIR);
    const QString png = RVEX_SCREENSHOT_DIR "/trend.png";
    QCoreApplication::processEvents(); // the legend is laid out by a posted event
    ASSERT_TRUE(trend->SavePng(png));
    QImage image(png);
    EXPECT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 100);
    EXPECT_FALSE(trend->SavePng("/nonexistent-folder/trend.png"));

    // Closed, it plots nothing more; the next Trend starts a new one.
    trend->close();
    Read(1, fakes::RtuReply(0x0A, {0x2D, 0x18, 0x54, 0x44, 0x21, 0xFB, 0x40, 0x09}));
    EXPECT_EQ(trend->PointCount(1), 1);
    Entry(*menus->GridMenu(2), "Trend")->trigger();
    ASSERT_TRUE(menus->Trend());
    EXPECT_EQ(menus->Trend()->SeriesCount(), 1);
    EXPECT_EQ(menus->Trend()->PointCount(2), 0);
}

TEST_F(CommissioningWindow, ExportAndReportWriteTheChosenFilesAndReportWhatCannotBeWritten) {
    Read(1, fakes::RtuReply(0x0A, {0x2D, 0x18, 0x54, 0x44, 0x21, 0xFB, 0x40, 0x09}));
    answer = "tabella.csv";
    Entry(*menus->GridMenu(1), "Esporta tabella CSV...")->trigger();
    EXPECT_TRUE(fakes::ReadFile("tabella.csv").starts_with("Rif,Address,"));
    answer = "collaudo.html";
    Entry(*menus->GridMenu(1), "Rapporto di collaudo...")->trigger();
    EXPECT_TRUE(fakes::ReadFile("collaudo.html").starts_with("<!DOCTYPE html>"));
    answer = "collaudo.pdf";
    Entry(*menus->MonitorMenu(), "Rapporto di collaudo...")->trigger();
    EXPECT_TRUE(fakes::ReadFile("collaudo.pdf").starts_with("%PDF"));
    EXPECT_TRUE(Errors().empty());

    answer = "/nonexistent-folder/collaudo.pdf";
    Entry(*menus->GridMenu(1), "Rapporto di collaudo...")->trigger();
    answer = "/nonexistent-folder/tabella.csv";
    Entry(*menus->GridMenu(1), "Esporta tabella CSV...")->trigger();
    ASSERT_EQ(Errors().size(), 2u);
    EXPECT_EQ(Errors()[0], "cannot write /nonexistent-folder/collaudo.pdf");
    EXPECT_EQ(Errors()[1],
              "cannot write /nonexistent-folder/tabella.csv: No such file or directory");
    answer = ""; // cancelled: nothing happens
    Entry(*menus->GridMenu(1), "Esporta tabella CSV...")->trigger();
    EXPECT_EQ(Errors().size(), 2u);
}

} // namespace
