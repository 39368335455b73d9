#include "chart/CustomChart.h"

#include "chart/core/LineThinning.h"
#include "chart/core/ZoomBand.h"

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>

namespace {

QFont toQFont(const TChartFont& f)
{
    QFont font(f.Name);
    font.setPointSize(f.Size);
    font.setBold(f.Bold);
    return font;
}

// Measures with the fonts the chart paints with; metrics are cached per font.
class QtChartMetrics : public TChartMetrics {
public:
    // Shaping text is the dearest part of a layout, and the same labels come back redraw after
    // redraw, so widths are remembered (a bounded cache).
    int TextWidth(const TChartFont& font, const QString& text) const override
    {
        const QString key = fontKey(font) + QLatin1Char('|') + text;
        const auto it = widths_.constFind(key);
        if (it != widths_.constEnd()) {
            return *it;
        }
        if (widths_.size() > 4096) {
            widths_.clear();
        }
        const int w = metrics(font).horizontalAdvance(text);
        widths_.insert(key, w);
        return w;
    }
    int TextHeight(const TChartFont& font) const override { return metrics(font).height(); }

private:
    const QFontMetrics& metrics(const TChartFont& f) const
    {
        const QString key = fontKey(f);
        auto it = cache_.find(key);
        if (it == cache_.end()) {
            it = cache_.insert(key, QFontMetrics(toQFont(f)));
        }
        return *it;
    }
    static QString fontKey(const TChartFont& f)
    {
        return f.Name + QLatin1Char('/') + QString::number(f.Size)
            + (f.Bold ? QStringLiteral("b") : QString());
    }
    mutable QHash<QString, QFontMetrics> cache_;
    mutable QHash<QString, int> widths_;
};

QRect toQRect(const TChartRect& r)
{
    return QRect(r.Left, r.Top, r.Width(), r.Height());
}

Qt::PenStyle toQtStyle(TPenStyle s)
{
    switch (s) {
    case psSolid:
        return Qt::SolidLine;
    case psDash:
        return Qt::DashLine;
    case psDot:
        return Qt::DotLine;
    case psDashDot:
        return Qt::DashDotLine;
    case psDashDotDot:
        return Qt::DashDotDotLine;
    case psClear:
        return Qt::NoPen;
    }
    return Qt::SolidLine;
}

QPen toQPen(const TChartPen& pen, TColor color)
{
    if (!pen.Visible) {
        return QPen(Qt::NoPen);
    }
    QPen q(color::toQColor(color));
    q.setStyle(toQtStyle(pen.Style));
    q.setWidth(pen.Width);
    q.setCosmetic(pen.Width <= 1);
    // One-pixel lines cover both end points; wide ones end exactly at them.
    q.setCapStyle(pen.Width <= 1 ? Qt::SquareCap : Qt::FlatCap);
    q.setJoinStyle(Qt::MiterJoin);
    return q;
}

QPen toQPen(const TChartPen& pen)
{
    return toQPen(pen, pen.Color);
}

void drawLines(QPainter& p, const std::vector<TChartLine>& lines)
{
    for (const TChartLine& l : lines) {
        p.drawLine(l.X1, l.Y1, l.X2, l.Y2);
    }
}

void drawText(QPainter& p, const TChartText& t, int angle)
{
    if (t.Text.isEmpty()) {
        return;
    }
    const QRect r = toQRect(t.Rect);
    if (angle == 0) {
        // The box is the text's own measured size: drawing at its baseline needs no layout.
        p.drawText(QPoint(r.left(), r.top() + p.fontMetrics().ascent()), t.Text);
        return;
    }
    if (angle % 180 == 0) {
        p.drawText(r, Qt::AlignCenter | Qt::TextDontClip, t.Text);
        return;
    }
    p.save();
    p.translate(r.center());
    p.rotate(-angle);
    const QRect turned(-r.height() / 2, -r.width() / 2, r.height(), r.width());
    p.drawText(turned, Qt::AlignCenter | Qt::TextDontClip, t.Text);
    p.restore();
}

Qt::CursorShape toShape(TCursor c)
{
    return c == crCross ? Qt::CrossCursor : Qt::ArrowCursor;
}

} // namespace

