#pragma once
// TSessionReplay: a session recording fed through a device session again, at its own pace, a
// multiple of it or as fast as it goes. The session is the replay's own, over a transport that
// is never open, so its answers reach no port. While an entry is handled the journal's and the
// capture recorder's clock stand at the entry's recorded time, so the captures and rows get
// the recorded session's times; both say where they came from (origin()).

#include "session/SessionRecording.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

class CaptureRecorder;
class TDeviceSession;
class TTransport;

// The values the answers and the readings depend on, as a recording keeps them in its Settings
// entries ("key=value" lines: Voltage, Current, Temperature in Windows-1251, AppendLF, Force7Bit).
struct TSessionValues {
    QByteArray voltageLimit = "50";
    QByteArray currentLimit = "50";
    QByteArray temperatureLimit = "50";
    bool appendLF = true;
    bool force7Bit = false;

    QByteArray encode() const;
    // Takes the keys an entry holds; the others stay.
    void apply(const QByteArray& entry);
    void applyTo(TDeviceSession& session) const;
};

class TSessionReplay : public QObject {
    Q_OBJECT
public:
    // Entries handled in one go at full speed before the event loop gets its turn.
    static constexpr int kSliceMs = 8;

    explicit TSessionReplay(QObject* parent = nullptr);
    ~TSessionReplay() override;

    // The session the recording is fed through; its signals are what a live session's are.
    TDeviceSession& session() const { return *session_; }
    // The recorder the session feeds (null for none). At a replay's start it begins a fresh
    // capture and takes the replay's clock, origin, port and units; at its end it gets its
    // own clock and origin back, with the last capture handed over (the port and units are
    // for a live session to give back).
    void setCaptureRecorder(CaptureRecorder* recorder);
    // The values before the recording's first Settings entry.
    void setValues(const TSessionValues& values) { values_ = values; }

    // "replay:" and the recording's absolute path: what the rows and captures carry.
    static QString originOf(const QString& path);

    // Starts replaying the entries; speed is a multiple of the recorded pace, 0 as fast as
    // it goes. finished() follows, also for an empty recording.
    void start(std::vector<TSessionEntry> entries, const QString& origin, double speed);
    void setSpeed(double speed);
    // Ends the replay where it stands.
    void stop();
    bool running() const { return running_; }
    std::size_t done() const { return next_; }
    std::size_t total() const { return entries_.size(); }
    // The recorded time the replay stands at (µs since the epoch).
    std::int64_t nowUs() const { return nowUs_; }

signals:
    void progress(std::size_t done, std::size_t total);
    // Bytes the recorded console sent, for a view that shows them as its echo.
    void sent(const QByteArray& bytes);
    // All entries replayed (stopped: ended by stop()).
    void finished(bool stopped);

private:
    void step();
    void handle(const TSessionEntry& entry);
    void finish(bool stopped);
    // Real milliseconds from the start until the entry is due at the speed chosen.
    qint64 dueMs(const TSessionEntry& entry) const;

    std::unique_ptr<TTransport> transport_;
    TDeviceSession* session_ = nullptr;
    CaptureRecorder* recorder_ = nullptr;
    std::function<std::int64_t()> recorderClock_;
    QString recorderOrigin_;
    TSessionValues values_;
    std::vector<TSessionEntry> entries_;
    std::size_t next_ = 0;
    double speed_ = 1;
    bool running_ = false;
    std::int64_t nowUs_ = 0;
    // Pace: the recorded time at paceUs_ was due at paceMs_ of pace_.
    QElapsedTimer pace_;
    std::int64_t paceUs_ = 0;
    qint64 paceMs_ = 0;
    QTimer timer_;
};
