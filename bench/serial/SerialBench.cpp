// Throughput and round trip of the port on a pseudo-terminal, each beside a plain blocking
// read() loop on the same kind of pty in the same run: the plain loop is the limit.
//
//   stream: a writer thread pours bytes into the master; the port's event thread takes
//           them and the UI thread delivers them to a data link (smThreadSync).
//   round trip: 4 bytes written, answered by an echo thread on the master.
//   idle: an open port with nothing on the line for 10 s: the share of a core and the
//         wake-ups a second of all the process's threads (target < 1 % and <= 20/s).
//         A pty has no modem lines, so the lines' watch is also measured forced to poll
//         at the old 5 ms and at the fallback period (a driver without TIOCMIWAIT).

#include "serial/ComPort.h"
#include "serial/PosixSerialDevice.h"
#include "session/PortReconnector.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <map>
#include <sys/resource.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Pty {
    int master = -1;
    int slave = -1;
    char name[128] = {};
    Pty()
    {
        termios raw{};
        cfmakeraw(&raw);
        ::openpty(&master, &slave, name, &raw, nullptr);
    }
    ~Pty()
    {
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }
};

void writeAll(int fd, const char* p, std::size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w > 0) {
            p += w;
            n -= std::size_t(w);
        } else if (w < 0 && errno != EINTR && errno != EAGAIN) {
            return;
        }
    }
}

// Pours `total` bytes into fd from its own thread.
std::thread pour(int fd, std::size_t total)
{
    return std::thread([fd, total] {
        static const std::vector<char> chunk(65536, 'x');
        std::size_t left = total;
        while (left > 0) {
            const std::size_t n = std::min(left, chunk.size());
            writeAll(fd, chunk.data(), n);
            left -= n;
        }
    });
}

// Echoes whatever arrives on fd until stopped.
struct Echo {
    std::atomic<bool> stop{false};
    std::thread thread;
    explicit Echo(int fd)
    {
        thread = std::thread([this, fd] {
            char buf[256];
            while (!stop) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0)
                    continue;
                const ssize_t n = ::read(fd, buf, sizeof buf);
                if (n > 0)
                    writeAll(fd, buf, std::size_t(n));
            }
        });
    }
    ~Echo()
    {
        stop = true;
        thread.join();
    }
};

constexpr std::size_t kStreamBytes = 4 << 20;

// Results for the summary; the machine is shared, so each figure is measured interleaved
// with its limit: both see the same load.
double gPlainBps = 0, gPortBps = 0, gStreamRatio = 0;
double gPlainMedian = 0, gPlainP99 = 0, gPortMedian = 0, gPortP99 = 0;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double p99(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, v.size() * 99 / 100)];
}

// The port under test on the slave of a fresh pty, with a counting data link.
struct PortOnPty {
    Pty pty;
    TComPort port;
    TComLink link;
    std::size_t got = 0;
    PortOnPty()
    {
        ::close(pty.slave);
        pty.slave = -1;
        link.RxBufHandler = [this](QObject*, const char*, int n) { got += std::size_t(n); };
        port.AttachLink(&link);
        port.SetPort(QString::fromLocal8Bit(pty.name));
        port.OpenPort();
    }
    ~PortOnPty()
    {
        port.ClosePort();
        port.DetachLink(&link);
    }
};

