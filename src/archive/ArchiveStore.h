#pragma once
// The capture archive as the window sees it: requests go to the worker on the store's own
// thread as queued signals, answers come back as signals on the caller's thread. Nothing
// here blocks the caller except close(), which waits for the work already asked for.

#include "archive/ArchiveTypes.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <unordered_map>

class ArchiveWorker;

// Where the archive lives unless the settings file says otherwise.
QString defaultArchiveFile(const QString& programFolder);

class ArchiveStore : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultKeep = 1000;
    static constexpr int kDefaultBusyTimeoutMs = 3000;
    static constexpr int kDefaultJournalKeep = 1000000;
    // Captures handed over within this time are committed in one transaction.
    static constexpr int kCaptureBatchMs = 200;
    // Journal rows handed over but not yet committed, at most; more are counted and dropped.
    static constexpr int kJournalQueueRows = 20000;
    // Rows gathered for this long (or this many) go to the disk in one transaction.
    static constexpr int kJournalBatchMs = 100;
    static constexpr int kJournalBatchRows = 2000;

    explicit ArchiveStore(QObject* parent = nullptr);
    ~ArchiveStore() override;

    // Opens (or re-opens) the file; an empty path turns the archive off, a journalKeep of 0
    // the journal alone.
    void open(const QString& path, int keep, int journalKeep = kDefaultJournalKeep,
        int busyTimeoutMs = kDefaultBusyTimeoutMs);
    // Finishes every request made so far, then closes the file.
    void close();
    bool isOn() const { return !path_.isEmpty() && failure_.isEmpty(); }
    const QString& path() const { return path_; }
    int keep() const { return keep_; }
    int journalKeep() const { return journalKeep_; }
    // Why the archive is off after a failure; empty while it works.
    const QString& failure() const { return failure_; }

    // Committed with the others handed over within kCaptureBatchMs; a later copy of the same
    // capture (it grew) replaces one still waiting.
    void storeCapture(const CaptureData& capture);
    void listCaptures();
    void loadCapture(std::int64_t id, int purpose);
    void setNote(std::int64_t id, const QString& note);
    void deleteCapture(std::int64_t id);
    void exportCapture(std::int64_t id, ExportFormat format, const QString& path);

    // Queues a journal row (its time set to now when empty) and returns at once. When the
    // disk falls behind by kJournalQueueRows, rows are counted and dropped, and one row of
    // kind "error", subject "journal", says how many.
    void appendJournal(JournalRow row);
    // Answered by journalQueried with the same tag: the newest `limit` rows whose kind is
    // one of `kinds` (all kinds when empty) and, when given, whose subject is `subject`,
    // newest first (a capture's row among the rows of its start).
    void queryJournal(const QStringList& kinds, int limit, std::int64_t tag = 0, const QString& subject = {});
    // Rows dropped since the archive was opened.
    std::int64_t journalDropped() const { return journalDroppedTotal_; }

signals:
    void opened(const QString& path);
    // Once per open: the archive is off from here on.
    void failed(const QString& message);
    void captureStored(const CaptureRow& row, bool first);
    void capturesListed(const std::vector<CaptureRow>& rows);
    void capturesRemoved(const std::vector<std::int64_t>& ids);
    void captureLoaded(const StoredCapture& capture, int purpose);
    void exported(const ExportResult& result);
    // Rows committed to the journal, with their ids, in the order they were appended.
    void journalAppended(const std::vector<JournalRow>& rows);
    void journalQueried(const std::vector<JournalRow>& rows, std::int64_t tag);

    // To the worker.
    void requestOpen(const QString& path, int keep, int journalKeep, int busyTimeoutMs);
    void requestStore(const std::vector<CaptureData>& captures);
    void requestList();
    void requestLoad(std::int64_t id, int purpose);
    void requestNote(std::int64_t id, const QString& note);
    void requestDelete(std::int64_t id);
    void requestExport(std::int64_t id, ExportFormat format, const QString& path);
    void requestJournal(const std::vector<JournalRow>& rows);
    void requestJournalQuery(const QStringList& kinds, int limit, std::int64_t tag, const QString& subject);

private:
    void onFailed(const QString& message);
    void flushJournal();
    void flushCaptures();
    void onCapturesStored(const std::vector<CaptureRow>& rows, const std::vector<std::int64_t>& firstIds);
    void onJournalAppended(const std::vector<JournalRow>& rows, int handed);

    // The worker's thread. Its start and end are marked for ThreadSanitizer like the queued
    // calls: Qt starts and joins it inside its library, where the sanitizer cannot see it.
    class WorkerThread : public QThread {
    protected:
        void run() override;
    };
    WorkerThread thread_;
    ArchiveWorker* worker_ = nullptr; // lives on thread_
    QString path_;
    int keep_ = kDefaultKeep;
    int journalKeep_ = kDefaultJournalKeep;
    QString failure_;
    std::vector<JournalRow> journalPending_;
    int journalInFlight_ = 0; // handed to the worker, not yet answered
    std::int64_t journalDropped_ = 0; // not yet said in a row
    std::int64_t journalDroppedTotal_ = 0;
    QTimer journalBatch_;
    std::vector<CaptureData> pendingCaptures_; // one copy per capture, the latest
    std::unordered_map<std::int64_t, std::size_t> pendingByKey_;
    QTimer captureBatch_;
};
