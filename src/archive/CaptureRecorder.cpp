#include "archive/CaptureRecorder.h"

#include "archive/ArchiveTime.h"

#include <QDateTime>
#include <algorithm>

CaptureRecorder::CaptureRecorder(QObject* parent)
    : QObject(parent)
    , clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    quiet_.setSingleShot(true);
    connect(&quiet_, &QTimer::timeout, this, &CaptureRecorder::checkQuiet);
    growth_.setSingleShot(true);
    connect(&growth_, &QTimer::timeout, this, &CaptureRecorder::checkGrowth);
    current_.key = nextKey_++;
}

void CaptureRecorder::addPoint(std::int64_t x, std::int32_t y)
{
    lastSampleMs_ = clock();
    if (current_.x.empty()) {
        current_.started = archiveTime(lastSampleMs_);
        // A capture that begins takes the waiting event or lets it go: a later capture
        // never gets an event that came before this one.
        if (!pendingEvent_.isEmpty() && lastSampleMs_ - pendingEventMs_ <= kEventWindowMs) {
            current_.event = pendingEvent_;
            current_.eventTime = archiveTime(pendingEventMs_);
        }
        pendingEvent_.clear();
    }
    current_.x.push_back(x);
    current_.y.push_back(y);
    // Started once per quiet spell rather than per point: a restart costs a timer
    // registration, and points come by the hundred thousand a second in a flood.
    if (!quiet_.isActive())
        quiet_.start(kQuietMs);
    if (!growth_.isActive())
        growth_.start(kGrowthMs);
}

void CaptureRecorder::eventCounted(const QString& name, std::int64_t atMs)
{
    pendingEvent_ = name;
    pendingEventMs_ = atMs;
}

void CaptureRecorder::reset()
{
    flush();
    if (current_.x.empty())
        return;
    current_ = CaptureData{};
    current_.key = nextKey_++;
    handedOver_ = 0;
    endedAt_ = 0;
    endedOnce_ = false;
    quiet_.stop();
    growth_.stop();
}

void CaptureRecorder::flush()
{
    if (current_.size() > endedAt_)
        handOver(true);
}

void CaptureRecorder::checkGrowth()
{
    if (current_.size() > handedOver_)
        handOver(false);
}

void CaptureRecorder::checkQuiet()
{
    if (current_.size() <= endedAt_)
        return;
    const std::int64_t quietFor = clock() - lastSampleMs_;
    if (quietFor >= kQuietMs) {
        handOver(true);
        return;
    }
    quiet_.start(int(std::clamp<std::int64_t>(kQuietMs - quietFor, 1, kQuietMs)));
}

void CaptureRecorder::handOver(bool ended)
{
    if (ended) {
        endedAt_ = current_.size();
        endedOnce_ = true;
    }
    // Once ended, a capture that grows again is complete at every hand-over.
    current_.growing = !endedOnce_;
    current_.ended = archiveTime(lastSampleMs_);
    current_.port = portName ? portName() : QString();
    current_.origin = origin;
    current_.xTitle = xTitle ? xTitle() : QString();
    current_.yTitle = yTitle ? yTitle() : QString();
    handedOver_ = current_.size();
    emit captureReady(current_);
}
