#include "ui/TrendWindow.h"

#include "tool/GridText.h"
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

#include <algorithm>
#include <cmath>

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
    std::string name = "Rif " + tool::TrimmedCell(grid_, 0, row) + "  " +
                       tool::TrimmedCell(grid_, 1, row) + "  " + tool::TrimmedCell(grid_, 5, row) +
                       "  " + tool::TrimmedCell(grid_, 6, row);
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
    FitAxes();
}

void TrendWindow::FitAxes() {
    qreal minX = 0, maxX = 0, minY = 0, maxY = 0;
    bool any = false;
    for (const auto& [row, series] : series_) {
        for (const QPointF& p : series->points()) {
            if (!any) {
                minX = maxX = p.x();
                minY = maxY = p.y();
                any = true;
            }
            minX = std::min(minX, p.x());
            maxX = std::max(maxX, p.x());
            minY = std::min(minY, p.y());
            maxY = std::max(maxY, p.y());
        }
    }
    if (!any) {
        qint64 now = QDateTime::currentMSecsSinceEpoch();
        minX = static_cast<qreal>(now - 60000);
        maxX = static_cast<qreal>(now);
    }
    // A flat line or a single point still gets a visible span.
    if (maxX - minX < 10000) maxX = minX + 10000;
    qreal pad = std::max<qreal>((maxY - minY) * 0.05, std::max<qreal>(std::fabs(maxY) * 0.01, 0.5));
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(minX)),
                        QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(maxX)));
    valueAxis_->setRange(minY - pad, maxY + pad);
}

bool TrendWindow::SavePng(const QString& path) {
    return view_->grab().save(path, "PNG");
}

} // namespace ui
