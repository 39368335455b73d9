#include "chart/core/TraceSamples.h"

#include "chart/core/TraceInfo.h"

#include <cmath>

namespace chartmath {

TTraceSamples samplesOf(const TChartSeries& series)
{
    TTraceSamples s;
    const TChartValueList& xs = series.XValues();
    const TChartValueList& ys = series.YValues();
    const int n = series.Count();
    s.x.reserve(std::size_t(n));
    s.y.reserve(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        s.x.push_back(xs.Value(i));
        s.y.push_back(ys.Value(i));
    }
    return s;
}

TFrequencyUnit frequencyUnit(const QString& xUnit)
{
    const double seconds = timeFactor(xUnit, QStringLiteral("S"));
    if (seconds > 0) {
        return {QStringLiteral("Hz"), 1 / seconds};
    }
    return {xUnit.isEmpty() ? QString() : QStringLiteral("1/") + xUnit, 1};
}

QString measureText(double value, const QString& unit)
{
    if (value == 0) {
        value = 0; // no "-0"
    }
    QString text = QString::number(value, 'g', 5);
    if (!unit.isEmpty()) {
        text += QLatin1Char(' ') + unit;
    }
    return text;
}

} // namespace chartmath
