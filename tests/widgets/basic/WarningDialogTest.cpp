#include "widgets/WarningDialog.h"
#include "widgets/WarningForm.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

const QString kCaption = QStringLiteral("Connection Error");
const QString kMessage = QStringLiteral("Not Connected !  Go to Setup tab.");

// The main window's instance.
struct Owner {
    std::unique_ptr<QWidget> form = std::make_unique<QWidget>();
    TWarningDialog* warning = new TWarningDialog(form.get());

    Owner()
    {
        warning->setObjectName(QStringLiteral("Warning1"));
        warning->SetCaption(kCaption);
        warning->SetWarningMessage(kMessage);
    }
};

// Runs Execute and, once its window is up, hands the window to act.
bool executeWith(TWarningDialog& dialog, std::function<void(TWarningForm*)> act)
{
    bool seen = false;
    std::function<void()> poll;
    poll = [&] {
        auto* form = qobject_cast<TWarningForm*>(QApplication::activeModalWidget());
        if (!form || !form->isVisible()) {
            QTimer::singleShot(10, poll);
            return;
        }
        seen = true;
        act(form);
    };
    QTimer::singleShot(0, poll);
    const bool result = dialog.Execute();
    EXPECT_TRUE(seen);
    return result;
}

} // namespace

TEST(WarningDialog, MainWindowSettingsGiveItsTextsAndTwoCentredButtons)
{
    Owner o;
    const auto form = o.warning->CreateForm();
    EXPECT_EQ(form->windowTitle(), kCaption);
    EXPECT_EQ(form->Message()->text(), kMessage);
    EXPECT_TRUE(form->Message()->wordWrap());
    EXPECT_EQ(form->OKBtn()->text(), QStringLiteral("OK"));
    EXPECT_EQ(form->CancelBtn()->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(form->HelpBtn()->isHidden());
    EXPECT_TRUE(form->OKBtn()->isDefault());
    // The pair sits symmetrically in the window.
    const int left = form->OKBtn()->x();
    const int right = form->width() - (form->CancelBtn()->x() + form->CancelBtn()->width());
    EXPECT_LE(std::abs(left - right), 2);
    EXPECT_EQ(form->OKBtn()->y(), form->CancelBtn()->y());
    // Designed at 120 pixels per inch, shown in 96-per-inch logical pixels.
    EXPECT_EQ(form->size(), QSize(321, 135));
    // The picture is centred in the frame.
    const QRect frame = form->Bevel1()->geometry();
    const QRect picture = form->Image1()->geometry();
    EXPECT_LE(std::abs(frame.center().y() - picture.center().y()), 1);
    EXPECT_TRUE(frame.contains(picture));
    EXPECT_TRUE(frame.contains(form->Message()->geometry()));
}

TEST(WarningDialog, DefaultsAndOptions)
{
    TWarningDialog d;
    auto form = d.CreateForm();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Warning"));
    EXPECT_EQ(form->Message()->alignment(), Qt::AlignLeft | Qt::AlignVCenter);

    d.SetHelpContext(12);
    d.SetAlignment(TWarningDialog::taCenter);
    d.SetVerticalAlignment(TWarningDialog::taAlignTop);
    d.SetWarningMessage(QStringLiteral("<b>x</b>"));
    form = d.CreateForm();
    EXPECT_FALSE(form->HelpBtn()->isHidden());
    EXPECT_EQ(form->HelpBtn()->text(), QStringLiteral("&Help"));
    EXPECT_LT(form->OKBtn()->x(), form->CancelBtn()->x());
    EXPECT_LT(form->CancelBtn()->x(), form->HelpBtn()->x());
    EXPECT_EQ(form->Message()->alignment(), Qt::AlignHCenter | Qt::AlignTop);
    EXPECT_EQ(form->Message()->textFormat(), Qt::PlainText);
}

TEST(WarningDialog, FontFromTheOwningFormOrItsOwn)
{
    Owner o;
    QFont ownerFont(QStringLiteral("Sans"));
    ownerFont.setPixelSize(11);
    ownerFont.setBold(true);
    o.form->setFont(ownerFont);
    QFont own(QStringLiteral("Serif"));
    own.setPixelSize(17);
    o.warning->SetFont(own);
    EXPECT_EQ(o.warning->CreateForm()->font().pixelSize(), 11);
    o.warning->SetParentFont(false);
    EXPECT_EQ(o.warning->CreateForm()->font().pixelSize(), 17);
    // An owner that is not a form gives no font.
    QObject notAForm;
    TWarningDialog d(&notAForm);
    d.SetFont(own);
    EXPECT_EQ(d.CreateForm()->font().pixelSize(), 17);
}

TEST(WarningDialog, EnterIsOkEscapeIsCancel)
{
    Owner o;
    EXPECT_TRUE(executeWith(*o.warning, [](TWarningForm* f) { QTest::keyClick(f, Qt::Key_Return); }));
    EXPECT_FALSE(executeWith(*o.warning, [](TWarningForm* f) { QTest::keyClick(f, Qt::Key_Escape); }));
    EXPECT_TRUE(executeWith(*o.warning, [](TWarningForm* f) { f->OKBtn()->click(); }));
    EXPECT_FALSE(executeWith(*o.warning, [](TWarningForm* f) { f->CancelBtn()->click(); }));
    EXPECT_FALSE(executeWith(*o.warning, [](TWarningForm* f) { f->close(); }));
    // The window lives only while Execute runs.
    EXPECT_EQ(o.form->findChildren<TWarningForm*>().size(), 0);
}
