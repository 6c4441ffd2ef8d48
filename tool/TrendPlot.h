#pragma once
// The live trend's content without a window: one series per grid row with the points
// (time, value) of its good readings, the ranges a chart shows them in, the axis
// marks with their labels, and the mapping of a point to a pixel of a plot area. A
// front end keeps one, adds what it is told, and only draws.
#include "tool/LocalTime.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tool {

struct TrendPoint {
    int64_t ms = 0; // milliseconds since the epoch
    double value = 0;
};

struct TrendSeries {
    int row = 0;
    std::string name;
    std::vector<TrendPoint> points;
};

// The span a chart shows: time from fromMs to toMs, values from low to high.
struct TrendRange {
    int64_t fromMs = 0, toMs = 0;
    double low = 0, high = 0;
};

// A plot area in pixels; y grows downwards.
struct PlotArea {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct PlotPixel {
    int x = 0, y = 0;
    bool operator==(const PlotPixel&) const = default;
};

// An axis mark: where it sits and its label ("12:30:05" on the time axis, "3.5" on
// the value axis).
struct AxisMark {
    double at = 0;
    std::string label;
};

class TrendPlot {
  public:
    // Adds a row's series; false (and nothing changes) when the row is plotted.
    bool AddSeries(int row, const std::string& name);
    // Adds a point to the row's series; false when the row is not plotted.
    bool AddPoint(int row, double value, WallTime at);
    const std::vector<TrendSeries>& Series() const { return series_; }
    // The points of a row's series (0 for a row not plotted).
    int PointCount(int row) const;
    // Every point in view: the span of the times (at least 10 s), the values with 5 %
    // room above and below (at least 0.5, or 1 % of the value). Without points, the
    // minute up to now.
    TrendRange Range(WallTime now) const;

  private:
    std::vector<TrendSeries> series_;
};

// Where a point of the range lands in the area (rounded to the nearest pixel); points
// outside the range land outside the area.
PlotPixel ToPixel(const TrendRange& range, const PlotArea& area, int64_t ms, double value);

// count marks from one end of an axis to the other, evenly spaced (count >= 2): the
// time axis labelled with the local time of day, the value axis with the value in at
// most 6 significant digits.
std::vector<AxisMark> TimeMarks(const TrendRange& range, int count);
std::vector<AxisMark> ValueMarks(const TrendRange& range, int count);

} // namespace tool
