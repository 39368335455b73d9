#include "serial/FakeSerialDevice.h"

#include "serial/ComTypes.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

using Lock = std::unique_lock<std::mutex>;

void FakeSerialLine::failCall(Call call, int error, int times)
{
    Lock lock(mutex_);
    failures_[call] = {error, times};
}

void FakeSerialLine::clearFailures()
{
    Lock lock(mutex_);
    failures_.clear();
}

int FakeSerialLine::failure(Call call)
{
    auto it = failures_.find(call);
    if (it == failures_.end())
        return 0;
    const int error = it->second.first;
    if (it->second.second > 0 && --it->second.second == 0)
        failures_.erase(it);
    return error;
}

void FakeSerialLine::raiseLocked(uint32_t ev)
{
    pending_ |= ev & mask_;
    cv_.notify_all();
}

void FakeSerialLine::pushInput(const QByteArray& bytes)
{
    Lock lock(mutex_);
    input_.append(
        bytes.constData(), bytes.size()); // a deep copy: the caller's array may go on another thread
    uint32_t ev = comm::EV_RXCHAR;
    if (bytes.contains(config_.EvtChar))
        ev |= comm::EV_RXFLAG;
    raiseLocked(ev);
}

// Line changes and errors move the driver's counters, as a UART's interrupts do; the device
// finds them by sampling, like the POSIX device.
void FakeSerialLine::setModemStatus(uint32_t ms)
{
    Lock lock(mutex_);
    const uint32_t changed = ms ^ sample_.modem;
    sample_.modem = ms;
    if (changed & comm::MS_CTS_ON)
        ++sample_.cts;
    if (changed & comm::MS_DSR_ON)
        ++sample_.dsr;
    if (changed & comm::MS_RLSD_ON)
        ++sample_.dcd;
    if ((changed & comm::MS_RING_ON) && (ms & comm::MS_RING_ON))
        ++sample_.rng;
    cv_.notify_all();
}

void FakeSerialLine::raiseLineErrors(uint32_t errorWord)
{
    Lock lock(mutex_);
    if (errorWord & comm::CE_FRAME)
        ++sample_.frame;
    if (errorWord & comm::CE_OVERRUN)
        ++sample_.overrun;
    if (errorWord & comm::CE_RXPARITY)
        ++sample_.parity;
    if (errorWord & comm::CE_RXOVER)
        ++sample_.bufOverrun;
    if (errorWord & comm::CE_BREAK)
        ++sample_.brk;
    const uint32_t uncounted = errorWord
        & ~(comm::CE_FRAME | comm::CE_OVERRUN | comm::CE_RXPARITY | comm::CE_RXOVER | comm::CE_BREAK);
    if (uncounted)
        lines_.raise(comm::EV_ERR, uncounted);
    cv_.notify_all();
}

void FakeSerialLine::setCountsErrors(bool on)
{
    Lock lock(mutex_);
    countsErrors_ = on;
}

void FakeSerialLine::raiseBreak()
{
    Lock lock(mutex_);
    ++sample_.brk;
    cv_.notify_all();
}

void FakeSerialLine::ring()
{
    Lock lock(mutex_);
    ++sample_.rng;
    cv_.notify_all();
}

void FakeSerialLine::raiseEvents(uint32_t mask)
{
    Lock lock(mutex_);
    raiseLocked(mask);
}

void FakeSerialLine::hangUp(int error)
{
    Lock lock(mutex_);
    hangUpError_ = error;
    cv_.notify_all();
}

void FakeSerialLine::setOutputBlocked(bool blocked)
{
    Lock lock(mutex_);
    outputBlocked_ = blocked;
    cv_.notify_all();
}

void FakeSerialLine::setAutoTxEmpty(bool on)
{
    Lock lock(mutex_);
    autoTxEmpty_ = on;
}

void FakeSerialLine::setRateRounding(std::function<uint32_t(uint32_t)> f)
{
    Lock lock(mutex_);
    rounding_ = std::move(f);
}

void FakeSerialLine::setInputCountLimit(int limit)
{
    Lock lock(mutex_);
    countLimit_ = limit;
}

QByteArray FakeSerialLine::output() const
{
    Lock lock(mutex_);
    return output_;
}

QByteArray FakeSerialLine::takeOutput()
{
    Lock lock(mutex_);
    QByteArray o = output_;
    output_.clear();
    return o;
}

int FakeSerialLine::inputQueued() const
{
    Lock lock(mutex_);
    return int(input_.size());
}

bool FakeSerialLine::isOpen() const
{
    Lock lock(mutex_);
    return open_;
}

int FakeSerialLine::openCount() const
{
    Lock lock(mutex_);
    return openCount_;
}

QByteArray FakeSerialLine::openedPath() const
{
    Lock lock(mutex_);
    return path_;
}

uint32_t FakeSerialLine::eventMask() const
{
    Lock lock(mutex_);
    return mask_;
}

int FakeSerialLine::lineConfigCount() const
{
    Lock lock(mutex_);
    return configCount_;
}

int FakeSerialLine::timeoutsCount() const
{
    Lock lock(mutex_);
    return timeoutsCount_;
}

