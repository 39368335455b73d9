// Reconnection after a lost device: what starts a wait and what ends it, on the scriptable
// device, and a line that comes back under the same name behind a link on real
// pseudo-terminals.

#include "FakeTransport.h"
#include "SerialTestSupport.h"

#include "serial/ComPort.h"
#include "serial/FakeSerialDevice.h"
#include "session/PortReconnector.h"

#include "widgets/FakeSysfs.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

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

// A pseudo-terminal of its own, held open; its number is the one in its name.
struct Pty {
    int master = -1;
    int slave = -1;
    QString name;
    Pty()
    {
        char buffer[128] = {};
        if (::openpty(&master, &slave, buffer, nullptr, nullptr) == 0)
            name = QString::fromLocal8Bit(buffer);
    }
    ~Pty()
    {
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }
    tcflag_t localFlags() const
    {
        termios t{};
        return ::tcgetattr(slave, &t) == 0 ? t.c_lflag : 0;
    }
};

// Opens pseudo-terminals until one gets `name` (freed a moment ago; another program may
// hold it for a while).
std::unique_ptr<Pty> ptyNamed(const QString& name)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 20000) {
        std::vector<std::unique_ptr<Pty>> held;
        for (int i = 0; i < 64; ++i) {
            auto pty = std::make_unique<Pty>();
            if (pty->name == name)
                return pty;
            held.push_back(std::move(pty));
        }
        held.clear();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return nullptr;
}

} // namespace

// The device a name led to, as sysfs tells it: an adapter is known by its serial number
// under whichever ttyUSBn it comes back, and only the same device, or any under a stable
// udev name, or a pseudo-terminal behind a link made anew, is taken for the lost one.
TEST(DeviceIdentity, WhatSysfsTellsAndWhatMatches)
{
    FakeSysfs sys;
    sys.addUsb(QStringLiteral("ttyUSB0"), "FTDI", "FT232R USB UART", "A1B2C3");
    sys.addUsb(QStringLiteral("ttyUSB1"), "FTDI", "FT232R USB UART", "Z9Y8X7");
    sys.addUsb(QStringLiteral("ttyUSB2"), "FTDI", "FT232R USB UART", "A1B2C3"); // the first, back
    sys.addLinked(QStringLiteral("ttyS0"));
    const auto id = [&](unsigned major, unsigned minor, const char* name) {
        return IdentifyCharDevice(sys.root(), major, minor, QString::fromLatin1(name));
    };
    const TDeviceIdentity usb0 = id(188, 0, "ttyUSB0");
    EXPECT_EQ(usb0.kind, TDeviceIdentity::Kind::Usb);
    EXPECT_EQ(usb0.description, QStringLiteral("FTDI FT232R USB UART, serial A1B2C3 (ttyUSB0)"));
    EXPECT_TRUE(SameDevice(usb0, id(188, 2, "ttyUSB2")));
    EXPECT_FALSE(SameDevice(usb0, id(188, 1, "ttyUSB1")));
    const TDeviceIdentity uart = id(4, 64, "ttyS0");
    EXPECT_EQ(uart.kind, TDeviceIdentity::Kind::DevicePath);
    EXPECT_EQ(uart.key, QStringLiteral("devices/ttyS0/port"));
    EXPECT_TRUE(SameDevice(uart, id(4, 64, "ttyS0")));
    EXPECT_FALSE(SameDevice(uart, usb0));
    EXPECT_EQ(id(4, 65, "ttyS1").kind, TDeviceIdentity::Kind::Node);

    TDeviceIdentity pty = id(136, 3, "3");
    EXPECT_EQ(pty.kind, TDeviceIdentity::Kind::Pty);
    EXPECT_EQ(pty.description, QStringLiteral("/dev/pts/3"));
    EXPECT_FALSE(SameDevice(pty, pty)); // its number goes to the next program
    TDeviceIdentity linked = pty, remade = pty;
    linked.link = "1:10:5.1";
    remade.link = "1:11:7.2";
    EXPECT_FALSE(SameDevice(linked, linked));
    EXPECT_TRUE(SameDevice(linked, remade));
    EXPECT_FALSE(SameDevice(linked, usb0));
    const TDeviceIdentity stable{
        TDeviceIdentity::Kind::StableName, QStringLiteral("/dev/serial/by-id/x"), {}, {}};
    EXPECT_TRUE(SameDevice(stable, id(188, 1, "ttyUSB1")));
    EXPECT_FALSE(SameDevice(TDeviceIdentity{}, TDeviceIdentity{}));
}

