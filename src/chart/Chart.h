#pragma once
// The chart component as the main window places it (Chart1).

#include "chart/CustomChart.h"
#include "chart/core/LineSeries.h"

class TChart : public TCustomChart {
    Q_OBJECT
public:
    explicit TChart(QWidget* parent = nullptr);
};
