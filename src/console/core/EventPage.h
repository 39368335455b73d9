#pragma once
// Whether a counted emergency event brings up the chart page. The design shows the chart on
// every event; an operator at work on the archive or the journal, or typing into the window,
// keeps the page, and an option turns the switch off altogether. No widgets.

#include <QtGlobal>
#include <limits>

struct TEventPageState {
    static constexpr qint64 kTypingMs = 10000;
    static constexpr qint64 kNever = std::numeric_limits<qint64>::min();

    bool showOnEvent = true; // the option ShowScopeOnEvent
    bool windowAway = false; // minimised or in the tray when the event came: nobody was at a page
    bool onChart = false; // the chart page is shown already
    bool onListPage = false; // "Архив" or "Журнал" is shown
    qint64 lastKeyMs = kNever; // a key typed into the window
    qint64 nowMs = 0;
};

enum class TEventPage {
    Show, // switch to the chart page
    Keep, // keep the page; mark the chart's tab and say which event came
    Already, // the chart is shown already
};

inline TEventPage eventPage(const TEventPageState& s)
{
    if (s.onChart && !s.windowAway)
        return TEventPage::Already;
    if (!s.showOnEvent)
        return TEventPage::Keep;
    if (s.windowAway)
        return TEventPage::Show;
    const bool typing
        = s.lastKeyMs != TEventPageState::kNever && s.nowMs - s.lastKeyMs < TEventPageState::kTypingMs;
    return s.onListPage || typing ? TEventPage::Keep : TEventPage::Show;
}
