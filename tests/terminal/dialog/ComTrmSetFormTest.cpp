#include "terminal/ComTrmSetForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// The terminal's dialog-facing properties; every write is logged in order.
struct FakeTerminal {
    bool localEcho = false, sendLF = false, wrapLines = false, force7Bit = false, appendLF = false;
    TTermCaret caret = tcBlock;
    TTermEmulation emulation = teVT100orANSI;
    TArrowKeys arrowKeys = akTerminal;
    int columns = 80, rows = 24;
    std::vector<std::string> writes;

    bool LocalEcho() const { return localEcho; }
    bool SendLF() const { return sendLF; }
    bool WrapLines() const { return wrapLines; }
    bool Force7Bit() const { return force7Bit; }
    bool AppendLF() const { return appendLF; }
    TTermCaret Caret() const { return caret; }
    TTermEmulation Emulation() const { return emulation; }
    TArrowKeys ArrowKeys() const { return arrowKeys; }
    int Columns() const { return columns; }
    int Rows() const { return rows; }

    void log(const char* name, int v) { writes.push_back(std::string(name) + "=" + std::to_string(v)); }
    void SetLocalEcho(bool v) { log("LocalEcho", localEcho = v); }
    void SetSendLF(bool v) { log("SendLF", sendLF = v); }
    void SetWrapLines(bool v) { log("WrapLines", wrapLines = v); }
    void SetForce7Bit(bool v) { log("Force7Bit", force7Bit = v); }
    void SetAppendLF(bool v) { log("AppendLF", appendLF = v); }
    void SetCaret(TTermCaret v) { log("Caret", caret = v); }
    void SetEmulation(TTermEmulation v) { log("Emulation", emulation = v); }
    void SetColumns(int v) { log("Columns", columns = v); }
    void SetRows(int v) { log("Rows", rows = v); }
    void SetArrowKeys(TArrowKeys v) { log("ArrowKeys", arrowKeys = v); }
};

// Runs Execute and, once the dialog is up in its modal loop, lets act operate on it.
bool executeWith(FakeTerminal& terminal, const std::function<void(TComTrmSetForm&)>& act)
{
    bool acted = false;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TComTrmSetForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        EXPECT_TRUE(form->isVisible());
        acted = true;
        act(*form);
    });
    const bool ok = TComTrmSetForm::Execute(terminal);
    EXPECT_TRUE(acted);
    return ok;
}

TEST(ComTrmSetForm, ControlsCarryTheDesignTextsInTheirGroups)
{
    TComTrmSetForm form;
    EXPECT_EQ(form.windowTitle(), "Setup");
    struct Row {
        const char* name;
        const char* parent;
        QString text;
    };
    const std::vector<Row> rows = {
        {"GroupBox1", "ComTrmSetForm", " ASCII Settings "},
        {"CheckBox1", "GroupBox1", "Echo typed charachters locally"},
        {"CheckBox2", "GroupBox1", "Send line feeds with carriage return"},
        {"CheckBox3", "GroupBox1", "Wrap lines that exceed terminal width"},
        {"CheckBox4", "GroupBox1", "Force incoming data to 7 bit ASCII"},
        {"CheckBox5", "GroupBox1", "Append line feeds to incoming carriage return"},
        {"GroupBox2", "ComTrmSetForm", " Terminal Settings "},
        {"Label1", "GroupBox2", "Caret"},
        {"ComboBox1", "GroupBox2", "Block|Underline"},
        {"Label2", "GroupBox2", "Emulation"},
        {"ComboBox2", "GroupBox2", "ANSI/VT100|VT52|None"},
        {"Label3", "GroupBox2", "Columns"},
        {"Edit1", "GroupBox2", ""},
        {"Label4", "GroupBox2", "Rows"},
        {"Edit2", "GroupBox2", ""},
        {"Label5", "GroupBox2", "Cursor keys"},
        {"ComboBox3", "GroupBox2", "Act as terminal keys|Act as windows keys"},
        {"Button1", "ComTrmSetForm", "OK"},
        {"Button2", "ComTrmSetForm", "Cancel"},
    };
    for (const auto& row : rows) {
        auto* w = form.findChild<QWidget*>(row.name);
        ASSERT_NE(w, nullptr) << row.name;
        EXPECT_EQ(w->parentWidget()->objectName(), row.parent) << row.name;
        QString text;
        if (auto* g = qobject_cast<QGroupBox*>(w))
            text = g->title();
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        else if (auto* l = qobject_cast<QLabel*>(w))
            text = l->text();
        else if (auto* e = qobject_cast<QLineEdit*>(w))
            text = e->text();
        else if (auto* c = qobject_cast<QComboBox*>(w)) {
            QStringList items;
            for (int i = 0; i < c->count(); ++i)
                items << c->itemText(i);
            text = items.join('|');
            EXPECT_FALSE(c->isEditable()) << row.name;
        }
        EXPECT_EQ(text, row.text) << row.name;
    }
    EXPECT_TRUE(form.Button1->isDefault());
    EXPECT_FALSE(form.Button2->isDefault());
}

