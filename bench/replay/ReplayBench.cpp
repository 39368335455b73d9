// Session recordings: a replay as fast as it goes (records a second, against the parser's own
// rate), the cost of recording the raw session while the session handles a flood, and
// orvik-cli record against the simulator's flood: the flood's rate with and without --session
// and the recorder's peak resident memory.
#include "archive/CaptureRecorder.h"
#include "session/DeviceSession.h"
#include "session/SessionRecording.h"
#include "session/SessionReplay.h"
#include "transport/NullTransport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <csignal>

namespace {

constexpr int kRecordsPerBlock = 8;

// The device's mixed traffic: records ended by CR, as on the wire.
QByteArray mixedStream(int repeats)
{
    const QByteArray block = "W:VA-15/3\r"
                             "W:TR42/RK0\r"
                             "W:VA230/51\r"
                             "W:TR80/RK2\r"
                             "W:SCxVm10\r"
                             "W:ST10;12;15;-3;*\r"
                             "xx W:VA10/2\r"
                             "W:RS+ROSC\r";
    QByteArray all;
    all.reserve(block.size() * repeats);
    for (int i = 0; i < repeats; ++i)
        all += block;
    return all;
}

// Counts the rows; the archive's own cost is its benchmarks'.
struct CountingSink : TJournalSink {
    std::int64_t rows = 0;
    void appendJournal(const TJournalRow&) override { ++rows; }
};

// The stream in received chunks of `chunk` bytes, 100 µs apart, after the connection's opening.
std::vector<TSessionEntry> recording(const QByteArray& stream, qsizetype chunk)
{
    std::vector<TSessionEntry> entries;
    std::int64_t t = 1'765'000'000'000'000;
    entries.push_back({TSessionEntry::Connection, t, "opened\t/dev/ttyUSB0\t115200"});
    for (qsizetype at = 0; at < stream.size(); at += chunk) {
        t += 100;
        entries.push_back({TSessionEntry::Received, t, stream.mid(at, chunk)});
    }
    return entries;
}

void BM_ReplayAsFastAsItGoes(benchmark::State& state)
{
    const int repeats = 20000;
    const std::vector<TSessionEntry> entries = recording(mixedStream(repeats), state.range(0));
    TSessionReplay replay;
    CaptureRecorder recorder;
    CountingSink sink;
    replay.setCaptureRecorder(&recorder);
    replay.session().addJournalSink(&sink);
    std::int64_t captures = 0;
    QObject::connect(&recorder, &CaptureRecorder::captureReady, [&] { ++captures; });
    QEventLoop loop;
    QObject::connect(&replay, &TSessionReplay::finished, &loop, &QEventLoop::quit);
    for (auto _ : state) {
        replay.start(entries, QStringLiteral("replay:bench"), 0);
        loop.exec();
    }
    state.counters["records/s"] = benchmark::Counter(
        double(repeats) * kRecordsPerBlock * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["rows"] = double(sink.rows) / double(state.iterations());
}
BENCHMARK(BM_ReplayAsFastAsItGoes)
    ->Arg(4096)
    ->Arg(256)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// An open transport that takes every write and tells what it wrote, as a port's link does.
class DiscardTransport : public TNullTransport {
public:
    DiscardTransport()
        : TNullTransport(QStringLiteral("/dev/ttyUSB0"))
    {
    }
    std::function<void(QByteArrayView)> written;
    bool Connected() const override { return true; }
    bool OpenPortIfSame(const TDeviceIdentity&, TDeviceIdentity&) override { return true; }
    WriteOutcome Write(QByteArrayView bytes, bool) override
    {
        if (written)
            written(bytes);
        return {bytes.size(), {}};
    }
};

// The session handling a flood (answering every record) with and without its raw traffic
// recorded: what orvik-cli record --session adds to each received chunk and each answer.
void BM_FloodRecorded(benchmark::State& state)
{
    const int repeats = 20000;
    const QByteArray stream = mixedStream(repeats);
    const qsizetype chunk = state.range(0);
    const bool recorded = state.range(1) != 0;
    QTemporaryDir dir;
    DiscardTransport transport;
    TDeviceSession session(transport);
    session.setLogChoices(false, false);
    CaptureRecorder recorder;
    session.setCaptureRecorder(&recorder);
    CountingSink sink;
    session.addJournalSink(&sink);
    TSessionRecordingWriter writer;
    if (recorded && !writer.open(dir.filePath(QStringLiteral("flood.ses")))) {
        state.SkipWithError("cannot open the recording");
        return;
    }
    std::int64_t t = 0;
    transport.written = [&](QByteArrayView bytes) {
        if (recorded)
            writer.add(TSessionEntry::Sent, t, bytes);
    };
    std::int64_t sinceFlush = 0;
    for (auto _ : state) {
        for (qsizetype at = 0; at < stream.size(); at += chunk) {
            const QByteArrayView part
                = QByteArrayView(stream).sliced(at, std::min(chunk, stream.size() - at));
            ++t;
            if (recorded) {
                writer.add(TSessionEntry::Received, t, part);
                // The writer's once-a-second write, at about a megabyte of flood.
                if ((sinceFlush += part.size()) >= (1 << 20)) {
                    writer.flush();
                    sinceFlush = 0;
                }
            }
            session.receive(part.data(), int(part.size()));
        }
    }
    writer.close();
    state.counters["records/s"] = benchmark::Counter(
        double(repeats) * kRecordsPerBlock * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FloodRecorded)
    ->ArgsProduct({{4096, 256}, {0, 1}})
    ->ArgNames({"chunk", "recorded"})
    ->Unit(benchmark::kMillisecond);

#if defined(ORVIK_CLI) && defined(ORVIK_DEVSIM)
// Kilobytes of a process's peak resident memory (VmHWM), 0 when it cannot be read.
double peakResidentKb(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble();
    return 0;
}

// orvik-cli record against the simulator's flood (it answers every record): the flood's rate
// as the simulator saw it, and the recorder's peak resident memory, with and without --session.
void BM_CliRecordFlood(benchmark::State& state)
{
    const bool session = state.range(0) != 0;
    const int records = 200000;
    double rateSum = 0;
    double peakMb = 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        QProcess sim;
        sim.start(QStringLiteral(ORVIK_DEVSIM),
            {"--flood", "--count", QString::number(records), "--json", "--quiet", "--linger", "0", "--seed",
                "7", "--answer-timeout", "10000"});
        if (!sim.waitForStarted(10000) || !sim.waitForReadyRead(10000)) {
            state.SkipWithError("the simulator did not start");
            return;
        }
        const QString port = QString::fromLocal8Bit(sim.readLine()).trimmed().mid(5);
        QStringList args{"record", "--port", port, "--settings", "/dev/null", "--archive",
            dir.filePath(QStringLiteral("a.db"))};
        if (session)
            args << "--session" << dir.filePath(QStringLiteral("flood.ses"));
        QProcess cli;
        cli.setStandardOutputFile(QProcess::nullDevice());
        cli.start(QStringLiteral(ORVIK_CLI), args);
        if (!cli.waitForStarted(10000)) {
            state.SkipWithError("orvik-cli did not start");
            return;
        }
        // The peak while the flood runs; read before the recorder ends.
        while (!sim.waitForFinished(200))
            peakMb = std::max(peakMb, peakResidentKb(cli.processId()) / 1024.0);
        peakMb = std::max(peakMb, peakResidentKb(cli.processId()) / 1024.0);
        ::kill(pid_t(cli.processId()), SIGTERM);
        cli.waitForFinished(30000);
        const QJsonObject report
            = QJsonDocument::fromJson(sim.readAllStandardOutput().trimmed().split('\n').last()).object();
        const double seconds = report["elapsed_us"].toDouble() / 1e6;
        rateSum += seconds > 0 ? report["lines"].toDouble() / seconds : 0;
        state.SetIterationTime(seconds);
    }
    state.counters["flood records/s"] = rateSum / double(state.iterations());
    state.counters["peak RSS MB"] = peakMb;
}
BENCHMARK(BM_CliRecordFlood)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("session")
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
#endif

} // namespace
