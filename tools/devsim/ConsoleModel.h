#pragma once
// What the console should show after every line sent so far: the simulator applies each
// record as the console's parser would, so an end-to-end test can compare the console's
// counters, read-outs and chart with these figures.

#include "Line.h"

#include <array>
#include <cstdint>
#include <string>

namespace devsim {

struct ConsoleModel {
    static constexpr std::int32_t kSampleStore = 10003;

    std::array<std::uint16_t, 5> counters{}; // RK1 RK2 RK3 CFK SUK, wrapping at 65536
    std::string voltage, current, temperature; // empty until the first record sets them
    std::string yTitle, xTitle; // empty until an SC record sets them
    std::int32_t scale = 1;
    std::int64_t samples = 0; // sent since the last scope reset (the console keeps 10003)

    // Applies a record about to be sent; returns the index of its first sample (ST only).
    std::int64_t apply(const Line& line);

private:
    void resetReadouts();
    void resetScope();
};

} // namespace devsim
