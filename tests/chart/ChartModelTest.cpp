#include "ChartTestSupport.h"
#include "chart/core/AxisMaths.h"
#include "chart/core/LabelFormat.h"

#include <gtest/gtest.h>

#include <QSet>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

const TAxisPicture* axisPicture(const TChartPicture& p, const TChartAxis& axis)
{
    for (const auto& a : p.Axes) {
        if (a.Axis == &axis) {
            return &a;
        }
    }
    return nullptr;
}

QStringList labelTexts(const TAxisPicture& a)
{
    QStringList out;
    for (const auto& l : a.Labels) {
        out << l.Text;
    }
    return out;
}

int labelCentre(const TAxisPicture& a, int i, bool horizontal)
{
    const TChartRect& r = a.Labels[std::size_t(i)].Rect;
    return horizontal ? (r.Left + r.Right) / 2 : (r.Top + r.Bottom) / 2;
}

TEST(ChartModelTest, LayoutOfTheScopeForm)
{
    RecordingChart chart;
    chart.series->AddPoint(0, 0);
    chart.series->AddPoint(1000, 100);
    const TChartPicture& p = chart.BuildPicture();
    // Bevel 1; margins 3 % (21), 5 % (22), 3 % (21) and 4 % (17) of 705 × 449; the blank
    // title line (13) and 5 pixels; the bottom axis' title (13), labels (13) and ticks (2 + 4);
    // the left axis' title "V" (6), widest label "100" plus a blank (24) and ticks (6).
    EXPECT_EQ(p.Client, (TChartRect{1, 1, 703, 447}));
    EXPECT_EQ(p.Title.Rect, (TChartRect{22, 23, 682, 36}));
    EXPECT_EQ(p.ChartRect, (TChartRect{22 + 36, 23 + 13 + 5, 682, 430 - 32}));
    ASSERT_EQ(p.Axes.size(), 2u); // only the axes the series is bound to
    EXPECT_EQ(p.Axes[0].Axis, &chart.BottomAxis());
    EXPECT_EQ(p.Axes[1].Axis, &chart.LeftAxis());
    EXPECT_EQ(chart.BottomAxis().StartPos(), 58);
    EXPECT_EQ(chart.BottomAxis().EndPos(), 682);
    EXPECT_EQ(chart.LeftAxis().StartPos(), 41);
    EXPECT_EQ(chart.LeftAxis().EndPos(), 398);

    // Bottom labels centred on their ticks with their tops below the ticks; the title below.
    const TAxisPicture& bottom = p.Axes[0];
    ASSERT_FALSE(bottom.Labels.empty());
    EXPECT_EQ(bottom.Labels.front().Rect.Top, 398 + 6);
    EXPECT_EQ(bottom.Title.Text, "ms");
    EXPECT_EQ(bottom.Title.Rect.Top, 398 + 6 + 13);
    EXPECT_EQ((bottom.Title.Rect.Left + bottom.Title.Rect.Right) / 2, (58 + 682) / 2);
    // Left labels right-aligned against the ticks, centred on them; "V" written beyond them.
    const TAxisPicture& left = p.Axes[1];
    for (const auto& l : left.Labels) {
        EXPECT_EQ(l.Rect.Right, 58 - 6);
    }
    EXPECT_EQ(left.Title.Rect.Right, 58 - 6 - 24);
    EXPECT_EQ(left.TitleAngle, 0);
    // Ticks and grid at every label.
    EXPECT_EQ(left.TickPositions.size(), left.Labels.size());
    EXPECT_EQ(left.GridLines.size(), left.Labels.size());
    EXPECT_EQ(left.GridLines.front().X1, 59);
    EXPECT_EQ(left.GridLines.front().X2, 681);
}

TEST(ChartModelTest, MinorTicksAndInnerTicksOnlyWhenShown)
{
    RecordingChart chart;
    chart.addRamp(101);
    const TAxisPicture* left = axisPicture(chart.BuildPicture(), chart.LeftAxis());
    EXPECT_TRUE(left->MinorTicks.empty()); // hidden by the form
    EXPECT_TRUE(left->InnerTicks.empty());

    chart.LeftAxis().MinorTicks().Visible = true; // one minor tick between labels
    chart.LeftAxis().SetTickInnerLength(3);
    const TAxisPicture* shown = axisPicture(chart.BuildPicture(), chart.LeftAxis());
    ASSERT_GE(shown->TickPositions.size(), 2u);
    EXPECT_EQ(shown->MinorTicks.size(), shown->TickPositions.size() - 1);
    const int a = shown->TickPositions[0];
    const int b = shown->TickPositions[1];
    EXPECT_EQ(shown->MinorTicks[0].Y1, a + int(chartmath::nearest((b - a) / 2.0)));
    EXPECT_EQ(shown->MinorTicks[0].X1 - shown->MinorTicks[0].X2, 1); // 2 pixels long, outwards
    ASSERT_EQ(shown->InnerTicks.size(), shown->TickPositions.size());
    EXPECT_EQ(shown->InnerTicks[0].X2, chart.ChartRect().Left + 3);
}

