// Termination signals reach the event loop as Received, and get their default action back
// when the object goes.

#include "console/core/TerminationSignals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(TerminationSignals, EachSignalArrivesOnTheEventLoop)
{
    std::vector<int> received;
    {
        TTerminationSignals signals_;
        ASSERT_TRUE(signals_.Installed());
        QObject::connect(&signals_, &TTerminationSignals::Received, [&](int s) { received.push_back(s); });
        for (int s : {SIGTERM, SIGINT, SIGHUP})
            ASSERT_EQ(::raise(s), 0);
        // The handler only wrote to the pipe: nothing arrives before the loop runs.
        EXPECT_TRUE(received.empty());
        QElapsedTimer t;
        t.start();
        while (received.size() < 3 && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGINT, SIGHUP}));
    }
    for (int s : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction now { };
        ASSERT_EQ(::sigaction(s, nullptr, &now), 0);
        EXPECT_EQ(now.sa_handler, SIG_DFL) << s;
    }
    // A second instance after the first works again.
    TTerminationSignals again;
    EXPECT_TRUE(again.Installed());
}

} // namespace
