#include "net/NetPort.h"

#include "net/NetSocketOptions.h"

#include <QNetworkProxy>
#include <QTcpSocket>
#include <algorithm>
#include <utility>

namespace {

QString commandName(TComPortCommand command)
{
    switch (command) {
    case TComPortCommand::Signature:
        return QStringLiteral("SIGNATURE");
    case TComPortCommand::SetBaudRate:
        return QStringLiteral("SET-BAUDRATE");
    case TComPortCommand::SetDataSize:
        return QStringLiteral("SET-DATASIZE");
    case TComPortCommand::SetParity:
        return QStringLiteral("SET-PARITY");
    case TComPortCommand::SetStopSize:
        return QStringLiteral("SET-STOPSIZE");
    case TComPortCommand::SetControl:
        return QStringLiteral("SET-CONTROL");
    case TComPortCommand::SetLineStateMask:
        return QStringLiteral("SET-LINESTATE-MASK");
    case TComPortCommand::SetModemStateMask:
        return QStringLiteral("SET-MODEMSTATE-MASK");
    case TComPortCommand::PurgeData:
        return QStringLiteral("PURGE-DATA");
    default:
        return QString::number(int(command));
    }
}

// The line-state bits that are errors of the received line.
constexpr uint8_t kLineErrorBits
    = linestate::Break | linestate::Framing | linestate::Parity | linestate::Overrun;
constexpr uint8_t kModemMask = 0xFF;

} // namespace

TNetPort::TNetPort(QObject* parent)
    : QObject(parent)
    , socket_(new QTcpSocket(this))
{
    // Straight to the server: a proxy would not carry Telnet, and the system's proxy lookup
    // runs on a thread of its own.
    socket_->setProxy(QNetworkProxy::NoProxy);
    connectTimer_.setSingleShot(true);
    negotiateTimer_.setSingleShot(true);
    answerTimer_.setInterval(kAnswerMs / 4);
    retryTimer_.setSingleShot(true);
    clock_.start();
    connect(socket_, &QTcpSocket::connected, this, &TNetPort::onConnected);
    connect(socket_, &QTcpSocket::readyRead, this, &TNetPort::onReadyRead);
    connect(socket_, &QTcpSocket::errorOccurred, this, &TNetPort::onSocketError);
    connect(socket_, &QTcpSocket::disconnected, this, &TNetPort::onSocketError);
    connect(&connectTimer_, &QTimer::timeout, this, [this] {
        fail(Failure::TimedOut,
            QStringLiteral("%1: сървърът не отговори за %2 s.").arg(name_).arg(double(connectMs_) / 1000));
    });
    connect(&negotiateTimer_, &QTimer::timeout, this, &TNetPort::onNegotiateTimeout);
    connect(&answerTimer_, &QTimer::timeout, this, &TNetPort::onAnswerTimer);
    connect(&retryTimer_, &QTimer::timeout, this, &TNetPort::connectNow);
    connect(socket_, &QTcpSocket::bytesWritten, this, [this] {
        if (socket_->bytesToWrite() == 0 && held_.isEmpty())
            emit drained();
    });
}

TNetPort::~TNetPort()
{
    socket_->disconnect(this);
    socket_->abort();
}

void TNetPort::Open(const QString& name)
{
    Close();
    name_ = name;
    told_.clear();
    QString reason;
    const auto parsed = ParseNetPortName(name, &reason);
    if (!parsed) {
        failure_ = Failure::Malformed;
        // Told from the event loop, as every other outcome of an open.
        QMetaObject::invokeMethod(
            this, [this, reason] { emit openFailed(reason); }, Qt::QueuedConnection);
        return;
    }
    parsed_ = *parsed;
    connectNow();
}

void TNetPort::connectNow()
{
    drop();
    state_ = State::Connecting;
    codec_ = TTelnetCodec();
    taken_ = {};
    modemState_ = 0;
    suspended_ = false;
    failure_ = Failure::None;
    connectTimer_.start(connectMs_);
    socket_->connectToHost(parsed_.Host, parsed_.Port);
}

void TNetPort::Close()
{
    const bool wasOpen = state_ == State::Open;
    reconnecting_ = false;
    retryTimer_.stop();
    drop();
    if (wasOpen)
        emit closed();
}

void TNetPort::drop()
{
    connectTimer_.stop();
    negotiateTimer_.stop();
    answerTimer_.stop();
    pending_.clear();
    held_.clear();
    early_.clear();
    state_ = State::Closed;
    socket_->abort();
}

void TNetPort::onConnected()
{
    connectTimer_.stop();
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    SetDeadPeerTimeout(socket_->socketDescriptor(), kDeadPeerSeconds);
    if (parsed_.Kind == TNetPortKind::Socket) {
        finishOpen();
        return;
    }
    state_ = State::Negotiating;
    negotiateTimer_.start(kNegotiateMs);
    send(codec_.Start());
}

