// Measurements and spectra of signals whose answers are known in closed form.

#include "measure/Measure.h"
#include "measure/Fourier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

using namespace measure;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kNotApplicable = NAN;

struct Trace {
    std::vector<double> x;
    std::vector<double> y;
};

// n samples at k / rate of f(t).
Trace sampled(int n, double rate, const std::function<double(double)>& f)
{
    Trace t;
    for (int k = 0; k < n; ++k) {
        t.x.push_back(k / rate);
        t.y.push_back(f(k / rate));
    }
    return t;
}

// A sine of period 200 sampled every 1 in its upper half and every 3 in its lower half, ten
// periods: an average over samples would weigh the upper half three times.
Trace uneven()
{
    Trace t;
    for (double x = 0; x <= 2000; x += std::sin(2 * kPi * x / 200) >= 0 ? 1 : 3) {
        t.x.push_back(x);
        t.y.push_back(std::sin(2 * kPi * x / 200));
    }
    return t;
}

// A step of a second-order system with damping ratio zeta at 10 Hz, starting at 0.1 s.
Trace secondOrderStep(double zeta)
{
    const double wn = 2 * kPi * 10;
    const double wd = wn * std::sqrt(1 - zeta * zeta);
    return sampled(4000, 2000, [=](double t) {
        if (t < 0.1) {
            return 0.0;
        }
        const double u = t - 0.1;
        return 1
            - std::exp(-zeta * wn * u)
            * (std::cos(wd * u) + zeta / std::sqrt(1 - zeta * zeta) * std::sin(wd * u));
    });
}

Trace noisy(Trace t, double sigma)
{
    std::mt19937 gen(12345);
    std::normal_distribution<double> noise(0, sigma);
    for (double& v : t.y) {
        v += noise(gen);
    }
    return t;
}

struct Expect {
    const char* what;
    TMeasureResult TMeasurements::*field;
    double value; // kNotApplicable: the result must say why instead
    double tolerance;
};

struct Case {
    const char* name;
    Trace trace;
    TMeasureOptions options;
    std::vector<Expect> expect;
};

TMeasureOptions limited(TLimit limit)
{
    TMeasureOptions o;
    o.limit = limit;
    return o;
}

TMeasureOptions between(double from, double to)
{
    TMeasureOptions o;
    o.from = from;
    o.to = to;
    return o;
}

#define FIELD(f) #f, &TMeasurements::f

} // namespace

