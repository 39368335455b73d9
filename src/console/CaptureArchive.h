#pragma once
// The capture archive as the window holds it: the store, the recorder of the live trace, the
// "Архив" page, the references the page shows on the chart, the live capture's № once stored,
// and section "Archive" of the settings file.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

class ArchivePage;
class ArchiveStore;
class CaptureRecorder;
class ScopePage;
class TIniFile;
class QWidget;
struct CaptureRow;
struct StoredCapture;

class TCaptureArchive : public QObject {
    Q_OBJECT
public:
    // The page's questions are asked over `window`.
    TCaptureArchive(QWidget& window, ScopePage& scope, const QString& dataFolder);

    ArchiveStore& Store() const { return *store_; }
    CaptureRecorder& Recorder() const { return *recorder_; }
    ArchivePage* Page() const { return page_; }

    // The port the live trace comes from; the operator's file dialog (empty: cancelled); the
    // reports of the page; the chart page to be shown, for a reference.
    std::function<QString()> PortName;
    std::function<QString(const QString& caption, const QString& proposed, const QString& filter)>
        SaveFileDialog;
    std::function<void(const QString& message)> Report;
    std::function<void()> ShowScope;

    // A stored capture as a reference trace beside the live line, in its own colour and units;
    // the scope page is shown. False when as many as the chart takes are shown already.
    bool ShowReference(const StoredCapture& capture);
    void HideReferences(const std::vector<std::int64_t>& ids);
    // The recorder's first point of a capture: the live trace is that capture from now on.
    void LiveCaptureBegun();

    void LoadSettings(const TIniFile& ini);
    void SaveSettings(TIniFile& ini) const;
    // Writes what waits, with a progress dialog over the window until the deadline
    // (milliseconds since the epoch; 0: none); the text of what was lost, or empty.
    QString Close(std::int64_t deadlineMs);

signals:
    // Why the archive does not write; empty while it does.
    void notWritingChanged(const QString& reason);

private:
    void captureStored(const CaptureRow& row);

    QWidget& window_;
    ScopePage& scope_;
    QString dataFolder_;
    ArchiveStore* store_ = nullptr;
    CaptureRecorder* recorder_ = nullptr;
    ArchivePage* page_ = nullptr;
};
