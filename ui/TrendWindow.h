#pragma once
// The live trend: a window of its own that plots grid rows' values against time, one
// series per row, a point for every good reading of the row while the window is
// open. More rows join as further series; the chart can be saved as PNG.
// Window thread only. The commissioning record and the grid outlive the window.
#include "tool/Commissioning.h"
#include "tool/TrendPlot.h"
#include "winsys/Controls.h"

#include <QWidget>

#include <functional>
#include <map>

class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

namespace ui {

class TrendWindow : public QWidget {
  public:
    TrendWindow(tool::TCommissioning& commissioning, const winsys::TStringGrid& grid,
                QWidget* parent = nullptr);
    ~TrendWindow() override;

    // Adds the grid row as a series (named by its number, address, OBIS code and
    // note); a row already plotted is left as it is.
    void AddRow(int row);
    int SeriesCount() const { return static_cast<int>(series_.size()); }
    // The points of a row's series (0 for a row not plotted).
    int PointCount(int row) const;
    QChart* Chart() const { return chart_; }
    // Writes the chart as a PNG image; false when the file cannot be written.
    bool SavePng(const QString& path);
    // Asks for the PNG file's name (a file dialog unless a test sets another).
    std::function<QString()> AskPngName;

  private:
    void Plot(int row, double value, tool::WallTime at);
    void FitAxes();

    tool::TCommissioning& commissioning_;
    const winsys::TStringGrid& grid_;
    int observer_ = 0;
    QChart* chart_;
    QChartView* view_;
    QDateTimeAxis* timeAxis_;
    QValueAxis* valueAxis_;
    std::map<int, QLineSeries*> series_;
    tool::TrendPlot plot_; // the points again, for the axes' ranges
};

} // namespace ui
