#include "Simulator.h"
#include "Reference.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace devsim;
using Micros = Simulator::Micros;

namespace {

// Runs a simulator on a virtual clock: every offered chunk is written at once, and time
// jumps to the simulator's next wake-up when it offers nothing.
struct Driver {
    explicit Driver(Options o, std::uint64_t seed = 1)
        : options(std::move(o))
        , sim(options, seed, [this](const std::string& e) { log.push_back(e); })
    {
        sim.start(now);
    }

    // Runs until `done` holds, the run ends or the clock passes `until`; false on the last.
    template <typename Done> bool runUntil(Done done, Micros until = 60'000'000)
    {
        for (;;) {
            sim.advance(now);
            if (done())
                return true;
            sim.advance(now); // done() may have answered
            if (sim.finished() || sim.hangupDue())
                return false;
            const auto c = sim.chunk(now);
            if (!c.empty()) {
                wire.append(c);
                writes.emplace_back(now, c.size());
                sim.written(c.size(), now);
                continue;
            }
            const Micros w = sim.wakeup(now);
            if (w == Simulator::kNever || w > until)
                return false;
            now = w;
        }
    }
    bool runLines(std::size_t n)
    {
        return runUntil([&] { return lines() >= n; });
    }
    bool runToEnd()
    {
        return runUntil([&] { return sim.finished() || sim.hangupDue(); });
    }

    std::size_t lines() const { return static_cast<std::size_t>(std::count(wire.begin(), wire.end(), '\r')); }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> t;
        std::size_t at = 0;
        for (std::size_t cr; (cr = wire.find('\r', at)) != std::string::npos; at = cr + 1)
            t.push_back(wire.substr(at, cr - at));
        return t;
    }
    void answer(Micros after, int n = 1)
    {
        now += after;
        for (int i = 0; i < n; ++i)
            sim.received("OK\r\n", now);
    }
    // Answers every complete line as the console would, `delay` after it was written.
    void answerAll(Micros delay)
    {
        for (; answered < lines(); ++answered)
            answer(delay, reference::read(texts()[answered]).answers);
    }

    Options options;
    std::vector<std::string> log;
    Simulator sim;
    Micros now = 0;
    std::string wire;
    std::vector<std::pair<Micros, std::size_t>> writes;
    std::size_t answered = 0;
};

Options base()
{
    Options o;
    o.rate = 100;
    o.chunkMax = 0;
    o.lingerMs = 0;
    o.generator.weightTr = 0;
    o.generator.weightBurst = 0; // only W:VA unless a test asks for more
    return o;
}

TEST(Simulator, RoundTripIsMeasuredFromTheCarriageReturn)
{
    Options o = base();
    o.count = 3;
    Driver d(o);
    for (Micros rtt : {250, 400, 300}) {
        ASSERT_TRUE(d.runLines(d.answered + 1));
        d.answer(rtt);
        ++d.answered;
    }
    d.runToEnd();
    const auto& s = d.sim.stats();
    EXPECT_EQ(s.end, "count");
    EXPECT_EQ(s.answersExpected, 3u);
    EXPECT_EQ(s.answersReceived, 3u);
    EXPECT_EQ(s.roundTripsUs, (std::vector<Micros>{250, 400, 300}));
    EXPECT_EQ(s.exitCode(), 0);
}

