#include "archive/ArchiveStore.h"

#include "archive/ArchiveTime.h"
#include "archive/ArchiveWorker.h"
#include "archive/ThreadPriority.h"
#include "common/QueuedCall.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <algorithm>
#include <unordered_set>

namespace {

// Nice value of the archive's thread.
constexpr int kWorkerNice = 10;

namespace text {
const QString dropped = QStringLiteral(
    "Архивът изпусна %1 записа и %2 реда на журнала: идваха по-бързо, отколкото дискът ги записва.");
const QString resumed
    = QStringLiteral("Архивът не записваше %1 s (%2). Чакаха %3 записа и %4 реда на журнала; "
                     "изпуснати: %5 записа и %6 реда.");
} // namespace text

std::size_t bytesOf(const QString& s)
{
    return std::size_t(s.size()) * sizeof(QChar);
}

// What an item holds in memory, roughly: enough to bound the queue, cheap to work out.
std::size_t bytesOf(const CaptureData& c)
{
    return sizeof(CaptureData) + c.x.size() * sizeof(std::int64_t) + c.y.size() * sizeof(std::int32_t)
        + bytesOf(c.started) + bytesOf(c.ended) + bytesOf(c.port) + bytesOf(c.xTitle) + bytesOf(c.yTitle);
}

std::size_t bytesOf(const JournalRow& r)
{
    return sizeof(JournalRow) + bytesOf(r.time) + bytesOf(r.kind) + bytesOf(r.subject) + bytesOf(r.value)
        + bytesOf(r.text);
}

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
    qRegisterMetaType<ImportResult>();
    qRegisterMetaType<std::vector<CaptureData>>();
    qRegisterMetaType<std::vector<CaptureRow>>();
    qRegisterMetaType<std::vector<JournalRow>>();
    qRegisterMetaType<std::vector<std::int64_t>>();
    qRegisterMetaType<std::int64_t>("std::int64_t");
    qRegisterMetaType<ExportFormat>();

    thread_.setObjectName(QStringLiteral("archive"));
    worker_->moveToThread(&thread_);
    connectAcross(worker_, &ArchiveWorker::answered, this, &ArchiveStore::onAnswered);
    batch_.setSingleShot(true);
    connect(&batch_, &QTimer::timeout, this, &ArchiveStore::dispatch);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, [this] {
        retryDue_ = true;
        dispatch();
    });
    waitingNews_.setInterval(kWaitingNewsMs);
    connect(&waitingNews_, &QTimer::timeout, this, &ArchiveStore::writingChanged);
    serial_detail::handOverRelease(&thread_);
    thread_.start();
}

void ArchiveStore::WorkerThread::run()
{
    serial_detail::handOverAcquire(this);
    // The disk work yields to the window and the port when the processors are busy: a flood
    // of captures then costs the answers little, and the archive catches up after it.
    lowerCurrentThreadPriority(kWorkerNice);
    QThread::run();
    serial_detail::handOverRelease(this);
}

ArchiveStore::~ArchiveStore()
{
    // No event loop here (whoever takes the answers may be gone already): what waits is
    // handed over at once, unless the file refuses it anyway.
    if (!path_.isEmpty() && isOn() && notWriting_.isEmpty()) {
        requestOut_ = false;
        while (!waiting_.empty())
            sendNext();
    }
    blockingQueuedCall(worker_, [worker = worker_] { worker->close(); });
    thread_.quit();
    thread_.wait();
    serial_detail::handOverAcquire(&thread_);
    delete worker_;
}

void ArchiveStore::open(const QString& path, int keep, int journalKeep, int busyTimeoutMs)
{
    if (closing_)
        return;
    if (!path_.isEmpty())
        close(notWriting_.isEmpty() ? 0 : QDateTime::currentMSecsSinceEpoch());
    path_ = path;
    keep_ = keep;
    journalKeep_ = journalKeep;
    failure_.clear();
    capturesDroppedTotal_ = 0;
    rowsDroppedTotal_ = 0;
    if (path.isEmpty())
        return;
    Item item;
    item.request = OpenArchive{path, keep, journalKeep, busyTimeoutMs};
    enqueue(std::move(item));
}

