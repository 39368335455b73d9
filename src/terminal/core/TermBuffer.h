#pragma once
// The terminal's character grid: Columns x Rows cells in one flat block plus one row of tab
// stops. No history: a row scrolled off the top is gone.
//
// Use: the terminal implements TTermBufferOwner (grid size, cell size, client size and three
// picture requests), creates one TComTermBuffer with itself as owner, and calls Init() once its
// size is known and again after every size change or clear-screen. Coordinates are buffer
// coordinates, column 1..Columns and row 1..Rows, (1, 1) top-left. ScrollUp/ScrollDown and the
// two erase operations tell the owner which part of the picture is stale; SetCell never does
// (the caller draws the cell it printed). The buffer draws nothing itself.

#include "common/Color.h"

#include <QRect>
#include <cstddef>
#include <vector>

// One screen cell. All-zero is the empty cell: never drawn, it shows the control's background.
struct TTermCell {
    char Ch = '\0';
    TColor ForeColor = 0;
    TColor BackColor = 0;
    bool Underline = false;

    friend bool operator==(const TTermCell&, const TTermCell&) = default;
};

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

protected:
    ~TTermBufferOwner() = default;
};

class TComTermBuffer {
public:
    explicit TComTermBuffer(TTermBufferOwner& owner);

    // (Re)allocates the grid from the owner's current size, empties every cell and sets the
    // default tab stops 1, 9, 17, ...
    void Init();
    // False until the first Init.
    bool Initialized() const { return columns_ > 0; }
    // The size the grid was allocated with at the last Init (0 before it).
    int Columns() const { return columns_; }
    int Rows() const { return rows_; }

    void SetCell(int x, int y, const TTermCell& cell);
    TTermCell GetCell(int x, int y) const;

    void ScrollUp();
    void ScrollDown();
    void EraseLineFrom(int x, int y);
    void EraseScreenFrom(int x, int y);

    bool GetTab(int x) const;
    void SetTab(int x, bool flag);
    // First tab stop at or after column x; 0 when there is none up to Columns.
    int NextTab(int x) const;
    void ClearTabs();

private:
    bool inside(int x, int y) const { return x >= 1 && x <= columns_ && y >= 1 && y <= rows_; }
    std::size_t index(int x, int y) const
    {
        return std::size_t(y - 1) * std::size_t(columns_) + std::size_t(x - 1);
    }
    void scrollPicture(int rowsDown);

    TTermBufferOwner& owner_;
    std::vector<TTermCell> cells_;
    std::vector<unsigned char> tabs_;
    int columns_ = 0;
    int rows_ = 0;
};
