#pragma once
// Base of the chart's series: the X and Y value lists, one colour and one label per point,
// the axes the series is bound to and the chart that shows it.

#include "chart/core/ChartTypes.h"
#include "chart/core/ChartValueList.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class TChartModel;
class TChartAxis;

class TChartSeries {
public:
    TChartSeries();
    virtual ~TChartSeries();
    TChartSeries(const TChartSeries&) = delete;
    TChartSeries& operator=(const TChartSeries&) = delete;

    // The design name of the series (e.g. "Series1").
    const QString& Name() const { return name_; }
    void SetName(const QString& name) { name_ = name; }

    TChartModel* ParentChart() const { return parentChart_; }

    TChartValueList& XValues() { return xValues_; }
    const TChartValueList& XValues() const { return xValues_; }
    TChartValueList& YValues() { return yValues_; }
    const TChartValueList& YValues() const { return yValues_; }

    // Inserts one point (X by XValues' Order, the rest at the same index), invalidates the
    // chart and returns the index. color clDefault (0x20000000) stands for SeriesColor.
    int AddPoint(double x, double y, const QString& label = QString(), TColor color = clDefault);
    // Removes every point and frees the storage; raises OnClearValues and invalidates.
    void Clear();
    void Delete(int index);
    int Count() const { return xValues_.Count(); }

    // Stored colour of a point (may be clDefault) and the colour it is drawn in.
    TColor PointColor(int index) const { return colors_[std::size_t(index)]; }
    TColor ValueColor(int index) const;
    const QString& PointLabel(int index) const;

    TColor SeriesColor() const { return seriesColor_; }
    void SetSeriesColor(TColor color);
    bool Active() const { return active_; }
    void SetActive(bool active);
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor cursor) { cursor_ = cursor; }

    THorizAxis HorizAxis() const { return horizAxis_; }
    void SetHorizAxis(THorizAxis axis);
    TVertAxis VertAxis() const { return vertAxis_; }
    void SetVertAxis(TVertAxis axis);
    // The chart's axis objects the series is bound to (null while the series has no chart).
    TChartAxis* GetHorizAxis() const;
    TChartAxis* GetVertAxis() const;
    bool AssociatedToAxis(const TChartAxis* axis) const;

    double MinXValue() const { return xValues_.MinValue(); }
    double MaxXValue() const { return xValues_.MaxValue(); }
    double MinYValue() const { return yValues_.MinValue(); }
    double MaxYValue() const { return yValues_.MaxValue(); }

    std::function<void(TChartSeries*)> OnClearValues;

protected:
    void Repaint();

private:
    friend class TChartModel;

    QString name_;
    TChartModel* parentChart_ = nullptr;
    TChartValueList xValues_;
    TChartValueList yValues_;
    std::vector<TColor> colors_;
    QStringList labels_; // empty while no point has a label
    TColor seriesColor_ = clRed;
    bool active_ = true;
    TCursor cursor_ = crDefault;
    THorizAxis horizAxis_ = aBottomAxis;
    TVertAxis vertAxis_ = aLeftAxis;
};
