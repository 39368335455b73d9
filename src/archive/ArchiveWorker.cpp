#include "archive/ArchiveWorker.h"

#include "archive/CaptureExport.h"
#include "archive/CaptureMeasures.h"
#include "archive/ComtradeImport.h"

#include <QAtomicInteger>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QAtomicInteger<int> connectionCount;

// Schema 3. Capture numbers only grow (AUTOINCREMENT keeps the highest ever used), so a
// journal row never opens another capture than its own; a capture's points are one row.
const char* const kCaptures
    = "CREATE TABLE captures(id INTEGER PRIMARY KEY AUTOINCREMENT, started TEXT, ended TEXT, port TEXT, "
      "x_title TEXT, y_title TEXT, points INTEGER, note TEXT)";
const char* const kCaptureData = "CREATE TABLE capture_data(capture_id INTEGER PRIMARY KEY, x BLOB, y BLOB)";
// Schema 4 adds each capture's event: the counted event that started it and its time as the
// journal wrote it, both '' when none did. A step of its own after the points' layout of 3.
const char* const kCaptureEvents[] = {
    "ALTER TABLE captures ADD COLUMN event TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE captures ADD COLUMN event_time TEXT NOT NULL DEFAULT ''",
};
// Schema 5 adds each capture's measures, NULL until computed (those of older captures are
// computed in the background after the migration).
const char* const kCaptureMeasures[] = {
    "ALTER TABLE captures ADD COLUMN peak REAL",
    "ALTER TABLE captures ADD COLUMN peak_to_peak REAL",
    "ALTER TABLE captures ADD COLUMN rms REAL",
    "ALTER TABLE captures ADD COLUMN frequency REAL",
};
// Schema 6 adds where captures and journal rows came from: '' live (every older one), else
// the replay of a session recording that made them.
const char* const kOrigins[] = {
    "ALTER TABLE captures ADD COLUMN origin TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE journal ADD COLUMN origin TEXT NOT NULL DEFAULT ''",
};
const char* const kJournal[] = {
    "CREATE TABLE journal(id INTEGER PRIMARY KEY, time TEXT, kind TEXT, subject TEXT, value TEXT, text TEXT)",
    "CREATE INDEX journal_kind ON journal(kind, id)",
};

// The points' layout in capture_data: x is n 64-bit and y n 32-bit two's complement
// integers, each little-endian, one after the other with nothing between.
QByteArray packX(const std::int64_t* x, std::size_t n)
{
    QByteArray b(qsizetype(n * 8), Qt::Uninitialized);
    for (std::size_t i = 0; i < n; ++i)
        qToLittleEndian<qint64>(x[i], b.data() + 8 * i);
    return b;
}

QByteArray packY(const std::int32_t* y, std::size_t n)
{
    QByteArray b(qsizetype(n * 4), Qt::Uninitialized);
    for (std::size_t i = 0; i < n; ++i)
        qToLittleEndian<qint32>(y[i], b.data() + 4 * i);
    return b;
}

// A pair of blobs of unequal length (written by something else) gives the points both have.
void unpack(
    const QByteArray& x, const QByteArray& y, std::vector<std::int64_t>& xs, std::vector<std::int32_t>& ys)
{
    const std::size_t n = std::min(std::size_t(x.size()) / 8, std::size_t(y.size()) / 4);
    xs.resize(n);
    ys.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        xs[i] = qFromLittleEndian<qint64>(x.constData() + 8 * i);
        ys[i] = qFromLittleEndian<qint32>(y.constData() + 4 * i);
    }
}

CaptureRow rowOf(const QSqlQuery& q)
{
    CaptureRow r;
    r.id = q.value(0).toLongLong();
    r.started = q.value(1).toString();
    r.ended = q.value(2).toString();
    r.port = q.value(3).toString();
    r.xTitle = q.value(4).toString();
    r.yTitle = q.value(5).toString();
    r.points = q.value(6).toLongLong();
    r.note = q.value(7).toString();
    r.event = q.value(8).toString();
    r.eventTime = q.value(9).toString();
    r.measured = !q.value(10).isNull();
    r.peak = q.value(10).toDouble();
    r.peakToPeak = q.value(11).toDouble();
    r.rms = q.value(12).toDouble();
    r.frequency = q.value(13).isNull() ? std::numeric_limits<double>::quiet_NaN() : q.value(13).toDouble();
    r.origin = q.value(14).toString();
    return r;
}

// A measure as bound: NaN (does not apply) as NULL.
QVariant measureValue(double v)
{
    return std::isnan(v) ? QVariant(QMetaType::fromType<double>()) : QVariant(v);
}

