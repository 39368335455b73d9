#include "widgets/WarningDialogBase.h"

#include <QApplication>
#include <QWidget>

TCommonDialogBase::TCommonDialogBase(QObject* owner)
    : QObject(owner)
    , font_(QApplication::font())
{
}

QWidget* TCommonDialogBase::OwnerForm() const
{
    auto* w = qobject_cast<QWidget*>(parent());
    return w && w->isWindow() ? w : nullptr;
}

QFont TCommonDialogBase::DialogFont() const
{
    if (parentFont_) {
        if (QWidget* form = OwnerForm())
            return form->font();
    }
    return font_;
}

int TCommonDialogBase::SoundCode(TSoundType s)
{
    switch (s) {
    case stNoSound:
        return -1;
    case stStandart:
    case stDefault:
        return 0;
    case stAsterisk:
        return 64;
    case stExclamation:
        return 48;
    case stSystemHand:
        return 16;
    case stQuestion:
        return 32;
    }
    return -1;
}

void TCommonDialogBase::PlaySound() const
{
    // The desktop offers one beep; every sound type but "none" plays it.
    if (SoundCode(soundType_) >= 0)
        QApplication::beep();
}
