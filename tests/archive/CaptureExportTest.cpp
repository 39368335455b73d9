// The CSV and COMTRADE writers, read back: the CSV as text, COMTRADE through a strict reader
// of the format, with the scaled, the long and the refused cases.
#include "archive/CaptureExport.h"

#include "ComtradeReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

StoredCapture capture(
    std::vector<std::int64_t> x, std::vector<std::int32_t> y, QString xTitle = {}, QString yTitle = {})
{
    StoredCapture c;
    c.row.id = 7;
    c.row.started = QStringLiteral("2026-12-08T10:51:02.125Z");
    c.row.port = QStringLiteral("/dev/ttyUSB0");
    c.row.xTitle = std::move(xTitle);
    c.row.yTitle = std::move(yTitle);
    c.row.points = std::int64_t(x.size());
    c.x = std::move(x);
    c.y = std::move(y);
    return c;
}

const QDateTime kStart(QDate(2026, 12, 8), QTime(12, 51, 2, 125));

} // namespace

TEST(CaptureCsv, HeaderCarriesTheAxisTitlesAsUnitsAndEveryPointFollows)
{
    struct Case {
        QString xTitle, yTitle;
        QByteArray header;
    } cases[] = {
        {QStringLiteral("mS"), QStringLiteral("V"), "k,x [mS],y [V]"},
        {QStringLiteral("\u00B5S"), QStringLiteral("t \u00B0C"),
            "k,x [\xC2\xB5S],y [t \xC2\xB0"
            "C]"},
        {QString(), QStringLiteral("A"), "k,x,y [A]"},
        {QString(), QString(), "k,x,y"},
    };
    for (const Case& c : cases) {
        const QByteArray csv
            = captureCsv(capture({0, 10, 4294967296LL}, {-263, 0, 2147483647}, c.xTitle, c.yTitle));
        EXPECT_EQ(csv, c.header + "\r\n1,0,-263\r\n2,10,0\r\n3,4294967296,2147483647\r\n") << c.header.data();
    }
}

TEST(CaptureComtrade, SamplesInsideTheAsciiRangeAreWrittenUnchangedWithTimesInMicroseconds)
{
    const auto files = captureComtrade(
        capture({0, 1, 2, 3}, {100, -99999, 99998, 0}, QStringLiteral("mS"), QStringLiteral("V")), kStart);
    ASSERT_TRUE(files);
    const auto r = readComtrade(files->cfg, files->dat);
    ASSERT_TRUE(r) << files->cfg.data();
    EXPECT_EQ(r->station, "Orvik");
    EXPECT_EQ(r->device, "/dev/ttyUSB0");
    EXPECT_EQ(r->channelId, "U");
    EXPECT_EQ(r->unit, "V");
    EXPECT_EQ(r->a, 1);
    EXPECT_EQ(r->b, 0);
    EXPECT_EQ(r->min, -99999);
    EXPECT_EQ(r->max, 99998);
    EXPECT_EQ(r->start, "08/12/2026,12:51:02.125000");
    EXPECT_EQ(r->trigger, r->start);
    EXPECT_EQ(r->timeMult, 1);
    EXPECT_EQ(r->stamps, (std::vector<std::int64_t>{0, 1000, 2000, 3000}));
    EXPECT_EQ(r->raw, (std::vector<std::int64_t>{100, -99999, 99998, 0}));
    EXPECT_NE(files->cfg.indexOf("1,U,,,V,1,0,0,-99999,99998,1,1,P\r\n"), -1);
}

TEST(CaptureComtrade, ChannelAndTimeUnitFollowTheTitles)
{
    struct Case {
        QString xTitle, yTitle;
        const char* id;
        const char* unit;
        std::int64_t stampOfX1;
    } cases[] = {
        {QStringLiteral("S"), QStringLiteral("A"), "I", "A", 1000000},
        {QStringLiteral("\u00B5S"), QStringLiteral("t \u00B0C"), "T", "degC", 1},
        {QString(), QString(), "Y", "-", 1}, // no unit: X taken as microseconds
    };
    for (const Case& c : cases) {
        const auto files = captureComtrade(capture({0, 1}, {5, 6}, c.xTitle, c.yTitle), kStart);
        ASSERT_TRUE(files);
        const auto r = readComtrade(files->cfg, files->dat);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->channelId, c.id);
        EXPECT_EQ(r->unit, c.unit);
        EXPECT_EQ(r->timesUs[1], double(c.stampOfX1));
    }
}