ArchiveStore::Unstored ArchiveStore::close(
    std::int64_t deadlineMs, const std::function<void(std::int64_t waiting)>& progress)
{
    if (path_.isEmpty() || closing_)
        return {};
    closing_ = true;
    givenUp_ = false;
    const auto done = [this] { return waiting_.empty() && !requestOut_; };
    if (isOn() && !done()) {
        // What waits for its batch goes now; a back-off after a failure is kept.
        dispatch();
        QEventLoop loop;
        closeLoop_ = &loop;
        QTimer tick;
        tick.setInterval(100);
        connect(&tick, &QTimer::timeout, &loop, [&] {
            if (done() || givenUp_ || (deadlineMs > 0 && QDateTime::currentMSecsSinceEpoch() >= deadlineMs))
                loop.quit();
            else if (progress)
                progress(waiting());
        });
        tick.start();
        if (!done() && !givenUp_)
            loop.exec();
        closeLoop_ = nullptr;
    }
    stopped_ = true;
    // The request under way ends (stored or failed) before the file closes, and its answer
    // is taken now: what it did not store is counted with what still waits.
    blockingQueuedCall(worker_, [worker = worker_] { worker->close(); });
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    const Unstored lost{waitingCaptures_, waitingRows_};
    const bool wasNotWriting = !notWriting_.isEmpty();
    forgetWaiting();
    path_.clear();
    stopped_ = false;
    closing_ = false;
    if (wasNotWriting)
        emit writingChanged();
    return lost;
}

void ArchiveStore::giveUp()
{
    givenUp_ = true;
    if (closeLoop_)
        closeLoop_->quit();
}

void ArchiveStore::forgetWaiting()
{
    waiting_.clear();
    inFlight_.clear();
    waitingByKey_.clear();
    requestOut_ = false;
    bytes_ = 0;
    waitingCaptures_ = 0;
    waitingRows_ = 0;
    capturesDropped_ = 0;
    rowsDropped_ = 0;
    batch_.stop();
    retry_.stop();
    retryDue_ = false;
    retryMs_ = kRetryFirstMs;
    waitingNews_.stop();
    notWriting_.clear();
}

void ArchiveStore::turnOff(const QString& message)
{
    forgetWaiting();
    failure_ = message;
    emit failed(message);
}

void ArchiveStore::enqueue(Item item)
{
    item.seq = nextSeq_++;
    int dueMs = 0;
    switch (item.kind) {
    case Item::Capture:
        ++waitingCaptures_;
        waitingByKey_[item.capture.key] = item.seq;
        dueMs = kCaptureBatchMs;
        break;
    case Item::Row:
        ++waitingRows_;
        dueMs = waitingRows_ >= kJournalBatchRows ? 0 : kJournalBatchMs;
        break;
    case Item::Call:
        break;
    }
    bytes_ += item.bytes;
    waiting_.push_back(std::move(item));
    keepWithinBound();
    if (!batch_.isActive() || dueMs < batch_.remainingTime())
        batch_.start(dueMs);
}

void ArchiveStore::keepWithinBound()
{
    // The one place that decides what a full queue means: the oldest waiting capture or row
    // goes, and is counted; reads, changes and the rows that report drops stay.
    auto it = waiting_.begin();
    while (bytes_ > waitingLimit_) {
        while (it != waiting_.end() && (it->kind == Item::Call || it->keep))
            ++it;
        if (it == waiting_.end())
            break;
        bytes_ -= it->bytes;
        if (it->kind == Item::Capture) {
            --waitingCaptures_;
            ++capturesDropped_;
            ++capturesDroppedTotal_;
            const auto key = waitingByKey_.find(it->capture.key);
            if (key != waitingByKey_.end() && key->second == it->seq)
                waitingByKey_.erase(key);
        } else {
            --waitingRows_;
            ++rowsDropped_;
            ++rowsDroppedTotal_;
        }
        it = waiting_.erase(it);
    }
}

