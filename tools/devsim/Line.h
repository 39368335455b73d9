#pragma once
// One line the simulator sends: its bytes (without the closing CR), how many "OK" answers
// the console owes for it, and what it means, so that the counters, the model of the
// console's state and the record log need not parse it back.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace devsim {

enum class Kind { VA, TR, SC, ST, RS, None };
inline constexpr std::array<std::string_view, 5> kKindNames = {"VA", "TR", "SC", "ST", "RS"};

inline constexpr std::array<std::string_view, 5> kEventNames = {"RK1", "RK2", "RK3", "CFK", "SUK"};

// Sub-commands of an RS record, as bits; the fifth byte of "+RVA\xD2" is Cyrillic Te.
enum Reset : unsigned { ResetCounters = 1, ResetAll = 2, ResetReadouts = 4, ResetScope = 8 };
inline constexpr std::array<std::string_view, 4> kResetTexts = {"+RRKS", "+RALL", "+RVA\xD2", "+ROSC"};

struct Line {
    std::string text;
    Kind kind = Kind::None; // the record's effect on the console; None for a line it drops
    int expect = 0;
    std::string malformed; // empty for a well-formed record, else the kind of fault

    std::string voltage, current; // VA
    std::string temperature, event; // TR ("RK0" or another name counts nothing)
    char yUnit = 0, xUnit = 0; // SC
    std::int32_t scale = 0;
    std::vector<std::int32_t> samples; // ST
    unsigned resets = 0; // RS, Reset bits

    int eventIndex() const
    {
        for (std::size_t i = 0; i < kEventNames.size(); ++i)
            if (event == kEventNames[i])
                return static_cast<int>(i);
        return -1;
    }
};

} // namespace devsim
