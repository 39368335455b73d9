// The capture archive on the main window: the store, the recorder the parser's view feeds,
// the "Архив" page, and the "Archive" section of the settings file.
#include "console/MainUnit.h"

#include "archive/ArchiveStore.h"
#include "archive/CaptureRecorder.h"
#include "chart/Chart.h"
#include "console/ArchiveClosing.h"
#include "console/ArchivePage.h"
#include "console/StatusLine.h"
#include "serial/ComPort.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QTabWidget>

ArchivePage* TForm1::buildArchivePage()
{
    archive_ = new ArchiveStore(this);
    recorder_ = new CaptureRecorder(this);
    recorder_->portName = [this] { return ComPort1->Port(); };
    recorder_->xTitle = [this] { return Chart1->BottomAxis().Title().Caption(); };
    recorder_->yTitle = [this] { return Chart1->LeftAxis().Title().Caption(); };
    connect(recorder_, &CaptureRecorder::captureReady, archive_, &ArchiveStore::storeCapture);

    Archive = new ArchivePage(*archive_);
    Archive->ExportFolder = paths_.dataFolder();
    Archive->ShowOverlay = [this](const ArchivePage::OverlayPoints& points) { ShowCaptureOverlay(points); };
    Archive->HideOverlay = [this] { HideCaptureOverlay(); };
    Archive->Report = [this](const QString& message) { reportError(message, QStringLiteral("archive")); };
    Archive->SaveFileDialog = [this](const QString& caption, const QString& folder, const QString& filter) {
        return FileDialog ? FileDialog(caption, folder, filter, true) : QString();
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
