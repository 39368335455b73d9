// The archive file: what is stored comes back after a re-open, a capture that grows keeps
// its entry, Keep drops the oldest, notes and deletions stick, numbers are never given twice;
// a kill right after a store, or a second after a point arrived, loses nothing; a read-only
// folder and a corrupt file are reported once; older files are migrated; a locked file only
// delays what waits, within a bound, and a close says what it could not write.
#include "archive/ArchiveStore.h"
#include "archive/ArchiveWorker.h"
#include "archive/CaptureExport.h"
#include "archive/CaptureListModel.h"
#include "archive/CaptureRecorder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool waitFor(const std::function<bool()>& done, int ms = 30000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

CaptureData capture(std::int64_t key, int points, int first = 0)
{
    CaptureData c;
    c.key = key;
    c.started = QStringLiteral("2026-12-08T10:51:02.125Z");
    c.ended = QStringLiteral("2026-12-08T10:51:03.500Z");
    c.port = QStringLiteral("/dev/pts/3");
    c.xTitle = QStringLiteral("mS");
    c.yTitle = QStringLiteral("t \u00B0C");
    for (int i = 0; i < points; ++i) {
        c.x.push_back(std::int64_t(i) * 3000000000LL); // beyond 32 bits
        c.y.push_back(first + i * (i % 2 ? -1 : 1));
    }
    return c;
}

// What the store says, collected.
struct Listener {
    std::vector<std::pair<CaptureRow, bool>> stored;
    std::vector<std::vector<CaptureRow>> listed;
    std::vector<std::int64_t> removed;
    int removals = 0; // signals
    std::vector<StoredCapture> loaded;
    QStringList failures;

    explicit Listener(ArchiveStore& s)
    {
        QObject::connect(&s, &ArchiveStore::captureStored,
            [this](const CaptureRow& r, bool first) { stored.emplace_back(r, first); });
        onArchiveAnswer<CapturesListed>(s, [this](const CapturesListed& r) { listed.push_back(r.rows); });
        onArchiveAnswer<CapturesRemoved>(s, [this](const CapturesRemoved& r) {
            removed.insert(removed.end(), r.ids.begin(), r.ids.end());
            ++removals;
        });
        onArchiveAnswer<CaptureLoaded>(s, [this](const CaptureLoaded& r) { loaded.push_back(r.capture); });
        QObject::connect(&s, &ArchiveStore::failed, [this](const QString& m) { failures << m; });
    }
};

// A connection of the test's own, as another program (sqlite3) would open the file.
class Peek {
public:
    explicit Peek(const QString& path, const QString& name = QStringLiteral("peek"))
        : name_(name)
    {
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db_.setDatabaseName(path);
        db_.open();
    }
    ~Peek()
    {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(name_);
    }
    QVariant value(const QString& sql)
    {
        QSqlQuery q(db_);
        if (!q.exec(sql) || !q.next())
            return QStringLiteral("error: ") + q.lastError().text();
        return q.value(0);
    }
    // A capture's points as the file's layout says: x 64-bit, y 32-bit, little-endian.
    std::pair<std::vector<std::int64_t>, std::vector<std::int32_t>> points(std::int64_t id)
    {
        const QByteArray x
            = value(QStringLiteral("SELECT x FROM capture_data WHERE capture_id = %1").arg(id)).toByteArray();
        const QByteArray y
            = value(QStringLiteral("SELECT y FROM capture_data WHERE capture_id = %1").arg(id)).toByteArray();
        std::pair<std::vector<std::int64_t>, std::vector<std::int32_t>> p;
        for (qsizetype i = 0; i + 8 <= x.size(); i += 8) {
            std::uint64_t v = 0;
            for (int b = 7; b >= 0; --b)
                v = v << 8 | std::uint8_t(x[i + b]);
            p.first.push_back(std::int64_t(v));
        }
        for (qsizetype i = 0; i + 4 <= y.size(); i += 4) {
            std::uint32_t v = 0;
            for (int b = 3; b >= 0; --b)
                v = v << 8 | std::uint8_t(y[i + b]);
            p.second.push_back(std::int32_t(v));
        }
        return p;
    }
    QSqlDatabase& db() { return db_; }

private:
    QString name_;
    QSqlDatabase db_;
};

} // namespace

TEST(ArchiveStore, CapturesComeBackAfterAReopenAndAGrowingCaptureKeepsItsEntry)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("OrvikArchive.db"));
    {
        ArchiveStore store;
        Listener l(store);
        store.open(path, 100);
        ASSERT_TRUE(waitFor([&] { return l.listed.size() == 1; }));
        EXPECT_TRUE(l.listed[0].empty());
        store.storeCapture(capture(1, 3));
        store.storeCapture(capture(2, 10003, -5000));
        ASSERT_TRUE(waitFor([&] { return l.stored.size() == 2; }));
        store.storeCapture(capture(1, 7)); // grew after its first store
        ASSERT_TRUE(waitFor([&] { return l.stored.size() == 3; }));
        EXPECT_TRUE(l.stored[0].second);
        EXPECT_TRUE(l.stored[1].second);
        EXPECT_FALSE(l.stored[2].second);
        EXPECT_EQ(l.stored[2].first.id, l.stored[0].first.id);
        EXPECT_EQ(l.stored[2].first.points, 7);
        EXPECT_TRUE(l.failures.isEmpty()) << l.failures.join('\n').toStdString();
        store.close();
    }
    {
        Peek peek(path);
        EXPECT_EQ(peek.value(QStringLiteral("PRAGMA user_version")).toInt(), ArchiveWorker::kSchemaVersion);
        EXPECT_EQ(peek.value(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
        EXPECT_EQ(peek.value(QStringLiteral("PRAGMA auto_vacuum")).toInt(), 2); // incremental
        EXPECT_EQ(
            peek.value(QStringLiteral("SELECT sum(length(y)) / 4 FROM capture_data")).toInt(), 7 + 10003);
        const auto [x, y] = peek.points(1);
        ASSERT_EQ(x.size(), 7u);
        EXPECT_EQ(x[6], 6 * 3000000000LL);
        EXPECT_EQ(y, capture(1, 7).y);
        EXPECT_EQ(peek.value(QStringLiteral("SELECT group_concat(name) FROM pragma_table_info('captures')"))
                      .toString(),
            QStringLiteral(
                "id,started,ended,port,x_title,y_title,points,note,event,event_time,peak,peak_to_peak,rms,"
                "frequency,origin"));
        EXPECT_EQ(
            peek.value(QStringLiteral("SELECT group_concat(name) FROM pragma_table_info('capture_data')"))
                .toString(),
            QStringLiteral("capture_id,x,y"));
    }
    ArchiveStore store;
    Listener l(store);
    store.open(path, 100);
    ASSERT_TRUE(waitFor([&] { return l.listed.size() == 1; }));
    const auto& rows = l.listed[0];
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].id, 2); // newest first
    EXPECT_EQ(rows[1].points, 7);
    EXPECT_EQ(rows[1].yTitle, QStringLiteral("t \u00B0C"));
    EXPECT_EQ(rows[1].started, QStringLiteral("2026-12-08T10:51:02.125Z"));
    EXPECT_EQ(rows[1].note, QString());
    store.ask(LoadCapture{2, 0});
    ASSERT_TRUE(waitFor([&] { return l.loaded.size() == 1; }));
    const CaptureData sent = capture(2, 10003, -5000);
    EXPECT_EQ(l.loaded[0].x, sent.x);
    EXPECT_EQ(l.loaded[0].y, sent.y);
}

