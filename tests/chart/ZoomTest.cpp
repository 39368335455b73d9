#include "ChartTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Range {
    double min, max;
};

Range range(const TChartAxis& a)
{
    return {a.Minimum(), a.Maximum()};
}

bool automatic(const TChartAxis& a)
{
    return a.Automatic() && a.AutomaticMinimum() && a.AutomaticMaximum();
}

// 101 points: X 0 … 100, Y 0 … 100, drawn once so the mouse has a layout to work on.
class ZoomTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        chart.addRamp(101);
        chart.BuildPicture();
    }
    RecordingChart chart;
};

TEST_F(ZoomTest, PlusTwiceAndMinusOnAHundred)
{
    chart.ZoomByPercent(120);
    EXPECT_DOUBLE_EQ(chart.BottomAxis().Minimum(), 20);
    EXPECT_DOUBLE_EQ(chart.BottomAxis().Maximum(), 80);
    EXPECT_TRUE(chart.Zoomed());
    EXPECT_FALSE(chart.ScalesRestored());
    chart.ZoomByPercent(120);
    EXPECT_DOUBLE_EQ(chart.BottomAxis().Minimum(), 32);
    EXPECT_DOUBLE_EQ(chart.BottomAxis().Maximum(), 68);
    EXPECT_DOUBLE_EQ(chart.LeftAxis().Minimum(), 32);
    EXPECT_EQ(chart.repaints, 2); // redrawn at once each time

    chart.UndoZoom();
    EXPECT_FALSE(chart.Zoomed());
    EXPECT_TRUE(automatic(chart.BottomAxis()));
    chart.ZoomByPercent(80);
    EXPECT_DOUBLE_EQ(chart.BottomAxis().Minimum(), -20);
    EXPECT_DOUBLE_EQ(chart.BottomAxis().Maximum(), 120);
    // "+" then "-" does not give the view back: 0.6 S, then 0.84 S.
    chart.UndoZoom();
    chart.ZoomByPercent(120);
    chart.ZoomByPercent(80);
    const Range r = range(chart.BottomAxis());
    EXPECT_NEAR(r.max - r.min, 84, 1e-9);
    chart.UndoZoom();
    chart.BuildPicture();
    EXPECT_EQ(chart.BottomAxis().Minimum(), 0);
    EXPECT_EQ(chart.BottomAxis().Maximum(), 100);
}

TEST_F(ZoomTest, ZoomByPercentLeavesAxesWithoutPointsAlone)
{
    chart.ZoomByPercent(120);
    // The top and right axes carry no series: fixing them at 0 … 1e-10 would only hide points.
    for (const TChartAxis* a : {&chart.TopAxis(), &chart.RightAxis()}) {
        EXPECT_TRUE(automatic(*a));
    }
    EXPECT_FALSE(automatic(chart.BottomAxis()));
    EXPECT_TRUE(chart.DepthAxis().Minimum() == -0.5 && chart.DepthAxis().Maximum() == 10);
}

// "+", "-", a rectangle, a scroll or the wheel on a chart without points (at start, after
// "C") change nothing, so the samples that come next are seen in full.
TEST(ZoomEmptyChartTest, ZoomingNoPointsChangesNothing)
{
    const std::vector<std::pair<const char*, std::function<void(RecordingChart&)>>> gestures{
        {"plus", [](RecordingChart& c) { c.ZoomByPercent(120); }},
        {"minus", [](RecordingChart& c) { c.ZoomByPercent(80); }},
        {"rectangle", [](RecordingChart& c) { c.drag(mbLeft, 100, 100, 300, 250); }},
        {"scroll", [](RecordingChart& c) { c.drag(mbRight, 300, 200, 340, 260); }},
        {"wheel", [](RecordingChart& c) { c.MouseWheel(true); }},
    };
    for (bool afterReset : {false, true}) {
        for (const auto& [name, gesture] : gestures) {
            SCOPED_TRACE(std::string(name) + (afterReset ? " after a reset" : " at start"));
            RecordingChart chart;
            if (afterReset) {
                chart.addRamp(50);
                chart.ZoomByPercent(120);
                chart.series->Clear();
                chart.UndoZoom();
            }
            chart.BuildPicture();
            gesture(chart);
            for (const TChartAxis* a : chart.AxesList()) {
                if (!a->IsDepthAxis()) {
                    EXPECT_TRUE(automatic(*a));
                }
            }
            EXPECT_FALSE(chart.Zoomed());
            EXPECT_TRUE(chart.ScalesRestored());
            chart.series->AddPoint(0, -300);
            chart.series->AddPoint(1000, 700);
            chart.BuildPicture();
            EXPECT_EQ(range(chart.BottomAxis()).max, 1000);
            EXPECT_EQ(range(chart.LeftAxis()).min, -300);
        }
    }
}

