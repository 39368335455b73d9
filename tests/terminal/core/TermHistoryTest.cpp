#include "terminal/core/TermHistory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<TTermCell> rowOf(
    const std::string& text, int columns, TColor fore = 0x000000, TColor back = 0xFFFF00)
{
    std::vector<TTermCell> cells(std::size_t(columns), TTermCell{});
    for (std::size_t i = 0; i < text.size() && i < cells.size(); ++i)
        cells[i] = TTermCell{text[i], fore, back, false, false};
    return cells;
}

std::string textOf(const TTermHistory& h, std::int64_t line)
{
    return h.Text(line);
}

} // namespace

// The ring keeps the newest rows in order as it wraps round, numbering them for ever.
TEST(TermHistory, KeepsTheNewestRowsInOrderThroughWrapAround)
{
    TTermHistory h(5);
    for (int i = 0; i < 13; ++i) {
        const auto cells = rowOf("row" + std::to_string(i), 80);
        h.Push(cells.data(), 80, false);
    }
    EXPECT_EQ(h.Count(), 5);
    EXPECT_EQ(h.FirstLine(), 8);
    EXPECT_EQ(h.EndLine(), 13);
    for (std::int64_t line = 8; line < 13; ++line)
        EXPECT_EQ(textOf(h, line), "row" + std::to_string(line));
    EXPECT_FALSE(h.Contains(7));
    EXPECT_EQ(textOf(h, 7), "");

    // Shrinking keeps the newest; growing keeps them all and the order.
    h.SetCapacity(3);
    EXPECT_EQ(h.FirstLine(), 10);
    EXPECT_EQ(textOf(h, 10), "row10");
    h.SetCapacity(6);
    for (int i = 13; i < 17; ++i) {
        const auto cells = rowOf("row" + std::to_string(i), 80);
        h.Push(cells.data(), 80, false);
    }
    EXPECT_EQ(h.Count(), 6);
    for (std::int64_t line = h.FirstLine(); line < h.EndLine(); ++line)
        EXPECT_EQ(textOf(h, line), "row" + std::to_string(line));

    // Capacity 0 keeps nothing but the numbering still counts the rows that went by.
    h.SetCapacity(0);
    const auto cells = rowOf("x", 80);
    h.Push(cells.data(), 80, false);
    EXPECT_EQ(h.Count(), 0);
    EXPECT_EQ(h.EndLine(), 18);
}

// Rows are stored trimmed with their attributes as runs, and come back cell for cell.
TEST(TermHistory, RowsComeBackCellForCell)
{
    TTermHistory h(10);
    std::vector<TTermCell> cells = rowOf("ab cd", 80);
    cells[1].Underline = true;
    cells[3].ForeColor = 0x0000FF;
    cells[6] = TTermCell{'\x1b', 0x000000, 0xFFFF00, false, true}; // a control symbol after a gap
    h.Push(cells.data(), 80, true);

    std::vector<TTermCell> back;
    h.Row(h.FirstLine(), back, 80);
    ASSERT_EQ(back.size(), 80u);
    EXPECT_EQ(back, cells);
    EXPECT_TRUE(h.Wrapped(h.FirstLine()));
    h.Row(h.FirstLine(), back);
    EXPECT_EQ(back.size(), 7u); // trailing empty cells are not kept
}

// A full history reuses its oldest row's storage instead of growing (its size is measured in
// bench/terminal: 10,000 rows of 80 columns).
TEST(TermHistory, FullHistoryDoesNotGrow)
{
    TTermHistory h(1000);
    const auto cells = rowOf(std::string(80, 'W'), 80);
    for (int i = 0; i < 1000; ++i)
        h.Push(cells.data(), 80, false);
    const std::size_t full = h.MemoryUsage();
    for (int i = 0; i < 5000; ++i)
        h.Push(cells.data(), 80, false);
    EXPECT_EQ(h.Count(), 1000);
    EXPECT_EQ(h.MemoryUsage(), full);
}
