// orvik-cli run as a production test runs it: scripts against the simulator that pass, that
// fail an expectation, that are wrong, and a port that is not there.
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "ChildProcess.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(CliRun, ExitStatusTellsWhetherEveryStepPassed)
{
    const struct Case {
        const char* name;
        const char* script; // %DIR% is the test's folder
        bool device;
        int exitCode;
        const char* out; // the whole standard output
        const char* err; // found in standard error
        const char* file; // written by the script
        const char* port = nullptr; // instead of the simulator's or a missing device
    } cases[] = {
        {"every step passes",
            "# a unit on the line\nlog начало\nsend Vcc\nexpect-record VA 5s\nsend DIAGNOSTIC\n"
            "expect-record TR event = SUK 5s\nexpect W:TR.*RK0\nsend PUSK\nexpect-record ST\nwait 300ms\n"
            "export-capture last %DIR%/last.csv\nlog край\n",
            true, 0, "начало\nкрай\n", "", "last.csv"},
        {"a record out of its bound", "send Vcc\nexpect-record VA voltage > 100000 1500ms\nlog не се стига\n",
            true, 1, "", "ред 2: expect-record VA voltage > 100000 1500ms", nullptr},
        {"a line that never comes", "\n\nexpect NEVER-SAID 1s\n", true, 1, "", "ред 3: expect NEVER-SAID 1s",
            nullptr},
        {"no capture to export", "export-capture last %DIR%/none.cfg\n", true, 1, "", "ред 1", nullptr},
        {"a step the language lacks", "log x\nsing Vcc\n", true, 2, "", "ред 2", nullptr},
        {"a port that is not there", "log x\n", false, 2, "", "no-such-tty", nullptr},
        {"a port on another machine that nobody serves", "log x\n", false, 2, "",
            "socket://127.0.0.1:1:", nullptr, "socket://127.0.0.1:1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ChildProcess sim;
        QString port = c.port ? QString::fromLatin1(c.port) : dir.filePath(QStringLiteral("no-such-tty"));
        if (c.device) {
            ASSERT_TRUE(sim.start(QStringLiteral(ORVIK_DEVSIM), {"--rate", "0", "--seed", "3", "--quiet"}));
            QByteArray first;
            ASSERT_TRUE(sim.readLine(first));
            port = QString::fromLocal8Bit(first.mid(5).trimmed());
        }
        const QString script = dir.filePath(QStringLiteral("test.txt"));
        {
            QFile f(script);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(c.script).replace("%DIR%", dir.path().toUtf8()));
        }
        // Standard error into a file the test reads afterwards.
        const QString errPath = dir.filePath(QStringLiteral("err.txt"));
        ChildProcess cli;
        const int errFd = ::open(errPath.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int keep = ::dup(STDERR_FILENO);
        ::dup2(errFd, STDERR_FILENO);
        const bool started = cli.start(QStringLiteral(ORVIK_CLI),
            {"run", script, "--port", port, "--archive", dir.filePath(QStringLiteral("a.db")), "--settings",
                "/dev/null"});
        ::dup2(keep, STDERR_FILENO);
        ::close(keep);
        ::close(errFd);
        ASSERT_TRUE(started);
        ASSERT_TRUE(cli.finished(60000));
        EXPECT_EQ(cli.exitCode(), c.exitCode);
        EXPECT_EQ(QString::fromUtf8(cli.readAll()).toStdString(), c.out);
        const QByteArray err = readFile(errPath);
        EXPECT_TRUE(err.contains(c.err)) << err.toStdString();
        if (c.file) {
            EXPECT_GT(QFileInfo(dir.filePath(QString::fromLatin1(c.file))).size(), 100);
        }
    }
}
