// A device that stops reading: the first write that gives up holds the window for its write
// timeout, later writes while the device is still held do not wait again, and what could not
// be written is dropped and counted. Once the device reads again, the next write goes through
// whole and the stall is reported once (error 2 and the count). The answers to one received
// block share one write.
#include "console/MainUnit.h"

#include "serial/ComPort.h"

#include "E2eSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray drain(int fd)
{
    QByteArray got;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            got.append(buf, n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return got;
    }
}

// The shown window connected to a pty whose device end has stopped reading: output towards it
// is held (as by flow control), through a second descriptor of the console's end that the
// test opened first.
class StalledDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[128];
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        termios raw{};
        ASSERT_EQ(tcgetattr(slave, &raw), 0);
        cfmakeraw(&raw);
        ASSERT_EQ(tcsetattr(slave, TCSANOW, &raw), 0);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

        form = std::make_unique<TForm1>(folder.path());
        form->ErrorReport = [this](const QString& m) { errors << m; };
        form->show();
        form->ComPort1->SetPort(QString::fromLocal8Bit(name));
        form->ComPort1->OpenPort();
        ASSERT_TRUE(form->ComPort1->Connected());
        ASSERT_EQ(tcflow(slave, TCOOFF), 0);
    }
    void TearDown() override
    {
        if (form)
            form->ComPort1->ClosePort();
        form.reset();
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }

    int master = -1, slave = -1;
    QTemporaryDir folder;
    std::unique_ptr<TForm1> form;
    QStringList errors;
};

TEST_F(StalledDevice, ASendGivesUpAfterTheWriteTimeoutAndTheStallIsReportedWhenTheDeviceReads)
{
    auto* edit = form->findChild<QLineEdit*>(QStringLiteral("Edit1"));
    auto* send = form->findChild<QPushButton*>(QStringLiteral("Button8"));
    ASSERT_TRUE(edit && send);
    edit->setText(QStringLiteral("Vcc"));
    QElapsedTimer held;
    held.start();
    send->click(); // "Vcc" CR LF: 1000 + 100 × 5 ms with the port's default timeouts
    const qint64 heldMs = held.elapsed();
    EXPECT_GE(heldMs, 1500);
    EXPECT_LT(heldMs, 1500 + 1000) << "the window was held longer than the write timeout";
    held.restart();
    send->click(); // still held: dropped at once
    EXPECT_LT(held.elapsed(), 1000) << "a second write waited again";
    QCoreApplication::processEvents();
    EXPECT_TRUE(errors.isEmpty()) << "reported before the stall ended";
    EXPECT_TRUE(form->ComPort1->Connected());

    // The device reads again: the next send arrives whole and ends the stall.
    ASSERT_EQ(tcflow(slave, TCOON), 0);
    drain(master);
    edit->setText(QStringLiteral("PUSK"));
    send->click();
    QByteArray arrived;
    ASSERT_TRUE(waitFor([&] {
        arrived += drain(master);
        return arrived.endsWith("PUSK\r\n");
    })) << arrived.right(32).toHex().toStdString();
    EXPECT_EQ(arrived, "PUSK\r\n");
    ASSERT_TRUE(waitFor([&] { return !errors.isEmpty(); }));
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.value(0).contains(QStringLiteral("WriteFile function failed")))
        << errors.value(0).toStdString();
    EXPECT_TRUE(errors.value(0).contains(QString::number(ETIMEDOUT))) << errors.value(0).toStdString();
    EXPECT_TRUE(errors.value(0).contains(QStringLiteral(": 2."))) << errors.value(0).toStdString();
}

// Blocks keep coming while the device does not read: every record is still taken (counted),
// the window is held for one write timeout in all instead of one per block, and once the
// device reads again the answers to the next block arrive whole and the one report gives
// the number of answers dropped.
TEST_F(StalledDevice, AFloodWhileHeldCostsOneTimeoutAndTheDroppedAnswersAreCounted)
{
    const QByteArray block = "W:TR80/RK1\rW:SCxQq7\r"; // two answers
    constexpr int kBlocks = 6;
    QElapsedTimer held;
    held.start();
    for (int i = 1; i <= kBlocks; ++i) {
        ASSERT_EQ(::write(master, block.constData(), std::size_t(block.size())), block.size());
        ASSERT_TRUE(waitFor([&] { return form->Parser().counter(TEvent::RK1) == i; }, 20000)) << i;
    }
    const qint64 heldMs = held.elapsed();
    EXPECT_GE(heldMs, 1800); // the first block's answers: 1000 + 100 × 8 ms
    EXPECT_LT(heldMs, 1800 + 2000) << "the blocks after the first waited again";
    QCoreApplication::processEvents();
    EXPECT_TRUE(errors.isEmpty());

    ASSERT_EQ(tcflow(slave, TCOON), 0);
    drain(master);
    ASSERT_EQ(::write(master, block.constData(), std::size_t(block.size())), block.size());
    QByteArray arrived;
    ASSERT_TRUE(waitFor([&] {
        arrived += drain(master);
        return arrived.size() >= 8;
    })) << arrived.toHex().toStdString();
    EXPECT_EQ(arrived, "OK\r\nOK\r\n");
    ASSERT_TRUE(waitFor([&] { return !errors.isEmpty(); }));
    EXPECT_EQ(errors.size(), 1) << errors.join(" | ").toStdString();
    EXPECT_TRUE(errors.value(0).contains(QStringLiteral(": %1.").arg(2 * kBlocks)))
        << errors.value(0).toStdString();
    EXPECT_TRUE(form->ComPort1->Connected());
}

} // namespace
