// Byte streams and the screen they must give, cell by cell with attributes; each stream is fed
// whole and split in two at every position.

#include "FakeTerminal.h"

#include <gtest/gtest.h>

namespace {

QByteArray esc(const char* tail)
{
    return QByteArray("\x1b") + tail;
}

// A 10 x 4 VT100 screen, white on black, wrapping. Text: '.' is an empty cell. Attributes, one
// letter a cell ("" for a row: every cell plain):
//   -  plain          r  red            R  bright red (bold red)   g  green
//   c  cyan           u  underlined     i  inverted                B  blue background
//   L  DEC line drawing, plain colours
struct Screen {
    const char* name;
    QByteArray input;
    std::array<const char*, 4> text;
    std::array<const char*, 4> attrs;
    TTermPos caret;
};

TTermCell expectedCell(char ch, char attr)
{
    if (ch == '.')
        return TTermCell{};
    TTermCell cell{ch, clWhite, clBlack, false, false};
    switch (attr) {
    case 'r':
        cell.ForeColor = 0x0000FF;
        break;
    case 'R':
        cell.ForeColor = 0x5555FF;
        break;
    case 'g':
        cell.ForeColor = 0x008000;
        break;
    case 'c':
        cell.ForeColor = 0xFFFF00;
        break;
    case 'u':
        cell.Underline = true;
        break;
    case 'i':
        std::swap(cell.ForeColor, cell.BackColor);
        break;
    case 'B':
        cell.BackColor = 0xFF0000;
        break;
    case 'L':
        cell.Control = true;
        break;
    default:
        break;
    }
    return cell;
}

void checkScreen(const FakeTerminal& t, const Screen& s, const std::string& how)
{
    for (int y = 1; y <= 4; ++y) {
        const QByteArray text = s.text[std::size_t(y - 1)];
        const QByteArray attrs = s.attrs[std::size_t(y - 1)];
        for (int x = 1; x <= 10; ++x) {
            const char ch = x <= text.size() ? text[x - 1] : '.';
            const char attr = x <= attrs.size() ? attrs[x - 1] : '-';
            EXPECT_EQ(t.cell(x, y), expectedCell(ch, attr)) << s.name << " (" << how << ") cell " << x << ","
                                                            << y << " holds '" << t.cell(x, y).Ch << "'";
        }
    }
    EXPECT_EQ(t.CaretPos(), s.caret) << s.name << " (" << how << ")";
    EXPECT_TRUE(t.writes.isEmpty()) << s.name;
}

const QByteArray kFour = "1\r\n2\r\n3\r\n4";

const Screen kScreens[] = {
    // Nothing of a sequence is ever printed.
    {"charset designation", "a" + esc("(B") + "b" + esc(")0") + "c", {"abc"}, {}, {4, 1}},
    {"title to BEL", esc("]0;user@dev: ~\a") + "$ ", {"$ "}, {}, {3, 1}},
    {"title to ST", esc("]2;t") + esc("\\") + "$", {"$"}, {}, {2, 1}},
    {"DCS and APC", esc("Pq#0;1\r\n") + esc("\\") + esc("_x\a") + "ok", {"ok"}, {}, {3, 1}},
    {"unknown sequences swallowed whole",
        esc("[?1049h") + esc("[>c") + esc("[2~") + esc("#3") + esc("=") + esc("[!p") + esc("[-5B") + esc("%G")
            + "ok",
        {"ok"}, {}, {3, 1}},
    {"controls inside a sequence act", "abc" + esc("[2\b;1H") + "x", {"abc", "x"}, {}, {2, 2}},
    {"CAN and SUB abort", esc("[3\x18") + "z" + esc("(\x1a") + "0", {"z0"}, {}, {3, 1}},
    {"DEL is never drawn",
        "a\x7f"
        "b",
        {"ab"}, {}, {3, 1}},
    // Line drawing in G0 and through G1 with SO/SI.
    {"line drawing",
        esc("(0") + "lqk" + esc("(B") + "x\r\n" + esc(")0")
            + "a\x0e"
              "x\x0f"
              "b",
        {"lqkx", "axb"}, {"LLL-", "-L-"}, {4, 2}},
    // Rendition.
    {"SGR colours, bold, default colour, empty parameter",
        esc("[31m") + "a" + esc("[1m") + "b" + esc("[39m") + "c" + esc("[;4m") + "d" + esc("[0m") + "e",
        {"abcde"}, {"rR-u-"}, {6, 1}},
    {"SGR background and 49", esc("[44m") + "a" + esc("[49m") + "b" + esc("[7m") + "c", {"abc"}, {"B-i"},
        {4, 1}},
    {"SGR extended colours skipped", esc("[38;5;196;32m") + "a" + esc("[0;38;2;1;2;3;36m") + "b", {"ab"},
        {"gc"}, {3, 1}},
    // Deferred wrap.
    {"line as wide as the grid", "0123456789\r\nx", {"0123456789", "x"}, {}, {2, 2}},
    {"wrap on the next character", "0123456789A", {"0123456789", "A"}, {}, {2, 2}},
    {"no wrap with DECAWM reset", esc("[?7l") + "0123456789AB", {"012345678B"}, {}, {10, 1}},
    {"wrap at the region's bottom scrolls the region",
        esc("[4;1H") + "four" + esc("[1;3r") + esc("[3;1H") + "0123456789X", {"", "0123456789", "X", "four"},
        {}, {2, 3}},
    // Scroll regions, IND, RI, NEL, origin mode.
    {"LF at the region's bottom", kFour + esc("[2;3r") + esc("[3;1H") + "\n", {"1", "3", "", "4"}, {},
        {1, 3}},
    {"RI at the region's top", kFour + esc("[2;3r") + esc("[2;1H") + esc("M"), {"1", "", "2", "4"}, {},
        {1, 2}},
    {"IND and NEL", "ab" + esc("D") + "c" + esc("E") + "d", {"ab", "..c", "d"}, {}, {2, 3}},
    {"origin mode", esc("[2;3r") + esc("[?6h") + esc("[1;1H") + "x" + esc("[9;2H") + "y", {"", "x", ".y"}, {},
        {3, 3}},
    {"full-screen region scrolls", kFour + "\r\n5", {"2", "3", "4", "5"}, {}, {2, 4}},
    // Erasing, inserting, deleting.
    {"EL 1 and ED 1", kFour + esc("[2;1H") + "abc" + esc("[1;2H") + esc("[1K") + esc("[3;1H") + esc("[1J"),
        {"", "", "", "4"}, {}, {1, 3}},
    {"EL 0 and ED 0 keep the caret", "abcdef\r\nghij" + esc("[1;3H") + esc("[K") + esc("[2;2H") + esc("[J"),
        {"ab", "g"}, {}, {2, 2}},
    {"ED 2 and EL 2 keep the caret", "abc\r\ndef" + esc("[2J") + "x" + esc("[2K") + "y", {"", "....y"}, {},
        {6, 2}},
    {"IL", kFour + esc("[2;1H") + esc("[L"), {"1", "", "2", "3"}, {}, {1, 2}},
    {"DL inside a region", kFour + esc("[1;3r") + esc("[1;1H") + esc("[2M"), {"3", "", "", "4"}, {}, {1, 1}},
    {"ICH and DCH", "abcdef" + esc("[1;3H") + esc("[2@") + "\r\n" + "abcdef" + esc("[2;2H") + esc("[2P"),
        {"ab..cdef", "adef"}, {}, {2, 2}},
    {"ECH, CHA, VPA", "abcdef" + esc("[1;2H") + esc("[3X") + esc("[3d") + esc("[5G") + "x",
        {"a...ef", "", "....x"}, {}, {6, 3}},
    {"SU and SD", kFour + esc("[S") + esc("[2T"), {"", "", "2", "3"}, {}, {2, 4}},
    // Save and restore, with the character sets.
    {"DECSC and DECRC", esc("(0") + esc("7") + esc("[m") + esc("(B") + esc("[3;3H") + esc("8") + "q", {"q"},
        {"L"}, {2, 1}},
    // Newline mode.
    {"LNM", esc("[20h") + "ab\ncd", {"ab", "cd"}, {}, {3, 2}},
    // VT52 from VT100 and back.
    {"VT52 mode", esc("[?2l") + esc("Y#$") + "x" + esc("A") + esc("[") + esc("<") + esc("[1;1H") + "y",
        {"y", "", "", "....x"}, {}, {2, 1}},
};

TEST(TermScreen, StreamsGiveTheirScreens)
{
    const auto fresh = [] {
        auto t = std::make_unique<FakeTerminal>(teVT100orANSI);
        t->SetColumns(10);
        t->SetRows(4);
        t->SetWrapLines(true);
        t->charEvents = false; // plain runs take the block path
        return t;
    };
    for (const Screen& s : kScreens) {
        {
            auto t = fresh();
            t->ShowText(s.input);
            checkScreen(*t, s, "whole");
        }
        for (qsizetype split = 1; split < s.input.size(); ++split) {
            auto t = fresh();
            t->ShowText(s.input.first(split));
            t->ShowText(s.input.sliced(split));
            checkScreen(*t, s, "split at " + std::to_string(split));
        }
    }
}

// Narrowing and widening join the rows wrapping continued and wrap them again.
TEST(TermScreen, ResizingReflowsWrappedRows)
{
    struct Case {
        const char* name;
        QByteArray input;
        int columns;
        int rows;
        std::vector<QByteArray> text;
        TTermPos caret;
        int toHistory;
    };
    const Case cases[] = {
        {"narrower", "0123456789\r\nab", 4, 4, {"0123", "4567", "89", "ab"}, {3, 4}, 0},
        {"narrower, top rows to the history", "0123456789\r\nab", 4, 2, {"89", "ab"}, {3, 2}, 2},
        {"wider joins", "0123456789abc\r\nx", 16, 4, {"0123456789abc", "x"}, {2, 2}, 0},
        {"caret in the wrapped row", "0123456789ab" + esc("[2;1H"), 4, 4, {"0123", "4567", "89ab"}, {3, 3},
            0},
        {"rows below the caret that do not fit are dropped", "abcdefgh" + esc("[1;1H"), 3, 2, {"abc", "def"},
            {1, 1}, 0},
    };
    for (const Case& c : cases) {
        FakeTerminal t;
        t.SetColumns(10);
        t.SetRows(4);
        t.SetWrapLines(true);
        t.ShowText(c.input);
        t.FitGrid(c.columns, c.rows);
        for (int y = 1; y <= c.rows; ++y)
            EXPECT_EQ(t.row(y), y <= int(c.text.size()) ? c.text[std::size_t(y - 1)] : QByteArray())
                << c.name << " row " << y;
        EXPECT_EQ(t.CaretPos(), c.caret) << c.name;
        EXPECT_EQ(t.History().Count(), c.toHistory) << c.name;
    }
    // And back: the text is whole again.
    FakeTerminal t;
    t.SetColumns(10);
    t.SetRows(4);
    t.SetWrapLines(true);
    t.ShowText("0123456789A");
    t.FitGrid(3, 4);
    t.FitGrid(10, 4);
    EXPECT_EQ(t.row(1), "0123456789");
    EXPECT_EQ(t.row(2), "A");
    EXPECT_EQ(t.CaretPos(), (TTermPos{2, 2}));
}

TEST(TermScreen, KeysSendTheirSequencesInEveryEmulation)
{
    enum Mode { VT100, VT100App, VT52, VT100asVT52, None };
    struct Row {
        TTermKey key;
        const char* forms[5]; // after ESC, in the order of Mode
    };
    const Row rows[] = {
        {TTermKey::Up, {"[A", "OA", "A", "A", "[A"}},
        {TTermKey::Down, {"[B", "OB", "B", "B", "[B"}},
        {TTermKey::Right, {"[C", "OC", "C", "C", "[C"}},
        {TTermKey::Left, {"[D", "OD", "D", "D", "[D"}},
        {TTermKey::Home, {"[H", "OH", "H", "H", "[H"}},
        {TTermKey::End, {"[F", "OF", "[F", "[F", "[F"}},
        {TTermKey::PageUp, {"[5~", "[5~", "[5~", "[5~", "[5~"}},
        {TTermKey::PageDown, {"[6~", "[6~", "[6~", "[6~", "[6~"}},
        {TTermKey::Insert, {"[2~", "[2~", "[2~", "[2~", "[2~"}},
        {TTermKey::Delete, {"[3~", "[3~", "[3~", "[3~", "[3~"}},
        {TTermKey::BackTab, {"[Z", "[Z", "[Z", "[Z", "[Z"}},
        {TTermKey::F1, {"OP", "OP", "P", "P", "OP"}},
        {TTermKey::F4, {"OS", "OS", "S", "S", "OS"}},
        {TTermKey::F5, {"[15~", "[15~", "[15~", "[15~", "[15~"}},
        {TTermKey::F6, {"[17~", "[17~", "[17~", "[17~", "[17~"}},
        {TTermKey::F10, {"[21~", "[21~", "[21~", "[21~", "[21~"}},
        {TTermKey::F11, {"[23~", "[23~", "[23~", "[23~", "[23~"}},
        {TTermKey::F12, {"[24~", "[24~", "[24~", "[24~", "[24~"}},
    };
    for (const Row& r : rows) {
        for (const Mode mode : {VT100, VT100App, VT52, VT100asVT52, None}) {
            FakeTerminal t(mode == VT52 ? teVT52 : mode == None ? teNone : teVT100orANSI);
            if (mode == VT100App)
                t.ShowText(esc("[?1h"));
            if (mode == VT100asVT52)
                t.ShowText(esc("[?2l"));
            t.CursorKey(r.key);
            EXPECT_EQ(t.wire(), esc(r.forms[mode])) << "key " << int(r.key) << " mode " << mode;
        }
    }
}

} // namespace
