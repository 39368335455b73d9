#include "chart/core/ChartModel.h"

#include "chart/core/AxisMaths.h"
#include "chart/core/LabelFormat.h"
#include "chart/core/LineSeries.h"

#include <QPointF>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kSeriesHitDistance = 3;

struct AxisRoom {
    int title = 0;
    int labels = 0;
    int ticks = 0;
};

struct ClipBounds {
    double left, top, right, bottom;
    bool contains(QPointF p) const
    {
        return p.x() >= left && p.x() <= right && p.y() >= top && p.y() <= bottom;
    }
};

struct MappedPoint {
    QPointF exact;
    QPoint pixel; // when inside: the rounding every other drawing uses
    bool usable = false;
    bool inside = false;
};

// An axis' value-to-pixel mapping, unbounded, and rounded exactly as CalcPosValue rounds.
struct AxisMap {
    explicit AxisMap(const TChartAxis& a)
        : horizontal(a.Horizontal())
        , minimum(a.EffectiveMinimum())
        , range(a.EffectiveRange())
        , size(a.AxisSize())
        , start(a.StartPos())
        , end(a.EndPos())
        , centre(a.CenterPos())
    {
    }
    double offset(double value) const { return range != 0 ? (value - minimum) * size / range : 0; }
    double exact(double offset) const
    {
        return range == 0 ? centre : (horizontal ? start + offset : end - offset);
    }
    int rounded(double offset) const
    {
        if (range == 0) {
            return centre;
        }
        const int r = int(std::llrint(offset));
        return horizontal ? start + r : end - r;
    }
    bool horizontal;
    double minimum;
    double range;
    double size;
    int start;
    int end;
    int centre;
};

// Where segment a-b meets the edge x = e (vertical) or y = e, measured from the end nearer
// the edge: the other end may lie billions of pixels away without costing precision here.
QPointF onEdge(QPointF a, QPointF b, bool vertical, double e, const ClipBounds& r)
{
    if (vertical) {
        const QPointF& n = std::fabs(a.x() - e) <= std::fabs(b.x() - e) ? a : b;
        const double y = n.y() + (e - n.x()) * ((b.y() - a.y()) / (b.x() - a.x()));
        return {e, std::clamp(y, r.top, r.bottom)};
    }
    const QPointF& n = std::fabs(a.y() - e) <= std::fabs(b.y() - e) ? a : b;
    const double x = n.x() + (e - n.y()) * ((b.x() - a.x()) / (b.y() - a.y()));
    return {std::clamp(x, r.left, r.right), e};
}

// Liang-Barsky: the part of segment a-b inside the bounds, false when none.
bool clipSegment(QPointF a, QPointF b, const ClipBounds& r, QPointF& from, QPointF& to)
{
    const double dx = b.x() - a.x();
    const double dy = b.y() - a.y();
    const std::array<double, 4> p{-dx, dx, -dy, dy};
    const std::array<double, 4> q{a.x() - r.left, r.right - a.x(), a.y() - r.top, r.bottom - a.y()};
    const std::array<double, 4> edge{r.left, r.right, r.top, r.bottom};
    double t0 = 0;
    double t1 = 1;
    int enter = -1;
    int leave = -1;
    for (int k = 0; k < 4; ++k) {
        if (p[std::size_t(k)] == 0) {
            if (q[std::size_t(k)] < 0) {
                return false;
            }
            continue;
        }
        const double t = q[std::size_t(k)] / p[std::size_t(k)];
        if (p[std::size_t(k)] < 0) {
            if (t > t1) {
                return false;
            }
            if (t > t0) {
                t0 = t;
                enter = k;
            }
        } else {
            if (t < t0) {
                return false;
            }
            if (t < t1) {
                t1 = t;
                leave = k;
            }
        }
    }
    from = enter < 0 ? a : onEdge(a, b, enter < 2, edge[std::size_t(enter)], r);
    to = leave < 0 ? b : onEdge(a, b, leave < 2, edge[std::size_t(leave)], r);
    return true;
}

QPoint toPixel(QPointF p)
{
    return {int(std::nearbyint(p.x())), int(std::nearbyint(p.y()))};
}

double segmentDistanceSquared(QPoint p, QPoint a, QPoint b)
{
    const double dx = b.x() - a.x();
    const double dy = b.y() - a.y();
    const double len2 = dx * dx + dy * dy;
    double t = 0;
    if (len2 > 0) {
        t = std::clamp(((p.x() - a.x()) * dx + (p.y() - a.y()) * dy) / len2, 0.0, 1.0);
    }
    const double ex = a.x() + t * dx - p.x();
    const double ey = a.y() + t * dy - p.y();
    return ex * ex + ey * ey;
}

} // namespace

void TZoomPanningRecord::Check()
{
    if (X1 < X0) {
        std::swap(X0, X1);
    }
    if (Y1 < Y0) {
        std::swap(Y0, Y1);
    }
}

