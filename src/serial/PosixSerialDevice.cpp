#include "serial/PosixSerialDevice.h"

#include "serial/ComTypes.h"

// termios2 (any baud rate) lives in the kernel's headers, which clash with <termios.h>;
// this file therefore speaks to the tty through ioctls only.
#include <asm/termbits.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// poll() with EINTR retried and the timeout recomputed on every pass.
int pollRetry(pollfd* fds, nfds_t n, int timeoutMs)
{
    const int64_t deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
    for (;;) {
        int left = -1;
        if (deadline >= 0)
            left = int(std::max<int64_t>(0, deadline - nowMs()));
        const int r = ::poll(fds, n, left);
        if (r >= 0)
            return r;
        if (errno != EINTR)
            return -1;
    }
}

template <typename... A> int ioctlRetry(int fd, unsigned long request, A... args)
{
    int r;
    do
        r = ::ioctl(fd, request, args...);
    while (r < 0 && errno == EINTR);
    return r < 0 ? errno : 0;
}

uint32_t ModemBitsToStatus(int bits)
{
    uint32_t ms = 0;
    if (bits & TIOCM_CTS)
        ms |= comm::MS_CTS_ON;
    if (bits & TIOCM_DSR)
        ms |= comm::MS_DSR_ON;
    if (bits & TIOCM_RNG)
        ms |= comm::MS_RING_ON;
    if (bits & TIOCM_CAR)
        ms |= comm::MS_RLSD_ON;
    return ms;
}

bool unsupported(int error)
{
    return ClassifyErrno(error, TDevicePhase::Io) == TErrnoKind::Unsupported;
}

std::atomic<int> forcedLinePollMs{0};

// The line waiter sits in TIOCMIWAIT, which only a line change, a hang-up or a signal ends:
// stopping it sends this signal (a no-op handler, without SA_RESTART) to that thread alone.
int wakeSignal()
{
    static const int signal = [] {
        const int s = SIGRTMIN + 7;
        struct sigaction action { };
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        ::sigaction(s, &action, nullptr);
        return s;
    }();
    return signal;
}

constexpr uint32_t kLineEvents
    = comm::EV_CTS | comm::EV_DSR | comm::EV_RLSD | comm::EV_RING | comm::EV_ERR | comm::EV_BREAK;
constexpr uint32_t kRxEvents = comm::EV_RXCHAR | comm::EV_RXFLAG | comm::EV_RX80FULL;

} // namespace

PosixSerialDevice::PosixSerialDevice() = default;

PosixSerialDevice::~PosixSerialDevice()
{
    close();
}

int PosixSerialDevice::identify(const QByteArray& path, TDeviceIdentity& identity)
{
    identified_ = false;
    const int r = IdentifyDevicePath(path, identity, &identifiedRdev_);
    identified_ = r == 0;
    return r;
}