// The table of requests tells the truth: each request, asked of a working archive in the
// order the window would, is answered by the answer its entry names, once, in order.
TEST(ArchiveStore, EveryRequestOfTheTableIsAnsweredByItsOwnAnswer)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("OrvikArchive.db"));
    ArchiveStore store;
    Listener l(store);
    store.open(path, 100);
    ASSERT_TRUE(waitFor([&] { return l.listed.size() == 1; }));
    store.storeCapture(capture(1, 5));
    ASSERT_TRUE(waitFor([&] { return l.stored.size() == 1; }));
    const std::int64_t id = l.stored[0].first.id;

    const auto csv = [](const std::vector<JournalRow>&, bool) { return QByteArray("time\n"); };
    const std::vector<ArchiveRequest> table{OpenArchive{path, 100, 1000, 3000}, ListCaptures{},
        LoadCapture{id, 7}, SetNote{id, QStringLiteral("след ремонта")},
        ExportCapture{id, ExportFormat::Csv, dir.filePath(QStringLiteral("one.csv"))},
        ImportComtrade{dir.filePath(QStringLiteral("none.cfg"))}, QueryJournal{{}, 10, 5, {}},
        ExportJournal{{}, dir.filePath(QStringLiteral("journal.csv")), csv, 6}, DeleteCapture{id}};
    static_assert(std::variant_size_v<ArchiveRequest> == 9, "a new request: add it to this table");
    std::vector<std::size_t> expected;
    for (const ArchiveRequest& request : table)
        expected.push_back(std::visit(
            [](const auto& r) { return ArchiveAnswer(typename std::decay_t<decltype(r)>::Answer{}).index(); },
            request));
    std::vector<std::size_t> answers;
    bool openListing = false;
    QObject::connect(&store, &ArchiveStore::answered, [&](const ArchiveAnswer& a) {
        // Unasked: an open lists the captures after it says it opened.
        if (std::exchange(openListing, std::holds_alternative<ArchiveOpened>(a))
            && std::holds_alternative<CapturesListed>(a))
            return;
        answers.push_back(a.index());
    });
    for (const ArchiveRequest& request : table)
        store.ask(request);
    ASSERT_TRUE(waitFor([&] { return answers.size() >= expected.size(); }));
    EXPECT_EQ(answers, expected);
    ASSERT_EQ(l.loaded.size(), 1u);
    EXPECT_EQ(l.loaded[0].x, capture(1, 5).x);
    EXPECT_EQ(l.removed, std::vector<std::int64_t>{id});
}

// A COMTRADE record is read on the archive's thread and each analog channel stored as a
// capture, not announced to the journal; a broken record is refused with its line and stores
// nothing.
TEST(ArchiveStore, AComtradeRecordBecomesCapturesAndABrokenOneIsRefused)
{
    QTemporaryDir dir;
    ArchiveStore store;
    Listener l(store);
    std::vector<ImportResult> results;
    onArchiveAnswer<ImportResult>(store, [&](const ImportResult& r) { results.push_back(r); });
    store.open(dir.filePath(QStringLiteral("OrvikArchive.db")), 100);
    ASSERT_TRUE(waitFor([&] { return l.listed.size() == 1; }));

    StoredCapture original;
    original.row.started = QStringLiteral("2026-12-08T10:51:02.125Z");
    original.row.port = QStringLiteral("/dev/ttyUSB0");
    original.row.xTitle = QStringLiteral("mS");
    original.row.yTitle = QStringLiteral("A");
    for (int i = 0; i < 500; ++i) {
        original.x.push_back(i);
        original.y.push_back((i * 7919) % 4001 - 2000);
    }
    const QString cfg = dir.filePath(QStringLiteral("fault.cfg"));
    ASSERT_EQ(exportCapture(original, ExportFormat::Comtrade2013, cfg).outcome, ExportOutcome::Written);
    QFile broken(dir.filePath(QStringLiteral("broken.cfg")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("Station,Device,1999\r\n1,1B,0D\r\n");
    broken.close();

    store.ask(ImportComtrade{cfg});
    store.ask(ImportComtrade{broken.fileName()});
    store.ask(ImportComtrade{dir.filePath(QStringLiteral("fault.dat"))}); // the .dat chosen: its .cfg is read
    ASSERT_TRUE(waitFor([&] { return results.size() == 3; }));
    ASSERT_TRUE(results[0].error.isEmpty()) << results[0].error.toStdString();
    ASSERT_EQ(results[0].ids.size(), 1u);
    EXPECT_EQ(results[0].points, 500);
    EXPECT_TRUE(results[1].error.contains(QStringLiteral("broken.cfg, ред 2, поле 2")))
        << results[1].error.toStdString();
    EXPECT_TRUE(results[1].ids.empty());
    EXPECT_TRUE(results[2].error.isEmpty()) << results[2].error.toStdString();

    ASSERT_EQ(l.stored.size(), 2u);
    const CaptureRow& row = l.stored[0].first;
    EXPECT_FALSE(l.stored[0].second); // no journal row claims it was captured now
    EXPECT_EQ(row.id, results[0].ids[0]);
    EXPECT_EQ(row.port, QStringLiteral("COMTRADE Orvik /dev/ttyUSB0"));
    EXPECT_EQ(row.note, QStringLiteral("I"));
    EXPECT_EQ(row.started, original.row.started);
    EXPECT_EQ(row.yTitle, QStringLiteral("A"));
    EXPECT_EQ(row.xTitle, QStringLiteral("\u00B5S"));
    store.ask(LoadCapture{row.id, 0});
    ASSERT_TRUE(waitFor([&] { return l.loaded.size() == 1; }));
    EXPECT_EQ(l.loaded[0].y, original.y);
    for (std::size_t i = 0; i < original.x.size(); ++i)
        ASSERT_EQ(l.loaded[0].x[i], original.x[i] * 1000);
    EXPECT_TRUE(l.failures.isEmpty());
}

TEST(ArchiveStore, KeepDropsTheOldestNotesAndDeletionsStick)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.db"));
    ArchiveStore store;
    Listener l(store);
    store.open(path, 3);
    // One batch: the two oldest are gone by its commit and never announced as stored.
    for (int k = 1; k <= 5; ++k)
        store.storeCapture(capture(k, 4));
    ASSERT_TRUE(waitFor([&] { return l.removed.size() == 2; }));
    std::sort(l.removed.begin(), l.removed.end());
    EXPECT_EQ(l.removed, (std::vector<std::int64_t>{1, 2}));
    ASSERT_EQ(l.stored.size(), 3u);
    EXPECT_EQ(l.stored[0].first.id, 3);
    store.storeCapture(capture(1, 6)); // capture 1 grew after Keep dropped it: it stays gone
    store.ask(SetNote{4, QStringLiteral("след ремонта")});
    store.ask(DeleteCapture{3});
    store.ask(ListCaptures{});
    ASSERT_TRUE(waitFor([&] { return l.listed.size() == 2; }));
    const auto& rows = l.listed[1];
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].id, 5);
    EXPECT_EQ(rows[1].id, 4);
    EXPECT_EQ(rows[1].note, QStringLiteral("след ремонта"));
    store.close();
    Peek peek(path);
    EXPECT_EQ(peek.value(QStringLiteral("SELECT group_concat(capture_id) FROM capture_data")).toString(),
        QStringLiteral("4,5"));
}

