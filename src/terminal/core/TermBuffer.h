#pragma once
// The terminal's character grid: Columns x Rows cells plus one row of tab stops. A row scrolled
// off the top goes to the history given with SetHistory (TermHistory.h), or is gone without one.
//
// Use: the terminal implements TTermBufferOwner (grid size, cell size, client size and three
// picture requests), creates one TComTermBuffer with itself as owner, and calls Init() once its
// size is known and again after every size change or clear-screen. Coordinates are buffer
// coordinates, column 1..Columns and row 1..Rows, (1, 1) top-left. ScrollUp/ScrollDown and the
// two erase operations tell the owner which part of the picture is stale; SetCell never does
// (the caller draws the cell it printed). The buffer draws nothing itself.
//
// The rows live in one block allocated by Init, used as a ring: row 1 is the block's row top_,
// the rows below follow it and wrap round to the block's start. A whole-screen scroll then only
// moves top_ and clears one row instead of moving every cell.

#include "common/Color.h"

#include <QRect>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

// One screen cell. All-zero is the empty cell: never drawn, it shows the control's background.
struct TTermCell {
    char Ch = '\0';
    TColor ForeColor = 0;
    TColor BackColor = 0;
    bool Underline = false;
    // Ch is drawn as a symbol: a control byte's picture (the terminal's ShowControls option),
    // or, for Ch 0x5F..0x7E, a character of the DEC line-drawing set.
    bool Control = false;

    friend bool operator==(const TTermCell&, const TTermCell&) = default;
};
// Rows are cleared by zeroing their bytes.
static_assert(std::is_trivially_copyable_v<TTermCell>);

// The terminal's current drawing attributes.
struct TTermAttr {
    TColor ForeColor = 0;
    TColor BackColor = 0;
    bool Invert = false;
    bool Bold = false;
    bool Underline = false;

    friend bool operator==(const TTermAttr&, const TTermAttr&) = default;
};

// What the buffer reads from and asks of the terminal that owns it.
class TTermBufferOwner {
public:
    virtual int TermColumns() const = 0;
    virtual int TermRows() const = 0;
    // Cell size in pixels (FontWidth, FontHeight).
    virtual int TermFontWidth() const = 0;
    virtual int TermFontHeight() const = 0;
    virtual int TermClientWidth() const = 0;
    virtual int TermClientHeight() const = 0;
    // Painting through an off-screen bitmap: every change just invalidates the whole control.
    virtual bool TermDoubleBuffered() const = 0;

    virtual void InvalidateAll() = 0;
    // Buffer cells left..right, top..bottom, all inclusive (QRect's own right()/bottom()).
    virtual void InvalidateCells(const QRect& cells) = 0;
    // Shift the window pixels inside pixelRect by dy (negative: upwards), then invalidate and
    // erase the strip the shift uncovers.
    virtual void ScrollPixels(const QRect& pixelRect, int dy) = 0;
    // Row 1 has just gone to the history (before the grid moves up).
    virtual void RowScrolledOff() { }

protected:
    ~TTermBufferOwner() = default;
};

class TTermHistory;

class TComTermBuffer {
public:
    explicit TComTermBuffer(TTermBufferOwner& owner);

    // Where ScrollUp keeps row 1; none by default. Not owned.
    void SetHistory(TTermHistory* history) { history_ = history; }
    TTermHistory* History() const { return history_; }

    // (Re)allocates the grid from the owner's current size, empties every cell and sets the
    // default tab stops 1, 9, 17, ...
    void Init();
    // False until the first Init.
    bool Initialized() const { return columns_ > 0; }
    // The size the grid was allocated with at the last Init (0 before it).
    int Columns() const { return columns_; }
    int Rows() const { return rows_; }

    // Inline: printing and painting touch every cell through these.
    void SetCell(int x, int y, const TTermCell& cell)
    {
        if (inside(x, y)) {
            noteWritten(y, x, x, cell);
            cells_[index(x, y)] = cell;
        }
    }
    TTermCell GetCell(int x, int y) const { return inside(x, y) ? cells_[index(x, y)] : TTermCell{}; }
    // Row y's cells, columns 1..Columns side by side; nullptr outside the grid. Valid until the
    // next Init. For loops over many cells of a row, which GetCell would place one by one.
    const TTermCell* RowCells(int y) const
    {
        return unsigned(y) - 1u < unsigned(rows_) ? cells_.data() + blockRow(y) * std::size_t(columns_)
                                                  : nullptr;
    }
    // Count cells from (x, y) rightwards, each a copy of cell with its character from text; a run
    // past the last column is cut there. No repaint, as SetCell.
    void SetCells(int x, int y, const char* text, int count, const TTermCell& cell);