void ArchiveStore::dispatch()
{
    if (requestOut_ || stopped_ || waiting_.empty() || (!notWriting_.isEmpty() && !retryDue_))
        return;
    retryDue_ = false;
    batch_.stop();
    sendNext();
}

void ArchiveStore::sendNext()
{
    const Item::Kind kind = waiting_.front().kind;
    std::size_t bytes = 0;
    std::vector<CaptureData> captures;
    std::vector<JournalRow> rows;
    do {
        Item& item = waiting_.front();
        bytes += item.bytes;
        if (item.kind == Item::Capture) {
            const auto key = waitingByKey_.find(item.capture.key);
            if (key != waitingByKey_.end() && key->second == item.seq)
                waitingByKey_.erase(key);
            captures.push_back(item.capture);
        } else if (item.kind == Item::Row) {
            rows.push_back(item.row);
        }
        inFlight_.push_back(std::move(item));
        waiting_.pop_front();
        // Captures and rows go together: during a flood they alternate, and a request for each
        // would cost a transaction and two hand-overs apiece. Captures are stored first, so a
        // row naming one finds it in the same transaction.
    } while (kind != Item::Call && !waiting_.empty() && waiting_.front().kind != Item::Call
        && bytes + waiting_.front().bytes <= kRequestBytes && int(rows.size()) < kJournalBatchRows);
    requestOut_ = true;
    const std::optional<ArchiveRequest>& request = inFlight_.back().request;
    // The open itself has no earlier file to open again first.
    const bool opens = request && std::holds_alternative<OpenArchive>(*request);
    postQueuedCall(worker_,
        [store = this, w = worker_, opens, captures = std::move(captures), rows = std::move(rows), request] {
            w->beginRequest(!opens);
            if (!captures.empty())
                w->storeCaptures(captures);
            if (!rows.empty() && w->failure().isEmpty())
                w->appendJournal(rows);
            if (request)
                w->run(*request);
            w->endRequest();
            postQueuedCall(store, [store, failure = w->failure(), lasting = w->failureLasts()] {
                store->onDone(failure, lasting);
            });
        });
}

void ArchiveStore::onDone(const QString& failure, bool lasting)
{
    requestOut_ = false;
    if (path_.isEmpty())
        return;
    if (!failure.isEmpty() && lasting) {
        turnOff(failure);
        if (closeLoop_)
            closeLoop_->quit();
        return;
    }
    if (!failure.isEmpty()) {
        // Back to the head of the queue, in order, to be tried again after the back-off.
        for (auto it = inFlight_.rbegin(); it != inFlight_.rend(); ++it) {
            if (it->kind == Item::Capture)
                waitingByKey_.try_emplace(it->capture.key, it->seq);
            waiting_.push_front(std::move(*it));
        }
        inFlight_.clear();
        if (notWriting_.isEmpty()) {
            notWritingFor_.start();
            retryMs_ = kRetryFirstMs;
            waitingNews_.start();
        }
        notWriting_ = failure;
        retry_.start(retryMs_);
        retryMs_ = std::min(retryMs_ * 2, kRetryMaxMs);
        emit writingChanged();
        return;
    }
    const std::int64_t waitedCaptures = waitingCaptures_;
    const std::int64_t waitedRows = waitingRows_;
    for (const Item& item : inFlight_) {
        bytes_ -= item.bytes;
        if (item.kind == Item::Capture)
            --waitingCaptures_;
        else if (item.kind == Item::Row)
            --waitingRows_;
    }
    inFlight_.clear();
    if (!notWriting_.isEmpty()) {
        // One row says how long it lasted and what it cost; it goes after what waited.
        JournalRow row;
        row.kind = QStringLiteral("error");
        row.subject = QStringLiteral("archive");
        const double seconds = double(notWritingFor_.elapsed()) / 1000.0;
        row.value = QString::number(seconds, 'f', 1);
        row.text = text::resumed.arg(row.value, notWriting_)
                       .arg(waitedCaptures)
                       .arg(waitedRows)
                       .arg(capturesDropped_)
                       .arg(rowsDropped_);
        capturesDropped_ = 0;
        rowsDropped_ = 0;
        notWriting_.clear();
        retry_.stop();
        retryDue_ = false;
        retryMs_ = kRetryFirstMs;
        waitingNews_.stop();
        appendReport(std::move(row));
        emit writingChanged();
    }
    sayDropped();
    dispatch();
    if (closeLoop_ && waiting_.empty() && !requestOut_)
        closeLoop_->quit();
}

