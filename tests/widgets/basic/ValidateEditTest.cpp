#include "widgets/ValidateEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

namespace {

// A shown window with a limit field set up as the graphic-data page has it, and a second
// box to move the focus to.
struct LimitField {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    TValidateEdit* edit = new TValidateEdit(window.get());
    QLineEdit* other = new QLineEdit(window.get());

    LimitField()
    {
        auto* layout = new QVBoxLayout(window.get());
        layout->addWidget(edit);
        layout->addWidget(other);
        edit->setObjectName(QStringLiteral("VoltageLimit"));
        edit->SetEditText(QStringLiteral("50"));
        edit->SetMaxLength(4);
        edit->SetMinValue(1);
        edit->SetMaxValue(9999);
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        edit->setFocus();
        EXPECT_TRUE(QTest::qWaitFor([this] { return edit->hasFocus(); }, 5000));
    }

    void clear()
    {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
    }

    void leave()
    {
        other->setFocus();
        EXPECT_TRUE(QTest::qWaitFor([this] { return other->hasFocus(); }, 5000));
    }
};

} // namespace

TEST(ValidateEdit, StartsWithACommittedZeroAndRightAlignment)
{
    TValidateEdit e;
    EXPECT_EQ(e.Text(), QStringLiteral("0"));
    EXPECT_EQ(e.EditText(), QString());
    EXPECT_TRUE(e.alignment() & Qt::AlignRight);
    // The program's writes are not cut to MaxLength.
    e.SetMaxLength(4);
    e.SetText(QStringLiteral("12345"));
    EXPECT_EQ(e.Text(), QStringLiteral("12345"));
    e.SetText(QStringLiteral("3"));
    EXPECT_EQ(e.Text(), QStringLiteral("3"));
}

TEST(ValidateEdit, TypingKeepsOnlyWhatTheFormatAllows)
{
    LimitField f;
    f.clear();
    QTest::keyClicks(f.edit, QStringLiteral("12a"));
    EXPECT_EQ(f.edit->Text(), QStringLiteral("12"));

    f.clear();
    QTest::keyClicks(f.edit, QStringLiteral("5"));
    f.edit->setCursorPosition(0);
    QTest::keyClicks(f.edit, QStringLiteral("-"));
    EXPECT_EQ(f.edit->Text(), QStringLiteral("-5"));
    f.edit->setCursorPosition(0);
    QTest::keyClicks(f.edit, QStringLiteral("-"));
    EXPECT_EQ(f.edit->Text(), QStringLiteral("-5"));
    // Over a selection the sign may replace the old one.
    f.edit->setSelection(0, 1);
    QTest::keyClicks(f.edit, QStringLiteral("-"));
    EXPECT_EQ(f.edit->Text(), QStringLiteral("-5"));
    f.edit->setCursorPosition(2);
    QTest::keyClicks(f.edit, QStringLiteral("-+"));
    EXPECT_EQ(f.edit->Text(), QStringLiteral("-5"));
    // Raw text is what EditText holds while typing.
    EXPECT_EQ(f.edit->EditText(), QStringLiteral("-5"));
}

// Typed text replaces a selection from its start, wherever the caret stands in it: a sign over
// a whole number selected left to right (caret at the end) or right to left (caret at the start)
// is accepted; a sign over digits selected after the first is not.
TEST(ValidateEdit, SignOverASelectionLandsAtItsStart)
{
    const struct {
        int start;
        int length;
        const char* typed;
        const char* result;
    } cases[] = {
        {0, 2, "-7", "-7"}, // left to right
        {2, -2, "-7", "-7"}, // right to left
        {0, 1, "+", "+0"}, {1, 1, "-", "50"}, // lands after the first digit
    };
    LimitField f;
    for (const auto& c : cases) {
        f.clear();
        QTest::keyClicks(f.edit, QStringLiteral("50"));
        f.edit->setSelection(c.start, c.length);
        QTest::keyClicks(f.edit, QString::fromLatin1(c.typed));
        EXPECT_EQ(f.edit->Text(), QString::fromLatin1(c.result))
            << c.start << "," << c.length << " " << c.typed;
    }
}

