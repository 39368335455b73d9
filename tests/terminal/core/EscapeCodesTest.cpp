#include "terminal/core/EscapeCodes.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

namespace {

// One answer of the parser that the terminal acts on (frNothing leaves no event).
struct Event {
    TFeedResult result;
    char character = '\0';
    TEscapeCode code = escUnknown;
    QByteArrayList params;
    QByteArray data;

    friend bool operator==(const Event&, const Event&) = default;
};

std::ostream& operator<<(std::ostream& os, const Event& e)
{
    if (e.result == frChar)
        return os << "char " << int(static_cast<unsigned char>(e.character));
    os << "code " << int(e.code) << " data \"" << e.data.toStdString() << "\" params [";
    for (const auto& p : e.params)
        os << '"' << p.toStdString() << "\" ";
    return os << "]";
}

Event ch(char c)
{
    return Event{frChar, c, escUnknown, {}, {}};
}

Event code(TEscapeCode c, QByteArray data, QByteArrayList params = {})
{
    return Event{frCode, '\0', c, std::move(params), std::move(data)};
}

// Feeds a block the way the terminal does: parameters are cleared after each code.
void feedBlock(TEscapeCodes& parser, const QByteArray& block, std::vector<Event>& events)
{
    for (const char c : block) {
        switch (parser.FeedChar(c)) {
        case frChar:
            events.push_back(ch(parser.Character()));
            break;
        case frCode:
            events.push_back(code(parser.Code(), parser.Data(), parser.Params()));
            parser.Params().clear();
            break;
        case frNothing:
            break;
        }
    }
}

enum class Dialect { VT52, VT100 };

std::unique_ptr<TEscapeCodes> makeParser(Dialect d)
{
    if (d == Dialect::VT52)
        return std::make_unique<TEscapeCodesVT52>();
    return std::make_unique<TEscapeCodesVT100>();
}

struct Case {
    const char* name;
    QByteArray input;
    std::vector<Event> expected;
};

// Each case is fed once as one block, once a byte per block, and split into two blocks at
// every position, always with a fresh parser; all must give the same events.
void runCases(Dialect dialect, const std::vector<Case>& cases)
{
    for (const auto& c : cases) {
        {
            auto parser = makeParser(dialect);
            std::vector<Event> events;
            feedBlock(*parser, c.input, events);
            EXPECT_EQ(events, c.expected) << c.name << " (whole)";
        }
        {
            auto parser = makeParser(dialect);
            std::vector<Event> events;
            for (const char b : c.input)
                feedBlock(*parser, QByteArray(1, b), events);
            EXPECT_EQ(events, c.expected) << c.name << " (byte by byte)";
        }
        for (qsizetype split = 1; split < c.input.size(); ++split) {
            auto parser = makeParser(dialect);
            std::vector<Event> events;
            feedBlock(*parser, c.input.first(split), events);
            feedBlock(*parser, c.input.sliced(split), events);
            EXPECT_EQ(events, c.expected) << c.name << " (split at " << split << ")";
        }
    }
}

QByteArray esc(const char* rest)
{
    return QByteArray(1, kEsc) + rest;
}

TEST(EscapeCodesVT100, Sequences)
{
    const std::vector<Case> cases = {
        {"plain letter", "x", {ch('x')}},
        {"control and 8-bit bytes are characters", QByteArray("\r\n\x07\x00\xcd", 5),
            {ch('\r'), ch('\n'), ch('\a'), ch('\0'), ch('\xcd')}},
        {"lone ESC waits", esc(""), {}},
        {"text around a sequence", "a" + esc("[1mb"), {ch('a'), code(escAttributes, "[1m", {"1"}), ch('b')}},
        {"CUP", esc("[12;40H"), {code(escCursorHome, "[12;40H", {"12", "40"})}},
        {"home without parameters", esc("[H"), {code(escCursorHome, "[H")}},
        {"HVP", esc("[3;7f"), {code(escCursorMove, "[3;7f", {"3", "7"})}},
        {"cursor up", esc("[5A"), {code(escCursorUp, "[5A", {"5"})}},
        {"cursor down", esc("[B"), {code(escCursorDown, "[B")}},
        {"cursor right", esc("[200C"), {code(escCursorRight, "[200C", {"200"})}},
        {"cursor left", esc("[0D"), {code(escCursorLeft, "[0D", {"0"})}},
        {"SGR empty", esc("[m"), {code(escAttributes, "[m")}},
        {"SGR list", esc("[0;1;31m"), {code(escAttributes, "[0;1;31m", {"0", "1", "31"})}},
        {"leading ; gives an empty parameter", esc("[;5m"), {code(escAttributes, "[;5m", {"", "5"})}},
        {"double ; gives an empty parameter", esc("[1;;5m"), {code(escAttributes, "[1;;5m", {"1", "", "5"})}},
        {"trailing ; gives an empty parameter", esc("[1;m"), {code(escAttributes, "[1;m", {"1", ""})}},
        {"only ;;", esc("[;;m"), {code(escAttributes, "[;;m", {"", "", ""})}},
        {"ED 0 default", esc("[J"), {code(escEraseScreenFrom, "[J")}},
        {"ED 0", esc("[0J"), {code(escEraseScreenFrom, "[0J")}},
        {"ED 2 leaves no parameters", esc("[2J"), {code(escEraseScreen, "[2J")}},
        {"ED first character decides", esc("[20;1J"), {code(escEraseScreen, "[20;1J")}},
        {"ED 1", esc("[1J"), {code(escEraseScreenTo, "[1J")}},
        {"ED empty first parameter is 0", esc("[;2J"), {code(escEraseScreenFrom, "[;2J")}},
        {"ED 3 unknown", esc("[3J"), {code(escUnknown, "[3J")}},
        {"EL default", esc("[K"), {code(escEraseLineFrom, "[K")}},
        {"EL 0", esc("[05K"), {code(escEraseLineFrom, "[05K")}},
        {"EL 2", esc("[2K"), {code(escEraseLine, "[2K")}},
        {"EL 1", esc("[1K"), {code(escEraseLineTo, "[1K")}},
        {"DECSTBM", esc("[2;20r"), {code(escScrollRegion, "[2;20r", {"2", "20"})}},
        {"IL DL ICH DCH ECH", esc("[3L") + esc("[M") + esc("[2@") + esc("[P") + esc("[4X"),
            {code(escInsertLines, "[3L", {"3"}), code(escDeleteLines, "[M"),
                code(escInsertChars, "[2@", {"2"}), code(escDeleteChars, "[P"),
                code(escEraseChars, "[4X", {"4"})}},
        {"CHA VPA SU SD", esc("[5G") + esc("[7d") + esc("[S") + esc("[2T"),
            {code(escCursorColumn, "[5G", {"5"}), code(escCursorRow, "[7d", {"7"}), code(escScrollUp, "[S"),
                code(escScrollDown, "[2T", {"2"})}},
        {"TBC default", esc("[g"), {code(escClearTab, "[g")}},
        {"TBC 3", esc("[3g"), {code(escClearAllTabs, "[3g")}},
        {"TBC 30 counts as 3", esc("[30g"), {code(escClearAllTabs, "[30g")}},
        {"TBC 1 unknown", esc("[1g"), {code(escUnknown, "[1g")}},
        {"DSR ok", esc("[0n"), {code(escReportDeviceOK, "[0n")}},
        {"DSR failure", esc("[3n"), {code(escReportDeviceFailure, "[3n")}},
        {"DSR query", esc("[5n"), {code(escQueryDevice, "[5n")}},
        {"CPR query", esc("[6n"), {code(escQueryCursorPos, "[6n")}},
        {"CPR query by first character", esc("[65n"), {code(escQueryCursorPos, "[65n")}},
        {"DSR empty unknown", esc("[n"), {code(escUnknown, "[n")}},
        {"DSR 7 unknown", esc("[7n"), {code(escUnknown, "[7n")}},
        {"DA", esc("[c"), {code(escIdentify, "[c")}},
        {"DA 0", esc("[0c"), {code(escIdentify, "[0c", {"0"})}},
        {"DA 00 unknown", esc("[00c"), {code(escUnknown, "[00c", {"00"})}},
        {"DA answer", esc("[?1;2c"), {code(escIdentResponse, "[?1;2c", {"?1", "2"})}},
        {"DA answer needs two parameters", esc("[?1;2;3c"), {code(escUnknown, "[?1;2;3c", {"?1", "2", "3"})}},
        {"DA 1 unknown", esc("[1c"), {code(escUnknown, "[1c", {"1"})}},
        {"CPR answer", esc("[5;17R"), {code(escReportCursorPos, "[5;17R", {"5", "17"})}},
        {"SM", esc("[?1h"), {code(escSetMode, "[?1h", {"?1"})}},
        {"RM", esc("[?3l"), {code(escResetMode, "[?3l", {"?3"})}},
        {"save caret", esc("[s"), {code(escSaveCaret, "[s")}},
        {"restore caret", esc("[u"), {code(escRestoreCaret, "[u")}},
        {"unknown final letter keeps its parameters", esc("[5;6z"), {code(escUnknown, "[5;6z", {"5", "6"})}},
        {"ESC inside a control sequence starts a new one", esc("[1\x1b[2m"),
            {code(escAttributes, "[2m", {"2"})}},
        {"C0 controls inside a sequence act, it goes on", esc("[1\b2\r;\n3\vH"),
            {ch('\b'), ch('\r'), ch('\n'), ch('\v'), code(escCursorHome, "[12;3H", {"12", "3"})}},
        {"CAN aborts", esc("[12\x18") + "3H", {ch('3'), ch('H')}},
        {"SUB aborts", esc("(\x1a") + "B", {ch('B')}},
        {"unknown final swallowed whole", esc("[?1049h") + esc("[>0c") + esc("[2~") + "x",
            {code(escSetMode, "[?1049h", {"?1049"}), code(escUnknown, "[>0c", {">0"}),
                code(escUnknown, "[2~", {"2"}), ch('x')}},
        {"intermediates swallowed whole", esc("[!p") + esc("[0\"q") + "x",
            {code(escUnknown, "[!p"), code(escUnknown, "[0\"q"), ch('x')}},
        {"parameter after an intermediate swallowed", esc("[ 1q") + "x", {code(escUnknown, "[ 1q"), ch('x')}},
        {"8-bit bytes inside a sequence swallowed", esc("[1\xd2m") + "x",
            {code(escUnknown, "[1\xd2m"), ch('x')}},
        {"DEL inside a sequence ignored", esc("[1\x7f;2H"), {code(escCursorHome, "[1;2H", {"1", "2"})}},
        {"OSC to BEL", esc("]0;user@dev: ~\x07") + "$", {code(escUnknown, "]0;user@dev: ~"), ch('$')}},
        {"OSC to ST", esc("]2;title") + esc("\\") + "$", {code(escUnknown, "]2;title"), ch('$')}},
        {"DCS APC PM SOS to ST",
            esc("Pq#0;2;0\r\n") + esc("\\") + esc("_app") + esc("\\") + esc("^pm\x07") + esc("Xsos\x07")
                + "$",
            {code(escUnknown, "Pq#0;2;0\r\n"), code(escUnknown, "_app"), code(escUnknown, "^pm"),
                code(escUnknown, "Xsos"), ch('$')}},
        {"ESC other than ST ends a string unreported", esc("]0;t") + esc("[1m"),
            {code(escAttributes, "[1m", {"1"})}},
        {"CAN aborts a string", esc("]0;ti\x18") + "tle", {ch('t'), ch('l'), ch('e')}},
        {"SCS G0", esc("(B") + esc("(0"),
            {code(escDesignateG0, "(B", {"B"}), code(escDesignateG0, "(0", {"0"})}},
        {"SCS G1", esc(")0"), {code(escDesignateG1, ")0", {"0"})}},
        {"other designations swallowed", esc("*0") + esc("+B") + esc("%G") + "x",
            {code(escUnknown, "*0"), code(escUnknown, "+B"), code(escUnknown, "%G"), ch('x')}},
        {"IND NEL RI", esc("D") + esc("E") + esc("M"),
            {code(escIndex, "D"), code(escNextLine, "E"), code(escReverseLineFeed, "M")}},
        {"keypad modes swallowed", esc("=") + esc(">") + "x",
            {code(escUnknown, "="), code(escUnknown, ">"), ch('x')}},
        {"DEC double size swallowed", esc("#3") + esc("#6") + "x",
            {code(escUnknown, "#3"), code(escUnknown, "#6"), ch('x')}},
        {"DECSC", esc("7"), {code(escSaveCaretAndAttr, "7")}},
        {"DECRC", esc("8"), {code(escRestoreCaretAndAttr, "8")}},
        {"HTS", esc("H"), {code(escSetTab, "H")}},
        {"RIS", esc("c"), {code(escReset, "c")}},
        {"DECALN", esc("#8"), {code(escTest, "#8")}},
        {"# other", esc("#3"), {code(escUnknown, "#3")}},
        {"SS3 A", esc("OA"), {code(escAppCursorUp, "OA")}},
        {"SS3 B", esc("OB"), {code(escAppCursorDown, "OB")}},
        {"SS3 C", esc("OC"), {code(escAppCursorRight, "OC")}},
        {"SS3 D", esc("OD"), {code(escAppCursorLeft, "OD")}},
        {"SS3 other", esc("Oxy"), {code(escUnknown, "Ox"), ch('y')}},
        {"unknown at once", esc("xy"), {code(escUnknown, "x"), ch('y')}},
        {"ESC ESC starts again", esc("\x1b") + "ab", {code(escUnknown, "a"), ch('b')}},
        {"two sequences", esc("[1;31m") + esc("[2;3H"),
            {code(escAttributes, "[1;31m", {"1", "31"}), code(escCursorHome, "[2;3H", {"2", "3"})}},
    };
    runCases(Dialect::VT100, cases);
}

TEST(EscapeCodesVT100, EveryByteBeforeTheFinalLetterIsTakenIn)
{
    TEscapeCodesVT100 parser;
    EXPECT_EQ(parser.FeedChar('\x1b'), frNothing);
    EXPECT_TRUE(parser.Collecting());
    const QByteArray body = "[12;40";
    for (const char c : body)
        EXPECT_EQ(parser.FeedChar(c), frNothing);
    EXPECT_TRUE(parser.CollectingExt());
    EXPECT_EQ(parser.Data(), body);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(parser.FeedChar('7'), frNothing);
    EXPECT_EQ(parser.FeedChar('H'), frCode);
    EXPECT_FALSE(parser.Collecting());
    EXPECT_FALSE(parser.CollectingExt());
    EXPECT_EQ(parser.Code(), escCursorHome);
}

TEST(EscapeCodesVT100, ControlSequenceReplacesParamsShortSequenceKeepsThem)
{
    TEscapeCodesVT100 parser;
    const auto feed = [&parser](const QByteArray& bytes) {
        for (const char c : bytes)
            parser.FeedChar(c);
    };
    feed(esc("[1;2;3m"));
    feed(esc("7"));
    EXPECT_EQ(parser.Params(), (QByteArrayList{"1", "2", "3"}));
    EXPECT_EQ(parser.Data(), "7");
    // A list the user keeps, or changes in place, is not disturbed by later sequences.
    const QByteArrayList kept = parser.Params();
    parser.Params()[1] += "x";
    feed(esc("[44;55H"));
    EXPECT_EQ(parser.Params(), (QByteArrayList{"44", "55"}));
    EXPECT_EQ(kept, (QByteArrayList{"1", "2", "3"}));
    parser.Params().clear();
    feed(esc("[6;7;8;9m"));
    EXPECT_EQ(parser.Params(), (QByteArrayList{"6", "7", "8", "9"}));
    EXPECT_EQ(kept, (QByteArrayList{"1", "2", "3"}));
    EXPECT_EQ(parser.Data(), "[6;7;8;9m");
}

TEST(EscapeCodesVT100, OverlongControlSequenceIsSwallowedToItsFinalByte)
{
    constexpr int kMax = TEscapeCodesVT100::kMaxControlSequence;
    {
        // The final byte may still arrive as the last byte the bound allows.
        QByteArray seq = esc("[") + QByteArray(kMax - 2, '1') + "m";
        TEscapeCodesVT100 parser;
        std::vector<Event> events;
        feedBlock(parser, seq, events);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].code, escAttributes);
        EXPECT_EQ(events[0].data.size(), kMax);
    }
    {
        // Longer: unknown, its Data cut at the bound, and nothing of it printed.
        QByteArray body = "[" + QByteArray(kMax + 50, '1');
        TEscapeCodesVT100 parser;
        std::vector<Event> events;
        feedBlock(parser, esc("") + body + "mx", events);
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[0], code(escUnknown, body.first(kMax)));
        EXPECT_EQ(events[1], ch('x'));
    }
}

