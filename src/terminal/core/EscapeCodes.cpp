#include "terminal/core/EscapeCodes.h"

#include <cstring>
#include <limits>

namespace {

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Decimal with an optional sign, nothing else, within the Integer range.
bool parseInteger(const QByteArray& text, int& value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == n)
        return false;
    // Accumulate as a negative number so that the Integer minimum fits too.
    constexpr long long kMin = std::numeric_limits<int>::min();
    long long magnitude = 0;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        magnitude = magnitude * 10 - (c - '0');
        if (magnitude < kMin)
            return false;
    }
    if (!negative && -magnitude > std::numeric_limits<int>::max())
        return false;
    value = int(negative ? magnitude : -magnitude);
    return true;
}

QByteArray escape(const char* rest)
{
    QByteArray s(1, kEsc);
    s.append(rest);
    return s;
}

QByteArray escape(const QByteArray& rest)
{
    return QByteArray(1, kEsc) + rest;
}

// J, K, g and n decide on the first byte alone and leave no parameters; c splits for itself.
bool keepsParams(char final)
{
    return final != 'J' && final != 'K' && final != 'g' && final != 'n' && final != 'c';
}

} // namespace

int TEscapeCodes::GetParam(int Num, const QByteArrayList* Params)
{
    if (Params == nullptr || Num < 1 || Params->size() < Num)
        return 1;
    int value = 1;
    return parseInteger((*Params)[Num - 1], value) ? value : 1;
}

// VT52

TFeedResult TEscapeCodesVT52::FeedChar(char Ch)
{
    if (!collecting_) {
        if (Ch == kEsc) {
            data_.resize(0);
            collecting_ = true;
            return frNothing;
        }
        character_ = Ch;
        return frChar;
    }
    data_.append(Ch);
    const TEscapeCode result = MatchSequence();
    if (result == escNotCompleted)
        return frNothing;
    code_ = result;
    collecting_ = false;
    return frCode;
}

TEscapeCode TEscapeCodesVT52::MatchSequence()
{
    switch (data_.front()) {
    case 'A':
        return escCursorUp;
    case 'B':
        return escCursorDown;
    case 'C':
        return escCursorRight;
    case 'D':
        return escCursorLeft;
    case 'H':
        return escCursorHome;
    case 'I':
        return escReverseLineFeed;
    case 'J':
        return escEraseScreenFrom;
    case 'K':
        return escEraseLineFrom;
    case 'Y':
        // Direct cursor address: row and column each as one byte offset by 31.
        if (data_.size() < 3)
            return escNotCompleted;
        params_.append(QByteArray::number(int(static_cast<unsigned char>(data_[1])) - 31));
        params_.append(QByteArray::number(int(static_cast<unsigned char>(data_[2])) - 31));
        return escCursorMove;
    case 'Z':
        return escIdentify;
    case '/':
        if (data_.size() < 2)
            return escNotCompleted;
        return data_ == "/Z" ? escIdentResponse : escUnknown;
    default:
        return escUnknown;
    }
}

QByteArray TEscapeCodesVT52::CodeToSequence(TEscapeCode Code, const QByteArrayList* Params) const
{
    switch (Code) {
    case escCursorUp:
        return escape("A");
    case escCursorDown:
        return escape("B");
    case escCursorLeft:
        return escape("D");
    case escCursorRight:
        return escape("C");
    case escCursorHome:
        return escape("H");
    case escCursorMove: {
        QByteArray s = escape("Y");
        s.append(char(GetParam(1, Params) + 31));
        s.append(char(GetParam(2, Params) + 31));
        return s;
    }
    case escReverseLineFeed:
        return escape("I");
    case escEraseLineFrom:
        return escape("K");
    case escEraseScreenFrom:
        return escape("J");
    case escIdentify:
        return escape("Z");
    case escIdentResponse:
        return escape("/Z");
    default:
        return {};
    }
}

// VT100 / ANSI

TFeedResult TEscapeCodesVT100::FeedChar(char Ch)
{
    if (!collecting_) {
        if (Ch == kEsc) {
            seqLength_ = 0;
            dataStale_ = true;
            collecting_ = true;
            return frNothing;
        }
        character_ = Ch;
        return frChar;
    }
    // The bound ends every sequence before seq_ is full.
    seq_[std::size_t(seqLength_++)] = Ch;
    dataStale_ = true;
    TEscapeCode result;
    if (collectingExt_) {
        result = MatchExtSequence();
    } else if (seqLength_ == 1 && Ch == '[') {
        collectingExt_ = true;
        result = escNotCompleted;
    } else {
        result = MatchSequence();
    }
    if (result == escNotCompleted)
        return frNothing;
    code_ = result;
    collecting_ = false;
    collectingExt_ = false;
    return frCode;
}

const QByteArray& TEscapeCodesVT100::Data() const
{
    if (dataStale_) {
        data_.resize(0);
        data_.append(seq_.data(), seqLength_);
        dataStale_ = false;
    }
    return data_;
}

TEscapeCode TEscapeCodesVT100::MatchSequence() const
{
    const char first = seq_[0];
    if (seqLength_ == 1) {
        switch (first) {
        case '#':
        case 'O':
            return escNotCompleted;
        case '7':
            return escSaveCaretAndAttr;
        case '8':
            return escRestoreCaretAndAttr;
        case 'H':
            return escSetTab;
        case 'c':
            return escReset;
        default:
            return escUnknown;
        }
    }
    const char second = seq_[1];
    if (first == '#')
        return second == '8' ? escTest : escUnknown;
    if (first == 'O') {
        switch (second) {
        case 'A':
            return escAppCursorUp;
        case 'B':
            return escAppCursorDown;
        case 'C':
            return escAppCursorRight;
        case 'D':
            return escAppCursorLeft;
        default:
            return escUnknown;
        }
    }
    return escUnknown;
}

