#include "ReplayCommand.h"

#include "JsonLines.h"
#include "archive/ArchiveStore.h"
#include "archive/CaptureRecorder.h"
#include "session/ArchiveJournalSink.h"
#include "session/DeviceSession.h"
#include "session/SessionReplay.h"

#include <QEventLoop>

namespace {

class PrintSink : public TJournalSink {
public:
    explicit PrintSink(std::FILE* out)
        : out_(out)
    {
    }
    void appendJournal(const TJournalRow& row) override
    {
        const QByteArray line = journalJson(row);
        std::fwrite(line.constData(), 1, std::size_t(line.size()), out_);
    }

private:
    std::FILE* out_;
};

} // namespace

int runReplay(const TReplayOptions& options, TCliSettings settings, std::FILE* out, std::FILE* err)
{
    TSessionRecording recording = readSessionRecording(options.path);
    if (!recording.error.isEmpty()) {
        std::fprintf(err, "orvik-cli: %s: %s\n", qPrintable(options.path), qPrintable(recording.error));
        return 2;
    }
    if (recording.truncated)
        std::fprintf(err, "orvik-cli: %s: краят е отрязан; възпроизвежда се до последния цял запис\n",
            qPrintable(options.path));

    TSessionReplay replay;
    TDeviceSession& session = replay.session();
    ArchiveStore archive;
    CaptureRecorder recorder;
    replay.setCaptureRecorder(&recorder);
    QObject::connect(&recorder, &CaptureRecorder::captureReady, &archive, &ArchiveStore::storeCapture);
    QObject::connect(
        &archive, &ArchiveStore::captureStored, &archive, [&](const CaptureRow& row, bool first) {
            if (!first)
                return;
            const QByteArray line = captureJson(row);
            std::fwrite(line.constData(), 1, std::size_t(line.size()), out);
            session.journal().captureStored(row.id, row.points, row.started, row.event, row.origin);
        });
    ArchiveJournalSink archiveSink(archive);
    PrintSink printSink(out);
    session.addJournalSink(&archiveSink);
    session.addJournalSink(&printSink);
    settings.applyTo(session);
    replay.setValues(settings.sessionValues());
    if (!settings.archiveFile.isEmpty())
        archive.open(settings.archiveFile, settings.keep, settings.journalKeep);

    QEventLoop loop;
    QObject::connect(&replay, &TSessionReplay::finished, &loop, &QEventLoop::quit);
    replay.start(std::move(recording.entries), TSessionReplay::originOf(options.path), options.speed);
    if (replay.running())
        loop.exec();
    const ArchiveStore::Unstored lost = archive.close();
    std::fflush(out);
    return lost.captures + lost.rows > 0 ? 1 : 0;
}
