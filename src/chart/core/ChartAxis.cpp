#include "chart/core/ChartAxis.h"

#include "chart/core/AxisMaths.h"
#include "chart/core/ChartModel.h"
#include "chart/core/LabelFormat.h"

#include <cmath>
#include <limits>
#include <utility>

void TChartAxisTitle::SetCaption(const QString& caption)
{
    if (caption != caption_) {
        caption_ = caption;
        if (chart_) {
            chart_->Invalidate();
        }
    }
}

void TChartAxisTitle::SetAngle(int angle)
{
    if (angle != angle_) {
        angle_ = angle;
        if (chart_) {
            chart_->Invalidate();
        }
    }
}

TCustomChartAxis::TCustomChartAxis(TChartModel* chart, bool horizontal, bool otherSide)
    : chart_(chart)
    , horizontal_(horizontal)
    , otherSide_(otherSide)
    , title_(chart)
{
    if (!horizontal) {
        title_.SetAngle(otherSide ? 270 : 90);
    }
}

void TCustomChartAxis::changed()
{
    if (chart_) {
        chart_->Invalidate();
    }
}

void TCustomChartAxis::SetAutomatic(bool value)
{
    automatic_ = value;
    changed();
}

void TCustomChartAxis::SetAutomaticMinimum(bool value)
{
    automaticMinimum_ = value;
    changed();
}

void TCustomChartAxis::SetAutomaticMaximum(bool value)
{
    automaticMaximum_ = value;
    changed();
}

void TCustomChartAxis::SetMinimum(double value)
{
    if (value > maximum_ && !(chart_ && chart_->Loading())) {
        throw EChartException("Axis Minimum Value must be <= Maximum");
    }
    minimum_ = value;
    changed();
}

void TCustomChartAxis::SetMaximum(double value)
{
    if (value < minimum_ && !(chart_ && chart_->Loading())) {
        throw EChartException("Axis Maximum Value must be >= Minimum");
    }
    maximum_ = value;
    changed();
}

void TCustomChartAxis::SetMinMax(double minimum, double maximum)
{
    automatic_ = automaticMinimum_ = automaticMaximum_ = false;
    if (minimum > maximum) {
        std::swap(minimum, maximum);
    }
    if (maximum - minimum < chartmath::kMinSpan) {
        maximum = minimum + chartmath::kMinSpan;
    }
    minimum_ = minimum;
    maximum_ = maximum;
    // The mapping follows at once, so a drag measured before the next redraw uses the new view.
    setEffective(minimum_, maximum_);
    changed();
}

void TCustomChartAxis::Scroll(double delta)
{
    automatic_ = automaticMinimum_ = automaticMaximum_ = false;
    minimum_ += delta;
    maximum_ += delta;
    setEffective(minimum_, maximum_);
    changed();
}

void TCustomChartAxis::SetIncrement(double value)
{
    increment_ = value;
    changed();
}

void TCustomChartAxis::SetLabelsSeparation(int percent)
{
    labelsSeparation_ = percent;
    changed();
}

void TCustomChartAxis::SetAxisValuesFormat(const QString& format)
{
    axisValuesFormat_ = format;
    changed();
}

void TCustomChartAxis::SetRoundFirstLabel(bool value)
{
    roundFirstLabel_ = value;
    changed();
}

void TCustomChartAxis::SetLabelsOnAxis(bool value)
{
    labelsOnAxis_ = value;
    changed();
}

void TCustomChartAxis::SetLabels(bool value)
{
    labels_ = value;
    changed();
}

void TCustomChartAxis::SetTickOnLabelsOnly(bool value)
{
    tickOnLabelsOnly_ = value;
    changed();
}

void TCustomChartAxis::SetTickLength(int pixels)
{
    tickLength_ = pixels;
    changed();
}

void TCustomChartAxis::SetTickInnerLength(int pixels)
{
    tickInnerLength_ = pixels;
    changed();
}

void TCustomChartAxis::SetMinorTickLength(int pixels)
{
    minorTickLength_ = pixels;
    changed();
}

void TCustomChartAxis::SetMinorTickCount(int count)
{
    minorTickCount_ = count;
    changed();
}

void TCustomChartAxis::SetVisible(bool value)
{
    visible_ = value;
    changed();
}

void TCustomChartAxis::CalcMinMax(double& minimum, double& maximum) const
{
    minimum = maximum = 0;
    if (chart_) {
        chart_->CalcAxisMinMax(*this, minimum, maximum);
    }
}

void TCustomChartAxis::AdjustMaxMin()
{
    const bool fromDataMax = automatic_ || automaticMaximum_;
    const bool fromDataMin = automatic_ || automaticMinimum_;
    if (fromDataMax || fromDataMin) {
        double dataMin = 0;
        double dataMax = 0;
        CalcMinMax(dataMin, dataMax);
        if (fromDataMax) {
            maximum_ = dataMax;
        }
        if (fromDataMin) {
            minimum_ = dataMin;
        }
    }
    setEffective(minimum_, maximum_);
}

void TCustomChartAxis::setEffective(double minimum, double maximum)
{
    effectiveMinimum_ = minimum;
    effectiveMaximum_ = maximum;
    effectiveRange_ = maximum - minimum;
}

void TCustomChartAxis::SetGeometry(int startPos, int endPos, int posAxis)
{
    startPos_ = startPos;
    endPos_ = endPos;
    axisSize_ = endPos - startPos;
    centerPos_ = (startPos + endPos) / 2;
    posAxis_ = posAxis;
}

double TCustomChartAxis::CalcPosPoint(int pixel) const
{
    if (axisSize_ < 1) {
        return 0;
    }
    const double a = double(pixel - startPos_) * effectiveRange_ / axisSize_;
    return horizontal_ ? effectiveMinimum_ + a : effectiveMaximum_ - a;
}

QString TCustomChartAxis::FormatValue(double value) const
{
    return chartmath::formatValue(value, axisValuesFormat_, QLocale());
}

TChartDepthAxis::TChartDepthAxis(TChartModel* chart)
    : TChartAxis(chart, false, false)
{
    isDepth_ = true;
    Title().SetAngle(0);
}
