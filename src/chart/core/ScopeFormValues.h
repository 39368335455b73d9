#pragma once
// The values the main window's form gives the scope chart and its series Series1, applied to
// the widget-free chart (the widget's SetupScopeChart also names the control).

#include "chart/core/ChartModel.h"
#include "chart/core/LineSeries.h"

// Applies the form's values to chart, creates Series1 on it and returns it.
TLineSeries* SetupScopeChartModel(TChartModel& chart);

// Creates Series2, the grey line of a stored capture laid over the live one: drawn before
// (behind) every other series and bound to the same axes, so the automatic ranges cover both.
TLineSeries* AddOverlaySeries(TChartModel& chart);

// A stored capture's line in the given colour, Series<slot + 2>, drawn behind the live one in
// slot order and bound to the same axes.
TLineSeries* AddReferenceSeries(TChartModel& chart, int slot, TColor color);
