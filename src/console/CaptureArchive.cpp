#include "console/CaptureArchive.h"

#include "archive/ArchiveStore.h"
#include "archive/CaptureRecorder.h"
#include "chart/core/ChartTraces.h"
#include "console/ArchiveClosing.h"
#include "console/ArchivePage.h"
#include "console/ScopePage.h"
#include "console/ScopeToolBar.h"
#include "console/core/IniFile.h"

#include <QCoreApplication>
#include <QMessageBox>

TCaptureArchive::TCaptureArchive(QWidget& window, ScopePage& scope, const QString& dataFolder)
    : QObject(&window)
    , window_(window)
    , scope_(scope)
    , dataFolder_(dataFolder)
{
    store_ = new ArchiveStore(this);
    recorder_ = new CaptureRecorder(this);
    // The port and the units the capture came in are the session's (setCaptureRecorder).
    connect(recorder_, &CaptureRecorder::captureReady, store_, &ArchiveStore::storeCapture);
    connect(store_, &ArchiveStore::captureStored, this,
        [this](const CaptureRow& row, bool) { captureStored(row); });

    page_ = new ArchivePage(*store_);
    page_->ExportFolder = dataFolder_;
    page_->ShowReference = [this](const StoredCapture& capture) { return ShowReference(capture); };
    page_->HideReferences = [this](const std::vector<std::int64_t>& ids) { HideReferences(ids); };
    connect(scope_.ScopeBar, &TScopeToolBar::TracesChanged, page_,
        [this] { page_->ReferencesChanged(scope_.Traces().ShownIds()); });
    page_->Report = [this](const QString& message) {
        if (Report)
            Report(message);
    };
    page_->SaveFileDialog = [this](const QString& caption, const QString& proposed, const QString& filter) {
        return SaveFileDialog ? SaveFileDialog(caption, proposed, filter) : QString();
    };
    page_->Confirm = [this](const QString& question) {
        return QMessageBox::question(&window_, QCoreApplication::applicationName(), question)
            == QMessageBox::Yes;
    };
    connect(store_, &ArchiveStore::writingChanged, this,
        [this] { emit notWritingChanged(archiveNotWritingText(*store_)); });
}

bool TCaptureArchive::ShowReference(const StoredCapture& capture)
{
    if (!scope_.Traces().Show(traceInfoOf(capture.row), capture.x, capture.y))
        return false;
    if (ShowScope)
        ShowScope();
    return true;
}

void TCaptureArchive::HideReferences(const std::vector<std::int64_t>& ids)
{
    for (const std::int64_t id : ids)
        scope_.Traces().Hide(id);
}

void TCaptureArchive::LiveCaptureBegun()
{
    TTraceInfo live;
    live.started = recorder_->started();
    live.port = PortName ? PortName() : QString();
    scope_.ScopeBar->Hold().SetCapture(live);
}

// The live capture gets its № (and what else the archive knows of it) once stored.
void TCaptureArchive::captureStored(const CaptureRow& row)
{
    const TTraceInfo& live = scope_.ScopeBar->Hold().Incoming();
    if (live.started.isEmpty() || live.started != row.started || live.id == row.id)
        return;
    scope_.ScopeBar->Hold().SetCapture(traceInfoOf(row));
}

void TCaptureArchive::LoadSettings(const TIniFile& ini)
{
    const QString file = ini.readText("Archive", "File", defaultArchiveFile(dataFolder_));
    int keep = ini.readInteger("Archive", "Keep", ArchiveStore::kDefaultKeep);
    if (keep < 1)
        keep = ArchiveStore::kDefaultKeep;
    int journalKeep = ini.readInteger("Archive", "JournalKeep", ArchiveStore::kDefaultJournalKeep);
    if (journalKeep < 0)
        journalKeep = ArchiveStore::kDefaultJournalKeep;
    if (file == store_->path() && keep == store_->keep() && journalKeep == store_->journalKeep())
        return;
    // What the recorder holds belongs to the archive it came under.
    recorder_->flush();
    store_->open(file, keep, journalKeep);
    page_->StoreChanged();
}

void TCaptureArchive::SaveSettings(TIniFile& ini) const
{
    ini.writeText("Archive", "File", store_->path());
    ini.writeInteger("Archive", "Keep", store_->keep());
    ini.writeInteger("Archive", "JournalKeep", store_->journalKeep());
}

QString TCaptureArchive::Close(std::int64_t deadlineMs)
{
    // The capture so far is committed before the window goes.
    recorder_->flush();
    const ArchiveStore::Unstored lost = closeArchiveShowingProgress(*store_, &window_, deadlineMs);
    return lost.captures > 0 || lost.rows > 0 ? archiveUnstoredText(lost) : QString();
}
