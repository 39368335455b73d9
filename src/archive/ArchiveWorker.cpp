#include "archive/ArchiveWorker.h"

#include "archive/CaptureExport.h"

#include <QAtomicInteger>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

namespace {

QAtomicInteger<int> connectionCount;

// Version 1: the captures.
const char* const kSchema1[] = {
    "CREATE TABLE captures(id INTEGER PRIMARY KEY, started TEXT, ended TEXT, port TEXT, x_title TEXT, "
    "y_title TEXT, points INTEGER, note TEXT)",
    "CREATE TABLE capture_points(capture_id INTEGER, k INTEGER, x INTEGER, y INTEGER, "
    "PRIMARY KEY(capture_id, k))",
};
// Version 2 adds the journal.
const char* const kSchema2[] = {
    "CREATE TABLE journal(id INTEGER PRIMARY KEY, time TEXT, kind TEXT, subject TEXT, value TEXT, text TEXT)",
    "CREATE INDEX journal_kind ON journal(kind, id)",
};

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
    return r;
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

const QString kRowColumns = QStringLiteral("id, started, ended, port, x_title, y_title, points, note");

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
    keep_ = keep;
    journalKeep_ = journalKeep;
    path_ = path;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        d.setDatabaseName(path);
        d.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
        if (!d.open()) {
            const QString why = d.lastError().text();
            d = QSqlDatabase();
            QSqlDatabase::removeDatabase(connection_);
            emit failed(why);
            return;
        }
    }
    open_ = true;
    // WAL: a commit survives a kill of the program and readers do not block the writer;
    // NORMAL: only a power loss can take the last commits.
    if (!exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !exec(QStringLiteral("PRAGMA synchronous=NORMAL"))
        || !createOrCheckSchema())
        return;
    QSqlQuery count(db());
    if (!count.exec(QStringLiteral("SELECT count(*) FROM captures")) || !count.next()) {
        fail(count.lastError().text());
        return;
    }
    captureCount_ = count.value(0).toLongLong();
    insertCapture_ = std::make_unique<QSqlQuery>(db());
    updateCapture_ = std::make_unique<QSqlQuery>(db());
    insertPoint_ = std::make_unique<QSqlQuery>(db());
    insertPoints_ = std::make_unique<QSqlQuery>(db());
    QString manyPoints = QStringLiteral("INSERT INTO capture_points(capture_id, k, x, y) VALUES(?, ?, ?, ?)");
    for (int i = 1; i < kPointsPerInsert; ++i)
        manyPoints += QStringLiteral(", (?, ?, ?, ?)");
    if (!insertCapture_->prepare(
            QStringLiteral("INSERT INTO captures(started, ended, port, x_title, y_title, "
                           "points, note) VALUES(?, ?, ?, ?, ?, ?, '')"))
        || !updateCapture_->prepare(QStringLiteral(
            "UPDATE captures SET ended = ?, x_title = ?, y_title = ?, points = ? WHERE id = ?"))
        || !insertPoint_->prepare(
            QStringLiteral("INSERT INTO capture_points(capture_id, k, x, y) VALUES(?, ?, ?, ?)"))
        || !insertPoints_->prepare(manyPoints)) {
        fail(db().lastError().text());
        return;
    }
    emit opened(path);
    listCaptures();
}

void ArchiveWorker::close()
{
    // Statements go before their connection.
    insertCapture_.reset();
    updateCapture_.reset();
    insertPoint_.reset();
    insertPoints_.reset();
    if (!QSqlDatabase::contains(connection_))
        return;
    {
        QSqlDatabase d = db();
        if (d.isOpen())
            d.close();
    }
    QSqlDatabase::removeDatabase(connection_);
    open_ = false;
    written_.clear();
}

void ArchiveWorker::setKeep(int keep)
{
    keep_ = keep;
}

bool ArchiveWorker::fail(const QString& what)
{
    const QString where = path_;
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase d = db();
        if (d.isOpen())
            d.rollback();
    }
    close();
    emit failed(what.isEmpty() ? where : what);
    return false;
}

bool ArchiveWorker::exec(QSqlQuery& query)
{
    if (query.exec())
        return true;
    return fail(query.lastError().text());
}