    void ScrollUp();
    // Takes the owner's new size keeping the text: the top pushTop rows go to the history, the
    // rows after them move up, each row is cut or padded to the new width (no reflow); tab stops
    // are kept and new columns get the default ones. Before the first Init it is Init.
    void Resize(int pushTop);
    // Columns of row y up to its last written cell (cells after it are empty).
    int RowUsed(int y) const { return unsigned(y) - 1u < unsigned(rows_) ? used_[blockRow(y)] : 0; }
    // Every cell of row y up to RowUsed has the colours and underline of its first cell. False
    // may also mean "not known": it is kept per write, not by looking at the cells.
    bool RowOneAttr(int y) const { return unsigned(y) - 1u < unsigned(rows_) && oneAttr_[blockRow(y)] != 0; }
    // Row y was continued on the next row by line wrapping (cleared with the row's last cell).
    bool Wrapped(int y) const { return unsigned(y) - 1u < unsigned(rows_) && wrapped_[blockRow(y)] != 0; }
    void SetWrapped(int y, bool on)
    {
        if (unsigned(y) - 1u < unsigned(rows_))
            wrapped_[blockRow(y)] = on ? 1 : 0;
    }
    void ScrollDown();
    void EraseLineFrom(int x, int y);
    void EraseScreenFrom(int x, int y);
    // Rows top..bottom move up by n rows (down when n < 0) and the rows they leave are cleared;
    // nothing goes to the history. The scroll region, IL and DL.
    void ScrollRows(int top, int bottom, int n);
    // n empty cells inserted at (x, y), pushing the rest of the row right (its end is lost).
    void InsertCells(int x, int y, int n);
    // n cells deleted at (x, y), the rest of the row moving left; empty cells come in at the end.
    void DeleteCells(int x, int y, int n);
    // Cells fromX..toX of row y cleared.
    void EraseCells(int fromX, int toX, int y);
    // Row y becomes a copy of count cells (the rest empty) and its wrapped flag; no repaint.
    void SetRow(int y, const TTermCell* cells, int count, bool wrapped);

    bool GetTab(int x) const;
    void SetTab(int x, bool flag);
    // First tab stop at or after column x; 0 when there is none up to Columns.
    int NextTab(int x) const;
    void ClearTabs();

private:
    bool inside(int x, int y) const
    {
        // One unsigned compare per coordinate covers both ends (0 and below wrap to huge).
        return unsigned(x) - 1u < unsigned(columns_) && unsigned(y) - 1u < unsigned(rows_);
    }
    // Block row of grid row y (1..rows_).
    std::size_t blockRow(int y) const
    {
        int row = top_ + y - 1;
        if (row >= rows_)
            row -= rows_;
        return std::size_t(row);
    }
    std::size_t index(int x, int y) const { return blockRow(y) * std::size_t(columns_) + std::size_t(x - 1); }
    void clearRow(int y, int fromX);
    void copyRow(int toY, int fromY);
    void invalidateRows(int top, int bottom);
    static bool sameAttr(const TTermCell& a, const TTermCell& b)
    {
        // Two comparisons rather than four: the colours side by side, then the two flags.
        static_assert(offsetof(TTermCell, BackColor) == offsetof(TTermCell, ForeColor) + sizeof(TColor)
            && offsetof(TTermCell, Control) == offsetof(TTermCell, Underline) + 1);
        std::uint64_t colorsA, colorsB;
        std::uint16_t flagsA, flagsB;
        std::memcpy(&colorsA, &a.ForeColor, sizeof colorsA);
        std::memcpy(&colorsB, &b.ForeColor, sizeof colorsB);
        std::memcpy(&flagsA, &a.Underline, sizeof flagsA);
        std::memcpy(&flagsB, &b.Underline, sizeof flagsB);
        return colorsA == colorsB && flagsA == flagsB;
    }
    // Cells fromX..toX of row y are about to be written with cell's attributes (called before
    // the write, which may replace the first cell it compares with).
    void noteWritten(int y, int fromX, int toX, const TTermCell& cell)
    {
        const std::size_t row = blockRow(y);
        auto& used = used_[row];
        auto& one = oneAttr_[row];
        if (fromX == 1 && toX >= used)
            one = 1; // the whole used part was rewritten
        else if (fromX > used + 1 || !sameAttr(cell, cells_[row * std::size_t(columns_)]))
            one = 0; // a gap of empty cells, or other attributes
        if (toX > used)
            used = static_cast<unsigned short>(toX);
    }
    void scrollPicture(int rowsDown);

    TTermBufferOwner& owner_;
    std::vector<TTermCell> cells_;
    std::vector<unsigned char> tabs_;
    std::vector<unsigned char> wrapped_; // per block row
    // Per block row: the last column written since the row was cleared (the cells after it are
    // empty), so that a row going to the history is trimmed, and a row is cleared, without
    // touching its empty tail.
    std::vector<unsigned short> used_;
    // Per block row: RowOneAttr, so that such a row goes to the history without comparing cells.
    std::vector<unsigned char> oneAttr_;
    TTermHistory* history_ = nullptr;
    int columns_ = 0;
    int rows_ = 0;
    int top_ = 0; // block row holding grid row 1
};
