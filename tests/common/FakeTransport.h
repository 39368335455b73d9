#pragma once
// A transport that is no serial port: the test hands in received bytes and reads what was
// written. It tells its links what a port would (open and close, reception, Rx activity).

#include "transport/Transport.h"

#include <algorithm>
#include <vector>

class FakeTransport : public TTransport {
public:
    QByteArray wire;

    ~FakeTransport() override
    {
        ClosePort();
        emit Destroying(this);
    }
    void deliver(const QByteArray& bytes)
    {
        for (TComLink* l : snapshot())
            if (l->RxHandler)
                l->RxHandler(this, true);
        for (TComLink* l : snapshot())
            if (l->RxBufHandler)
                l->RxBufHandler(this, bytes.data(), int(bytes.size()));
    }
    const QString& Port() const override { return name_; }
    void SetPort(const QString& name) override { name_ = name; }
    const TDeviceIdentity& Identity() const override { return identity_; }
    bool Connected() const override { return open_; }
    void OpenPort() override
    {
        if (open_)
            return;
        open_ = true;
        for (TComLink* l : snapshot())
            if (l->ConnHandler)
                l->ConnHandler(this, true);
    }
    bool OpenPortIfSame(const TDeviceIdentity&, TDeviceIdentity&) override
    {
        OpenPort();
        return true;
    }
    void ClosePort() override
    {
        if (!open_)
            return;
        open_ = false;
        for (TComLink* l : snapshot())
            if (l->ConnHandler)
                l->ConnHandler(this, false);
    }
    bool ClosedByHangUp() const override { return false; }
    WriteOutcome Write(QByteArrayView bytes, bool) override
    {
        wire += bytes.toByteArray();
        return {bytes.size(), {}};
    }
    int WriteText(const QByteArray& text) override { return int(Write(text, true).written); }
    TLineState LineState() override { return {}; }
    void SetDtrLine(bool) override { }
    void SetRtsLine(bool) override { }
    TLineErrorCounts LineErrorCounts() override { return {}; }
    void AttachLink(TComLink* link) override { links_.push_back(link); }
    void DetachLink(TComLink* link) override { links_.erase(std::find(links_.begin(), links_.end(), link)); }
    void RunSetupDialog() override { }

private:
    std::vector<TComLink*> snapshot() const { return links_; }

    QString name_ = QStringLiteral("fake://device");
    TDeviceIdentity identity_;
    std::vector<TComLink*> links_;
    bool open_ = false;
};