TEST(EscapeCodesVT100, NoisyParametersStayBounded)
{
    // Millions of ';' after ESC "[": memory never exceeds the bound, and nothing is printed.
    const int count = 2'000'000;
    TEscapeCodesVT100 parser;
    int codes = 0, chars = 0;
    qsizetype longest = 0;
    parser.FeedChar(kEsc);
    parser.FeedChar('[');
    for (int i = 0; i < count; ++i) {
        const TFeedResult r = parser.FeedChar(';');
        codes += r == frCode;
        chars += r == frChar;
        longest = std::max(longest, parser.Data().size());
        EXPECT_LE(parser.Params().size(), 1);
    }
    EXPECT_EQ(codes, 0);
    EXPECT_EQ(chars, 0);
    EXPECT_LE(longest, TEscapeCodesVT100::kMaxControlSequence);

    // A 20-digit parameter is kept as text and reads as 1; its neighbour is unharmed.
    std::vector<Event> events;
    feedBlock(parser, esc("[12345678901234567890;5H"), events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].params, (QByteArrayList{"12345678901234567890", "5"}));
    EXPECT_EQ(TEscapeCodes::GetParam(1, events[0].params), 1);
    EXPECT_EQ(TEscapeCodes::GetParam(2, events[0].params), 5);
}

