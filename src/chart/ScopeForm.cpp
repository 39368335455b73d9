#include "chart/ScopeForm.h"

#include "chart/core/ScopeFormValues.h"

TLineSeries* SetupScopeChart(TChart& chart)
{
    if (chart.objectName().isEmpty()) {
        chart.setObjectName(QStringLiteral("Chart1"));
    }
    return SetupScopeChartModel(chart);
}
