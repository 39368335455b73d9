#pragma once
// Figures of the link for the status line: byte and record rates and the totals of lines
// the console did not answer or did not take as records. Counting is a few additions per
// chunk or line; the rates are worked out only when the status line asks.

#include "console/core/RecordParser.h"

#include <QtGlobal>
#include <cstdint>

struct TLinkFigures {
    double rxBytesPerSecond = 0;
    double txBytesPerSecond = 0;
    double recordsPerSecond = 0;
    std::uint64_t unanswered = 0; // records that got no "OK"
    std::uint64_t rejected = 0; // lines that were no record: no "W:", unknown type, too long
};

class TLinkStats {
public:
    void received(std::size_t bytes) { rxBytes_ += bytes; }
    void sent(std::size_t bytes) { txBytes_ += bytes; }
    void line(const TLineOutcome& outcome);

    // Rates over the time since the previous call (zero at the first).
    TLinkFigures sample(qint64 nowMs);

    std::uint64_t rxBytes() const { return rxBytes_; }
    std::uint64_t txBytes() const { return txBytes_; }
    std::uint64_t records() const { return records_; }
    std::uint64_t answered() const { return answered_; }
    std::uint64_t unanswered() const { return unanswered_; }
    std::uint64_t rejected() const { return rejected_; }

private:
    std::uint64_t rxBytes_ = 0, txBytes_ = 0, records_ = 0, answered_ = 0, unanswered_ = 0, rejected_ = 0;
    bool sampled_ = false;
    qint64 lastMs_ = 0;
    std::uint64_t lastRx_ = 0, lastTx_ = 0, lastRecords_ = 0;
};
