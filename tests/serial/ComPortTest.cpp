// The port against the scriptable device: open and close order, the event thread and its
// deliveries, reception, transmission, hang-up and errors.

#include "SerialTestSupport.h"

#include "serial/ComPort.h"
#include "serial/FakeSerialDevice.h"

#include <QElapsedTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

struct FakePort {
    std::shared_ptr<FakeSerialLine> line = std::make_shared<FakeSerialLine>();
    Recorder rec; // outlives the port, whose destructor still calls the link
    TComPort port;
    explicit FakePort(bool dataLink = true)
    {
        port.SetDeviceFactory(FakeSerialLine::factory(line));
        rec.wire(port, dataLink);
    }
    // Waits until the event thread is blocked in its wait again.
    void settle()
    {
        ASSERT_TRUE(waitFor([&] { return line->waiting(); }));
    }
    int count(const QString& entry) const { return int(rec.log.count(entry)); }
};

QStringList after(const QStringList& log, int from)
{
    return log.mid(from);
}

} // namespace

TEST(ComPortOpen, MissingDeviceRaisesErrorOneAndStaysClosed)
{
    TComPort port;
    Recorder rec;
    rec.wire(port);
    port.SetPort("/dev/orvik-no-such-device");
    try {
        port.OpenPort();
        FAIL() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 1);
        EXPECT_EQ(e.SystemError(), 2);
        EXPECT_EQ(e.Message(), "Unable to open com port (win error code: 2)");
    }
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(port.HasEventThread());
    EXPECT_EQ(rec.log, QStringList({"OnBeforeOpen"}));
    port.DetachLink(&rec.link);
}

TEST(ComPortOpen, OpenAndCloseCallLinksAndEventsInOrder)
{
    FakePort f;
    f.line->setModemStatus(comm::MS_CTS_ON | comm::MS_RLSD_ON);
    // A second link, logging into the same list, shows "all links for CTS, then DSR".
    TComLink second;
    second.CtsHandler = [&](QObject*, bool on) { f.rec.log << "B:Cts" + Recorder::onOff(on); };
    second.DsrHandler = [&](QObject*, bool on) { f.rec.log << "B:Dsr" + Recorder::onOff(on); };
    second.ConnHandler = [&](QObject*, bool on) { f.rec.log << "B:Conn" + Recorder::onOff(on); };
    f.port.AttachLink(&second);
    f.port.OpenPort();
    EXPECT_TRUE(f.port.HasEventThread());
    EXPECT_EQ(f.rec.log,
        QStringList({"OnBeforeOpen", "Conn1", "B:Conn1", "OnAfterOpen", "Cts1", "B:Cts1", "OnCTS1", "Dsr0",
            "B:Dsr0", "OnDSR0", "Rlsd1", "OnRLSD1"}));
    EXPECT_EQ(f.line->eventMask(), 0x05FFu);
    f.settle();
    f.rec.log.clear();
    f.port.ClosePort();
    EXPECT_EQ(f.rec.log,
        QStringList({"Cts0", "B:Cts0", "Dsr0", "B:Dsr0", "Rlsd0", "OnCTS0", "OnDSR0", "OnRLSD0",
            "OnBeforeClose", "Conn0", "B:Conn0", "OnAfterClose"}));
    EXPECT_FALSE(f.port.Connected());
    EXPECT_FALSE(f.port.ClosedByHangUp());
    EXPECT_FALSE(f.port.HasEventThread());
    EXPECT_FALSE(f.line->isOpen());
    // Abort, then the thread's own clear at its end.
    EXPECT_EQ(f.line->purges(), (std::vector<uint32_t>{3, 12}));
    f.port.ClosePort(); // closed: nothing
    EXPECT_EQ(f.count("OnAfterClose"), 1);
    f.port.DetachLink(&second);
}

