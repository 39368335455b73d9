#pragma once
// The device layer under the port: one open serial device. The port speaks to it in the
// records of the classic serial interface (line configuration, timeouts, event mask, modem
// status, error word); the POSIX implementation maps them to termios and ioctls, the fake
// one scripts them for tests. Calls return 0 or an errno value.
//
// Threads: waitEvent runs on the port's event thread, everything else on the thread that
// owns the port; cancelWait may be called from any thread.

#include "serial/DeviceIdentity.h"
#include "transport/TransportTypes.h"

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

// The line configuration the port builds afresh from its settings.
struct TSerialLineConfig {
    uint32_t BaudRate = 9600;
    uint32_t Flags = 0; // comm::fBinary, comm::fParity, ...
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 8;
    uint8_t Parity = 0; // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    char XonChar = 17;
    char XoffChar = 19;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    bool operator==(const TSerialLineConfig&) const = default;
};

struct TSerialTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
    bool operator==(const TSerialTimeouts&) const = default;
};

class ISerialDevice {
public:
    virtual ~ISerialDevice() = default;

    // What is at a system path now, found without opening it: 0 or an errno (ENOENT when
    // nothing is there). The next open of this object then opens that device or nothing.
    virtual int identify(const QByteArray& path, TDeviceIdentity& identity)
    {
        (void)path;
        identity = {};
        return 0;
    }
    // Opens the device at a system path exclusively.
    virtual int open(const QByteArray& path) = 0;
    virtual void close() = 0;

    virtual int setQueueSizes(uint32_t inputSize, uint32_t outputSize) = 0;
    virtual int setLineConfig(const TSerialLineConfig& config) = 0;
    virtual int setTimeouts(const TSerialTimeouts& timeouts) = 0;
    // The rate the device actually runs at after setLineConfig (a UART divides its clock
    // and may round a rate); ENOTSUP where it cannot be told.
    virtual int actualBaudRate(uint32_t& rate)
    {
        rate = 0;
        return ENOTSUP;
    }

    // Error word since the last call (cleared by it) and the bytes waiting.
    virtual int status(uint32_t& errorWord, uint32_t& inputCount) = 0;
    virtual int modemStatus(uint32_t& modemStatus) = 0; // MS_* bits
    virtual int escape(uint32_t function) = 0; // SETDTR, CLRDTR, SETRTS, CLRRTS
    virtual int purge(uint32_t flags) = 0; // PURGE_* bits
    // The driver's running counts of line errors; ENOTTY when it keeps none (a pty).
    virtual int lineErrorCounts(TLineErrorCounts& counts)
    {
        counts = {};
        return ENOTTY;
    }

    // Non-blocking transfers: move what can be moved now (possibly nothing).
    virtual int readSome(char* buffer, std::size_t count, std::size_t& got) = 0;
    virtual int writeSome(const char* data, std::size_t count, std::size_t& put) = 0;
    // Waits until a transfer could make progress; ETIMEDOUT after timeoutMs (-1: no limit).
    virtual int waitReadable(int timeoutMs) = 0;
    virtual int waitWritable(int timeoutMs) = 0;

    // Event wait of the event thread: returns 0 with a non-empty EV_* set, ECANCELED after
    // cancelWait, or an errno (EIO, ENXIO, ...) when the device failed or hung up.
    virtual int setEventMask(uint32_t mask) = 0;
    virtual int waitEvent(uint32_t& events) = 0;
    virtual void cancelWait() = 0;

    // While the event thread waits for a batch to be handled on another thread, a device
    // may keep filling its input queue: pumpInput returns once done() holds (checked after
    // every wakePump) or the wait was cancelled. Devices without a queue of their own
    // return at once.
    virtual void pumpInput(const std::function<bool()>& done) { (void)done; }
    virtual void wakePump() { }
};

// The device layer of the system the program was built for (its platform file).
std::unique_ptr<ISerialDevice> CreateSystemSerialDevice();

using TSerialDeviceFactory = std::function<std::unique_ptr<ISerialDevice>()>;

// What the port makes of an errno from the device layer.
enum class TErrnoKind {
    None, // 0
    Retry, // EINTR: repeat the call
    WouldBlock, // EAGAIN: nothing to move now
    TimedOut, // ETIMEDOUT
    NotFound, // no such device (open)
    Busy, // used by another program
    Permission, // no access
    Unsupported, // the driver lacks the call (a pty's modem ioctls): lines read as off
    HangUp, // the device went away: close the port
    Other,
};
enum class TDevicePhase { Open, Io };

// The single errno mapping of the device layer (a pure function).
TErrnoKind ClassifyErrno(int error, TDevicePhase phase);

// "COMn" → /dev/ttyS{n-1}; an absolute path or a remote name as it is; any other name →
// /dev/<name>.
QByteArray PortNameToDevicePath(const QString& name);

// Names "scheme://..." are ports on other machines, not serial devices: another transport
// opens them.
bool IsRemotePortName(const QString& name);