void setMeasures(CaptureRow& row, const CaptureMeasures& m)
{
    row.measured = true;
    row.peak = m.peak;
    row.peakToPeak = m.peakToPeak;
    row.rms = m.rms;
    row.frequency = m.frequency;
}

// A capture's row is written when the capture is first stored, seconds after its start, which
// is the time it carries: it goes among the rows of that moment. Every other row keeps the order
// it was written in. `rows` are newest first.
void placeCaptureRowsByTime(std::vector<JournalRow>& rows)
{
    std::vector<JournalRow> captures;
    std::vector<JournalRow> others;
    for (JournalRow& r : rows)
        (r.kind == QLatin1String("capture") ? captures : others).push_back(std::move(r));
    if (captures.empty()) {
        rows = std::move(others);
        return;
    }
    std::stable_sort(captures.begin(), captures.end(),
        [](const JournalRow& a, const JournalRow& b) { return a.time > b.time; });
    rows.clear();
    auto c = captures.begin();
    for (JournalRow& r : others) {
        for (; c != captures.end() && c->time >= r.time; ++c)
            rows.push_back(std::move(*c));
        rows.push_back(std::move(r));
    }
    for (; c != captures.end(); ++c)
        rows.push_back(std::move(*c));
}

const QString kRowColumns = QStringLiteral("id, started, ended, port, x_title, y_title, points, note, event, "
                                           "event_time, peak, peak_to_peak, rms, frequency, origin");

// A journal row from a query selecting id, time, kind, subject, value, text, origin in that order.
JournalRow journalRowAt(const QSqlQuery& q)
{
    JournalRow r;
    r.id = q.value(0).toLongLong();
    r.time = q.value(1).toString();
    r.kind = q.value(2).toString();
    r.subject = q.value(3).toString();
    r.value = q.value(4).toString();
    r.text = q.value(5).toString();
    r.origin = q.value(6).toString();
    return r;
}

// "kind IN (?,?,…)", one place for each kind bound after it.
QString kindIn(const QStringList& kinds)
{
    QStringList marks;
    for (qsizetype i = 0; i < kinds.size(); ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("kind IN (%1)").arg(marks.join(QLatin1Char(',')));
}

} // namespace

ArchiveWorker::ArchiveWorker()
    : connection_(QStringLiteral("orvik-archive-%1").arg(connectionCount.fetchAndAddRelaxed(1)))
{
}

ArchiveWorker::~ArchiveWorker()
{
    close();
}

QSqlDatabase ArchiveWorker::db() const
{
    return QSqlDatabase::database(connection_, false);
}

void ArchiveWorker::open(const QString& path, int keep, int journalKeep, int busyTimeoutMs)
{
    close();
    if (!reopening_) {
        written_.clear();
        lasting_ = false;
    }
    keep_ = keep;
    journalKeep_ = journalKeep;
    path_ = path;
    busyTimeoutMs_ = busyTimeoutMs;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        d.setDatabaseName(path);
        d.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
        if (!d.open()) {
            const QString why = d.lastError().text();
            d = QSqlDatabase();
            QSqlDatabase::removeDatabase(connection_);
            failure_ = why;
            emit failed(why);
            return;
        }
    }
    open_ = true;
    // Incremental vacuum (set before the first table of a new file) lets the file shrink
    // after Keep's trimming. WAL: a commit survives a kill of the program and readers do not
    // block the writer; NORMAL: only a power loss can take the last commits. The log is cut
    // back after a checkpoint, so one large trimming does not leave it large.
    if (!exec(QStringLiteral("PRAGMA auto_vacuum=INCREMENTAL"))
        || !exec(QStringLiteral("PRAGMA journal_mode=WAL"))
        || !exec(QStringLiteral("PRAGMA synchronous=NORMAL"))
        || !exec(QStringLiteral("PRAGMA journal_size_limit=%1").arg(kWalLimitBytes)) || !createOrCheckSchema()
        || !useIncrementalVacuum())
        return;
    QSqlQuery count(db());
    if (!count.exec(QStringLiteral("SELECT count(*) FROM captures")) || !count.next()) {
        fail(count.lastError().text());
        return;
    }
    captureCount_ = count.value(0).toLongLong();
    count.finish();
    insertCapture_ = std::make_unique<QSqlQuery>(db());
    updateCapture_ = std::make_unique<QSqlQuery>(db());
    insertPoints_ = std::make_unique<QSqlQuery>(db());
    updatePoints_ = std::make_unique<QSqlQuery>(db());
    if (!insertCapture_->prepare(QStringLiteral(
            "INSERT INTO captures(started, ended, port, x_title, y_title, points, note, event, "
            "event_time, peak, peak_to_peak, rms, frequency, origin) "
            "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"))
        || !updateCapture_->prepare(
            QStringLiteral("UPDATE captures SET ended = ?, x_title = ?, y_title = ?, points = ?, peak = ?, "
                           "peak_to_peak = ?, rms = ?, frequency = ? WHERE id = ?"))
        || !insertPoints_->prepare(
            QStringLiteral("INSERT INTO capture_data(capture_id, x, y) VALUES(?, ?, ?)"))
        || !updatePoints_->prepare(
            QStringLiteral("UPDATE capture_data SET x = ?, y = ? WHERE capture_id = ?"))) {
        fail(db().lastError().text());
        return;
    }
    if (reopening_)
        return;
    answer(ArchiveOpened{path});
    run(ListCaptures{});
    // A Keep lowered since the last run applies now, not at the next capture.
    scheduleTrim();
    scheduleMeasure();
}

