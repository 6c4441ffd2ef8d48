// The live trend's content without a window: series per row, the ranges that keep
// every point in view, the mapping of points to pixels and the axis marks.
#include "tool/TrendPlot.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

const tool::WallTime T0 = std::chrono::system_clock::from_time_t(1781000000);

TEST(TrendPlot, EachRowIsOneSeriesAndTakesOnlyItsOwnPoints) {
    tool::TrendPlot plot;
    EXPECT_TRUE(plot.AddSeries(1, "Rif 1"));
    EXPECT_TRUE(plot.AddSeries(2, "Rif 2"));
    EXPECT_FALSE(plot.AddSeries(2, "again")); // a row already plotted stays one series
    EXPECT_TRUE(plot.AddPoint(1, 3.5, T0));
    EXPECT_TRUE(plot.AddPoint(2, 42, T0 + 1s));
    EXPECT_TRUE(plot.AddPoint(2, 43, T0 + 2s));
    EXPECT_FALSE(plot.AddPoint(3, 1, T0)); // not plotted
    ASSERT_EQ(plot.Series().size(), 2u);
    EXPECT_EQ(plot.Series()[1].name, "Rif 2");
    EXPECT_EQ(plot.PointCount(1), 1);
    EXPECT_EQ(plot.PointCount(2), 2);
    EXPECT_EQ(plot.PointCount(3), 0);
    EXPECT_EQ(plot.Series()[1].points[1].ms - plot.Series()[1].points[0].ms, 1000);
}

struct RangeCase {
    const char* what;
    std::vector<std::pair<int, double>> points; // seconds after T0, value
    int64_t spanMs;
    double low, high;
};

const RangeCase RangeCases[] = {
    // 5 % of the values' spread above and below, the times as they are.
    {"spread", {{0, 0}, {30, 100}}, 30000, -5, 105},
    // A single point: at least 10 s and 1 % of the value (or 0.5) around it.
    {"one point", {{0, 1000}}, 10000, 990, 1010},
    {"flat small", {{0, 2}, {20, 2}}, 20000, 1.5, 2.5},
    {"negative", {{0, -200}, {1, -200}}, 10000, -202, -198},
};

class TrendRanges : public ::testing::TestWithParam<RangeCase> {};

TEST_P(TrendRanges, KeepEveryPointInView) {
    tool::TrendPlot plot;
    plot.AddSeries(1, "a");
    for (auto [seconds, value] : GetParam().points)
        plot.AddPoint(1, value, T0 + std::chrono::seconds(seconds));
    tool::TrendRange range = plot.Range(T0 + 1h);
    EXPECT_EQ(range.fromMs, 1781000000LL * 1000);
    EXPECT_EQ(range.toMs - range.fromMs, GetParam().spanMs);
    EXPECT_DOUBLE_EQ(range.low, GetParam().low);
    EXPECT_DOUBLE_EQ(range.high, GetParam().high);
}

INSTANTIATE_TEST_SUITE_P(Cases, TrendRanges, ::testing::ValuesIn(RangeCases));

TEST(TrendPlot, WithoutPointsTheRangeIsTheLastMinute) {
    tool::TrendPlot plot;
    plot.AddSeries(1, "a");
    tool::TrendRange range = plot.Range(T0);
    EXPECT_EQ(range.toMs, 1781000000LL * 1000);
    EXPECT_EQ(range.toMs - range.fromMs, 60000);
    EXPECT_LT(range.low, range.high);
}

TEST(TrendPlot, PointsMapIntoThePlotAreaWithValuesGrowingUpwards) {
    const tool::TrendRange range{1000, 11000, 0, 100};
    const tool::PlotArea area{50, 20, 550, 320};
    EXPECT_EQ(tool::ToPixel(range, area, 1000, 0), (tool::PlotPixel{50, 320}));
    EXPECT_EQ(tool::ToPixel(range, area, 11000, 100), (tool::PlotPixel{550, 20}));
    EXPECT_EQ(tool::ToPixel(range, area, 6000, 25), (tool::PlotPixel{300, 245}));
    // Outside the range, outside the area.
    EXPECT_GT(tool::ToPixel(range, area, 12000, 0).x, 550);
    EXPECT_GT(tool::ToPixel(range, area, 1000, -10).y, 320);
    // An empty span does not divide by zero.
    EXPECT_EQ(tool::ToPixel({5, 5, 1, 1}, area, 5, 1), (tool::PlotPixel{50, 320}));
}

TEST(TrendPlot, AxisMarksSpanTheRangeWithReadableLabels) {
    const int64_t from = 1781000000LL * 1000;
    const tool::TrendRange range{from, from + 20000, -1, 1};
    auto times = tool::TimeMarks(range, 3);
    ASSERT_EQ(times.size(), 3u);
    EXPECT_DOUBLE_EQ(times[0].at, static_cast<double>(from));
    EXPECT_DOUBLE_EQ(times[2].at, static_cast<double>(from + 20000));
    // Local time of day: the first and last ten seconds apart twice over.
    EXPECT_EQ(times[0].label, tool::IsoLocalTime(T0).substr(11, 8));
    EXPECT_EQ(times[0].label.size(), 8u);
    EXPECT_EQ(times[1].label, tool::IsoLocalTime(T0 + 10s).substr(11, 8));

    auto values = tool::ValueMarks(range, 5);
    ASSERT_EQ(values.size(), 5u);
    std::vector<std::string> labels;
    for (const auto& mark : values)
        labels.push_back(mark.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"-1", "-0.5", "0", "0.5", "1"}));
    EXPECT_EQ(tool::ValueMarks({0, 1, 12345.678, 12345.679}, 2)[0].label, "12345.7");
}

} // namespace
