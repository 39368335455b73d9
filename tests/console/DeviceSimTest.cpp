// The console against the device simulator on a pseudo-terminal: every record is answered
// and the window ends with the counters and samples the simulator's own model expects.
// (No reset records in the mix, so the counters end above zero.)
#include "console/MainUnit.h"

#include "serial/ComPort.h"
#include "session/LinkMonitor.h"
#include "widgets/ValidateEdit.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "ChildProcess.h"

namespace {

int figure(const QString& report, const QString& pattern)
{
    const auto m = QRegularExpression(pattern).match(report);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

TEST(DeviceSimulator, ConsoleAnswersEveryRecordAndCountsWhatItSent)
{
    ChildProcess sim;
    ASSERT_TRUE(sim.start(QStringLiteral(ORVIK_DEVSIM),
        {"--count", "400", "--rate", "0", "--flood", "--window", "1", "--seed", "7", "--malformed", "0.1",
            "--events", "0.3", "--mix", "va=5,tr=4,burst=1", "--crlf", "--quiet",
            // Counted, not timed: a late answer (a slow or sanitized build) is still one answer.
            "--answer-timeout", "0"}));
    QByteArray line;
    ASSERT_TRUE(sim.readLine(line));
    const QString first = QString::fromLocal8Bit(line).trimmed();
    ASSERT_TRUE(first.startsWith("PORT ")) << first.toStdString();

    QTemporaryDir dir;
    TForm1 form(dir.path());
    QStringList errors;
    form.ErrorReport = [&](const QString& m) { errors << m; };
    form.show();
    form.ComPort1->SetPort(first.mid(5));
    form.ComPort1->OpenPort();
    ASSERT_TRUE(form.ComPort1->Connected());

    ASSERT_TRUE(sim.finished());
    const QString report = QString::fromLocal8Bit(sim.readAll());
    EXPECT_EQ(sim.exitCode(), 0) << report.toStdString();
    const int expected = figure(report, "ANSWERS expected=(\\d+)");
    EXPECT_GT(expected, 0) << report.toStdString();
    EXPECT_EQ(figure(report, "received=(\\d+)"), expected) << report.toStdString();
    EXPECT_EQ(figure(report, "missing=(\\d+)"), 0);
    EXPECT_EQ(figure(report, "unexpected=(\\d+)"), 0);

    const std::pair<const char*, TEvent> counters[] = {{"RK1", TEvent::RK1}, {"RK2", TEvent::RK2},
        {"RK3", TEvent::RK3}, {"CFK", TEvent::CFK}, {"SUK", TEvent::SUK}};
    const QString console = report.section(QStringLiteral("CONSOLE"), 1);
    int counted = 0;
    for (auto [name, which] : counters) {
        counted += form.Parser().counter(which);
        const int want = figure(console, QStringLiteral("%1=(\\d+)").arg(QLatin1String(name)));
        EXPECT_EQ(int(form.Parser().counter(which)), want) << name << "\n" << report.toStdString();
    }
    EXPECT_GT(counted, 0) << "the run must include emergency events";
    EXPECT_EQ(form.Parser().sampleCount(), figure(console, "samples=(\\d+)"));
    EXPECT_EQ(form.Parser().timeScale(), figure(console, "scale=(-?\\d+)"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();

    // The status line's figures against the simulator's own counts. The last LF may still
    // be on its way after the last answer.
    const TLinkStats& stats = form.LinkMonitor()->stats();
    const auto bytes = std::uint64_t(figure(report, "BYTES (\\d+)"));
    QElapsedTimer t;
    t.start();
    while (stats.rxBytes() < bytes && t.elapsed() < 10000)
        QTest::qWait(10);
    EXPECT_EQ(stats.rxBytes(), bytes);
    const int lines = figure(report, "RECORDS (\\d+)") + figure(report, "MALFORMED=(\\d+)");
    EXPECT_EQ(int(stats.records() + stats.rejected()), lines) << report.toStdString();
    EXPECT_EQ(int(stats.answered()), expected);
    EXPECT_GT(stats.rejected(), 0u);
    EXPECT_EQ(stats.txBytes(), std::uint64_t(expected) * 4); // "OK" CR LF
    form.ComPort1->ClosePort();
}

} // namespace
