#include "chart/core/ChartSeries.h"

#include "chart/core/ChartModel.h"

TChartSeries::TChartSeries()
    : xValues_(this, QStringLiteral("X"))
    , yValues_(this, QStringLiteral("Y"))
{
    xValues_.SetOrder(loAscending);
}

TChartSeries::~TChartSeries() = default;

int TChartSeries::AddPoint(double x, double y, const QString& label, TColor color)
{
    const int index = xValues_.AddChartValue(x);
    yValues_.InsertChartValue(index, y);
    colors_.insert(colors_.begin() + index, color);
    // The device's samples have no labels: none are kept until one has.
    if (!label.isEmpty() && labels_.isEmpty())
        labels_.resize(Count() - 1);
    if (!labels_.isEmpty() || !label.isEmpty())
        labels_.insert(index, label);
    Repaint();
    return index;
}

void TChartSeries::Clear()
{
    xValues_.Clear();
    yValues_.Clear();
    std::vector<TColor>().swap(colors_);
    labels_ = QStringList();
    if (OnClearValues) {
        OnClearValues(this);
    }
    if (active_) {
        Repaint();
    }
}

void TChartSeries::Delete(int index)
{
    xValues_.Delete(index);
    yValues_.Delete(index);
    colors_.erase(colors_.begin() + index);
    if (!labels_.isEmpty())
        labels_.removeAt(index);
    Repaint();
}

const QString& TChartSeries::PointLabel(int index) const
{
    static const QString none;
    return labels_.isEmpty() ? none : labels_[index];
}

TColor TChartSeries::ValueColor(int index) const
{
    const TColor c = colors_[std::size_t(index)];
    return c == clDefault ? seriesColor_ : c;
}

void TChartSeries::SetSeriesColor(TColor color)
{
    if (color != seriesColor_) {
        seriesColor_ = color;
        Repaint();
    }
}

void TChartSeries::SetActive(bool active)
{
    if (active != active_) {
        active_ = active;
        Repaint();
    }
}

void TChartSeries::SetHorizAxis(THorizAxis axis)
{
    horizAxis_ = axis;
    Repaint();
}

void TChartSeries::SetVertAxis(TVertAxis axis)
{
    vertAxis_ = axis;
    Repaint();
}

TChartAxis* TChartSeries::GetHorizAxis() const
{
    if (!parentChart_) {
        return nullptr;
    }
    return horizAxis_ == aTopAxis ? &parentChart_->TopAxis() : &parentChart_->BottomAxis();
}

TChartAxis* TChartSeries::GetVertAxis() const
{
    if (!parentChart_) {
        return nullptr;
    }
    return vertAxis_ == aRightAxis ? &parentChart_->RightAxis() : &parentChart_->LeftAxis();
}

bool TChartSeries::AssociatedToAxis(const TChartAxis* axis) const
{
    return axis && (axis == GetHorizAxis() || axis == GetVertAxis());
}

// Only invalidates: a burst of points costs one redraw later.
void TChartSeries::Repaint()
{
    if (parentChart_) {
        parentChart_->Invalidate();
    }
}
