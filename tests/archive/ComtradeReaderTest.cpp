// The COMTRADE reader against records written here by the format's rules: every revision and
// data type (and the single-file form), the character sets told apart, a table of broken files
// each refused at its line and field, damaged data read as far as it is whole, and a channel
// turned into a capture.
#include "archive/ComtradeReader.h"
#include "archive/CaptureExport.h"
#include "archive/ComtradeImport.h"
#include "common/Cp1251.h"

#include <QTimeZone>
#include <QtEndian>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>

namespace {

struct Form {
    int revision;
    const char* ft;
    int nrates;
    bool cff = false;
};

// Sample 4 of channel 2 is missing.
const int kRaw1[] = {0, 100, -200, 300, -400, 500, -600, 700};
const int kRaw2[] = {1, -2, 3, 0, 5, -6, 7, -8};
constexpr std::size_t kSamples = 8;
constexpr std::size_t kMissing = 3;

QByteArray stationOf(int revision)
{
    if (revision == 1991)
        return QByteArray("Gen\xE8ve S\xFC"
                          "d"); // Latin-1
    if (revision == 1999)
        return cp1251::encode(QStringLiteral("Подстанция Юг"));
    return QStringLiteral("Пловдив").toUtf8();
}

// One record, two analog channels and one digital, written as the revision says.
std::pair<QByteArray, QByteArray> write(const Form& f)
{
    const bool r1991 = f.revision == 1991;
    QByteArray cfg
        = stationOf(f.revision) + ",REL-7" + (r1991 ? "" : "," + QByteArray::number(f.revision)) + "\r\n";
    cfg += "3,2A,1D\r\n";
    cfg += r1991 ? "1,UA,A,,kV,0.01,0.5,0,-32767,32767\r\n" : "1,UA,A,,kV,0.01,0.5,0,-32767,32767,1,1,P\r\n";
    cfg += r1991 ? "2,IA,B,,A,0.25,0,0,-32767,32767\r\n" : "2,IA,B,,A,0.25,0,0,-32767,32767,400,5,S\r\n";
    cfg += r1991 ? "1,TRIP,0\r\n" : "1,TRIP,,,0\r\n";
    cfg += "50\r\n";
    if (f.nrates == 0)
        cfg += "0\r\n0,8\r\n";
    else if (f.nrates == 1)
        cfg += "1\r\n2000,8\r\n";
    else
        cfg += "2\r\n2000,4\r\n1000,8\r\n";
    cfg += "09/12/2026,08:30:15.250000\r\n09/12/2026,08:30:15.260000\r\n";
    cfg += QByteArray(f.ft) + "\r\n";
    if (!r1991)
        cfg += "2\r\n";
    if (f.revision == 2013)
        cfg += "+2,+2\r\n0,0\r\n";

    const QByteArray ft(f.ft);
    QByteArray dat;
    for (std::size_t i = 0; i < kSamples; ++i) {
        const std::uint32_t stamp = std::uint32_t(i) * 500;
        const bool missing = i == kMissing;
        if (ft == "ASCII") {
            const QByteArray second = !missing ? QByteArray::number(kRaw2[i])
                : f.revision == 2013           ? QByteArray()
                                               : QByteArray("99999");
            dat += QByteArray::number(qulonglong(i + 1)) + ',' + QByteArray::number(stamp) + ','
                + QByteArray::number(kRaw1[i]) + ',' + second + ",1\r\n";
            continue;
        }
        char buf[24];
        qToLittleEndian(std::uint32_t(i + 1), buf);
        qToLittleEndian(stamp, buf + 4);
        int at = 8;
        for (int c = 0; c < 2; ++c) {
            const int v = c == 0 ? kRaw1[i] : kRaw2[i];
            const bool gap = c == 1 && missing;
            if (ft == "BINARY") {
                qToLittleEndian(gap ? std::int16_t(-32768) : std::int16_t(v), buf + at);
                at += 2;
            } else if (ft == "BINARY32") {
                qToLittleEndian(gap ? std::numeric_limits<std::int32_t>::min() : std::int32_t(v), buf + at);
                at += 4;
            } else {
                const float x = gap ? std::numeric_limits<float>::quiet_NaN() : float(v);
                std::uint32_t bits = 0;
                std::memcpy(&bits, &x, sizeof bits);
                qToLittleEndian(bits, buf + at);
                at += 4;
            }
        }
        qToLittleEndian(std::uint16_t(1), buf + at);
        dat.append(buf, at + 2);
    }
    return {cfg, dat};
}

ComtradeResult read(const Form& f)
{
    const auto [cfg, dat] = write(f);
    if (!f.cff)
        return readComtrade(cfg, dat);
    const QByteArray section = QByteArray(f.ft) == "ASCII"
        ? QByteArray("--- file type: DAT ASCII ---\r\n")
        : "--- file type: DAT BINARY: " + QByteArray::number(dat.size()) + " ---\r\n";
    return readComtradeCff("--- file type: CFG ---\r\n" + cfg + "--- file type: HDR ---\r\nfree text\r\n"
        + section + dat + "--- file type: INF ---\r\n[x]\r\n");
}

double expectedTime(int nrates, std::size_t i, double timeMult)
{
    if (nrates == 0)
        return double(i) * 500 * timeMult;
    if (nrates == 1 || i < 4)
        return double(i) * 500;
    return 1500 + double(i - 3) * 1000;
}

} // namespace

