// What the archive's worker thread spends on captures: batches of 96-point captures (the
// simulator's transient) committed as the store commits them, and journal rows. Run on the
// worker directly, so the figure is its own processor time, not the scheduling of a window.
// Also: the two ways of laying out points that were weighed (bytes per point, captures per
// second), and Keep lowered from 50,000 to 1,000 while a new capture comes.
#include "archive/ArchiveWorker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <atomic>
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

// A connection of the bench's own, as another program would open the file.
class Peek {
public:
    explicit Peek(const QString& path, const QString& name = QStringLiteral("bench-peek"))
        : name_(name)
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        d.setDatabaseName(path);
        d.open();
    }
    ~Peek()
    {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }
    qint64 value(const QString& sql) const
    {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        return q.exec(sql) && q.next() ? q.value(0).toLongLong() : -1;
    }
    // Bytes in use (pages not on the free list) per point stored.
    double bytesPerPoint(const QString& pointsSql) const
    {
        const double used = double(value(QStringLiteral("PRAGMA page_count"))
                                - value(QStringLiteral("PRAGMA freelist_count")))
            * double(value(QStringLiteral("PRAGMA page_size")));
        const double points = double(value(pointsSql));
        return points > 0 ? used / points : 0;
    }

private:
    QString name_;
};

// state.range(0) captures per transaction (per batch), 96 points each, Keep 1000.
void BM_StoreCaptures(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.db"));
    ArchiveWorker worker;
    worker.open(path, 1000, 1000000, 3000);
    std::int64_t key = 0;
    std::int64_t points = 0;
    for (auto _ : state) {
        std::vector<CaptureData> batch;
        for (int i = 0; i < state.range(0); ++i)
            batch.push_back(capture(++key, 96));
        worker.storeCaptures(batch);
        // Work the worker queued for itself (Keep's trimming) runs between batches.
        QCoreApplication::processEvents();
        points += 96 * state.range(0);
    }
    state.counters["captures/s"] = benchmark::Counter(double(key), benchmark::Counter::kIsRate);
    state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsRate);
    if (!worker.isOpen())
        state.SkipWithError("the archive failed");
    worker.close();
    Peek peek(path);
    state.counters["B/point"] = peek.bytesPerPoint(QStringLiteral("SELECT sum(points) FROM captures"));
}
BENCHMARK(BM_StoreCaptures)->Arg(1)->Arg(100)->Arg(2000)->Unit(benchmark::kMillisecond);

