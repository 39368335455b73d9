#include "widgets/Calculator.h"
#include "widgets/CalcButton.h"
#include "widgets/CalculatorForm.h"
#include "widgets/CalculatorPanel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

void click(TCalculatorForm& f, int kind)
{
    TCalcButton* b = f.CalculatorPanel()->Button(kind);
    ASSERT_NE(b, nullptr) << kind;
    QTest::mouseClick(b, Qt::LeftButton);
}

QString display(const TCalculatorForm& f)
{
    return f.DisplayLabel()->text();
}

// Runs Execute and plays script on its dialog once it is shown; the script ends the dialog.
bool executeWith(TCalculator& calc, const std::function<void(TCalculatorForm&)>& script)
{
    bool ran = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!ran && calc.Form() && calc.Form()->isVisible()) {
            ran = true;
            poll.stop();
            script(*calc.Form());
        }
    });
    // A script that forgot to close the dialog must not hang the test run.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        if (calc.Form())
            calc.Form()->reject();
    });
    poll.start();
    deadline.start(20000);
    const bool result = calc.Execute();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(deadline.isActive()) << "the dialog was closed by the deadline";
    EXPECT_EQ(calc.Form(), nullptr);
    return result;
}

struct KeyPlace {
    int kind;
    int left, top, width;
    TColor color;
    bool glyph;
};

TEST(CalculatorPanel, KeysStandWhereTheDialogArrangementPutsThem)
{
    const KeyPlace keys[] = {
        {1, 47, 104, 36, clBtnText, false},
        {2, 47, 80, 36, clBtnText, false},
        {3, 85, 80, 36, clBtnText, false},
        {4, 123, 80, 36, clBtnText, false},
        {5, 47, 56, 36, clBtnText, false},
        {6, 85, 56, 36, clBtnText, false},
        {7, 123, 56, 36, clBtnText, false},
        {8, 47, 32, 36, clBtnText, false},
        {9, 85, 32, 36, clBtnText, false},
        {10, 123, 32, 36, clBtnText, false},
        {11, 85, 104, 36, clBtnText, true},
        {12, 123, 104, 36, clBtnText, false},
        {13, 161, 32, 36, clPurple, false},
        {14, 161, 56, 36, clPurple, true},
        {15, 161, 80, 36, clPurple, true},
        {16, 161, 104, 36, clPurple, true},
        {17, 199, 32, 36, clNavy, false},
        {18, 199, 56, 36, clNavy, false},
        {19, 199, 80, 36, clNavy, false},
        {20, 199, 104, 36, clPurple, false},
        {21, 145, 6, 44, clMaroon, false},
        {22, 191, 6, 44, clMaroon, false},
        {23, 5, 104, 36, clNavy, false},
        {24, 5, 80, 36, clNavy, false},
        {25, 5, 56, 36, clNavy, false},
        {26, 5, 32, 36, clNavy, false},
        {27, 47, 6, 36, clBtnText, true},
        {28, 85, 6, 36, clBtnText, true},
    };
    TCalculatorForm form(nullptr, QLocale(QLocale::Bulgarian, QLocale::Bulgaria));
    TCalculatorPanel* panel = form.CalculatorPanel();
    EXPECT_EQ(panel->size(), QSize(240, 129));
    EXPECT_EQ(form.size(), QSize(242, 159));
    EXPECT_EQ(panel->findChildren<TCalcButton*>().size(), 28);
    for (const auto& k : keys) {
        TCalcButton* b = panel->Button(k.kind);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->geometry(), QRect(k.left, k.top, k.width, 22)) << k.kind;
        EXPECT_EQ(b->TextColor(), k.color) << k.kind;
        EXPECT_EQ(b->Tag(), k.kind <= 22 ? k.kind - 1 : -1);
        EXPECT_EQ(!b->Glyph().isNull(), k.glyph) << k.kind;
        if (k.glyph) {
            EXPECT_TRUE(b->text().isEmpty()) << k.kind;
        }
        EXPECT_EQ(b->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_EQ(panel->Button(12)->text(), QStringLiteral(","));
    EXPECT_EQ(panel->Button(17)->text(), QStringLiteral("sqrt"));
    EXPECT_EQ(panel->Button(0), nullptr);
    EXPECT_EQ(panel->Button(29), nullptr);
    EXPECT_EQ(panel->MemoryLabel()->parentWidget()->geometry(), QRect(6, 7, 34, 20));
}

TEST(CalculatorForm, TypedKeysEnterAndEscapeDoNotClose)
{
    TCalculatorForm form(nullptr, QLocale::c());
    form.show();
    QTest::keyClicks(&form, "2+3");
    QTest::keyClick(&form, Qt::Key_Return);
    EXPECT_EQ(display(form), QStringLiteral("5"));
    EXPECT_TRUE(form.isVisible());
    QTest::keyClicks(&form, "*4");
    QTest::keyClick(&form, Qt::Key_Enter);
    EXPECT_EQ(display(form), QStringLiteral("20"));
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(display(form), QStringLiteral("0"));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.result(), 0);

    QTest::keyClicks(&form, "1,5"); // either separator types the locale's one
    EXPECT_EQ(display(form), QStringLiteral("1.5"));
    QTest::keyClick(&form, Qt::Key_Backspace);
    QTest::keyClick(&form, Qt::Key_Backspace);
    EXPECT_EQ(display(form), QStringLiteral("1"));
    QTest::keyClicks(&form, "q");
    EXPECT_EQ(display(form), QStringLiteral("1"));
    QTest::keyClicks(&form, "C9q"); // letters work in lower case too
    EXPECT_EQ(display(form), QStringLiteral("3"));

    TCalcButton* seven = form.CalculatorPanel()->Button(8);
    QTest::keyClick(&form, Qt::Key_7);
    EXPECT_TRUE(seven->isDown()); // shown pressed for a moment
    ASSERT_TRUE(QTest::qWaitFor([&] { return !seven->isDown(); }, 5000));
    EXPECT_EQ(display(form), QStringLiteral("7"));

    seven->setEnabled(false); // a disabled key is left alone
    QTest::keyClick(&form, Qt::Key_7);
    EXPECT_EQ(display(form), QStringLiteral("7"));
}

