// The terminal control for real use: scroll-back in the window, the mouse selection, its own
// actions and the clipboard, paste to a port on a pseudo-terminal, a grid that fits the window.

#include "PtyDevice.h"
#include "serial/ComPort.h"
#include "terminal/ComTerminal.h"
#include "terminal/TermFindBar.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

// A shown, focused terminal on a pseudo-terminal, without emulation, as the console has it.
class TerminalInUse : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(device.ok());
        port.SetPort(device.slavePath());
        term.SetComPort(&port);
        port.OpenPort();
        term.SetEmulation(teNone);
        term.SetWrapLines(true);
        term.SetFitToWindow(true);
        term.resize(480, 320);
        term.show();
        QApplication::setActiveWindow(&term);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&term));
        term.setFocus();
        ASSERT_TRUE(waitFor([&] { return term.hasFocus(); }));
    }
    void TearDown() override { term.SetComPort(nullptr); }

    // What the device received since the last call.
    QByteArray wire(qsizetype expected)
    {
        waitFor([&] { return device.drain().size() >= expected; }, 3000);
        const QByteArray got = device.drain();
        device.clearReceived();
        return got;
    }
    void lines(int from, int to)
    {
        for (int i = from; i <= to; ++i)
            term.ShowText("record " + QByteArray::number(i) + "\r\n");
        // The scroll bar follows once a frame; bring that frame now.
        term.AdjustScrollBars();
        QApplication::processEvents();
    }
    QString topLine() const
    {
        const TTermTextPos top = term.WindowToText(1, 1);
        return term_text::Text(term, top, TTermTextPos{top.Line, term.Columns()});
    }

    PtyDevice device;
    TComPort port;
    TComTerminal term;
};

} // namespace

TEST_F(TerminalInUse, PasteReachesThePortInTheCodePageWithEntersLineEnds)
{
    term.SetSendLF(true);
    ASSERT_TRUE(term.Paste(QString::fromUtf8("W:VA\nТест\r\nend")));
    const QByteArray expected("W:VA\r\n\xD2\xE5\xF1\xF2\r\nend");
    EXPECT_EQ(wire(expected.size()), expected);

    // Text the code page cannot hold is refused with a message; nothing goes out.
    QString refusal;
    term.ShowPasteRefusal = [&](const QString& message) { refusal = message; };
    EXPECT_FALSE(term.Paste(QString::fromUtf8("ok \u4E2D")));
    EXPECT_TRUE(refusal.contains(QChar(0x4E2D)));
    // More than 4 KiB is asked about first.
    int asked = 0;
    bool answer = false;
    term.ConfirmLongPaste = [&](qsizetype) {
        ++asked;
        return answer;
    };
    const QString big(5000, QChar(u'x'));
    EXPECT_FALSE(term.Paste(big));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(term.Paste(QStringLiteral("short")));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(wire(5), QByteArray("short"));
    answer = true;
    EXPECT_TRUE(term.Paste(big));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(wire(5000).size(), 5000);
}

