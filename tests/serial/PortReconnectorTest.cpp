// Reconnection after a lost device: what starts a wait and what ends it, on the scriptable
// device, and a line that comes back under the same name behind a link on real
// pseudo-terminals.

#include "SerialTestSupport.h"

#include "serial/ComPort.h"
#include "serial/FakeSerialDevice.h"
#include "serial/PortReconnector.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

namespace {

struct Watched {
    std::shared_ptr<FakeSerialLine> line = std::make_shared<FakeSerialLine>();
    TComPort port;
    TPortReconnector reconnector{&port};
    QStringList log;
    Watched()
    {
        port.SetDeviceFactory(FakeSerialLine::factory(line));
        port.SetPort(QStringLiteral("/dev/ttyUSB0"));
        QObject::connect(&reconnector, &TPortReconnector::waitingStarted,
            [this](const QString& p) { log << "waiting " + p; });
        QObject::connect(&reconnector, &TPortReconnector::reconnected,
            [this](const QString& p) { log << "reconnected " + p; });
        QObject::connect(
            &reconnector, &TPortReconnector::lost, [this](const QString& p) { log << "lost " + p; });
        QObject::connect(&reconnector, &TPortReconnector::stopped, [this] { log << "stopped"; });
    }
    void loseDevice()
    {
        line->hangUp();
        ASSERT_TRUE(waitFor([&] { return !port.Connected(); }));
    }
};

} // namespace

TEST(PortReconnector, OnlyALostDeviceStartsAWait)
{
    Watched w;
    // A failed first open and a close asked for are not losses.
    w.line->failCall(FakeSerialLine::Call::Open, ENOENT, 1);
    EXPECT_THROW(w.port.OpenPort(), EComPort);
    w.port.OpenPort();
    w.port.ClosePort();
    QCoreApplication::processEvents();
    EXPECT_FALSE(w.reconnector.IsWaiting());
    EXPECT_TRUE(w.log.isEmpty());

    w.port.OpenPort();
    w.loseDevice();
    EXPECT_TRUE(w.reconnector.IsWaiting());
    EXPECT_EQ(w.log, QStringList({"waiting /dev/ttyUSB0"}));
}

// udev gives the device its group a moment after it appears, and other programs probe a
// new port: those failures are retried without a word until the open succeeds.
TEST(PortReconnector, TransientFailuresAreRetriedSilently)
{
    for (const int error : {EACCES, EBUSY, ENOENT, ENXIO}) {
        SCOPED_TRACE(error);
        Watched w;
        int reports = 0;
        TCustomComPort::SetErrorReporter([&](const std::exception&) { ++reports; });
        w.port.OpenPort();
        w.line->failCall(FakeSerialLine::Call::Open, error, 2);
        w.loseDevice();
        const int opensBefore = w.line->openCount();
        ASSERT_TRUE(waitFor([&] { return w.port.Connected(); }, 10000));
        EXPECT_EQ(w.line->openCount(), opensBefore + 1);
        EXPECT_FALSE(w.reconnector.IsWaiting());
        EXPECT_EQ(w.log, QStringList({"waiting /dev/ttyUSB0", "reconnected /dev/ttyUSB0"}));
        EXPECT_EQ(reports, 0);
        TCustomComPort::SetErrorReporter(nullptr);
    }
}

TEST(PortReconnector, StoppingOrSwitchingOffEndsTheWait)
{
    {
        Watched w;
        w.port.OpenPort();
        w.line->failCall(FakeSerialLine::Call::Open, ENOENT);
        w.loseDevice();
        w.reconnector.Stop();
        EXPECT_FALSE(w.reconnector.IsWaiting());
        w.line->clearFailures();
        // Two retry periods and a change of the folder: nothing opens the port any more.
        QElapsedTimer t;
        t.start();
        waitFor([&] { return t.elapsed() > 3 * TPortReconnector::kRetryMs; });
        EXPECT_FALSE(w.port.Connected());
        EXPECT_EQ(w.log, QStringList({"waiting /dev/ttyUSB0", "stopped"}));
    }
    {
        Watched w;
        w.port.OpenPort();
        w.line->failCall(FakeSerialLine::Call::Open, ENOENT);
        w.loseDevice();
        w.reconnector.SetEnabled(false);
        EXPECT_FALSE(w.reconnector.IsWaiting());
        EXPECT_EQ(w.log, QStringList({"waiting /dev/ttyUSB0", "lost /dev/ttyUSB0"}));
    }
    {
        Watched w;
        w.reconnector.SetEnabled(false);
        w.port.OpenPort();
        w.loseDevice();
        EXPECT_FALSE(w.reconnector.IsWaiting());
        EXPECT_EQ(w.log, QStringList({"lost /dev/ttyUSB0"}));
    }
}

