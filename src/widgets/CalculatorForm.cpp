#include "widgets/CalculatorForm.h"

#include "widgets/CalculatorPanel.h"
#include <QKeyEvent>

TCalculatorForm::TCalculatorForm(QWidget* parent, const QLocale& locale)
    : QDialog(parent)
{
    panel_ = new TCalculatorPanel(this, locale);
}

TCalculatorForm::~TCalculatorForm() = default;

void TCalculatorForm::SetCtl3D(bool) { }
void TCalculatorForm::keyPressEvent(QKeyEvent* e)
{
    QDialog::keyPressEvent(e);
}
