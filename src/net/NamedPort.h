#pragma once
// TNamedPort: the window's port, whatever its name names. A device name ("/dev/ttyUSB0",
// "COM1", a pseudo-terminal) opens the serial port this class is; a network name
// ("rfc2217://host:port", "socket://host:port") opens the network transport beside it, which
// opens without blocking (Opening, then Opened or OpenFailed) and takes this port's line
// settings: the set-up dialog and the settings file set them here for both kinds. Links,
// OnAfterOpen, OnAfterClose and DeviceLost come as from the serial port either way.

#include "serial/ComPort.h"

class TNetTransport;

class TNamedPort : public TComPort {
    Q_OBJECT
public:
    explicit TNamedPort(QObject* owner = nullptr);
    ~TNamedPort() override;

    void SetPort(const QString& name) override;
    bool Connected() const override;
    bool Opening() const override;
    void OpenPort() override;
    bool OpenPortIfSame(const TDeviceIdentity& expected, TDeviceIdentity& found) override;
    void ClosePort() override;
    const TDeviceIdentity& Identity() const override;
    bool ClosedByHangUp() const override;
    WriteOutcome Write(QByteArrayView bytes, bool wait) override;
    int WriteText(const QByteArray& text) override;
    TLineState LineState() override;
    void SetDtrLine(bool on) override;
    void SetRtsLine(bool on) override;
    TLineErrorCounts LineErrorCounts() override;
    uint32_t ActualBaudRate() const override;
    void AttachLink(TComLink* link) override;
    void DetachLink(TComLink* link) override;

    // Whether the last open (or the one under way) went to the network.
    bool OnNetwork() const { return onNetwork_; }
    TNetTransport& Net() { return *net_; }

protected:
    void ApplyLineSettings() override;

private:
    void sendLineSettings();

    TNetTransport* net_;
    bool onNetwork_ = false;
};
