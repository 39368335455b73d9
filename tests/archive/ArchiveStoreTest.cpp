// The archive file: what is stored comes back after a re-open, a capture that grows keeps
// its entry, Keep drops the oldest, notes and deletions stick; a kill right after a store
// loses nothing; a read-only folder, a locked and a corrupt file are reported once.
#include "archive/ArchiveStore.h"
#include "archive/ArchiveWorker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
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
    std::vector<StoredCapture> loaded;
    QStringList failures;

    explicit Listener(ArchiveStore& s)
    {
        QObject::connect(&s, &ArchiveStore::captureStored,
            [this](const CaptureRow& r, bool first) { stored.emplace_back(r, first); });
        QObject::connect(&s, &ArchiveStore::capturesListed,
            [this](const std::vector<CaptureRow>& r) { listed.push_back(r); });
        QObject::connect(&s, &ArchiveStore::capturesRemoved, [this](const std::vector<std::int64_t>& ids) {
            removed.insert(removed.end(), ids.begin(), ids.end());
        });
        QObject::connect(
            &s, &ArchiveStore::captureLoaded, [this](const StoredCapture& c, int) { loaded.push_back(c); });
        QObject::connect(&s, &ArchiveStore::failed, [this](const QString& m) { failures << m; });
    }
};

// A connection of the test's own, as another program (sqlite3) would open the file.
class Peek {
public:
    explicit Peek(const QString& path)
    {
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db_.setDatabaseName(path);
        db_.open();
    }
    ~Peek()
    {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    }
    QVariant value(const QString& sql)
    {
        QSqlQuery q(db_);
        if (!q.exec(sql) || !q.next())
            return QStringLiteral("error: ") + q.lastError().text();
        return q.value(0);
    }
    QSqlDatabase& db() { return db_; }

private:
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
        EXPECT_EQ(peek.value(QStringLiteral("PRAGMA user_version")).toInt(), 2);
        EXPECT_EQ(peek.value(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
        EXPECT_EQ(peek.value(QStringLiteral("SELECT count(*) FROM capture_points")).toInt(), 7 + 10003);
        EXPECT_EQ(peek.value(QStringLiteral("SELECT x FROM capture_points WHERE capture_id = 1 AND k = 7"))
                      .toLongLong(),
            6 * 3000000000LL);
        EXPECT_EQ(peek.value(QStringLiteral("SELECT group_concat(name) FROM pragma_table_info('captures')"))
                      .toString(),
            QStringLiteral("id,started,ended,port,x_title,y_title,points,note"));
        EXPECT_EQ(
            peek.value(QStringLiteral("SELECT group_concat(name) FROM pragma_table_info('capture_points')"))
                .toString(),
            QStringLiteral("capture_id,k,x,y"));
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
    store.loadCapture(2, 0);
    ASSERT_TRUE(waitFor([&] { return l.loaded.size() == 1; }));
    const CaptureData sent = capture(2, 10003, -5000);
    EXPECT_EQ(l.loaded[0].x, sent.x);
    EXPECT_EQ(l.loaded[0].y, sent.y);
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
    store.setNote(4, QStringLiteral("след ремонта"));
    store.deleteCapture(3);
    store.listCaptures();
    ASSERT_TRUE(waitFor([&] { return l.listed.size() == 2; }));
    const auto& rows = l.listed[1];
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].id, 5);
    EXPECT_EQ(rows[1].id, 4);
    EXPECT_EQ(rows[1].note, QStringLiteral("след ремонта"));
    store.close();
    Peek peek(path);
    EXPECT_EQ(
        peek.value(QStringLiteral("SELECT group_concat(DISTINCT capture_id) FROM capture_points")).toString(),
        QStringLiteral("4,5"));
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
    store.listCaptures();
    store.close(); // every request has been handled
    QCoreApplication::processEvents();
    EXPECT_EQ(l.failures.size(), 1);
    EXPECT_FALSE(store.isOn());
    EXPECT_TRUE(l.stored.empty());
    EXPECT_EQ(f.size(), 8192); // left as it was
}