int PosixSerialDevice::open(const QByteArray& path)
{
    const bool mustMatch = std::exchange(identified_, false);
    close();
    int fd;
    do
        fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return errno;
    auto fail = [fd](int error) {
        ::close(fd);
        return error;
    };
    if (!::isatty(fd))
        return fail(ENOTTY);
    // Another device took the name between the look and the open: nothing is changed on
    // it, and the caller looks again.
    if (mustMatch) {
        struct stat st { };
        if (::fstat(fd, &st) != 0 || st.st_rdev != identifiedRdev_)
            return fail(EAGAIN);
    }
    // A second opener is refused both by the tty (TIOCEXCL, not for root) and by the
    // advisory lock that serial programs honour.
    if (int r = ioctlRetry(fd, TIOCEXCL))
        return fail(r);
    int lr;
    do
        lr = ::flock(fd, LOCK_EX | LOCK_NB);
    while (lr < 0 && errno == EINTR);
    if (lr < 0) {
        const int e = errno;
        ioctlRetry(fd, TIOCNXCL);
        return fail(e == EWOULDBLOCK ? EBUSY : e);
    }
    // Raw until configured; VMIN 1 makes an empty non-blocking read EAGAIN, not 0.
    termios2 t{};
    if (int r = ioctlRetry(fd, TCGETS2, &t)) {
        ioctlRetry(fd, TIOCNXCL);
        return fail(r);
    }
    // Put back at close: a tty that serves as a console or a modem line must not stay raw.
    auto saved = std::make_unique<termios2>(t);
    t.c_iflag = 0;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (int r = ioctlRetry(fd, TCSETS2, &t)) {
        ioctlRetry(fd, TIOCNXCL);
        return fail(r);
    }
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        const int e = errno;
        ioctlRetry(fd, TIOCNXCL);
        return fail(e);
    }
    fd_ = fd;
    wakeFd_ = wake;
    saved_ = std::move(saved);
    // USB adapters hold replies up to their latency timer (16 ms on FTDI) unless asked
    // for low latency; a pty or another driver refuses, and the open goes on.
    lowLatencySet_ = false;
    serial_struct ss{};
    if (ioctlRetry(fd_, TIOCGSERIAL, &ss) == 0 && !(ss.flags & ASYNC_LOW_LATENCY)) {
        savedSerialFlags_ = ss.flags;
        ss.flags |= ASYNC_LOW_LATENCY;
        lowLatencySet_ = ioctlRetry(fd_, TIOCSSERIAL, &ss) == 0;
    }
    int bits = 0;
    modemSupported_ = ioctlRetry(fd_, TIOCMGET, &bits) == 0;
    serial_icounter_struct ic{};
    icountSupported_ = ioctlRetry(fd_, TIOCGICOUNT, &ic) == 0;
    pollMs_ = forcedLinePollMs.load();
    kernelWaitFailed_ = pollMs_ > 0;
    if (pollMs_ <= 0)
        pollMs_ = kLinePollMs;
    else
        modemSupported_ = true;
    lastSample_ = TLineSample{};
    lastSample_ = sampleLinesLocked();
    lines_.reset(lastSample_);
    staged_.clear();
    head_ = 0;
    filter_.reset();
    hungUp_ = false;
    cancel_ = false;
    return 0;
}

void PosixSerialDevice::close()
{
    stopLineWaiter();
    if (fd_ >= 0) {
        if (lowLatencySet_) {
            serial_struct ss{};
            if (ioctlRetry(fd_, TIOCGSERIAL, &ss) == 0) {
                ss.flags = (ss.flags & ~ASYNC_LOW_LATENCY) | (savedSerialFlags_ & ASYNC_LOW_LATENCY);
                ioctlRetry(fd_, TIOCSSERIAL, &ss);
            }
            lowLatencySet_ = false;
        }
        // At once, not after the output drained: a stalled or vanished device would hold
        // the close; whatever was still queued has been abandoned by now.
        if (saved_)
            ioctlRetry(fd_, TCSETS2, saved_.get());
        saved_.reset();
        // The exclusive flag outlives this descriptor when others hold the tty open.
        ioctlRetry(fd_, TIOCNXCL);
        ::close(fd_); // also releases the lock
        fd_ = -1;
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
}

void PosixSerialDevice::kick()
{
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }
}

int PosixSerialDevice::kernelQueued() const
{
    int n = 0;
    if (ioctlRetry(fd_, FIONREAD, &n))
        return 0;
    return n;
}

int PosixSerialDevice::setQueueSizes(uint32_t inputSize, uint32_t /*outputSize*/)
{
    // The kernel's queues have fixed sizes; the input size sizes our own queue and the
    // 80 % mark. The output size has no counterpart.
    std::lock_guard lock(mutex_);
    inputSize_ = inputSize;
    capacity_ = std::max<std::size_t>(inputSize, kMinQueue);
    return 0;
}

