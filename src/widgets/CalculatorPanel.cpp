#include "widgets/CalculatorPanel.h"

#include "widgets/CalcButton.h"

TCalculatorPanel::TCalculatorPanel(QWidget* parent, const QLocale& locale)
    : QFrame(parent)
    , engine_(locale)
{
}

TCalculatorPanel::~TCalculatorPanel() = default;

void TCalculatorPanel::CalcKey(QChar Key)
{
    engine_.CalcKey(Key);
}
void TCalculatorPanel::ButtonClick(TCalcButton*) { }
void TCalculatorPanel::CalcKeyPress(QChar Key)
{
    engine_.CalcKey(Key);
}
void TCalculatorPanel::UpdateMemoryLabel() { }
void TCalculatorPanel::SetCtl3D(bool) { }
TCalcButton* TCalculatorPanel::Button(int KeyKind) const
{
    return KeyKind >= 1 && KeyKind <= 28 ? buttons_[std::size_t(KeyKind - 1)] : nullptr;
}
const QString& TCalculatorPanel::KeyString()
{
    static const QString s = QStringLiteral("0123456789_./*-+Q%R=") + QChar(8) + QChar('C');
    return s;
}