void ArchiveStore::sayDropped()
{
    if (capturesDropped_ == 0 && rowsDropped_ == 0)
        return;
    JournalRow row;
    row.kind = QStringLiteral("error");
    row.subject = QStringLiteral("archive");
    row.value = QString::number(capturesDropped_ + rowsDropped_);
    row.text = text::dropped.arg(capturesDropped_).arg(rowsDropped_);
    capturesDropped_ = 0;
    rowsDropped_ = 0;
    appendReport(std::move(row));
}

void ArchiveStore::appendReport(JournalRow row)
{
    if (journalKeep_ <= 0)
        return;
    row.time = archiveTime(QDateTime::currentMSecsSinceEpoch());
    Item item;
    item.kind = Item::Row;
    item.keep = true; // one row now and then: neither bounded nor dropped
    item.row = std::move(row);
    enqueue(std::move(item));
}

void ArchiveStore::storeCapture(const CaptureData& capture)
{
    if (!isOn())
        return;
    if (const auto key = waitingByKey_.find(capture.key); key != waitingByKey_.end()) {
        const auto at = std::lower_bound(waiting_.begin(), waiting_.end(), key->second,
            [](const Item& item, std::uint64_t seq) { return item.seq < seq; });
        if (at != waiting_.end() && at->seq == key->second) {
            bytes_ -= at->bytes;
            at->capture = capture;
            at->bytes = bytesOf(capture);
            bytes_ += at->bytes;
            keepWithinBound();
            return;
        }
    }
    Item item;
    item.kind = Item::Capture;
    item.capture = capture;
    item.bytes = bytesOf(capture);
    enqueue(std::move(item));
}

void ArchiveStore::onAnswered(const ArchiveAnswer& answer)
{
    if (const auto* opened = std::get_if<ArchiveOpened>(&answer)) {
        emit this->opened(opened->path);
    } else if (const auto* stored = std::get_if<CapturesStored>(&answer)) {
        const std::unordered_set<std::int64_t> first(stored->firstIds.begin(), stored->firstIds.end());
        for (const CaptureRow& row : stored->rows)
            emit captureStored(row, first.count(row.id) != 0);
    } else if (const auto* appended = std::get_if<JournalAppended>(&answer)) {
        if (!appended->rows.empty())
            emit journalAppended(appended->rows);
    }
    emit answered(answer);
}

// Every request goes after what was handed over before it.
void ArchiveStore::ask(ArchiveRequest request)
{
    if (!isOn())
        return;
    Item item;
    item.request = std::move(request);
    enqueue(std::move(item));
}

void ArchiveStore::appendJournal(JournalRow row)
{
    if (!isOn() || journalKeep_ <= 0)
        return;
    if (row.time.isEmpty())
        row.time = archiveTime(QDateTime::currentMSecsSinceEpoch());
    Item item;
    item.kind = Item::Row;
    item.bytes = bytesOf(row);
    item.row = std::move(row);
    enqueue(std::move(item));
}
