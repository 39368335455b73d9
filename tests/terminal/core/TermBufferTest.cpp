#include "terminal/core/TermBuffer.h"
#include "terminal/core/TermHistory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

// Records the picture requests instead of drawing.
class FakeOwner : public TTermBufferOwner {
public:
    int columns = 80;
    int rows = 24;
    int fontWidth = 8;
    int fontHeight = 16;
    int clientWidth = 1000;
    int clientHeight = 300;
    bool doubleBuffered = false;

    int invalidateAll = 0;
    std::vector<QRect> invalidated;
    std::vector<std::pair<QRect, int>> scrolled;

    int TermColumns() const override { return columns; }
    int TermRows() const override { return rows; }
    int TermFontWidth() const override { return fontWidth; }
    int TermFontHeight() const override { return fontHeight; }
    int TermClientWidth() const override { return clientWidth; }
    int TermClientHeight() const override { return clientHeight; }
    bool TermDoubleBuffered() const override { return doubleBuffered; }
    void InvalidateAll() override { ++invalidateAll; }
    void InvalidateCells(const QRect& cells) override { invalidated.push_back(cells); }
    void ScrollPixels(const QRect& pixelRect, int dy) override { scrolled.emplace_back(pixelRect, dy); }

    void forget()
    {
        invalidateAll = 0;
        invalidated.clear();
        scrolled.clear();
    }
};

TTermCell cellOf(char ch)
{
    return TTermCell{ch, TColor(0x0000FF), TColor(0xFFFF00), true};
}

// Every cell gets a character naming its row, so moved rows can be recognised.
void fillRows(TComTermBuffer& buffer)
{
    for (int y = 1; y <= buffer.Rows(); ++y)
        for (int x = 1; x <= buffer.Columns(); ++x)
            buffer.SetCell(x, y, cellOf(char('A' + y - 1)));
}

int emptyCells(const TComTermBuffer& buffer)
{
    int count = 0;
    for (int y = 1; y <= buffer.Rows(); ++y)
        for (int x = 1; x <= buffer.Columns(); ++x)
            count += buffer.GetCell(x, y) == TTermCell{} ? 1 : 0;
    return count;
}

class TermBufferTest : public ::testing::Test {
protected:
    FakeOwner owner;
    TComTermBuffer buffer{owner};

    void SetUp() override { buffer.Init(); }
};

TEST_F(TermBufferTest, InitGivesEmptyGridAndEveryEighthColumnAsTabStop)
{
    EXPECT_EQ(emptyCells(buffer), 80 * 24);
    std::vector<int> stops;
    for (int x = 1; x <= 80; ++x)
        if (buffer.GetTab(x))
            stops.push_back(x);
    EXPECT_EQ(stops, (std::vector<int>{1, 9, 17, 25, 33, 41, 49, 57, 65, 73}));
}

TEST_F(TermBufferTest, NextTabSearchesAtOrAfterTheColumn)
{
    const std::vector<std::pair<int, int>> cases
        = {{1, 1}, {2, 9}, {9, 9}, {10, 17}, {72, 73}, {73, 73}, {74, 0}, {80, 0}, {81, 0}};
    for (const auto& [from, expected] : cases)
        EXPECT_EQ(buffer.NextTab(from), expected) << "from column " << from;
}

TEST_F(TermBufferTest, ClearTabsRemovesDefaultsUntilSetOrInit)
{
    buffer.ClearTabs();
    EXPECT_EQ(buffer.NextTab(1), 0);
    buffer.SetTab(5, true);
    EXPECT_EQ(buffer.NextTab(1), 5);
    EXPECT_EQ(buffer.NextTab(6), 0);
    buffer.SetTab(80, true);
    EXPECT_EQ(buffer.NextTab(80), 80);
    buffer.SetTab(5, false);
    EXPECT_EQ(buffer.NextTab(1), 80);
    buffer.Init();
    EXPECT_EQ(buffer.NextTab(2), 9);
    EXPECT_FALSE(buffer.GetTab(80));
}

