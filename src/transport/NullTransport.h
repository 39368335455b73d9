#pragma once
// TNullTransport: a transport to nothing. Never open, its writes go nowhere, no listener
// hears anything. A session without a device (a replay) sits on it; stand-ins override the
// little they need.

#include "transport/Transport.h"

class TNullTransport : public TTransport {
public:
    explicit TNullTransport(QString name = {})
        : name_(std::move(name))
    {
    }

    const QString& Port() const override { return name_; }
    void SetPort(const QString& name) override { name_ = name; }
    const TDeviceIdentity& Identity() const override { return identity_; }
    bool Connected() const override { return false; }
    void OpenPort() override { }
    bool OpenPortIfSame(const TDeviceIdentity&, TDeviceIdentity&) override { return false; }
    void ClosePort() override { }
    bool ClosedByHangUp() const override { return false; }
    WriteOutcome Write(QByteArrayView, bool) override { return {}; }
    int WriteText(const QByteArray& text) override { return int(Write(text, true).written); }
    TLineState LineState() override { return {}; }
    void SetDtrLine(bool) override { }
    void SetRtsLine(bool) override { }
    TLineErrorCounts LineErrorCounts() override { return {}; }
    void AttachLink(TComLink*) override { }
    void DetachLink(TComLink*) override { }
    void RunSetupDialog() override { }

private:
    QString name_;
    TDeviceIdentity identity_;
};