int PosixSerialDevice::setLineConfig(const TSerialLineConfig& c)
{
    if (fd_ < 0)
        return EBADF;
    if (c.BaudRate == 0)
        return EINVAL; // speed 0 would hang the line up
    termios2 t{};
    if (int r = ioctlRetry(fd_, TCGETS2, &t))
        return r;
    const bool check = (c.Flags & comm::fParity) != 0;
    t.c_iflag = 0;
    if (check)
        t.c_iflag |= INPCK | PARMRK;
    if (c.Flags & comm::fOutX)
        t.c_iflag |= IXON;
    if (c.Flags & comm::fInX)
        t.c_iflag |= IXOFF;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cc[VSTART] = static_cast<cc_t>(c.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(c.XoffChar);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    tcflag_t cflag
        = t.c_cflag & ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    cflag |= CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    cflag |= kSizes[std::clamp<int>(c.ByteSize, 5, 8) - 5];
    // 1.5 stop bits: CSTOPB, which a 16550-type UART sends as 1.5 with 5 data bits.
    if (c.StopBits != 0)
        cflag |= CSTOPB;
    switch (c.Parity) {
    case 1:
        cflag |= PARENB | PARODD;
        break;
    case 2:
        cflag |= PARENB;
        break;
    case 3:
        cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    const uint32_t rts = c.Flags & comm::fRtsControlMask;
    // Linux ties CTS output flow and RTS input flow into one switch.
    if ((c.Flags & comm::fOutxCtsFlow) || rts == comm::fRtsControlHandshake)
        cflag |= CRTSCTS;
    t.c_cflag = cflag;
    t.c_ispeed = c.BaudRate;
    t.c_ospeed = c.BaudRate;
    if (int r = ioctlRetry(fd_, TCSETS2, &t))
        return r;

    // DTR: handshake has no counterpart and is held on; RTS: toggle is driven around writes.
    const uint32_t dtr = c.Flags & comm::fDtrControlMask;
    int dtrBit = TIOCM_DTR;
    int r = ioctlRetry(fd_, dtr == 0 ? TIOCMBIC : TIOCMBIS, &dtrBit);
    if (r && !unsupported(r))
        return r;
    if (rts != comm::fRtsControlHandshake) {
        int rtsBit = TIOCM_RTS;
        r = ioctlRetry(fd_, rts == comm::fRtsControlEnable ? TIOCMBIS : TIOCMBIC, &rtsBit);
        if (r && !unsupported(r))
            return r;
    }

    std::lock_guard lock(mutex_);
    TRxFilter::Options o;
    o.marked = check;
    o.replace = check && (c.Flags & comm::fErrorChar);
    o.replaceChar = c.ErrorChar;
    o.discardNull = (c.Flags & comm::fNull) != 0;
    o.watchEventChar = true;
    o.eventChar = c.EvtChar;
    filter_.setOptions(o);
    dsrSensitivity_ = (c.Flags & comm::fDsrSensitivity) != 0;
    rtsToggle_ = rts == comm::fRtsControlToggle;
    return 0;
}

int PosixSerialDevice::actualBaudRate(uint32_t& rate)
{
    rate = 0;
    if (fd_ < 0)
        return EBADF;
    // The driver writes back the rate its divisor gives (TCGETS2 after TCSETS2).
    termios2 t{};
    if (int r = ioctlRetry(fd_, TCGETS2, &t))
        return r;
    rate = t.c_ospeed;
    return 0;
}

int PosixSerialDevice::setTimeouts(const TSerialTimeouts&)
{
    // The port times its transfers itself; nothing to tell the tty.
    return fd_ < 0 ? EBADF : 0;
}

int PosixSerialDevice::lineErrorCounts(TLineErrorCounts& counts)
{
    counts = {};
    if (fd_ < 0)
        return EBADF;
    serial_icounter_struct ic{};
    if (ioctlRetry(fd_, TIOCGICOUNT, &ic) != 0)
        return errno;
    counts = {uint64_t(ic.frame), uint64_t(ic.parity), uint64_t(ic.overrun) + uint64_t(ic.buf_overrun),
        uint64_t(ic.brk)};
    return 0;
}

TLineSample PosixSerialDevice::sampleLinesLocked() const
{
    TLineSample s = lastSample_;
    if (icountSupported_) {
        serial_icounter_struct ic{};
        if (ioctlRetry(fd_, TIOCGICOUNT, &ic) == 0) {
            s.counted = true;
            s.cts = ic.cts;
            s.dsr = ic.dsr;
            s.rng = ic.rng;
            s.dcd = ic.dcd;
            s.frame = ic.frame;
            s.overrun = ic.overrun;
            s.parity = ic.parity;
            s.brk = ic.brk;
            s.bufOverrun = ic.buf_overrun;
        }
    } else if (modemSupported_) {
        int bits = 0;
        if (ioctlRetry(fd_, TIOCMGET, &bits) == 0)
            s.modem = ModemBitsToStatus(bits);
    }
    return s;
}

PosixSerialDevice::Ingest PosixSerialDevice::ingestLocked()
{
    Ingest in;
    // Large reads: the tty hands over what its buffer refilled meanwhile in the same call.
    if (raw_.size() < kReadChunk)
        raw_.resize(kReadChunk);
    char* raw = raw_.data();
    while (stagedLocked() < capacity_) {
        const std::size_t want = std::min(kReadChunk, capacity_ - stagedLocked());
        const ssize_t n = ::read(fd_, raw, want);
        if (n > 0) {
            bool drop = false;
            if (dsrSensitivity_ && modemSupported_) {
                int bits = 0;
                drop = ioctlRetry(fd_, TIOCMGET, &bits) == 0 && !(bits & TIOCM_DSR);
            }
            if (!drop) {
                if (head_ > 0 && head_ * 2 > std::size_t(staged_.size())) {
                    staged_.remove(0, qsizetype(head_));
                    head_ = 0;
                }
                const TRxFilter::Result r = filter_.feed(raw, std::size_t(n), staged_);
                in.newBytes |= r.appended > 0;
                in.taken += r.appended;
                in.eventChar |= r.eventChar;
            }
            if (std::size_t(n) < want)
                break;
            continue;
        }
        if (n == 0) { // VMIN 1: end of file only on a hung-up tty
            in.hungUp = true;
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            in.hungUp = ClassifyErrno(errno, TDevicePhase::Io) == TErrnoKind::HangUp, in.error = errno;
        break;
    }
    return in;
}

int PosixSerialDevice::status(uint32_t& errorWord, uint32_t& inputCount)
{
    if (fd_ < 0)
        return EBADF;
    int queued = 0;
    std::lock_guard lock(mutex_);
    if (int r = ioctlRetry(fd_, FIONREAD, &queued)) {
        // A hung-up tty refuses every ioctl; what was taken before still counts.
        if (ClassifyErrno(r, TDevicePhase::Io) != TErrnoKind::HangUp)
            return r;
        hungUp_ = true;
        queued = 0;
    }
    lastSample_ = sampleLinesLocked();
    errorWord = lines_.takeStatusErrors(lastSample_);
    inputCount = uint32_t(stagedLocked()) + uint32_t(std::max(queued, 0));
    return 0;
}

int PosixSerialDevice::modemStatus(uint32_t& ms)
{
    if (fd_ < 0)
        return EBADF;
    int bits = 0;
    if (int r = ioctlRetry(fd_, TIOCMGET, &bits))
        return r;
    ms = ModemBitsToStatus(bits);
    return 0;
}

int PosixSerialDevice::escape(uint32_t function)
{
    if (fd_ < 0)
        return EBADF;
    int bit = 0;
    unsigned long request = TIOCMBIS;
    switch (function) {
    case comm::SETDTR:
        bit = TIOCM_DTR;
        break;
    case comm::CLRDTR:
        bit = TIOCM_DTR;
        request = TIOCMBIC;
        break;
    case comm::SETRTS:
        bit = TIOCM_RTS;
        break;
    case comm::CLRRTS:
        bit = TIOCM_RTS;
        request = TIOCMBIC;
        break;
    default:
        return EINVAL;
    }
    return ioctlRetry(fd_, request, &bit);
}

int PosixSerialDevice::purge(uint32_t flags)
{
    if (fd_ < 0)
        return EBADF;
    // Transfers run to completion in their caller, so there is nothing pending to abort;
    // clearing empties the kernel's queues and ours.
    if (flags & comm::PURGE_TXCLEAR)
        if (int r = ioctlRetry(fd_, TCFLSH, TCOFLUSH))
            return r;
    if (flags & comm::PURGE_RXCLEAR) {
        if (int r = ioctlRetry(fd_, TCFLSH, TCIFLUSH))
            return r;
        std::lock_guard lock(mutex_);
        staged_.clear();
        head_ = 0;
        filter_.reset();
    }
    return 0;
}

int PosixSerialDevice::readSome(char* buffer, std::size_t count, std::size_t& got)
{
    got = 0;
    if (fd_ < 0)
        return EBADF;
    std::lock_guard lock(mutex_);
    const bool wasFull = stagedLocked() >= capacity_;
    Ingest in;
    if (stagedLocked() < count)
        in = ingestLocked();
    got = std::min(count, stagedLocked());
    if (got > 0) {
        std::copy_n(staged_.constData() + head_, got, buffer);
        head_ += got;
        if (head_ == std::size_t(staged_.size())) {
            staged_.resize(0); // keeps the allocation for the next arrivals
            head_ = 0;
        }
    }
    if (in.hungUp)
        hungUp_ = true;
    // Whatever stays queued must be announced again, so no byte waits unseen.
    if (got > 0 && stagedLocked() > 0)
        rxReraise_ = true;
    if (got > 0 && (wasFull || rxReraise_))
        kick();
    if (got == 0)
        return in.error ? in.error : (hungUp_ ? EIO : EAGAIN);
    return 0;
}

int PosixSerialDevice::writeSome(const char* data, std::size_t count, std::size_t& put)
{
    put = 0;
    if (fd_ < 0)
        return EBADF;
    if (rtsToggle_) {
        int bit = TIOCM_RTS;
        ioctlRetry(fd_, TIOCMBIS, &bit);
    }
    ssize_t n;
    do
        n = ::write(fd_, data, count);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno;
    put = std::size_t(n);
    if (n > 0) {
        txCheckAtMs_ = nowMs() + kTxSettleMs;
        if (!txPending_.exchange(true))
            kick(); // the event thread starts watching the output drain
    }
    return 0;
}

int PosixSerialDevice::waitReadable(int timeoutMs)
{
    if (fd_ < 0)
        return EBADF;
    // The event thread may move arrivals into our queue under us: look at it between
    // short polls of the descriptor.
    const int64_t deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stagedLocked() > 0)
                return 0;
        }
        int slice = kTickMs;
        if (deadline >= 0) {
            const int64_t left = deadline - nowMs();
            if (left <= 0)
                return ETIMEDOUT;
            slice = int(std::min<int64_t>(left, kTickMs));
        }
        pollfd p{fd_, POLLIN, 0};
        const int r = pollRetry(&p, 1, slice);
        if (r < 0)
            return errno;
        if (r > 0)
            return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLIN) ? EIO : 0;
    }
}