TEST(ArchiveStore, NumbersOnlyGrowSoADeleteAndAStoreInOneRefreshBothShow)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.db"));
    ArchiveStore store;
    Listener l(store);
    CaptureListModel list({"№", "Начало", "Точки", "Оси", "Порт", "Бележка"});
    // As the page does: what was stored and removed meanwhile goes in as one batch.
    const auto refresh = [&] {
        std::vector<CaptureRow> rows;
        for (const auto& [row, first] : std::exchange(l.stored, {}))
            rows.push_back(row);
        list.apply(rows, std::exchange(l.removed, {}));
        std::vector<std::int64_t> ids;
        for (int r = 0; r < list.rowCount(); ++r)
            ids.push_back(list.rowAt(r)->id);
        return ids;
    };
    for (int round = 0; round < 2; ++round) {
        store.open(path, 10);
        ASSERT_TRUE(waitFor([&] { return l.listed.size() == std::size_t(round + 1); }));
        list.setRows(l.listed.back());
        store.storeCapture(capture(1, 3));
        ASSERT_TRUE(waitFor([&] { return l.stored.size() == 1; }));
        const std::int64_t newest = l.stored[0].first.id;
        refresh();
        store.ask(DeleteCapture{newest});
        store.storeCapture(capture(2, 4));
        ASSERT_TRUE(waitFor([&] { return l.removed.size() == 1 && l.stored.size() == 1; }));
        EXPECT_EQ(l.stored[0].first.id, newest + 1) << "round " << round;
        const auto expected = round == 0 ? std::vector<std::int64_t>{2} : std::vector<std::int64_t>{4, 2};
        EXPECT_EQ(refresh(), expected) << "round " << round;
        store.close(); // the highest number is kept in the file
    }
    EXPECT_TRUE(l.failures.isEmpty()) << l.failures.join('\n').toStdString();
}

TEST(ArchiveStore, ALoweredKeepAppliesAtOpenInShortStepsAndTheFileShrinks)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.db"));
    {
        ArchiveWorker worker;
        worker.open(path, 1000, 1000, 3000);
        for (int k = 0; k < 300; k += 10) {
            std::vector<CaptureData> batch;
            for (int i = 1; i <= 10; ++i)
                batch.push_back(capture(k + i, 2000, k + i));
            worker.storeCaptures(batch);
        }
        ASSERT_TRUE(worker.isOpen());
    }
    const qint64 before = QFileInfo(path).size();
    ArchiveStore store;
    Listener l(store);
    store.open(path, 10);
    // Nothing stored yet: the lowered Keep is applied by the open itself, a few hundred
    // thousand points per transaction.
    ASSERT_TRUE(waitFor([&] { return l.removed.size() == 290; }));
    EXPECT_GT(l.removals, 1);
    ASSERT_EQ(l.listed.size(), 1u);
    ASSERT_EQ(l.listed[0].size(), 10u);
    EXPECT_EQ(l.listed[0].back().id, 291);
    store.storeCapture(capture(1, 5));
    ASSERT_TRUE(waitFor([&] { return l.stored.size() == 1 && l.removed.size() == 291; }));
    EXPECT_EQ(l.stored[0].first.id, 301);
    {
        Peek peek(path);
        EXPECT_TRUE(
            waitFor([&] { return peek.value(QStringLiteral("PRAGMA freelist_count")).toInt() == 0; }));
        EXPECT_EQ(peek.value(QStringLiteral("SELECT count(*) FROM captures")).toInt(), 10);
        EXPECT_EQ(peek.value(QStringLiteral("SELECT min(capture_id) FROM capture_data")).toInt(), 292);
    }
    store.close();
    EXPECT_LT(QFileInfo(path).size(), before / 10);
    EXPECT_TRUE(l.failures.isEmpty()) << l.failures.join('\n').toStdString();
}

TEST(ArchiveStore, ACorruptFileIsReportedOnceAndTheArchiveTurnsOff)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.db"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(8192, '\x5a'));
    f.close();
    ArchiveStore store;
    Listener l(store);
    store.open(path, 10);
    store.storeCapture(capture(1, 3));
    ASSERT_TRUE(waitFor([&] { return !l.failures.isEmpty(); }));
    store.storeCapture(capture(2, 3));
    store.ask(ListCaptures{});
    store.close(); // every request has been handled
    QCoreApplication::processEvents();
    EXPECT_EQ(l.failures.size(), 1);
    EXPECT_FALSE(store.isOn());
    EXPECT_TRUE(l.stored.empty());
    EXPECT_EQ(f.size(), 8192); // left as it was
}

TEST(ArchiveStore, AFileLockedByAnotherProgramIsSaidAfterTheBusyWaitAndDoesNotTurnTheArchiveOff)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.db"));
    Peek other(path);
    QSqlQuery q(other.db());
    ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
    ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE t(x)")));
    ASSERT_TRUE(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
    ArchiveStore store;
    Listener l(store);
    store.open(path, 10, ArchiveStore::kDefaultJournalKeep, 100);
    store.storeCapture(capture(1, 3));
    ASSERT_TRUE(waitFor([&] { return !store.notWriting().isEmpty(); }));
    EXPECT_TRUE(store.isOn());
    EXPECT_TRUE(store.notWriting().contains(QStringLiteral("locked"))) << store.notWriting().toStdString();
    const ArchiveStore::Unstored lost = store.close(QDateTime::currentMSecsSinceEpoch());
    QCoreApplication::processEvents();
    EXPECT_TRUE(l.failures.isEmpty());
    EXPECT_EQ(lost.captures, 1);
    ASSERT_TRUE(q.exec(QStringLiteral("ROLLBACK")));

    // Once the other program lets go, opening again works.
    q.finish();
    q.exec(QStringLiteral("PRAGMA locking_mode=NORMAL"));
    q.exec(QStringLiteral("SELECT 1")); // the lock goes with the next read
    other.db().close();
    Listener again(store);
    store.open(path, 10);
    store.storeCapture(capture(1, 3));
    ASSERT_TRUE(waitFor([&] { return again.stored.size() == 1 || !again.failures.isEmpty(); }));
    EXPECT_TRUE(again.failures.isEmpty()) << again.failures.join('\n').toStdString();
}

