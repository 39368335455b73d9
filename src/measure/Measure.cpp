#include "measure/Measure.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace measure {

namespace {

// Below this share of the peak-to-peak the ends are one level: a pulse or a ringing, no step.
constexpr double kMinStepShare = 0.3;
// Half-width of the band a swing must cross to count, as a share of half the peak-to-peak:
// smaller ripples and noise riding on a crossing do not make periods of their own.
constexpr double kHysteresisShare = 0.15;
// A period further than this from the mean period makes the swinging irregular (noise).
constexpr double kMaxPeriodSpread = 0.25;
// A smaller decrement is a steady oscillation, within what a sampled amplitude can tell.
constexpr double kMinDecrement = 0.01;
constexpr double kPi = 3.14159265358979323846;

QString tr(const char* text)
{
    return QString::fromUtf8(text);
}

// The share of [0, 1] in which the straight line from a to b is above level.
double shareAbove(double a, double b, double level)
{
    if (a > level && b > level) {
        return 1;
    }
    if (a <= level && b <= level) {
        return 0;
    }
    const double s = (level - a) / (b - a);
    return a > level ? s : 1 - s;
}

// Where in [0, 1] the line from a (not above level) to b first rises above it; nullopt if never.
std::optional<double> entryAbove(double a, double b, double level)
{
    if (b <= level) {
        return std::nullopt;
    }
    return (level - a) / (b - a);
}

// The top of a parabola through three equally spaced samples, relative to the middle one.
double parabolaTop(double left, double middle, double right)
{
    const double curve = left - 2 * middle + right;
    if (curve >= 0) {
        return middle;
    }
    const double p = 0.5 * (left - right) / curve;
    return middle - 0.25 * (left - right) * p;
}

struct TRange {
    std::span<const double> x;
    std::span<const double> y;
};

TRange clip(std::span<const double> xs, std::span<const double> ys, const TMeasureOptions& options)
{
    const std::size_t n = std::min(xs.size(), ys.size());
    auto first = xs.begin();
    auto last = xs.begin() + std::ptrdiff_t(n);
    if (options.from) {
        first = std::lower_bound(first, last, *options.from);
    }
    if (options.to) {
        last = std::upper_bound(first, last, *options.to);
    }
    const auto lo = std::size_t(first - xs.begin());
    const auto count = std::size_t(last - first);
    return {xs.subspan(lo, count), ys.subspan(lo, count)};
}

double levelOf(std::span<const double> y)
{
    double sum = 0;
    for (double v : y) {
        sum += v;
    }
    return sum / double(y.size());
}

void measureLimit(const TRange& r, const TLimit& limit, TMeasurements& m)
{
    const auto& x = r.x;
    const auto& y = r.y;
    const double level = limit.level;
    auto beyond = [&](double v) { return limit.symmetric ? std::abs(v) > level : v > level; };

    std::optional<double> first;
    if (beyond(y[0])) {
        first = x[0];
    }
    double total = 0;
    for (std::size_t i = 0; i + 1 < x.size(); ++i) {
        const double dx = x[i + 1] - x[i];
        double share = shareAbove(y[i], y[i + 1], level);
        if (limit.symmetric) {
            share += shareAbove(-y[i], -y[i + 1], level);
        }
        total += share * dx;
        if (!first && share > 0) {
            double at = entryAbove(y[i], y[i + 1], level).value_or(1);
            if (limit.symmetric) {
                at = std::min(at, entryAbove(-y[i], -y[i + 1], level).value_or(1));
            }
            first = x[i] + at * dx;
        }
    }
    m.timeBeyond = TMeasureResult::Value(total);
    m.firstCrossing = first ? TMeasureResult::Value(*first)
                            : TMeasureResult::NotApplicable(tr("Не излиза извън границата"));
}

void measureStep(const TRange& r, double startLevel, double endLevel, double peakToPeak, TMeasurements& m)
{
    const double step = endLevel - startLevel;
    if (peakToPeak <= 0 || std::abs(step) < kMinStepShare * peakToPeak) {
        const QString why = tr("Няма стъпало: началото и краят са на едно ниво");
        m.riseTime = m.overshoot = TMeasureResult::NotApplicable(why);
        return;
    }
    // Along the step: 0 at the start level, 1 at the end level, whichever way it goes.
    auto along = [&](std::size_t i) { return (r.y[i] - startLevel) / step; };
    auto crossing = [&](std::size_t from, double share) -> std::optional<double> {
        for (std::size_t i = from; i < r.x.size(); ++i) {
            if (along(i) >= share) {
                if (i == 0) {
                    return r.x[0];
                }
                const double a = along(i - 1);
                const double b = along(i);
                return r.x[i - 1] + (share - a) / (b - a) * (r.x[i] - r.x[i - 1]);
            }
        }
        return std::nullopt;
    };

    double highest = 0;
    for (std::size_t i = 0; i < r.x.size(); ++i) {
        highest = std::max(highest, along(i));
    }
    m.overshoot = TMeasureResult::Value(std::max(0.0, highest - 1) * 100);

    if (along(0) >= 0.1) {
        m.riseTime = TMeasureResult::NotApplicable(tr("Стъпалото е започнало преди участъка"));
        return;
    }
    const auto t10 = crossing(0, 0.1);
    std::size_t from = 0;
    while (from < r.x.size() && along(from) < 0.1) {
        ++from;
    }
    const auto t90 = crossing(from, 0.9);
    if (!t10 || !t90) {
        m.riseTime = TMeasureResult::NotApplicable(tr("Не стига 90 % от стъпалото"));
        return;
    }
    m.riseTime = TMeasureResult::Value(*t90 - *t10);
}

void measureOscillation(const TRange& r, double centre, double peakToPeak, TMeasurements& m)
{
    const auto& x = r.x;
    const auto& y = r.y;
    const double band = kHysteresisShare * peakToPeak / 2;

    // Upward crossings of the centre, each confirmed by a swing to above the band from below it
    // (or from a start within it); the time is that of the last crossing before the confirmation.
    std::vector<double> times;
    std::vector<std::size_t> at;
    enum { Unknown, Low, High } side = Unknown;
    bool candidate = false;
    double candidateTime = 0;
    std::size_t candidateIndex = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (i > 0 && y[i - 1] < centre && y[i] >= centre) {
            candidate = true;
            candidateTime = x[i - 1] + (centre - y[i - 1]) / (y[i] - y[i - 1]) * (x[i] - x[i - 1]);
            candidateIndex = i;
        }
        if (y[i] < centre - band) {
            side = Low;
        } else if (y[i] > centre + band && side != High) {
            // From below the band, or from a start inside it (a flat lead-in at the centre).
            if (candidate) {
                times.push_back(candidateTime);
                at.push_back(candidateIndex);
            }
            candidate = false;
            side = High;
        }
    }

