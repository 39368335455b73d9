#include "session/LinkMonitor.h"

#include "transport/Transport.h"

#include <QDateTime>
#include <QTimer>
#include <utility>

TLinkMonitor::TLinkMonitor(TTransport* port, QObject* parent)
    : QObject(parent)
    , port_(port)
{
    clockMs = [] { return QDateTime::currentMSecsSinceEpoch(); };
    link_.RxBufHandler = [this](QObject*, const char* buffer, int count) {
        stats_.received(std::size_t(count));
        log_.received(QByteArrayView(buffer, count), clockMs());
    };
    link_.TxBufHandler = [this](QObject*, const char* buffer, int count) {
        stats_.sent(std::size_t(count));
        log_.sent(QByteArrayView(buffer, count), clockMs());
    };
    link_.ConnHandler = [this](QObject*, bool open) { portOpen(open); };
    port_->AttachLink(&link_);
    connect(port_, &TTransport::Destroying, this, &TLinkMonitor::dropPort);
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &TLinkMonitor::refresh);
    if (port_->Connected())
        timer_->start();
}

bool TLinkMonitor::refreshing() const
{
    return timer_->isActive();
}

void TLinkMonitor::portOpen(bool open)
{
    if (open)
        timer_->start();
    else
        timer_->stop();
}

TLinkMonitor::~TLinkMonitor()
{
    dropPort();
}

void TLinkMonitor::dropPort()
{
    if (!port_)
        return;
    port_->DetachLink(&link_);
    port_ = nullptr;
}

void TLinkMonitor::lineOutcome(const TLineOutcome& outcome)
{
    stats_.line(outcome);
    log_.outcome(outcome);
}

void TLinkMonitor::connectionClosed(bool lost)
{
    const qint64 now = clockMs();
    log_.closed(now);
    if (lost && !lost_)
        log_.mark(TLinkMark::Lost, now);
    lost_ = lost_ || lost;
    // The last word until the next open: nothing moves, the totals stay.
    TLinkFigures figures = stats_.sample(now);
    figures.rxBytesPerSecond = figures.txBytesPerSecond = figures.recordsPerSecond = 0;
    emit refreshed(figures, lastErrors_);
}

void TLinkMonitor::connectionOpened()
{
    if (std::exchange(lost_, false))
        log_.mark(TLinkMark::Back, clockMs());
}

void TLinkMonitor::refresh()
{
    const qint64 now = clockMs();
    log_.tick(now);
    if (port_ && port_->Connected())
        lastErrors_ = port_->LineErrorCounts();
    emit refreshed(stats_.sample(now), lastErrors_);
}