int FakeSerialLine::queueSizesCount() const
{
    Lock lock(mutex_);
    return sizesCount_;
}

TSerialLineConfig FakeSerialLine::lastLineConfig() const
{
    Lock lock(mutex_);
    return config_;
}

TSerialTimeouts FakeSerialLine::lastTimeouts() const
{
    Lock lock(mutex_);
    return timeouts_;
}

std::pair<uint32_t, uint32_t> FakeSerialLine::lastQueueSizes() const
{
    Lock lock(mutex_);
    return sizes_;
}

std::vector<uint32_t> FakeSerialLine::escapes() const
{
    Lock lock(mutex_);
    return escapes_;
}

bool FakeSerialLine::dtr() const
{
    Lock lock(mutex_);
    return dtr_;
}

bool FakeSerialLine::rts() const
{
    Lock lock(mutex_);
    return rts_;
}

std::vector<uint32_t> FakeSerialLine::purges() const
{
    Lock lock(mutex_);
    return purges_;
}

int FakeSerialLine::readCalls() const
{
    Lock lock(mutex_);
    return readCalls_;
}

void FakeSerialLine::setHandOverAfterCancel(int ms)
{
    Lock lock(mutex_);
    handOverAfterCancelMs_ = ms;
}

bool FakeSerialLine::waiting() const
{
    Lock lock(mutex_);
    return waiting_;
}

TSerialDeviceFactory FakeSerialLine::factory(std::shared_ptr<FakeSerialLine> line)
{
    return [line] { return std::unique_ptr<ISerialDevice>(std::make_unique<FakeSerialDevice>(line)); };
}

// --- FakeSerialDevice ------------------------------------------------------------------

void FakeSerialLine::setIdentity(const TDeviceIdentity& identity, int error)
{
    Lock lock(mutex_);
    identity_ = identity;
    identityError_ = error;
}

int FakeSerialLine::identifyCount() const
{
    Lock lock(mutex_);
    return identifyCount_;
}

int FakeSerialDevice::identify(const QByteArray&, TDeviceIdentity& identity)
{
    Lock lock(line_->mutex_);
    ++line_->identifyCount_;
    identity = line_->identityError_ ? TDeviceIdentity{} : line_->identity_;
    return line_->identityError_;
}

int FakeSerialDevice::open(const QByteArray& path)
{
    Lock lock(line_->mutex_);
    if (int e = line_->failure(FakeSerialLine::Call::Open))
        return e;
    if (line_->open_)
        return EBUSY;
    line_->open_ = true;
    ++line_->openCount_;
    line_->path_ = path;
    line_->hangUpError_ = 0;
    line_->pending_ = 0;
    line_->lines_.reset(line_->sample_);
    opened_ = true;
    return 0;
}

void FakeSerialDevice::close()
{
    Lock lock(line_->mutex_);
    if (opened_) {
        line_->open_ = false;
        line_->mask_ = 0;
        opened_ = false;
    }
}

int FakeSerialDevice::setQueueSizes(uint32_t inputSize, uint32_t outputSize)
{
    Lock lock(line_->mutex_);
    if (int e = line_->failure(FakeSerialLine::Call::SetQueueSizes))
        return e;
    line_->sizes_ = {inputSize, outputSize};
    ++line_->sizesCount_;
    return 0;
}

int FakeSerialDevice::setLineConfig(const TSerialLineConfig& config)
{
    Lock lock(line_->mutex_);
    if (int e = line_->failure(FakeSerialLine::Call::SetLineConfig))
        return e;
    line_->config_ = config;
    ++line_->configCount_;
    const uint32_t rts = config.Flags & comm::fRtsControlMask;
    line_->dtr_ = (config.Flags & comm::fDtrControlMask) != 0;
    line_->rts_ = rts == comm::fRtsControlEnable || rts == comm::fRtsControlHandshake;
    return 0;
}

int FakeSerialDevice::setTimeouts(const TSerialTimeouts& timeouts)
{
    Lock lock(line_->mutex_);
    if (int e = line_->failure(FakeSerialLine::Call::SetTimeouts))
        return e;
    line_->timeouts_ = timeouts;
    ++line_->timeoutsCount_;
    return 0;
}

int FakeSerialDevice::actualBaudRate(uint32_t& rate)
{
    Lock lock(line_->mutex_);
    const uint32_t asked = line_->config_.BaudRate;
    rate = line_->rounding_ ? line_->rounding_(asked) : asked;
    return 0;
}

int FakeSerialDevice::lineErrorCounts(TLineErrorCounts& counts)
{
    Lock lock(line_->mutex_);
    if (!line_->countsErrors_) {
        counts = {};
        return ENOTTY;
    }
    const TLineSample& s = line_->sample_;
    counts = {
        uint64_t(s.frame), uint64_t(s.parity), uint64_t(s.overrun) + uint64_t(s.bufOverrun), uint64_t(s.brk)};
    return 0;
}