TChartModel::TChartModel()
    : bottomAxis_(std::make_unique<TChartAxis>(this, true, false))
    , topAxis_(std::make_unique<TChartAxis>(this, true, true))
    , leftAxis_(std::make_unique<TChartAxis>(this, false, false))
    , rightAxis_(std::make_unique<TChartAxis>(this, false, true))
    , depthAxis_(std::make_unique<TChartDepthAxis>(this))
    , metrics_(std::make_unique<TFixedChartMetrics>())
{
    axes_ = {bottomAxis_.get(), topAxis_.get(), leftAxis_.get(), rightAxis_.get(), depthAxis_.get()};
}

TChartModel::~TChartModel()
{
    // Series may still point at the chart while they go.
    for (auto& s : series_) {
        s->parentChart_ = nullptr;
    }
}

TChartSeries* TChartModel::AddSeries(std::unique_ptr<TChartSeries> series)
{
    return InsertSeries(SeriesCount(), std::move(series));
}

TChartSeries* TChartModel::InsertSeries(int index, std::unique_ptr<TChartSeries> series)
{
    TChartSeries* raw = series.get();
    raw->parentChart_ = this;
    series_.insert(series_.begin() + std::clamp(index, 0, SeriesCount()), std::move(series));
    Invalidate();
    return raw;
}

void TChartModel::RemoveSeries(TChartSeries* series)
{
    const auto it
        = std::find_if(series_.begin(), series_.end(), [&](const auto& s) { return s.get() == series; });
    if (it != series_.end()) {
        series_.erase(it);
        Invalidate();
    }
}

int TChartModel::CountActiveSeries() const
{
    return int(std::count_if(series_.begin(), series_.end(), [](const auto& s) { return s->Active(); }));
}

void TChartModel::SetView3D(bool value)
{
    view3D_ = value;
    changed();
}

void TChartModel::SetMaxPointsPerPage(int points)
{
    if (points < 0) {
        throw EChartException("MaxPointsPerPage must be >= 0");
    }
    maxPointsPerPage_ = points;
    page_ = std::min(page_, NumPages());
    changed();
}

void TChartModel::SetPage(int page)
{
    page = std::clamp(page, 1, NumPages());
    if (page != page_) {
        page_ = page;
        changed();
    }
}

int TChartModel::NumPages() const
{
    if (maxPointsPerPage_ <= 0) {
        return 1;
    }
    int largest = 0;
    for (const auto& s : series_) {
        if (s->Active()) {
            largest = std::max(largest, s->Count());
        }
    }
    return chartmath::pageCount(largest, maxPointsPerPage_);
}

void TChartModel::SetScaleLastPage(bool value)
{
    scaleLastPage_ = value;
    changed();
}

void TChartModel::SetClipPoints(bool value)
{
    clipPoints_ = value;
    changed();
}

void TChartModel::SetAxisVisible(bool value)
{
    axisVisible_ = value;
    changed();
}

void TChartModel::SetMarginLeft(int percent)
{
    marginLeft_ = percent;
    changed();
}

void TChartModel::SetMarginTop(int percent)
{
    marginTop_ = percent;
    changed();
}

void TChartModel::SetMarginRight(int percent)
{
    marginRight_ = percent;
    changed();
}

void TChartModel::SetMarginBottom(int percent)
{
    marginBottom_ = percent;
    changed();
}

void TChartModel::SetColor(TColor color)
{
    color_ = color;
    changed();
}

void TChartModel::SetBevelOuter(TPanelBevel bevel)
{
    bevelOuter_ = bevel;
    changed();
}

void TChartModel::SetBevelWidth(int width)
{
    bevelWidth_ = width;
    changed();
}

void TChartModel::SetCursor(TCursor cursor)
{
    cursor_ = cursor;
    if (!zoom_.Active && !panning_.Active) {
        ShowCursor(cursor);
    }
}

void TChartModel::SetChartBounds(int width, int height)
{
    if (width != width_ || height != height_) {
        width_ = width;
        height_ = height;
        changed();
    }
}

void TChartModel::SetMetrics(std::unique_ptr<TChartMetrics> metrics)
{
    metrics_ = std::move(metrics);
    changed();
}

// ---- data pass ----