int PosixSerialDevice::waitWritable(int timeoutMs)
{
    if (fd_ < 0)
        return EBADF;
    pollfd p{fd_, POLLOUT, 0};
    const int r = pollRetry(&p, 1, timeoutMs);
    if (r < 0)
        return errno;
    if (r == 0)
        return ETIMEDOUT;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
        return EIO;
    return 0;
}

int PosixSerialDevice::setEventMask(uint32_t mask)
{
    mask_ = mask;
    if (linesWatchable() && !kernelWaitFailed_)
        startLineWaiter();
    kick();
    return 0;
}

void PosixSerialDevice::ForceLinePolling(int periodMs)
{
    forcedLinePollMs = std::max(0, periodMs);
}

bool PosixSerialDevice::linesWatchable() const
{
    return fd_ >= 0 && (mask_ & kLineEvents) && (icountSupported_ || modemSupported_);
}

PosixSerialDevice::LineWatch PosixSerialDevice::lineWatch() const
{
    if (!linesWatchable())
        return LineWatch::None;
    return kernelWaitFailed_ ? LineWatch::Poll : LineWatch::KernelWait;
}

void PosixSerialDevice::startLineWaiter()
{
    if (lineWaiter_.joinable())
        return;
    wakeSignal();
    lineWaiterStop_ = false;
    lineWaiterDone_ = false;
    lineWaiter_ = std::thread([this] { lineWaiterRun(); });
}

