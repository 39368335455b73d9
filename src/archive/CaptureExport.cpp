#include "archive/CaptureExport.h"

#include "archive/ArchiveTime.h"
#include "console/core/Csv.h"

#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

// The range of an ASCII sample; 99999 marks a missing one. Scaled samples use ±99998.
constexpr std::int64_t kSampleMin = -99999;
constexpr std::int64_t kSampleMax = 99998;
constexpr std::int64_t kAsciiTimestampMax = 9999999999;
// A BINARY32 time stamp is unsigned 32-bit; all ones marks a missing one, as 0x80000000
// does a missing sample.
constexpr std::int64_t kBinaryTimestampMax = 0xFFFFFFFELL;
constexpr std::int64_t kInt32Missing = std::numeric_limits<std::int32_t>::min();

QByteArray number(std::int64_t v)
{
    return QByteArray::number(qlonglong(v));
}

// The shortest text without an exponent that reads back as the same double.
QByteArray real(double v)
{
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return r.ec == std::errc() ? QByteArray(buf, r.ptr - buf) : QByteArray::number(v, 'g', 17);
}

// x / d rounded half away from zero, d > 0.
std::int64_t roundedDiv(std::int64_t x, std::int64_t d)
{
    const std::int64_t q = x / d;
    const std::int64_t r = x % d;
    if (2 * (r < 0 ? -r : r) >= d)
        return x < 0 ? q - 1 : q + 1;
    return q;
}

struct Channel {
    const char* id;
    const char* unit;
};

Channel channelOf(const QString& yTitle)
{
    if (yTitle == QLatin1String("V"))
        return {"U", "V"};
    if (yTitle == QLatin1String("A"))
        return {"I", "A"};
    if (yTitle == QStringLiteral("t \u00B0C"))
        return {"T", "degC"};
    return {"Y", "-"};
}

// Station names are free text, but a comma would split the field.
QByteArray field(const QString& text)
{
    QString t = text;
    t.replace(QLatin1Char(','), QLatin1Char(' '));
    return t.left(64).toUtf8();
}

// The stored numbers of one channel and how the reader turns them back into samples.
struct Scaled {
    QByteArray a = "1";
    std::int64_t b = 0;
    std::vector<std::int64_t> x;
    std::int64_t rounded = 0;
    double largestError = 0;
};

// 1999 ASCII: samples that fit are written as they are; otherwise a = max|y| / 99998, so the
// largest sample fills the field and every other keeps as many digits as the field allows.
Scaled scaleForAscii(const std::vector<std::int32_t>& y)
{
    Scaled s;
    s.x.assign(y.begin(), y.end());
    const auto [lo, hi] = std::minmax_element(y.begin(), y.end());
    if (y.empty() || (*lo >= kSampleMin && *hi <= kSampleMax))
        return s;
    const std::int64_t largest = std::max(-std::int64_t(*lo), std::int64_t(*hi));
    const double a = double(largest) / double(kSampleMax);
    s.a = real(a);
    for (std::size_t i = 0; i < y.size(); ++i) {
        // y / a in whole numbers, so only a true remainder counts as rounding.
        const std::int64_t scaled = std::int64_t(y[i]) * kSampleMax;
        s.x[i] = roundedDiv(scaled, largest);
        if (scaled % largest != 0) {
            ++s.rounded;
            s.largestError = std::max(s.largestError, std::abs(a * double(s.x[i]) - double(y[i])));
        }
    }
    return s;
}

// 2013 BINARY32: every sample as it is, a = 1. The one 32-bit value that marks a missing
// sample is moved up by b = -1 when the top of the range leaves room.
Scaled scaleForBinary32(const std::vector<std::int32_t>& y)
{
    Scaled s;
    s.x.assign(y.begin(), y.end());
    const bool lowest = std::find(y.begin(), y.end(), kInt32Missing) != y.end();
    if (!lowest)
        return s;
    const bool highest = std::find(y.begin(), y.end(), std::numeric_limits<std::int32_t>::max()) != y.end();
    for (std::int64_t& v : s.x) {
        if (!highest) {
            ++v;
        } else if (v == kInt32Missing) {
            ++v;
            ++s.rounded;
            s.largestError = 1;
        }
    }
    if (!highest)
        s.b = -1;
    return s;
}

// The offset of local time from UTC as the 2013 .cfg writes it: +2, -5h30.
QByteArray utcOffset(const QDateTime& t)
{
    const int seconds = t.offsetFromUtc();
    const int minutes = std::abs(seconds) / 60;
    QByteArray out = seconds < 0 ? "-" : "+";
    out += number(minutes / 60);
    if (minutes % 60)
        out += 'h' + QByteArray::number(minutes % 60).rightJustified(2, '0');
    return out;
}

} // namespace

std::int64_t microsecondsPerX(const QString& xTitle)
{
    if (xTitle == QLatin1String("mS"))
        return 1000;
    if (xTitle == QLatin1String("S"))
        return 1000000;
    return 1; // "µS", and X taken as microseconds when no unit is known
}

QByteArray captureCsv(const StoredCapture& capture)
{
    const auto titled = [](const char* name, const QString& title) {
        QString h = QLatin1String(name);
        if (!title.isEmpty())
            h += QStringLiteral(" [") + title + QLatin1Char(']');
        return h;
    };
    QByteArray out;
    out.reserve(qsizetype(capture.x.size()) * 24 + 64);
    appendCsvRow(
        out, {QStringLiteral("k"), titled("x", capture.row.xTitle), titled("y", capture.row.yTitle)});
    for (std::size_t i = 0; i < capture.x.size(); ++i)
        appendCsvNumbers(out, {std::int64_t(i + 1), capture.x[i], capture.y[i]});
    return out;
}

