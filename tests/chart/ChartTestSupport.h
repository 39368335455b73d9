#pragma once
// A chart model that records what it asks of its host, set up as the scope page's chart with
// fixed-pitch text (6 pixels a character, 13 a line) at the form's size.

#include "chart/core/ChartModel.h"
#include "chart/core/ScopeFormValues.h"

#include <vector>

class RecordingChart : public TChartModel {
public:
    RecordingChart()
    {
        SetMetrics(std::make_unique<TFixedChartMetrics>(6, 13));
        SetChartBounds(705, 449);
        series = SetupScopeChartModel(*this);
        invalidations = 0;
        cursors.clear();
    }

    void Invalidate() override { ++invalidations; }
    void Repaint() override
    {
        ++repaints;
        TChartModel::Repaint();
    }
    void ShowCursor(TCursor c) override { cursors.push_back(c); }
    void DrawZoomBand(const TChartRect& r) override { bands.push_back(r); }

    // A drag with one intermediate move, as the mouse would report it.
    void drag(TMouseButton button, int x0, int y0, int x1, int y1)
    {
        MouseDown(button, x0, y0);
        MouseMove((x0 + x1) / 2, (y0 + y1) / 2);
        MouseMove(x1, y1);
        MouseUp(button, x1, y1);
    }

    void addRamp(int count, double yScale = 1.0)
    {
        for (int i = 0; i < count; ++i) {
            series->AddPoint(i, i * yScale);
        }
    }

    TLineSeries* series = nullptr;
    int invalidations = 0;
    int repaints = 0;
    std::vector<TCursor> cursors;
    std::vector<TChartRect> bands;
};
