#pragma once
// Figures of the link for the status line: byte and record rates and the totals of lines
// the console did not answer or did not take as records. Counting is a few additions per
// chunk or line; the rates are worked out only when the status line asks.

#include "session/RecordParser.h"

#include <QtGlobal>
#include <cstdint>
#include <deque>

struct TLinkFigures {
    double rxBytesPerSecond = 0;
    double txBytesPerSecond = 0;
    double recordsPerSecond = 0;
    std::uint64_t unanswered = 0; // records owed an "OK" that got none
    std::uint64_t rejected = 0; // lines that were no record: no "W:", unknown type, too long
};

class TLinkStats {
public:
    void received(std::size_t bytes) { rxBytes_ += bytes; }
    void sent(std::size_t bytes) { txBytes_ += bytes; }
    void line(const TLineOutcome& outcome);

    // Rates over about the last second: since the newest earlier call at least a second
    // old, or the oldest call when none is (zero at the first call). Four calls a second
    // then give steady figures rather than the jitter of each quarter second.
    TLinkFigures sample(qint64 nowMs);

    std::uint64_t rxBytes() const { return rxBytes_; }
    std::uint64_t txBytes() const { return txBytes_; }
    std::uint64_t records() const { return records_; }
    std::uint64_t answered() const { return answered_; }
    std::uint64_t unanswered() const { return unanswered_; }
    std::uint64_t rejected() const { return rejected_; }

private:
    std::uint64_t rxBytes_ = 0, txBytes_ = 0, records_ = 0, answered_ = 0, unanswered_ = 0, rejected_ = 0;
    struct Mark {
        qint64 ms;
        std::uint64_t rx, tx, records;
    };
    std::deque<Mark> marks_;
};
