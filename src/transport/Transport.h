#pragma once
// TTransport: the connection to the device as everything above it sees it: the session, the
// terminal, the lamps, the status line and the reconnector. The serial port is one; a port on
// another machine is another. Listeners attach a TComLink for received bytes, line states and
// events; every handler runs on the thread that owns the transport. Failures to open, write
// or set a line are raised as exceptions whose what() is the operator's message; a failure
// of an open that finishes later comes as OpenFailed instead.
//
// Opening: OpenPort either knows the outcome when it returns (the serial port: open, or
// raised) or, for a port whose open must wait on a network, returns at once with Opening()
// true. Such an open ends from the event loop, never inside OpenPort: opened as any open
// (links' ConnHandler(true), Connected() true, then Opened) or failed (OpenFailed with the
// reason, Opening() false, nothing else). ClosePort during Opening abandons the attempt with
// no signal. Nothing in an open or a line change blocks the owner's thread on the network.

#include "transport/ComLink.h"
#include "transport/TransportTypes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <cstdint>
#include <exception>

class TTransport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // --- identity: the name it opens, and what that name led to at the last open
    virtual const QString& Port() const = 0;
    virtual void SetPort(const QString& name) = 0;
    virtual const TDeviceIdentity& Identity() const = 0;

    // --- open and close
    virtual bool Connected() const = 0;
    virtual void OpenPort() = 0;
    // An open started and not yet ended (opened or OpenFailed); false for a transport whose
    // open ends inside OpenPort.
    virtual bool Opening() const { return false; }
    // Opens only when what the name leads to may be taken for `expected` (a reconnection);
    // found tells what is there. True: opened, or (Opening()) an open started whose outcome
    // comes as for OpenPort.
    virtual bool OpenPortIfSame(const TDeviceIdentity& expected, TDeviceIdentity& found) = 0;
    virtual void ClosePort() = 0;
    // The last close came from the device going away, not from ClosePort.
    virtual bool ClosedByHangUp() const = 0;

    // --- reconnection
    // Why an open failed, as a reconnection weighs it: `absent` when the device is not there
    // (yet) or changed while being opened (tried again quietly); `cause` tells one cause from
    // another; `text` is the operator's line. By default every failure is its own message.
    struct OpenFailure {
        bool absent = false;
        QString cause;
        QString text;
    };
    virtual OpenFailure DiagnoseOpenFailure(const std::exception& error) const;
    // The folder whose change tells that the device may be back (its name appearing or being
    // renamed into place); empty when there is none to watch (a port on another machine).
    virtual QString WatchFolder() const { return {}; }

    // --- writing
    struct WriteOutcome {
        qsizetype written = 0;
        QString failure; // why a waiting write gave up before writing all
    };
    // With wait, writes all or gives up after the write timeout; without, writes what the
    // transport takes at once.
    virtual WriteOutcome Write(QByteArrayView bytes, bool wait) = 0;
    // Writes all, waiting; the count written.
    virtual int WriteText(const QByteArray& text) = 0;

    // --- line state
    // The rate the device took at the last configuration (a UART may round it; a port server
    // answers with the rate it set), as "Baud:" shows it; 0 when closed or not known (yet).
    // A change of the rate on a network port is sent and its answer taken when it comes.
    virtual uint32_t ActualBaudRate() const { return 0; }
    virtual TLineState LineState() = 0;
    virtual void SetDtrLine(bool on) = 0;
    virtual void SetRtsLine(bool on) = 0;
    virtual TLineErrorCounts LineErrorCounts() = 0;

    // --- listeners
    virtual void AttachLink(TComLink* link) = 0;
    virtual void DetachLink(TComLink* link) = 0;

    // The set-up dialog of this kind of transport, when one is installed.
    virtual void RunSetupDialog() = 0;

signals:
    // Emitted by the destructor once closed, while still whole: referring clients detach
    // their link and drop the reference.
    void Destroying(TTransport* transport);
    // The open transport closed because its device went away; emitted after the close's
    // notifications.
    void DeviceLost(TTransport* transport);
    // An open ended successfully: after the links' ConnHandler(true).
    void Opened(TTransport* transport);
    // An open that was Opening() failed; reason is the operator's message (the set-up
    // dialog's reason line), as an exception's what() is for an open that fails at once.
    void OpenFailed(TTransport* transport, const QString& reason);
    // A late answer changed ActualBaudRate (a port server answering a rate change).
    void LineSettingsTaken(TTransport* transport);
};