TEST_F(ZoomTest, RectangleDragZoomsToTheValuesUnderItsCorners)
{
    const TChartAxis& h = chart.BottomAxis();
    const TChartAxis& v = chart.LeftAxis();
    const double x100 = h.CalcPosPoint(100);
    const double x300 = h.CalcPosPoint(300);
    const double y250 = v.CalcPosPoint(250);
    const double y100 = v.CalcPosPoint(100);
    chart.drag(mbLeft, 100, 100, 300, 250);
    EXPECT_TRUE(chart.Zoomed());
    EXPECT_DOUBLE_EQ(h.Minimum(), x100);
    EXPECT_DOUBLE_EQ(h.Maximum(), x300);
    EXPECT_DOUBLE_EQ(v.Minimum(), y250);
    EXPECT_DOUBLE_EQ(v.Maximum(), y100);
    // The rubber band: drawn on press, erased and drawn on each move, erased on release.
    ASSERT_EQ(chart.bands.size(), 6u);
    EXPECT_EQ(chart.bands.front(), (TChartRect{100, 100, 100, 100}));
    EXPECT_EQ(chart.bands.back(), (TChartRect{100, 100, 300, 250}));
    EXPECT_FALSE(chart.Zoom().Active);
    // Arrow while dragging, the resting crosshair afterwards.
    EXPECT_EQ(chart.cursors.front(), crDefault);
    EXPECT_EQ(chart.cursors.back(), crCross);
}

TEST_F(ZoomTest, ShortDragsChangeNothing)
{
    const std::array<std::array<int, 4>, 4> drags{
        {{100, 100, 116, 300}, {100, 100, 300, 116}, {100, 100, 84, 300}, {100, 100, 100, 100}}};
    for (const auto& d : drags) {
        chart.drag(mbLeft, d[0], d[1], d[2], d[3]);
        EXPECT_FALSE(chart.Zoomed());
        EXPECT_TRUE(chart.ScalesRestored());
        EXPECT_TRUE(automatic(chart.BottomAxis()));
        EXPECT_TRUE(automatic(chart.LeftAxis()));
        EXPECT_EQ(chart.bands.size() % 2, 0u); // every band drawn was erased
    }
}

TEST_F(ZoomTest, DragsTowardsTheLeftOrUpwardsUndo)
{
    const std::array<std::array<int, 4>, 3> drags{
        {{300, 250, 100, 100}, {100, 250, 300, 100}, {300, 100, 100, 250}}};
    for (const auto& d : drags) {
        chart.ZoomByPercent(120);
        ASSERT_TRUE(chart.Zoomed());
        chart.drag(mbLeft, d[0], d[1], d[2], d[3]);
        EXPECT_FALSE(chart.Zoomed());
        EXPECT_TRUE(chart.ScalesRestored());
        EXPECT_TRUE(automatic(chart.BottomAxis()));
        EXPECT_TRUE(automatic(chart.LeftAxis()));
    }
}

TEST_F(ZoomTest, ZoomThenScrollThenUndoReturnsThePreZoomView)
{
    chart.BottomAxis().SetMinMax(10, 90); // a fixed view before the first zoom
    chart.BuildPicture();
    chart.drag(mbLeft, 100, 100, 300, 250);
    const Range zoomed = range(chart.BottomAxis());
    chart.drag(mbRight, 200, 200, 260, 220);
    const Range scrolled = range(chart.BottomAxis());
    EXPECT_NE(scrolled.min, zoomed.min);
    chart.UndoZoom();
    EXPECT_EQ(chart.BottomAxis().Minimum(), 10);
    EXPECT_EQ(chart.BottomAxis().Maximum(), 90);
    EXPECT_FALSE(chart.BottomAxis().Automatic());
    EXPECT_TRUE(automatic(chart.LeftAxis()));
}

TEST_F(ZoomTest, UndoRestoresEachSavedFlag)
{
    chart.LeftAxis().SetMinMax(-5, 5);
    chart.LeftAxis().SetAutomaticMaximum(true);
    chart.ZoomByPercent(120);
    chart.UndoZoom();
    EXPECT_FALSE(chart.LeftAxis().Automatic());
    EXPECT_FALSE(chart.LeftAxis().AutomaticMinimum());
    EXPECT_TRUE(chart.LeftAxis().AutomaticMaximum());
    EXPECT_EQ(chart.LeftAxis().Minimum(), -5);
}

