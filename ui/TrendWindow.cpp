#include "ui/TrendWindow.h"

#include "tool/CommissioningMenu.h"
#include "ui/QtText.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValueAxis>

namespace ui {

TrendWindow::TrendWindow(tool::TCommissioning& commissioning, const winsys::TStringGrid& grid,
                         QWidget* parent)
    : QWidget(parent, Qt::Window), commissioning_(commissioning), grid_(grid) {
    setWindowTitle("Trend");
    setAttribute(Qt::WA_DeleteOnClose, false);
    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignBottom);
    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setFormat("HH:mm:ss");
    timeAxis_->setTitleText("Ora");
    valueAxis_ = new QValueAxis;
    valueAxis_->setTitleText("Valore");
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(valueAxis_, Qt::AlignLeft);
    view_ = new QChartView(chart_, this);
    view_->setRenderHint(QPainter::Antialiasing);

    auto* save = new QPushButton("Salva PNG...", this);
    AskPngName = [this] {
        return QFileDialog::getSaveFileName(this, "Salva trend", "trend.png", "PNG (*.png)");
    };
    connect(save, &QPushButton::clicked, this, [this] {
        QString path = AskPngName();
        if (!path.isEmpty() && !SavePng(path))
            QMessageBox::warning(this, "Trend", "Impossibile scrivere " + path);
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    layout->addLayout(buttons);
    resize(720, 420);

    observer_ = commissioning_.AddGoodReadingObserver(
        [this](int row, double value, tool::WallTime at) { Plot(row, value, at); });
}

TrendWindow::~TrendWindow() {
    commissioning_.RemoveGoodReadingObserver(observer_);
}

void TrendWindow::AddRow(int row) {
    if (series_.count(row)) return;
    auto* series = new QLineSeries;
    std::string name = tool::TrendSeriesName(grid_, row);
    plot_.AddSeries(row, name);
    series->setName(ToQt(name));
    series->setPointsVisible(true);
    chart_->addSeries(series);
    series->attachAxis(timeAxis_);
    series->attachAxis(valueAxis_);
    series_[row] = series;
    FitAxes();
}

int TrendWindow::PointCount(int row) const {
    auto it = series_.find(row);
    return it == series_.end() ? 0 : static_cast<int>(it->second->count());
}

void TrendWindow::Plot(int row, double value, tool::WallTime at) {
    auto it = series_.find(row);
    if (it == series_.end() || !isVisible()) return; // plotted while open only
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
    it->second->append(static_cast<qreal>(ms), value);
    plot_.AddPoint(row, value, at);
    FitAxes();
}

void TrendWindow::FitAxes() {
    tool::TrendRange range = plot_.Range(tool::SystemWallTime());
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(range.fromMs),
                        QDateTime::fromMSecsSinceEpoch(range.toMs));
    valueAxis_->setRange(range.low, range.high);
}

bool TrendWindow::SavePng(const QString& path) {
    return view_->grab().save(path, "PNG");
}

} // namespace ui
