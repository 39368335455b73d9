#include "ReplayCommand.h"

#include "JsonLines.h"
#include "archive/ArchiveStore.h"
#include "archive/CaptureRecorder.h"
#include "session/ArchiveJournalSink.h"
#include "session/DeviceSession.h"
#include "transport/Transport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>

namespace {

// A transport that is never open: the replay's answers are not sent anywhere.
class TReplayTransport : public TTransport {
public:
    const QString& Port() const override { return name_; }
    void SetPort(const QString& name) override { name_ = name; }
    const TDeviceIdentity& Identity() const override { return identity_; }
    bool Connected() const override { return false; }
    void OpenPort() override { }
    bool OpenPortIfSame(const TDeviceIdentity&, TDeviceIdentity&) override { return false; }
    void ClosePort() override { }
    bool ClosedByHangUp() const override { return false; }
    WriteOutcome Write(QByteArrayView, bool) override { return {}; }
    int WriteText(const QByteArray&) override { return 0; }
    TLineState LineState() override { return {}; }
    void SetDtrLine(bool) override { }
    void SetRtsLine(bool) override { }
    TLineErrorCounts LineErrorCounts() override { return {}; }
    void AttachLink(TComLink*) override { }
    void DetachLink(TComLink*) override { }
    void RunSetupDialog() override { }

private:
    QString name_;
    TDeviceIdentity identity_;
};

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
    const TSessionRecording recording = readSessionRecording(options.path);
    if (!recording.error.isEmpty()) {
        std::fprintf(err, "orvik-cli: %s: %s\n", qPrintable(options.path), qPrintable(recording.error));
        return 2;
    }
    if (recording.truncated)
        std::fprintf(err, "orvik-cli: %s: краят е отрязан; възпроизвежда се до последния цял запис\n",
            qPrintable(options.path));

    std::int64_t nowUs = recording.entries.empty() ? 0 : recording.entries.front().timeUs;
    TReplayTransport transport;
    TDeviceSession session(transport);
    session.journal().clock = [&nowUs] { return QDateTime::fromMSecsSinceEpoch(nowUs / 1000, Qt::UTC); };
    ArchiveStore archive;
    CaptureRecorder recorder;
    recorder.clock = [&nowUs] { return nowUs / 1000; };
    session.setCaptureRecorder(&recorder);
    QObject::connect(&recorder, &CaptureRecorder::captureReady, &archive, &ArchiveStore::storeCapture);
    QObject::connect(
        &archive, &ArchiveStore::captureStored, &archive, [&](const CaptureRow& row, bool first) {
            if (!first)
                return;
            const QByteArray line = captureJson(row);
            std::fwrite(line.constData(), 1, std::size_t(line.size()), out);
            session.journal().captureStored(row.id, row.points, row.started, row.event);
        });
    ArchiveJournalSink archiveSink(archive);
    PrintSink printSink(out);
    session.addJournalSink(&archiveSink);
    session.addJournalSink(&printSink);
    settings.applyTo(session);
    if (!settings.archiveFile.isEmpty())
        archive.open(settings.archiveFile, settings.keep, settings.journalKeep);

    QElapsedTimer pace;
    pace.start();
    const std::int64_t firstUs = nowUs;
    for (const TSessionEntry& e : recording.entries) {
        if (options.speed > 0) {
            const auto dueMs = qint64(double(e.timeUs - firstUs) / 1000.0 / options.speed);
            while (pace.elapsed() < dueMs)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, int(dueMs - pace.elapsed()));
        }
        nowUs = e.timeUs;
        // A quiet spell that ended the live capture ends it here as well.
        recorder.checkQuiet();
        switch (e.kind) {
        case TSessionEntry::Received:
            session.receive(e.bytes.constData(), int(e.bytes.size()));
            break;
        case TSessionEntry::Sent:
            break;
        case TSessionEntry::Settings:
            settings.applySessionValues(e.bytes);
            settings.applyTo(session);
            break;
        case TSessionEntry::Connection: {
            const QStringList parts = QString::fromUtf8(e.bytes).split(QLatin1Char('\t'));
            const QString state = parts.value(0), port = parts.value(1), detail = parts.value(2);
            transport.SetPort(port);
            TJournalRecorder& j = session.journal();
            if (state == QLatin1String("opened"))
                j.connectionOpened(port, detail);
            else if (state == QLatin1String("reconnected"))
                j.connectionReconnected(port, detail);
            else if (state == QLatin1String("waiting"))
                j.connectionWaiting(port);
            else if (state == QLatin1String("refused"))
                j.connectionRefused(port, detail);
            else if (state == QLatin1String("failing"))
                j.connectionFailing(port, detail);
            else if (state == QLatin1String("closed") || state == QLatin1String("lost")) {
                recorder.flush();
                if (state == QLatin1String("lost"))
                    j.connectionLost(port);
                else
                    j.connectionClosed(port);
                session.transportClosed();
            }
            break;
        }
        }
        QCoreApplication::processEvents();
    }
    recorder.flush();
    const ArchiveStore::Unstored lost = archive.close();
    std::fflush(out);
    return lost.captures + lost.rows > 0 ? 1 : 0;
}