TEST_F(TermBufferTest, InitFollowsTheOwnersSizeAndDiscardsText)
{
    buffer.SetCell(3, 3, cellOf('x'));
    owner.columns = 10;
    owner.rows = 3;
    buffer.Init();
    EXPECT_EQ(buffer.Columns(), 10);
    EXPECT_EQ(buffer.Rows(), 3);
    EXPECT_EQ(emptyCells(buffer), 30);
    EXPECT_TRUE(buffer.GetTab(1));
    EXPECT_TRUE(buffer.GetTab(9));
    EXPECT_EQ(buffer.NextTab(10), 0);
    owner.columns = 2;
    buffer.Init();
    EXPECT_EQ(buffer.NextTab(1), 1);
    EXPECT_EQ(buffer.NextTab(2), 0);
}

TEST_F(TermBufferTest, CellsAreStoredRowByRow)
{
    owner.columns = 7;
    owner.rows = 3;
    buffer.Init();
    for (int y = 1; y <= 3; ++y)
        for (int x = 1; x <= 7; ++x)
            buffer.SetCell(x, y, TTermCell{char(x * 10 + y), TColor(x), TColor(y), (x + y) % 2 == 0});
    for (int y = 1; y <= 3; ++y)
        for (int x = 1; x <= 7; ++x)
            EXPECT_EQ(
                buffer.GetCell(x, y), (TTermCell{char(x * 10 + y), TColor(x), TColor(y), (x + y) % 2 == 0}));
    EXPECT_TRUE(owner.invalidated.empty());
    EXPECT_EQ(owner.invalidateAll, 0);
}

TEST_F(TermBufferTest, ScrollUpMovesRowsUpAndEmptiesTheLastRow)
{
    fillRows(buffer);
    owner.forget();
    buffer.ScrollUp();
    for (int y = 1; y < 24; ++y)
        EXPECT_EQ(buffer.GetCell(80, y).Ch, char('A' + y)) << "row " << y;
    for (int x = 1; x <= 80; ++x)
        EXPECT_EQ(buffer.GetCell(x, 24), TTermCell{});
    EXPECT_EQ(emptyCells(buffer), 80);
    // The client is wider than the grid and lower than it: the shift covers their overlap.
    ASSERT_EQ(owner.scrolled.size(), 1u);
    EXPECT_EQ(owner.scrolled[0].first, QRect(0, 0, 640, 300));
    EXPECT_EQ(owner.scrolled[0].second, -16);
    EXPECT_TRUE(owner.invalidated.empty());
}

TEST_F(TermBufferTest, ScrollDownEmptiesRowOneAndDropsTheLastRow)
{
    fillRows(buffer);
    owner.clientWidth = 300;
    owner.clientHeight = 1000;
    owner.forget();
    buffer.ScrollDown();
    for (int x = 1; x <= 80; ++x)
        EXPECT_EQ(buffer.GetCell(x, 1), TTermCell{});
    for (int y = 2; y <= 24; ++y)
        EXPECT_EQ(buffer.GetCell(1, y).Ch, char('A' + y - 2)) << "row " << y;
    EXPECT_EQ(emptyCells(buffer), 80);
    ASSERT_EQ(owner.scrolled.size(), 1u);
    EXPECT_EQ(owner.scrolled[0].first, QRect(0, 0, 300, 24 * 16));
    EXPECT_EQ(owner.scrolled[0].second, 16);
}

TEST_F(TermBufferTest, EraseLineFromClearsTheRestOfOneRow)
{
    fillRows(buffer);
    owner.forget();
    buffer.EraseLineFrom(5, 3);
    EXPECT_EQ(emptyCells(buffer), 76);
    EXPECT_EQ(buffer.GetCell(4, 3).Ch, 'C');
    EXPECT_EQ(buffer.GetCell(5, 3), TTermCell{});
    EXPECT_EQ(buffer.GetCell(5, 4).Ch, 'D');
    ASSERT_EQ(owner.invalidated.size(), 1u);
    EXPECT_EQ(owner.invalidated[0], QRect(QPoint(5, 3), QPoint(80, 3)));
    EXPECT_TRUE(owner.scrolled.empty());
}

