#pragma once
// `orvik-cli record`: the console's session without its window. The port opens with the
// settings file's values, records are answered as the console answers them, captures and
// journal rows go to the archive, and each row and capture is printed as a JSON line. A
// device that goes away is waited for as the console waits for it. SIGTERM, SIGINT or the
// end of the duration stop it: the capture under way is handed over, the port closed and
// everything waiting written before the archive closes.

#include "CliSettings.h"
#include "session/JournalRow.h"
#include "transport/ComLink.h"

#include <QObject>
#include <QString>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

class ArchiveStore;
class CaptureRecorder;
class TTransport;
class TDeviceSession;
class TPortReconnector;
class TJournalSink;
class TSessionRecordingWriter;

class TRecordCommand : public QObject {
    Q_OBJECT
public:
    // The JSON lines go to out; none when it is null.
    TRecordCommand(const TCliSettings& settings, std::FILE* out, QObject* parent = nullptr);
    ~TRecordCommand() override;

    // Opens the port (and the session recording, when a path is given); false (with the
    // reason in error()) when either cannot be opened. A port whose open ends later (on
    // another machine) is waited for here.
    bool start(const QString& sessionPath = {});
    const QString& error() const { return error_; }
    // Hands over the capture under way, closes the port and writes what waits; the count not
    // written (zero when all was).
    std::int64_t stop();

    TDeviceSession& session() const { return *session_; }
    ArchiveStore& archive() const { return *archive_; }
    CaptureRecorder& recorder() const { return *recorder_; }
    TTransport& port() const { return *port_; }
    // The capture stored complete last; 0 before the first.
    std::int64_t lastCaptureId() const { return lastCaptureId_; }

private:
    void opened();
    void closed();
    void setLines();
    // A connection change: recorded, then journalled at the same time.
    void connectionChange(const QString& state, const QString& detail, const std::function<void()>& journal);
    std::int64_t nowUs() const;
    void print(const QByteArray& line);

    TCliSettings settings_;
    std::FILE* out_;
    QString error_;
    TTransport* port_ = nullptr;
    ArchiveStore* archive_ = nullptr;
    CaptureRecorder* recorder_ = nullptr;
    TDeviceSession* session_ = nullptr;
    TPortReconnector* reconnector_ = nullptr;
    std::unique_ptr<TJournalSink> archiveSink_;
    std::unique_ptr<TJournalSink> printSink_;
    std::int64_t lastCaptureId_ = 0;
    std::unique_ptr<TSessionRecordingWriter> recording_;
    TComLink recordingLink_;
    // While a received chunk or a connection change is handled, the journal's and the
    // recorder's clock stand at its recorded time, so a replay stamps the same times.
    std::optional<std::int64_t> latchedUs_;
};
