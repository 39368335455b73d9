// The terminal's logic above the screen: scroll-back, the view over it, selection and copy,
// find, paste as typing, a grid that follows the window, visible control bytes.

#include "FakeTerminal.h"

#include <gtest/gtest.h>

namespace {

// A small terminal without escape codes, wrapping, fed as the console feeds its terminal.
struct Small : FakeTerminal {
    explicit Small(int columns = 10, int rows = 3)
        : FakeTerminal(teNone)
    {
        SetColumns(columns);
        SetRows(rows);
        SetWrapLines(true);
        charEvents = false;
    }
    void lines(int from, int to)
    {
        for (int i = from; i <= to; ++i)
            ShowText("L" + QByteArray::number(i) + "\r\n");
    }
    // Text of a line of history or screen, trailing blanks trimmed.
    QString line(std::int64_t n) const
    {
        return term_text::Text(*this, TTermTextPos{n, 1}, TTermTextPos{n, Columns()});
    }
    using TTermEngine::SetFollowing;
    using TTermEngine::SetTopLeft;
};

} // namespace

TEST(TermScrollback, RowsScrolledOffAreKeptInOrderUpToTheBound)
{
    Small t;
    t.SetScrollbackLines(50);
    t.lines(1, 120);
    // The screen holds L119, L120 and the empty caret row; the 50 rows above it are history.
    EXPECT_EQ(t.History().Count(), 50);
    EXPECT_EQ(t.row(1), "L119");
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(t.line(t.FirstLine() + i), QStringLiteral("L%1").arg(69 + i));
    // The setting is clamped; 0 keeps nothing.
    t.SetScrollbackLines(1 << 30);
    EXPECT_EQ(t.ScrollbackLines(), TTermEngine::kMaxScrollback);
    t.SetScrollbackLines(0);
    t.lines(121, 130);
    EXPECT_EQ(t.History().Count(), 0);
    EXPECT_EQ(t.ScrollbackLines(), 0);
    EXPECT_EQ(Small().ScrollbackLines(), 10000); // the default
}

TEST(TermScrollback, ViewInTheHistoryStaysOnItsTextWhileTextArrives)
{
    Small t;
    t.SetScrollbackLines(20);
    t.lines(1, 10);
    // Look at L3 at the top of the window: not following the screen any more.
    const std::int64_t l3 = t.FirstLine() + 2;
    t.SetFollowing(false);
    t.SetTopLeft(TTermPos{1, int(l3 - t.ScreenLine()) + 1});
    ASSERT_EQ(t.WindowToText(1, 1).Line, l3);
    t.lines(11, 15);
    EXPECT_EQ(t.WindowToText(1, 1).Line, l3);
    EXPECT_EQ(t.line(t.WindowToText(1, 1).Line), QStringLiteral("L3"));
    // Once the full history drops that row, the view stays on the oldest row there is.
    t.lines(16, 40);
    EXPECT_EQ(t.WindowToText(1, 1).Line, t.FirstLine());
    // Following, the window keeps showing the screen.
    t.SetFollowing(true);
    t.SetTopLeft(TTermPos{1, 1});
    t.lines(41, 45);
    EXPECT_EQ(t.WindowToText(1, 1).Line, t.ScreenLine());
    // Escape codes and the caret work on the screen alone.
    EXPECT_EQ(t.CaretPos(), (TTermPos{1, 3}));
}

// Copy joins rows with line breaks, trims trailing blanks, and joins a wrapped row to the next
// without a break; the selection may start in the history and end on the screen.
TEST(TermSelection, CopySpansHistoryAndScreenWithWrappedRows)
{
    Small t;
    t.ShowText("one  \r\n0123456789ABC\r\nthree\r\nfour");
    // History: "one", "0123456789" (wrapped), screen: "ABC", "three", "four".
    ASSERT_EQ(t.History().Count(), 2);
    t.SelectBegin(TTermTextPos{t.FirstLine(), 2}, TSelectUnit::Character);
    t.SelectExtend(TTermTextPos{t.ScreenLine() + 1, 3});
    EXPECT_EQ(t.SelectedText(), QStringLiteral("ne\n0123456789ABC\nthr"));
    // Cyrillic comes back as Unicode.
    t.ShowText("\r\n\xD2\xE5\xF0\xEC\xE8\xED\xE0\xEB");
    t.SelectBegin(TTermTextPos{t.ScreenLine() + 2, 1}, TSelectUnit::Line);
    EXPECT_EQ(t.SelectedText(), QStringLiteral("Терминал"));
}

