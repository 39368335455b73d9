// The network port as a transport of its own and as the window's port, against the small
// server: an open that ends from the event loop (which runs meanwhile), the server's rate,
// lines, errors and bytes at the links, a rate change that does not wait for its answer, a
// lost connection as a lost device, and the socket options that tell a dead server.

#include "net/NetTransport.h"
#include "FakeRfc2217Server.h"
#include "net/NamedPort.h"

#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

constexpr int kDeadline = 10000;

QString nameFor(const char* scheme, quint16 port)
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(port);
}

quint16 freePort()
{
    QTcpServer probe;
    probe.setProxy(QNetworkProxy::NoProxy);
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// What the links hear, in order.
struct LinkLog {
    QStringList events;
    QByteArray got;
    TComLink link;
    LinkLog()
    {
        const auto line = [this](const char* what) {
            return [this, what](QObject*, bool on) { events << QStringLiteral("%1 %2").arg(what).arg(on); };
        };
        link.ConnHandler = line("conn");
        link.CtsHandler = line("cts");
        link.RlsdHandler = line("car");
        link.RxBufHandler = [this](QObject*, const char* b, int n) { got.append(b, n); };
    }
};

TEST(NetTransport, OpensFromTheEventLoopAndTheServersAnswersReachTheLinks)
{
    FakeRfc2217Server server;
    server.takeRate = 115200;
    TNetTransport port;
    port.SetPort(nameFor("rfc2217", server.port()));
    TNetLineSettings settings;
    settings.BaudRate = 128000;
    port.SetLineSettings(settings);
    LinkLog log;
    port.AttachLink(&log.link);
    QSignalSpy opened(&port, &TTransport::Opened);

    port.OpenPort();
    // Nothing of the open happened inside the call.
    EXPECT_TRUE(port.Opening());
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(log.events.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.count() == 1; }, kDeadline));
    EXPECT_FALSE(port.Opening());
    EXPECT_EQ(port.ActualBaudRate(), 115200u);
    EXPECT_EQ(log.events, (QStringList{"conn 1", "cts 0", "car 0"}));

    server.notify(TComPortCommand::NotifyModemState, modemstate::Cts | modemstate::Carrier);
    server.notify(TComPortCommand::NotifyLineState, linestate::Framing);
    server.sendData(QByteArray("W:VA\xff\r", 6));
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.got.size() >= 6 && log.events.size() >= 5; }, kDeadline));
    EXPECT_EQ(log.got, QByteArray("W:VA\xff\r", 6));
    EXPECT_EQ(log.events.mid(3), (QStringList{"cts 1", "car 1"}));
    EXPECT_TRUE(port.LineState().cts);
    EXPECT_EQ(port.LineErrorCounts().Framing, 1u);

    port.SetDtrLine(true);
    EXPECT_EQ(port.WriteText(QByteArray("OK\xff\r", 4)), 4);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.data.size() >= 4; }, kDeadline));
    EXPECT_EQ(server.data, QByteArray("OK\xff\r", 4));
    bool dtrAsked = false;
    for (const auto& c : server.commands)
        dtrAsked
            |= c.code == int(TComPortCommand::SetControl) && c.value == QByteArray(1, char(comctl::DtrOn));
    EXPECT_TRUE(dtrAsked);

    // A rate change is sent, not waited for: what is shown follows the server's answer.
    server.takeRate = 0;
    QSignalSpy taken(&port, &TTransport::LineSettingsTaken);
    settings.BaudRate = 57600;
    port.SetLineSettings(settings);
    EXPECT_EQ(port.ActualBaudRate(), 115200u);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return taken.count() > 0 && port.ActualBaudRate() == 57600; }, kDeadline));

    port.ClosePort();
    EXPECT_EQ(log.events.mid(log.events.size() - 3), (QStringList{"cts 0", "car 0", "conn 0"}));
    EXPECT_FALSE(port.ClosedByHangUp());
    port.DetachLink(&log.link);
}

TEST(NetTransport, AFailedOpenEndsLaterWithItsReasonWhileTheLoopRuns)
{
    FakeRfc2217Server silent;
    silent.negotiate = false;
    struct Case {
        QString name;
        const char* reasonPart;
        int minTicks; // 10 ms ticks of the loop while the open was pending
    };
    const Case cases[] = {
        // Negotiation is waited for TNetPort::kNegotiateMs (3 s): the loop runs throughout.
        {nameFor("rfc2217", silent.port()), "не договори RFC 2217", 20},
        {nameFor("socket", freePort()), "отказа връзката", 0},
        {QStringLiteral("rfc2217://127.0.0.1"), "номерът на порта", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        TNetTransport port;
        port.SetPort(c.name);
        LinkLog log;
        port.AttachLink(&log.link);
        QSignalSpy opened(&port, &TTransport::Opened);
        QSignalSpy failed(&port, &TTransport::OpenFailed);
        int ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(10);

        ASSERT_NO_THROW(port.OpenPort());
        EXPECT_TRUE(port.Opening());
        EXPECT_EQ(failed.count(), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return failed.count() == 1; }, kDeadline));
        EXPECT_TRUE(failed.at(0).at(1).toString().contains(QString::fromUtf8(c.reasonPart)))
            << failed.at(0).at(1).toString().toStdString();
        EXPECT_GE(ticks, c.minTicks);
        EXPECT_FALSE(port.Opening());
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(opened.count(), 0);
        EXPECT_TRUE(log.events.isEmpty()) << log.events.join(',').toStdString();
        port.DetachLink(&log.link);
    }
}

