#pragma once
// The archive's database work, on the store's own thread. It owns the only connection to
// the file (a Qt SQL connection belongs to the thread that made it) and answers with plain
// values by signal. A failed statement rolls its transaction back and closes the file; the
// next request opens it again by itself (see beginRequest), so a file locked for a while or a
// full disk costs only the requests made meanwhile, which the store hands over again.

#include "archive/ArchiveRequests.h"

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

    static constexpr int kExportPageRows = 10000;

    // Opens the file (also asked for as OpenArchive, by the store).
    void open(const QString& path, int keep, int journalKeep, int busyTimeoutMs);
    void close();
    // A lowered Keep starts trimming at once.
    void setKeep(int keep);
    // Captures in one transaction: new ones inserted, grown ones updated. Captures beyond
    // Keep are removed afterwards, in short transactions of their own. Answered by
    // CapturesStored (and CapturesRemoved for the trimming).
    void storeCaptures(const std::vector<CaptureData>& captures);
    // Many rows in one transaction; the oldest beyond journalKeep go. Answered by
    // JournalAppended.
    void appendJournal(const std::vector<JournalRow>& rows);

    // One request of the table (ArchiveRequests.h), and the handler of each.
    void run(const ArchiveRequest& request);
    void run(const OpenArchive& r);
    void run(const ListCaptures& r);
    void run(const LoadCapture& r);
    void run(const SetNote& r);
    void run(const DeleteCapture& r);
    void run(const ExportCapture& r);
    void run(const ImportComtrade& r);
    void run(const QueryJournal& r);
    void run(const ExportJournal& r);

signals:
    // Every answer, asked for or not, in the order given.
    void answered(const ArchiveAnswer& answer);
    void failed(const QString& message);

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
    template <class A> void answer(A&& a) { emit answered(ArchiveAnswer(std::forward<A>(a))); }
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