TEST(ComtradeReader, EveryRevisionAndDataTypeIsRead)
{
    const Form forms[] = {
        {1991, "ASCII", 0},
        {1991, "BINARY", 1},
        {1999, "ASCII", 1},
        {1999, "BINARY", 2},
        {1999, "ASCII", 0},
        {2013, "ASCII", 0},
        {2013, "BINARY", 1},
        {2013, "BINARY32", 2},
        {2013, "FLOAT32", 1},
        {2013, "ASCII", 2, true},
        {2013, "BINARY32", 1, true},
        {2013, "FLOAT32", 0, true},
    };
    for (const Form& f : forms) {
        SCOPED_TRACE(std::to_string(f.revision) + " " + f.ft + " nrates " + std::to_string(f.nrates)
            + (f.cff ? " cff" : ""));
        const ComtradeResult result = read(f);
        ASSERT_TRUE(result.record) << result.error.message().toStdString();
        const ComtradeRecord& r = *result.record;
        EXPECT_EQ(r.revision, f.revision);
        EXPECT_EQ(r.fileType, QByteArray(f.ft));
        EXPECT_EQ(r.device, QStringLiteral("REL-7"));
        const QString station = f.revision == 1991 ? QStringLiteral("Genève Süd")
            : f.revision == 1999                   ? QStringLiteral("Подстанция Юг")
                                                   : QStringLiteral("Пловдив");
        EXPECT_EQ(r.station, station);
        ASSERT_EQ(r.analogs.size(), 2u);
        EXPECT_EQ(r.digitals, 1);
        EXPECT_EQ(r.analogs[0].unit, QStringLiteral("kV"));
        EXPECT_EQ(r.analogs[1].secondaryValues, f.revision != 1991);
        EXPECT_TRUE(r.damage.isEmpty()) << r.damage.toStdString();
        ASSERT_EQ(r.timesUs.size(), kSamples);
        const double timeMult = f.revision == 1991 ? 1 : 2;
        for (std::size_t i = 0; i < kSamples; ++i) {
            EXPECT_DOUBLE_EQ(r.analogs[0].value(i), 0.01 * kRaw1[i] + 0.5) << i;
            if (i == kMissing) {
                EXPECT_TRUE(std::isnan(r.analogs[1].raw[i]));
            } else {
                const double ratio = f.revision == 1991 ? 1 : 400.0 / 5;
                EXPECT_DOUBLE_EQ(r.analogs[1].primaryValue(i), 0.25 * kRaw2[i] * ratio) << i;
            }
            EXPECT_DOUBLE_EQ(r.timesUs[i], expectedTime(f.nrates, i, timeMult)) << i;
        }
        // 2013 says the stamps' offset from UTC; older files are in this computer's local time.
        const QDateTime local(QDate(2026, 12, 9), QTime(8, 30, 15, 250));
        const QDateTime expected = f.revision == 2013
            ? QDateTime(QDate(2026, 12, 9), QTime(6, 30, 15, 250), QTimeZone::utc())
            : local;
        EXPECT_EQ(r.start.toMSecsSinceEpoch(), expected.toMSecsSinceEpoch());
    }
}