TEscapeCode TEscapeCodesVT100::MatchExtSequence()
{
    const char final = seq_[std::size_t(seqLength_ - 1)];
    if (!isLetter(final)) {
        if (seqLength_ < kMaxControlSequence)
            return escNotCompleted;
        params_.clear();
        return escUnknown;
    }
    // Every parameter is collected from its first byte on, so the first parameter begins with
    // the first byte of the parameter text.
    const qsizetype textEnd = seqLength_ - 1;
    const char first = textEnd > 1 ? seq_[1] : '\0';
    params_.clear();
    TEscapeCode result = escUnknown;
    switch (final) {
    case 'A':
        result = escCursorUp;
        break;
    case 'B':
        result = escCursorDown;
        break;
    case 'C':
        result = escCursorRight;
        break;
    case 'D':
        result = escCursorLeft;
        break;
    case 'H':
        result = escCursorHome;
        break;
    case 'f':
        result = escCursorMove;
        break;
    // For J, K, g and n only the first character of the first parameter counts, and the list
    // is emptied once it has decided.
    case 'J':
        result = (first == '\0' || first == '0') ? escEraseScreenFrom
            : first == '2'                       ? escEraseScreen
                                                 : escUnknown;
        break;
    case 'K':
        result = (first == '\0' || first == '0') ? escEraseLineFrom
            : first == '2'                       ? escEraseLine
                                                 : escUnknown;
        break;
    case 'g':
        result = (first == '\0' || first == '0') ? escClearTab : first == '3' ? escClearAllTabs : escUnknown;
        break;
    case 'n':
        result = first == '0' ? escReportDeviceOK
            : first == '3'    ? escReportDeviceFailure
            : first == '5'    ? escQueryDevice
            : first == '6'    ? escQueryCursorPos
                              : escUnknown;
        break;
    case 'c':
        splitParams(textEnd);
        if (params_.isEmpty() || (params_.size() == 1 && params_.front() == "0"))
            result = escIdentify;
        else if (params_.size() == 2 && params_.front() == "?1")
            result = escIdentResponse;
        break;
    case 'R':
        result = escReportCursorPos;
        break;
    case 'h':
        result = escSetMode;
        break;
    case 'l':
        result = escResetMode;
        break;
    case 'm':
        result = escAttributes;
        break;
    case 's':
        result = escSaveCaret;
        break;
    case 'u':
        result = escRestoreCaret;
        break;
    default:
        break;
    }
    if (keepsParams(final))
        splitParams(textEnd);
    return result;
}

// The parameter text seq_[1, end) split at ";". A ";" that arrives while nothing is collected
// is itself collected, so ";5" is one parameter and "1;;5" gives "1" and ";5".
void TEscapeCodesVT100::splitParams(qsizetype end)
{
    qsizetype start = -1;
    for (qsizetype i = 1; i < end; ++i) {
        if (seq_[std::size_t(i)] == ';' && start >= 0) {
            addParam(start, i);
            start = -1;
        } else if (start < 0) {
            start = i;
        }
    }
    if (start >= 0)
        addParam(start, end);
}

void TEscapeCodesVT100::addParam(qsizetype start, qsizetype end)
{
    const auto slot = std::size_t(params_.size());
    if (slot == paramBuffers_.size())
        paramBuffers_.emplace_back();
    QByteArray& buffer = paramBuffers_[slot];
    // Still shared with a list the user kept: leave that one alone and start afresh.
    if (!buffer.isDetached())
        buffer = QByteArray();
    buffer.resize(end - start);
    std::memcpy(buffer.data(), seq_.data() + start, std::size_t(end - start));
    params_.append(buffer);
}

QByteArray TEscapeCodesVT100::CodeToSequence(TEscapeCode Code, const QByteArrayList* Params) const
{
    const auto number = [Params](int num) { return QByteArray::number(GetParam(num, Params)); };
    switch (Code) {
    case escCursorUp:
        return escape("[A");
    case escCursorDown:
        return escape("[B");
    case escCursorLeft:
        return escape("[D");
    case escCursorRight:
        return escape("[C");
    case escCursorHome:
        return escape("[H");
    case escCursorMove:
        return escape("[" + number(1) + ";" + number(2) + "f");
    case escAppCursorLeft:
        return escape("OD");
    case escAppCursorRight:
        return escape("OC");
    case escAppCursorUp:
        return escape("OA");
    case escAppCursorDown:
        return escape("OB");
    case escEraseLineFrom:
        return escape("[K");
    case escEraseScreenFrom:
        return escape("[J");
    case escEraseLine:
        return escape("[2K");
    case escEraseScreen:
        return escape("[2J");
    case escSetTab:
        return escape("H");
    case escClearTab:
        return escape("[g");
    case escClearAllTabs:
        return escape("[3g");
    case escIdentify:
        return escape("[c");
    case escIdentResponse:
        return escape("[?1;" + number(1) + "c");
    case escQueryDevice:
        return escape("[5n");
    case escReportDeviceOK:
        return escape("[0n");
    case escReportDeviceFailure:
        return escape("[3n");
    case escQueryCursorPos:
        return escape("[6n");
    case escReportCursorPos:
        return escape("[" + number(1) + ";" + number(2) + "R");
    case escAttributes:
        return escape("[m");
    case escSetMode:
        return escape("[h");
    case escResetMode:
        return escape("[l");
    case escReset:
        return escape("c");
    case escSaveCaretAndAttr:
        return escape("7");
    case escRestoreCaretAndAttr:
        return escape("8");
    case escSaveCaret:
        return escape("[s");
    case escRestoreCaret:
        return escape("[u");
    case escTest:
        return escape("#8");
    default:
        return {};
    }
}
