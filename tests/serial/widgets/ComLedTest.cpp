// The signal lamps on the scriptable device: which port events drive which lamp, the ring
// timer, the state rule while linked, painting while a delivery runs, and the pictures.

#include "../SerialTestSupport.h"

#include "serial/ComPort.h"
#include "serial/FakeSerialDevice.h"
#include "serial/widgets/ComLed.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct LampPort {
    std::shared_ptr<FakeSerialLine> line = std::make_shared<FakeSerialLine>();
    TComPort port;
    LampPort() { port.SetDeviceFactory(FakeSerialLine::factory(line)); }
    // The event thread is back in its wait: every raised event was delivered.
    bool settled()
    {
        return waitFor([&] { return line->waiting(); });
    }
};

// A lamp that records every state change it is told of.
struct Watched {
    TComLed led;
    std::vector<TLedState> changes;
    explicit Watched(TComLedSignal signal)
    {
        led.SetLedSignal(signal);
        led.OnChange = [this](QObject* sender, TLedState s) {
            EXPECT_EQ(sender, &led);
            changes.push_back(s);
        };
    }
};

// A lamp that records the state each paint showed.
class PaintLog : public TComLed {
public:
    std::vector<TLedState> painted;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        TComLed::paintEvent(event);
        painted.push_back(State());
    }
};

// The lamp as drawn onto a plain background.
QImage rendered(TComLed& led)
{
    QImage image(led.size(), QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    led.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// What a picture drawn at origin onto the same background looks like.
QImage expected(QSize size, const QPixmap& picture, QPoint origin)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    QPainter p(&image);
    p.drawPixmap(origin, picture);
    return image;
}

} // namespace

TEST(ComLedLink, ConnLampFollowsLinkingOpenAndClose)
{
    LampPort lp;
    Watched conn(lsConn);

    // Linked to a closed port the lamp keeps what it showed.
    conn.led.SetState(lsOn);
    conn.led.SetComPort(&lp.port);
    EXPECT_EQ(conn.led.State(), lsOn);
    conn.led.SetComPort(nullptr);
    EXPECT_EQ(conn.led.State(), lsOff);

    lp.port.OpenPort();
    conn.changes.clear();
    conn.led.SetComPort(&lp.port);
    EXPECT_EQ(conn.led.State(), lsOn);
    lp.port.ClosePort();
    EXPECT_EQ(conn.led.State(), lsOff);
    lp.port.OpenPort();
    EXPECT_EQ(conn.led.State(), lsOn);
    EXPECT_EQ(conn.changes, (std::vector<TLedState>{lsOn, lsOff, lsOn}));
    conn.led.SetComPort(nullptr);
    EXPECT_EQ(conn.led.State(), lsOff);
}

TEST(ComLedLink, StateIsRefusedWhileLinked)
{
    LampPort lp;
    Watched led(lsConn);
    led.led.SetState(lsOn);
    EXPECT_EQ(led.changes, std::vector<TLedState>{lsOn});
    led.led.SetState(lsOn); // no equality check: notifies again
    EXPECT_EQ(led.changes.size(), 2u);

    led.led.SetComPort(&lp.port);
    led.changes.clear();
    try {
        led.led.SetState(lsOff);
        ADD_FAILURE() << "state changed while linked";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 19);
        EXPECT_EQ(e.SystemError(), -1);
        EXPECT_EQ(e.Message(), QStringLiteral("Cannot change led state if ComPort is selected"));
    }
    EXPECT_EQ(led.led.State(), lsOn);
    EXPECT_TRUE(led.changes.empty());
}