// A new terminal that gets the lost line's number is not taken over: neither under its own
// name nor behind a link that still points there; the link made anew is opened.
TEST(PortReconnector, AnotherTerminalUnderTheNumberIsLeftAlone)
{
    QTemporaryDir folder;
    for (const bool viaLink : {false, true}) {
        SCOPED_TRACE(viaLink);
        auto first = std::make_unique<Pty>();
        ASSERT_FALSE(first->name.isEmpty());
        const QString number = first->name;
        const QString link = folder.path() + QStringLiteral("/ttyDevice");
        QFile::remove(link);
        ASSERT_TRUE(!viaLink || QFile::link(number, link));
        TComPort port;
        TPortReconnector reconnector(&port);
        QSignalSpy refused(&reconnector, &TPortReconnector::refused);
        QSignalSpy lost(&reconnector, &TPortReconnector::lost);
        port.SetPort(viaLink ? link : number);
        port.OpenPort();
        ::close(first->slave);
        first->slave = -1;
        ::close(std::exchange(first->master, -1)); // the program on the other end went
        ASSERT_TRUE(waitFor([&] { return !port.Connected(); }));
        EXPECT_EQ(reconnector.IsWaiting(), viaLink);
        EXPECT_EQ(lost.count(), viaLink ? 0 : 1);

        const std::unique_ptr<Pty> stranger = ptyNamed(number);
        ASSERT_TRUE(stranger) << "no terminal got " << number.toStdString() << " again";
        const tcflag_t flags = stranger->localFlags();
        ASSERT_TRUE(flags & ECHO);
        waitFor([] { return false; }, 3 * TPortReconnector::kRetryMs);
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(stranger->localFlags(), flags);
        if (!viaLink)
            continue;
        EXPECT_EQ(refused.count(), 1);
        EXPECT_EQ(refused.value(0).value(1).toString(), number);

        // The link made anew (to the same number, now the simulator's new line) is taken.
        ASSERT_TRUE(QFile::link(number, link + QStringLiteral(".new")));
        ASSERT_EQ(::rename(QFile::encodeName(link + QStringLiteral(".new")).constData(),
                      QFile::encodeName(link).constData()),
            0);
        EXPECT_TRUE(waitFor([&] { return port.Connected(); }, 10000));
        port.ClosePort();
    }
}

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
    w.line->failCall(FakeSerialLine::Call::Open, ENOENT); // not back yet
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
    EXPECT_EQ(DeviceWatchFolder(dev + QStringLiteral("/serial/by-id/usb-FTDI-if00")),
        dev + QStringLiteral("/serial"));
    ASSERT_TRUE(QDir().mkpath(dev + QStringLiteral("/serial/by-id")));
    EXPECT_EQ(DeviceWatchFolder(dev + QStringLiteral("/serial/by-id/usb-FTDI-if00")),
        dev + QStringLiteral("/serial/by-id"));
    EXPECT_EQ(DeviceWatchFolder(dev + QStringLiteral("/ttyUSB0")), dev);
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

// The first attempt is made at once; another device under the name is refused, once, and
// the one lost is opened when it is back.
TEST(PortReconnector, TheFirstAttemptIsAtOnceAndAnotherDeviceIsRefused)
{
    {
        Watched w;
        QElapsedTimer waited;
        QObject::connect(&w.reconnector, &TPortReconnector::waitingStarted, [&] { waited.start(); });
        qint64 tookMs = -1;
        QObject::connect(&w.reconnector, &TPortReconnector::reconnected, [&] { tookMs = waited.elapsed(); });
        w.port.OpenPort();
        w.line->hangUp();
        ASSERT_TRUE(waitFor([&] { return tookMs >= 0; }));
        EXPECT_LT(tookMs, TPortReconnector::kRetryMs); // not after the first retry period
    }
    Watched w;
    QSignalSpy refused(&w.reconnector, &TPortReconnector::refused);
    w.port.OpenPort();
    const TDeviceIdentity ours = w.port.Identity();
    w.line->setIdentity({TDeviceIdentity::Kind::Usb, QStringLiteral("1a86:7523 at 1-2 if 00"),
        QStringLiteral("USB 1a86:7523 (ttyUSB0)"), {}});
    const int opens = w.line->openCount();
    w.line->hangUp();
    ASSERT_TRUE(waitFor([&] { return w.line->identifyCount() >= 4; }, 10000));
    EXPECT_EQ(w.line->openCount(), opens);
    EXPECT_EQ(refused.count(), 1);
    EXPECT_EQ(refused.value(0).value(1).toString(), QStringLiteral("USB 1a86:7523 (ttyUSB0)"));
    w.line->setIdentity(ours);
    EXPECT_TRUE(waitFor([&] { return w.port.Connected(); }));
}

