#include "chart/core/LineSeries.h"

TLineSeries::TLineSeries()
{
    Pointer().Visible = false;
}