// In the VT52 mode of a VT100 the bytes read exactly as the VT52 parser reads them, and the
// answers are VT52's, until ESC "<".
TEST(EscapeCodesVT100, VT52ModeReadsAsVT52UntilEscLessThan)
{
    const QByteArray stream = esc("A") + esc("Y%3") + esc("[2J") + esc("/Z") + "q" + esc("x");
    TEscapeCodesVT52 vt52;
    std::vector<Event> expected;
    feedBlock(vt52, stream, expected);
    for (qsizetype split = 0; split <= stream.size(); ++split) {
        TEscapeCodesVT100 parser;
        parser.SetVT52Mode(true);
        std::vector<Event> events;
        feedBlock(parser, stream.first(split), events);
        feedBlock(parser, stream.sliced(split), events);
        EXPECT_EQ(events, expected) << "split at " << split;
        const QByteArrayList two = {"2"};
        EXPECT_EQ(parser.CodeToSequence(escIdentResponse, &two), esc("/Z"));
        EXPECT_EQ(parser.CodeToSequence(escCursorUp), esc("A"));
        events.clear();
        feedBlock(parser, esc("<") + esc("[2J"), events);
        EXPECT_EQ(events, (std::vector<Event>{code(escEnterANSI, "<"), code(escEraseScreen, "[2J")}));
        EXPECT_FALSE(parser.VT52Mode());
        EXPECT_EQ(parser.CodeToSequence(escIdentResponse, &two), esc("[?1;2c"));
    }
}

