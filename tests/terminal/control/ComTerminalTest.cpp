// The terminal control as a widget: bound to a real port on a pseudo-terminal whose far end
// plays the device, its keys, its answers on the wire, and the display maths.

#include "terminal/ComTerminal.h"
#include "PtyDevice.h"
#include "serial/ComPort.h"
#include "serial/FakeSerialDevice.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QByteArray esc(const char* tail)
{
    return QByteArray("\x1b") + tail;
}

// Typed characters as the keyboard delivers them: a key event carrying the text.
void typeText(QWidget& w, const QString& text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(&w, &press);
    }
}

QByteArray rowText(const TCustomComTerminal& t, int y)
{
    QByteArray out;
    for (int x = 1; x <= t.Columns(); ++x) {
        const char ch = t.Buffer().GetCell(x, y).Ch;
        out.append(ch ? ch : '.');
    }
    while (out.endsWith('.'))
        out.chop(1);
    return out;
}

class TerminalOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(device.ok());
        port.SetPort(device.slavePath());
        term.SetComPort(&port);
        port.OpenPort();
        ASSERT_TRUE(term.Connected());
    }
    void TearDown() override { term.SetComPort(nullptr); }

    // Sends the bytes from the device and waits until the terminal has shown the marker
    // that follows them, so everything before it has been handled.
    void receive(const QByteArray& bytes)
    {
        device.send(bytes + "#");
        ASSERT_TRUE(waitFor([&] { return marker(); })) << "nothing arrived";
        term.ShowText("\b"); // the marker is overwritten by what comes next
        term.Buffer().SetCell(term.CaretPos().X, term.CaretPos().Y, TTermCell{});
    }
    bool marker() const
    {
        const TTermPos c = term.CaretPos();
        return c.X > 1 && term.Buffer().GetCell(c.X - 1, c.Y).Ch == '#';
    }
    QByteArray waitWire(const QByteArray& expected)
    {
        waitFor([&] { return device.drain().size() >= expected.size(); }, 3000);
        return device.drain();
    }

    PtyDevice device;
    TComPort port;
    TComTerminal term;
};

TEST_F(TerminalOnPty, ReceivedBlocksGoThroughTheHandlerThenToTheScreen)
{
    term.SetEmulation(teNone);
    term.SetAppendLF(true);
    QByteArray seen;
    term.OnStrRecieved = [&](QObject* sender, QByteArray& s) {
        EXPECT_EQ(sender, &term);
        seen += s;
    };
    receive("A\rB");
    EXPECT_EQ(seen, QByteArray("A\r\nB#"));
    EXPECT_EQ(rowText(term, 1), "A");
    EXPECT_EQ(rowText(term, 2), "B");
}

TEST_F(TerminalOnPty, HandlerChangesWhatIsShown)
{
    term.SetEmulation(teNone);
    term.OnStrRecieved = [](QObject*, QByteArray& s) { s.replace("secret", ""); };
    receive("secret");
    EXPECT_EQ(rowText(term, 1), "");
    term.OnStrRecieved = [](QObject*, QByteArray& s) { s = s.toLower(); };
    receive("W:VA-15/3");
    EXPECT_EQ(rowText(term, 1), "w:va-15/3");
}

TEST_F(TerminalOnPty, EightBitTextArrivesUnchanged)
{
    term.SetEmulation(teNone);
    receive("\xD2\xE5\xF0\xEC\xE8\xED\xE0\xEB"); // "Терминал"
    EXPECT_EQ(rowText(term, 1), QByteArray("\xD2\xE5\xF0\xEC\xE8\xED\xE0\xEB"));
}

TEST_F(TerminalOnPty, QueriesAreAnsweredOnTheWire)
{
    term.MoveCaret(17, 5);
    receive(esc("[6n"));
    EXPECT_EQ(waitWire(esc("[5;17R")), esc("[5;17R"));
    device.clearReceived();
    receive(esc("[c") + esc("[5n"));
    EXPECT_EQ(waitWire(esc("[?1;2c") + esc("[0n")), esc("[?1;2c") + esc("[0n"));
}

TEST_F(TerminalOnPty, WithoutEmulationNothingIsAnswered)
{
    term.SetEmulation(teNone);
    receive(esc("[6n") + esc("[c") + esc("Z") + "\x05");
    QTest::qWait(50); // give a wrong answer the chance to arrive
    EXPECT_TRUE(device.drain().isEmpty());
}

