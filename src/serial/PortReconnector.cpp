#include "serial/PortReconnector.h"

#include "serial/ComPort.h"
#include "serial/PortDiagnosis.h"
#include "serial/SerialDevice.h"

#include <QDir>
#include <QFileInfo>

TPortReconnector::TPortReconnector(TTransport* port, QObject* parent)
    : QObject(parent)
    , port_(port)
{
    retry_.setInterval(kRetryMs);
    connect(&retry_, &QTimer::timeout, this, &TPortReconnector::attempt);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &TPortReconnector::attempt);
    connect(port_, &TTransport::DeviceLost, this, &TPortReconnector::deviceLost);
    connect(port_, &TTransport::Destroying, this, [this] {
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
    expected_ = port_->Identity();
    // A pseudo-terminal's number is never opened again: only a link made anew may lead to
    // a pseudo-terminal that is taken.
    const bool noReturn = expected_.kind == TDeviceIdentity::Kind::Pty && expected_.link.isEmpty();
    if (!enabled_ || noReturn) {
        emit lost(name_);
        return;
    }
    waiting_ = true;
    toldRefused_.clear();
    toldError_ = error_ = 0;
    watch();
    retry_.setInterval(kRetryMs);
    retry_.start();
    emit waitingStarted(name_);
    // At once: a device already back is not kept waiting for the first retry.
    QTimer::singleShot(0, this, &TPortReconnector::attempt);
}

void TPortReconnector::watch()
{
    // A port on another machine has no folder to watch: the retries find it.
    if (IsRemotePortName(name_))
        return;
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
        TDeviceIdentity found;
        if (port_->OpenPortIfSame(expected_, found)) {
            opened = port_->Connected();
        } else {
            error_ = 0;
            retry_.setInterval(kRetryMs);
            if (toldRefused_ != found.key) {
                toldRefused_ = found.key;
                emit refused(name_, found.description);
            }
        }
    } catch (const std::exception& e) {
        failed(e);
    }
    attempting_ = false;
    if (!opened || !waiting_)
        return;
    endWait();
    emit reconnected(name_);
}

void TPortReconnector::failed(const std::exception& error)
{
    const auto* portError = dynamic_cast<const EComPort*>(&error);
    const int code = portError ? portError->SystemError() : -1;
    const TErrnoKind kind = ClassifyErrno(code, TDevicePhase::Open);
    if (kind == TErrnoKind::NotFound || kind == TErrnoKind::WouldBlock) {
        // Not there (yet), or it changed while being opened: the next change is watched for.
        error_ = 0;
        retry_.setInterval(kRetryMs);
        return;
    }
    if (code != error_) {
        error_ = code;
        errorTimer_.start();
    }
    if (errorTimer_.elapsed() < kLastingMs || toldError_ == code)
        return;
    toldError_ = code;
    retry_.setInterval(kSlowRetryMs);
    // A serial port says what the system's error means for a port; other transports' messages
    // say it themselves.
    const auto* serial = qobject_cast<const TCustomComPort*>(port_);
    emit failing(name_,
        portError && serial ? OpenFailureText(*serial, *portError) : QString::fromLocal8Bit(error.what()));
}