namespace {

// Opens the file with a worker on this thread; true when the open was refused.
bool openIsRefused(const QString& path)
{
    ArchiveWorker worker;
    bool failed = false;
    QObject::connect(&worker, &ArchiveWorker::failed, [&](const QString&) { failed = true; });
    worker.open(path, 10, 1000, 100);
    CaptureData c = capture(1, 2);
    worker.storeCaptures({c});
    return failed && !worker.isOpen();
}

// This test program again, running one test with `env` set, its standard output the read end
// fds[0] (fds[1] is closed here); `asNobody`: as the user without rights. A new program, not
// a fork that goes on: a fork of a threaded program can inherit a lock held by another thread
// and hang.
pid_t startChild(const char* test, const QByteArray& env, int fds[2], bool asNobody = false)
{
    if (pipe(fds) != 0)
        return -1;
    const QByteArray self = QCoreApplication::applicationFilePath().toLocal8Bit();
    const QByteArray filter = QByteArray("--gtest_filter=") + test;
    const pid_t pid = fork();
    if (pid == 0) {
        if (asNobody && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(126);
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        char* argv[] = {const_cast<char*>(self.constData()), const_cast<char*>(filter.constData()), nullptr};
        char* envp[]
            = {const_cast<char*>(env.constData()), const_cast<char*>("QT_QPA_PLATFORM=offscreen"), nullptr};
        execve(argv[0], argv, envp);
        _exit(127);
    }
    close(fds[1]);
    return pid;
}

// Root writes anywhere: the check runs in a child that gave up root first.
bool refusedWithoutRoot(const QString& path)
{
    if (geteuid() != 0)
        return openIsRefused(path);
    int fds[2];
    const pid_t pid
        = startChild("ArchiveReadOnly.Child", "ORVIK_ARCHIVE_REFUSED_DB=" + path.toLocal8Bit(), fds, true);
    if (pid <= 0)
        return false;
    // Its report is read to the end, so that it never writes into a closed pipe.
    QByteArray report;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) != 0;)
        if (n > 0)
            report.append(buf, n);
        else if (errno != EINTR)
            break;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const bool refused = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!refused)
        ADD_FAILURE() << "as nobody: status " << status << "\n" << report.toStdString();
    return refused;
}

} // namespace

TEST(ArchiveStore, AReadOnlyFolderIsRefusedForANewFileAndForAnExistingOne)
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("existing.db"));
    {
        ArchiveStore store;
        Listener l(store);
        store.open(existing, 10);
        store.storeCapture(capture(1, 3));
        ASSERT_TRUE(waitFor([&] { return l.stored.size() == 1; }));
    }
    ASSERT_FALSE(QFile::exists(existing + QStringLiteral("-wal")));
    // Readable for everyone, writable for nobody: the write-ahead log needs the folder too.
    QFile::setPermissions(existing,
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup
            | QFile::WriteGroup);
    ASSERT_TRUE(QFile::setPermissions(dir.path(),
        QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup
            | QFile::ExeGroup));
    EXPECT_TRUE(refusedWithoutRoot(existing));
    EXPECT_TRUE(refusedWithoutRoot(dir.filePath(QStringLiteral("new.db"))));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Runs only as the child of refusedWithoutRoot, as the user without rights.
TEST(ArchiveReadOnly, Child)
{
    const QString path = qEnvironmentVariable("ORVIK_ARCHIVE_REFUSED_DB");
    if (path.isEmpty())
        GTEST_SKIP() << "started by ArchiveStore.AReadOnlyFolderIsRefusedForANewFileAndForAnExistingOne";
    EXPECT_TRUE(openIsRefused(path));
}

// Runs only as the child of the test below: stores captures until it is killed.
TEST(ArchiveKill, Child)
{
    const QString path = qEnvironmentVariable("ORVIK_ARCHIVE_KILL_DB");
    if (path.isEmpty())
        GTEST_SKIP() << "started by ArchiveKill.CapturesStoredBeforeAKillAreAllThere";
    ArchiveStore store;
    std::int64_t stored = 0;
    QObject::connect(&store, &ArchiveStore::captureStored, [&](const CaptureRow& row, bool) {
        stored = row.id;
        std::printf("stored %lld\n", static_cast<long long>(row.id));
        std::fflush(stdout);
    });
    store.open(path, 1000);
    for (std::int64_t k = 1;; ++k) {
        store.storeCapture(capture(k, 2000, int(k)));
        waitFor([&] { return stored == k; }, 10000);
    }
}

TEST(ArchiveKill, CapturesStoredBeforeAKillAreAllThere)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.db"));
    int fds[2];
    const pid_t pid = startChild("ArchiveKill.Child", "ORVIK_ARCHIVE_KILL_DB=" + path.toLocal8Bit(), fds);
    ASSERT_GT(pid, 0);
    // Kill it right after its third capture was reported stored.
    QByteArray out;
    long long lastStored = 0;
    while (lastStored < 3) {
        pollfd p{fds[0], POLLIN, 0};
        ASSERT_GT(poll(&p, 1, 30000), 0) << "child said nothing";
        char buf[256];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        ASSERT_GT(n, 0) << "child ended: " << out.data();
        out.append(buf, n);
        for (const QByteArray& line : out.split('\n')) {
            if (line.startsWith("stored "))
                lastStored = std::max(lastStored, line.mid(7).toLongLong());
        }
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(fds[0]);
    EXPECT_TRUE(WIFSIGNALED(status));

    Peek peek(path);
    EXPECT_EQ(peek.value(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    EXPECT_GE(peek.value(QStringLiteral("SELECT count(*) FROM captures")).toLongLong(), lastStored);
    for (long long id = 1; id <= lastStored; ++id) {
        const auto [x, y] = peek.points(id);
        EXPECT_EQ(x.size(), 2000u);
        ASSERT_EQ(y.size(), 2000u);
        EXPECT_EQ(y[0], id);
    }
}

// Runs only as the child of the test below: a capture that grows, fed as the window's view
// feeds the recorder, then nothing more until it is killed.
TEST(ArchiveKill, GrowingChild)
{
    const QString path = qEnvironmentVariable("ORVIK_ARCHIVE_GROWING_DB");
    if (path.isEmpty())
        GTEST_SKIP() << "started by ArchiveKill.AGrowingCaptureIsInTheFileWithinHalfASecond";
    ArchiveStore store;
    CaptureRecorder recorder;
    QObject::connect(&recorder, &CaptureRecorder::captureReady, &store, &ArchiveStore::storeCapture);
    bool listed = false;
    onArchiveAnswer<CapturesListed>(store, [&](const CapturesListed&) { listed = true; });
    store.open(path, 1000);
    waitFor([&] { return listed; });
    for (int i = 0; i < 100; ++i)
        recorder.addPoint(i, i * 7);
    waitFor([] { return false; }, 300);
    for (int i = 100; i < 200; ++i)
        recorder.addPoint(i, i * 7);
    std::printf("fed\n");
    std::fflush(stdout);
    waitFor([] { return false; }, 60000);
}

TEST(ArchiveKill, AGrowingCaptureIsInTheFileWithinHalfASecond)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.db"));
    int fds[2];
    const pid_t pid
        = startChild("ArchiveKill.GrowingChild", "ORVIK_ARCHIVE_GROWING_DB=" + path.toLocal8Bit(), fds);
    ASSERT_GT(pid, 0);
    QByteArray out;
    while (!out.contains("fed\n")) {
        pollfd p{fds[0], POLLIN, 0};
        ASSERT_GT(poll(&p, 1, 30000), 0) << "child said nothing";
        char buf[256];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        ASSERT_GT(n, 0) << "child ended: " << out.data();
        out.append(buf, n);
    }
    QElapsedTimer sinceFed;
    sinceFed.start();
    {
        Peek peek(path);
        while (peek.value(QStringLiteral("SELECT sum(points) FROM captures")).toInt() < 200
            && sinceFed.elapsed() < 10000)
            QThread::msleep(5);
        // Due within half a second; the quiet rule alone would write it after 2.2 s, and the
        // margin between is for a sanitized build on a loaded machine.
        EXPECT_LT(sinceFed.elapsed(), 1500);
    }
    while (sinceFed.elapsed() < 1000)
        QThread::msleep(5);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(fds[0]);
    EXPECT_TRUE(WIFSIGNALED(status));

    Peek peek(path);
    EXPECT_EQ(peek.value(QStringLiteral("SELECT count(*) FROM captures")).toInt(), 1);
    const auto [x, y] = peek.points(1);
    ASSERT_EQ(y.size(), 200u);
    EXPECT_EQ(x[199], 199);
    EXPECT_EQ(y[199], 199 * 7);
}

namespace {

JournalRow journalRow(const char* kind, int n)
{
    JournalRow r;
    r.kind = QString::fromLatin1(kind);
    r.subject = QStringLiteral("RK%1").arg(n % 3 + 1);
    r.value = QString::number(n);
    r.text = QStringLiteral("Събитие %1").arg(n);
    return r;
}

struct JournalListener {
    std::vector<JournalRow> appended;
    std::vector<std::vector<JournalRow>> queried;
    explicit JournalListener(ArchiveStore& s)
    {
        QObject::connect(&s, &ArchiveStore::journalAppended, [this](const std::vector<JournalRow>& rows) {
            appended.insert(appended.end(), rows.begin(), rows.end());
        });
        onArchiveAnswer<JournalQueried>(s, [this](const JournalQueried& r) { queried.push_back(r.rows); });
    }
};

} // namespace

TEST(ArchiveJournal, AVersionOneArchiveGainsTheJournalAndKeepsItsCaptures)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.db"));
    {
        Peek old(path);
        QSqlQuery q(old.db());
        for (const char* sql :
            {"CREATE TABLE captures(id INTEGER PRIMARY KEY, started TEXT, ended TEXT, port TEXT, "
             "x_title TEXT, y_title TEXT, points INTEGER, note TEXT)",
                "CREATE TABLE capture_points(capture_id INTEGER, k INTEGER, x INTEGER, y INTEGER, "
                "PRIMARY KEY(capture_id, k))",
                "INSERT INTO captures VALUES(1, '2026-01-02T03:04:05.006Z', '2026-01-02T03:04:06.000Z', "
                "'/dev/ttyS0', 'mS', 'V', 1, 'стар')",
                "INSERT INTO capture_points VALUES(1, 1, 0, 42)", "PRAGMA user_version=1"})
            ASSERT_TRUE(q.exec(QString::fromUtf8(sql))) << sql;
    }
    ArchiveStore store;
    Listener l(store);
    JournalListener j(store);
    store.open(path, 10);
    ASSERT_TRUE(waitFor([&] { return l.listed.size() == 1 || !l.failures.isEmpty(); }));
    ASSERT_EQ(l.listed.at(0).size(), 1u);
    EXPECT_EQ(l.listed[0][0].note, QStringLiteral("стар"));
    store.appendJournal(journalRow("event", 1));
    ASSERT_TRUE(waitFor([&] { return j.appended.size() == 1; }));
    EXPECT_EQ(j.appended[0].id, 1);
    EXPECT_TRUE(j.appended[0].time.endsWith(QLatin1Char('Z')));
    store.close();
    Peek peek(path);
    EXPECT_EQ(peek.value(QStringLiteral("PRAGMA user_version")).toInt(), ArchiveWorker::kSchemaVersion);
    EXPECT_EQ(
        peek.value(QStringLiteral("SELECT group_concat(name) FROM pragma_table_info('journal')")).toString(),
        QStringLiteral("id,time,kind,subject,value,text,origin"));
    EXPECT_EQ(peek.points(1).second, std::vector<std::int32_t>{42});
}

