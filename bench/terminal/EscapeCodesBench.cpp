// Throughput of the escape-code parsers alone, fed byte by byte as the terminal feeds them.
#include "terminal/core/EscapeCodes.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kStreamSize = 1 << 20;

QByteArray repeatTo(const QByteArray& pattern)
{
    QByteArray out;
    out.reserve(kStreamSize + pattern.size());
    while (out.size() < kStreamSize)
        out += pattern;
    return out;
}

// Device-like traffic painted by a VT100 host: colours, cursor placement, erases, queries.
QByteArray vt100Stream()
{
    QByteArray pattern;
    for (int row = 1; row <= 24; ++row) {
        pattern += "\x1b[" + QByteArray::number(row) + ";1H\x1b[K";
        pattern += "\x1b[1;32mW:VA\x1b[0m-15/3 ";
        pattern += "\x1b[0;31;47mRK" + QByteArray::number(row % 4) + "\x1b[m ";
        pattern += "U=230V I=12.5A t=41C \xcd\xe0\xef\xf0\xe5\xe6\xe5\xed\xe8\xe5\r\n";
        if (row % 6 == 0)
            pattern += "\x1b[6n\x1b[2J\x1b[s\x1b[u\x1b"
                       "7\x1b"
                       "8";
    }
    return repeatTo(pattern);
}

QByteArray plainStream()
{
    return repeatTo("W:VA-15/3\rW:ST12,13,14,15,16,17,18,19,20,21,22,23,24\r\nOK\r\n");
}

QByteArray vt52Stream()
{
    QByteArray pattern;
    for (int row = 0; row < 24; ++row) {
        pattern += "\x1bY";
        pattern += char(32 + row);
        pattern += char(32);
        pattern += "\x1bKW:VA-15/3 U=230V I=12.5A\r\n\x1b"
                   "A\x1b"
                   "B";
    }
    return repeatTo(pattern);
}

template <class Parser> void feed(benchmark::State& state, const QByteArray& stream)
{
    Parser parser;
    std::size_t chars = 0;
    std::size_t codes = 0;
    for (auto _ : state) {
        for (const char c : stream) {
            switch (parser.FeedChar(c)) {
            case frChar:
                ++chars;
                break;
            case frCode:
                codes += parser.Code();
                parser.Params().clear();
                break;
            case frNothing:
                break;
            }
        }
        benchmark::DoNotOptimize(chars);
        benchmark::DoNotOptimize(codes);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * stream.size());
}

void BM_VT100_ColourAndCursor(benchmark::State& state)
{
    feed<TEscapeCodesVT100>(state, vt100Stream());
}

void BM_VT100_PlainText(benchmark::State& state)
{
    feed<TEscapeCodesVT100>(state, plainStream());
}

void BM_VT52_CursorAndErase(benchmark::State& state)
{
    feed<TEscapeCodesVT52>(state, vt52Stream());
}

// A noisy line: ESC "[" followed by endless digits and ';' must stay linear.
void BM_VT100_UnterminatedNoise(benchmark::State& state)
{
    QByteArray noise = "\x1b[";
    noise += repeatTo("12345678901234567890;;;;;;;;");
    feed<TEscapeCodesVT100>(state, noise);
}

} // namespace

BENCHMARK(BM_VT100_ColourAndCursor);
BENCHMARK(BM_VT100_PlainText);
BENCHMARK(BM_VT52_CursorAndErase);
BENCHMARK(BM_VT100_UnterminatedNoise);

BENCHMARK_MAIN();