TEST_F(TerminalOnPty, TypedTextIsSentInTheCodePageAndEchoed)
{
    term.SetEmulation(teNone);
    term.SetLocalEcho(true);
    term.SetSendLF(true);
    typeText(term, QString::fromUtf8("ok Жж\u4E2D"));
    QTest::keyClick(&term, Qt::Key_Return);
    const QByteArray expected("ok \xC6\xE6\r\n");
    EXPECT_EQ(waitWire(expected), expected);
    EXPECT_EQ(rowText(term, 1), QByteArray("ok \xC6\xE6"));
    EXPECT_EQ(term.CaretPos(), (TTermPos{1, 2}));
}

TEST_F(TerminalOnPty, KeyHandlersRunFirst)
{
    term.SetEmulation(teVT100orANSI);
    term.OnKeyPress = [](QObject*, char& key) { key = '\0'; };
    term.OnKeyDown = [](QObject*, int& key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_Up)
            key = 0;
    };
    QTest::keyClick(&term, Qt::Key_Up);
    QTest::keyClick(&term, Qt::Key_A);
    QTest::keyClick(&term, Qt::Key_Down);
    const QByteArray expected = QByteArray(1, '\0') + esc("[B");
    EXPECT_EQ(waitWire(expected), expected);
}

TEST_F(TerminalOnPty, CursorKeysFollowArrowKeysAndTheApplicationMode)
{
    term.SetEmulation(teVT100orANSI);
    term.MoveCaret(10, 10);
    QTest::keyClick(&term, Qt::Key_Left);
    QTest::keyClick(&term, Qt::Key_Home);
    term.SetArrowKeys(akWindows);
    QTest::keyClick(&term, Qt::Key_Up); // local only
    EXPECT_EQ(term.CaretPos(), (TTermPos{10, 9}));
    receive(esc("[?1h"));
    QTest::keyClick(&term, Qt::Key_Right);
    QTest::keyClick(&term, Qt::Key_Home);
    const QByteArray expected = esc("[D") + esc("[H") + esc("OC") + esc("OH");
    EXPECT_EQ(waitWire(expected), expected);
}

// Tab is typed (the shell's completion) and Ctrl+Tab is not; without WantTab neither is.
TEST_F(TerminalOnPty, TabIsTypedCtrlTabIsNot)
{
    term.SetEmulation(teNone);
    QTest::keyClick(&term, Qt::Key_Tab);
    QTest::keyClick(&term, Qt::Key_Tab, Qt::ControlModifier);
    term.SetWantTab(false);
    QTest::keyClick(&term, Qt::Key_Tab);
    QTest::keyClick(&term, Qt::Key_X);
    EXPECT_EQ(waitWire("\tx"), QByteArray("\tx"));
}

// Every key of the keyboard that has a sequence sends it, also without emulation; Shift keeps
// PageUp and PageDown for the scroll-back.
TEST_F(TerminalOnPty, EditingAndFunctionKeysAreSent)
{
    term.SetEmulation(teNone);
    for (const Qt::Key key : {Qt::Key_Up, Qt::Key_End, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Insert,
             Qt::Key_Delete, Qt::Key_F1, Qt::Key_F12})
        QTest::keyClick(&term, key);
    QTest::keyClick(&term, Qt::Key_PageUp, Qt::ShiftModifier);
    QTest::keyClick(&term, Qt::Key_X);
    const QByteArray expected = esc("[A") + esc("[F") + esc("[5~") + esc("[6~") + esc("[2~") + esc("[3~")
        + esc("OP") + esc("[24~") + "x";
    EXPECT_EQ(waitWire(expected), expected);
}

TEST_F(TerminalOnPty, ClosedPortDropsKeys)
{
    term.SetLocalEcho(true);
    port.ClosePort();
    EXPECT_FALSE(term.Connected());
    QTest::keyClicks(&term, "abc");
    QTest::keyClick(&term, Qt::Key_Up);
    EXPECT_EQ(rowText(term, 1), "");
    term.SetConnected(true);
    EXPECT_TRUE(port.Connected());
    QTest::keyClick(&term, Qt::Key_Z);
    EXPECT_EQ(waitWire("z"), QByteArray("z"));
    EXPECT_EQ(rowText(term, 1), "z");
}

TEST(ComTerminalPort, FailedWriteIsReportedAndNotEchoed)
{
    auto line = std::make_shared<FakeSerialLine>();
    TComPort port;
    port.SetDeviceFactory([line] { return std::make_unique<FakeSerialDevice>(line); });
    port.SetPort(QStringLiteral("/dev/fake"));
    TComTerminal term;
    term.SetEmulation(teNone);
    term.SetLocalEcho(true);
    term.SetComPort(&port);
    port.OpenPort();
    int reports = 0;
    TCustomComPort::SetErrorReporter([&](const std::exception&) { ++reports; });
    line->failCall(FakeSerialLine::Call::Write, EIO);
    QTest::keyClick(&term, Qt::Key_A);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(rowText(term, 1), "");
    line->clearFailures();
    QTest::keyClick(&term, Qt::Key_B);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(rowText(term, 1), "b");
    EXPECT_TRUE(line->takeOutput().endsWith("b"));
    TCustomComPort::SetErrorReporter({});
    term.SetComPort(nullptr);
}