TEST(NetTransport, ALostConnectionIsALostDeviceThatOpensAgain)
{
    FakeRfc2217Server server;
    TNetTransport port;
    port.SetPort(nameFor("socket", server.port()));
    LinkLog log;
    port.AttachLink(&log.link);
    QSignalSpy opened(&port, &TTransport::Opened);
    QSignalSpy lost(&port, &TTransport::DeviceLost);
    port.OpenPort();
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.count() == 1 && server.client(); }, kDeadline));

    server.client()->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lost.count() == 1; }, kDeadline));
    EXPECT_TRUE(port.ClosedByHangUp());
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(log.events.last(), QStringLiteral("conn 0"));

    // The reconnector's way back: whatever answers at the name is the device.
    TDeviceIdentity found;
    EXPECT_TRUE(port.OpenPortIfSame(port.Identity(), found));
    EXPECT_EQ(found, port.Identity());
    EXPECT_EQ(found.kind, TDeviceIdentity::Kind::StableName);
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.count() == 2; }, kDeadline));
    EXPECT_EQ(server.connections, 2);
    EXPECT_FALSE(port.ClosedByHangUp());
    port.ClosePort();
    port.DetachLink(&log.link);
}

TEST(NetTransport, ADeadServerIsToldWithinTenSeconds)
{
    // A server that vanishes without closing cannot be made on loopback without privileges
    // (its kernel answers the probes): what tells one is the open socket's keep-alive and
    // its limit on unacknowledged data, read back here.
    FakeRfc2217Server server;
    TNetTransport port;
    port.SetPort(nameFor("socket", server.port()));
    QSignalSpy opened(&port, &TTransport::Opened);
    port.OpenPort();
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.count() == 1; }, kDeadline));
    const int fd = int(port.NetPort().SocketDescriptor());
    ASSERT_GE(fd, 0);
    const auto option = [fd](int level, int name) {
        int value = -1;
        socklen_t size = sizeof value;
        return ::getsockopt(fd, level, name, &value, &size) == 0 ? value : -1;
    };
    EXPECT_EQ(option(IPPROTO_TCP, TCP_NODELAY), 1);
    EXPECT_EQ(option(SOL_SOCKET, SO_KEEPALIVE), 1);
    const int idle = option(IPPROTO_TCP, TCP_KEEPIDLE);
    const int interval = option(IPPROTO_TCP, TCP_KEEPINTVL);
    const int count = option(IPPROTO_TCP, TCP_KEEPCNT);
    ASSERT_GT(idle, 0);
    ASSERT_GT(interval, 0);
    ASSERT_GT(count, 0);
    EXPECT_LE(idle + interval * count, 10) << idle << " + " << interval << " * " << count;
    const int userTimeout = option(IPPROTO_TCP, TCP_USER_TIMEOUT);
    EXPECT_GT(userTimeout, 0);
    EXPECT_LE(userTimeout, 10000);
}

TEST(NamedPort, ANetworkNameOpensBesideTheSerialPortWithItsSettings)
{
    FakeRfc2217Server server;
    TNamedPort port;
    port.SetBaudRate(br19200);
    port.SetPort(nameFor("rfc2217", server.port()));
    int afterOpen = 0;
    int afterClose = 0;
    port.OnAfterOpen = [&](QObject*) { ++afterOpen; };
    port.OnAfterClose = [&](QObject*) { ++afterClose; };
    LinkLog log;
    port.AttachLink(&log.link);

    port.OpenPort();
    EXPECT_TRUE(port.Opening());
    EXPECT_FALSE(port.Connected());
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.Connected(); }, kDeadline));
    EXPECT_TRUE(port.OnNetwork());
    EXPECT_EQ(afterOpen, 1);
    EXPECT_EQ(log.events.first(), QStringLiteral("conn 1"));
    EXPECT_EQ(port.ActualBaudRate(), 19200u);

    // A setting changed on the open port goes to the server and is not waited for; inside a
    // settings update only the result is sent.
    port.SetBaudRate(br57600);
    EXPECT_EQ(port.ActualBaudRate(), 19200u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.ActualBaudRate() == 57600; }, kDeadline));
    const int rates = server.count(TComPortCommand::SetBaudRate);
    port.BeginSettingsUpdate();
    port.SetBaudRate(br9600);
    port.SetBaudRate(br38400);
    port.EndSettingsUpdate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.ActualBaudRate() == 38400; }, kDeadline));
    EXPECT_EQ(server.count(TComPortCommand::SetBaudRate), rates + 1);

    EXPECT_EQ(port.WriteText("OK\r"), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.data == "OK\r"; }, kDeadline));
    port.ClosePort();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(afterClose, 1);
    EXPECT_EQ(log.events.last(), QStringLiteral("conn 0"));
    port.DetachLink(&log.link);
}

} // namespace
