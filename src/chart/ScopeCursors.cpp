#include "chart/ScopeCursors.h"

#include "chart/Chart.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>

namespace {

// Dark enough to read on the chart's background and its white wall, apart from the traces.
constexpr TColor kColorA = TColor(0x804000); // dark blue
constexpr TColor kColorB = TColor(0x008040); // dark green

const char* kKeyCursor = "orvikCursorId";

} // namespace

TScopeCursors::TScopeCursors(TChart& chart, const TChartTraces& traces, QObject* parent)
    : QObject(parent)
    , chart_(chart)
    , cursors_(chart, traces)
{
    // Clicked, the chart takes the arrow keys.
    chart_.setFocusPolicy(Qt::ClickFocus);
    chart_.installEventFilter(this);
}

// The chart may go first (a sibling): nothing here touches it.
TScopeCursors::~TScopeCursors() = default;

void TScopeCursors::SetOn(TCursorId which, bool on)
{
    if (cursors_.IsOn(which) == on) {
        return;
    }
    cursors_.SetOn(which, on);
    if (!cursors_.AnyOn()) {
        dragging_.reset();
    }
    moved();
}

void TScopeCursors::WatchKeys(QWidget* widget, TCursorId which)
{
    widget->setProperty(kKeyCursor, int(which));
    widget->installEventFilter(this);
}

void TScopeCursors::moved()
{
    drawLines();
    emit Changed();
}

void TScopeCursors::drawLines()
{
    linesQueued_ = false;
    auto unplaced = [this] {
        return (cursors_.IsOn(TCursorId::A) && !cursors_.Position(TCursorId::A))
            || (cursors_.IsOn(TCursorId::B) && !cursors_.Position(TCursorId::B));
    };
    if (unplaced()) {
        cursors_.PlaceUnplaced();
        if (!unplaced()) {
            emit Changed();
        }
    }
    std::vector<TChartCursorLine> lines;
    const TChartRect& plot = chart_.ChartRect();
    for (TCursorId which : {TCursorId::B, TCursorId::A}) { // A last, on top
        if (const auto pixel = cursors_.Pixel(which)) {
            const bool a = which == TCursorId::A;
            lines.push_back({*pixel, plot.Top, plot.Bottom, a ? QStringLiteral("A") : QStringLiteral("B"),
                a ? kColorA : kColorB});
        }
    }
    chart_.SetCursorLines(lines);
}

bool TScopeCursors::step(TCursorId which, int key)
{
    if (!cursors_.IsOn(which) || (key != Qt::Key_Left && key != Qt::Key_Right)) {
        return false;
    }
    cursors_.Step(which, key == Qt::Key_Right ? 1 : -1);
    moved();
    return true;
}

bool TScopeCursors::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &chart_) {
        if (event->type() == QEvent::KeyPress) {
            const QVariant which = watched->property(kKeyCursor);
            if (which.isValid() && step(TCursorId(which.toInt()), static_cast<QKeyEvent*>(event)->key())) {
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton && !dragging_) {
            if (const auto which = cursors_.At(e->position().toPoint().x())) {
                dragging_ = which;
                chart_.setFocus(Qt::MouseFocusReason);
                chart_.setCursor(Qt::SplitHCursor);
                return true; // no zoom
            }
        }
        break;
    }
    case QEvent::MouseMove:
        if (dragging_) {
            const TChartRect& plot = chart_.ChartRect();
            const int x = std::clamp(
                static_cast<QMouseEvent*>(event)->position().toPoint().x(), plot.Left, plot.Right);
            cursors_.MoveTo(*dragging_, chart_.BottomAxis().CalcPosPoint(x));
            moved();
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
        if (dragging_ && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            dragging_.reset();
            chart_.setCursor(Qt::CrossCursor);
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (cursors_.AnyOn() && step(cursors_.Last(), static_cast<QKeyEvent*>(event)->key())) {
            return true;
        }
        break;
    case QEvent::Paint:
        // Zoom, scroll and new points move the lines' pixels: placed again once the chart
        // has laid out the picture it is painting.
        if (cursors_.AnyOn() && !linesQueued_) {
            linesQueued_ = true;
            QMetaObject::invokeMethod(
                this, [this] { drawLines(); }, Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