TEST(ComTerminalPort, DestroyedPortIsDropped)
{
    TComTerminal term;
    auto port = std::make_unique<TComPort>();
    term.SetComPort(port.get());
    port.reset();
    EXPECT_EQ(term.ComPort(), nullptr);
    term.ShowText("still fine");
    EXPECT_EQ(rowText(term, 1), "still fine");
    TComPort other;
    term.SetComPort(&other);
    EXPECT_THROW(other.AttachLink(&term.ComLink()), std::exception); // already attached once
}

TEST(ComTerminalFont, DefaultFontIsFixedPitchWithCyrillic)
{
    const QFont font = TCustomComTerminal::DefaultTerminalFont();
    EXPECT_TRUE(QFontInfo(font).fixedPitch()) << font.family().toStdString();
    EXPECT_TRUE(QFontMetrics(font).inFont(QChar(0x0416)));
    TComTerminal term;
    EXPECT_EQ(QFontInfo(term.font()).family(), QFontInfo(font).family());
    EXPECT_GT(term.FontWidth(), 0);
    EXPECT_GT(term.FontHeight(), term.FontWidth());
}

TEST(ComTerminalFont, ProportionalFontFallsBackKeepingTheSize)
{
    TComTerminal term;
    QFont wanted(QStringLiteral("DejaVu Sans"));
    wanted.setPixelSize(20);
    wanted.setUnderline(true);
    term.setFont(wanted);
    EXPECT_EQ(term.font().family(), TCustomComTerminal::DefaultTerminalFont().family());
    EXPECT_EQ(term.font().pixelSize(), 20);
    EXPECT_FALSE(term.font().underline());
    EXPECT_EQ(term.FontHeight(), QFontMetrics(term.font()).height());
}

TEST(ComTerminalFont, MissingFamilyResolvesToARealFixedFont)
{
    TComTerminal term;
    QFont wanted(QStringLiteral("Fixedsys"));
    wanted.setPixelSize(12);
    term.setFont(wanted);
    EXPECT_TRUE(QFontInfo(term.font()).fixedPitch());
    EXPECT_TRUE(QFontMetrics(term.font()).inFont(QChar(0x0416)));
}

TEST(ComTerminalFont, FontColourIsTheNextTextColour)
{
    TComTerminal term;
    term.SetEmulation(teNone);
    term.SetFontColor(clBlack);
    term.ShowText("a");
    term.SetFontColor(clGray);
    term.ShowText("b");
    EXPECT_EQ(term.Buffer().GetCell(1, 1).ForeColor, clBlack);
    EXPECT_EQ(term.Buffer().GetCell(2, 1).ForeColor, clGray);
    term.setFont(term.font()); // any font change takes the font colour again
    EXPECT_EQ(term.TermAttr().ForeColor, clGray);
}

// A terminal whose viewport is exactly cols x rows cells when no bar shows.
void sizeInCells(TCustomComTerminal& term, int cols, int rows)
{
    const int frame = 2 * term.frameWidth();
    term.resize(cols * term.FontWidth() + frame, rows * term.FontHeight() + frame);
    term.AdjustScrollBars();
}