TEST(ComtradeReader, TheCharacterSetIsDetected)
{
    const struct {
        QByteArray station;
        ComtradeCharset charset;
        QString text;
    } cases[] = {
        {"Plain", ComtradeCharset::Ascii, QStringLiteral("Plain")},
        {QStringLiteral("Русе Север").toUtf8(), ComtradeCharset::Utf8, QStringLiteral("Русе Север")},
        {cp1251::encode(QStringLiteral("Русе Север")), ComtradeCharset::Windows1251,
            QStringLiteral("Русе Север")},
        {cp1251::encode(QStringLiteral("Ямбол")), ComtradeCharset::Windows1251, QStringLiteral("Ямбол")},
        {QByteArray("Electricit\xE9 de Gen\xE8ve"), ComtradeCharset::Latin1,
            QStringLiteral("Electricité de Genève")},
        {QByteArray("M\xFC"
                    "nchen"),
            ComtradeCharset::Latin1, QStringLiteral("München")},
        {QByteArray("\xB9 5 \x96 Tr"), ComtradeCharset::Windows1251, QStringLiteral("№ 5 – Tr")}, // C1 bytes
    };
    for (const auto& c : cases) {
        auto [cfg, dat] = write({1999, "ASCII", 1});
        cfg.replace(stationOf(1999), c.station);
        const ComtradeResult result = readComtrade(cfg, dat);
        ASSERT_TRUE(result.record) << result.error.message().toStdString();
        EXPECT_EQ(result.record->charset, c.charset) << c.text.toStdString();
        EXPECT_EQ(result.record->station, c.text);
    }
}