void PosixSerialDevice::stopLineWaiter()
{
    if (!lineWaiter_.joinable())
        return;
    lineWaiterStop_ = true;
    // A signal sent just before the thread enters the wait is lost: send again until it
    // has left.
    while (!lineWaiterDone_) {
        ::pthread_kill(lineWaiter_.native_handle(), wakeSignal());
        for (int i = 0; i < 20 && !lineWaiterDone_; ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
    lineWaiter_.join();
}

void PosixSerialDevice::lineWaiterRun()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, wakeSignal());
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    while (!lineWaiterStop_) {
        const int r = ::ioctl(fd_, TIOCMIWAIT, TIOCM_RNG | TIOCM_DSR | TIOCM_CD | TIOCM_CTS);
        if (lineWaiterStop_)
            break;
        if (r == 0) {
            kick(); // the event thread samples the counters
            continue;
        }
        if (errno == EINTR)
            continue;
        // No such wait in this driver (a pty, some USB drivers): the event thread polls.
        // A hang-up (EIO) is the event thread's to see.
        if (errno != EIO)
            kernelWaitFailed_ = true;
        kick();
        break;
    }
    lineWaiterDone_ = true;
}

void PosixSerialDevice::cancelWait()
{
    cancel_ = true;
    kick();
}

int PosixSerialDevice::waitEvent(uint32_t& events)
{
    events = 0;
    if (fd_ < 0)
        return EBADF;
    for (;;) {
        if (cancel_)
            return ECANCELED;
        const uint32_t mask = mask_;
        uint32_t ev = 0;
        bool room = false;
        bool hungUp = false;
        {
            std::lock_guard lock(mutex_);
            if (rxReraise_.exchange(false) && stagedLocked() > 0)
                ev |= comm::EV_RXCHAR;
            if (pendingRxFlag_) {
                pendingRxFlag_ = false;
                ev |= comm::EV_RXFLAG;
            }
            if (txPending_ && nowMs() >= txCheckAtMs_) {
                int outq = 0;
                const int r = ioctlRetry(fd_, TIOCOUTQ, &outq);
                if (r || outq == 0) {
                    txPending_ = false;
                    ev |= comm::EV_TXEMPTY;
                    if (rtsToggle_) {
                        int bit = TIOCM_RTS;
                        ioctlRetry(fd_, TIOCMBIC, &bit);
                    }
                }
            }
            if (mask & kLineEvents) {
                lastSample_ = sampleLinesLocked();
                ev |= lines_.takeWaitEvents(lastSample_, mask);
            }
            if (inputSize_ > 0) {
                const bool full = stagedLocked() * 10 >= std::size_t(inputSize_) * 8;
                if (full && !rx80Reported_)
                    ev |= comm::EV_RX80FULL;
                rx80Reported_ = full;
            }
            room = stagedLocked() < capacity_;
            hungUp = hungUp_;
        }
        ev &= mask;
        if (ev) {
            events = ev;
            return 0;
        }
        if (hungUp)
            return EIO;

        const bool watchRx = (mask & kRxEvents) != 0;
        const int timeout = tickTimeoutMs();
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd_, short(watchRx && room ? POLLIN : 0), 0}};
        if (pollRetry(fds, 2, timeout) < 0)
            return errno;
        if (fds[0].revents & POLLIN) {
            uint64_t drained;
            [[maybe_unused]] ssize_t n = ::read(wakeFd_, &drained, sizeof drained);
        }
        if (cancel_)
            return ECANCELED;
        const short rev = fds[1].revents;
        if (rev & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
            std::lock_guard lock(mutex_);
            // Take what is still readable first: bytes before a hang-up are delivered.
            Ingest in;
            if (room)
                in = ingestLocked();
            if (in.newBytes)
                ev |= comm::EV_RXCHAR;
            if (in.eventChar)
                ev |= comm::EV_RXFLAG;
            if (in.hungUp || (rev & (POLLHUP | POLLERR | POLLNVAL)))
                hungUp_ = true;
            if (inputSize_ > 0 && !rx80Reported_ && stagedLocked() * 10 >= std::size_t(inputSize_) * 8) {
                ev |= comm::EV_RX80FULL;
                rx80Reported_ = true;
            }
        }
        ev &= mask;
        if (ev) {
            events = ev;
            return 0;
        }
    }
}