int FakeSerialDevice::status(uint32_t& errorWord, uint32_t& inputCount)
{
    Lock lock(line_->mutex_);
    if (int e = line_->failure(FakeSerialLine::Call::Status))
        return e;
    errorWord = line_->lines_.takeStatusErrors(line_->sample_);
    const int n = int(line_->input_.size());
    inputCount = uint32_t(line_->countLimit_ >= 0 ? std::min(n, line_->countLimit_) : n);
    return 0;
}

int FakeSerialDevice::modemStatus(uint32_t& ms)
{
    Lock lock(line_->mutex_);
    if (int e = line_->failure(FakeSerialLine::Call::ModemStatus))
        return e;
    ms = line_->sample_.modem;
    return 0;
}

int FakeSerialDevice::escape(uint32_t function)
{
    Lock lock(line_->mutex_);
    if (int e = line_->failure(FakeSerialLine::Call::Escape))
        return e;
    line_->escapes_.push_back(function);
    if (function == comm::SETDTR || function == comm::CLRDTR)
        line_->dtr_ = function == comm::SETDTR;
    if (function == comm::SETRTS || function == comm::CLRRTS)
        line_->rts_ = function == comm::SETRTS;
    return 0;
}

int FakeSerialDevice::purge(uint32_t flags)
{
    Lock lock(line_->mutex_);
    if (int e = line_->failure(FakeSerialLine::Call::Purge))
        return e;
    line_->purges_.push_back(flags);
    if (flags & comm::PURGE_RXCLEAR)
        line_->input_.clear();
    return 0;
}

int FakeSerialDevice::readSome(char* buffer, std::size_t count, std::size_t& got)
{
    Lock lock(line_->mutex_);
    got = 0;
    if (int e = line_->failure(FakeSerialLine::Call::Read))
        return e;
    got = std::min(count, std::size_t(line_->input_.size()));
    if (got == 0)
        return line_->hangUpError_ ? line_->hangUpError_ : EAGAIN;
    std::copy_n(line_->input_.constData(), got, buffer);
    line_->input_.remove(0, qsizetype(got));
    ++line_->readCalls_;
    // Bytes left behind are announced again, as the POSIX device does.
    if (!line_->input_.isEmpty())
        line_->raiseLocked(comm::EV_RXCHAR);
    return 0;
}

int FakeSerialDevice::writeSome(const char* data, std::size_t count, std::size_t& put)
{
    Lock lock(line_->mutex_);
    put = 0;
    if (int e = line_->failure(FakeSerialLine::Call::Write))
        return e;
    if (line_->hangUpError_)
        return line_->hangUpError_;
    if (line_->outputBlocked_)
        return EAGAIN;
    line_->output_.append(data, qsizetype(count));
    put = count;
    if (line_->autoTxEmpty_ && count > 0)
        line_->raiseLocked(comm::EV_TXEMPTY);
    return 0;
}

int FakeSerialDevice::waitReadable(int timeoutMs)
{
    Lock lock(line_->mutex_);
    auto ready = [&] { return !line_->input_.isEmpty() || line_->hangUpError_; };
    if (timeoutMs < 0)
        line_->cv_.wait(lock, ready);
    else if (!line_->cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return ETIMEDOUT;
    return 0;
}

int FakeSerialDevice::waitWritable(int timeoutMs)
{
    Lock lock(line_->mutex_);
    auto ready = [&] { return !line_->outputBlocked_ || line_->hangUpError_; };
    if (timeoutMs < 0)
        line_->cv_.wait(lock, ready);
    else if (!line_->cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return ETIMEDOUT;
    return line_->hangUpError_;
}

int FakeSerialDevice::setEventMask(uint32_t mask)
{
    Lock lock(line_->mutex_);
    line_->mask_ = mask;
    line_->pending_ &= mask;
    // Input queued before the wait began is announced, as a real device's level does.
    if (!line_->input_.isEmpty())
        line_->raiseLocked(comm::EV_RXCHAR);
    return 0;
}

int FakeSerialDevice::waitEvent(uint32_t& events)
{
    Lock lock(line_->mutex_);
    events = 0;
    if (int e = line_->failure(FakeSerialLine::Call::WaitEvent))
        return e;
    line_->waiting_ = true;
    line_->cv_.notify_all();
    line_->cv_.wait(lock, [&] {
        line_->pending_ |= line_->lines_.takeWaitEvents(line_->sample_, line_->mask_);
        return cancelled_ || line_->pending_ || line_->hangUpError_;
    });
    line_->waiting_ = false;
    if (cancelled_)
        return ECANCELED;
    if (line_->pending_) {
        events = line_->pending_;
        line_->pending_ = 0;
        if (line_->handOverAfterCancelMs_ >= 0) {
            line_->cv_.wait(lock, [&] { return cancelled_; });
            const auto delay = std::chrono::milliseconds(line_->handOverAfterCancelMs_);
            lock.unlock();
            std::this_thread::sleep_for(delay);
        }
        return 0;
    }
    return line_->hangUpError_;
}

void FakeSerialDevice::cancelWait()
{
    Lock lock(line_->mutex_);
    cancelled_ = true;
    line_->cv_.notify_all();
}
