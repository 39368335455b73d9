#include "terminal/core/TermHistory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
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

// The rows' bytes share one block that the newest rows go round and that grows when they need
// more: against a plain list of the rows pushed, whatever their lengths and runs, through
// capacity changes and clears, every kept row comes back in order, cell for cell.
TEST(TermHistory, RowsOfAnySizeMatchAPlainListThroughTheBlocksWrapAndGrowth)
{
    for (const int capacity : {1, 7, 300}) {
        TTermHistory h(capacity);
        std::deque<std::vector<TTermCell>> rows; // trimmed, oldest first
        std::deque<bool> wrapped;
        std::int64_t end = 0;
        std::mt19937 random{std::uint32_t(capacity)};
        const auto pick
            = [&random](int from, int to) { return std::uniform_int_distribution(from, to)(random); };
        std::vector<TTermCell> back;
        for (int step = 0; step < 20000; ++step) {
            const int op = pick(0, 999);
            if (op < 3) {
                const int newCapacity = pick(0, 2 * capacity);
                h.SetCapacity(newCapacity);
                while (int(rows.size()) > newCapacity) {
                    rows.pop_front();
                    wrapped.pop_front();
                }
            } else if (op < 5) {
                h.Clear();
                rows.clear();
                wrapped.clear();
            } else {
                // Mostly short lines, now and then a wide one; a quarter of them with mixed runs.
                const int columns = pick(0, 9) == 0 ? TTermHistory::kMaxColumns : 80;
                const int length = pick(0, 5) == 0 ? pick(0, columns) : pick(0, 12);
                const bool mixed = pick(0, 3) == 0;
                std::vector<TTermCell> cells(std::size_t(columns), TTermCell{});
                const TTermCell look{'\0', TColor(pick(0, 3)), TColor(pick(0, 3)), false, false};
                for (int x = 0; x < length; ++x) {
                    TTermCell& c = cells[std::size_t(x)];
                    c = look;
                    c.Ch = char(pick(1, 255));
                    if (mixed && pick(0, 4) == 0)
                        c.Underline = true;
                }
                const bool wrap = pick(0, 1) == 1;
                h.Push(cells.data(), columns, wrap, !mixed);
                ++end;
                cells.resize(std::size_t(length));
                rows.push_back(cells);
                wrapped.push_back(wrap);
                if (int(rows.size()) > h.Capacity()) {
                    rows.pop_front();
                    wrapped.pop_front();
                }
            }
            ASSERT_EQ(h.Count(), int(rows.size())) << "step " << step;
            ASSERT_EQ(h.EndLine(), end);
            // Every row now and then; the newest and the oldest always.
            const std::int64_t first = h.FirstLine();
            for (std::int64_t line = first; line < end; ++line) {
                if (step % 97 != 0 && line != first && line != end - 1)
                    continue;
                const auto& row = rows[std::size_t(line - first)];
                h.Row(line, back);
                ASSERT_EQ(back, row) << "capacity " << capacity << " step " << step << " line " << line;
                ASSERT_EQ(h.Wrapped(line), wrapped[std::size_t(line - first)]);
                std::string text(row.size(), '\0');
                std::transform(row.begin(), row.end(), text.begin(), [](const TTermCell& c) { return c.Ch; });
                ASSERT_EQ(h.Text(line), text);
            }
        }
    }
}

// The default scroll-back of 80-column text stays well inside 4 MB.
TEST(TermHistory, TenThousandRowsOfEightyColumnsFitInFourMegabytes)
{
    TTermHistory h(10000);
    for (int i = 0; i < 12000; ++i) {
        auto cells = rowOf(std::to_string(1000000 + i) + std::string(73, '7'), 80);
        cells[20].Underline = true; // two more runs a row
        h.Push(cells.data(), 80, false);
    }
    EXPECT_EQ(h.Count(), 10000);
    EXPECT_LT(h.MemoryUsage(), 4u << 20);
    EXPECT_EQ(h.Text(h.FirstLine()).substr(0, 7), "1002000");
}
