// The measuring cursors over the live trace and a reference in other units, and the samples
// the measurements take.

#include "chart/core/ChartCursors.h"
#include "ChartTestSupport.h"
#include "chart/core/ScopeHold.h"
#include "chart/core/TraceSamples.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Scope {
    Scope()
        : traces(chart, *chart.series)
        , hold(chart, *chart.series, &traces)
        , cursors(chart, traces)
    {
        hold.SetYUnit(QStringLiteral("V"));
        hold.SetXUnit(QStringLiteral("mS"));
        // Live: 0, 2, 4 … 20 mS, y = 10·x V.
        for (int i = 0; i <= 10; ++i) {
            hold.AddPoint(2 * i, 20 * i);
        }
        // №7 in A over µS: 0 … 20 mS as 0 … 20000 µS, a triangle up to 100 A at 10 mS.
        TTraceInfo info;
        info.id = 7;
        info.yUnit = QStringLiteral("A");
        info.xUnit = QStringLiteral("\u00B5S");
        traces.Show(info, {0, 10000, 20000}, {0, 100, 0});
        chart.BuildPicture();
    }
    RecordingChart chart;
    TChartTraces traces;
    TScopeHold hold;
    TChartCursors cursors;
};

} // namespace

TEST(ChartCursorsTest, ReadsEveryTraceBetweenItsSamplesAtBothCursors)
{
    Scope s;
    s.cursors.SetOn(TCursorId::A, true);
    s.cursors.SetOn(TCursorId::B, true);
    const struct {
        double a;
        double b;
        double liveA, liveB, refA, refB;
    } cases[] = {
        {3, 15, 30, 150, 30, 50}, // between samples of both traces
        {10, 10, 100, 100, 100, 100}, // on a sample
        {15, 3, 150, 30, 50, 30}, // B before A
    };
    for (const auto& c : cases) {
        s.cursors.MoveTo(TCursorId::A, c.a);
        s.cursors.MoveTo(TCursorId::B, c.b);
        const TCursorPairReading r = s.cursors.Read();
        EXPECT_EQ(r.xUnit, "mS");
        ASSERT_EQ(r.rows.size(), 2u);
        EXPECT_EQ(r.rows[0].name, QStringLiteral("Живо"));
        EXPECT_EQ(r.rows[1].unit, "A");
        EXPECT_NEAR(r.rows[0].a.value(), c.liveA, 1e-9) << c.a;
        EXPECT_NEAR(r.rows[0].b.value(), c.liveB, 1e-9) << c.b;
        EXPECT_NEAR(r.rows[1].a.value(), c.refA, 1e-9) << c.a;
        EXPECT_NEAR(r.rows[1].b.value(), c.refB, 1e-9) << c.b;
        const auto range = s.cursors.Range();
        ASSERT_TRUE(range);
        EXPECT_EQ(range->first, std::min(c.a, c.b));
        EXPECT_EQ(range->second, std::max(c.a, c.b));
    }

    // Off the traces' samples, and a cursor turned off: no value, no range.
    s.cursors.MoveTo(TCursorId::A, 25);
    s.cursors.SetOn(TCursorId::B, false);
    const TCursorPairReading r = s.cursors.Read();
    EXPECT_FALSE(r.rows[0].a);
    EXPECT_FALSE(r.rows[0].b);
    EXPECT_FALSE(r.b);
    EXPECT_FALSE(s.cursors.Range());
}

TEST(ChartCursorsTest, ArrowsStepOneSampleOfTheMeasuredTraceAndLinesAreGrabbedNearby)
{
    Scope s;
    s.cursors.SetOn(TCursorId::A, true);
    // Turned on, a cursor stands a third into the view.
    const TChartAxis& bottom = s.chart.BottomAxis();
    EXPECT_NEAR(
        *s.cursors.Position(TCursorId::A), bottom.EffectiveMinimum() + bottom.EffectiveRange() / 3, 1e-9);

    s.cursors.MoveTo(TCursorId::A, 5);
    const struct {
        int direction;
        double to;
    } steps[] = {{+1, 6}, {+1, 8}, {-1, 6}, {-1, 4}, {-1, 2}, {-1, 0}};
    for (const auto& st : steps) {
        s.cursors.Step(TCursorId::A, st.direction);
        EXPECT_EQ(*s.cursors.Position(TCursorId::A), st.to);
    }
    // The selected reference sets the samples: 0, 10 and 20 mS.
    s.traces.Select(7);
    for (const auto& st : {std::pair{+1, 10.0}, {+1, 20.0}, {-1, 10.0}, {-1, 0.0}}) {
        s.cursors.Step(TCursorId::A, st.first);
        EXPECT_DOUBLE_EQ(*s.cursors.Position(TCursorId::A), st.second);
    }

    s.cursors.SetOn(TCursorId::B, true);
    s.cursors.MoveTo(TCursorId::B, 16);
    EXPECT_EQ(s.cursors.Last(), TCursorId::B);
    const int a = *s.cursors.Pixel(TCursorId::A);
    const int b = *s.cursors.Pixel(TCursorId::B);
    EXPECT_EQ(s.cursors.At(a + TChartCursors::kGrabPixels), TCursorId::A);
    EXPECT_EQ(s.cursors.At(b - 2), TCursorId::B);
    EXPECT_EQ(s.cursors.At((a + b) / 2), std::nullopt);
}

TEST(ChartCursorsTest, ACursorTurnedOnOverAnEmptyChartIsPlacedWhenTheChartHasARange)
{
    RecordingChart chart;
    TChartTraces traces(chart, *chart.series);
    TChartCursors cursors(chart, traces);
    chart.BuildPicture();
    cursors.SetOn(TCursorId::B, true);
    EXPECT_FALSE(cursors.Position(TCursorId::B));
    EXPECT_FALSE(cursors.Pixel(TCursorId::B));
    for (int i = 0; i <= 30; ++i) {
        chart.series->AddPoint(i, i);
    }
    chart.BuildPicture();
    cursors.PlaceUnplaced();
    const TChartAxis& bottom = chart.BottomAxis();
    ASSERT_TRUE(cursors.Position(TCursorId::B));
    EXPECT_NEAR(
        *cursors.Position(TCursorId::B), bottom.EffectiveMinimum() + 2 * bottom.EffectiveRange() / 3, 1e-9);
}

TEST(ChartCursorsTest, MeasuredSamplesAreInTheXUnitInForce)
{
    Scope s;
    s.traces.Select(7);
    const auto trace = s.traces.MeasuredTrace();
    ASSERT_TRUE(trace);
    const chartmath::TTraceSamples samples = chartmath::samplesOf(*trace->series);
    EXPECT_EQ(samples.x, (std::vector<double>{0, 10, 20}));
    EXPECT_EQ(samples.y, (std::vector<double>{0, 100, 0}));

    const struct {
        const char* xUnit;
        const char* unit;
        double factor;
    } units[] = {{"mS", "Hz", 1000}, {"\u00B5S", "Hz", 1e6}, {"S", "Hz", 1}, {"m", "1/m", 1}};
    for (const auto& u : units) {
        const chartmath::TFrequencyUnit f = chartmath::frequencyUnit(QString::fromUtf8(u.xUnit));
        EXPECT_EQ(f.unit, QString::fromUtf8(u.unit)) << u.xUnit;
        EXPECT_DOUBLE_EQ(f.factor, u.factor) << u.xUnit;
    }
}
