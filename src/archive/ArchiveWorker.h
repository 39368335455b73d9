#pragma once
// The archive's database work, on the store's own thread. It owns the only connection to
// the file (a Qt SQL connection belongs to the thread that made it) and answers with plain
// values by signal. A failed statement rolls its transaction back and closes the file; the
// next request opens it again by itself (see beginRequest), so a file locked for a while or a
// full disk costs only the requests made meanwhile, which the store hands over again.

#include "archive/ArchiveTypes.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

class QSqlDatabase;
class QSqlError;
class QSqlQuery;

class ArchiveWorker : public QObject {
    Q_OBJECT
public:
    // The schema this program writes (PRAGMA user_version).
    static constexpr int kSchemaVersion = 6;
    // Keep's trimming removes at most this many points' captures per transaction, and gives
    // back at most this many free pages per step, so a new capture never waits long for it.
    static constexpr std::int64_t kTrimPointsPerStep = 200000;
    static constexpr int kVacuumPagesPerStep = 2048;
    // Captures not yet measured (stored by an older version) are measured in steps of about
    // this many points, newest first, between the requests.
    static constexpr std::int64_t kMeasurePointsPerStep = 100000;
    // The write-ahead log is cut back to this size once checkpointed.
    static constexpr int kWalLimitBytes = 4 * 1024 * 1024;

    ArchiveWorker();
    ~ArchiveWorker() override;

    bool isOpen() const { return open_; }

    // Around every request the store makes: before, the file is opened again after a failure
    // of an earlier one (unless the request is an open); after, a failure closes it (only
    // then, so no statement of the request is still alive when its connection goes).
    void beginRequest(bool reopen = true);
    void endRequest();
    // Why the last request failed; empty when it did not.
    const QString& failure() const { return failure_; }
    // The failure is the file itself (not an archive, a newer schema): trying again is futile.
    bool failureLasts() const { return lasting_; }

    // The journal's CSV of one page of rows, oldest first; the first page with the header.
    using JournalCsv = std::function<QByteArray(const std::vector<JournalRow>& rows, bool first)>;
    static constexpr int kExportPageRows = 10000;

public slots:
    void open(const QString& path, int keep, int journalKeep, int busyTimeoutMs);
    void close();
    // A lowered Keep starts trimming at once.
    void setKeep(int keep);
    // Captures in one transaction: new ones inserted, grown ones updated. Captures beyond
    // Keep are removed afterwards, in short transactions of their own.
    void storeCaptures(const std::vector<CaptureData>& captures);
    // The newest captures, at most Keep of them (older ones are about to go).
    void listCaptures();
    // `purpose` comes back with the capture so the caller knows why it asked.
    void loadCapture(std::int64_t id, int purpose);
    void setNote(std::int64_t id, const QString& note);
    void deleteCapture(std::int64_t id);
    void exportCapture(std::int64_t id, ExportFormat format, const QString& path);
    // Reads a COMTRADE record (NAME.cfg with NAME.dat, or NAME.cff) and stores each analog
    // channel as a capture, all in one transaction; answered by imported.
    void importComtrade(const QString& path);
    // Many rows in one transaction; the oldest beyond journalKeep go.
    void appendJournal(const std::vector<JournalRow>& rows);
    // The newest `limit` rows whose kind is one of `kinds` (every kind when empty) and whose
    // subject is `subject` (any when empty); a capture's row among the rows of its start.
    void queryJournal(const QStringList& kinds, int limit, std::int64_t tag, const QString& subject);
    // Every row whose kind is one of `kinds`, oldest first, written to `path` a page at a
    // time; answered by journalExported with the same tag.
    void exportJournal(
        const QStringList& kinds, const QString& path, const JournalCsv& csv, std::int64_t tag);

signals:
    void opened(const QString& path);
    void failed(const QString& message);
    // The rows of one committed batch; `firstIds` those stored complete (not growing) for the
    // first time.
    void capturesStored(const std::vector<CaptureRow>& rows, const std::vector<std::int64_t>& firstIds);
    void capturesListed(const std::vector<CaptureRow>& rows);
    void capturesRemoved(const std::vector<std::int64_t>& ids);
    void captureLoaded(const StoredCapture& capture, int purpose);
    void exported(const ExportResult& result);
    void imported(const ImportResult& result);
    // The rows as stored (with their ids), or an empty list when they could not be.
    void journalAppended(const std::vector<JournalRow>& rows, int handed);
    void journalQueried(const std::vector<JournalRow>& rows, std::int64_t tag);
    // `error` empty when the file was written.
    void journalExported(std::int64_t tag, const QString& path, const QString& error, std::int64_t rows);

private:
    bool createOrCheckSchema();
    bool migrate(int from);
    bool useIncrementalVacuum();
    bool exec(QSqlQuery& query);
    bool exec(const QString& sql);
    bool fail(const QString& what);
    bool fail(const QSqlError& error);
    void closeConnection();
    bool loadRow(std::int64_t id, CaptureRow& row);
    std::optional<StoredCapture> load(std::int64_t id);
    bool storeOne(const CaptureData& capture, std::vector<CaptureRow>& stored,
        std::vector<std::int64_t>& firstIds, std::vector<std::int64_t>& inserted);
    void scheduleTrim();
    void trimStep();
    void scheduleMeasure();
    void measureStep();
    bool trimOldest(std::vector<std::int64_t>& removed);
    std::int64_t freePages();
    QSqlDatabase db() const;

    QString connection_;
    QString path_;
    bool open_ = false;
    int busyTimeoutMs_ = 3000;
    bool reopening_ = false; // an open after a failure: nothing to announce
    QString failure_;
    bool lasting_ = false;
    bool closePending_ = false; // failed: the connection goes at the end of the request
    int keep_ = 1000;
    int journalKeep_ = 1000000;
    std::int64_t captureCount_ = 0; // rows in captures, so Keep costs a query only when due
    // Statements a flood of captures runs again and again, prepared once per open.
    std::unique_ptr<QSqlQuery> insertCapture_;
    std::unique_ptr<QSqlQuery> updateCapture_;
    std::unique_ptr<QSqlQuery> insertPoints_;
    std::unique_ptr<QSqlQuery> updatePoints_;
    bool trimQueued_ = false;
    bool measureQueued_ = false;
    // Captures of this run already in the file: their id, how many points were written and
    // whether it was announced complete.
    struct Written {
        std::int64_t id = 0;
        std::size_t points = 0;
        bool announced = false;
    };
    std::unordered_map<std::int64_t, Written> written_;
    // Imported captures pass through storeOne under keys no recorder gives (below zero).
    std::int64_t importKey_ = 0;
};