TEST(ChartModelTest, EmptyChartShowsOneZeroLabelInTheMiddleOfEachAxis)
{
    RecordingChart chart;
    const TChartPicture& p = chart.BuildPicture();
    for (const TChartAxis* axis : {&chart.BottomAxis(), &chart.LeftAxis()}) {
        EXPECT_EQ(axis->EffectiveMinimum(), 0);
        EXPECT_EQ(axis->EffectiveMaximum(), 0);
        const TAxisPicture* a = axisPicture(p, *axis);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(labelTexts(*a), QStringList{"0"});
        EXPECT_EQ(labelCentre(*a, 0, axis->Horizontal()), axis->CenterPos());
    }
    ASSERT_EQ(p.Series.size(), 1u);
    EXPECT_TRUE(p.Series[0].Runs.empty());
}

TEST(ChartModelTest, SinglePointAndFlatLineSitInTheMiddle)
{
    RecordingChart chart;
    chart.series->AddPoint(5, 7);
    const TChartPicture& one = chart.BuildPicture();
    EXPECT_EQ(chart.BottomAxis().EffectiveMinimum(), 5);
    EXPECT_EQ(chart.BottomAxis().EffectiveMaximum(), 5);
    EXPECT_EQ(chart.LeftAxis().EffectiveRange(), 0);
    EXPECT_EQ(labelTexts(*axisPicture(one, chart.BottomAxis())), QStringList{"5"});
    EXPECT_EQ(labelTexts(*axisPicture(one, chart.LeftAxis())), QStringList{"7"});
    EXPECT_TRUE(one.Series[0].Runs.empty()); // a line needs two points

    chart.series->Clear();
    for (int x = 0; x <= 20; x += 10) {
        chart.series->AddPoint(x, 3);
    }
    const TChartPicture& flat = chart.BuildPicture();
    const TAxisPicture* left = axisPicture(flat, chart.LeftAxis());
    EXPECT_EQ(labelTexts(*left), QStringList{"3"});
    EXPECT_EQ(labelCentre(*left, 0, false), chart.LeftAxis().CenterPos());
    ASSERT_EQ(flat.Series[0].Runs.size(), 1u);
    for (const QPoint& pt : flat.Series[0].Runs[0].Points) {
        EXPECT_EQ(pt.y(), chart.LeftAxis().CenterPos());
    }
    EXPECT_EQ(flat.Series[0].Runs[0].Points.front().x(), chart.ChartRect().Left);
    EXPECT_EQ(flat.Series[0].Runs[0].Points.back().x(), chart.ChartRect().Right);
}

TEST(ChartModelTest, PagingLimitsTheBottomAxisToThe32000thPoint)
{
    RecordingChart chart;
    chart.addRamp(32001, 0.001);
    const TChartPicture& p = chart.BuildPicture();
    EXPECT_EQ(chart.BottomAxis().Minimum(), 0);
    EXPECT_EQ(chart.BottomAxis().Maximum(), 31999);
    // Paging never limits Y.
    EXPECT_DOUBLE_EQ(chart.LeftAxis().Maximum(), 32);
    const TSeriesPicture& s = p.Series[0];
    EXPECT_EQ(s.FirstIndex, 0);
    EXPECT_EQ(s.LastIndex, 32000);
    ASSERT_EQ(s.Runs.size(), 1u);
    EXPECT_EQ(s.Runs[0].Points.size(), 32001); // the segment to the last point is drawn, clipped
    EXPECT_EQ(chart.NumPages(), 2);

    chart.SetPage(2);
    chart.BuildPicture();
    EXPECT_EQ(chart.BottomAxis().Minimum(), 32000);
    EXPECT_EQ(chart.BottomAxis().Maximum(), 32000);
    chart.SetPage(7);
    EXPECT_EQ(chart.Page(), 2);
    chart.SetMaxPointsPerPage(0);
    EXPECT_EQ(chart.Page(), 1);
    chart.BuildPicture();
    EXPECT_EQ(chart.BottomAxis().Maximum(), 32000);
}

