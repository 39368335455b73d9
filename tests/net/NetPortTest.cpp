// The network port against small servers written here: what the server takes and tells
// reaches the port, 255 survives both ways, a silent or strange server is survived and
// told, and each failure to open has its reason.

#include "net/NetPort.h"
#include "FakeRfc2217Server.h"

#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int kDeadline = 10000;

QString nameFor(const char* scheme, quint16 port)
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(port);
}

TEST(NetPort, ServerAnswersNotificationsAnd255BothWays)
{
    FakeRfc2217Server server;
    server.takeRate = 57600;
    TNetPort port;
    TNetLineSettings settings;
    settings.BaudRate = 12345;
    settings.Parity = 3;
    port.SetLineSettings(settings);
    QSignalSpy opened(&port, &TNetPort::opened);
    QSignalSpy modem(&port, &TNetPort::modemStateChanged);
    QSignalSpy errors(&port, &TNetPort::lineErrors);
    QSignalSpy notices(&port, &TNetPort::notice);
    QByteArray got;
    QObject::connect(&port, &TNetPort::received, [&](const QByteArray& b) { got += b; });

    port.Open(nameFor("rfc2217", server.port()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.count() == 1; }, kDeadline));
    // The rate the server took, not the one asked, and the framing it answered.
    EXPECT_EQ(port.Taken().BaudRate, 57600u);
    EXPECT_EQ(port.Taken().Parity, 3);
    EXPECT_EQ(port.Taken().DataSize, 8);
    EXPECT_EQ(server.count(TComPortCommand::SetModemStateMask), 1);

    server.notify(TComPortCommand::NotifyModemState, modemstate::Cts | modemstate::Carrier);
    server.notify(TComPortCommand::NotifyLineState, linestate::Framing | 0x60);
    const QByteArray fromDevice("\xff\x01W:VA-15/3\r\xff\xff", 14);
    server.sendData(fromDevice);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return got.size() >= fromDevice.size() && errors.count() == 1; }, kDeadline));
    EXPECT_EQ(got, fromDevice);
    ASSERT_EQ(modem.count(), 1);
    EXPECT_EQ(modem.at(0).at(0).value<uint8_t>(), modemstate::Cts | modemstate::Carrier);
    EXPECT_EQ(port.ModemState(), modemstate::Cts | modemstate::Carrier);
    EXPECT_EQ(errors.at(0).at(0).value<uint8_t>(), linestate::Framing);

    const QByteArray toDevice("OK\xff\r\xff", 5);
    EXPECT_TRUE(port.Write(toDevice));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.data.size() >= toDevice.size(); }, kDeadline));
    EXPECT_EQ(server.data, toDevice);

    port.Purge(3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.count(TComPortCommand::PurgeData) == 1; }, kDeadline));
    EXPECT_EQ(server.commands.back().value, QByteArray(1, 3));
    QTest::qWait(TNetPort::kAnswerMs * 3 / 2);
    EXPECT_EQ(notices.count(), 0);
}

TEST(NetPort, ServerIgnoringSetControlIsWaitedForAndToldOnce)
{
    FakeRfc2217Server server;
    server.answerControl = false;
    TNetPort port;
    port.SetDtr(true);
    port.SetRts(false);
    QSignalSpy opened(&port, &TNetPort::opened);
    QSignalSpy notices(&port, &TNetPort::notice);
    port.Open(nameFor("rfc2217", server.port()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.count() == 1; }, kDeadline));
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.count() == 1; }, kDeadline));
    EXPECT_TRUE(notices.at(0).at(0).toString().contains(QStringLiteral("SET-CONTROL")));
    // Flow, DTR on and RTS off were all asked for.
    EXPECT_EQ(server.count(TComPortCommand::SetControl), 3);

    port.SetDtr(false);
    port.SetBreak(true);
    port.SetBreak(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.count(TComPortCommand::SetControl) == 6; }, kDeadline));
    QTest::qWait(TNetPort::kAnswerMs * 3 / 2);
    EXPECT_EQ(notices.count(), 1);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(port.Write("PUSK\r"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.data == "PUSK\r"; }, kDeadline));
}

