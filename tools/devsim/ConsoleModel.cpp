#include "ConsoleModel.h"

namespace devsim {

void ConsoleModel::resetReadouts()
{
    voltage = current = temperature = "0";
}

void ConsoleModel::resetScope()
{
    scale = 1;
    samples = 0;
}

std::int64_t ConsoleModel::apply(const Line& line)
{
    const std::int64_t first = samples;
    switch (line.kind) {
    case Kind::VA:
        voltage = line.voltage;
        current = line.current;
        break;
    case Kind::TR:
        temperature = line.temperature;
        if (const int i = line.eventIndex(); i >= 0)
            ++counters[static_cast<std::size_t>(i)];
        break;
    case Kind::SC:
        if (line.yUnit == 'A')
            yTitle = "A";
        else if (line.yUnit == 'V')
            yTitle = "V";
        else if (line.yUnit == 'T')
            yTitle = "t \xB0"
                     "C";
        if (line.xUnit == 'm')
            xTitle = "mS";
        else if (line.xUnit == 's')
            xTitle = "S";
        else if (line.xUnit == 'u')
            xTitle = "\xB5S";
        scale = line.scale;
        break;
    case Kind::ST:
        samples += static_cast<std::int64_t>(line.samples.size());
        break;
    case Kind::RS:
        if (line.resets & (ResetCounters | ResetAll))
            counters.fill(0);
        if (line.resets & (ResetAll | ResetReadouts))
            resetReadouts();
        if (line.resets & (ResetAll | ResetScope))
            resetScope();
        break;
    case Kind::None:
        break;
    }
    return first;
}

} // namespace devsim