// Each broken record is refused, naming the file, the line and the field.
TEST(ComtradeReader, ABrokenRecordIsRefusedAtItsLineAndField)
{
    const auto [cfg1999, dat1999] = write({1999, "ASCII", 1});
    const auto [cfg2013, dat2013] = write({2013, "ASCII", 0});
    const struct {
        const char* what;
        QByteArray cfg;
        QByteArray dat;
        QString file;
        std::int64_t line;
        int field;
    } cases[] = {
        {"no rec_dev_id", QByteArray(cfg1999).replace(",REL-7,1999", ""), dat1999, "CFG", 1, 2},
        {"unknown year", QByteArray(cfg1999).replace(",1999", ",2001"), dat1999, "CFG", 1, 3},
        {"count suffix", QByteArray(cfg1999).replace("3,2A,1D", "3,2X,1D"), dat1999, "CFG", 2, 2},
        {"counts disagree", QByteArray(cfg1999).replace("3,2A,1D", "4,2A,1D"), dat1999, "CFG", 2, 1},
        {"a not a number", QByteArray(cfg1999).replace("kV,0.01", "kV,abc"), dat1999, "CFG", 3, 6},
        {"too few fields",
            QByteArray(cfg1999).replace("1,UA,A,,kV,0.01,0.5,0,-32767,32767,1,1,P", "1,UA,A,,kV,1"), dat1999,
            "CFG", 3, 7},
        {"PS neither", QByteArray(cfg1999).replace("400,5,S", "400,5,Q"), dat1999, "CFG", 4, 13},
        {"secondary 0", QByteArray(cfg1999).replace("400,5,S", "400,0,S"), dat1999, "CFG", 4, 12},
        {"nrates", QByteArray(cfg1999).replace("\r\n1\r\n2000,8", "\r\nx\r\n2000,8"), dat1999, "CFG", 7, 1},
        {"endsamp backwards", QByteArray(cfg1999).replace("1\r\n2000,8", "2\r\n2000,8\r\n1000,4"), dat1999,
            "CFG", 9, 2},
        {"no such day", QByteArray(cfg1999).replace("09/12/2026,08:30:15.250000", "32/12/2026,08:30:15.25"),
            dat1999, "CFG", 9, 1},
        {"no such minute", QByteArray(cfg1999).replace("08:30:15.250000", "08:61:15.250000"), dat1999, "CFG",
            9, 2},
        {"file type", QByteArray(cfg1999).replace("ASCII", "BINARY64"), dat1999, "CFG", 11, 1},
        {"timemult 0", QByteArray(cfg1999).replace("ASCII\r\n2", "ASCII\r\n0"), dat1999, "CFG", 12, 1},
        {"ends early", cfg1999.left(cfg1999.indexOf("ASCII")), dat1999, "CFG", 11, 0},
        {"time code", QByteArray(cfg2013).replace("+2,+2", "+2x,+2"), dat2013, "CFG", 13, 1},
        {"leap second", QByteArray(cfg2013).replace("\r\n0,0\r\n", "\r\n0,7\r\n"), dat2013, "CFG", 14, 2},
        {"a line too many", cfg2013 + "more\r\n", dat2013, "CFG", 15, 0},
        {"sample not a number", cfg1999, QByteArray(dat1999).replace("3,1000,-200", "3,1000,abc"), "DAT", 3,
            3},
        {"sample missing", cfg1999, QByteArray(dat1999).replace("3,1000,-200,3,1", "3,1000,-200"), "DAT", 3,
            4},
        {"field too many", cfg1999, QByteArray(dat1999).replace("3,1000,-200,3,1", "3,1000,-200,3,1,1"),
            "DAT", 3, 0},
        {"no time at all", cfg2013, QByteArray(dat2013).replace("5,2000,", "5,,"), "DAT", 5, 2},
    };
    for (const auto& c : cases) {
        const ComtradeResult r = readComtrade(c.cfg, c.dat);
        ASSERT_FALSE(r.record) << c.what;
        EXPECT_EQ(r.error.file, c.file) << c.what;
        EXPECT_EQ(r.error.line, c.line) << c.what << ": " << r.error.message().toStdString();
        EXPECT_EQ(r.error.field, c.field) << c.what << ": " << r.error.message().toStdString();
        EXPECT_TRUE(r.error.message().contains(QStringLiteral("ред %1").arg(c.line)) || c.line == 0)
            << r.error.message().toStdString();
    }
}

// Damaged data gives its whole samples and says so; what a file only declares is never
// allocated (four billion samples declared, three there).
TEST(ComtradeReader, DamagedDataIsReadAsFarAsItIsWhole)
{
    const struct {
        const char* ft;
        int cut; // bytes taken off the end of the data
        const char* endsamp;
        std::size_t samples;
    } cases[] = {
        {"BINARY", 3, "8", 7},
        {"BINARY32", 0, "4000000000", 8},
        {"FLOAT32", 20, "8", 6},
        {"ASCII", 0, "4000000000", 8},
        {"ASCII", 0, "5", 5},
    };
    for (const auto& c : cases) {
        auto [cfg, dat] = write({2013, c.ft, 1});
        cfg.replace("2000,8", QByteArray("2000,") + c.endsamp);
        dat.chop(c.cut);
        const ComtradeResult r = readComtrade(cfg, dat);
        ASSERT_TRUE(r.record) << c.ft << ": " << r.error.message().toStdString();
        EXPECT_EQ(r.record->timesUs.size(), c.samples) << c.ft;
        EXPECT_EQ(r.record->analogs[0].raw.size(), c.samples) << c.ft;
        EXPECT_FALSE(r.record->damage.isEmpty()) << c.ft;
    }
}

