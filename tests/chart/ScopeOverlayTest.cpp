#include "ChartTestSupport.h"
#include "chart/core/ChartCursor.h"
#include "chart/core/ScopeHold.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<double> xValues(const TChartSeries& s)
{
    std::vector<double> out;
    for (int i = 0; i < s.Count(); ++i) {
        out.push_back(s.XValues().Value(i));
    }
    return out;
}

// Scripts of what reaches the scope: 'p' a point (X counts up from 0 over the whole script),
// 'R' a scope-data reset, 'H' hold pressed, 'U' released. While held the series never changes;
// after the release it holds what it would have held without the hold.
TEST(ScopeHoldTest, PointsAndResetsDuringAHoldShowOnRelease)
{
    struct Case {
        std::string script;
        std::vector<double> after;
    };
    const std::vector<Case> cases{
        {"ppHppU", {0, 1, 2, 3}},
        {"ppHRppU", {2, 3}},
        {"ppHppRpU", {4}},
        {"ppHRU", {}},
        {"HU", {}},
        {"pHUpHpU", {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        RecordingChart chart;
        TScopeHold hold(chart, *chart.series);
        std::vector<double> atHold;
        double x = 0;
        for (char op : c.script) {
            switch (op) {
            case 'p':
                hold.AddPoint(x, 10 * x);
                ++x;
                break;
            case 'R':
                hold.Reset();
                break;
            case 'H':
                hold.SetHeld(true);
                atHold = xValues(*chart.series);
                break;
            case 'U':
                EXPECT_EQ(xValues(*chart.series), atHold);
                hold.SetHeld(false);
                break;
            }
        }
        EXPECT_EQ(xValues(*chart.series), c.after);
        EXPECT_EQ(hold.PendingCount(), 0);
    }
}

TEST(ScopeHoldTest, ZoomWorksDuringAHoldAndAResetMetMeanwhileUndoesItOnRelease)
{
    RecordingChart chart;
    TScopeHold hold(chart, *chart.series);
    for (int i = 0; i <= 100; ++i) {
        hold.AddPoint(i, i);
    }
    chart.BuildPicture();
    hold.SetHeld(true);
    hold.AddPoint(101, 500);
    chart.ZoomByPercent(120);
    EXPECT_EQ(chart.BottomAxis().Minimum(), 20); // the held points, not the new one
    hold.SetHeld(false);
    EXPECT_TRUE(chart.Zoomed()); // no reset came: the operator's view stays

    hold.SetHeld(true);
    hold.Reset();
    hold.AddPoint(0, 7);
    EXPECT_TRUE(chart.Zoomed());
    EXPECT_EQ(chart.series->Count(), 102);
    hold.SetHeld(false);
    EXPECT_FALSE(chart.Zoomed());
    EXPECT_EQ(chart.series->Count(), 1);
}

// The nearest point by walking out from the mouse's X equals the nearest by looking at all.
TEST(ChartCursorTest, NearestPointIsTheClosestInPixels)
{
    RecordingChart chart;
    for (int i = 0; i < 400; ++i) {
        chart.series->AddPoint(i * 2.5, (i * 7919) % 613 - 300); // a jagged line
    }
    chart.BottomAxis().SetMinMax(100, 300); // zoomed: points beyond the plot count too
    chart.BuildPicture();
    const TChartAxis& h = chart.BottomAxis();
    const TChartAxis& v = chart.LeftAxis();
    for (int y = -50; y < 500; y += 37) {
        for (int x = -40; x < 760; x += 23) {
            int expected = 0;
            double best = 1e300;
            for (int i = 0; i < chart.series->Count(); ++i) {
                const double dx = h.CalcPosValueExact(chart.series->XValues().Value(i)) - x;
                const double dy = v.CalcPosValueExact(chart.series->YValues().Value(i)) - y;
                if (dx * dx + dy * dy < best) {
                    best = dx * dx + dy * dy;
                    expected = i;
                }
            }
            const int got = chartmath::nearestPoint(*chart.series, x, y);
            ASSERT_GE(got, 0);
            const double gx = h.CalcPosValueExact(chart.series->XValues().Value(got)) - x;
            const double gy = v.CalcPosValueExact(chart.series->YValues().Value(got)) - y;
            EXPECT_DOUBLE_EQ(gx * gx + gy * gy, best) << x << "," << y << " expected " << expected;
        }
    }
}

TEST(ChartCursorTest, ReadoutShowsTheNearestPointWithTheAxisTitlesAsUnits)
{
    RecordingChart chart;
    EXPECT_EQ(chartmath::cursorReadout(chart, *chart.series, 300, 200), ""); // no points
    chart.series->AddPoint(0, 0);
    chart.series->AddPoint(12, -263);
    chart.series->AddPoint(24, 100);
    chart.BottomAxis().Title().SetCaption("mS");
    chart.BuildPicture();
    const int px = chart.BottomAxis().CalcPosValue(12);
    const int py = chart.LeftAxis().CalcPosValue(-263);
    EXPECT_EQ(chartmath::cursorReadout(chart, *chart.series, px + 3, py - 2), "X = 12 mS   Y = -263 V");
    const TChartRect plot = chart.ChartRect();
    EXPECT_EQ(chartmath::cursorReadout(chart, *chart.series, plot.Left - 1, py), "");
    EXPECT_EQ(chartmath::cursorReadout(chart, *chart.series, px, plot.Bottom + 1), "");
    chart.LeftAxis().Title().SetCaption("");
    EXPECT_EQ(chartmath::cursorReadout(chart, *chart.series, plot.Right, plot.Top), "X = 24 mS   Y = 100");
}

// Series2 lies behind Series1; the automatic axes cover both, paging included, and a reset of
// the live series leaves the overlay in place.
TEST(ScopeOverlayTest, OverlayIsDrawnBehindAndTheAxesCoverBoth)
{
    RecordingChart chart;
    TLineSeries* overlay = AddOverlaySeries(chart);
    EXPECT_EQ(overlay->Name(), "Series2");
    EXPECT_EQ(overlay->SeriesColor(), clGray);
    TScopeHold hold(chart, *chart.series);
    for (int i = 0; i <= 100; ++i) {
        hold.AddPoint(i * 10, i);
    }
    for (int i = 0; i <= 50; ++i) {
        overlay->AddPoint(i * 4, -3 * i);
    }
    const TChartPicture& p = chart.BuildPicture();
    ASSERT_EQ(p.Series.size(), 2u);
    EXPECT_EQ(p.Series[0].Series, overlay); // drawn first, so behind
    EXPECT_EQ(p.Series[1].Series, chart.series);
    EXPECT_EQ(p.Series[0].Runs.front().Color, clGray);
    EXPECT_EQ(chart.BottomAxis().Minimum(), 0);
    EXPECT_EQ(chart.BottomAxis().Maximum(), 1000); // the live series' end, though the overlay comes first
    EXPECT_EQ(chart.LeftAxis().Minimum(), -150);
    EXPECT_EQ(chart.LeftAxis().Maximum(), 100);

    chart.ZoomByPercent(120);
    hold.Reset();
    EXPECT_EQ(chart.series->Count(), 0);
    EXPECT_EQ(overlay->Count(), 51);
    chart.BuildPicture();
    EXPECT_EQ(chart.BottomAxis().Maximum(), 200);
    EXPECT_EQ(chart.LeftAxis().Maximum(), 0);
    // The mouse reads the live series only.
    EXPECT_EQ(chartmath::cursorReadout(chart, *chart.series, 300, 200), "");
}

} // namespace
