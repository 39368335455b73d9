#include "serial/ComPort.h"

#include "common/ErrorReport.h"
#include "common/QueuedCall.h"
#include "serial/ComThread.h"
#include "serial/DeviceIdentity.h"
#include "serial/EComPort.h"
#include "serial/PortDiagnosis.h"
#include "serial/SerialDevice.h"

#include <QtGlobal>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>

namespace {

std::function<void(TCustomComPort*)>& setupRunner()
{
    static std::function<void(TCustomComPort*)> runner;
    return runner;
}

int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

uint32_t asDword(int32_t v)
{
    return static_cast<uint32_t>(v);
}

// Clears a flag when the scope ends, also by an exception.
struct FlagGuard {
    bool& flag;
    explicit FlagGuard(bool& f)
        : flag(f)
    {
        flag = true;
    }
    ~FlagGuard() { flag = false; }
};

} // namespace

std::unique_ptr<PortOperation> InitOperation()
{
    return std::make_unique<PortOperation>();
}

void DoneOperation(std::unique_ptr<PortOperation>& operation)
{
    operation.reset();
}

// --- construction ----------------------------------------------------------------------

TCustomComPort::TCustomComPort(QObject* owner)
    : TTransport(owner)
    , parity_(std::make_unique<TComParity>(this))
    , flowControl_(std::make_unique<TComFlowControl>(this))
    , timeouts_(std::make_unique<TComTimeouts>(this))
    , buffer_(std::make_unique<TComBuffer>(this))
    , factory_(CreateSystemSerialDevice)
{
}

TCustomComPort::~TCustomComPort()
{
    try {
        closePort(false);
    } catch (const std::exception&) {
        // The device refused the orderly close; close it regardless.
        try {
            closePort(true);
        } catch (const std::exception&) {
        }
    }
    emit Destroying(this);
    links_.clear();
    buffer_.reset();
    flowControl_.reset();
    timeouts_.reset();
    parity_.reset();
}

void TCustomComPort::SetDeviceFactory(TSerialDeviceFactory factory)
{
    factory_ = std::move(factory);
}

void TCustomComPort::SetSetupDialogRunner(std::function<void(TCustomComPort*)> runner)
{
    setupRunner() = std::move(runner);
}

void TCustomComPort::RunSetupDialog()
{
    if (setupRunner())
        setupRunner()(this);
}

void TCustomComPort::SetErrorReporter(std::function<void(const std::exception&)> reporter)
{
    ::SetErrorReporter(std::move(reporter));
}

void TCustomComPort::ReportError(const std::exception& error)
{
    ::ReportError(error);
}

// --- settings --------------------------------------------------------------------------

void TCustomComPort::SetConnected(bool value)
{
    if (loading_) {
        loadedConnected_ = value;
        return;
    }
    if (value == connected_)
        return;
    if (value)
        OpenPort();
    else
        ClosePort();
}

