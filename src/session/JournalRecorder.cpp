#include "session/JournalRecorder.h"

#include "common/Cp1251.h"

namespace {

namespace text {
const QString event = QStringLiteral("Аварийно събитие %1 при температура %2 °C");
const QString voltageOut = QStringLiteral("Напрежението %1 V излезе извън границата ±%2 V");
const QString voltageIn = QStringLiteral("Напрежението %1 V се върна в границата ±%2 V");
const QString currentOut = QStringLiteral("Токът %1 A надхвърли границата %2 A");
const QString currentIn = QStringLiteral("Токът %1 A се върна под границата %2 A");
const QString temperatureOut = QStringLiteral("Температурата %1 °C надхвърли границата %2 °C");
const QString temperatureIn = QStringLiteral("Температурата %1 °C се върна под границата %2 °C");
const QString resetCounters = QStringLiteral("Броячите на аварийните събития са нулирани %1");
const QString resetReadouts = QStringLiteral("Показанията са нулирани %1");
const QString resetScope = QStringLiteral("Графичните данни са изчистени %1");
const QString byButton = QStringLiteral("с бутона");
const QString byRecord = QStringLiteral("по запис от устройството");
const QString opened = QStringLiteral("Връзката с %1 е отворена при %2 бода");
const QString closed = QStringLiteral("Връзката с %1 е затворена");
const QString lost = QStringLiteral("Връзката с %1 прекъсна");
const QString waiting = QStringLiteral("Изчакване на %1 за повторно свързване");
const QString reconnected = QStringLiteral("Връзката с %1 е възстановена при %2 бода");
const QString refused = QStringLiteral("Под %1 е друго устройство (%2); не е отворено");
const QString failing = QStringLiteral("Изчакване на %1: %2");
const QString capture = QStringLiteral("Запис %1 с %2 точки е съхранен");
const QString captureOfEvent = QStringLiteral("Запис %1 с %2 точки е съхранен; започна след събитие %3");
} // namespace text

QString fromDevice(std::string_view s)
{
    return cp1251::decode(s.data(), qsizetype(s.size()));
}

} // namespace

TJournalRecorder::TJournalRecorder(TJournalSink& sink)
    : sink_(sink)
{
}

