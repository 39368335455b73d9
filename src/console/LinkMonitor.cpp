#include "console/LinkMonitor.h"

#include "serial/ComPort.h"

#include <QDateTime>
#include <QTimer>
#include <utility>

TLinkMonitor::TLinkMonitor(TCustomComPort* port, QObject* parent)
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
    port_->AttachLink(&link_);
    connect(port_, &TCustomComPort::Destroying, this, &TLinkMonitor::dropPort);
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &TLinkMonitor::refresh);
    timer_->start();
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
    const TLineErrorCounts errors = port_ ? port_->LineErrorCounts() : TLineErrorCounts{};
    emit refreshed(stats_.sample(now), errors);
}
