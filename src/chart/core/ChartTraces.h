#pragma once
// The traces on the scope chart: the live series and up to eight stored captures beside it
// (references). Each reference has its own colour, the palette entry of its slot, and keeps
// its own units: its times are converted to the X unit in force, a Y unit other than the
// main one is drawn against the right axis, and a third Y unit is not drawn, its legend row
// saying why. The axis titles always name the units of the traces drawn against them: the
// live trace's, or with the live trace empty, the first shown reference's.

#include "chart/core/ChartModel.h"
#include "chart/core/LineSeries.h"
#include "chart/core/TraceInfo.h"

#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

enum class TTracePlace {
    Left,
    Right,
    Unticked, // hidden by the operator
    Unplaced, // shown, but its units have no axis: the reason is in `why`
};

struct TReferenceTrace {
    TTraceInfo info;
    int slot = 0;
    TLineSeries* series = nullptr;
    bool ticked = true;
    TTracePlace place = TTracePlace::Left;
    QString why;
};

// One row of the legend; the live trace's row has id 0.
struct TLegendRow {
    std::int64_t id = 0;
    TColor color = clRed;
    QString number;
    QString event;
    QString start;
    QString units;
    QString note; // why a ticked trace is not drawn
    bool ticked = true;
    bool selected = false;
    bool operator==(const TLegendRow&) const = default;
};

// The scope cursor at one X: every drawn trace's value there, in its own units.
struct TCursorValue {
    std::int64_t id = 0;
    QString name;
    TColor color = clRed;
    bool has = false; // false where the trace has no point at either side
    double value = 0;
    QString unit;
    const TChartAxis* axis = nullptr;
};

struct TCursorReading {
    bool valid = false; // false off the plotting rectangle or over an empty chart
    int pixel = 0;
    double x = 0;
    QString xUnit;
    std::vector<TCursorValue> values;
};

// A trace drawn on the chart, for the cursors and the measurements: its series (X in the X
// unit in force, through the series' multiplier) and its capture.
struct TDrawnTrace {
    std::int64_t id = 0;
    QString name; // "Живо" or "№4"
    const TChartSeries* series = nullptr;
    TTraceInfo info;
};

class TChartTraces {
public:
    static constexpr int kMaxReferences = 8;
    // Readable on the chart's background and its white wall (contrast 3:1 or more), apart from
    // the live red and from each other. Grey first: the single overlay of earlier versions.
    static const std::array<TColor, kMaxReferences>& Palette();

    // Adds the eight reference series (Series2 … Series9) behind the live one, and sets the
    // right axis up for a second Y unit.
    TChartTraces(TChartModel& chart, TChartSeries& live);
    TChartTraces(const TChartTraces&) = delete;
    TChartTraces& operator=(const TChartTraces&) = delete;

    TChartSeries& Live() const { return live_; }
    // The live capture and its units, as shown (a held picture keeps those it was taken with).
    const TTraceInfo& LiveInfo() const { return liveInfo_; }
    void SetLiveInfo(const TTraceInfo& info);
    // The live series became empty or got its first point.
    void LiveChanged() { update(); }

    // Shows a stored capture, x in its own X unit. A capture already shown gets the new
    // points; false (nothing changed) when kMaxReferences are shown already.
    bool Show(const TTraceInfo& info, const std::vector<std::int64_t>& x, const std::vector<std::int32_t>& y);
    void Hide(std::int64_t id);
    bool IsShown(std::int64_t id) const { return find(id) != nullptr; }
    const std::vector<TReferenceTrace>& References() const { return refs_; }
    std::vector<std::int64_t> ShownIds() const;
    const TReferenceTrace* Reference(std::int64_t id) const { return find(id); }
    // The series of a slot; the first reference is drawn by Series2, the next free slot's.
    TLineSeries* SlotSeries(int slot) const { return slots_[std::size_t(slot)]; }

    // The legend's tick and its selection; id 0 is the live trace, kNone no trace.
    static constexpr std::int64_t kNone = -1;
    void SetTicked(std::int64_t id, bool ticked);
    bool LiveTicked() const { return liveTicked_; }
    void Select(std::int64_t id);
    std::int64_t Selected() const { return selected_; }

    std::vector<TLegendRow> LegendRows() const;
    // The live trace first when drawn, then every reference drawn against an axis.
    std::vector<TDrawnTrace> DrawnTraces() const;
    // What the measurements are of: the selected trace when it is drawn, else the first drawn.
    std::optional<TDrawnTrace> MeasuredTrace() const;
    TCursorReading CursorAt(int x, int y) const;
    // "X = 12.5 mS   Y = -263 V   №4 = 12.3 A"; empty when the reading is not valid.
    QString CursorText(const TCursorReading& reading) const;
    // The title block of a picture: the capture it shows (the live one, or with the live trace
    // empty the first drawn reference) with its event, start and port, then every trace's units.
    QStringList PictureTitle() const;
    // The capture the picture shows, for the proposed file name.
    TTraceInfo PictureCapture() const;

    // A change the legend shows.
    std::function<void()> OnChanged;

private:
    TReferenceTrace* find(std::int64_t id);
    const TReferenceTrace* find(std::int64_t id) const;
    bool liveDrawn() const { return liveTicked_ && live_.Count() > 0; }
    void update();
    static QString units(const TTraceInfo& info);

    TChartModel& chart_;
    TChartSeries& live_;
    std::array<TLineSeries*, kMaxReferences> slots_{};
    std::vector<TReferenceTrace> refs_; // in the order shown
    TTraceInfo liveInfo_;
    bool liveTicked_ = true;
    std::int64_t selected_ = kNone;
};
