// A device that stops reading: a send gives up once the write timeout has passed (error 2,
// reported once), the window is held no longer than that, and once the device reads again
// the next send goes through whole. The answers to one received block share one write, so a
// block costs one timeout however many records it holds.
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

TEST_F(StalledDevice, ASendGivesUpAfterTheWriteTimeoutAndTheNextOneWorksOnceTheDeviceReads)
{
    auto* edit = form->findChild<QLineEdit*>(QStringLiteral("Edit1"));
    auto* send = form->findChild<QPushButton*>(QStringLiteral("Button8"));
    ASSERT_TRUE(edit && send);
    edit->setText(QStringLiteral("Vcc"));
    QElapsedTimer held;
    held.start();
    send->click(); // "Vcc" CR LF: 1000 + 100 × 5 ms with the port's default timeouts
    const qint64 heldMs = held.elapsed();
    ASSERT_TRUE(waitFor([&] { return !errors.isEmpty(); }));
    EXPECT_GE(heldMs, 1500);
    EXPECT_LT(heldMs, 1500 + 1000) << "the window was held longer than the write timeout";
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.value(0).contains(QStringLiteral("WriteFile function failed")))
        << errors.value(0).toStdString();
    EXPECT_TRUE(errors.value(0).contains(QString::number(ETIMEDOUT))) << errors.value(0).toStdString();
    EXPECT_TRUE(form->ComPort1->Connected());

    // The device reads again: the next send arrives whole.
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
    QCoreApplication::processEvents();
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(StalledDevice, TheAnswersToOneBlockGiveUpOnceNotOncePerRecord)
{
    // Three records in one block, each answered: one write of the three answers, which gives
    // up after its own timeout (1000 + 100 x 12 ms), where three writes would take 3 x 1400 ms
    // and report three times.
    const QByteArray block = "W:SCxQq7\rW:SCxQq7\rW:SCxQq7\r";
    QElapsedTimer held;
    held.start();
    ASSERT_EQ(::write(master, block.constData(), std::size_t(block.size())), block.size());
    ASSERT_TRUE(waitFor([&] { return !errors.isEmpty(); }, 10000));
    const qint64 heldMs = held.elapsed();
    QCoreApplication::processEvents();
    EXPECT_EQ(errors.size(), 1) << errors.join(" | ").toStdString();
    EXPECT_LT(heldMs, 3 * 1400) << "every answer waited for its own timeout";
    EXPECT_TRUE(form->ComPort1->Connected());

    // Reading again, the device gets the answers to its next block whole and in one piece.
    ASSERT_EQ(tcflow(slave, TCOON), 0);
    drain(master);
    ASSERT_EQ(::write(master, block.constData(), std::size_t(block.size())), block.size());
    QByteArray arrived;
    ASSERT_TRUE(waitFor([&] {
        arrived += drain(master);
        return arrived.size() >= 12;
    })) << arrived.toHex().toStdString();
    EXPECT_EQ(arrived, "OK\r\nOK\r\nOK\r\n");
    EXPECT_EQ(errors.size(), 1);
}

} // namespace
