#include "tool/TrendPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tool {

namespace {

constexpr int64_t ShortestSpanMs = 10000;
constexpr int64_t EmptySpanMs = 60000;

int64_t EpochMs(WallTime t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

} // namespace

bool TrendPlot::AddSeries(int row, const std::string& name) {
    for (const TrendSeries& s : series_)
        if (s.row == row) return false;
    series_.push_back({row, name, {}});
    return true;
}

bool TrendPlot::AddPoint(int row, double value, WallTime at) {
    for (TrendSeries& s : series_) {
        if (s.row != row) continue;
        s.points.push_back({EpochMs(at), value});
        return true;
    }
    return false;
}

int TrendPlot::PointCount(int row) const {
    for (const TrendSeries& s : series_)
        if (s.row == row) return static_cast<int>(s.points.size());
    return 0;
}

TrendRange TrendPlot::Range(WallTime now) const {
    TrendRange range;
    bool any = false;
    for (const TrendSeries& s : series_) {
        for (const TrendPoint& p : s.points) {
            if (!any) {
                range = {p.ms, p.ms, p.value, p.value};
                any = true;
            }
            range.fromMs = std::min(range.fromMs, p.ms);
            range.toMs = std::max(range.toMs, p.ms);
            range.low = std::min(range.low, p.value);
            range.high = std::max(range.high, p.value);
        }
    }
    if (!any) {
        range.toMs = EpochMs(now);
        range.fromMs = range.toMs - EmptySpanMs;
    }
    // A flat line or a single point still gets a visible span.
    if (range.toMs - range.fromMs < ShortestSpanMs) range.toMs = range.fromMs + ShortestSpanMs;
    const double pad =
        std::max((range.high - range.low) * 0.05, std::max(std::fabs(range.high) * 0.01, 0.5));
    range.low -= pad;
    range.high += pad;
    return range;
}

PlotPixel ToPixel(const TrendRange& range, const PlotArea& area, int64_t ms, double value) {
    const double span = static_cast<double>(range.toMs - range.fromMs);
    const double height = range.high - range.low;
    const double fx = span > 0 ? static_cast<double>(ms - range.fromMs) / span : 0;
    const double fy = height > 0 ? (value - range.low) / height : 0;
    return {static_cast<int>(std::lround(area.left + fx * (area.right - area.left))),
            static_cast<int>(std::lround(area.bottom - fy * (area.bottom - area.top)))};
}

std::vector<AxisMark> TimeMarks(const TrendRange& range, int count) {
    std::vector<AxisMark> marks;
    count = std::max(count, 2);
    for (int i = 0; i < count; ++i) {
        const double at = static_cast<double>(range.fromMs) +
                          static_cast<double>(range.toMs - range.fromMs) * i / (count - 1);
        WallTime t{std::chrono::milliseconds(std::llround(at))};
        // "2026-12-10T04:30:01.123" -> "04:30:01"
        marks.push_back({at, IsoLocalTime(t).substr(11, 8)});
    }
    return marks;
}

std::vector<AxisMark> ValueMarks(const TrendRange& range, int count) {
    std::vector<AxisMark> marks;
    count = std::max(count, 2);
    for (int i = 0; i < count; ++i) {
        const double at = range.low + (range.high - range.low) * i / (count - 1);
        char text[32];
        // A mark that should be zero may miss it by a rounding step.
        const double shown = std::fabs(at) < (range.high - range.low) * 1e-9 ? 0.0 : at;
        std::snprintf(text, sizeof text, "%.6g", shown);
        marks.push_back({at, text});
    }
    return marks;
}

} // namespace tool