void ArchiveWorker::run(const ArchiveRequest& request)
{
    std::visit([this](const auto& r) { run(r); }, request);
}

void ArchiveWorker::run(const OpenArchive& r)
{
    open(r.path, r.keep, r.journalKeep, r.busyTimeoutMs);
}

void ArchiveWorker::close()
{
    closeConnection();
}

void ArchiveWorker::beginRequest(bool reopen)
{
    if (closePending_)
        closeConnection();
    failure_.clear();
    if (!reopen || open_ || path_.isEmpty() || lasting_)
        return;
    reopening_ = true;
    open(path_, keep_, journalKeep_, busyTimeoutMs_);
    reopening_ = false;
}

void ArchiveWorker::endRequest()
{
    if (closePending_)
        closeConnection();
}

void ArchiveWorker::closeConnection()
{
    closePending_ = false;
    // Statements go before their connection.
    insertCapture_.reset();
    updateCapture_.reset();
    insertPoints_.reset();
    updatePoints_.reset();
    if (!QSqlDatabase::contains(connection_))
        return;
    {
        QSqlDatabase d = db();
        if (d.isOpen())
            d.close();
    }
    QSqlDatabase::removeDatabase(connection_);
    open_ = false;
}

void ArchiveWorker::setKeep(int keep)
{
    keep_ = keep;
    scheduleTrim();
}

bool ArchiveWorker::fail(const QString& what)
{
    const QString where = path_;
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase d = db();
        if (d.isOpen())
            d.rollback();
    }
    // Off for this request; the connection itself goes when the request's statements have.
    open_ = false;
    closePending_ = true;
    failure_ = what.isEmpty() ? where : what;
    emit failed(failure_);
    return false;
}

bool ArchiveWorker::fail(const QSqlError& error)
{
    // SQLITE_CORRUPT and SQLITE_NOTADB: the file is not an archive, and will not become one.
    const int code = error.nativeErrorCode().toInt() & 0xff;
    if (code == 11 || code == 26)
        lasting_ = true;
    return fail(error.text());
}

bool ArchiveWorker::exec(QSqlQuery& query)
{
    if (query.exec())
        return true;
    return fail(query.lastError());
}

bool ArchiveWorker::exec(const QString& sql)
{
    QSqlQuery q(db());
    if (q.exec(sql))
        return true;
    return fail(q.lastError());
}

bool ArchiveWorker::createOrCheckSchema()
{
    QSqlQuery q(db());
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        return fail(q.lastError().text());
    const int version = q.value(0).toInt();
    q.finish();
    if (version == kSchemaVersion)
        return true;
    if (version > kSchemaVersion) {
        lasting_ = true;
        return fail(QStringLiteral("schema version %1 is newer than this program's %2")
                        .arg(version)
                        .arg(kSchemaVersion));
    }
    QSqlDatabase d = db();
    if (!d.transaction())
        return fail(d.lastError().text());
    if (version == 0) {
        for (const char* sql : {kCaptures, kCaptureData, kJournal[0], kJournal[1]}) {
            if (!exec(QString::fromLatin1(sql)))
                return false;
        }
    } else if (version < 3 && !migrate(version)) {
        return false;
    }
    // 3 to 4: the captures' events (none for the captures stored before).
    if (version < 4) {
        for (const char* sql : kCaptureEvents) {
            if (!exec(QString::fromLatin1(sql)))
                return false;
        }
    }
    // 4 to 5: the captures' measures, computed afterwards in the background.
    if (version < 5) {
        for (const char* sql : kCaptureMeasures) {
            if (!exec(QString::fromLatin1(sql)))
                return false;
        }
    }
    // 5 to 6: the origins, live for everything stored before.
    for (const char* sql : kOrigins) {
        if (!exec(QString::fromLatin1(sql)))
            return false;
    }
    if (!exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion)))
        return false;
    if (!d.commit())
        return fail(d.lastError().text());
    return true;
}

