#include "console/WindowPosition.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

TWindowPosition::TWindowPosition(QWidget& window)
    : window_(window)
{
    FrameMargins = [this] {
        const QWindow* handle = window_.windowHandle();
        return handle ? handle->frameMargins() : QMargins();
    };
    window_.installEventFilter(this);
}

QPoint TWindowPosition::framePosition() const
{
    const QMargins frame = FrameMargins();
    return window_.geometry().topLeft() - QPoint(frame.left(), frame.top());
}

void TWindowPosition::moveFrameTo(const QPoint& p)
{
    const QMargins frame = FrameMargins();
    if (!frame.isNull() || window_.isVisible()) {
        pending_.reset();
        place(p, frame);
        return;
    }
    // Before the first show the frame is not known. Qt takes a position given now as the
    // frame's, but a resize before the window is mapped (the layout settling its size)
    // turns it into the client area's; so it is checked once the frame is known.
    window_.move(p);
    pending_ = p;
}

void TWindowPosition::place(const QPoint& frame, const QMargins& margins)
{
    window_.setGeometry(QRect(frame + QPoint(margins.left(), margins.top()), window_.size()));
}

bool TWindowPosition::eventFilter(QObject* watched, QEvent* event)
{
    if (pending_ && watched == &window_
        && (event->type() == QEvent::Move || event->type() == QEvent::Resize
            || event->type() == QEvent::Show)) {
        const QMargins frame = FrameMargins();
        if (!frame.isNull()) {
            const QPoint wanted = *std::exchange(pending_, std::nullopt);
            if (framePosition() != wanted)
                place(wanted, frame);
        }
    }
    return QObject::eventFilter(watched, event);
}
