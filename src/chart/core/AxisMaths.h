#pragma once
// Numbers-only helpers of the axes: rounding, the 1-2-5 step rule, the label step, the label
// values and the index range of one page of points.

#include <vector>

namespace chartmath {

inline constexpr double kMinStep = 1e-12;
inline constexpr double kMinSpan = 1e-10;
inline constexpr int kMaxLabelSteps = 10000;
inline constexpr int kMaxTickPositions = 2000;

// v to the nearest integer, halves to even.
double nearest(double v);

// The next larger step of the 1-2-5 series (…, 0.5, 1, 2, 5, 10, 20, …).
double nextStep(double step);

// The label step of an axis: labelSize is the largest label's size in pixels along the axis.
// Where labels fit, the step is never below minStep, the smallest difference the label format
// shows, so that no two labels read the same.
double labelStep(double range, double increment, int axisSize, int labelSize, int labelsSeparation,
    double minStep = kMinStep);

// Label values from the top down, as the axis draws them.
std::vector<double> labelValues(
    double effectiveMinimum, double effectiveMaximum, double step, bool roundFirstLabel);

struct PageRange {
    int first = 0;
    int last = -1;
};
// Indices of the points on page (from 1) of count points with pointsPerPage per page.
PageRange pageRange(int count, int pointsPerPage, int page);
// Pages needed for count points; 1 without points or without paging.
int pageCount(int count, int pointsPerPage);

} // namespace chartmath
