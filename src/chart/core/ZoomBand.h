#pragma once
// The zoom rubber band, drawn by flipping bits of the picture: drawing it a second time over
// the same rectangle gives every pixel back.

#include "chart/core/ChartTypes.h"

#include <QImage>
#include <QRgb>

namespace chartmath {

inline constexpr int kBandDash = 4;

// The two bit masks the band's dashes alternate between. The first moves every colour
// channel of the background by at least 128 levels (a channel near the middle of its range
// gets its top bit flipped, any other channel is inverted), so the band shows on any chart
// colour; the second takes the other choice per channel and shows where the first lands on
// the grid, the line or a label instead of the background.
struct BandMasks {
    QRgb dash = 0;
    QRgb gap = 0;
};
BandMasks bandMasks(TColor background);

// Draws (or, drawn again, erases) the one-pixel dashed outline of the inclusive rectangle.
// Every pixel of the outline is touched once; the image must be Format_RGB32 or ARGB32.
void invertZoomBand(QImage& image, const TChartRect& band, TColor background);

} // namespace chartmath