TEST(PortReconnector, WatchesTheNamesFolderOrItsNearestExistingParent)
{
    QTemporaryDir root;
    const QString dev = root.path() + QStringLiteral("/dev");
    ASSERT_TRUE(QDir().mkpath(dev + QStringLiteral("/serial")));
    EXPECT_EQ(TPortReconnector::WatchFolder(dev + QStringLiteral("/serial/by-id/usb-FTDI-if00")),
        dev + QStringLiteral("/serial"));
    ASSERT_TRUE(QDir().mkpath(dev + QStringLiteral("/serial/by-id")));
    EXPECT_EQ(TPortReconnector::WatchFolder(dev + QStringLiteral("/serial/by-id/usb-FTDI-if00")),
        dev + QStringLiteral("/serial/by-id"));
    EXPECT_EQ(TPortReconnector::WatchFolder(dev + QStringLiteral("/ttyUSB0")), dev);
}

// The adapter comes back on a new line under the same name, a link renamed into place
// (as udev does for /dev/serial/by-id): the port is opened on the new line.
TEST(PortReconnector, ALinkRenamedIntoPlaceIsOpened)
{
    QTemporaryDir folder;
    const QString link = folder.path() + QStringLiteral("/by-id/usb-Orvik-if00");
    ASSERT_TRUE(QDir().mkpath(folder.path() + QStringLiteral("/by-id")));
    int master1 = -1, slave1 = -1;
    char name1[128] = {};
    ASSERT_EQ(::openpty(&master1, &slave1, name1, nullptr, nullptr), 0);
    ::close(slave1);
    ASSERT_TRUE(QFile::link(QString::fromLocal8Bit(name1), link));

    Recorder rec;
    TComPort port;
    rec.wire(port);
    TPortReconnector reconnector(&port);
    QSignalSpy reconnected(&reconnector, &TPortReconnector::reconnected);
    port.SetPort(link);
    port.OpenPort();
    ::close(master1); // pulled
    ASSERT_TRUE(waitFor([&] { return !port.Connected(); }));
    ASSERT_TRUE(reconnector.IsWaiting());
    // The folder goes with the last adapter; the wait watches its parent meanwhile.
    QFile::remove(link);
    ASSERT_TRUE(QDir().rmdir(folder.path() + QStringLiteral("/by-id")));
    waitFor([] { return false; }, 2 * TPortReconnector::kRetryMs);
    EXPECT_TRUE(reconnector.IsWaiting());

    int master2 = -1, slave2 = -1;
    char name2[128] = {};
    ASSERT_EQ(::openpty(&master2, &slave2, name2, nullptr, nullptr), 0);
    ::close(slave2);
    ASSERT_TRUE(QDir().mkpath(folder.path() + QStringLiteral("/by-id")));
    ASSERT_TRUE(QFile::link(QString::fromLocal8Bit(name2), link + QStringLiteral(".new")));
    ASSERT_EQ(::rename(QFile::encodeName(link + QStringLiteral(".new")).constData(),
                  QFile::encodeName(link).constData()),
        0);
    ASSERT_TRUE(waitFor([&] { return port.Connected(); }, 10000));
    EXPECT_EQ(reconnected.count(), 1);
    EXPECT_EQ(port.Port(), link);

    const char record[] = "W:VA-15/3\r";
    ASSERT_EQ(::write(master2, record, sizeof record - 1), ssize_t(sizeof record - 1));
    EXPECT_TRUE(waitFor([&] { return rec.received.endsWith(record); }));
    port.ClosePort();
    port.DetachLink(&rec.link);
    ::close(master2);
}