void TChartModel::CalcAxisMinMax(const TCustomChartAxis& axis, double& minimum, double& maximum) const
{
    minimum = maximum = 0;
    if (axis.IsDepthAxis()) {
        return;
    }
    auto qualifies = [&](const TChartSeries& s) { return rangesAxis(s, axis); };

    if (maxPointsPerPage_ > 0 && axis.Horizontal()) {
        // Every series' page counts, so an overlaid capture widens the range like its Y does.
        bool first = true;
        for (const auto& s : series_) {
            if (!qualifies(*s)) {
                continue;
            }
            const int n = s->Count();
            const int p = maxPointsPerPage_;
            const auto range = chartmath::pageRange(n, p, page_);
            const auto& xs = s->XValues();
            const double lo = xs.Value(range.first);
            double hi = xs.Value(range.last);
            const int onPage = range.last - range.first + 1;
            if (!scaleLastPage_ && onPage < p) {
                hi = lo + (hi - lo) * p / onPage;
            }
            minimum = first ? lo : std::min(minimum, lo);
            maximum = first ? hi : std::max(maximum, hi);
            first = false;
        }
        return;
    }

    bool first = true;
    for (const auto& s : series_) {
        if (!qualifies(*s)) {
            continue;
        }
        const double lo = axis.Horizontal() ? s->MinXValue() : s->MinYValue();
        const double hi = axis.Horizontal() ? s->MaxXValue() : s->MaxYValue();
        if (first) {
            minimum = lo;
            maximum = hi;
            first = false;
        } else {
            minimum = std::min(minimum, lo);
            maximum = std::max(maximum, hi);
        }
    }
}

bool TChartModel::rangesAxis(const TChartSeries& series, const TCustomChartAxis& axis) const
{
    const auto* bound = static_cast<const TChartAxis*>(&axis);
    if (series.Count() == 0 || !series.AssociatedToAxis(bound)) {
        return false;
    }
    return series.Active() || std::none_of(series_.begin(), series_.end(), [&](const auto& s) {
        return s->Active() && s->AssociatedToAxis(bound);
    });
}

bool TChartModel::AxisHasPoints(const TCustomChartAxis& axis) const
{
    if (axis.IsDepthAxis()) {
        return false;
    }
    return std::any_of(series_.begin(), series_.end(), [&](const auto& s) { return rangesAxis(*s, axis); });
}

bool TChartModel::AxisShown(const TCustomChartAxis& axis) const
{
    if (!axisVisible_ || !axis.Visible() || axis.IsDepthAxis()) {
        return false;
    }
    return std::any_of(series_.begin(), series_.end(), [&](const auto& s) {
        return s->Active() && s->AssociatedToAxis(static_cast<const TChartAxis*>(&axis));
    });
}

// ---- layout and picture ----

const TChartPicture& TChartModel::BuildPicture()
{
    // The previous picture's point storage is reused: a redraw then allocates nothing large.
    for (TSeriesPicture& sp : picture_.Series) {
        for (TSeriesRun& run : sp.Runs) {
            run.Points.clear();
            sparePolygons_.push_back(std::move(run.Points));
        }
    }
    picture_.Series.clear();
    TChartPicture picture;
    layout(picture);
    for (TChartAxis* axis : axes_) {
        if (AxisShown(*axis)) {
            buildAxis(*axis, picture);
        }
    }
    for (const auto& s : series_) {
        if (s->Active()) {
            buildSeries(*s, picture);
        }
    }
    if (zoom_.Active) {
        TZoomPanningRecord band = zoom_;
        band.Check();
        picture.ZoomBand = true;
        picture.Band = {band.X0, band.Y0, band.X1, band.Y1};
    }
    picture_ = std::move(picture);
    pictureBuilt_ = true;
    return picture_;
}

