#include "net/NamedPort.h"

#include "net/NetPortName.h"
#include "net/NetTransport.h"

namespace {

TNetLineSettings netSettings(const TCustomComPort& port)
{
    TNetLineSettings s;
    s.BaudRate = uint32_t(port.RequestedBaudRate());
    s.DataSize = uint8_t(5 + int(port.DataBits()));
    // RFC 2217 counts parity from 1 (none) in the same order.
    s.Parity = uint8_t(1 + int(port.Parity().Bits()));
    s.StopSize = port.StopBits() == sbOneStopBit ? 1 : port.StopBits() == sbTwoStopBits ? 2 : 3;
    const TComFlowControl& flow = port.FlowControl();
    if (flow.OutCTSFlow() || flow.ControlRTS() == rtsHandshake)
        s.FlowControl = comctl::FlowHardware;
    else if (flow.XonXoffOut() || flow.XonXoffIn())
        s.FlowControl = comctl::FlowXonXoff;
    else
        s.FlowControl = comctl::FlowNone;
    return s;
}

} // namespace

TNamedPort::TNamedPort(QObject* owner)
    : TComPort(owner)
    , net_(new TNetTransport(this))
{
    // The network transport's events, told as this port's.
    connect(net_, &TTransport::Opened, this, [this] {
        NotifyAfterOpen();
        if (net_->Connected())
            emit Opened(this);
    });
    connect(net_, &TTransport::OpenFailed, this,
        [this](TTransport*, const QString& reason) { emit OpenFailed(this, reason); });
    connect(net_, &TTransport::DeviceLost, this, [this] {
        NotifyAfterClose();
        emit DeviceLost(this);
    });
    connect(net_, &TTransport::LineSettingsTaken, this, [this] { emit LineSettingsTaken(this); });
}

TNamedPort::~TNamedPort()
{
    // Closed while this is still a whole port, before the serial part's destructor runs.
    ClosePort();
}

void TNamedPort::SetPort(const QString& name)
{
    if (name == Port())
        return;
    if (onNetwork_ && (net_->Connected() || net_->Opening())) {
        // As the serial port does: an open port follows its new name.
        const bool reopen = !IsLoading();
        ClosePort();
        TComPort::SetPort(name);
        if (reopen)
            OpenPort();
        return;
    }
    TComPort::SetPort(name);
}

bool TNamedPort::Connected() const
{
    return TComPort::Connected() || net_->Connected();
}

bool TNamedPort::Opening() const
{
    return net_->Opening();
}

void TNamedPort::OpenPort()
{
    if (Connected() || Opening())
        return;
    onNetwork_ = IsNetPortName(Port());
    if (!onNetwork_) {
        TComPort::OpenPort();
        return;
    }
    NotifyBeforeOpen();
    net_->SetPort(Port());
    sendLineSettings();
    net_->OpenPort();
}

bool TNamedPort::OpenPortIfSame(const TDeviceIdentity& expected, TDeviceIdentity& found)
{
    if (!IsNetPortName(Port())) {
        onNetwork_ = false;
        return TComPort::OpenPortIfSame(expected, found);
    }
    found = NetPortIdentity(Port());
    OpenPort();
    return true;
}

void TNamedPort::ClosePort()
{
    if (!onNetwork_) {
        TComPort::ClosePort();
        return;
    }
    if (net_->Opening()) {
        net_->ClosePort();
        return;
    }
    if (!net_->Connected())
        return;
    NotifyBeforeClose();
    net_->ClosePort();
    NotifyAfterClose();
}

const TDeviceIdentity& TNamedPort::Identity() const
{
    return onNetwork_ ? net_->Identity() : TComPort::Identity();
}

bool TNamedPort::ClosedByHangUp() const
{
    return onNetwork_ ? net_->ClosedByHangUp() : TComPort::ClosedByHangUp();
}

TTransport::WriteOutcome TNamedPort::Write(QByteArrayView bytes, bool wait)
{
    return onNetwork_ ? net_->Write(bytes, wait) : TComPort::Write(bytes, wait);
}

int TNamedPort::WriteText(const QByteArray& text)
{
    return onNetwork_ ? net_->WriteText(text) : TComPort::WriteText(text);
}

TLineState TNamedPort::LineState()
{
    return onNetwork_ ? net_->LineState() : TComPort::LineState();
}

void TNamedPort::SetDtrLine(bool on)
{
    if (onNetwork_)
        net_->SetDtrLine(on);
    else
        TComPort::SetDtrLine(on);
}

void TNamedPort::SetRtsLine(bool on)
{
    if (onNetwork_)
        net_->SetRtsLine(on);
    else
        TComPort::SetRtsLine(on);
}

TLineErrorCounts TNamedPort::LineErrorCounts()
{
    return onNetwork_ ? net_->LineErrorCounts() : TComPort::LineErrorCounts();
}

uint32_t TNamedPort::ActualBaudRate() const
{
    return onNetwork_ ? net_->ActualBaudRate() : TComPort::ActualBaudRate();
}

void TNamedPort::AttachLink(TComLink* link)
{
    TComPort::AttachLink(link);
    net_->AttachLink(link);
}

void TNamedPort::DetachLink(TComLink* link)
{
    TComPort::DetachLink(link);
    net_->DetachLink(link);
}

void TNamedPort::ApplyLineSettings()
{
    if (onNetwork_) {
        // Sent, and the server's answer taken when it comes (LineSettingsTaken).
        if (!SettingsDeferred())
            sendLineSettings();
        return;
    }
    TComPort::ApplyLineSettings();
}

void TNamedPort::sendLineSettings()
{
    net_->SetLineSettings(netSettings(*this));
}