// Versions 1 (captures only) and 2 (with the journal) kept a row per point and could give a
// deleted newest capture's number again. Every capture keeps its number and its points; the
// highest number ever used is also taken from the journal's capture rows, so a capture
// deleted before the migration is not given again either.
bool ArchiveWorker::migrate(int from)
{
    for (const QString& sql :
        {QStringLiteral("ALTER TABLE captures RENAME TO captures_old"), QString::fromLatin1(kCaptures),
            QStringLiteral(
                "INSERT INTO captures(id, started, ended, port, x_title, y_title, points, note) "
                "SELECT id, started, ended, port, x_title, y_title, points, note FROM captures_old"),
            QStringLiteral("DROP TABLE captures_old"), QString::fromLatin1(kCaptureData)}) {
        if (!exec(sql))
            return false;
    }
    QSqlQuery points(db());
    points.setForwardOnly(true);
    if (!points.exec(QStringLiteral("SELECT capture_id, x, y FROM capture_points WHERE capture_id IN "
                                    "(SELECT id FROM captures) ORDER BY capture_id, k")))
        return fail(points.lastError().text());
    QSqlQuery insert(db());
    insert.prepare(QStringLiteral("INSERT INTO capture_data(capture_id, x, y) VALUES(?, ?, ?)"));
    std::int64_t id = 0;
    std::vector<std::int64_t> xs;
    std::vector<std::int32_t> ys;
    const auto flush = [&] {
        if (xs.empty())
            return true;
        insert.bindValue(0, qlonglong(id));
        insert.bindValue(1, packX(xs.data(), xs.size()));
        insert.bindValue(2, packY(ys.data(), ys.size()));
        xs.clear();
        ys.clear();
        return exec(insert);
    };
    while (points.next()) {
        const std::int64_t of = points.value(0).toLongLong();
        if (of != id && !flush())
            return false;
        id = of;
        xs.push_back(points.value(1).toLongLong());
        ys.push_back(points.value(2).toInt());
    }
    if (points.lastError().isValid())
        return fail(points.lastError().text());
    if (!flush())
        return false;
    points.finish();
    if (!exec(QStringLiteral("DROP TABLE capture_points")))
        return false;
    if (from < 2) {
        for (const char* sql : kJournal) {
            if (!exec(QString::fromLatin1(sql)))
                return false;
        }
    }
    return exec(QStringLiteral("INSERT INTO sqlite_sequence(name, seq) SELECT 'captures', 0 WHERE NOT EXISTS "
                               "(SELECT 1 FROM sqlite_sequence WHERE name = 'captures')"))
        && exec(QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, "
                               "(SELECT coalesce(max(id), 0) FROM captures), "
                               "(SELECT coalesce(max(CAST(subject AS INTEGER)), 0) FROM journal "
                               "WHERE kind = 'capture')) WHERE name = 'captures'"));
}

// A file made before incremental vacuum was used is rewritten once to use it.
bool ArchiveWorker::useIncrementalVacuum()
{
    QSqlQuery q(db());
    if (!q.exec(QStringLiteral("PRAGMA auto_vacuum")) || !q.next())
        return fail(q.lastError().text());
    const bool incremental = q.value(0).toInt() == 2;
    q.finish();
    return incremental || exec(QStringLiteral("VACUUM"));
}

void ArchiveWorker::storeCaptures(const std::vector<CaptureData>& captures)
{
    if (!open_ || captures.empty())
        return;
    QSqlDatabase d = db();
    if (!d.transaction()) {
        fail(d.lastError().text());
        return;
    }
    std::vector<CaptureRow> stored;
    std::vector<std::int64_t> firstIds;
    std::vector<std::int64_t> inserted;
    // What this run knows of the file, as it was before the transaction: a rolled-back batch
    // is handed over again, and must then be written again as it was.
    std::vector<std::pair<std::int64_t, std::optional<Written>>> before;
    const std::int64_t countBefore = captureCount_;
    const auto undo = [&] {
        for (auto it = before.rbegin(); it != before.rend(); ++it) {
            if (it->second)
                written_[it->first] = *it->second;
            else
                written_.erase(it->first);
        }
        captureCount_ = countBefore;
    };
    for (const CaptureData& capture : captures) {
        const auto known = written_.find(capture.key);
        before.emplace_back(
            capture.key, known == written_.end() ? std::nullopt : std::optional(known->second));
        if (!storeOne(capture, stored, firstIds, inserted))
            return undo();
    }
    if (!d.commit()) {
        fail(d.lastError());
        return undo();
    }
    // New captures beyond Keep within this very batch go with the next trimming unannounced
    // (they come in order, so those are the first ones; grown older captures go with them).
    const std::size_t keep = std::size_t(std::max(keep_, 0));
    if (inserted.size() > keep) {
        const std::int64_t newestGone = inserted[inserted.size() - keep - 1];
        std::erase_if(stored, [&](const CaptureRow& r) { return r.id <= newestGone; });
        std::erase_if(firstIds, [&](std::int64_t id) { return id <= newestGone; });
    }
    if (!stored.empty())
        answer(CapturesStored{stored, firstIds});
    if (captureCount_ > keep_)
        scheduleTrim();
}

