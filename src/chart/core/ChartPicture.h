#pragma once
// Everything one redraw paints, computed without a drawing surface: the plotting rectangle,
// each visible axis with its labels, ticks and grid, and each series as polylines.

#include "chart/core/ChartTypes.h"

#include <QPolygon>
#include <QString>
#include <QStringList>
#include <vector>

class TChartAxis;
class TChartSeries;

struct TChartLine {
    int X1 = 0;
    int Y1 = 0;
    int X2 = 0;
    int Y2 = 0;
};

struct TChartText {
    QString Text;
    TChartRect Rect; // Right and Bottom exclusive: the text's own box
};

struct TAxisPicture {
    const TChartAxis* Axis = nullptr;
    TChartRect Area; // the room the axis took beside the plotting rectangle
    int TitleRoom = 0;
    int LabelsRoom = 0;
    int TicksRoom = 0;
    double Step = 0;
    std::vector<double> LabelValues;
    std::vector<TChartText> Labels;
    std::vector<int> TickPositions;
    TChartLine AxisLine;
    std::vector<TChartLine> Ticks;
    std::vector<TChartLine> GridLines;
    std::vector<TChartLine> InnerTicks;
    std::vector<TChartLine> MinorTicks;
    std::vector<TChartLine> MinorGridLines;
    TChartText Title;
    int TitleAngle = 0;
};

// One run of consecutive segments drawn in one colour.
struct TSeriesRun {
    TColor Color = clRed;
    QPolygon Points;
};

struct TSeriesPicture {
    const TChartSeries* Series = nullptr;
    TChartPen Pen;
    int FirstIndex = 0;
    int LastIndex = -1;
    std::vector<TSeriesRun> Runs;
};

struct TChartPicture {
    TChartRect Client; // inside the bevel
    TChartRect ChartRect; // the plotting rectangle
    TChartText Title;
    std::vector<TAxisPicture> Axes;
    std::vector<TSeriesPicture> Series;
    bool ZoomBand = false;
    TChartRect Band;
};
