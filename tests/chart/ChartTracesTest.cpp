#include "chart/core/ChartTraces.h"
#include "ChartTestSupport.h"
#include "chart/core/ChartCursor.h"
#include "chart/core/ScopeHold.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <cmath>

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

TTraceInfo capture(std::int64_t id, const QString& y, const QString& x)
{
    TTraceInfo info;
    info.id = id;
    info.yUnit = y;
    info.xUnit = x;
    info.started = QStringLiteral("2026-12-09T00:31:05.123Z");
    return info;
}

// The scope chart with its traces and hold, live in V over mS.
struct Scope {
    Scope()
        : traces(chart, *chart.series)
        , hold(chart, *chart.series, &traces)
    {
        hold.SetYUnit(QStringLiteral("V"));
        hold.SetXUnit(QStringLiteral("mS"));
    }
    void liveRamp(int n, double step, double yScale)
    {
        for (int i = 0; i < n; ++i) {
            hold.AddPoint(i * step, i * yScale);
        }
    }
    RecordingChart chart;
    TChartTraces traces;
    TScopeHold hold;
};

double luminance(TColor c)
{
    const QColor q = color::toQColor(c);
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(q.red()) + 0.7152 * channel(q.green()) + 0.0722 * channel(q.blue());
}

TEST(ChartTracesTest, EveryTraceIsDrawnAgainstItsOwnUnits)
{
    Scope s;
    s.liveRamp(101, 1, 3); // 0 … 100 mS, 0 … 300 V
    // 377 A over 95 S: beside the live trace, on an axis of its own, its times in mS.
    ASSERT_TRUE(s.traces.Show(capture(4, "A", "S"), {0, 50, 95}, {0, 377, 10}));
    ASSERT_TRUE(s.traces.Show(capture(5, "t \u00B0C", "mS"), {0, 10}, {20, 25}));
    ASSERT_TRUE(s.traces.Show(capture(6, "V", "\u00B5S"), {0, 40000}, {-50, 50}));
    const TChartPicture& p = s.chart.BuildPicture();
    EXPECT_EQ(s.chart.BottomAxis().Title().Caption(), "mS");
    EXPECT_EQ(s.chart.LeftAxis().Title().Caption(), "V");
    EXPECT_EQ(s.chart.RightAxis().Title().Caption(), "A");
    const TAxisPicture* right = axisPicture(p, s.chart.RightAxis());
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right->Title.Text, "A");
    const TReferenceTrace& amps = *s.traces.Reference(4);
    EXPECT_EQ(amps.place, TTracePlace::Right);
    EXPECT_EQ(amps.series->GetVertAxis(), &s.chart.RightAxis());
    EXPECT_EQ(s.chart.RightAxis().Minimum(), 0);
    EXPECT_EQ(s.chart.RightAxis().Maximum(), 377);
    EXPECT_EQ(s.chart.LeftAxis().Minimum(), -50); // the live V and capture 6's V, not the amps
    EXPECT_EQ(s.chart.LeftAxis().Maximum(), 300);
    EXPECT_EQ(s.chart.BottomAxis().Maximum(), 95000);
    EXPECT_DOUBLE_EQ(s.traces.Reference(6)->series->XValues().MaxValue(), 40);
    EXPECT_EQ(s.traces.Reference(6)->place, TTracePlace::Left);
    // A third Y unit has no axis: not drawn, and its legend row says why.
    const TReferenceTrace& temperature = *s.traces.Reference(5);
    EXPECT_EQ(temperature.place, TTracePlace::Unplaced);
    EXPECT_FALSE(temperature.series->Active());
    const auto rows = s.traces.LegendRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].units, "V / mS");
    EXPECT_EQ(rows[2].number, "№5");
    EXPECT_TRUE(rows[2].note.contains("t \u00B0C")) << rows[2].note.toStdString();
    EXPECT_TRUE(rows[1].note.isEmpty());
    const QStringList title = s.traces.PictureTitle();
    ASSERT_EQ(title.size(), 2);
    EXPECT_EQ(title[1], "Мерни единици: Живо V / mS; №4 A / S (дясна ос); №6 V / \u00B5S");

    // The live trace cleared: the axes are the first shown reference's.
    s.hold.Reset();
    s.chart.BuildPicture();
    EXPECT_EQ(s.chart.BottomAxis().Title().Caption(), "S");
    EXPECT_EQ(s.chart.LeftAxis().Title().Caption(), "A");
    EXPECT_EQ(s.chart.RightAxis().Title().Caption(), "t \u00B0C");
    EXPECT_EQ(s.traces.Reference(6)->place, TTracePlace::Unplaced); // V is the third unit now
    EXPECT_EQ(s.chart.LeftAxis().Maximum(), 377);
    EXPECT_EQ(s.chart.BottomAxis().Maximum(), 95);
    EXPECT_DOUBLE_EQ(s.traces.Reference(5)->series->XValues().MaxValue(), 0.01);
    EXPECT_EQ(s.traces.PictureCapture().id, 4);

    // Unticked, a trace gives up its axis; hidden, its slot.
    s.traces.SetTicked(4, false);
    EXPECT_EQ(s.chart.LeftAxis().Title().Caption(), "t \u00B0C");
    EXPECT_EQ(s.chart.BottomAxis().Title().Caption(), "mS");
    EXPECT_EQ(s.traces.Reference(6)->place, TTracePlace::Right);
    s.traces.Hide(5);
    s.traces.Hide(6);
    s.traces.Hide(4);
    s.chart.BuildPicture();
    EXPECT_EQ(axisPicture(s.chart.LastPicture(), s.chart.RightAxis()), nullptr);
    EXPECT_EQ(s.chart.LeftAxis().Title().Caption(), "V");
}