TEST(ComTrmSetForm, TabOrderPutsCursorKeysBeforeTheSizeFields)
{
    TComTrmSetForm form;
    const QStringList expected = {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox4", "CheckBox5",
        "ComboBox1", "ComboBox2", "ComboBox3", "Edit1", "Edit2", "Button1", "Button2"};
    QStringList order;
    QWidget* w = form.CheckBox1;
    do {
        if (expected.contains(w->objectName()))
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != form.CheckBox1);
    EXPECT_EQ(order, expected);
}

TEST(ComTrmSetForm, FillShowsTheTerminalsOptions)
{
    FakeTerminal t;
    t.localEcho = true;
    t.wrapLines = true;
    t.appendLF = true;
    t.caret = tcUnderline;
    t.emulation = teNone;
    t.arrowKeys = akWindows;
    t.columns = 132;
    t.rows = 50;
    TComTrmSetForm form;
    form.Fill(t);
    EXPECT_TRUE(form.CheckBox1->isChecked());
    EXPECT_FALSE(form.CheckBox2->isChecked());
    EXPECT_TRUE(form.CheckBox3->isChecked());
    EXPECT_FALSE(form.CheckBox4->isChecked());
    EXPECT_TRUE(form.CheckBox5->isChecked());
    EXPECT_EQ(form.ComboBox1->currentIndex(), 1);
    EXPECT_EQ(form.ComboBox2->currentIndex(), 2);
    EXPECT_EQ(form.ComboBox3->currentIndex(), 1);
    EXPECT_EQ(form.Edit1->text(), "132");
    EXPECT_EQ(form.Edit2->text(), "50");
    EXPECT_TRUE(t.writes.empty());

    // The caret shape without an entry leaves the list without a selection, and OK keeps it.
    t.caret = tcNone;
    form.Fill(t);
    EXPECT_EQ(form.ComboBox1->currentIndex(), -1);
    form.Apply(t);
    EXPECT_EQ(t.caret, tcNone);
}

TEST(ComTrmSetForm, ApplyWritesEveryPropertyInTheFixedOrder)
{
    FakeTerminal t;
    TComTrmSetForm form;
    form.Fill(t);
    form.CheckBox2->setChecked(true);
    form.CheckBox4->setChecked(true);
    form.ComboBox1->setCurrentIndex(1);
    form.ComboBox2->setCurrentIndex(1);
    form.ComboBox3->setCurrentIndex(1);
    form.Edit1->setText("100");
    form.Edit2->setText("30");
    form.Apply(t);
    const std::vector<std::string> expected = {"LocalEcho=0", "SendLF=1", "WrapLines=0", "Force7Bit=1",
        "AppendLF=0", "Caret=1", "Emulation=1", "Columns=100", "Rows=30", "ArrowKeys=1"};
    EXPECT_EQ(t.writes, expected);
}

TEST(ComTrmSetForm, SizeFieldsFallBackWhenNotANumber)
{
    struct Case {
        const char* columns;
        const char* rows;
        int expectedColumns, expectedRows;
    };
    // Range clamping is the terminal's business: the dialog hands numbers over unchanged.
    const std::vector<Case> cases = {
        {"300", "1", 300, 1},
        {"abc", "x1", 80, 24},
        {"", "", 80, 24},
        {" 40 ", "12", 40, 12},
        {"-5", "0", -5, 0},
        {"99999999999", "1e3", 80, 24},
        {"4.5", "0x10", 80, 24},
    };
    for (const auto& c : cases) {
        FakeTerminal t;
        t.columns = 132;
        TComTrmSetForm form;
        form.Fill(t);
        form.Edit1->setText(c.columns);
        form.Edit2->setText(c.rows);
        form.Apply(t);
        EXPECT_EQ(t.columns, c.expectedColumns) << c.columns;
        EXPECT_EQ(t.rows, c.expectedRows) << c.rows;
    }
}

// Clicking OK and Cancel is exercised on a real terminal (ComTrmSetFormTerminalTest.cpp).
TEST(ComTrmSetForm, EscapeCancelsAndEnterConfirmsThroughTheDefaultButton)
{
    FakeTerminal escaped;
    EXPECT_FALSE(executeWith(escaped, [](TComTrmSetForm& form) { QTest::keyClick(&form, Qt::Key_Escape); }));
    EXPECT_TRUE(escaped.writes.empty());
    FakeTerminal entered;
    EXPECT_TRUE(executeWith(entered, [](TComTrmSetForm& form) {
        form.Edit2->setFocus();
        form.Edit2->setText("40");
        QTest::keyClick(form.Edit2, Qt::Key_Return);
    }));
    EXPECT_EQ(entered.rows, 40);
}

TEST(ComTrmSetForm, ShowsCentredWithEveryCaptionFitting)
{
    // Centred on the screen, not over the window that opened it.
    QWidget owner;
    owner.setGeometry(0, 0, 200, 150);
    owner.show();
    TComTrmSetForm form(&owner);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_GE(form.width(), 295);
    EXPECT_GE(form.height(), 287);
    const QPoint offCentre = form.frameGeometry().center() - form.screen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2);
    // Fixed border: the dialog cannot be resized.
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    for (QWidget* w : form.findChildren<QWidget*>()) {
        if (!w->isVisible() || w->objectName().isEmpty())
            continue;
        const QRect inForm(w->mapTo(&form, QPoint(0, 0)), w->size());
        EXPECT_TRUE(form.rect().contains(inForm)) << w->objectName().toStdString();
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w)) {
            EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
        }
    }
}

} // namespace
