// The window's connection set-up with a port on another machine: "RS232" returns while the
// port opens and the window's event loop runs on; the open then ends in the labels and the
// status line, or in the set-up dialog with the network's reason.

#include "FakeRfc2217Server.h"
#include "console/ConnectionSetup.h"
#include "console/SetupPage.h"
#include "console/StatusLine.h"
#include "console/TerminalPage.h"
#include "net/NamedPort.h"
#include "serial/widgets/ComSetupFrm.h"
#include "session/JournalRecorder.h"
#include "session/JournalRow.h"
#include "session/PortReconnector.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

constexpr int kDeadline = 15000;

struct NoJournal : TJournalSink {
    void appendJournal(const TJournalRow&) override { }
};

struct Window {
    QWidget window;
    SetupPage setup;
    TerminalPage terminal;
    TStatusLine status;
    NoJournal sink;
    TJournalRecorder journal{sink};
    TNamedPort port{&window};
    TConnectionSetup connection{port, setup, terminal, status, journal, window};
};

TEST(NetConnectionSetup, RS232ReturnsWhileTheNetworkOpensAndTheOutcomeComesLater)
{
    FakeRfc2217Server silent;
    silent.negotiate = false;
    FakeRfc2217Server good;
    good.takeRate = 115200;
    Window w;
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(10);
    // Every set-up dialog shown: its reason kept, then cancelled.
    QStringList reasons;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<TComSetupFrm*>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible() && !dialog->property("handled").toBool()) {
            dialog->setProperty("handled", true);
            reasons << dialog->Reason->text();
            dialog->Button2->click();
        }
    });
    poll.start(5);

    // A server that never negotiates: 3 s of it, with the window alive throughout.
    const QString silentName = QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.port());
    w.port.SetPort(silentName);
    w.setup.RSBut->setChecked(true);
    w.connection.RSButClick();
    EXPECT_TRUE(w.connection.IsOpening());
    EXPECT_EQ(w.status.connectionState().toStdString(),
        QStringLiteral("Свързване с %1…").arg(silentName).toStdString());
    EXPECT_TRUE(reasons.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return reasons.size() == 1; }, kDeadline));
    EXPECT_GE(ticks, 20);
    EXPECT_TRUE(reasons.first().contains(QStringLiteral("не договори RFC 2217")))
        << reasons.first().toStdString();
    EXPECT_FALSE(w.port.Connected());
    EXPECT_TRUE(w.setup.NoneBut->isChecked());
    EXPECT_EQ(w.status.connectionState().toStdString(), "Изключен");

    // A server that answers: the labels and the status line show the rate it took.
    const QString goodName = QStringLiteral("rfc2217://127.0.0.1:%1").arg(good.port());
    w.port.SetPort(goodName);
    w.setup.RSBut->setChecked(true);
    w.connection.RSButClick();
    EXPECT_TRUE(w.connection.IsOpening());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.connection.IsOpening(); }, kDeadline));
    EXPECT_TRUE(w.port.Connected());
    EXPECT_EQ(reasons.size(), 1);
    EXPECT_EQ(w.setup.Label3->text(), goodName);
    EXPECT_EQ(w.setup.Label5->text(), QStringLiteral("115200"));
    EXPECT_EQ(w.status.connectionState().toStdString(),
        QStringLiteral("Свързан: %1 115200").arg(goodName).toStdString());

    // A connection lost is a device lost: the reconnector opens it again, and the window
    // shows it open.
    ASSERT_TRUE(QTest::qWaitFor([&] { return good.client() != nullptr; }, kDeadline));
    good.client()->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.port.Connected(); }, kDeadline));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.port.Connected() && good.connections == 2; }, kDeadline));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return w.status.connectionState().startsWith(QStringLiteral("Свързан")); }, kDeadline))
        << w.status.connectionState().toStdString();
    // The reconnector's wait ends at its next attempt, which finds the port open.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.connection.Reconnector()->IsWaiting(); }, kDeadline));
    EXPECT_EQ(w.status.connectionState().toStdString(),
        QStringLiteral("Свързан: %1 115200").arg(goodName).toStdString());

    // "Изключен" during an open abandons it.
    w.port.ClosePort();
    w.port.SetPort(silentName);
    w.connection.RSButClick();
    ASSERT_TRUE(w.port.Opening());
    w.setup.NoneBut->setChecked(true);
    w.connection.NoneButClick();
    EXPECT_FALSE(w.port.Opening());
    EXPECT_EQ(w.status.connectionState().toStdString(), "Изключен");
}

} // namespace
