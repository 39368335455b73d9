#include "session/RecordParser.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

const QByteArray kOk = QByteArrayLiteral("OK");

std::string_view view(QByteArrayView bytes)
{
    return {bytes.data(), std::size_t(bytes.size())};
}

QByteArrayView bytes(std::string_view text)
{
    return {text.data(), qsizetype(text.size())};
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Text in front of the first "/", and the text after it (empty when there is none).
std::string_view beforeSlash(std::string_view body)
{
    const auto slash = body.find('/');
    return slash == std::string_view::npos ? std::string_view{} : body.substr(0, slash);
}

std::string_view afterSlash(std::string_view body)
{
    const auto slash = body.find('/');
    return slash == std::string_view::npos ? body : body.substr(slash + 1);
}

} // namespace

QByteArray GetStr(QByteArrayView s, int n)
{
    int field = 1;
    QByteArray collected;
    for (char c : s) {
        if (c == '*' || c == ';') {
            if (field == n)
                break;
            collected.clear();
            ++field;
        } else {
            collected.append(c);
        }
    }
    return collected;
}

std::optional<std::int32_t> parseWholeNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;
    std::uint64_t value = 0;
    if (hex) {
        if (text.size() - i > 8)
            return std::nullopt;
        for (; i < text.size(); ++i) {
            const int d = hexDigit(text[i]);
            if (d < 0)
                return std::nullopt;
            value = value * 16 + std::uint64_t(d);
        }
        auto pattern = std::uint32_t(value);
        if (negative)
            pattern = 0u - pattern;
        return std::int32_t(pattern);
    }
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + std::uint64_t(c - '0');
        if (value > 0x80000000ull)
            return std::nullopt;
    }
    if (!negative && value > 0x7FFFFFFFull)
        return std::nullopt;
    return negative ? std::int32_t(-std::int64_t(value)) : std::int32_t(value);
}

TRecordParser::TRecordParser(TRecordView& view)
    : view_(view)
    , samples_(kSampleCapacity)
{
}

void TRecordParser::feed(QByteArrayView chunk)
{
    const char* p = chunk.data();
    const char* const end = p + chunk.size();
    while (p < end) {
        const auto* cr = static_cast<const char*>(std::memchr(p, '\r', std::size_t(end - p)));
        if (!cr) {
            appendPending({p, std::size_t(end - p)});
            return;
        }
        const std::string_view part{p, std::size_t(cr - p)};
        if (pending_.empty() && !pendingOverlong_) {
            processLine(part);
        } else {
            // Moved out first: the line's answers may reach code that feeds us again.
            std::string line = std::move(pending_);
            pending_.clear();
            const bool overlong = pendingOverlong_;
            pendingOverlong_ = false;
            if (!overlong) {
                line.append(part);
                processLine(line);
            } else {
                TLineOutcome outcome;
                outcome.reasons = std::uint32_t(TLineReason::TooLong);
                view_.lineOutcome(outcome);
            }
        }
        p = cr + 1;
    }
}

void TRecordParser::dropPartialLine()
{
    pending_.clear();
    pendingOverlong_ = false;
}

void TRecordParser::appendPending(std::string_view part)
{
    if (pendingOverlong_)
        return;
    pending_.append(part);
    if (pending_.size() <= kMaxPendingLine)
        return;
    // Keep the last byte: it may be the "W" of a "W:" that the next chunk completes.
    const std::string_view head{pending_.data(), pending_.size() - 1};
    if (head.find("W:") != std::string_view::npos) {
        pendingOverlong_ = true;
        pending_.clear();
    } else {
        pending_.erase(0, pending_.size() - 1);
    }
}

void TRecordParser::processLine(std::string_view line)
{
    TLineOutcome outcome;
    TLineOutcome* const outer = std::exchange(outcome_, &outcome);
    const auto start = line.find("W:");
    if (start == std::string_view::npos)
        outcome.reasons |= std::uint32_t(TLineReason::NoRecord);
    else
        processRecord(line.substr(start + 2));
    outcome_ = outer;
    view_.lineOutcome(outcome);
}

void TRecordParser::bad(TLineField field)
{
    if (!outcome_)
        return;
    outcome_->reasons |= std::uint32_t(TLineReason::BadNumber);
    outcome_->badFields |= std::uint32_t(field);
}