TEST(EscapeCodesVT52, Sequences)
{
    const QByteArray move = esc("Y") + char(37) + char(51);
    const std::vector<Case> cases = {
        {"plain letter", "x", {ch('x')}},
        {"lone ESC waits", esc(""), {}},
        {"up", esc("A"), {code(escCursorUp, "A")}},
        {"down", esc("B"), {code(escCursorDown, "B")}},
        {"right", esc("C"), {code(escCursorRight, "C")}},
        {"left", esc("D"), {code(escCursorLeft, "D")}},
        {"home", esc("H"), {code(escCursorHome, "H")}},
        {"reverse line feed", esc("I"), {code(escReverseLineFeed, "I")}},
        {"erase screen", esc("J"), {code(escEraseScreenFrom, "J")}},
        {"erase line", esc("K"), {code(escEraseLineFrom, "K")}},
        {"identify", esc("Z"), {code(escIdentify, "Z")}},
        {"direct address", move + "q", {code(escCursorMove, move.sliced(1), {"6", "20"}), ch('q')}},
        {"direct address below 31", esc("Y") + "\x10\x1f", {code(escCursorMove, "Y\x10\x1f", {"-15", "0"})}},
        {"direct address takes any byte", esc("Y\x1b\xff"),
            {code(escCursorMove, "Y\x1b\xff", {"-4", "224"})}},
        {"identify answer", esc("/Z"), {code(escIdentResponse, "/Z")}},
        {"other answer", esc("/Ab"), {code(escUnknown, "/A"), ch('b')}},
        {"no control sequences", esc("[2J"), {code(escUnknown, "["), ch('2'), ch('J')}},
        {"unknown", esc("x"), {code(escUnknown, "x")}},
    };
    runCases(Dialect::VT52, cases);
}