void TChartModel::layout(TChartPicture& picture)
{
    const TChartMetrics& m = *metrics_;
    const int bevel = bevelOuter_ != bvNone ? bevelWidth_ : 0;
    TChartRect r{bevel, bevel, width_ - 1 - bevel, height_ - 1 - bevel};
    picture.Client = r;

    r.Left += marginLeft_ * width_ / 100;
    r.Right -= marginRight_ * width_ / 100;
    r.Top += marginTop_ * height_ / 100;
    r.Bottom -= marginBottom_ * height_ / 100;

    if (title_.Visible && !title_.Text.isEmpty()) {
        const int h = int(title_.Text.size()) * m.TextHeight(title_.Font);
        picture.Title.Text = title_.Text.join(QLatin1Char('\n'));
        picture.Title.Rect = {r.Left, r.Top, r.Right, r.Top + h};
        r.Top += h + 5;
    }

    for (TChartAxis* axis : axes_) {
        axis->AdjustMaxMin();
    }

    for (TChartAxis* axis : axes_) {
        if (!AxisShown(*axis)) {
            continue;
        }
        AxisRoom room;
        const QString& caption = axis->Title().Caption();
        if (!caption.isEmpty()) {
            const int angle = axis->Title().Angle();
            const bool flat = angle == 0 || angle == 180;
            const int textWidth = m.TextWidth(axis->Title().Font(), caption);
            const int textHeight = m.TextHeight(axis->Title().Font());
            room.title = axis->Horizontal() == flat ? textHeight : textWidth;
        }
        if (axis->Labels()) {
            if (axis->Horizontal()) {
                room.labels = m.TextHeight(axis->LabelsFont());
            } else {
                const double step = chartmath::labelStep(axis->EffectiveRange(), axis->Increment(),
                    r.Height(), m.TextHeight(axis->LabelsFont()), axis->LabelsSeparation(),
                    chartmath::formatResolution(axis->AxisValuesFormat()));
                const double lo = std::trunc(axis->EffectiveMinimum() / step) * step;
                const double hi = std::trunc(axis->EffectiveMaximum() / step) * step;
                room.labels = std::max(m.TextWidth(axis->LabelsFont(), axis->FormatValue(lo)),
                                  m.TextWidth(axis->LabelsFont(), axis->FormatValue(hi)))
                    + m.TextWidth(axis->LabelsFont(), QStringLiteral(" "));
            }
        }
        if (axis->Ticks().Visible) {
            room.ticks = axis->Axis().Width + axis->TickLength();
        }
        if (axis->MinorTicks().Visible) {
            room.ticks = std::max(room.ticks, axis->MinorTickLength());
        }
        const int total = room.title + room.labels + room.ticks;
        TAxisPicture ap;
        ap.Axis = axis;
        if (axis->Horizontal()) {
            if (axis->OtherSide()) {
                ap.Area = {r.Left, r.Top, r.Right, r.Top + total};
                r.Top += total;
            } else {
                ap.Area = {r.Left, r.Bottom - total, r.Right, r.Bottom};
                r.Bottom -= total;
            }
        } else {
            if (axis->OtherSide()) {
                ap.Area = {r.Right - total, r.Top, r.Right, r.Bottom};
                r.Right -= total;
            } else {
                ap.Area = {r.Left, r.Top, r.Left + total, r.Bottom};
                r.Left += total;
            }
        }
        ap.TitleRoom = room.title;
        ap.LabelsRoom = room.labels;
        ap.TicksRoom = room.ticks;
        picture.Axes.push_back(std::move(ap));
    }

    picture.ChartRect = r;
    bottomAxis_->SetGeometry(r.Left, r.Right, r.Bottom);
    topAxis_->SetGeometry(r.Left, r.Right, r.Top);
    leftAxis_->SetGeometry(r.Top, r.Bottom, r.Left);
    rightAxis_->SetGeometry(r.Top, r.Bottom, r.Right);
    depthAxis_->SetGeometry(r.Top, r.Bottom, r.Right);
}

