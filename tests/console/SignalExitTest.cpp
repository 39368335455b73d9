// The installed program ends cleanly on SIGTERM, SIGINT and SIGHUP: within five seconds,
// with its settings written to the user's configuration folder, also while the connection's
// retry loop holds a modal dialog open.

#include "ChildProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// Whether the process has a handler for the signal (its SigCgt mask in /proc).
bool catches(pid_t pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

class SignalExitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        root_ = dir_.path() + QLatin1Char('/');
        // An installed layout, so the settings go to the temporary home's XDG folder.
        ASSERT_TRUE(QDir().mkpath(root_ + "usr/bin"));
        ASSERT_TRUE(QDir().mkpath(root_ + "usr/share/orvik"));
        for (const char* program : {ORVIK_PROGRAM, ORVIK_EXIT_PROBE}) {
            const QString to = root_ + "usr/bin/" + QFileInfo(QString::fromLocal8Bit(program)).fileName();
            ASSERT_TRUE(QFile::copy(QString::fromLocal8Bit(program), to));
            QFile::setPermissions(to, QFile::permissions(to) | QFile::ExeOwner);
        }
        qputenv("HOME", QFile::encodeName(root_ + "home"));
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_DATA_HOME");
    }
    QString settings() const { return root_ + "home/.config/Orvik/Orvik.ini"; }
    QByteArray savedSettings() const
    {
        QFile f(settings());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Starts the program, waits until it handles the signal, sends it and times the end.
    void endWith(ChildProcess& child, int signal)
    {
        QElapsedTimer wait;
        wait.start();
        while (!catches(child.pid(), signal) && wait.elapsed() < 30000 && child.running())
            QThread::msleep(10);
        ASSERT_TRUE(catches(child.pid(), signal)) << "the program never set up its signal handler";
        QElapsedTimer ending;
        ending.start();
        ASSERT_EQ(::kill(child.pid(), signal), 0);
        ASSERT_TRUE(child.finished(10000)) << "still running 10 s after the signal";
        EXPECT_LT(ending.elapsed(), 5000);
        EXPECT_EQ(child.exitCode(), 0);
    }

    QTemporaryDir dir_;
    QString root_;
};

TEST_F(SignalExitTest, EachSignalClosesTheWindowAndSavesTheSettings)
{
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        QFile::remove(settings());
        ChildProcess child;
        ASSERT_TRUE(child.start(root_ + "usr/bin/orvik", {}));
        endWith(child, signal);
        const QByteArray saved = savedSettings();
        EXPECT_TRUE(saved.contains("[Com]")) << signal;
        EXPECT_TRUE(saved.contains("[Position]")) << signal;
    }
}

TEST_F(SignalExitTest, ModalDialogOfTheRetryLoopEndsFirst)
{
    ChildProcess child;
    ASSERT_TRUE(
        child.start(root_ + "usr/bin/" + QFileInfo(QString::fromLocal8Bit(ORVIK_EXIT_PROBE)).fileName(), {}));
    QByteArray line;
    ASSERT_TRUE(child.readLine(line, 30000));
    ASSERT_EQ(line, "MODAL");
    endWith(child, SIGTERM);
    // The dialog was cancelled and its loop had returned before the window closed.
    QByteArray next, last;
    EXPECT_TRUE(child.readLine(next, 1000));
    EXPECT_TRUE(child.readLine(last, 1000));
    EXPECT_EQ(next, "LOOP ENDED");
    EXPECT_EQ(last, "CLOSE");
    // The port chosen in this session was saved, so the save ran after the loop ended.
    EXPECT_TRUE(savedSettings().contains("ComPortNo=/nonexistent/ttyORVIK")) << savedSettings().constData();
}

} // namespace
