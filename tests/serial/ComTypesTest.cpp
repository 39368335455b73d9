// Pure parts of the port: text forms, masks, error messages, errno mapping, port names
// and the receive filter.

#include "serial/ComTypes.h"
#include "serial/EComPort.h"
#include "serial/RxFilter.h"
#include "serial/SerialDevice.h"

#include <cerrno>
#include <gtest/gtest.h>

TEST(ComTypes, TextToValueIgnoresAsciiCaseAndFallsBack)
{
    struct Case {
        const char* text;
        TBaudRate want;
    };
    for (const Case& c : {Case{"custom", brCustom}, Case{"CUSTOM", brCustom}, Case{"9600", br9600},
             Case{"110", br110}, Case{"256000", br256000}, Case{"abc", br9600}, Case{"", br9600},
             Case{"9600 ", br9600}, Case{" 115200", br9600}, Case{"115200", br115200}})
        EXPECT_EQ(TextToBaudRate(QString::fromLatin1(c.text)), c.want) << c.text;

    EXPECT_EQ(TextToStopBits("1.5"), sbOne5StopBits);
    EXPECT_EQ(TextToStopBits("2"), sbTwoStopBits);
    EXPECT_EQ(TextToStopBits("1,5"), sbOneStopBit);
    EXPECT_EQ(TextToDataBits("7"), dbSeven);
    EXPECT_EQ(TextToDataBits("9"), dbEight);
    EXPECT_EQ(TextToParity("SPACE"), prSpace);
    EXPECT_EQ(TextToParity("mArK"), prMark);
    EXPECT_EQ(TextToParity("even "), prNone);
    EXPECT_EQ(TextToFlowControl("none"), fcNone);
    EXPECT_EQ(TextToFlowControl("hardware"), fcHardware);
    EXPECT_EQ(TextToFlowControl("xyz"), fcCustom);
    // Only ASCII letters change case: a Cyrillic text matches nothing.
    EXPECT_EQ(TextToParity(QString::fromUtf8("none\u0456")), prNone);
    EXPECT_EQ(TextToFlowControl(QString::fromUtf8("\u0421ustom")), fcCustom);
}

TEST(ComTypes, EveryValueRoundTripsThroughItsText)
{
    for (int i = brCustom; i <= br256000; ++i)
        EXPECT_EQ(TextToBaudRate(BaudRateToText(TBaudRate(i))), TBaudRate(i));
    for (int i = sbOneStopBit; i <= sbTwoStopBits; ++i)
        EXPECT_EQ(TextToStopBits(StopBitsToText(TStopBits(i))), TStopBits(i));
    for (int i = dbFive; i <= dbEight; ++i)
        EXPECT_EQ(TextToDataBits(DataBitsToText(TDataBits(i))), TDataBits(i));
    for (int i = prNone; i <= prSpace; ++i)
        EXPECT_EQ(TextToParity(ParityToText(TParityBits(i))), TParityBits(i));
    for (int i = fcHardware; i <= fcCustom; ++i)
        EXPECT_EQ(TextToFlowControl(FlowControlToText(TFlowControl(i))), TFlowControl(i));
    EXPECT_EQ(BaudRateToText(brCustom), "Custom");
    EXPECT_EQ(StopBitsToText(sbOne5StopBits), "1.5");
    // Ordinals the settings file stores.
    EXPECT_EQ(int(br9600), 7);
    EXPECT_EQ(int(dbEight), 3);
    EXPECT_EQ(BaudRateValue(br56000), 56000);
    EXPECT_EQ(DataBitsValue(dbFive), 5);
}

