#include "session/LineLog.h"

#include "common/Cp1251.h"

#include <QStringList>
#include <algorithm>
#include <utility>

namespace {

TLineVerdict verdictOf(const TLineOutcome& o)
{
    return {true, o.answers, o.reasons, o.badFields, o.badSample};
}

} // namespace

TLineLog::TLineLog(std::size_t capacity)
    : ring_(std::max<std::size_t>(capacity, 1))
{
}

void TLineLog::received(QByteArrayView bytes, qint64 nowMs)
{
    qsizetype from = 0;
    while (from < bytes.size()) {
        if (rxLength_ == 0)
            rxSinceMs_ = nowMs;
        const qsizetype cr = bytes.indexOf('\r', from);
        const qsizetype end = cr < 0 ? bytes.size() : cr + 1;
        keep(rx_, rxLength_, bytes.sliced(from, end - from));
        from = end;
        rxLastMs_ = nowMs;
        if (cr >= 0)
            add(take(rx_, rxLength_, nowMs, false, false), true);
    }
}

void TLineLog::keep(QByteArray& line, qsizetype& length, QByteArrayView piece)
{
    line.append(piece.first(std::min(piece.size(), kKeptBytes - line.size())));
    length += piece.size();
}

TLoggedLine TLineLog::take(QByteArray& line, qsizetype& length, qint64 timeMs, bool sent, bool unterminated)
{
    // An exact copy: the gathering buffer keeps its room for the next line.
    TLoggedLine out{timeMs, sent, unterminated, QByteArray(line.constData(), line.size()), length, {}};
    line.resize(0);
    length = 0;
    return out;
}

void TLineLog::flushReceived()
{
    if (rxLength_ == 0)
        return;
    add(take(rx_, rxLength_, rxLastMs_, false, true), false);
}

void TLineLog::sent(QByteArrayView bytes, qint64 nowMs)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char b = bytes[i];
        if (txCr_ && b != '\n')
            flushSent(nowMs);
        keep(tx_, txLength_, bytes.sliced(i, 1));
        if (b == '\r')
            txCr_ = true;
        else if (b == '\n')
            flushSent(nowMs);
    }
    // A key typed alone waits for its CR; anything longer is one send, one line.
    if (bytes.size() > 1)
        flushSent(nowMs);
}

void TLineLog::flushSent(qint64 nowMs)
{
    txCr_ = false;
    if (txLength_ == 0)
        return;
    add(take(tx_, txLength_, nowMs, true, false), false);
}

void TLineLog::outcome(const TLineOutcome& o)
{
    for (auto& w : waiting_) {
        if (w.needsVerdict) {
            w.line.verdict = verdictOf(o);
            w.needsVerdict = false;
            commitSettled();
            return;
        }
    }
    // The parser saw the line before we did; it is matched when it arrives. Bounded: a
    // parser fed from elsewhere must not grow this.
    if (early_.size() < 64)
        early_.push_back(verdictOf(o));
}

void TLineLog::add(TLoggedLine&& line, bool needsVerdict)
{
    if (needsVerdict && !early_.empty()) {
        line.verdict = early_.front();
        early_.pop_front();
        needsVerdict = false;
    }
    waiting_.push_back({std::move(line), needsVerdict});
    commitSettled();
    // Lines stuck behind one whose verdict never comes are not held without end.
    while (waiting_.size() > 1024) {
        commit(std::move(waiting_.front().line));
        waiting_.pop_front();
        commitSettled();
    }
}

void TLineLog::commitSettled()
{
    while (!waiting_.empty() && !waiting_.front().needsVerdict) {
        commit(std::move(waiting_.front().line));
        waiting_.pop_front();
    }
}

void TLineLog::commit(TLoggedLine&& line)
{
    const std::size_t capacity = ring_.size();
    if (count_ < capacity) {
        ring_[(head_ + count_) % capacity] = std::move(line);
        ++count_;
    } else {
        ring_[head_] = std::move(line);
        head_ = (head_ + 1) % capacity;
    }
    ++total_;
}

