#include "archive/ComtradeImport.h"

#include "archive/ArchiveTime.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The titles this console's own exports turn into units, back again.
QString titleOfUnit(const QString& unit)
{
    if (unit == QLatin1String("degC") || unit == QStringLiteral("\u00B0C"))
        return QStringLiteral("t \u00B0C");
    if (unit == QLatin1String("-"))
        return QString();
    return unit;
}

QString joined(const QStringList& parts)
{
    QStringList kept;
    for (const QString& p : parts)
        if (!p.trimmed().isEmpty())
            kept << p.trimmed();
    return kept.join(QLatin1Char(' '));
}

} // namespace

CaptureData comtradeCapture(const ComtradeRecord& record, std::size_t channel)
{
    const ComtradeAnalog& c = record.analogs[channel];
    const std::size_t n = std::min(c.raw.size(), record.timesUs.size());
    CaptureData out;
    out.port = QStringLiteral("COMTRADE ") + joined({record.station, record.device});
    out.xTitle = QStringLiteral("\u00B5S");
    QString where = joined({c.phase, c.circuit});
    out.note = c.id.trimmed();
    if (!where.isEmpty())
        out.note += QStringLiteral(" (%1)").arg(where);
    const std::int64_t startMs = record.start.toMSecsSinceEpoch();
    out.started = archiveTime(startMs);

    // The finest step the file can hold: a for whole numbers, a float's for the rest.
    double largest = 0;
    bool integral = record.fileType != "FLOAT32";
    // A value or time beyond what a double holds (a file's extreme a or rate) counts as missing.
    const auto usable = [&](std::size_t i) {
        return std::isfinite(c.raw[i]) && std::isfinite(c.primaryValue(i))
            && std::isfinite(record.timesUs[i] + c.skewUs);
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (!usable(i))
            continue;
        largest = std::max(largest, std::abs(c.primaryValue(i)));
        integral = integral && c.raw[i] == std::trunc(c.raw[i]);
    }
    const double ratio = c.secondaryValues ? std::abs(c.primary / c.secondary) : 1.0;
    const double quantum = integral ? std::abs(c.a) * ratio : largest * std::ldexp(1.0, -23);
    const ComtradeScale scale = comtradeScale(titleOfUnit(c.unit), quantum, largest);
    out.yTitle = scale.title;
    const double unit = std::pow(10.0, scale.exponent);

    out.x.reserve(n);
    out.y.reserve(n);
    constexpr double kTop = double(std::numeric_limits<std::int32_t>::max());
    double lastUs = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!usable(i))
            continue;
        const double us = record.timesUs[i] + c.skewUs;
        lastUs = us;
        out.x.push_back(std::llround(std::clamp(us, -9e18, 9e18)));
        out.y.push_back(std::int32_t(std::llround(std::clamp(c.primaryValue(i) / unit, -kTop, kTop))));
    }
    out.ended = archiveTime(startMs + std::llround(std::clamp(lastUs / 1000.0, -9e15, 9e15)));
    return out;
}