void TCustomComPort::SetBaudRate(TBaudRate value)
{
    if (value == baudRate_)
        return;
    baudRate_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(int32_t value)
{
    if (value == customBaudRate_)
        return;
    customBaudRate_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetPort(const QString& value)
{
    if (value == port_)
        return;
    port_ = value;
    if (connected_ && !loading_) {
        ClosePort();
        OpenPort();
    }
}

void TCustomComPort::SetParity(const TComParity& value)
{
    parity_->Assign(value);
    ApplyLineSettings();
}

void TCustomComPort::SetStopBits(TStopBits value)
{
    if (value == stopBits_)
        return;
    stopBits_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits value)
{
    if (value == dataBits_)
        return;
    dataBits_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool value)
{
    if (value == discardNull_)
        return;
    discardNull_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetEventChar(char value)
{
    if (value == eventChar_)
        return;
    eventChar_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetBuffer(const TComBuffer& value)
{
    buffer_->Assign(value);
    ApplyBufferSizes();
}

void TCustomComPort::SetFlowControl(const TComFlowControl& value)
{
    flowControl_->Assign(value);
    ApplyLineSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& value)
{
    timeouts_->Assign(value);
    ApplyTimeoutSettings();
}

void TCustomComPort::SetSyncMethod(TSyncMethod value)
{
    if (value == syncMethod_)
        return;
    if (connected_ && !loading_)
        throw EComPort(CError_ConnChangeProp);
    syncMethod_ = value;
}

void TCustomComPort::BeginSettingsUpdate()
{
    ++updateCount_;
}

void TCustomComPort::EndSettingsUpdate()
{
    if (updateCount_ <= 0)
        return;
    if (--updateCount_ == 0)
        ConfigurePort();
}

void TCustomComPort::BeginLoad()
{
    loading_ = true;
    loadedConnected_ = connected_;
}

void TCustomComPort::Loaded()
{
    loading_ = false;
    if (!loadedConnected_)
        return;
    loadedConnected_ = false;
    try {
        OpenPort();
    } catch (const std::exception& e) {
        ReportError(e);
    }
}

bool TCustomComPort::canApply() const
{
    return connected_ && device_ && updateCount_ == 0 && !loading_;
}

TSerialLineConfig TCustomComPort::buildLineConfig() const
{
    TSerialLineConfig c;
    const TComFlowControl& fc = *flowControl_;
    c.XonLim = static_cast<uint16_t>(buffer_->InputSize() / 4);
    c.XoffLim = c.XonLim;
    c.EvtChar = eventChar_;
    c.Flags = comm::fBinary;
    if (discardNull_)
        c.Flags |= comm::fNull;
    c.XonChar = fc.XonChar();
    c.XoffChar = fc.XoffChar();
    if (fc.OutCTSFlow())
        c.Flags |= comm::fOutxCtsFlow;
    if (fc.OutDSRFlow())
        c.Flags |= comm::fOutxDsrFlow;
    static constexpr uint32_t kDtr[] = {0, comm::fDtrControlEnable, comm::fDtrControlHandshake};
    static constexpr uint32_t kRts[]
        = {0, comm::fRtsControlEnable, comm::fRtsControlHandshake, comm::fRtsControlToggle};
    c.Flags |= kDtr[fc.ControlDTR()] | kRts[fc.ControlRTS()];
    if (fc.XonXoffOut())
        c.Flags |= comm::fOutX;
    if (fc.XonXoffIn())
        c.Flags |= comm::fInX;
    if (fc.DSRSensitivity())
        c.Flags |= comm::fDsrSensitivity;
    if (fc.TxContinueOnXoff())
        c.Flags |= comm::fTXContinueOnXoff;
    c.Parity = static_cast<uint8_t>(ParityValue(parity_->Bits()));
    c.StopBits = static_cast<uint8_t>(StopBitsValue(stopBits_));
    c.BaudRate = baudRate_ == brCustom ? asDword(customBaudRate_) : asDword(BaudRateValue(baudRate_));
    c.ByteSize = static_cast<uint8_t>(DataBitsValue(dataBits_));
    if (parity_->Check()) {
        c.Flags |= comm::fParity;
        if (parity_->Replace()) {
            c.Flags |= comm::fErrorChar;
            c.ErrorChar = parity_->ReplaceChar();
        }
    }
    return c;
}

void TCustomComPort::ApplyLineSettings()
{
    if (!canApply())
        return;
    if (int r = device_->setLineConfig(buildLineConfig()))
        throw EComPort(CError_SetStateFailed, r);
    uint32_t actual = 0;
    actualBaudRate_ = device_->actualBaudRate(actual) == 0 ? actual : 0;
}

int32_t TCustomComPort::RequestedBaudRate() const
{
    return baudRate_ == brCustom ? customBaudRate_ : BaudRateValue(baudRate_);
}

void TCustomComPort::ApplyTimeoutSettings()
{
    if (!canApply())
        return;
    TSerialTimeouts t;
    t.ReadIntervalTimeout = asDword(timeouts_->ReadInterval());
    t.ReadTotalTimeoutMultiplier = asDword(timeouts_->ReadTotalMultiplier());
    t.ReadTotalTimeoutConstant = asDword(timeouts_->ReadTotalConstant());
    t.WriteTotalTimeoutMultiplier = asDword(timeouts_->WriteTotalMultiplier());
    t.WriteTotalTimeoutConstant = asDword(timeouts_->WriteTotalConstant());
    if (int r = device_->setTimeouts(t))
        throw EComPort(CError_TimeoutsFailed, r);
    appliedTimeouts_ = t;
}

void TCustomComPort::ApplyBufferSizes()
{
    if (!canApply())
        return;
    if (int r = device_->setQueueSizes(asDword(buffer_->InputSize()), asDword(buffer_->OutputSize())))
        throw EComPort(CError_SetupComFailed, r);
}

void TCustomComPort::ConfigurePort()
{
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
}

// --- open and close --------------------------------------------------------------------

std::unique_ptr<ISerialDevice> TCustomComPort::makeDevice() const
{
    return factory_();
}

void TCustomComPort::CreatePortHandle()
{
    const QByteArray path = PortNameToDevicePath(port_);
    std::unique_ptr<ISerialDevice> device = std::move(identified_);
    TDeviceIdentity identity = identifiedAs_;
    if (!device) {
        device = makeDevice();
        // What the name leads to, for a reconnection to find again; a name that cannot be
        // looked at is the open's to report.
        if (device->identify(path, identity) != 0)
            identity = {};
    }
    if (int r = device->open(path))
        throw EComPort(CError_OpenFailed, r);
    device_ = std::move(device);
    identity_ = identity;
    heldErrors_ = 0;
    actualBaudRate_ = 0;
    // Until timeouts are applied the transfers use the defaults' meaning.
    appliedTimeouts_ = TSerialTimeouts{comm::MAXDWORD, 0, 0, 100, 1000};
}

void TCustomComPort::DestroyPortHandle()
{
    if (device_) {
        device_->close();
        device_.reset();
    }
    actualBaudRate_ = 0;
}

void TCustomComPort::OpenPort()
{
    if (connected_)
        return;
    NotifyBeforeOpen();
    CreatePortHandle();
    connected_ = true;
    try {
        ConfigurePort();
    } catch (...) {
        DestroyPortHandle();
        connected_ = false;
        throw;
    }
    ++session_;
    if (device_->lineErrorCounts(countsAtOpen_) != 0)
        countsAtOpen_ = {};
    if (!events_.empty()) {
        thread_ = std::make_unique<TComThread>(this, device_.get(), events_, syncMethod_, session_);
        thread_->Start();
    }
    links_.forEach([this](TComLink& l) {
        if (l.ConnHandler)
            l.ConnHandler(this, true);
    });
    NotifyAfterOpen();
    afterOpenLines();
    if (connected_)
        emit Opened(this);
}

TTransport::OpenFailure TCustomComPort::DiagnoseOpenFailure(const std::exception& error) const
{
    const auto* portError = dynamic_cast<const EComPort*>(&error);
    if (!portError)
        return TTransport::DiagnoseOpenFailure(error);
    const int code = portError->SystemError();
    const TErrnoKind kind = ClassifyErrno(code, TDevicePhase::Open);
    return {kind == TErrnoKind::NotFound || kind == TErrnoKind::WouldBlock, QString::number(code),
        OpenFailureText(*this, *portError)};
}

QString TCustomComPort::WatchFolder() const
{
    if (IsRemotePortName(Port()))
        return {};
    return DeviceWatchFolder(QString::fromLocal8Bit(PortNameToDevicePath(Port())));
}

bool TCustomComPort::OpenPortIfSame(const TDeviceIdentity& expected, TDeviceIdentity& found)
{
    if (connected_)
        return true;
    std::unique_ptr<ISerialDevice> device = makeDevice();
    found = {};
    if (int r = device->identify(PortNameToDevicePath(port_), found))
        throw EComPort(CError_OpenFailed, r);
    if (!SameDevice(expected, found))
        return false;
    identified_ = std::move(device);
    identifiedAs_ = found;
    try {
        OpenPort();
    } catch (...) {
        identified_.reset();
        throw;
    }
    identified_.reset();
    return connected_;
}

void TCustomComPort::afterOpenLines()
{
    bool on = ModemLines().contains(sigCTS);
    links_.forEach([&](TComLink& l) {
        if (l.CtsHandler)
            l.CtsHandler(this, on);
    });
    NotifyCTSChange(on);
    on = ModemLines().contains(sigDSR);
    links_.forEach([&](TComLink& l) {
        if (l.DsrHandler)
            l.DsrHandler(this, on);
    });
    NotifyDSRChange(on);
    on = ModemLines().contains(sigRLSD);
    links_.forEach([&](TComLink& l) {
        if (l.RlsdHandler)
            l.RlsdHandler(this, on);
    });
    NotifyRLSDChange(on);
}

void TCustomComPort::ClosePort()
{
    closePort(false);
}

void TCustomComPort::closePort(bool deviceGone)
{
    if (!connected_ || closing_)
        return;
    FlagGuard guard(closing_);
    links_.linesDown(this);
    NotifyCTSChange(false);
    NotifyDSRChange(false);
    NotifyRLSDChange(false);
    NotifyBeforeClose();
    if (!connected_)
        return; // a handler closed it already
    if (deviceGone) {
        if (device_)
            device_->purge(comm::PURGE_TXABORT | comm::PURGE_RXABORT);
    } else {
        AbortAllOperations();
    }
    if (thread_) {
        thread_->Stop();
        thread_.reset();
    }
    DestroyPortHandle();
    connected_ = false;
    closedByHangUp_ = deviceGone;
    links_.forEach([this](TComLink& l) {
        if (l.ConnHandler)
            l.ConnHandler(this, false);
    });
    NotifyAfterClose();
}

void TCustomComPort::hangUpFromThread(uint64_t session)
{
    if (!connected_ || session != session_)
        return;
    try {
        closePort(true);
    } catch (const std::exception& e) {
        ReportError(e);
    }
    if (!connected_)
        emit DeviceLost(this);
}

// --- device queries and lines ----------------------------------------------------------

void TCustomComPort::requireDevice(int portError) const
{
    // Callers are to check Connected; a closed port fails like a closed handle would.
    if (!device_)
        throw EComPort(portError, EBADF);
}

int TCustomComPort::InputQueueCount()
{
    requireDevice(CError_ClearComFailed);
    uint32_t errors = 0, count = 0;
    if (int r = device_->status(errors, count))
        throw EComPort(CError_ClearComFailed, r);
    // The query clears the device's error word; keep it for the evError that follows.
    heldErrors_ |= errors;
    return static_cast<int>(count);
}

TComErrors TCustomComPort::LineErrors()
{
    requireDevice(CError_ClearComFailed);
    uint32_t errors = 0, count = 0;
    if (int r = device_->status(errors, count))
        throw EComPort(CError_ClearComFailed, r);
    errors |= heldErrors_;
    heldErrors_ = 0;
    return ErrorWordToErrors(errors, parity_->Check());
}

TLineErrorCounts TCustomComPort::LineErrorCounts()
{
    TLineErrorCounts now;
    if (!device_ || device_->lineErrorCounts(now) != 0)
        return {};
    // A driver whose counters went back (reloaded) counts again from there.
    auto since = [](uint64_t n, uint64_t open) { return n >= open ? n - open : n; };
    return {since(now.Framing, countsAtOpen_.Framing), since(now.Parity, countsAtOpen_.Parity),
        since(now.Overrun, countsAtOpen_.Overrun), since(now.Breaks, countsAtOpen_.Breaks)};
}

TComSignals TCustomComPort::ModemLines()
{
    requireDevice(CError_ModemStatFailed);
    uint32_t ms = 0;
    if (int r = device_->modemStatus(ms)) {
        // A driver without modem lines (a pseudo-terminal) reads as all lines off.
        if (ClassifyErrno(r, TDevicePhase::Io) == TErrnoKind::Unsupported)
            return {};
        throw EComPort(CError_ModemStatFailed, r);
    }
    return ModemStatusToSignals(ms);
}

void TCustomComPort::SetDtrLine(bool on)
{
    requireDevice(CError_EscapeComFailed);
    if (int r = device_->escape(on ? comm::SETDTR : comm::CLRDTR))
        if (ClassifyErrno(r, TDevicePhase::Io) != TErrnoKind::Unsupported)
            throw EComPort(CError_EscapeComFailed, r);
}

void TCustomComPort::SetRtsLine(bool on)
{
    requireDevice(CError_EscapeComFailed);
    if (int r = device_->escape(on ? comm::SETRTS : comm::CLRRTS))
        if (ClassifyErrno(r, TDevicePhase::Io) != TErrnoKind::Unsupported)
            throw EComPort(CError_EscapeComFailed, r);
}

void TCustomComPort::AbortAllOperations()
{
    requireDevice(CError_PurgeFailed);
    if (int r = device_->purge(comm::PURGE_TXABORT | comm::PURGE_RXABORT))
        throw EComPort(CError_PurgeFailed, r);
}

// --- transfers -------------------------------------------------------------------------

int TCustomComPort::WriteText(const QByteArray& text)
{
    std::unique_ptr<PortOperation> op = InitOperation();
    const int started = StartWriteText(text, op.get());
    if (text.isEmpty()) {
        DoneOperation(op);
        return started;
    }
    const int result = WaitForOperation(op.get()); // the record is freed also on a throw
    DoneOperation(op);
    return result;
}

int TCustomComPort::StartWriteText(const QByteArray& text, PortOperation* operation)
{
    if (text.isEmpty())
        return 0;
    return StartWrite(text.constData(), int(text.size()), operation);
}

int TCustomComPort::StartWrite(const char* data, int count, PortOperation* operation)
{
    if (!operation)
        throw EComPort(CError_InvalidAsync);
    requireDevice(CError_WriteFailed);
    count = std::max(count, 0);
    operation->Kind = opWrite;
    operation->Copy = QByteArray(data, count);
    operation->Size = count;
    operation->Buffer = nullptr;
    operation->Requested = count;
    operation->Transferred = 0;
    operation->StartedMs = nowMs();
    std::size_t put = 0;
    int r;
    do
        r = device_->writeSome(operation->Copy.constData(), std::size_t(count), put);
    while (r == EINTR);
    if (r != 0 && ClassifyErrno(r, TDevicePhase::Io) != TErrnoKind::WouldBlock)
        throw EComPort(CError_WriteFailed, r);
    operation->Transferred = r == 0 ? int(put) : 0;
    links_.forEach([this](TComLink& l) {
        if (l.TxHandler)
            l.TxHandler(this, true);
    });
    return operation->Transferred == count ? count : 0;
}

int TCustomComPort::StartRead(char* buffer, int count, PortOperation* operation)
{
    if (!operation)
        throw EComPort(CError_InvalidAsync);
    requireDevice(CError_ReadFailed);
    count = std::max(count, 0);
    operation->Kind = opRead;
    operation->Buffer = buffer;
    operation->Requested = count;
    operation->Transferred = 0;
    operation->StartedMs = nowMs();
    std::size_t got = 0;
    int r = 0;
    if (count > 0) {
        do
            r = device_->readSome(buffer, std::size_t(count), got);
        while (r == EINTR);
    }
    if (r != 0 && ClassifyErrno(r, TDevicePhase::Io) != TErrnoKind::WouldBlock)
        throw EComPort(CError_ReadFailed, r);
    operation->Transferred = r == 0 ? int(got) : 0;
    return operation->Transferred;
}

int TCustomComPort::WaitForOperation(PortOperation* operation)
{
    if (!operation)
        throw EComPort(CError_InvalidAsync);
    const bool isWrite = operation->Kind == opWrite;
    const int portError = isWrite ? CError_WriteFailed : CError_ReadFailed;
    if (operation->Kind == opNone)
        return 0;
    requireDevice(portError);
    const TSerialTimeouts& t = appliedTimeouts_;

    if (isWrite) {
        // Total write timeout: constant + multiplier per byte; both zero means none.
        const uint64_t total = uint64_t(t.WriteTotalTimeoutMultiplier) * uint64_t(operation->Size)
            + t.WriteTotalTimeoutConstant;
        const bool limited = t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0;
        while (operation->Transferred < operation->Size) {
            std::size_t put = 0;
            const int r = device_->writeSome(operation->Copy.constData() + operation->Transferred,
                std::size_t(operation->Size - operation->Transferred), put);
            if (r == 0 && put > 0) {
                operation->Transferred += int(put);
                continue;
            }
            if (r != 0 && r != EINTR && ClassifyErrno(r, TDevicePhase::Io) != TErrnoKind::WouldBlock)
                throw EComPort(portError, r);
            int waitMs = -1;
            if (limited) {
                const int64_t left = int64_t(total) - (nowMs() - operation->StartedMs);
                if (left <= 0)
                    throw EComPort(portError, ETIMEDOUT);
                waitMs = int(std::min<int64_t>(left, 1 << 30));
            }
            const int w = device_->waitWritable(waitMs);
            if (w != 0 && w != ETIMEDOUT && w != EINTR)
                throw EComPort(portError, w);
        }
        links_.forEach([this, operation](TComLink& l) {
            if (l.TxBufHandler)
                l.TxBufHandler(this, operation->Copy.constData(), operation->Size);
        });
        return operation->Transferred;
    }

    // Read timeouts as the classic interface defines them.
    const uint32_t interval = t.ReadIntervalTimeout;
    const uint32_t mult = t.ReadTotalTimeoutMultiplier;
    const uint32_t constant = t.ReadTotalTimeoutConstant;
    const bool immediate = interval == comm::MAXDWORD && mult == 0 && constant == 0;
    const bool anyByte
        = interval == comm::MAXDWORD && mult == comm::MAXDWORD && constant != 0 && constant != comm::MAXDWORD;
    const bool totalLimited = !anyByte && (mult != 0 || constant != 0);
    const int64_t total
        = anyByte ? int64_t(constant) : int64_t(uint64_t(mult) * uint64_t(operation->Requested) + constant);
    int64_t lastByteMs = operation->StartedMs;
    while (!immediate && operation->Transferred < operation->Requested) {
        if (anyByte && operation->Transferred > 0)
            break;
        std::size_t got = 0;
        const int r = device_->readSome(operation->Buffer + operation->Transferred,
            std::size_t(operation->Requested - operation->Transferred), got);
        if (r == 0 && got > 0) {
            operation->Transferred += int(got);
            lastByteMs = nowMs();
            continue;
        }
        if (r != 0 && r != EINTR && ClassifyErrno(r, TDevicePhase::Io) != TErrnoKind::WouldBlock)
            throw EComPort(portError, r);
        const int64_t now = nowMs();
        int64_t waitMs = -1;
        if (totalLimited || anyByte)
            waitMs = total - (now - operation->StartedMs);
        if (interval != 0 && interval != comm::MAXDWORD && operation->Transferred > 0) {
            const int64_t left = int64_t(interval) - (now - lastByteMs);
            waitMs = waitMs < 0 ? left : std::min(waitMs, left);
        }
        // No limit at all (every timeout zero) waits for the whole count.
        if (waitMs == 0 || (waitMs < 0 && (totalLimited || anyByte)))
            break;
        const int w = device_->waitReadable(int(std::min<int64_t>(waitMs, 1 << 30)));
        if (w != 0 && w != ETIMEDOUT && w != EINTR)
            throw EComPort(portError, w);
    }
    if (InputQueueCount() == 0) {
        links_.forEach([this](TComLink& l) {
            if (l.RxHandler)
                l.RxHandler(this, false);
        });
    }
    return operation->Transferred;
}

int TCustomComPort::ReadBuffer(char* buffer, int count)
{
    std::unique_ptr<PortOperation> op = InitOperation();
    StartRead(buffer, count, op.get());
    const int result = WaitForOperation(op.get());
    DoneOperation(op);
    return result;
}

TLineState TCustomComPort::LineState()
{
    const TComSignals lines = ModemLines();
    return {lines.contains(sigCTS), lines.contains(sigDSR), lines.contains(sigRLSD), lines.contains(sigRing)};
}

TTransport::WriteOutcome TCustomComPort::Write(QByteArrayView bytes, bool wait)
{
    std::unique_ptr<PortOperation> operation = InitOperation();
    try {
        StartWrite(bytes.data(), int(bytes.size()), operation.get());
        if (!wait && operation->Transferred < operation->Size)
            return {operation->Transferred, {}};
        // Also for a write done at once: the wait finishes it for the port's links.
        WaitForOperation(operation.get());
    } catch (const EComPort& e) {
        if (e.SystemError() == ETIMEDOUT)
            return {operation->Transferred, QString::fromUtf8(e.what())};
        // The device went away under a write (its answers to what was still queued): that
        // is a lost device, closed and reported as one once this handler has returned, not
        // a write error for the operator.
        if (connected_ && ClassifyErrno(e.SystemError(), TDevicePhase::Io) == TErrnoKind::HangUp) {
            postQueuedCall(this, [this, session = session_] { hangUpFromThread(session); });
            return {operation->Transferred, {}};
        }
        throw;
    }
    return {bytes.size(), {}};
}

// --- links -----------------------------------------------------------------------------

void TCustomComPort::recomputeDataLink()
{
    hasDataLink_ = links_.any([](const TComLink* l) { return bool(l->RxBufHandler); });
}

void TCustomComPort::AttachLink(TComLink* link)
{
    if (!links_.add(link))
        throw EComPort(CError_RegFailed);
    recomputeDataLink();
}

void TCustomComPort::DetachLink(TComLink* link)
{
    if (!links_.remove(link))
        throw EComPort(CError_RegFailed);
    recomputeDataLink();
}

// --- event handling --------------------------------------------------------------------

void TCustomComPort::DispatchEvents(TComEvents events)
{
    static constexpr TComEvent kOrder[]
        = {evError, evRxChar, evTxEmpty, evBreak, evRing, evCTS, evDSR, evRxFlag, evRLSD, evRx80Full};
    for (TComEvent ev : kOrder) {
        if (!connected_)
            return; // a handler closed the port
        if (events.contains(ev))
            HandleEvent(ev);
    }
}

void TCustomComPort::windowEvent(uint64_t session, TComEvent event)
{
    if (!connected_ || session != session_)
        return;
    try {
        HandleEvent(event);
    } catch (const std::exception& e) {
        ReportError(e);
    }
}

void TCustomComPort::reception()
{
    int n = InputQueueCount();
    if (n > 0)
        links_.forEach([this](TComLink& l) {
            if (l.RxHandler)
                l.RxHandler(this, true);
        });
    if (n > 0 && hasDataLink_) {
        std::unique_ptr<char[]> buffer(new char[std::size_t(n)]);
        // Deliver what was actually read: filters may drop bytes the count included.
        const int got = ReadBuffer(buffer.get(), n);
        if (got > 0) {
            NotifyRxBuf(buffer.get(), got);
            links_.forEach([&](TComLink& l) {
                if (l.RxBufHandler)
                    l.RxBufHandler(this, buffer.get(), got);
            });
        }
        n = 0;
    }
    if (n > 0)
        NotifyRxChar(n);
}

void TCustomComPort::HandleEvent(TComEvent event)
{
    switch (event) {
    case evError: {
        const TComErrors errors = LineErrors();
        if (!errors.empty())
            NotifyError(errors);
        break;
    }
    case evRxChar:
        reception();
        break;
    case evTxEmpty:
        links_.forEach([this](TComLink& l) {
            if (l.TxHandler)
                l.TxHandler(this, false);
        });
        links_.forEach([this](TComLink& l) {
            if (l.TxEmptyHandler)
                l.TxEmptyHandler(this);
        });
        NotifyTxEmpty();
        break;
    case evBreak:
        NotifyBreak();
        break;
    case evRing:
        links_.forEach([this](TComLink& l) {
            if (l.RingHandler)
                l.RingHandler(this);
        });
        NotifyRing();
        break;
    case evCTS: {
        const bool on = ModemLines().contains(sigCTS);
        links_.forEach([&](TComLink& l) {
            if (l.CtsHandler)
                l.CtsHandler(this, on);
        });
        NotifyCTSChange(on);
        break;
    }
    case evDSR: {
        const bool on = ModemLines().contains(sigDSR);
        links_.forEach([&](TComLink& l) {
            if (l.DsrHandler)
                l.DsrHandler(this, on);
        });
        NotifyDSRChange(on);
        break;
    }
    case evRxFlag:
        links_.forEach([this](TComLink& l) {
            if (l.RxFlagHandler)
                l.RxFlagHandler(this);
        });
        NotifyRxFlag();
        break;
    case evRLSD: {
        const bool on = ModemLines().contains(sigRLSD);
        links_.forEach([&](TComLink& l) {
            if (l.RlsdHandler)
                l.RlsdHandler(this, on);
        });
        NotifyRLSDChange(on);
        break;
    }
    case evRx80Full:
        NotifyRx80Full();
        break;
    }
}

// --- notifications ---------------------------------------------------------------------

void TCustomComPort::NotifyAfterClose()
{
    if (OnAfterClose)
        OnAfterClose(this);
}
void TCustomComPort::NotifyAfterOpen()
{
    if (OnAfterOpen)
        OnAfterOpen(this);
}
void TCustomComPort::NotifyBeforeClose()
{
    if (OnBeforeClose)
        OnBeforeClose(this);
}
void TCustomComPort::NotifyBeforeOpen()
{
    if (OnBeforeOpen)
        OnBeforeOpen(this);
}
void TCustomComPort::NotifyRxChar(int count)
{
    if (OnRxChar)
        OnRxChar(this, count);
}
void TCustomComPort::NotifyRxBuf(const char* buffer, int count)
{
    if (OnRxBuf)
        OnRxBuf(this, buffer, count);
}
void TCustomComPort::NotifyTxEmpty()
{
    if (OnTxEmpty)
        OnTxEmpty(this);
}
void TCustomComPort::NotifyBreak()
{
    if (OnBreak)
        OnBreak(this);
}
void TCustomComPort::NotifyRing()
{
    if (OnRing)
        OnRing(this);
}
void TCustomComPort::NotifyRxFlag()
{
    if (OnRxFlag)
        OnRxFlag(this);
}
void TCustomComPort::NotifyCTSChange(bool onOff)
{
    if (OnCTSChange)
        OnCTSChange(this, onOff);
}
void TCustomComPort::NotifyDSRChange(bool onOff)
{
    if (OnDSRChange)
        OnDSRChange(this, onOff);
}
void TCustomComPort::NotifyError(TComErrors errors)
{
    if (OnError)
        OnError(this, errors);
}
void TCustomComPort::NotifyRLSDChange(bool onOff)
{
    if (OnRLSDChange)
        OnRLSDChange(this, onOff);
}
void TCustomComPort::NotifyRx80Full()
{
    if (OnRx80Full)
        OnRx80Full(this);
}
