#pragma once
// A value axis of the chart: its limits (automatic from the data or fixed), label and tick
// settings, pens, title, and the pixel geometry of the latest layout with the mappings
// between values and pixels.

#include "chart/core/ChartTypes.h"

#include <QString>
#include <cmath>
#include <limits>

class TChartModel;

class TChartAxisTitle {
public:
    explicit TChartAxisTitle(TChartModel* chart)
        : chart_(chart)
    {
    }

    const QString& Caption() const { return caption_; }
    // Stores a different text and invalidates the chart; the same text changes nothing.
    void SetCaption(const QString& caption);
    int Angle() const { return angle_; }
    void SetAngle(int angle);
    TChartFont& Font() { return font_; }
    const TChartFont& Font() const { return font_; }

private:
    TChartModel* chart_;
    QString caption_;
    int angle_ = 0;
    TChartFont font_;
};

class TCustomChartAxis {
public:
    TCustomChartAxis(TChartModel* chart, bool horizontal, bool otherSide);
    virtual ~TCustomChartAxis() = default;
    TCustomChartAxis(const TCustomChartAxis&) = delete;
    TCustomChartAxis& operator=(const TCustomChartAxis&) = delete;

    TChartModel* ParentChart() const { return chart_; }
    bool Horizontal() const { return horizontal_; }
    bool OtherSide() const { return otherSide_; }
    bool IsDepthAxis() const { return isDepth_; }

    bool Automatic() const { return automatic_; }
    void SetAutomatic(bool value);
    bool AutomaticMinimum() const { return automaticMinimum_; }
    void SetAutomaticMinimum(bool value);
    bool AutomaticMaximum() const { return automaticMaximum_; }
    void SetAutomaticMaximum(bool value);
    double Minimum() const { return minimum_; }
    // Throws EChartException "Axis Minimum Value must be <= Maximum" unless the chart is loading.
    void SetMinimum(double value);
    double Maximum() const { return maximum_; }
    // Throws EChartException "Axis Maximum Value must be >= Minimum" unless the chart is loading.
    void SetMaximum(double value);
    // Fixes both limits: clears the automatic flags, orders the pair and keeps them at least
    // 1e-10 apart. Never fails.
    void SetMinMax(double minimum, double maximum);
    // Shifts both limits by delta, making the axis fixed.
    void Scroll(double delta);

    double Increment() const { return increment_; }
    void SetIncrement(double value);
    int LabelsSeparation() const { return labelsSeparation_; }
    void SetLabelsSeparation(int percent);
    const QString& AxisValuesFormat() const { return axisValuesFormat_; }
    void SetAxisValuesFormat(const QString& format);
    bool RoundFirstLabel() const { return roundFirstLabel_; }
    void SetRoundFirstLabel(bool value);
    bool LabelsOnAxis() const { return labelsOnAxis_; }
    void SetLabelsOnAxis(bool value);
    bool Labels() const { return labels_; }
    void SetLabels(bool value);
    bool TickOnLabelsOnly() const { return tickOnLabelsOnly_; }
    void SetTickOnLabelsOnly(bool value);
    int TickLength() const { return tickLength_; }
    void SetTickLength(int pixels);
    int TickInnerLength() const { return tickInnerLength_; }
    void SetTickInnerLength(int pixels);
    int MinorTickLength() const { return minorTickLength_; }
    void SetMinorTickLength(int pixels);
    int MinorTickCount() const { return minorTickCount_; }
    void SetMinorTickCount(int count);
    bool ExactDateTime() const { return exactDateTime_; }
    void SetExactDateTime(bool value) { exactDateTime_ = value; }
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    bool Inverted() const { return inverted_; }
    bool Logarithmic() const { return logarithmic_; }

    TChartPen& Ticks() { return ticks_; }
    const TChartPen& Ticks() const { return ticks_; }
    TChartPen& MinorTicks() { return minorTicks_; }
    const TChartPen& MinorTicks() const { return minorTicks_; }
    TChartPen& TicksInner() { return ticksInner_; }
    const TChartPen& TicksInner() const { return ticksInner_; }
    TChartPen& Grid() { return grid_; }
    const TChartPen& Grid() const { return grid_; }
    TChartPen& MinorGrid() { return minorGrid_; }
    const TChartPen& MinorGrid() const { return minorGrid_; }
    TChartPen& Axis() { return axisPen_; }
    const TChartPen& Axis() const { return axisPen_; }
    TChartAxisTitle& Title() { return title_; }
    const TChartAxisTitle& Title() const { return title_; }
    TChartFont& LabelsFont() { return labelsFont_; }
    const TChartFont& LabelsFont() const { return labelsFont_; }