TEST(CalculatorForm, MemoryKeysAndIndicator)
{
    TCalculatorForm form(nullptr, QLocale::c());
    QLabel* m = form.CalculatorPanel()->MemoryLabel();
    EXPECT_TRUE(m->text().isEmpty());
    click(form, 2);
    click(form, 3); // 12
    click(form, 24); // MS
    click(form, 22); // C
    EXPECT_EQ(display(form), QStringLiteral("0"));
    click(form, 25); // MR
    EXPECT_EQ(display(form), QStringLiteral("12"));
    EXPECT_EQ(m->text(), QStringLiteral("M"));
    click(form, 23); // MP
    EXPECT_EQ(form.CalculatorPanel()->Engine().Memory(), 24);
    click(form, 26); // MC
    EXPECT_TRUE(m->text().isEmpty());
}

TEST(CalculatorForm, OkIsRefusedInTheErrorState)
{
    TCalculatorForm form(nullptr, QLocale::c());
    int beeps = 0;
    form.CalculatorPanel()->Engine().OnBeep = [&] { ++beeps; };
    form.show();
    QTest::keyClicks(&form, "5/0=");
    EXPECT_EQ(display(form), QStringLiteral("Error"));
    EXPECT_EQ(beeps, 1);
    QTest::keyClicks(&form, "12+");
    EXPECT_EQ(display(form), QStringLiteral("Error"));
    click(form, 27);
    EXPECT_EQ(beeps, 2);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.result(), 0);
    QTest::keyClick(&form, Qt::Key_Escape);
    click(form, 27);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), int(QDialog::Accepted));
}

TEST(CalculatorForm, CopyAndPaste)
{
    TCalculatorForm form(nullptr, QLocale::c());
    form.show();
    QClipboard* clip = QGuiApplication::clipboard();
    QTest::keyClicks(&form, "12.5");
    QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clip->text(), QStringLiteral("12.5"));

    clip->setText(QStringLiteral(" 77.25 "));
    form.PasteItem()->trigger();
    EXPECT_EQ(display(form), QStringLiteral("77.25"));
    clip->setText(QStringLiteral("not a number"));
    QTest::keyClick(&form, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(display(form), QStringLiteral("0"));

    clip->setText(QStringLiteral("3"));
    form.CopyItem()->trigger(); // copies "0"
    EXPECT_EQ(clip->text(), QStringLiteral("0"));

    // The pop-up menu offers Paste only while the clipboard holds text.
    auto* menu = form.findChild<QMenu*>(QStringLiteral("PopupMenu"));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(form.CopyItem()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Insert));
    EXPECT_EQ(form.PasteItem()->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_Insert));
    clip->clear();
    emit menu->aboutToShow();
    EXPECT_FALSE(form.PasteItem()->isEnabled());
    clip->setText(QStringLiteral("1"));
    emit menu->aboutToShow();
    EXPECT_TRUE(form.PasteItem()->isEnabled());
}