TEST(CaptureComtrade, SamplesBeyondTheRangeAreScaledByTheSmallestPowerOfTen)
{
    struct Case {
        std::vector<std::int32_t> y;
        double a;
        std::vector<std::int64_t> raw;
    } cases[] = {
        {{99999, 5}, 10, {10000, 1}}, // 99999 itself marks a missing sample
        {{-100000, 12345}, 10, {-10000, 1235}},
        {{999985, -999994}, 100, {10000, -10000}}, // 99999 after rounding by 10 does not fit
        {{2147483647, -2147483647 - 1}, 100000, {21475, -21475}},
    };
    for (const Case& c : cases) {
        const auto files = captureComtrade(capture({0, 1}, c.y), kStart);
        ASSERT_TRUE(files);
        const auto r = readComtrade(files->cfg, files->dat);
        ASSERT_TRUE(r) << files->cfg.data();
        EXPECT_EQ(r->a, c.a);
        EXPECT_EQ(r->raw, c.raw);
        EXPECT_EQ(r->min, *std::min_element(c.raw.begin(), c.raw.end()));
        EXPECT_EQ(r->max, *std::max_element(c.raw.begin(), c.raw.end()));
        for (std::size_t i = 0; i < c.y.size(); ++i)
            EXPECT_NEAR(r->values[i], double(c.y[i]), c.a / 2);
    }
}

TEST(CaptureComtrade, LongTimesRaiseTheMultiplier)
{
    // 21 474 836 470 000 ms is far beyond ten digits of microseconds.
    const std::int64_t lastX = 10002LL * 2147483647LL;
    const auto files
        = captureComtrade(capture({0, 9999999999, lastX}, {1, 2, 3}, QStringLiteral("mS")), kStart);
    ASSERT_TRUE(files);
    const auto r = readComtrade(files->cfg, files->dat);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->timeMult, 1e7);
    EXPECT_LE(r->stamps.back(), 9999999999);
    EXPECT_NEAR(r->timesUs.back(), double(lastX) * 1000, 1e7 / 2);

    const auto exact = captureComtrade(capture({0, 9999999999}, {1, 2}), kStart);
    ASSERT_TRUE(exact);
    EXPECT_EQ(readComtrade(exact->cfg, exact->dat)->timeMult, 1);
    const auto tenMore = captureComtrade(capture({0, 10000000000}, {1, 2}), kStart);
    EXPECT_EQ(readComtrade(tenMore->cfg, tenMore->dat)->timeMult, 10);
}

TEST(CaptureComtrade, XGoingBackwardsOrBelowZeroIsRefusedAndNothingIsWritten)
{
    EXPECT_FALSE(captureComtrade(capture({0, 10, 20, 5}, {1, 2, 3, 4}), kStart)); // a scale record mid-way
    EXPECT_FALSE(captureComtrade(capture({0, -3, -6}, {1, 2, 3}), kStart)); // a negative scale
    EXPECT_TRUE(captureComtrade(capture({0, 0, 0}, {1, 2, 3}), kStart)); // scale 0: times stand still

    QTemporaryDir dir;
    const QString cfg = dir.filePath(QStringLiteral("refused.cfg"));
    const ExportResult refused = exportCapture(capture({0, -1}, {1, 2}), ExportFormat::Comtrade, cfg);
    EXPECT_EQ(refused.outcome, ExportOutcome::XNotIncreasing);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    // CSV still works.
    const QString csv = dir.filePath(QStringLiteral("refused.csv"));
    EXPECT_EQ(
        exportCapture(capture({0, -1}, {1, 2}), ExportFormat::Csv, csv).outcome, ExportOutcome::Written);
    EXPECT_TRUE(QFile::exists(csv));
}

TEST(CaptureComtrade, ExportWritesBothFilesBesideEachOther)
{
    QTemporaryDir dir;
    const QString cfg = dir.filePath(QStringLiteral("fault.cfg"));
    const ExportResult r = exportCapture(
        capture({0, 5}, {1, 2}, QStringLiteral("mS"), QStringLiteral("V")), ExportFormat::Comtrade, cfg);
    ASSERT_EQ(r.outcome, ExportOutcome::Written) << r.error.toStdString();
    QFile c(cfg), d(dir.filePath(QStringLiteral("fault.dat")));
    ASSERT_TRUE(c.open(QIODevice::ReadOnly));
    ASSERT_TRUE(d.open(QIODevice::ReadOnly));
    const auto back = readComtrade(c.readAll(), d.readAll());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->stamps, (std::vector<std::int64_t>{0, 5000}));

    const ExportResult failed
        = exportCapture(capture({0}, {1}), ExportFormat::Csv, dir.filePath(QStringLiteral("no/such/x.csv")));
    EXPECT_EQ(failed.outcome, ExportOutcome::WriteFailed);
    EXPECT_FALSE(failed.error.isEmpty());
}

TEST(ComtradeReaderCheck, RejectsWrongLineAndFieldCounts)
{
    const auto files = captureComtrade(capture({0, 1}, {1, 2}), kStart);
    ASSERT_TRUE(readComtrade(files->cfg, files->dat));
    EXPECT_FALSE(readComtrade(files->cfg + "extra\r\n", files->dat));
    EXPECT_FALSE(readComtrade(files->cfg, files->dat + "3,2,3\r\n")); // more samples than endsamp
    QByteArray badField = files->dat;
    badField.replace("2,1,2", "2,1,2,0");
    EXPECT_FALSE(readComtrade(files->cfg, badField));
}
