#pragma once
// The simulator's command line.

#include "RecordGenerator.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace devsim {

struct Options {
    std::string device; // empty: create a pseudo-terminal
    int baud = 115200;
    std::optional<std::uint64_t> seed; // none: taken from the clock and printed
    double rate = 10.0; // lines per second; 0: only what commands ask for
    std::int64_t count = 0; // lines to send, 0: no limit
    double duration = 0.0; // seconds of sending, 0: no limit
    bool flood = false;
    std::optional<int> window; // records awaiting an answer at most; default 1, unlimited with --flood
    int answerTimeoutMs = 1000; // 0: wait for ever
    int chunkMax = 16; // largest write; 0: lines are not split
    std::optional<int> splitGapUs; // pause between the pieces of a line; default 500, 0 with --flood
    std::int64_t hangupAfter = 0;
    bool hangupMid = false;
    int hangupGraceMs = 100; // after the last owed answer, before the line is closed
    bool crlf = false; // end records with CR LF (the console takes the LF as leading text)
    bool idle = false; // stream paused until PUSK
    int startDelayMs = 200;
    int lingerMs = 100;
    bool reconnect = false;
    bool reopen = false; // after --hangup-after: a new pseudo-terminal, the console awaited again
    std::string link; // a symbolic link kept pointing at the current pseudo-terminal
    std::string recordLog;
    bool json = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    GeneratorOptions generator;

    int effectiveWindow() const { return window ? *window : (flood ? 0 : 1); }
    int effectiveSplitGapUs() const { return splitGapUs ? *splitGapUs : (flood ? 0 : 500); }
};

// Returns an error message, empty when the arguments are good.
std::string parseOptions(const std::vector<std::string>& args, Options& options);

extern const char* const kUsage;

} // namespace devsim
