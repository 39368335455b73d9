#include "chart/core/ScopeFormValues.h"

namespace {

std::unique_ptr<TLineSeries> scopeLine(const QString& name, TColor color)
{
    auto series = std::make_unique<TLineSeries>();
    series->SetName(name);
    series->XValues().SetName(QStringLiteral("X"));
    series->XValues().SetOrder(loAscending);
    series->XValues().SetMultiplier(1);
    series->XValues().SetDateTime(false);
    series->YValues().SetName(QStringLiteral("Y"));
    series->YValues().SetOrder(loNone);
    series->YValues().SetMultiplier(1);
    series->YValues().SetDateTime(false);
    series->SetSeriesColor(color);
    series->Pointer() = {false, psRectangle, true};
    series->Marks() = {false, 8};
    series->SetCursor(crCross);
    series->SetHorizAxis(aBottomAxis);
    series->SetVertAxis(aLeftAxis);
    return series;
}

} // namespace

TLineSeries* SetupScopeChartModel(TChartModel& chart)
{
    chart.SetLoading(true);
    chart.SetCursor(crCross);
    chart.SetView3D(false);
    chart.SetAnimatedZoomSteps(6);
    chart.SetMaxPointsPerPage(32000);
    chart.SetMarginTop(5);
    chart.Title().Text = QStringList{QStringLiteral(" ")};
    chart.Legend().Visible = false;
    chart.BackWall().Brush = {clWhite, bsClear};

    for (TChartAxis* axis : {&chart.BottomAxis(), &chart.TopAxis(), &chart.LeftAxis(), &chart.RightAxis()}) {
        axis->SetMinorTickCount(1);
        axis->MinorTicks().Visible = false;
    }
    chart.BottomAxis().SetIncrement(1);
    chart.TopAxis().SetIncrement(1);
    chart.BottomAxis().SetExactDateTime(false);
    chart.LeftAxis().SetExactDateTime(false);
    chart.TopAxis().SetExactDateTime(false);
    chart.LeftAxis().Title().SetCaption(QStringLiteral("V"));
    chart.LeftAxis().Title().SetAngle(0);
    chart.BottomAxis().Title().SetCaption(QStringLiteral("ms"));

    TChartDepthAxis& depth = chart.DepthAxis();
    depth.SetAutomatic(false);
    depth.SetAutomaticMinimum(false);
    depth.SetAutomaticMaximum(false);
    depth.SetMinimum(-0.5);
    depth.SetMaximum(10);
    depth.SetMinorTickCount(1);
    depth.MinorTicks().Visible = false;
    depth.MinorGrid().Style = psDashDot;
    depth.SetVisible(true);
    chart.SetLoading(false);

    auto series = scopeLine(QStringLiteral("Series1"), clRed);
    for (TChartAxis* axis : {&chart.BottomAxis(), &chart.TopAxis(), &chart.LeftAxis(), &chart.RightAxis()}) {
        axis->MinorGrid().Style = psDashDot;
    }
    return chart.AddSeries(std::move(series));
}

TLineSeries* AddOverlaySeries(TChartModel& chart)
{
    return AddReferenceSeries(chart, 0, clGray);
}

TLineSeries* AddReferenceSeries(TChartModel& chart, int slot, TColor color)
{
    return chart.InsertSeries(slot, scopeLine(QStringLiteral("Series%1").arg(slot + 2), color));
}
