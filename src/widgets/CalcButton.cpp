#include "widgets/CalcButton.h"

TCalcButton::TCalcButton(int KeyKind, QWidget* parent)
    : QAbstractButton(parent)
    , kind_(KeyKind)
{
}

void TCalcButton::SetTextColor(TColor c)
{
    color_ = c;
}
void TCalcButton::SetGlyph(const QPixmap& glyph)
{
    glyph_ = glyph;
}
void TCalcButton::SetNewStyle(bool on)
{
    newStyle_ = on;
}
QSize TCalcButton::sizeHint() const
{
    return {36, 22};
}
void TCalcButton::paintEvent(QPaintEvent*) { }
