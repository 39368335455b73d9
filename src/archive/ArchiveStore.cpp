#include "archive/ArchiveStore.h"

#include "archive/ArchiveTime.h"
#include "archive/ArchiveWorker.h"
#include "common/QueuedCall.h"

#include <QDateTime>
#include <algorithm>
#include <unordered_set>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Nice value of the archive's thread.
constexpr int kWorkerNice = 10;

} // namespace

QString defaultArchiveFile(const QString& programFolder)
{
    QString folder = programFolder;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + QStringLiteral("OrvikArchive.db");
}

ArchiveStore::ArchiveStore(QObject* parent)
    : QObject(parent)
    , worker_(new ArchiveWorker)
{
    qRegisterMetaType<CaptureData>();
    qRegisterMetaType<CaptureRow>();
    qRegisterMetaType<StoredCapture>();
    qRegisterMetaType<JournalRow>();
    qRegisterMetaType<ExportResult>();
    qRegisterMetaType<std::vector<CaptureData>>();
    qRegisterMetaType<std::vector<CaptureRow>>();
    qRegisterMetaType<std::vector<JournalRow>>();
    qRegisterMetaType<std::vector<std::int64_t>>();
    qRegisterMetaType<std::int64_t>("std::int64_t");
    qRegisterMetaType<ExportFormat>();

    thread_.setObjectName(QStringLiteral("archive"));
    worker_->moveToThread(&thread_);
    connectAcross(this, &ArchiveStore::requestOpen, worker_, &ArchiveWorker::open);
    connectAcross(this, &ArchiveStore::requestStore, worker_, &ArchiveWorker::storeCaptures);
    connectAcross(this, &ArchiveStore::requestList, worker_, &ArchiveWorker::listCaptures);
    connectAcross(this, &ArchiveStore::requestLoad, worker_, &ArchiveWorker::loadCapture);
    connectAcross(this, &ArchiveStore::requestNote, worker_, &ArchiveWorker::setNote);
    connectAcross(this, &ArchiveStore::requestDelete, worker_, &ArchiveWorker::deleteCapture);
    connectAcross(this, &ArchiveStore::requestExport, worker_, &ArchiveWorker::exportCapture);
    connectAcross(this, &ArchiveStore::requestJournal, worker_, &ArchiveWorker::appendJournal);
    connectAcross(this, &ArchiveStore::requestJournalQuery, worker_, &ArchiveWorker::queryJournal);

    connectAcross(worker_, &ArchiveWorker::opened, this, &ArchiveStore::opened);
    connectAcross(worker_, &ArchiveWorker::failed, this, &ArchiveStore::onFailed);
    connectAcross(worker_, &ArchiveWorker::capturesStored, this, &ArchiveStore::onCapturesStored);
    connectAcross(worker_, &ArchiveWorker::capturesListed, this, &ArchiveStore::capturesListed);
    connectAcross(worker_, &ArchiveWorker::capturesRemoved, this, &ArchiveStore::capturesRemoved);
    connectAcross(worker_, &ArchiveWorker::captureLoaded, this, &ArchiveStore::captureLoaded);
    connectAcross(worker_, &ArchiveWorker::exported, this, &ArchiveStore::exported);
    connectAcross(worker_, &ArchiveWorker::journalAppended, this, &ArchiveStore::onJournalAppended);
    connectAcross(worker_, &ArchiveWorker::journalQueried, this, &ArchiveStore::journalQueried);
    captureBatch_.setSingleShot(true);
    captureBatch_.setInterval(kCaptureBatchMs);
    connect(&captureBatch_, &QTimer::timeout, this, &ArchiveStore::flushCaptures);
    journalBatch_.setSingleShot(true);
    journalBatch_.setInterval(kJournalBatchMs);
    connect(&journalBatch_, &QTimer::timeout, this, &ArchiveStore::flushJournal);
    serial_detail::handOverRelease(&thread_);
    thread_.start();
}

void ArchiveStore::WorkerThread::run()
{
    serial_detail::handOverAcquire(this);
    // The disk work yields to the window and the port when the processors are busy: a flood
    // of captures then costs the answers little, and the archive catches up after it.
    ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), kWorkerNice);
    QThread::run();
    serial_detail::handOverRelease(this);
}

ArchiveStore::~ArchiveStore()
{
    close();
    thread_.quit();
    thread_.wait();
    serial_detail::handOverAcquire(&thread_);
    delete worker_;
}

void ArchiveStore::open(const QString& path, int keep, int journalKeep, int busyTimeoutMs)
{
    if (!path_.isEmpty())
        close();
    path_ = path;
    keep_ = keep;
    journalKeep_ = journalKeep;
    failure_.clear();
    journalDroppedTotal_ = 0;
    if (!path.isEmpty())
        emit requestOpen(path, keep, journalKeep, busyTimeoutMs);
}

