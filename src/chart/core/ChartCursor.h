#pragma once
// What lies under the mouse on the chart: the series' point nearest to a pixel, and the
// read-out of its X and Y with the axis titles as units.

#include "chart/core/ChartModel.h"
#include "chart/core/ChartSeries.h"

#include <QString>

namespace chartmath {

// Index of the series' point nearest to pixel (x, y) on the chart's latest layout, measured in
// pixels; -1 when the series has no point or no axes.
int nearestPoint(const TChartSeries& series, int x, int y);

// "X = 12 mS   Y = -263 V" for the point nearest to (x, y), the numbers in the axes' label
// format; empty when the pixel is off the plotting rectangle or the series has no point.
QString cursorReadout(const TChartModel& chart, const TChartSeries& series, int x, int y);

// The series' Y at x, on the straight line between the points on either side (X ascending);
// false when x lies before its first or after its last point.
bool valueAt(const TChartSeries& series, double x, double& y);

} // namespace chartmath
