#pragma once
// The chart without a window: its settings, five axes, series, the data pass and layout of
// a redraw, the zoom and scroll state and the mouse rules. A host (the widget) overrides the
// few drawing and pointer hooks; everything else is numbers.

#include "chart/core/ChartAxis.h"
#include "chart/core/ChartMetrics.h"
#include "chart/core/ChartPicture.h"
#include "chart/core/ChartSeries.h"
#include "chart/core/ChartTypes.h"

#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <vector>

struct TZoomPanningRecord {
    int X0 = 0;
    int Y0 = 0;
    int X1 = 0;
    int Y1 = 0;
    bool Active = false;

    void Activate(int x, int y)
    {
        X0 = X1 = x;
        Y0 = Y1 = y;
        Active = true;
    }
    void Check();
};

struct TAxisSavedScales {
    bool Automatic = true;
    bool AutomaticMinimum = true;
    bool AutomaticMaximum = true;
    double Minimum = 0;
    double Maximum = 0;
};
// Top, bottom, left and right axes, in that order.
using TAllAxisSavedScales = std::array<TAxisSavedScales, 4>;

struct TChartTitle {
    QStringList Text;
    bool Visible = true;
    TAlignment Alignment = taCenter;
    bool FrameVisible = false;
    TChartFont Font{QStringLiteral("Arial"), 8, clBlue, false};
};

struct TChartLegend {
    bool Visible = true;
};

struct TChartWall {
    TChartBrush Brush{clWhite, bsClear};
    TChartPen Pen{clBlack, 1, psSolid, true};
};

class TChartModel {
public:
    static constexpr TMouseButton ZoomMouseButton = mbLeft;
    static constexpr TMouseButton ScrollMouseButton = mbRight;
    static constexpr double ZoomStepFactor = 3.0;
    static constexpr int MinZoomDrag = 16;

    TChartModel();
    virtual ~TChartModel();
    TChartModel(const TChartModel&) = delete;
    TChartModel& operator=(const TChartModel&) = delete;

    // Axes, in the order of AxesList().
    TChartAxis& BottomAxis() { return *bottomAxis_; }
    TChartAxis& TopAxis() { return *topAxis_; }
    TChartAxis& LeftAxis() { return *leftAxis_; }
    TChartAxis& RightAxis() { return *rightAxis_; }
    TChartDepthAxis& DepthAxis() { return *depthAxis_; }
    const TChartAxis& BottomAxis() const { return *bottomAxis_; }
    const TChartAxis& TopAxis() const { return *topAxis_; }
    const TChartAxis& LeftAxis() const { return *leftAxis_; }
    const TChartAxis& RightAxis() const { return *rightAxis_; }
    const TChartDepthAxis& DepthAxis() const { return *depthAxis_; }
    const std::vector<TChartAxis*>& AxesList() const { return axes_; }

    // Takes ownership of a series and shows it on this chart.
    TChartSeries* AddSeries(std::unique_ptr<TChartSeries> series);
    template <class T> T* AddSeries(std::unique_ptr<T> series)
    {
        return static_cast<T*>(AddSeries(std::unique_ptr<TChartSeries>(std::move(series))));
    }
    // The same at a place in the drawing order: series are drawn first to last.
    TChartSeries* InsertSeries(int index, std::unique_ptr<TChartSeries> series);
    template <class T> T* InsertSeries(int index, std::unique_ptr<T> series)
    {
        return static_cast<T*>(InsertSeries(index, std::unique_ptr<TChartSeries>(std::move(series))));
    }
    void RemoveSeries(TChartSeries* series);
    int SeriesCount() const { return int(series_.size()); }
    TChartSeries* Series(int index) const { return series_[std::size_t(index)].get(); }
    int CountActiveSeries() const;

