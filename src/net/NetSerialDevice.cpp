#include "net/NetSerialDevice.h"

#include "net/NetPort.h"
#include "serial/ComTypes.h"

#include <QHash>
#include <QMetaObject>
#include <QSet>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <utility>

namespace {

std::mutex failuresMutex;
QHash<QString, QString>& failures()
{
    static QHash<QString, QString> texts;
    return texts;
}
// Names whose connection was lost and has not come back: their opens are reconnections.
QSet<QString>& lostNames()
{
    static QSet<QString> names;
    return names;
}

void setLost(const QString& name, bool lost)
{
    std::lock_guard lock(failuresMutex);
    if (lost)
        lostNames().insert(name);
    else
        lostNames().remove(name);
}

bool wasLost(const QString& name)
{
    std::lock_guard lock(failuresMutex);
    return lostNames().contains(name);
}

void setFailure(const QString& name, const QString& text)
{
    std::lock_guard lock(failuresMutex);
    if (text.isEmpty())
        failures().remove(name);
    else
        failures().insert(name, text);
}

struct NoticeHandler {
    QPointer<QObject> context;
    std::function<void(const QString&, const QString&)> handler;
};
NoticeHandler& noticeHandler()
{
    static NoticeHandler h;
    return h;
}

void tellNotice(const QString& name, const QString& text)
{
    NoticeHandler h;
    {
        std::lock_guard lock(failuresMutex);
        h = noticeHandler();
    }
    if (!h.context || !h.handler) {
        qInfo("%s", qUtf8Printable(text));
        return;
    }
    QMetaObject::invokeMethod(
        h.context, [h, name, text] { h.handler(name, text); }, Qt::QueuedConnection);
}

int failureErrno(TNetPort::Failure failure, bool quick)
{
    using F = TNetPort::Failure;
    // For a reconnection, a server not there yet is a device not there yet: waited for.
    if (quick && (failure == F::Refused || failure == F::TimedOut || failure == F::Unreachable))
        return ENOENT;
    switch (failure) {
    case F::None:
        return EIO;
    case F::Malformed:
        return EINVAL;
    case F::Refused:
        return ECONNREFUSED;
    case F::HostNotFound:
        return EADDRNOTAVAIL;
    case F::Unreachable:
        return EHOSTUNREACH;
    case F::TimedOut:
        return ETIMEDOUT;
    case F::NotRfc2217:
        return EPROTONOSUPPORT;
    case F::Closed:
    case F::Other:
        return EIO;
    }
    return EIO;
}

TNetLineSettings lineSettings(const TSerialLineConfig& c)
{
    TNetLineSettings s;
    s.BaudRate = c.BaudRate;
    s.DataSize = c.ByteSize;
    s.Parity = uint8_t(c.Parity + 1);
    s.StopSize = c.StopBits == 0 ? 1 : c.StopBits == 1 ? 3 : 2;
    const bool hardware
        = (c.Flags & comm::fOutxCtsFlow) || (c.Flags & comm::fRtsControlMask) == comm::fRtsControlHandshake;
    const bool software = c.Flags & (comm::fOutX | comm::fInX);
    s.FlowControl = hardware ? comctl::FlowHardware : software ? comctl::FlowXonXoff : comctl::FlowNone;
    return s;
}

constexpr auto kOpenBound = std::chrono::milliseconds(
    TNetPort::kConnectMs + TNetPort::kNegotiateMs + 2 * TNetPort::kAnswerMs + 1000);
constexpr auto kAnswerBound = std::chrono::milliseconds(TNetPort::kAnswerMs);

} // namespace

// What the port's thread and the event thread share with the network thread.
struct TNetSerialDevice::Shared {
    std::mutex mutex;
    std::condition_variable cv;
    bool openDone = false;
    bool opened = false;
    QString failure;
    TNetPort::Failure failureKind = TNetPort::Failure::None;
    QByteArray rx;
    bool rxNew = false;
    bool rxAgain = false; // a read left bytes behind
    uint8_t modem = 0;
    uint32_t modemEvents = 0;
    uint32_t errorWord = 0; // since the last status()
    uint32_t errorEvents = 0;
    TLineErrorCounts counts;
    uint32_t takenRate = 0;
    uint64_t answers = 0; // rate answers so far
    bool txPending = false;
    bool txEmpty = false;
    bool hungUp = false;
    bool hangUpTold = false;
    bool cancel = false;
    uint32_t mask = 0;
};

