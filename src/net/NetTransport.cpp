#include "net/NetTransport.h"

#include <QMetaObject>
#include <QPointer>
#include <algorithm>
#include <mutex>
#include <utility>

namespace {

struct NoticeHandler {
    QPointer<QObject> context;
    std::function<void(const QString&, const QString&)> handler;
};

std::mutex noticeMutex;
NoticeHandler& noticeHandler()
{
    static NoticeHandler h;
    return h;
}

void tellNotice(const QString& name, const QString& text)
{
    NoticeHandler h;
    {
        std::lock_guard lock(noticeMutex);
        h = noticeHandler();
    }
    if (!h.context || !h.handler) {
        qInfo("%s", qUtf8Printable(text));
        return;
    }
    QMetaObject::invokeMethod(
        h.context, [h, name, text] { h.handler(name, text); }, Qt::QueuedConnection);
}

} // namespace

TDeviceIdentity NetPortIdentity(const QString& name)
{
    TDeviceIdentity identity;
    if (const auto parsed = ParseNetPortName(name)) {
        // The name is the server's port: whatever answers there is the device asked for.
        identity.kind = TDeviceIdentity::Kind::StableName;
        identity.key = NetPortNameText(*parsed);
        identity.description = identity.key;
    }
    return identity;
}

void SetNetNoticeHandler(
    QObject* context, std::function<void(const QString& port, const QString& text)> handler)
{
    std::lock_guard lock(noticeMutex);
    noticeHandler() = {context, std::move(handler)};
}

TNetTransport::TNetTransport(QObject* parent)
    : TTransport(parent)
    , port_(new TNetPort(this))
{
    connect(port_, &TNetPort::opened, this, &TNetTransport::opened);
    connect(port_, &TNetPort::openFailed, this, [this](const QString& reason) {
        if (!std::exchange(opening_, false))
            return;
        emit OpenFailed(this, reason);
    });
    connect(port_, &TNetPort::lost, this, [this] {
        closedByHangUp_ = true;
        closedNotifications();
        emit DeviceLost(this);
    });
    connect(port_, &TNetPort::received, this, &TNetTransport::received);
    connect(port_, &TNetPort::modemStateChanged, this, &TNetTransport::modemStateChanged);
    connect(port_, &TNetPort::lineErrors, this, &TNetTransport::lineErrors);
    connect(port_, &TNetPort::settingsTaken, this, [this] { emit LineSettingsTaken(this); });
    connect(port_, &TNetPort::drained, this, [this] {
        if (!std::exchange(writing_, false))
            return;
        links_.forEach([this](TComLink& l) {
            if (l.TxHandler)
                l.TxHandler(this, false);
        });
        links_.forEach([this](TComLink& l) {
            if (l.TxEmptyHandler)
                l.TxEmptyHandler(this);
        });
    });
    connect(port_, &TNetPort::notice, this, [this](const QString& text) {
        emit Notice(name_, text);
        tellNotice(name_, text);
    });
}

TNetTransport::~TNetTransport()
{
    ClosePort();
    emit Destroying(this);
    port_->disconnect(this);
}

void TNetTransport::SetPort(const QString& name)
{
    if (name == name_)
        return;
    ClosePort();
    name_ = name;
}

void TNetTransport::OpenPort()
{
    if (Connected() || opening_)
        return;
    opening_ = true;
    closedByHangUp_ = false;
    identity_ = NetPortIdentity(name_);
    port_->Open(name_);
}

bool TNetTransport::OpenPortIfSame(const TDeviceIdentity&, TDeviceIdentity& found)
{
    found = NetPortIdentity(name_);
    OpenPort();
    return true;
}

void TNetTransport::opened()
{
    opening_ = false;
    counts_ = {};
    modem_ = port_->ModemState();
    writing_ = false;
    links_.forEach([this](TComLink& l) {
        if (l.ConnHandler)
            l.ConnHandler(this, true);
    });
    // The lines as they stand after the open, as the serial port tells them.
    const TLineState lines = LineState();
    links_.forEach([&](TComLink& l) {
        if (l.CtsHandler)
            l.CtsHandler(this, lines.cts);
    });
    links_.forEach([&](TComLink& l) {
        if (l.DsrHandler)
            l.DsrHandler(this, lines.dsr);
    });
    links_.forEach([&](TComLink& l) {
        if (l.RlsdHandler)
            l.RlsdHandler(this, lines.rlsd);
    });
    if (Connected())
        emit Opened(this);
}

