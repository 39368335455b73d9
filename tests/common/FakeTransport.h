#pragma once
// A transport that is no serial port: the test hands in received bytes and reads what was
// written. It tells its links what a port would (open and close, reception, Rx activity).

#include "transport/LinkList.h"
#include "transport/NullTransport.h"

class FakeTransport : public TNullTransport {
public:
    QByteArray wire;

    FakeTransport()
        : TNullTransport(QStringLiteral("fake://device"))
    {
    }
    ~FakeTransport() override
    {
        ClosePort();
        emit Destroying(this);
    }
    void deliver(const QByteArray& bytes)
    {
        links_.forEach([this](TComLink& l) {
            if (l.RxHandler)
                l.RxHandler(this, true);
        });
        links_.forEach([&](TComLink& l) {
            if (l.RxBufHandler)
                l.RxBufHandler(this, bytes.data(), int(bytes.size()));
        });
    }
    bool Connected() const override { return open_; }
    void OpenPort() override
    {
        if (open_)
            return;
        open_ = true;
        tellConnection();
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
        tellConnection();
    }
    WriteOutcome Write(QByteArrayView bytes, bool) override
    {
        wire += bytes.toByteArray();
        return {bytes.size(), {}};
    }
    void AttachLink(TComLink* link) override { links_.add(link); }
    void DetachLink(TComLink* link) override { links_.remove(link); }

private:
    void tellConnection()
    {
        links_.forEach([this](TComLink& l) {
            if (l.ConnHandler)
                l.ConnHandler(this, open_);
        });
    }

    TLinkList links_;
    bool open_ = false;
};