TEST(ValidateEdit, MaxLengthBindsTheOperatorOnly)
{
    LimitField f;
    f.clear();
    QTest::keyClicks(f.edit, QStringLiteral("12345"));
    EXPECT_EQ(f.edit->Text(), QStringLiteral("1234"));
    // Typing over a selection still fits.
    f.edit->setSelection(3, 1);
    QTest::keyClicks(f.edit, QStringLiteral("9"));
    EXPECT_EQ(f.edit->Text(), QStringLiteral("1239"));
    // Control keys pass even when full.
    QTest::keyClick(f.edit, Qt::Key_Backspace);
    EXPECT_EQ(f.edit->Text(), QStringLiteral("123"));
    QTest::keyClicks(f.edit, QStringLiteral("4"));
    f.edit->setCursorPosition(0);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    QApplication::sendEvent(f.edit, &del);
    EXPECT_EQ(f.edit->Text(), QStringLiteral("234"));
}

TEST(ValidateEdit, InputMethodTextPassesTheSameFilter)
{
    LimitField f;
    f.clear();
    QInputMethodEvent bad;
    bad.setCommitString(QStringLiteral("1x"));
    QApplication::sendEvent(f.edit, &bad);
    EXPECT_EQ(f.edit->Text(), QString());
    QInputMethodEvent good;
    good.setCommitString(QStringLiteral("42"));
    QApplication::sendEvent(f.edit, &good);
    EXPECT_EQ(f.edit->Text(), QStringLiteral("42"));
}

TEST(ValidateEdit, LeavingCommitsAndEscapeRestores)
{
    LimitField f;
    f.clear();
    f.leave();
    EXPECT_EQ(f.edit->EditText(), QString());
    EXPECT_EQ(f.edit->Text(), QStringLiteral("0"));

    f.edit->SetText(QStringLiteral("50"));
    f.edit->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&f] { return f.edit->hasFocus(); }, 5000));
    f.clear();
    QTest::keyClick(f.edit, Qt::Key_Escape);
    EXPECT_EQ(f.edit->Text(), QStringLiteral("50"));
    EXPECT_EQ(f.edit->selectedText(), QStringLiteral("50"));

    // Limits are stored, not applied: 0 and -7 stay.
    for (const char* t : {"0", "-7", "007"}) {
        f.edit->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&f] { return f.edit->hasFocus(); }, 5000));
        f.clear();
        QTest::keyClicks(f.edit, QString::fromLatin1(t));
        f.leave();
        EXPECT_EQ(f.edit->Text(), QString::number(QString::fromLatin1(t).toInt())) << t;
    }
}

TEST(ValidateEdit, PasteIsFilteredCutToMaxLengthAndCommitted)
{
    LimitField f;
    int changes = 0;
    f.edit->OnValueChanged = [&changes](QObject*) { ++changes; };
    f.clear();
    QGuiApplication::clipboard()->setText(QStringLiteral("+0a12-34"));
    QTest::keyClick(f.edit, Qt::Key_V, Qt::ControlModifier);
    // Four characters fit: "+0a1" filtered to "+01", committed and shown as 1.
    EXPECT_EQ(f.edit->EditText(), QStringLiteral("+01"));
    EXPECT_EQ(f.edit->Text(), QStringLiteral("1"));
    EXPECT_EQ(changes, 1);
}

TEST(ValidateEdit, RawWritesByTheProgramReachEditText)
{
    TValidateEdit e;
    e.QLineEdit::setText(QStringLiteral("42x"));
    EXPECT_EQ(e.EditText(), QStringLiteral("42x"));
    e.SetEditText(e.EditText());
    EXPECT_EQ(e.Text(), QStringLiteral("42"));
}

TEST(ValidateEdit, GainingFocusShowsTheNormalisedText)
{
    LimitField f;
    f.leave();
    f.edit->QLineEdit::setText(QStringLiteral("0070"));
    f.edit->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&f] { return f.edit->hasFocus(); }, 5000));
    EXPECT_EQ(f.edit->Text(), QStringLiteral("70"));
    EXPECT_EQ(f.edit->EditText(), QStringLiteral("0070"));
}