double plainStream(Pty& pty, std::vector<char>& buf)
{
    const auto t0 = Clock::now();
    std::thread writer = pour(pty.master, kStreamBytes);
    std::size_t got = 0;
    while (got < kStreamBytes) {
        const ssize_t n = ::read(pty.slave, buf.data(), buf.size());
        if (n > 0)
            got += std::size_t(n);
    }
    writer.join();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double portStream(PortOnPty& p)
{
    p.got = 0;
    const auto t0 = Clock::now();
    std::thread writer = pour(p.pty.master, kStreamBytes);
    while (p.got < kStreamBytes)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    writer.join();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Bytes per second: a pty writer through the event thread and the UI-thread delivery to a
// data link, alternating with a blocking read() loop on another pty.
void BM_Stream(benchmark::State& state)
{
    Pty plain;
    PortOnPty port;
    std::vector<char> buf(65536);
    std::vector<double> plainBps, portBps;
    for (auto _ : state) {
        plainBps.push_back(double(kStreamBytes) / plainStream(plain, buf));
        portBps.push_back(double(kStreamBytes) / portStream(port));
    }
    // Each port run is compared with the plain run just before it, so load that drifts
    // between runs cancels out; the median of those ratios is the figure.
    std::vector<double> ratios;
    for (std::size_t i = 0; i < portBps.size(); ++i)
        ratios.push_back(portBps[i] / plainBps[i]);
    gPlainBps = median(plainBps);
    gPortBps = median(portBps);
    gStreamRatio = median(ratios);
    state.counters["plain_MBps"] = gPlainBps / 1e6;
    state.counters["port_MBps"] = gPortBps / 1e6;
    state.counters["ratio"] = gStreamRatio;
}

// A 4-byte write answered by an echo peer, alternating port and plain loop.
void BM_RoundTrip(benchmark::State& state)
{
    Pty plain;
    Echo plainEcho(plain.master);
    PortOnPty port;
    Echo portEcho(port.pty.master);
    std::vector<double> plainUs, portUs;
    char buf[4];
    for (auto _ : state) {
        auto t0 = Clock::now();
        writeAll(plain.slave, "OK\r\n", 4);
        std::size_t got = 0;
        while (got < 4) {
            const ssize_t n = ::read(plain.slave, buf + got, 4 - got);
            if (n > 0)
                got += std::size_t(n);
        }
        plainUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());

        port.got = 0;
        t0 = Clock::now();
        port.port.WriteText("OK\r\n");
        while (port.got < 4)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        portUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    gPlainMedian = median(plainUs);
    gPlainP99 = p99(plainUs);
    gPortMedian = median(portUs);
    gPortP99 = p99(portUs);
    state.counters["plain_median_us"] = gPlainMedian;
    state.counters["plain_p99_us"] = gPlainP99;
    state.counters["port_median_us"] = gPortMedian;
    state.counters["port_p99_us"] = gPortP99;
}

// Context switches (voluntary + involuntary) summed over the process's threads.
long contextSwitches()
{
    long total = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(task) + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLong();
    }
    return total;
}

double cpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct IdleFigure {
    double corePercent = 0;
    double wakeupsPerSecond = 0;
};
std::map<int, IdleFigure> gIdle; // by forced line-poll period (0: as the device decides)

// An open port, all events watched, the UI thread in its event loop, nothing on the line.
void BM_IdlePort(benchmark::State& state)
{
    const int pollMs = int(state.range(0));
    PosixSerialDevice::ForceLinePolling(pollMs);
    constexpr int kIdleMs = 10000;
    for (auto _ : state) {
        PortOnPty port;
        QEventLoop loop;
        QTimer::singleShot(200, &loop, &QEventLoop::quit); // the threads settle
        loop.exec();
        const long switches0 = contextSwitches();
        const double cpu0 = cpuSeconds();
        const auto t0 = Clock::now();
        QTimer::singleShot(kIdleMs, &loop, &QEventLoop::quit);
        loop.exec();
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        IdleFigure f;
        f.corePercent = 100.0 * (cpuSeconds() - cpu0) / wall;
        f.wakeupsPerSecond = double(contextSwitches() - switches0) / wall;
        gIdle[pollMs] = f;
        state.counters["core_percent"] = f.corePercent;
        state.counters["wakeups_per_s"] = f.wakeupsPerSecond;
    }
    PosixSerialDevice::ForceLinePolling(0);
}

IdleFigure gWaiting;

// A device pulled that never comes back: the reconnection's wait (folder watch and a retry
// every 500 ms) over 10 s.
void BM_WaitingForALostDevice(benchmark::State& state)
{
    constexpr int kIdleMs = 10000;
    for (auto _ : state) {
        PortOnPty port;
        TPortReconnector reconnector(&port.port);
        ::close(port.pty.master); // pulled
        port.pty.master = -1;
        while (!reconnector.IsWaiting())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QEventLoop loop;
        const long switches0 = contextSwitches();
        const double cpu0 = cpuSeconds();
        const auto t0 = Clock::now();
        QTimer::singleShot(kIdleMs, &loop, &QEventLoop::quit);
        loop.exec();
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        gWaiting.corePercent = 100.0 * (cpuSeconds() - cpu0) / wall;
        gWaiting.wakeupsPerSecond = double(contextSwitches() - switches0) / wall;
        state.counters["core_percent"] = gWaiting.corePercent;
        state.counters["wakeups_per_s"] = gWaiting.wakeupsPerSecond;
        reconnector.Stop();
    }
}

BENCHMARK(BM_Stream)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(31);
BENCHMARK(BM_RoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(5000);
BENCHMARK(BM_IdlePort)
    ->Arg(0)
    ->Arg(5)
    ->Arg(PosixSerialDevice::kLinePollMs)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_WaitingForALostDevice)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gPlainBps > 0 && gPortBps > 0)
        std::printf("stream: plain read %.1f MB/s, port %.1f MB/s (medians); port/plain %.2f (median of "
                    "paired runs; target >= 0.50)\n",
            gPlainBps / 1e6, gPortBps / 1e6, gStreamRatio);
    if (gPlainMedian > 0 && gPortMedian > 0)
        std::printf("round trip: plain median %.1f us p99 %.1f us; port median %.1f us p99 %.1f us; "
                    "ratio median %.2f p99 %.2f (target <= 2.00)\n",
            gPlainMedian, gPlainP99, gPortMedian, gPortP99, gPortMedian / gPlainMedian, gPortP99 / gPlainP99);
    for (const auto& [pollMs, f] : gIdle)
        std::printf("idle port over 10 s (%s): %.2f %% of a core, %.1f wake-ups/s over all threads "
                    "(target < 1 %% and <= 20/s)\n",
            pollMs == 0 ? "pty, lines as the driver offers"
                        : QStringLiteral("lines polled every %1 ms").arg(pollMs).toLatin1().constData(),
            f.corePercent, f.wakeupsPerSecond);
    if (gWaiting.wakeupsPerSecond > 0)
        std::printf("waiting 10 s for a device that never comes back: %.2f %% of a core, %.1f wake-ups/s\n",
            gWaiting.corePercent, gWaiting.wakeupsPerSecond);
    return 0;
}