TEST(ComPortOpen, ModemLineFailures)
{
    FakePort f;
    f.line->failCall(FakeSerialLine::Call::ModemStatus, ENOTTY);
    f.port.OpenPort(); // a driver without modem lines reads as all off
    EXPECT_TRUE(f.rec.log.contains("OnCTS0"));
    f.line->failCall(FakeSerialLine::Call::Escape, EINVAL);
    EXPECT_NO_THROW(f.port.SetDtrLine(true));
    f.line->failCall(FakeSerialLine::Call::Escape, EIO);
    try {
        f.port.SetRtsLine(true);
        FAIL() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 12);
        EXPECT_EQ(e.SystemError(), EIO);
    }
    f.port.ClosePort();

    // A real failure raises after the port is already open and OnAfterOpen has run.
    f.line->clearFailures();
    f.line->failCall(FakeSerialLine::Call::ModemStatus, EIO);
    f.rec.log.clear();
    try {
        f.port.OpenPort();
        FAIL() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 11);
    }
    EXPECT_TRUE(f.port.Connected());
    EXPECT_TRUE(f.rec.log.contains("OnAfterOpen"));
    f.line->clearFailures();
}

TEST(ComPortOpen, AbortFailureKeepsThePortOpen)
{
    FakePort f;
    f.port.OpenPort();
    f.line->failCall(FakeSerialLine::Call::Purge, EIO, 1);
    try {
        f.port.ClosePort();
        FAIL() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 5);
    }
    EXPECT_TRUE(f.port.Connected());
    EXPECT_TRUE(f.port.HasEventThread());
    f.port.ClosePort();
    EXPECT_FALSE(f.port.Connected());
}

TEST(ComPortLinks, MisuseRaisesErrorEighteen)
{
    TComPort port;
    TComLink a, b;
    port.AttachLink(&a);
    EXPECT_FALSE(port.HasDataLink());
    try {
        port.AttachLink(&a);
        FAIL() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 18);
        EXPECT_EQ(e.SystemError(), -1);
        EXPECT_EQ(e.Message(), "Link (un)registration failed");
    }
    EXPECT_THROW(port.DetachLink(&b), EComPort);
    b.RxBufHandler = [](QObject*, const char*, int) {};
    port.AttachLink(&b);
    EXPECT_TRUE(port.HasDataLink());
    port.DetachLink(&b);
    EXPECT_FALSE(port.HasDataLink());
    port.DetachLink(&a);
    EXPECT_THROW(port.DetachLink(&a), EComPort);
}

TEST(ComPortLinks, DestroyingTellsReferringClients)
{
    auto port = std::make_unique<TComPort>();
    TComLink link;
    TCustomComPort* ref = port.get();
    port->AttachLink(&link);
    QObject::connect(port.get(), &TCustomComPort::Destroying, [&](TTransport* p) {
        p->DetachLink(&link);
        ref = nullptr;
    });
    port.reset();
    EXPECT_EQ(ref, nullptr);
}

TEST(ComPortEvents, NoThreadWhenEventsAreEmpty)
{
    FakePort f;
    f.port.SetEvents({});
    f.port.OpenPort();
    EXPECT_FALSE(f.port.HasEventThread());
    f.line->pushInput("abc");
    f.port.WriteText("x");
    QCoreApplication::processEvents();
    EXPECT_EQ(f.port.InputQueueCount(), 3);
    EXPECT_TRUE(f.rec.received.isEmpty());
    EXPECT_TRUE(f.rec.log.contains("Tx1"));
    EXPECT_FALSE(f.rec.log.contains("Tx0"));
}

TEST(ComPortEvents, BatchIsHandledInTheFixedOrder)
{
    FakePort f;
    f.port.OpenPort();
    f.settle();
    const int from = int(f.rec.log.size());
    f.line->raiseEvents(0x05FF); // every event, nothing queued, no line errors, lines off
    ASSERT_TRUE(waitFor([&] { return f.rec.log.contains("OnRx80Full"); }));
    EXPECT_EQ(after(f.rec.log, from),
        QStringList({"Tx0", "TxEmpty", "OnTxEmpty", "OnBreak", "Ring", "OnRing", "Cts0", "OnCTS0", "Dsr0",
            "OnDSR0", "RxFlag", "OnRxFlag", "Rlsd0", "OnRLSD0", "OnRx80Full"}));

    f.rec.log.clear();
    f.line->raiseLineErrors(comm::CE_FRAME | comm::CE_RXPARITY); // parity not checked
    ASSERT_TRUE(waitFor([&] { return !f.rec.log.isEmpty(); }));
    EXPECT_EQ(f.rec.log, QStringList({"OnError1"}));
    f.port.Parity().SetCheck(true);
    f.rec.log.clear();
    f.line->raiseLineErrors(comm::CE_RXPARITY);
    ASSERT_TRUE(waitFor([&] { return !f.rec.log.isEmpty(); }));
    EXPECT_EQ(f.rec.log, QStringList({"OnError2"}));

    f.rec.log.clear();
    f.line->setModemStatus(comm::MS_DSR_ON);
    f.line->raiseBreak();
    ASSERT_TRUE(waitFor([&] { return f.rec.log.contains("OnBreak"); }));
    EXPECT_TRUE(f.rec.log.contains("Dsr1"));
    EXPECT_TRUE(f.rec.log.contains("OnDSR1"));
}