TEST(Simulator, WindowHoldsTheNextRecordUntilAnswerOrTimeout)
{
    Options o = base();
    o.answerTimeoutMs = 50;
    o.count = 3;
    Driver d(o);
    ASSERT_TRUE(d.runLines(1));
    // Paced at 100/s the next line is due after 10 ms, but the first is still unanswered.
    EXPECT_FALSE(d.runUntil([&] { return d.lines() >= 2; }, 49'000));
    ASSERT_TRUE(d.runLines(2)); // the timeout frees the window
    EXPECT_GE(d.now, 50'000);
    EXPECT_EQ(d.sim.stats().answersMissing, 1u);
    d.answer(100);
    ASSERT_TRUE(d.runLines(3));
    d.answer(100);
    d.runToEnd();
    const auto& s = d.sim.stats();
    EXPECT_EQ(s.answersReceived, 2u);
    EXPECT_EQ(s.answersMissing, 1u);
    EXPECT_EQ(s.exitCode(), 1);
    EXPECT_NE(
        std::find_if(d.log.begin(), d.log.end(),
            [](const std::string& e) { return e.find("\"ev\":\"missing\",\"seq\":1") != std::string::npos; }),
        d.log.end());
}

TEST(Simulator, AnswerWithNothingAwaitedIsUnexpected)
{
    Options o = base();
    o.rate = 0; // only what commands ask for
    o.count = 1;
    o.lingerMs = 20;
    Driver d(o);
    d.sim.received("OK\r\n", d.now); // before anything was sent
    d.sim.received("t\xB0"
                   "C\r\n",
        d.now); // W:TR.../RK0: owes nothing
    ASSERT_TRUE(d.runLines(1));
    EXPECT_EQ(d.texts()[0].substr(0, 4), "W:TR");
    EXPECT_EQ(d.texts()[0].substr(d.texts()[0].size() - 4), "/RK0");
    d.answer(10); // a console that wrongly answers RK0
    d.runToEnd();
    EXPECT_EQ(d.sim.stats().answersUnexpected, 2u);
    EXPECT_EQ(d.sim.stats().answersExpected, 0u);
    EXPECT_EQ(d.sim.stats().commands[static_cast<int>(Command::Temperature)], 1u);
    EXPECT_EQ(d.sim.stats().exitCode(), 1);
}

TEST(Simulator, StrayAnswerWhileLingeringIsCounted)
{
    Options o = base();
    o.count = 1;
    o.lingerMs = 30;
    Driver d(o);
    ASSERT_TRUE(d.runLines(1));
    d.answer(10);
    d.sim.advance(d.now); // drained: lingering now
    d.answer(10);
    d.runToEnd();
    EXPECT_EQ(d.sim.stats().answersUnexpected, 1u);
    EXPECT_GE(d.now, 30'000);
}

TEST(Simulator, ResetRecordOwesOneAnswerPerSubCommand)
{
    Options o = base();
    o.rate = 0;
    o.answerTimeoutMs = 20;
    Driver d(o);
    d.sim.received("RESTART\r\n", 0);
    ASSERT_TRUE(d.runLines(1));
    EXPECT_EQ(d.texts()[0], "W:RS+RALL");
    d.answer(10);
    EXPECT_EQ(d.sim.stats().answersReceived, 1u);

    Options multi = base();
    multi.answerTimeoutMs = 20;
    multi.generator.weightVa = 0;
    multi.generator.weightRs = 1;
    multi.count = 30;
    Driver m(multi, 3);
    ASSERT_TRUE(m.runLines(1));
    const int owed = reference::read(m.texts()[0]).answers;
    m.answer(10, owed - 1); // one short
    m.runUntil([&] { return m.sim.stats().answersMissing > 0; });
    EXPECT_EQ(m.sim.stats().answersMissing, 1u);
    EXPECT_EQ(m.sim.stats().answersReceived, static_cast<std::uint64_t>(owed - 1));
}

TEST(Simulator, CommandsProduceTheirRecords)
{
    Options o = base();
    o.rate = 0;
    Driver d(o);
    d.sim.received("DIAGNOSTIC\r\nINVERTER\r\nrectifier\rVcc\nIt\r\n", 0);
    ASSERT_TRUE(d.runUntil([&] {
        d.answerAll(5);
        return d.lines() >= 11;
    }));
    const auto t = d.texts();
    EXPECT_EQ(t[0].substr(0, 4), "W:VA");
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(t[1 + i].substr(t[1 + i].size() - 3), std::string(kEventNames[i]));
    EXPECT_EQ(t[6].substr(t[6].size() - 4), "/RK0");
    for (int i = 7; i < 11; ++i)
        EXPECT_EQ(t[i].substr(0, 4), "W:VA");
    EXPECT_EQ(d.sim.console().counters, (std::array<std::uint16_t, 5>{1, 1, 1, 1, 1}));
    d.sim.received("RESTART\r\n", d.now);
    ASSERT_TRUE(d.runLines(12));
    EXPECT_EQ(d.sim.console().counters, (std::array<std::uint16_t, 5>{}));
    EXPECT_EQ(d.sim.console().voltage, "0");
}

TEST(Simulator, IdleWaitsForPuskThenStreams)
{
    Options o = base();
    o.idle = true;
    o.generator.burstSamples = 40;
    Driver d(o);
    EXPECT_FALSE(d.runUntil([&] { return d.lines() > 0; }, 500'000));
    d.sim.received("PUSK\r", d.now);
    ASSERT_TRUE(d.runUntil([&] {
        d.answerAll(5);
        return d.lines() >= 12;
    }));
    const auto t = d.texts();
    EXPECT_EQ(t[0], "W:RS+ROSC");
    EXPECT_EQ(t[1].substr(0, 4), "W:SC");
    std::size_t i = 2;
    while (i < t.size() && t[i].substr(0, 4) == "W:ST")
        ++i;
    EXPECT_GE(i, 4u); // 40 samples take at least two records
    EXPECT_EQ(t.back().substr(0, 4), "W:VA"); // then the stream
}

TEST(Simulator, WritesAreSplitWithPausesAndKeepEveryByte)
{
    Options o = base();
    o.chunkMax = 5;
    o.splitGapUs = 300;
    o.count = 40;
    o.generator.weightTr = 4;
    o.generator.weightBurst = 1;
    o.generator.eventRate = 0.5;
    Driver d(o, 9);
    d.runUntil([&] {
        d.answerAll(20);
        return d.sim.finished();
    });
    ASSERT_TRUE(d.sim.finished());
    std::size_t crossing = 0, at = 0;
    Micros lastEnd = -1;
    for (std::size_t i = 0; i < d.writes.size(); ++i) {
        const auto [t, n] = d.writes[i];
        EXPECT_GE(n, 1u);
        EXPECT_LE(n, 5u);
        // A piece that does not end a line is followed by the pause.
        if (i > 0 && d.wire[at - 1] != '\r') {
            EXPECT_GE(t - lastEnd, 300);
        }
        at += n;
        lastEnd = t;
        crossing += d.wire[at - 1] != '\r';
    }
    EXPECT_GT(crossing, 40u);
    EXPECT_EQ(d.texts().size(), 40u);
    EXPECT_EQ(d.sim.stats().bytesSent, d.wire.size());
    EXPECT_EQ(d.sim.stats().answersMissing, 0u);
    EXPECT_EQ(d.sim.stats().answersUnexpected, 0u);

    // The split points do not change the lines: without splitting the same seed sends the same.
    Options whole = o;
    whole.chunkMax = 0;
    Driver w(whole, 9);
    w.runUntil([&] {
        w.answerAll(20);
        return w.sim.finished();
    });
    EXPECT_EQ(w.wire, d.wire);
}

TEST(Simulator, HangUpAfterNLinesOrInsideTheNext)
{
    for (const bool mid : {false, true}) {
        SCOPED_TRACE(mid ? "mid-record" : "after the CR");
        Options o = base();
        o.flood = true; // the following line is already queued when line N goes out
        o.chunkMax = 64;
        o.hangupAfter = 5;
        o.hangupMid = mid;
        o.hangupGraceMs = 40;
        Driver d(o, 4);
        ASSERT_TRUE(d.runLines(5));
        EXPECT_FALSE(d.sim.hangupDue()); // the console has not answered yet
        d.runUntil([&] { return d.sim.hangupDue(); }, 1'000);
        EXPECT_FALSE(d.sim.hangupDue());
        d.answerAll(100);
        const Micros answeredAt = d.now;
        d.runToEnd();
        ASSERT_TRUE(d.sim.hangupDue());
        EXPECT_EQ(d.now, answeredAt + 40'000);
        EXPECT_EQ(d.lines(), 5u);
        const std::string tail = d.wire.substr(d.wire.rfind('\r') + 1);
        if (mid) {
            EXPECT_FALSE(tail.empty());
            EXPECT_EQ(tail.substr(0, 1), "W");
        } else {
            EXPECT_TRUE(tail.empty());
        }
        d.sim.stop("hangup", d.now);
        const auto& s = d.sim.stats();
        EXPECT_EQ(s.lines(), 5u);
        EXPECT_EQ(s.answersReceived, 5u);
        EXPECT_EQ(s.answersAbandoned, 0u);
        EXPECT_EQ(s.exitCode(), 0);
    }
}

TEST(Simulator, HangUpWaitsNoLongerThanTheAnswerTimeout)
{
    Options o = base();
    o.hangupAfter = 2;
    o.hangupGraceMs = 0;
    o.answerTimeoutMs = 30;
    o.window = 0;
    Driver d(o);
    d.runToEnd();
    ASSERT_TRUE(d.sim.hangupDue());
    EXPECT_EQ(d.lines(), 2u);
    EXPECT_EQ(d.sim.stats().answersMissing, 2u);
    EXPECT_EQ(d.sim.stats().exitCode(), 1);
}

TEST(Simulator, FloodKeepsManyAnswersOutstandingAndMatchesThemInOrder)
{
    Options o = base();
    o.flood = true;
    o.count = 200;
    o.chunkMax = 32;
    Driver d(o);
    ASSERT_TRUE(d.runLines(200));
    EXPECT_EQ(d.now, 0); // no pacing, no pauses
    d.answerAll(1);
    d.runToEnd();
    const auto& s = d.sim.stats();
    EXPECT_EQ(s.answersReceived, 200u);
    EXPECT_EQ(s.roundTripsUs.front(), 1);
    EXPECT_EQ(s.roundTripsUs.back(), 200);
}

TEST(Simulator, CrLfLineEnds)
{
    Options o = base();
    o.crlf = true;
    o.count = 3;
    Driver d(o);
    d.runUntil([&] {
        d.answerAll(10);
        return d.sim.finished();
    });
    EXPECT_EQ(d.sim.stats().answersReceived, 3u);
    const auto t = d.texts();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(d.wire, t[0] + "\r\n" + t[1].substr(1) + "\r\n" + t[2].substr(1) + "\r\n");
}

TEST(Simulator, AnAnswerBeforeTheLineFeedIsOwedToTheLine)
{
    // The console answers at the CR; written a byte at a time, the LF comes after it.
    Options o = base();
    o.crlf = true;
    o.count = 4;
    o.chunkMax = 1;
    o.answerTimeoutMs = 0;
    Driver d(o);
    d.runUntil([&] {
        d.answerAll(10);
        return d.sim.finished();
    });
    const auto& s = d.sim.stats();
    EXPECT_EQ(s.answersExpected, 4u);
    EXPECT_EQ(s.answersReceived, 4u);
    EXPECT_EQ(s.answersUnexpected, 0u);
    EXPECT_EQ(s.answersMissing, 0u);
    EXPECT_EQ(s.end, "count");
}

TEST(Simulator, DurationEndsTheRun)
{
    Options o = base();
    o.duration = 0.2;
    Driver d(o);
    d.runUntil([&] {
        d.answerAll(100);
        return d.sim.finished();
    });
    EXPECT_EQ(d.sim.stats().end, "duration");
    EXPECT_EQ(d.sim.stats().lines(), 20u); // 100 lines/s for 0.2 s
}

TEST(Simulator, StopAbandonsWhatIsAwaitedAndDropsPartialLines)
{
    Options o = base();
    o.chunkMax = 3;
    o.splitGapUs = 1000;
    o.window = 0; // the second line goes out while the first is still awaited
    Driver d(o);
    ASSERT_TRUE(d.runLines(1));
    d.runUntil([&] { return d.wire.back() != '\r'; });
    d.sim.stop("signal", d.now);
    const auto& s = d.sim.stats();
    EXPECT_EQ(s.lines(), 1u);
    EXPECT_EQ(s.answersAbandoned, 1u);
    EXPECT_EQ(s.end, "signal");
    EXPECT_TRUE(d.sim.chunk(d.now).empty());
}

TEST(Simulator, RecordLogDescribesEachLine)
{
    Options o = base();
    o.rate = 0;
    o.generator.burstSamples = 30;
    Driver d(o);
    d.sim.received("PUSK\r", 0);
    d.runUntil([&] {
        d.answerAll(5);
        return d.lines() >= 5;
    });
    std::vector<std::string> records;
    for (const auto& e : d.log)
        if (e.find("\"ev\":\"record\"") != std::string::npos)
            records.push_back(e);
    ASSERT_GE(records.size(), 4u);
    EXPECT_NE(records[0].find("\"seq\":1,"), std::string::npos);
    EXPECT_NE(records[0].find("\"resets\":[\"+ROSC\"]"), std::string::npos);
    EXPECT_NE(records[2].find("\"first\":0,"), std::string::npos);
    EXPECT_NE(records[3].find("\"seq\":4,"), std::string::npos);
}

} // namespace
