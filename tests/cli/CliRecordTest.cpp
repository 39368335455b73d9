// orvik-cli record as a bench runs it: against the simulator on a pseudo-terminal, stopped
// by its duration or by SIGTERM, and given a port that is not there.
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "ChildProcess.h"

namespace {

struct Stored {
    QStringList journal; // time|kind|subject|value|text, in the order written
    QStringList captures; // id|started|ended|points|event
};

Stored readArchive(const QString& path)
{
    Stored s;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("SELECT time, kind, subject, value, text FROM journal ORDER BY id"));
            while (q.next())
                s.journal << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                    q.value(3).toString(), q.value(4).toString()}
                                 .join(QLatin1Char('|'));
            q.exec(QStringLiteral("SELECT id, started, ended, points, event FROM captures ORDER BY id"));
            while (q.next())
                s.captures << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                    q.value(3).toString(), q.value(4).toString()}
                                  .join(QLatin1Char('|'));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return s;
}

// The printed lines as the archive holds them; false when a line is no JSON object of a
// known type or its time is not UTC with milliseconds.
bool fromJson(const QByteArray& output, Stored& printed, QString& lastState, QString& bad)
{
    static const QRegularExpression iso(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$"));
    for (const QByteArray& line : output.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const QString type = o.value(QStringLiteral("type")).toString();
        const auto text = [&o](const char* key) { return o.value(QLatin1String(key)).toString(); };
        if (type == QLatin1String("capture")) {
            printed.captures << QStringList{QString::number(o.value(QStringLiteral("id")).toInteger()),
                text("started"), text("ended"),
                QString::number(o.value(QStringLiteral("points")).toInteger()), text("event")}
                                    .join(QLatin1Char('|'));
            continue;
        }
        if (!iso.match(text("time")).hasMatch()) {
            bad = QString::fromUtf8(line);
            return false;
        }
        if (type == QLatin1String("connection")) {
            lastState = text("state");
            printed.journal << QStringList{text("time"), QStringLiteral("connection"), text("port"),
                text("state"), text("text")}
                                   .join(QLatin1Char('|'));
        } else if (type == QLatin1String("journal")) {
            printed.journal
                << QStringList{text("time"), text("kind"), text("subject"), text("value"), text("text")}.join(
                       QLatin1Char('|'));
        } else {
            bad = QString::fromUtf8(line);
            return false;
        }
    }
    return true;
}

int figure(const QString& report, const char* pattern)
{
    const auto m = QRegularExpression(QLatin1String(pattern)).match(report);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace

TEST(CliRecord, RecordsAnswersAndStopsAsABenchNeeds)
{
    enum class Stop { Duration, Term, Refused };
    const struct Case {
        const char* name;
        Stop stop;
        int exitCode;
    } cases[] = {
        {"stopped by --duration", Stop::Duration, 0},
        {"stopped by SIGTERM after a capture", Stop::Term, 0},
        {"a port that is not there", Stop::Refused, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ChildProcess sim;
        QString port = dir.filePath(QStringLiteral("no-such-tty"));
        if (c.stop != Stop::Refused) {
            ASSERT_TRUE(sim.start(QStringLiteral(ORVIK_DEVSIM),
                {"--rate", "40", "--seed", "5", "--events", "0.3", "--mix", "va=5,tr=4,burst=2", "--quiet",
                    "--answer-timeout", "3000"}));
            QByteArray first;
            ASSERT_TRUE(sim.readLine(first));
            ASSERT_TRUE(first.startsWith("PORT ")) << first.toStdString();
            port = QString::fromLocal8Bit(first.mid(5).trimmed());
        }
        const QString archive = dir.filePath(QStringLiteral("archive.db"));
        QStringList args{"record", "--port", port, "--archive", archive, "--settings", "/dev/null"};
        if (c.stop == Stop::Duration)
            args << "--duration"
                 << "4";
        ChildProcess cli;
        ASSERT_TRUE(cli.start(QStringLiteral(ORVIK_CLI), args));
        QByteArray output;
        if (c.stop == Stop::Term) {
            QByteArray line;
            while (!line.contains("\"type\":\"capture\"")) {
                ASSERT_TRUE(cli.readLine(line, 20000)) << output.toStdString();
                output += line + '\n';
            }
            cli.terminate();
        }
        ASSERT_TRUE(cli.finished(30000));
        output += cli.readAll();
        EXPECT_EQ(cli.exitCode(), c.exitCode);
        if (c.stop == Stop::Refused) {
            EXPECT_TRUE(output.isEmpty()) << output.toStdString();
            continue;
        }

        Stored printed;
        QString lastState, bad;
        ASSERT_TRUE(fromJson(output, printed, lastState, bad)) << bad.toStdString();
        // Closed by the program itself, not lost: the stop went through the port's close.
        EXPECT_EQ(lastState, QStringLiteral("closed"));
        const Stored stored = readArchive(archive);
        EXPECT_FALSE(stored.captures.isEmpty());
        const auto text = [](const QStringList& rows) { return rows.join(QLatin1Char('\n')).toStdString(); };
        EXPECT_EQ(text(printed.captures), text(stored.captures));
        EXPECT_EQ(text(printed.journal), text(stored.journal));

        // Every record the device sent while the line was open was answered.
        sim.terminate();
        ASSERT_TRUE(sim.finished(20000));
        const QString report = QString::fromLocal8Bit(sim.readAll());
        EXPECT_GT(figure(report, "ANSWERS expected=(\\d+)"), 0) << report.toStdString();
        EXPECT_EQ(figure(report, "missing=(\\d+)"), 0) << report.toStdString();
        EXPECT_EQ(figure(report, "unexpected=(\\d+)"), 0) << report.toStdString();
    }
}