TEST(ArchiveJournal, AVersionTwoArchiveKeepsItsPointsAndEveryNumberItGave)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.db"));
    {
        // Captures 2 and 4 were deleted; the journal still names them.
        Peek old(path);
        QSqlQuery q(old.db());
        for (const char* sql :
            {"CREATE TABLE captures(id INTEGER PRIMARY KEY, started TEXT, ended TEXT, port TEXT, "
             "x_title TEXT, y_title TEXT, points INTEGER, note TEXT)",
                "CREATE TABLE capture_points(capture_id INTEGER, k INTEGER, x INTEGER, y INTEGER, "
                "PRIMARY KEY(capture_id, k))",
                "CREATE TABLE journal(id INTEGER PRIMARY KEY, time TEXT, kind TEXT, subject TEXT, value "
                "TEXT, "
                "text TEXT)",
                "CREATE INDEX journal_kind ON journal(kind, id)",
                "INSERT INTO captures VALUES(1, 'a', 'b', '/dev/ttyS0', 'mS', 'V', 2, 'първи')",
                "INSERT INTO captures VALUES(3, 'c', 'd', '/dev/ttyS0', 'S', 'A', 3, '')",
                "INSERT INTO capture_points VALUES(1, 2, 10, -2), (1, 1, 0, 1)",
                "INSERT INTO capture_points VALUES(3, 1, 0, 2147483647), (3, 2, 6000000000, -2147483648), "
                "(3, 3, -1, 0)",
                "INSERT INTO journal(time, kind, subject, value, text) VALUES('t', 'capture', '1', '2', ''), "
                "('t', 'capture', '2', '5', ''), ('t', 'capture', '3', '3', ''), ('t', 'capture', '4', '1', "
                "''), "
                "('t', 'event', '77', '', '')",
                "PRAGMA user_version=2"})
            ASSERT_TRUE(q.exec(QString::fromUtf8(sql))) << sql;
    }
    ArchiveStore store;
    Listener l(store);
    store.open(path, 10);
    ASSERT_TRUE(waitFor([&] { return l.listed.size() == 1 || !l.failures.isEmpty(); }));
    ASSERT_EQ(l.listed.at(0).size(), 2u);
    EXPECT_EQ(l.listed[0][1].note, QStringLiteral("първи"));
    store.ask(LoadCapture{3, 0});
    store.ask(LoadCapture{1, 0});
    store.storeCapture(capture(1, 2));
    // The old captures' rows come again once measured; the new capture is the one stored first.
    const auto stored = [&] {
        return std::find_if(l.stored.begin(), l.stored.end(), [](const auto& s) { return s.second; });
    };
    ASSERT_TRUE(waitFor([&] { return l.loaded.size() == 2 && stored() != l.stored.end(); }));
    EXPECT_EQ(l.loaded[0].x, (std::vector<std::int64_t>{0, 6000000000LL, -1}));
    EXPECT_EQ(l.loaded[0].y, (std::vector<std::int32_t>{2147483647, -2147483647 - 1, 0}));
    EXPECT_EQ(l.loaded[1].x, (std::vector<std::int64_t>{0, 10}));
    EXPECT_EQ(l.loaded[1].y, (std::vector<std::int32_t>{1, -2}));
    EXPECT_EQ(stored()->first.id, 5);
    store.close();
    Peek peek(path);
    EXPECT_EQ(peek.value(QStringLiteral("PRAGMA user_version")).toInt(), ArchiveWorker::kSchemaVersion);
    EXPECT_EQ(peek.value(QStringLiteral("PRAGMA auto_vacuum")).toInt(), 2);
    EXPECT_EQ(peek.value(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'capture_points'"))
                  .toInt(),
        0);
    EXPECT_EQ(peek.value(QStringLiteral("SELECT count(*) FROM journal")).toInt(), 5);
}

