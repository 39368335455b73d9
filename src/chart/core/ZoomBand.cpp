#include "chart/core/ZoomBand.h"

#include <cstdlib>

namespace chartmath {

BandMasks bandMasks(TColor background)
{
    const QRgb bg = color::toQColor(background).rgb();
    BandMasks m;
    for (int shift : {16, 8, 0}) {
        const int c = int((bg >> shift) & 0xFFu);
        const bool invert = std::abs(255 - 2 * c) >= 128;
        m.dash |= QRgb(invert ? 0xFFu : 0x80u) << shift;
        m.gap |= QRgb(invert ? 0x80u : 0xFFu) << shift;
    }
    return m;
}

void invertZoomBand(QImage& image, const TChartRect& band, TColor background)
{
    const BandMasks masks = bandMasks(background);
    const int left = std::min(band.Left, band.Right);
    const int right = std::max(band.Left, band.Right);
    const int top = std::min(band.Top, band.Bottom);
    const int bottom = std::max(band.Top, band.Bottom);
    int k = 0; // position along the outline, which sets the dash
    auto flip = [&](int x, int y) {
        const QRgb mask = (k++ / kBandDash) % 2 == 0 ? masks.dash : masks.gap;
        if (x >= 0 && y >= 0 && x < image.width() && y < image.height()) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            line[x] ^= mask;
        }
    };
    // Clockwise from the top-left corner, each pixel once even for a flat rectangle.
    for (int x = left; x <= right; ++x) {
        flip(x, top);
    }
    for (int y = top + 1; y <= bottom; ++y) {
        flip(right, y);
    }
    if (bottom > top) {
        for (int x = right - 1; x >= left; --x) {
            flip(x, bottom);
        }
    }
    if (right > left) {
        for (int y = bottom - 1; y > top; --y) {
            flip(left, y);
        }
    }
}

} // namespace chartmath
