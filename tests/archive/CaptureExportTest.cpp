// The CSV and COMTRADE writers, read back: the CSV as text, COMTRADE through the archive's
// own reader, with the scaled, the long and the refused cases.
#include "archive/CaptureExport.h"
#include "archive/ComtradeReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numeric>

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

std::optional<ComtradeRecord> readBack(const QByteArray& cfg, const QByteArray& dat)
{
    ComtradeResult r = readComtrade(cfg, dat);
    EXPECT_TRUE(r.record) << r.error.message().toStdString();
    return std::move(r.record);
}

std::vector<std::int64_t> ints(const std::vector<double>& v)
{
    return std::vector<std::int64_t>(v.begin(), v.end());
}

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
    const auto r = readBack(files->cfg, files->dat);
    ASSERT_TRUE(r) << files->cfg.data();
    EXPECT_EQ(r->station, "Orvik");
    EXPECT_EQ(r->device, "/dev/ttyUSB0");
    EXPECT_EQ(r->analogs[0].id, "U");
    EXPECT_EQ(r->analogs[0].unit, "V");
    EXPECT_EQ(r->analogs[0].a, 1);
    EXPECT_EQ(r->analogs[0].b, 0);
    EXPECT_EQ(r->analogs[0].min, -99999);
    EXPECT_EQ(r->analogs[0].max, 99998);
    EXPECT_EQ(r->startText, "08/12/2026,12:51:02.125000");
    EXPECT_EQ(r->triggerText, r->startText);
    EXPECT_EQ(r->timeMult, 1);
    EXPECT_EQ(ints(r->stamps), (std::vector<std::int64_t>{0, 1000, 2000, 3000}));
    EXPECT_EQ(ints(r->analogs[0].raw), (std::vector<std::int64_t>{100, -99999, 99998, 0}));
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
        const auto r = readBack(files->cfg, files->dat);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->analogs[0].id, c.id);
        EXPECT_EQ(r->analogs[0].unit, c.unit);
        EXPECT_EQ(r->timesUs[1], double(c.stampOfX1));
    }
}

TEST(CaptureComtrade, SamplesBeyondTheRangeAreScaledToFillTheField)
{
    struct Case {
        std::vector<std::int32_t> y;
        std::vector<std::int64_t> raw;
        std::int64_t rounded;
    } cases[] = {
        {{99999, 5}, {99998, 5}, 1}, // 99999 itself marks a missing sample
        {{-100000, 50000, 12345}, {-99998, 49999, 12345}, 1}, // a × 49999 is 50000 exactly
        {{199996, -99998, 7}, {99998, -49999, 4}, 1}, // a = 2 exactly: only 7 rounds
        {{2147483647, -2147483647 - 1}, {99998, -99998}, 1},
    };
    for (const Case& c : cases) {
        std::vector<std::int64_t> x(c.y.size());
        std::iota(x.begin(), x.end(), 0);
        const auto files = captureComtrade(capture(x, c.y), kStart);
        ASSERT_TRUE(files);
        const auto r = readBack(files->cfg, files->dat);
        ASSERT_TRUE(r) << files->cfg.data();
        const auto [lo, hi] = std::minmax_element(c.y.begin(), c.y.end());
        EXPECT_DOUBLE_EQ(r->analogs[0].a, std::max(-double(*lo), double(*hi)) / 99998);
        EXPECT_EQ(ints(r->analogs[0].raw), c.raw);
        EXPECT_EQ(files->rounded, c.rounded);
        double worst = 0;
        for (std::size_t i = 0; i < c.y.size(); ++i) {
            EXPECT_LE(std::abs(r->analogs[0].value(i) - double(c.y[i])), r->analogs[0].a / 2 + 1e-6);
            worst = std::max(worst, std::abs(r->analogs[0].value(i) - double(c.y[i])));
        }
        EXPECT_NEAR(files->largestError, worst, 1e-6);
    }
}