TEST(ChartModelTest, PartlyFilledPageEndsAtTheLastPointUnlessScaledToThePage)
{
    RecordingChart chart;
    chart.addRamp(100);
    chart.BuildPicture();
    EXPECT_EQ(chart.BottomAxis().Maximum(), 99);
    chart.SetScaleLastPage(false);
    chart.BuildPicture();
    EXPECT_DOUBLE_EQ(chart.BottomAxis().Maximum(), 99.0 * 32000 / 100);
}

TEST(ChartModelTest, SetterFailuresCarryTheirTexts)
{
    RecordingChart chart;
    try {
        chart.SetMaxPointsPerPage(-1);
        FAIL();
    } catch (const EChartException& e) {
        EXPECT_STREQ(e.what(), "MaxPointsPerPage must be >= 0");
    }
    EXPECT_EQ(chart.MaxPointsPerPage(), 32000);

    TChartAxis& axis = chart.LeftAxis();
    axis.SetMinMax(0, 10);
    try {
        axis.SetMinimum(11);
        FAIL();
    } catch (const EChartException& e) {
        EXPECT_EQ(e.Message(), "Axis Minimum Value must be <= Maximum");
    }
    try {
        axis.SetMaximum(-1);
        FAIL();
    } catch (const EChartException& e) {
        EXPECT_EQ(e.Message(), "Axis Maximum Value must be >= Minimum");
    }
    EXPECT_EQ(axis.Minimum(), 0);
    EXPECT_EQ(axis.Maximum(), 10);

    chart.SetLoading(true);
    EXPECT_NO_THROW(axis.SetMinimum(20));
    chart.SetLoading(false);

    // Both at once never fails: swapped, and kept 1e-10 apart.
    axis.SetMinMax(8, 2);
    EXPECT_EQ(axis.Minimum(), 2);
    EXPECT_EQ(axis.Maximum(), 8);
    EXPECT_FALSE(axis.Automatic() || axis.AutomaticMinimum() || axis.AutomaticMaximum());
    axis.SetMinMax(5, 5);
    EXPECT_EQ(axis.Maximum(), 5 + 1e-10);
}

TEST(ChartModelTest, ValueAndPixelMapping)
{
    TChartModel model;
    TChartAxis& h = model.BottomAxis();
    TChartAxis& v = model.LeftAxis();
    h.SetGeometry(100, 700, 0);
    v.SetGeometry(50, 650, 0);
    h.SetMinMax(0, 1000);
    v.SetMinMax(0, 1000);
    EXPECT_EQ(h.CalcPosValue(500), 400);
    EXPECT_EQ(v.CalcPosValue(500), 350);
    EXPECT_EQ(v.CalcPosValue(1000), 50); // values grow upwards
    EXPECT_EQ(h.CalcPosValue(-1000), -500);
    EXPECT_DOUBLE_EQ(h.CalcPosPoint(400), 500);
    EXPECT_DOUBLE_EQ(v.CalcPosPoint(50), 1000);
    // Offsets beyond the int range and non-numbers go to the middle.
    EXPECT_EQ(h.CalcPosValue(1e30), h.CenterPos());
    EXPECT_EQ(h.CalcPosValue(std::nan("")), h.CenterPos());

    // Halves to even: offsets 0.5, 1.5, 2.5 on a 1-pixel-per-2 axis.
    h.SetGeometry(0, 10, 0);
    h.SetMinMax(0, 20);
    EXPECT_EQ(h.CalcPosValue(1), 0);
    EXPECT_EQ(h.CalcPosValue(3), 2);
    EXPECT_EQ(h.CalcPosValue(5), 2);
    EXPECT_EQ(h.CalcPosValue(7), 4);

    h.SetGeometry(10, 10, 0);
    EXPECT_EQ(h.CalcPosPoint(50), 0); // no length, no value
}

TEST(ChartModelTest, LabelsOfAThousandOnASixHundredPixelAxis)
{
    RecordingChart chart;
    chart.SetChartBounds(679, 449); // margins of 20 and the left axis' 36 leave 600 pixels
    chart.series->AddPoint(0, 0);
    chart.series->AddPoint(1000, 100);
    const TChartPicture& p = chart.BuildPicture();
    ASSERT_EQ(chart.BottomAxis().AxisSize(), 600);
    const TAxisPicture* bottom = axisPicture(p, chart.BottomAxis());
    // Labels of 5 characters (30 pixels): 18 allowed, the step climbs to 100.
    EXPECT_EQ(bottom->Step, 100);
    EXPECT_EQ(labelTexts(*bottom).size(), 11);
    EXPECT_EQ(labelTexts(*bottom).front(), chartmath::formatValue(1000, "#,##0.###"));
    EXPECT_EQ(labelCentre(*bottom, 0, true), chart.BottomAxis().EndPos());
    EXPECT_EQ(labelCentre(*bottom, 10, true), chart.BottomAxis().StartPos());
}

