// The settings model: presets, queue-size rounding, the line configuration built from the
// settings, when an open device is configured, and the errors of the setters.

#include "SerialTestSupport.h"

#include "serial/ComPort.h"
#include "serial/FakeSerialDevice.h"

#include <gtest/gtest.h>

namespace {
struct FakePort {
    std::shared_ptr<FakeSerialLine> line = std::make_shared<FakeSerialLine>();
    TComPort port;
    FakePort()
    {
        port.SetDeviceFactory(FakeSerialLine::factory(line));
        port.SetEvents({}); // no thread: these tests look at configuration only
    }
};
} // namespace

TEST(ComFlowControlTest, PresetReadsOnlyItsFourFields)
{
    TComFlowControl fc;
    EXPECT_EQ(fc.FlowControl(), fcNone);
    fc.SetControlRTS(rtsHandshake);
    fc.SetOutCTSFlow(true);
    fc.SetControlDTR(dtrHandshake);
    fc.SetOutDSRFlow(true);
    fc.SetXonChar('A');
    EXPECT_EQ(fc.FlowControl(), fcHardware);
    fc.SetXonXoffIn(true);
    EXPECT_EQ(fc.FlowControl(), fcCustom);

    TComFlowControl sw;
    sw.SetControlRTS(rtsToggle);
    sw.SetOutCTSFlow(true);
    sw.SetFlowControl(fcSoftware);
    EXPECT_EQ(sw.ControlRTS(), rtsDisable);
    EXPECT_FALSE(sw.OutCTSFlow());
    EXPECT_TRUE(sw.XonXoffIn());
    EXPECT_TRUE(sw.XonXoffOut());
    EXPECT_EQ(sw.FlowControl(), fcSoftware);

    // fcCustom changes nothing.
    sw.SetFlowControl(fcCustom);
    EXPECT_EQ(sw.FlowControl(), fcSoftware);
    sw.SetFlowControl(fcHardware);
    EXPECT_EQ(sw.FlowControl(), fcHardware);
    EXPECT_FALSE(sw.XonXoffIn());
}

TEST(ComBufferTest, OddSizesRoundDownAfterTheComparison)
{
    FakePort f;
    f.port.OpenPort();
    const int before = f.line->queueSizesCount();
    f.port.Buffer().SetInputSize(2049);
    EXPECT_EQ(f.port.Buffer().InputSize(), 2048);
    f.port.Buffer().SetInputSize(1);
    EXPECT_EQ(f.port.Buffer().InputSize(), 0);
    f.port.Buffer().SetInputSize(-3);
    EXPECT_EQ(f.port.Buffer().InputSize(), -3);
    f.port.Buffer().SetInputSize(2048);
    // 2049 is compared with the stored 2048 before rounding: it applies again.
    f.port.Buffer().SetInputSize(2049);
    EXPECT_EQ(f.line->queueSizesCount(), before + 5);
    f.port.Buffer().SetInputSize(2048);
    EXPECT_EQ(f.line->queueSizesCount(), before + 5);
    EXPECT_EQ(f.line->lastQueueSizes(), std::make_pair(2048u, 1024u));
}

