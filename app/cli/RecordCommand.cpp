#include "RecordCommand.h"

#include "JsonLines.h"
#include "archive/ArchiveStore.h"
#include "archive/CaptureRecorder.h"
#include "serial/ComPort.h"
#include "serial/PortReconnector.h"
#include "session/ArchiveJournalSink.h"
#include "session/DeviceSession.h"

#include <exception>

namespace {

// Journal rows as JSON lines on the output.
class PrintSink : public TJournalSink {
public:
    explicit PrintSink(std::function<void(const QByteArray&)> print)
        : print_(std::move(print))
    {
    }
    void appendJournal(const TJournalRow& row) override { print_(journalJson(row)); }

private:
    std::function<void(const QByteArray&)> print_;
};

} // namespace

TRecordCommand::TRecordCommand(const TCliSettings& settings, std::FILE* out, QObject* parent)
    : QObject(parent)
    , settings_(settings)
    , out_(out)
{
    port_ = new TComPort(this);
    settings_.applyTo(*port_);
    session_ = new TDeviceSession(*port_, this);
    settings_.applyTo(*session_);

    archive_ = new ArchiveStore(this);
    recorder_ = new CaptureRecorder(this);
    // The session tells the recorder the port and the units as well.
    session_->setCaptureRecorder(recorder_);
    connect(recorder_, &CaptureRecorder::captureReady, archive_, &ArchiveStore::storeCapture);
    connect(archive_, &ArchiveStore::captureStored, this, [this](const CaptureRow& row, bool first) {
        if (!first)
            return;
        lastCaptureId_ = row.id;
        print(captureJson(row));
        session_->journal().captureStored(row.id, row.points, row.started, row.event);
    });
    connect(archive_, &ArchiveStore::failed, this,
        [this](const QString& message) { session_->journal().error(QStringLiteral("archive"), message); });
    archiveSink_ = std::make_unique<ArchiveJournalSink>(*archive_);
    printSink_ = std::make_unique<PrintSink>([this](const QByteArray& line) { print(line); });
    session_->addJournalSink(archiveSink_.get());
    session_->addJournalSink(printSink_.get());
    connect(session_, &TDeviceSession::failed, this,
        [this](const QString& message) { session_->journal().error(QStringLiteral("port"), message); });
    connect(session_, &TDeviceSession::stallEnded, this, [this](const QString& failure, int dropped) {
        session_->journal().error(QStringLiteral("port"),
            QStringLiteral("%1 (пропуснати изпращания: %2)").arg(failure).arg(dropped));
    });

    port_->OnAfterOpen = [this](QObject*) { opened(); };
    port_->OnAfterClose = [this](QObject*) { closed(); };
    reconnector_ = new TPortReconnector(port_, this);
    reconnector_->SetEnabled(settings_.autoReconnect);
    TJournalRecorder& journal = session_->journal();
    connect(reconnector_, &TPortReconnector::waitingStarted, this,
        [&journal](const QString& port) { journal.connectionWaiting(port); });
    connect(reconnector_, &TPortReconnector::refused, this,
        [&journal](const QString& port, const QString& found) { journal.connectionRefused(port, found); });
    connect(reconnector_, &TPortReconnector::failing, this,
        [&journal](const QString& port, const QString& reason) { journal.connectionFailing(port, reason); });
    connect(reconnector_, &TPortReconnector::reconnected, this, [this](const QString& port) {
        session_->journal().connectionReconnected(port, rateText(*port_));
        setLines();
    });
}

TRecordCommand::~TRecordCommand() = default;

bool TRecordCommand::start()
{
    if (!settings_.archiveFile.isEmpty())
        archive_->open(settings_.archiveFile, settings_.keep, settings_.journalKeep);
    try {
        port_->OpenPort();
    } catch (const std::exception& e) {
        error_ = QString::fromUtf8(e.what());
        return false;
    }
    return true;
}

std::int64_t TRecordCommand::stop()
{
    reconnector_->Stop();
    if (port_->Connected())
        port_->ClosePort();
    recorder_->flush();
    const ArchiveStore::Unstored lost = archive_->close();
    return lost.captures + lost.rows;
}

void TRecordCommand::opened()
{
    if (!reconnector_->IsWaiting()) {
        session_->journal().connectionOpened(port_->Port(), rateText(*port_));
        setLines();
    }
}

void TRecordCommand::setLines()
{
    // As the console drives them after an open; a line the driver refuses is not fatal.
    try {
        port_->SetDtrLine(settings_.dtr);
        port_->SetRtsLine(settings_.rts);
    } catch (const std::exception&) {
    }
}

void TRecordCommand::closed()
{
    recorder_->flush();
    if (port_->ClosedByHangUp())
        session_->journal().connectionLost(port_->Port());
    else
        session_->journal().connectionClosed(port_->Port());
    session_->transportClosed();
}

void TRecordCommand::print(const QByteArray& line)
{
    if (!out_)
        return;
    std::fwrite(line.constData(), 1, std::size_t(line.size()), out_);
    // A reader of the pipe sees each line as it happens.
    std::fflush(out_);
}
