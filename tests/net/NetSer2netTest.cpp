// The network port against a real ser2net on 127.0.0.1 with the device simulator on a
// pseudo-terminal behind it: records answered through both port kinds, a rate change seen
// in the pseudo-terminal's line settings, a server stopped and started again.

#include "ChildProcess.h"
#include "Reference.h"
#include "net/NetPort.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kDeadline = 20000; // generous: the machine is shared

QString ser2netPath()
{
    for (const char* p : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"})
        if (QFileInfo(QString::fromLatin1(p)).isExecutable())
            return QString::fromLatin1(p);
    return {};
}

quint16 freePort()
{
    QTcpServer probe;
    probe.setProxy(QNetworkProxy::NoProxy);
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// The simulator; its first line names the pseudo-terminal.
struct Devsim {
    ChildProcess process;
    QString pty;
    explicit Devsim(QStringList args)
    {
        args << QStringLiteral("--quiet") << QStringLiteral("--json");
        if (!process.start(QStringLiteral(ORVIK_BIN_DIR "/orvik-devsim"), args))
            return;
        QByteArray line;
        if (process.readLine(line) && line.startsWith("PORT "))
            pty = QString::fromLocal8Bit(line.mid(5));
    }
    QJsonObject figures()
    {
        process.finished(kDeadline);
        const QByteArray out = process.readAll().trimmed();
        return QJsonDocument::fromJson(out.mid(out.lastIndexOf('\n') + 1)).object();
    }
};

// ser2net serving pty as RFC 2217 on rfcPort and as raw TCP on rawPort.
bool startSer2net(ChildProcess& server, const QString& pty, quint16 rfcPort, quint16 rawPort)
{
    const QString yaml = QStringLiteral("connection: &rfc#  accepter: telnet(rfc2217),tcp,127.0.0.1,%1#"
                                        "  connector: serialdev,%3,9600n81,local#"
                                        "connection: &raw#  accepter: tcp,127.0.0.1,%2#"
                                        "  connector: serialdev,%3,9600n81,local")
                             .arg(rfcPort)
                             .arg(rawPort)
                             .arg(pty);
    return server.start(ser2netPath(),
        {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-P"),
            QDir::temp().filePath(QStringLiteral("orvik-ser2net-%1.pid").arg(rfcPort)), QStringLiteral("-Y"),
            yaml});
}

// Opens the port, trying again while the server is still starting.
bool openWhenListening(TNetPort& port, const QString& name)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < kDeadline) {
        QSignalSpy opened(&port, &TNetPort::opened);
        QSignalSpy failed(&port, &TNetPort::openFailed);
        port.Open(name);
        if (!QTest::qWaitFor([&] { return opened.count() + failed.count() > 0; }, kDeadline))
            return false;
        if (opened.count())
            return true;
        QTest::qWait(100);
    }
    return false;
}

// Plays the console: answers every record as the protocol asks.
struct Answerer {
    QByteArray pending;
    int records = 0;
    explicit Answerer(TNetPort& port)
    {
        QObject::connect(&port, &TNetPort::received, [this, &port](const QByteArray& bytes) {
            pending += bytes;
            for (qsizetype cr; (cr = pending.indexOf('\r')) >= 0;) {
                const QByteArray line = pending.left(cr);
                pending.remove(0, cr + 1);
                const int owed
                    = reference::read(std::string_view(line.constData(), size_t(line.size()))).answers;
                records += line.contains("W:");
                for (int i = 0; i < owed; ++i)
                    port.Write("OK\r\n");
            }
        });
    }
};