void TNetPort::onNegotiateTimeout()
{
    fail(Failure::NotRfc2217,
        QStringLiteral("%1: сървърът не договори RFC 2217 за %2 s (не е RFC 2217 сървър; "
                       "за суров TCP порт изберете socket://).")
            .arg(name_)
            .arg(kNegotiateMs / 1000));
}

void TNetPort::finishOpen()
{
    negotiateTimer_.stop();
    const bool again = reconnecting_;
    reconnecting_ = false;
    state_ = State::Open;
    emit opened();
    if (again)
        emit reconnected();
    if (state_ == State::Open && !early_.isEmpty()) {
        const QByteArray bytes = std::exchange(early_, {});
        emit received(bytes);
    }
}

void TNetPort::fail(Failure failure, const QString& reason)
{
    const State was = state_;
    failure_ = failure;
    drop();
    if (reconnecting_) {
        retryTimer_.start(kRetryMs);
        return;
    }
    if (was == State::Open) {
        if (reconnect_) {
            reconnecting_ = true;
            retryTimer_.start(0);
        }
        emit lost(reason);
        emit closed();
    } else {
        emit openFailed(reason);
    }
}

void TNetPort::onSocketError()
{
    if (state_ == State::Closed)
        return;
    fail(socketFailure(), errorText());
}

TNetPort::Failure TNetPort::socketFailure() const
{
    switch (socket_->error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return Failure::Refused;
    case QAbstractSocket::HostNotFoundError:
        return Failure::HostNotFound;
    case QAbstractSocket::RemoteHostClosedError:
        return Failure::Closed;
    case QAbstractSocket::SocketTimeoutError:
        return Failure::TimedOut;
    case QAbstractSocket::NetworkError:
        return Failure::Unreachable;
    default:
        return Failure::Other;
    }
}

QString TNetPort::errorText() const
{
    const QString where = NetPortNameText(parsed_);
    switch (socket_->error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("%1: сървърът отказа връзката (на порт %2 никой не слуша).")
            .arg(where)
            .arg(parsed_.Port);
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("%1: непознат адрес „%2“.").arg(where, parsed_.Host);
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("%1: сървърът затвори връзката.").arg(where);
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("%1: сървърът не отговаря.").arg(where);
    case QAbstractSocket::NetworkError:
        return QStringLiteral("%1: мрежата е недостъпна (%2).").arg(where, socket_->errorString());
    default:
        return QStringLiteral("%1: %2.").arg(where, socket_->errorString());
    }
}

void TNetPort::onReadyRead()
{
    const QByteArray bytes = socket_->readAll();
    if (bytes.isEmpty() || state_ == State::Closed || state_ == State::Connecting)
        return;
    if (parsed_.Kind == TNetPortKind::Socket) {
        emit received(bytes);
        return;
    }
    feed(bytes);
}

void TNetPort::feed(const QByteArray& bytes)
{
    QByteArray data;
    QByteArray reply;
    std::vector<TTelnetEvent> events;
    codec_.Feed(bytes, data, events, reply);
    if (!reply.isEmpty())
        send(reply);
    for (const TTelnetEvent& e : events) {
        handle(e);
        if (state_ == State::Closed)
            return;
    }
    if (data.isEmpty())
        return;
    if (state_ == State::Open)
        emit received(data);
    else
        early_.append(data);
}

void TNetPort::handle(const TTelnetEvent& event)
{
    switch (event.kind) {
    case TTelnetEvent::Kind::ComPortAccepted:
        if (state_ == State::Negotiating) {
            negotiateTimer_.stop();
            sendLineSettings();
        }
        return;
    case TTelnetEvent::Kind::ComPortRefused:
        fail(Failure::NotRfc2217,
            QStringLiteral("%1: сървърът отказа RFC 2217 (COM-PORT-OPTION); за суров TCP порт изберете "
                           "socket://.")
                .arg(NetPortNameText(parsed_)));
        return;
    case TTelnetEvent::Kind::ComPortAnswer:
        break;
    }
    const auto answered = [&] {
        for (auto it = pending_.begin(); it != pending_.end(); ++it)
            if (it->command == event.command) {
                pending_.erase(it);
                break;
            }
    };
    switch (event.command) {
    case TComPortCommand::SetBaudRate:
        taken_.BaudRate = event.value;
        break;
    case TComPortCommand::SetDataSize:
        taken_.DataSize = uint8_t(event.value);
        break;
    case TComPortCommand::SetParity:
        taken_.Parity = uint8_t(event.value);
        break;
    case TComPortCommand::SetStopSize:
        taken_.StopSize = uint8_t(event.value);
        break;
    case TComPortCommand::NotifyModemState:
        modemState_ = uint8_t(event.value);
        emit modemStateChanged(modemState_);
        return;
    case TComPortCommand::NotifyLineState:
        if (event.value & kLineErrorBits)
            emit lineErrors(uint8_t(event.value & kLineErrorBits));
        return;
    case TComPortCommand::FlowControlSuspend:
        suspended_ = true;
        return;
    case TComPortCommand::FlowControlResume:
        suspended_ = false;
        if (!held_.isEmpty())
            socket_->write(std::exchange(held_, {}));
        return;
    default:
        break;
    }
    answered();
    if (event.command >= TComPortCommand::SetBaudRate && event.command <= TComPortCommand::SetStopSize)
        emit settingsTaken();
    if (state_ == State::Negotiating
        && std::none_of(pending_.begin(), pending_.end(), [](const Pending& p) { return p.blocksOpen; }))
        finishOpen();
}