TEST_F(ZoomTest, NewPointsWhileZoomedDoNotMoveTheView)
{
    chart.ZoomByPercent(120);
    const Range before = range(chart.BottomAxis());
    for (int i = 101; i < 500; ++i) {
        chart.series->AddPoint(i, -i);
    }
    chart.BuildPicture();
    EXPECT_EQ(range(chart.BottomAxis()).min, before.min);
    EXPECT_EQ(range(chart.BottomAxis()).max, before.max);
    chart.UndoZoom();
    chart.BuildPicture();
    EXPECT_EQ(chart.BottomAxis().Maximum(), 499);
    EXPECT_EQ(chart.LeftAxis().Minimum(), -499);
}

TEST_F(ZoomTest, ScrollFollowsTheMouseFromItsPreviousPosition)
{
    const TChartAxis& h = chart.BottomAxis();
    const TChartAxis& v = chart.LeftAxis();
    const double perPixelX = h.EffectiveRange() / h.AxisSize();
    const double perPixelY = v.EffectiveRange() / v.AxisSize();
    chart.MouseDown(mbRight, 200, 200);
    EXPECT_TRUE(chart.Panning().Active);
    chart.MouseMove(210, 200);
    EXPECT_NEAR(h.Minimum(), -10 * perPixelX, 1e-9); // dragged right: earlier values come in
    EXPECT_TRUE(automatic(v)); // no vertical movement, no change
    chart.MouseMove(205, 190);
    EXPECT_NEAR(h.Minimum(), -5 * perPixelX, 1e-9);
    EXPECT_NEAR(v.Minimum(), -10 * perPixelY, 1e-9); // dragged up: lower values come in
    const int before = chart.invalidations;
    chart.MouseMove(205, 190);
    EXPECT_EQ(chart.invalidations, before);
    chart.MouseUp(mbLeft, 205, 190); // any release ends the scroll
    EXPECT_FALSE(chart.Panning().Active);
    EXPECT_FALSE(chart.Zoomed()); // scrolling is not zooming, but it saved the view
    EXPECT_FALSE(chart.ScalesRestored());
    chart.UndoZoom();
    EXPECT_TRUE(automatic(h));
}

TEST_F(ZoomTest, ScrollLimitedToOneDirection)
{
    chart.SetAllowPanning(pmHorizontal);
    chart.drag(mbRight, 200, 200, 220, 150);
    EXPECT_FALSE(automatic(chart.BottomAxis()));
    EXPECT_TRUE(automatic(chart.LeftAxis()));
    chart.UndoZoom();
    chart.SetAllowPanning(pmNone);
    chart.drag(mbRight, 200, 200, 220, 150);
    EXPECT_TRUE(automatic(chart.BottomAxis()));
}

TEST_F(ZoomTest, OnAllowScrollMayVetoOrChangeTheLimits)
{
    chart.OnAllowScroll = [](TChartModel*, TChartAxis* axis, double& min, double& max, bool& allow) {
        if (axis->Horizontal()) {
            allow = false;
        } else {
            min = 1;
            max = 2;
        }
    };
    chart.drag(mbRight, 200, 200, 220, 150);
    EXPECT_TRUE(automatic(chart.BottomAxis()));
    EXPECT_EQ(chart.LeftAxis().Minimum(), 1);
    EXPECT_EQ(chart.LeftAxis().Maximum(), 2);
}

TEST_F(ZoomTest, RightDragLeavingThePlotStopsForGood)
{
    const TChartRect plot = chart.ChartRect();
    chart.MouseDown(mbRight, 200, 200);
    chart.MouseMove(plot.Right + 5, 200);
    EXPECT_FALSE(chart.Panning().Active);
    EXPECT_TRUE(automatic(chart.BottomAxis()));
    chart.MouseMove(250, 210);
    chart.MouseMove(300, 220);
    EXPECT_TRUE(automatic(chart.BottomAxis()));
    EXPECT_TRUE(chart.ScalesRestored());
}

