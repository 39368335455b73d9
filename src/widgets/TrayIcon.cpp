#include "widgets/TrayIcon.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <QWindowStateChangeEvent>
#include <algorithm>

namespace {

// The tray takes tool-tips of at most this many characters.
constexpr qsizetype kMaxHint = 127;
// No desktop announces that its tray went away, so it is asked this often while it holds the window.
constexpr int kTrayWatchMs = 500;

class QtTrayBackend : public TTrayIcon::Backend {
public:
    // The icon is also a child of the component, so that a test can reach it by name.
    explicit QtTrayBackend(QObject* component)
        : icon_(std::make_unique<QSystemTrayIcon>(component))
    {
        icon_->setObjectName(QStringLiteral("SystemTrayIcon"));
        QObject::connect(
            icon_.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    doubleClicked();
                else if (reason == QSystemTrayIcon::Trigger)
                    clicked();
            });
    }
    bool Available() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }
    void Add(const QIcon& icon, const QString& hint) override
    {
        Modify(icon, hint);
        if (Available())
            icon_->show();
    }
    void Modify(const QIcon& icon, const QString& hint) override
    {
        icon_->setIcon(icon);
        icon_->setToolTip(hint);
    }
    void Delete() override { icon_->hide(); }
    // Qt docks the icon again by itself when the tray restarts, so the identity never changes.
    quintptr TrayWindow() const override { return 0; }

private:
    // Trays that speak the desktop-bus protocol report every click as a single one, so two
    // clicks in quick succession count as the double click that brings the window back. Trays
    // that do report double clicks send the second single click as well: that pair is one.
    void clicked()
    {
        const int interval = QApplication::doubleClickInterval();
        if (lastClick_.isValid() && lastClick_.elapsed() <= interval) {
            lastClick_.invalidate();
            madeDouble_.start();
            if (Activated)
                Activated(true);
            return;
        }
        lastClick_.start();
        if (Activated)
            Activated(false);
    }
    void doubleClicked()
    {
        lastClick_.invalidate();
        if (madeDouble_.isValid() && madeDouble_.elapsed() <= QApplication::doubleClickInterval()) {
            madeDouble_.invalidate();
            return;
        }
        if (Activated)
            Activated(true);
    }

    std::unique_ptr<QSystemTrayIcon> icon_;
    QElapsedTimer lastClick_;
    QElapsedTimer madeDouble_;
};

// A tray must show something even when the program set no icon at all.
QIcon fallbackIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.setBrush(QColor(0xC0, 0xC0, 0xC0));
    p.drawRect(1, 2, 13, 11);
    p.fillRect(2, 3, 12, 3, QColor(0x00, 0x00, 0x80));
    p.end();
    return QIcon(pm);
}

} // namespace

TTrayIcon::TTrayIcon(QObject* Owner, std::unique_ptr<Backend> backend)
    : QObject(Owner)
    , backend_(backend ? std::move(backend) : std::make_unique<QtTrayBackend>(this))
    , timer_(new QTimer(this))
    , trayWatch_(new QTimer(this))
{
    setObjectName(QStringLiteral("TrayIcon1"));
    backend_->Activated = [this](bool doubleClick) { activated(doubleClick); };
    connect(timer_, &QTimer::timeout, this, [this] { step(); });
    trayWatch_->setInterval(kTrayWatchMs);
    connect(trayWatch_, &QTimer::timeout, this, [this] { watchTray(); });
    if (auto* w = qobject_cast<QWidget*>(Owner))
        SetMainForm(w->window());
}

TTrayIcon::~TTrayIcon()
{
    if (mainForm_)
        mainForm_->removeEventFilter(this);
    if (active_)
        backend_->Delete();
}

bool TTrayIcon::TrayAvailable() const
{
    return backend_->Available();
}

QIcon TTrayIcon::currentIcon() const
{
    if (iconIndex_ >= 0 && iconIndex_ < icons_.size())
        return icons_.at(iconIndex_);
    if (!icon_.isNull())
        return icon_;
    const QIcon app = QApplication::windowIcon();
    return app.isNull() ? fallbackIcon() : app;
}

void TTrayIcon::SetActive(bool on)
{
    if (on == active_)
        return;
    active_ = on;
    if (on) {
        if (icon_.isNull())
            icon_ = QApplication::windowIcon();
        trayWindow_ = backend_->TrayWindow();
        backend_->Add(currentIcon(), hint_.left(kMaxHint));
    } else {
        backend_->Delete();
    }
    restartTimer();
}

void TTrayIcon::update()
{
    if (!active_)
        return;
    // A restarted tray has forgotten the icon: register it anew.
    const quintptr window = backend_->TrayWindow();
    if (window != trayWindow_) {
        trayWindow_ = window;
        backend_->Add(currentIcon(), hint_.left(kMaxHint));
    } else {
        backend_->Modify(currentIcon(), hint_.left(kMaxHint));
    }
}

void TTrayIcon::SetIcon(const QIcon& icon)
{
    icon_ = icon;
    update();
}