bool ArchiveWorker::storeOne(const CaptureData& capture, std::vector<CaptureRow>& stored,
    std::vector<std::int64_t>& firstIds, std::vector<std::int64_t>& inserted)
{
    if (capture.x.empty())
        return true;
    auto found = written_.find(capture.key);
    const bool first = found == written_.end();
    const std::size_t n = std::min(capture.x.size(), capture.y.size());
    Written w;
    const CaptureMeasures measures = measureCapture(capture.x, capture.y, n, capture.xTitle);
    if (first) {
        QSqlQuery& q = *insertCapture_;
        q.bindValue(0, capture.started);
        q.bindValue(1, capture.ended);
        q.bindValue(2, capture.port);
        q.bindValue(3, capture.xTitle);
        q.bindValue(4, capture.yTitle);
        q.bindValue(5, qlonglong(n));
        // '' rather than NULL for an empty text (a null text binds as NULL).
        const auto text = [](const QString& t) { return t.isNull() ? QStringLiteral("") : t; };
        q.bindValue(6, text(capture.note));
        q.bindValue(7, text(capture.event));
        q.bindValue(8, text(capture.eventTime));
        q.bindValue(9, measures.peak);
        q.bindValue(10, measures.peakToPeak);
        q.bindValue(11, measures.rms);
        q.bindValue(12, measureValue(measures.frequency));
        q.bindValue(13, text(capture.origin));
        if (!exec(q))
            return false;
        w.id = q.lastInsertId().toLongLong();
        ++captureCount_;
        inserted.push_back(w.id);
        QSqlQuery& p = *insertPoints_;
        p.bindValue(0, qlonglong(w.id));
        p.bindValue(1, packX(capture.x.data(), n));
        p.bindValue(2, packY(capture.y.data(), n));
        if (!exec(p))
            return false;
    } else {
        w = found->second;
        QSqlQuery& q = *updateCapture_;
        q.bindValue(0, capture.ended);
        q.bindValue(1, capture.xTitle);
        q.bindValue(2, capture.yTitle);
        q.bindValue(3, qlonglong(n));
        q.bindValue(4, measures.peak);
        q.bindValue(5, measures.peakToPeak);
        q.bindValue(6, measures.rms);
        q.bindValue(7, measureValue(measures.frequency));
        q.bindValue(8, qlonglong(w.id));
        if (!exec(q))
            return false;
        // Deleted by the operator (or beyond Keep) while it grew: it stays gone.
        if (q.numRowsAffected() == 0)
            return true;
        if (n != w.points) {
            QSqlQuery& p = *updatePoints_;
            p.bindValue(0, packX(capture.x.data(), n));
            p.bindValue(1, packY(capture.y.data(), n));
            p.bindValue(2, qlonglong(w.id));
            if (!exec(p))
                return false;
        }
    }
    w.points = n;
    const bool announce = !capture.growing && !w.announced;
    w.announced = w.announced || announce;
    // Kept even when Keep drops it at once: a later growth then finds no row and stays gone.
    // A failed commit turns the archive off, which forgets these.
    written_[capture.key] = w;
    CaptureRow row;
    if (first) {
        row = CaptureRow{w.id, capture.started, capture.ended, capture.port, capture.xTitle, capture.yTitle,
            std::int64_t(n), capture.note, capture.event, capture.eventTime};
        row.origin = capture.origin;
        setMeasures(row, measures);
    } else if (!loadRow(w.id, row)) {
        return open_;
    }
    if (announce)
        firstIds.push_back(w.id);
    stored.push_back(std::move(row));
    return true;
}

// Trimming and vacuuming go a step at a time through the thread's queue, so captures and
// journal rows handed over meanwhile are stored between two steps instead of after them all.
void ArchiveWorker::scheduleTrim()
{
    if (trimQueued_ || !open_)
        return;
    trimQueued_ = true;
    QMetaObject::invokeMethod(this, &ArchiveWorker::trimStep, Qt::QueuedConnection);
}