void TRecordParser::sendOk()
{
    if (outcome_) {
        outcome_->owed = true;
        ++outcome_->answers;
    }
    view_.send(kOk);
}

void TRecordParser::noteReading(
    TReadout which, std::string_view text, std::int32_t value, std::int32_t limit, bool red)
{
    if (!outcome_ || outcome_->readingCount == int(outcome_->readings.size()))
        return;
    outcome_->readings[std::size_t(outcome_->readingCount++)] = {which, text, value, limit, red};
}

void TRecordParser::noteReset(TResetKind kind)
{
    if (!outcome_ || outcome_->resetCount == int(outcome_->resets.size()))
        return;
    outcome_->resets[std::size_t(outcome_->resetCount++)] = kind;
}

void TRecordParser::processRecord(std::string_view record)
{
    const std::string_view type = record.substr(0, std::min<std::size_t>(record.size(), 2));
    const std::string_view body = record.substr(type.size());
    outcome_->type = type;
    if (type == "TR")
        doTR(body);
    else if (type == "VA")
        doVA(body);
    else if (type == "SC")
        doSC(body);
    else if (type == "ST")
        doST(body);
    else if (type == "RS")
        doRS(body);
    else
        outcome_->reasons |= std::uint32_t(TLineReason::UnknownType);
}

std::optional<std::int32_t> TRecordParser::limit(TLimit which) const
{
    const QByteArray text = view_.limitText(which);
    return parseWholeNumber(view(text));
}

// A number field or limit that is not a whole number (a limit being edited, "" or "-") only
// leaves the colour that needs it as it was: the read-outs are shown, the event counted and
// the record answered all the same.
void TRecordParser::doTR(std::string_view body)
{
    const std::string_view temperature = beforeSlash(body);
    view_.setReadoutText(TReadout::Temperature, bytes(temperature));
    const auto t = parseWholeNumber(temperature);
    const auto l = limit(TLimit::Temperature);
    outcome_->temperature = temperature;
    outcome_->eventName = afterSlash(body);
    if (!t)
        bad(TLineField::Temperature);
    if (!l)
        bad(TLineField::TempLimit);
    // An unreadable number only leaves its colour as it was; the event still counts.
    if (t && l) {
        view_.setReadoutColor(TReadout::Temperature, *t > *l ? kStateRed : kStateGreen);
        noteReading(TReadout::Temperature, temperature, *t, *l, *t > *l);
    }

    const std::string_view name = afterSlash(body);
    for (const TEventKind& kind : kEventKinds) {
        if (name == kind.name) {
            outcome_->event = kind.event;
            countEvent(kind.event);
            return;
        }
    }
    outcome_->reasons |= std::uint32_t(TLineReason::NoEvent);
}

void TRecordParser::countEvent(TEvent which)
{
    auto& counter = counters_[std::size_t(which)];
    ++counter;
    view_.setCounter(which, counter, kStateRed);
    view_.eventCounted();
    sendOk();
}

void TRecordParser::doVA(std::string_view body)
{
    const std::string_view voltage = beforeSlash(body);
    view_.setReadoutText(TReadout::Voltage, bytes(voltage));
    const auto v = parseWholeNumber(voltage);
    const auto lv = limit(TLimit::Voltage);
    if (!v)
        bad(TLineField::Voltage);
    if (!lv)
        bad(TLineField::VoltageLimit);
    if (v && lv) {
        const std::int64_t band = *lv;
        view_.setReadoutColor(TReadout::Voltage, (-band <= *v && *v <= band) ? kStateGreen : kStateRed);
        noteReading(TReadout::Voltage, voltage, *v, *lv, !(-band <= *v && *v <= band));
    }

    const std::string_view current = afterSlash(body);
    view_.setReadoutText(TReadout::Current, bytes(current));
    const auto c = parseWholeNumber(current);
    const auto lc = limit(TLimit::Current);
    if (!c)
        bad(TLineField::Current);
    if (!lc)
        bad(TLineField::CurrentLimit);
    if (c && lc) {
        view_.setReadoutColor(TReadout::Current, *c > *lc ? kStateRed : kStateGreen);
        noteReading(TReadout::Current, current, *c, *lc, *c > *lc);
    }
    sendOk();
}