// A line that changes while a received batch is being handled is seen first by the port's
// own count queries; each change must still reach the handlers.
TEST(ComPortEvents, LineChangesInterleavedWithTrafficAreAllDelivered)
{
    struct Case {
        const char* name;
        uint32_t bit; // 0: a framing error instead of a line
        QString on, off;
    };
    const Case cases[] = {
        {"CTS", comm::MS_CTS_ON, "Cts1", "Cts0"},
        {"DSR", comm::MS_DSR_ON, "Dsr1", "Dsr0"},
        {"RLSD", comm::MS_RLSD_ON, "Rlsd1", "Rlsd0"},
        {"frame error", 0, "OnError1", "OnError1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakePort f;
        f.port.OpenPort();
        f.settle();
        const int from = int(f.rec.log.size());
        uint32_t lines = 0;
        f.rec.link.RxHandler = [&](QObject*, bool on) {
            if (!on)
                return;
            if (c.bit) {
                lines ^= c.bit;
                f.line->setModemStatus(lines);
            } else {
                f.line->raiseLineErrors(comm::CE_FRAME);
            }
        };
        for (int i = 0; i < 20; ++i) {
            const QByteArray record = "W:VA-" + QByteArray::number(i) + "/3\r";
            const int before = int(f.rec.received.size());
            f.line->pushInput(record);
            ASSERT_TRUE(waitFor([&] { return f.rec.received.size() == before + record.size(); }));
        }
        const auto delivered = [&] {
            QStringList seen;
            for (const QString& e : after(f.rec.log, from))
                if (e == c.on || e == c.off)
                    seen << e;
            return seen;
        };
        // A handler reads the line as it is when it runs, so the values need not alternate;
        // but every change is an event, and the last one shows the line as it ends.
        ASSERT_TRUE(waitFor([&] { return delivered().size() >= 20; }, 2000)) << delivered().size();
        f.settle();
        EXPECT_EQ(delivered().size(), 20);
        EXPECT_EQ(delivered().last(), c.off);
    }
}

TEST(ComPortReceive, DataLinkTakesTheBytesInOneRead)
{
    FakePort f;
    f.port.OpenPort();
    f.settle();
    const int from = int(f.rec.log.size());
    f.line->pushInput("W:VA-15/3\r");
    ASSERT_TRUE(waitFor([&] { return f.rec.received == "W:VA-15/3\r"; }));
    EXPECT_EQ(after(f.rec.log, from), QStringList({"Rx1", "Rx0", "OnRxBuf10", "RxBuf10"}));
    EXPECT_EQ(f.line->readCalls(), 1);
}

TEST(ComPortReceive, WithoutDataLinkTheBytesStayQueued)
{
    FakePort f(false);
    f.port.OpenPort();
    f.settle();
    f.line->pushInput("abc");
    ASSERT_TRUE(waitFor([&] { return f.rec.log.contains("OnRxChar3"); }));
    EXPECT_EQ(f.port.InputQueueCount(), 3);
    f.line->pushInput("de");
    ASSERT_TRUE(waitFor([&] { return f.rec.log.contains("OnRxChar5"); }));
    EXPECT_FALSE(f.rec.log.join(',').contains("OnRxBuf"));
    char buf[8];
    EXPECT_EQ(f.port.ReadBuffer(buf, 8), 5);
    EXPECT_EQ(QByteArray(buf, 5), "abcde");
    EXPECT_EQ(f.rec.log.last(), "Rx0");
}

TEST(ComPortReceive, EmptyReceiveEventDoesNothing)
{
    FakePort f;
    f.port.OpenPort();
    f.settle();
    const int from = int(f.rec.log.size());
    f.line->raiseEvents(comm::EV_RXCHAR | comm::EV_RING);
    ASSERT_TRUE(waitFor([&] { return f.rec.log.contains("OnRing"); }));
    EXPECT_EQ(after(f.rec.log, from), QStringList({"Ring", "OnRing"}));
    EXPECT_EQ(f.line->readCalls(), 0);
}

TEST(ComPortReceive, UnderReportedCountStillDeliversEveryByte)
{
    FakePort f;
    f.line->setInputCountLimit(4);
    f.port.OpenPort();
    f.settle();
    f.line->pushInput("0123456789");
    ASSERT_TRUE(waitFor([&] { return f.rec.received == "0123456789"; }));
    EXPECT_TRUE(f.rec.log.contains("RxBuf4"));
    EXPECT_TRUE(f.rec.log.contains("RxBuf2"));
}

TEST(ComPortReceive, ReadWithoutAnyTimeoutWaitsForTheWholeCount)
{
    FakePort f(false);
    f.port.SetEvents({});
    TComTimeouts none;
    none.SetReadInterval(0);
    none.SetReadTotalMultiplier(0);
    none.SetReadTotalConstant(0);
    f.port.SetTimeouts(none);
    f.port.OpenPort();
    f.line->pushInput("abc");
    // The rest comes only once the first part has been taken by the read.
    std::thread device([&] {
        if (waitOutsideEventLoop([&] { return f.line->inputQueued() == 0; }))
            f.line->pushInput("def");
    });
    char buf[6];
    const int got = f.port.ReadBuffer(buf, 6);
    device.join();
    EXPECT_EQ(got, 6);
    EXPECT_EQ(QByteArray(buf, got), "abcdef");
}

TEST(ComPortTransmit, EmptyTextWritesNothing)
{
    FakePort f;
    f.port.OpenPort();
    EXPECT_EQ(f.port.WriteText(""), 0);
    EXPECT_FALSE(f.rec.log.contains("Tx1"));
    EXPECT_TRUE(f.line->output().isEmpty());
}

TEST(ComPortTransmit, WriteSwitchesTxOnAndTxEmptySwitchesItOff)
{
    FakePort f;
    f.port.OpenPort();
    f.settle();
    const int from = int(f.rec.log.size());
    EXPECT_EQ(f.port.WriteText("PUSK\r"), 5);
    EXPECT_EQ(f.line->output(), "PUSK\r");
    EXPECT_EQ(after(f.rec.log, from), QStringList({"Tx1", "TxBuf5"}));
    ASSERT_TRUE(waitFor([&] { return f.rec.log.contains("OnTxEmpty"); }));
    EXPECT_EQ(after(f.rec.log, from), QStringList({"Tx1", "TxBuf5", "Tx0", "TxEmpty", "OnTxEmpty"}));
}

TEST(ComPortTransmit, StalledWriteGivesUpAfterTheTotalTimeout)
{
    FakePort f;
    f.port.Timeouts().SetWriteTotalConstant(40);
    f.port.Timeouts().SetWriteTotalMultiplier(10);
    f.port.OpenPort();
    f.line->setOutputBlocked(true);
    QElapsedTimer t;
    t.start();
    try {
        f.port.WriteText("abc"); // 40 + 3 * 10 ms
        FAIL() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 2);
        EXPECT_EQ(e.SystemError(), ETIMEDOUT);
    }
    EXPECT_GE(t.elapsed(), 65);
    EXPECT_LT(t.elapsed(), 3000);
    f.line->setOutputBlocked(false);
    EXPECT_EQ(f.port.WriteText("ok"), 2);
    f.line->failCall(FakeSerialLine::Call::Write, EIO, 1);
    EXPECT_THROW(f.port.WriteText("x"), EComPort);
}