TEST(EscapeCodesVT52, DirectAddressAppendsToParams)
{
    TEscapeCodesVT52 parser;
    for (const char c : esc("Y!!") + esc("Y\"#"))
        parser.FeedChar(c);
    EXPECT_EQ(parser.Params(), (QByteArrayList{"2", "2", "3", "4"}));
}

TEST(EscapeCodes, GetParam)
{
    struct Case {
        int num;
        QByteArrayList params;
        int expected;
    };
    const std::vector<Case> cases = {
        {1, {}, 1},
        {2, {"5"}, 1},
        {1, {"5"}, 5},
        {1, {"abc"}, 1},
        {1, {"0"}, 0},
        {1, {""}, 1},
        {1, {"12x"}, 1},
        {1, {"-3"}, -3},
        {1, {"+7"}, 7},
        {1, {"-"}, 1},
        {1, {";5"}, 1},
        {1, {"?1"}, 1},
        {2, {"1", "40"}, 40},
        {1, {"2147483647"}, 2147483647},
        {1, {"2147483648"}, 1},
        {1, {"-2147483648"}, -2147483647 - 1},
        {1, {"-2147483649"}, 1},
        {1, {"99999999999999999999999999"}, 1},
        {0, {"5"}, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TEscapeCodes::GetParam(c.num, c.params), c.expected)
            << c.num << " of " << c.params.join('|').toStdString();
    EXPECT_EQ(TEscapeCodes::GetParam(1, nullptr), 1);
}

struct SequenceRow {
    TEscapeCode code;
    const char* vt52;
    const char* vt100;
};

// The sequence text after ESC of every code, without parameters ("" = no form).
const std::vector<SequenceRow> kSequenceTable = {
    {escUnknown, "", ""},
    {escNotCompleted, "", ""},
    {escCursorUp, "A", "[A"},
    {escCursorDown, "B", "[B"},
    {escCursorLeft, "D", "[D"},
    {escCursorRight, "C", "[C"},
    {escCursorHome, "H", "[H"},
    {escCursorMove, "Y  ", "[1;1f"},
    {escReverseLineFeed, "I", ""},
    {escAppCursorLeft, "", "OD"},
    {escAppCursorRight, "", "OC"},
    {escAppCursorUp, "", "OA"},
    {escAppCursorDown, "", "OB"},
    {escEraseLineFrom, "K", "[K"},
    {escEraseScreenFrom, "J", "[J"},
    {escEraseLine, "", "[2K"},
    {escEraseScreen, "", "[2J"},
    {escSetTab, "", "H"},
    {escClearTab, "", "[g"},
    {escClearAllTabs, "", "[3g"},
    {escIdentify, "Z", "[c"},
    {escIdentResponse, "/Z", "[?1;1c"},
    {escQueryDevice, "", "[5n"},
    {escReportDeviceOK, "", "[0n"},
    {escReportDeviceFailure, "", "[3n"},
    {escQueryCursorPos, "", "[6n"},
    {escReportCursorPos, "", "[1;1R"},
    {escAttributes, "", "[m"},
    {escSetMode, "", "[h"},
    {escResetMode, "", "[l"},
    {escReset, "", "c"},
    {escSaveCaretAndAttr, "", "7"},
    {escRestoreCaretAndAttr, "", "8"},
    {escSaveCaret, "", "[s"},
    {escRestoreCaret, "", "[u"},
    {escTest, "", "#8"},
    {escIndex, "", "D"},
    {escNextLine, "", "E"},
    {escScrollRegion, "", "[1;1r"},
    {escEraseLineTo, "", "[1K"},
    {escEraseScreenTo, "", "[1J"},
    {escInsertLines, "", "[1L"},
    {escDeleteLines, "", "[1M"},
    {escInsertChars, "", "[1@"},
    {escDeleteChars, "", "[1P"},
    {escEraseChars, "", "[1X"},
    {escCursorColumn, "", "[1G"},
    {escCursorRow, "", "[1d"},
    {escScrollUp, "", "[1S"},
    {escScrollDown, "", "[1T"},
    {escDesignateG0, "", "(B"},
    {escDesignateG1, "", ")B"},
    {escEnterANSI, "", ""},
};

QByteArray expectedSequence(const char* rest)
{
    return *rest ? esc(rest) : QByteArray();
}

TEST(EscapeCodes, CodeToSequenceWithoutParameters)
{
    ASSERT_EQ(kSequenceTable.size(), std::size_t(escEnterANSI) + 1);
    const TEscapeCodesVT52 vt52;
    const TEscapeCodesVT100 vt100;
    const QByteArrayList empty;
    for (const auto& row : kSequenceTable) {
        EXPECT_EQ(vt52.CodeToSequence(row.code), expectedSequence(row.vt52)) << "VT52 code " << int(row.code);
        EXPECT_EQ(vt100.CodeToSequence(row.code), expectedSequence(row.vt100))
            << "VT100 code " << int(row.code);
        EXPECT_EQ(vt100.CodeToSequence(row.code, &empty), expectedSequence(row.vt100))
            << "VT100 code " << int(row.code);
    }
}

TEST(EscapeCodes, CodeToSequenceWithParameters)
{
    const TEscapeCodesVT52 vt52;
    const TEscapeCodesVT100 vt100;
    const QByteArrayList pos = {"5", "17"};
    EXPECT_EQ(vt100.CodeToSequence(escReportCursorPos, &pos), esc("[5;17R"));
    EXPECT_EQ(vt100.CodeToSequence(escCursorMove, &pos), esc("[5;17f"));
    const QByteArrayList two = {"2"};
    EXPECT_EQ(vt100.CodeToSequence(escIdentResponse, &two), esc("[?1;2c"));
    // Attributes and modes go out without their parameters.
    const QByteArrayList attrs = {"1", "31"};
    EXPECT_EQ(vt100.CodeToSequence(escAttributes, &attrs), esc("[m"));
    EXPECT_EQ(vt100.CodeToSequence(escSetMode, &attrs), esc("[h"));
    const QByteArrayList move = {"6", "20"};
    EXPECT_EQ(vt52.CodeToSequence(escCursorMove, &move), esc("Y") + char(37) + char(51));
    const QByteArrayList bad = {"x", ""};
    EXPECT_EQ(vt100.CodeToSequence(escReportCursorPos, &bad), esc("[1;1R"));
}

// What a dialect sends, its own parser reads back as the same code with the same numbers.
TEST(EscapeCodes, CodeToSequenceRoundTrips)
{
    const std::vector<QByteArrayList> paramSets = {{}, {"5", "17"}, {"24", "80"}, {"100", "224"}};
    for (const Dialect dialect : {Dialect::VT52, Dialect::VT100}) {
        for (const auto& row : kSequenceTable) {
            for (const auto& params : paramSets) {
                const auto writer = makeParser(dialect);
                const QByteArray seq = writer->CodeToSequence(row.code, &params);
                if (seq.isEmpty())
                    continue;
                const auto reader = makeParser(dialect);
                std::vector<Event> events;
                feedBlock(*reader, seq, events);
                const auto what = [&] {
                    return "dialect " + std::to_string(int(dialect)) + " code "
                        + std::to_string(int(row.code));
                };
                ASSERT_EQ(events.size(), 1u) << what();
                EXPECT_EQ(events[0].result, frCode) << what();
                EXPECT_EQ(events[0].code, row.code) << what();
                EXPECT_EQ(events[0].data, seq.sliced(1)) << what();
                if (row.code == escCursorMove || row.code == escReportCursorPos) {
                    EXPECT_EQ(TEscapeCodes::GetParam(1, events[0].params), TEscapeCodes::GetParam(1, params))
                        << what();
                    EXPECT_EQ(TEscapeCodes::GetParam(2, events[0].params), TEscapeCodes::GetParam(2, params))
                        << what();
                }
                if (row.code == escIdentResponse && dialect == Dialect::VT100) {
                    EXPECT_EQ(TEscapeCodes::GetParam(2, events[0].params), TEscapeCodes::GetParam(1, params))
                        << what();
                }
            }
        }
    }
}

} // namespace