void TChartModel::buildAxis(TChartAxis& axis, TChartPicture& picture)
{
    auto it = std::find_if(
        picture.Axes.begin(), picture.Axes.end(), [&](const auto& a) { return a.Axis == &axis; });
    if (it == picture.Axes.end()) {
        return;
    }
    TAxisPicture& ap = *it;
    const AxisRoom room{ap.TitleRoom, ap.LabelsRoom, ap.TicksRoom};

    const TChartMetrics& m = *metrics_;
    const TChartRect& plot = picture.ChartRect;
    const bool horizontal = axis.Horizontal();
    const bool other = axis.OtherSide();
    const int pos = axis.PosAxis();
    const int lineHeight = m.TextHeight(axis.LabelsFont());

    int labelSize = lineHeight;
    if (horizontal) {
        labelSize = std::max(m.TextWidth(axis.LabelsFont(), axis.FormatValue(axis.EffectiveMinimum())),
            m.TextWidth(axis.LabelsFont(), axis.FormatValue(axis.EffectiveMaximum())));
    }
    ap.Step = chartmath::labelStep(axis.EffectiveRange(), axis.Increment(), axis.AxisSize(), labelSize,
        axis.LabelsSeparation(), chartmath::formatResolution(axis.AxisValuesFormat()));

    // Title, centred along the axis beyond the labels.
    const QString& caption = axis.Title().Caption();
    if (!caption.isEmpty()) {
        const int angle = axis.Title().Angle();
        const bool flat = angle == 0 || angle == 180;
        const int w = m.TextWidth(axis.Title().Font(), caption);
        const int h = m.TextHeight(axis.Title().Font());
        const int along = horizontal == flat ? w : h; // size along the axis
        const int across = horizontal == flat ? h : w; // size away from it
        const int centre = (axis.StartPos() + axis.EndPos()) / 2;
        const int outer = room.labels + room.ticks;
        ap.Title.Text = caption;
        ap.TitleAngle = angle;
        if (horizontal) {
            const int top = other ? pos - outer - across : pos + outer;
            ap.Title.Rect = {centre - along / 2, top, centre - along / 2 + along, top + across};
        } else {
            const int left = other ? pos + outer : pos - outer - across;
            ap.Title.Rect = {left, centre - along / 2, left + across, centre - along / 2 + along};
        }
    }

    if (axis.Labels()) {
        ap.LabelValues = chartmath::labelValues(
            axis.EffectiveMinimum(), axis.EffectiveMaximum(), ap.Step, axis.RoundFirstLabel());
        QString lastText;
        for (double v : ap.LabelValues) {
            const int pixel = axis.CalcPosValue(v);
            QString text = axis.FormatValue(v);
            // Values closer than the format shows (an axis too short for one label, a range
            // below the format's resolution) would repeat a text: it is shown once.
            if (!ap.Labels.empty() && text == lastText) {
                continue;
            }
            if (!axis.LabelsOnAxis() && (pixel <= axis.StartPos() || pixel >= axis.EndPos())) {
                continue;
            }
            const int w = m.TextWidth(axis.LabelsFont(), text);
            TChartText label;
            if (horizontal) {
                const int top = other ? pos - room.ticks - lineHeight : pos + room.ticks;
                label.Rect = {pixel - w / 2, top, pixel - w / 2 + w, top + lineHeight};
            } else {
                const int left = other ? pos + room.ticks : pos - room.ticks - w;
                label.Rect = {left, pixel - lineHeight / 2, left + w, pixel - lineHeight / 2 + lineHeight};
            }
            lastText = text;
            label.Text = std::move(text);
            ap.Labels.push_back(std::move(label));
            if (axis.TickOnLabelsOnly() && int(ap.TickPositions.size()) < chartmath::kMaxTickPositions) {
                ap.TickPositions.push_back(pixel);
            }
        }
    }

    // Axis line on the plotting rectangle's edge, then outer ticks and grid at the label pixels.
    // A pen of width w at c covers c - w/2 … c + w/2 - 1: keep the line on the outer side.
    const int width = axis.Axis().Width;
    if (horizontal) {
        const int y = pos + (other ? 0 : width / 2);
        ap.AxisLine = {plot.Left - width / 2, y, plot.Right + 1 + width / 2, y}; // meets the vertical axes
    } else {
        const int x = pos + (other ? width / 2 : 0);
        ap.AxisLine = {x, plot.Top, x, plot.Bottom + 1};
    }
    if (axis.Ticks().Visible && axis.TickLength() > 0) {
        const int from = width;
        const int to = width + axis.TickLength() - 1;
        for (int p : ap.TickPositions) {
            if (horizontal) {
                ap.Ticks.push_back(
                    other ? TChartLine{p, pos - from, p, pos - to} : TChartLine{p, pos + from, p, pos + to});
            } else {
                ap.Ticks.push_back(
                    other ? TChartLine{pos + from, p, pos + to, p} : TChartLine{pos - from, p, pos - to, p});
            }
        }
    }
    if (axis.Grid().Visible) {
        for (int p : ap.TickPositions) {
            // Inside the wall, so the grid never covers the wall's or an axis' line.
            ap.GridLines.push_back(horizontal ? TChartLine{p, plot.Top + 1, p, plot.Bottom - 1}
                                              : TChartLine{plot.Left + 1, p, plot.Right - 1, p});
        }
    }
    // Inner ticks point into the plotting rectangle from the axis line.
    if (axis.TicksInner().Visible && axis.TickInnerLength() > 0) {
        const int len = axis.TickInnerLength();
        for (int p : ap.TickPositions) {
            if (horizontal) {
                ap.InnerTicks.push_back(
                    other ? TChartLine{p, pos + 1, p, pos + len} : TChartLine{p, pos - 1, p, pos - len});
            } else {
                ap.InnerTicks.push_back(
                    other ? TChartLine{pos - 1, p, pos - len, p} : TChartLine{pos + 1, p, pos + len, p});
            }
        }
    }
    // Minor ticks and minor grid, evenly between neighbouring major ticks.
    const bool minorTicks = axis.MinorTicks().Visible && axis.MinorTickLength() > 0;
    const bool minorGrid = axis.MinorGrid().Visible;
    if ((minorTicks || minorGrid) && axis.MinorTickCount() > 0 && ap.TickPositions.size() >= 2) {
        const int count = axis.MinorTickCount();
        const int from = width;
        const int to = width + axis.MinorTickLength() - 1;
        for (std::size_t i = 0; i + 1 < ap.TickPositions.size(); ++i) {
            const int a = ap.TickPositions[i];
            const int b = ap.TickPositions[i + 1];
            for (int k = 1; k <= count; ++k) {
                const int p = a + int(chartmath::nearest(double(b - a) * k / (count + 1)));
                if (minorTicks) {
                    if (horizontal) {
                        ap.MinorTicks.push_back(other ? TChartLine{p, pos - from, p, pos - to}
                                                      : TChartLine{p, pos + from, p, pos + to});
                    } else {
                        ap.MinorTicks.push_back(other ? TChartLine{pos + from, p, pos + to, p}
                                                      : TChartLine{pos - from, p, pos - to, p});
                    }
                }
                if (minorGrid) {
                    ap.MinorGridLines.push_back(horizontal ? TChartLine{p, plot.Top + 1, p, plot.Bottom - 1}
                                                           : TChartLine{plot.Left + 1, p, plot.Right - 1, p});
                }
            }
        }
    }
}