TEST(ComPortSettingsTest, LineConfigurationFromSettings)
{
    FakePort f;
    f.port.OpenPort();
    TSerialLineConfig c = f.line->lastLineConfig();
    EXPECT_EQ(c.BaudRate, 9600u);
    EXPECT_EQ(c.Flags, comm::fBinary);
    EXPECT_EQ(c.ByteSize, 8);
    EXPECT_EQ(c.Parity, 0);
    EXPECT_EQ(c.StopBits, 0);
    EXPECT_EQ(c.XonLim, 256);
    EXPECT_EQ(c.XonChar, 17);
    EXPECT_EQ(c.XoffChar, 19);

    f.port.BeginSettingsUpdate();
    f.port.SetBaudRate(brCustom);
    f.port.SetCustomBaudRate(31250);
    f.port.Buffer().SetInputSize(2048);
    f.port.SetStopBits(sbOne5StopBits);
    f.port.SetDataBits(dbFive);
    f.port.SetDiscardNull(true);
    f.port.SetEventChar('\r');
    f.port.Parity().SetBits(prMark);
    f.port.Parity().SetReplace(true); // no effect without Check
    f.port.Parity().SetReplaceChar('?');
    f.port.FlowControl().SetControlDTR(dtrHandshake);
    f.port.FlowControl().SetControlRTS(rtsToggle);
    f.port.FlowControl().SetDSRSensitivity(true);
    f.port.EndSettingsUpdate();
    c = f.line->lastLineConfig();
    EXPECT_EQ(c.BaudRate, 31250u);
    EXPECT_EQ(c.XonLim, 512);
    EXPECT_EQ(c.XoffLim, 512);
    EXPECT_EQ(c.StopBits, 1);
    EXPECT_EQ(c.ByteSize, 5);
    EXPECT_EQ(c.Parity, 3);
    EXPECT_EQ(c.EvtChar, '\r');
    EXPECT_EQ(c.ErrorChar, 0);
    EXPECT_EQ(c.Flags,
        comm::fBinary | comm::fNull | comm::fDtrControlHandshake | comm::fRtsControlToggle
            | comm::fDsrSensitivity);

    f.port.Parity().SetCheck(true);
    c = f.line->lastLineConfig();
    EXPECT_EQ(c.Flags & (comm::fParity | comm::fErrorChar), comm::fParity | comm::fErrorChar);
    EXPECT_EQ(c.ErrorChar, '?');

    f.port.Buffer().SetInputSize(1023);
    EXPECT_EQ(f.port.Buffer().InputSize(), 1022);
    // Queue sizes apply alone; the limits follow at the next line configuration.
    EXPECT_EQ(f.line->lastLineConfig().XonLim, 512);
    f.port.SetEventChar('\n');
    EXPECT_EQ(f.line->lastLineConfig().XonLim, 255);

    f.port.FlowControl().SetFlowControl(fcHardware);
    c = f.line->lastLineConfig();
    EXPECT_EQ(c.Flags & comm::fRtsControlMask, comm::fRtsControlHandshake);
    EXPECT_TRUE(c.Flags & comm::fOutxCtsFlow);
    f.port.FlowControl().SetFlowControl(fcSoftware);
    c = f.line->lastLineConfig();
    EXPECT_EQ(c.Flags & (comm::fOutX | comm::fInX | comm::fOutxCtsFlow), comm::fOutX | comm::fInX);
}

TEST(ComPortSettingsTest, TimeoutsPassMinusOneAsAllOnes)
{
    FakePort f;
    f.port.OpenPort();
    const TSerialTimeouts t = f.line->lastTimeouts();
    EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
}

TEST(ComPortSettingsTest, ClosedPortOnlyStoresAndOpenConfiguresInOrder)
{
    FakePort f;
    f.port.SetBaudRate(br115200);
    f.port.Timeouts().SetWriteTotalConstant(5);
    f.port.Buffer().SetOutputSize(4096);
    f.port.FlowControl().SetFlowControl(fcHardware);
    EXPECT_EQ(f.line->lineConfigCount(), 0);
    EXPECT_EQ(f.line->timeoutsCount(), 0);
    EXPECT_EQ(f.line->queueSizesCount(), 0);
    f.port.OpenPort();
    EXPECT_EQ(f.line->lineConfigCount(), 1);
    EXPECT_EQ(f.line->timeoutsCount(), 1);
    EXPECT_EQ(f.line->queueSizesCount(), 1);
    EXPECT_EQ(f.line->lastLineConfig().BaudRate, 115200u);
    EXPECT_EQ(f.line->lastTimeouts().WriteTotalTimeoutConstant, 5u);
    EXPECT_EQ(f.line->lastQueueSizes().second, 4096u);
    // Equal values apply nothing; the preset setter always applies.
    f.port.SetBaudRate(br115200);
    f.port.Parity().SetBits(prNone);
    EXPECT_EQ(f.line->lineConfigCount(), 1);
    f.port.FlowControl().SetFlowControl(fcHardware);
    f.port.FlowControl().SetFlowControl(fcCustom);
    EXPECT_EQ(f.line->lineConfigCount(), 3);
}

