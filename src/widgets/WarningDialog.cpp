#include "widgets/WarningDialog.h"

#include "widgets/WarningForm.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

TWarningDialog::TWarningDialog(QObject* owner)
    : TCommonDialogBase(owner)
{
}

TWarningDialog::~TWarningDialog() = default;

QString TWarningDialog::StandardCaption() const
{
    // Only the English texts are carried; every other language falls back to them.
    return QStringLiteral("Warning");
}

std::unique_ptr<TWarningForm> TWarningDialog::CreateForm() const
{
    auto form = std::make_unique<TWarningForm>(OwnerForm());
    form->setWindowTitle(caption_.isEmpty() ? StandardCaption() : caption_);
    form->setFont(DialogFont());

    Qt::Alignment align;
    switch (alignment_) {
    case taLeftJustify:
        align = Qt::AlignLeft;
        break;
    case taRightJustify:
        align = Qt::AlignRight;
        break;
    case taCenter:
        align = Qt::AlignHCenter;
        break;
    }
    switch (verticalAlignment_) {
    case taAlignTop:
        align |= Qt::AlignTop;
        break;
    case taAlignBottom:
        align |= Qt::AlignBottom;
        break;
    case taVerticalCenter:
        align |= Qt::AlignVCenter;
        break;
    }
    form->Message()->setAlignment(align);
    // The message is shown as plain text, never interpreted as markup.
    form->Message()->setTextFormat(Qt::PlainText);
    form->Message()->setText(warningMessage_);

    form->setWhatsThis(HelpContext() ? QString::number(HelpContext()) : QString());
    if (HelpContext() == 0)
        form->HideHelp();

    // Centred on the screen, whatever the owner's position.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(), form->size());
        r.moveCenter(screen->availableGeometry().center());
        form->move(r.topLeft());
    }
    return form;
}

bool TWarningDialog::Execute()
{
    std::unique_ptr<TWarningForm> form = CreateForm();
    PlaySound();
    return form->exec() == QDialog::Accepted;
}