TEST(ArchiveJournal, TheNewestRowsOfTheChosenKindsComeBackAndTheOldestGoBeyondJournalKeep)
{
    QTemporaryDir dir;
    ArchiveStore store;
    JournalListener j(store);
    store.open(dir.filePath(QStringLiteral("a.db")), 10, 5);
    const char* kinds[] = {"event", "limit", "reset"};
    for (int n = 1; n <= 9; ++n)
        store.appendJournal(journalRow(kinds[n % 3], n));
    ASSERT_TRUE(waitFor([&] { return j.appended.size() == 9; }));
    store.ask(QueryJournal{{QStringLiteral("event"), QStringLiteral("reset")}, 10, 1});
    store.ask(QueryJournal{{}, 2, 2});
    ASSERT_TRUE(waitFor([&] { return j.queried.size() == 2; }));
    std::vector<QString> values;
    for (const JournalRow& r : j.queried[0])
        values.push_back(r.value);
    // Rows 5 to 9 are kept; of those, the events (3, 6, 9) and resets (2, 5, 8).
    EXPECT_EQ(values, (std::vector<QString>{"9", "8", "6", "5"}));
    ASSERT_EQ(j.queried[1].size(), 2u);
    EXPECT_EQ(j.queried[1][0].value, QStringLiteral("9"));
    EXPECT_EQ(j.queried[1][0].text, QStringLiteral("Събитие 9"));
}

TEST(ArchiveJournal, AFloodBeyondTheBoundDropsTheOldestCountedAndSaidInOneRow)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.db"));
    ArchiveStore store;
    JournalListener j(store);
    store.open(path, 10);
    store.setWaitingLimit(std::size_t(4) << 20);
    constexpr int kFlood = 100000;
    // No event loop runs meanwhile, as with a burst of records in one received block.
    for (int n = 0; n < kFlood; ++n)
        store.appendJournal(journalRow("limit", n));
    const std::int64_t dropped = store.journalDropped();
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(dropped + store.waiting(), kFlood);
    const std::size_t kept = std::size_t(kFlood - dropped);
    ASSERT_TRUE(waitFor([&] { return j.appended.size() == kept + 1; })) << j.appended.size() << " " << kept;
    const JournalRow& report = j.appended.back();
    EXPECT_EQ(report.kind, QStringLiteral("error"));
    EXPECT_EQ(report.subject, QStringLiteral("archive"));
    EXPECT_EQ(report.value, QString::number(dropped));
    // The oldest went; the newest are all there.
    EXPECT_EQ(j.appended.front().value, QString::number(dropped));
    EXPECT_EQ(j.appended[kept - 1].value, QString::number(kFlood - 1));

    // Once the queue has drained, rows are taken again.
    store.appendJournal(journalRow("limit", -1));
    store.close();
    Peek peek(path);
    EXPECT_EQ(peek.value(QStringLiteral("SELECT count(*) FROM journal")).toInt(), int(kept) + 2);
}

TEST(ArchiveJournal, JournalKeepZeroWritesNoJournalButCapturesStillGoIn)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.db"));
    {
        ArchiveStore store;
        Listener l(store);
        store.open(path, 10, 0);
        store.appendJournal(journalRow("event", 1));
        store.storeCapture(capture(1, 2));
        ASSERT_TRUE(waitFor([&] { return l.stored.size() == 1; }));
    }
    Peek peek(path);
    EXPECT_EQ(peek.value(QStringLiteral("SELECT count(*) FROM journal")).toInt(), 0);
}

namespace {

// Another program writing into the file, for longer than the busy wait.
class Locker {
public:
    explicit Locker(const QString& path)
        : peek_(path, QStringLiteral("locker"))
        , q_(peek_.db())
    {
        EXPECT_TRUE(q_.exec(QStringLiteral("BEGIN IMMEDIATE")));
        EXPECT_TRUE(q_.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS other(x)")));
    }
    void release()
    {
        q_.exec(QStringLiteral("COMMIT"));
        q_.finish();
    }

private:
    Peek peek_;
    QSqlQuery q_;
};

// Warnings Qt prints meanwhile (a connection removed while its statements live on).
QStringList warnings;
void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings << message;
}

} // namespace

TEST(ArchiveStoreFailure, ALockedFileKeepsWhatWaitsInOrderAndWritesItOnceItClears)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.db"));
    {
        ArchiveStore first;
        Listener l(first);
        first.open(path, 100);
        first.storeCapture(capture(1, 3));
        ASSERT_TRUE(waitFor([&] { return l.stored.size() == 1; }));
    }
    warnings.clear();
    const QtMessageHandler before = qInstallMessageHandler(collectWarnings);
    auto locker = std::make_unique<Locker>(path);
    ArchiveStore store;
    Listener l(store);
    JournalListener j(store);
    int changes = 0;
    QObject::connect(&store, &ArchiveStore::writingChanged, [&] { ++changes; });
    store.open(path, 100, ArchiveStore::kDefaultJournalKeep, 100);
    store.storeCapture(capture(2, 5));
    store.appendJournal(journalRow("event", 1));
    store.storeCapture(capture(3, 4));
    store.storeCapture(capture(2, 6)); // grew while it waited
    store.appendJournal(journalRow("event", 2));
    ASSERT_TRUE(waitFor([&] { return !store.notWriting().isEmpty(); }));
    EXPECT_TRUE(store.notWriting().contains(QStringLiteral("locked"))) << store.notWriting().toStdString();
    EXPECT_TRUE(store.isOn());
    EXPECT_TRUE(l.failures.isEmpty());
    // It keeps trying (at 1 s, then 2 s) and keeps what waits.
    QElapsedTimer t;
    t.start();
    waitFor([&] { return t.elapsed() > 2500; }, 3000);
    EXPECT_EQ(store.waiting(), 4);
    EXPECT_FALSE(store.notWriting().isEmpty());
    EXPECT_TRUE(l.stored.empty());

    locker->release();
    ASSERT_TRUE(waitFor([&] { return store.notWriting().isEmpty() && store.waiting() == 0; }));
    ASSERT_TRUE(waitFor([&] { return j.appended.size() == 3; }));
    EXPECT_GE(changes, 2);
    ASSERT_EQ(l.stored.size(), 2u);
    EXPECT_EQ(l.stored[0].first.points, 6);
    EXPECT_EQ(l.stored[1].first.points, 4);
    EXPECT_EQ(j.appended[0].value, QStringLiteral("1"));
    EXPECT_EQ(j.appended[1].value, QStringLiteral("2"));
    const JournalRow& said = j.appended[2];
    EXPECT_EQ(said.kind, QStringLiteral("error"));
    EXPECT_EQ(said.subject, QStringLiteral("archive"));
    EXPECT_GE(said.value.toDouble(), 2.5);
    EXPECT_TRUE(said.text.contains(QStringLiteral("Чакаха 2 записа и 2 реда"))) << said.text.toStdString();
    EXPECT_TRUE(said.text.contains(QStringLiteral("locked"))) << said.text.toStdString();
    store.close();
    qInstallMessageHandler(before);
    EXPECT_TRUE(warnings.filter(QStringLiteral("still in use")).isEmpty())
        << warnings.join('\n').toStdString();

    Peek peek(path);
    EXPECT_EQ(peek.value(QStringLiteral("SELECT group_concat(points) FROM captures")).toString(),
        QStringLiteral("3,6,4"));
}

