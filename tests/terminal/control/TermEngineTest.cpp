// The terminal's logic: printing, caret steps, code execution, keys and answers.

#include "FakeTerminal.h"

#include <QRegularExpression>
#include <gtest/gtest.h>
#include <random>

namespace {

QByteArray esc(const char* tail)
{
    return QByteArray("\x1b") + tail;
}

// Feeds the text once whole and once byte by byte into two fresh terminals, checks that both
// end the same (screen, caret, writes) and returns the whole-fed one.
template <typename Setup>
std::unique_ptr<FakeTerminal> feedBothWays(
    const QByteArray& text, Setup setup, TTermEmulation em = teVT100orANSI)
{
    auto whole = std::make_unique<FakeTerminal>(em);
    FakeTerminal split(em);
    setup(*whole);
    setup(split);
    whole->ShowText(text);
    for (char ch : text)
        split.ShowText(QByteArray(1, ch));
    EXPECT_EQ(whole->CaretPos(), split.CaretPos()) << text.toHex().constData();
    EXPECT_EQ(whole->wire(), split.wire()) << text.toHex().constData();
    for (int y = 1; y <= whole->Rows(); ++y)
        EXPECT_EQ(whole->row(y), split.row(y)) << "row " << y;
    return whole;
}

auto noSetup = [](FakeTerminal&) {};

TEST(TermEngineReceive, AppendLFInsertsAfterEveryCarriageReturn)
{
    FakeTerminal t(teNone);
    t.SetAppendLF(true);
    QByteArrayList seen;
    t.onStrRecieved = [&](QByteArray& s) { seen.append(s); };
    t.Receive("A\rB", 3);
    t.Receive("\r\n", 2);
    t.Receive("C", 1);
    ASSERT_EQ(seen.size(), 3);
    EXPECT_EQ(seen[0], QByteArray("A\r\nB"));
    EXPECT_EQ(seen[1], QByteArray("\r\n\n"));
    EXPECT_EQ(t.row(1), "A");
    EXPECT_EQ(t.row(2), "B");
    EXPECT_EQ(t.row(3), "");
    EXPECT_EQ(t.row(4), "C");
}

TEST(TermEngineReceive, LoneLineFeedKeepsTheColumn)
{
    FakeTerminal t(teNone);
    t.Receive("AB\nC", 4);
    EXPECT_EQ(t.row(1), "AB");
    EXPECT_EQ(t.row(2), "..C");
    EXPECT_EQ(t.CaretPos(), (TTermPos{4, 2}));
}

TEST(TermEngineReceive, HandlerMayChangeOrEmptyTheBlock)
{
    FakeTerminal t(teNone);
    t.onStrRecieved = [](QByteArray& s) { s = s == "hide" ? QByteArray() : s.toUpper(); };
    t.Receive("hide", 4);
    EXPECT_TRUE(t.screenEmpty());
    EXPECT_EQ(t.CaretPos(), (TTermPos{1, 1}));
    t.Receive("ok", 2);
    EXPECT_EQ(t.row(1), "OK");
}

TEST(TermEngineReceive, Force7BitClearsTheEighthBitBeforeTheHandler)
{
    FakeTerminal t(teNone);
    t.SetForce7Bit(true);
    t.SetAppendLF(true);
    QByteArray seen;
    t.onStrRecieved = [&](QByteArray& s) { seen = s; };
    // The pass runs after the line-feed insertion: 0x8D becomes a CR that gets no LF.
    const char data[] = {'\xC1', '\x8D', 'a'};
    t.Receive(data, 3);
    EXPECT_EQ(seen, QByteArray("A\ra"));
    EXPECT_EQ(t.row(1), "a");
}

TEST(TermEngineReceive, EightBitTextIsStoredAsBytes)
{
    FakeTerminal t(teNone);
    t.ShowText("\xCF\xF3\xF1\xEA"); // "Пуск" in Windows-1251
    EXPECT_EQ(t.row(1), QByteArray("\xCF\xF3\xF1\xEA"));
}

TEST(TermEngineReceive, UsableWithoutAnExplicitLoadedStep)
{
    FakeTerminal t(teVT100orANSI, false);
    EXPECT_TRUE(t.Loading());
    t.ShowText(esc("[2;3Hx"));
    EXPECT_FALSE(t.Loading());
    EXPECT_EQ(t.cell(3, 2).Ch, 'x');
}

TEST(TermEnginePrint, WrapOffOverwritesTheLastColumn)
{
    FakeTerminal t(teNone);
    QByteArray line(79, 'a');
    line += "bcdef";
    t.ShowText(line);
    EXPECT_EQ(t.CaretPos(), (TTermPos{80, 1}));
    EXPECT_EQ(t.cell(80, 1).Ch, 'f');
    EXPECT_EQ(t.row(2), "");
}

TEST(TermEnginePrint, WrapOnContinuesOnTheNextRow)
{
    FakeTerminal t(teNone);
    t.SetWrapLines(true);
    t.ShowText(QByteArray(80, 'a') + "12345");
    EXPECT_EQ(t.row(1), QByteArray(80, 'a'));
    EXPECT_EQ(t.row(2), "12345");
    EXPECT_EQ(t.CaretPos(), (TTermPos{6, 2}));
}

// The wrap at the last column waits for the next character (DECAWM).
TEST(TermEnginePrint, BottomRightCellWithWrapScrollsOnTheNextCharacter)
{
    FakeTerminal t(teNone);
    t.SetWrapLines(true);
    t.ShowText("top");
    t.MoveCaret(80, 24);
    t.ShowText("Z");
    EXPECT_EQ(t.CaretPos(), (TTermPos{80, 24}));
    EXPECT_EQ(t.row(1), "top");
    EXPECT_EQ(t.scrolls, 0);
    t.ShowText("Y");
    EXPECT_EQ(t.CaretPos(), (TTermPos{2, 24}));
    EXPECT_EQ(t.cell(80, 23).Ch, 'Z');
    EXPECT_EQ(t.row(24), "Y");
    EXPECT_EQ(t.row(1), "");
    EXPECT_EQ(t.scrolls, 1);
}

TEST(TermEnginePrint, LineFeedOnTheLastRowScrollsAndKeepsTheCaret)
{
    FakeTerminal t(teNone);
    t.ShowText("first");
    t.MoveCaret(7, 24);
    t.ShowText("last\n");
    EXPECT_EQ(t.CaretPos(), (TTermPos{11, 24}));
    EXPECT_EQ(t.row(23), "......last");
    EXPECT_EQ(t.row(1), "");
}

TEST(TermEnginePrint, CaretSteps)
{
    struct Case {
        const char* name;
        TTermPos start;
        QByteArray input;
        TTermPos end;
    };
    const Case cases[] = {
        {"tab from 1", {1, 3}, "\t", {9, 3}},
        {"tab from 9", {9, 3}, "\t", {17, 3}},
        {"tab from 72", {72, 3}, "\t", {73, 3}},
        {"tab from 73 to the last column", {73, 3}, "\t", {80, 3}},
        {"tab from 80", {80, 3}, "\t", {80, 3}},
        {"backspace at 1", {1, 3}, "\b", {1, 3}},
        {"backspace", {5, 3}, "\b\b", {3, 3}},
        {"return", {40, 3}, "\r", {1, 3}},
        {"bell, nul and DEL", {5, 3}, QByteArray("\a\0\x1b\x1f\x7f\x18", 6), {5, 3}},
        {"VT moves as LF", {5, 3}, "\v", {5, 4}},
    };
    for (const Case& c : cases) {
        FakeTerminal t(teNone);
        t.MoveCaret(c.start);
        t.ShowText(c.input);
        EXPECT_EQ(t.CaretPos(), c.end) << c.name;
        EXPECT_EQ(t.chars, c.input) << c.name; // every byte raises OnChar
        EXPECT_TRUE(t.drawn.empty()) << c.name;
    }
}

TEST(TermEnginePrint, BackspaceErasesNothing)
{
    FakeTerminal t(teNone);
    t.ShowText("abc\bX");
    EXPECT_EQ(t.row(1), "abX");
}

TEST(TermEnginePrint, FormFeedClearsAndRestoresTabStops)
{
    FakeTerminal t(teNone);
    t.ShowText("text");
    t.ExecuteCode(escClearAllTabs, nullptr);
    t.ShowText("\t");
    EXPECT_EQ(t.CaretPos(), (TTermPos{80, 1})); // no stop: the last column
    t.ShowText("\f");
    EXPECT_TRUE(t.screenEmpty());
    EXPECT_EQ(t.CaretPos(), (TTermPos{1, 1}));
    t.ShowText("\t");
    EXPECT_EQ(t.CaretPos(), (TTermPos{9, 1}));
}

TEST(TermEnginePrint, EscapeIsPlainControlWithoutEmulation)
{
    FakeTerminal t(teNone);
    t.ShowText(esc("[2J"));
    EXPECT_EQ(t.row(1), "[2J");
    EXPECT_TRUE(t.unhandled.empty());
}

TEST(TermEnginePrint, CellsTakeTheCurrentAttributesAndDrawAtTheirWindowCell)
{
    FakeTerminal t(teNone);
    t.SetFontColor(clNavy);
    t.SetColor(clAqua);
    t.placeView({3, 2});
    t.MoveCaret(5, 4);
    t.ShowText("q");
    ASSERT_EQ(t.drawn.size(), 1u);
    EXPECT_EQ(t.drawn[0].column, 3);
    EXPECT_EQ(t.drawn[0].row, 3);
    EXPECT_EQ(t.drawn[0].cell, (TTermCell{'q', clNavy, clAqua, false}));
    t.SetFontColor(clRed); // already printed cells keep their colour
    EXPECT_EQ(t.cell(5, 4).ForeColor, clNavy);
}

TEST(TermEngineGrid, SizesAreClampedAndEachChangeClears)
{
    struct Case {
        bool columns;
        int value;
        int expected;
    };
    const Case cases[] = {{true, 1, 2}, {true, 300, 256}, {true, 132, 132}, {false, 0, 2}, {false, 150, 100}};
    for (const Case& c : cases) {
        FakeTerminal t(teNone);
        t.ShowText("keep");
        c.columns ? t.SetColumns(c.value) : t.SetRows(c.value);
        EXPECT_EQ(c.columns ? t.Columns() : t.Rows(), c.expected);
        EXPECT_EQ(c.columns ? t.Buffer().Columns() : t.Buffer().Rows(), c.expected);
        EXPECT_TRUE(t.screenEmpty());
        EXPECT_EQ(t.gridChanges, 1);
    }
}

TEST(TermEngineGrid, UnchangedSizeKeepsTheScreen)
{
    FakeTerminal t(teNone);
    t.SetColumns(256);
    t.ShowText("keep");
    t.SetColumns(256);
    t.SetColumns(999); // clamps to the same width: nothing to rebuild
    t.SetRows(24);
    EXPECT_EQ(t.row(1), "keep");
    EXPECT_EQ(t.gridChanges, 1);
}

TEST(TermEngineGrid, ShrinkingClampsTheCaret)
{
    FakeTerminal t(teNone);
    t.SetColumns(132);
    t.MoveCaret(100, 20);
    t.SetColumns(80);
    EXPECT_EQ(t.CaretPos(), (TTermPos{80, 20}));
    t.SetRows(10);
    EXPECT_EQ(t.CaretPos(), (TTermPos{80, 10}));
}

TEST(TermEngineCodes, CaretMovementIsClamped)
{
    struct Case {
        QByteArray seq;
        TTermPos start;
        TTermPos end;
    };
    const Case cases[] = {
        {esc("[5A"), {10, 3}, {10, 1}},
        {esc("[200C"), {10, 3}, {80, 3}},
        {esc("[0A"), {10, 3}, {10, 2}}, // 0 counts as 1
        {esc("[0D"), {10, 3}, {9, 3}},
        {esc("[B"), {10, 3}, {10, 4}},
        {esc("[3D"), {10, 3}, {7, 3}},
        {esc("[H"), {10, 3}, {1, 1}},
        {esc("[12;40H"), {10, 3}, {40, 12}},
        {esc("[5;7f"), {10, 3}, {7, 5}},
        {esc("[99;999H"), {10, 3}, {80, 24}},
        {esc("[0;0H"), {10, 3}, {1, 1}},
        {esc("[2147483647B"), {10, 3}, {10, 24}},
        {esc("[2147483647A"), {10, 3}, {10, 1}},
        {esc("[?;?H"), {10, 3}, {1, 1}},
        {esc("OA"), {10, 3}, {10, 2}},
        {esc("OB"), {10, 3}, {10, 4}},
        {esc("OC"), {10, 3}, {11, 3}},
        {esc("OD"), {10, 3}, {9, 3}},
    };
    for (const Case& c : cases) {
        auto t = feedBothWays(c.seq, [&](FakeTerminal& f) { f.MoveCaret(c.start); });
        EXPECT_EQ(t->CaretPos(), c.end) << c.seq.mid(1).constData();
        EXPECT_TRUE(t->screenEmpty()) << c.seq.mid(1).constData();
        EXPECT_TRUE(t->unhandled.empty()) << c.seq.mid(1).constData();
    }
}

TEST(TermEngineCodes, Vt52CaretCodes)
{
    struct Case {
        QByteArray seq;
        TTermPos start;
        TTermPos end;
    };
    const Case cases[] = {
        {esc("A"), {10, 3}, {10, 2}},
        {esc("B"), {10, 3}, {10, 4}},
        {esc("C"), {10, 3}, {11, 3}},
        {esc("D"), {10, 3}, {9, 3}},
        {esc("H"), {10, 3}, {1, 1}},
        {esc("Y%3"), {10, 3}, {20, 6}},
        // Two moves in a row: the parameters of the first must not leak into the second.
        {esc("Y%3") + esc("Y!!"), {10, 3}, {2, 2}},
    };
    for (const Case& c : cases) {
        auto t = feedBothWays(
            c.seq, [&](FakeTerminal& f) { f.MoveCaret(c.start); }, teVT52);
        EXPECT_EQ(t->CaretPos(), c.end) << c.seq.mid(1).constData();
    }
}

TEST(TermEngineCodes, ReverseLineFeedScrollsDownAtTheTop)
{
    FakeTerminal t(teVT52);
    t.ShowText("top\r");
    t.ShowText(esc("I"));
    EXPECT_EQ(t.CaretPos(), (TTermPos{1, 1}));
    EXPECT_EQ(t.row(1), "");
    EXPECT_EQ(t.row(2), "top");
    t.MoveCaret(4, 5);
    t.ShowText(esc("I"));
    EXPECT_EQ(t.CaretPos(), (TTermPos{4, 4}));
}

TEST(TermEngineCodes, Erasing)
{
    auto fill = [](FakeTerminal& t) {
        for (int y = 1; y <= 3; ++y) {
            t.MoveCaret(1, y);
            t.ShowText("abcdef");
        }
        t.MoveCaret(3, 2);
    };
    struct Case {
        QByteArray seq;
        QByteArray rows[3];
        TTermPos caret;
    };
    const Case cases[] = {
        {esc("[K"), {"abcdef", "ab", "abcdef"}, {3, 2}},
        {esc("[0K"), {"abcdef", "ab", "abcdef"}, {3, 2}},
        {esc("[1K"), {"abcdef", "...def", "abcdef"}, {3, 2}},
        {esc("[2K"), {"abcdef", "", "abcdef"}, {3, 2}},
        {esc("[J"), {"abcdef", "ab", ""}, {3, 2}},
        {esc("[1J"), {"", "...def", "abcdef"}, {3, 2}},
        {esc("[2J"), {"", "", ""}, {3, 2}},
    };
    for (const Case& c : cases) {
        auto t = feedBothWays(c.seq, fill);
        for (int y = 1; y <= 3; ++y)
            EXPECT_EQ(t->row(y), c.rows[y - 1]) << c.seq.mid(1).constData() << " row " << y;
        EXPECT_EQ(t->CaretPos(), c.caret) << c.seq.mid(1).constData();
    }
}

TEST(TermEngineCodes, TabStops)
{
    FakeTerminal t;
    t.MoveCaret(5, 1);
    t.ShowText(esc("H") + "\r\t");
    EXPECT_EQ(t.CaretPos(), (TTermPos{5, 1}));
    t.MoveCaret(9, 1);
    t.ShowText(esc("[g") + "\r\t\t");
    EXPECT_EQ(t.CaretPos(), (TTermPos{17, 1}));
    t.ShowText(esc("[3g") + "\r\t");
    EXPECT_EQ(t.CaretPos(), (TTermPos{80, 1}));
}

TEST(TermEngineCodes, Attributes)
{
    struct Case {
        QByteArray seq;
        TTermCell cell;
    };
    const Case cases[] = {
        {esc("[1;31m"), {'x', 0x5555FF, clAqua, false}}, // bold keeps the colour, brighter
        {esc("[1m"), {'x', clBlack, clAqua, false}}, {esc("[7m"), {'x', clAqua, clBlack, false}},
        {esc("[7;1m"), {'x', 0xFFFF55, clBlack, false}}, {esc("[4m"), {'x', clBlack, clAqua, true}},
        {esc("[36m"), {'x', 0xFFFF00, clAqua, false}}, {esc("[46m"), {'x', clBlack, 0xFFFF00, false}},
        {esc("[31;42m"), {'x', 0x0000FF, 0x008000, false}},
        {esc("[31;42m") + esc("[39;49m"), {'x', clBlack, clAqua, false}}, // the terminal's own colours
        {esc("[;4m"), {'x', clBlack, clAqua, true}}, // empty is 0, not bold
        {esc("[1;m"), {'x', clBlack, clAqua, false}},
        {esc("[38;5;196;32m"), {'x', 0x008000, clAqua, false}}, // extended colours skipped whole
        {esc("[48;2;1;2;3;4m"), {'x', clBlack, clAqua, true}},
        {esc("[92;104m"), {'x', 0x00FF00, 0xFF5555, false}},
        {esc("[1;32m") + esc("[22m"), {'x', 0x008000, clAqua, false}},
        {esc("[1;4;7m") + esc("[21;24;27m"), {'x', clBlack, clAqua, false}},
        {esc("[1;31m") + esc("[0m"), {'x', clBlack, clAqua, false}},
        {esc("[1;31m") + esc("[m"), {'x', clBlack, clAqua, false}},
        {esc("[1;31m") + esc("c"), {'x', clBlack, clAqua, false}},
        {esc("[33;99;?;5m"), {'x', 0x00FFFF, clAqua, false}}, // "?" is not a number: skipped
    };
    for (const Case& c : cases) {
        FakeTerminal f;
        f.SetFontColor(clBlack);
        f.SetColor(clAqua);
        f.ShowText(c.seq + "x");
        EXPECT_EQ(f.cell(1, 1), c.cell) << c.seq.toHex().constData();
    }
}

TEST(TermEngineCodes, ResetKeepsScreenCaretAndModes)
{
    FakeTerminal t;
    t.ShowText("abc" + esc("[?1h") + esc("[1m") + esc("c"));
    EXPECT_EQ(t.row(1), "abc");
    EXPECT_EQ(t.CaretPos(), (TTermPos{4, 1}));
    EXPECT_TRUE(t.CursorKeysMode());
    EXPECT_FALSE(t.TermAttr().Bold);
}

TEST(TermEngineCodes, Modes)
{
    FakeTerminal t;
    t.ShowText(esc("[?1h"));
    EXPECT_TRUE(t.CursorKeysMode());
    t.ShowText(esc("[?1l"));
    EXPECT_FALSE(t.CursorKeysMode());
    t.ShowText(esc("[7h"));
    EXPECT_TRUE(t.WrapLines());
    t.ShowText(esc("[?7l"));
    EXPECT_FALSE(t.WrapLines()); // DECAWM
    t.ShowText(esc("[?7h"));
    EXPECT_TRUE(t.WrapLines());
    t.ShowText(esc("[7l"));
    EXPECT_FALSE(t.WrapLines());
    t.ShowText(esc("[?1;7h"));
    EXPECT_TRUE(t.CursorKeysMode() && t.WrapLines()); // every listed mode
    t.ShowText(esc("[20h") + esc("[?6h") + esc("[?25l"));
    EXPECT_TRUE(t.NewLineMode() && t.OriginMode() && !t.CaretVisible());
    t.ShowText("text" + esc("[?3h"));
    EXPECT_EQ(t.Columns(), 132);
    EXPECT_TRUE(t.screenEmpty());
    t.ShowText("text" + esc("[?3l"));
    EXPECT_EQ(t.Columns(), 80);
    EXPECT_TRUE(t.screenEmpty());
    t.ShowText(esc("[h") + esc("[4h"));
    EXPECT_EQ(t.Columns(), 80);
}

TEST(TermEngineCodes, AlignmentTestFillsInTheFontColours)
{
    FakeTerminal t;
    t.SetFontColor(clNavy);
    t.SetColor(clSilver);
    t.MoveCaret(4, 4);
    t.ShowText(esc("[31;44;4m") + esc("#8"));
    for (int y : {1, 12, 24})
        EXPECT_EQ(t.row(y), QByteArray(80, 'E'));
    EXPECT_EQ(t.cell(80, 24), (TTermCell{'E', clNavy, clSilver, false}));
    EXPECT_EQ(t.CaretPos(), (TTermPos{4, 4}));
}

TEST(TermEngineCodes, SaveAndRestore)
{
    FakeTerminal t;
    t.ShowText(esc("8"));
    EXPECT_EQ(t.CaretPos(), (TTermPos{1, 1}));
    EXPECT_EQ(t.TermAttr(), TTermAttr{});
    t.ShowText(esc("[5;6H") + esc("[1m") + esc("7") + esc("[H") + esc("[0m") + esc("8"));
    EXPECT_EQ(t.CaretPos(), (TTermPos{6, 5}));
    EXPECT_TRUE(t.TermAttr().Bold);
    t.ShowText(esc("[s") + esc("[H") + esc("[0m") + esc("[u"));
    EXPECT_EQ(t.CaretPos(), (TTermPos{6, 5}));
    EXPECT_FALSE(t.TermAttr().Bold); // caret only
}

TEST(TermEngineCodes, UnhandledCodesAreReportedWithTheirText)
{
    auto t = feedBothWays(esc("[3J") + esc("x") + esc("[?1;2c") + esc("[5;17R") + esc("[0n") + "ok", noSetup);
    ASSERT_EQ(t->unhandled.size(), 5u);
    EXPECT_EQ(t->unhandled[0].code, escUnknown);
    EXPECT_EQ(t->unhandled[0].data, "[3J");
    EXPECT_EQ(t->unhandled[1].data, "x");
    EXPECT_EQ(t->unhandled[2].code, escIdentResponse);
    EXPECT_EQ(t->unhandled[3].code, escReportCursorPos);
    EXPECT_EQ(t->unhandled[4].code, escReportDeviceOK);
    EXPECT_EQ(t->row(1), "ok");
    EXPECT_TRUE(t->writes.isEmpty());
    EXPECT_TRUE(t->EscapeCodes()->Params().isEmpty());
}

// An overlong sequence is swallowed up to its final byte (here the "o"); the controls inside act.
TEST(TermEngineCodes, NoisyControlSequenceEndsAndPrintingResumes)
{
    FakeTerminal t;
    t.ShowText(esc("[") + QByteArray(5000, '1') + "\r\nok");
    ASSERT_EQ(t.unhandled.size(), 1u);
    EXPECT_EQ(t.unhandled[0].code, escUnknown);
    EXPECT_LE(t.unhandled[0].data.size(), TEscapeCodesVT100::kMaxControlSequence);
    EXPECT_EQ(t.row(1), "");
    EXPECT_EQ(t.row(2), "k");
}

TEST(TermEngineAnswers, QueriesAreAnsweredInTheDialect)
{
    struct Case {
        TTermEmulation em;
        QByteArray seq;
        QByteArray answer;
    };
    const Case cases[] = {
        {teVT100orANSI, esc("[6n"), esc("[5;17R")},
        {teVT100orANSI, esc("[c"), esc("[?1;2c")},
        {teVT100orANSI, esc("[0c"), esc("[?1;2c")},
        {teVT100orANSI, esc("[5n"), esc("[0n")},
        {teVT52, esc("Z"), esc("/Z")},
    };
    for (const Case& c : cases) {
        auto t = feedBothWays(
            c.seq, [](FakeTerminal& f) { f.MoveCaret(17, 5); }, c.em);
        EXPECT_EQ(t->wire(), c.answer) << c.seq.mid(1).constData();
        EXPECT_TRUE(t->screenEmpty());
        EXPECT_EQ(t->CaretPos(), (TTermPos{17, 5}));
    }
}

TEST(TermEngineAnswers, NothingIsSentWhileThePortIsClosed)
{
    FakeTerminal t;
    t.connected = false;
    t.ShowText(esc("[6n") + esc("[c") + esc("[5n"));
    t.SendChar('a');
    t.CursorKey(TTermKey::Up);
    EXPECT_TRUE(t.writes.isEmpty());
    EXPECT_TRUE(t.screenEmpty());
}

// Whatever arrives, the terminal answers only identify, status and position queries.
TEST(TermEngineAnswers, RandomTrafficWritesOnlyTheListedAnswers)
{
    const QRegularExpression allowed(QStringLiteral("^\x1b(\\[\\?1;2c|\\[0n|\\[\\d+;\\d+R|/Z)$"));
    std::mt19937 rng(12345);
    const char alphabet[] = "\x1b\x1b\x1b[[[;;0123456789?#/OYZnchlmHJKgABCDRsu78\r\n\t\b\f xyz\xC0\xFF";
    for (TTermEmulation em : {teVT100orANSI, teVT52, teNone}) {
        FakeTerminal t(em);
        t.SetLocalEcho(true);
        for (int block = 0; block < 400; ++block) {
            QByteArray data;
            const int size = int(rng() % 64);
            for (int i = 0; i < size; ++i)
                data.append(alphabet[rng() % (sizeof(alphabet) - 1)]);
            t.Receive(data.constData(), int(data.size()));
        }
        for (const QByteArray& w : t.writes)
            EXPECT_TRUE(allowed.match(QString::fromLatin1(w)).hasMatch()) << w.toHex().constData();
        if (em == teNone)
            EXPECT_TRUE(t.writes.isEmpty());
        else
            EXPECT_FALSE(t.writes.isEmpty());
    }
}

// Printing runs of plain text as blocks must end exactly where printing byte by byte ends.
// Drawn cells with each run of draws at one window cell reduced to its last.
std::vector<FakeTerminal::Drawn> lastOfEachRepeat(const std::vector<FakeTerminal::Drawn>& drawn)
{
    std::vector<FakeTerminal::Drawn> out;
    for (const FakeTerminal::Drawn& d : drawn) {
        if (!out.empty() && out.back().column == d.column && out.back().row == d.row)
            out.back() = d;
        else
            out.push_back(d);
    }
    return out;
}

TEST(TermEnginePrint, BlockPrintingMatchesBytePrinting)
{
    std::mt19937 rng(777);
    const char alphabet[] = "\x1b\x1b[[;0123456789?#OYmHJKABCDsu78\r\n\t\b\f abcdefghij\xC0\xFF";
    for (TTermEmulation em : {teVT100orANSI, teVT52, teNone}) {
        for (bool wrap : {false, true}) {
            FakeTerminal bytewise(em);
            FakeTerminal blocks(em);
            blocks.charEvents = false;
            for (FakeTerminal* t : {&bytewise, &blocks}) {
                t->SetWrapLines(wrap);
                t->SetColumns(20);
                t->SetRows(5);
                t->placeView({4, 2}); // cells left of and above the view draw outside the window
            }
            for (int block = 0; block < 300; ++block) {
                QByteArray data;
                const int size = int(rng() % 80);
                for (int i = 0; i < size; ++i) {
                    // Mostly long plain runs, now and then a control or a sequence.
                    const bool plain = rng() % 4 != 0;
                    data.append(plain ? char('A' + rng() % 26) : alphabet[rng() % (sizeof(alphabet) - 1)]);
                }
                bytewise.ShowText(data);
                blocks.ShowText(data);
                ASSERT_EQ(blocks.CaretPos(), bytewise.CaretPos()) << "em " << em << " block " << block;
                // Without wrapping, bytes overwriting the last column are drawn once per byte
                // one by one and once per run in blocks: only the last of them counts.
                ASSERT_TRUE(lastOfEachRepeat(blocks.drawn) == lastOfEachRepeat(bytewise.drawn))
                    << "em " << em << " block " << block;
                blocks.drawn.clear();
                bytewise.drawn.clear();
            }
            for (int y = 1; y <= 5; ++y)
                for (int x = 1; x <= 20; ++x)
                    ASSERT_EQ(blocks.cell(x, y), bytewise.cell(x, y)) << x << "," << y;
            EXPECT_EQ(blocks.wire(), bytewise.wire());
            EXPECT_LT(blocks.chars.size(), bytewise.chars.size()); // the block path was taken
        }
    }
}

TEST(TermEngineKeys, EnterWithSendLFAndEcho)
{
    FakeTerminal t(teNone);
    t.SetLocalEcho(true);
    t.SetSendLF(true);
    t.SendChar('a');
    t.SendChar('\r');
    EXPECT_EQ(t.writes, (QByteArrayList{"a", "\r", "\n"}));
    EXPECT_EQ(t.row(1), "a");
    EXPECT_EQ(t.CaretPos(), (TTermPos{1, 2}));
}

TEST(TermEngineKeys, NoEchoWithoutLocalEchoAndNulIsSent)
{
    FakeTerminal t(teNone);
    t.SendChar('\r');
    t.SendChar('\0');
    EXPECT_EQ(t.writes, (QByteArrayList{"\r", QByteArray(1, '\0')}));
    EXPECT_EQ(t.CaretPos(), (TTermPos{1, 1}));
}

TEST(TermEngineKeys, CursorKeys)
{
    struct Case {
        TTermEmulation em;
        TArrowKeys arrows;
        bool appMode;
        bool echo;
        TTermKey key;
        QByteArray sent;
        TTermPos caret; // from (10, 10)
    };
    const Case cases[] = {
        {teVT100orANSI, akTerminal, false, false, TTermKey::Up, esc("[A"), {10, 10}},
        {teVT100orANSI, akTerminal, false, false, TTermKey::Home, esc("[H"), {10, 10}},
        {teVT100orANSI, akTerminal, false, true, TTermKey::Home, esc("[H"), {1, 1}},
        {teVT100orANSI, akTerminal, false, true, TTermKey::Left, esc("[D"), {9, 10}},
        {teVT52, akTerminal, false, false, TTermKey::Right, esc("C"), {10, 10}},
        {teVT100orANSI, akWindows, false, false, TTermKey::Down, "", {10, 11}},
        {teVT100orANSI, akWindows, false, false, TTermKey::Home, "", {1, 1}},
        {teNone, akWindows, false, false, TTermKey::Left, "", {9, 10}},
        {teNone, akTerminal, false, true, TTermKey::Left, esc("[D"), {9, 10}}, // ANSI without emulation
        {teVT100orANSI, akTerminal, true, false, TTermKey::Up, esc("OA"), {10, 10}},
        {teVT100orANSI, akWindows, true, false, TTermKey::Down, esc("OB"), {10, 10}},
        {teVT100orANSI, akWindows, true, true, TTermKey::Down, esc("OB"), {10, 11}},
        {teVT100orANSI, akTerminal, true, true, TTermKey::Right, esc("OC"), {11, 10}},
        {teVT100orANSI, akTerminal, true, true, TTermKey::Left, esc("OD"), {9, 10}},
        {teVT100orANSI, akTerminal, true, true, TTermKey::Home, esc("OH"), {1, 1}},
        {teVT52, akTerminal, true, true, TTermKey::Up, esc("A"), {10, 9}},
    };
    for (const Case& c : cases) {
        FakeTerminal t(c.em);
        t.SetArrowKeys(c.arrows);
        t.SetLocalEcho(c.echo);
        if (c.appMode)
            t.SetMode({"?1"}, true);
        t.MoveCaret(10, 10);
        t.CursorKey(c.key);
        EXPECT_EQ(t.wire(), c.sent) << int(c.key) << " em " << c.em << " arrows " << c.arrows;
        EXPECT_EQ(t.CaretPos(), c.caret) << int(c.key) << " em " << c.em << " arrows " << c.arrows;
    }
}

TEST(TermEngineParser, EmulationNoneAsksTheApplication)
{
    FakeTerminal t(teNone, false);
    int asked = 0;
    t.onGetEscapeCodes = [&](std::unique_ptr<TEscapeCodes>& codes) {
        ++asked;
        codes = std::make_unique<TEscapeCodesVT100>();
    };
    t.Loaded();
    EXPECT_EQ(asked, 1);
    t.ShowText(esc("[3;4Hx"));
    EXPECT_EQ(t.cell(4, 3).Ch, 'x');
}

TEST(TermEngineParser, ChangingEmulationDropsAHalfSequence)
{
    FakeTerminal t;
    t.ShowText(esc("[12"));
    t.SetEmulation(teVT52);
    t.ShowText("H");
    EXPECT_EQ(t.row(1), "H");
    t.SetEmulation(teNone);
    EXPECT_EQ(t.EscapeCodes(), nullptr);
    t.SetEmulation(teVT100orANSI);
    EXPECT_NE(dynamic_cast<TEscapeCodesVT100*>(t.EscapeCodes()), nullptr);
}

TEST(TermEngineParser, HandlerReplacingTheParserMidBlockIsSafe)
{
    FakeTerminal t;
    t.onChar = [&](char ch) {
        if (ch == '!')
            t.SetEmulation(t.Emulation() == teNone ? teVT100orANSI : teNone);
    };
    t.ShowText("a!" + esc("[2J") + "!" + esc("[2;2Hb"));
    EXPECT_EQ(t.row(1), "a![2J!");
    EXPECT_EQ(t.cell(2, 2).Ch, 'b');
}

} // namespace
