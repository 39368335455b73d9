#pragma once
// Fewer segments for the same pixels: a dense one-pixel line reduced per pixel column.

#include <QPolygon>

namespace chartmath {

// Consecutive points in one pixel column become the column's first, lowest, highest and last
// point. A one-pixel solid line through them covers the same pixels (up to the odd pixel where
// a line turns back on itself, which the rasteriser may light or not).
void thinColumns(const QPolygon& in, QPolygon& out);

} // namespace chartmath
