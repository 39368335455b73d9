#include "RecordCommand.h"

#include "JsonLines.h"
#include "archive/ArchiveStore.h"
#include "archive/CaptureRecorder.h"
#include "serial/ComPort.h"
#include "session/ArchiveJournalSink.h"
#include "session/DeviceSession.h"
#include "session/PortReconnector.h"
#include "session/SessionRecording.h"
#include "session/TransportFactory.h"

#include <QDateTime>
#include <QEventLoop>

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
    // Any port name the console takes; a serial port gets the file's line settings.
    port_ = CreateTransport(settings_.port, this);
    if (auto* com = dynamic_cast<TComPort*>(port_))
        settings_.applyTo(*com);
    // Attached before the session: a chunk is recorded, and the clock latched, before it is
    // handled.
    recording_ = std::make_unique<TSessionRecordingWriter>();
    recordingLink_.RxBufHandler = [this](QObject*, const char* bytes, int count) {
        latchedUs_ = nowUs();
        recording_->add(TSessionEntry::Received, *latchedUs_, QByteArrayView(bytes, count));
    };
    recordingLink_.TxBufHandler = [this](QObject*, const char* bytes, int count) {
        recording_->add(TSessionEntry::Sent, nowUs(), QByteArrayView(bytes, count));
    };
    recordingLink_.ConnHandler = [this](QObject*, bool open) {
        if (open)
            opened();
        else
            closed();
    };
    port_->AttachLink(&recordingLink_);
    session_ = new TDeviceSession(*port_, this);
    settings_.applyTo(*session_);
    connect(session_, &TDeviceSession::received, this, [this] { latchedUs_.reset(); });
    session_->journal().clock = [this] { return QDateTime::fromMSecsSinceEpoch(nowUs() / 1000, Qt::UTC); };

    archive_ = new ArchiveStore(this);
    recorder_ = new CaptureRecorder(this);
    recorder_->clock = [this] { return nowUs() / 1000; };
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

    reconnector_ = new TPortReconnector(port_, this);
    reconnector_->SetEnabled(settings_.autoReconnect);
    TJournalRecorder& journal = session_->journal();
    connect(reconnector_, &TPortReconnector::waitingStarted, this, [this, &journal](const QString& port) {
        connectionChange(QStringLiteral("waiting"), {}, [&] { journal.connectionWaiting(port); });
    });
    connect(reconnector_, &TPortReconnector::refused, this,
        [this, &journal](const QString& port, const QString& found) {
            connectionChange(
                QStringLiteral("refused"), found, [&] { journal.connectionRefused(port, found); });
        });
    connect(reconnector_, &TPortReconnector::failing, this,
        [this, &journal](const QString& port, const QString& reason) {
            connectionChange(
                QStringLiteral("failing"), reason, [&] { journal.connectionFailing(port, reason); });
        });
    connect(reconnector_, &TPortReconnector::reconnected, this, [this, &journal](const QString& port) {
        const QString rate = rateText(*port_);
        connectionChange(
            QStringLiteral("reconnected"), rate, [&] { journal.connectionReconnected(port, rate); });
        setLines();
    });
}

TRecordCommand::~TRecordCommand()
{
    port_->DetachLink(&recordingLink_);
}

std::int64_t TRecordCommand::nowUs() const
{
    if (latchedUs_)
        return *latchedUs_;
    return QDateTime::currentMSecsSinceEpoch() * 1000;
}

void TRecordCommand::connectionChange(
    const QString& state, const QString& detail, const std::function<void()>& journal)
{
    latchedUs_ = nowUs();
    recording_->add(TSessionEntry::Connection, *latchedUs_,
        QStringList{state, port_->Port(), detail}.join(QLatin1Char('\t')).toUtf8());
    journal();
    latchedUs_.reset();
}

bool TRecordCommand::start(const QString& sessionPath)
{
    if (!sessionPath.isEmpty()) {
        if (!recording_->open(sessionPath)) {
            error_ = sessionPath + QStringLiteral(": ") + recording_->error();
            return false;
        }
        recording_->add(TSessionEntry::Settings, nowUs(), settings_.sessionValues().encode());
    }
    if (!settings_.archiveFile.isEmpty())
        archive_->open(settings_.archiveFile, settings_.keep, settings_.journalKeep);
    try {
        port_->OpenPort();
    } catch (const std::exception& e) {
        error_ = QString::fromUtf8(e.what());
        return false;
    }
    if (!port_->Opening())
        return port_->Connected();
    QEventLoop wait;
    connect(port_, &TTransport::Opened, &wait, &QEventLoop::quit);
    connect(port_, &TTransport::OpenFailed, &wait, [this, &wait](TTransport*, const QString& reason) {
        error_ = reason;
        wait.quit();
    });
    wait.exec();
    return port_->Connected();
}

std::int64_t TRecordCommand::stop()
{
    reconnector_->Stop();
    // Closing also abandons an open still under way.
    if (port_->Connected() || port_->Opening())
        port_->ClosePort();
    recorder_->flush();
    recording_->close();
    const ArchiveStore::Unstored lost = archive_->close();
    return lost.captures + lost.rows;
}

void TRecordCommand::opened()
{
    if (!reconnector_->IsWaiting()) {
        const QString rate = rateText(*port_);
        connectionChange(QStringLiteral("opened"), rate,
            [&] { session_->journal().connectionOpened(port_->Port(), rate); });
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
    const bool lost = port_->ClosedByHangUp();
    connectionChange(lost ? QStringLiteral("lost") : QStringLiteral("closed"), {}, [&] {
        // The capture under way ends at the close, before its row.
        recorder_->flush();
        if (lost)
            session_->journal().connectionLost(port_->Port());
        else
            session_->journal().connectionClosed(port_->Port());
    });
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
