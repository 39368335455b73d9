#include "serial/PortReconnector.h"

#include "serial/ComPort.h"
#include "serial/SerialDevice.h"

#include <QDir>
#include <QFileInfo>

TPortReconnector::TPortReconnector(TCustomComPort* port, QObject* parent)
    : QObject(parent)
    , port_(port)
{
    retry_.setInterval(kRetryMs);
    connect(&retry_, &QTimer::timeout, this, &TPortReconnector::attempt);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &TPortReconnector::attempt);
    connect(port_, &TCustomComPort::DeviceLost, this, &TPortReconnector::deviceLost);
    connect(port_, &TCustomComPort::Destroying, this, [this] {
        endWait();
        port_ = nullptr;
    });
}

TPortReconnector::~TPortReconnector() = default;

QString TPortReconnector::WatchFolder(const QString& devicePath)
{
    QString folder = QFileInfo(devicePath).absolutePath();
    while (!QFileInfo(folder).isDir()) {
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder)
            break;
        folder = up;
    }
    return folder;
}

void TPortReconnector::SetEnabled(bool on)
{
    if (enabled_ == on)
        return;
    enabled_ = on;
    if (!on && waiting_) {
        endWait();
        emit lost(name_);
    }
}

void TPortReconnector::Stop()
{
    if (!waiting_)
        return;
    endWait();
    emit stopped();
}

void TPortReconnector::deviceLost()
{
    if (!port_ || port_->Connected())
        return;
    name_ = port_->Port();
    if (!enabled_) {
        emit lost(name_);
        return;
    }
    waiting_ = true;
    watch();
    retry_.start();
    emit waitingStarted(name_);
}

void TPortReconnector::watch()
{
    const QString folder = WatchFolder(QString::fromLocal8Bit(PortNameToDevicePath(name_)));
    const QStringList now = watcher_.directories();
    if (now.size() == 1 && now.first() == folder)
        return;
    if (!now.isEmpty())
        watcher_.removePaths(now);
    watcher_.addPath(folder);
}

void TPortReconnector::endWait()
{
    waiting_ = false;
    retry_.stop();
    const QStringList now = watcher_.directories();
    if (!now.isEmpty())
        watcher_.removePaths(now);
}

void TPortReconnector::attempt()
{
    // An open runs the port's handlers, which may run an event loop: no second attempt
    // from inside the first.
    if (!waiting_ || attempting_ || !port_)
        return;
    if (port_->Connected()) {
        endWait(); // opened by someone else meanwhile
        return;
    }
    // A parent that appeared (the first adapter brings /dev/serial/by-id back) is watched
    // instead of the one above it.
    watch();
    attempting_ = true;
    bool opened = false;
    try {
        port_->OpenPort();
        opened = port_->Connected();
    } catch (const std::exception&) {
        // Not there yet, not ours yet (permission set late), busy with a prober: next time.
    }
    attempting_ = false;
    if (!opened || !waiting_)
        return;
    endWait();
    emit reconnected(name_);
}
