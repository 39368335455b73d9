#pragma once
// TCustomComPort / TComPort: the serial port component.
//
// Using it from the user-interface thread:
//
//     TComPort port(this);                    // owned by its form
//     port.SetPort("COM1");                   // or "/dev/ttyUSB0", "ttyACM0", a pty path
//     port.SetBaudRate(br115200);
//     TComLink link;                          // owned by the client (terminal, lamp)
//     link.RxBufHandler = [](QObject* sender, const char* buf, int n) { /* bytes */ };
//     port.AttachLink(&link);                 // EComPort 18 when attached twice
//     port.OpenPort();                        // EComPort 1 with errno when it cannot open
//     port.WriteText("PUSK\r");               // blocks until written (1000 + 100*n ms max)
//     ...
//     port.DetachLink(&link);                 // before the link record goes
//
// With the default SyncMethod (smThreadSync) the port's event thread waits for the device
// and hands every batch of events to the thread that owns the port (through its Qt event
// loop), waiting until they are handled; so link handlers and On* events always run on the
// UI thread, one at a time, and need no locks. A link with RxBufHandler makes the port read
// each arrival once and pass the same buffer to OnRxBuf and every data link; without a data
// link the bytes stay queued and OnRxChar reports their number.
//
// If the device hangs up (adapter pulled, peer closed the pty) the bytes already received
// are delivered, then the port closes through ClosePort's usual path (links and
// OnBeforeClose/OnAfterClose). Clients holding a reference to a port connect to Destroying
// and drop it (detaching their link) when it fires.

#include "serial/ComSettings.h"
#include "serial/ComTypes.h"
#include "serial/EComPort.h"
#include "serial/SerialDevice.h"
#include "transport/LinkList.h"
#include "transport/Transport.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TComThread;

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TRxCharEvent = std::function<void(QObject* Sender, int Count)>;
using TRxBufEvent = std::function<void(QObject* Sender, const char* Buffer, int Count)>;
using TComSignalEvent = std::function<void(QObject* Sender, bool OnOff)>;
using TComErrorEvent = std::function<void(QObject* Sender, TComErrors Errors)>;

enum TOperationKind { opNone, opWrite, opRead };

// One pending transfer, started by StartWrite/StartRead and finished by WaitForOperation.
struct PortOperation {
    TOperationKind Kind = opNone;
    QByteArray Copy; // private copy of the bytes being written
    int Size = 0;
    // transfer state
    char* Buffer = nullptr; // read destination
    int Requested = 0;
    int Transferred = 0;
    int64_t StartedMs = 0; // monotonic start, for the total timeouts
};

std::unique_ptr<PortOperation> InitOperation();
void DoneOperation(std::unique_ptr<PortOperation>& operation);

// The serial implementation of TTransport; EComPort is what it raises.
class TCustomComPort : public TTransport {
    Q_OBJECT
    friend class TComParity;
    friend class TComFlowControl;
    friend class TComTimeouts;
    friend class TComBuffer;
    friend class TComThread;

public:
    explicit TCustomComPort(QObject* owner = nullptr);
    ~TCustomComPort() override;

    // --- settings -------------------------------------------------------------------
    bool Connected() const override { return connected_; }
    void SetConnected(bool value);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    int32_t CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(int32_t value);
    // The rate asked for as a number (CustomBaudRate for brCustom).
    int32_t RequestedBaudRate() const;
    // The rate the open device actually runs at, read back after each configuration; 0
    // when closed or when the device cannot tell.
    uint32_t ActualBaudRate() const override { return actualBaudRate_; }
    const QString& Port() const override { return port_; }
    void SetPort(const QString& value) override;
    TComParity& Parity() { return *parity_; }
    const TComParity& Parity() const { return *parity_; }
    void SetParity(const TComParity& value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits value);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool value);
    char EventChar() const { return eventChar_; }
    void SetEventChar(char value);
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents value) { events_ = value; }
    TComBuffer& Buffer() { return *buffer_; }
    const TComBuffer& Buffer() const { return *buffer_; }
    void SetBuffer(const TComBuffer& value);
    TComFlowControl& FlowControl() { return *flowControl_; }
    const TComFlowControl& FlowControl() const { return *flowControl_; }
    void SetFlowControl(const TComFlowControl& value);
    TComTimeouts& Timeouts() { return *timeouts_; }
    const TComTimeouts& Timeouts() const { return *timeouts_; }
    void SetTimeouts(const TComTimeouts& value);
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod value);

    void BeginSettingsUpdate();
    void EndSettingsUpdate();

    // Form-description loading: between the two, Connected only records the wanted state
    // and nothing is applied; Loaded opens the port when it was recorded true.
    void BeginLoad();
    void Loaded();
    bool IsLoading() const { return loading_; }

    // --- device ---------------------------------------------------------------------
    void OpenPort() override;
    // Opens the port only when the device under its name may be taken for `expected`
    // (SameDevice); any other one is not touched and false is returned. found tells what
    // is there. Errors raise as OpenPort's do; nothing there at all is EComPort 1 with
    // the system's "not found".
    bool OpenPortIfSame(const TDeviceIdentity& expected, TDeviceIdentity& found) override;
    // What the name led to at the last successful open (kept after the close).
    const TDeviceIdentity& Identity() const override { return identity_; }
    void ClosePort() override;
    int InputQueueCount();
    TComErrors LineErrors();
    // Framing, parity, overrun errors and breaks counted since the port opened; zeros when
    // closed or when the driver keeps no counts (a pseudo-terminal).
    TLineErrorCounts LineErrorCounts() override;
    // The last close came from the device going away (hang-up, adapter pulled), not from a
    // call of ClosePort; valid from OnAfterClose on.
    bool ClosedByHangUp() const override { return closedByHangUp_; }
    // A device not there (yet) or changed meanwhile is absent; the text says what the
    // system's error means for a port (OpenFailureText).
    OpenFailure DiagnoseOpenFailure(const std::exception& error) const override;
    // The folder of the port's name, or its nearest existing parent; none for a port on
    // another machine.
    QString WatchFolder() const override;
    TComSignals ModemLines();
    TLineState LineState() override;
    void SetDtrLine(bool on) override;
    void SetRtsLine(bool on) override;
    WriteOutcome Write(QByteArrayView bytes, bool wait) override;
    int WriteText(const QByteArray& text) override;
    int StartWriteText(const QByteArray& text, PortOperation* operation);
    int StartWrite(const char* data, int count, PortOperation* operation);
    int StartRead(char* buffer, int count, PortOperation* operation);
    int ReadBuffer(char* buffer, int count);
    int WaitForOperation(PortOperation* operation);
    void AbortAllOperations();

    void AttachLink(TComLink* link) override;
    void DetachLink(TComLink* link) override;
    bool HasDataLink() const { return hasDataLink_; }

    // Shows the set-up dialog; the dialog's library installs the runner.
    void RunSetupDialog() override;
    static void SetSetupDialogRunner(std::function<void(TCustomComPort*)> runner);
    // The application's standard error report (common/ErrorReport.h; a message box in the
    // console); used where an error cannot propagate: Loaded, and window-style delivery.
    static void SetErrorReporter(std::function<void(const std::exception&)> reporter);
    static void ReportError(const std::exception& error);

    // Device layer used by the next open (default: the POSIX device).
    void SetDeviceFactory(TSerialDeviceFactory factory);
    bool HasEventThread() const { return thread_ != nullptr; }

    // --- published events -----------------------------------------------------------
    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnAfterClose;
    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnBeforeClose;
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnBreak;
    TNotifyEvent OnRing;
    TNotifyEvent OnRxFlag;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TComErrorEvent OnError;
    TNotifyEvent OnRx80Full;