TEST(ChartModelTest, SmallRangeStepClimbsFromTheSmallestStep)
{
    RecordingChart chart;
    chart.series->AddPoint(0, 0.2);
    chart.series->AddPoint(1, 0.7);
    const TChartPicture& p = chart.BuildPicture();
    const TAxisPicture* left = axisPicture(p, chart.LeftAxis());
    // 357 pixels, 13-pixel labels with a 1-pixel gap: 26 allowed, so 0.02 (25 steps).
    EXPECT_EQ(chart.LeftAxis().AxisSize(), 357);
    EXPECT_DOUBLE_EQ(left->Step, 0.02);
    EXPECT_EQ(left->Labels.front().Text, "0.7");
    EXPECT_EQ(left->Labels.back().Text, "0.2");
    EXPECT_EQ(left->Labels.size(), 26u);
}

TEST(ChartModelTest, TickPositionsStopAtTwoThousand)
{
    RecordingChart chart;
    chart.SetChartBounds(300000, 449);
    chart.series->AddPoint(0, 0);
    chart.series->AddPoint(5000, 1);
    const TChartPicture& p = chart.BuildPicture();
    const TAxisPicture* bottom = axisPicture(p, chart.BottomAxis());
    EXPECT_EQ(bottom->Step, 1);
    EXPECT_EQ(bottom->Labels.size(), 5001u);
    EXPECT_EQ(bottom->TickPositions.size(), 2000u);
}

TEST(ChartModelTest, LineEntersFromTheLeftEdgeAndIsClippedAtThePlot)
{
    RecordingChart chart;
    for (int x = 0; x <= 10; ++x) {
        chart.series->AddPoint(x, x == 6 ? 1e7 : 2.0 * x);
    }
    chart.BottomAxis().SetMinMax(2.5, 8.5);
    chart.LeftAxis().SetMinMax(0, 20);
    const TChartPicture& p = chart.BuildPicture();
    const TChartRect plot = chart.ChartRect();
    const TSeriesPicture& s = p.Series[0];
    EXPECT_EQ(s.FirstIndex, 3);
    EXPECT_EQ(s.LastIndex, 9); // the first point at or beyond the right edge
    // Point 6 lies far above: the line climbs to the top edge and comes back down from it.
    ASSERT_EQ(s.Runs.size(), 2u);
    const QPolygon& in = s.Runs[0].Points;
    const QPolygon& out = s.Runs[1].Points;
    // Entry at the left edge at y = 5 (between (2, 4) and (3, 6)); points 3, 4, 5, then the top.
    ASSERT_EQ(in.size(), 5);
    EXPECT_EQ(in[0], QPoint(plot.Left, chart.LeftAxis().CalcPosValue(5)));
    EXPECT_EQ(in[1], QPoint(chart.BottomAxis().CalcPosValue(3), chart.LeftAxis().CalcPosValue(6)));
    EXPECT_EQ(in[4].y(), plot.Top);
    EXPECT_NEAR(in[4].x(), chart.BottomAxis().CalcPosValue(5), 1);
    // From the top edge to points 7, 8, and out at the right edge towards point 9.
    ASSERT_EQ(out.size(), 4);
    EXPECT_EQ(out[0].y(), plot.Top);
    EXPECT_NEAR(out[0].x(), chart.BottomAxis().CalcPosValue(7), 1);
    EXPECT_EQ(out[1], QPoint(chart.BottomAxis().CalcPosValue(7), chart.LeftAxis().CalcPosValue(14)));
    EXPECT_EQ(out[3].x(), plot.Right);
    EXPECT_NEAR(out[3].y(), chart.LeftAxis().CalcPosValue(17), 1);

    // Nothing is visible to the right of every point.
    chart.BottomAxis().SetMinMax(20, 30);
    EXPECT_TRUE(chart.BuildPicture().Series[0].Runs.empty());
}

