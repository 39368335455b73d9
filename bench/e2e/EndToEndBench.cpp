// The device simulator floods the shown console window (offscreen) through a pty, and the
// same simulator floods a plain reader on the same kind of pty: the reader's rate is the
// limit the console is measured against, and the device session without a window is
// measured against it too. Figures come from the simulator's JSON report and
// from this process's own resource usage, so they include everything the window does.
#include "archive/ArchiveStore.h"
#include "archive/CaptureRecorder.h"
#include "console/MainUnit.h"
#include "console/SetupPage.h"
#include "serial/ComPort.h"
#include "session/DeviceSession.h"
#include "session/TransportFactory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>

namespace {

constexpr double kLineBytesPerSecond = 300000.0; // 3 Mbaud, 10 bits a byte
constexpr int kFloodRecords = 200000;
constexpr int kLatencyRecords = 20000;

struct Run {
    QJsonObject report;
    double cpuSeconds = 0;
    QString error;
    // With the archive on: captures handed over by the end of the flood, and how long after
    // it the last of them was in the file (the backlog the flood left).
    double captures = 0;
    double archiveCatchUpMs = 0;

    double seconds() const { return report["elapsed_us"].toDouble() / 1e6; }
    double records() const { return report["lines"].toDouble(); }
    double bytes() const { return report["bytes"].toDouble(); }
    double rate() const { return seconds() > 0 ? records() / seconds() : 0; }
    int missing() const { return report["answers"].toObject()["missing"].toInt(); }
    double medianUs() const { return report["rtt_us"].toObject()["median"].toDouble(); }
    double p99Us() const { return report["rtt_us"].toObject()["p99"].toDouble(); }
};

// Both figures of the limit are kept for the runs after it.
double g_limitRate = 0;
double g_bareMedianUs = 0;

double cpuSecondsNow()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double peakResidentMb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024.0; // kilobytes on Linux
}

// Starts the simulator and returns its pty path, empty on failure.
QString startSimulator(QProcess& sim, const QStringList& args)
{
    sim.start(QStringLiteral(ORVIK_DEVSIM),
        args + QStringList{"--json", "--quiet", "--linger", "0", "--seed", "7"});
    if (!sim.waitForStarted(10000))
        return {};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!sim.canReadLine() && std::chrono::steady_clock::now() < deadline)
        sim.waitForReadyRead(100);
    const QString first = QString::fromLocal8Bit(sim.readLine()).trimmed();
    return first.startsWith("PORT ") ? first.mid(5) : QString();
}

bool finishSimulator(QProcess& sim, Run& run, const std::function<void()>& pump)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
    while (sim.state() != QProcess::NotRunning && std::chrono::steady_clock::now() < deadline)
        pump();
    if (sim.state() != QProcess::NotRunning) {
        sim.kill();
        sim.waitForFinished();
        run.error = "the simulator did not finish";
        return false;
    }
    const QByteArray out = sim.readAllStandardOutput();
    const QByteArray line = out.trimmed().split('\n').last();
    run.report = QJsonDocument::fromJson(line).object();
    if (run.report.isEmpty()) {
        run.error = "no report: " + QString::fromLocal8Bit(out + sim.readAllStandardError());
        return false;
    }
    return true;
}

// A plain reader (throughput) or a bare responder answering "OK" to every CR (latency).
Run runPlainPeer(const QStringList& args, bool answer)
{
    Run run;
    QProcess sim;
    const QString port = startSimulator(sim, args);
    if (port.isEmpty()) {
        run.error = "the simulator gave no port";
        return run;
    }
    const int fd = ::open(port.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        run.error = "cannot open " + port;
        return run;
    }
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    std::atomic<bool> stop{false};
    std::thread peer([&] {
        char buf[65536];
        while (!stop) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN))
                continue;
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (!answer || n <= 0)
                continue;
            for (ssize_t i = 0; i < n; ++i)
                if (buf[i] == '\r') [[maybe_unused]]
                    ssize_t w = ::write(fd, "OK\r\n", 4);
        }
    });
    finishSimulator(sim, run, [&] { sim.waitForFinished(50); });
    stop = true;
    peer.join();
    ::close(fd);
    return run;
}

