// The port on real pseudo-terminals: the POSIX device end to end.

#include "SerialTestSupport.h"

#include "serial/ComPort.h"
#include "serial/PosixSerialDevice.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A pty pair: the test plays the device on the master; the port opens the slave by path.
// The slave descriptor stays open so the test can read the tty's settings.
struct Pty {
    int master = -1;
    int slave = -1;
    QString path;
    Pty()
    {
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            path = QString::fromLocal8Bit(name);
            ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~Pty() { closeMaster(), closeSlave(); }
    void closeMaster()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    void closeSlave()
    {
        if (slave >= 0)
            ::close(slave);
        slave = -1;
    }
    void write(const QByteArray& bytes) const
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master, bytes.constData() + done, std::size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else if (errno == EAGAIN) {
                QCoreApplication::processEvents(); // the port drains on this thread
                pollfd p{master, POLLOUT, 0};
                ::poll(&p, 1, 1);
            } else
                return;
        }
    }
    // Reads from the master until `count` bytes came or the deadline passed.
    QByteArray read(qsizetype count, int timeoutMs = 5000) const
    {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.size() < count && t.elapsed() < timeoutMs) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char buf[4096];
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, n);
            }
        }
        return got;
    }
};

// Gives the tests a look at the device the port opened.
class ProbePort : public TComPort {
public:
    std::size_t staged() const
    {
        auto* d = dynamic_cast<PosixSerialDevice*>(Device());
        return d ? d->staged() : 0;
    }
};

} // namespace

TEST(ComPortPty, RoundTripsInBothDirections)
{
    Pty pty;
    ASSERT_FALSE(pty.path.isEmpty());
    Recorder rec;
    TComPort port;
    rec.wire(port);
    port.SetPort(pty.path);
    port.SetBaudRate(br115200);
    port.OpenPort();
    ASSERT_TRUE(port.Connected());
    EXPECT_TRUE(port.ModemLines().empty()); // a pty has no modem lines: all off
    EXPECT_NO_THROW(port.SetDtrLine(true));
    EXPECT_NO_THROW(port.SetRtsLine(true));

    pty.write("W:VA-15/3\r");
    ASSERT_TRUE(waitFor([&] { return rec.received == "W:VA-15/3\r"; }));
    EXPECT_TRUE(rec.log.contains("Rx1"));

    EXPECT_EQ(port.WriteText("OK\r"), 3);
    EXPECT_EQ(pty.read(3), "OK\r");
    ASSERT_TRUE(waitFor([&] { return rec.log.contains("OnTxEmpty"); }));

    // A long stream crosses many receive events and arrives whole and in order.
    QByteArray big;
    for (int i = 0; i < 200000; ++i)
        big.append(char('0' + i % 71));
    rec.received.clear();
    const int before = int(rec.log.size());
    QElapsedTimer t;
    t.start();
    pty.write(big);
    ASSERT_TRUE(waitFor([&] { return rec.received.size() >= big.size(); }, 10000));
    EXPECT_EQ(rec.received, big);
    EXPECT_LT(t.elapsed(), 5000);
    // Whole queues per delivery, not byte dribbles.
    const QStringList deliveries = rec.log.mid(before).filter(QRegularExpression("^RxBuf"));
    EXPECT_LT(deliveries.size(), big.size() / 1024);

    port.ClosePort();
    port.DetachLink(&rec.link);
}

TEST(ComPortPty, LineSettingsReachTheTty)
{
    Pty pty;
    TComPort port;
    port.SetPort(pty.path);
    port.SetDataBits(dbSeven);
    port.SetStopBits(sbTwoStopBits);
    port.Parity().SetBits(prEven);
    port.Parity().SetCheck(true);
    port.FlowControl().SetFlowControl(fcSoftware);
    port.OpenPort();
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.slave, &t), 0);
    // A pty forces CS8 and clears PARENB whatever it is told; the rest stays.
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_TRUE(t.c_iflag & INPCK);
    EXPECT_TRUE(t.c_iflag & PARMRK);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);
    EXPECT_FALSE(t.c_lflag & ICANON);
    EXPECT_FALSE(t.c_oflag & OPOST);

    port.Parity().SetBits(prMark);
    port.FlowControl().SetFlowControl(fcHardware);
    ASSERT_EQ(::tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), tcflag_t(PARODD | CMSPAR));
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & IXON);

    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(31250); // not in the table: passed as it is
    try {
        port.SetCustomBaudRate(0); // would hang the line up: refused
        FAIL() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 7);
        EXPECT_EQ(e.SystemError(), EINVAL);
    }
}

