#include "JsonLines.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// A row or capture of a replay says which.
QByteArray line(QJsonObject object, const QString& origin = {})
{
    if (!origin.isEmpty())
        object.insert(QStringLiteral("origin"), origin);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

QByteArray journalJson(const TJournalRow& row)
{
    // A connection's row is its change: the state is the row's value, the port its subject.
    if (row.kind == QLatin1String("connection"))
        return line({{QStringLiteral("type"), QStringLiteral("connection")},
                        {QStringLiteral("time"), row.time}, {QStringLiteral("port"), row.subject},
                        {QStringLiteral("state"), row.value}, {QStringLiteral("text"), row.text}},
            row.origin);
    return line({{QStringLiteral("type"), QStringLiteral("journal")}, {QStringLiteral("time"), row.time},
                    {QStringLiteral("kind"), row.kind}, {QStringLiteral("subject"), row.subject},
                    {QStringLiteral("value"), row.value}, {QStringLiteral("text"), row.text}},
        row.origin);
}

QByteArray captureJson(const CaptureRow& row)
{
    return line({{QStringLiteral("type"), QStringLiteral("capture")}, {QStringLiteral("id"), qint64(row.id)},
                    {QStringLiteral("started"), row.started}, {QStringLiteral("ended"), row.ended},
                    {QStringLiteral("port"), row.port}, {QStringLiteral("points"), qint64(row.points)},
                    {QStringLiteral("x_title"), row.xTitle}, {QStringLiteral("y_title"), row.yTitle},
                    {QStringLiteral("event"), row.event}, {QStringLiteral("event_time"), row.eventTime}},
        row.origin);
}
