#pragma once
// The two measuring cursors, A and B: vertical lines at an X of the scope chart, in the X
// unit in force. Each is turned on by itself; a cursor turned on stands where it stood, or at
// a third (A) or two thirds (B) of the visible X range when that is off the view (over an empty
// chart, once it has a range). The
// read-out gives every drawn trace's value at each cursor on the straight line between its
// samples, ΔY = B − A, and with both on ΔX = B − A.

#include "chart/core/ChartTraces.h"

#include <optional>
#include <vector>

enum class TCursorId { A, B };

struct TCursorRow {
    std::int64_t id = 0;
    QString name;
    TColor color = clRed;
    QString unit;
    const TChartAxis* axis = nullptr; // formats the trace's values
    std::optional<double> a; // absent off the trace's samples or with the cursor off
    std::optional<double> b;
    double resolution = 0; // below this a value or difference reads 0: a billionth of its axis
};

struct TCursorPairReading {
    std::optional<double> a;
    std::optional<double> b;
    QString xUnit;
    double xResolution = 0;
    std::vector<TCursorRow> rows;
};

class TChartCursors {
public:
    static constexpr int kGrabPixels = 4;

    TChartCursors(TChartModel& chart, const TChartTraces& traces);

    bool IsOn(TCursorId which) const { return line(which).on; }
    bool AnyOn() const { return a_.on || b_.on; }
    void SetOn(TCursorId which, bool on);
    // A cursor turned on over an empty chart gets its place once the chart has a range.
    void PlaceUnplaced();
    std::optional<double> Position(TCursorId which) const;
    void MoveTo(TCursorId which, double x);
    // To the next sample of the measured trace towards `direction` (+1 right, −1 left) from
    // where the cursor stands; one pixel's worth when that trace has no sample that way.
    void Step(TCursorId which, int direction);
    // The cursor moved last (or turned on last); the arrow keys move it.
    TCursorId Last() const { return last_; }
    // The cursor whose line is within kGrabPixels of pixel x on the latest layout (the nearer
    // one when both are), if any.
    std::optional<TCursorId> At(int x) const;
    std::optional<int> Pixel(TCursorId which) const;

    // The X range between the cursors when both are on.
    std::optional<std::pair<double, double>> Range() const;
    TCursorPairReading Read() const;

private:
    struct Line {
        bool on = false;
        std::optional<double> x;
    };
    Line& line(TCursorId which) { return which == TCursorId::A ? a_ : b_; }
    const Line& line(TCursorId which) const { return which == TCursorId::A ? a_ : b_; }

    TChartModel& chart_;
    const TChartTraces& traces_;
    Line a_;
    Line b_;
    TCursorId last_ = TCursorId::A;
};