QString TJournalRecorder::timeText(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QString TJournalRecorder::stamp(const QDateTime& time)
{
    const qint64 ms = time.toMSecsSinceEpoch();
    const qint64 second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    if (second != stampSecond_) {
        stampSecond_ = second;
        const QString full = timeText(time);
        stampPrefix_ = full.left(full.size() - 4); // up to the "." before the milliseconds
    }
    const int milli = int(ms - second * 1000);
    QString out = stampPrefix_;
    out += QChar(u'0' + milli / 100);
    out += QChar(u'0' + milli / 10 % 10);
    out += QChar(u'0' + milli % 10);
    out += QLatin1Char('Z');
    return out;
}

void TJournalRecorder::row(
    const QString& kind, const QString& subject, const QString& value, const QString& text)
{
    const QDateTime now = clock();
    lastRowMs_ = now.toMSecsSinceEpoch();
    sink_.appendJournal({stamp(now), kind, subject, value, text, origin});
}

void TJournalRecorder::rowAt(const QString& time, const QString& kind, const QString& subject,
    const QString& value, const QString& text, const QString& rowOrigin)
{
    sink_.appendJournal({time, kind, subject, value, text, rowOrigin});
}

void TJournalRecorder::lineOutcome(const TLineOutcome& o)
{
    // In the order the parser acted: the temperature is coloured before the event counts.
    for (int i = 0; i < o.readingCount; ++i)
        reading(o.readings[std::size_t(i)]);
    if (o.event) {
        const QString t = fromDevice(o.temperature);
        row(QStringLiteral("event"), QString::fromLatin1(eventName(*o.event)), t,
            text::event.arg(QString::fromLatin1(eventName(*o.event)), t));
    }
    for (int i = 0; i < o.resetCount; ++i)
        resetRow(o.resets[std::size_t(i)], false);
}

void TJournalRecorder::reading(const TLineOutcome::Reading& r)
{
    Shade& shade = shades_[std::size_t(r.which)];
    const Shade now = r.red ? Shade::Red : Shade::Green;
    // A row when a read-out turns red from any state and when it turns green from red.
    const bool crossed = now == Shade::Red ? shade != Shade::Red : shade == Shade::Red;
    shade = now;
    if (!crossed)
        return;
    const QString value = fromDevice(r.text);
    const QString limit = QString::number(r.limit);
    switch (r.which) {
    case TReadout::Voltage:
        row(QStringLiteral("limit"), QStringLiteral("Voltage"), value,
            (r.red ? text::voltageOut : text::voltageIn).arg(value, limit));
        break;
    case TReadout::Current:
        row(QStringLiteral("limit"), QStringLiteral("Current"), value,
            (r.red ? text::currentOut : text::currentIn).arg(value, limit));
        break;
    case TReadout::Temperature:
        row(QStringLiteral("limit"), QStringLiteral("Temperature"), value,
            (r.red ? text::temperatureOut : text::temperatureIn).arg(value, limit));
        break;
    }
}

void TJournalRecorder::resetByButton(TResetKind kind)
{
    resetRow(kind, true);
}

void TJournalRecorder::resetRow(TResetKind kind, bool byButton)
{
    const QString how = byButton ? text::byButton : text::byRecord;
    const QString value = byButton ? QStringLiteral("button") : QStringLiteral("record");
    switch (kind) {
    case TResetKind::Counters:
        row(QStringLiteral("reset"), QStringLiteral("counters"), value, text::resetCounters.arg(how));
        break;
    case TResetKind::Readouts:
        // The read-outs show green "0": the next red is a crossing, the next green is not.
        shades_.fill(Shade::Green);
        row(QStringLiteral("reset"), QStringLiteral("readouts"), value, text::resetReadouts.arg(how));
        break;
    case TResetKind::Scope:
        row(QStringLiteral("reset"), QStringLiteral("scope"), value, text::resetScope.arg(how));
        break;
    }
}

void TJournalRecorder::connectionOpened(const QString& port, const QString& rate)
{
    row(QStringLiteral("connection"), port, QStringLiteral("opened"), text::opened.arg(port, rate));
}

void TJournalRecorder::connectionClosed(const QString& port)
{
    row(QStringLiteral("connection"), port, QStringLiteral("closed"), text::closed.arg(port));
}

void TJournalRecorder::connectionLost(const QString& port)
{
    row(QStringLiteral("connection"), port, QStringLiteral("lost"), text::lost.arg(port));
}

void TJournalRecorder::connectionWaiting(const QString& port)
{
    row(QStringLiteral("connection"), port, QStringLiteral("waiting"), text::waiting.arg(port));
}

void TJournalRecorder::connectionRefused(const QString& port, const QString& found)
{
    row(QStringLiteral("connection"), port, QStringLiteral("refused"), text::refused.arg(port, found));
}

void TJournalRecorder::connectionFailing(const QString& port, const QString& reason)
{
    row(QStringLiteral("connection"), port, QStringLiteral("failing"), text::failing.arg(port, reason));
}

void TJournalRecorder::connectionReconnected(const QString& port, const QString& rate)
{
    row(QStringLiteral("connection"), port, QStringLiteral("reconnected"), text::reconnected.arg(port, rate));
}

QString TJournalRecorder::connectionDetail(const TJournalRow& row)
{
    const QString* form = row.value == QLatin1String("opened") ? &text::opened
        : row.value == QLatin1String("reconnected")            ? &text::reconnected
        : row.value == QLatin1String("refused")                ? &text::refused
        : row.value == QLatin1String("failing")                ? &text::failing
                                                               : nullptr;
    if (!form)
        return {};
    // The row's text is the form with the port for %1 and the detail for %2.
    const qsizetype at = form->indexOf(QLatin1String("%2"));
    const QString before = form->left(at).arg(row.subject);
    const QString after = form->mid(at + 2);
    if (!row.text.startsWith(before) || !row.text.endsWith(after))
        return {};
    return row.text.mid(before.size(), row.text.size() - before.size() - after.size());
}

void TJournalRecorder::error(const QString& subject, const QString& message)
{
    row(QStringLiteral("error"), subject, QString(), message);
}

void TJournalRecorder::captureStored(
    qint64 id, qint64 points, const QString& started, const QString& event, const QString& captureOrigin)
{
    if (!captures_.insert(id).second)
        return;
    const QString n = QString::number(id);
    const QString p = QString::number(points);
    const QString text = event.isEmpty() ? text::capture.arg(n, p) : text::captureOfEvent.arg(n, p, event);
    if (started.isEmpty())
        row(QStringLiteral("capture"), n, p, text);
    else
        rowAt(
            started, QStringLiteral("capture"), n, p, text, captureOrigin.isEmpty() ? origin : captureOrigin);
}
