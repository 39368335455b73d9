#include "console/core/JournalModel.h"
#include "session/JournalRecorder.h"
#include "session/LinkStats.h"
#include "session/RecordParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Rows : TJournalSink {
    std::vector<TJournalRow> rows;
    void appendJournal(const TJournalRow& row) override { rows.push_back(row); }
    std::vector<std::string> brief() const
    {
        std::vector<std::string> out;
        for (const auto& r : rows)
            out.push_back((r.kind + " " + r.subject + " " + r.value).toStdString());
        return out;
    }
};

// The window as the parser sees it, handing each line's outcome to the recorder.
struct Console : TRecordView {
    QByteArray limit = "50";
    TJournalRecorder* recorder = nullptr;
    TLinkStats* stats = nullptr;
    QByteArray limitText(TLimit) const override { return limit; }
    void setReadoutText(TReadout, QByteArrayView) override { }
    void setReadoutColor(TReadout, TColor) override { }
    void setCounter(TEvent, std::uint16_t, TColor) override { }
    void eventCounted() override { }
    void setLeftAxisTitle(const QString&) override { }
    void setBottomAxisTitle(const QString&) override { }
    void addPoint(double, double) override { }
    void clearScope() override { }
    void send(const QByteArray&) override { }
    void lineOutcome(const TLineOutcome& o) override
    {
        if (recorder)
            recorder->lineOutcome(o);
        if (stats)
            stats->line(o);
    }
};

using Brief = std::vector<std::string>;

TEST(JournalRecorder, RowsForAScriptedSequenceInOrderAndOnceEach)
{
    const QByteArray script = "W:VA10/2\r" // first green: nothing
                              "W:TR42/RK0\r" // RK0 counts nothing
                              "W:TR80/RK2\r" // temperature red, then the event
                              "W:VA-60/2\r" // voltage red
                              "W:VA-70/2\r" // still red: nothing
                              "W:VA-20/70\r" // voltage green again, current red
                              "W:RS+RALL\r" // three resets; read-outs green without rows
                              "W:VA10/2\r" // green after a reset: nothing
                              "W:TR60/SUK\r" // red after a reset: a row
                              "W:RS+RRKS\r";
    const Brief expected = {"limit Temperature 80", "event RK2 80", "limit Voltage -60", "limit Voltage -20",
        "limit Current 70", "reset counters record", "reset readouts record", "reset scope record",
        "limit Temperature 60", "event SUK 60", "reset counters record", "reset readouts button",
        "limit Temperature 70"};
    for (bool split : {false, true}) {
        Rows rows;
        TJournalRecorder recorder(rows);
        Console console;
        console.recorder = &recorder;
        TRecordParser parser(console);
        if (split) {
            for (char c : script)
                parser.feed(QByteArrayView(&c, 1));
        } else {
            parser.feed(script);
        }
        parser.resetReadouts();
        recorder.resetByButton(TResetKind::Readouts);
        parser.feed("W:TR70/RK0\r");
        EXPECT_EQ(rows.brief(), expected) << (split ? "byte by byte" : "whole");
    }
}

TEST(JournalRecorder, TextsAndTimes)
{
    Rows rows;
    TJournalRecorder recorder(rows);
    recorder.clock = [] { return QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 89), Qt::UTC); };
    Console console;
    console.recorder = &recorder;
    TRecordParser parser(console);
    parser.feed("W:TR80/CFK\rW:VA300/1\r");
    ASSERT_EQ(rows.rows.size(), 3u);
    EXPECT_EQ(rows.rows[0],
        (TJournalRow{"2026-03-04T05:06:07.089Z", "limit", "Temperature", "80",
            "Температурата 80 °C надхвърли границата 50 °C"}));
    EXPECT_EQ(rows.rows[1].text, QStringLiteral("Аварийно събитие CFK при температура 80 °C"));
    EXPECT_EQ(rows.rows[1].time, QStringLiteral("2026-03-04T05:06:07.089Z"));
    EXPECT_EQ(rows.rows[2].text, QStringLiteral("Напрежението 300 V излезе извън границата ±50 V"));
}