int PosixSerialDevice::tickTimeoutMs() const
{
    // With the kernel's wait the line waiter wakes us on a change: no ticking at all.
    int timeout = linesWatchable() && kernelWaitFailed_ ? pollMs_ : -1;
    if (txPending_) {
        const int untilCheck = int(std::clamp<int64_t>(txCheckAtMs_ - nowMs(), 0, kTickMs));
        timeout = timeout < 0 ? untilCheck : std::min(timeout, untilCheck);
    }
    return timeout;
}

void PosixSerialDevice::wakePump()
{
    // The pump returns by itself on input, ticks and cancelling; it is woken only when the
    // batch left something for the next wait to announce (or the line is gone), which
    // saves a hand-over per delivery.
    bool needed;
    {
        std::lock_guard lock(mutex_);
        needed = rxReraise_ || hungUp_;
    }
    if (needed)
        kick();
}

void PosixSerialDevice::pumpInput(const std::function<bool()>& done)
{
    if (fd_ < 0)
        return;
    // Once the batch is handled, a flood (input arrived meanwhile) is gathered a little
    // longer, so that deliveries grow with the rate instead of costing a hand-over per
    // few bytes; a lone answer is not delayed, as nothing arrived while it was handled.
    using namespace std::chrono;
    bool took = false;
    std::size_t takenBytes = 0;
    steady_clock::time_point coalesceEnd{};
    for (;;) {
        if (cancel_)
            return;
        // Ticks as in waitEvent, so that a drain or line change is not held up here.
        int timeoutMs = tickTimeoutMs();
        timespec idle{0, 0};
        const bool coalescing = done();
        if (coalescing) {
            if (takenBytes < kCoalesceMinBytes)
                return; // nothing, or a lone answer, came meanwhile
            const auto now = steady_clock::now();
            if (coalesceEnd == steady_clock::time_point{})
                coalesceEnd = now + microseconds(kCoalesceUs);
            if (now >= coalesceEnd)
                return;
            const auto left
                = std::min(duration_cast<nanoseconds>(coalesceEnd - now), nanoseconds(kIdleUs * 1000));
            idle.tv_nsec = long(left.count());
            timeoutMs = 0;
        }
        bool room;
        {
            std::lock_guard lock(mutex_);
            room
                = !hungUp_ && stagedLocked() < (coalescing ? std::min(capacity_, kCoalesceBytes) : capacity_);
        }
        if (coalescing && !room)
            return;
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd_, short(room ? POLLIN : 0), 0}};
        // Without room (or after a hang-up) only the wake-up descriptor is watched.
        int r;
        do
            r = coalescing ? ::ppoll(fds, room ? 2 : 1, &idle, nullptr)
                           : ::poll(fds, room ? 2 : 1, timeoutMs);
        while (r < 0 && errno == EINTR);
        if (r < 0)
            return;
        if (r == 0) {
            if (coalescing)
                return; // the flood paused: deliver what was gathered
            continue;
        }
        if (fds[0].revents & POLLIN) {
            uint64_t drained;
            [[maybe_unused]] ssize_t n = ::read(wakeFd_, &drained, sizeof drained);
        }
        if (room && (fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) {
            const bool tookBefore = took;
            {
                std::lock_guard lock(mutex_);
                const Ingest in = ingestLocked();
                // Announced by the next wait unless the batch being handled reads them.
                if (in.newBytes) {
                    rxReraise_ = true;
                    took = true;
                    takenBytes += in.taken;
                }
                if (in.eventChar)
                    pendingRxFlag_ = true;
                if (in.hungUp || (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
                    hungUp_ = true;
                    return;
                }
            }
            // The first bytes after the batch was handled: no flood, deliver them now.
            if (!coalescing && !tookBefore && took && done())
                return;
        }
    }
}

std::unique_ptr<ISerialDevice> CreateSystemSerialDevice()
{
    return std::make_unique<PosixSerialDevice>();
}