void ArchiveWorker::trimStep()
{
    trimQueued_ = false;
    if (!open_)
        return;
    if (captureCount_ > keep_) {
        std::vector<std::int64_t> removed;
        if (!trimOldest(removed))
            return;
        if (!removed.empty())
            answer(CapturesRemoved{removed});
    } else {
        const std::int64_t free = freePages();
        if (free <= 0)
            return;
        // Each run of the pragma through Qt gives back one page (Qt steps a statement
        // without columns once), so it is run once per page, all in one transaction.
        QSqlDatabase d = db();
        if (!d.transaction()) {
            fail(d.lastError().text());
            return;
        }
        QSqlQuery q(d);
        q.prepare(QStringLiteral("PRAGMA incremental_vacuum(1)"));
        for (std::int64_t i = 0; i < std::min<std::int64_t>(free, kVacuumPagesPerStep); ++i) {
            if (!exec(q))
                return;
        }
        q.finish();
        if (!d.commit()) {
            fail(d.lastError().text());
            return;
        }
    }
    scheduleTrim();
}

// Captures an older version stored are measured a step at a time, like the trimming, so the
// requests made meanwhile wait for one step at most.
void ArchiveWorker::scheduleMeasure()
{
    if (measureQueued_ || !open_)
        return;
    measureQueued_ = true;
    QMetaObject::invokeMethod(this, &ArchiveWorker::measureStep, Qt::QueuedConnection);
}

void ArchiveWorker::measureStep()
{
    measureQueued_ = false;
    if (!open_)
        return;
    QSqlQuery q(db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT id, x_title, x, y FROM captures JOIN capture_data ON capture_id = id "
                             "WHERE peak IS NULL ORDER BY id DESC"));
    if (!exec(q))
        return;
    std::vector<std::pair<std::int64_t, CaptureMeasures>> done;
    std::int64_t points = 0;
    std::vector<std::int64_t> xs;
    std::vector<std::int32_t> ys;
    while (points < kMeasurePointsPerStep && q.next()) {
        unpack(q.value(2).toByteArray(), q.value(3).toByteArray(), xs, ys);
        done.emplace_back(q.value(0).toLongLong(), measureCapture(xs, ys, xs.size(), q.value(1).toString()));
        points += std::max<std::int64_t>(std::int64_t(xs.size()), 1);
    }
    q.finish();
    if (done.empty())
        return;
    QSqlDatabase d = db();
    if (!d.transaction()) {
        fail(d.lastError().text());
        return;
    }
    QSqlQuery u(d);
    u.prepare(QStringLiteral(
        "UPDATE captures SET peak = ?, peak_to_peak = ?, rms = ?, frequency = ? WHERE id = ?"));
    for (const auto& [id, m] : done) {
        u.bindValue(0, m.peak);
        u.bindValue(1, m.peakToPeak);
        u.bindValue(2, m.rms);
        u.bindValue(3, measureValue(m.frequency));
        u.bindValue(4, qlonglong(id));
        if (!exec(u))
            return;
    }
    if (!d.commit()) {
        fail(d.lastError().text());
        return;
    }
    std::vector<CaptureRow> rows;
    for (const auto& entry : done) {
        CaptureRow row;
        if (loadRow(entry.first, row))
            rows.push_back(std::move(row));
    }
    if (!rows.empty())
        answer(CapturesStored{rows, {}});
    scheduleMeasure();
}