// A device that is there but does not open is told once it has lasted, and the wait goes
// on at a slower pace until it opens.
TEST(PortReconnector, ALastingErrorIsToldOnce)
{
    Watched w;
    QSignalSpy failing(&w.reconnector, &TPortReconnector::failing);
    w.port.OpenPort();
    w.line->failCall(FakeSerialLine::Call::Open, EACCES);
    w.loseDevice();
    ASSERT_TRUE(waitFor([&] { return failing.count() > 0; }, 3 * TPortReconnector::kLastingMs));
    const int looks = w.line->identifyCount();
    ASSERT_TRUE(
        waitFor([&] { return w.line->identifyCount() >= looks + 1; }, 3 * TPortReconnector::kSlowRetryMs));
    EXPECT_EQ(failing.count(), 1);
    EXPECT_TRUE(failing.value(0).value(1).toString().contains(QStringLiteral("/dev/ttyUSB0")));
    EXPECT_TRUE(w.reconnector.IsWaiting());
    w.line->clearFailures();
    EXPECT_TRUE(waitFor([&] { return w.port.Connected(); }, 3 * TPortReconnector::kSlowRetryMs));
}

namespace {

// A transport whose open ends later, from the event loop, as a port on another machine's.
class LateOpening : public FakeTransport {
public:
    int opens = 0;
    bool opening = false;
    bool Opening() const override { return opening; }
    void OpenPort() override
    {
        ++opens;
        opening = true;
    }
    bool OpenPortIfSame(const TDeviceIdentity&, TDeviceIdentity&) override
    {
        OpenPort();
        return true;
    }
    void ClosePort() override
    {
        opening = false;
        FakeTransport::ClosePort();
    }
    void finish()
    {
        opening = false;
        FakeTransport::OpenPort();
        emit Opened(this);
    }
    void fail(const QString& reason)
    {
        opening = false;
        emit OpenFailed(this, reason);
    }
    void lose()
    {
        FakeTransport::OpenPort();
        FakeTransport::ClosePort();
        emit DeviceLost(this);
    }
};

} // namespace

// An open that ends later is waited for, not started again on every retry; its success is the
// reconnection, its failure one more failed attempt, and a stop abandons it.
TEST(PortReconnector, AnOpenThatEndsLaterIsWaitedFor)
{
    LateOpening port;
    TPortReconnector reconnector(&port);
    QSignalSpy reconnected(&reconnector, &TPortReconnector::reconnected);
    port.lose();
    ASSERT_TRUE(waitFor([&] { return port.opens == 1; }));
    waitFor([] { return false; }, 3 * TPortReconnector::kRetryMs);
    EXPECT_EQ(port.opens, 1); // still opening: no second open over it
    port.fail(QStringLiteral("refused"));
    ASSERT_TRUE(waitFor([&] { return port.opens == 2; }, 3 * TPortReconnector::kRetryMs));
    EXPECT_TRUE(reconnector.IsWaiting());
    port.finish();
    EXPECT_EQ(reconnected.count(), 1);
    EXPECT_FALSE(reconnector.IsWaiting());

    // Stopped while opening: the open is abandoned and nothing is told of it.
    port.lose();
    ASSERT_TRUE(waitFor([&] { return port.opens == 3; }));
    reconnector.Stop();
    EXPECT_FALSE(port.Opening());
    EXPECT_EQ(reconnected.count(), 1);
}
