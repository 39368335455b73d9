#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>

// UTC time as the archive writes it: 2026-12-08T10:51:02.125Z.
inline QString archiveTime(std::int64_t msecsSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

// The inverse; an invalid QDateTime for text that is not such a time.
inline QDateTime fromArchiveTime(const QString& text)
{
    QDateTime t = QDateTime::fromString(text, QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
    t.setTimeSpec(Qt::UTC);
    return t;
}
