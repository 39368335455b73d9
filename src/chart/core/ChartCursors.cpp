#include "chart/core/ChartCursors.h"

#include "chart/core/ChartCursor.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

TChartCursors::TChartCursors(TChartModel& chart, const TChartTraces& traces)
    : chart_(chart)
    , traces_(traces)
{
}

void TChartCursors::SetOn(TCursorId which, bool on)
{
    Line& l = line(which);
    l.on = on;
    if (on) {
        const TChartAxis& bottom = chart_.BottomAxis();
        if (l.x && (*l.x < bottom.EffectiveMinimum() || *l.x > bottom.EffectiveMaximum())) {
            l.x.reset();
        }
        PlaceUnplaced();
        last_ = which;
    }
}

void TChartCursors::PlaceUnplaced()
{
    const TChartAxis& bottom = chart_.BottomAxis();
    const double low = bottom.EffectiveMinimum();
    const double high = bottom.EffectiveMaximum();
    if (!(high > low)) {
        return; // an empty chart: placed when it has a range
    }
    for (TCursorId which : {TCursorId::A, TCursorId::B}) {
        Line& l = line(which);
        if (l.on && !l.x) {
            l.x = low + (high - low) * (which == TCursorId::A ? 1.0 / 3 : 2.0 / 3);
        }
    }
}

std::optional<double> TChartCursors::Position(TCursorId which) const
{
    const Line& l = line(which);
    return l.on ? l.x : std::nullopt;
}

void TChartCursors::MoveTo(TCursorId which, double x)
{
    line(which).x = x;
    last_ = which;
}

void TChartCursors::Step(TCursorId which, int direction)
{
    Line& l = line(which);
    if (!l.on || !l.x) {
        return;
    }
    const double at = *l.x;
    std::optional<double> next;
    if (const auto trace = traces_.MeasuredTrace()) {
        const TChartValueList& xs = trace->series->XValues();
        // The samples next to the cursor: the first beyond it that way. The search runs on the
        // stored values, so a read-back equal to the cursor's X may come out either side.
        const double tiny = 1e-9 * std::max(std::abs(at), std::abs(xs.Value(xs.Count() - 1) - xs.Value(0)));
        if (direction > 0) {
            for (int i = std::max(0, xs.FirstAbove(at) - 1); i < xs.Count() && !next; ++i) {
                if (xs.Value(i) > at + tiny) {
                    next = xs.Value(i);
                }
            }
        } else {
            for (int i = std::min(xs.Count(), xs.FirstNotBelow(at) + 1) - 1; i >= 0 && !next; --i) {
                if (xs.Value(i) < at - tiny) {
                    next = xs.Value(i);
                }
            }
        }
    }
    if (!next) {
        const TChartAxis& bottom = chart_.BottomAxis();
        const int pixel = bottom.CalcPosValue(at);
        next = bottom.CalcPosPoint(pixel + (direction > 0 ? 1 : -1));
    }
    MoveTo(which, *next);
}

std::optional<int> TChartCursors::Pixel(TCursorId which) const
{
    const auto x = Position(which);
    if (!x) {
        return std::nullopt;
    }
    const TChartRect& plot = chart_.ChartRect();
    const double pixel = chart_.BottomAxis().CalcPosValueExact(*x);
    if (!(pixel >= plot.Left && pixel <= plot.Right)) {
        return std::nullopt; // scrolled off the view
    }
    return int(std::lround(pixel));
}

std::optional<TCursorId> TChartCursors::At(int x) const
{
    std::optional<TCursorId> best;
    int distance = kGrabPixels + 1;
    for (TCursorId which : {TCursorId::B, TCursorId::A}) { // A wins a tie: drawn on top
        if (const auto p = Pixel(which); p && std::abs(*p - x) <= distance) {
            distance = std::abs(*p - x);
            best = which;
        }
    }
    return best;
}

std::optional<std::pair<double, double>> TChartCursors::Range() const
{
    const auto a = Position(TCursorId::A);
    const auto b = Position(TCursorId::B);
    if (!a || !b) {
        return std::nullopt;
    }
    return std::pair{std::min(*a, *b), std::max(*a, *b)};
}

TCursorPairReading TChartCursors::Read() const
{
    TCursorPairReading reading;
    reading.a = Position(TCursorId::A);
    reading.b = Position(TCursorId::B);
    reading.xUnit = chart_.BottomAxis().Title().Caption();
    reading.xResolution = 1e-9 * std::abs(chart_.BottomAxis().EffectiveRange());
    auto valueAt = [](const TChartSeries& s, std::optional<double> x) -> std::optional<double> {
        double y = 0;
        if (x && chartmath::valueAt(s, *x, y)) {
            return y;
        }
        return std::nullopt;
    };
    for (const TDrawnTrace& t : traces_.DrawnTraces()) {
        TCursorRow row;
        row.id = t.id;
        row.name = t.name;
        row.color = t.series->SeriesColor();
        row.unit = t.info.yUnit;
        row.axis = t.series->GetVertAxis();
        row.resolution = row.axis ? 1e-9 * std::abs(row.axis->EffectiveRange()) : 0;
        row.a = valueAt(*t.series, reading.a);
        row.b = valueAt(*t.series, reading.b);
        reading.rows.push_back(row);
    }
    return reading;
}