bool ArchiveWorker::trimOldest(std::vector<std::int64_t>& removed)
{
    QSqlQuery q(db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT id, points FROM captures ORDER BY id LIMIT ?"));
    q.addBindValue(qlonglong(captureCount_ - std::max(keep_, 0)));
    if (!exec(q))
        return false;
    std::int64_t points = 0;
    while (points < kTrimPointsPerStep && q.next()) {
        removed.push_back(q.value(0).toLongLong());
        points += std::max<qlonglong>(q.value(1).toLongLong(), 1);
    }
    q.finish();
    if (removed.empty()) {
        captureCount_ = keep_; // fewer rows than counted: nothing older to remove
        return true;
    }
    QSqlDatabase d = db();
    if (!d.transaction())
        return fail(d.lastError().text());
    int gone = 0;
    for (const char* sql :
        {"DELETE FROM capture_data WHERE capture_id <= ?", "DELETE FROM captures WHERE id <= ?"}) {
        QSqlQuery del(d);
        del.prepare(QString::fromLatin1(sql));
        del.addBindValue(qlonglong(removed.back()));
        if (!exec(del))
            return false;
        gone = del.numRowsAffected();
    }
    if (!d.commit())
        return fail(d.lastError().text());
    captureCount_ -= gone;
    // Newest first, as the list holds them.
    std::reverse(removed.begin(), removed.end());
    return true;
}

std::int64_t ArchiveWorker::freePages()
{
    QSqlQuery q(db());
    if (!q.exec(QStringLiteral("PRAGMA freelist_count")) || !q.next()) {
        fail(q.lastError().text());
        return -1;
    }
    return q.value(0).toLongLong();
}

bool ArchiveWorker::loadRow(std::int64_t id, CaptureRow& row)
{
    QSqlQuery q(db());
    q.prepare(QStringLiteral("SELECT %1 FROM captures WHERE id = ?").arg(kRowColumns));
    q.addBindValue(qlonglong(id));
    if (!exec(q))
        return false;
    if (!q.next())
        return false;
    row = rowOf(q);
    return true;
}

void ArchiveWorker::run(const ListCaptures&)
{
    if (!open_)
        return;
    QSqlQuery q(db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM captures ORDER BY id DESC LIMIT ?").arg(kRowColumns));
    q.addBindValue(std::max(keep_, 0));
    if (!exec(q))
        return;
    std::vector<CaptureRow> rows;
    while (q.next())
        rows.push_back(rowOf(q));
    answer(CapturesListed{std::move(rows)});
}

std::optional<StoredCapture> ArchiveWorker::load(std::int64_t id)
{
    StoredCapture c;
    if (!open_ || !loadRow(id, c.row))
        return std::nullopt;
    QSqlQuery q(db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT x, y FROM capture_data WHERE capture_id = ?"));
    q.addBindValue(qlonglong(id));
    if (!exec(q))
        return std::nullopt;
    if (q.next())
        unpack(q.value(0).toByteArray(), q.value(1).toByteArray(), c.x, c.y);
    return c;
}

void ArchiveWorker::run(const LoadCapture& r)
{
    if (auto c = load(r.id))
        answer(CaptureLoaded{std::move(*c), r.purpose});
}

void ArchiveWorker::run(const SetNote& r)
{
    if (!open_)
        return;
    QSqlQuery q(db());
    q.prepare(QStringLiteral("UPDATE captures SET note = ? WHERE id = ?"));
    q.addBindValue(r.note);
    q.addBindValue(qlonglong(r.id));
    if (!exec(q))
        return;
    CaptureRow row;
    if (loadRow(r.id, row))
        answer(CapturesStored{{row}, {}});
}

void ArchiveWorker::run(const DeleteCapture& r)
{
    const std::int64_t id = r.id;
    if (!open_)
        return;
    QSqlDatabase d = db();
    if (!d.transaction()) {
        fail(d.lastError().text());
        return;
    }
    int gone = 0;
    for (const char* sql :
        {"DELETE FROM capture_data WHERE capture_id = ?", "DELETE FROM captures WHERE id = ?"}) {
        QSqlQuery q(d);
        q.prepare(QString::fromLatin1(sql));
        q.addBindValue(qlonglong(id));
        if (!exec(q))
            return;
        gone = q.numRowsAffected();
    }
    if (!d.commit()) {
        fail(d.lastError().text());
        return;
    }
    captureCount_ -= gone;
    answer(CapturesRemoved{{id}});
    scheduleTrim(); // its pages given back
}

void ArchiveWorker::run(const ExportCapture& r)
{
    const auto c = load(r.id);
    if (!c && !failure_.isEmpty())
        return; // asked again once the file works
    if (!c) {
        ExportResult result;
        result.id = r.id;
        result.format = r.format;
        result.path = r.path;
        result.outcome = ExportOutcome::NotFound;
        answer(std::move(result));
        return;
    }
    answer(::exportCapture(*c, r.format, r.path));
}

void ArchiveWorker::run(const ImportComtrade& r)
{
    if (!open_)
        return;
    ImportResult result;
    result.path = r.path;
    const ComtradeResult read = readComtradeFile(r.path);
    if (!read.record) {
        result.error = read.error.message();
        answer(std::move(result));
        return;
    }
    const ComtradeRecord& record = *read.record;
    result.damage = record.damage;
    QSqlDatabase d = db();
    if (!d.transaction()) {
        fail(d.lastError().text());
        return;
    }
    std::vector<CaptureRow> stored;
    std::vector<std::int64_t> announced;
    std::vector<std::int64_t> keys;
    const std::int64_t countBefore = captureCount_;
    const auto forget = [&] {
        for (const std::int64_t key : keys)
            written_.erase(key);
    };
    // One channel's points at a time: memory stays the record and one capture.
    for (std::size_t c = 0; c < record.analogs.size(); ++c) {
        CaptureData capture = comtradeCapture(record, c);
        if (capture.x.empty())
            continue;
        capture.key = --importKey_;
        keys.push_back(capture.key);
        if (!storeOne(capture, stored, announced, result.ids)) {
            forget();
            captureCount_ = countBefore;
            return; // asked again once the file works
        }
        result.points += std::int64_t(capture.x.size());
    }
    forget();
    if (!d.commit()) {
        fail(d.lastError());
        captureCount_ = countBefore;
        return;
    }
    // Not announced as new captures: nothing happened on the line at their time.
    if (!stored.empty())
        answer(CapturesStored{std::move(stored), {}});
    answer(std::move(result));
    if (captureCount_ > keep_)
        scheduleTrim();
}

void ArchiveWorker::appendJournal(const std::vector<JournalRow>& rows)
{
    const int handed = int(rows.size());
    if (!open_ || rows.empty()) {
        answer(JournalAppended{{}, handed});
        return;
    }
    QSqlDatabase d = db();
    if (!d.transaction()) {
        fail(d.lastError().text());
        answer(JournalAppended{{}, handed});
        return;
    }
    std::vector<JournalRow> stored;
    stored.reserve(rows.size());
    QSqlQuery q(d);
    q.prepare(QStringLiteral(
        "INSERT INTO journal(time, kind, subject, value, text, origin) VALUES(?, ?, ?, ?, ?, ?)"));
    for (const JournalRow& row : rows) {
        q.bindValue(0, row.time);
        q.bindValue(1, row.kind);
        q.bindValue(2, row.subject);
        q.bindValue(3, row.value);
        q.bindValue(4, row.text);
        q.bindValue(5, row.origin.isNull() ? QStringLiteral("") : row.origin);
        if (!exec(q)) {
            answer(JournalAppended{{}, handed});
            return;
        }
        stored.push_back(row);
        stored.back().id = q.lastInsertId().toLongLong();
    }
    QSqlQuery trim(d);
    trim.prepare(QStringLiteral("DELETE FROM journal WHERE id <= ?"));
    trim.addBindValue(qlonglong(stored.back().id - std::max(journalKeep_, 0)));
    if (!exec(trim)) {
        answer(JournalAppended{{}, handed});
        return;
    }
    if (!d.commit()) {
        fail(d.lastError().text());
        answer(JournalAppended{{}, handed});
        return;
    }
    answer(JournalAppended{std::move(stored), handed});
}

void ArchiveWorker::run(const QueryJournal& r)
{
    const QStringList& kinds = r.kinds;
    const QString& subject = r.subject;
    if (!open_)
        return;
    QString sql = QStringLiteral("SELECT id, time, kind, subject, value, text, origin FROM journal");
    QStringList where;
    if (!kinds.isEmpty()) {
        where << kindIn(kinds);
    }
    if (!subject.isEmpty())
        where << QStringLiteral("subject = ?");
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY id DESC LIMIT ?");
    QSqlQuery q(db());
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QString& kind : kinds)
        q.addBindValue(kind);
    if (!subject.isEmpty())
        q.addBindValue(subject);
    q.addBindValue(std::max(r.limit, 0));
    if (!exec(q))
        return;
    std::vector<JournalRow> rows;
    while (q.next())
        rows.push_back(journalRowAt(q));
    placeCaptureRowsByTime(rows);
    answer(JournalQueried{std::move(rows), r.tag});
}

void ArchiveWorker::run(const ExportJournal& r)
{
    const QStringList& kinds = r.kinds;
    const QString& path = r.path;
    const std::int64_t tag = r.tag;
    if (!open_)
        return;
    QString sql
        = QStringLiteral("SELECT id, time, kind, subject, value, text, origin FROM journal WHERE id > ?");
    if (!kinds.isEmpty()) {
        sql += QStringLiteral(" AND ") + kindIn(kinds);
    }
    sql += QStringLiteral(" ORDER BY id LIMIT %1").arg(kExportPageRows);
    // Written beside the target and put in its place at the end: a failed export leaves an
    // older file as it was.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        answer(JournalExported{tag, path, out.errorString(), 0});
        return;
    }
    std::int64_t after = 0;
    std::int64_t written = 0;
    std::vector<JournalRow> page;
    // A page at a time, each by its own statement: memory stays one page, and the writer
    // (this thread) is not held by a long read.
    for (bool first = true;; first = false) {
        page.clear();
        QSqlQuery q(db());
        q.setForwardOnly(true);
        q.prepare(sql);
        q.addBindValue(qlonglong(after));
        for (const QString& kind : kinds)
            q.addBindValue(kind);
        if (!exec(q)) {
            out.cancelWriting();
            return; // asked again once the file works
        }
        while (q.next())
            page.push_back(journalRowAt(q));
        if (!page.empty() || first) {
            const QByteArray bytes = r.csv(page, first);
            if (out.write(bytes) != bytes.size())
                break;
        }
        written += std::int64_t(page.size());
        if (int(page.size()) < kExportPageRows)
            break;
        after = page.back().id;
    }
    if (!out.commit()) {
        answer(JournalExported{tag, path, out.errorString(), written});
        return;
    }
    answer(JournalExported{tag, path, QString(), written});
}