TEST(ChartTracesTest, TimeUnitsConvert)
{
    struct Case {
        const char* from;
        const char* to;
        double factor;
    };
    const Case cases[] = {
        {"\u00B5S", "S", 1e-6},
        {"S", "\u00B5S", 1e6},
        {"mS", "ms", 1},
        {"S", "mS", 1000},
        {"mS", "S", 1e-3},
        {"\u00B5S", "mS", 1e-3},
        {"S", "V", 0},
        {"", "", 1},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(chartmath::timeFactor(QString::fromUtf8(c.from), QString::fromUtf8(c.to)), c.factor)
            << c.from << " -> " << c.to;
    }
    // A capture in µS over a live trace in S, and the other way round.
    Scope s;
    s.hold.SetXUnit(QStringLiteral("S"));
    s.liveRamp(4, 1, 1); // 0 … 3 S
    ASSERT_TRUE(s.traces.Show(capture(1, "V", "\u00B5S"), {0, 2500000, 4500000}, {1, 2, 3}));
    s.chart.BuildPicture();
    EXPECT_DOUBLE_EQ(s.chart.BottomAxis().Maximum(), 4.5);
    double y = 0;
    ASSERT_TRUE(chartmath::valueAt(*s.traces.Reference(1)->series, 3.5, y));
    EXPECT_DOUBLE_EQ(y, 2.5);
    s.hold.SetXUnit(QStringLiteral("\u00B5S"));
    s.hold.Reset();
    s.liveRamp(2, 1000000, 1); // 0 … 1 S in µS
    ASSERT_TRUE(s.traces.Show(capture(2, "V", "S"), {0, 3}, {0, 3}));
    s.chart.BuildPicture();
    EXPECT_EQ(s.chart.BottomAxis().Title().Caption(), "\u00B5S");
    EXPECT_DOUBLE_EQ(s.chart.BottomAxis().Maximum(), 4500000);
    EXPECT_DOUBLE_EQ(s.traces.Reference(2)->series->XValues().MaxValue(), 3000000);
}