TEST_F(TermBufferTest, EraseScreenFromClearsToTheEndInReadingOrder)
{
    struct Case {
        int x, y, cleared;
        std::vector<QRect> rects;
    };
    const std::vector<Case> cases = {
        {1, 1, 80 * 24, {QRect(QPoint(1, 1), QPoint(80, 1)), QRect(QPoint(1, 2), QPoint(80, 24))}},
        {80, 24, 1, {QRect(QPoint(80, 24), QPoint(80, 24))}},
        {5, 3, 21 * 80 + 76, {QRect(QPoint(5, 3), QPoint(80, 3)), QRect(QPoint(1, 4), QPoint(80, 24))}},
        {1, 24, 80, {QRect(QPoint(1, 24), QPoint(80, 24))}},
        {80, 23, 81, {QRect(QPoint(80, 23), QPoint(80, 23)), QRect(QPoint(1, 24), QPoint(80, 24))}},
    };
    for (const auto& c : cases) {
        fillRows(buffer);
        owner.forget();
        buffer.EraseScreenFrom(c.x, c.y);
        EXPECT_EQ(emptyCells(buffer), c.cleared) << c.x << "," << c.y;
        // Everything before (X, Y) in reading order keeps its text.
        const TTermCell before = c.x > 1 ? buffer.GetCell(c.x - 1, c.y) : buffer.GetCell(80, c.y - 1);
        if (c.x > 1 || c.y > 1) {
            EXPECT_NE(before, TTermCell{});
        }
        EXPECT_EQ(owner.invalidated, c.rects) << c.x << "," << c.y;
    }
}

TEST_F(TermBufferTest, DoubleBufferedOwnerIsInvalidatedWhole)
{
    owner.doubleBuffered = true;
    buffer.ScrollUp();
    buffer.ScrollDown();
    buffer.EraseLineFrom(1, 1);
    buffer.EraseScreenFrom(1, 1);
    EXPECT_EQ(owner.invalidateAll, 4);
    EXPECT_TRUE(owner.invalidated.empty());
    EXPECT_TRUE(owner.scrolled.empty());
}

// Callers are meant to stay inside the grid; a stray call must still not touch memory
// outside it.
TEST(TermBufferSafety, OutOfGridAndBeforeInitCallsAreHarmless)
{
    FakeOwner owner;
    TComTermBuffer buffer(owner);
    EXPECT_FALSE(buffer.Initialized());
    buffer.SetCell(1, 1, cellOf('x'));
    buffer.ScrollUp();
    buffer.EraseScreenFrom(1, 1);
    EXPECT_EQ(buffer.GetCell(1, 1), TTermCell{});
    EXPECT_EQ(buffer.NextTab(1), 0);
    EXPECT_TRUE(owner.scrolled.empty());
    EXPECT_TRUE(owner.invalidated.empty());

    buffer.Init();
    // The owner's size changes before the buffer is rebuilt: the old geometry still holds.
    owner.columns = 256;
    owner.rows = 100;
    buffer.SetCell(81, 1, cellOf('x'));
    buffer.SetCell(0, 0, cellOf('x'));
    buffer.SetCell(1, 25, cellOf('x'));
    buffer.EraseLineFrom(81, 1);
    buffer.SetTab(81, true);
    EXPECT_EQ(buffer.GetCell(81, 1), TTermCell{});
    EXPECT_EQ(emptyCells(buffer), 80 * 24);
    EXPECT_FALSE(buffer.GetTab(81));
    EXPECT_EQ(buffer.NextTab(74), 0);
}