std::optional<ExportOutcome> comtradeRefusal(const StoredCapture& capture)
{
    const auto& x = capture.x;
    bool still = false;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (x[i] < 0 || (i > 0 && x[i] < x[i - 1]))
            return ExportOutcome::XNotIncreasing;
        still = still || (i > 0 && x[i] == x[i - 1]);
    }
    if (still)
        return ExportOutcome::XStandsStill;
    return std::nullopt;
}

std::optional<ComtradeFiles> captureComtrade(
    const StoredCapture& capture, const QDateTime& start, ExportFormat format)
{
    if (comtradeRefusal(capture))
        return std::nullopt;
    const bool binary = format == ExportFormat::Comtrade2013;
    const std::size_t n = capture.x.size();
    const Scaled s = binary ? scaleForBinary32(capture.y) : scaleForAscii(capture.y);

    // Time stamps are microseconds / timemult; timemult grows by tens until the last fits.
    const std::int64_t perX = microsecondsPerX(capture.row.xTitle);
    const std::int64_t lastX = n ? capture.x.back() : 0;
    const std::int64_t timestampMax = binary ? kBinaryTimestampMax : kAsciiTimestampMax;
    std::int64_t mult = 1;
    const auto lastFits = [&](std::int64_t m) {
        // lastX * perX / m <= max, without forming the product.
        if (m >= perX)
            return roundedDiv(lastX, m / perX) <= timestampMax;
        const std::int64_t f = perX / m;
        return lastX <= timestampMax / f;
    };
    while (!lastFits(mult))
        mult *= 10;
    const auto timestamp
        = [&](std::int64_t x) { return mult >= perX ? roundedDiv(x, mult / perX) : x * (perX / mult); };

    // Evenly spaced points have a sampling rate, which readers use instead of the stamps.
    bool even = n >= 2;
    for (std::size_t i = 2; even && i < n; ++i)
        even = capture.x[i] - capture.x[i - 1] == capture.x[1] - capture.x[0];

    std::int64_t lo = 0;
    std::int64_t hi = 0;
    QByteArray dat;
    dat.reserve(qsizetype(n) * (binary ? 12 : 24));
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t v = s.x[i];
        lo = i ? std::min(lo, v) : v;
        hi = i ? std::max(hi, v) : v;
        if (binary) {
            char record[12];
            qToLittleEndian(std::uint32_t(i + 1), record);
            qToLittleEndian(std::uint32_t(timestamp(capture.x[i])), record + 4);
            qToLittleEndian(std::int32_t(v), record + 8);
            dat.append(record, sizeof record);
        } else {
            dat += number(std::int64_t(i + 1)) + ',' + number(timestamp(capture.x[i])) + ',' + number(v)
                + "\r\n";
        }
    }

    const Channel ch = channelOf(capture.row.yTitle);
    const QByteArray when = start.toString(QStringLiteral("dd/MM/yyyy,hh:mm:ss.zzz")).toLatin1() + "000";
    QByteArray cfg;
    cfg += "Orvik," + field(capture.row.port) + (binary ? ",2013\r\n" : ",1999\r\n");
    cfg += "1,1A,0D\r\n";
    cfg += QByteArray("1,") + ch.id + ",,," + ch.unit + ',' + s.a + ',' + number(s.b) + ",0," + number(lo)
        + ',' + number(hi) + ",1,1,P\r\n";
    cfg += "50\r\n";
    if (even) {
        const double periodUs = double(capture.x[1] - capture.x[0]) * double(perX);
        cfg += "1\r\n" + real(1e6 / periodUs) + ',' + number(std::int64_t(n)) + "\r\n";
    } else {
        cfg += "0\r\n0," + number(std::int64_t(n)) + "\r\n";
    }
    cfg += when + "\r\n";
    cfg += when + "\r\n";
    cfg += binary ? "BINARY32\r\n" : "ASCII\r\n";
    cfg += number(mult) + "\r\n";
    if (binary) {
        // The times are local; the clock's quality is not known, so no claim beyond 0.
        const QByteArray offset = utcOffset(start);
        cfg += offset + ',' + offset + "\r\n";
        cfg += "0,0\r\n";
    }
    return ComtradeFiles{cfg, dat, s.rounded, s.largestError};
}

QString writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return {};
}

ExportResult exportCapture(const StoredCapture& capture, ExportFormat format, const QString& path)
{
    ExportResult result;
    result.id = capture.row.id;
    result.format = format;
    result.path = path;
    result.points = std::int64_t(capture.x.size());
    if (format == ExportFormat::Csv) {
        result.error = writeFileAtomically(path, captureCsv(capture));
    } else {
        if (const auto refusal = comtradeRefusal(capture)) {
            result.outcome = *refusal;
            return result;
        }
        const QDateTime start = fromArchiveTime(capture.row.started).toLocalTime();
        const auto files = captureComtrade(capture, start, format);
        result.rounded = files->rounded;
        result.largestError = files->largestError;
        QString dat = path;
        if (dat.endsWith(QLatin1String(".cfg"), Qt::CaseInsensitive))
            dat.chop(4);
        dat += QLatin1String(".dat");
        result.error = writeFileAtomically(path, files->cfg);
        if (result.error.isEmpty())
            result.error = writeFileAtomically(dat, files->dat);
    }
    if (!result.error.isEmpty())
        result.outcome = ExportOutcome::WriteFailed;
    return result;
}
