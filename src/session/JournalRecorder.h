#pragma once
// Turns what happens on the console into journal rows: counted emergency events, read-outs
// crossing their limits, resets by button or record, the connection's changes, failures
// reported to the operator and captures stored. No widgets; rows go to a sink as they happen.

#include "session/JournalRow.h"
#include "session/RecordParser.h"

#include <QDateTime>
#include <QString>
#include <array>
#include <functional>
#include <set>

class TJournalRecorder {
public:
    explicit TJournalRecorder(TJournalSink& sink);

    // The clock of the rows' times; tests give their own.
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTimeUtc(); };
    // Where the rows come from: empty live, the replay's origin while one is replayed.
    QString origin;

    // The parser's outcome of a line: its event, crossings and resets.
    void lineOutcome(const TLineOutcome& outcome);
    // A reset from one of the window's buttons.
    void resetByButton(TResetKind kind);

    void connectionOpened(const QString& port, const QString& rate);
    void connectionClosed(const QString& port);
    void connectionLost(const QString& port);
    void connectionWaiting(const QString& port);
    void connectionReconnected(const QString& port, const QString& rate);
    // While waiting: another device under the name (not opened), or an open that keeps failing.
    void connectionRefused(const QString& port, const QString& found);
    void connectionFailing(const QString& port, const QString& reason);

    // A failure reported to the operator; subject "port", "log" or "archive".
    void error(const QString& subject, const QString& message);
    // A capture stored; only its first store makes a row. The row carries the capture's
    // start (stored time text) when given, so it sits among the rows of that moment, and
    // says the event that started it; a capture replayed gives its origin to its row.
    void captureStored(qint64 id, qint64 points, const QString& started = {}, const QString& event = {},
        const QString& origin = {});

    // The time of the last row written, ms since the epoch (a counted event's row time is
    // what the capture it starts remembers).
    qint64 lastRowMs() const { return lastRowMs_; }

    static QString timeText(const QDateTime& time);
    // What a connection row was given beside its port (the rate opened at, the device found,
    // the reason of a failing open); empty when its state takes nothing more.
    static QString connectionDetail(const TJournalRow& row);

private:
    enum class Shade { None, Green, Red };
    void row(const QString& kind, const QString& subject, const QString& value, const QString& text);
    void rowAt(const QString& time, const QString& kind, const QString& subject, const QString& value,
        const QString& text, const QString& rowOrigin);
    void reading(const TLineOutcome::Reading& r);
    void resetRow(TResetKind kind, bool byButton);

    QString stamp(const QDateTime& time);

    TJournalSink& sink_;
    // Rows come in floods (a reading alternating around its limit): the date and time up to
    // the second are formatted once a second, not once a row.
    qint64 stampSecond_ = -1;
    qint64 lastRowMs_ = 0;
    QString stampPrefix_;
    std::array<Shade, 3> shades_{Shade::None, Shade::None, Shade::None};
    std::set<qint64> captures_;
};
