#pragma once
// The magnitude spectrum of one trace, widget-free, by FFTW3.
//
// How to call it:
//     measure::TSpectrum s = measure::Spectrum(xs, ys);          // or with from/to
//     if (s.peakFrequency.ok) use(s.peakFrequency.value, s.peakMagnitude.value);
// xs ascending as for Measure(); frequencies come in cycles per X unit. The trace less its
// mean is weighted by a Hann window; samples not evenly spaced are first resampled evenly,
// as many as there are, and `resampled` says so. A magnitude is the amplitude of a sine at
// that frequency, in the Y unit. Re-entrant; may run on any thread.

#include "measure/Measure.h"

#include <vector>

namespace measure {

struct TSpectrum {
    bool ok = false;
    QString why; // why there is no spectrum, when !ok
    bool resampled = false;
    double step = 0; // between the (resampled) samples, in the X unit
    std::vector<double> frequency; // 0 up to half the sampling rate, evenly spaced
    std::vector<double> magnitude;
    TMeasureResult peakFrequency; // between the bins, from the shape of the peak
    TMeasureResult peakMagnitude;
};

TSpectrum Spectrum(std::span<const double> xs, std::span<const double> ys,
    std::optional<double> from = std::nullopt, std::optional<double> to = std::nullopt);

} // namespace measure
