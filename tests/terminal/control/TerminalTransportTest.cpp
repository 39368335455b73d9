// The terminal on a transport that is no serial port: this test links the terminal without
// the serial library, so building it proves the terminal needs the transport interface only.
// Received bytes are shown, typed keys written, and a write the transport refuses goes to the
// application's error report instead of unwinding through the event loop.

#include "FakeTransport.h"
#include "common/ErrorReport.h"
#include "terminal/ComTerminal.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

bool waitFor(const std::function<bool()>& done, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

QByteArray rowText(const TCustomComTerminal& t, int y)
{
    QByteArray out;
    for (int x = 1; x <= t.Columns(); ++x)
        out.append(t.Buffer().GetCell(x, y).Ch ? t.Buffer().GetCell(x, y).Ch : '.');
    while (out.endsWith('.'))
        out.chop(1);
    return out;
}

// Refuses every write, as a port whose device has gone bad does.
class RefusingTransport : public FakeTransport {
public:
    WriteOutcome Write(QByteArrayView, bool) override { throw std::runtime_error("write refused"); }
};

} // namespace

TEST(TerminalOnTransport, ShowsWhatArrivesAndWritesWhatIsTyped)
{
    auto transport = std::make_unique<FakeTransport>();
    TComTerminal term;
    term.SetEmulation(teNone);
    term.SetAppendLF(true);
    term.SetComPort(transport.get());
    term.SetConnected(true);
    ASSERT_TRUE(transport->Connected());
    transport->deliver("W:VA-15/3\rok");
    ASSERT_TRUE(waitFor([&] { return rowText(term, 2) == "ok"; })) << rowText(term, 1).constData();
    EXPECT_EQ(rowText(term, 1), "W:VA-15/3");
    QTest::keyClicks(&term, QStringLiteral("PUSK"));
    QTest::keyClick(&term, Qt::Key_Return);
    EXPECT_TRUE(waitFor([&] { return transport->wire == "PUSK\r"; })) << transport->wire.constData();
    // The transport going away leaves the terminal without it, not with a dangling pointer.
    transport.reset();
    EXPECT_EQ(term.ComPort(), nullptr);
}

TEST(TerminalOnTransport, ARefusedWriteGoesToTheErrorReport)
{
    QStringList reported;
    SetErrorReporter([&](const std::exception& e) { reported << QString::fromUtf8(e.what()); });
    RefusingTransport transport;
    TComTerminal term;
    term.SetEmulation(teNone);
    term.SetLocalEcho(true);
    term.SetComPort(&transport);
    transport.OpenPort();
    QTest::keyClick(&term, Qt::Key_A);
    SetErrorReporter({});
    EXPECT_EQ(reported, QStringList{QStringLiteral("write refused")});
    EXPECT_EQ(rowText(term, 1), ""); // no echo of a key that was not sent
    term.SetComPort(nullptr);
}