TEST(TermSelection, WordAndRowSelection)
{
    Small t(40, 3);
    t.ShowText("W:VA-15/3 (W:TR80/RK1) OK");
    const std::int64_t l = t.ScreenLine();
    const struct {
        int column;
        TSelectUnit unit;
        const char* text;
    } cases[] = {
        {5, TSelectUnit::Word, "W:VA-15/3"},
        {14, TSelectUnit::Word, "W:TR80/RK1"},
        {11, TSelectUnit::Word, "("}, // a stop selects itself
        {11, TSelectUnit::Line, "W:VA-15/3 (W:TR80/RK1) OK"},
    };
    for (const auto& c : cases) {
        t.SelectBegin(TTermTextPos{l, c.column}, c.unit);
        EXPECT_EQ(t.SelectedText(), QString::fromLatin1(c.text)) << c.column;
    }
    // Dragging a word selection to the left keeps the first word whole.
    t.SelectBegin(TTermTextPos{l, 14}, TSelectUnit::Word);
    t.SelectExtend(TTermTextPos{l, 3});
    EXPECT_EQ(t.SelectedText(), QStringLiteral("W:VA-15/3 (W:TR80/RK1"));
}

// A selection stays on its text as it scrolls into the history, and goes when its rows are
// written over or cleared.
TEST(TermSelection, FollowsItsTextIntoHistoryAndGoesWhenOverwritten)
{
    Small t;
    t.ShowText("keep me\r\n");
    t.SelectBegin(TTermTextPos{t.ScreenLine(), 1}, TSelectUnit::Line);
    t.lines(1, 5);
    ASSERT_TRUE(t.Selection().Active());
    EXPECT_TRUE(t.History().Contains(t.Selection().Start().Line));
    EXPECT_EQ(t.SelectedText(), QStringLiteral("keep me"));

    t.SelectBegin(TTermTextPos{t.ScreenLine() + 2, 1}, TSelectUnit::Line); // the caret's row
    t.ShowText("x");
    EXPECT_FALSE(t.Selection().Active());
    t.SelectBegin(TTermTextPos{t.ScreenLine(), 1}, TSelectUnit::Line);
    t.ShowText("\f");
    EXPECT_FALSE(t.Selection().Active());
    // Rows dropped from a full history take a selection on them along.
    t.SetScrollbackLines(2);
    t.lines(6, 8);
    t.SelectBegin(TTermTextPos{t.FirstLine(), 1}, TSelectUnit::Line);
    t.lines(9, 9);
    EXPECT_FALSE(t.Selection().Active());
}

TEST(TermFind, ForwardAndBackWrappingRound)
{
    Small t(20, 3);
    t.ShowText("ok a\r\nW:va-1\r\nnothing\r\nok W:VA-2\r\nend");
    // Lines: "ok a", "W:va-1" (history), "nothing", "ok W:VA-2", "end".
    const std::int64_t first = t.FirstLine();
    const QString needle = QStringLiteral("w:VA");
    auto m = term_text::Find(t, needle, TTermTextPos{t.EndLine() - 1, 99}, true);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Start, (TTermTextPos{first + 3, 4})); // the newest first, any case
    m = term_text::Find(t, needle, m->Start, true);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Start, (TTermTextPos{first + 1, 1}));
    m = term_text::Find(t, needle, m->Start, true); // round the top
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Start, (TTermTextPos{first + 3, 4}));
    m = term_text::Find(t, needle, m->Start, false); // and round the bottom
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Start, (TTermTextPos{first + 1, 1}));
    EXPECT_EQ(m->Length, 4);
    EXPECT_FALSE(term_text::Find(t, QStringLiteral("absent"), m->Start, false));
    EXPECT_EQ(term_text::FindInLine(t, first, QStringLiteral("o")).size(), 1u);
    // Cyrillic matches without regard to case.
    t.ShowText("\r\n\xD2\xC5\xD0\xCC");
    EXPECT_TRUE(term_text::Find(t, QStringLiteral("терм"), TTermTextPos{first, 0}, false));
}