TEST(ComTerminalScroll, GridThatFitsHasNoRanges)
{
    TComTerminal term;
    sizeInCells(term, 81, 25);
    EXPECT_EQ(term.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(term.verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(term.TopLeft(), (TTermPos{1, 1}));
}

TEST(ComTerminalScroll, HorizontalPanning)
{
    TComTerminal term;
    const int barHeight = term.horizontalScrollBar()->sizeHint().height();
    const int frame = 2 * term.frameWidth();
    term.resize(40 * term.FontWidth() + frame, 24 * term.FontHeight() + barHeight + frame);
    term.AdjustScrollBars();
    EXPECT_EQ(term.horizontalScrollBar()->minimum(), 0);
    EXPECT_EQ(term.horizontalScrollBar()->maximum(), 40);
    EXPECT_EQ(term.verticalScrollBar()->maximum(), 0);

    term.ApplyScrollBar(Qt::Horizontal, TCustomComTerminal::scThumbPosition, 10);
    EXPECT_EQ(term.TopLeft().X, 11);
    term.ApplyScrollBar(Qt::Horizontal, TCustomComTerminal::scThumbTrack, 20); // ignored
    EXPECT_EQ(term.TopLeft().X, 11);
    term.SetSmoothScroll(true);
    term.ApplyScrollBar(Qt::Horizontal, TCustomComTerminal::scThumbTrack, 20);
    EXPECT_EQ(term.TopLeft().X, 21);
    term.ApplyScrollBar(Qt::Horizontal, TCustomComTerminal::scLineUp, 0);
    EXPECT_EQ(term.TopLeft().X, 20);
    term.ApplyScrollBar(Qt::Horizontal, TCustomComTerminal::scPageUp, 0); // 40 cells across
    EXPECT_EQ(term.TopLeft().X, 1);
    term.ApplyScrollBar(Qt::Horizontal, TCustomComTerminal::scPageDown, 0);
    EXPECT_EQ(term.TopLeft().X, 41);
    term.ApplyScrollBar(Qt::Horizontal, TCustomComTerminal::scLineDown, 0); // clamped
    EXPECT_EQ(term.TopLeft().X, 41);
    term.ApplyScrollBar(Qt::Horizontal, TCustomComTerminal::scTop, 0);
    EXPECT_EQ(term.TopLeft().X, 41);

    // What is printed lands at its window cell, and the cells map to pixels from TopLeft.
    term.ApplyScrollBar(Qt::Horizontal, TCustomComTerminal::scThumbPosition, 10);
    const int fw = term.FontWidth();
    const int fh = term.FontHeight();
    EXPECT_EQ(term.CellsToPixels(QRect(QPoint(11, 1), QPoint(12, 1))), QRect(0, 0, 2 * fw, fh));
    EXPECT_EQ(term.CellsToPixels(QRect(QPoint(1, 2), QPoint(80, 3))), QRect(0, fh, 70 * fw, 2 * fh));
    term.MoveCaret(15, 3);
    term.setFocus();
    QFocusEvent in(QEvent::FocusIn);
    QApplication::sendEvent(&term, &in);
    EXPECT_EQ(term.CaretPixelPos(), QPoint(4 * fw, 3 * fh - term.CaretHeight()));
}

TEST(ComTerminalScroll, VerticalPagingAndShrinkingTheGrid)
{
    TComTerminal term;
    const int barWidth = term.verticalScrollBar()->sizeHint().width();
    const int frame = 2 * term.frameWidth();
    term.resize(80 * term.FontWidth() + barWidth + frame, 10 * term.FontHeight() + frame);
    term.AdjustScrollBars();
    EXPECT_EQ(term.verticalScrollBar()->maximum(), 14);
    EXPECT_EQ(term.horizontalScrollBar()->maximum(), 0);
    term.ApplyScrollBar(Qt::Vertical, TCustomComTerminal::scPageDown, 0);
    EXPECT_EQ(term.TopLeft().Y, 11);
    term.ApplyScrollBar(Qt::Vertical, TCustomComTerminal::scPageDown, 0);
    EXPECT_EQ(term.TopLeft().Y, 15);
    term.SetRows(12); // range shrinks to 2: the view follows
    EXPECT_EQ(term.verticalScrollBar()->maximum(), 2);
    EXPECT_EQ(term.TopLeft().Y, 3);
    term.SetScrollBars(ssNone);
    EXPECT_FALSE(term.verticalScrollBar()->isVisible());
}

TEST(ComTerminalCaret, ShapesAndFocus)
{
    TComTerminal term;
    EXPECT_FALSE(term.CaretCreated()); // no caret without the focus
    QFocusEvent in(QEvent::FocusIn);
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(&term, &in);
    EXPECT_TRUE(term.CaretCreated());
    EXPECT_EQ(term.CaretHeight(), term.FontHeight());
    term.SetCaret(tcUnderline);
    QApplication::sendEvent(&term, &out);
    QApplication::sendEvent(&term, &in);
    EXPECT_EQ(term.CaretHeight(), term.FontHeight() / 8);
    term.MoveCaret(3, 2);
    EXPECT_EQ(
        term.CaretPixelPos(), QPoint(2 * term.FontWidth(), 2 * term.FontHeight() - term.FontHeight() / 8));
    term.SetCaret(tcNone);
    QApplication::sendEvent(&term, &out);
    QApplication::sendEvent(&term, &in);
    EXPECT_FALSE(term.CaretCreated());
    QApplication::sendEvent(&term, &out);
    EXPECT_FALSE(term.CaretCreated());
}

TEST(ComTerminalCaret, SixteenPixelCellGivesATwoPixelUnderline)
{
    TComTerminal term;
    QFont f = term.font();
    for (int px = 8; px < 40; ++px) { // find the pixel size whose cell is 16 high
        f.setPixelSize(px);
        if (QFontMetrics(f).height() == 16)
            break;
    }
    term.setFont(f);
    if (term.FontHeight() != 16)
        GTEST_SKIP() << "no size of this font gives a 16-pixel cell";
    term.SetCaret(tcUnderline);
    QFocusEvent in(QEvent::FocusIn);
    QApplication::sendEvent(&term, &in);
    EXPECT_EQ(term.CaretHeight(), 2);
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

TEST(ComTerminalPaint, ABurstCostsOneRepaint)
{
    TComTerminal term;
    term.SetWrapLines(true);
    term.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&term));
    PaintCounter counter;
    term.viewport()->installEventFilter(&counter);
    QByteArray burst;
    for (int i = 0; i < 500; ++i)
        burst += "line " + QByteArray::number(i) + " of a burst that scrolls the grid many times\r\n";
    term.ShowText(burst);
    term.ShowText(QByteArray(300, 'w'));
    EXPECT_EQ(counter.paints, 0); // nothing drawn synchronously
    waitFor([&] { return counter.paints > 0; });
    QTest::qWait(30);
    EXPECT_EQ(counter.paints, 1);
}

TEST(ComTerminalPaint, CellBackgroundsAndTheAreaBeyondTheGrid)
{
    TComTerminal term;
    term.SetColumns(10);
    term.SetRows(3);
    term.SetColor(clAqua);
    term.resize(400, 200);
    term.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&term));
    term.ShowText(esc("[41m") + "X" + esc("[0;7m") + "Y" + esc("[0m"));
    term.SetColor(clSilver); // empty cells and the rest follow at once; printed cells keep theirs
    waitFor([] { return false; }, 50);
    const QImage img = term.viewport()->grab().toImage();
    const int fw = term.FontWidth();
    const int fh = term.FontHeight();
    EXPECT_EQ(QColor(img.pixel(0, 0)), QColor(255, 0, 0));
    EXPECT_EQ(QColor(img.pixel(2 * fw - 1, fh - 1)), QColor(255, 255, 255)); // inverted: white ground
    EXPECT_EQ(QColor(img.pixel(5 * fw + 1, fh / 2)), QColor(192, 192, 192)); // empty cell
    EXPECT_EQ(QColor(img.pixel(12 * fw, 5 * fh)), QColor(192, 192, 192)); // beyond the grid
}