    const int periods = int(times.size()) - 1;
    if (periods < 2 || peakToPeak <= 0) {
        const QString why = times.empty() ? tr("Няма трептене") : tr("По-малко от два периода");
        m.frequency = m.decrement = m.damping = TMeasureResult::NotApplicable(why);
        return;
    }

    // The period as the slope of a straight line through the crossing times: noise on single
    // crossings averages out.
    const double kMean = periods / 2.0;
    double tMean = 0;
    for (double t : times) {
        tMean += t;
    }
    tMean /= double(times.size());
    double num = 0;
    double den = 0;
    for (std::size_t k = 0; k < times.size(); ++k) {
        num += (double(k) - kMean) * (times[k] - tMean);
        den += (double(k) - kMean) * (double(k) - kMean);
    }
    const double period = num / den;
    for (std::size_t k = 0; k + 1 < times.size(); ++k) {
        if (period <= 0 || std::abs(times[k + 1] - times[k] - period) > kMaxPeriodSpread * period) {
            const QString why = tr("Трептенето е неправилно: периодите се различават");
            m.frequency = m.decrement = m.damping = TMeasureResult::NotApplicable(why);
            return;
        }
    }
    m.frequency = TMeasureResult::Value(1 / period);

    // Each period's swing, half of top minus bottom: an error in the centre cancels out.
    std::vector<double> logSwing;
    for (std::size_t k = 0; k + 1 < at.size(); ++k) {
        double top = -INFINITY;
        double bottom = INFINITY;
        for (std::size_t i = at[k]; i < at[k + 1]; ++i) {
            const bool inside = i > 0 && i + 1 < y.size();
            if (y[i] > top) {
                top = inside && y[i] >= y[i - 1] && y[i] >= y[i + 1] ? parabolaTop(y[i - 1], y[i], y[i + 1])
                                                                     : y[i];
            }
            if (y[i] < bottom) {
                bottom = inside && y[i] <= y[i - 1] && y[i] <= y[i + 1]
                    ? -parabolaTop(-y[i - 1], -y[i], -y[i + 1])
                    : y[i];
            }
        }
        logSwing.push_back(std::log(std::max(top - bottom, 1e-300)));
    }
    double lMean = 0;
    for (double l : logSwing) {
        lMean += l;
    }
    lMean /= double(logSwing.size());
    const double sMean = double(logSwing.size() - 1) / 2;
    num = den = 0;
    for (std::size_t k = 0; k < logSwing.size(); ++k) {
        num += (double(k) - sMean) * (logSwing[k] - lMean);
        den += (double(k) - sMean) * (double(k) - sMean);
    }
    const double decrement = -num / den;
    if (decrement < kMinDecrement) {
        const QString why = tr("Трептенето не затихва");
        m.decrement = m.damping = TMeasureResult::NotApplicable(why);
        return;
    }
    m.decrement = TMeasureResult::Value(decrement);
    m.damping = TMeasureResult::Value(decrement / std::sqrt(4 * kPi * kPi + decrement * decrement));
}

} // namespace

