#include "widgets/TrayIcon.h"

#include <QWidget>

TTrayIcon::TTrayIcon(QObject* Owner, std::unique_ptr<Backend> backend)
    : QObject(Owner)
    , backend_(std::move(backend))
{
}

TTrayIcon::~TTrayIcon() = default;

void TTrayIcon::SetActive(bool on)
{
    active_ = on;
}
void TTrayIcon::SetIcon(const QIcon& icon)
{
    icon_ = icon;
}
void TTrayIcon::SetAnimated(bool on)
{
    animated_ = on;
}
void TTrayIcon::SetIcons(const QList<QIcon>& icons)
{
    icons_ = icons;
}
void TTrayIcon::SetIconIndex(int index)
{
    iconIndex_ = index;
}
void TTrayIcon::SetDelay(int ms)
{
    delay_ = ms;
}
void TTrayIcon::SetHint(const QString& hint)
{
    hint_ = hint;
}
void TTrayIcon::SetMainForm(QWidget* form)
{
    mainForm_ = form;
}
void TTrayIcon::MinimizeToTray() { }
void TTrayIcon::RestoreFromTray() { }
bool TTrayIcon::TrayAvailable() const
{
    return false;
}
bool TTrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    return QObject::eventFilter(watched, event);
}