TNetSerialDevice::TNetSerialDevice()
    : shared_(std::make_shared<Shared>())
{
}

TNetSerialDevice::~TNetSerialDevice()
{
    close();
}

template <typename F> void TNetSerialDevice::onPortThread(F&& f)
{
    if (port_)
        QMetaObject::invokeMethod(port_, std::forward<F>(f), Qt::QueuedConnection);
}

int TNetSerialDevice::identify(const QByteArray& path, TDeviceIdentity& identity)
{
    const QString name = QString::fromUtf8(path);
    identity = {};
    const auto parsed = ParseNetPortName(name);
    if (!parsed)
        return EINVAL;
    // The name is the server's port: whatever answers there is the device asked for.
    identity.kind = TDeviceIdentity::Kind::StableName;
    identity.key = NetPortNameText(*parsed);
    identity.description = identity.key;
    return 0;
}

int TNetSerialDevice::open(const QByteArray& path)
{
    close();
    name_ = QString::fromUtf8(path);
    quick_ = wasLost(name_);
    const auto parsed = ParseNetPortName(name_);
    rfc2217_ = parsed && parsed->Kind == TNetPortKind::Rfc2217;
    auto shared = std::make_shared<Shared>();
    shared_ = shared;
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("net port"));
    port_ = new TNetPort;
    port_->moveToThread(thread_.get());
    QObject::connect(thread_.get(), &QThread::finished, port_, &QObject::deleteLater);
    TNetPort* port = port_;
    const auto update = [shared](auto&& change) {
        {
            std::lock_guard lock(shared->mutex);
            change(*shared);
        }
        shared->cv.notify_all();
    };
    QObject::connect(port, &TNetPort::opened, port, [update, port] {
        const uint32_t rate = port->Taken().BaudRate;
        update([rate](Shared& s) {
            s.openDone = s.opened = true;
            s.takenRate = rate;
        });
    });
    QObject::connect(port, &TNetPort::openFailed, port, [update, port](const QString& reason) {
        const auto kind = port->LastFailure();
        update([&](Shared& s) {
            s.openDone = true;
            s.failure = reason;
            s.failureKind = kind;
        });
    });
    QObject::connect(port, &TNetPort::received, port, [update](const QByteArray& bytes) {
        update([&](Shared& s) {
            s.rx += bytes;
            s.rxNew = true;
        });
    });
    QObject::connect(port, &TNetPort::settingsTaken, port, [update, port] {
        const uint32_t rate = port->Taken().BaudRate;
        update([rate](Shared& s) {
            s.takenRate = rate;
            ++s.answers;
        });
    });
    QObject::connect(port, &TNetPort::modemStateChanged, port, [update](uint8_t state) {
        update([state](Shared& s) {
            const uint8_t changed = s.modem ^ state;
            if (changed & modemstate::Cts)
                s.modemEvents |= comm::EV_CTS;
            if (changed & modemstate::Dsr)
                s.modemEvents |= comm::EV_DSR;
            if (changed & modemstate::Carrier)
                s.modemEvents |= comm::EV_RLSD;
            if ((state & modemstate::Ring) && !(s.modem & modemstate::Ring))
                s.modemEvents |= comm::EV_RING;
            s.modem = state;
        });
    });
    QObject::connect(port, &TNetPort::lineErrors, port, [update](uint8_t state) {
        update([state](Shared& s) {
            if (state & linestate::Framing) {
                s.errorWord |= comm::CE_FRAME;
                ++s.counts.Framing;
            }
            if (state & linestate::Parity) {
                s.errorWord |= comm::CE_RXPARITY;
                ++s.counts.Parity;
            }
            if (state & linestate::Overrun) {
                s.errorWord |= comm::CE_OVERRUN;
                ++s.counts.Overrun;
            }
            if (state & linestate::Break) {
                s.errorWord |= comm::CE_BREAK;
                ++s.counts.Breaks;
                s.errorEvents |= comm::EV_BREAK;
            }
            s.errorEvents |= comm::EV_ERR;
        });
    });
    QObject::connect(port, &TNetPort::drained, port, [update] {
        update([](Shared& s) {
            if (s.txPending) {
                s.txPending = false;
                s.txEmpty = true;
            }
        });
    });
    QObject::connect(port, &TNetPort::lost, port, [update, name = name_](const QString&) {
        setLost(name, true);
        update([](Shared& s) { s.hungUp = true; });
    });
    QObject::connect(
        port, &TNetPort::notice, port, [name = name_](const QString& text) { tellNotice(name, text); });
    thread_->start();

    const QString name = name_;
    const int connectMs = quick_ ? kQuickConnectMs : TNetPort::kConnectMs;
    onPortThread([port, name, connectMs] {
        port->SetConnectTimeout(connectMs);
        port->Open(name);
    });
    std::unique_lock lock(shared->mutex);
    const bool done = shared->cv.wait_for(lock, kOpenBound, [&] { return shared->openDone; });
    if (done && shared->opened) {
        setFailure(name_, {});
        setLost(name_, false);
        return 0;
    }
    const QString reason = done ? shared->failure : QStringLiteral("%1: няма отговор.").arg(name_);
    const int code = failureErrno(done ? shared->failureKind : TNetPort::Failure::TimedOut, quick_);
    lock.unlock();
    setFailure(name_, reason);
    close();
    return code;
}

