#include "terminal/core/EscapeCodes.h"

#include <cstring>
#include <limits>

namespace {

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

// The VT52 classification of a sequence's bytes after ESC; shared by the VT52 parser and the
// VT52 mode of the VT100 one.
TEscapeCode matchVT52(const char* data, qsizetype size, QByteArrayList& params)
{
    switch (data[0]) {
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
        if (size < 3)
            return escNotCompleted;
        params.append(QByteArray::number(int(static_cast<unsigned char>(data[1])) - 31));
        params.append(QByteArray::number(int(static_cast<unsigned char>(data[2])) - 31));
        return escCursorMove;
    case 'Z':
        return escIdentify;
    case '/':
        if (size < 2)
            return escNotCompleted;
        return size == 2 && data[1] == 'Z' ? escIdentResponse : escUnknown;
    default:
        return escUnknown;
    }
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
    return matchVT52(data_.constData(), data_.size(), params_);
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

void TEscapeCodesVT100::SetVT52Mode(bool On)
{
    vt52Mode_ = On;
    state_ = State::Ground;
}

TFeedResult TEscapeCodesVT100::startSequence()
{
    seqLength_ = 0;
    dataStale_ = true;
    csiIntermediate_ = false;
    state_ = vt52Mode_ ? State::VT52 : State::Escape;
    return frNothing;
}

TFeedResult TEscapeCodesVT100::finish(TEscapeCode Code)
{
    code_ = Code;
    state_ = State::Ground;
    return frCode;
}

TFeedResult TEscapeCodesVT100::FeedChar(char Ch)
{
    const auto byte = static_cast<unsigned char>(Ch);
    switch (state_) {
    case State::Ground:
        if (byte == 0x1B)
            return startSequence();
        character_ = Ch;
        return frChar;

    case State::VT52: {
        // Exactly the VT52 parser's reading: every byte belongs to the sequence.
        store(Ch);
        if (seqLength_ == 1 && Ch == '<') {
            vt52Mode_ = false;
            return finish(escEnterANSI);
        }
        const TEscapeCode code = matchVT52(seq_.data(), seqLength_, params_);
        return code == escNotCompleted ? frNothing : finish(code);
    }

    case State::String:
        // Everything up to BEL or ST is the string's; controls in it do nothing.
        if (byte == 0x07)
            return finish(escUnknown);
        if (byte == 0x1B) {
            state_ = State::StringEsc;
            return frNothing;
        }
        if (byte == 0x18 || byte == 0x1A) {
            state_ = State::Ground;
            return frNothing;
        }
        store(Ch);
        return frNothing;

    case State::StringEsc:
        if (Ch == '\\')
            return finish(escUnknown);
        // Any other ESC sequence ends the string unreported and is read as itself.
        startSequence();
        return FeedChar(Ch);

    default:
        break;
    }

    // Inside an escape or control sequence.
    if (byte < 0x20) {
        if (byte == 0x1B)
            return startSequence();
        if (byte == 0x18 || byte == 0x1A) {
            state_ = State::Ground;
            return frNothing;
        }
        // BS, CR, LF and the other controls act where they stand; the sequence goes on.
        character_ = Ch;
        return frChar;
    }
    if (byte == 0x7F)
        return frNothing; // DEL is ignored inside a sequence

    switch (state_) {
    case State::Escape:
        store(Ch);
        if (Ch == '[') {
            state_ = State::Csi;
            return frNothing;
        }
        if (Ch == ']' || Ch == 'P' || Ch == '_' || Ch == '^' || Ch == 'X') {
            state_ = State::String;
            return frNothing;
        }
        if (Ch == 'O') {
            state_ = State::Ss3;
            return frNothing;
        }
        if (byte < 0x30) {
            state_ = State::EscIntermediate;
            return frNothing;
        }
        return finish(MatchSequence());

    case State::EscIntermediate:
        store(Ch);
        if (byte < 0x30)
            return frNothing;
        return finish(MatchSequence());

    case State::Ss3:
        store(Ch);
        return finish(MatchSequence());

    case State::Csi:
    case State::CsiIgnore:
        if (byte >= 0x40 && byte <= 0x7E) {
            store(Ch);
            if (state_ == State::CsiIgnore) {
                params_.clear();
                return finish(escUnknown);
            }
            return finish(MatchExtSequence());
        }
        // No room left for the final byte after this one: the sequence is too long.
        if (seqLength_ >= kMaxControlSequence - 1 || byte >= 0x80 || (byte >= 0x30 && csiIntermediate_))
            state_ = State::CsiIgnore; // swallowed to its final byte
        if (byte < 0x30)
            csiIntermediate_ = true;
        store(Ch);
        return frNothing;

    default:
        return frNothing;
    }
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

// An escape sequence without "[": seq_ holds its intermediates and final byte.
TEscapeCode TEscapeCodesVT100::MatchSequence()
{
    const char first = seq_[0];
    if (seqLength_ == 1) {
        switch (first) {
        case '7':
            return escSaveCaretAndAttr;
        case '8':
            return escRestoreCaretAndAttr;
        case 'H':
            return escSetTab;
        case 'c':
            return escReset;
        case 'D':
            return escIndex;
        case 'E':
            return escNextLine;
        case 'M':
            return escReverseLineFeed;
        default:
            return escUnknown;
        }
    }
    if (seqLength_ != 2)
        return escUnknown;
    const char second = seq_[1];
    switch (first) {
    case '#':
        return second == '8' ? escTest : escUnknown;
    case 'O':
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
    case '(':
    case ')':
        // SCS: the set's final byte is the parameter.
        params_ = QByteArrayList{QByteArray(1, second)};
        return first == '(' ? escDesignateG0 : escDesignateG1;
    default:
        return escUnknown;
    }
}

TEscapeCode TEscapeCodesVT100::MatchExtSequence()
{
    const char final = seq_[std::size_t(seqLength_ - 1)];
    const qsizetype textEnd = seqLength_ - 1;
    params_.clear();
    if (csiIntermediate_)
        return escUnknown; // none known here carries intermediates
    // For J, K, g and n only the first character of the first parameter counts, and the list
    // is emptied once it has decided.
    const char first = textEnd > 1 ? seq_[1] : '\0';
    const bool noFirst = first == '\0' || first == ';';
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
    case 'J':
        result = (noFirst || first == '0') ? escEraseScreenFrom
            : first == '1'                 ? escEraseScreenTo
            : first == '2'                 ? escEraseScreen
                                           : escUnknown;
        break;
    case 'K':
        result = (noFirst || first == '0') ? escEraseLineFrom
            : first == '1'                 ? escEraseLineTo
            : first == '2'                 ? escEraseLine
                                           : escUnknown;
        break;
    case 'g':
        result = (noFirst || first == '0') ? escClearTab : first == '3' ? escClearAllTabs : escUnknown;
        break;
    case 'n':
        result = first == '0' ? escReportDeviceOK
            : first == '3'    ? escReportDeviceFailure
            : first == '5'    ? escQueryDevice
            : first == '6'    ? escQueryCursorPos
                              : escUnknown;
        break;
    case 'c':
        splitParams(1, textEnd);
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
    case 'r':
        result = first == '?' ? escUnknown : escScrollRegion;
        break;
    case 'L':
        result = escInsertLines;
        break;
    case 'M':
        result = escDeleteLines;
        break;
    case '@':
        result = escInsertChars;
        break;
    case 'P':
        result = escDeleteChars;
        break;
    case 'X':
        result = escEraseChars;
        break;
    case 'G':
    case '`':
        result = escCursorColumn;
        break;
    case 'd':
        result = escCursorRow;
        break;
    case 'S':
        result = escScrollUp;
        break;
    case 'T':
        result = escScrollDown;
        break;
    default:
        break;
    }
    if (keepsParams(final))
        splitParams(1, textEnd);
    return result;
}

// The parameter text seq_[begin, end) split at every ";": "" for an empty parameter, so ";5"
// gives "" and "5"; no text at all gives no parameters.
void TEscapeCodesVT100::splitParams(qsizetype begin, qsizetype end)
{
    if (begin >= end)
        return;
    qsizetype start = begin;
    for (qsizetype i = begin; i < end; ++i) {
        if (seq_[std::size_t(i)] == ';') {
            addParam(start, i);
            start = i + 1;
        }
    }
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
    if (end > start)
        std::memcpy(buffer.data(), seq_.data() + start, std::size_t(end - start));
    params_.append(buffer);
}

QByteArray TEscapeCodesVT100::CodeToSequence(TEscapeCode Code, const QByteArrayList* Params) const
{
    if (vt52Mode_) {
        static const TEscapeCodesVT52 vt52;
        return vt52.CodeToSequence(Code, Params);
    }
    const auto number = [Params](int num) { return QByteArray::number(GetParam(num, Params)); };
    const auto set = [Params] {
        return Params && !Params->isEmpty() && !Params->front().isEmpty() ? Params->front().left(1)
                                                                          : QByteArray("B");
    };
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
    case escIndex:
        return escape("D");
    case escNextLine:
        return escape("E");
    case escScrollRegion:
        return escape("[" + number(1) + ";" + number(2) + "r");
    case escEraseLineTo:
        return escape("[1K");
    case escEraseScreenTo:
        return escape("[1J");
    case escInsertLines:
        return escape("[" + number(1) + "L");
    case escDeleteLines:
        return escape("[" + number(1) + "M");
    case escInsertChars:
        return escape("[" + number(1) + "@");
    case escDeleteChars:
        return escape("[" + number(1) + "P");
    case escEraseChars:
        return escape("[" + number(1) + "X");
    case escCursorColumn:
        return escape("[" + number(1) + "G");
    case escCursorRow:
        return escape("[" + number(1) + "d");
    case escScrollUp:
        return escape("[" + number(1) + "S");
    case escScrollDown:
        return escape("[" + number(1) + "T");
    case escDesignateG0:
        return escape("(" + set());
    case escDesignateG1:
        return escape(")" + set());
    default:
        return {};
    }
}
