// The journal page's CSV export of a large stored journal, as the operator starts it: how long
// the window's event loop is held at most meanwhile (a timer due every millisecond notes its
// largest gap) and how much the process's peak memory grows. The rows are written into the
// archive first, by a worker of the bench's own.
#include "archive/ArchiveStore.h"
#include "archive/ArchiveWorker.h"
#include "console/ArchivePage.h"
#include "console/JournalArchive.h"
#include "console/JournalPage.h"
#include "session/JournalRecorder.h"
#include "session/LineLog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

namespace {

// Peak resident memory of the process so far, in MB.
double peakMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

double currentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

class NoSink : public TJournalSink {
public:
    void appendJournal(const TJournalRow&) override { }
};

// True once the file ends with the line of the newest row (the export is oldest first).
bool endsWith(const QString& path, const QByteArray& tail)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() < tail.size())
        return false;
    f.seek(f.size() - tail.size());
    return f.read(tail.size()) == tail;
}

void BM_ExportJournal(benchmark::State& state)
{
    const int rows = int(state.range(0));
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("a.db"));
    {
        ArchiveWorker worker;
        worker.open(db, 1000, rows, 3000);
        std::vector<JournalRow> batch;
        for (int i = 0; i < rows; ++i) {
            batch.push_back(JournalRow{0, QStringLiteral("2026-12-08T10:51:02.125Z"), QStringLiteral("limit"),
                QStringLiteral("Voltage"), QString::number(i),
                QStringLiteral("Напрежението %1 V излезе извън границата ±50 V").arg(i)});
            if (batch.size() == 20000 || i + 1 == rows)
                worker.appendJournal(std::exchange(batch, {}));
        }
    }
    const QByteArray lastValue
        = "Напрежението " + QByteArray::number(rows - 1) + " V излезе извън границата ±50 V";
    double longestMs = 0;
    double seconds = 0;
    double peakGrowth = 0;
    for (auto _ : state) {
        ArchiveStore store;
        ArchivePage archivePage(store);
        TLineLog lines;
        JournalPage page(lines);
        NoSink sink;
        TJournalRecorder recorder(sink);
        TJournalArchive journal(store, archivePage, page, recorder);
        bool listed = false;
        onArchiveAnswer<JournalQueried>(store, [&](const JournalQueried&) { listed = true; });
        store.open(db, 1000, rows);
        while (!listed)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

        const QString out = dir.filePath(QStringLiteral("journal.csv"));
        QFile::remove(out);
        page.saveFileName = [&](const QString&, const QString&) { return out; };
        QString error;
        page.errorReport = [&](const QString& message) { error = message; };
        const double before = currentMegabytes();
        QElapsedTimer since;
        since.start();
        qint64 lastTick = 0;
        double longest = 0;
        QTimer tick;
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = since.nsecsElapsed();
            longest = std::max(longest, double(now - lastTick) / 1e6);
            lastTick = now;
        });
        tick.start();
        page.ExportJournal->click();
        while (!endsWith(out, lastValue.right(40) + "\n") && !endsWith(out, lastValue.right(40) + "\r\n")
            && error.isEmpty() && since.elapsed() < 900000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // The gap the click itself caused counts too.
        longest = std::max(longest, double(since.nsecsElapsed() - lastTick) / 1e6);
        seconds = double(since.nsecsElapsed()) / 1e9;
        if (!error.isEmpty())
            state.SkipWithError(error.toStdString().c_str());
        longestMs = longest;
        peakGrowth = peakMegabytes() - before;
        store.close();
    }
    state.counters["longest_wait_ms"] = longestMs;
    state.counters["export_s"] = seconds;
    state.counters["peak_growth_MB"] = peakGrowth;
}
BENCHMARK(BM_ExportJournal)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