void TNetSerialDevice::close()
{
    if (!thread_)
        return;
    TNetPort* port = port_;
    onPortThread([port] { port->Close(); });
    thread_->quit();
    thread_->wait();
    thread_.reset();
    port_ = nullptr;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->cancel = true;
    }
    shared_->cv.notify_all();
}

int TNetSerialDevice::setQueueSizes(uint32_t, uint32_t)
{
    return 0;
}

int TNetSerialDevice::setTimeouts(const TSerialTimeouts&)
{
    return 0;
}

int TNetSerialDevice::setLineConfig(const TSerialLineConfig& config)
{
    if (!port_)
        return EBADF;
    const TNetLineSettings settings = lineSettings(config);
    TNetPort* port = port_;
    uint64_t before;
    {
        std::lock_guard lock(shared_->mutex);
        before = shared_->answers;
    }
    onPortThread([port, settings] { port->SetLineSettings(settings); });
    if (!rfc2217_)
        return 0;
    // The rate the server took is read right after: its answer is waited for, not longer
    // than a request of the network port is.
    std::unique_lock lock(shared_->mutex);
    shared_->cv.wait_for(lock, kAnswerBound, [&] { return shared_->answers > before || shared_->hungUp; });
    return 0;
}

int TNetSerialDevice::actualBaudRate(uint32_t& rate)
{
    std::lock_guard lock(shared_->mutex);
    rate = shared_->takenRate;
    return rate ? 0 : ENOTSUP;
}

int TNetSerialDevice::status(uint32_t& errorWord, uint32_t& inputCount)
{
    std::lock_guard lock(shared_->mutex);
    errorWord = std::exchange(shared_->errorWord, 0);
    inputCount = uint32_t(shared_->rx.size());
    return 0;
}

int TNetSerialDevice::modemStatus(uint32_t& modemStatus)
{
    std::lock_guard lock(shared_->mutex);
    // NOTIFY-MODEMSTATE's upper bits are the MS_* bits.
    modemStatus = shared_->modem & (comm::MS_CTS_ON | comm::MS_DSR_ON | comm::MS_RING_ON | comm::MS_RLSD_ON);
    return 0;
}

int TNetSerialDevice::escape(uint32_t function)
{
    TNetPort* port = port_;
    switch (function) {
    case comm::SETDTR:
    case comm::CLRDTR:
        onPortThread([port, on = function == comm::SETDTR] { port->SetDtr(on); });
        return 0;
    case comm::SETRTS:
    case comm::CLRRTS:
        onPortThread([port, on = function == comm::SETRTS] { port->SetRts(on); });
        return 0;
    default:
        return EINVAL;
    }
}

