#pragma once
// The scope page's chart as the main window's form sets it up: Chart1's values (no 3D, no
// legend, 32000 points per page, crosshair, top margin 5, blank title line, axis settings and
// titles "V" and "ms") and its red line series Series1, which it creates and returns.

#include "chart/Chart.h"
#include "chart/core/LineSeries.h"

TLineSeries* SetupScopeChart(TChart& chart);