// The layouts of points weighed for the file, each written as directly as SQLite allows:
// 0 one row per point in a rowid table (schema 2), 1 the same WITHOUT ROWID, 2 one row per
// capture with the points in two little-endian BLOBs (schema 3). Captures of 96 points,
// state.range(1) per transaction, 20,000 captures in all.
void BM_PointLayout(benchmark::State& state)
{
    const int layout = int(state.range(0));
    const int perTransaction = int(state.range(1));
    constexpr int kCaptures = 20000;
    constexpr int kPoints = 96;
    constexpr int kPerInsert = 128;
    const CaptureData c = capture(1, kPoints);
    double seconds = 0;
    double bytesPerPoint = 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("layout.db"));
        {
            QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("layout"));
            d.setDatabaseName(path);
            d.open();
            QSqlQuery q(d);
            q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
            q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
            q.exec(QStringLiteral(
                "CREATE TABLE captures(id INTEGER PRIMARY KEY AUTOINCREMENT, started TEXT, "
                "ended TEXT, port TEXT, x_title TEXT, y_title TEXT, points INTEGER, note TEXT)"));
            const QString without = layout == 1 ? QStringLiteral(" WITHOUT ROWID") : QString();
            if (layout == 2)
                q.exec(QStringLiteral(
                    "CREATE TABLE capture_data(capture_id INTEGER PRIMARY KEY, x BLOB, y BLOB)"));
            else
                q.exec(QStringLiteral("CREATE TABLE capture_points(capture_id INTEGER, k INTEGER, x INTEGER, "
                                      "y INTEGER, PRIMARY KEY(capture_id, k))")
                    + without);
            QSqlQuery row(d);
            row.prepare(QStringLiteral("INSERT INTO captures(started, ended, port, x_title, y_title, points, "
                                       "note) VALUES(?, ?, ?, ?, ?, ?, '')"));
            QSqlQuery many(d);
            QSqlQuery blob(d);
            QString sql
                = QStringLiteral("INSERT INTO capture_points(capture_id, k, x, y) VALUES(?, ?, ?, ?)");
            for (int i = 1; i < kPerInsert; ++i)
                sql += QStringLiteral(", (?, ?, ?, ?)");
            QSqlQuery one(d);
            one.prepare(QStringLiteral("INSERT INTO capture_points(capture_id, k, x, y) VALUES(?, ?, ?, ?)"));
            many.prepare(sql);
            blob.prepare(QStringLiteral("INSERT INTO capture_data(capture_id, x, y) VALUES(?, ?, ?)"));
            QElapsedTimer t;
            t.start();
            for (int done = 0; done < kCaptures;) {
                d.transaction();
                for (int i = 0; i < perTransaction && done < kCaptures; ++i, ++done) {
                    row.bindValue(0, c.started);
                    row.bindValue(1, c.ended);
                    row.bindValue(2, c.port);
                    row.bindValue(3, c.xTitle);
                    row.bindValue(4, c.yTitle);
                    row.bindValue(5, kPoints);
                    row.exec();
                    const qlonglong id = row.lastInsertId().toLongLong();
                    if (layout == 2) {
                        QByteArray x(kPoints * 8, Qt::Uninitialized);
                        QByteArray y(kPoints * 4, Qt::Uninitialized);
                        for (int k = 0; k < kPoints; ++k) {
                            qToLittleEndian<qint64>(c.x[std::size_t(k)], x.data() + 8 * k);
                            qToLittleEndian<qint32>(c.y[std::size_t(k)], y.data() + 4 * k);
                        }
                        blob.bindValue(0, id);
                        blob.bindValue(1, x);
                        blob.bindValue(2, y);
                        blob.exec();
                        continue;
                    }
                    int k = 0;
                    for (; k + kPerInsert <= kPoints; k += kPerInsert) {
                        for (int j = 0; j < kPerInsert; ++j) {
                            many.bindValue(4 * j, id);
                            many.bindValue(4 * j + 1, k + j + 1);
                            many.bindValue(4 * j + 2, qlonglong(c.x[std::size_t(k + j)]));
                            many.bindValue(4 * j + 3, c.y[std::size_t(k + j)]);
                        }
                        many.exec();
                    }
                    for (; k < kPoints; ++k) {
                        one.bindValue(0, id);
                        one.bindValue(1, k + 1);
                        one.bindValue(2, qlonglong(c.x[std::size_t(k)]));
                        one.bindValue(3, c.y[std::size_t(k)]);
                        one.exec();
                    }
                }
                d.commit();
            }
            seconds = double(t.nsecsElapsed()) / 1e9;
            state.SetIterationTime(seconds);
            row = QSqlQuery();
            many = QSqlQuery();
            blob = QSqlQuery();
            one = QSqlQuery();
            q = QSqlQuery();
            d.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("layout"));
        Peek peek(path);
        bytesPerPoint = peek.bytesPerPoint(QStringLiteral("SELECT sum(points) FROM captures"));
    }
    state.counters["captures/s"] = double(kCaptures) / seconds;
    state.counters["B/point"] = bytesPerPoint;
}
BENCHMARK(BM_PointLayout)
    ->ArgNames({"layout", "per_tx"})
    ->ArgsProduct({{0, 1, 2}, {1, 100}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The worker on a thread of its own, as the store runs it.
struct ThreadedWorker {
    QThread thread;
    ArchiveWorker worker;
    std::atomic<std::int64_t> storedId{0};
    std::atomic<std::int64_t> removed{0};
    std::atomic<bool> opened{false};
    std::atomic<bool> failed{false};

    ThreadedWorker()
    {
        worker.moveToThread(&thread);
        QObject::connect(
            &worker, &ArchiveWorker::answered, &worker,
            [this](const ArchiveAnswer& answer) {
                if (const auto* stored = std::get_if<CapturesStored>(&answer))
                    for (const CaptureRow& r : stored->rows)
                        storedId = std::max<std::int64_t>(storedId, r.id);
                else if (const auto* gone = std::get_if<CapturesRemoved>(&answer))
                    removed += std::int64_t(gone->ids.size());
                else if (std::holds_alternative<ArchiveOpened>(answer))
                    opened = true;
            },
            Qt::DirectConnection);
        QObject::connect(
            &worker, &ArchiveWorker::failed, &worker, [this] { failed = true; }, Qt::DirectConnection);
        thread.start();
    }
    ~ThreadedWorker()
    {
        call([this] { worker.close(); }, true);
        thread.quit();
        thread.wait();
    }
    template <typename F> void call(F f, bool wait = false)
    {
        QMetaObject::invokeMethod(&worker, f, wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
    }
};

// An archive of 50,000 captures of 96 points opened with Keep 1,000, and a new capture
// handed over at once: how long the new capture waits for its commit (the benchmark's time),
// the largest write-ahead log seen meanwhile, and, once the worker is done, the file's size
// and its share of free pages.
void BM_KeepLowered(benchmark::State& state)
{
    constexpr int kBefore = 50000;
    constexpr int kKeep = 1000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.db"));
    const QString wal = path + QStringLiteral("-wal");
    {
        ArchiveWorker filler;
        filler.open(path, kBefore, 1000000, 3000);
        for (int k = 0; k < kBefore; k += 1000) {
            std::vector<CaptureData> batch;
            for (int i = 1; i <= 1000; ++i)
                batch.push_back(capture(k + i, 96));
            filler.storeCaptures(batch);
        }
        if (!filler.isOpen()) {
            state.SkipWithError("the archive failed while filling");
            return;
        }
        filler.close();
    }
    double walMax = 0;
    double fileMb = 0;
    double freeShare = 0;
    double trimSeconds = 0;
    for (auto _ : state) {
        ThreadedWorker w;
        const auto sampleWal = [&] { walMax = std::max(walMax, double(QFileInfo(wal).size()) / 1e6); };
        w.call([&] { w.worker.open(path, kKeep, 1000000, 3000); });
        while (!w.opened && !w.failed)
            QThread::msleep(1);
        QElapsedTimer t;
        t.start();
        w.call([&] { w.worker.storeCaptures({capture(kBefore + 1, 96)}); });
        while (w.storedId < kBefore + 1 && !w.failed) {
            sampleWal();
            QThread::usleep(200);
        }
        state.SetIterationTime(double(t.nsecsElapsed()) / 1e9);
        // Done when the oldest are gone and the free pages have stopped going. Another
        // connection reading all the while would keep the log from starting over, so the
        // file is looked at only once the worker says the oldest are gone, and seldom.
        while (w.removed < kBefore + 1 - kKeep && !w.failed && t.elapsed() < 120000) {
            sampleWal();
            QThread::usleep(500);
        }
        qint64 lastFree = -1;
        QElapsedTimer steady;
        steady.start();
        qint64 free = 0;
        qint64 pages = 1;
        while (!w.failed && t.elapsed() < 120000 && steady.elapsed() < 1000) {
            for (int i = 0; i < 100; ++i) {
                sampleWal();
                QThread::usleep(500);
            }
            Peek peek(path, QStringLiteral("keep-peek"));
            free = peek.value(QStringLiteral("PRAGMA freelist_count"));
            pages = peek.value(QStringLiteral("PRAGMA page_count"));
            if (free != lastFree) {
                lastFree = free;
                steady.restart();
            }
        }
        trimSeconds = double(t.elapsed() - steady.elapsed()) / 1e3;
        freeShare = 100.0 * double(free) / double(pages);
        if (w.failed)
            state.SkipWithError("the archive failed");
    }
    fileMb = double(QFileInfo(path).size()) / 1e6;
    state.counters["wal_max_MB"] = walMax;
    state.counters["file_MB"] = fileMb;
    state.counters["free_pages_%"] = freeShare;
    state.counters["trimmed_after_s"] = trimSeconds;
}
BENCHMARK(BM_KeepLowered)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

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