TEST(ComTypes, EventMaskConversions)
{
    EXPECT_EQ(EventsToMask(kAllComEvents), 0x05FFu);
    EXPECT_EQ(MaskToEvents(0x0100), TComEvents({evRing}));
    EXPECT_EQ(MaskToEvents(0x05FF), kAllComEvents);
    EXPECT_EQ(MaskToEvents(0xF800 | 0x0200), TComEvents()); // unlisted bits are ignored
    EXPECT_EQ(EventsToMask({evRxChar, evRxFlag, evTxEmpty}), 0x0007u);
    for (int i = 0; i < 10; ++i) {
        const TComEvents one({TComEvent(i)});
        EXPECT_EQ(MaskToEvents(EventsToMask(one)), one);
    }
    EXPECT_EQ(ModemStatusToSignals(0xF0), TComSignals({sigCTS, sigDSR, sigRing, sigRLSD}));
    EXPECT_EQ(ModemStatusToSignals(0x20), TComSignals({sigDSR}));
}

TEST(ComTypes, ErrorWordMapsParityOnlyWhenChecked)
{
    const uint32_t all = 0x0008 | 0x0004 | 0x0002 | 0x0010 | 0x0400 | 0x8000 | 0x0001 | 0x0100;
    EXPECT_EQ(ErrorWordToErrors(all, true).bits(), 0xFFu);
    EXPECT_FALSE(ErrorWordToErrors(all, false).contains(errParity));
    EXPECT_EQ(ErrorWordToErrors(comm::CE_RXPARITY, false), TComErrors());
    EXPECT_EQ(
        ErrorWordToErrors(comm::CE_FRAME | comm::CE_RXOVER, false), TComErrors({errFraming, errRxOverflow}));
}

TEST(EComPortTest, MessagesWithAndWithoutSystemCode)
{
    const EComPort plain(14);
    EXPECT_EQ(plain.PortError(), 14);
    EXPECT_EQ(plain.SystemError(), -1);
    EXPECT_EQ(plain.Message(), "Cannot set property while connected");

    const EComPort withCode(1, 2);
    EXPECT_EQ(withCode.SystemError(), 2);
    EXPECT_EQ(withCode.Message(), "Unable to open com port (win error code: 2)");
    EXPECT_STREQ(withCode.what(), "Unable to open com port (win error code: 2)");

    EXPECT_EQ(EComPort(18).Message(), "Link (un)registration failed");
    EXPECT_EQ(EComPort(23, 2).Message(), "Registry error (win error code: 2)");
    EXPECT_EQ(EComPort(2, ETIMEDOUT).Message(),
        QStringLiteral("WriteFile function failed (win error code: %1)").arg(ETIMEDOUT));
    for (int i = 1; i <= 23; ++i)
        EXPECT_STRNE(EComPort::RawText(i), "") << i;
    EXPECT_STREQ(EComPort::RawText(0), "");
    EXPECT_STREQ(EComPort::RawText(24), "");
}

TEST(DeviceLayer, ErrnoMapping)
{
    using K = TErrnoKind;
    using P = TDevicePhase;
    struct Case {
        int error;
        P phase;
        K want;
    };
    const Case cases[] = {
        {0, P::Io, K::None},
        {EINTR, P::Io, K::Retry},
        {EAGAIN, P::Io, K::WouldBlock},
        {ETIMEDOUT, P::Io, K::TimedOut},
        {ENOENT, P::Open, K::NotFound},
        {ENODEV, P::Open, K::NotFound},
        {ENXIO, P::Open, K::NotFound},
        {ENODEV, P::Io, K::HangUp},
        {ENXIO, P::Io, K::HangUp},
        {EIO, P::Io, K::HangUp},
        {EPIPE, P::Io, K::HangUp},
        {EIO, P::Open, K::Other},
        {EBUSY, P::Open, K::Busy},
        {EACCES, P::Open, K::Permission},
        {EPERM, P::Open, K::Permission},
        {ENOTTY, P::Io, K::Unsupported},
        {EINVAL, P::Io, K::Unsupported},
        {ENOSYS, P::Io, K::Unsupported},
        {EBADF, P::Io, K::Other},
        {ENOMEM, P::Io, K::Other},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClassifyErrno(c.error, c.phase), c.want) << c.error;
}