// One outlier no longer turns the small samples into 0: they keep what the field allows.
TEST(CaptureComtrade, AnOutlierLeavesTheSmallSamplesTheirPrecision)
{
    std::vector<std::int32_t> y;
    std::vector<std::int64_t> x;
    for (int i = -40; i <= 40; ++i)
        y.push_back(i);
    y.push_back(123456);
    for (std::size_t i = 0; i < y.size(); ++i)
        x.push_back(std::int64_t(i));
    const auto files = captureComtrade(capture(x, y, QStringLiteral("mS"), QStringLiteral("A")), kStart);
    ASSERT_TRUE(files);
    const auto r = readBack(files->cfg, files->dat);
    ASSERT_TRUE(r);
    EXPECT_LT(r->analogs[0].a, 1.25); // a power of ten would be 10
    for (std::size_t i = 0; i < y.size(); ++i) {
        EXPECT_NEAR(r->analogs[0].value(i), y[i], 0.62) << y[i];
        EXPECT_EQ(r->analogs[0].raw[i] == 0, y[i] == 0) << y[i];
    }
    EXPECT_GT(files->rounded, 0);
    EXPECT_LE(files->largestError, r->analogs[0].a / 2);
    EXPECT_EQ(r->analogs[0].max, 99998);
}

// Evenly spaced points are written with their sampling rate; others keep nrates 0 and the
// time stamps are the times.
TEST(CaptureComtrade, EvenlySpacedPointsCarryTheirSamplingRate)
{
    struct Case {
        std::vector<std::int64_t> x;
        QString xTitle;
        double rate;
    } cases[] = {
        {{0, 1, 2, 3}, QStringLiteral("mS"), 1000}, {{0, 5, 10, 15}, QStringLiteral("\u00B5S"), 200000},
        {{4, 7, 10, 13}, QStringLiteral("S"), 1.0 / 3}, {{0, 3, 6, 9}, QString(), 1e6 / 3},
        {{0, 1, 2, 4}, QStringLiteral("mS"), 0}, // a gap
        {{0, 5, 10, 16}, QStringLiteral("mS"), 0}, {{0}, QStringLiteral("mS"), 0}, // one sample has no rate
    };
    for (const Case& c : cases) {
        for (ExportFormat format : {ExportFormat::Comtrade, ExportFormat::Comtrade2013}) {
            const std::vector<std::int32_t> y(c.x.size(), 1);
            const auto files = captureComtrade(capture(c.x, y, c.xTitle), kStart, format);
            ASSERT_TRUE(files);
            const auto r = readBack(files->cfg, files->dat);
            ASSERT_TRUE(r) << files->cfg.data();
            EXPECT_DOUBLE_EQ(r->rates[0].rate, c.rate) << files->cfg.data();
            const double perX = double(microsecondsPerX(c.xTitle));
            for (std::size_t i = 0; i < c.x.size(); ++i) {
                EXPECT_NEAR(r->timesUs[i], double(c.x[i] - c.x[0]) * perX + (c.rate ? 0 : c.x[0] * perX),
                    1e-6 * double(c.x[i]) * perX);
                EXPECT_DOUBLE_EQ(double(r->stamps[i]) * r->timeMult, double(c.x[i]) * perX);
            }
        }
    }
}

// BINARY32 gives every 32-bit sample back exactly, with a = 1; the one value that marks a
// missing sample is moved by b when the range allows.
TEST(CaptureComtrade, Binary32KeepsEverySampleExactly)
{
    const std::int32_t top = std::numeric_limits<std::int32_t>::max();
    const std::int32_t bottom = std::numeric_limits<std::int32_t>::min();
    struct Case {
        std::vector<std::int32_t> y;
        double b;
        std::int64_t rounded;
    } cases[] = {
        {{1, -1, 0, 123456, -7, top, bottom + 1, 99999}, 0, 0}, {{5, bottom, 3, top - 1}, -1, 0},
        {{bottom, top, 2}, 0, 1}, // both ends: the lowest cannot be told from a missing one
    };
    for (const Case& c : cases) {
        std::vector<std::int64_t> x;
        for (std::size_t i = 0; i < c.y.size(); ++i)
            x.push_back(std::int64_t(i) * 3);
        const auto files = captureComtrade(capture(x, c.y, QStringLiteral("\u00B5S"), QStringLiteral("V")),
            kStart, ExportFormat::Comtrade2013);
        ASSERT_TRUE(files);
        EXPECT_EQ(files->dat.size(), qsizetype(c.y.size()) * 12);
        const auto r = readBack(files->cfg, files->dat);
        ASSERT_TRUE(r) << files->cfg.data();
        EXPECT_EQ(r->revision, 2013);
        EXPECT_EQ(r->fileType, "BINARY32");
        EXPECT_EQ(r->analogs[0].a, 1);
        EXPECT_EQ(r->analogs[0].b, c.b);
        EXPECT_EQ(files->rounded, c.rounded);
        EXPECT_EQ(r->rates[0].rate, 1e6 / 3);
        EXPECT_EQ(r->startText, "08/12/2026,12:51:02.125000");
        EXPECT_EQ(r->timeCode, r->localCode);
        EXPECT_TRUE(r->timeCode.startsWith('+') || r->timeCode.startsWith('-')) << r->timeCode.data();
        for (std::size_t i = 0; i < c.y.size(); ++i) {
            if (c.rounded && c.y[i] == bottom)
                EXPECT_EQ(r->analogs[0].value(i), double(bottom) + 1);
            else
                EXPECT_EQ(r->analogs[0].value(i), double(c.y[i])) << i;
        }
    }
}