// Paste goes out as typing: one write per line with Enter's line end, in Windows-1251.
TEST(TermPaste, LinesGoOutAsTypedWithEntersLineEnds)
{
    Small t;
    t.SetSendLF(true);
    t.SetLocalEcho(true);
    EXPECT_EQ(t.PasteText(QStringLiteral("W:VA\r\nТест\nlast")), TTermEngine::TPaste::Sent);
    EXPECT_EQ(t.writes, (QByteArrayList{"W:VA\r\n", "\xD2\xE5\xF1\xF2\r\n", "last"}));
    EXPECT_EQ(t.row(1), "W:VA");
    EXPECT_EQ(t.row(2), "\xD2\xE5\xF1\xF2");
    EXPECT_EQ(t.row(3), "last");

    Small quiet;
    quiet.PasteText(QStringLiteral("a\rb\r\n"));
    EXPECT_EQ(quiet.writes, (QByteArrayList{"a\r", "b\r"}));
    EXPECT_TRUE(quiet.screenEmpty()); // no local echo

    QChar bad;
    EXPECT_EQ(quiet.PasteText(QStringLiteral("ok \u4E2D"), &bad), TTermEngine::TPaste::Unencodable);
    EXPECT_EQ(bad, QChar(0x4E2D));
    quiet.connected = false;
    EXPECT_EQ(quiet.PasteText(QStringLiteral("ok")), TTermEngine::TPaste::NotConnected);
    EXPECT_EQ(quiet.writes.size(), 2);
}

// Fitting the grid keeps the text that fits and the caret inside; rows above the caret that
// no longer fit go to the history.
TEST(TermFit, ResizesKeepTextAndCaret)
{
    Small t(10, 5);
    t.ShowText("a\r\nb\r\nc\r\nd\r\ne12");
    ASSERT_EQ(t.CaretPos(), (TTermPos{4, 5}));
    t.FitGrid(6, 3);
    EXPECT_EQ(t.Columns(), 6);
    EXPECT_EQ(t.Rows(), 3);
    EXPECT_EQ(t.History().Count(), 2);
    EXPECT_EQ(t.row(1), "c");
    EXPECT_EQ(t.row(3), "e12");
    EXPECT_EQ(t.CaretPos(), (TTermPos{4, 3}));
    t.FitGrid(2, 200); // within the limits; the row is wrapped again, not cut
    EXPECT_EQ(t.Columns(), 2);
    EXPECT_EQ(t.Rows(), 100);
    EXPECT_EQ(t.row(3), "e1");
    EXPECT_EQ(t.row(4), "2");
    EXPECT_EQ(t.CaretPos(), (TTermPos{2, 4}));
    t.FitGrid(6, 100);
    EXPECT_EQ(t.row(3), "e12");
    EXPECT_EQ(t.CaretPos(), (TTermPos{4, 3}));
    // A size set as designed still clears the screen.
    t.SetColumns(80);
    EXPECT_TRUE(t.screenEmpty());
}

// With ShowControls the bytes that show nothing take a cell as a symbol; CR, LF, TAB, BS and
// FF keep their effects, and the received text itself is unchanged.
TEST(TermControls, ShownAsSymbolsTakingOneCell)
{
    Small t(20, 3);
    QByteArray seen;
    t.onStrRecieved = [&](QByteArray& s) { seen = s; };
    t.SetShowControls(true);
    t.Receive("a\x1b\x00\x7f"
              "b\tc",
        8);
    EXPECT_EQ(seen,
        QByteArray("a\x1b\x00\x7f"
                   "b\tc",
            8));
    EXPECT_EQ(t.cell(2, 1).Ch, '\x1b');
    EXPECT_TRUE(t.cell(2, 1).Control);
    EXPECT_TRUE(t.cell(3, 1).Control); // NUL
    EXPECT_TRUE(t.cell(4, 1).Control); // DEL
    EXPECT_EQ(t.cell(5, 1).Ch, 'b');
    EXPECT_EQ(t.cell(9, 1).Ch, 'c'); // the tab still jumps
    EXPECT_EQ(term_text::cellChar(t.cell(2, 1)), QChar(0x241B));
    t.SetShowControls(false);
    t.ShowText("\r\nx\x01y");
    EXPECT_EQ(t.row(2), "xy");
}
