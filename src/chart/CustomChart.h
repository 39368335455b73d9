#pragma once
// The chart control: the widget-free chart model shown in a QWidget. It paints the model's
// picture into a back buffer, flips the zoom rubber band's pixels on that buffer
// and routes mouse and wheel input to the model.

#include "chart/core/ChartModel.h"

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>
#include <optional>
#include <utility>
#include <vector>

class QPainter;
class QTimer;

// The scope cursor's vertical line from top to bottom at x, with a dot where each trace
// crosses it (pixel y and the trace's colour).
struct TChartMarker {
    int x = 0;
    int top = 0;
    int bottom = 0;
    std::vector<std::pair<int, TColor>> dots;
};

// A measuring cursor's line from top to bottom at x, named at its top ("A", "B").
struct TChartCursorLine {
    int x = 0;
    int top = 0;
    int bottom = 0;
    QString name;
    TColor color = clBlack;
    bool operator==(const TChartCursorLine&) const = default;
};

class TCustomChart : public QWidget, public TChartModel {
    Q_OBJECT
public:
    explicit TCustomChart(QWidget* parent = nullptr);
    ~TCustomChart() override;

    // One full redraw at the image's size (the image must be Format_RGB32 or ARGB32), the
    // rubber band of a zoom drag included.
    void DrawTo(QImage& image);
    // Paints a picture built by the model, all of it but the rubber band.
    void PaintPicture(QPainter& painter, const TChartPicture& picture) const;

    // A change to show: redrawn on the next pass of the event loop, but at most once per
    // kFrameMs, so that a flood of samples (a redraw asked for per record) costs one redraw
    // per frame. Repaint draws at once.
    void Invalidate() override;
    void Repaint() override;
    static constexpr int kFrameMs = 15;
    void ShowCursor(TCursor cursor) override;
    void DrawZoomBand(const TChartRect& rect) override;
    // Drawn over the picture, not into it: moving it repaints its columns alone.
    void SetMarker(const std::optional<TChartMarker>& marker);
    const std::optional<TChartMarker>& Marker() const { return marker_; }
    // Drawn over the picture like the marker.
    void SetCursorLines(const std::vector<TChartCursorLine>& lines);
    const std::vector<TChartCursorLine>& CursorLines() const { return cursorLines_; }
    // Also into a saved picture of the chart.
    static void PaintCursorLines(QPainter& painter, const std::vector<TChartCursorLine>& lines);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void renderBuffer();

    QImage buffer_;
    bool bufferValid_ = false;
    QTimer* frameTimer_ = nullptr;
    QElapsedTimer sincePaint_;
    bool paintAsked_ = false; // an update() not yet painted
    int wheelDelta_ = 0;
    std::optional<TChartMarker> marker_;
    std::vector<TChartCursorLine> cursorLines_;
};