TEST(ComPortTransmit, OperationRecordIsRequired)
{
    FakePort f;
    f.port.OpenPort();
    char b[2];
    for (auto call : {std::function<void()>([&] { f.port.StartWrite("a", 1, nullptr); }),
             std::function<void()>([&] { f.port.StartRead(b, 1, nullptr); }),
             std::function<void()>([&] { f.port.WaitForOperation(nullptr); })}) {
        try {
            call();
            FAIL() << "no error";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.PortError(), 4);
            EXPECT_EQ(e.SystemError(), -1);
        }
    }
}

TEST(ComPortThread, CloseWithADeliveryPendingDoesNotDeadlock)
{
    FakePort f;
    f.port.OpenPort();
    f.settle();
    f.line->pushInput("late");
    // The event thread has taken the event and waits for this thread, which does not
    // run its event loop before closing.
    ASSERT_TRUE(waitOutsideEventLoop([&] { return !f.line->waiting(); }));
    f.port.ClosePort();
    EXPECT_FALSE(f.port.Connected());
    EXPECT_EQ(f.rec.received, "late"); // run while the close waited
    QCoreApplication::processEvents();
    EXPECT_EQ(f.rec.received, "late");
    EXPECT_EQ(f.count("OnAfterClose"), 1);
}

TEST(ComPortThread, CloseBeginningBeforeTheHandOverDoesNotDeadlock)
{
    // The event thread takes a batch, the close starts waiting for the thread, and only
    // then is the batch handed over: the close must run it and end the thread.
    FakePort f;
    f.port.OpenPort();
    f.settle();
    f.line->setHandOverAfterCancel(50);
    f.line->pushInput("late");
    ASSERT_TRUE(waitOutsideEventLoop([&] { return !f.line->waiting(); }));
    f.port.ClosePort();
    EXPECT_FALSE(f.port.Connected());
    EXPECT_FALSE(f.port.HasEventThread());
    EXPECT_EQ(f.rec.received, "late");
    EXPECT_EQ(f.count("OnAfterClose"), 1);
}

