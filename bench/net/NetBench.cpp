// The port through a ser2net on 127.0.0.1 (rfc2217:// and socket://) beside the same port on
// the pseudo-terminal ser2net serves, in one run, so both see the same load:
//
//   flood: a writer thread pours 4 MiB into the pty's master; the port delivers them to a
//          data link; every byte must arrive (goal: >= 10x a 3 Mbaud line, 3 MB/s).
//   answer: 4 bytes written by the port, echoed by a thread on the master, back at the
//          port, the three paths in turn (goal: median <= 3x the local path).
// ser2net is run as one would for interactive work: no character delay (by default it
// holds bytes up to 20 ms to fill a packet) and 4 KiB buffers toward the network (64 bytes
// by default, which caps a flood at about 2 MB/s whatever the client does).
// Skipped with a message when ser2net is not installed.

#include "net/NamedPort.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QTcpServer>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kFloodBytes = 4 << 20;

struct Pty {
    int master = -1;
    char name[128] = {};
    Pty()
    {
        termios raw{};
        cfmakeraw(&raw);
        int slave = -1;
        ::openpty(&master, &slave, name, &raw, nullptr);
        ::close(slave);
    }
    ~Pty() { ::close(master); }
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

std::string ser2netPath()
{
    for (const char* p : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"})
        if (QFileInfo(QString::fromLatin1(p)).isExecutable())
            return p;
    return {};
}

quint16 freePort()
{
    QTcpServer probe;
    probe.setProxy(QNetworkProxy::NoProxy);
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// ser2net serving one pty on two loopback ports, RFC 2217 and raw.
struct Ser2net {
    pid_t pid = -1;
    quint16 rfcPort = freePort();
    quint16 rawPort = freePort();
    explicit Ser2net(const char* pty)
    {
        const std::string yaml = "connection: &rfc#  accepter: telnet(rfc2217),tcp,127.0.0.1,"
            + std::to_string(rfcPort) + "#  connector: serialdev," + pty
            + ",115200n81,local#  options:#    chardelay: false#    dev-to-net-bufsize: 4096#connection: "
              "&raw#  accepter: tcp,127.0.0.1,"
            + std::to_string(rawPort) + "#  connector: serialdev," + pty
            + ",115200n81,local#  options:#    chardelay: false#    dev-to-net-bufsize: 4096";
        const std::string path = ser2netPath();
        const std::string pidFile = "/tmp/orvik-net-bench-" + std::to_string(rfcPort) + ".pid";
        pid = ::fork();
        if (pid == 0) {
            std::vector<const char*> argv{
                path.c_str(), "-n", "-u", "-P", pidFile.c_str(), "-Y", yaml.c_str(), nullptr};
            ::execv(argv[0], const_cast<char* const*>(argv.data()));
            ::_exit(127);
        }
    }
    ~Ser2net()
    {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

// The window's port: the serial port for the pty, the network transport for the others.
struct CountingPort {
    TNamedPort port;
    TComLink link;
    std::size_t got = 0;
    explicit CountingPort(const QString& name)
    {
        link.RxBufHandler = [this](QObject*, const char*, int n) { got += std::size_t(n); };
        port.AttachLink(&link);
        port.SetPort(name);
        port.SetBaudRate(br115200);
        // The server may still be starting.
        for (int attempt = 0; attempt < 50 && !port.Connected(); ++attempt) {
            try {
                port.OpenPort();
                const auto until = Clock::now() + std::chrono::seconds(10);
                while (port.Opening() && Clock::now() < until)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            } catch (const EComPort&) {
            }
            if (!port.Connected())
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ~CountingPort()
    {
        port.ClosePort();
        port.DetachLink(&link);
    }
    bool waitFor(std::size_t bytes, std::chrono::seconds limit = std::chrono::seconds(60))
    {
        const auto until = Clock::now() + limit;
        while (got < bytes && Clock::now() < until)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return got >= bytes;
    }
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Figures {
    double floodMBps = 0;
    bool complete = true;
    double answerMedianUs = 0;
};
std::map<std::string, Figures> gFigures;
const char* const kPaths[] = {"local pty", "rfc2217:// via ser2net", "socket:// via ser2net"};

// One port per path, each on its own pty (ser2net holds the pty it serves).
QString nameFor(int path, const Pty& pty, const Ser2net* server)
{
    switch (path) {
    case 1:
        return QStringLiteral("rfc2217://127.0.0.1:%1").arg(server->rfcPort);
    case 2:
        return QStringLiteral("socket://127.0.0.1:%1").arg(server->rawPort);
    default:
        return QString::fromLocal8Bit(pty.name);
    }
}

void BM_Flood(benchmark::State& state)
{
    if (ser2netPath().empty()) {
        state.SkipWithError("ser2net is not installed");
        return;
    }
    const int path = int(state.range(0));
    Pty pty;
    std::unique_ptr<Ser2net> server;
    if (path > 0)
        server = std::make_unique<Ser2net>(pty.name);
    CountingPort port(nameFor(path, pty, server.get()));
    if (!port.port.Connected()) {
        state.SkipWithError("the port did not open");
        return;
    }
    std::vector<double> rates;
    Figures& f = gFigures[kPaths[path]];
    static const std::vector<char> chunk(65536, 'x');
    for (auto _ : state) {
        port.got = 0;
        const auto t0 = Clock::now();
        std::thread writer([&] {
            for (std::size_t left = kFloodBytes; left > 0;) {
                const std::size_t n = std::min(left, chunk.size());
                writeAll(pty.master, chunk.data(), n);
                left -= n;
            }
        });
        const bool all = port.waitFor(kFloodBytes);
        writer.join();
        rates.push_back(double(kFloodBytes) / std::chrono::duration<double>(Clock::now() - t0).count());
        f.complete = f.complete && all && port.got == kFloodBytes;
    }
    f.floodMBps = median(rates) / 1e6;
    state.counters["MBps"] = f.floodMBps;
}

// The three paths answered in turn, each on its own pty, so that load drifting over the run
// falls on all of them alike.
void BM_Answer(benchmark::State& state)
{
    if (ser2netPath().empty()) {
        state.SkipWithError("ser2net is not installed");
        return;
    }
    std::vector<std::unique_ptr<Pty>> ptys;
    std::vector<std::unique_ptr<Ser2net>> servers;
    std::vector<std::unique_ptr<CountingPort>> ports;
    std::vector<std::unique_ptr<Echo>> echoes;
    for (int path = 0; path < 3; ++path) {
        ptys.push_back(std::make_unique<Pty>());
        servers.push_back(path > 0 ? std::make_unique<Ser2net>(ptys.back()->name) : nullptr);
        ports.push_back(std::make_unique<CountingPort>(nameFor(path, *ptys.back(), servers.back().get())));
        if (!ports.back()->port.Connected()) {
            state.SkipWithError("a port did not open");
            return;
        }
        echoes.push_back(std::make_unique<Echo>(ptys.back()->master));
    }
    std::vector<double> us[3];
    for (auto _ : state) {
        for (int path = 0; path < 3; ++path) {
            CountingPort& port = *ports[path];
            port.got = 0;
            const auto t0 = Clock::now();
            port.port.WriteText("OK\r\n");
            port.waitFor(4);
            us[path].push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
    }
    for (int path = 0; path < 3; ++path) {
        gFigures[kPaths[path]].answerMedianUs = median(us[path]);
        state.counters[path == 0 ? "local_median_us"
                : path == 1      ? "rfc2217_median_us"
                                 : "socket_median_us"]
            = median(us[path]);
    }
}

BENCHMARK(BM_Flood)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(9);
BENCHMARK(BM_Answer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2000);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double line = 3e6 / 10 / 1e6; // a 3 Mbaud line in MB/s
    const Figures local = gFigures[kPaths[0]];
    for (const char* path : kPaths) {
        const Figures f = gFigures[path];
        if (f.floodMBps > 0)
            std::printf("flood %-24s %7.1f MB/s = %5.1fx a 3 Mbaud line%s (goal >= 10x)\n", path, f.floodMBps,
                f.floodMBps / line, f.complete ? ", nothing missing" : ", BYTES MISSING");
        if (f.answerMedianUs > 0)
            std::printf("answer %-23s median %7.1f us = %4.2fx the local path (goal <= 3x)\n", path,
                f.answerMedianUs, local.answerMedianUs > 0 ? f.answerMedianUs / local.answerMedianUs : 0.0);
    }
    return 0;
}
