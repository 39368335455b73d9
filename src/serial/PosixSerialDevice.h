#pragma once
// The device layer on Linux: a tty opened exclusively and configured through termios2,
// waited on with poll() beside an eventfd that carries stop and wake-up requests.
//
// The event thread reads arriving bytes at once into the port's input queue (Buffer.InputSize,
// at least 64 KiB), through the receive filter, also while a batch is being handled; so the
// tty's small queue keeps draining, and bytes that arrived before a hang-up are kept even
// though the kernel drops its own queue when the line goes.
// Modem-line changes, breaks and line errors come from TIOCGICOUNT deltas (TIOCMGET where
// only that exists). They are sampled when the kernel's wait for a line change (TIOCMIWAIT,
// on a thread of its own) reports one, and whenever input arrives; a driver without that
// wait is sampled every kLinePollMs instead. An idle port thus sleeps.
//
// At open the device asks for low-latency delivery (ASYNC_LOW_LATENCY) where the driver
// offers it; the tty's settings and that flag are put back at close.

#include "serial/LineChangeLatch.h"
#include "serial/RxFilter.h"
#include "serial/SerialDevice.h"

#include <QByteArray>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct termios2; // <asm/termbits.h> clashes with <termios.h> in the files that include this

class PosixSerialDevice : public ISerialDevice {
public:
    PosixSerialDevice();
    ~PosixSerialDevice() override;

    int identify(const QByteArray& path, TDeviceIdentity& identity) override;
    int open(const QByteArray& path) override;
    void close() override;
    int setQueueSizes(uint32_t inputSize, uint32_t outputSize) override;
    int setLineConfig(const TSerialLineConfig& config) override;
    int setTimeouts(const TSerialTimeouts& timeouts) override;
    int actualBaudRate(uint32_t& rate) override;
    int status(uint32_t& errorWord, uint32_t& inputCount) override;
    int modemStatus(uint32_t& modemStatus) override;
    int escape(uint32_t function) override;
    int purge(uint32_t flags) override;
    int lineErrorCounts(TLineErrorCounts& counts) override;
    int readSome(char* buffer, std::size_t count, std::size_t& got) override;
    int writeSome(const char* data, std::size_t count, std::size_t& put) override;
    int waitReadable(int timeoutMs) override;
    int waitWritable(int timeoutMs) override;
    int setEventMask(uint32_t mask) override;
    int waitEvent(uint32_t& events) override;
    void cancelWait() override;
    void pumpInput(const std::function<bool()>& done) override;
    void wakePump() override;

    int fd() const { return fd_; }
    // Bytes already taken from the tty into the port's input queue.
    std::size_t staged() const
    {
        std::lock_guard lock(mutex_);
        return stagedLocked();
    }

    // Sampling period of the output drain, and of a blocking read's look at the queue.
    static constexpr int kTickMs = 5;
    // Sampling period of lines and counters where the driver lacks the kernel's wait: a
    // change is seen within this, at 1000 / kLinePollMs wake-ups a second.
    static constexpr int kLinePollMs = 55;

    enum class LineWatch { None, KernelWait, Poll };
    // How line changes are being watched (None while no line event is watched or the
    // driver has no modem lines).
    LineWatch lineWatch() const;
    // Whether low-latency delivery was switched on at open.
    bool lowLatency() const { return lowLatencySet_; }

    // Measuring aid for the benchmark: every device opened afterwards samples its lines
    // every periodMs as if its driver had modem lines but not the kernel's wait (0: off).
    static void ForceLinePolling(int periodMs);
    // The drain is first looked at this long after the last write of a burst, so that a
    // burst gives one evTxEmpty and the answer to a command is not queued behind it.
    static constexpr int kTxSettleMs = 1;
    // Gathering of a flood after a handled batch: at most this long, this much, and only
    // while input keeps coming within the idle window. None: what arrived while the batch
    // was handled is already the next batch, and gathering longer only left the port's
    // thread idle (the end-to-end flood ran a third slower with 2 ms).
    static constexpr int kCoalesceUs = 0;
    static constexpr int kIdleUs = 300;
    static constexpr std::size_t kCoalesceBytes = 64 * 1024;
    static constexpr std::size_t kCoalesceMinBytes = 2048; // less is an answer, not a flood

private:
    struct Ingest {
        bool newBytes = false;
        bool eventChar = false;
        bool hungUp = false;
        int error = 0;
        std::size_t taken = 0;
    };
    Ingest ingestLocked();
    void startLineWaiter();
    void stopLineWaiter();
    void lineWaiterRun();
    bool linesWatchable() const;
    TLineSample sampleLinesLocked() const;
    std::size_t stagedLocked() const { return std::size_t(staged_.size()) - head_; }
    void kick();
    int tickTimeoutMs() const;
    int kernelQueued() const;

    int fd_ = -1;
    int wakeFd_ = -1;
    bool identified_ = false; // the next open must find identifiedRdev_
    unsigned long long identifiedRdev_ = 0;
    std::unique_ptr<termios2> saved_; // the tty's settings found at open
    mutable std::mutex mutex_;
    QByteArray staged_; // input queue; bytes before head_ were taken
    static constexpr std::size_t kReadChunk = 64 * 1024;
    std::vector<char> raw_; // bytes as read, before the receive filter
    std::size_t head_ = 0;
    static constexpr std::size_t kMinQueue = 64 * 1024;
    std::size_t capacity_ = kMinQueue;
    uint32_t inputSize_ = 1024;
    TRxFilter filter_;
    bool dsrSensitivity_ = false;
    bool rtsToggle_ = false;
    bool modemSupported_ = false;
    bool icountSupported_ = false;
    TLineSample lastSample_;
    TLineChangeLatch lines_;
    bool rx80Reported_ = false;
    bool pendingRxFlag_ = false; // event byte taken while a batch was being handled
    bool hungUp_ = false;
    std::atomic<uint32_t> mask_{0};
    std::atomic<bool> cancel_{false};
    std::atomic<bool> rxReraise_{false};
    std::atomic<bool> txPending_{false};
    std::atomic<int64_t> txCheckAtMs_{0}; // first look at the output queue after a write

    std::thread lineWaiter_;
    std::atomic<bool> lineWaiterStop_{false};
    std::atomic<bool> lineWaiterDone_{false};
    std::atomic<bool> kernelWaitFailed_{false}; // the driver has no TIOCMIWAIT: poll
    int pollMs_ = kLinePollMs;
    bool lowLatencySet_ = false;
    int savedSerialFlags_ = 0;
};
