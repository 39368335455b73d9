// The device session with no window at all: on a pseudo-terminal, against the simulator and
// over a transport that is no serial port.
#include "session/DeviceSession.h"

#include "serial/ComPort.h"
#include "session/TransportFactory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "ChildProcess.h"
#include "FakeTransport.h"

namespace {

bool waitFor(const std::function<bool()>& done, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The device's side of a pseudo-terminal; the session's port opens the other side.
class PtyPeer {
public:
    PtyPeer()
    {
        fd_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (fd_ >= 0 && grantpt(fd_) == 0 && unlockpt(fd_) == 0)
            slave_ = QString::fromLocal8Bit(ptsname(fd_));
    }
    ~PtyPeer()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    const QString& slave() const { return slave_; }
    void write(const QByteArray& bytes)
    {
        ASSERT_EQ(::write(fd_, bytes.data(), size_t(bytes.size())), bytes.size());
    }
    QByteArray read(qsizetype count, int deadlineMs = 5000)
    {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.size() < count && t.elapsed() < deadlineMs) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
                char buf[4096];
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, n);
            }
            QCoreApplication::processEvents();
        }
        return got;
    }

private:
    int fd_ = -1;
    QString slave_;
};

// The same steps and the same log as the window's test of received bytes: the session alone
// logs, answers and hands out (echo first, then the chunk) exactly what the window did.
TEST(Session, ReceivedBytesAreLoggedAnsweredAndHandedOutAsShaped)
{
    struct Case {
        bool appendLF;
        bool force7Bit;
        QByteArray log;
        QByteArray shown; // "E:" echoed, "R:" received, in the order they came
    };
    const Case cases[] = {
        {true, false,
            "W:VA12/3\r\nOK\r\nOK\r\njunk\xE9\r\n\nW:TR45/RK1\r\nOK\r\nOK\r\nW:VA7/8\r\nOK\r\nOK\r\n",
            "E:OK\r\n|R:W:VA12/3\r\n|E:OK\r\n|R:junk\xE9\r\n\nW:TR45/RK1\r\n|R:W:VA7/8|E:OK\r\n|R:\r\n|"},
        {false, false, "W:VA12/3\rOK\r\nOK\r\njunk\xE9\r\nW:TR45/RK1\rOK\r\nOK\r\nW:VA7/8\rOK\r\nOK\r\n",
            "E:OK\r\n|R:W:VA12/3\r|E:OK\r\n|R:junk\xE9\r\nW:TR45/RK1\r|R:W:VA7/8|E:OK\r\n|R:\r|"},
        {false, true, "W:VA12/3\rOK\r\nOK\r\njunki\r\nW:TR45/RK1\rOK\r\nOK\r\nW:VA7/8\rOK\r\nOK\r\n",
            "E:OK\r\n|R:W:VA12/3\r|E:OK\r\n|R:junki\r\nW:TR45/RK1\r|R:W:VA7/8|E:OK\r\n|R:\r|"},
    };
    PtyPeer peer;
    ASSERT_FALSE(peer.slave().isEmpty());
    TComPort port;
    port.SetPort(peer.slave());
    TDeviceSession session(port);
    QByteArray shown;
    QObject::connect(
        &session, &TDeviceSession::echoed, [&](const QByteArray& t) { shown += "E:" + t + '|'; });
    QObject::connect(
        &session, &TDeviceSession::received, [&](const QByteArray& t) { shown += "R:" + t + '|'; });
    port.OpenPort();
    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "AppendLF " << c.appendLF << " Force7Bit " << c.force7Bit);
        session.setShaping(c.appendLF, c.force7Bit);
        shown.clear();
        ASSERT_TRUE(session.openLog(path, false));

        peer.write("W:VA12/3\r");
        EXPECT_EQ(peer.read(4), "OK\r\n");
        peer.write("junk\xE9\r\nW:TR45/RK1\r");
        EXPECT_EQ(peer.read(4), "OK\r\n");
        peer.write("W:VA7/8");
        EXPECT_TRUE(waitFor([&] { return session.parser().pendingBytes() >= 7; }));
        peer.write("\r");
        EXPECT_EQ(peer.read(4), "OK\r\n");
        session.closeLog();

        EXPECT_EQ(readAll(path), c.log);
        EXPECT_EQ(shown, c.shown);
    }
    EXPECT_EQ(session.parser().counter(TEvent::RK1), 3);
}