// Times within one second share their formatted head; each still has its own milliseconds.
TEST(JournalRecorder, TimesAcrossSecondsAndBeforeTheEpoch)
{
    Rows rows;
    TJournalRecorder recorder(rows);
    qint64 ms = 0;
    recorder.clock = [&] { return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC); };
    for (qint64 t :
        {1772600767089LL, 1772600767999LL, 1772600768000LL, 1772600768005LL, -1LL, -1000LL, 5LL}) {
        ms = t;
        recorder.error("log", "x");
    }
    std::vector<std::string> times;
    for (const auto& r : rows.rows)
        times.push_back(r.time.toStdString());
    EXPECT_EQ(times,
        (std::vector<std::string>{"2026-03-04T05:06:07.089Z", "2026-03-04T05:06:07.999Z",
            "2026-03-04T05:06:08.000Z", "2026-03-04T05:06:08.005Z", "1969-12-31T23:59:59.999Z",
            "1969-12-31T23:59:59.000Z", "1970-01-01T00:00:00.005Z"}));
}

TEST(JournalRecorder, ConnectionErrorsAndCaptures)
{
    Rows rows;
    TJournalRecorder recorder(rows);
    recorder.connectionOpened("/dev/ttyUSB0", "9600");
    recorder.connectionLost("/dev/ttyUSB0");
    recorder.connectionWaiting("/dev/ttyUSB0");
    recorder.connectionReconnected("/dev/ttyUSB0", "9600");
    recorder.connectionClosed("/dev/ttyUSB0");
    recorder.error("port", "Write timed out");
    recorder.captureStored(7, 1200);
    recorder.captureStored(7, 1300); // stored again: no second row
    recorder.captureStored(8, 10);
    EXPECT_EQ(rows.brief(),
        (Brief{"connection /dev/ttyUSB0 opened", "connection /dev/ttyUSB0 lost",
            "connection /dev/ttyUSB0 waiting", "connection /dev/ttyUSB0 reconnected",
            "connection /dev/ttyUSB0 closed", "error port ", "capture 7 1200", "capture 8 10"}));
    EXPECT_EQ(rows.rows[0].text, QStringLiteral("Връзката с /dev/ttyUSB0 е отворена при 9600 бода"));
    EXPECT_EQ(rows.rows[5].text, QStringLiteral("Write timed out"));
}

TEST(JournalModel, NewestFirstFilteredBoundedAndInBatches)
{
    TJournalModel model;
    int inserts = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&] { ++inserts; });
    auto row = [](int i, const char* kind) {
        return TJournalRow{QStringLiteral("2026-01-01T00:00:00.%1Z").arg(i % 1000, 3, 10, QLatin1Char('0')),
            QString::fromLatin1(kind), QStringLiteral("Voltage"), QString::number(i), QString()};
    };
    // A crossing flood: many rows between two refreshes are one change of the list.
    for (int i = 0; i < 25000; ++i)
        model.appendJournal(row(i, i % 5 == 0 ? "event" : "limit"));
    EXPECT_EQ(model.rowCount(), 0);
    model.flush();
    EXPECT_EQ(inserts, 1);
    EXPECT_EQ(model.rowCount(), int(TJournalModel::kShown));
    EXPECT_EQ(model.row(0).value, QStringLiteral("24999"));
    model.appendJournal(row(25000, "event"));
    model.flush();
    EXPECT_EQ(model.rowCount(), int(TJournalModel::kShown));
    EXPECT_EQ(model.row(0).value, QStringLiteral("25000"));
    EXPECT_EQ(model.row(1).value, QStringLiteral("24999"));

    model.setFilter(TJournalFilter::Events);
    EXPECT_EQ(model.rowCount(), 2000);
    EXPECT_EQ(model.row(0).value, QStringLiteral("25000"));
    EXPECT_EQ(model.row(1).value, QStringLiteral("24995"));
    model.appendJournal(row(25001, "limit"));
    model.appendJournal(row(25002, "event"));
    model.flush();
    EXPECT_EQ(model.row(0).value, QStringLiteral("25002"));
    EXPECT_EQ(model.rowCount(), 2001);
}

TEST(JournalModel, CsvAndLocalTime)
{
    const QByteArray csv = journalCsv({{"2026-03-04T05:06:07.089Z", "error", "log", "", "Грешка, \"диск\""},
        {"2026-03-04T05:06:08.000Z", "limit", "Voltage", "-15", "=2+5"}});
    EXPECT_EQ(csv,
        QByteArray(
            "time,kind,subject,value,text\r\n2026-03-04T05:06:07.089Z,error,log,,\"Грешка, \"\"диск\"\"\"\r\n"
            "2026-03-04T05:06:08.000Z,limit,Voltage,-15,'=2+5\r\n"));
    const QString local = journalLocalTime("2026-03-04T05:06:07.089Z");
    EXPECT_TRUE(local.endsWith(QStringLiteral(":07.089"))) << local.toStdString();
    EXPECT_EQ(local.size(), 23);
    EXPECT_EQ(journalFilterCaptions(),
        (QStringList{"Всички", "Събития", "Граници", "Връзка", "Записи", "Нулирания", "Грешки", "Събитие RK1",
            "Събитие RK2", "Събитие RK3", "Събитие CFK", "Събитие SUK"}));
}

