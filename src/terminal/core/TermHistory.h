#pragma once
// The terminal's scroll-back: rows that scrolled off the top of the grid, oldest first, up to a
// capacity (0 keeps none). A row is stored trimmed of its trailing empty cells, its characters
// in one string and its colours and underline as runs, so 10,000 rows of 80 columns of text
// take a couple of megabytes rather than the 16 bytes a cell the grid spends.
//
// Rows are numbered for ever: the first row ever pushed is line 0, and a row keeps its number
// as older rows are dropped (FirstLine() rises) - positions in the text (a selection, a find
// match) survive the text moving into and through the history. The grid's row 1 is line
// EndLine() while it is on the screen.

#include "terminal/core/TermBuffer.h"

#include <cstdint>
#include <string>
#include <vector>

class TTermHistory {
public:
    // The widest row kept (the grid's own limit).
    static constexpr int kMaxColumns = 256;

    explicit TTermHistory(int capacity = 0);

    int Capacity() const { return capacity_; }
    // A smaller capacity drops the oldest rows.
    void SetCapacity(int capacity);

    int Count() const { return count_; }
    std::int64_t FirstLine() const { return endLine_ - count_; }
    std::int64_t EndLine() const { return endLine_; }
    bool Contains(std::int64_t line) const { return line >= FirstLine() && line < endLine_; }

    // Keeps a copy of columns cells (the oldest row goes when full). Wrapped: the row was
    // continued on the next one by line wrapping. OneAttr: the caller knows every cell has the
    // first one's colours and underline, so they are not compared cell by cell.
    void Push(const TTermCell* cells, int columns, bool wrapped, bool oneAttr = false);
    // Forgets every row; the numbering goes on.
    void Clear();

    // Cells of a kept row, padded with empty cells to at least minColumns.
    void Row(std::int64_t line, std::vector<TTermCell>& out, int minColumns = 0) const;
    // Characters of a kept row up to its last non-empty cell (empty cells inside read '\0').
    const std::string& Text(std::int64_t line) const;
    bool Wrapped(std::int64_t line) const;

    // Bytes held by the rows (their strings and runs, and the ring's own slots).
    std::size_t MemoryUsage() const;

private:
    struct Run {
        std::uint16_t start;
        bool underline;
        bool control;
        TColor fore;
        TColor back;
    };
    struct Line {
        std::string text;
        std::vector<Run> runs;
        bool wrapped = false;
    };

    const Line& at(std::int64_t line) const;

    std::vector<Line> ring_;
    int capacity_ = 0;
    int head_ = 0; // slot of the oldest row
    int count_ = 0;
    std::int64_t endLine_ = 0;
};
