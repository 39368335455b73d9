#pragma once
// TSessionTape: what the session bar's buttons do. Recording writes the live session's raw
// traffic, connection changes and the values its answers depend on to a session recording (the
// format orvik-cli record --session writes); while it records, the journal's and the capture
// recorder's clock stand still for each delivery, so the entry and the rows it makes share
// their time and a replay stamps the same. Replaying feeds a recording through a session of its
// own, never open, whose read-outs, chart, terminal text, journal rows and captures reach the
// window as the live session's do; the rows and captures carry the recording as their origin.
// A replay needs the port closed, and ends when it opens.

#include "session/JournalRow.h"
#include "session/SessionRecording.h"
#include "session/SessionReplay.h"
#include "transport/ComLink.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

class CaptureRecorder;
class SessionBar;
class TDeviceSession;
class TTransport;

class TSessionTape : public QObject, private TJournalSink {
    Q_OBJECT
public:
    TSessionTape(TDeviceSession& live, CaptureRecorder& recorder, SessionBar& bar, QObject* parent = nullptr);
    ~TSessionTape() override;

    // The file to record to (save) or to replay (open); empty when the operator cancelled.
    std::function<QString(const QString& caption, const QString& filter, bool save)> ChooseFile;
    // The values the live answers and readings depend on, as the window holds them.
    std::function<TSessionValues()> Values;
    // A failure for the operator.
    std::function<void(const QString& message)> Report;

    bool StartRecording(const QString& path);
    void StopRecording();
    bool Recording() const { return writer_.has_value(); }
    bool StartReplay(const QString& path, double speed);
    void StopReplay();
    TSessionReplay& Replay() { return replay_; }
    // Ends both (the window closes).
    void Stop();

private:
    void recordToggled(bool on);
    void replayToggled(bool on);
    void replayFinished(bool stopped);
    void showProgress();
    // The time a delivery's entries and rows share: taken at the first asking, kept until the
    // event loop's next turn.
    std::int64_t heldUs();
    void addValues();
    // TJournalSink: the live journal's connection rows become connection entries.
    void appendJournal(const TJournalRow& row) override;

    TDeviceSession& live_;
    TTransport* transport_;
    CaptureRecorder& recorder_;
    SessionBar& bar_;
    TComLink link_;
    std::optional<TSessionRecordingWriter> writer_;
    QByteArray lastValues_;
    std::optional<std::int64_t> heldUs_;
    std::function<QDateTime()> journalClock_;
    std::function<std::int64_t()> recorderClock_;
    TSessionReplay replay_;
    QString replayPath_;
    bool replayTruncated_ = false;
    bool syncing_ = false;
};