void TNetTransport::ClosePort()
{
    if (std::exchange(opening_, false)) {
        port_->Close();
        return;
    }
    if (!Connected())
        return;
    port_->Close();
    closedByHangUp_ = false;
    closedNotifications();
}

void TNetTransport::closedNotifications()
{
    links_.linesDown(this);
    modem_ = 0;
    writing_ = false;
    links_.forEach([this](TComLink& l) {
        if (l.ConnHandler)
            l.ConnHandler(this, false);
    });
}

void TNetTransport::received(const QByteArray& data)
{
    links_.forEach([&](TComLink& l) {
        if (l.RxHandler)
            l.RxHandler(this, true);
    });
    links_.forEach([&](TComLink& l) {
        if (l.RxBufHandler)
            l.RxBufHandler(this, data.constData(), int(data.size()));
    });
    links_.forEach([&](TComLink& l) {
        if (l.RxHandler)
            l.RxHandler(this, false);
    });
}

void TNetTransport::modemStateChanged(uint8_t state)
{
    const uint8_t was = std::exchange(modem_, state);
    const uint8_t changed = was ^ state;
    if (changed & modemstate::Cts)
        links_.forEach([&](TComLink& l) {
            if (l.CtsHandler)
                l.CtsHandler(this, state & modemstate::Cts);
        });
    if (changed & modemstate::Dsr)
        links_.forEach([&](TComLink& l) {
            if (l.DsrHandler)
                l.DsrHandler(this, state & modemstate::Dsr);
        });
    if (changed & modemstate::Carrier)
        links_.forEach([&](TComLink& l) {
            if (l.RlsdHandler)
                l.RlsdHandler(this, state & modemstate::Carrier);
        });
    if ((state & modemstate::Ring) && !(was & modemstate::Ring))
        links_.forEach([&](TComLink& l) {
            if (l.RingHandler)
                l.RingHandler(this);
        });
}

void TNetTransport::lineErrors(uint8_t state)
{
    counts_.Framing += (state & linestate::Framing) != 0;
    counts_.Parity += (state & linestate::Parity) != 0;
    counts_.Overrun += (state & linestate::Overrun) != 0;
    counts_.Breaks += (state & linestate::Break) != 0;
}

TTransport::WriteOutcome TNetTransport::Write(QByteArrayView bytes, bool)
{
    if (!Connected())
        throw ENetPort(QStringLiteral("%1: портът не е отворен.").arg(name_));
    if (bytes.isEmpty())
        return {};
    writing_ = true;
    links_.forEach([this](TComLink& l) {
        if (l.TxHandler)
            l.TxHandler(this, true);
    });
    port_->Write(bytes);
    links_.forEach([&](TComLink& l) {
        if (l.TxBufHandler)
            l.TxBufHandler(this, bytes.data(), int(bytes.size()));
    });
    return {bytes.size(), {}};
}

int TNetTransport::WriteText(const QByteArray& text)
{
    return int(Write(text, true).written);
}

TLineState TNetTransport::LineState()
{
    TLineState lines;
    if (!Connected())
        return lines;
    lines.cts = modem_ & modemstate::Cts;
    lines.dsr = modem_ & modemstate::Dsr;
    lines.rlsd = modem_ & modemstate::Carrier;
    lines.ring = modem_ & modemstate::Ring;
    return lines;
}

void TNetTransport::SetDtrLine(bool on)
{
    port_->SetDtr(on);
}

void TNetTransport::SetRtsLine(bool on)
{
    port_->SetRts(on);
}

uint32_t TNetTransport::ActualBaudRate() const
{
    return Connected() && port_->IsRfc2217() ? port_->Taken().BaudRate : 0;
}

void TNetTransport::AttachLink(TComLink* link)
{
    if (link && !links_.add(link))
        throw std::logic_error("TNetTransport: link attached twice");
}

void TNetTransport::DetachLink(TComLink* link)
{
    links_.remove(link);
}