void TNetPort::request(const QByteArray& bytes, TComPortCommand command, bool blocksOpen)
{
    send(bytes);
    pending_.push_back({command, clock_.elapsed(), blocksOpen});
    if (!answerTimer_.isActive())
        answerTimer_.start();
}

void TNetPort::sendLineSettings()
{
    const bool opening = state_ == State::Negotiating;
    request(TTelnetCodec::SetBaudRate(settings_.BaudRate), TComPortCommand::SetBaudRate, opening);
    request(TTelnetCodec::Command(TComPortCommand::SetDataSize, settings_.DataSize),
        TComPortCommand::SetDataSize, opening);
    request(TTelnetCodec::Command(TComPortCommand::SetParity, settings_.Parity), TComPortCommand::SetParity,
        opening);
    request(TTelnetCodec::Command(TComPortCommand::SetStopSize, settings_.StopSize),
        TComPortCommand::SetStopSize, opening);
    sendControl(settings_.FlowControl);
    if (opening) {
        request(TTelnetCodec::Command(TComPortCommand::SetModemStateMask, kModemMask),
            TComPortCommand::SetModemStateMask, false);
        request(TTelnetCodec::Command(TComPortCommand::SetLineStateMask, kLineErrorBits),
            TComPortCommand::SetLineStateMask, false);
        if (dtrSet_)
            sendControl(dtr_ ? comctl::DtrOn : comctl::DtrOff);
        if (rtsSet_)
            sendControl(rts_ ? comctl::RtsOn : comctl::RtsOff);
    }
}

void TNetPort::sendControl(uint8_t value)
{
    request(TTelnetCodec::Command(TComPortCommand::SetControl, value), TComPortCommand::SetControl, false);
}

void TNetPort::onAnswerTimer()
{
    const qint64 now = clock_.elapsed();
    bool openNow = false;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (now - it->sentMs < kAnswerMs) {
            ++it;
            continue;
        }
        openNow = openNow || it->blocksOpen;
        if (!told_.contains(int(it->command))) {
            told_.insert(int(it->command));
            emit notice(QStringLiteral("%1: сървърът не отговори на %2 за %3 s; работата продължава без "
                                       "потвърждение.")
                            .arg(NetPortNameText(parsed_), commandName(it->command))
                            .arg(kAnswerMs / 1000));
        }
        it = pending_.erase(it);
    }
    if (pending_.empty())
        answerTimer_.stop();
    if (openNow && state_ == State::Negotiating)
        finishOpen();
}

void TNetPort::SetLineSettings(const TNetLineSettings& settings)
{
    settings_ = settings;
    if (state_ == State::Open && IsRfc2217())
        sendLineSettings();
}

void TNetPort::SetDtr(bool on)
{
    dtr_ = on;
    dtrSet_ = true;
    if (state_ == State::Open && IsRfc2217())
        sendControl(on ? comctl::DtrOn : comctl::DtrOff);
}

void TNetPort::SetRts(bool on)
{
    rts_ = on;
    rtsSet_ = true;
    if (state_ == State::Open && IsRfc2217())
        sendControl(on ? comctl::RtsOn : comctl::RtsOff);
}

void TNetPort::SetBreak(bool on)
{
    if (state_ == State::Open && IsRfc2217())
        sendControl(on ? comctl::BreakOn : comctl::BreakOff);
}

void TNetPort::Purge(uint8_t which)
{
    if (state_ == State::Open && IsRfc2217())
        request(TTelnetCodec::Command(TComPortCommand::PurgeData, which), TComPortCommand::PurgeData, false);
}

bool TNetPort::Write(QByteArrayView data)
{
    if (state_ != State::Open)
        return false;
    const QByteArray bytes = IsRfc2217() ? codec_.EncodeData(data) : data.toByteArray();
    if (suspended_)
        held_.append(bytes);
    else
        send(bytes);
    return true;
}

void TNetPort::send(const QByteArray& bytes)
{
    socket_->write(bytes);
}

qintptr TNetPort::SocketDescriptor() const
{
    return socket_->socketDescriptor();
}

qint64 TNetPort::PendingWrite() const
{
    return socket_->bytesToWrite() + held_.size();
}

void TNetPort::SetReconnect(bool on)
{
    reconnect_ = on;
    if (!on && reconnecting_) {
        reconnecting_ = false;
        retryTimer_.stop();
        drop();
    }
}
