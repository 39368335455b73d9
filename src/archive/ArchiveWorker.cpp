#include "archive/ArchiveWorker.h"

#include "archive/CaptureExport.h"

#include <QAtomicInteger>
#include <QSaveFile>
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
    if (reopening_)
        return;
    emit opened(path);
    listCaptures();
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
        if (!storeOne(capture, stored, firstIds))
            return undo();
    }
    std::vector<std::int64_t> removed;
    if (!enforceKeep(removed))
        return undo();
    if (!d.commit()) {
        fail(d.lastError());
        return undo();
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
            std::int64_t(capture.size()), QString()};
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
    if (!c && !failure_.isEmpty())
        return; // asked again once the file works
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

void ArchiveWorker::exportJournal(
    const QStringList& kinds, const QString& path, const JournalCsv& csv, std::int64_t tag)
{
    if (!open_)
        return;
    QString sql = QStringLiteral("SELECT id, time, kind, subject, value, text FROM journal WHERE id > ?");
    if (!kinds.isEmpty()) {
        QStringList marks;
        for (qsizetype i = 0; i < kinds.size(); ++i)
            marks << QStringLiteral("?");
        sql += QStringLiteral(" AND kind IN (%1)").arg(marks.join(QLatin1Char(',')));
    }
    sql += QStringLiteral(" ORDER BY id LIMIT %1").arg(kExportPageRows);
    // Written beside the target and put in its place at the end: a failed export leaves an
    // older file as it was.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        emit journalExported(tag, path, out.errorString(), 0);
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
        while (q.next()) {
            JournalRow r;
            r.id = q.value(0).toLongLong();
            r.time = q.value(1).toString();
            r.kind = q.value(2).toString();
            r.subject = q.value(3).toString();
            r.value = q.value(4).toString();
            r.text = q.value(5).toString();
            page.push_back(std::move(r));
        }
        if (!page.empty() || first) {
            const QByteArray bytes = csv(page, first);
            if (out.write(bytes) != bytes.size())
                break;
        }
        written += std::int64_t(page.size());
        if (int(page.size()) < kExportPageRows)
            break;
        after = page.back().id;
    }
    if (!out.commit()) {
        emit journalExported(tag, path, out.errorString(), written);
        return;
    }
    emit journalExported(tag, path, QString(), written);
}
