#include "archive/CaptureMeasures.h"

#include "archive/CaptureExport.h"
#include "measure/Measure.h"

#include <algorithm>
#include <cmath>
#include <limits>

CaptureMeasures measureCapture(const std::vector<std::int64_t>& x, const std::vector<std::int32_t>& y,
    std::size_t n, const QString& xTitle)
{
    n = std::min({n, x.size(), y.size()});
    CaptureMeasures m;
    m.frequency = std::numeric_limits<double>::quiet_NaN();
    if (n == 0)
        return m;
    // In seconds, so the frequency comes in Hz.
    const double seconds = double(microsecondsPerX(xTitle)) * 1e-6;
    std::vector<double> xs(n);
    std::vector<double> ys(n);
    for (std::size_t i = 0; i < n; ++i) {
        xs[i] = double(x[i]) * seconds;
        ys[i] = y[i];
    }
    const measure::TMeasurements got = measure::Measure(xs, ys);
    const auto value = [](const measure::TMeasureResult& r) {
        return r.ok ? r.value : std::numeric_limits<double>::quiet_NaN();
    };
    m.peak = std::abs(value(got.peak));
    m.peakToPeak = value(got.peakToPeak);
    m.rms = value(got.rms);
    m.frequency = value(got.frequency);
    return m;
}
