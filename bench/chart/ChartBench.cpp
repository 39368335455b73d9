// Speed of the scope chart: appending points, one full redraw at the form's size beside a
// bare polyline of the same visible points (the limit), and a scroll step with its redraw.

#include "chart/Chart.h"
#include "chart/ScopeForm.h"
#include "chart/core/ChartTraces.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

double sample(int k)
{
    const double t = k;
    return std::round(1000 * std::exp(-t / 20000) * std::sin(t / 150.0) + 80 * std::sin(t / 7.0));
}

// The scope page's chart as the window sets it up: the live series and the eight reference
// slots (empty until a stored capture is shown).
struct Scope {
    explicit Scope(int points)
    {
        series = SetupScopeChart(chart);
        traces = std::make_unique<TChartTraces>(chart, *series);
        chart.resize(705, 449);
        for (int k = 0; k < points; ++k) {
            series->AddPoint(k, sample(k));
        }
    }
    TChart chart;
    TLineSeries* series = nullptr;
    std::unique_ptr<TChartTraces> traces;
    QImage image{705, 449, QImage::Format_RGB32};
};

void BM_AddPointAscending(benchmark::State& state)
{
    const int n = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto scope = std::make_unique<Scope>(0);
        state.ResumeTiming();
        for (int k = 0; k < n; ++k) {
            scope->series->AddPoint(k, sample(k & 1023));
        }
        benchmark::DoNotOptimize(scope->series->Count());
        state.PauseTiming();
        scope.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.counters["ns_per_point"] = benchmark::Counter(
        double(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AddPointAscending)->Arg(10003)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Appending to a series that already holds range(0) points, memory warm: the cost of one
// append must not depend on how many points are stored.
void BM_AddPointToFilled(benchmark::State& state)
{
    const int n = int(state.range(0));
    constexpr int batch = 1000;
    Scope scope(n);
    for (auto _ : state) {
        for (int k = 0; k < batch; ++k) {
            scope.series->AddPoint(n + k, sample(k));
        }
        state.PauseTiming();
        for (int k = 0; k < batch; ++k) {
            scope.series->Delete(scope.series->Count() - 1);
        }
        state.ResumeTiming();
    }
    state.counters["ns_per_point"] = benchmark::Counter(
        double(batch), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AddPointToFilled)->Arg(10003)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_FullRedraw(benchmark::State& state)
{
    Scope scope(int(state.range(0)));
    for (auto _ : state) {
        scope.chart.DrawTo(scope.image);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FullRedraw)->Arg(10003)->Arg(32001)->Unit(benchmark::kMillisecond);

// Everything of a redraw but the line itself: background, texts, axes, grid.
void BM_FrameWithoutLine(benchmark::State& state)
{
    Scope scope(int(state.range(0)));
    scope.series->LinePen().Visible = false;
    for (auto _ : state) {
        scope.chart.DrawTo(scope.image);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameWithoutLine)->Arg(10003)->Unit(benchmark::kMillisecond);

// The widget-free part of a redraw: data pass, layout, labels and the line's pixels.
void BM_BuildPicture(benchmark::State& state)
{
    Scope scope(int(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(scope.chart.BuildPicture().Series.size());
    }
}
BENCHMARK(BM_BuildPicture)->Arg(10003)->Arg(32001)->Unit(benchmark::kMillisecond);

// The live series beside three stored captures of as many points over the same time: one in
// volts over µS (times converted), two in amperes (the right axis).
void BM_BuildPictureWithReferences(benchmark::State& state)
{
    const int n = int(state.range(0));
    Scope scope(n);
    for (int id = 1; id <= 3; ++id) {
        TTraceInfo info;
        info.id = id;
        info.yUnit = id == 1 ? QStringLiteral("V") : QStringLiteral("A");
        info.xUnit = id == 1 ? QStringLiteral("\u00B5S") : QStringLiteral("mS");
        std::vector<std::int64_t> x;
        std::vector<std::int32_t> y;
        for (int k = 0; k < n; ++k) {
            x.push_back(id == 1 ? 1000 * k : k);
            y.push_back(std::int32_t(sample(k + 100 * id)));
        }
        scope.traces->Show(info, x, y);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(scope.chart.BuildPicture().Series.size());
    }
}
BENCHMARK(BM_BuildPictureWithReferences)->Arg(10003)->Unit(benchmark::kMillisecond);

void BM_BarePolyline(benchmark::State& state)
{
    Scope scope(int(state.range(0)));
    scope.chart.DrawTo(scope.image);
    const TChartPicture& picture = scope.chart.LastPicture();
    QPolygon points;
    for (const TSeriesRun& run : picture.Series.front().Runs) {
        points += run.Points;
    }
    QPen pen(Qt::red);
    pen.setWidth(1);
    pen.setCosmetic(true);
    for (auto _ : state) {
        QPainter p(&scope.image);
        p.setPen(pen);
        p.drawPolyline(points);
        p.end();
        benchmark::ClobberMemory();
    }
    state.counters["points"] = double(points.size());
}
BENCHMARK(BM_BarePolyline)->Arg(10003)->Arg(32001)->Unit(benchmark::kMillisecond);

// One right-drag step on a zoomed chart and the redraw it asks for.
void BM_ScrollStepRedraw(benchmark::State& state)
{
    Scope scope(int(state.range(0)));
    scope.chart.DrawTo(scope.image);
    scope.chart.ZoomByPercent(120);
    scope.chart.DrawTo(scope.image);
    scope.chart.MouseDown(mbRight, 300, 200);
    int x = 300;
    int dir = 1;
    for (auto _ : state) {
        x += dir;
        if (x > 400 || x < 200) {
            dir = -dir;
        }
        scope.chart.MouseMove(x, 200);
        scope.chart.DrawTo(scope.image);
        benchmark::ClobberMemory();
    }
    scope.chart.MouseUp(mbRight, x, 200);
}
BENCHMARK(BM_ScrollStepRedraw)->Arg(10003)->Arg(32001)->Unit(benchmark::kMillisecond);

// Keeps the mean real time of every run so the ratios can be printed after the table.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration) {
                times[r.benchmark_name()]
                    = r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times; // seconds
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* n : {"10003", "32001"}) {
        const std::string full = std::string("BM_FullRedraw/") + n;
        const std::string bare = std::string("BM_BarePolyline/") + n;
        if (reporter.times.count(full) && reporter.times.count(bare)) {
            std::printf("redraw/polyline at %s points: %.3f ms / %.3f ms = %.2f (target <= 1.5 at 10003)\n",
                n, reporter.times[full] * 1e3, reporter.times[bare] * 1e3,
                reporter.times[full] / reporter.times[bare]);
        }
        const std::string scroll = std::string("BM_ScrollStepRedraw/") + n;
        if (reporter.times.count(scroll)) {
            std::printf("scroll step + redraw at %s points: %.3f ms (%.0f per second, target >= 60)\n", n,
                reporter.times[scroll] * 1e3, 1.0 / reporter.times[scroll]);
        }
    }
    benchmark::Shutdown();
    return 0;
}
