#pragma once
// A scriptable device for tests. The test keeps a FakeSerialLine and scripts it (input,
// modem lines, line errors, breaks, rings, hang-up, failing calls) while the port owns the
// FakeSerialDevice made by factory(). Events reach the port's event thread like a real
// device's do; what the port did is recorded for the test to inspect.

#include "serial/LineChangeLatch.h"
#include "serial/SerialDevice.h"

#include <QByteArray>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class FakeSerialLine {
public:
    enum class Call {
        Open,
        SetQueueSizes,
        SetLineConfig,
        SetTimeouts,
        Status,
        ModemStatus,
        Escape,
        Purge,
        Read,
        Write,
        WaitEvent,
    };

    // The call fails with error `times` times (-1: until cleared).
    void failCall(Call call, int error, int times = -1);
    void clearFailures();

    void pushInput(const QByteArray& bytes); // queued input + EV_RXCHAR (EV_RXFLAG on the event byte)
    void setModemStatus(uint32_t ms); // MS_* bits; changes raise EV_CTS/EV_DSR/EV_RLSD
    void raiseLineErrors(uint32_t errorWord); // CE_* bits + EV_ERR
    void raiseBreak(); // CE_BREAK + EV_BREAK
    // Each raised error and break is also counted, as a driver counts them.
    void setCountsErrors(bool on); // default on; off: the device keeps no counts (like a pty)
    void ring(); // EV_RING
    void raiseEvents(uint32_t mask);
    void hangUp(int error = 5 /* EIO */); // events already raised are delivered first
    void setOutputBlocked(bool blocked);
    void setAutoTxEmpty(bool on); // a write raises EV_TXEMPTY (default on)
    void setInputCountLimit(int limit); // under-report the queued count (-1: exact)
    // The device runs at the rate f gives for the one asked (as a UART's divisor rounds);
    // unset: exactly the rate asked.
    void setRateRounding(std::function<uint32_t(uint32_t)> f);
    // The event thread, having taken a batch, hands it over only after the wait was
    // cancelled and a further `ms` have passed: the close is then already waiting for it.
    void setHandOverAfterCancel(int ms); // -1: off

    QByteArray output() const;
    QByteArray takeOutput();
    int inputQueued() const;
    bool isOpen() const;
    int openCount() const;
    QByteArray openedPath() const;
    uint32_t eventMask() const;
    int lineConfigCount() const;
    int timeoutsCount() const;
    int queueSizesCount() const;
    TSerialLineConfig lastLineConfig() const;
    TSerialTimeouts lastTimeouts() const;
    std::pair<uint32_t, uint32_t> lastQueueSizes() const;
    std::vector<uint32_t> escapes() const;
    // DTR and RTS as the configuration and the escapes left them.
    bool dtr() const;
    bool rts() const;
    std::vector<uint32_t> purges() const;
    int readCalls() const; // readSome calls that moved bytes
    bool waiting() const; // the event thread is blocked in waitEvent

    // What identify() tells (default: one USB adapter); an errno makes it fail.
    void setIdentity(const TDeviceIdentity& identity, int error = 0);
    int identifyCount() const;

    static TSerialDeviceFactory factory(std::shared_ptr<FakeSerialLine> line);

private:
    friend class FakeSerialDevice;
    int failure(Call call); // under lock
    void raiseLocked(uint32_t ev);

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::map<Call, std::pair<int, int>> failures_;
    QByteArray input_;
    QByteArray output_;
    TLineSample sample_{.counted = true};
    TLineChangeLatch lines_;
    bool countsErrors_ = true;
    uint32_t pending_ = 0;
    uint32_t mask_ = 0;
    int hangUpError_ = 0;
    bool outputBlocked_ = false;
    bool autoTxEmpty_ = true;
    int countLimit_ = -1;
    std::function<uint32_t(uint32_t)> rounding_;
    bool open_ = false;
    int openCount_ = 0;
    QByteArray path_;
    TSerialLineConfig config_;
    TSerialTimeouts timeouts_;
    std::pair<uint32_t, uint32_t> sizes_{0, 0};
    int configCount_ = 0;
    int timeoutsCount_ = 0;
    int sizesCount_ = 0;
    std::vector<uint32_t> escapes_;
    bool dtr_ = false;
    bool rts_ = false;
    std::vector<uint32_t> purges_;
    int readCalls_ = 0;
    bool waiting_ = false;
    int handOverAfterCancelMs_ = -1;
    TDeviceIdentity identity_{TDeviceIdentity::Kind::Usb, QStringLiteral("0403:6001 serial FAKE if 00"),
        QStringLiteral("FTDI FT232R USB UART, serial FAKE (ttyUSB0)"), {}};
    int identityError_ = 0;
    int identifyCount_ = 0;
};

class FakeSerialDevice : public ISerialDevice {
public:
    explicit FakeSerialDevice(std::shared_ptr<FakeSerialLine> line)
        : line_(std::move(line))
    {
    }
    ~FakeSerialDevice() override { close(); }

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

private:
    std::shared_ptr<FakeSerialLine> line_;
    bool opened_ = false;
    bool cancelled_ = false; // guarded by the line's mutex
};