TEST(ArchiveStoreFailure, PastTheBoundTheOldestWaitingGoAndAreCountedAndACloseCountsWhatItCouldNotWrite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.db"));
    {
        ArchiveStore first;
        JournalListener j(first);
        first.open(path, 100);
        first.appendJournal(journalRow("event", 0));
        ASSERT_TRUE(waitFor([&] { return j.appended.size() == 1; }));
    }
    auto locker = std::make_unique<Locker>(path);
    ArchiveStore store;
    Listener l(store);
    JournalListener j(store);
    store.open(path, 100, ArchiveStore::kDefaultJournalKeep, 100);
    // Room for about ten captures of 1000 points.
    store.setWaitingLimit(10 * 12000 + 5000);
    for (int k = 1; k <= 25; ++k) {
        store.storeCapture(capture(k, 1000, k));
        if (k % 5 == 0)
            store.appendJournal(journalRow("limit", k));
    }
    EXPECT_EQ(store.capturesDropped() + store.journalDropped() + store.waiting(), 30);
    EXPECT_GT(store.capturesDropped(), 10);
    ASSERT_TRUE(waitFor([&] { return !store.notWriting().isEmpty(); }));
    const std::int64_t dropped = store.capturesDropped();
    const std::int64_t rowsDropped = store.journalDropped();
    locker->release();
    ASSERT_TRUE(waitFor([&] { return store.waiting() == 0 && store.notWriting().isEmpty(); }));
    ASSERT_TRUE(waitFor(
        [&] { return !j.appended.empty() && j.appended.back().subject == QStringLiteral("archive"); }));
    // The newest are there, in order; the report says what went.
    ASSERT_FALSE(l.stored.empty());
    EXPECT_EQ(l.stored.back().first.points, 1000);
    EXPECT_EQ(std::int64_t(l.stored.size()), 25 - dropped);
    // Said at once when the file still took the open, else in the failure's own row, last.
    QStringList said;
    for (const JournalRow& r : j.appended)
        if (r.subject == QStringLiteral("archive"))
            said << r.text;
    ASSERT_FALSE(said.isEmpty());
    EXPECT_TRUE(said.last().contains(QStringLiteral("Чакаха %1 записа").arg(25 - dropped)))
        << said.last().toStdString();
    const QString counts = QStringLiteral("%1 записа и %2 реда").arg(dropped).arg(rowsDropped);
    EXPECT_TRUE(said.first().startsWith(QStringLiteral("Архивът изпусна ") + counts)
        || said.last().contains(QStringLiteral("изпуснати: ") + counts))
        << said.join('\n').toStdString();

    // Closed while the file is locked again: by the deadline what waits is counted, not lost silently.
    locker.reset();
    locker = std::make_unique<Locker>(path);
    for (int k = 26; k <= 28; ++k)
        store.storeCapture(capture(k, 10, k));
    store.appendJournal(journalRow("limit", 99));
    QElapsedTimer t;
    t.start();
    const ArchiveStore::Unstored lost = store.close(QDateTime::currentMSecsSinceEpoch() + 1500);
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(lost.captures, 3);
    EXPECT_EQ(lost.rows, 1);
    EXPECT_TRUE(store.path().isEmpty());
}

TEST(ArchiveJournal, TheExportIsWrittenByTheArchiveAPageAtATimeWithTheRowsStillWaiting)
{
    QTemporaryDir dir;
    ArchiveStore store;
    JournalListener j(store);
    store.open(dir.filePath(QStringLiteral("a.db")), 10);
    const int rows = ArchiveWorker::kExportPageRows * 2 + 5;
    for (int n = 0; n < rows; ++n)
        store.appendJournal(journalRow(n % 2 ? "event" : "limit", n));
    ASSERT_TRUE(waitFor([&] { return int(j.appended.size()) == rows; }));
    store.appendJournal(journalRow("event", rows)); // not yet in the file when asked
    std::vector<int> pages;
    const auto csv = [&pages](const std::vector<JournalRow>& page, bool first) {
        pages.push_back(int(page.size())); // the worker's thread; read after the answer
        QByteArray out = first ? "value\n" : "";
        for (const JournalRow& r : page)
            out += r.value.toUtf8() + '\n';
        return out;
    };
    struct Answer {
        std::int64_t tag = 0;
        QString error;
        std::int64_t rows = 0;
    };
    std::vector<Answer> answers;
    onArchiveAnswer<JournalExported>(store, [&](const JournalExported& r) {
        answers.push_back({r.tag, r.error, r.rows});
    });
    const QString all = dir.filePath(QStringLiteral("all.csv"));
    const QString events = dir.filePath(QStringLiteral("events.csv"));
    store.ask(ExportJournal{{}, all, csv, 7});
    ASSERT_TRUE(waitFor([&] { return answers.size() == 1; }));
    store.ask(ExportJournal{{QStringLiteral("event")}, events, csv, 8});
    store.ask(ExportJournal{{}, dir.filePath(QStringLiteral("no/such/folder.csv")), csv, 9});
    ASSERT_TRUE(waitFor([&] { return answers.size() == 3; }));
    EXPECT_EQ(answers[0].tag, 7);
    EXPECT_TRUE(answers[0].error.isEmpty()) << answers[0].error.toStdString();
    EXPECT_EQ(answers[0].rows, rows + 1);
    EXPECT_EQ(pages.front(), ArchiveWorker::kExportPageRows);
    QFile f(all);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_EQ(lines.size(), rows + 3);
    EXPECT_EQ(lines[0], "value");
    for (int n = 0; n <= rows; ++n)
        ASSERT_EQ(lines[n + 1], QByteArray::number(n));
    EXPECT_EQ(answers[1].rows, (rows + 1) / 2);
    EXPECT_FALSE(answers[2].error.isEmpty());
}

TEST(ArchiveJournal, ACaptureRowComesBackAtItsStartAndOneEventKindAlone)
{
    QTemporaryDir dir;
    ArchiveStore store;
    JournalListener j(store);
    store.open(dir.filePath(QStringLiteral("a.db")), 10);
    const auto at = [](const char* kind, const char* subject, const char* time) {
        return JournalRow{0, QStringLiteral("2026-12-08T10:51:%1Z").arg(QLatin1String(time)),
            QString::fromLatin1(kind), QString::fromLatin1(subject), {}, {}};
    };
    store.appendJournal(at("event", "RK1", "10.000"));
    store.appendJournal(at("event", "RK2", "10.100"));
    store.appendJournal(at("limit", "Voltage", "10.300"));
    // Written when first stored, after the rows above, with the time its samples began.
    store.appendJournal(at("capture", "1", "10.050"));
    store.appendJournal(at("capture", "2", "10.300"));
    ASSERT_TRUE(waitFor([&] { return j.appended.size() == 5; }));
    store.ask(QueryJournal{{}, 10, 1});
    store.ask(QueryJournal{{QStringLiteral("event")}, 10, 2, QStringLiteral("RK2")});
    store.ask(QueryJournal{{}, 3, 3});
    ASSERT_TRUE(waitFor([&] { return j.queried.size() == 3; }));
    const auto subjects = [](const std::vector<JournalRow>& rows) {
        QStringList out;
        for (const JournalRow& r : rows)
            out << r.subject;
        return out.join(QLatin1Char(' '));
    };
    EXPECT_EQ(subjects(j.queried[0]), QStringLiteral("2 Voltage RK2 1 RK1"));
    EXPECT_EQ(subjects(j.queried[1]), QStringLiteral("RK2"));
    // The newest three written, in time order.
    EXPECT_EQ(subjects(j.queried[2]), QStringLiteral("2 Voltage 1"));
}