void TChartModel::buildSeries(const TChartSeries& series, TChartPicture& picture) const
{
    const int n = series.Count();
    const TChartAxis* hAxis = series.GetHorizAxis();
    const TChartAxis* vAxis = series.GetVertAxis();
    TSeriesPicture& sp = picture.Series.emplace_back();
    sp.Series = &series;
    if (const auto* line = dynamic_cast<const TCustomSeries*>(&series)) {
        sp.Pen = line->LinePen();
    }
    if (n == 0 || !hAxis || !vAxis) {
        return;
    }

    const TChartValueList& xs = series.XValues();
    const TChartValueList& ys = series.YValues();
    const TChartRect& plot = picture.ChartRect;
    const double leftValue = hAxis->CalcPosPoint(plot.Left);
    const double rightValue = hAxis->CalcPosPoint(plot.Right);
    int first = 0;
    int last = n - 1;
    if (xs.Order() == loAscending) {
        // The first point beyond the right edge ends the window, so a range that ends on a
        // point still draws the segment that leaves the rectangle there.
        first = xs.FirstNotBelow(leftValue);
        const int beyond = xs.FirstAbove(rightValue);
        last = beyond >= n ? n - 1 : beyond;
    } else if (xs.Order() == loDescending) {
        first = 0;
        while (first < n && xs.Value(first) < leftValue) {
            ++first;
        }
        last = first;
        while (last < n && xs.Value(last) <= rightValue) {
            ++last;
        }
        last = std::min(last, n - 1);
    }
    if (first >= n) {
        return;
    }
    sp.FirstIndex = first;
    sp.LastIndex = last;

    // Segments are clipped to the plotting rectangle in unbounded pixel coordinates, so a
    // point far beyond it (a spike looked at closely) still draws the part of its segments
    // that crosses the rectangle. The segment into a point takes that point's colour; a run
    // is a stretch of joined segments in one colour.
    const ClipBounds bounds{double(plot.Left), double(plot.Top), double(plot.Right), double(plot.Bottom)};
    const AxisMap hMap(*hAxis);
    const AxisMap vMap(*vAxis);
    auto map = [&](int i) {
        MappedPoint m;
        const double hOffset = hMap.offset(xs.Value(i));
        const double vOffset = vMap.offset(ys.Value(i));
        m.exact = QPointF(hMap.exact(hOffset), vMap.exact(vOffset));
        m.usable = std::isfinite(m.exact.x()) && std::isfinite(m.exact.y());
        m.inside = m.usable && bounds.contains(m.exact);
        if (m.inside) {
            m.pixel = QPoint(hMap.rounded(hOffset), vMap.rounded(vOffset));
        }
        return m;
    };
    QPolygon* line = nullptr; // the run being extended
    TColor lineColor = clDefault;
    const qsizetype expected = last - first + 2;
    auto addSegment = [&](QPoint a, QPoint b, TColor color) {
        if (!line || lineColor != color || line->constLast() != a) {
            TSeriesRun& run = sp.Runs.emplace_back();
            run.Color = lineColor = color;
            if (!sparePolygons_.empty()) {
                run.Points = std::move(sparePolygons_.back());
                sparePolygons_.pop_back();
            }
            run.Points.reserve(expected);
            run.Points.push_back(a);
            line = &run.Points;
        }
        line->push_back(b);
    };
    MappedPoint previous = map(first > 0 ? first - 1 : first);
    for (int i = first > 0 ? first : first + 1; i <= last; ++i) {
        const MappedPoint current = map(i);
        if (previous.inside && current.inside) {
            addSegment(previous.pixel, current.pixel, series.ValueColor(i));
        } else if (QPointF from, to; previous.usable && current.usable
                   && clipSegment(previous.inside ? QPointF(previous.pixel) : previous.exact,
                       current.inside ? QPointF(current.pixel) : current.exact, bounds, from, to)) {
            addSegment(toPixel(from), toPixel(to), series.ValueColor(i));
        } else {
            line = nullptr;
        }
        previous = current;
    }
}

// ---- zoom and scroll ----

std::array<TChartAxis*, 4> TChartModel::zoomAxes() const
{
    return {leftAxis_.get(), rightAxis_.get(), topAxis_.get(), bottomAxis_.get()};
}

void TChartModel::saveScales()
{
    const std::array<const TChartAxis*, 4> order{
        topAxis_.get(), bottomAxis_.get(), leftAxis_.get(), rightAxis_.get()};
    for (std::size_t i = 0; i < order.size(); ++i) {
        const TChartAxis& a = *order[i];
        savedScales_[i]
            = {a.Automatic(), a.AutomaticMinimum(), a.AutomaticMaximum(), a.Minimum(), a.Maximum()};
    }
    scalesRestored_ = false;
}