// The rows are kept as a ring, so row 1 moves round the block as the screen scrolls. These
// cases put row 1 at every position of the block before erasing, scrolling back and rebuilding.
TEST_F(TermBufferTest, ScrollsPastTheWholeGridKeepRowsInOrder)
{
    owner.columns = 5;
    owner.rows = 4;
    buffer.Init();
    // Feed rows 'A'.. at the bottom line as a terminal does, more than twice round the block.
    for (int n = 0; n < 11; ++n) {
        buffer.ScrollUp();
        for (int x = 1; x <= 5; ++x)
            buffer.SetCell(x, 4, cellOf(char('A' + n)));
        for (int y = 1; y <= 4; ++y) {
            const int line = n - (4 - y); // which fed row shows on row y
            const TTermCell expected = line >= 0 ? cellOf(char('A' + line)) : TTermCell{};
            for (int x = 1; x <= 5; ++x)
                ASSERT_EQ(buffer.GetCell(x, y), expected)
                    << "after " << n + 1 << " scrolls, " << x << "," << y;
        }
    }
    // Back down three times: the newest row drops off the bottom each time, row 1 comes empty.
    for (int n = 0; n < 3; ++n)
        buffer.ScrollDown();
    EXPECT_EQ(buffer.GetCell(5, 4).Ch, 'H');
    EXPECT_EQ(emptyCells(buffer), 15);
}

TEST_F(TermBufferTest, EraseAfterWrapAroundClearsTheGridCellsNotTheBlockCells)
{
    for (int scrolls = 0; scrolls <= 2 * 24; ++scrolls) {
        buffer.Init();
        for (int n = 0; n < scrolls; ++n)
            buffer.ScrollUp();
        fillRows(buffer);

        buffer.EraseLineFrom(70, 24);
        EXPECT_EQ(buffer.GetCell(69, 24).Ch, 'X') << scrolls;
        EXPECT_EQ(buffer.GetCell(70, 24), TTermCell{}) << scrolls;
        EXPECT_EQ(buffer.GetCell(70, 1).Ch, 'A') << scrolls;
        EXPECT_EQ(emptyCells(buffer), 11) << scrolls;

        buffer.EraseScreenFrom(3, 20);
        EXPECT_EQ(buffer.GetCell(2, 20).Ch, 'T') << scrolls;
        EXPECT_EQ(buffer.GetCell(80, 19).Ch, 'S') << scrolls;
        EXPECT_EQ(buffer.GetCell(1, 1).Ch, 'A') << scrolls;
        EXPECT_EQ(emptyCells(buffer), 4 * 80 + 78) << scrolls;

        buffer.EraseScreenFrom(1, 1);
        EXPECT_EQ(emptyCells(buffer), 80 * 24) << scrolls;
    }
}

TEST_F(TermBufferTest, InitAfterScrollsStartsAFreshGridInReadingOrder)
{
    for (int n = 0; n < 30; ++n)
        buffer.ScrollDown();
    fillRows(buffer);
    buffer.Init();
    EXPECT_EQ(emptyCells(buffer), 80 * 24);
    fillRows(buffer);
    buffer.ScrollUp();
    EXPECT_EQ(buffer.GetCell(1, 1).Ch, 'B');
    EXPECT_EQ(buffer.GetCell(1, 23).Ch, 'X');
    EXPECT_EQ(buffer.GetCell(1, 24), TTermCell{});
    // A smaller grid after scrolls: no row of the old ring position may leak into it.
    for (int n = 0; n < 7; ++n)
        buffer.ScrollUp();
    owner.columns = 3;
    owner.rows = 2;
    buffer.Init();
    buffer.SetCell(3, 2, cellOf('z'));
    buffer.ScrollUp();
    EXPECT_EQ(buffer.GetCell(3, 1).Ch, 'z');
    EXPECT_EQ(emptyCells(buffer), 5);
}

// The grid as one flat block with every row moved on a scroll: the plain reading of what each
// operation does, to compare the buffer against.
class FlatGrid {
public:
    int columns = 0;
    int rows = 0;
    std::vector<TTermCell> cells;