TEST(ComPortPty, CloseRestoresTheSettingsFoundAtOpen)
{
    Pty pty;
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.slave, &before), 0);
    before.c_lflag |= ICANON | ECHO;
    before.c_oflag |= OPOST | ONLCR;
    ::cfsetspeed(&before, B4800);
    ASSERT_EQ(::tcsetattr(pty.slave, TCSANOW, &before), 0);
    ASSERT_EQ(::tcgetattr(pty.slave, &before), 0);

    TComPort port;
    port.SetPort(pty.path);
    port.SetBaudRate(br115200);
    port.OpenPort();
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.slave, &t), 0);
    ASSERT_FALSE(t.c_lflag & ICANON);
    port.ClosePort();

    ASSERT_EQ(::tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ(t.c_iflag, before.c_iflag);
    EXPECT_EQ(t.c_oflag, before.c_oflag);
    EXPECT_EQ(t.c_cflag, before.c_cflag);
    EXPECT_EQ(t.c_lflag, before.c_lflag);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B4800));
}

TEST(ComPortPty, SecondOpenerIsRefused)
{
    Pty pty;
    TComPort first, second;
    first.SetPort(pty.path);
    second.SetPort(pty.path);
    first.OpenPort();
    try {
        second.OpenPort();
        FAIL() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 1);
        EXPECT_EQ(e.SystemError(), EBUSY);
    }
    EXPECT_FALSE(second.Connected());
    first.ClosePort();
    second.OpenPort(); // free again
    EXPECT_TRUE(second.Connected());
}

TEST(ComPortPty, NullDiscardAndParityMarks)
{
    Pty pty;
    Recorder rec;
    TComPort port;
    rec.wire(port);
    port.SetPort(pty.path);
    port.SetDiscardNull(true);
    port.SetEventChar('\r');
    port.Parity().SetCheck(true); // PARMRK: a real 0xFF arrives doubled and is undone
    port.OpenPort();
    pty.write(QByteArray("a\0b\xFF"
                         "c\r",
        6));
    ASSERT_TRUE(waitFor([&] { return rec.received.size() >= 5; }));
    EXPECT_EQ(rec.received,
        QByteArray("ab\xFF"
                   "c\r"));
    ASSERT_TRUE(waitFor([&] { return rec.log.contains("OnRxFlag"); }));
    port.DetachLink(&rec.link);
}

TEST(ComPortPty, StalledWriteTimesOut)
{
    Pty pty; // nobody reads the master: the pty's buffer fills
    TComPort port;
    port.SetPort(pty.path);
    port.Timeouts().SetWriteTotalConstant(100);
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.OpenPort();
    QElapsedTimer t;
    t.start();
    try {
        port.WriteText(QByteArray(1 << 20, 'x'));
        FAIL() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 2);
        EXPECT_EQ(e.SystemError(), ETIMEDOUT);
    }
    EXPECT_GE(t.elapsed(), 100);
    EXPECT_LT(t.elapsed(), 3000);
}

TEST(ComPortPty, HangUpDeliversWhatCameThenClosesOnce)
{
    Pty pty;
    pty.closeSlave();
    Recorder rec;
    ProbePort port;
    rec.wire(port);
    port.SetPort(pty.path);
    port.OpenPort();
    pty.write("bye\r");
    // Do not run the event loop: the bytes are taken off the tty, the delivery waits.
    QElapsedTimer t;
    t.start();
    while (port.staged() < 4 && t.elapsed() < 5000)
        ::usleep(1000);
    ASSERT_EQ(port.staged(), 4u) << port.InputQueueCount();
    pty.closeMaster();
    ASSERT_TRUE(waitFor([&] { return !port.Connected(); }));
    EXPECT_EQ(rec.received, "bye\r");
    const int before = int(rec.log.indexOf("OnBeforeClose"));
    EXPECT_GT(before, int(rec.log.indexOf("RxBuf4")));
    EXPECT_EQ(rec.log.mid(before), QStringList({"OnBeforeClose", "Conn0", "OnAfterClose"}));
    QCoreApplication::processEvents();
    EXPECT_EQ(rec.log.count("OnAfterClose"), 1);
    EXPECT_FALSE(port.HasEventThread());
    port.DetachLink(&rec.link);
}

// Also when an answer is written after the device went and before its loss was delivered:
// the write is no error of its own, the port closes as lost, once.
TEST(ComPortPty, HangUpWithoutDataLinkOrUnderAWriteStillClosesOnce)
{
    for (const bool writing : {false, true}) {
        SCOPED_TRACE(writing);
        Pty pty;
        pty.closeSlave();
        Recorder rec;
        TComPort port;
        int lost = 0;
        QObject::connect(&port, &TTransport::DeviceLost, [&] { ++lost; });
        rec.wire(port, false);
        port.SetPort(pty.path);
        port.OpenPort();
        pty.closeMaster();
        if (writing) {
            TTransport::WriteOutcome out;
            EXPECT_NO_THROW(out = port.Write("answer\r", true));
            EXPECT_TRUE(out.failure.isEmpty()) << out.failure.toStdString();
        }
        ASSERT_TRUE(waitFor([&] { return !port.Connected(); }));
        QCoreApplication::processEvents();
        EXPECT_EQ(rec.log.count("OnAfterClose"), 1);
        EXPECT_EQ(lost, 1);
        EXPECT_TRUE(port.ClosedByHangUp());
        port.DetachLink(&rec.link);
    }
}
