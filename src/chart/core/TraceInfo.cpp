#include "chart/core/TraceInfo.h"

#include <QDateTime>
#include <QHash>
#include <QStringList>

namespace chartmath {

namespace {

QDateTime fromArchive(const QString& text)
{
    QDateTime t = QDateTime::fromString(text, QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
    t.setTimeSpec(Qt::UTC);
    return t;
}

double secondsOf(TTimeUnit u)
{
    switch (u) {
    case TTimeUnit::Micro:
        return 1e-6;
    case TTimeUnit::Milli:
        return 1e-3;
    case TTimeUnit::Second:
        return 1;
    case TTimeUnit::Unknown:
        break;
    }
    return 0;
}

} // namespace

TTimeUnit timeUnit(const QString& title)
{
    const QString t = title.trimmed();
    if (t == QStringLiteral("\u00B5S") || t == QStringLiteral("\u03BCS")) {
        return TTimeUnit::Micro;
    }
    if (t == QStringLiteral("mS") || t == QStringLiteral("ms")) {
        return TTimeUnit::Milli;
    }
    if (t == QStringLiteral("S") || t == QStringLiteral("s")) {
        return TTimeUnit::Second;
    }
    return TTimeUnit::Unknown;
}

double timeFactor(const QString& from, const QString& to)
{
    const double a = secondsOf(timeUnit(from));
    const double b = secondsOf(timeUnit(to));
    if (a == 0 || b == 0) {
        return from == to ? 1 : 0;
    }
    if (a == b) {
        return 1;
    }
    // Whole powers of ten, so that 95 S reads exactly 95000 mS.
    return a > b ? double(qRound64(a / b)) : 1.0 / double(qRound64(b / a));
}

QString startText(const QString& started)
{
    // The legend asks for every shown trace's start on every sample record, and reading a time
    // in local time reads the zone file each time: the answers are kept (a few traces at once).
    constexpr qsizetype kKept = 64;
    thread_local QHash<QString, QString> known;
    if (const auto it = known.constFind(started); it != known.cend())
        return it.value();
    const QDateTime t = fromArchive(started);
    const QString text
        = t.isValid() ? t.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : started;
    if (known.size() >= kKept)
        known.clear();
    known.insert(started, text);
    return text;
}

QString captureFileName(const TTraceInfo& info)
{
    QStringList parts{QStringLiteral("capture")};
    if (info.id > 0) {
        parts << QString::number(info.id);
    }
    if (!info.event.isEmpty()) {
        parts << info.event;
    }
    if (const QDateTime t = fromArchive(info.started); t.isValid()) {
        parts << t.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    }
    return parts.join(QLatin1Char('-'));
}

} // namespace chartmath
