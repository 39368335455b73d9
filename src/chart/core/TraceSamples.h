#pragma once
// A drawn trace's samples as the measurements take them, and the texts of their results.

#include "chart/core/ChartSeries.h"
#include "measure/Measure.h"

#include <QString>
#include <vector>

namespace chartmath {

// X through the series' multiplier (a reference's times in the X unit in force), Y as stored.
struct TTraceSamples {
    std::vector<double> x;
    std::vector<double> y;
};
TTraceSamples samplesOf(const TChartSeries& series);

// The unit of a frequency over the X unit: "Hz" for a time unit, with the factor that turns
// cycles per X unit into it; "1/<unit>" and 1 for another unit.
struct TFrequencyUnit {
    QString unit;
    double factor = 1;
};
TFrequencyUnit frequencyUnit(const QString& xUnit);

// "12.346 A": five significant digits, the unit after a space when there is one.
QString measureText(double value, const QString& unit = QString());

} // namespace chartmath
