#pragma once
// The four figures the archive keeps of every capture, so its list can be sorted by them: the
// peak (largest magnitude), peak-to-peak and RMS in the capture's Y unit, and the dominant
// frequency in Hz (NaN when it does not apply, e.g. fewer than two periods). Computed by the
// measurement library, as the scope's read-out computes them.

#include <QString>
#include <cstdint>
#include <vector>

struct CaptureMeasures {
    double peak = 0;
    double peakToPeak = 0;
    double rms = 0;
    double frequency = 0;
};

// Over the first `n` points; X in the unit `xTitle` names (see microsecondsPerX).
CaptureMeasures measureCapture(const std::vector<std::int64_t>& x, const std::vector<std::int32_t>& y,
    std::size_t n, const QString& xTitle);