TEST(ComLedLink, ModemLinesDriveTheirLamps)
{
    LampPort lp;
    Watched cts(lsCTS), dsr(lsDSR), rlsd(lsRLSD), rx(lsRx), tx(lsTx);
    TComLed* lamps[] = {&cts.led, &dsr.led, &rlsd.led, &rx.led, &tx.led};
    for (TComLed* l : lamps)
        l->SetComPort(&lp.port);
    lp.line->setModemStatus(comm::MS_DSR_ON);
    lp.port.OpenPort();
    EXPECT_EQ(cts.led.State(), lsOff);
    EXPECT_EQ(dsr.led.State(), lsOn);
    EXPECT_EQ(rlsd.led.State(), lsOff);
    ASSERT_TRUE(lp.settled());

    const struct {
        uint32_t lines;
        TLedState cts, dsr, rlsd;
    } steps[] = {
        {comm::MS_CTS_ON | comm::MS_DSR_ON, lsOn, lsOn, lsOff},
        {comm::MS_CTS_ON | comm::MS_RLSD_ON, lsOn, lsOff, lsOn},
        {comm::MS_RLSD_ON, lsOff, lsOff, lsOn},
        {comm::MS_CTS_ON | comm::MS_DSR_ON | comm::MS_RLSD_ON, lsOn, lsOn, lsOn},
    };
    for (const auto& s : steps) {
        lp.line->setModemStatus(s.lines);
        ASSERT_TRUE(waitFor([&] {
            return cts.led.State() == s.cts && dsr.led.State() == s.dsr && rlsd.led.State() == s.rlsd;
        })) << s.lines;
    }

    // A write lights Tx; the drained output puts it out.
    tx.changes.clear();
    lp.line->setAutoTxEmpty(false);
    lp.port.WriteText("PUSK\r");
    EXPECT_EQ(tx.led.State(), lsOn);
    lp.line->raiseEvents(comm::EV_TXEMPTY);
    ASSERT_TRUE(waitFor([&] { return tx.led.State() == lsOff; }));
    EXPECT_EQ(tx.changes, (std::vector<TLedState>{lsOn, lsOff}));

    // Closing puts out the line lamps; Rx and Tx keep their state.
    lp.port.WriteText("X"); // no drain reported: Tx stays lit
    EXPECT_EQ(tx.led.State(), lsOn);
    lp.port.ClosePort();
    for (TComLed* l : {&cts.led, &dsr.led, &rlsd.led})
        EXPECT_EQ(l->State(), lsOff);
    EXPECT_EQ(tx.led.State(), lsOn);
    EXPECT_EQ(rx.led.State(), lsOff);
}

TEST(ComLedLink, ChangingTheSignalKeepsTheStateUntilTheNextChange)
{
    LampPort lp;
    Watched led(lsConn);
    led.led.SetComPort(&lp.port);
    lp.port.OpenPort();
    ASSERT_TRUE(lp.settled());
    EXPECT_EQ(led.led.State(), lsOn);
    led.led.SetLedSignal(lsCTS); // CTS is off, but the lamp is not re-read
    EXPECT_EQ(led.led.State(), lsOn);
    lp.line->setModemStatus(comm::MS_DSR_ON);
    ASSERT_TRUE(lp.settled());
    EXPECT_EQ(led.led.State(), lsOn); // DSR is not its signal
    led.changes.clear();
    lp.line->setModemStatus(comm::MS_DSR_ON | comm::MS_CTS_ON);
    ASSERT_TRUE(waitFor([&] { return !led.changes.empty(); }));
    EXPECT_EQ(led.changes, std::vector<TLedState>{lsOn});
    lp.line->setModemStatus(comm::MS_DSR_ON);
    ASSERT_TRUE(waitFor([&] { return led.led.State() == lsOff; }));
}

