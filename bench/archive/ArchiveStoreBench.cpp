// What the archive's worker thread spends on captures: batches of 96-point captures (the
// simulator's transient) committed as the store commits them, and journal rows. Run on the
// worker directly, so the figure is its own processor time, not the scheduling of a window.
#include "archive/ArchiveWorker.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

CaptureData capture(std::int64_t key, int points)
{
    CaptureData c;
    c.key = key;
    c.started = QStringLiteral("2026-12-08T10:51:02.125Z");
    c.ended = c.started;
    c.port = QStringLiteral("/dev/pts/3");
    c.xTitle = QStringLiteral("mS");
    c.yTitle = QStringLiteral("V");
    for (int i = 0; i < points; ++i) {
        c.x.push_back(i * 10);
        c.y.push_back((i * 37) % 2001 - 1000);
    }
    return c;
}

// state.range(0) captures per transaction (per batch), 96 points each, Keep 1000.
void BM_StoreCaptures(benchmark::State& state)
{
    QTemporaryDir dir;
    ArchiveWorker worker;
    worker.open(dir.filePath(QStringLiteral("bench.db")), 1000, 1000000, 3000);
    std::int64_t key = 0;
    std::int64_t points = 0;
    for (auto _ : state) {
        std::vector<CaptureData> batch;
        for (int i = 0; i < state.range(0); ++i)
            batch.push_back(capture(++key, 96));
        worker.storeCaptures(batch);
        points += 96 * state.range(0);
    }
    state.counters["captures/s"] = benchmark::Counter(double(key), benchmark::Counter::kIsRate);
    state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsRate);
    if (!worker.isOpen())
        state.SkipWithError("the archive failed");
}
BENCHMARK(BM_StoreCaptures)->Arg(1)->Arg(100)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_AppendJournal(benchmark::State& state)
{
    QTemporaryDir dir;
    ArchiveWorker worker;
    worker.open(dir.filePath(QStringLiteral("bench.db")), 1000, 1000000, 3000);
    std::vector<JournalRow> rows(std::size_t(state.range(0)));
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = JournalRow{0, QStringLiteral("2026-12-08T10:51:02.125Z"), QStringLiteral("limit"),
            QStringLiteral("Voltage"), QString::number(i),
            QStringLiteral("Напрежението премина границата 50.")};
    std::int64_t n = 0;
    for (auto _ : state) {
        worker.appendJournal(rows);
        n += state.range(0);
    }
    state.counters["rows/s"] = benchmark::Counter(double(n), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AppendJournal)->Arg(2000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
