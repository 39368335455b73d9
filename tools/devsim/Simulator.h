#pragma once
// The device's behaviour without any I/O: it is told the time, what arrived and how much of
// its output was written, and says what to write next and when it next needs the clock.
// The program wires it to a pseudo-terminal; the tests drive it directly.

#include "CommandReader.h"
#include "ConsoleModel.h"
#include "Line.h"
#include "Options.h"
#include "RecordGenerator.h"
#include "Rng.h"
#include "Stats.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

namespace devsim {

class Simulator {
public:
    using Micros = std::int64_t;
    static constexpr Micros kNever = std::numeric_limits<Micros>::max();
    using LogSink = std::function<void(const std::string&)>;

    Simulator(const Options& options, std::uint64_t seed, LogSink log = {});

    // The console is there: pacing (and the duration) start now. Called again after a
    // reconnection.
    void start(Micros now);
    void received(std::string_view bytes, Micros now);
    // What to write now; empty while nothing is due (a pause between the pieces of a line).
    std::string_view chunk(Micros now);
    void written(std::size_t n, Micros now);
    // Times out answers, queues due lines and moves towards the end.
    void advance(Micros now);
    // The next moment advance() has something to do, kNever if only input can wake it.
    Micros wakeup(Micros now) const;

    // The line must be closed now (--hangup-after); the caller closes it and calls stop().
    bool hangupDue() const { return hangupDue_; }
    // Ends the run: answers still awaited are abandoned, unsent output is dropped.
    void stop(const std::string& reason, Micros now);
    // The console closed the line and --reconnect waits for it again.
    void peerLost(Micros now);
    // The simulator closed the line for --hangup-after and opened a new one (--reopen): it
    // waits for the console again and does not hang up a second time.
    void reopened(Micros now);
    bool finished() const { return state_ == State::Finished; }

    const Stats& stats() const { return stats_; }
    const ConsoleModel& console() const { return console_; }

private:
    enum class State { Waiting, Running, Draining, Lingering, Finished };
    struct Queued {
        Line line;
        std::uint64_t start, end; // stream offsets of its first byte and past its CR
    };
    struct Pending {
        std::uint64_t seq;
        Micros sentAt;
        int remaining;
    };

    bool paced() const { return options_.rate > 0 && !options_.flood; }
    bool streaming() const { return !pausedUntilPusk_ && (options_.rate > 0 || options_.flood); }
    std::size_t awaiting() const { return pending_.size() + queuedAwaiting_; }
    void release(Micros now);
    void queueLine(Line line);
    void lineSent(const Queued& q, Micros now);
    void expireAnswers(Micros now);
    void abandon(Micros now);
    void command(Command c);
    void log(const std::string& entry);

    Options options_;
    LogSink log_;
    RecordGenerator generator_;
    Rng splitRng_;
    CommandReader reader_;
    ConsoleModel console_;
    Stats stats_;

    State state_ = State::Waiting;
    std::string drainReason_;
    bool everStarted_ = false;
    bool pausedUntilPusk_;
    Micros startedAt_ = 0, durationEnd_ = kNever, nextDue_ = 0, lingerEnd_ = 0, periodUs_ = 0;
    Micros timeoutUs_;

    std::deque<Line> commandLines_, streamLines_;
    std::deque<Queued> queue_;
    std::size_t queuedAwaiting_ = 0;
    std::int64_t linesQueued_ = 0;
    std::string out_;
    std::uint64_t outBase_ = 0; // stream offset of out_[0]
    std::size_t chunkLeft_ = 0;
    Micros nextChunkAt_ = 0;
    std::deque<Pending> pending_;

    static constexpr std::uint64_t kNoCut = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t cutAt_ = kNoCut;
    bool cutReached_ = false;
    std::string cutPartial_;
    Micros hangupAt_ = kNever;
    bool hangupDue_ = false;
    bool hungUp_ = false; // the one hang-up is behind us
};

} // namespace devsim