    void init(int c, int r)
    {
        columns = c;
        rows = r;
        cells.assign(std::size_t(c * r), TTermCell{});
    }
    TTermCell& at(int x, int y) { return cells[std::size_t((y - 1) * columns + x - 1)]; }
    void scrollUp()
    {
        cells.erase(cells.begin(), cells.begin() + columns);
        cells.resize(std::size_t(columns * rows), TTermCell{});
    }
    void scrollDown()
    {
        cells.resize(std::size_t(columns * (rows - 1)));
        cells.insert(cells.begin(), std::size_t(columns), TTermCell{});
    }
    void eraseFrom(int x, int y, int count)
    {
        std::fill_n(cells.begin() + (y - 1) * columns + x - 1, count, TTermCell{});
    }
};

TEST(TermBufferRing, RandomOperationsMatchTheFlatGrid)
{
    struct Size {
        int columns, rows;
    };
    for (const Size size : {Size{2, 2}, Size{7, 3}, Size{80, 24}, Size{256, 100}}) {
        FakeOwner owner;
        owner.columns = size.columns;
        owner.rows = size.rows;
        TComTermBuffer buffer(owner);
        buffer.Init();
        FlatGrid flat;
        flat.init(size.columns, size.rows);
        std::mt19937 random(size.columns * 1000 + size.rows);
        const auto pick
            = [&random](int from, int to) { return std::uniform_int_distribution(from, to)(random); };
        int scrolls = 0;
        for (int step = 0; step < 3000; ++step) {
            const int x = pick(1, size.columns);
            const int y = pick(1, size.rows);
            const int op = pick(0, 99);
            owner.forget();
            if (op < 45) {
                const TTermCell cell{char(pick(1, 255)), TColor(step), TColor(op), op % 2 == 0};
                buffer.SetCell(x, y, cell);
                flat.at(x, y) = cell;
            } else if (op < 75) {
                buffer.ScrollUp();
                flat.scrollUp();
                ++scrolls;
            } else if (op < 85) {
                buffer.ScrollDown();
                flat.scrollDown();
                ++scrolls;
            } else if (op < 92) {
                buffer.EraseLineFrom(x, y);
                flat.eraseFrom(x, y, size.columns - x + 1);
                ASSERT_EQ(owner.invalidated.size(), 1u);
                EXPECT_EQ(owner.invalidated[0], QRect(QPoint(x, y), QPoint(size.columns, y)));
            } else if (op < 99) {
                buffer.EraseScreenFrom(x, y);
                flat.eraseFrom(x, y, (size.rows - y) * size.columns + size.columns - x + 1);
                ASSERT_EQ(owner.invalidated.size(), y < size.rows ? 2u : 1u);
            } else {
                buffer.Init();
                flat.init(size.columns, size.rows);
            }
            if (op >= 45 && op < 85) {
                ASSERT_EQ(owner.scrolled.size(), 1u);
                EXPECT_EQ(owner.scrolled[0].second, op < 75 ? -owner.fontHeight : owner.fontHeight);
            }
            for (int row = 1; row <= size.rows; ++row)
                for (int column = 1; column <= size.columns; ++column)
                    ASSERT_EQ(buffer.GetCell(column, row), flat.at(column, row))
                        << size.columns << "x" << size.rows << " step " << step << " op " << op << " cell "
                        << column << "," << row;
        }
        EXPECT_GT(scrolls, 4 * size.rows) << "the ring must have gone round several times";
    }
}

} // namespace

