// The archive closed with a backlog, as the window closes it: a flood hands over 63,726
// captures of 96 points (what a pseudo-terminal at full speed gave in the console), handing
// them over between passes of the event loop as the window does, and then the archive is
// closed at once, either as the operator's close does (no deadline) or as SIGTERM does
// (within the program's 5 s, after which its last resort ends the process with status 1).
// Each run is a child process of its own; the figures are the captures that never reached
// the file, the child's exit status, its peak memory and how long the close took.
#include "archive/ArchiveStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kCaptures = 63726;
constexpr int kPoints = 96;
// The program's orderly exit gives up after 4 s and its last resort ends it at 5 s.
constexpr int kSignalDeadlineMs = 4000;
constexpr int kLastResortMs = 5000;
constexpr int kArchiveMarginMs = 500;

CaptureData capture(std::int64_t key)
{
    CaptureData c;
    c.key = key;
    c.started = QStringLiteral("2026-12-08T10:51:02.125Z");
    c.ended = c.started;
    c.port = QStringLiteral("/dev/pts/3");
    c.xTitle = QStringLiteral("mS");
    c.yTitle = QStringLiteral("V");
    for (int i = 0; i < kPoints; ++i) {
        c.x.push_back(i * 10);
        c.y.push_back(int((key * 37 + i) % 2001) - 1000);
    }
    return c;
}

double statusMegabytes(pid_t pid, const char* field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// The child: floods, then closes as the window would.
int runChild(const QString& path, bool bySignal)
{
    ArchiveStore store;
    bool opened = false;
    QObject::connect(&store, &ArchiveStore::opened, [&] { opened = true; });
    store.open(path, ArchiveStore::kDefaultKeep);
    while (!opened)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("START %.1f\n", statusMegabytes(getpid(), "VmRSS:"));
    std::fflush(stdout);
    for (int k = 1; k <= kCaptures; ++k) {
        store.storeCapture(capture(k));
        if (k % 64 == 0)
            QCoreApplication::processEvents();
    }
    std::printf("CLOSING\n");
    std::fflush(stdout);
    QElapsedTimer t;
    t.start();
    // As the window closes it: on a signal, within the orderly exit's deadline less the
    // margin it leaves the rest of the close.
    const std::int64_t deadline
        = bySignal ? QDateTime::currentMSecsSinceEpoch() + kSignalDeadlineMs - kArchiveMarginMs : 0;
    const ArchiveStore::Unstored lost = store.close(deadline);
    std::printf("CLOSED %lld ms, not stored: %lld captures, %lld rows\n", static_cast<long long>(t.elapsed()),
        static_cast<long long>(lost.captures), static_cast<long long>(lost.rows));
    std::fflush(stdout);
    return 0;
}

void BM_CloseWithBacklog(benchmark::State& state)
{
    const bool bySignal = state.range(0) != 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.db"));
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("no pipe");
            return;
        }
        const QByteArray self = QCoreApplication::applicationFilePath().toLocal8Bit();
        const QByteArray env
            = "ORVIK_BACKLOG_CHILD=" + QByteArray(bySignal ? "signal:" : "window:") + path.toLocal8Bit();
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            char* argv[] = {const_cast<char*>(self.constData()), nullptr};
            char* envp[] = {const_cast<char*>(env.constData()), nullptr};
            execve(argv[0], argv, envp);
            _exit(127);
        }
        close(fds[1]);
        QByteArray out;
        double startMb = 0;
        double peakMb = 0;
        QElapsedTimer closing;
        bool killed = false;
        int status = 0;
        for (;;) {
            pollfd p{fds[0], POLLIN, 0};
            if (poll(&p, 1, 20) > 0) {
                char buf[256];
                const ssize_t n = read(fds[0], buf, sizeof buf);
                if (n > 0)
                    out.append(buf, n);
            }
            peakMb = std::max(peakMb, statusMegabytes(pid, "VmHWM:"));
            if (startMb == 0 && out.contains("START "))
                startMb = out.mid(out.indexOf("START ") + 6).split('\n').first().toDouble();
            if (!closing.isValid() && out.contains("CLOSING"))
                closing.start();
            if (waitpid(pid, &status, WNOHANG) == pid)
                break;
            // SIGTERM's last resort: the process ends with status 1.
            if (bySignal && closing.isValid() && closing.elapsed() >= kLastResortMs && !killed) {
                kill(pid, SIGKILL);
                killed = true;
            }
        }
        close(fds[0]);
        const double closeSeconds = closing.isValid() ? double(closing.elapsed()) / 1000.0 : 0;
        std::int64_t stored = 0;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
            db.setDatabaseName(path);
            if (db.open()) {
                QSqlQuery q(db);
                if (q.exec(QStringLiteral("SELECT max(id) FROM captures")) && q.next())
                    stored = q.value(0).toLongLong();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("peek"));
        const int exitStatus
            = killed ? 1 : (WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
        state.counters["handed"] = kCaptures;
        state.counters["lost"] = double(kCaptures - stored);
        state.counters["exit_status"] = exitStatus;
        state.counters["start_MB"] = startMb;
        state.counters["peak_MB"] = peakMb;
        state.counters["close_s"] = closeSeconds;
        std::fprintf(stderr, "%s child said: %s\n", bySignal ? "signal" : "window", out.constData());
    }
}
BENCHMARK(BM_CloseWithBacklog)->ArgName("signal")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (const QString child = qEnvironmentVariable("ORVIK_BACKLOG_CHILD"); !child.isEmpty())
        return runChild(child.section(QLatin1Char(':'), 1), child.startsWith(QStringLiteral("signal")));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
