#pragma once
// The capture archive as the window sees it: requests go to the worker on the store's own
// thread as queued signals, answers come back as signals on the caller's thread. Nothing
// here blocks the caller except close(), which waits for the work already asked for.

#include "archive/ArchiveTypes.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <cstdint>
#include <memory>

class ArchiveWorker;

// Where the archive lives unless the settings file says otherwise.
QString defaultArchiveFile(const QString& programFolder);

class ArchiveStore : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultKeep = 1000;
    static constexpr int kDefaultBusyTimeoutMs = 3000;

    explicit ArchiveStore(QObject* parent = nullptr);
    ~ArchiveStore() override;

    // Opens (or re-opens) the file; an empty path turns the archive off.
    void open(const QString& path, int keep, int busyTimeoutMs = kDefaultBusyTimeoutMs);
    // Finishes every request made so far, then closes the file.
    void close();
    bool isOn() const { return !path_.isEmpty() && failure_.isEmpty(); }
    const QString& path() const { return path_; }
    int keep() const { return keep_; }
    // Why the archive is off after a failure; empty while it works.
    const QString& failure() const { return failure_; }

    void storeCapture(const CaptureData& capture);
    void listCaptures();
    void loadCapture(std::int64_t id, int purpose);
    void setNote(std::int64_t id, const QString& note);
    void deleteCapture(std::int64_t id);
    void exportCapture(std::int64_t id, ExportFormat format, const QString& path);

signals:
    void opened(const QString& path);
    // Once per open: the archive is off from here on.
    void failed(const QString& message);
    void captureStored(const CaptureRow& row, bool first);
    void capturesListed(const std::vector<CaptureRow>& rows);
    void capturesRemoved(const std::vector<std::int64_t>& ids);
    void captureLoaded(const StoredCapture& capture, int purpose);
    void exported(const ExportResult& result);

    // To the worker.
    void requestOpen(const QString& path, int keep, int busyTimeoutMs);
    void requestStore(const CaptureData& capture);
    void requestList();
    void requestLoad(std::int64_t id, int purpose);
    void requestNote(std::int64_t id, const QString& note);
    void requestDelete(std::int64_t id);
    void requestExport(std::int64_t id, ExportFormat format, const QString& path);

private:
    void onFailed(const QString& message);

    QThread thread_;
    ArchiveWorker* worker_ = nullptr; // lives on thread_
    QString path_;
    int keep_ = kDefaultKeep;
    QString failure_;
};