int TNetSerialDevice::purge(uint32_t flags)
{
    uint8_t which = 0;
    if (flags & comm::PURGE_RXCLEAR) {
        std::lock_guard lock(shared_->mutex);
        shared_->rx.clear();
        which |= 1;
    }
    if (flags & comm::PURGE_TXCLEAR)
        which |= 2;
    TNetPort* port = port_;
    if (which)
        onPortThread([port, which] { port->Purge(which); });
    return 0;
}

int TNetSerialDevice::lineErrorCounts(TLineErrorCounts& counts)
{
    std::lock_guard lock(shared_->mutex);
    counts = shared_->counts;
    return 0;
}

int TNetSerialDevice::readSome(char* buffer, std::size_t count, std::size_t& got)
{
    std::lock_guard lock(shared_->mutex);
    got = std::min<std::size_t>(count, std::size_t(shared_->rx.size()));
    std::memcpy(buffer, shared_->rx.constData(), got);
    shared_->rx.remove(0, qsizetype(got));
    shared_->rxAgain = !shared_->rx.isEmpty();
    if (got == 0)
        return shared_->hungUp ? EIO : EAGAIN;
    return 0;
}

int TNetSerialDevice::writeSome(const char* data, std::size_t count, std::size_t& put)
{
    put = 0;
    if (!port_)
        return EBADF;
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->hungUp)
            return EIO;
        shared_->txPending = true;
    }
    TNetPort* port = port_;
    QByteArray bytes(data, qsizetype(count));
    onPortThread([port, bytes] { port->Write(bytes); });
    put = count;
    return 0;
}

int TNetSerialDevice::waitReadable(int timeoutMs)
{
    std::unique_lock lock(shared_->mutex);
    const auto ready = [&] { return !shared_->rx.isEmpty() || shared_->hungUp || shared_->cancel; };
    if (timeoutMs < 0)
        shared_->cv.wait(lock, ready);
    else if (!shared_->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return ETIMEDOUT;
    return shared_->rx.isEmpty() && shared_->hungUp ? EIO : 0;
}

int TNetSerialDevice::waitWritable(int)
{
    return 0;
}

int TNetSerialDevice::setEventMask(uint32_t mask)
{
    std::lock_guard lock(shared_->mutex);
    shared_->mask = mask;
    shared_->cancel = false;
    return 0;
}

int TNetSerialDevice::waitEvent(uint32_t& events)
{
    events = 0;
    std::shared_ptr<Shared> shared = shared_;
    std::unique_lock lock(shared->mutex);
    for (;;) {
        if (shared->cancel)
            return ECANCELED;
        uint32_t ev = 0;
        if (shared->rxNew || (shared->rxAgain && !shared->rx.isEmpty()))
            ev |= comm::EV_RXCHAR;
        ev |= shared->modemEvents | shared->errorEvents;
        if (shared->txEmpty)
            ev |= comm::EV_TXEMPTY;
        shared->rxNew = shared->rxAgain = false;
        shared->modemEvents = shared->errorEvents = 0;
        shared->txEmpty = false;
        ev &= shared->mask;
        if (ev) {
            events = ev;
            return 0;
        }
        // Bytes before a hang-up are delivered first, once more if they were left unread.
        if (shared->hungUp) {
            if (shared->rx.isEmpty() || std::exchange(shared->hangUpTold, true))
                return EIO;
            events = comm::EV_RXCHAR & shared->mask;
            return events ? 0 : EIO;
        }
        shared->cv.wait(lock);
    }
}

void TNetSerialDevice::cancelWait()
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->cancel = true;
    }
    shared_->cv.notify_all();
}

void RegisterNetPorts()
{
    TRemotePortKind kind;
    kind.factory = [] { return std::unique_ptr<ISerialDevice>(std::make_unique<TNetSerialDevice>()); };
    kind.failureText = NetOpenFailureText;
    SetRemotePortKind(std::move(kind));
}

QString NetOpenFailureText(const QString& name)
{
    std::lock_guard lock(failuresMutex);
    return failures().value(name);
}

void SetNetNoticeHandler(
    QObject* context, std::function<void(const QString& port, const QString& text)> handler)
{
    std::lock_guard lock(failuresMutex);
    noticeHandler() = {context, std::move(handler)};
}