TCustomChart::TCustomChart(QWidget* parent)
    : QWidget(parent)
    , frameTimer_(new QTimer(this)) // first: setting up the model already asks for redraws
{
    frameTimer_->setSingleShot(true);
    connect(frameTimer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    SetMetrics(std::make_unique<QtChartMetrics>());
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(400, 250);
    SetChartBounds(width(), height());
}

TCustomChart::~TCustomChart() = default;

void TCustomChart::Invalidate()
{
    bufferValid_ = false;
    const qint64 since = sincePaint_.isValid() ? sincePaint_.elapsed() : kFrameMs;
    if (since >= kFrameMs) {
        frameTimer_->stop();
        // Every point of a batch lands here before the paint comes: one request serves all.
        if (!paintAsked_) {
            paintAsked_ = true;
            update();
        }
    } else if (!frameTimer_->isActive()) {
        frameTimer_->start(int(kFrameMs - since));
    }
}

void TCustomChart::Repaint()
{
    bufferValid_ = false;
    repaint();
}

void TCustomChart::ShowCursor(TCursor cursor)
{
    setCursor(toShape(cursor));
}

void TCustomChart::DrawTo(QImage& image)
{
    if (image.width() != ChartWidth() || image.height() != ChartHeight()) {
        SetChartBounds(image.width(), image.height());
    }
    const TChartPicture& picture = BuildPicture();
    {
        QPainter painter(&image);
        PaintPicture(painter, picture);
    }
    if (picture.ZoomBand) {
        chartmath::invertZoomBand(image, picture.Band, Color());
    }
}

void TCustomChart::PaintPicture(QPainter& p, const TChartPicture& pic) const
{
    const int w = ChartWidth();
    const int h = ChartHeight();
    p.fillRect(0, 0, w, h, color::toQColor(Color()));

    if (BevelOuter() != bvNone && BevelWidth() > 0) {
        const QColor light = color::toQColor(BevelOuter() == bvRaised ? clBtnHighlight : clBtnShadow);
        const QColor dark = color::toQColor(BevelOuter() == bvRaised ? clBtnShadow : clBtnHighlight);
        for (int i = 0; i < BevelWidth(); ++i) {
            p.fillRect(i, i, w - 2 * i, 1, light);
            p.fillRect(i, i, 1, h - 2 * i, light);
            p.fillRect(i, h - 1 - i, w - 2 * i, 1, dark);
            p.fillRect(w - 1 - i, i, 1, h - 2 * i, dark);
        }
    }

    if (!pic.Title.Text.trimmed().isEmpty()) { // the form's blank title takes room but shows nothing
        const TChartTitle& title = Title();
        p.setFont(toQFont(title.Font));
        p.setPen(color::toQColor(title.Font.Color));
        const int align = title.Alignment == taLeftJustify ? Qt::AlignLeft
            : title.Alignment == taRightJustify            ? Qt::AlignRight
                                                           : Qt::AlignHCenter;
        p.drawText(toQRect(pic.Title.Rect), align | Qt::AlignTop | Qt::TextDontClip, pic.Title.Text);
    }

    const TChartRect& plot = pic.ChartRect;
    const TChartWall& wall = BackWall();
    if (wall.Brush.Style != bsClear) {
        p.fillRect(QRect(plot.Left, plot.Top, plot.Width() + 1, plot.Height() + 1),
            color::toQColor(wall.Brush.Color));
    }
    if (wall.Pen.Visible) {
        p.setPen(toQPen(wall.Pen));
        p.setBrush(Qt::NoBrush);
        p.drawRect(plot.Left, plot.Top, plot.Width(), plot.Height());
    }

    for (const TAxisPicture& ap : pic.Axes) {
        const TChartAxis& axis = *ap.Axis;
        p.setFont(toQFont(axis.Title().Font()));
        p.setPen(color::toQColor(axis.Title().Font().Color));
        drawText(p, ap.Title, ap.TitleAngle);

        p.setFont(toQFont(axis.LabelsFont()));
        p.setPen(color::toQColor(axis.LabelsFont().Color));
        for (const TChartText& label : ap.Labels) {
            drawText(p, label, 0);
        }
        if (axis.Axis().Visible) {
            p.setPen(toQPen(axis.Axis()));
            p.drawLine(ap.AxisLine.X1, ap.AxisLine.Y1, ap.AxisLine.X2, ap.AxisLine.Y2);
        }
        p.setPen(toQPen(axis.Ticks()));
        drawLines(p, ap.Ticks);
        p.setPen(toQPen(axis.Grid()));
        drawLines(p, ap.GridLines);
        p.setPen(toQPen(axis.TicksInner()));
        drawLines(p, ap.InnerTicks);
        p.setPen(toQPen(axis.MinorTicks()));
        drawLines(p, ap.MinorTicks);
        p.setPen(toQPen(axis.MinorGrid()));
        drawLines(p, ap.MinorGridLines);
    }

    p.save();
    if (ClipPoints()) {
        p.setClipRect(QRect(plot.Left, plot.Top, plot.Width() + 1, plot.Height() + 1));
    }
    QPolygon thinned;
    for (const TSeriesPicture& sp : pic.Series) {
        const bool thin = sp.Pen.Style == psSolid && sp.Pen.Width <= 1;
        for (const TSeriesRun& run : sp.Runs) {
            p.setPen(toQPen(sp.Pen, run.Color));
            if (thin) {
                chartmath::thinColumns(run.Points, thinned);
                p.drawPolyline(thinned);
            } else {
                p.drawPolyline(run.Points);
            }
        }
    }
    p.restore();
}

void TCustomChart::DrawZoomBand(const TChartRect& rect)
{
    // Without a valid buffer the next full redraw draws the band in its current state.
    if (!bufferValid_ || buffer_.isNull()) {
        return;
    }
    TZoomPanningRecord r{rect.Left, rect.Top, rect.Right, rect.Bottom, false};
    r.Check();
    chartmath::invertZoomBand(buffer_, {r.X0, r.Y0, r.X1, r.Y1}, Color());
    update(QRect(r.X0, r.Y0, r.X1 - r.X0 + 1, r.Y1 - r.Y0 + 1));
}

namespace {

constexpr int kDotRadius = 3;

QRect markerRect(const TChartMarker& m)
{
    return QRect(m.x - kDotRadius - 1, m.top - kDotRadius - 1, 2 * kDotRadius + 3,
        m.bottom - m.top + 2 * kDotRadius + 3);
}

} // namespace

void TCustomChart::SetMarker(const std::optional<TChartMarker>& marker)
{
    if (marker_) {
        update(markerRect(*marker_));
    }
    marker_ = marker;
    if (marker_) {
        update(markerRect(*marker_));
    }
}

namespace {

constexpr int kCursorNameWidth = 14;
constexpr int kCursorNameHeight = 14;

QRect cursorLineRect(const TChartCursorLine& l)
{
    return QRect(l.x - kCursorNameWidth / 2 - 1, l.top - 1, kCursorNameWidth + 3, l.bottom - l.top + 3);
}

} // namespace

void TCustomChart::SetCursorLines(const std::vector<TChartCursorLine>& lines)
{
    if (lines == cursorLines_) {
        return;
    }
    for (const TChartCursorLine& l : cursorLines_) {
        update(cursorLineRect(l));
    }
    cursorLines_ = lines;
    for (const TChartCursorLine& l : cursorLines_) {
        update(cursorLineRect(l));
    }
}

void TCustomChart::PaintCursorLines(QPainter& p, const std::vector<TChartCursorLine>& lines)
{
    for (const TChartCursorLine& l : lines) {
        const QColor colour = color::toQColor(l.color);
        p.setPen(QPen(colour, 1));
        p.drawLine(l.x, l.top, l.x, l.bottom);
        const QRect name(l.x - kCursorNameWidth / 2, l.top, kCursorNameWidth, kCursorNameHeight);
        p.fillRect(name, colour);
        p.setPen(Qt::white);
        p.drawText(name, Qt::AlignCenter, l.name);
    }
}

void TCustomChart::renderBuffer()
{
    if (buffer_.size() != size()) {
        buffer_ = QImage(size(), QImage::Format_RGB32);
    }
    DrawTo(buffer_);
    bufferValid_ = true;
}

void TCustomChart::paintEvent(QPaintEvent*)
{
    paintAsked_ = false;
    if (!bufferValid_ || buffer_.size() != size()) {
        renderBuffer();
    }
    QPainter p(this);
    p.drawImage(0, 0, buffer_);
    PaintCursorLines(p, cursorLines_);
    if (marker_) {
        p.setClipRect(markerRect(*marker_));
        p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1, Qt::DashLine));
        p.drawLine(marker_->x, marker_->top, marker_->x, marker_->bottom);
        p.setRenderHint(QPainter::Antialiasing);
        for (const auto& [y, colour] : marker_->dots) {
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(color::toQColor(colour));
            p.drawEllipse(QPoint(marker_->x, y), kDotRadius, kDotRadius);
        }
    }
    sincePaint_.start();
}

