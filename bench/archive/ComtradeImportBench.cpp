// The import of a COMTRADE record of one million samples (goal: under 2 s): the reader with the
// channel turned into a capture, and the whole import on the archive's worker (read, convert,
// one transaction). Data types: 0 the 1999 revision's ASCII, 1 the 2013 revision's BINARY32.
#include "archive/ArchiveWorker.h"
#include "archive/ComtradeImport.h"
#include "archive/ComtradeReader.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <benchmark/benchmark.h>
#include <cmath>

namespace {

constexpr int kSamples = 1000000;

// NAME.cfg and NAME.dat of one analog channel sampled at 10 kHz, a 50 Hz sine with harmonics.
QString writeRecord(const QTemporaryDir& dir, bool binary)
{
    const QString base = dir.filePath(binary ? QStringLiteral("binary32") : QStringLiteral("ascii"));
    QByteArray cfg = binary ? "Bench,Recorder,2013\r\n" : "Bench,Recorder,1999\r\n";
    cfg += "1,1A,0D\r\n1,IA,A,,kA,0.001,0,0,-99999,99998,1,1,P\r\n50\r\n1\r\n10000,"
        + QByteArray::number(kSamples) + "\r\n09/12/2026,08:30:15.250000\r\n09/12/2026,08:30:15.250000\r\n";
    cfg += binary ? "BINARY32\r\n1\r\n+2,+2\r\n0,0\r\n" : "ASCII\r\n1\r\n";
    QByteArray dat;
    dat.reserve(kSamples * (binary ? 12 : 24));
    for (int i = 0; i < kSamples; ++i) {
        const double t = i / 10000.0;
        const auto x = std::int32_t(
            std::lround(60000 * std::sin(2 * M_PI * 50 * t) + 9000 * std::sin(2 * M_PI * 250 * t)));
        if (binary) {
            char record[12];
            qToLittleEndian(std::uint32_t(i + 1), record);
            qToLittleEndian(std::uint32_t(i * 100), record + 4);
            qToLittleEndian(x, record + 8);
            dat.append(record, sizeof record);
        } else {
            dat += QByteArray::number(i + 1) + ',' + QByteArray::number(i * 100) + ',' + QByteArray::number(x)
                + "\r\n";
        }
    }
    QFile c(base + QStringLiteral(".cfg"));
    QFile d(base + QStringLiteral(".dat"));
    if (!c.open(QIODevice::WriteOnly) || !d.open(QIODevice::WriteOnly))
        return {};
    c.write(cfg);
    d.write(dat);
    return c.fileName();
}

const QString& recordFile(int type)
{
    static QTemporaryDir dir;
    static const QString files[] = {writeRecord(dir, false), writeRecord(dir, true)};
    return files[type];
}

void BM_ReadComtrade(benchmark::State& state)
{
    const QString& path = recordFile(int(state.range(0)));
    std::size_t points = 0;
    for (auto _ : state) {
        const ComtradeResult r = readComtradeFile(path);
        if (!r.record) {
            state.SkipWithError(qPrintable(r.error.message()));
            return;
        }
        const CaptureData c = comtradeCapture(*r.record, 0);
        points = c.x.size();
        benchmark::DoNotOptimize(c.y.data());
    }
    state.counters["samples"] = double(points);
    state.counters["samples/s"]
        = benchmark::Counter(double(points) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadComtrade)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ImportComtrade(benchmark::State& state)
{
    const QString& path = recordFile(int(state.range(0)));
    QTemporaryDir dir;
    ArchiveWorker worker;
    worker.open(dir.filePath(QStringLiteral("bench.db")), 1000, 1000000, 3000);
    std::int64_t points = 0;
    QObject::connect(&worker, &ArchiveWorker::answered, [&](const ArchiveAnswer& answer) {
        if (const auto* r = std::get_if<ImportResult>(&answer))
            points = r->points;
    });
    for (auto _ : state) {
        worker.run(ImportComtrade{path});
        QCoreApplication::processEvents();
    }
    if (points != kSamples)
        state.SkipWithError("the record was not imported whole");
    state.counters["samples"] = double(points);
    worker.close();
}
BENCHMARK(BM_ImportComtrade)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