TEST(DeviceLayer, PortNames)
{
    struct Case {
        const char* name;
        const char* path;
    };
    for (const Case& c : {Case{"COM1", "/dev/ttyS0"}, Case{"COM10", "/dev/ttyS9"}, Case{"com2", "/dev/ttyS1"},
             Case{"/dev/ttyUSB0", "/dev/ttyUSB0"}, Case{"/tmp/x/pty", "/tmp/x/pty"},
             Case{"ttyACM0", "/dev/ttyACM0"}, Case{"COM0", "/dev/COM0"}, Case{"COM", "/dev/COM"},
             Case{"COMX", "/dev/COMX"}, Case{"COM+1", "/dev/COM+1"}, Case{"pts/3", "/dev/pts/3"}})
        EXPECT_EQ(PortNameToDevicePath(QString::fromLatin1(c.name)), QByteArray(c.path)) << c.name;
}

namespace {
struct FilterRun {
    QByteArray out;
    bool eventChar = false;
    int errors = 0;
};

FilterRun runFilter(const TRxFilter::Options& o, const QByteArray& raw, bool byteByByte)
{
    TRxFilter f;
    f.setOptions(o);
    FilterRun run;
    auto take = [&](const char* p, std::size_t n) {
        const TRxFilter::Result r = f.feed(p, n, run.out);
        run.eventChar |= r.eventChar;
        run.errors += r.errorBytes;
    };
    if (byteByByte)
        for (char c : raw)
            take(&c, 1);
    else
        take(raw.constData(), std::size_t(raw.size()));
    return run;
}
} // namespace

TEST(RxFilterTest, MarkersNullsAndEventByteWholeAndByteByByte)
{
    struct Case {
        const char* name;
        TRxFilter::Options options;
        QByteArray raw;
        QByteArray want;
        bool eventChar;
        int errors;
    };
    TRxFilter::Options plain;
    TRxFilter::Options marked;
    marked.marked = true;
    TRxFilter::Options replace = marked;
    replace.replace = true;
    replace.replaceChar = '?';
    TRxFilter::Options nulls;
    nulls.discardNull = true;
    TRxFilter::Options event;
    event.watchEventChar = true;
    event.eventChar = '\r';
    TRxFilter::Options all = replace;
    all.discardNull = true;
    all.watchEventChar = true;
    all.eventChar = '\r';
    const Case cases[] = {
        {"plain passes all", plain, QByteArray("a\xFF\0b", 4), QByteArray("a\xFF\0b", 4), false, 0},
        {"escaped 0xFF", marked,
            QByteArray("a\xFF\xFF"
                       "b"),
            QByteArray("a\xFF"
                       "b"),
            false, 0},
        {"bad byte kept", marked, QByteArray("a\xFF\0x", 4), QByteArray("ax"), false, 1},
        {"bad byte replaced", replace,
            QByteArray("a\xFF\0x"
                       "b",
                5),
            QByteArray("a?b"), false, 1},
        {"break marker", replace, QByteArray("\xFF\0\0", 3), QByteArray("?"), false, 1},
        {"stray 0xFF kept", marked,
            QByteArray("\xFF"
                       "A"),
            QByteArray("\xFF"
                       "A"),
            false, 0},
        {"nulls dropped", nulls, QByteArray("\0a\0\0b\0", 6), QByteArray("ab"), false, 0},
        {"event byte seen", event, QByteArray("W:VA\r"), QByteArray("W:VA\r"), true, 0},
        {"no event byte", event, QByteArray("W:VA"), QByteArray("W:VA"), false, 0},
        {"replaced to null then dropped",
            [&] {
                TRxFilter::Options o = all;
                o.replaceChar = 0;
                return o;
            }(),
            QByteArray("x\xFF\0y\r", 5), QByteArray("x\r"), true, 1},
    };
    for (const Case& c : cases)
        for (bool split : {false, true}) {
            const FilterRun r = runFilter(c.options, c.raw, split);
            EXPECT_EQ(r.out, c.want) << c.name << (split ? " (byte by byte)" : "");
            EXPECT_EQ(r.eventChar, c.eventChar) << c.name;
            EXPECT_EQ(r.errors, c.errors) << c.name;
        }
}