TEST_F(TerminalInUse, CtrlCIsTypedAndCtrlShiftCCopies)
{
    term.ShowText("hello there\r\n");
    term.SelectBegin(TTermTextPos{term.ScreenLine(), 1}, TSelectUnit::Word);
    // Ctrl+C as the keyboard delivers it: the key with the control character as its text.
    QKeyEvent ctrlC(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, QStringLiteral("\x03"));
    QApplication::sendEvent(&term, &ctrlC);
    EXPECT_EQ(wire(1), QByteArray("\x03"));
    QApplication::clipboard()->clear();
    QTest::keyClick(&term, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("hello"));
    QTest::keyClick(&term, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_TRUE(wire(0).isEmpty()); // the copies sent nothing

    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keyClick(&term, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(wire(6), QByteArray("pasted"));
}

TEST_F(TerminalInUse, ActionsAreTheTerminalsOwnAndInItsMenu)
{
    const struct {
        const char* name;
        QList<QKeySequence> keys;
    } actions[] = {
        {"CopyAction",
            {QKeySequence(QStringLiteral("Ctrl+Shift+C")), QKeySequence(QStringLiteral("Ctrl+Ins"))}},
        {"PasteAction",
            {QKeySequence(QStringLiteral("Ctrl+Shift+V")), QKeySequence(QStringLiteral("Shift+Ins"))}},
        {"SelectAllAction", {}},
        {"FindAction", {QKeySequence(QStringLiteral("Ctrl+Shift+F"))}},
        {"ClearAction", {}},
        {"SaveTextAction", {}},
    };
    std::unique_ptr<QMenu> menu(term.CreateContextMenu(&term));
    for (const auto& a : actions) {
        auto* action = term.findChild<QAction*>(QString::fromLatin1(a.name));
        ASSERT_NE(action, nullptr) << a.name;
        EXPECT_TRUE(term.actions().contains(action)) << a.name;
        EXPECT_TRUE(menu->actions().contains(action)) << a.name;
        EXPECT_EQ(action->shortcuts(), a.keys) << a.name;
    }

    // Find: the bar opens over the terminal and finds the newest match first.
    lines(1, 60);
    QTest::keyClick(&term, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(term.FindBar()->isVisible());
    QTest::keyClicks(term.FindBar()->Field(), QStringLiteral("record 1"));
    ASSERT_TRUE(term.CurrentMatch());
    EXPECT_EQ(
        term_text::Text(term, term.CurrentMatch()->Start, TTermTextPos{term.CurrentMatch()->Start.Line, 99}),
        QStringLiteral("record 19"));
    QTest::keyClick(term.FindBar()->Field(), Qt::Key_Return, Qt::ShiftModifier); // the one above
    EXPECT_EQ(
        term_text::Text(term, term.CurrentMatch()->Start, TTermTextPos{term.CurrentMatch()->Start.Line, 99}),
        QStringLiteral("record 18"));
    const std::int64_t row = term.LineToWindowRow(term.CurrentMatch()->Start.Line);
    EXPECT_GE(row, 1); // scrolled into view
    EXPECT_LE(row, term.viewport()->height() / term.FontHeight());
    QTest::keyClick(term.FindBar()->Field(), Qt::Key_Escape);
    EXPECT_FALSE(term.FindBar()->isVisible());

    // Clear forgets screen and history.
    term.ClearAction()->trigger();
    EXPECT_EQ(term.History().Count(), 0);
    EXPECT_EQ(term.CaretPos(), (TTermPos{1, 1}));
}

TEST_F(TerminalInUse, ViewInTheHistoryStaysWhileTextArrives)
{
    lines(1, 100);
    QScrollBar* bar = term.verticalScrollBar();
    ASSERT_EQ(bar->value(), bar->maximum()); // following the screen
    QTest::keyClick(&term, Qt::Key_PageUp, Qt::ShiftModifier);
    QTest::keyClick(&term, Qt::Key_PageUp, Qt::ShiftModifier);
    const QString shown = topLine();
    const int value = bar->value();
    const int maximum = bar->maximum();
    ASSERT_LT(value, maximum);
    lines(101, 130);
    EXPECT_EQ(topLine(), shown);
    EXPECT_EQ(bar->value(), value);
    EXPECT_EQ(bar->maximum(), maximum + 30); // the bar shows that more came
    // A typed key follows the screen again.
    QTest::keyClick(&term, Qt::Key_A);
    EXPECT_EQ(bar->value(), bar->maximum());
    lines(131, 135);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(term.WindowToText(1, 1).Line, term.ScreenLine());
}

TEST_F(TerminalInUse, MouseSelectsByDragWordAndRow)
{
    term.ShowText("alpha beta\r\ngamma delta\r\n");
    term.FlushPicture();
    const int fw = term.FontWidth();
    const int fh = term.FontHeight();
    QWidget* view = term.viewport();
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(fw * 6 + 1, fh / 2));
    QTest::mouseMove(view, QPoint(fw * 3 + 1, fh + fh / 2));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(fw * 3 + 1, fh + fh / 2));
    EXPECT_EQ(term.SelectedText(), QStringLiteral("beta\ngamm"));
    QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(fw * 8 + 1, fh + fh / 2));
    EXPECT_EQ(term.SelectedText(), QStringLiteral("delta"));
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(fw * 8 + 1, fh + fh / 2));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(fw * 8 + 1, fh + fh / 2));
    EXPECT_EQ(term.SelectedText(), QStringLiteral("gamma delta"));
    // A plain click drops it.
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(fw * 2, fh * 4), 1000);
    EXPECT_FALSE(term.Selection().Active());
}

