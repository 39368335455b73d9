// The capture archive on the main window: the store, the recorder the parser's view feeds,
// the "Архив" page, and the "Archive" section of the settings file.
#include "console/MainUnit.h"

#include "archive/ArchiveStore.h"
#include "archive/CaptureRecorder.h"
#include "chart/Chart.h"
#include "chart/core/ChartTraces.h"
#include "console/ArchiveClosing.h"
#include "console/ArchivePage.h"
#include "console/ScopeToolBar.h"
#include "console/StatusLine.h"
#include "serial/ComPort.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QTabWidget>

ArchivePage* TForm1::buildArchivePage()
{
    archive_ = new ArchiveStore(this);
    recorder_ = new CaptureRecorder(this);
    connect(recorder_, &CaptureRecorder::captureReady, archive_, &ArchiveStore::storeCapture);
    connect(archive_, &ArchiveStore::captureStored, this,
        [this](const CaptureRow& row, bool) { captureStored(row); });

    Archive = new ArchivePage(*archive_);
    Archive->ExportFolder = paths_.dataFolder();
    Archive->ShowReference = [this](const StoredCapture& capture) { return ShowReference(capture); };
    Archive->HideReferences = [this](const std::vector<std::int64_t>& ids) { HideReferences(ids); };
    connect(ScopeBar, &TScopeToolBar::TracesChanged, Archive,
        [this] { Archive->ReferencesChanged(traces_->ShownIds()); });
    Archive->Report = [this](const QString& message) { reportError(message, QStringLiteral("archive")); };
    Archive->SaveFileDialog = [this](const QString& caption, const QString& proposed, const QString& filter) {
        return FileDialog ? FileDialog(caption, proposed, filter, true) : QString();
    };
    Archive->OpenFileDialog = [this](const QString& caption, const QString& folder, const QString& filter) {
        return FileDialog ? FileDialog(caption, folder, filter, false) : QString();
    };
    Archive->Confirm = [this](const QString& question) {
        return QMessageBox::question(this, QCoreApplication::applicationName(), question) == QMessageBox::Yes;
    };
    connect(archive_, &ArchiveStore::writingChanged, this, [this] {
        if (StatusLine)
            StatusLine->setArchiveState(archiveNotWritingText(*archive_));
    });
    return Archive;
}

void TForm1::closeArchive()
{
    const ArchiveStore::Unstored lost = closeArchiveShowingProgress(*archive_, this, CloseDeadline);
    if ((lost.captures > 0 || lost.rows > 0) && ErrorReport)
        ErrorReport(archiveUnstoredText(lost));
}

bool TForm1::ShowReference(const StoredCapture& capture)
{
    if (!traces_->Show(traceInfoOf(capture.row), capture.x, capture.y))
        return false;
    PageControl1->setCurrentIndex(2);
    return true;
}

void TForm1::HideReferences(const std::vector<std::int64_t>& ids)
{
    for (const std::int64_t id : ids)
        traces_->Hide(id);
}

void TForm1::liveCaptureBegun()
{
    TTraceInfo live;
    live.started = recorder_->started();
    live.port = ComPort1->Port();
    ScopeBar->Hold().SetCapture(live);
}

// The live capture gets its № (and what else the archive knows of it) once stored.
void TForm1::captureStored(const CaptureRow& row)
{
    const TTraceInfo& live = ScopeBar->Hold().Incoming();
    if (live.started.isEmpty() || live.started != row.started || live.id == row.id)
        return;
    ScopeBar->Hold().SetCapture(traceInfoOf(row));
}

void TForm1::loadArchiveSettings(const TIniFile& ini)
{
    const QString file = ini.readText("Archive", "File", defaultArchiveFile(paths_.dataFolder()));
    int keep = ini.readInteger("Archive", "Keep", ArchiveStore::kDefaultKeep);
    if (keep < 1)
        keep = ArchiveStore::kDefaultKeep;
    int journalKeep = ini.readInteger("Archive", "JournalKeep", ArchiveStore::kDefaultJournalKeep);
    if (journalKeep < 0)
        journalKeep = ArchiveStore::kDefaultJournalKeep;
    if (file == archive_->path() && keep == archive_->keep() && journalKeep == archive_->journalKeep())
        return;
    // What the recorder holds belongs to the archive it came under.
    recorder_->flush();
    archive_->open(file, keep, journalKeep);
    Archive->StoreChanged();
}

void TForm1::saveArchiveSettings(TIniFile& ini)
{
    ini.writeText("Archive", "File", archive_->path());
    ini.writeInteger("Archive", "Keep", archive_->keep());
    ini.writeInteger("Archive", "JournalKeep", archive_->journalKeep());
}
