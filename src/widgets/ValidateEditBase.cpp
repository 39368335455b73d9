#include "widgets/ValidateEditBase.h"

#include <QPalette>
#include <algorithm>
#include <limits>

TCustomEditBase::TCustomEditBase(QWidget* parent)
    : QLineEdit(parent)
{
    SetColor(color_);
    SetFontColor(fontColor_);
}

void TCustomEditBase::SetColor(TColor c)
{
    color_ = c;
    QPalette pal = palette();
    pal.setColor(QPalette::Base, color::toQColor(c));
    setPalette(pal);
}

void TCustomEditBase::SetFontColor(TColor c)
{
    fontColor_ = c;
    applyTextColor(c);
    fontColorChanged(c);
}

void TCustomEditBase::applyTextColor(TColor c)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Text, color::toQColor(c));
    setPalette(pal);
}

void TCustomEditBase::SetAlignment(TAlignment a)
{
    alignment_ = a;
    switch (a) {
    case taLeftJustify:
        setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        break;
    case taRightJustify:
        setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case taCenter:
        setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        break;
    }
}

int TCustomEditBase::roomForInput() const
{
    if (maxLength_ == 0)
        return std::numeric_limits<int>::max();
    const int kept = int(text().size()) - int(selectedText().size());
    return std::max(0, maxLength_ - kept);
}
