#include "session/PortReconnector.h"

#include "transport/Transport.h"

#include <utility>

TPortReconnector::TPortReconnector(TTransport* port, QObject* parent)
    : QObject(parent)
    , port_(port)
{
    retry_.setInterval(kRetryMs);
    connect(&retry_, &QTimer::timeout, this, &TPortReconnector::attempt);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &TPortReconnector::attempt);
    connect(port_, &TTransport::DeviceLost, this, &TPortReconnector::deviceLost);
    connect(port_, &TTransport::Opened, this, &TPortReconnector::opened);
    connect(port_, &TTransport::OpenFailed, this, [this](TTransport*, const QString& reason) {
        if (!opening_)
            return;
        opening_ = false;
        failed(reason, reason);
    });
    connect(port_, &TTransport::Destroying, this, [this] {
        endWait();
        port_ = nullptr;
    });
}

TPortReconnector::~TPortReconnector() = default;

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
    toldError_.clear();
    error_.clear();
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
    const QString folder = port_ ? port_->WatchFolder() : QString();
    if (folder.isEmpty())
        return;
    const QStringList now = watcher_.directories();
    if (now.size() == 1 && now.first() == folder)
        return;
    if (!now.isEmpty())
        watcher_.removePaths(now);
    watcher_.addPath(folder);
}

void TPortReconnector::endWait()
{
    // An open of ours still under way is abandoned: the wait is over, whatever ended it.
    if (std::exchange(opening_, false) && port_ && port_->Opening())
        port_->ClosePort();
    waiting_ = false;
    retry_.stop();
    const QStringList now = watcher_.directories();
    if (!now.isEmpty())
        watcher_.removePaths(now);
}

void TPortReconnector::attempt()
{
    // An open runs the port's handlers, which may run an event loop: no second attempt
    // from inside the first, nor while an open of ours has not ended.
    if (!waiting_ || attempting_ || opening_ || !port_)
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
            opening_ = !opened && port_->Opening();
        } else {
            error_.clear();
            retry_.setInterval(kRetryMs);
            if (toldRefused_ != found.key) {
                toldRefused_ = found.key;
                emit refused(name_, found.description);
            }
        }
    } catch (const std::exception& e) {
        const TTransport::OpenFailure why = port_->DiagnoseOpenFailure(e);
        if (why.absent) {
            // Not there (yet), or it changed while being opened: the next change is watched for.
            error_.clear();
            retry_.setInterval(kRetryMs);
        } else {
            failed(why.cause, why.text);
        }
    }
    attempting_ = false;
    if (!opened || !waiting_)
        return;
    endWait();
    emit reconnected(name_);
}

void TPortReconnector::opened()
{
    // An open that ends inside attempt() is taken there.
    if (attempting_ || !waiting_)
        return;
    // Opened by someone else meanwhile ends the wait too, without a word.
    const bool ours = std::exchange(opening_, false);
    endWait();
    if (ours)
        emit reconnected(name_);
}

void TPortReconnector::failed(const QString& cause, const QString& text)
{
    if (cause != error_) {
        error_ = cause;
        errorTimer_.start();
    }
    if (errorTimer_.elapsed() < kLastingMs || toldError_ == cause)
        return;
    toldError_ = cause;
    retry_.setInterval(kSlowRetryMs);
    emit failing(name_, text);
}
