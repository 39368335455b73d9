#include "chart/core/ChartTraces.h"

#include "chart/core/ChartCursor.h"
#include "chart/core/ScopeFormValues.h"

#include <algorithm>

namespace {

namespace text {
const QString live = QStringLiteral("Живо");
const QString number = QStringLiteral("№%1");
const QString thirdUnit = QStringLiteral("не е начертан: трета мярка %1 (осите са за %2 и %3)");
const QString otherTime = QStringLiteral("не е начертан: времето в %1 не се превръща в %2");
const QString capture = QStringLiteral("Запис №%1");
const QString liveCapture = QStringLiteral("Текущ запис");
const QString port = QStringLiteral("порт %1");
const QString units = QStringLiteral("Мерни единици: %1");
const QString rightAxis = QStringLiteral("дясна ос");
const QString separator = QStringLiteral(" · ");
} // namespace text

const std::array<TColor, TChartTraces::kMaxReferences> kPalette{
    clGray, // the earlier single overlay's grey
    clBlue, clGreen,
    TColor(0xC000C0), // magenta, darker than clFuchsia so it reads on white
    clTeal,
    TColor(0x0060D0), // orange
    clNavy,
    TColor(0x006060), // dark olive
};

} // namespace

const std::array<TColor, TChartTraces::kMaxReferences>& TChartTraces::Palette()
{
    return kPalette;
}

TChartTraces::TChartTraces(TChartModel& chart, TChartSeries& live)
    : chart_(chart)
    , live_(live)
{
    for (int i = 0; i < kMaxReferences; ++i) {
        TLineSeries* s = AddReferenceSeries(chart, i, kPalette[std::size_t(i)]);
        s->SetActive(false);
        slots_[std::size_t(i)] = s;
    }
    // A second unit's axis: its title reads like the left one's, and one grid is enough.
    TChartAxis& right = chart.RightAxis();
    right.Title().SetAngle(0);
    right.Grid().Visible = false;
    right.SetExactDateTime(false);
    liveInfo_.xUnit = chart.BottomAxis().Title().Caption();
    liveInfo_.yUnit = chart.LeftAxis().Title().Caption();
}

TReferenceTrace* TChartTraces::find(std::int64_t id)
{
    const auto it = std::find_if(refs_.begin(), refs_.end(), [&](const auto& r) { return r.info.id == id; });
    return it == refs_.end() ? nullptr : &*it;
}

const TReferenceTrace* TChartTraces::find(std::int64_t id) const
{
    return const_cast<TChartTraces*>(this)->find(id);
}

void TChartTraces::SetLiveInfo(const TTraceInfo& info)
{
    liveInfo_ = info;
    update();
}

bool TChartTraces::Show(
    const TTraceInfo& info, const std::vector<std::int64_t>& x, const std::vector<std::int32_t>& y)
{
    TReferenceTrace* r = find(info.id);
    if (!r) {
        if (int(refs_.size()) >= kMaxReferences) {
            return false;
        }
        int slot = 0;
        while (std::any_of(refs_.begin(), refs_.end(), [&](const auto& t) { return t.slot == slot; })) {
            ++slot;
        }
        TReferenceTrace added;
        added.slot = slot;
        added.series = slots_[std::size_t(slot)];
        refs_.push_back(added);
        r = &refs_.back();
    }
    r->info = info;
    TLineSeries& s = *r->series;
    s.Clear();
    const std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i) {
        s.AddPoint(double(x[i]), double(y[i]), QString(), clDefault);
    }
    update();
    return true;
}

void TChartTraces::Hide(std::int64_t id)
{
    const auto it = std::find_if(refs_.begin(), refs_.end(), [&](const auto& r) { return r.info.id == id; });
    if (it == refs_.end()) {
        return;
    }
    it->series->SetActive(false);
    it->series->Clear();
    it->series->XValues().SetMultiplier(1);
    refs_.erase(it);
    if (selected_ == id) {
        selected_ = kNone;
    }
    update();
}

std::vector<std::int64_t> TChartTraces::ShownIds() const
{
    std::vector<std::int64_t> ids;
    for (const TReferenceTrace& r : refs_) {
        ids.push_back(r.info.id);
    }
    return ids;
}

