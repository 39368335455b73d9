#pragma once
// The main window's position as the settings file keeps it: the top-left corner of the
// window's frame (title bar and border included). It is saved and restored as that same
// corner, so a restart without moving leaves the window where it was.

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <functional>
#include <optional>

class QWidget;

class TWindowPosition : public QObject {
public:
    explicit TWindowPosition(QWidget& window);

    // The frame's top-left corner now.
    QPoint framePosition() const;
    // Puts the frame's top-left corner at p.
    void moveFrameTo(const QPoint& p);

    // The frame around the client area as the window system reports it; null while it is
    // not known (a window not yet shown, a platform without frames). Tests inject one.
    std::function<QMargins()> FrameMargins;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place(const QPoint& frame, const QMargins& margins);

    QWidget& window_;
    // A corner asked for before the frame was known, put right once it is.
    std::optional<QPoint> pending_;
};
