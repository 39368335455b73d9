#pragma once
// The scope chart as a picture to keep: a title block above it (the capture shown, its event,
// start time and port, and every trace's units), the chart as drawn, and the legend where the
// window shows it.

#include <QImage>

class TChart;
class TChartTraces;
class TraceLegend;

QImage ScopePicture(TChart& chart, const TChartTraces& traces, const TraceLegend* legend);