void TChartTraces::SetTicked(std::int64_t id, bool ticked)
{
    if (id == 0) {
        liveTicked_ = ticked;
    } else if (TReferenceTrace* r = find(id)) {
        r->ticked = ticked;
    } else {
        return;
    }
    update();
}

void TChartTraces::Select(std::int64_t id)
{
    selected_ = id == 0 || find(id) ? id : kNone;
    update();
}

QString TChartTraces::units(const TTraceInfo& info)
{
    const QString none = QStringLiteral("–");
    return (info.yUnit.isEmpty() ? none : info.yUnit) + QStringLiteral(" / ")
        + (info.xUnit.isEmpty() ? none : info.xUnit);
}

void TChartTraces::update()
{
    // The units the axes are titled with: the live trace's while it is drawn, else the first
    // shown reference's, else (an empty chart) the live trace's again.
    const TReferenceTrace* lead = nullptr;
    if (!liveDrawn()) {
        const auto it = std::find_if(refs_.begin(), refs_.end(), [](const auto& r) { return r.ticked; });
        lead = it == refs_.end() ? nullptr : &*it;
    }
    const QString xUnit = lead ? lead->info.xUnit : liveInfo_.xUnit;
    const QString leftUnit = lead ? lead->info.yUnit : liveInfo_.yUnit;
    QString rightUnit;
    for (TReferenceTrace& r : refs_) {
        const double factor = chartmath::timeFactor(r.info.xUnit, xUnit);
        r.why.clear();
        if (!r.ticked) {
            r.place = TTracePlace::Unticked;
        } else if (factor == 0) {
            r.place = TTracePlace::Unplaced;
            r.why = text::otherTime.arg(r.info.xUnit, xUnit);
        } else if (r.info.yUnit == leftUnit) {
            r.place = TTracePlace::Left;
        } else if (rightUnit.isEmpty() || r.info.yUnit == rightUnit) {
            rightUnit = r.info.yUnit;
            r.place = TTracePlace::Right;
        } else {
            r.place = TTracePlace::Unplaced;
            r.why = text::thirdUnit.arg(r.info.yUnit, leftUnit, rightUnit);
        }
        TLineSeries& s = *r.series;
        s.XValues().SetMultiplier(factor == 0 ? 1 : factor);
        s.SetVertAxis(r.place == TTracePlace::Right ? aRightAxis : aLeftAxis);
        s.SetActive(r.place == TTracePlace::Left || r.place == TTracePlace::Right);
        s.LinePen().Width = selected_ == r.info.id ? 2 : 1;
    }
    live_.SetActive(liveTicked_);
    if (auto* line = dynamic_cast<TCustomSeries*>(&live_)) {
        line->LinePen().Width = selected_ == 0 ? 2 : 1;
    }
    chart_.BottomAxis().Title().SetCaption(xUnit);
    chart_.LeftAxis().Title().SetCaption(leftUnit);
    chart_.RightAxis().Title().SetCaption(rightUnit);
    chart_.Invalidate();
    if (OnChanged) {
        OnChanged();
    }
}

std::vector<TLegendRow> TChartTraces::LegendRows() const
{
    std::vector<TLegendRow> rows;
    TLegendRow live;
    live.id = 0;
    live.color = live_.SeriesColor();
    live.number = text::live;
    live.event = liveInfo_.event;
    live.start = chartmath::startText(liveInfo_.started);
    live.units = units(liveInfo_);
    live.ticked = liveTicked_;
    live.selected = selected_ == 0;
    rows.push_back(live);
    for (const TReferenceTrace& r : refs_) {
        TLegendRow row;
        row.id = r.info.id;
        row.color = r.series->SeriesColor();
        row.number = text::number.arg(r.info.id);
        row.event = r.info.event;
        row.start = chartmath::startText(r.info.started);
        row.units = units(r.info);
        row.note = r.why;
        row.ticked = r.ticked;
        row.selected = selected_ == r.info.id;
        rows.push_back(row);
    }
    return rows;
}