// The shown window: its program folder's settings name the simulator's pty, and choosing
// RS232 connects as the operator would. `settings` starts its settings file (the archive or
// the journal turned off).
Run runConsole(const QStringList& args, const QByteArray& settings)
{
    Run run;
    QProcess sim;
    const QString port = startSimulator(sim, args);
    if (port.isEmpty()) {
        run.error = "the simulator gave no port";
        return run;
    }
    QTemporaryDir dir;
    if (!settings.isEmpty()) {
        QFile ini(dir.filePath(QStringLiteral("Orvik.ini")));
        if (ini.open(QIODevice::WriteOnly))
            ini.write(settings);
    }
    TForm1 form(dir.path());
    QStringList errors;
    form.ErrorReport = [&](const QString& m) { errors << m; };
    std::int64_t handed = 0;
    std::unordered_set<std::int64_t> stored;
    if (auto* recorder = form.findChild<CaptureRecorder*>())
        QObject::connect(recorder, &CaptureRecorder::captureReady,
            [&](const CaptureData& c) { handed = std::max(handed, c.key); });
    auto* store = form.findChild<ArchiveStore*>();
    // Those beyond Keep in their own batch are only ever announced as removed.
    if (store) {
        QObject::connect(
            store, &ArchiveStore::captureStored, [&](const CaptureRow& r, bool) { stored.insert(r.id); });
        onArchiveAnswer<CapturesRemoved>(
            *store, [&](const CapturesRemoved& r) { stored.insert(r.ids.begin(), r.ids.end()); });
    }
    form.show();
    form.ComPort1->SetPort(port);
    const double cpuBefore = cpuSecondsNow();
    form.Setup->RSBut->click();
    if (!form.ComPort1->Connected()) {
        run.error = "the window did not connect: " + errors.join("; ");
        sim.kill();
        sim.waitForFinished();
        return run;
    }
    // A real event loop, as the program runs: polling processEvents() would spin and take
    // the processor from the port's event thread.
    finishSimulator(sim, run, [&sim] {
        QEventLoop loop;
        QObject::connect(&sim, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        if (sim.state() != QProcess::NotRunning)
            loop.exec();
    });
    if (store && store->isOn() && handed > 0) {
        const std::int64_t atEnd = handed;
        QElapsedTimer catchUp;
        catchUp.start();
        while (std::int64_t(stored.size()) < atEnd && store->isOn() && catchUp.elapsed() < 120000) {
            QEventLoop loop;
            QTimer::singleShot(10, &loop, &QEventLoop::quit);
            loop.exec();
        }
        run.captures = double(atEnd);
        run.archiveCatchUpMs = double(catchUp.elapsed());
    }
    run.cpuSeconds = cpuSecondsNow() - cpuBefore;
    form.ComPort1->ClosePort();
    if (!errors.isEmpty() && run.error.isEmpty())
        run.error = errors.join("; ");
    return run;
}

Run runConsole(const QStringList& args)
{
    return runConsole(args, QByteArray());
}

bool reportRun(benchmark::State& state, const Run& run)
{
    if (!run.error.isEmpty()) {
        state.SkipWithError(run.error.toStdString().c_str());
        return false;
    }
    state.SetIterationTime(run.seconds());
    state.counters["records/s"] = run.rate();
    state.counters["MB/s"] = run.bytes() / run.seconds() / 1e6;
    state.counters["x3Mbaud"] = run.bytes() / run.seconds() / kLineBytesPerSecond;
    state.counters["missing"] = run.missing();
    state.counters["median_us"] = run.medianUs();
    state.counters["p99_us"] = run.p99Us();
    return true;
}

void BM_PtyLimitPlainReader(benchmark::State& state)
{
    for (auto _ : state) {
        const Run run = runPlainPeer({"--flood", "--chunk-max", "0", "--count",
                                         QString::number(kFloodRecords), "--answer-timeout", "1"},
            false);
        if (!reportRun(state, run))
            return;
        g_limitRate = run.rate();
        state.counters.erase("missing");
        state.counters.erase("median_us");
        state.counters.erase("p99_us");
    }
}
BENCHMARK(BM_PtyLimitPlainReader)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ConsoleFlood(benchmark::State& state)
{
    const double peakBefore = peakResidentMb();
    for (auto _ : state) {
        const Run run
            = runConsole({"--flood", "--chunk-max", "0", "--count", QString::number(kFloodRecords)});
        if (!reportRun(state, run))
            return;
        if (run.missing() != 0)
            state.SkipWithError("answers missing");
        state.counters["cpu_s/MB"] = run.cpuSeconds / (run.bytes() / 1e6);
        state.counters["ratio_to_limit"] = g_limitRate > 0 ? run.rate() / g_limitRate : 0;
    }
    state.counters["peak_rss_MB"] = peakResidentMb();
    state.counters["peak_rss_before_MB"] = peakBefore;
}
BENCHMARK(BM_ConsoleFlood)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The device session alone, no window: what the session itself costs against the reader.
Run runSession(const QStringList& args)
{
    Run run;
    QProcess sim;
    const QString port = startSimulator(sim, args);
    if (port.isEmpty()) {
        run.error = "the simulator gave no port";
        return run;
    }
    QObject owner;
    TTransport* transport = CreateTransport(port, &owner);
    TDeviceSession session(*transport);
    const double cpuBefore = cpuSecondsNow();
    try {
        transport->OpenPort();
    } catch (const std::exception& e) {
        run.error = QString::fromLocal8Bit(e.what());
        sim.kill();
        sim.waitForFinished();
        return run;
    }
    finishSimulator(sim, run, [&sim] {
        QEventLoop loop;
        QObject::connect(&sim, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        if (sim.state() != QProcess::NotRunning)
            loop.exec();
    });
    run.cpuSeconds = cpuSecondsNow() - cpuBefore;
    transport->ClosePort();
    return run;
}

void BM_SessionFlood(benchmark::State& state)
{
    for (auto _ : state) {
        const Run run
            = runSession({"--flood", "--chunk-max", "0", "--count", QString::number(kFloodRecords)});
        if (!reportRun(state, run))
            return;
        if (run.missing() != 0)
            state.SkipWithError("answers missing");
        state.counters["cpu_s/MB"] = run.cpuSeconds / (run.bytes() / 1e6);
        state.counters["ratio_to_limit"] = g_limitRate > 0 ? run.rate() / g_limitRate : 0;
    }
}
BENCHMARK(BM_SessionFlood)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// Latency: one record in flight at a time, every record answered, so the round trip is
// the record's CR to its "OK" and nothing queues behind it.
const QStringList kLatencyArgs{
    "--flood", "--window", "1", "--count", QString::number(kLatencyRecords), "--mix", "va=1,tr=0,burst=0"};

void BM_LatencyBareResponder(benchmark::State& state)
{
    for (auto _ : state) {
        const Run run = runPlainPeer(kLatencyArgs, true);
        if (!reportRun(state, run))
            return;
        g_bareMedianUs = run.medianUs();
    }
}
BENCHMARK(BM_LatencyBareResponder)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LatencyConsole(benchmark::State& state)
{
    for (auto _ : state) {
        const Run run = runConsole(kLatencyArgs);
        if (!reportRun(state, run))
            return;
        state.counters["median_vs_bare"] = g_bareMedianUs > 0 ? run.medianUs() / g_bareMedianUs : 0;
    }
}
BENCHMARK(BM_LatencyConsole)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The same with the default mix: captures keep the chart drawing between the answers.
void BM_LatencyConsoleChartDrawing(benchmark::State& state)
{
    for (auto _ : state) {
        const Run run = runConsole({"--flood", "--window", "1", "--count", QString::number(kLatencyRecords)});
        if (!reportRun(state, run))
            return;
        state.counters["median_vs_bare"] = g_bareMedianUs > 0 ? run.medianUs() / g_bareMedianUs : 0;
    }
}
BENCHMARK(BM_LatencyConsoleChartDrawing)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// A setting that costs work per record, off and on, under the same flood: records per second
// and answer latency printed side by side at the end, on standard error, so that standard
// output holds only the benchmark library's report (JSON with --benchmark_format=json).
struct Figures {
    double rate = 0;
    double medianUs = 0;
    double p99Us = 0;
};

struct Comparison {
    const char* title;
    QByteArray (*settings)(bool on); // the settings file's start
    QStringList mix; // what the simulator sends besides the flood's own options
    Figures figures[2]; // [0] off, [1] on
};

// Captures arriving during the flood and between the answers, the archive storing each one.
Comparison g_archive{"Captures during the flood, archive",
    [](bool on) { return on ? QByteArray() : QByteArray("[Archive]\r\nFile=\r\n"); },
    {"--mix", "va=5,tr=4,burst=2", "--burst-samples", "96"}, {}};

// Readings crossing their limits (the simulator's voltages swing far past the default limits
// of 50), each crossing a journal row.
Comparison g_journal{"Limit crossings during the flood, journal",
    [](bool on) { return on ? QByteArray() : QByteArray("[Archive]\r\nJournalKeep=0\r\n"); },
    {"--mix", "va=8,tr=2", "--events", "0.5"}, {}};

void BM_FloodOffAndOn(benchmark::State& state, Comparison* c)
{
    const bool on = state.range(0) != 0;
    for (auto _ : state) {
        const Run run = runConsole(
            QStringList{"--flood", "--chunk-max", "0", "--count", QString::number(kFloodRecords)} + c->mix,
            c->settings(on));
        if (!reportRun(state, run))
            return;
        if (run.missing() != 0)
            state.SkipWithError("answers missing");
        c->figures[on].rate = run.rate();
        if (run.captures > 0) {
            state.counters["captures"] = run.captures;
            state.counters["archive_catch_up_ms"] = run.archiveCatchUpMs;
        }
    }
}

void BM_LatencyOffAndOn(benchmark::State& state, Comparison* c)
{
    const bool on = state.range(0) != 0;
    for (auto _ : state) {
        const Run run = runConsole(
            QStringList{"--flood", "--window", "1", "--count", QString::number(kLatencyRecords)} + c->mix,
            c->settings(on));
        if (!reportRun(state, run))
            return;
        c->figures[on].medianUs = run.medianUs();
        c->figures[on].p99Us = run.p99Us();
    }
}

#define ORVIK_OFF_AND_ON(func, name, comparison)                                                             \
    BENCHMARK_CAPTURE(func, name, &comparison)                                                               \
        ->ArgName("on")                                                                                      \
        ->Arg(0)                                                                                             \
        ->Arg(1)                                                                                             \
        ->Iterations(1)                                                                                      \
        ->UseManualTime()                                                                                    \
        ->Unit(benchmark::kMillisecond)
ORVIK_OFF_AND_ON(BM_FloodOffAndOn, archive, g_archive);
ORVIK_OFF_AND_ON(BM_LatencyOffAndOn, archive, g_archive);
ORVIK_OFF_AND_ON(BM_FloodOffAndOn, journal, g_journal);
ORVIK_OFF_AND_ON(BM_LatencyOffAndOn, journal, g_journal);

void printComparison(const Comparison& c)
{
    const Figures& off = c.figures[0];
    const Figures& on = c.figures[1];
    if (off.rate <= 0 && off.medianUs <= 0)
        return;
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::fprintf(stderr, "\n%s off | on | on/off\n", c.title);
    std::fprintf(stderr, "  records/s          %10.0f | %10.0f | %5.2f\n", off.rate, on.rate,
        ratio(on.rate, off.rate));
    std::fprintf(stderr, "  answer median (us) %10.0f | %10.0f | %5.2f\n", off.medianUs, on.medianUs,
        ratio(on.medianUs, off.medianUs));
    std::fprintf(stderr, "  answer p99 (us)    %10.0f | %10.0f | %5.2f\n", off.p99Us, on.p99Us,
        ratio(on.p99Us, off.p99Us));
}

void printComparisons()
{
    printComparison(g_archive);
    printComparison(g_journal);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    printComparisons();
    benchmark::Shutdown();
    return 0;
}
