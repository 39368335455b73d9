// orvik-devsim: the diagnostic device on a pseudo-terminal (or a serial device), for
// trying the console by hand and for its end-to-end tests. The behaviour is in
// Simulator; this file only moves bytes and time between it and the line.

#include "Options.h"
#include "Simulator.h"
#include "common/Version.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using devsim::Options;
using devsim::Simulator;

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitIo = 3;

int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t stopSignal = 0;

void onSignal(int sig)
{
    stopSignal = sig;
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] auto ignored = write(signalPipe[1], &byte, 1);
    errno = saved;
}

Simulator::Micros nowUs()
{
    static const auto origin = std::chrono::steady_clock::now();
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - origin)
        .count();
}

bool quiet = false;

void note(const std::string& text)
{
    if (!quiet)
        std::fprintf(stderr, "orvik-devsim: %s\n", text.c_str());
}

int fail(const std::string& what)
{
    std::fprintf(stderr, "orvik-devsim: %s: %s\n", what.c_str(), std::strerror(errno));
    return -1;
}

bool makeRaw(int fd, speed_t speed)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool baudConstant(int baud, speed_t& speed)
{
    static const std::map<int, speed_t> table{{1200, B1200}, {2400, B2400}, {4800, B4800}, {9600, B9600},
        {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
        {460800, B460800}, {921600, B921600}, {1000000, B1000000}, {2000000, B2000000}, {4000000, B4000000}};
    const auto it = table.find(baud);
    if (it == table.end())
        return false;
    speed = it->second;
    return true;
}

// The master end of a new pseudo-terminal. The console's end is put in raw mode here (the
// settings outlive its opening and closing) and is closed again, so that the master shows
// a hang-up until the console opens it.
int openPty(std::string& path)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0)
        return fail("posix_openpt");
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        fail("pseudo-terminal set-up");
        close(master);
        return -1;
    }
    path = name;
    const int slave = open(name, O_RDWR | O_NOCTTY);
    if (slave < 0 || !makeRaw(slave, B115200)) {
        fail(path);
        if (slave >= 0)
            close(slave);
        close(master);
        return -1;
    }
    close(slave);
    return master;
}

int openDevice(const std::string& path, int baud)
{
    speed_t speed;
    if (!baudConstant(baud, speed)) {
        std::fprintf(stderr, "orvik-devsim: unsupported --baud %d\n", baud);
        return -1;
    }
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return fail(path);
    if (ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 || !makeRaw(fd, speed)) {
        fail(path);
        close(fd);
        return -1;
    }
    return fd;
}

// Bytes written after the console closed its end would greet the next console as the tail
// of an old line; with nobody holding the end, open it and throw them away.
void flushStale(const std::string& path)
{
    const int slave = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0)
        return;
    tcflush(slave, TCIOFLUSH);
    close(slave);
}

// Points the link at the current pseudo-terminal in one step, so that a console opening
// the link never finds it missing or half made.
bool pointLink(const std::string& link, const std::string& target)
{
    const std::string fresh = link + ".new";
    unlink(fresh.c_str());
    if (symlink(target.c_str(), fresh.c_str()) != 0 || rename(fresh.c_str(), link.c_str()) != 0) {
        fail(link);
        unlink(fresh.c_str());
        return false;
    }
    return true;
}

bool signalled()
{
    char buf[16];
    while (read(signalPipe[0], buf, sizeof buf) > 0) { }
    return stopSignal != 0;
}

int pollFor(pollfd* fds, nfds_t n, Simulator::Micros timeoutUs)
{
    timespec ts{};
    timespec* tsp = nullptr;
    if (timeoutUs >= 0) {
        ts.tv_sec = static_cast<time_t>(timeoutUs / 1000000);
        ts.tv_nsec = static_cast<long>(timeoutUs % 1000000) * 1000;
        tsp = &ts;
    }
    const int r = ppoll(fds, n, tsp, nullptr);
    return r < 0 && errno == EINTR ? 0 : r;
}

// Waits until the console opens its end; false on a signal.
bool waitForPeer(int master)
{
    for (;;) {
        pollfd probe{master, POLLIN, 0};
        if (poll(&probe, 1, 0) >= 0 && !(probe.revents & POLLHUP))
            return true;
        pollfd sig{signalPipe[0], POLLIN, 0};
        pollFor(&sig, 1, 10000);
        if (signalled())
            return false;
    }
}

enum class Outcome { Finished, Signal, PeerClosed, Hangup, Error };