TEST(ComLedRing, BurstLightsForTheDurationFromTheFirstRing)
{
    LampPort lp;
    Watched ring(lsRing);
    EXPECT_EQ(ring.led.RingDuration(), 1000);
    ring.led.SetComPort(&lp.port);
    lp.port.OpenPort();
    ASSERT_TRUE(lp.settled());

    QElapsedTimer clock;
    lp.line->ring();
    ASSERT_TRUE(waitFor([&] { return ring.led.State() == lsOn; }));
    clock.start();
    ASSERT_TRUE(waitFor([&] { return clock.elapsed() >= 300; })); // the second ring comes later
    EXPECT_EQ(ring.led.State(), lsOn);
    lp.line->ring();
    ASSERT_TRUE(waitFor([&] { return ring.changes.size() == 2; }));
    // The running timer was not restarted by the second ring.
    const qint64 sinceFirst = clock.elapsed();
    EXPECT_LE(ring.led.FlashTimer().remainingTime(), 1000 - sinceFirst + 5);
    ASSERT_TRUE(waitFor([&] { return ring.led.State() == lsOff; }, 5000));
    EXPECT_GE(clock.elapsed(), 990 - 50); // the first ring was seen up to a few ms late
    EXPECT_FALSE(ring.led.FlashTimer().isActive());
    EXPECT_EQ(ring.changes, (std::vector<TLedState>{lsOn, lsOn, lsOff}));

    // A shorter duration counts for the next burst.
    ring.led.SetRingDuration(50);
    clock.restart();
    lp.line->ring();
    ASSERT_TRUE(waitFor([&] { return ring.changes.size() == 5; }));
    EXPECT_EQ(ring.led.State(), lsOff);
}

TEST(ComLedPaint, ReceiveLampIsPaintedLitWithinOneDelivery)
{
    LampPort lp;
    QWidget window;
    window.resize(60, 60);
    auto* led = new PaintLog;
    led->setParent(&window);
    led->SetLedSignal(lsRx);
    window.show();
    ASSERT_TRUE(waitFor([&] { return !led->painted.empty(); }));
    TComLink terminal; // a data link: the port reads the bytes within the delivery
    QByteArray got;
    terminal.RxBufHandler = [&](QObject*, const char* b, int n) { got.append(b, n); };
    lp.port.AttachLink(&terminal);
    led->SetComPort(&lp.port);
    lp.port.OpenPort();
    ASSERT_TRUE(lp.settled());

    led->painted.clear();
    lp.line->pushInput("W:VA-15/3\r");
    ASSERT_TRUE(waitFor([&] { return got.size() == 10 && lp.line->waiting(); }));
    EXPECT_EQ(led->State(), lsOff);
    ASSERT_GE(led->painted.size(), 2u);
    EXPECT_EQ(led->painted[0], lsOn);
    EXPECT_EQ(led->painted[1], lsOff);
    lp.port.ClosePort();
    led->SetComPort(nullptr);
    lp.port.DetachLink(&terminal);
}

TEST(ComLedPaint, FloodOfWritesPaintsAtOnceOnlyOncePerFrameAndEndsOnTheLastState)
{
    LampPort lp;
    QWidget window;
    window.resize(60, 60);
    auto* led = new PaintLog;
    led->setParent(&window);
    led->SetLedSignal(lsTx);
    window.show();
    ASSERT_TRUE(waitFor([&] { return !led->painted.empty(); }));
    led->SetComPort(&lp.port);
    lp.port.OpenPort();
    ASSERT_TRUE(lp.settled());

    led->painted.clear();
    // Each write turns the lamp on synchronously; without a pass of the event loop only
    // the paints made at once are counted. A slow machine may cross a few frames.
    for (int i = 0; i < 200; ++i)
        lp.port.WriteText("OK\r\n");
    EXPECT_GE(led->painted.size(), 1u);
    EXPECT_LT(led->painted.size(), 20u);
    EXPECT_EQ(led->painted.front(), lsOn);
    ASSERT_TRUE(waitFor(
        [&] { return led->State() == lsOff && !led->painted.empty() && led->painted.back() == lsOff; }));
    lp.port.ClosePort();
    led->SetComPort(nullptr);
}