TMeasurements Measure(std::span<const double> xs, std::span<const double> ys, const TMeasureOptions& options)
{
    TMeasurements m;
    const TRange r = clip(xs, ys, options);
    const std::size_t n = r.x.size();
    m.samples = int(n);
    if (n == 0) {
        const auto none = TMeasureResult::NotApplicable(tr("Няма точки в участъка"));
        m.minimum = m.maximum = m.peak = m.peakToPeak = m.mean = m.rms = m.peakTime = none;
        m.firstCrossing = m.timeBeyond = m.riseTime = m.overshoot = none;
        m.frequency = m.decrement = m.damping = none;
        return m;
    }

    std::size_t lowest = 0;
    std::size_t highest = 0;
    std::size_t farthest = 0;
    for (std::size_t i = 1; i < n; ++i) {
        if (r.y[i] < r.y[lowest]) {
            lowest = i;
        }
        if (r.y[i] > r.y[highest]) {
            highest = i;
        }
        if (std::abs(r.y[i]) > std::abs(r.y[farthest])) {
            farthest = i;
        }
    }
    const double peakToPeak = r.y[highest] - r.y[lowest];
    m.minimum = TMeasureResult::Value(r.y[lowest]);
    m.maximum = TMeasureResult::Value(r.y[highest]);
    m.peak = TMeasureResult::Value(r.y[farthest]);
    m.peakTime = TMeasureResult::Value(r.x[farthest]);
    m.peakToPeak = TMeasureResult::Value(peakToPeak);

    // Each sample stands for the span halfway to its neighbours; an end sample for as much
    // beyond itself as towards its neighbour, so evenly spaced samples weigh the same.
    double weightSum = 0;
    double sum = 0;
    double squares = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double left = i > 0 ? r.x[i] - r.x[i - 1] : (n > 1 ? r.x[1] - r.x[0] : 0);
        const double right = i + 1 < n ? r.x[i + 1] - r.x[i] : left;
        double w = (left + right) / 2;
        if (r.x[n - 1] == r.x[0]) {
            w = 1; // every sample at one time: plain average
        }
        weightSum += w;
        sum += w * r.y[i];
        squares += w * r.y[i] * r.y[i];
    }
    m.mean = TMeasureResult::Value(sum / weightSum);
    m.rms = TMeasureResult::Value(std::sqrt(squares / weightSum));

    if (options.limit) {
        measureLimit(r, *options.limit, m);
    } else {
        const auto none = TMeasureResult::NotApplicable(tr("Величината няма граница"));
        m.firstCrossing = m.timeBeyond = none;
    }

    if (n < 4) {
        const auto few = TMeasureResult::NotApplicable(tr("Твърде малко точки"));
        m.riseTime = m.overshoot = m.frequency = m.decrement = m.damping = few;
        return m;
    }
    const double startLevel = levelOf(r.y.first(std::max<std::size_t>(1, n / 20)));
    const double endLevel = levelOf(r.y.last(std::max<std::size_t>(1, n / 10)));
    measureStep(r, startLevel, endLevel, peakToPeak, m);
    measureOscillation(r, levelOf(r.y.last(std::max<std::size_t>(1, n / 4))), peakToPeak, m);
    return m;
}

std::optional<double> Interpolate(std::span<const double> xs, std::span<const double> ys, double x)
{
    const std::size_t n = std::min(xs.size(), ys.size());
    if (n == 0 || x < xs[0] || x > xs[n - 1]) {
        return std::nullopt;
    }
    const auto end = xs.begin() + std::ptrdiff_t(n);
    const auto i = std::size_t(std::lower_bound(xs.begin(), end, x) - xs.begin());
    if (xs[i] == x || i == 0) {
        return ys[i];
    }
    const double share = (x - xs[i - 1]) / (xs[i] - xs[i - 1]);
    return ys[i - 1] + share * (ys[i] - ys[i - 1]);
}

} // namespace measure