void ArchiveStore::close()
{
    if (path_.isEmpty())
        return;
    flushCaptures();
    flushJournal();
    // The worker's queue runs in order, so this returns after every earlier request.
    blockingQueuedCall(worker_, [worker = worker_] { worker->close(); });
    path_.clear();
    journalBatch_.stop();
    journalPending_.clear();
    captureBatch_.stop();
    pendingCaptures_.clear();
    pendingByKey_.clear();
    journalInFlight_ = 0;
    journalDropped_ = 0;
}

void ArchiveStore::onFailed(const QString& message)
{
    // A failure of an archive closed or re-opened since is old news.
    if (path_.isEmpty() || !failure_.isEmpty())
        return;
    failure_ = message;
    emit failed(message);
}

void ArchiveStore::storeCapture(const CaptureData& capture)
{
    if (!isOn())
        return;
    const auto [at, added] = pendingByKey_.try_emplace(capture.key, pendingCaptures_.size());
    if (added)
        pendingCaptures_.push_back(capture);
    else
        pendingCaptures_[at->second] = capture;
    if (!captureBatch_.isActive())
        captureBatch_.start();
}

void ArchiveStore::flushCaptures()
{
    captureBatch_.stop();
    pendingByKey_.clear();
    if (!pendingCaptures_.empty() && isOn())
        emit requestStore(std::exchange(pendingCaptures_, {}));
    pendingCaptures_.clear();
}

void ArchiveStore::onCapturesStored(
    const std::vector<CaptureRow>& rows, const std::vector<std::int64_t>& firstIds)
{
    const std::unordered_set<std::int64_t> first(firstIds.begin(), firstIds.end());
    for (const CaptureRow& row : rows)
        emit captureStored(row, first.count(row.id) != 0);
}

// Every other request goes after the captures handed over before it.
void ArchiveStore::listCaptures()
{
    flushCaptures();
    if (isOn())
        emit requestList();
}

void ArchiveStore::loadCapture(std::int64_t id, int purpose)
{
    flushCaptures();
    if (isOn())
        emit requestLoad(id, purpose);
}

void ArchiveStore::setNote(std::int64_t id, const QString& note)
{
    flushCaptures();
    if (isOn())
        emit requestNote(id, note);
}

void ArchiveStore::deleteCapture(std::int64_t id)
{
    flushCaptures();
    if (isOn())
        emit requestDelete(id);
}

void ArchiveStore::exportCapture(std::int64_t id, ExportFormat format, const QString& path)
{
    flushCaptures();
    if (isOn())
        emit requestExport(id, format, path);
}

void ArchiveStore::appendJournal(JournalRow row)
{
    if (!isOn() || journalKeep_ <= 0)
        return;
    // The one place that decides what a full queue means: the row is counted, not kept.
    if (journalInFlight_ + int(journalPending_.size()) >= kJournalQueueRows) {
        ++journalDropped_;
        ++journalDroppedTotal_;
        // The row that says so goes with the next batch.
        if (!journalBatch_.isActive())
            journalBatch_.start();
        return;
    }
    if (row.time.isEmpty())
        row.time = archiveTime(QDateTime::currentMSecsSinceEpoch());
    journalPending_.push_back(std::move(row));
    if (int(journalPending_.size()) >= kJournalBatchRows)
        flushJournal();
    else if (!journalBatch_.isActive())
        journalBatch_.start();
}

void ArchiveStore::flushJournal()
{
    journalBatch_.stop();
    if (!isOn())
        return;
    if (journalDropped_ > 0) {
        JournalRow report;
        report.time = archiveTime(QDateTime::currentMSecsSinceEpoch());
        report.kind = QStringLiteral("error");
        report.subject = QStringLiteral("journal");
        report.value = QString::number(journalDropped_);
        report.text
            = QStringLiteral("Журналът изпусна %1 реда: те идваха по-бързо, отколкото дискът ги записва.")
                  .arg(journalDropped_);
        journalPending_.push_back(std::move(report));
        journalDropped_ = 0;
    }
    if (journalPending_.empty())
        return;
    journalInFlight_ += int(journalPending_.size());
    emit requestJournal(std::exchange(journalPending_, {}));
}

void ArchiveStore::onJournalAppended(const std::vector<JournalRow>& rows, int handed)
{
    journalInFlight_ = std::max(0, journalInFlight_ - handed);
    if (!rows.empty())
        emit journalAppended(rows);
}

void ArchiveStore::queryJournal(const QStringList& kinds, int limit, std::int64_t tag, const QString& subject)
{
    if (isOn())
        emit requestJournalQuery(kinds, limit, tag, subject);
}