TEST(ComtradeImport, AChannelBecomesACaptureInWholeNumbersOfItsUnit)
{
    const ComtradeResult result = read({2013, "BINARY32", 1});
    ASSERT_TRUE(result.record);
    const CaptureData volts = comtradeCapture(*result.record, 0);
    // kV in steps of 0.01 are kept as whole volts.
    EXPECT_EQ(volts.yTitle, QStringLiteral("V"));
    EXPECT_EQ(volts.xTitle, QStringLiteral("\u00B5S"));
    EXPECT_EQ(volts.port, QStringLiteral("COMTRADE Пловдив REL-7"));
    EXPECT_EQ(volts.note, QStringLiteral("UA (A)"));
    EXPECT_EQ(volts.started, QStringLiteral("2026-12-09T06:30:15.250Z"));
    EXPECT_EQ(volts.ended, QStringLiteral("2026-12-09T06:30:15.254Z"));
    ASSERT_EQ(volts.y.size(), kSamples);
    for (std::size_t i = 0; i < kSamples; ++i) {
        EXPECT_EQ(volts.y[i], 10 * kRaw1[i] + 500);
        EXPECT_EQ(volts.x[i], std::int64_t(i) * 500);
    }
    // Primary amperes, the missing sample left out.
    const CaptureData amps = comtradeCapture(*result.record, 1);
    EXPECT_EQ(amps.yTitle, QStringLiteral("A"));
    ASSERT_EQ(amps.y.size(), kSamples - 1);
    EXPECT_EQ(amps.y[kMissing], 5 * 20);
    EXPECT_EQ(amps.x[kMissing], std::int64_t(kMissing + 1) * 500);

    const struct {
        const char* unit;
        double quantum;
        double largest;
        int exponent;
        const char* title;
    } scales[] = {
        {"V", 1, 1000, 0, "V"},
        {"kV", 0.001, 400, -3, "V"},
        {"A", 0.2, 1e9, 0, "A"},
        {"A", 0.2, 3e9, 3, "kA"},
        {"MW", 0.0001, 2, -6, "W"},
        {"pu", 0.001, 1, -3, "pu \u00D710^-3"},
        {"V", 1e-8, 1e6, -3, "mV"},
    };
    for (const auto& s : scales) {
        const ComtradeScale got = comtradeScale(QString::fromUtf8(s.unit), s.quantum, s.largest);
        EXPECT_EQ(got.exponent, s.exponent) << s.unit << " " << s.quantum;
        EXPECT_EQ(got.title, QString::fromUtf8(s.title)) << s.unit << " " << s.quantum;
    }
}

// Our own exports come back as the captures they were: BINARY32 exactly, 1999 ASCII within
// half its step.
TEST(ComtradeImport, OurOwnExportsComeBackAsTheirCaptures)
{
    StoredCapture original;
    original.row.started = QStringLiteral("2026-12-08T10:51:02.125Z");
    original.row.port = QStringLiteral("/dev/ttyUSB0");
    original.row.xTitle = QStringLiteral("mS");
    original.row.yTitle = QStringLiteral("t \u00B0C");
    for (int i = 0; i < 50; ++i) {
        original.x.push_back(i * 2);
        original.y.push_back(i % 7 == 0 ? 250000 - i : -i * 31);
    }
    const QDateTime start = QDateTime::fromString(original.row.started, Qt::ISODateWithMs).toLocalTime();
    for (ExportFormat format : {ExportFormat::Comtrade, ExportFormat::Comtrade2013}) {
        const auto files = captureComtrade(original, start, format);
        ASSERT_TRUE(files);
        const ComtradeResult back = readComtrade(files->cfg, files->dat);
        ASSERT_TRUE(back.record) << back.error.message().toStdString();
        const CaptureData c = comtradeCapture(*back.record, 0);
        EXPECT_EQ(c.started, original.row.started);
        EXPECT_EQ(c.port, QStringLiteral("COMTRADE Orvik /dev/ttyUSB0"));
        EXPECT_EQ(c.yTitle, original.row.yTitle);
        ASSERT_EQ(c.y.size(), original.y.size());
        const double step = format == ExportFormat::Comtrade2013 ? 0 : back.record->analogs[0].a;
        for (std::size_t i = 0; i < c.y.size(); ++i) {
            EXPECT_EQ(c.x[i], original.x[i] * 1000);
            EXPECT_LE(std::abs(double(c.y[i]) - original.y[i]), step / 2 + 0.5) << i;
            if (format == ExportFormat::Comtrade2013) {
                EXPECT_EQ(c.y[i], original.y[i]);
            }
        }
    }
}