TEST(Measure, SignalsWithKnownAnswers)
{
    const auto sine = [](double a, double f, double phase = 0) {
        return [=](double t) { return a * std::sin(2 * kPi * f * t + phase); };
    };
    const double zetaLow = 0.1;
    const double decrementLow = 2 * kPi * zetaLow / std::sqrt(1 - zetaLow * zetaLow);
    const double dampedDecrement = 0.25;

    const std::vector<Case> cases = {
        {"sine of ten whole periods, limit 1", sampled(2000, 10000, sine(2, 50)), limited({1, false}),
            {
                {FIELD(rms), 2 / std::sqrt(2.0), 0.001 * 2 / std::sqrt(2.0)},
                {FIELD(mean), 0, 1e-3},
                {FIELD(minimum), -2, 1e-3},
                {FIELD(peakToPeak), 4, 2e-3},
                {FIELD(peakTime), 0.005, 1e-4},
                {FIELD(frequency), 50, 0.25},
                // sin > 1/2 from 1/12 to 5/12 of each period
                {FIELD(firstCrossing), 1.0 / 600, 1e-4},
                {FIELD(timeBeyond), 0.2 / 3, 1e-4},
                {FIELD(decrement), kNotApplicable, 0},
                {FIELD(riseTime), kNotApplicable, 0},
            }},
        {"the same against a band of +-1", sampled(2000, 10000, sine(2, 50)), limited({1, true}),
            {{FIELD(timeBeyond), 0.4 / 3, 1e-4}, {FIELD(firstCrossing), 1.0 / 600, 1e-4}}},
        {"sine of 10.4 periods with a phase", sampled(4400, 20000, sine(1, 47.3, 1.1)), {},
            {{FIELD(frequency), 47.3, 0.005 * 47.3}, {FIELD(decrement), kNotApplicable, 0}}},
        {"sine with noise", noisy(sampled(4000, 20000, sine(1, 50)), 0.03), {},
            {{FIELD(frequency), 50, 0.25}, {FIELD(rms), std::sqrt(0.5 + 0.03 * 0.03), 0.005}}},
        {"noise alone", noisy(sampled(4000, 20000, sine(0, 50)), 1), {},
            {{FIELD(frequency), kNotApplicable, 0}, {FIELD(decrement), kNotApplicable, 0},
                {FIELD(mean), 0, 0.05}}},
        {"damped sine",
            sampled(6000, 10000,
                [&](double t) {
                    return 3 * std::exp(-dampedDecrement * 20 * t) * std::sin(2 * kPi * 20 * t);
                }),
            {},
            {
                {FIELD(decrement), dampedDecrement, 0.02 * dampedDecrement},
                {FIELD(damping),
                    dampedDecrement / std::sqrt(4 * kPi * kPi + dampedDecrement * dampedDecrement),
                    0.02 * 0.04},
                {FIELD(frequency), 20, 0.1},
                {FIELD(riseTime), kNotApplicable, 0},
            }},
        {"two periods of ringing after a flat lead-in at its own centre",
            sampled(900, 10000,
                [&](double t) {
                    return t < 0.02 ? 0.0
                                    : 800 * std::exp(-dampedDecrement * 40 * (t - 0.02))
                            * std::sin(2 * kPi * 40 * (t - 0.02));
                }),
            {},
            {{FIELD(frequency), 40, 0.005 * 40},
                {FIELD(decrement), dampedDecrement, 0.02 * dampedDecrement}}},
        {"first-order step, tau 20 ms",
            sampled(
                500, 1000, [](double t) { return t < 0.1 ? 0.0 : 5 * (1 - std::exp(-(t - 0.1) / 0.02)); }),
            {},
            {{FIELD(riseTime), 0.02 * std::log(9.0), 0.001}, {FIELD(overshoot), 0, 0.01},
                {FIELD(frequency), kNotApplicable, 0}}},
        {"second-order step, damping ratio 0.1", secondOrderStep(zetaLow), {},
            {
                {FIELD(overshoot), 100 * std::exp(-kPi * zetaLow / std::sqrt(1 - zetaLow * zetaLow)), 0.3},
                {FIELD(frequency), 10 * std::sqrt(1 - zetaLow * zetaLow), 0.005 * 10},
                {FIELD(decrement), decrementLow, 0.02 * decrementLow},
                {FIELD(damping), zetaLow, 0.02 * zetaLow},
            }},
        {"unevenly spaced sine", uneven(), {},
            {{FIELD(rms), std::sqrt(0.5), 0.001 * std::sqrt(0.5)}, {FIELD(mean), 0, 0.005},
                {FIELD(frequency), 0.005, 0.005 * 0.005}}},
        {"between cursors: the second half only",
            sampled(2000, 1000, [](double t) { return t < 1 ? std::sin(100 * t) : 3 * std::sin(100 * t); }),
            between(1.0, 1.999), {{FIELD(maximum), 3, 0.01}, {FIELD(rms), 3 / std::sqrt(2.0), 0.02}}},
        {"a range with no samples", sampled(100, 1000, sine(1, 50)), between(5.0, 6.0),
            {{FIELD(rms), kNotApplicable, 0}, {FIELD(peak), kNotApplicable, 0}}},
        {"no limit", sampled(100, 1000, sine(1, 50)), {}, {{FIELD(timeBeyond), kNotApplicable, 0}}},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TMeasurements m = Measure(c.trace.x, c.trace.y, c.options);
        for (const Expect& e : c.expect) {
            SCOPED_TRACE(e.what);
            const TMeasureResult& r = m.*e.field;
            if (std::isnan(e.value)) {
                EXPECT_FALSE(r.ok) << r.value;
                EXPECT_FALSE(r.why.isEmpty());
            } else {
                EXPECT_TRUE(r.ok) << r.why.toStdString();
                EXPECT_NEAR(r.value, e.value, e.tolerance);
            }
        }
    }
}

TEST(Measure, InterpolatesBetweenSamples)
{
    const std::vector<double> x = {0, 1, 3};
    const std::vector<double> y = {0, 10, -10};
    const struct {
        double at;
        std::optional<double> value;
    } cases[] = {
        {0, 0.0}, {0.5, 5.0}, {1, 10.0}, {2.5, -5.0}, {3, -10.0}, {-0.1, std::nullopt}, {3.1, std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(Interpolate(x, y, c.at), c.value) << c.at;
    }
}

TEST(Spectrum, PeakOfAKnownSine)
{
    const struct {
        const char* name;
        Trace trace;
        double frequency;
        double frequencyTolerance;
        double magnitude; // 0: not checked
        bool resampled;
    } cases[] = {
        {"on a bin", sampled(1000, 1000, [](double t) { return 2 * std::sin(2 * kPi * 50 * t); }), 50, 0.05,
            2, false},
        {"half a bin off, on an offset",
            sampled(1000, 1000, [](double t) { return 5 + 2 * std::sin(2 * kPi * 50.5 * t); }), 50.5, 0.1, 2,
            false},
        {"the chart's 10,003 points",
            sampled(10003, 10000, [](double t) { return 3 * std::cos(2 * kPi * 123.4 * t); }), 123.4, 0.1, 3,
            false},
        {"unevenly spaced", uneven(), 0.005, 0.005 * 0.01, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TSpectrum s = Spectrum(c.trace.x, c.trace.y);
        ASSERT_TRUE(s.ok) << s.why.toStdString();
        EXPECT_EQ(s.resampled, c.resampled);
        ASSERT_TRUE(s.peakFrequency.ok);
        EXPECT_NEAR(s.peakFrequency.value, c.frequency, c.frequencyTolerance);
        if (c.magnitude > 0) {
            EXPECT_NEAR(s.peakMagnitude.value, c.magnitude, 0.02 * c.magnitude);
        }
        EXPECT_EQ(s.frequency.size(), s.magnitude.size());
        EXPECT_NEAR(s.frequency.back(), 0.5 / s.step, 1.0 / (s.step * double(c.trace.x.size())));
    }
}
