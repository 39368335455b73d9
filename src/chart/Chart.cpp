#include "chart/Chart.h"

TChart::TChart(QWidget* parent)
    : TCustomChart(parent)
{
}