TEST(ComLedPaint, PictureIsCentredOrAtTheOriginWhenTooSmall)
{
    TComLed led;
    const QPixmap on = TComLed::KindGlyph(lkRedLight, true);
    const QPixmap off = TComLed::KindGlyph(lkRedLight, false);
    ASSERT_EQ(on.size(), QSize(15, 15));
    EXPECT_EQ(led.size(), QSize(25, 25));
    EXPECT_EQ(rendered(led), expected(led.size(), off, QPoint(5, 5)));
    led.SetState(lsOn);
    EXPECT_EQ(rendered(led), expected(led.size(), on, QPoint(5, 5)));
    led.resize(10, 10);
    EXPECT_EQ(rendered(led), expected(led.size(), on, QPoint(0, 0)));
    led.resize(26, 40);
    EXPECT_EQ(TComLed::GlyphOrigin(led.rect(), on.size()), QPoint(5, 12));
    EXPECT_EQ(rendered(led), expected(led.size(), on, QPoint(5, 12)));

    // Disabled: the unlit picture whatever the state.
    led.resize(25, 25);
    led.setEnabled(false);
    EXPECT_EQ(rendered(led), expected(led.size(), off, QPoint(5, 5)));
    led.setEnabled(true);
    EXPECT_EQ(rendered(led), expected(led.size(), on, QPoint(5, 5)));

    // The background of the picture is not drawn: the corners show what is behind.
    const QImage shown = rendered(led);
    EXPECT_EQ(shown.pixel(5, 19), QColor(Qt::darkCyan).rgba());
    EXPECT_NE(shown.pixel(12, 12), QColor(Qt::darkCyan).rgba());
}

TEST(ComLedPaint, EveryKindHasTwoDistinctPictures)
{
    for (TLedKind kind : {lkRedLight, lkGreenLight, lkBlueLight, lkYellowLight, lkPurpleLight, lkBulb}) {
        const QImage on = TComLed::KindGlyph(kind, true).toImage();
        const QImage off = TComLed::KindGlyph(kind, false).toImage();
        EXPECT_EQ(on.size(), QSize(15, 15)) << kind;
        EXPECT_EQ(off.size(), QSize(15, 15)) << kind;
        EXPECT_NE(on, off) << kind;
        EXPECT_EQ(qAlpha(on.pixel(0, 14)), 0) << kind;
        EXPECT_EQ(qAlpha(off.pixel(0, 0)), 0) << kind;
    }
    EXPECT_TRUE(TComLed::KindGlyph(lkCustom, true).isNull());

    TComLed led;
    led.SetKind(lkBulb);
    led.SetState(lsOn);
    EXPECT_EQ(rendered(led), expected(led.size(), TComLed::KindGlyph(lkBulb, true), QPoint(5, 5)));
}

TEST(ComLedPaint, CustomPicturesCountOnlyForTheCustomKind)
{
    QImage art(9, 9, QImage::Format_RGB32);
    art.fill(Qt::magenta); // background: its bottom-left pixel
    for (int i = 2; i < 7; ++i)
        art.setPixel(i, 4, qRgb(255, 255, 0));
    const QPixmap custom = QPixmap::fromImage(art);

    TComLed led;
    led.SetState(lsOn);
    const QImage before = rendered(led);
    led.SetGlyphOn(custom);
    EXPECT_EQ(rendered(led), before);

    led.SetKind(lkCustom); // keeps the pictures it had until new ones are given
    EXPECT_EQ(rendered(led), before);
    led.SetGlyphOn(custom);
    const QImage shown = rendered(led);
    EXPECT_EQ(shown.pixel(12, 12), qRgba(255, 255, 0, 255)); // drawn centred at (8, 8)
    EXPECT_EQ(shown.pixel(8, 8), QColor(Qt::darkCyan).rgba()); // magenta removed
    EXPECT_EQ(qAlpha(led.GlyphOn().toImage().pixel(0, 8)), 0);
    // Painting does not reload the kind's pictures over the custom ones.
    EXPECT_EQ(rendered(led), shown);
}

TEST(ComLedLink, DestroyedPortIsDropped)
{
    Watched led(lsConn);
    {
        LampPort lp;
        led.led.SetComPort(&lp.port);
        lp.port.OpenPort();
        EXPECT_EQ(led.led.State(), lsOn);
    }
    EXPECT_EQ(led.led.ComPort(), nullptr);
    EXPECT_EQ(led.led.State(), lsOff);
    led.led.SetState(lsOn); // unlinked again: allowed
    EXPECT_EQ(led.led.State(), lsOn);
}