speed_t ptySpeed(const QString& pty)
{
    const int fd = ::open(pty.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return B0;
    termios t{};
    ::tcgetattr(fd, &t);
    ::close(fd);
    return cfgetospeed(&t);
}

class Ser2net : public testing::Test {
protected:
    void SetUp() override
    {
        if (ser2netPath().isEmpty())
            GTEST_SKIP()
                << "ser2net is not installed (the Debian package ser2net; scripts/setup.sh installs it)";
    }
};

TEST_F(Ser2net, EveryRecordIsAnsweredThroughBothPortKinds)
{
    for (const char* scheme : {"rfc2217", "socket"}) {
        SCOPED_TRACE(scheme);
        Devsim sim({QStringLiteral("--seed"), QStringLiteral("3"), QStringLiteral("--count"),
            QStringLiteral("60"), QStringLiteral("--rate"), QStringLiteral("200"), QStringLiteral("--mix"),
            QStringLiteral("va=5,tr=4,burst=1,rs=1")});
        ASSERT_FALSE(sim.pty.isEmpty());
        const quint16 rfcPort = freePort();
        const quint16 rawPort = freePort();
        ChildProcess server;
        ASSERT_TRUE(startSer2net(server, sim.pty, rfcPort, rawPort));
        TNetPort port;
        Answerer answerer(port);
        const quint16 used = QByteArray(scheme) == "rfc2217" ? rfcPort : rawPort;
        ASSERT_TRUE(openWhenListening(
            port, QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(used)));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !sim.process.running(); }, kDeadline));
        const QJsonObject answers = sim.figures()["answers"].toObject();
        EXPECT_GT(answers["expected"].toInt(), 30);
        EXPECT_EQ(answers["received"].toInt(), answers["expected"].toInt());
        EXPECT_EQ(answers["missing"].toInt(), 0);
        EXPECT_EQ(answers["unexpected"].toInt(), 0);
        EXPECT_GE(answerer.records, 60);
    }
}

TEST_F(Ser2net, RateChangeReachesThePseudoTerminal)
{
    Devsim sim({QStringLiteral("--rate"), QStringLiteral("0")});
    ASSERT_FALSE(sim.pty.isEmpty());
    const quint16 rfcPort = freePort();
    ChildProcess server;
    ASSERT_TRUE(startSer2net(server, sim.pty, rfcPort, freePort()));
    TNetPort port;
    TNetLineSettings settings;
    settings.BaudRate = 115200;
    port.SetLineSettings(settings);
    ASSERT_TRUE(openWhenListening(port, QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfcPort)));
    EXPECT_EQ(port.Taken().BaudRate, 115200u);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ptySpeed(sim.pty) == B115200; }, kDeadline));

    settings.BaudRate = 57600;
    port.SetLineSettings(settings);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ptySpeed(sim.pty) == B57600; }, kDeadline));
    EXPECT_TRUE(QTest::qWaitFor([&] { return port.Taken().BaudRate == 57600; }, kDeadline));
}

TEST_F(Ser2net, StoppedServerIsRefusedThenReconnectedWithNothingMissing)
{
    Devsim sim({QStringLiteral("--seed"), QStringLiteral("5"), QStringLiteral("--rate"), QStringLiteral("50"),
        QStringLiteral("--reconnect")});
    ASSERT_FALSE(sim.pty.isEmpty());
    const quint16 rfcPort = freePort();
    const quint16 rawPort = freePort();
    const QString name = QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfcPort);
    auto server = std::make_unique<ChildProcess>();
    ASSERT_TRUE(startSer2net(*server, sim.pty, rfcPort, rawPort));
    TNetPort port;
    port.SetReconnect(true);
    Answerer answerer(port);
    QSignalSpy lost(&port, &TNetPort::lost);
    QSignalSpy reconnected(&port, &TNetPort::reconnected);
    ASSERT_TRUE(openWhenListening(port, name));
    ASSERT_TRUE(QTest::qWaitFor([&] { return answerer.records >= 10; }, kDeadline));

    server.reset(); // stops it
    ASSERT_TRUE(QTest::qWaitFor([&] { return lost.count() == 1; }, kDeadline));
    TNetPort other;
    QSignalSpy refused(&other, &TNetPort::openFailed);
    other.Open(name);
    ASSERT_TRUE(QTest::qWaitFor([&] { return refused.count() == 1; }, kDeadline));
    EXPECT_TRUE(refused.at(0).at(0).toString().contains(QStringLiteral("отказа връзката")))
        << refused.at(0).at(0).toString().toStdString();

    server = std::make_unique<ChildProcess>();
    ASSERT_TRUE(startSer2net(*server, sim.pty, rfcPort, rawPort));
    ASSERT_TRUE(QTest::qWaitFor([&] { return reconnected.count() == 1; }, kDeadline));
    const int before = answerer.records;
    ASSERT_TRUE(QTest::qWaitFor([&] { return answerer.records >= before + 20; }, kDeadline));
    sim.process.terminate();
    const QJsonObject answers = sim.figures()["answers"].toObject();
    EXPECT_EQ(answers["missing"].toInt(), 0) << QJsonDocument(answers).toJson().toStdString();
    EXPECT_EQ(answers["unexpected"].toInt(), 0);
}

} // namespace