TEST(ComPortThread, CloseFromInsideAHandler)
{
    FakePort f;
    f.port.OpenPort();
    f.settle();
    f.port.OnRxBuf = [&](QObject*, const char*, int) { f.port.ClosePort(); };
    f.line->pushInput("x");
    ASSERT_TRUE(waitFor([&] { return !f.port.Connected(); }));
    EXPECT_FALSE(f.port.HasEventThread());
    EXPECT_EQ(f.count("OnAfterClose"), 1);
}

TEST(ComPortThread, ErrorInsideHandlingEndsTheThreadSilently)
{
    FakePort f;
    f.port.OpenPort();
    f.settle();
    int rings = 0;
    f.port.OnRing = [&](QObject*) {
        ++rings;
        throw EComPort(CError_ReadFailed, EBADF);
    };
    f.line->ring();
    ASSERT_TRUE(waitFor([&] { return rings == 1; }));
    EXPECT_TRUE(f.port.Connected());
    // The thread ends instead of waiting again: nothing further is delivered.
    f.line->ring();
    QElapsedTimer t;
    t.start();
    waitFor([&] { return rings > 1; }, 100);
    EXPECT_EQ(rings, 1);
    f.port.ClosePort();
    f.port.OpenPort();
    f.port.OnRing = [&](QObject*) { ++rings; };
    f.settle();
    f.line->ring();
    ASSERT_TRUE(waitFor([&] { return rings == 2; }));
}

TEST(ComPortHangUp, BytesBeforeTheHangUpAreDeliveredThenThePortCloses)
{
    FakePort f;
    f.port.OpenPort();
    f.settle();
    f.line->pushInput("last words");
    f.line->hangUp();
    ASSERT_TRUE(waitFor([&] { return !f.port.Connected(); }));
    EXPECT_EQ(f.rec.received, "last words");
    const QStringList log = f.rec.log;
    const int rx = int(log.indexOf("RxBuf10"));
    const int before = int(log.indexOf("OnBeforeClose"));
    ASSERT_GE(rx, 0);
    EXPECT_GT(before, rx);
    EXPECT_EQ(log.mid(before), QStringList({"OnBeforeClose", "Conn0", "OnAfterClose"}));
    EXPECT_FALSE(f.port.HasEventThread());
    EXPECT_FALSE(f.line->isOpen());
    EXPECT_TRUE(f.port.ClosedByHangUp());
    QCoreApplication::processEvents();
    EXPECT_EQ(f.count("OnAfterClose"), 1);
}

