#include "terminal/core/TermBuffer.h"

#include <algorithm>

TComTermBuffer::TComTermBuffer(TTermBufferOwner& owner)
    : owner_(owner)
{
}

void TComTermBuffer::Init()
{
    const int columns = std::max(0, owner_.TermColumns());
    const int rows = std::max(0, owner_.TermRows());
    // Assigning fresh vectors frees the old block first, so a bigger grid never needs both.
    cells_ = {};
    tabs_ = {};
    cells_.assign(std::size_t(columns) * std::size_t(rows), TTermCell{});
    tabs_.assign(std::size_t(columns), 0);
    columns_ = rows > 0 ? columns : 0;
    rows_ = columns > 0 ? rows : 0;
    for (int x = 1; x <= columns_; x += 8)
        tabs_[std::size_t(x - 1)] = 1;
}

void TComTermBuffer::SetCell(int x, int y, const TTermCell& cell)
{
    if (inside(x, y))
        cells_[index(x, y)] = cell;
}

TTermCell TComTermBuffer::GetCell(int x, int y) const
{
    return inside(x, y) ? cells_[index(x, y)] : TTermCell{};
}

void TComTermBuffer::ScrollUp()
{
    if (!Initialized())
        return;
    const auto rowLength = std::ptrdiff_t(columns_);
    std::move(cells_.begin() + rowLength, cells_.end(), cells_.begin());
    std::fill(cells_.end() - rowLength, cells_.end(), TTermCell{});
    scrollPicture(-1);
}

void TComTermBuffer::ScrollDown()
{
    if (!Initialized())
        return;
    const auto rowLength = std::ptrdiff_t(columns_);
    std::move_backward(cells_.begin(), cells_.end() - rowLength, cells_.end());
    std::fill(cells_.begin(), cells_.begin() + rowLength, TTermCell{});
    scrollPicture(1);
}

void TComTermBuffer::scrollPicture(int rowsDown)
{
    if (owner_.TermDoubleBuffered()) {
        owner_.InvalidateAll();
        return;
    }
    const int fontWidth = owner_.TermFontWidth();
    const int fontHeight = owner_.TermFontHeight();
    const int width = std::min(owner_.TermClientWidth(), columns_ * fontWidth);
    const int height = std::min(owner_.TermClientHeight(), rows_ * fontHeight);
    owner_.ScrollPixels(QRect(0, 0, width, height), rowsDown * fontHeight);
}

void TComTermBuffer::EraseLineFrom(int x, int y)
{
    if (!inside(x, y))
        return;
    std::fill(cells_.begin() + std::ptrdiff_t(index(x, y)),
        cells_.begin() + std::ptrdiff_t(index(columns_, y)) + 1, TTermCell{});
    if (owner_.TermDoubleBuffered())
        owner_.InvalidateAll();
    else
        owner_.InvalidateCells(QRect(QPoint(x, y), QPoint(columns_, y)));
}

void TComTermBuffer::EraseScreenFrom(int x, int y)
{
    if (!inside(x, y))
        return;
    // (Rows - Y) * Columns + (Columns - X + 1) cells from (X, Y) on.
    std::fill(cells_.begin() + std::ptrdiff_t(index(x, y)), cells_.end(), TTermCell{});
    if (owner_.TermDoubleBuffered()) {
        owner_.InvalidateAll();
        return;
    }
    // Two rectangles: the rows below must be repainted from column 1, not from X.
    owner_.InvalidateCells(QRect(QPoint(x, y), QPoint(columns_, y)));
    if (y < rows_)
        owner_.InvalidateCells(QRect(QPoint(1, y + 1), QPoint(columns_, rows_)));
}

bool TComTermBuffer::GetTab(int x) const
{
    return x >= 1 && x <= columns_ && tabs_[std::size_t(x - 1)] != 0;
}

void TComTermBuffer::SetTab(int x, bool flag)
{
    if (x >= 1 && x <= columns_)
        tabs_[std::size_t(x - 1)] = flag ? 1 : 0;
}

int TComTermBuffer::NextTab(int x) const
{
    for (int column = std::max(x, 1); column <= columns_; ++column) {
        if (tabs_[std::size_t(column - 1)] != 0)
            return column;
    }
    return 0;
}

void TComTermBuffer::ClearTabs()
{
    std::fill(tabs_.begin(), tabs_.end(), 0);
}
