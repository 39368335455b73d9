// Speed of the measurements and the spectrum of one trace of the chart's maximum, 10,003
// points: together they must stay under 20 ms, so that they follow the cursors while dragging.

#include "measure/Fourier.h"
#include "measure/Measure.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int kPoints = 10003;

struct Trace {
    std::vector<double> x;
    std::vector<double> y;
};

// A step at a tenth of the trace ringing down at 50 Hz, with noise; every 0.1 mS, or with
// `uneven` every 0.05 to 0.15 mS.
Trace ringing(bool uneven)
{
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> spacing(0.05, 0.15);
    std::normal_distribution<double> noise(0, 2);
    Trace t;
    double x = 0;
    for (int k = 0; k < kPoints; ++k) {
        const double s = (x - 100) * 1e-3; // seconds after the step
        const double v = s < 0 ? 0 : 300 - 300 * std::exp(-3 * s) * std::cos(2 * M_PI * 50 * s);
        t.x.push_back(x);
        t.y.push_back(std::round(v + noise(gen)));
        x += uneven ? spacing(gen) : 0.1;
    }
    return t;
}

void BM_Measure(benchmark::State& state)
{
    const Trace t = ringing(state.range(0) != 0);
    measure::TMeasureOptions options;
    options.limit = measure::TLimit{400, true};
    for (auto _ : state) {
        benchmark::DoNotOptimize(measure::Measure(t.x, t.y, options).frequency.value);
    }
}
BENCHMARK(BM_Measure)->Arg(0)->Arg(1)->ArgName("uneven")->Unit(benchmark::kMillisecond);

void BM_Spectrum(benchmark::State& state)
{
    const Trace t = ringing(state.range(0) != 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(measure::Spectrum(t.x, t.y).peakFrequency.value);
    }
}
BENCHMARK(BM_Spectrum)->Arg(0)->Arg(1)->ArgName("uneven")->Unit(benchmark::kMillisecond);

// What one cursor move costs: both over the range between the cursors, here half the trace.
void BM_MeasureAndSpectrum(benchmark::State& state)
{
    const Trace t = ringing(state.range(0) != 0);
    measure::TMeasureOptions options;
    options.limit = measure::TLimit{400, true};
    if (state.range(1) != 0) {
        options.from = t.x[kPoints / 4];
        options.to = t.x[3 * kPoints / 4];
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(measure::Measure(t.x, t.y, options).rms.value);
        benchmark::DoNotOptimize(measure::Spectrum(t.x, t.y, options.from, options.to).peakMagnitude.value);
    }
}
BENCHMARK(BM_MeasureAndSpectrum)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->ArgNames({"uneven", "between"})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
