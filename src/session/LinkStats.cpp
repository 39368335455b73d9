#include "session/LinkStats.h"

void TLinkStats::line(const TLineOutcome& outcome)
{
    if (!outcome.isRecord()) {
        ++rejected_;
        return;
    }
    ++records_;
    if (outcome.answered())
        ++answered_;
    else if (outcome.unanswered())
        ++unanswered_;
}

TLinkFigures TLinkStats::sample(qint64 nowMs)
{
    TLinkFigures f;
    f.unanswered = unanswered_;
    f.rejected = rejected_;
    while (marks_.size() > 1 && marks_[1].ms <= nowMs - 1000)
        marks_.pop_front();
    if (!marks_.empty() && nowMs > marks_.front().ms) {
        const Mark& base = marks_.front();
        const double seconds = double(nowMs - base.ms) / 1000.0;
        f.rxBytesPerSecond = double(rxBytes_ - base.rx) / seconds;
        f.txBytesPerSecond = double(txBytes_ - base.tx) / seconds;
        f.recordsPerSecond = double(records_ - base.records) / seconds;
    }
    marks_.push_back({nowMs, rxBytes_, txBytes_, records_});
    return f;
}