// The list speaks Bulgarian; the stored words stay for the file, the export and the tool tip.
TEST(JournalModel, ListSaysTheStoredWordsInBulgarian)
{
    TJournalModel model;
    model.appendJournal(
        {"2026-03-04T05:06:07.089Z", "limit", "Voltage", "62", "Напрежението 62 е над границата 50"});
    model.appendJournal(
        {"2026-03-04T05:06:08.000Z", "connection", "/dev/ttyUSB0", "lost", "Връзката прекъсна"});
    model.flush();
    const auto shown = [&](int row, int column, int role = Qt::DisplayRole) {
        return model.data(model.index(row, column), role).toString();
    };
    EXPECT_EQ(shown(0, TJournalModel::ColKind), QStringLiteral("Връзка"));
    EXPECT_EQ(shown(0, TJournalModel::ColSubject), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(shown(0, TJournalModel::ColValue), QStringLiteral("прекъсната"));
    EXPECT_EQ(shown(1, TJournalModel::ColKind), QStringLiteral("Граница"));
    EXPECT_EQ(shown(1, TJournalModel::ColSubject), QStringLiteral("Напрежение"));
    EXPECT_EQ(shown(1, TJournalModel::ColValue), QStringLiteral("62"));
    EXPECT_EQ(shown(1, TJournalModel::ColKind, Qt::ToolTipRole), QStringLiteral("limit"));
    EXPECT_TRUE(journalCsv({model.row(1)}).contains(",limit,Voltage,62,"));
}

// A capture's row is written seconds after the capture began, when it is first stored, but it
// carries the capture's start and sits among the rows of that moment, below newer ones; the
// filters of one event kind keep that kind alone.
TEST(JournalModel, ACaptureRowSitsAtItsStartAndEventKindsFilterAlone)
{
    TJournalModel model;
    TJournalRecorder recorder(model);
    qint64 ms = 1772600767000; // 2026-03-04T05:06:07.000Z
    recorder.clock = [&] { return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC); };
    Console console;
    console.recorder = &recorder;
    TRecordParser parser(console);
    parser.feed("W:TR20/RK1\r");
    ms += 500;
    parser.feed("W:TR20/CFK\r");
    model.flush(); // shown before the capture's row comes
    ms += 2000;
    parser.feed("W:TR20/RK1\r");
    recorder.captureStored(4, 96, QStringLiteral("2026-03-04T05:06:07.200Z"), QStringLiteral("RK1"));
    ms += 100;
    recorder.captureStored(5, 10, QStringLiteral("2026-03-04T05:06:09.550Z")); // in the same batch
    recorder.error("log", "x");
    model.flush();
    const auto order = [&] {
        std::vector<std::string> out;
        for (int r = 0; r < model.rowCount(); ++r)
            out.push_back((model.row(r).subject + " " + model.row(r).time.mid(17, 6)).toStdString());
        return out;
    };
    const std::vector<std::string> all
        = {"log 09.600", "5 09.550", "RK1 09.500", "CFK 07.500", "4 07.200", "RK1 07.000"};
    EXPECT_EQ(order(), all);
    EXPECT_EQ(model.row(4).text, QStringLiteral("Запис 4 с 96 точки е съхранен; започна след събитие RK1"));
    model.setFilter(journalFilter(TEvent::RK1));
    EXPECT_EQ(order(), (std::vector<std::string>{"RK1 09.500", "RK1 07.000"}));
    model.setFilter(TJournalFilter::Captures);
    EXPECT_EQ(order(), (std::vector<std::string>{"5 09.550", "4 07.200"}));
    model.setFilter(TJournalFilter::All);
    EXPECT_EQ(order(), all);
    EXPECT_EQ(model.find(QStringLiteral("2026-03-04T05:06:07.000Z"), "event", "RK1"), 5);
}

