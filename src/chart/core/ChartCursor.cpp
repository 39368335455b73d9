#include "chart/core/ChartCursor.h"

#include <algorithm>

namespace chartmath {

int nearestPoint(const TChartSeries& series, int x, int y)
{
    const TChartAxis* h = series.GetHorizAxis();
    const TChartAxis* v = series.GetVertAxis();
    const int n = series.Count();
    if (!h || !v || n == 0) {
        return -1;
    }
    const TChartValueList& xs = series.XValues();
    const TChartValueList& ys = series.YValues();
    auto dx = [&](int i) { return h->CalcPosValueExact(xs.Value(i)) - x; };
    auto distance2 = [&](int i) {
        const double ex = dx(i);
        const double ey = v->CalcPosValueExact(ys.Value(i)) - y;
        return ex * ex + ey * ey;
    };
    if (xs.Order() != loAscending) {
        int best = 0;
        for (int i = 1; i < n; ++i) {
            if (distance2(i) < distance2(best)) {
                best = i;
            }
        }
        return best;
    }
    // Sorted X: start under the mouse and walk outwards until the horizontal distance alone
    // exceeds the best found.
    const int start = std::min(xs.FirstNotBelow(h->CalcPosPoint(x)), n - 1);
    int best = start;
    double bestDistance = distance2(start);
    for (int i = start + 1; i < n && dx(i) * dx(i) < bestDistance; ++i) {
        if (const double d = distance2(i); d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    for (int i = start - 1; i >= 0 && dx(i) * dx(i) < bestDistance; --i) {
        if (const double d = distance2(i); d <= bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

QString cursorReadout(const TChartModel& chart, const TChartSeries& series, int x, int y)
{
    if (!chart.ChartRect().Contains(x, y)) {
        return {};
    }
    const int i = nearestPoint(series, x, y);
    if (i < 0) {
        return {};
    }
    auto part = [](const QString& name, const TChartAxis& axis, double value) {
        QString text = name + QStringLiteral(" = ") + axis.FormatValue(value);
        if (!axis.Title().Caption().isEmpty()) {
            text += QLatin1Char(' ') + axis.Title().Caption();
        }
        return text;
    };
    return part(QStringLiteral("X"), *series.GetHorizAxis(), series.XValues().Value(i))
        + QStringLiteral("   ") + part(QStringLiteral("Y"), *series.GetVertAxis(), series.YValues().Value(i));
}

bool valueAt(const TChartSeries& series, double x, double& y)
{
    const TChartValueList& xs = series.XValues();
    const TChartValueList& ys = series.YValues();
    const int n = series.Count();
    if (n == 0 || !(x >= xs.Value(0)) || !(x <= xs.Value(n - 1))) {
        return false;
    }
    // The last of equal X values is the newest: a vertical step reads its upper end.
    const int after = std::min(xs.FirstAbove(x), n - 1);
    const int before = after > 0 && xs.Value(after) > x ? after - 1 : after;
    const double x0 = xs.Value(before);
    const double x1 = xs.Value(after);
    const double y0 = ys.Value(before);
    const double y1 = ys.Value(after);
    y = x1 == x0 ? y1 : y0 + (y1 - y0) * (x - x0) / (x1 - x0);
    return true;
}

} // namespace chartmath
