#include "archive/ArchiveWorker.h"

#include "archive/CaptureExport.h"

#include <QAtomicInteger>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

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
    emit opened(path);
    listCaptures();
}

void ArchiveWorker::close()
{
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

void ArchiveWorker::storeCapture(const CaptureData& capture)
{
    if (!open_ || capture.x.empty())
        return;
    QSqlDatabase d = db();
    if (!d.transaction()) {
        fail(d.lastError().text());
        return;
    }
    auto found = written_.find(capture.key);
    const bool first = found == written_.end();
    Written w;
    if (first) {
        QSqlQuery q(d);
        q.prepare(QStringLiteral("INSERT INTO captures(started, ended, port, x_title, y_title, points, note) "
                                 "VALUES(?, ?, ?, ?, ?, ?, '')"));
        q.addBindValue(capture.started);
        q.addBindValue(capture.ended);
        q.addBindValue(capture.port);
        q.addBindValue(capture.xTitle);
        q.addBindValue(capture.yTitle);
        q.addBindValue(qlonglong(capture.size()));
        if (!exec(q))
            return;
        w.id = q.lastInsertId().toLongLong();
    } else {
        w = found->second;
        QSqlQuery q(d);
        q.prepare(QStringLiteral(
            "UPDATE captures SET ended = ?, x_title = ?, y_title = ?, points = ? WHERE id = ?"));
        q.addBindValue(capture.ended);
        q.addBindValue(capture.xTitle);
        q.addBindValue(capture.yTitle);
        q.addBindValue(qlonglong(capture.size()));
        q.addBindValue(qlonglong(w.id));
        if (!exec(q))
            return;
        if (q.numRowsAffected() == 0) {
            // Deleted by the operator (or beyond Keep) while it grew: it stays gone.
            d.commit();
            return;
        }
    }
    QSqlQuery p(d);
    p.prepare(QStringLiteral("INSERT INTO capture_points(capture_id, k, x, y) VALUES(?, ?, ?, ?)"));
    for (std::size_t i = w.points; i < capture.size(); ++i) {
        p.bindValue(0, qlonglong(w.id));
        p.bindValue(1, qlonglong(i + 1));
        p.bindValue(2, qlonglong(capture.x[i]));
        p.bindValue(3, capture.y[i]);
        if (!exec(p))
            return;
    }
    w.points = capture.size();
    std::vector<std::int64_t> removed;
    if (!enforceKeep(removed))
        return;
    if (!d.commit()) {
        fail(d.lastError().text());
        return;
    }
    // Kept even when Keep dropped it at once: a later growth then finds no row and stays gone.
    written_[capture.key] = w;
    CaptureRow row;
    if (loadRow(w.id, row))
        emit captureStored(row, first);
    if (!removed.empty())
        emit capturesRemoved(removed);
}

bool ArchiveWorker::enforceKeep(std::vector<std::int64_t>& removed)
{
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
    return exec(del);
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
        emit captureStored(row, false);
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
    for (const char* sql :
        {"DELETE FROM capture_points WHERE capture_id = ?", "DELETE FROM captures WHERE id = ?"}) {
        QSqlQuery q(d);
        q.prepare(QString::fromLatin1(sql));
        q.addBindValue(qlonglong(id));
        if (!exec(q))
            return;
    }
    if (!d.commit()) {
        fail(d.lastError().text());
        return;
    }
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

void ArchiveWorker::queryJournal(const QStringList& kinds, int limit, std::int64_t tag)
{
    if (!open_)
        return;
    QString sql = QStringLiteral("SELECT id, time, kind, subject, value, text FROM journal");
    if (!kinds.isEmpty()) {
        QStringList marks;
        for (qsizetype i = 0; i < kinds.size(); ++i)
            marks << QStringLiteral("?");
        sql += QStringLiteral(" WHERE kind IN (%1)").arg(marks.join(QLatin1Char(',')));
    }
    sql += QStringLiteral(" ORDER BY id DESC LIMIT ?");
    QSqlQuery q(db());
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QString& kind : kinds)
        q.addBindValue(kind);
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
    emit journalQueried(rows, tag);
}