Outcome run(Simulator& sim, int fd, int startDelayMs)
{
    const Simulator::Micros startAt = nowUs() + static_cast<Simulator::Micros>(startDelayMs) * 1000;
    bool started = false;
    char buf[4096];
    for (;;) {
        Simulator::Micros now = nowUs();
        if (!started && now >= startAt) {
            sim.start(now);
            started = true;
        }
        sim.advance(now);
        if (sim.finished())
            return Outcome::Finished;
        if (sim.hangupDue())
            return Outcome::Hangup;

        const std::string_view out = sim.chunk(now);
        pollfd fds[2]
            = {{fd, static_cast<short>(POLLIN | (out.empty() ? 0 : POLLOUT)), 0}, {signalPipe[0], POLLIN, 0}};
        Simulator::Micros wake = started ? sim.wakeup(now) : startAt;
        if (out.empty() && wake == Simulator::kNever)
            wake = -1;
        const Simulator::Micros timeout = wake < 0 ? -1 : std::max<Simulator::Micros>(0, wake - now);
        if (pollFor(fds, 2, timeout) < 0) {
            fail("poll");
            return Outcome::Error;
        }
        if (signalled())
            return Outcome::Signal;
        now = nowUs();

        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            // Take everything queued before deciding about a hang-up.
            for (;;) {
                const ssize_t n = read(fd, buf, sizeof buf);
                if (n > 0) {
                    sim.received({buf, static_cast<std::size_t>(n)}, now);
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                    break;
                if (n == 0 || errno == EIO || errno == ENXIO)
                    return Outcome::PeerClosed;
                fail("read");
                return Outcome::Error;
            }
            if (fds[0].revents & POLLHUP)
                return Outcome::PeerClosed;
        }
        if ((fds[0].revents & POLLOUT) && !out.empty()) {
            const std::string_view chunk = sim.chunk(now); // the same bytes unless a pause began
            if (!chunk.empty()) {
                const ssize_t n = write(fd, chunk.data(), chunk.size());
                if (n > 0)
                    sim.written(static_cast<std::size_t>(n), nowUs());
                else if (n < 0 && (errno == EIO || errno == ENXIO))
                    return Outcome::PeerClosed;
                else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                    fail("write");
                    return Outcome::Error;
                }
            }
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    const std::string error = devsim::parseOptions(std::vector<std::string>(argv + 1, argv + argc), options);
    if (options.help) {
        std::fputs(devsim::kUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("orvik-devsim %s\n", orvik::kVersion);
        return 0;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "orvik-devsim: %s\n%s", error.c_str(), devsim::kUsage);
        return kExitUsage;
    }
    quiet = options.quiet;
    const std::uint64_t seed = options.seed
        ? *options.seed
        : static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());

    if (pipe2(signalPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        fail("pipe");
        return kExitIo;
    }
    struct sigaction sa { };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::FILE* recordLog = nullptr;
    if (!options.recordLog.empty()) {
        recordLog = std::fopen(options.recordLog.c_str(), "w");
        if (!recordLog) {
            fail(options.recordLog);
            return kExitIo;
        }
        std::setvbuf(recordLog, nullptr, _IOLBF, 1 << 16);
    }

    std::string path = options.device;
    int fd = options.device.empty() ? openPty(path) : openDevice(options.device, options.baud);
    if (fd < 0)
        return kExitIo;
    if (!options.link.empty() && !pointLink(options.link, path)) {
        close(fd);
        return kExitIo;
    }
    std::printf("PORT %s\n", options.link.empty() ? path.c_str() : options.link.c_str());
    std::fflush(stdout);

    Simulator sim(options, seed, [recordLog](const std::string& entry) {
        if (recordLog) {
            std::fputs(entry.c_str(), recordLog);
            std::fputc('\n', recordLog);
        }
    });

    bool ioError = false;
    for (;;) {
        if (options.device.empty()) {
            note("waiting for the console on " + path);
            if (!waitForPeer(fd)) {
                sim.stop("signal", nowUs());
                break;
            }
            note("console connected");
        }
        const Outcome outcome = run(sim, fd, options.startDelayMs);
        if (outcome == Outcome::PeerClosed && options.reconnect && options.device.empty()) {
            note("console closed the line");
            sim.peerLost(nowUs());
            flushStale(path);
            continue;
        }
        if (outcome == Outcome::Hangup && options.reopen) {
            // Like a USB adapter unplugged and plugged in again: the old line is gone and a
            // new one appears, under the same name when there is a link.
            close(fd);
            fd = openPty(path);
            if (fd < 0 || (!options.link.empty() && !pointLink(options.link, path))) {
                sim.stop("error", nowUs());
                ioError = true;
                break;
            }
            note("line reopened on " + path);
            sim.reopened(nowUs());
            continue;
        }
        switch (outcome) {
        case Outcome::Finished:
            break;
        case Outcome::Signal:
            sim.stop("signal", nowUs());
            break;
        case Outcome::PeerClosed:
            sim.stop("peer-closed", nowUs());
            break;
        case Outcome::Hangup:
            sim.stop("hangup", nowUs());
            break;
        case Outcome::Error:
            sim.stop("error", nowUs());
            ioError = true;
            break;
        }
        break;
    }
    if (fd >= 0)
        close(fd);
    if (!options.link.empty())
        unlink(options.link.c_str());
    if (recordLog)
        std::fclose(recordLog);

    const auto& stats = sim.stats();
    const std::string figures = options.json ? stats.json(sim.console()) + "\n" : stats.text(sim.console());
    std::fputs(figures.c_str(), stdout);
    std::fflush(stdout);
    return ioError ? kExitIo : stats.exitCode();
}
