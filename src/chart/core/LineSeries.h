#pragma once
// The line series: points joined in X order by straight segments in LinePen's style, in each
// point's colour; markers and value marks exist as settings but stay hidden here.

#include "chart/core/ChartSeries.h"

struct TSeriesPointer {
    bool Visible = true;
    TSeriesPointerStyle Style = psRectangle;
    bool InflateMargins = true;
};

struct TSeriesMarks {
    bool Visible = false;
    int ArrowLength = 8;
};

class TCustomSeries : public TChartSeries {
public:
    TChartPen& LinePen() { return linePen_; }
    const TChartPen& LinePen() const { return linePen_; }
    TSeriesPointer& Pointer() { return pointer_; }
    const TSeriesPointer& Pointer() const { return pointer_; }
    TSeriesMarks& Marks() { return marks_; }
    const TSeriesMarks& Marks() const { return marks_; }

private:
    TChartPen linePen_;
    TSeriesPointer pointer_;
    TSeriesMarks marks_;
};

class TLineSeries : public TCustomSeries {
public:
    TLineSeries();
};