void TRecordParser::doSC(std::string_view body)
{
    // The character after the type carries nothing; a record too short for a unit letter
    // leaves that title as it is.
    std::string_view rest = body.substr(body.empty() ? 0 : 1);
    if (!rest.empty()) {
        switch (rest.front()) {
        case 'A':
            view_.setLeftAxisTitle(QStringLiteral("A"));
            break;
        case 'V':
            view_.setLeftAxisTitle(QStringLiteral("V"));
            break;
        case 'T':
            view_.setLeftAxisTitle(QStringLiteral("t \u00B0C"));
            break;
        default:
            break;
        }
        rest.remove_prefix(1);
    }
    if (!rest.empty()) {
        switch (rest.front()) {
        case 'm':
            view_.setBottomAxisTitle(QStringLiteral("mS"));
            break;
        case 's':
            view_.setBottomAxisTitle(QStringLiteral("S"));
            break;
        case 'u':
            view_.setBottomAxisTitle(QStringLiteral("\u00B5S"));
            break;
        default:
            break;
        }
        rest.remove_prefix(1);
    }
    if (const auto scale = parseWholeNumber(rest))
        timeScale_ = *scale;
    else
        bad(TLineField::TimeScale);
    sendOk();
}

void TRecordParser::doST(std::string_view body)
{
    outcome_->owed = true; // also when a sample cannot be read and no answer goes
    const std::int32_t oldCount = sampleCount_;
    bool whole = true;
    int fieldNumber = 0;
    std::string_view rest = body;
    for (;;) {
        const auto sep = rest.find_first_of("*;");
        const std::string_view field = rest.substr(0, sep);
        if (field.empty())
            break;
        const auto value = parseWholeNumber(field);
        ++fieldNumber;
        if (!value) {
            whole = false;
            bad(TLineField::Sample);
            outcome_->badSample = fieldNumber;
            break;
        }
        // Beyond the store's capacity samples are ignored until the scope data is reset.
        if (sampleCount_ < kSampleCapacity)
            samples_[std::size_t(sampleCount_++)] = *value;
        else
            outcome_->reasons |= std::uint32_t(TLineReason::StoreFull);
        const auto semicolon = rest.find(';');
        // A field without a ";" after it ends the list (it would never advance otherwise).
        if (semicolon == std::string_view::npos)
            break;
        rest.remove_prefix(semicolon + 1);
    }
    for (std::int32_t k = oldCount + 1; k <= sampleCount_; ++k)
        view_.addPoint(double(k - 1) * double(timeScale_), double(samples_[std::size_t(k - 1)]));
    if (whole)
        sendOk();
}

void TRecordParser::doRS(std::string_view body)
{
    const int answersBefore = outcome_->answers;
    if (body.find("+RRKS") != std::string_view::npos) {
        resetCounters();
        sendOk();
    }
    if (body.find("+RALL") != std::string_view::npos) {
        resetCounters();
        resetReadouts();
        resetScope();
        sendOk();
    }
    if (body.find("+RVA\xD2") != std::string_view::npos) {
        resetReadouts();
        sendOk();
    }
    if (body.find("+ROSC") != std::string_view::npos) {
        resetScope();
        sendOk();
    }
    if (outcome_->answers == answersBefore)
        outcome_->reasons |= std::uint32_t(TLineReason::NoSubCommand);
}

void TRecordParser::resetCounters()
{
    noteReset(TResetKind::Counters);
    counters_.fill(0);
    for (int i = 0; i < kEventCount; ++i)
        view_.setCounter(TEvent(i), 0, kStateGreen);
}

void TRecordParser::resetReadouts()
{
    noteReset(TResetKind::Readouts);
    for (auto which : {TReadout::Voltage, TReadout::Current, TReadout::Temperature}) {
        view_.setReadoutText(which, "0");
        view_.setReadoutColor(which, kStateGreen);
    }
}

void TRecordParser::resetScope()
{
    noteReset(TResetKind::Scope);
    timeScale_ = 1;
    sampleCount_ = 0;
    view_.clearScope();
}
