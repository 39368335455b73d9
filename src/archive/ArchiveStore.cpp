#include "archive/ArchiveStore.h"

#include "archive/ArchiveWorker.h"

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
    qRegisterMetaType<std::vector<CaptureRow>>();
    qRegisterMetaType<std::vector<JournalRow>>();
    qRegisterMetaType<std::vector<std::int64_t>>();
    qRegisterMetaType<std::int64_t>("std::int64_t");
    qRegisterMetaType<ExportFormat>();

    thread_.setObjectName(QStringLiteral("archive"));
    worker_->moveToThread(&thread_);
    connect(this, &ArchiveStore::requestOpen, worker_, &ArchiveWorker::open);
    connect(this, &ArchiveStore::requestStore, worker_, &ArchiveWorker::storeCapture);
    connect(this, &ArchiveStore::requestList, worker_, &ArchiveWorker::listCaptures);
    connect(this, &ArchiveStore::requestLoad, worker_, &ArchiveWorker::loadCapture);
    connect(this, &ArchiveStore::requestNote, worker_, &ArchiveWorker::setNote);
    connect(this, &ArchiveStore::requestDelete, worker_, &ArchiveWorker::deleteCapture);
    connect(this, &ArchiveStore::requestExport, worker_, &ArchiveWorker::exportCapture);

    connect(worker_, &ArchiveWorker::opened, this, &ArchiveStore::opened);
    connect(worker_, &ArchiveWorker::failed, this, &ArchiveStore::onFailed);
    connect(worker_, &ArchiveWorker::captureStored, this, &ArchiveStore::captureStored);
    connect(worker_, &ArchiveWorker::capturesListed, this, &ArchiveStore::capturesListed);
    connect(worker_, &ArchiveWorker::capturesRemoved, this, &ArchiveStore::capturesRemoved);
    connect(worker_, &ArchiveWorker::captureLoaded, this, &ArchiveStore::captureLoaded);
    connect(worker_, &ArchiveWorker::exported, this, &ArchiveStore::exported);
    thread_.start();
}

ArchiveStore::~ArchiveStore()
{
    close();
    thread_.quit();
    thread_.wait();
    delete worker_;
}

void ArchiveStore::open(const QString& path, int keep, int busyTimeoutMs)
{
    if (!path_.isEmpty())
        close();
    path_ = path;
    keep_ = keep;
    failure_.clear();
    if (!path.isEmpty())
        emit requestOpen(path, keep, busyTimeoutMs);
}

void ArchiveStore::close()
{
    if (path_.isEmpty())
        return;
    // The worker's queue runs in order, so this returns after every earlier request.
    QMetaObject::invokeMethod(worker_, &ArchiveWorker::close, Qt::BlockingQueuedConnection);
    path_.clear();
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
    if (isOn())
        emit requestStore(capture);
}

void ArchiveStore::listCaptures()
{
    if (isOn())
        emit requestList();
}

void ArchiveStore::loadCapture(std::int64_t id, int purpose)
{
    if (isOn())
        emit requestLoad(id, purpose);
}

void ArchiveStore::setNote(std::int64_t id, const QString& note)
{
    if (isOn())
        emit requestNote(id, note);
}

void ArchiveStore::deleteCapture(std::int64_t id)
{
    if (isOn())
        emit requestDelete(id);
}

void ArchiveStore::exportCapture(std::int64_t id, ExportFormat format, const QString& path)
{
    if (isOn())
        emit requestExport(id, format, path);
}