TEST(ArchiveStore, AFileLockedByAnotherProgramIsReportedOnceAfterTheBusyWait)
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
    ASSERT_TRUE(waitFor([&] { return !l.failures.isEmpty(); }));
    store.close();
    QCoreApplication::processEvents();
    EXPECT_EQ(l.failures.size(), 1);
    EXPECT_TRUE(l.failures[0].contains(QStringLiteral("locked"))) << l.failures[0].toStdString();
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

// Root writes anywhere: the check runs in a child that gave up root first.
bool refusedWithoutRoot(const QString& path)
{
    if (geteuid() != 0)
        return openIsRefused(path);
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        _exit(openIsRefused(path) ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
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
    ASSERT_EQ(pipe(fds), 0);
    const QByteArray self = QCoreApplication::applicationFilePath().toLocal8Bit();
    const QByteArray env = "ORVIK_ARCHIVE_KILL_DB=" + path.toLocal8Bit();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        char filter[] = "--gtest_filter=ArchiveKill.Child";
        char* argv[] = {const_cast<char*>(self.constData()), filter, nullptr};
        char* envp[]
            = {const_cast<char*>(env.constData()), const_cast<char*>("QT_QPA_PLATFORM=offscreen"), nullptr};
        execve(argv[0], argv, envp);
        _exit(127);
    }
    close(fds[1]);
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
        EXPECT_EQ(
            peek.value(QStringLiteral("SELECT count(*) FROM capture_points WHERE capture_id = %1").arg(id))
                .toInt(),
            2000);
        EXPECT_EQ(
            peek.value(QStringLiteral("SELECT y FROM capture_points WHERE capture_id = %1 AND k = 1").arg(id))
                .toInt(),
            id);
    }
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
        QObject::connect(&s, &ArchiveStore::journalQueried,
            [this](const std::vector<JournalRow>& rows, std::int64_t) { queried.push_back(rows); });
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
    EXPECT_EQ(peek.value(QStringLiteral("PRAGMA user_version")).toInt(), 2);
    EXPECT_EQ(
        peek.value(QStringLiteral("SELECT group_concat(name) FROM pragma_table_info('journal')")).toString(),
        QStringLiteral("id,time,kind,subject,value,text"));
    EXPECT_EQ(peek.value(QStringLiteral("SELECT y FROM capture_points WHERE capture_id = 1")).toInt(), 42);
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
    store.queryJournal({QStringLiteral("event"), QStringLiteral("reset")}, 10, 1);
    store.queryJournal({}, 2, 2);
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

TEST(ArchiveJournal, AFloodBeyondTheQueueIsCountedAndSaidInOneRow)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.db"));
    ArchiveStore store;
    JournalListener j(store);
    store.open(path, 10);
    constexpr int kFlood = 100000;
    // No event loop runs meanwhile, as with a burst of records in one received block.
    for (int n = 0; n < kFlood; ++n)
        store.appendJournal(journalRow("limit", n));
    EXPECT_EQ(store.journalDropped(), kFlood - ArchiveStore::kJournalQueueRows);
    ASSERT_TRUE(
        waitFor([&] { return j.appended.size() == std::size_t(ArchiveStore::kJournalQueueRows) + 1; }));
    const JournalRow& report = j.appended.back();
    EXPECT_EQ(report.kind, QStringLiteral("error"));
    EXPECT_EQ(report.subject, QStringLiteral("journal"));
    EXPECT_EQ(report.value, QString::number(kFlood - ArchiveStore::kJournalQueueRows));
    EXPECT_EQ(j.appended[ArchiveStore::kJournalQueueRows - 1].value,
        QString::number(ArchiveStore::kJournalQueueRows - 1));

    // Once the queue has drained, rows are taken again.
    store.appendJournal(journalRow("limit", -1));
    store.close();
    Peek peek(path);
    EXPECT_EQ(peek.value(QStringLiteral("SELECT count(*) FROM journal")).toInt(),
        ArchiveStore::kJournalQueueRows + 2);
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
    store.queryJournal({}, 10, 1);
    store.queryJournal({QStringLiteral("event")}, 10, 2, QStringLiteral("RK2"));
    store.queryJournal({}, 3, 3);
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
