#include "archive/CaptureMeasures.h"

#include "archive/CaptureExport.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Rising crossings of the mean, each confirmed by the signal going from below mean − h to
// above mean + h (h a twentieth of peak-to-peak), so noise on a slope is one crossing; the time
// of each is interpolated between the two samples around the mean. Frequency: the crossings
// counted over the time between the first and the last, at least two periods.
double dominantFrequency(const std::vector<std::int64_t>& x, const std::vector<std::int32_t>& y,
    std::size_t n, double mean, double peakToPeak, double secondsPerX)
{
    if (n < 3 || peakToPeak <= 0 || secondsPerX <= 0)
        return std::numeric_limits<double>::quiet_NaN();
    const double h = peakToPeak / 20;
    bool armed = false;
    double candidate = 0;
    bool hasCandidate = false;
    double first = 0;
    double last = 0;
    int crossings = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double v = y[i];
        if (v < mean - h) {
            armed = true;
            hasCandidate = false;
        }
        if (i > 0 && double(y[i - 1]) < mean && v >= mean) {
            const double f = (mean - double(y[i - 1])) / (v - double(y[i - 1]));
            candidate = double(x[i - 1]) + f * double(x[i] - x[i - 1]);
            hasCandidate = true;
        }
        if (armed && hasCandidate && v > mean + h) {
            if (crossings == 0)
                first = candidate;
            last = candidate;
            ++crossings;
            armed = false;
            hasCandidate = false;
        }
    }
    if (crossings < 3 || last <= first)
        return std::numeric_limits<double>::quiet_NaN();
    return double(crossings - 1) / ((last - first) * secondsPerX);
}

} // namespace

CaptureMeasures measureCapture(const std::vector<std::int64_t>& x, const std::vector<std::int32_t>& y,
    std::size_t n, const QString& xTitle)
{
    n = std::min({n, x.size(), y.size()});
    CaptureMeasures m;
    m.frequency = std::numeric_limits<double>::quiet_NaN();
    if (n == 0)
        return m;
    const auto [lo, hi] = std::minmax_element(y.begin(), y.begin() + std::ptrdiff_t(n));
    m.peak = std::max(std::abs(double(*lo)), std::abs(double(*hi)));
    m.peakToPeak = double(*hi) - double(*lo);
    double sum = 0;
    double squares = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sum += y[i];
        squares += double(y[i]) * double(y[i]);
    }
    m.rms = std::sqrt(squares / double(n));
    // Unevenly spaced points weigh by the time they stand for (trapezoids).
    bool even = true;
    for (std::size_t i = 2; even && i < n; ++i)
        even = x[i] - x[i - 1] == x[1] - x[0];
    if (!even && x[n - 1] > x[0]) {
        double area = 0;
        for (std::size_t i = 1; i < n; ++i) {
            const double a = y[i - 1];
            const double b = y[i];
            area += double(x[i] - x[i - 1]) * (a * a + a * b + b * b) / 3;
        }
        m.rms = std::sqrt(std::max(0.0, area / double(x[n - 1] - x[0])));
    }
    m.frequency
        = dominantFrequency(x, y, n, sum / double(n), m.peakToPeak, double(microsecondsPerX(xTitle)) * 1e-6);
    return m;
}