void TLineLog::tick(qint64 nowMs)
{
    if (rxLength_ > 0 && nowMs - rxSinceMs_ >= kPendingMs)
        flushReceived();
    if (txCr_)
        flushSent(nowMs);
    while (!waiting_.empty() && waiting_.front().needsVerdict
        && nowMs - waiting_.front().line.timeMs >= kVerdictWaitMs) {
        commit(std::move(waiting_.front().line));
        waiting_.pop_front();
        commitSettled();
    }
}

void TLineLog::closed(qint64 nowMs)
{
    flushReceived();
    flushSent(nowMs);
    early_.clear();
    for (auto& w : waiting_)
        commit(std::move(w.line));
    waiting_.clear();
}

void TLineLog::mark(TLinkMark mark, qint64 nowMs)
{
    TLoggedLine line;
    line.timeMs = nowMs;
    line.mark = mark;
    add(std::move(line), false);
}

QString visibleText(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    qsizetype run = 0; // start of the printable run not yet decoded
    auto flush = [&](qsizetype to) {
        if (to > run)
            out += cp1251::decode(bytes.data() + run, to - run);
    };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c != 0x7F)
            continue;
        flush(i);
        run = i + 1;
        if (c == '\r')
            out += QStringLiteral("⟨CR⟩");
        else if (c == '\n')
            out += QStringLiteral("⟨LF⟩");
        else
            out += QStringLiteral("⟨%1⟩").arg(uint(c), 2, 16, QLatin1Char('0')).toUpper();
    }
    flush(bytes.size());
    return out;
}

QString hexBytes(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.toByteArray().toHex(' ').toUpper());
}

namespace {

QString withRest(QString shown, const TLoggedLine& line)
{
    if (line.length > line.bytes.size())
        shown += QStringLiteral("… (+%1 байта)").arg(line.length - line.bytes.size());
    return shown;
}

} // namespace

QString visibleText(const TLoggedLine& line)
{
    switch (line.mark) {
    case TLinkMark::Lost:
        return QStringLiteral("——— връзката прекъсна ———");
    case TLinkMark::Back:
        return QStringLiteral("——— връзката е възстановена ———");
    case TLinkMark::None:
        break;
    }
    return withRest(visibleText(line.bytes), line);
}

QString hexBytes(const TLoggedLine& line)
{
    return withRest(hexBytes(line.bytes), line);
}

QString verdictText(const TLoggedLine& line)
{
    if (line.sent || line.mark != TLinkMark::None)
        return {};
    if (line.unterminated)
        return QStringLiteral("без CR");
    const TLineVerdict& v = line.verdict;
    if (!v.known)
        return {};
    QStringList reasons;
    auto has = [&](TLineReason r) { return (v.reasons & std::uint32_t(r)) != 0; };
    if (has(TLineReason::NoRecord))
        reasons << QStringLiteral("няма „W:“ в реда");
    if (has(TLineReason::UnknownType))
        reasons << QStringLiteral("непознат вид запис");
    if (has(TLineReason::TooLong))
        reasons << QStringLiteral("редът е твърде дълъг");
    if (has(TLineReason::NoEvent))
        reasons << QStringLiteral("събитие, което не се брои (RK0)");
    if (has(TLineReason::BadNumber)) {
        static const char* const kFields[] = {"температура", "напрежение", "ток", "времеви мащаб", "проба",
            "граница на температурата", "граница на напрежението", "граница на тока"};
        QStringList fields;
        for (int i = 0; i < int(std::size(kFields)); ++i) {
            if (!(v.badFields & (1u << i)))
                continue;
            QString name = QString::fromUtf8(kFields[i]);
            if (std::uint32_t(TLineField::Sample) == (1u << i) && v.badSample > 0)
                name += QStringLiteral(" %1").arg(v.badSample);
            fields << name;
        }
        reasons << QStringLiteral("нечетимо число: %1").arg(fields.join(QStringLiteral(", ")));
    }
    if (has(TLineReason::NoSubCommand))
        reasons << QStringLiteral("RS без позната подкоманда");
    if (has(TLineReason::StoreFull))
        reasons << QStringLiteral("паметта за проби е пълна");
    QString text = v.answers > 1 ? QStringLiteral("отговорен ×%1").arg(v.answers)
        : v.answers == 1         ? QStringLiteral("отговорен")
                                 : QStringLiteral("без отговор");
    if (!reasons.isEmpty())
        text += QStringLiteral(": ") + reasons.join(QStringLiteral("; "));
    return text;
}