TEST(Calculator, ExecuteKeepsValueAndMemoryOnOkOnly)
{
    TCalculator calc;
    int changes = 0;
    calc.OnChange = [&](QObject* sender) {
        EXPECT_EQ(sender, &calc);
        ++changes;
    };
    EXPECT_EQ(calc.Title(), QStringLiteral("Calculator"));

    // OK with 42 and 7 in the memory.
    EXPECT_TRUE(executeWith(calc, [](TCalculatorForm& f) {
        EXPECT_EQ(f.windowTitle(), QStringLiteral("Calculator"));
        EXPECT_EQ(display(f), QStringLiteral("0"));
        QTest::keyClicks(&f, "7");
        click(f, 24);
        QTest::keyClicks(&f, "42");
        click(f, 27);
    }));
    EXPECT_EQ(calc.Value(), 42);
    EXPECT_EQ(calc.Memory(), 7);
    EXPECT_EQ(changes, 1);

    // The next showing starts from 42 as a finished number; Cancel drops every change.
    EXPECT_FALSE(executeWith(calc, [](TCalculatorForm& f) {
        EXPECT_EQ(display(f), QStringLiteral("42"));
        EXPECT_EQ(f.CalculatorPanel()->MemoryLabel()->text(), QStringLiteral("M"));
        QTest::keyClicks(&f, "5");
        EXPECT_EQ(display(f), QStringLiteral("5"));
        click(f, 26);
        click(f, 28);
    }));
    EXPECT_EQ(calc.Value(), 42);
    EXPECT_EQ(calc.Memory(), 7);
    EXPECT_EQ(changes, 1);

    // Escape and Enter keep the dialog open; OK on an unchanged value raises no change.
    EXPECT_TRUE(executeWith(calc, [](TCalculatorForm& f) {
        EXPECT_EQ(f.CalculatorPanel()->MemoryLabel()->text(), QStringLiteral("M"));
        QTest::keyClick(&f, Qt::Key_Escape);
        QTest::keyClicks(&f, "40+2");
        QTest::keyClick(&f, Qt::Key_Return);
        EXPECT_TRUE(f.isVisible());
        click(f, 27);
    }));
    EXPECT_EQ(calc.Value(), 42);
    EXPECT_EQ(changes, 1);

    // The window's close button is Cancel.
    EXPECT_FALSE(executeWith(calc, [](TCalculatorForm& f) {
        QTest::keyClicks(&f, "9");
        f.close();
    }));
    EXPECT_EQ(calc.Value(), 42);
}

TEST(Calculator, PropertiesReachTheDialog)
{
    TCalculator calc;
    calc.SetTitle(QStringLiteral("Сметки"));
    calc.SetPrecision(0); // the keypad shows at least two digits
    calc.SetBeepOnError(false);
    calc.SetCtl3D(false);
    QList<QChar> keys;
    int displayChanges = 0;
    calc.OnCalcKey = [&](QObject* sender, QChar& key) {
        EXPECT_EQ(sender, &calc);
        keys << key;
        if (key == QChar('9'))
            key = QChar('8');
    };
    calc.OnDisplayChange = [&](QObject* sender) {
        EXPECT_EQ(sender, &calc);
        ++displayChanges;
    };
    EXPECT_TRUE(executeWith(calc, [](TCalculatorForm& f) {
        EXPECT_EQ(f.windowTitle(), QStringLiteral("Сметки"));
        const TCalcEngine& e = f.CalculatorPanel()->Engine();
        EXPECT_EQ(e.Precision(), 2);
        EXPECT_FALSE(e.BeepOnError());
        QTest::keyClicks(&f, "1/3=");
        EXPECT_EQ(display(f), QStringLiteral("0.33"));
        QTest::keyClicks(&f, "C9");
        click(f, 27);
    }));
    EXPECT_EQ(calc.Value(), 8);
    EXPECT_EQ(keys.size(), 6);
    EXPECT_EQ(keys.value(5), QChar('9')); // the handler saw the key before changing it
    EXPECT_EQ(displayChanges, 2); // 0.33, then 0 on clearing
}

// Pictures of the dialog for a person to look at: set ORVIK_SCREENSHOT_DIR to keep them.
TEST(Calculator, Screenshot)
{
    TCalculatorForm form(nullptr, QLocale::c());
    form.show();
    QTest::keyClicks(&form, "1234.5");
    click(form, 24);
    QTest::keyClicks(&form, "*2");
    const auto keys = form.CalculatorPanel()->findChildren<TCalcButton*>();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return std::none_of(keys.begin(), keys.end(), [](TCalcButton* b) { return b->isDown(); }); },
        5000));
    const QImage shot = form.grab().toImage();
    EXPECT_EQ(shot.size(), form.size() * shot.devicePixelRatio());
    // The purple of the operator glyphs shows on the multiply key.
    const QRect times
        = form.CalculatorPanel()->Button(14)->geometry().translated(form.CalculatorPanel()->pos());
    bool purple = false;
    for (int y = times.top(); y <= times.bottom() && !purple; ++y)
        for (int x = times.left(); x <= times.right() && !purple; ++x)
            purple = shot.pixelColor(x, y) == QColor(0x80, 0x00, 0x80);
    EXPECT_TRUE(purple);
    const QString dir = qEnvironmentVariable("ORVIK_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        shot.save(QDir(dir).filePath(QStringLiteral("calculator.png")));
        TCalculatorForm flat(nullptr, QLocale(QLocale::Bulgarian, QLocale::Bulgaria));
        flat.SetCtl3D(false);
        flat.show();
        QTest::keyClicks(&flat, "5/0=");
        QTest::qWait(100); // let the typed keys come up again
        flat.grab().save(QDir(dir).filePath(QStringLiteral("calculator-flat-error.png")));
    }
}

} // namespace