int figure(const QString& report, const QString& pattern)
{
    const auto m = QRegularExpression(pattern).match(report);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

TEST(Session, AnswersEveryRecordOfTheSimulatorAndCountsAsItsModel)
{
    ChildProcess sim;
    ASSERT_TRUE(sim.start(QStringLiteral(ORVIK_DEVSIM),
        {"--count", "400", "--rate", "0", "--flood", "--window", "1", "--seed", "11", "--malformed", "0.1",
            "--events", "0.3", "--mix", "va=5,tr=4,burst=1", "--crlf", "--quiet", "--answer-timeout", "0"}));
    QByteArray line;
    ASSERT_TRUE(sim.readLine(line));
    ASSERT_TRUE(line.startsWith("PORT ")) << line.toStdString();

    QObject owner;
    TTransport* transport = CreateTransport(QString::fromLocal8Bit(line.mid(5).trimmed()), &owner);
    TDeviceSession session(*transport);
    transport->OpenPort();
    ASSERT_TRUE(transport->Connected());
    ASSERT_TRUE(sim.finished());
    const QString report = QString::fromLocal8Bit(sim.readAll());
    const int expected = figure(report, "ANSWERS expected=(\\d+)");
    EXPECT_GT(expected, 0) << report.toStdString();
    EXPECT_EQ(figure(report, "received=(\\d+)"), expected) << report.toStdString();
    EXPECT_EQ(figure(report, "missing=(\\d+)"), 0);
    EXPECT_EQ(figure(report, "unexpected=(\\d+)"), 0);
    const QString console = report.section(QStringLiteral("CONSOLE"), 1);
    for (const TEventKind& kind : kEventKinds) {
        const QString name = QString::fromLatin1(kind.name.data(), qsizetype(kind.name.size()));
        EXPECT_EQ(
            int(session.parser().counter(kind.event)), figure(console, name + QStringLiteral("=(\\d+)")))
            << kind.name;
    }
    EXPECT_EQ(session.parser().sampleCount(), figure(console, "samples=(\\d+)"));
    transport->ClosePort();
}

TEST(Session, RunsOverATransportThatIsNoSerialPort)
{
    FakeTransport transport;
    TDeviceSession session(transport);
    int refused = 0;
    QObject::connect(&session, &TDeviceSession::sendRefused, [&] { ++refused; });
    session.send("PUSK");
    EXPECT_EQ(refused, 1);
    EXPECT_TRUE(transport.wire.isEmpty());

    transport.OpenPort();
    session.setLimitText(TLimit::Voltage, "100");
    std::vector<std::pair<TReadout, TColor>> colours;
    QObject::connect(&session, &TDeviceSession::readoutColor,
        [&](TReadout which, TColor color) { colours.emplace_back(which, color); });
    // Two records in one block: their answers go out in one write, after the block.
    transport.deliver("W:VA150/2\rW:TR20/SUK\r");
    EXPECT_EQ(transport.wire, "OK\r\nOK\r\n");
    EXPECT_EQ(session.parser().counter(TEvent::SUK), 1);
    ASSERT_FALSE(colours.empty());
    EXPECT_EQ(colours.front(), std::make_pair(TReadout::Voltage, kStateRed));
    session.setLineEnds(true, false);
    session.send("PUSK");
    EXPECT_EQ(transport.wire, "OK\r\nOK\r\nPUSK\r");
}

} // namespace
