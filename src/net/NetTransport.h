#pragma once
// TNetTransport: a device on another machine as a transport of its own ("socket://host:port",
// "rfc2217://host:port"), over TNetPort on the owner's thread. Nothing blocks that thread:
// OpenPort returns at once with Opening() true and the open ends from the event loop
// (Opened, or OpenFailed with the reason: refused, unknown host, never negotiates, malformed
// name); a line setting is sent and the server's answer taken when it comes
// (LineSettingsTaken, ActualBaudRate); a write hands the bytes to the socket. A connection
// lost after the open is a device lost (DeviceLost); the reconnector opens it again.

#include "net/NetPort.h"
#include "transport/LinkList.h"
#include "transport/Transport.h"

#include <QString>
#include <functional>
#include <stdexcept>
#include <vector>

// What the transport raises (a write while closed); what() is the operator's message.
class ENetPort : public std::runtime_error {
public:
    explicit ENetPort(const QString& message)
        : std::runtime_error(message.toStdString())
    {
    }
};

class TNetTransport : public TTransport {
    Q_OBJECT
public:
    explicit TNetTransport(QObject* parent = nullptr);
    ~TNetTransport() override;

    const QString& Port() const override { return name_; }
    void SetPort(const QString& name) override;
    const TDeviceIdentity& Identity() const override { return identity_; }

    bool Connected() const override { return port_->IsOpen(); }
    void OpenPort() override;
    bool Opening() const override { return opening_; }
    // Whatever answers at the name is the device asked for: found is the name's identity and
    // the open starts.
    bool OpenPortIfSame(const TDeviceIdentity& expected, TDeviceIdentity& found) override;
    void ClosePort() override;
    bool ClosedByHangUp() const override { return closedByHangUp_; }

    // Hands the bytes to the socket whether asked to wait or not: a network write never
    // waits on the owner's thread. Raises ENetPort while closed.
    WriteOutcome Write(QByteArrayView bytes, bool wait) override;
    int WriteText(const QByteArray& text) override;

    TLineState LineState() override;
    void SetDtrLine(bool on) override;
    void SetRtsLine(bool on) override;
    TLineErrorCounts LineErrorCounts() override { return counts_; }
    // The rate the RFC 2217 server answered it set; 0 for a raw TCP port or before it answered.
    uint32_t ActualBaudRate() const override;

    // Kept, and sent at once when open (RFC 2217; a raw TCP port keeps them only).
    void SetLineSettings(const TNetLineSettings& settings) { port_->SetLineSettings(settings); }
    const TNetLineSettings& LineSettings() const { return port_->LineSettings(); }
    void SetBreak(bool on) { port_->SetBreak(on); }

    void AttachLink(TComLink* link) override;
    void DetachLink(TComLink* link) override;
    // The network port's settings are the serial set-up dialog's: the window runs that one.
    void RunSetupDialog() override { }

    // The connection underneath, for tests and benchmarks.
    TNetPort& NetPort() { return *port_; }

signals:
    // A request the server left unanswered, said once per kind and open.
    void Notice(const QString& port, const QString& text);

private:
    void opened();
    void closedNotifications();
    void received(const QByteArray& data);
    void modemStateChanged(uint8_t state);
    void lineErrors(uint8_t state);

    TNetPort* port_;
    QString name_;
    TDeviceIdentity identity_;
    bool opening_ = false;
    bool closedByHangUp_ = false;
    bool writing_ = false; // written bytes not yet drained
    uint8_t modem_ = 0;
    TLineErrorCounts counts_;
    TLinkList links_;
};

// The identity a network port name stands for (the same for every open of it).
TDeviceIdentity NetPortIdentity(const QString& name);

// Where the notices of every network port go (a request its server left unanswered): the
// handler runs on context's thread; without one they go to the log.
void SetNetNoticeHandler(
    QObject* context, std::function<void(const QString& port, const QString& text)> handler);
