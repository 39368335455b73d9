#pragma once
// The main window's position as the settings file keeps it: the top-left corner of the
// window's frame (title bar and border included). It is saved and restored as that same
// corner, so a restart without moving leaves the window where it was.
//
// A window manager tells the frame only after the window is mapped, and Qt turns a corner
// given before the show into the client area's when the layout resizes the window first;
// whether the frame comes before or after the last move or resize event depends on timing.
// So after each show the corner asked for is checked until the frame is known and the
// window has stayed in place for a moment, and put right meanwhile; until then the corner
// asked for is what is saved.

#include <QElapsedTimer>
#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QTimer>
#include <functional>
#include <optional>

class QWidget;
class TIniFile;

class TWindowPosition : public QObject {
public:
    // How often the frame is looked at after a show, how long the window must then stay
    // in place, how long a frame is waited for, and how often a window manager that moves
    // the window elsewhere is overruled.
    static constexpr int kCheckMs = 40;
    static constexpr int kQuietMs = 400;
    static constexpr int kGiveUpMs = 5000;
    static constexpr int kMaxCorrections = 4;

    explicit TWindowPosition(QWidget& window);

    // The frame's top-left corner now; while a corner asked for is still being put in
    // place, that corner.
    QPoint framePosition() const;
    // Puts the frame's top-left corner at p.
    void moveFrameTo(const QPoint& p);
    // Section "Position" of the settings file: the frame's corner, 100, 100 when absent.
    void Load(const TIniFile& ini);
    void Save(TIniFile& ini) const;
    // Whether a corner asked for is still being checked.
    bool settling() const { return wanted_.has_value(); }

    // The frame around the client area as the window system reports it; null while it is
    // not known (a window not yet shown, a platform without frames). Tests inject one.
    std::function<QMargins()> FrameMargins;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPoint currentFramePosition(const QMargins& frame) const;
    void place(const QPoint& frame, const QMargins& margins);
    void startChecking();
    void check();
    void finish();

    QWidget& window_;
    // A corner asked for, not yet seen in place under a known frame.
    std::optional<QPoint> wanted_;
    QTimer timer_;
    QElapsedTimer sinceShow_;
    QElapsedTimer sinceChange_; // since the frame became known or the last correction
    bool frameSeen_ = false;
    int corrections_ = 0;
};