// An underline belongs under the cells that ask for it, not at the left edge of the view.
TEST(ComTerminalPaint, UnderlineLiesUnderItsOwnCells)
{
    TComTerminal term;
    term.SetColumns(20);
    term.SetRows(3);
    term.SetColor(clAqua);
    term.SetFontColor(clBlack);
    term.resize(400, 200);
    term.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&term));
    // Columns 7..9 underlined, a Cyrillic letter among them; the letters around them not.
    term.ShowText("abcdef" + esc("[4m") + "AB\xC6" + esc("[24m") + "gh");
    waitFor([] { return false; }, 50);
    const QImage img = term.viewport()->grab().toImage();
    const int fw = term.FontWidth();
    const int fh = term.FontHeight();
    const QColor ink(0, 0, 0);
    // A row of the cell's lower part that is ink all across the given cells.
    const auto solidRow = [&](int firstCol, int lastCol) {
        for (int y = fh / 2; y < fh; ++y) {
            bool solid = true;
            for (int x = (firstCol - 1) * fw; x < lastCol * fw && solid; ++x)
                solid = QColor(img.pixel(x, y)) == ink;
            if (solid)
                return true;
        }
        return false;
    };
    EXPECT_TRUE(solidRow(7, 9));
    EXPECT_FALSE(solidRow(1, 1));
    EXPECT_FALSE(solidRow(10, 10));
}

TEST(ComTerminalSize, AutoSizeFollowsTheGrid)
{
    TComTerminal term;
    term.SetAutoSize(true);
    term.SetColumns(20);
    term.SetRows(5);
    EXPECT_EQ(term.size(),
        QSize(20 * term.FontWidth() + 2 * term.frameWidth(), 5 * term.FontHeight() + 2 * term.frameWidth()));
    term.SetBorderStyle(bsNone);
    EXPECT_EQ(term.frameWidth(), 0);
    EXPECT_EQ(term.size(), QSize(20 * term.FontWidth(), 5 * term.FontHeight()));
}

} // namespace
