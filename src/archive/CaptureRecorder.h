#pragma once
// Where a capture begins and ends. A capture is the points added since the last scope-data
// reset; it ends at the next reset, when the port closes, when the window closes (flush) and
// after a quiet spell without sample records, and is handed over for storing then, and again
// whenever it has grown since. While it grows, what is new is handed over every kGrowthMs
// as well, marked growing, so a kill loses at most the last moments of it.
//
// Each capture also learns the counted emergency event that started it: the device sends the
// event, then (perhaps) a reset of the chart, then the samples. A capture takes the last
// event counted before its first sample when no other capture began in between and the
// event came at most kEventWindowMs before; an event starts at most one capture.

#include "archive/ArchiveTypes.h"

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

class CaptureRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr int kQuietMs = 2000;
    static constexpr std::int64_t kEventWindowMs = 10000;
    // With the store's batching (ArchiveStore::kCaptureBatchMs) a point is in the file well
    // within half a second of arriving.
    static constexpr int kGrowthMs = 100;

    explicit CaptureRecorder(QObject* parent = nullptr);

    // Read when a capture is handed over: the port it came on and the axis titles shown.
    std::function<QString()> portName;
    std::function<QString()> xTitle;
    std::function<QString()> yTitle;
    // Milliseconds since the epoch; tests set their own clock.
    std::function<std::int64_t()> clock;
    // Given to the captures handed over: empty live, the replay's origin while one runs.
    QString origin;

    // A counted emergency event: its name and its time (ms since the epoch) as journalled.
    void eventCounted(const QString& name, std::int64_t atMs);
    // A point added to the live series.
    void addPoint(std::int64_t x, std::int32_t y);
    // The scope data was reset: the capture so far is complete.
    void reset();
    // Hands over what has not been handed over yet (port or window closing).
    void flush();
    // The quiet timer's check, also called by tests in place of waiting.
    void checkQuiet();
    // The growth timer's: hands over what is new, marked growing.
    void checkGrowth();

    std::size_t pointCount() const { return current_.size(); }
    // When the capture being recorded got its first point (archive time); empty before.
    const QString& started() const { return current_.started; }

signals:
    // Store this capture (a new one, or a larger copy of one handed over before).
    void captureReady(const CaptureData& capture);

private:
    void handOver(bool ended);

    CaptureData current_;
    std::size_t handedOver_ = 0; // points of current_ in its last hand-over
    std::size_t endedAt_ = 0; // points of current_ when it last ended
    bool endedOnce_ = false;
    std::int64_t lastSampleMs_ = 0;
    std::int64_t nextKey_ = 1;
    QString pendingEvent_; // counted since the last capture began
    std::int64_t pendingEventMs_ = 0;
    QTimer quiet_;
    QTimer growth_;
};