TEST_F(TerminalInUse, FittedGridFollowsResizesKeepingTextAndCaret)
{
    const auto fitted = [&] {
        return term.Columns() == std::clamp(term.viewport()->width() / term.FontWidth(), 2, 256)
            && term.Rows() == std::clamp(term.viewport()->height() / term.FontHeight(), 2, 100);
    };
    EXPECT_TRUE(fitted());
    lines(1, 40);
    term.ShowText("tail");
    term.resize(300, 150);
    QApplication::processEvents();
    EXPECT_TRUE(fitted());
    EXPECT_EQ(term.CaretPos().Y, term.Rows());
    EXPECT_EQ(term.CaretPos().X, 5);
    EXPECT_EQ(term.Buffer().GetCell(1, term.Rows()).Ch, 't');
    term.resize(700, 500);
    QApplication::processEvents();
    EXPECT_TRUE(fitted());
    EXPECT_EQ(term.Buffer().GetCell(4, term.CaretPos().Y).Ch, 'l');
    EXPECT_EQ(term.horizontalScrollBar()->maximum(), 0);
}

// A word that wrapping split over two rows is found; after "Not found" the bar still shows its
// buttons inside the terminal; a saved file gets ".txt" when its name has no suffix.
TEST_F(TerminalInUse, FindAcrossAWrappedRowAndTheBarAfterNotFound)
{
    term.ShowText(QByteArray(term.Columns() - 3, '-') + "needle\r\n");
    term.OpenFind();
    QTest::keyClicks(term.FindBar()->Field(), QStringLiteral("NEEDLE"));
    ASSERT_TRUE(term.CurrentMatch());
    EXPECT_EQ(term.CurrentMatch()->Start.Column, term.Columns() - 2);
    EXPECT_EQ(term.CurrentMatch()->Length, 6);

    QTest::keyClicks(term.FindBar()->Field(), QStringLiteral(" and a longer text that is nowhere"));
    ASSERT_FALSE(term.CurrentMatch());
    const QRect view = term.viewport()->geometry();
    for (const char* button : {"FindPrevious", "FindNext", "FindClose"}) {
        auto* b = term.FindBar()->findChild<QWidget*>(QString::fromLatin1(button));
        ASSERT_NE(b, nullptr) << button;
        const QRect shown(b->mapTo(&term, QPoint(0, 0)), b->size());
        EXPECT_TRUE(b->isVisible() && view.contains(shown)) << button;
    }

    const struct {
        const char* chosen;
        const char* written;
    } names[] = {{"/tmp/log", "/tmp/log.txt"}, {"/tmp/log.txt", "/tmp/log.txt"},
        {"/tmp/log.csv", "/tmp/log.csv"}, {"/tmp/a.b/log", "/tmp/a.b/log.txt"}, {"", ""}};
    for (const auto& n : names)
        EXPECT_EQ(
            TCustomComTerminal::TextFilePath(QString::fromLatin1(n.chosen)), QString::fromLatin1(n.written));
}

// A program that asks for 132 columns gets them even in a fitted grid: the view scrolls
// sideways and follows the caret.
TEST_F(TerminalInUse, WiderGridScrollsSidewaysWithTheCaret)
{
    term.SetEmulation(teVT100orANSI);
    term.ShowText("\x1b[?3h\x1b[1;120Hx");
    term.FlushPicture();
    QApplication::processEvents();
    ASSERT_EQ(term.Columns(), 132);
    EXPECT_TRUE(term.horizontalScrollBar()->isVisible());
    const int shown = term.viewport()->width() / term.FontWidth();
    EXPECT_GT(term.TopLeft().X, 1);
    EXPECT_LE(term.TopLeft().X, term.CaretPos().X);
    EXPECT_LT(term.CaretPos().X, term.TopLeft().X + shown);
    term.ShowText("\r");
    EXPECT_EQ(term.TopLeft().X, 1);
}