TEST_F(ZoomTest, LeavingTheChartEndsAScrollButNotAZoom)
{
    chart.MouseDown(mbRight, 200, 200);
    chart.MouseLeave();
    EXPECT_FALSE(chart.Panning().Active);
    chart.MouseDown(mbLeft, 100, 100);
    chart.MouseLeave();
    EXPECT_TRUE(chart.Zoom().Active);
    chart.MouseMove(300, 250);
    chart.MouseUp(mbLeft, 300, 250);
    EXPECT_TRUE(chart.Zoomed());
}

TEST_F(ZoomTest, OnlyOneDragAtATime)
{
    chart.MouseDown(mbLeft, 100, 100);
    chart.MouseDown(mbRight, 150, 150);
    EXPECT_FALSE(chart.Panning().Active);
    chart.MouseUp(mbRight, 150, 150); // not the zoom button: the zoom goes on
    EXPECT_TRUE(chart.Zoom().Active);
    chart.MouseMove(300, 250);
    chart.MouseUp(mbLeft, 300, 250);
    EXPECT_TRUE(chart.Zoomed());
}

TEST_F(ZoomTest, PressesOutsideSeriesAxesAndPlotStartNothing)
{
    const TChartRect plot = chart.ChartRect();
    chart.MouseDown(mbLeft, 5, 5); // margin
    EXPECT_FALSE(chart.Zoom().Active);
    chart.MouseDown(mbLeft, 300, plot.Top - 10); // the title line
    EXPECT_FALSE(chart.Zoom().Active);
    chart.MouseDown(mbLeft, 300, plot.Bottom + 12); // the bottom axis' labels
    EXPECT_TRUE(chart.Zoom().Active);
    chart.MouseUp(mbLeft, 300, plot.Bottom + 12);

    chart.SetAllowZoom(false);
    chart.MouseDown(mbLeft, 300, 200);
    EXPECT_FALSE(chart.Zoom().Active);
    chart.SetAllowZoom(true);
    chart.series->SetActive(false);
    chart.BuildPicture();
    chart.MouseDown(mbLeft, 300, 200);
    EXPECT_FALSE(chart.Zoom().Active);
}

TEST_F(ZoomTest, WheelShiftsTheVerticalAxesAndUndoGivesTheAutomaticViewBack)
{
    const Range before = range(chart.LeftAxis());
    chart.MouseWheel(true);
    EXPECT_NEAR(chart.LeftAxis().Minimum(), before.min + 3, 1e-9);
    EXPECT_NEAR(chart.LeftAxis().Maximum(), before.max + 3, 1e-9);
    EXPECT_TRUE(automatic(chart.BottomAxis()));
    EXPECT_FALSE(chart.Zoomed());
    EXPECT_FALSE(chart.ScalesRestored());
    chart.MouseWheel(false);
    chart.MouseWheel(false);
    EXPECT_NEAR(chart.LeftAxis().Minimum(), before.min + 3 - 3 - 3, 1e-9);
    EXPECT_EQ(chart.repaints, 3);

    // "><" (and the resets, which undo the zoom) return every axis to its automatic range,
    // so a capture arriving later is seen whole.
    chart.UndoZoom();
    for (const TChartAxis* a :
        {&chart.LeftAxis(), &chart.RightAxis(), &chart.TopAxis(), &chart.BottomAxis()}) {
        EXPECT_TRUE(automatic(*a));
    }
    chart.series->AddPoint(101, 5000);
    chart.BuildPicture();
    EXPECT_EQ(chart.LeftAxis().Maximum(), 5000);

    // After a zoom, the wheel's shift is undone with it.
    chart.ZoomByPercent(120);
    chart.MouseWheel(true);
    chart.UndoZoom();
    EXPECT_TRUE(automatic(chart.LeftAxis()));
}

TEST_F(ZoomTest, AnimatedZoomStepsAThirdOfTheWay)
{
    chart.SetAnimatedZoom(true);
    std::vector<double> minima;
    chart.OnZoom = [&](TChartModel*) { minima.push_back(chart.BottomAxis().Minimum()); };
    chart.ZoomByPercent(120);
    EXPECT_EQ(chart.repaints, 5 + 1); // AnimatedZoomSteps - 1 steps, then the final redraw
    EXPECT_EQ(minima, (std::vector<double>{20}));
}

TEST_F(ZoomTest, CursorIsTheCrosshairAtRest)
{
    chart.MouseMove(5, 5);
    chart.MouseMove(300, 200);
    ASSERT_GE(chart.cursors.size(), 2u);
    EXPECT_TRUE(
        std::all_of(chart.cursors.begin(), chart.cursors.end(), [](TCursor c) { return c == crCross; }));
}

} // namespace
