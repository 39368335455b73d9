#pragma once
// The last lines that crossed the link, in memory, each with what the console did with it.
// Received bytes are cut after each CR, as the record parser cuts them, so the parser's
// verdict on its n-th line belongs to the n-th received line ended by CR; bytes with no CR
// for a second become a line of their own (a device that ends lines with LF alone is still
// seen). What the console sends is one line per send; typed keys gather until CR.
// No widgets: the inspector's table is a model over copies of these lines.

#include "session/RecordParser.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <deque>
#include <vector>

struct TLineVerdict {
    bool known = false; // the parser handled the line (received lines ended by CR only)
    int answers = 0;
    std::uint32_t reasons = 0; // TLineReason bits
    std::uint32_t badFields = 0; // TLineField bits
    int badSample = 0;
};

// A row of its own that marks a change of the link rather than bytes that crossed it.
enum class TLinkMark { None, Lost, Back };

struct TLoggedLine {
    qint64 timeMs = 0; // when its last byte crossed, ms since the epoch
    bool sent = false;
    bool unterminated = false; // received without its CR for a second
    QByteArray bytes; // the line's first kKeptBytes bytes
    qsizetype length = 0; // all its bytes
    TLineVerdict verdict;
    TLinkMark mark = TLinkMark::None;
};

class TLineLog {
public:
    static constexpr std::size_t kCapacity = 10000;
    static constexpr qint64 kPendingMs = 1000;
    // Bytes kept of a line: a sample record runs to 120 KB, and 10,000 of those, or of
    // pieces of noise without a CR, must not take the memory. The rest is only counted.
    static constexpr qsizetype kKeptBytes = 512;
    // A line waits this long for the parser's verdict before it is shown without one.
    static constexpr qint64 kVerdictWaitMs = 1000;

    explicit TLineLog(std::size_t capacity = kCapacity);

    void received(QByteArrayView bytes, qint64 nowMs);
    void sent(QByteArrayView bytes, qint64 nowMs);
    // The parser's outcome for its next line ended by CR.
    void outcome(const TLineOutcome& outcome);
    // Shows bytes held without CR for a second; call a few times a second.
    void tick(qint64 nowMs);
    // The connection ended: held bytes become a line, verdicts still owed are given up.
    void closed(qint64 nowMs);
    // A row that says the link was lost or came back, after every line before it.
    void mark(TLinkMark mark, qint64 nowMs);

    std::size_t size() const { return count_; }
    std::size_t capacity() const { return ring_.size(); }
    // Line i, 0 the oldest held.
    const TLoggedLine& at(std::size_t i) const { return ring_[(head_ + i) % ring_.size()]; }
    // Lines ever held; the oldest held is number total() - size().
    std::uint64_t total() const { return total_; }

private:
    struct Waiting {
        TLoggedLine line;
        bool needsVerdict = false;
    };
    void add(TLoggedLine&& line, bool needsVerdict);
    void commitSettled();
    void commit(TLoggedLine&& line);
    static void keep(QByteArray& line, qsizetype& length, QByteArrayView piece);
    static TLoggedLine take(QByteArray& line, qsizetype& length, qint64 timeMs, bool sent, bool unterminated);
    void flushReceived();
    void flushSent(qint64 nowMs);

    std::vector<TLoggedLine> ring_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    std::uint64_t total_ = 0;
    std::deque<Waiting> waiting_; // in order; the front holds back those behind it
    std::deque<TLineVerdict> early_; // verdicts that came before their line
    QByteArray rx_;
    qsizetype rxLength_ = 0;
    qint64 rxSinceMs_ = 0;
    qint64 rxLastMs_ = 0;
    QByteArray tx_;
    qsizetype txLength_ = 0;
    bool txCr_ = false;
};

// Text of a line with its control bytes made visible: ⟨CR⟩, ⟨LF⟩, ⟨1B⟩; Windows-1251 as Cyrillic.
QString visibleText(QByteArrayView bytes);
// "57 3A 56 41 0D"
QString hexBytes(QByteArrayView bytes);
// The same for a logged line, saying how many bytes were not kept: "W:ST1;2;… (+119488 байта)".
QString visibleText(const TLoggedLine& line);
QString hexBytes(const TLoggedLine& line);
// "отговорен", "без отговор: няма „W:“", ...; empty for a sent line.
QString verdictText(const TLoggedLine& line);
