#pragma once
// The capture archive as the window sees it: requests go to the worker on the store's own
// thread, answers come back as signals on the caller's thread. Nothing here blocks the
// caller except close(), which runs the event loop until what waits is written.
//
// Everything to be done in the file (captures, journal rows, and the reads and changes asked
// for) waits in one queue, in order, and goes to the worker one request at a time. A request
// that fails stays at the head of the queue: the store tries it again after a back-off, and
// the worker opens the file again by itself. Captures and rows wait within a bound in bytes;
// past it the oldest waiting are dropped and counted.

#include "archive/ArchiveRequests.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <variant>

class ArchiveWorker;
class QEventLoop;

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
    // Rows gathered for this long (or this many) go to the disk in one transaction.
    static constexpr int kJournalBatchMs = 100;
    static constexpr int kJournalBatchRows = 2000;
    // Captures and rows waiting for the disk, at most (in memory, counting what the worker
    // holds); past it the oldest waiting are dropped, counted and said in the journal.
    static constexpr std::size_t kWaitingBytes = std::size_t(64) << 20;
    // One request carries at most this much, so a close's deadline is not held long by the
    // transaction under way.
    static constexpr std::size_t kRequestBytes = std::size_t(1) << 20;
    // After a failure the store tries again after kRetryFirstMs, doubling up to kRetryMaxMs.
    static constexpr int kRetryFirstMs = 1000;
    static constexpr int kRetryMaxMs = 30000;
    // While the archive does not write, the count waiting is told this often.
    static constexpr int kWaitingNewsMs = 500;

    explicit ArchiveStore(QObject* parent = nullptr);
    ~ArchiveStore() override;

    // Opens (or re-opens) the file; an empty path turns the archive off, a journalKeep of 0
    // the journal alone.
    void open(const QString& path, int keep, int journalKeep = kDefaultJournalKeep,
        int busyTimeoutMs = kDefaultBusyTimeoutMs);

    // What a close could not write.
    struct Unstored {
        std::int64_t captures = 0;
        std::int64_t rows = 0;
    };
    // Writes everything waiting, then closes the file. The event loop runs meanwhile, so the
    // answers come (a capture's first store makes a journal row, written too) and `progress`
    // is told a few times a second how many wait. With a deadline (milliseconds since the
    // epoch) whatever still waits then is left unwritten and counted; so is everything when
    // giveUp() is called meanwhile.
    Unstored close(
        std::int64_t deadlineMs = 0, const std::function<void(std::int64_t waiting)>& progress = {});
    // A close under way stops waiting.
    void giveUp();

    bool isOn() const { return !path_.isEmpty() && failure_.isEmpty(); }
    const QString& path() const { return path_; }
    int keep() const { return keep_; }
    int journalKeep() const { return journalKeep_; }
    // Why the archive is off: the file is not an archive. Empty while it works.
    const QString& failure() const { return failure_; }
    // Why the archive does not write at the moment (it keeps trying); empty while it does.
    const QString& notWriting() const { return notWriting_; }
    // Captures and journal rows not yet in the file.
    std::int64_t waiting() const { return waitingCaptures_ + waitingRows_; }
    // Dropped beyond the bound since the archive was opened.
    std::int64_t capturesDropped() const { return capturesDroppedTotal_; }
    std::int64_t journalDropped() const { return rowsDroppedTotal_; }
    // Tests use a smaller bound than kWaitingBytes.
    void setWaitingLimit(std::size_t bytes) { waitingLimit_ = bytes; }

    // Committed with the others handed over within kCaptureBatchMs; a later copy of the same
    // capture (it grew) replaces one still waiting.
    void storeCapture(const CaptureData& capture);
    // Queues a journal row (its time set to now when empty) and returns at once.
    void appendJournal(JournalRow row);
    // A request of the table (ArchiveRequests.h), done after everything handed over before it
    // (rows still waiting for the disk are in the file before a query or an export reads it);
    // its answer comes as `answered`. Nothing is done while the archive is off.
    void ask(ArchiveRequest request);

signals:
    void opened(const QString& path);
    // Once per open: the file is not an archive; the archive is off from here on.
    void failed(const QString& message);
    // The archive stopped or started writing again, or (while it does not) the count waiting
    // changed.
    void writingChanged();
    // One per stored capture of a batch; `first` when stored complete for the first time.
    void captureStored(const CaptureRow& row, bool first);
    // Rows committed to the journal, with their ids, in the order they were appended.
    void journalAppended(const std::vector<JournalRow>& rows);
    // Every answer of the archive's thread, asked for or not (onArchiveAnswer picks a kind).
    void answered(const ArchiveAnswer& answer);

private:
    // One thing to do in the file, in the order asked for.
    struct Item {
        enum Kind { Capture, Row, Call } kind = Call;
        std::uint64_t seq = 0;
        CaptureData capture;
        JournalRow row;
        std::optional<ArchiveRequest> request; // reads and changes: never dropped
        std::size_t bytes = 0;
        bool keep = false; // a row that reports drops: never dropped itself
    };
    void enqueue(Item item);
    void keepWithinBound();
    void dispatch();
    void sendNext();
    void onDone(const QString& failure, bool lasting);
    void sayDropped();
    void appendReport(JournalRow row);
    void turnOff(const QString& message);
    void forgetWaiting();
    void onAnswered(const ArchiveAnswer& answer);

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

    std::deque<Item> waiting_; // by seq
    std::vector<Item> inFlight_; // handed to the worker, not yet answered
    bool requestOut_ = false;
    std::uint64_t nextSeq_ = 1;
    std::unordered_map<std::int64_t, std::uint64_t> waitingByKey_; // capture key -> seq
    std::size_t waitingLimit_ = kWaitingBytes;
    std::size_t bytes_ = 0; // waiting and in flight
    std::int64_t waitingCaptures_ = 0; // waiting and in flight
    std::int64_t waitingRows_ = 0;
    QTimer batch_;

    // Not writing: since when, why, and what was dropped meanwhile.
    QString notWriting_;
    QElapsedTimer notWritingFor_;
    int retryMs_ = kRetryFirstMs;
    bool retryDue_ = false;
    QTimer retry_;
    QTimer waitingNews_;
    // Dropped and not yet said in a row; and in all since the open.
    std::int64_t capturesDropped_ = 0;
    std::int64_t rowsDropped_ = 0;
    std::int64_t capturesDroppedTotal_ = 0;
    std::int64_t rowsDroppedTotal_ = 0;

    QEventLoop* closeLoop_ = nullptr;
    bool closing_ = false;
    bool stopped_ = false; // past a close's deadline: nothing more is handed over
    bool givenUp_ = false;
};

// Connects f to the answers of kind A only, called in context's thread (the store's).
template <class A, class F>
QMetaObject::Connection onArchiveAnswer(ArchiveStore& store, const QObject* context, F f)
{
    return QObject::connect(
        &store, &ArchiveStore::answered, context, [f = std::move(f)](const ArchiveAnswer& answer) {
            if (const A* a = std::get_if<A>(&answer))
                f(*a);
        });
}
template <class A, class F> QMetaObject::Connection onArchiveAnswer(ArchiveStore& store, F f)
{
    return onArchiveAnswer<A>(store, &store, std::move(f));
}
