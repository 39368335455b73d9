#pragma once
// The terminal's scroll-back: rows that scrolled off the top of the grid, oldest first, up to a
// capacity (0 keeps none). A row is stored trimmed of its trailing empty cells, its characters
// as bytes and its colours and underline as runs, so 10,000 rows of 80 columns of text take
// about a megabyte rather than the 16 bytes a cell the grid spends.
//
// The bytes of every row lie one after another in a single block used as a ring, beside a ring
// of fixed-size entries, one per row: keeping a row appends to both (no allocation, no
// scattered writes), and dropping the oldest row only moves the rings' start. The block grows
// (doubling, its rows copied over) when the rows kept need more than it holds.
//
// Rows are numbered for ever: the first row ever pushed is line 0, and a row keeps its number
// as older rows are dropped (FirstLine() rises) - positions in the text (a selection, a find
// match) survive the text moving into and through the history. The grid's row 1 is line
// EndLine() while it is on the screen.

#include "terminal/core/TermBuffer.h"

#include <cstdint>
#include <optional>
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
    std::string Text(std::int64_t line) const;
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
    // A row's record in bytes_: length characters, then moreRuns runs after the first.
    struct Line {
        std::uint64_t at; // offset of the record, counted for ever (see bytes_)
        Run first;
        std::uint16_t length;
        std::uint16_t moreRuns;
        bool wrapped;
    };
    static std::size_t recordSize(const Line& l) { return l.length + std::size_t(l.moreRuns) * sizeof(Run); }

    const Line& at(std::int64_t line) const;
    const char* record(const Line& l) const { return bytes_.data() + (l.at & (bytes_.size() - 1)); }
    static Run runOf(const TTermCell& c, int start)
    {
        return Run{std::uint16_t(start), c.Underline, c.Control, c.ForeColor, c.BackColor};
    }
    // Runs after the first of length cells into more; returns how many.
    static int moreRuns(const TTermCell* cells, int length, Run* more);
    // Where a record of size (> 0) bytes goes: the block's next bytes, or its start when the
    // record would run past its end. Nothing when the rows kept leave no room.
    std::optional<std::uint64_t> fit(std::size_t size) const
    {
        const std::size_t blockSize = bytes_.size();
        if (blockSize == 0)
            return std::nullopt;
        std::uint64_t pos = end_;
        const std::size_t offset = std::size_t(pos & (blockSize - 1));
        if (offset + size > blockSize)
            pos += blockSize - offset; // records never run round the block's end
        const std::uint64_t oldest = count_ > 0 ? ring_[std::size_t(head_)].at : pos;
        if (pos + size - oldest > blockSize)
            return std::nullopt;
        return pos;
    }
    // Fit, growing the block as needed.
    std::uint64_t placeGrowing(std::size_t size);
    // Copies the newest keep rows into a block of at least minBytes and a ring of capacity_ slots.
    void rebuild(int keep, std::size_t minBytes);

    std::vector<Line> ring_;
    // The records; its size is a power of two. Offsets count bytes for ever: offset & (size - 1)
    // is the place in the block, and the oldest row's offset up to end_ is what is in use.
    std::vector<char> bytes_;
    std::uint64_t end_ = 0;
    int capacity_ = 0;
    int head_ = 0; // slot of the oldest row
    int count_ = 0;
    std::int64_t endLine_ = 0;
};
