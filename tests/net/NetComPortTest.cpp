// A network port under the serial port component, against the small server: the rate the
// server took is the port's rate, modem-state notifications reach the links the lamps use,
// line errors are counted, a failed open gives the network's reason, and a lost connection
// is a lost device that the reconnector brings back.

#include "FakeRfc2217Server.h"
#include "net/NetSerialDevice.h"
#include "serial/ComPort.h"
#include "serial/PortDiagnosis.h"
#include "session/PortReconnector.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int kDeadline = 10000;

class NetComPort : public testing::Test {
protected:
    void SetUp() override { RegisterNetPorts(); }
};

TEST_F(NetComPort, ServerRateLinesErrorsAndBytesReachThePort)
{
    FakeServerThread server;
    const quint16 serverPort = server.call([&] {
        server.server().takeRate = 115200;
        return server.server().port();
    });
    TComPort port;
    port.SetPort(QStringLiteral("rfc2217://127.0.0.1:%1").arg(serverPort));
    port.SetBaudRate(br128000);
    QStringList lines;
    QByteArray got;
    TComLink link;
    link.CtsHandler = [&](QObject*, bool on) { lines << QStringLiteral("CTS %1").arg(on); };
    link.RlsdHandler = [&](QObject*, bool on) { lines << QStringLiteral("CAR %1").arg(on); };
    link.RxBufHandler = [&](QObject*, const char* b, int n) { got.append(b, n); };
    port.AttachLink(&link);
    TComErrors errors;
    port.OnError = [&](QObject*, TComErrors e) { errors = e; };
    port.OpenPort();
    ASSERT_TRUE(port.Connected());
    EXPECT_EQ(port.ActualBaudRate(), 115200u);
    port.SetDtrLine(true);
    const auto dtrAsked = [&] {
        return server.call([&] {
            for (const auto& c : server.server().commands)
                if (c.code == int(TComPortCommand::SetControl)
                    && c.value == QByteArray(1, char(comctl::DtrOn)))
                    return true;
            return false;
        });
    };
    ASSERT_TRUE(QTest::qWaitFor(dtrAsked, kDeadline));

    server.call([&] {
        server.server().notify(TComPortCommand::NotifyModemState, modemstate::Cts | modemstate::Carrier);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return lines.size() >= 4; }, kDeadline))
        << lines.join(',').toStdString();
    // Read as off right after the open, then on from the notification.
    EXPECT_EQ(lines.mid(lines.size() - 2), (QStringList{QStringLiteral("CTS 1"), QStringLiteral("CAR 1")}))
        << lines.join(',').toStdString();
    EXPECT_TRUE(port.ModemLines().contains(sigCTS));

    server.call([&] {
        server.server().notify(TComPortCommand::NotifyLineState, linestate::Framing);
        server.server().sendData(QByteArray("W:VA\xff\r", 6));
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return got.size() >= 6 && errors.contains(errFraming); }, kDeadline));
    EXPECT_EQ(got, QByteArray("W:VA\xff\r", 6));
    EXPECT_EQ(port.LineErrorCounts().Framing, 1u);

    EXPECT_EQ(port.WriteText(QByteArray("OK\xff\r", 4)), 4);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return server.call([&] { return server.server().data.size() >= 4; }); }, kDeadline));
    EXPECT_EQ(server.call([&] { return server.server().data; }), QByteArray("OK\xff\r", 4));
    port.ClosePort();
    port.DetachLink(&link);
}

TEST_F(NetComPort, FailedOpenTellsTheNetworksReason)
{
    FakeServerThread silent;
    const quint16 serverPort = silent.call([&] {
        silent.server().negotiate = false;
        return silent.server().port();
    });
    TComPort port;
    port.SetPort(QStringLiteral("rfc2217://127.0.0.1:%1").arg(serverPort));
    try {
        port.OpenPort();
        FAIL() << "opened";
    } catch (const EComPort& e) {
        EXPECT_TRUE(OpenFailureText(port, e).contains(QStringLiteral("не договори RFC 2217")))
            << OpenFailureText(port, e).toStdString();
    }
    EXPECT_FALSE(port.Connected());
}

TEST_F(NetComPort, LostConnectionIsALostDeviceAndComesBack)
{
    FakeServerThread server;
    TComPort port;
    port.SetPort(
        QStringLiteral("socket://127.0.0.1:%1").arg(server.call([&] { return server.server().port(); })));
    TPortReconnector reconnector(&port);
    QSignalSpy lost(&port, &TCustomComPort::DeviceLost);
    QSignalSpy reconnected(&reconnector, &TPortReconnector::reconnected);
    port.OpenPort();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return server.call([&] { return server.server().client() != nullptr; }); }, kDeadline));
    server.call([&] { server.server().client()->disconnectFromHost(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return lost.count() == 1; }, kDeadline));
    ASSERT_TRUE(QTest::qWaitFor([&] { return reconnected.count() == 1; }, kDeadline));
    EXPECT_TRUE(port.Connected());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return server.call([&] { return server.server().connections == 2; }); }, kDeadline));
    port.ClosePort();
}

} // namespace