bool ArchiveWorker::exec(const QString& sql)
{
    QSqlQuery q(db());
    if (q.exec(sql))
        return true;
    return fail(q.lastError().text());
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
    if (version > kSchemaVersion)
        return fail(QStringLiteral("schema version %1 is newer than this program's %2")
                        .arg(version)
                        .arg(kSchemaVersion));
    QSqlDatabase d = db();
    if (!d.transaction())
        return fail(d.lastError().text());
    // A version-1 archive (captures only) gains the journal; its captures stay as they are.
    std::vector<const char*> steps;
    if (version < 1)
        steps.insert(steps.end(), std::begin(kSchema1), std::end(kSchema1));
    steps.insert(steps.end(), std::begin(kSchema2), std::end(kSchema2));
    for (const char* sql : steps) {
        if (!exec(QString::fromLatin1(sql)))
            return false;
    }
    if (!exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion)))
        return false;
    if (!d.commit())
        return fail(d.lastError().text());
    return true;
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
    for (const CaptureData& capture : captures) {
        if (!storeOne(capture, stored, firstIds))
            return;
    }
    std::vector<std::int64_t> removed;
    if (!enforceKeep(removed))
        return;
    if (!d.commit()) {
        fail(d.lastError().text());
        return;
    }
    // Rows Keep removed in the same batch are not announced.
    // Keep removes every id up to the newest one gone (the first, as they come newest first).
    const std::int64_t newestGone = removed.empty() ? 0 : removed.front();
    std::erase_if(stored, [&](const CaptureRow& r) { return r.id <= newestGone; });
    if (!stored.empty())
        emit capturesStored(stored, firstIds);
    if (!removed.empty())
        emit capturesRemoved(removed);
}

bool ArchiveWorker::storeOne(
    const CaptureData& capture, std::vector<CaptureRow>& stored, std::vector<std::int64_t>& firstIds)
{
    if (capture.x.empty())
        return true;
    auto found = written_.find(capture.key);
    const bool first = found == written_.end();
    Written w;
    if (first) {
        QSqlQuery& q = *insertCapture_;
        q.bindValue(0, capture.started);
        q.bindValue(1, capture.ended);
        q.bindValue(2, capture.port);
        q.bindValue(3, capture.xTitle);
        q.bindValue(4, capture.yTitle);
        q.bindValue(5, qlonglong(capture.size()));
        if (!exec(q))
            return false;
        w.id = q.lastInsertId().toLongLong();
        ++captureCount_;
    } else {
        w = found->second;
        QSqlQuery& q = *updateCapture_;
        q.bindValue(0, capture.ended);
        q.bindValue(1, capture.xTitle);
        q.bindValue(2, capture.yTitle);
        q.bindValue(3, qlonglong(capture.size()));
        q.bindValue(4, qlonglong(w.id));
        if (!exec(q))
            return false;
        // Deleted by the operator (or beyond Keep) while it grew: it stays gone.
        if (q.numRowsAffected() == 0)
            return true;
    }
    std::size_t i = w.points;
    for (; i + kPointsPerInsert <= capture.size(); i += kPointsPerInsert) {
        QSqlQuery& many = *insertPoints_;
        for (int j = 0; j < kPointsPerInsert; ++j) {
            const std::size_t at = i + std::size_t(j);
            many.bindValue(4 * j, qlonglong(w.id));
            many.bindValue(4 * j + 1, qlonglong(at + 1));
            many.bindValue(4 * j + 2, qlonglong(capture.x[at]));
            many.bindValue(4 * j + 3, capture.y[at]);
        }
        if (!exec(many))
            return false;
    }
    QSqlQuery& one = *insertPoint_;
    for (; i < capture.size(); ++i) {
        one.bindValue(0, qlonglong(w.id));
        one.bindValue(1, qlonglong(i + 1));
        one.bindValue(2, qlonglong(capture.x[i]));
        one.bindValue(3, capture.y[i]);
        if (!exec(one))
            return false;
    }
    w.points = capture.size();
    // Kept even when Keep drops it at once: a later growth then finds no row and stays gone.
    // A failed commit turns the archive off, which forgets these.
    written_[capture.key] = w;
    CaptureRow row;
    if (first) {
        row = CaptureRow{w.id, capture.started, capture.ended, capture.port, capture.xTitle, capture.yTitle,
            std::int64_t(capture.size()), QString(), capture.event, capture.eventTime};
        firstIds.push_back(w.id);
    } else if (!loadRow(w.id, row)) {
        return open_;
    }
    stored.push_back(std::move(row));
    return true;
}

