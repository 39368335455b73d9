#include "chart/core/AxisMaths.h"

#include <algorithm>
#include <cmath>

namespace chartmath {

namespace {

constexpr double kIntLimit = 2147483647.0;
// Relative tolerance for steps and label values that the decimal series cannot hit exactly.
constexpr double kFuzz = 1e-9;

} // namespace

double nearest(double v)
{
    return std::nearbyint(v);
}

double nextStep(double step)
{
    if (!(step > 0) || !std::isfinite(step)) {
        return step > 0 ? step : kMinStep;
    }
    double power = std::pow(10.0, std::floor(std::log10(step)));
    double mantissa = step / power;
    if (mantissa >= 10.0 * (1 - kFuzz)) {
        power *= 10;
        mantissa /= 10;
    } else if (mantissa < 1.0 - kFuzz) {
        power /= 10;
        mantissa *= 10;
    }
    double next = 10;
    if (mantissa < 2.0 * (1 - kFuzz)) {
        next = 2;
    } else if (mantissa < 5.0 * (1 - kFuzz)) {
        next = 5;
    }
    return next * power;
}

double labelStep(
    double range, double increment, int axisSize, int labelSize, int labelsSeparation, double minStep)
{
    if (!std::isfinite(range)) {
        return kMinStep;
    }
    double allowed = 1;
    if (labelSize > 0) {
        allowed = nearest(double(axisSize) / (labelSize + nearest(labelsSeparation * 0.01 * labelSize)));
    }
    if (allowed < 1) {
        return kMinStep;
    }
    double step = increment > 0 ? increment : (std::fabs(range) >= 1 ? 1.0 : kMinStep);
    step = std::max(step, minStep);
    if (labelsSeparation > 0) {
        for (;;) {
            const double q = std::fabs(range / step);
            if (q < kIntLimit && nearest(q) <= allowed) {
                break;
            }
            const double next = nextStep(step);
            if (!std::isfinite(next) || next <= step) {
                break;
            }
            step = next;
        }
    }
    return std::max(step, kMinStep);
}

std::vector<double> labelValues(
    double effectiveMinimum, double effectiveMaximum, double step, bool roundFirstLabel)
{
    std::vector<double> values;
    if (!(step > 0) || !std::isfinite(step) || !std::isfinite(effectiveMinimum)
        || !std::isfinite(effectiveMaximum)) {
        return values;
    }
    if (std::fabs((effectiveMaximum - effectiveMinimum) / step) >= kMaxLabelSteps) {
        return values;
    }
    // A hair below the minimum, so a label on the lower end survives rounding. Dividing by
    // 1.000000000001 lowers a positive bound; for a negative one it would raise it above the
    // minimum and drop that end's label, so the factor multiplies there instead.
    const double lowered = effectiveMinimum - 1e-12;
    const double threshold = effectiveMinimum >= 0 ? lowered / 1.000000000001 : lowered * 1.000000000001;
    // Label i is computed from its index, not by repeated subtraction, so no error builds up.
    double top = effectiveMaximum;
    double k = 0;
    const bool rounded = roundFirstLabel && effectiveMinimum != effectiveMaximum;
    if (rounded) {
        const double q = effectiveMaximum / step;
        k = std::fabs(q - nearest(q)) < kFuzz ? nearest(q) : std::trunc(q);
        while (k * step > effectiveMaximum + step * kFuzz) {
            k -= 1;
        }
    }
    // At most one label per step of the range, plus the ends; a value too large for the step
    // to change it would otherwise repeat for ever.
    const int limit = kMaxLabelSteps + 2;
    for (int i = 0; i < limit; ++i) {
        const double v = rounded ? (k - i) * step : top - i * step;
        if (v < threshold) {
            break;
        }
        if (!values.empty() && v == values.back()) {
            break;
        }
        values.push_back(v);
    }
    return values;
}

PageRange pageRange(int count, int pointsPerPage, int page)
{
    if (count <= 0) {
        return {0, -1};
    }
    if (pointsPerPage <= 0) {
        return {0, count - 1};
    }
    long long first = (static_cast<long long>(std::max(page, 1)) - 1) * pointsPerPage;
    if (first >= count) {
        first = static_cast<long long>(std::max(0, count / pointsPerPage - 1)) * pointsPerPage;
    }
    long long last = first + pointsPerPage - 1;
    if (last >= count) {
        last = first + count % pointsPerPage - 1;
    }
    return {int(first), int(last)};
}

int pageCount(int count, int pointsPerPage)
{
    if (count <= 0 || pointsPerPage <= 0) {
        return 1;
    }
    return int((static_cast<long long>(count) + pointsPerPage - 1) / pointsPerPage);
}

} // namespace chartmath