bool TChartModel::applyZoom(const std::array<double, 8>& targets)
{
    // An axis without points has no view to zoom: fixing it would hide the points to come.
    std::array<bool, 4> zooms{};
    const auto axes = zoomAxes();
    for (std::size_t i = 0; i < axes.size(); ++i) {
        zooms[i] = AxisHasPoints(*axes[i]);
    }
    if (std::none_of(zooms.begin(), zooms.end(), [](bool z) { return z; })) {
        return false;
    }
    if (scalesRestored_) {
        saveScales();
    }
    if (animatedZoom_) {
        for (int step = 1; step < animatedZoomSteps_; ++step) {
            for (std::size_t i = 0; i < axes.size(); ++i) {
                if (!zooms[i]) {
                    continue;
                }
                TChartAxis& a = *axes[i];
                const double lo = a.Minimum() + (targets[2 * i] - a.Minimum()) / ZoomStepFactor;
                const double hi = a.Maximum() - (a.Maximum() - targets[2 * i + 1]) / ZoomStepFactor;
                a.SetMinMax(lo, hi);
            }
            Repaint();
        }
    }
    for (std::size_t i = 0; i < axes.size(); ++i) {
        if (zooms[i]) {
            axes[i]->SetMinMax(targets[2 * i], targets[2 * i + 1]);
        }
    }
    zoomed_ = true;
    if (OnZoom) {
        OnZoom(this);
    }
    return true;
}

void TChartModel::ZoomByPercent(double percent)
{
    std::array<double, 8> targets{};
    const auto axes = zoomAxes();
    for (std::size_t i = 0; i < axes.size(); ++i) {
        const TChartAxis& a = *axes[i];
        double lo = a.Minimum();
        double hi = a.Maximum();
        const bool autoMin = a.Automatic() || a.AutomaticMinimum();
        const bool autoMax = a.Automatic() || a.AutomaticMaximum();
        if (autoMin || autoMax) {
            double dataMin = 0;
            double dataMax = 0;
            a.CalcMinMax(dataMin, dataMax);
            if (autoMin) {
                lo = dataMin;
            }
            if (autoMax) {
                hi = dataMax;
            }
        }
        const double d = (hi - lo) * (percent - 100) * 0.01;
        targets[2 * i] = lo + d;
        targets[2 * i + 1] = hi - d;
    }
    if (applyZoom(targets)) {
        Repaint();
    }
}

void TChartModel::ZoomRect(const TChartRect& rect)
{
    TZoomPanningRecord r{rect.Left, rect.Top, rect.Right, rect.Bottom, false};
    r.Check();
    std::array<double, 8> targets{};
    const auto axes = zoomAxes();
    for (std::size_t i = 0; i < axes.size(); ++i) {
        const TChartAxis& a = *axes[i];
        if (a.Horizontal()) {
            targets[2 * i] = a.CalcPosPoint(r.X0);
            targets[2 * i + 1] = a.CalcPosPoint(r.X1);
        } else {
            targets[2 * i] = a.CalcPosPoint(r.Y1);
            targets[2 * i + 1] = a.CalcPosPoint(r.Y0);
        }
    }
    applyZoom(targets);
}

void TChartModel::UndoZoom()
{
    if (!scalesRestored_) {
        const std::array<TChartAxis*, 4> order{
            topAxis_.get(), bottomAxis_.get(), leftAxis_.get(), rightAxis_.get()};
        for (std::size_t i = 0; i < order.size(); ++i) {
            TChartAxis& a = *order[i];
            const TAxisSavedScales& s = savedScales_[i];
            // Limits first: fixing them clears the flags, which then get their saved values.
            if (!s.Automatic) {
                a.SetMinMax(s.Minimum, s.Maximum);
            }
            a.SetAutomatic(s.Automatic);
            a.SetAutomaticMinimum(s.AutomaticMinimum);
            a.SetAutomaticMaximum(s.AutomaticMaximum);
        }
    }
    scalesRestored_ = true;
    if (OnUndoZoom) {
        OnUndoZoom(this);
    }
    Invalidate();
    zoomed_ = false;
}

// ---- mouse ----

const TChartSeries* TChartModel::seriesAt(int x, int y) const
{
    if (!picture_.ChartRect.Contains(x, y)) {
        return nullptr;
    }
    const QPoint p(x, y);
    constexpr double limit = kSeriesHitDistance * kSeriesHitDistance;
    for (auto it = picture_.Series.rbegin(); it != picture_.Series.rend(); ++it) {
        if (!it->Series->Active()) {
            continue;
        }
        for (const TSeriesRun& run : it->Runs) {
            for (qsizetype i = 1; i < run.Points.size(); ++i) {
                const QPoint a = run.Points[i - 1];
                const QPoint b = run.Points[i];
                if (std::max(a.x(), b.x()) < x - kSeriesHitDistance
                    || std::min(a.x(), b.x()) > x + kSeriesHitDistance) {
                    continue;
                }
                if (segmentDistanceSquared(p, a, b) <= limit) {
                    return it->Series;
                }
            }
        }
    }
    return nullptr;
}

bool TChartModel::axisAt(int x, int y) const
{
    return std::any_of(picture_.Axes.begin(), picture_.Axes.end(),
        [&](const TAxisPicture& a) { return a.Area.Contains(x, y); });
}

