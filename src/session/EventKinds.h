#pragma once
// The device's emergency event kinds, in one table: the record's event name, the counter's
// object name, the journal's subject and its filter caption all come from here, so a new kind
// is one enumerator and one row.

#include <array>
#include <cstddef>
#include <string_view>

// Order of the counters as the window shows them.
enum class TEvent { RK1, RK2, RK3, CFK, SUK, Count };

struct TEventKind {
    TEvent event;
    // As the device names it in a TR record; also the counter's object name and caption and the
    // journal row's subject.
    std::string_view name;
    // The journal filter that keeps only this kind (UTF-8).
    std::string_view filterCaption;
};

inline constexpr std::array kEventKinds = {
    TEventKind{TEvent::RK1, "RK1", "Събитие RK1"},
    TEventKind{TEvent::RK2, "RK2", "Събитие RK2"},
    TEventKind{TEvent::RK3, "RK3", "Събитие RK3"},
    TEventKind{TEvent::CFK, "CFK", "Събитие CFK"},
    TEventKind{TEvent::SUK, "SUK", "Събитие SUK"},
};
inline constexpr int kEventCount = int(TEvent::Count);
static_assert(kEventKinds.size() == std::size_t(kEventCount), "one row per event kind");
static_assert(
    [] {
        for (std::size_t i = 0; i < kEventKinds.size(); ++i)
            if (kEventKinds[i].event != TEvent(i))
                return false;
        return true;
    }(),
    "rows in the order of the enumerators");

inline const TEventKind& eventKind(TEvent which)
{
    return kEventKinds[std::size_t(which)];
}

// The event's name, NUL-terminated (every name in the table is a literal).
inline const char* eventName(TEvent which)
{
    return eventKind(which).name.data();
}
