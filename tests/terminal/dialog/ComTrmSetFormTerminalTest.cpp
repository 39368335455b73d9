// The dialog on a real terminal control, opened through the terminal's RunSettingsDialog.
#include "terminal/ComTerminal.h"
#include "terminal/ComTrmSetForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

void runSettingsDialog(TComTerminal& terminal, const std::function<void(TComTrmSetForm&)>& act)
{
    bool acted = false;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TComTrmSetForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        acted = true;
        if (form)
            act(*form);
    });
    terminal.RunSettingsDialog();
    EXPECT_TRUE(acted);
}

void clickOk(TComTrmSetForm& form)
{
    QTest::mouseClick(form.Button1, Qt::LeftButton);
}

class DialogOnTerminal : public ::testing::Test {
protected:
    TComTerminal terminal;

    void SetUp() override
    {
        terminal.Loaded();
        terminal.ShowText("abc");
    }
    char at(int x, int y) const { return terminal.Buffer().GetCell(x, y).Ch; }
};

TEST_F(DialogOnTerminal, ConfirmingWithoutChangesKeepsTheScreen)
{
    runSettingsDialog(terminal, clickOk);
    EXPECT_EQ(at(1, 1), 'a');
    EXPECT_EQ(at(3, 1), 'c');
    EXPECT_EQ(terminal.Columns(), 80);
    EXPECT_EQ(terminal.Rows(), 24);
    EXPECT_EQ(terminal.Emulation(), teVT100orANSI);
}

TEST_F(DialogOnTerminal, SizesAreClampedByTheTerminal)
{
    runSettingsDialog(terminal, [](TComTrmSetForm& form) {
        form.Edit1->setText("300");
        form.Edit2->setText("1");
        clickOk(form);
    });
    EXPECT_EQ(terminal.Columns(), 256);
    EXPECT_EQ(terminal.Rows(), 2);
    EXPECT_EQ(at(1, 1), '\0');
}

TEST_F(DialogOnTerminal, TextAsColumnsGivesEightyAndClearsAnotherWidth)
{
    terminal.SetColumns(132);
    terminal.ShowText("xyz");
    runSettingsDialog(terminal, [](TComTrmSetForm& form) {
        form.Edit1->setText("wide");
        clickOk(form);
    });
    EXPECT_EQ(terminal.Columns(), 80);
    EXPECT_EQ(at(1, 1), '\0');
}

TEST_F(DialogOnTerminal, CancelLeavesEveryOption)
{
    runSettingsDialog(terminal, [](TComTrmSetForm& form) {
        form.CheckBox1->setChecked(true);
        form.CheckBox3->setChecked(true);
        form.ComboBox1->setCurrentIndex(1);
        form.ComboBox2->setCurrentIndex(2);
        form.ComboBox3->setCurrentIndex(1);
        form.Edit1->setText("100");
        QTest::mouseClick(form.Button2, Qt::LeftButton);
    });
    EXPECT_FALSE(terminal.LocalEcho());
    EXPECT_FALSE(terminal.WrapLines());
    EXPECT_EQ(terminal.Caret(), tcBlock);
    EXPECT_EQ(terminal.Emulation(), teVT100orANSI);
    EXPECT_EQ(terminal.ArrowKeys(), akTerminal);
    EXPECT_EQ(terminal.Columns(), 80);
    EXPECT_EQ(at(1, 1), 'a');
}

TEST_F(DialogOnTerminal, EmulationNonePrintsSequencesAsText)
{
    runSettingsDialog(terminal, [](TComTrmSetForm& form) {
        form.ComboBox2->setCurrentIndex(2);
        form.ComboBox1->setCurrentIndex(1);
        clickOk(form);
    });
    EXPECT_EQ(terminal.Emulation(), teNone);
    EXPECT_EQ(terminal.Caret(), tcUnderline);
    terminal.ShowText("\x1b[2J");
    // ESC itself is a control character; the rest prints after "abc".
    EXPECT_EQ(at(1, 1), 'a');
    EXPECT_EQ(at(4, 1), '[');
    EXPECT_EQ(at(5, 1), '2');
    EXPECT_EQ(at(6, 1), 'J');
}

} // namespace

// The additions: fitting disables the size fields and keeps the text; scroll-back and visible
// control characters reach the terminal.
TEST_F(DialogOnTerminal, FitScrollBackAndControlCharacters)
{
    terminal.resize(400, 250);
    terminal.show();
    runSettingsDialog(terminal, [](TComTrmSetForm& form) {
        EXPECT_TRUE(form.FitToWindow->isVisible());
        EXPECT_TRUE(form.Edit1->isEnabled());
        form.FitToWindow->setChecked(true);
        EXPECT_FALSE(form.Edit1->isEnabled());
        EXPECT_FALSE(form.Edit2->isEnabled());
        form.ScrollbackLines->setValue(500);
        form.ShowControls->setChecked(true);
        clickOk(form);
    });
    EXPECT_TRUE(terminal.FitToWindow());
    EXPECT_EQ(terminal.ScrollbackLines(), 500);
    EXPECT_TRUE(terminal.ShowControls());
    EXPECT_EQ(terminal.Columns(), terminal.viewport()->width() / terminal.FontWidth());
    EXPECT_EQ(terminal.Rows(), terminal.viewport()->height() / terminal.FontHeight());
    EXPECT_EQ(at(1, 1), 'a'); // fitting keeps the text
    runSettingsDialog(terminal, [](TComTrmSetForm& form) {
        EXPECT_TRUE(form.FitToWindow->isChecked());
        EXPECT_FALSE(form.Edit1->isEnabled());
        EXPECT_EQ(form.ScrollbackLines->maximum(), 100000);
        clickOk(form);
    });
    EXPECT_EQ(at(1, 1), 'a');
}