std::vector<TDrawnTrace> TChartTraces::DrawnTraces() const
{
    std::vector<TDrawnTrace> traces;
    if (liveDrawn()) {
        traces.push_back({0, text::live, &live_, liveInfo_});
    }
    for (const TReferenceTrace& r : refs_) {
        if ((r.place == TTracePlace::Left || r.place == TTracePlace::Right) && r.series->Count() > 0) {
            traces.push_back({r.info.id, text::number.arg(r.info.id), r.series, r.info});
        }
    }
    return traces;
}

std::optional<TDrawnTrace> TChartTraces::MeasuredTrace() const
{
    const std::vector<TDrawnTrace> traces = DrawnTraces();
    if (traces.empty()) {
        return std::nullopt;
    }
    for (const TDrawnTrace& t : traces) {
        if (t.id == selected_) {
            return t;
        }
    }
    return traces.front();
}

TCursorReading TChartTraces::CursorAt(int x, int y) const
{
    TCursorReading reading;
    if (!chart_.ChartRect().Contains(x, y)) {
        return reading;
    }
    const TChartAxis& bottom = chart_.BottomAxis();
    reading.pixel = x;
    reading.x = bottom.CalcPosPoint(x);
    reading.xUnit = bottom.Title().Caption();
    auto read = [&](const TChartSeries& s, std::int64_t id, const QString& name, const QString& unit) {
        TCursorValue v;
        v.id = id;
        v.name = name;
        v.color = s.SeriesColor();
        v.unit = unit;
        v.axis = s.GetVertAxis();
        v.has = chartmath::valueAt(s, reading.x, v.value);
        reading.values.push_back(v);
    };
    if (liveDrawn()) {
        read(live_, 0, QStringLiteral("Y"), liveInfo_.yUnit);
    }
    for (const TReferenceTrace& r : refs_) {
        if ((r.place == TTracePlace::Left || r.place == TTracePlace::Right) && r.series->Count() > 0) {
            read(*r.series, r.info.id, text::number.arg(r.info.id), r.info.yUnit);
        }
    }
    reading.valid = !reading.values.empty();
    return reading;
}

QString TChartTraces::CursorText(const TCursorReading& reading) const
{
    if (!reading.valid) {
        return {};
    }
    auto withUnit = [](QString text, const QString& unit) {
        if (!unit.isEmpty()) {
            text += QLatin1Char(' ') + unit;
        }
        return text;
    };
    QString text
        = withUnit(QStringLiteral("X = ") + chart_.BottomAxis().FormatValue(reading.x), reading.xUnit);
    for (const TCursorValue& v : reading.values) {
        text += QStringLiteral("   ") + v.name + QStringLiteral(" = ")
            + (v.has ? withUnit(v.axis->FormatValue(v.value), v.unit) : QStringLiteral("–"));
    }
    return text;
}

TTraceInfo TChartTraces::PictureCapture() const
{
    if (liveDrawn() || refs_.empty()) {
        return liveInfo_;
    }
    const auto it = std::find_if(refs_.begin(), refs_.end(),
        [](const auto& r) { return r.place == TTracePlace::Left || r.place == TTracePlace::Right; });
    return it == refs_.end() ? liveInfo_ : it->info;
}

QStringList TChartTraces::PictureTitle() const
{
    const TTraceInfo shown = PictureCapture();
    QStringList head{shown.id > 0 ? text::capture.arg(shown.id) : text::liveCapture};
    if (!shown.event.isEmpty()) {
        head << shown.event;
    }
    if (!shown.started.isEmpty()) {
        head << chartmath::startText(shown.started);
    }
    if (!shown.port.isEmpty()) {
        head << text::port.arg(shown.port);
    }
    QStringList traces;
    if (liveDrawn()) {
        traces << text::live + QLatin1Char(' ') + units(liveInfo_);
    }
    for (const TReferenceTrace& r : refs_) {
        if (r.place == TTracePlace::Left || r.place == TTracePlace::Right) {
            QString t = text::number.arg(r.info.id) + QLatin1Char(' ') + units(r.info);
            if (r.place == TTracePlace::Right) {
                t += QStringLiteral(" (") + text::rightAxis + QLatin1Char(')');
            }
            traces << t;
        }
    }
    return {head.join(text::separator), text::units.arg(traces.join(QStringLiteral("; ")))};
}
