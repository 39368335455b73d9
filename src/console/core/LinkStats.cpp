#include "console/core/LinkStats.h"

void TLinkStats::line(const TLineOutcome& outcome)
{
    if (!outcome.isRecord()) {
        ++rejected_;
        return;
    }
    ++records_;
    if (outcome.answered())
        ++answered_;
    else
        ++unanswered_;
}

TLinkFigures TLinkStats::sample(qint64 nowMs)
{
    TLinkFigures f;
    f.unanswered = unanswered_;
    f.rejected = rejected_;
    if (sampled_ && nowMs > lastMs_) {
        const double seconds = double(nowMs - lastMs_) / 1000.0;
        f.rxBytesPerSecond = double(rxBytes_ - lastRx_) / seconds;
        f.txBytesPerSecond = double(txBytes_ - lastTx_) / seconds;
        f.recordsPerSecond = double(records_ - lastRecords_) / seconds;
    }
    sampled_ = true;
    lastMs_ = nowMs;
    lastRx_ = rxBytes_;
    lastTx_ = txBytes_;
    lastRecords_ = records_;
    return f;
}