// The device starts a capture in A over S while the picture of one in V over mS is held.
TEST(ChartTracesTest, AHeldPictureKeepsItsTitlesAcrossACaptureInOtherUnits)
{
    Scope s;
    s.liveRamp(11, 1, 10);
    ASSERT_TRUE(s.traces.Show(capture(3, "A", "S"), {0, 1}, {0, 377}));
    s.hold.SetHeld(true);
    s.hold.Reset();
    s.hold.SetYUnit(QStringLiteral("A"));
    s.hold.SetXUnit(QStringLiteral("S"));
    s.hold.AddPoint(0, 5);
    s.hold.AddPoint(2, 7);
    s.chart.BuildPicture();
    EXPECT_EQ(s.chart.LeftAxis().Title().Caption(), "V");
    EXPECT_EQ(s.chart.BottomAxis().Title().Caption(), "mS");
    EXPECT_EQ(s.chart.RightAxis().Title().Caption(), "A");
    EXPECT_EQ(s.chart.BottomAxis().Maximum(), 1000); // the reference still in the held mS
    EXPECT_EQ(s.traces.LiveInfo().yUnit, "V");
    EXPECT_EQ(s.hold.Incoming().yUnit, "A"); // what a capture stored meanwhile is titled with
    EXPECT_EQ(s.traces.PictureTitle()[1], "Мерни единици: Живо V / mS; №3 A / S (дясна ос)");

    s.hold.SetHeld(false);
    s.chart.BuildPicture();
    EXPECT_EQ(s.chart.series->Count(), 2);
    EXPECT_EQ(s.chart.LeftAxis().Title().Caption(), "A");
    EXPECT_EQ(s.chart.BottomAxis().Title().Caption(), "S");
    EXPECT_EQ(s.chart.RightAxis().Title().Caption(), ""); // the reference shares the live unit
    EXPECT_EQ(s.traces.Reference(3)->place, TTracePlace::Left);
    EXPECT_EQ(s.chart.BottomAxis().Maximum(), 2);
}

TEST(ChartTracesTest, TheCursorReadsEveryDrawnTraceInItsUnitsBetweenSamples)
{
    Scope s;
    double y = 0;
    EXPECT_FALSE(chartmath::valueAt(*s.chart.series, 0, y));
    const TChartRect empty = s.chart.BuildPicture().ChartRect;
    EXPECT_EQ(s.traces.CursorText(s.traces.CursorAt(empty.Left + 10, empty.Top + 10)), "");

    for (auto [x, v] : {std::pair{0, 0}, {10, 100}, {20, -100}, {20, 40}, {30, 40}}) {
        s.hold.AddPoint(x, v);
    }
    struct Case {
        double x;
        bool has;
        double y;
    };
    const Case cases[] = {{0, true, 0}, {5, true, 50}, {12.5, true, 50}, {20, true, 40}, {25, true, 40},
        {30, true, 40}, {-0.5, false, 0}, {30.5, false, 0}};
    for (const Case& c : cases) {
        const bool has = chartmath::valueAt(*s.chart.series, c.x, y);
        EXPECT_EQ(has, c.has) << c.x;
        if (c.has && has) {
            EXPECT_DOUBLE_EQ(y, c.y) << c.x;
        }
    }
    // A reference in A over S: 0 … 0.02 S read at the live trace's mS.
    ASSERT_TRUE(s.traces.Show(capture(7, "A", "S"), {0, 1}, {0, 1000}));
    s.traces.Show(capture(7, "A", "S"), {0, 1}, {0, 1000}); // shown again: still one trace
    EXPECT_EQ(s.traces.References().size(), 1u);
    s.chart.BottomAxis().SetMinMax(0, 40);
    const TChartPicture& p = s.chart.BuildPicture();
    const int px = s.chart.BottomAxis().CalcPosValue(5);
    const TCursorReading r = s.traces.CursorAt(px, p.ChartRect.Top + 5);
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(r.pixel, px);
    const double x = s.chart.BottomAxis().CalcPosPoint(px);
    EXPECT_NEAR(x, 5, 0.1);
    ASSERT_EQ(r.values.size(), 2u);
    EXPECT_EQ(r.values[0].unit, "V");
    EXPECT_DOUBLE_EQ(r.values[0].value, 10 * x);
    EXPECT_EQ(r.values[1].unit, "A");
    EXPECT_DOUBLE_EQ(r.values[1].value, x); // 1000 A per S is 1 A per mS
    EXPECT_EQ(r.values[1].axis, &s.chart.RightAxis());
    const QString text = s.traces.CursorText(r);
    EXPECT_TRUE(text.startsWith("X = ")) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(" mS   Y = "))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral(" A"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("   №7 = "))) << text.toStdString();
    // Beyond a trace's end it has no value; off the plotting rectangle there is no reading.
    const TCursorReading late = s.traces.CursorAt(s.chart.BottomAxis().CalcPosValue(35), p.ChartRect.Top + 5);
    ASSERT_EQ(late.values.size(), 2u);
    EXPECT_FALSE(late.values[0].has);
    EXPECT_TRUE(late.values[1].has);
    EXPECT_TRUE(s.traces.CursorText(late).contains(QStringLiteral("Y = –")));
    EXPECT_FALSE(s.traces.CursorAt(p.ChartRect.Left - 1, p.ChartRect.Top + 5).valid);
}