TEST(ComPortHangUp, HandlingThatFindsTheDeviceGoneClosesThePort)
{
    FakePort f;
    f.port.OpenPort();
    f.settle();
    f.line->failCall(FakeSerialLine::Call::Status, ENXIO);
    f.line->pushInput("x"); // reception fails reading the count: the adapter is gone
    ASSERT_TRUE(waitFor([&] { return !f.port.Connected(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(f.count("OnAfterClose"), 1);
}

TEST(ComPortHangUp, InjectedErrorsCloseExactlyOnce)
{
    for (int error : {EIO, ENXIO, ENODEV}) {
        FakePort f;
        f.port.OpenPort();
        f.settle();
        f.line->failCall(FakeSerialLine::Call::WaitEvent, error);
        f.line->ring(); // wakes the wait, whose next pass fails
        ASSERT_TRUE(waitFor([&] { return !f.port.Connected(); })) << error;
        QCoreApplication::processEvents();
        EXPECT_EQ(f.count("OnAfterClose"), 1) << error;
        f.line->clearFailures();
        // The port opens again afterwards.
        f.port.OpenPort();
        EXPECT_TRUE(f.port.Connected());
    }
    // Any other failure ends the thread without closing, as designed.
    FakePort g;
    g.port.OpenPort();
    g.settle();
    g.line->failCall(FakeSerialLine::Call::WaitEvent, EBADF);
    g.line->ring();
    ASSERT_TRUE(waitFor([&] { return g.rec.log.contains("OnRing"); }));
    waitFor([&] { return !g.port.Connected(); }, 100);
    EXPECT_TRUE(g.port.Connected());
}

TEST(ComPortSync, WindowAndNoneDelivery)
{
    {
        FakePort f;
        f.port.SetSyncMethod(smWindowSync);
        f.port.OpenPort();
        f.settle();
        f.line->pushInput("win");
        ASSERT_TRUE(waitFor([&] { return f.rec.received == "win"; }));
        // An error raised by the handling goes to the error report; the thread goes on.
        int reports = 0;
        TCustomComPort::SetErrorReporter([&](const std::exception&) { ++reports; });
        f.port.OnRing = [](QObject*) { throw EComPort(CError_ReadFailed, EIO); };
        f.line->ring();
        ASSERT_TRUE(waitFor([&] { return reports == 1; }));
        TCustomComPort::SetErrorReporter(nullptr);
        f.line->pushInput("!");
        ASSERT_TRUE(waitFor([&] { return f.rec.received == "win!"; }));
    }
    {
        FakePort f;
        f.port.SetSyncMethod(smNone);
        std::atomic<bool> onOtherThread{false};
        std::atomic<int> got{0};
        const std::thread::id ui = std::this_thread::get_id();
        f.rec.link.RxBufHandler = [&](QObject*, const char*, int n) {
            onOtherThread = std::this_thread::get_id() != ui;
            got += n;
        };
        f.port.OpenPort();
        f.settle();
        f.line->pushInput("none");
        ASSERT_TRUE(waitFor([&] { return got == 4; }));
        EXPECT_TRUE(onOtherThread);
    }
}

TEST(ComPortLineErrors, CountedFromTheOpenAndZeroWithoutDriverCounts)
{
    FakePort f;
    f.line->raiseLineErrors(comm::CE_FRAME); // before the open: not this connection's
    f.port.OpenPort();
    f.settle();
    f.line->raiseLineErrors(comm::CE_FRAME | comm::CE_RXPARITY);
    f.line->raiseLineErrors(comm::CE_OVERRUN);
    f.line->raiseLineErrors(comm::CE_RXOVER);
    f.line->raiseBreak();
    f.line->raiseBreak();
    EXPECT_EQ(f.port.LineErrorCounts(), (TLineErrorCounts{1, 1, 2, 2}));
    // Reading the error word (the port does on every error event) does not reset the counts.
    ASSERT_TRUE(waitFor([&] { return f.count("OnBreak") >= 1; }));
    EXPECT_EQ(f.port.LineErrorCounts(), (TLineErrorCounts{1, 1, 2, 2}));

    f.port.ClosePort();
    EXPECT_EQ(f.port.LineErrorCounts(), TLineErrorCounts{});
    f.port.OpenPort();
    f.settle();
    EXPECT_EQ(f.port.LineErrorCounts(), TLineErrorCounts{});
    f.line->raiseLineErrors(comm::CE_FRAME);
    EXPECT_EQ(f.port.LineErrorCounts(), (TLineErrorCounts{1, 0, 0, 0}));

    f.line->setCountsErrors(false);
    f.line->raiseLineErrors(comm::CE_FRAME);
    EXPECT_EQ(f.port.LineErrorCounts(), TLineErrorCounts{});
}
