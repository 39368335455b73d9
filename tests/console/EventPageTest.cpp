// What a counted emergency event does to the pages, as a table: the design shows the chart; an
// operator on the archive or the journal, or typing in the last ten seconds, keeps the page;
// the option off keeps every page; a window that was away shows the chart when it comes back.
#include "console/core/EventPage.h"

#include <gtest/gtest.h>

TEST(EventPage, TheChartIsShownUnlessTheOperatorIsAtWork)
{
    constexpr qint64 now = 1'000'000;
    constexpr qint64 never = TEventPageState::kNever;
    struct Case {
        const char* name;
        TEventPageState state;
        TEventPage expected;
    };
    const Case cases[] = {
        {"terminal page, no typing", {true, false, false, false, never, now}, TEventPage::Show},
        {"archive or journal", {true, false, false, true, never, now}, TEventPage::Keep},
        {"typed just now", {true, false, false, false, now, now}, TEventPage::Keep},
        {"typed 9.999 s ago", {true, false, false, false, now - 9999, now}, TEventPage::Keep},
        {"typed 10 s ago", {true, false, false, false, now - 10000, now}, TEventPage::Show},
        {"option off", {false, false, false, false, never, now}, TEventPage::Keep},
        {"option off, window away", {false, true, false, false, never, now}, TEventPage::Keep},
        {"window away on the journal", {true, true, false, true, now, now}, TEventPage::Show},
        {"chart shown already", {true, false, true, false, now, now}, TEventPage::Already},
        {"chart shown, option off", {false, false, true, false, never, now}, TEventPage::Already},
    };
    for (const Case& c : cases)
        EXPECT_EQ(eventPage(c.state), c.expected) << c.name;
}
