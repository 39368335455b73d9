#include "console/WindowPosition.h"

#include "console/core/IniFile.h"

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
    timer_.setInterval(kCheckMs);
    connect(&timer_, &QTimer::timeout, this, &TWindowPosition::check);
    window_.installEventFilter(this);
}

QPoint TWindowPosition::currentFramePosition(const QMargins& frame) const
{
    return window_.geometry().topLeft() - QPoint(frame.left(), frame.top());
}

QPoint TWindowPosition::framePosition() const
{
    // Without a confirmed frame the window's place says nothing about the corner: saving
    // it moved the window by a title bar at every start. A window not shown yet that was
    // moved since is where it was moved to.
    if (wanted_ && (window_.isVisible() || window_.pos() == *wanted_))
        return *wanted_;
    return currentFramePosition(FrameMargins());
}

void TWindowPosition::moveFrameTo(const QPoint& p)
{
    wanted_ = p;
    corrections_ = 0;
    frameSeen_ = false;
    if (!window_.isVisible()) {
        // Qt takes a corner given before the show as the frame's; checked once shown.
        timer_.stop();
        window_.move(p);
        return;
    }
    const QMargins frame = FrameMargins();
    place(p, frame);
    startChecking();
}

void TWindowPosition::place(const QPoint& frame, const QMargins& margins)
{
    window_.setGeometry(QRect(frame + QPoint(margins.left(), margins.top()), window_.size()));
}

void TWindowPosition::startChecking()
{
    sinceShow_.start();
    sinceChange_.start();
    timer_.start();
    check();
}

void TWindowPosition::finish()
{
    wanted_.reset();
    timer_.stop();
}

void TWindowPosition::check()
{
    if (!wanted_ || !window_.isVisible()) {
        finish();
        return;
    }
    const QMargins frame = FrameMargins();
    if (frame.isNull()) {
        // No frame (yet): a platform without one, or a window manager still at work.
        if (sinceShow_.elapsed() >= kGiveUpMs)
            finish();
        return;
    }
    if (!frameSeen_) {
        frameSeen_ = true;
        sinceChange_.start();
    }
    if (currentFramePosition(frame) != *wanted_) {
        if (corrections_ >= kMaxCorrections) {
            finish(); // the window manager insists on its own place
            return;
        }
        ++corrections_;
        place(*wanted_, frame);
        sinceChange_.start();
        return;
    }
    if (sinceChange_.elapsed() >= kQuietMs)
        finish();
}

bool TWindowPosition::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &window_ && wanted_) {
        switch (event->type()) {
        case QEvent::Show:
            startChecking();
            break;
        case QEvent::Move:
        case QEvent::Resize:
            if (timer_.isActive())
                check();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TWindowPosition::Load(const TIniFile& ini)
{
    moveFrameTo({ini.readInteger("Position", "Left", 100), ini.readInteger("Position", "Top", 100)});
}

void TWindowPosition::Save(TIniFile& ini) const
{
    const QPoint frame = framePosition();
    ini.writeInteger("Position", "Left", frame.x());
    ini.writeInteger("Position", "Top", frame.y());
}
