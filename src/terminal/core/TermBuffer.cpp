#include "terminal/core/TermBuffer.h"

#include "terminal/core/TermHistory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

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
    wrapped_.assign(std::size_t(rows), 0);
    used_.assign(std::size_t(rows), 0);
    oneAttr_.assign(std::size_t(rows), 0);
    columns_ = rows > 0 ? columns : 0;
    rows_ = columns > 0 ? rows : 0;
    top_ = 0;
    for (int x = 1; x <= columns_; x += 8)
        tabs_[std::size_t(x - 1)] = 1;
}

// Cells fromX..Columns of grid row y: contiguous in the block, as every row is.
void TComTermBuffer::clearRow(int y, int fromX)
{
    const std::size_t row = blockRow(y);
    auto& used = used_[row];
    // Cells after the last one written are empty already. All-zero bytes are the empty cell;
    // zeroing cells is far cheaper than assigning each one.
    if (used >= fromX) {
        std::memset(static_cast<void*>(cells_.data() + row * std::size_t(columns_) + std::size_t(fromX - 1)),
            0, std::size_t(used - fromX + 1) * sizeof(TTermCell));
        used = static_cast<unsigned short>(fromX - 1);
    }
    wrapped_[row] = 0;
}

void TComTermBuffer::Resize(int pushTop)
{
    if (!Initialized()) {
        Init();
        return;
    }
    const int columns = std::max(0, owner_.TermColumns());
    const int rows = std::max(0, owner_.TermRows());
    if (columns <= 0 || rows <= 0) {
        Init();
        return;
    }
    pushTop = std::clamp(pushTop, 0, rows_);
    for (int y = 1; y <= pushTop; ++y) {
        if (history_)
            history_->Push(RowCells(y), RowUsed(y), Wrapped(y), RowOneAttr(y));
        owner_.RowScrolledOff();
    }
    std::vector<TTermCell> cells(std::size_t(columns) * std::size_t(rows), TTermCell{});
    std::vector<unsigned char> wrapped(std::size_t(rows), 0);
    std::vector<unsigned short> used(std::size_t(rows), 0);
    std::vector<unsigned char> oneAttr(std::size_t(rows), 0);
    const int keepRows = std::min(rows, rows_ - pushTop);
    const int keepColumns = std::min(columns, columns_);
    for (int y = 1; y <= keepRows; ++y) {
        std::copy_n(RowCells(y + pushTop), keepColumns, cells.begin() + std::ptrdiff_t(y - 1) * columns);
        wrapped[std::size_t(y - 1)] = Wrapped(y + pushTop) && columns == columns_ ? 1 : 0;
        used[std::size_t(y - 1)] = static_cast<unsigned short>(std::min(RowUsed(y + pushTop), columns));
        oneAttr[std::size_t(y - 1)] = RowOneAttr(y + pushTop) ? 1 : 0;
    }
    std::vector<unsigned char> tabs(std::size_t(columns), 0);
    std::copy_n(tabs_.begin(), keepColumns, tabs.begin());
    for (int x = columns_ + 1; x <= columns; ++x)
        tabs[std::size_t(x - 1)] = (x - 1) % 8 == 0 ? 1 : 0;
    cells_ = std::move(cells);
    wrapped_ = std::move(wrapped);
    used_ = std::move(used);
    oneAttr_ = std::move(oneAttr);
    tabs_ = std::move(tabs);
    columns_ = columns;
    rows_ = rows;
    top_ = 0;
    owner_.InvalidateAll();
}

void TComTermBuffer::SetCells(int x, int y, const char* text, int count, const TTermCell& cell)
{
    if (!inside(x, y))
        return;
    count = std::min(count, columns_ - x + 1);
    if (count <= 0)
        return;
    noteWritten(y, x, x + count - 1, cell);
    TTermCell* out = cells_.data() + index(x, y);
    // Copied as raw bytes: assigning the struct makes the compiler build each cell field by field
    // around its padding.
    unsigned char pattern[sizeof(TTermCell)];
    std::memcpy(pattern, &cell, sizeof pattern);
    for (int i = 0; i < count; ++i) {
        std::memcpy(static_cast<void*>(out + i), pattern, sizeof pattern);
        out[i].Ch = text[i];
    }
}

void TComTermBuffer::ScrollUp()
{
    if (!Initialized())
        return;
    // The old row 1 goes to the history and becomes the empty last row.
    const std::size_t row = std::size_t(top_);
    TTermCell* cells = cells_.data() + row * std::size_t(columns_);
    if (history_)
        history_->Push(cells, used_[row], wrapped_[row] != 0, oneAttr_[row] != 0);
    owner_.RowScrolledOff();
    // clearRow(1, 1) without finding the row again: this runs for every line of output.
    std::memset(static_cast<void*>(cells), 0, std::size_t(used_[row]) * sizeof(TTermCell));
    used_[row] = 0;
    wrapped_[row] = 0;
    top_ = top_ + 1 == rows_ ? 0 : top_ + 1;
    scrollPicture(-1);
}

void TComTermBuffer::ScrollDown()
{
    if (!Initialized())
        return;
    // The old last row becomes the empty row 1.
    top_ = top_ == 0 ? rows_ - 1 : top_ - 1;
    clearRow(1, 1);
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
    clearRow(y, x);
    if (owner_.TermDoubleBuffered())
        owner_.InvalidateAll();
    else
        owner_.InvalidateCells(QRect(QPoint(x, y), QPoint(columns_, y)));
}