TEST(NetPort, EachFailureToOpenHasItsReason)
{
    FakeRfc2217Server silent;
    silent.negotiate = false;
    FakeRfc2217Server refusing;
    refusing.refuseComPort = true;
    QTcpServer closed;
    closed.setProxy(QNetworkProxy::NoProxy);
    closed.listen(QHostAddress::LocalHost);
    const quint16 closedPort = closed.serverPort();
    closed.close();

    struct Case {
        QString name;
        const char* reasonPart;
    };
    const Case cases[] = {
        {nameFor("rfc2217", silent.port()), "не договори RFC 2217"},
        {nameFor("rfc2217", refusing.port()), "отказа RFC 2217"},
        {nameFor("rfc2217", closedPort), "отказа връзката"},
        {nameFor("socket", closedPort), "отказа връзката"},
        {QStringLiteral("rfc2217://127.0.0.1"), "номерът на порта"},
        {QStringLiteral("rfc2217://no-such-bench.invalid:2217"), "непознат адрес"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        TNetPort port;
        QSignalSpy failed(&port, &TNetPort::openFailed);
        QSignalSpy opened(&port, &TNetPort::opened);
        port.Open(c.name);
        ASSERT_TRUE(QTest::qWaitFor([&] { return failed.count() == 1; }, kDeadline));
        const QString reason = failed.at(0).at(0).toString();
        EXPECT_TRUE(reason.contains(QString::fromUtf8(c.reasonPart))) << reason.toStdString();
        EXPECT_EQ(opened.count(), 0);
        EXPECT_FALSE(port.IsOpen());
    }
}

TEST(NetPort, GarbageFromTheServerIsSurvived)
{
    FakeRfc2217Server server;
    TNetPort port;
    QSignalSpy opened(&port, &TNetPort::opened);
    QByteArray got;
    QObject::connect(&port, &TNetPort::received, [&](const QByteArray& b) { got += b; });
    port.Open(nameFor("rfc2217", server.port()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.count() == 1; }, kDeadline));
    QRandomGenerator rng(7);
    QByteArray garbage(64 * 1024, 0);
    for (char& c : garbage)
        c = char(rng.bounded(8) == 0 ? 255 : rng.bounded(256));
    server.send(garbage);
    // Whatever state the garbage left the Telnet layer in, the server's answers still count
    // after it is ended: IAC SE closes a subnegotiation, a NOP-like pair ends a command.
    server.send(QByteArray("\xff\xf0\xff\xf1\xff\xf1", 6));
    server.sendData("END");
    ASSERT_TRUE(QTest::qWaitFor([&] { return got.endsWith("END") || !port.IsOpen(); }, kDeadline));
    EXPECT_TRUE(got.endsWith("END"));
    EXPECT_LE(got.size(), garbage.size() + 3);
}

TEST(NetPort, LostConnectionIsToldAndComesBack)
{
    FakeRfc2217Server server;
    TNetPort port;
    port.SetReconnect(true);
    QSignalSpy opened(&port, &TNetPort::opened);
    QSignalSpy lost(&port, &TNetPort::lost);
    QSignalSpy reconnected(&port, &TNetPort::reconnected);
    port.Open(nameFor("socket", server.port()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.count() == 1; }, kDeadline));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.client() != nullptr; }, kDeadline));
    server.client()->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lost.count() == 1; }, kDeadline));
    EXPECT_TRUE(lost.at(0).at(0).toString().contains(QStringLiteral("затвори")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return reconnected.count() == 1; }, kDeadline));
    EXPECT_EQ(server.connections, 2);
    EXPECT_TRUE(port.Write("x"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.data == "x"; }, kDeadline));
}

} // namespace
