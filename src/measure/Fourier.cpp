#include "measure/Fourier.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <mutex>

namespace measure {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Spacings that differ by less than this share of the mean spacing are even: times kept as
// doubles of whole device ticks are exact, converted ones carry rounding only.
constexpr double kEvenTolerance = 1e-6;

// FFTW's planner is not thread-safe; only executing a plan is.
std::mutex& plannerLock()
{
    static std::mutex lock;
    return lock;
}

struct TPlan {
    TPlan(int n, double* in, fftw_complex* out)
    {
        std::lock_guard guard(plannerLock());
        plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
    }
    ~TPlan()
    {
        std::lock_guard guard(plannerLock());
        fftw_destroy_plan(plan);
    }
    TPlan(const TPlan&) = delete;
    TPlan& operator=(const TPlan&) = delete;
    fftw_plan plan;
};

bool evenlySpaced(std::span<const double> x)
{
    const double mean = (x.back() - x.front()) / double(x.size() - 1);
    for (std::size_t i = 0; i + 1 < x.size(); ++i) {
        if (std::abs(x[i + 1] - x[i] - mean) > kEvenTolerance * mean) {
            return false;
        }
    }
    return true;
}

} // namespace

TSpectrum Spectrum(std::span<const double> xs, std::span<const double> ys, std::optional<double> from,
    std::optional<double> to)
{
    TSpectrum s;
    const std::size_t all = std::min(xs.size(), ys.size());
    auto first = xs.begin();
    auto last = xs.begin() + std::ptrdiff_t(all);
    if (from) {
        first = std::lower_bound(first, last, *from);
    }
    if (to) {
        last = std::upper_bound(first, last, *to);
    }
    const auto lo = std::size_t(first - xs.begin());
    const std::size_t n = std::size_t(last - first);
    const auto x = xs.subspan(lo, n);
    const auto y = ys.subspan(lo, n);
    if (n < 4) {
        s.why = QString::fromUtf8("Твърде малко точки");
        s.peakFrequency = s.peakMagnitude = TMeasureResult::NotApplicable(s.why);
        return s;
    }
    if (!(x.back() > x.front())) {
        s.why = QString::fromUtf8("Всички точки са в един миг");
        s.peakFrequency = s.peakMagnitude = TMeasureResult::NotApplicable(s.why);
        return s;
    }

    s.step = (x.back() - x.front()) / double(n - 1);
    std::vector<double> in(n);
    if (evenlySpaced(x)) {
        std::copy(y.begin(), y.end(), in.begin());
    } else {
        s.resampled = true;
        std::size_t j = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const double t = i + 1 == n ? x.back() : x.front() + double(i) * s.step;
            while (j + 2 < n && x[j + 1] <= t) {
                ++j;
            }
            const double dx = x[j + 1] - x[j];
            const double share = dx > 0 ? std::clamp((t - x[j]) / dx, 0.0, 1.0) : 0.0;
            in[i] = y[j] + share * (y[j + 1] - y[j]);
        }
    }

    double mean = 0;
    for (double v : in) {
        mean += v;
    }
    mean /= double(n);
    double windowSum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * kPi * double(i) / double(n));
        windowSum += w;
        in[i] = (in[i] - mean) * w;
    }

    const std::size_t bins = n / 2 + 1;
    std::vector<std::complex<double>> out(bins);
    {
        TPlan plan(int(n), in.data(), reinterpret_cast<fftw_complex*>(out.data()));
        fftw_execute(plan.plan);
    }
    s.frequency.resize(bins);
    s.magnitude.resize(bins);
    const double binWidth = 1 / (double(n) * s.step);
    std::size_t top = 1;
    for (std::size_t k = 0; k < bins; ++k) {
        s.frequency[k] = double(k) * binWidth;
        // One-sided: a sine's power is split between k and n - k, except at 0 and n / 2.
        const bool single = k == 0 || (n % 2 == 0 && k == n / 2);
        s.magnitude[k] = std::abs(out[k]) * (single ? 1 : 2) / windowSum;
        if (k >= 1 && s.magnitude[k] > s.magnitude[top]) {
            top = k;
        }
    }
    s.ok = true;

    if (s.magnitude[top] <= 0) {
        s.peakFrequency = s.peakMagnitude = TMeasureResult::NotApplicable(QString::fromUtf8("Няма трептене"));
        return s;
    }
    // The Hann window's main lobe in closed form: a sine d bins beyond bin k shows in k and in
    // its neighbour towards it in the ratio a = (1 + d) / (2 - d), and in k at sinc(d) / (1 - d²)
    // of its amplitude.
    double shift = 0;
    double peak = s.magnitude[top];
    const bool rightHigher = top + 1 < bins && s.magnitude[top + 1] > s.magnitude[top - 1];
    const double neighbour = rightHigher ? s.magnitude[top + 1] : (top > 1 ? s.magnitude[top - 1] : 0);
    const double ratio = neighbour / s.magnitude[top];
    const double d = (2 * ratio - 1) / (ratio + 1);
    if (d > 0) {
        shift = rightHigher ? d : -d;
        peak /= std::sin(kPi * d) / (kPi * d) / (1 - d * d);
    }
    s.peakFrequency = TMeasureResult::Value((double(top) + shift) * binWidth);
    s.peakMagnitude = TMeasureResult::Value(peak);
    return s;
}

} // namespace measure