TEST(ChartTracesTest, EightReferencesInColoursReadableOnTheChart)
{
    Scope s;
    const auto& palette = TChartTraces::Palette();
    EXPECT_EQ(palette[0], clGray);
    for (TColor c : palette) {
        for (TColor ground : {s.chart.Color(), s.chart.BackWall().Brush.Color}) {
            const double hi = std::max(luminance(c), luminance(ground));
            const double lo = std::min(luminance(c), luminance(ground));
            EXPECT_GE((hi + 0.05) / (lo + 0.05), 3.0) << std::hex << c << " on " << ground;
        }
    }
    std::vector<TColor> all(palette.begin(), palette.end());
    all.push_back(s.chart.series->SeriesColor());
    for (std::size_t i = 0; i < all.size(); ++i) {
        for (std::size_t j = i + 1; j < all.size(); ++j) {
            const QColor a = color::toQColor(all[i]);
            const QColor b = color::toQColor(all[j]);
            const double d = std::hypot(a.red() - b.red(), a.green() - b.green(), a.blue() - b.blue());
            EXPECT_GE(d, 90) << std::hex << all[i] << " and " << all[j];
        }
    }
    for (int id = 1; id <= TChartTraces::kMaxReferences; ++id) {
        ASSERT_TRUE(s.traces.Show(capture(id, "V", "mS"), {0}, {id}));
    }
    EXPECT_FALSE(s.traces.Show(capture(9, "V", "mS"), {0}, {9}));
    EXPECT_EQ(s.traces.Reference(1)->series, s.traces.SlotSeries(0));
    EXPECT_EQ(s.traces.SlotSeries(0)->Name(), "Series2");
    s.traces.Hide(3);
    ASSERT_TRUE(s.traces.Show(capture(9, "V", "mS"), {0}, {9}));
    EXPECT_EQ(s.traces.Reference(9)->series->SeriesColor(), palette[2]); // the freed colour
    const TChartPicture& p = s.chart.BuildPicture();
    EXPECT_EQ(p.Series.size(), 9u);
    EXPECT_EQ(p.Series.back().Series, s.chart.series); // the live line on top
    s.traces.Select(9);
    EXPECT_EQ(s.traces.Reference(9)->series->LinePen().Width, 2);
    EXPECT_EQ(s.traces.LegendRows()[8].selected, true);
}

TEST(ChartTracesTest, FileNameOfACapture)
{
    TTraceInfo info = capture(12, "V", "mS");
    info.event = QStringLiteral("RK1");
    const QString local = QDateTime(QDate(2026, 12, 9), QTime(0, 31, 5, 123), Qt::UTC)
                              .toLocalTime()
                              .toString(QStringLiteral("yyyyMMdd-HHmmss"));
    EXPECT_EQ(chartmath::captureFileName(info), "capture-12-RK1-" + local);
    info.event.clear();
    info.id = 0;
    EXPECT_EQ(chartmath::captureFileName(info), "capture-" + local);
}

} // namespace
