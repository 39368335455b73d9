#include "session/JournalRecorder.h"
#include "session/LineLog.h"
#include "session/LinkStats.h"
#include "session/RecordParser.h"

#include <benchmark/benchmark.h>

namespace {

// Takes the calls and does as little as a window's cheapest reaction would.
class CountingView : public TRecordView {
public:
    QByteArray limit = "50";
    std::int64_t calls = 0;
    QByteArray limitText(TLimit) const override { return limit; }
    void setReadoutText(TReadout, QByteArrayView text) override { calls += text.size(); }
    void setReadoutColor(TReadout, TColor) override { ++calls; }
    void setCounter(TEvent, std::uint16_t, TColor) override { ++calls; }
    void eventCounted() override { ++calls; }
    void setLeftAxisTitle(const QString&) override { ++calls; }
    void setBottomAxisTitle(const QString&) override { ++calls; }
    void addPoint(double x, double) override { calls += std::int64_t(x) & 1; }
    void clearScope() override { ++calls; }
    void send(const QByteArray& text) override { calls += text.size(); }
};

// A long mixed stream as the device sends it (the terminal has added LF after each CR).
QByteArray mixedStream(int repeats, int& records)
{
    const QByteArray block = "W:VA-15/3\r\n"
                             "W:TR42/RK0\r\n"
                             "W:VA230/51\r\n"
                             "W:TR80/RK2\r\n"
                             "W:SCxVm10\r\n"
                             "W:ST10;12;15;-3;*\r\n"
                             "xx W:VA10/2\r\n"
                             "W:RS+ROSC\r\n";
    records = 8 * repeats;
    QByteArray all;
    all.reserve(block.size() * repeats);
    for (int i = 0; i < repeats; ++i)
        all += block;
    return all;
}

void BM_ParserMixedStream(benchmark::State& state)
{
    int records = 0;
    const QByteArray stream = mixedStream(10000, records);
    const qsizetype chunk = state.range(0);
    CountingView view;
    TRecordParser parser(view);
    for (auto _ : state) {
        for (qsizetype at = 0; at < stream.size(); at += chunk)
            parser.feed(QByteArrayView(stream).sliced(at, std::min(chunk, stream.size() - at)));
        benchmark::DoNotOptimize(view.calls);
    }
    state.counters["records/s"]
        = benchmark::Counter(double(records) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(std::int64_t(stream.size()) * std::int64_t(state.iterations()));
}
BENCHMARK(BM_ParserMixedStream)->Arg(1 << 20)->Arg(4096)->Arg(64)->Arg(7)->Unit(benchmark::kMillisecond);

// The same with what the window adds to each line: the line inspector's log of the bytes
// and of each line's outcome, the status line's counts and the journal's rows (into a sink
// that drops them). Compared with the run above it is the price of the inspector and the
// journal per record.
struct NullSink : TJournalSink {
    std::int64_t rows = 0;
    void appendJournal(const TJournalRow&) override { ++rows; }
};

class InspectedView : public CountingView {
public:
    TLineLog log;
    TLinkStats stats;
    NullSink sink;
    TJournalRecorder recorder{sink};
    void lineOutcome(const TLineOutcome& outcome) override
    {
        stats.line(outcome);
        log.outcome(outcome);
        recorder.lineOutcome(outcome);
    }
};

void BM_ParserWithInspectorAndJournal(benchmark::State& state)
{
    int records = 0;
    const QByteArray stream = mixedStream(10000, records);
    const qsizetype chunk = state.range(0);
    InspectedView view;
    TRecordParser parser(view);
    qint64 now = 0;
    for (auto _ : state) {
        for (qsizetype at = 0; at < stream.size(); at += chunk) {
            const QByteArrayView piece
                = QByteArrayView(stream).sliced(at, std::min(chunk, stream.size() - at));
            view.stats.received(std::size_t(piece.size()));
            view.log.received(piece, ++now);
            parser.feed(piece);
        }
        benchmark::DoNotOptimize(view.calls);
    }
    state.counters["records/s"]
        = benchmark::Counter(double(records) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["journal rows"] = double(view.sink.rows);
    state.SetBytesProcessed(std::int64_t(stream.size()) * std::int64_t(state.iterations()));
}
BENCHMARK(BM_ParserWithInspectorAndJournal)->Arg(4096)->Arg(64)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