    // The limits the data gives this axis (paging included); see TChartModel::CalcAxisMinMax.
    void CalcMinMax(double& minimum, double& maximum) const;
    // The data pass: replaces the automatic limits by the data's and sets the effective ones.
    void AdjustMaxMin();

    double EffectiveMinimum() const { return effectiveMinimum_; }
    double EffectiveMaximum() const { return effectiveMaximum_; }
    double EffectiveRange() const { return effectiveRange_; }
    int StartPos() const { return startPos_; }
    int EndPos() const { return endPos_; }
    int AxisSize() const { return axisSize_; }
    int CenterPos() const { return centerPos_; }
    // Pixel line of the axis across (bottom edge for the bottom axis, left edge for the left).
    int PosAxis() const { return posAxis_; }
    void SetGeometry(int startPos, int endPos, int posAxis);

    // Value to pixel: nearest pixel (halves to even); CenterPos for a zero range or an
    // offset beyond the int range. Values grow upwards on a vertical axis.
    int CalcPosValue(double value) const;
    // Value to pixel without rounding or limits, for clipping the line; CenterPos for a zero
    // range.
    double CalcPosValueExact(double value) const;
    // Pixel to value; 0 while the axis has no length.
    double CalcPosPoint(int pixel) const;

    // The text of a value in AxisValuesFormat with the user's locale.
    QString FormatValue(double value) const;

protected:
    bool isDepth_ = false;

private:
    void changed();
    void setEffective(double minimum, double maximum);

    TChartModel* chart_;
    bool horizontal_;
    bool otherSide_;

    bool automatic_ = true;
    bool automaticMinimum_ = true;
    bool automaticMaximum_ = true;
    double minimum_ = 0;
    double maximum_ = 0;
    double increment_ = 0;
    int labelsSeparation_ = 10;
    QString axisValuesFormat_ = QStringLiteral("#,##0.###");
    bool roundFirstLabel_ = true;
    bool labelsOnAxis_ = true;
    bool labels_ = true;
    bool tickOnLabelsOnly_ = true;
    int tickLength_ = 4;
    int tickInnerLength_ = 0;
    int minorTickLength_ = 2;
    int minorTickCount_ = 3;
    bool exactDateTime_ = true;
    bool visible_ = true;
    bool inverted_ = false;
    bool logarithmic_ = false;

    TChartPen ticks_{clGray, 1, psSolid, true};
    TChartPen minorTicks_{clGray, 1, psSolid, true};
    TChartPen ticksInner_{clGray, 1, psSolid, true};
    TChartPen grid_{clGray, 1, psDot, true};
    TChartPen minorGrid_{clGray, 1, psSolid, false};
    TChartPen axisPen_{clBlack, 2, psSolid, true};
    TChartAxisTitle title_;
    TChartFont labelsFont_;

    double effectiveMinimum_ = 0;
    double effectiveMaximum_ = 0;
    double effectiveRange_ = 0;
    int startPos_ = 0;
    int endPos_ = 0;
    int axisSize_ = 0;
    int centerPos_ = 0;
    int posAxis_ = 0;
};

class TChartAxis : public TCustomChartAxis {
public:
    using TCustomChartAxis::TCustomChartAxis;
};

// The third-dimension axis; drawn only in 3D view, so never on this chart.
class TChartDepthAxis : public TChartAxis {
public:
    explicit TChartDepthAxis(TChartModel* chart);
};

// Inline: the line's drawing maps every visible point through it.
inline int TCustomChartAxis::CalcPosValue(double value) const
{
    if (effectiveRange_ != 0) {
        const double offset = (value - effectiveMinimum_) * axisSize_ / effectiveRange_;
        if (std::fabs(offset) < 2147483647.0) {
            const long long r = std::llrint(offset); // halves to even in the default rounding mode
            const long long pixel = horizontal_ ? startPos_ + r : endPos_ - r;
            constexpr long long lo = std::numeric_limits<int>::min();
            constexpr long long hi = std::numeric_limits<int>::max();
            return int(pixel < lo ? lo : (pixel > hi ? hi : pixel));
        }
    }
    return centerPos_;
}

inline double TCustomChartAxis::CalcPosValueExact(double value) const
{
    if (effectiveRange_ == 0) {
        return centerPos_;
    }
    const double offset = (value - effectiveMinimum_) * axisSize_ / effectiveRange_;
    return horizontal_ ? startPos_ + offset : endPos_ - offset;
}