TEST(ComPortSettingsTest, UpdateBracketsConfigureOnceAtTheOuterEnd)
{
    FakePort f;
    f.port.OpenPort();
    const int lines = f.line->lineConfigCount();
    const int timeouts = f.line->timeoutsCount();
    f.port.BeginSettingsUpdate();
    f.port.SetBaudRate(br19200);
    f.port.SetDataBits(dbSeven);
    EXPECT_EQ(f.line->lineConfigCount(), lines);
    f.port.EndSettingsUpdate();
    EXPECT_EQ(f.line->lineConfigCount(), lines + 1);
    EXPECT_EQ(f.line->timeoutsCount(), timeouts + 1);

    f.port.BeginSettingsUpdate();
    f.port.BeginSettingsUpdate();
    f.port.SetBaudRate(br38400);
    f.port.EndSettingsUpdate();
    EXPECT_EQ(f.line->lineConfigCount(), lines + 1);
    f.port.Timeouts().SetReadInterval(10);
    f.port.EndSettingsUpdate();
    EXPECT_EQ(f.line->lineConfigCount(), lines + 2);
    EXPECT_EQ(f.line->lastLineConfig().BaudRate, 38400u);
    EXPECT_EQ(f.line->lastTimeouts().ReadIntervalTimeout, 10u);
    // An unmatched end does nothing.
    f.port.EndSettingsUpdate();
    EXPECT_EQ(f.line->lineConfigCount(), lines + 2);
}

TEST(ComPortSettingsTest, RefusedApplyKeepsTheNewValueAndRaises)
{
    FakePort f;
    f.port.OpenPort();
    f.line->failCall(FakeSerialLine::Call::SetLineConfig, EINVAL, 1);
    try {
        f.port.SetBaudRate(br256000);
        FAIL() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 7);
        EXPECT_EQ(e.SystemError(), EINVAL);
    }
    EXPECT_EQ(f.port.BaudRate(), br256000);
    f.line->failCall(FakeSerialLine::Call::SetTimeouts, EIO, 1);
    EXPECT_THROW(f.port.Timeouts().SetReadTotalConstant(3), EComPort);
    f.line->failCall(FakeSerialLine::Call::SetQueueSizes, EIO, 1);
    try {
        f.port.Buffer().SetInputSize(8);
        FAIL() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 9);
    }
}

TEST(ComPortSettingsTest, SyncMethodOfAnOpenPortIsRefused)
{
    FakePort f;
    f.port.SetSyncMethod(smNone);
    f.port.SetSyncMethod(smThreadSync);
    f.port.OpenPort();
    f.port.SetSyncMethod(smThreadSync); // equal: nothing
    try {
        f.port.SetSyncMethod(smWindowSync);
        FAIL() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 14);
        EXPECT_EQ(e.SystemError(), -1);
        EXPECT_EQ(e.Message(), "Cannot set property while connected");
    }
    EXPECT_EQ(f.port.SyncMethod(), smThreadSync);
}

TEST(ComPortSettingsTest, ConfigureFailureAtOpenLeavesThePortClosed)
{
    FakePort f;
    f.line->failCall(FakeSerialLine::Call::SetTimeouts, EIO, 1);
    try {
        f.port.OpenPort();
        FAIL() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 8);
    }
    EXPECT_FALSE(f.port.Connected());
    EXPECT_FALSE(f.line->isOpen());
    f.port.OpenPort();
    EXPECT_TRUE(f.port.Connected());
}

TEST(ComPortSettingsTest, RenamingAnOpenPortReopensIt)
{
    FakePort f;
    f.port.SetPort("ttyX1");
    f.port.OpenPort();
    EXPECT_EQ(f.line->openedPath(), "/dev/ttyX1");
    f.port.SetPort("ttyX1");
    EXPECT_EQ(f.line->openCount(), 1);
    f.port.SetPort("TTYX1"); // case-sensitive comparison
    EXPECT_EQ(f.line->openCount(), 2);
    EXPECT_EQ(f.line->openedPath(), "/dev/TTYX1");
    EXPECT_TRUE(f.port.Connected());
}

TEST(ComPortSettingsTest, LoadingRecordsConnectedAndOpensWhenLoaded)
{
    FakePort f;
    f.port.BeginLoad();
    f.port.SetConnected(true);
    f.port.SetBaudRate(br1200);
    EXPECT_FALSE(f.port.Connected());
    EXPECT_EQ(f.line->openCount(), 0);
    f.port.Loaded();
    EXPECT_TRUE(f.port.Connected());
    EXPECT_EQ(f.line->lastLineConfig().BaudRate, 1200u);

    // A missing device gives one error report, not an aborted load.
    FakePort g;
    int reports = 0;
    TCustomComPort::SetErrorReporter([&](const std::exception&) { ++reports; });
    g.line->failCall(FakeSerialLine::Call::Open, ENOENT);
    g.port.BeginLoad();
    g.port.SetConnected(true);
    EXPECT_NO_THROW(g.port.Loaded());
    TCustomComPort::SetErrorReporter(nullptr);
    EXPECT_EQ(reports, 1);
    EXPECT_FALSE(g.port.Connected());
}