// Capture rows come in batches during a flood, in any order and long after rows newer than
// their start: each sits at its start, in the list of every kind and in the shown list, and
// one older than every row kept is left out of both.
TEST(JournalModel, ABatchOfCaptureRowsInAnyOrderSitsAtTheirStarts)
{
    TJournalModel model;
    const auto at = [](int i) {
        return QDateTime::fromMSecsSinceEpoch(1772600767000 + qint64(i) * 10, Qt::UTC)
            .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
    };
    const int n = int(TJournalModel::kShown);
    for (int i = 1; i <= n; ++i)
        model.appendJournal({at(i * 2), QStringLiteral("limit"), QStringLiteral("Vcc"), {}, {}});
    model.flush();
    // A selection (a persistent index) stays on its row; the oldest ones are pushed out.
    const QPersistentModelIndex selected = model.index(n / 2, TJournalModel::ColTime);
    const QString selectedTime = model.row(n / 2).time;
    const QPersistentModelIndex oldest = model.index(n - 1, TJournalModel::ColValue);
    for (const int i : {n * 2 - 3, 7, n + 1, 0})
        model.appendJournal({at(i), QStringLiteral("capture"), QString::number(i), {}, {}});
    model.flush();
    ASSERT_TRUE(selected.isValid());
    EXPECT_EQ(selected.column(), int(TJournalModel::ColTime));
    EXPECT_EQ(model.row(selected.row()).time, selectedTime);
    EXPECT_FALSE(oldest.isValid());
    const auto rowOf = [&](const QString& subject) {
        for (int r = 0; r < model.rowCount(); ++r)
            if (model.row(r).kind == QStringLiteral("capture") && model.row(r).subject == subject)
                return r;
        return -1;
    };
    // Newest first: a capture goes before the rows of its time and after the newer ones.
    EXPECT_EQ(rowOf(QString::number(n * 2 - 3)), 2);
    EXPECT_EQ(rowOf(QString::number(n + 1)), n / 2 + 1);
    EXPECT_EQ(rowOf(QStringLiteral("7")), n - 1); // the three oldest rows made room
    EXPECT_EQ(rowOf(QStringLiteral("0")), -1); // older than every row kept
    EXPECT_EQ(model.rowCount(), n);
    // The list of every kind holds them in the same order.
    model.setFilter(TJournalFilter::Captures);
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.row(0).subject, QString::number(n * 2 - 3));
    EXPECT_EQ(model.row(1).subject, QString::number(n + 1));
    EXPECT_EQ(model.row(2).subject, QStringLiteral("7"));
}

TEST(LinkStats, RatesOverTheLastSecondAndTotals)
{
    TLinkStats stats;
    Console console;
    console.stats = &stats;
    TRecordParser parser(console);
    stats.sample(1000);
    // RK0 is owed no answer; a sample list that cannot be read is owed one and gets none.
    const QByteArray input = "W:VA1/2\rW:TR1/RK0\rnoise\rW:QQ\rW:VA1/2\rW:ST1;x;*\r";
    stats.received(std::size_t(input.size()));
    parser.feed(input);
    stats.sent(8);
    const TLinkFigures f = stats.sample(1500);
    EXPECT_DOUBLE_EQ(f.rxBytesPerSecond, input.size() * 2.0);
    EXPECT_DOUBLE_EQ(f.txBytesPerSecond, 16.0);
    EXPECT_DOUBLE_EQ(f.recordsPerSecond, 8.0);
    EXPECT_EQ(f.unanswered, 1u);
    EXPECT_EQ(f.rejected, 2u);
    // Four samples a second: each rate is over the last second, not the last quarter.
    stats.received(1000);
    EXPECT_DOUBLE_EQ(stats.sample(1750).rxBytesPerSecond, 1000.0 / 0.75 + input.size() / 0.75);
    EXPECT_DOUBLE_EQ(stats.sample(2000).rxBytesPerSecond, 1000.0 + input.size());
    EXPECT_DOUBLE_EQ(stats.sample(2250).rxBytesPerSecond, (1000.0 + input.size()) / 1.25);
    EXPECT_DOUBLE_EQ(stats.sample(2500).rxBytesPerSecond, 1000.0); // since 1500
    const TLinkFigures idle = stats.sample(3500);
    EXPECT_DOUBLE_EQ(idle.rxBytesPerSecond, 0.0);
    EXPECT_EQ(idle.rejected, 2u);
}

} // namespace