bool TChartModel::canStartDrag(int x, int y) const
{
    if (seriesAt(x, y) || axisAt(x, y)) {
        return true;
    }
    if (!picture_.Title.Text.isEmpty() && picture_.Title.Rect.Contains(x, y)) {
        return false;
    }
    return picture_.ChartRect.Contains(x, y) && CountActiveSeries() > 0;
}

void TChartModel::MouseDown(TMouseButton button, int x, int y)
{
    if (zoom_.Active || panning_.Active) {
        return;
    }
    if (!pictureBuilt_) {
        BuildPicture();
    }
    if (!canStartDrag(x, y)) {
        return;
    }
    if (allowZoom_ && button == ZoomMouseButton) {
        ShowCursor(crDefault);
        zoom_.Activate(x, y);
        DrawZoomBand({x, y, x, y});
    } else if (allowPanning_ != pmNone && button == ScrollMouseButton) {
        ShowCursor(crDefault);
        panning_.Activate(x, y);
    }
}

void TChartModel::MouseMove(int x, int y)
{
    if (zoom_.Active) {
        if (x == zoom_.X1 && y == zoom_.Y1) {
            return;
        }
        DrawZoomBand({zoom_.X0, zoom_.Y0, zoom_.X1, zoom_.Y1});
        zoom_.X1 = x;
        zoom_.Y1 = y;
        DrawZoomBand({zoom_.X0, zoom_.Y0, zoom_.X1, zoom_.Y1});
        return;
    }
    if (panning_.Active) {
        if (!picture_.ChartRect.Contains(x, y)) {
            endPanning();
            return;
        }
        if (x == panning_.X1 && y == panning_.Y1) {
            return;
        }
        bool moved = false;
        auto pass = [&](bool horizontal, int from, int to) {
            for (TChartAxis* axis : axes_) {
                if (axis->IsDepthAxis() || axis->Horizontal() != horizontal || !AxisHasPoints(*axis)) {
                    continue;
                }
                const double delta = axis->CalcPosPoint(from) - axis->CalcPosPoint(to);
                double lo = axis->Minimum() + delta;
                double hi = axis->Maximum() + delta;
                bool allow = true;
                if (OnAllowScroll) {
                    OnAllowScroll(this, axis, lo, hi, allow);
                }
                if (allow) {
                    if (scalesRestored_) {
                        saveScales();
                    }
                    axis->SetMinMax(lo, hi);
                    moved = true;
                }
            }
        };
        if (x != panning_.X1 && (allowPanning_ == pmHorizontal || allowPanning_ == pmBoth)) {
            pass(true, panning_.X1, x);
        }
        if (y != panning_.Y1 && (allowPanning_ == pmVertical || allowPanning_ == pmBoth)) {
            pass(false, panning_.Y1, y);
        }
        panning_.X1 = x;
        panning_.Y1 = y;
        if (moved) {
            if (OnScroll) {
                OnScroll(this);
            }
            Invalidate();
        }
        return;
    }
    const TChartSeries* s = seriesAt(x, y);
    ShowCursor(s && s->Cursor() != crDefault ? s->Cursor() : cursor_);
}

void TChartModel::MouseUp(TMouseButton button, int x, int y)
{
    if (button == ZoomMouseButton && zoom_.Active) {
        zoom_.Active = false;
        DrawZoomBand({zoom_.X0, zoom_.Y0, zoom_.X1, zoom_.Y1});
        zoom_.X1 = x;
        zoom_.Y1 = y;
        ShowCursor(cursor_);
        if (std::abs(zoom_.X1 - zoom_.X0) > MinZoomDrag && std::abs(zoom_.Y1 - zoom_.Y0) > MinZoomDrag) {
            if (zoom_.X1 > zoom_.X0 && zoom_.Y1 > zoom_.Y0) {
                ZoomRect({zoom_.X0, zoom_.Y0, zoom_.X1, zoom_.Y1});
            } else {
                UndoZoom();
            }
            Invalidate();
        }
    }
    if (panning_.Active) {
        endPanning();
    }
}

void TChartModel::endPanning()
{
    panning_.Active = false;
    ShowCursor(cursor_);
}

void TChartModel::MouseLeave()
{
    if (panning_.Active) {
        panning_.Active = false;
    }
    if (!zoom_.Active) {
        ShowCursor(cursor_);
    }
}

void TChartModel::MouseWheel(bool towardsUser)
{
    // Saved like a drag-scroll, so that undoing the zoom gives the automatic view back.
    bool moved = false;
    for (TChartAxis* axis : {leftAxis_.get(), rightAxis_.get(), static_cast<TChartAxis*>(depthAxis_.get())}) {
        if (!AxisHasPoints(*axis)) {
            continue;
        }
        if (scalesRestored_) {
            saveScales();
        }
        const double delta = (axis->Maximum() - axis->Minimum()) * 3 * 0.01;
        axis->Scroll(towardsUser ? delta : -delta);
        moved = true;
    }
    if (moved) {
        Repaint();
    }
}
