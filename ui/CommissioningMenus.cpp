#include "ui/CommissioningMenus.h"

#include "tool/CommissioningMenu.h"
#include "tool/LocalTime.h"
#include "tool/Unit1.h"
#include "ui/QtText.h"
#include "ui/TrendWindow.h"
#include "ui/Widgets.h"
#include "winsys/Exception.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPageLayout>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QTableView>
#include <QTextDocument>

namespace ui {

namespace {

QString Now(std::string (*name)(tool::WallTime)) {
    return QString::fromStdString(name(tool::SystemWallTime()));
}

} // namespace

CommissioningMenus::CommissioningMenus(winsys::TApplication& application, FormView& view,
                                       tool::TCommissioning& commissioning)
    : application_(application), view_(view), commissioning_(commissioning) {
    AskSaveName = [this](const QString& title, const QString& suggested, const QString& filter) {
        return QFileDialog::getSaveFileName(view_.Window(), title, suggested, filter);
    };

    if (auto* grid = qobject_cast<QTableView*>(view_.WidgetOf("StringGrid3"))) {
        grid->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(grid, &QWidget::customContextMenuRequested, grid,
                         [this, grid](const QPoint& at) {
                             QModelIndex index = grid->indexAt(at);
                             int row = index.isValid() ? index.row() + 1
                                                       : 0; // model rows start below the titles
                             GridMenu(row)->exec(grid->viewport()->mapToGlobal(at));
                         });
    }
    if (auto* memo = qobject_cast<QPlainTextEdit*>(view_.WidgetOf("Memo2"))) {
        memo->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(memo, &QWidget::customContextMenuRequested, memo,
                         [this, memo](const QPoint& at) {
                             MonitorMenu()->exec(memo->viewport()->mapToGlobal(at));
                         });
    }

    // The sign sits in the status bar's row of permanent fields, left of the others
    // (the row is made here when no field made it before).
    if (QWidget* bar = view_.WidgetOf("StatusBar1")) {
        sign_ = new QLabel(QString::fromUtf8(tool::RecordingSignText), bar);
        sign_->setObjectName("RecordingSign");
        sign_->setToolTip("Sessione in registrazione");
        sign_->setStyleSheet("QLabel { color: #d00000; font-weight: bold; }");
        auto* row = qobject_cast<QHBoxLayout*>(bar->layout());
        if (!row) {
            row = new QHBoxLayout(bar);
            row->setContentsMargins(0, 0, 6, 0);
            row->addStretch(1);
        }
        row->insertWidget(1, sign_);
        sign_->hide();
    }
    commissioning_.OnRecordingChanged = [this](bool recording) { ShowRecording(recording); };
}

CommissioningMenus::~CommissioningMenus() {
    commissioning_.OnRecordingChanged = nullptr;
    trend_.reset();
}

template <class Step> void CommissioningMenus::Guarded(Step&& step) {
    application_.Guard(std::forward<Step>(step));
}

void CommissioningMenus::ShowRecording(bool recording) {
    if (!sign_) return;
    if (recording) sign_->setToolTip(ToQt(tool::RecordingSignHint(commissioning_)));
    sign_->setVisible(recording);
    sign_->raise();
}

void CommissioningMenus::AddEntries(QMenu& menu, const std::vector<tool::MenuEntry>& entries,
                                    int row) {
    for (const tool::MenuEntry& entry : entries) {
        if (entry.command == tool::MenuCommand::Separator) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(ToQt(entry.text));
        action->setCheckable(entry.checkable);
        action->setChecked(entry.checked);
        action->setEnabled(entry.enabled);
        QObject::connect(action, &QAction::triggered, &menu,
                         [this, command = entry.command, row] { Choose(command, row); });
    }
}

void CommissioningMenus::Choose(tool::MenuCommand command, int row) {
    switch (command) {
    case tool::MenuCommand::Record:
        ToggleRecording();
        break;
    case tool::MenuCommand::ExportGrid:
        ExportGrid();
        break;
    case tool::MenuCommand::Report:
        SaveReport();
        break;
    case tool::MenuCommand::Trend:
        OpenTrend(row);
        break;
    case tool::MenuCommand::Separator:
        break;
    }
}

std::unique_ptr<QMenu> CommissioningMenus::GridMenu(int row) {
    auto menu = std::make_unique<QMenu>();
    AddEntries(*menu, tool::GridMenuEntries(commissioning_, row), row);
    return menu;
}

std::unique_ptr<QMenu> CommissioningMenus::MonitorMenu() {
    std::unique_ptr<QMenu> menu;
    if (auto* memo = qobject_cast<QPlainTextEdit*>(view_.WidgetOf("Memo2")))
        menu.reset(memo->createStandardContextMenu());
    else
        menu = std::make_unique<QMenu>();
    AddEntries(*menu, tool::MonitorMenuEntries(commissioning_), 0);
    return menu;
}

void CommissioningMenus::ToggleRecording() {
    Guarded([this] { tool::ToggleRecording(commissioning_); });
}

void CommissioningMenus::ExportGrid() {
    QString path =
        AskSaveName("Esporta tabella CSV", Now(tool::SuggestedExportName), "CSV (*.csv)");
    if (path.isEmpty()) return;
    Guarded([&] { commissioning_.ExportGrid(path.toStdString()); });
}

void CommissioningMenus::SaveReport() {
    QString path = AskSaveName("Rapporto di collaudo", Now(tool::SuggestedReportName),
                               "HTML (*.html *.htm);;PDF (*.pdf)");
    if (path.isEmpty()) return;
    Guarded([&] {
        if (tool::IsPdfName(path.toStdString()))
            WriteReportPdf(path);
        else
            commissioning_.WriteReport(path.toStdString());
    });
}

void CommissioningMenus::WriteReportPdf(const QString& path) {
    QFileInfo target(path);
    if (!QFileInfo(target.absolutePath()).isWritable() || (target.exists() && !target.isWritable()))
        throw winsys::Exception("cannot write " + path.toStdString());
    QTextDocument document;
    document.setHtml(QString::fromStdString(commissioning_.ReportHtml()));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    document.print(&printer);
    if (!QFileInfo(path).exists() || QFileInfo(path).size() == 0)
        throw winsys::Exception("cannot write " + path.toStdString());
}

void CommissioningMenus::OpenTrend(int row) {
    if (row <= 0) return;
    // A trend closed by the operator is over; the next one starts afresh.
    if (!trend_ || !trend_->isVisible())
        trend_ = std::make_unique<TrendWindow>(commissioning_, commissioning_.Form().StringGrid3);
    trend_->AddRow(row);
    trend_->show();
    trend_->raise();
}

} // namespace ui
