// The console's parts on a transport that is no serial port: the session answers, the link
// monitor counts, the terminal shows what the session hands it and sends what is typed, the
// lamp flashes, and all of them let go of the transport when it goes; the window follows its
// opens and closes.
#include "archive/CaptureRecorder.h"
#include "console/ConnectionEvents.h"
#include "console/ErrorReports.h"
#include "console/ScopePage.h"
#include "console/SetupPage.h"
#include "console/StatusLine.h"
#include "serial/widgets/ComLed.h"
#include "session/DeviceSession.h"
#include "session/LinkMonitor.h"
#include "terminal/ComTerminal.h"

#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include "FakeTransport.h"

namespace {

QByteArray row(const TComTerminal& term, int y)
{
    QByteArray text;
    for (int x = 1; x <= term.Columns(); ++x)
        text += term.Buffer().GetCell(x, y).Ch;
    while (text.endsWith('\0'))
        text.chop(1);
    return text;
}

TEST(TransportDouble, TheConsolesPartsNeedNothingSerial)
{
    auto transport = std::make_unique<FakeTransport>();
    TDeviceSession session(*transport);
    const TLinkMonitor& monitor = session.monitor();
    TComTerminal term;
    term.SetComPort(transport.get());
    term.SetHostFed(true);
    QObject::connect(&session, &TDeviceSession::received, &term, &TComTerminal::ShowReceived);
    TComLed lamp;
    lamp.SetLedSignal(lsRx);
    lamp.SetComPort(transport.get());

    transport->OpenPort();
    transport->deliver("W:VA1/2\r");
    EXPECT_EQ(transport->wire, "OK\r\n");
    EXPECT_EQ(monitor.stats().rxBytes(), 8u);
    EXPECT_EQ(monitor.stats().answered(), 1u);
    EXPECT_EQ(row(term, 1), "W:VA1/2");
    EXPECT_EQ(lamp.State(), lsOn);

    transport->wire.clear();
    term.setFocus();
    QTest::keyClicks(&term, "PUSK");
    EXPECT_EQ(transport->wire, "PUSK");

    transport.reset();
    EXPECT_EQ(term.ComPort(), nullptr);
    EXPECT_EQ(lamp.ComPort(), nullptr);
}

struct JournalRows : TJournalSink {
    std::vector<std::string> rows;
    void appendJournal(const TJournalRow& row) override
    {
        rows.push_back((row.kind + ' ' + row.subject + ' ' + row.value).toStdString());
    }
};

TEST(TransportDouble, TheWindowFollowsOpensAndClosesOfAnyTransport)
{
    auto transport = std::make_unique<FakeTransport>();
    TDeviceSession session(*transport);
    JournalRows journal;
    session.addJournalSink(&journal);
    SetupPage setup;
    ScopePage scope;
    TStatusLine status;
    CaptureRecorder recorder;
    const TErrorReports::TShow show;
    TErrorReports reports(session.journal(), show);
    auto events = std::make_unique<TConnectionEvents>(*transport,
        TConnectionEvents::Parts{session, [] { return QStringLiteral("9600"); }, nullptr, setup, scope,
            status, recorder, reports});

    transport->OpenPort();
    transport->deliver("W:VA1/2\rW:VA3");
    ASSERT_GT(session.parser().pendingBytes(), 0u);
    transport->ClosePort();
    EXPECT_EQ(setup.Label3->text(), "Closed");
    EXPECT_EQ(status.connectionState(), "Изключен");
    EXPECT_EQ(session.parser().pendingBytes(), 0u) << "a record cut off by the close is forgotten";
    EXPECT_EQ(journal.rows,
        (std::vector<std::string>{"connection fake://device opened", "connection fake://device closed"}));

    // Gone with the window, it hears of nothing more.
    events.reset();
    journal.rows.clear();
    transport->OpenPort();
    transport->ClosePort();
    EXPECT_TRUE(journal.rows.empty());
}

} // namespace
