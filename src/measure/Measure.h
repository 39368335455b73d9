#pragma once
// Automatic measurements of one trace, widget-free.
//
// How to call it:
//     measure::TMeasurements m = measure::Measure(xs, ys);            // the whole trace
//     measure::TMeasureOptions o;  o.from = a;  o.to = b;          // between the cursors
//     measure::TMeasurements m = measure::Measure(xs, ys, o);
//     if (m.rms.ok) use(m.rms.value); else tooltip(m.rms.why);
// xs and ys are the samples' times and values, equally long, xs ascending (not necessarily
// evenly spaced). Every result is in the trace's own units: values in the Y unit, times and
// durations in the X unit, frequencies in cycles per X unit (pass xs in seconds for Hz).
// A result that does not apply to the trace has ok == false and says why, in Bulgarian, for
// the tool tip. The call is re-entrant and may run on any thread.

#include <QString>

#include <optional>
#include <span>

namespace measure {

struct TMeasureResult {
    bool ok = false;
    double value = 0;
    QString why; // why there is no value, when !ok

    static TMeasureResult Value(double v) { return {true, v, {}}; }
    static TMeasureResult NotApplicable(QString reason) { return {false, 0, std::move(reason)}; }
};

// The limit a read-out is coloured against: beyond it means value > level, or with
// `symmetric` (the voltage's band) |value| > level.
struct TLimit {
    double level = 0;
    bool symmetric = false;
};

struct TMeasureOptions {
    // Only the samples with from <= x <= to; an absent end is the trace's own.
    std::optional<double> from;
    std::optional<double> to;
    // For the first crossing and the time beyond; without it those two do not apply.
    std::optional<TLimit> limit;
};

struct TMeasurements {
    TMeasureResult minimum;
    TMeasureResult maximum;
    TMeasureResult peak; // the value farthest from zero, with its sign
    TMeasureResult peakToPeak;
    TMeasureResult mean; // time-weighted: each sample stands for the span halfway to its neighbours
    TMeasureResult rms; // time-weighted as the mean
    TMeasureResult peakTime; // x of the peak's first sample
    TMeasureResult firstCrossing; // x where the trace first goes beyond the limit
    TMeasureResult timeBeyond; // total duration beyond the limit
    TMeasureResult riseTime; // 10 % to 90 % of the step from the start level to the end level
    TMeasureResult overshoot; // % of the step by which the trace goes past the end level
    TMeasureResult frequency; // of the oscillation about the end level, cycles per X unit
    TMeasureResult decrement; // logarithmic decrement of a decaying oscillation
    TMeasureResult damping; // damping ratio from the decrement
    int samples = 0; // samples in the range
};

TMeasurements Measure(
    std::span<const double> xs, std::span<const double> ys, const TMeasureOptions& options = {});

// The value at x by straight lines between samples (xs ascending); nullopt outside the trace.
std::optional<double> Interpolate(std::span<const double> xs, std::span<const double> ys, double x);

} // namespace measure
