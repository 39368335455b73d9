#pragma once
// Puts the program's icon in the desktop's notification area, hides the main window there
// and brings it back, and reports a double click on the icon.
//
// Where the desktop has no notification area, minimising to the tray falls back to an
// ordinary minimise, so the window keeps its task-bar entry as the way back. A tray that goes
// away while the window is hidden in it gives the window back as an ordinary minimised one.

#include <QFlags>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QTimer;
class QWidget;

enum TTrayVisibility {
    tvVisibleTaskBar = 0x01,
    tvVisibleTaskList = 0x02,
    tvAutoHide = 0x04,
    tvVisibleDesign = 0x08,
    tvRestoreClick = 0x10,
    tvRestoreDbClick = 0x20,
    tvMinimizeClick = 0x40,
    tvMinimizeDbClick = 0x80,
};
using TTrayVisibilities = QFlags<TTrayVisibility>;
Q_DECLARE_OPERATORS_FOR_FLAGS(TTrayVisibilities)

class TTrayIcon : public QObject {
    Q_OBJECT
public:
    // The desktop's notification area; the default one wraps QSystemTrayIcon.
    class Backend {
    public:
        virtual ~Backend() = default;
        virtual bool Available() const = 0;
        // Registers the icon with the tray, changes it, removes it.
        virtual void Add(const QIcon& icon, const QString& hint) = 0;
        virtual void Modify(const QIcon& icon, const QString& hint) = 0;
        virtual void Delete() = 0;
        // Identity of the tray's own window; a change means the tray was restarted.
        virtual quintptr TrayWindow() const = 0;
        // Set by the component: a click (false) or double click (true) on the icon.
        std::function<void(bool doubleClick)> Activated;
    };

    // The owner's window, when the owner is a widget, is the main form that is hidden.
    explicit TTrayIcon(QObject* Owner = nullptr, std::unique_ptr<Backend> backend = nullptr);
    ~TTrayIcon() override;

    bool Active() const { return active_; }
    void SetActive(bool on);
    // The picture in the tray; the application's icon when empty.
    const QIcon& Icon() const { return icon_; }
    void SetIcon(const QIcon& icon);
    bool Animated() const { return animated_; }
    void SetAnimated(bool on);
    const QList<QIcon>& Icons() const { return icons_; }
    void SetIcons(const QList<QIcon>& icons);
    int IconIndex() const { return iconIndex_; }
    void SetIconIndex(int index);
    int Delay() const { return delay_; }
    void SetDelay(int ms);
    // Tool-tip of the icon; the tray gets at most 127 characters of it.
    const QString& Hint() const { return hint_; }
    void SetHint(const QString& hint);
    bool Snap() const { return snap_; }
    void SetSnap(bool on) { snap_ = on; }
    TTrayVisibilities Visibility() const { return visibility_; }
    void SetVisibility(TTrayVisibilities v) { visibility_ = v; }

    QWidget* MainForm() const { return mainForm_; }
    void SetMainForm(QWidget* form);

    // Hides the main form in the tray (or minimises it where there is no tray).
    void MinimizeToTray();
    // Shows the main form again in the state it had before.
    void RestoreFromTray();
    // True while the main form is hidden in the tray or minimised by MinimizeToTray.
    bool InTray() const { return inTray_; }
    bool TrayAvailable() const;

    std::function<void(
        QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, const QPoint& Pos)>
        OnDblClick;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void activated(bool doubleClick);
    void update();
    void step();
    QIcon currentIcon() const;
    void restartTimer();
    void minimize(Qt::WindowStates before);
    void watchTray();

    std::unique_ptr<Backend> backend_;
    QPointer<QWidget> mainForm_;
    QTimer* timer_ = nullptr;
    QTimer* trayWatch_ = nullptr; // runs while the window is hidden in the tray
    bool active_ = false;
    QIcon icon_;
    bool animated_ = false;
    QList<QIcon> icons_;
    int iconIndex_ = -1;
    int delay_ = 100;
    QString hint_;
    bool snap_ = false;
    TTrayVisibilities visibility_ = tvVisibleTaskBar | tvVisibleTaskList | tvAutoHide;
    quintptr trayWindow_ = 0;
    bool inTray_ = false;
    bool hidden_ = false; // hidden in a tray (not merely minimised)
    Qt::WindowStates savedState_; // window state before minimising
    bool minimizing_ = false;
};
