// Bytes per second through ShowText: the terminal's logic alone, and the control shown on the
// offscreen platform, fed through its link's receive path with the event loop run after every
// received chunk (so it paints whenever the control's frame pacing lets it).
#include "terminal/ComTerminal.h"
#include "terminal/logic/TermEngine.h"

#include <QApplication>
#include <QPaintEvent>
#include <benchmark/benchmark.h>

namespace {

constexpr int kStreamSize = 1 << 20;
constexpr int kChunk = 4096; // one read of the port during a burst

QByteArray repeatTo(const QByteArray& pattern)
{
    QByteArray out;
    out.reserve(kStreamSize + pattern.size());
    while (out.size() < kStreamSize)
        out += pattern;
    return out;
}

// Device records with CR LF, a long line that wraps twice, Cyrillic; scrolls all the time.
QByteArray plainStream()
{
    QByteArray pattern;
    for (int i = 0; i < 20; ++i)
        pattern += "W:VA-" + QByteArray::number(200 + i) + "/" + QByteArray::number(i) + "\r\nOK\r\n";
    pattern += "W:ST" + QByteArray(190, '7') + "\r\n";
    pattern += "\xD2\xE5\xF0\xEC\xE8\xED\xE0\xEB: \xE0\xE2\xE0\xF0\xE8\xE9\xED\xE8 "
               "\xF1\xFA\xE1\xE8\xF2\xE8\xFF\r\n";
    return repeatTo(pattern);
}

// The same kind of traffic painted by a VT100 host: colours, cursor moves, erases.
QByteArray vt100Stream()
{
    QByteArray pattern;
    for (int row = 1; row <= 24; ++row) {
        pattern += "\x1b[" + QByteArray::number(row) + ";1H\x1b[K";
        pattern += "\x1b[1;32mW:VA\x1b[0m-15/3 \x1b[0;31;47mRK" + QByteArray::number(row % 4) + "\x1b[m ";
        pattern += "U=230V I=12.5A t=41C \xCD\xE0\xEF\xF0\xE5\xE6\xE5\xED\xE8\xE5\x1b[7m inv \x1b[27m\r\n";
        if (row % 8 == 0)
            pattern += "\x1b[3A\x1b[10C\x1b[4mmark\x1b[24m\x1b[3B\r\n";
    }
    return repeatTo(pattern);
}

class LogicOnly : public TTermEngine {
public:
    explicit LogicOnly(TTermEmulation em)
    {
        SetEmulation(em);
        SetWrapLines(true);
        Loaded();
    }
    int TermFontWidth() const override { return 8; }
    bool CharEventsWanted() const override { return false; } // the console sets no OnChar
    int TermFontHeight() const override { return 16; }
    int TermClientWidth() const override { return 729; }
    int TermClientHeight() const override { return 425; }
    bool TermDoubleBuffered() const override { return false; }
    void InvalidateAll() override { }
    void InvalidateCells(const QRect&) override { }
    void ScrollPixels(const QRect&, int) override { }

protected:
    bool PortConnected() const override { return false; }
    void PortWriteText(const QByteArray&) override { }
    void DrawCell(int, int, const TTermCell&) override { }
};

void runLogic(benchmark::State& state, const QByteArray& stream, TTermEmulation em)
{
    LogicOnly term(em);
    for (auto _ : state)
        term.ShowText(stream);
    state.SetBytesProcessed(int64_t(state.iterations()) * stream.size());
}

void BM_LogicPlain(benchmark::State& state)
{
    runLogic(state, plainStream(), teNone);
}
// The same records rewritten on one row (CR, no LF): the printing cost without grid scrolls.
void BM_LogicPlainNoScroll(benchmark::State& state)
{
    QByteArray stream = plainStream();
    stream.replace('\n', "");
    runLogic(state, stream, teNone);
}
void BM_LogicVT100(benchmark::State& state)
{
    runLogic(state, vt100Stream(), teVT100orANSI);
}

// The same traffic once the scroll-back is full (10,000 rows of text across an 80-column
// grid): every scrolled row then replaces the oldest one. Reports what the history holds.
void BM_LogicPlainHistoryFull(benchmark::State& state)
{
    LogicOnly term(teNone);
    QByteArray fill;
    for (int i = 0; i < TTermEngine::kDefaultScrollback + 100; ++i)
        fill += "W:ST" + QByteArray::number(1000000 + i) + QByteArray(68, '7') + "\r\n";
    term.ShowText(fill);
    const double historyBytes = double(term.History().MemoryUsage());
    const QByteArray stream = plainStream();
    for (auto _ : state)
        term.ShowText(stream);
    state.SetBytesProcessed(int64_t(state.iterations()) * stream.size());
    state.counters["history_rows"] = double(term.History().Count());
    state.counters["history_MB_80col"] = historyBytes / (1024.0 * 1024.0);
}

class PaintCounter : public QObject {
public:
    int64_t paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The console's terminal: 729 x 425, aqua, black text, wrapping, through the link's receive path.
void runWidget(benchmark::State& state, const QByteArray& stream, TTermEmulation em)
{
    TComTerminal term;
    term.SetEmulation(em);
    term.SetWrapLines(true);
    term.SetAppendLF(false);
    term.SetColor(clAqua);
    term.SetFontColor(clBlack);
    term.resize(729, 425);
    term.show();
    QCoreApplication::processEvents();
    PaintCounter counter;
    term.viewport()->installEventFilter(&counter);
    for (auto _ : state) {
        for (qsizetype at = 0; at < stream.size(); at += kChunk) {
            const int n = int(std::min<qsizetype>(kChunk, stream.size() - at));
            term.ComLink().RxBufHandler(nullptr, stream.constData() + at, n);
            QCoreApplication::processEvents();
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * stream.size());
    state.counters["paints/MB"] = benchmark::Counter(double(counter.paints) / double(state.iterations()));
}

// One full repaint of a screen filled with coloured text, as after a burst that scrolled.
void BM_PaintFullView(benchmark::State& state)
{
    TComTerminal term;
    term.SetColor(clAqua);
    term.SetFontColor(clBlack);
    term.SetWrapLines(true);
    term.resize(729, 425);
    term.show();
    term.ShowText(vt100Stream().left(8000));
    QCoreApplication::processEvents();
    for (auto _ : state)
        term.viewport()->repaint();
    state.SetItemsProcessed(int64_t(state.iterations()));
}

void BM_WidgetPlain(benchmark::State& state)
{
    runWidget(state, plainStream(), teNone);
}
void BM_WidgetVT100(benchmark::State& state)
{
    runWidget(state, vt100Stream(), teVT100orANSI);
}

BENCHMARK(BM_LogicPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogicPlainNoScroll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogicVT100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogicPlainHistoryFull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintFullView)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WidgetPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WidgetVT100)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