// Rows scrolled off the top go to the history with their wrap mark; a resize that keeps the
// text moves the rows above the cut into the history too, and cuts or pads the others.
TEST(TermBufferHistory, ScrollAndResizeKeepTheText)
{
    FakeOwner owner;
    owner.columns = 10;
    owner.rows = 3;
    TTermHistory history(100);
    TComTermBuffer buffer(owner);
    buffer.SetHistory(&history);
    buffer.Init();
    const auto put = [&](int y, const char* text) {
        buffer.SetCells(1, y, text, int(std::strlen(text)), TTermCell{'?', 1, 2, false, false});
    };
    put(1, "first");
    buffer.SetWrapped(1, true);
    put(2, "second");
    put(3, "third");
    buffer.ScrollUp();
    ASSERT_EQ(history.Count(), 1);
    EXPECT_EQ(history.Text(0), "first");
    EXPECT_TRUE(history.Wrapped(0));
    EXPECT_FALSE(buffer.Wrapped(3)); // the row reused at the bottom is a new one

    put(3, "fourth");
    owner.columns = 4;
    owner.rows = 2;
    buffer.Resize(1); // "second" goes up, "third" and "fourth" stay, cut to 4 columns
    EXPECT_EQ(history.Text(1), "second");
    EXPECT_EQ(buffer.GetCell(1, 1).Ch, 't');
    EXPECT_EQ(buffer.GetCell(4, 1).Ch, 'r');
    EXPECT_EQ(buffer.GetCell(4, 2).Ch, 'r');
    EXPECT_EQ(buffer.GetCell(5, 2).Ch, '\0');
    owner.columns = 12;
    owner.rows = 4;
    buffer.Resize(0);
    EXPECT_EQ(buffer.GetCell(1, 2).Ch, 'f');
    EXPECT_EQ(buffer.GetCell(5, 2).Ch, '\0');
    EXPECT_EQ(buffer.RowCells(4)[0], TTermCell{});
    EXPECT_EQ(buffer.NextTab(2), 9); // the default stops reach the new columns
}

// A row whose cells all share the first cell's attributes skips the per-cell comparison on its
// way to the history; whatever was written, erased or scrolled before, every row must come
// back cell for cell.
TEST(TermBufferHistory, RandomWritesComeBackFromTheHistoryCellForCell)
{
    FakeOwner owner;
    owner.columns = 12;
    owner.rows = 4;
    TTermHistory history(10000);
    TComTermBuffer buffer(owner);
    buffer.SetHistory(&history);
    buffer.Init();
    std::mt19937 random(7);
    const auto pick = [&random](int from, int to) { return std::uniform_int_distribution(from, to)(random); };
    // Few attributes, so that rows of one attribute are common and mixed ones are near misses.
    const TTermCell looks[] = {TTermCell{'a', 1, 2, false, false}, TTermCell{'b', 1, 2, true, false},
        TTermCell{'c', 1, 3, false, false}, TTermCell{'d', 1, 2, false, true}};
    // Longer than the widest grid the test resizes to, so a write never reads past its end.
    const char text[] = "0123456789ABCDEF";
    int pushed = 0;
    for (int step = 0; step < 20000; ++step) {
        const int x = pick(1, owner.columns);
        const int y = pick(1, owner.rows);
        const TTermCell look = looks[pick(0, 3)];
        const int op = pick(0, 99);
        if (op < 30) {
            buffer.SetCell(x, y, look);
        } else if (op < 60) {
            // Mostly from column 1, as printed lines are.
            const int from = op < 50 ? 1 : x;
            buffer.SetCells(from, y, text, pick(1, owner.columns), look);
        } else if (op < 68) {
            buffer.EraseLineFrom(x, y);
        } else if (op < 70) {
            buffer.ScrollDown();
        } else if (op < 71) {
            owner.columns = pick(4, 14);
            buffer.Resize(0);
        } else {
            std::vector<TTermCell> expected(buffer.RowCells(1), buffer.RowCells(1) + buffer.Columns());
            while (!expected.empty() && expected.back() == TTermCell{})
                expected.pop_back();
            buffer.ScrollUp();
            ++pushed;
            std::vector<TTermCell> back;
            history.Row(history.EndLine() - 1, back);
            ASSERT_EQ(back, expected) << "step " << step;
        }
    }
    EXPECT_GT(pushed, 5000);
}