void TTrayIcon::SetAnimated(bool on)
{
    animated_ = on;
    restartTimer();
}

void TTrayIcon::SetIcons(const QList<QIcon>& icons)
{
    icons_ = icons;
    restartTimer();
    update();
}

void TTrayIcon::SetIconIndex(int index)
{
    iconIndex_ = index;
    update();
}

void TTrayIcon::SetDelay(int ms)
{
    delay_ = ms;
    restartTimer();
}

void TTrayIcon::SetHint(const QString& hint)
{
    hint_ = hint;
    update();
}

void TTrayIcon::restartTimer()
{
    if (animated_ && active_ && !icons_.isEmpty())
        timer_->start(std::max(1, delay_));
    else
        timer_->stop();
}

void TTrayIcon::step()
{
    iconIndex_ = icons_.isEmpty() ? -1 : int((iconIndex_ + 1) % icons_.size());
    update();
}

void TTrayIcon::SetMainForm(QWidget* form)
{
    if (mainForm_)
        mainForm_->removeEventFilter(this);
    mainForm_ = form;
    if (mainForm_)
        mainForm_->installEventFilter(this);
}

void TTrayIcon::MinimizeToTray()
{
    if (mainForm_)
        minimize(mainForm_->windowState());
}

void TTrayIcon::minimize(Qt::WindowStates before)
{
    QWidget* form = mainForm_;
    if (!form || inTray_)
        return;
    savedState_ = before & ~Qt::WindowMinimized;
    inTray_ = true;
    minimizing_ = true;
    // Whether there is a tray is decided now, not when the icon was activated: an icon
    // registered while there was none is nowhere, so it is registered again before the window
    // goes, and the icon is the way back.
    if (active_ && TrayAvailable()) {
        trayWindow_ = backend_->TrayWindow();
        backend_->Add(currentIcon(), hint_.left(kMaxHint));
        // Hiding the window takes its task-bar entry with it.
        hidden_ = true;
        form->hide();
        trayWatch_->start();
    } else {
        // No tray to come back from: an ordinary minimise keeps the task-bar entry.
        hidden_ = false;
        form->showMinimized();
    }
    minimizing_ = false;
}

void TTrayIcon::RestoreFromTray()
{
    QWidget* form = mainForm_;
    if (!form)
        return;
    const Qt::WindowStates state = inTray_ ? savedState_ : form->windowState() & ~Qt::WindowMinimized;
    inTray_ = false;
    hidden_ = false;
    trayWatch_->stop();
    minimizing_ = true;
    form->setWindowState(state);
    form->show();
    minimizing_ = false;
    form->raise();
    form->activateWindow();
}

void TTrayIcon::watchTray()
{
    QWidget* form = mainForm_;
    if (!form || !hidden_) {
        trayWatch_->stop();
        return;
    }
    if (TrayAvailable()) {
        // A restarted tray has forgotten the icon that is the only way back.
        const quintptr window = backend_->TrayWindow();
        if (window != trayWindow_) {
            trayWindow_ = window;
            backend_->Add(currentIcon(), hint_.left(kMaxHint));
        }
        return;
    }
    // The icon went with the tray: the task bar is the way back now, as if there had been no tray.
    trayWatch_->stop();
    hidden_ = false;
    minimizing_ = true;
    form->showMinimized();
    minimizing_ = false;
}

void TTrayIcon::activated(bool doubleClick)
{
    if (doubleClick && OnDblClick) {
        OnDblClick(this, Qt::LeftButton, QGuiApplication::queryKeyboardModifiers(), QCursor::pos());
        return;
    }
    if (visibility_ & (doubleClick ? tvRestoreDbClick : tvRestoreClick)) {
        if (inTray_) {
            RestoreFromTray();
            return;
        }
    }
    if (visibility_ & (doubleClick ? tvMinimizeDbClick : tvMinimizeClick)) {
        if (!inTray_)
            MinimizeToTray();
    }
}

bool TTrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mainForm_ && !minimizing_) {
        if (event->type() == QEvent::WindowStateChange) {
            const auto* change = static_cast<QWindowStateChangeEvent*>(event);
            const bool minimized = mainForm_->windowState() & Qt::WindowMinimized;
            if (minimized && !inTray_ && active_ && (visibility_ & tvAutoHide) && TrayAvailable()) {
                // Hiding inside the state change confuses some window managers: do it right after.
                const Qt::WindowStates before = change->oldState();
                QTimer::singleShot(0, this, [this, before] { minimize(before); });
            } else if (!minimized && inTray_ && !hidden_) {
                inTray_ = false; // the operator brought the minimised window back himself
            }
        } else if (event->type() == QEvent::Show && hidden_ && mainForm_->isVisible()) {
            // Only a window really shown again has left the tray: a show event the window
            // system queued before the window was hidden arrives after it.
            inTray_ = false;
            hidden_ = false;
            trayWatch_->stop();
        }
    }
    return QObject::eventFilter(watched, event);
}