TEST(CaptureComtrade, LongTimesRaiseTheMultiplier)
{
    // 21 474 836 470 000 ms is far beyond ten digits of microseconds.
    const std::int64_t lastX = 10002LL * 2147483647LL;
    const auto files
        = captureComtrade(capture({0, 9999999999, lastX}, {1, 2, 3}, QStringLiteral("mS")), kStart);
    ASSERT_TRUE(files);
    const auto r = readBack(files->cfg, files->dat);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->timeMult, 1e7);
    EXPECT_LE(r->stamps.back(), 9999999999);
    EXPECT_NEAR(r->timesUs.back(), double(lastX) * 1000, 1e7 / 2);

    const auto exact = captureComtrade(capture({0, 9999999999}, {1, 2}), kStart);
    ASSERT_TRUE(exact);
    EXPECT_EQ(readBack(exact->cfg, exact->dat)->timeMult, 1);
    const auto tenMore = captureComtrade(capture({0, 10000000000}, {1, 2}), kStart);
    EXPECT_EQ(readBack(tenMore->cfg, tenMore->dat)->timeMult, 10);
}

TEST(CaptureComtrade, XGoingBackwardsOrBelowZeroIsRefusedAndNothingIsWritten)
{
    EXPECT_FALSE(captureComtrade(capture({0, 10, 20, 5}, {1, 2, 3, 4}), kStart)); // a scale record mid-way
    EXPECT_FALSE(captureComtrade(capture({0, -3, -6}, {1, 2, 3}), kStart)); // a negative scale
    EXPECT_FALSE(captureComtrade(capture({0, 0, 0}, {1, 2, 3}), kStart)); // scale 0: times stand still
    EXPECT_FALSE(captureComtrade(capture({0, 2, 2, 4}, {1, 2, 3, 4}), kStart, ExportFormat::Comtrade2013));
    EXPECT_TRUE(captureComtrade(capture({5}, {1}), kStart)); // one point stands alone

    QTemporaryDir dir;
    const QString cfg = dir.filePath(QStringLiteral("refused.cfg"));
    const struct {
        std::vector<std::int64_t> x;
        ExportFormat format;
        ExportOutcome outcome;
    } refusals[] = {
        {{0, -1}, ExportFormat::Comtrade, ExportOutcome::XNotIncreasing},
        {{0, -1}, ExportFormat::Comtrade2013, ExportOutcome::XNotIncreasing},
        {{0, 0}, ExportFormat::Comtrade, ExportOutcome::XStandsStill},
        {{3, 3}, ExportFormat::Comtrade2013, ExportOutcome::XStandsStill},
    };
    for (const auto& c : refusals) {
        EXPECT_EQ(exportCapture(capture(c.x, {1, 2}), c.format, cfg).outcome, c.outcome);
        EXPECT_TRUE(QDir(dir.path()).isEmpty());
    }
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
    const auto back = readBack(c.readAll(), d.readAll());
    ASSERT_TRUE(back);
    EXPECT_EQ(ints(back->stamps), (std::vector<std::int64_t>{0, 5000}));

    const ExportResult failed
        = exportCapture(capture({0}, {1}), ExportFormat::Csv, dir.filePath(QStringLiteral("no/such/x.csv")));
    EXPECT_EQ(failed.outcome, ExportOutcome::WriteFailed);
    EXPECT_FALSE(failed.error.isEmpty());
}

TEST(ComtradeReaderCheck, RejectsWrongLineAndFieldCounts)
{
    const auto files = captureComtrade(capture({0, 1}, {1, 2}), kStart);
    ASSERT_TRUE(readBack(files->cfg, files->dat));
    EXPECT_FALSE(readComtrade(files->cfg + "extra\r\n", files->dat).record);
    // More samples than endsamp: the declared ones are read, and the rest is said.
    EXPECT_FALSE(readBack(files->cfg, files->dat + "3,2,3\r\n")->damage.isEmpty());
    QByteArray badField = files->dat;
    badField.replace("2,1,2", "2,1,2,0");
    EXPECT_FALSE(readComtrade(files->cfg, badField).record);
}