protected:
    virtual void CreatePortHandle();
    virtual void DestroyPortHandle();
    virtual void ConfigurePort();
    virtual void NotifyAfterClose();
    virtual void NotifyAfterOpen();
    virtual void NotifyBeforeClose();
    virtual void NotifyBeforeOpen();
    virtual void NotifyRxChar(int count);
    virtual void NotifyRxBuf(const char* buffer, int count);
    virtual void NotifyTxEmpty();
    virtual void NotifyBreak();
    virtual void NotifyRing();
    virtual void NotifyRxFlag();
    virtual void NotifyCTSChange(bool onOff);
    virtual void NotifyDSRChange(bool onOff);
    virtual void NotifyError(TComErrors errors);
    virtual void NotifyRLSDChange(bool onOff);
    virtual void NotifyRx80Full();
    virtual void ApplyLineSettings();
    virtual void ApplyTimeoutSettings();
    virtual void ApplyBufferSizes();

    // Handles one batch of events in the fixed order; runs where the SyncMethod says.
    void DispatchEvents(TComEvents events);
    void HandleEvent(TComEvent event);

    ISerialDevice* Device() const { return device_.get(); }
    // Inside a settings update or a load: changes are only recorded.
    bool SettingsDeferred() const { return updateCount_ > 0 || loading_; }

private:
    bool canApply() const;
    void applyAll();
    TSerialLineConfig buildLineConfig() const;
    void reception();
    void closePort(bool deviceGone);
    void requireDevice(int portError) const;
    void afterOpenLines();
    void hangUpFromThread(uint64_t session);
    void windowEvent(uint64_t session, TComEvent event);
    int deviceCall(int result, int portError, bool ioPhase = true);
    void recomputeDataLink();

    std::unique_ptr<TComParity> parity_;
    std::unique_ptr<TComFlowControl> flowControl_;
    std::unique_ptr<TComTimeouts> timeouts_;
    std::unique_ptr<TComBuffer> buffer_;

    bool connected_ = false;
    TBaudRate baudRate_ = br9600;
    int32_t customBaudRate_ = 9600;
    QString port_ = QStringLiteral("COM1");
    TStopBits stopBits_ = sbOneStopBit;
    TDataBits dataBits_ = dbEight;
    bool discardNull_ = false;
    char eventChar_ = 0;
    TComEvents events_ = kAllComEvents;
    TSyncMethod syncMethod_ = smThreadSync;

    int updateCount_ = 0;
    bool loading_ = false;
    bool loadedConnected_ = false;
    bool closing_ = false;
    bool closedByHangUp_ = false;
    uint64_t session_ = 0;
    TSerialTimeouts appliedTimeouts_;
    uint32_t heldErrors_ = 0; // error word read by a count query, not yet reported
    TLineErrorCounts countsAtOpen_;
    uint32_t actualBaudRate_ = 0;

    std::unique_ptr<ISerialDevice> makeDevice() const;

    TSerialDeviceFactory factory_;
    std::unique_ptr<ISerialDevice> device_;
    std::unique_ptr<ISerialDevice> identified_; // looked at by OpenPortIfSame, opened next
    TDeviceIdentity identity_;
    TDeviceIdentity identifiedAs_;
    std::unique_ptr<TComThread> thread_;
    TLinkList links_;
    bool hasDataLink_ = false;
};

// The component as forms use it.
class TComPort : public TCustomComPort {
    Q_OBJECT
public:
    explicit TComPort(QObject* owner = nullptr)
        : TCustomComPort(owner)
    {
    }
};