// Version 4: each capture keeps the event that started it. A version-3 archive gains the
// columns, its captures none; a capture stored with its event lists it after a re-open.
TEST(ArchiveJournal, AVersionThreeArchiveGainsTheCapturesEvents)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.db"));
    {
        Peek old(path);
        QSqlQuery q(old.db());
        for (const char* sql : {"CREATE TABLE captures(id INTEGER PRIMARY KEY AUTOINCREMENT, started TEXT, "
                                "ended TEXT, port TEXT, "
                                "x_title TEXT, y_title TEXT, points INTEGER, note TEXT)",
                 "CREATE TABLE capture_data(capture_id INTEGER PRIMARY KEY, x BLOB, y BLOB)",
                 "CREATE TABLE journal(id INTEGER PRIMARY KEY, time TEXT, kind TEXT, subject TEXT, value "
                 "TEXT, "
                 "text TEXT)",
                 "CREATE INDEX journal_kind ON journal(kind, id)",
                 "INSERT INTO captures VALUES(7, 'a', 'b', '/dev/ttyS0', 'mS', 'V', 0, 'стар')",
                 "PRAGMA user_version=3"})
            ASSERT_TRUE(q.exec(QString::fromUtf8(sql))) << sql;
    }
    for (int run = 0; run < 2; ++run) {
        ArchiveStore store;
        Listener l(store);
        store.open(path, 10);
        ASSERT_TRUE(waitFor([&] { return l.listed.size() == 1 || !l.failures.isEmpty(); }));
        ASSERT_TRUE(l.failures.isEmpty()) << l.failures.join('\n').toStdString();
        const std::vector<CaptureRow>& rows = l.listed[0];
        ASSERT_EQ(rows.size(), std::size_t(1 + run));
        EXPECT_EQ(rows.back().note, QStringLiteral("стар"));
        EXPECT_TRUE(rows.back().event.isEmpty());
        if (run == 0) {
            CaptureData c = capture(1, 3);
            c.event = QStringLiteral("RK2");
            c.eventTime = QStringLiteral("2026-12-08T10:51:01.900Z");
            store.storeCapture(c);
            ASSERT_TRUE(waitFor([&] { return l.stored.size() == 1; }));
            EXPECT_EQ(l.stored[0].first.event, QStringLiteral("RK2"));
        } else {
            EXPECT_EQ(rows[0].id, 8);
            EXPECT_EQ(rows[0].event, QStringLiteral("RK2"));
            EXPECT_EQ(rows[0].eventTime, QStringLiteral("2026-12-08T10:51:01.900Z"));
        }
        store.close();
    }
    Peek peek(path);
    EXPECT_EQ(peek.value(QStringLiteral("PRAGMA user_version")).toInt(), ArchiveWorker::kSchemaVersion);
    EXPECT_EQ(peek.value(QStringLiteral("SELECT count(*) FROM captures WHERE event = '' AND event_time = ''"))
                  .toInt(),
        1);
}

// A version-4 archive gains the captures' measures: the list comes at once without them, and
// they follow from the background, the newest capture first.
TEST(ArchiveJournal, AVersionFourArchiveIsMeasuredInTheBackground)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.db"));
    const auto blobs = [](const std::vector<std::int64_t>& x, const std::vector<std::int32_t>& y) {
        QByteArray bx(qsizetype(x.size() * 8), Qt::Uninitialized);
        QByteArray by(qsizetype(y.size() * 4), Qt::Uninitialized);
        for (std::size_t i = 0; i < x.size(); ++i) {
            qToLittleEndian<qint64>(x[i], bx.data() + 8 * i);
            qToLittleEndian<qint32>(y[i], by.data() + 4 * i);
        }
        return std::pair(bx, by);
    };
    std::vector<std::int64_t> x;
    std::vector<std::int32_t> sine;
    std::vector<std::int32_t> step;
    for (int i = 0; i < 1000; ++i) {
        x.push_back(i); // ms: 20 periods of 50 Hz
        sine.push_back(std::int32_t(std::lround(1000 * std::sin(2 * M_PI * 50 * i / 1000.0 + 0.3))));
        step.push_back(i < 100 ? 0 : 400);
    }
    {
        Peek old(path);
        QSqlQuery q(old.db());
        for (const char* sql :
            {"CREATE TABLE captures(id INTEGER PRIMARY KEY AUTOINCREMENT, started TEXT, ended "
             "TEXT, port TEXT, x_title TEXT, y_title TEXT, points INTEGER, note TEXT, event TEXT "
             "NOT NULL DEFAULT '', event_time TEXT NOT NULL DEFAULT '')",
                "CREATE TABLE capture_data(capture_id INTEGER PRIMARY KEY, x BLOB, y BLOB)",
                "CREATE TABLE journal(id INTEGER PRIMARY KEY, time TEXT, kind TEXT, subject TEXT, value "
                "TEXT, "
                "text TEXT)",
                "INSERT INTO captures VALUES(1, 'a', 'b', 'COM1', 'mS', 'A', 1000, '', 'RK1', 't')",
                "INSERT INTO captures VALUES(2, 'a', 'b', 'COM1', 'mS', 'V', 1000, '', 'RK1', 't')",
                "PRAGMA user_version=4"})
            ASSERT_TRUE(q.exec(QString::fromUtf8(sql))) << sql;
        for (const auto& [id, y] : {std::pair(1, sine), std::pair(2, step)}) {
            const auto [bx, by] = blobs(x, y);
            q.prepare(QStringLiteral("INSERT INTO capture_data VALUES(?, ?, ?)"));
            q.addBindValue(id);
            q.addBindValue(bx);
            q.addBindValue(by);
            ASSERT_TRUE(q.exec());
        }
    }
    ArchiveStore store;
    Listener l(store);
    store.open(path, 10);
    ASSERT_TRUE(waitFor([&] { return l.listed.size() == 1 || !l.failures.isEmpty(); }));
    ASSERT_EQ(l.listed[0].size(), 2u);
    EXPECT_FALSE(l.listed[0][0].measured);
    ASSERT_TRUE(waitFor([&] { return l.stored.size() == 2; }));
    EXPECT_EQ(l.stored[0].first.id, 2); // newest first
    const CaptureRow& s = l.stored[1].first;
    ASSERT_TRUE(s.measured);
    EXPECT_EQ(s.peak, 1000);
    EXPECT_EQ(s.peakToPeak, 2000);
    EXPECT_NEAR(s.rms, 1000 / std::sqrt(2.0), 0.001 * 707);
    EXPECT_NEAR(s.frequency, 50, 0.25);
    const CaptureRow& t = l.stored[0].first;
    EXPECT_EQ(t.peak, 400);
    EXPECT_TRUE(std::isnan(t.frequency));
    store.close();
    Peek peek(path);
    EXPECT_EQ(peek.value(QStringLiteral("SELECT count(*) FROM captures WHERE peak IS NULL")).toInt(), 0);
    EXPECT_EQ(peek.value(QStringLiteral("SELECT count(*) FROM captures WHERE frequency IS NULL")).toInt(), 1);
}