void TComTermBuffer::EraseScreenFrom(int x, int y)
{
    if (!inside(x, y))
        return;
    // (Rows - Y) * Columns + (Columns - X + 1) cells from (X, Y) on, row by row since the rows
    // below may wrap round the block.
    clearRow(y, x);
    for (int row = y + 1; row <= rows_; ++row)
        clearRow(row, 1);
    if (owner_.TermDoubleBuffered()) {
        owner_.InvalidateAll();
        return;
    }
    // Two rectangles: the rows below must be repainted from column 1, not from X.
    owner_.InvalidateCells(QRect(QPoint(x, y), QPoint(columns_, y)));
    if (y < rows_)
        owner_.InvalidateCells(QRect(QPoint(1, y + 1), QPoint(columns_, rows_)));
}

void TComTermBuffer::invalidateRows(int top, int bottom)
{
    if (owner_.TermDoubleBuffered())
        owner_.InvalidateAll();
    else
        owner_.InvalidateCells(QRect(QPoint(1, top), QPoint(columns_, bottom)));
}

void TComTermBuffer::copyRow(int toY, int fromY)
{
    const std::size_t to = blockRow(toY);
    const std::size_t from = blockRow(fromY);
    std::memcpy(static_cast<void*>(cells_.data() + to * std::size_t(columns_)),
        cells_.data() + from * std::size_t(columns_), std::size_t(columns_) * sizeof(TTermCell));
    used_[to] = used_[from];
    oneAttr_[to] = oneAttr_[from];
    wrapped_[to] = wrapped_[from];
}

void TComTermBuffer::ScrollRows(int top, int bottom, int n)
{
    if (!Initialized() || top < 1 || bottom > rows_ || top > bottom || n == 0)
        return;
    const int count = int(std::min<long long>(std::llabs(n), bottom - top + 1));
    if (n > 0) {
        for (int y = top; y + count <= bottom; ++y)
            copyRow(y, y + count);
        for (int y = bottom - count + 1; y <= bottom; ++y)
            clearRow(y, 1);
    } else {
        for (int y = bottom; y - count >= top; --y)
            copyRow(y, y - count);
        for (int y = top; y < top + count; ++y)
            clearRow(y, 1);
    }
    invalidateRows(top, bottom);
}

void TComTermBuffer::InsertCells(int x, int y, int n)
{
    if (!inside(x, y) || n <= 0)
        return;
    const std::size_t row = blockRow(y);
    TTermCell* cells = cells_.data() + row * std::size_t(columns_);
    n = std::min(n, columns_ - x + 1);
    std::memmove(static_cast<void*>(cells + x - 1 + n), cells + x - 1,
        std::size_t(columns_ - x + 1 - n) * sizeof(TTermCell));
    std::memset(static_cast<void*>(cells + x - 1), 0, std::size_t(n) * sizeof(TTermCell));
    if (used_[row] >= x) {
        used_[row] = static_cast<unsigned short>(std::min(columns_, used_[row] + n));
        oneAttr_[row] = 0;
    }
    wrapped_[row] = 0;
    invalidateRows(y, y);
}

void TComTermBuffer::DeleteCells(int x, int y, int n)
{
    if (!inside(x, y) || n <= 0)
        return;
    const std::size_t row = blockRow(y);
    TTermCell* cells = cells_.data() + row * std::size_t(columns_);
    n = std::min(n, columns_ - x + 1);
    std::memmove(static_cast<void*>(cells + x - 1), cells + x - 1 + n,
        std::size_t(columns_ - x + 1 - n) * sizeof(TTermCell));
    std::memset(static_cast<void*>(cells + columns_ - n), 0, std::size_t(n) * sizeof(TTermCell));
    if (used_[row] >= x)
        used_[row] = static_cast<unsigned short>(std::max(x - 1, used_[row] - n));
    wrapped_[row] = 0;
    invalidateRows(y, y);
}

void TComTermBuffer::EraseCells(int fromX, int toX, int y)
{
    fromX = std::max(fromX, 1);
    toX = std::min(toX, columns_);
    if (!inside(fromX, y) || toX < fromX)
        return;
    const std::size_t row = blockRow(y);
    std::memset(static_cast<void*>(cells_.data() + row * std::size_t(columns_) + std::size_t(fromX - 1)), 0,
        std::size_t(toX - fromX + 1) * sizeof(TTermCell));
    if (toX >= used_[row])
        used_[row] = static_cast<unsigned short>(std::min<int>(used_[row], fromX - 1));
    else if (fromX <= used_[row])
        oneAttr_[row] = 0; // a gap of empty cells
    if (toX == columns_)
        wrapped_[row] = 0;
    if (owner_.TermDoubleBuffered())
        owner_.InvalidateAll();
    else
        owner_.InvalidateCells(QRect(QPoint(fromX, y), QPoint(toX, y)));
}

void TComTermBuffer::SetRow(int y, const TTermCell* cells, int count, bool wrapped)
{
    if (!inside(1, y))
        return;
    clearRow(y, 1);
    const std::size_t row = blockRow(y);
    count = std::clamp(count, 0, columns_);
    if (count > 0)
        std::memcpy(static_cast<void*>(cells_.data() + row * std::size_t(columns_)), cells,
            std::size_t(count) * sizeof(TTermCell));
    used_[row] = static_cast<unsigned short>(count);
    oneAttr_[row] = 0; // not known
    wrapped_[row] = wrapped ? 1 : 0;
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