void TCustomChart::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    SetChartBounds(width(), height());
}

namespace {

bool toButton(Qt::MouseButton b, TMouseButton& out)
{
    switch (b) {
    case Qt::LeftButton:
        out = mbLeft;
        return true;
    case Qt::RightButton:
        out = mbRight;
        return true;
    case Qt::MiddleButton:
        out = mbMiddle;
        return true;
    default:
        return false;
    }
}

} // namespace

void TCustomChart::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    TMouseButton button;
    if (toButton(event->button(), button)) {
        const QPoint pos = event->position().toPoint();
        MouseDown(button, pos.x(), pos.y());
    }
    event->accept();
}

void TCustomChart::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    MouseMove(pos.x(), pos.y());
    event->accept();
}

void TCustomChart::mouseReleaseEvent(QMouseEvent* event)
{
    TMouseButton button;
    if (toButton(event->button(), button)) {
        const QPoint pos = event->position().toPoint();
        MouseUp(button, pos.x(), pos.y());
    }
    event->accept();
}

void TCustomChart::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    MouseLeave();
}

void TCustomChart::wheelEvent(QWheelEvent* event)
{
    // One shift per notch (120 eighths of a degree); finer wheels add up to a notch first.
    wheelDelta_ += event->angleDelta().y();
    while (wheelDelta_ >= 120 || wheelDelta_ <= -120) {
        const bool towardsUser = wheelDelta_ < 0;
        wheelDelta_ += towardsUser ? 120 : -120;
        MouseWheel(towardsUser);
    }
    event->accept();
}
