// The port dialog on screen: the form's texts and list shown, the operator's choice
// (or cancel) back in the form.
#include "FormFixture.h"
#include "Pty.h"
#include "QtFixture.h"

#include "port/PortSelect.h"
#include "ui/PortDialog.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class PortDialogTest : public ::testing::Test {
  protected:
    PortDialogTest() {
        uitest::Qt();
        links.Link(3, ptys[0].SlavePath());
        links.Link(5, ptys[1].SlavePath());
    }
    testsupport::PtyPair ptys[2];
    fakes::ScratchDirectory dir;
    fakes::ComLinkFolder links;
    winsys::EventLoop loop;
    ui::PortDialog dialog{[] { return nullptr; }};
};

TEST_F(PortDialogTest, TheOperatorsChoiceGoesBackIntoTheForm) {
    QStringList labels, items;
    QString title, tip;
    dialog.OnShown = [&](QDialog& d) {
        title = d.windowTitle();
        for (QLabel* l : d.findChildren<QLabel*>())
            labels << l->text();
        auto* combo = d.findChild<QComboBox*>("PortsComboBox");
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        tip = combo->toolTip();
        combo->setCurrentIndex(combo->findText("COM5"));
        QTimer::singleShot(0, &d, &QDialog::accept);
    };
    port::TComSelectForm form;
    EXPECT_EQ(form.ShowModal(), port::mrOk);
    EXPECT_EQ(form.SelectedComNum(), 5);
    EXPECT_EQ(title, "Select Port");
    EXPECT_EQ(labels, (QStringList{"The configured serial port is not valid.",
                                   "Please choose another port."}));
    EXPECT_EQ(items, (QStringList{"COM3", "COM5"}));
    EXPECT_TRUE(tip.contains(QString::fromStdString("COM5 = " + ptys[1].SlavePath())))
        << tip.toStdString();

    dialog.OnShown = [](QDialog& d) { QTimer::singleShot(0, &d, &QDialog::reject); };
    port::TComSelectForm again;
    EXPECT_EQ(again.ShowModal(), port::mrCancel);
}

} // namespace