    bool View3D() const { return view3D_; }
    void SetView3D(bool value);
    bool AnimatedZoom() const { return animatedZoom_; }
    void SetAnimatedZoom(bool value) { animatedZoom_ = value; }
    int AnimatedZoomSteps() const { return animatedZoomSteps_; }
    void SetAnimatedZoomSteps(int steps) { animatedZoomSteps_ = steps; }
    bool AllowZoom() const { return allowZoom_; }
    void SetAllowZoom(bool value) { allowZoom_ = value; }
    TPanningMode AllowPanning() const { return allowPanning_; }
    void SetAllowPanning(TPanningMode mode) { allowPanning_ = mode; }
    int MaxPointsPerPage() const { return maxPointsPerPage_; }
    // Throws EChartException "MaxPointsPerPage must be >= 0"; lowers Page to the page count.
    void SetMaxPointsPerPage(int points);
    int Page() const { return page_; }
    // Clamped to 1 … NumPages().
    void SetPage(int page);
    int NumPages() const;
    bool ScaleLastPage() const { return scaleLastPage_; }
    void SetScaleLastPage(bool value);
    bool ClipPoints() const { return clipPoints_; }
    void SetClipPoints(bool value);
    bool AxisVisible() const { return axisVisible_; }
    void SetAxisVisible(bool value);
    int MarginLeft() const { return marginLeft_; }
    void SetMarginLeft(int percent);
    int MarginTop() const { return marginTop_; }
    void SetMarginTop(int percent);
    int MarginRight() const { return marginRight_; }
    void SetMarginRight(int percent);
    int MarginBottom() const { return marginBottom_; }
    void SetMarginBottom(int percent);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TPanelBevel BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TPanelBevel bevel);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int width);
    // The resting pointer of the chart.
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor cursor);

    TChartTitle& Title() { return title_; }
    const TChartTitle& Title() const { return title_; }
    TChartLegend& Legend() { return legend_; }
    const TChartLegend& Legend() const { return legend_; }
    TChartWall& BackWall() { return backWall_; }
    const TChartWall& BackWall() const { return backWall_; }
    // Limit setters do not check the order while the form is being loaded.
    bool Loading() const { return loading_; }
    void SetLoading(bool loading) { loading_ = loading; }

    // Zoom and scroll.
    bool Zoomed() const { return zoomed_; }
    bool ScalesRestored() const { return scalesRestored_; }
    const TAllAxisSavedScales& SavedScales() const { return savedScales_; }
    const TZoomPanningRecord& Zoom() const { return zoom_; }
    const TZoomPanningRecord& Panning() const { return panning_; }
    void ZoomByPercent(double percent);
    void UndoZoom();
    // Zooms the axes to the pixel rectangle (normalised first).
    void ZoomRect(const TChartRect& rect);

    // Mouse input in chart pixels.
    void MouseDown(TMouseButton button, int x, int y);
    void MouseMove(int x, int y);
    void MouseUp(TMouseButton button, int x, int y);
    void MouseLeave();
    // One wheel notch: towardsUser for a turn towards the user ("down").
    void MouseWheel(bool towardsUser);

    std::function<void(TChartModel*)> OnZoom;
    std::function<void(TChartModel*)> OnUndoZoom;
    std::function<void(TChartModel*)> OnScroll;
    std::function<void(TChartModel*, TChartAxis*, double& minimum, double& maximum, bool& allow)>
        OnAllowScroll;

    // The limits the data gives an axis (paging included).
    void CalcAxisMinMax(const TCustomChartAxis& axis, double& minimum, double& maximum) const;
    // Size of the whole chart in pixels and the measurement of its texts.
    void SetChartBounds(int width, int height);
    int ChartWidth() const { return width_; }
    int ChartHeight() const { return height_; }
    void SetMetrics(std::unique_ptr<TChartMetrics> metrics);
    const TChartMetrics& Metrics() const { return *metrics_; }
    // One redraw's data pass, layout, labels and lines; also kept as LastPicture().
    const TChartPicture& BuildPicture();
    const TChartPicture& LastPicture() const { return picture_; }
    const TChartRect& ChartRect() const { return picture_.ChartRect; }
    bool AxisShown(const TCustomChartAxis& axis) const;
    // Whether some series gives the axis its data range; zoom, scroll and the wheel leave an
    // axis without points alone.
    bool AxisHasPoints(const TCustomChartAxis& axis) const;

    // Host hooks. Invalidate asks for a redraw later, Repaint redraws now (here: rebuilds the
    // picture); DrawZoomBand draws or erases the rubber band (drawing twice restores).
    virtual void Invalidate() { }
    virtual void Repaint() { BuildPicture(); }
    virtual void ShowCursor(TCursor) { }
    virtual void DrawZoomBand(const TChartRect&) { }

private:
    void changed() { Invalidate(); }
    void saveScales();
    // False, and nothing saved or changed, when no axis has points.
    bool applyZoom(const std::array<double, 8>& targets);
    bool rangesAxis(const TChartSeries& series, const TCustomChartAxis& axis) const;
    void layout(TChartPicture& picture);
    void buildAxis(TChartAxis& axis, TChartPicture& picture);
    void buildSeries(const TChartSeries& series, TChartPicture& picture) const;
    bool canStartDrag(int x, int y) const;
    const TChartSeries* seriesAt(int x, int y) const;
    bool axisAt(int x, int y) const;
    void endPanning();
    std::array<TChartAxis*, 4> zoomAxes() const; // left, right, top, bottom

    std::unique_ptr<TChartAxis> bottomAxis_;
    std::unique_ptr<TChartAxis> topAxis_;
    std::unique_ptr<TChartAxis> leftAxis_;
    std::unique_ptr<TChartAxis> rightAxis_;
    std::unique_ptr<TChartDepthAxis> depthAxis_;
    std::vector<TChartAxis*> axes_;
    std::vector<std::unique_ptr<TChartSeries>> series_;

    bool view3D_ = true;
    bool animatedZoom_ = false;
    int animatedZoomSteps_ = 8;
    bool allowZoom_ = true;
    TPanningMode allowPanning_ = pmBoth;
    int maxPointsPerPage_ = 0;
    int page_ = 1;
    bool scaleLastPage_ = true;
    bool clipPoints_ = true;
    bool axisVisible_ = true;
    int marginLeft_ = 3;
    int marginTop_ = 4;
    int marginRight_ = 3;
    int marginBottom_ = 4;
    TColor color_ = clBtnFace;
    TPanelBevel bevelOuter_ = bvRaised;
    int bevelWidth_ = 1;
    TCursor cursor_ = crDefault;
    TChartTitle title_;
    TChartLegend legend_;
    TChartWall backWall_;
    bool loading_ = false;

    bool zoomed_ = false;
    bool scalesRestored_ = true;
    TAllAxisSavedScales savedScales_;
    TZoomPanningRecord zoom_;
    TZoomPanningRecord panning_;

    int width_ = 400;
    int height_ = 250;
    std::unique_ptr<TChartMetrics> metrics_;
    TChartPicture picture_;
    bool pictureBuilt_ = false;
    mutable std::vector<QPolygon> sparePolygons_;
};
