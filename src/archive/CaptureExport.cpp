#include "archive/CaptureExport.h"

#include "archive/ArchiveTime.h"

#include <QSaveFile>
#include <algorithm>
#include <limits>

namespace {

// The range of an ASCII sample; 99999 marks a missing one.
constexpr std::int64_t kSampleMin = -99999;
constexpr std::int64_t kSampleMax = 99998;
constexpr std::int64_t kTimestampMax = 9999999999;

QByteArray number(std::int64_t v)
{
    return QByteArray::number(qlonglong(v));
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
        QByteArray h(name);
        if (!title.isEmpty())
            h += " [" + title.toUtf8() + "]";
        return h;
    };
    QByteArray out = "k," + titled("x", capture.row.xTitle) + "," + titled("y", capture.row.yTitle) + "\r\n";
    out.reserve(out.size() + qsizetype(capture.x.size()) * 24);
    for (std::size_t i = 0; i < capture.x.size(); ++i)
        out += number(std::int64_t(i + 1)) + ',' + number(capture.x[i]) + ',' + number(capture.y[i]) + "\r\n";
    return out;
}

std::optional<ComtradeFiles> captureComtrade(const StoredCapture& capture, const QDateTime& start)
{
    const std::size_t n = capture.x.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (capture.x[i] < 0 || (i > 0 && capture.x[i] < capture.x[i - 1]))
            return std::nullopt;
    }

    // Samples beyond the ASCII range are divided by the smallest power of ten that brings
    // every rounded value inside; a tells the reader to multiply back.
    std::int64_t a = 1;
    const auto fits = [&](std::int64_t divisor) {
        return std::all_of(capture.y.begin(), capture.y.end(), [&](std::int32_t y) {
            const std::int64_t v = roundedDiv(y, divisor);
            return v >= kSampleMin && v <= kSampleMax;
        });
    };
    while (!fits(a))
        a *= 10;

    // Time stamps are microseconds / timemult; timemult grows by tens until the last fits.
    const std::int64_t perX = microsecondsPerX(capture.row.xTitle);
    const std::int64_t lastX = n ? capture.x.back() : 0;
    std::int64_t mult = 1;
    const auto lastFits = [&](std::int64_t m) {
        // lastX * perX / m <= max, without forming the product.
        if (m >= perX)
            return roundedDiv(lastX, m / perX) <= kTimestampMax;
        const std::int64_t f = perX / m;
        return lastX <= kTimestampMax / f;
    };
    while (!lastFits(mult))
        mult *= 10;
    const auto timestamp
        = [&](std::int64_t x) { return mult >= perX ? roundedDiv(x, mult / perX) : x * (perX / mult); };

    std::int64_t lo = 0;
    std::int64_t hi = 0;
    QByteArray dat;
    dat.reserve(qsizetype(n) * 24);
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t v = roundedDiv(capture.y[i], a);
        lo = i ? std::min(lo, v) : v;
        hi = i ? std::max(hi, v) : v;
        dat += number(std::int64_t(i + 1)) + ',' + number(timestamp(capture.x[i])) + ',' + number(v) + "\r\n";
    }

    const Channel ch = channelOf(capture.row.yTitle);
    const QByteArray when = start.toString(QStringLiteral("dd/MM/yyyy,hh:mm:ss.zzz")).toLatin1() + "000";
    QByteArray cfg;
    cfg += "Orvik," + field(capture.row.port) + ",1999\r\n";
    cfg += "1,1A,0D\r\n";
    cfg += QByteArray("1,") + ch.id + ",,," + ch.unit + ',' + number(a) + ",0,0," + number(lo) + ','
        + number(hi) + ",1,1,P\r\n";
    cfg += "50\r\n";
    cfg += "0\r\n";
    cfg += "0," + number(std::int64_t(n)) + "\r\n";
    cfg += when + "\r\n";
    cfg += when + "\r\n";
    cfg += "ASCII\r\n";
    cfg += number(mult) + "\r\n";
    return ComtradeFiles{cfg, dat};
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
    if (format == ExportFormat::Csv) {
        result.error = writeFileAtomically(path, captureCsv(capture));
    } else {
        const QDateTime start = fromArchiveTime(capture.row.started).toLocalTime();
        const auto files = captureComtrade(capture, start);
        if (!files) {
            result.outcome = ExportOutcome::XNotIncreasing;
            return result;
        }
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
