// A long flood from the simulator through the shown window: every record answered, resident
// memory flat once warmed up, and the chart's sample store never beyond its capacity. The
// figures are printed so that runs can be compared.
#include "console/MainUnit.h"

#include "chart/Chart.h"
#include "console/ScopePage.h"
#include "serial/ComPort.h"
#include "session/RecordParser.h"

#include "E2eSupport.h"

#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

TEST(Soak, AMillionRecordsAllAnsweredWithFlatMemoryAndABoundedChart)
{
    // Sanitized builds run ten times slower, and their memory figures mean nothing.
    const int records = kSanitized ? 100000 : 1000000;
    Simulator sim(
        {"--flood", "--count", QString::number(records), "--seed", "21", "--mix", "va=5,tr=4,burst=1",
            "--burst-samples", "200", "--no-scope-reset", "--chunk-max", "64", "--answer-timeout", "0"});
    ASSERT_FALSE(sim.port().isEmpty());

    QTemporaryDir folder;
    QFile ini(folder.filePath(QStringLiteral("Orvik.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Com]\r\nComPortNo=" + sim.port().toLocal8Bit() + "\r\nBaudRate=13\r\n");
    ini.close();
    TForm1 form(folder.path());
    QStringList errors;
    form.ErrorReport = [&](const QString& m) { errors << m; };
    form.show();
    // The chart's page is the one shown, so every capture is drawn.
    form.PageControl1->setCurrentIndex(1);
    form.findChild<QRadioButton*>(QStringLiteral("RSBut"))->click();
    ASSERT_TRUE(form.ComPort1->Connected());
    form.PageControl1->setCurrentIndex(2);

    // Resident memory five times a second (a sanitized run of the smaller count lasts only a
    // few seconds); the first fifth of the run is the warm-up.
    std::vector<long> rss;
    int mostSamples = 0;
    QElapsedTimer clock;
    clock.start();
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        rss.push_back(residentKiB());
        mostSamples = std::max(mostSamples, form.Scope->Series1->Count());
    });
    probe.start(200);
    ASSERT_TRUE(sim.finished(kSanitized ? 600000 : 240000));
    probe.stop();
    const double seconds = clock.elapsed() / 1000.0;
    mostSamples = std::max(mostSamples, form.Scope->Series1->Count());

    const QJsonObject run = sim.figures();
    const QJsonObject answers = run["answers"].toObject();
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_EQ(run["lines"].toInt(), records);
    EXPECT_GT(answers["expected"].toInt(), records / 2);
    EXPECT_EQ(answers["received"].toInt(), answers["expected"].toInt());
    EXPECT_EQ(answers["missing"].toInt(), 0);
    EXPECT_EQ(answers["unexpected"].toInt(), 0);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(mostSamples, TRecordParser::kSampleCapacity) << "the store should have filled, and no more";

    ASSERT_GE(rss.size(), 5u) << "the run was too short to judge memory";
    const std::size_t warm = rss.size() / 5;
    const long atWarm = rss[warm];
    const long peak = *std::max_element(rss.begin() + std::ptrdiff_t(warm), rss.end());
    std::printf("soak: %d records in %.1f s (%.0f records/s), %d answers, %lld bytes, chart %d samples;"
                " resident memory after warm-up %ld KiB, peak %ld KiB, at the end %ld KiB (%+ld KiB)\n",
        records, seconds, records / seconds, answers["received"].toInt(),
        static_cast<long long>(run["bytes"].toDouble()), mostSamples, atWarm, peak, rss.back(),
        rss.back() - atWarm);
    if (!kSanitized) {
        EXPECT_LT(peak - atWarm, 8 * 1024) << "resident memory grew after the warm-up";
    }
    form.ComPort1->ClosePort();
}

} // namespace