bool ArchiveWorker::enforceKeep(std::vector<std::int64_t>& removed)
{
    if (captureCount_ <= keep_)
        return true;
    QSqlQuery q(db());
    q.prepare(QStringLiteral("SELECT id FROM captures ORDER BY id DESC LIMIT -1 OFFSET ?"));
    q.addBindValue(std::max(keep_, 0));
    if (!exec(q))
        return false;
    while (q.next())
        removed.push_back(q.value(0).toLongLong());
    q.finish();
    if (removed.empty())
        return true;
    const std::int64_t newestGone = removed.front();
    QSqlQuery del(db());
    del.prepare(QStringLiteral("DELETE FROM capture_points WHERE capture_id <= ?"));
    del.addBindValue(qlonglong(newestGone));
    if (!exec(del))
        return false;
    del.prepare(QStringLiteral("DELETE FROM captures WHERE id <= ?"));
    del.addBindValue(qlonglong(newestGone));
    if (!exec(del))
        return false;
    captureCount_ -= std::int64_t(removed.size());
    return true;
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

void ArchiveWorker::listCaptures()
{
    if (!open_)
        return;
    QSqlQuery q(db());
    q.setForwardOnly(true);
    if (!exec(
            q = QSqlQuery(QStringLiteral("SELECT %1 FROM captures ORDER BY id DESC").arg(kRowColumns), db())))
        return;
    std::vector<CaptureRow> rows;
    while (q.next())
        rows.push_back(rowOf(q));
    emit capturesListed(rows);
}

std::optional<StoredCapture> ArchiveWorker::load(std::int64_t id)
{
    StoredCapture c;
    if (!open_ || !loadRow(id, c.row))
        return std::nullopt;
    QSqlQuery q(db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT x, y FROM capture_points WHERE capture_id = ? ORDER BY k"));
    q.addBindValue(qlonglong(id));
    if (!exec(q))
        return std::nullopt;
    c.x.reserve(std::size_t(c.row.points));
    c.y.reserve(std::size_t(c.row.points));
    while (q.next()) {
        c.x.push_back(q.value(0).toLongLong());
        c.y.push_back(q.value(1).toInt());
    }
    return c;
}

void ArchiveWorker::loadCapture(std::int64_t id, int purpose)
{
    if (auto c = load(id))
        emit captureLoaded(*c, purpose);
}

void ArchiveWorker::setNote(std::int64_t id, const QString& note)
{
    if (!open_)
        return;
    QSqlQuery q(db());
    q.prepare(QStringLiteral("UPDATE captures SET note = ? WHERE id = ?"));
    q.addBindValue(note);
    q.addBindValue(qlonglong(id));
    if (!exec(q))
        return;
    CaptureRow row;
    if (loadRow(id, row))
        emit capturesStored({row}, {});
}

void ArchiveWorker::deleteCapture(std::int64_t id)
{
    if (!open_)
        return;
    QSqlDatabase d = db();
    if (!d.transaction()) {
        fail(d.lastError().text());
        return;
    }
    int gone = 0;
    for (const char* sql :
        {"DELETE FROM capture_points WHERE capture_id = ?", "DELETE FROM captures WHERE id = ?"}) {
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
    emit capturesRemoved({id});
}

void ArchiveWorker::exportCapture(std::int64_t id, ExportFormat format, const QString& path)
{
    const auto c = load(id);
    if (!c) {
        ExportResult r;
        r.id = id;
        r.format = format;
        r.path = path;
        r.outcome = ExportOutcome::NotFound;
        emit exported(r);
        return;
    }
    emit exported(::exportCapture(*c, format, path));
}

void ArchiveWorker::appendJournal(const std::vector<JournalRow>& rows)
{
    const int handed = int(rows.size());
    if (!open_ || rows.empty()) {
        emit journalAppended({}, handed);
        return;
    }
    QSqlDatabase d = db();
    if (!d.transaction()) {
        fail(d.lastError().text());
        emit journalAppended({}, handed);
        return;
    }
    std::vector<JournalRow> stored;
    stored.reserve(rows.size());
    QSqlQuery q(d);
    q.prepare(QStringLiteral("INSERT INTO journal(time, kind, subject, value, text) VALUES(?, ?, ?, ?, ?)"));
    for (const JournalRow& row : rows) {
        q.bindValue(0, row.time);
        q.bindValue(1, row.kind);
        q.bindValue(2, row.subject);
        q.bindValue(3, row.value);
        q.bindValue(4, row.text);
        if (!exec(q)) {
            emit journalAppended({}, handed);
            return;
        }
        stored.push_back(row);
        stored.back().id = q.lastInsertId().toLongLong();
    }
    QSqlQuery trim(d);
    trim.prepare(QStringLiteral("DELETE FROM journal WHERE id <= ?"));
    trim.addBindValue(qlonglong(stored.back().id - std::max(journalKeep_, 0)));
    if (!exec(trim)) {
        emit journalAppended({}, handed);
        return;
    }
    if (!d.commit()) {
        fail(d.lastError().text());
        emit journalAppended({}, handed);
        return;
    }
    emit journalAppended(stored, handed);
}

void ArchiveWorker::queryJournal(
    const QStringList& kinds, int limit, std::int64_t tag, const QString& subject)
{
    if (!open_)
        return;
    QString sql = QStringLiteral("SELECT id, time, kind, subject, value, text FROM journal");
    QStringList where;
    if (!kinds.isEmpty()) {
        QStringList marks;
        for (qsizetype i = 0; i < kinds.size(); ++i)
            marks << QStringLiteral("?");
        where << QStringLiteral("kind IN (%1)").arg(marks.join(QLatin1Char(',')));
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
    q.addBindValue(std::max(limit, 0));
    if (!exec(q))
        return;
    std::vector<JournalRow> rows;
    while (q.next()) {
        JournalRow r;
        r.id = q.value(0).toLongLong();
        r.time = q.value(1).toString();
        r.kind = q.value(2).toString();
        r.subject = q.value(3).toString();
        r.value = q.value(4).toString();
        r.text = q.value(5).toString();
        rows.push_back(std::move(r));
    }
    placeCaptureRowsByTime(rows);
    emit journalQueried(rows, tag);
}