// Samples 100, 104, 98, 30000, 101 looked at ever closer around the baseline: the spike's two
// segments cross the plot at the places the unclipped line gives, however far away its top
// lies (beyond 32766 pixels, and beyond 2^31 pixels).
TEST(ChartModelTest, SpikeStaysVisibleAtEveryZoom)
{
    RecordingChart chart;
    const std::vector<double> samples{100, 104, 98, 30000, 101};
    for (std::size_t k = 0; k < samples.size(); ++k) {
        chart.series->AddPoint(double(k), samples[k]);
    }
    for (const auto& [lo, hi] : std::vector<std::pair<double, double>>{{56, 145}, {90, 110}, {99, 101},
             {99.99, 100.01}, {99.9999, 100.0001}, {100 - 1e-7, 100 + 1e-7}}) {
        SCOPED_TRACE(hi - lo);
        chart.LeftAxis().SetMinMax(lo, hi);
        const TChartPicture& p = chart.BuildPicture();
        const TChartRect plot = chart.ChartRect();
        const TChartAxis& h = chart.BottomAxis();
        // Where each side of the spike meets the top edge, from the straight lines 2-3 and 3-4.
        const double up = 2 + (hi - samples[2]) / (samples[3] - samples[2]);
        const double down = 3 + (samples[3] - hi) / (samples[3] - samples[4]);
        std::vector<QPoint> atTop;
        for (const TSeriesRun& run : p.Series[0].Runs) {
            for (const QPoint& pt : run.Points) {
                EXPECT_TRUE(plot.Contains(pt.x(), pt.y()));
                if (pt.y() == plot.Top) {
                    atTop.push_back(pt);
                }
            }
        }
        auto reachesTopAt = [&](double x) {
            const double pixel
                = h.StartPos() + (x - h.EffectiveMinimum()) * h.AxisSize() / h.EffectiveRange();
            return std::any_of(
                atTop.begin(), atTop.end(), [&](const QPoint& pt) { return std::fabs(pt.x() - pixel) <= 1; });
        };
        EXPECT_TRUE(reachesTopAt(up));
        if (hi > samples[4]) { // otherwise the way down stays above the plot
            EXPECT_TRUE(reachesTopAt(down));
        }
    }
}

// The label format shows three decimals: labels closer than that would read the same.
TEST(ChartModelTest, NoTwoLabelsReadTheSame)
{
    const std::vector<std::pair<double, double>> ranges{
        {0, 1e-10}, {0, 1e-6}, {1, 1.0001}, {-0.004, 0.004}, {1000, 1000.01}, {0.2, 0.7}, {-5e6, 5e6}};
    for (const auto& [lo, hi] : ranges) {
        SCOPED_TRACE(QString("%1 … %2").arg(lo).arg(hi).toStdString());
        RecordingChart chart;
        chart.series->AddPoint(0, 0);
        chart.series->AddPoint(1, 1);
        chart.LeftAxis().SetMinMax(lo, hi);
        chart.BottomAxis().SetMinMax(lo, hi);
        const TChartPicture& p = chart.BuildPicture();
        for (const TChartAxis* axis : {&chart.LeftAxis(), &chart.BottomAxis()}) {
            const TAxisPicture* a = axisPicture(p, *axis);
            ASSERT_NE(a, nullptr);
            EXPECT_GE(a->Step, 0.001);
            const QStringList texts = labelTexts(*a);
            EXPECT_EQ(texts.size(), QSet<QString>(texts.begin(), texts.end()).size())
                << texts.join(' ').toStdString();
        }
    }
}

TEST(ChartModelTest, SegmentsTakeThePointColour)
{
    RecordingChart chart;
    chart.series->AddPoint(0, 0);
    chart.series->AddPoint(1, 1);
    chart.series->AddPoint(2, 0, QString(), clBlue);
    chart.series->AddPoint(3, 1, QString(), clBlue);
    chart.series->AddPoint(4, 0);
    const TSeriesPicture& s = chart.BuildPicture().Series[0];
    ASSERT_EQ(s.Runs.size(), 3u);
    EXPECT_EQ(s.Runs[0].Color, clRed);
    EXPECT_EQ(s.Runs[0].Points.size(), 2);
    EXPECT_EQ(s.Runs[1].Color, clBlue);
    EXPECT_EQ(s.Runs[1].Points.size(), 3); // from point 1 to point 3
    EXPECT_EQ(s.Runs[2].Color, clRed);
    EXPECT_EQ(s.Runs[2].Points.size(), 2);
}

TEST(ChartModelTest, InactiveSeriesLeavesItsAxesHiddenAndUnranged)
{
    RecordingChart chart;
    chart.addRamp(10);
    chart.series->SetActive(false);
    const TChartPicture& p = chart.BuildPicture();
    EXPECT_TRUE(p.Axes.empty());
    EXPECT_TRUE(p.Series.empty());
    // With no active series bound, the inactive one still ranges the axis.
    EXPECT_EQ(chart.BottomAxis().Maximum(), 9);
}

} // namespace
