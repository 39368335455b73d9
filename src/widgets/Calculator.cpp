#include "widgets/Calculator.h"

TCalculator::TCalculator(QObject* Owner)
    : QObject(Owner)
{
    setObjectName(QStringLiteral("Calculator1"));
}

TCalculator::~TCalculator() = default;

bool TCalculator::Execute()
{
    return false;
}
