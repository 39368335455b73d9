#pragma once
// The simulator's figures. Every answer the console owes is, at the end, either received,
// missing (not in within the answer timeout) or abandoned (still awaited when the line
// closed or the run was stopped); an "OK" with no record awaiting it is unexpected.

#include "CommandReader.h"
#include "ConsoleModel.h"
#include "Line.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace devsim {

struct RoundTrip {
    std::size_t count = 0;
    std::int64_t medianUs = 0, p99Us = 0, maxUs = 0, meanUs = 0;
};

// Nearest-rank median and 99th percentile; sorts its argument.
RoundTrip summarise(std::vector<std::int64_t>& samplesUs);

struct Stats {
    std::uint64_t seed = 0;
    std::string end; // count, duration, signal, peer-closed, hangup, error
    std::int64_t elapsedUs = 0;

    std::uint64_t records = 0; // well-formed records sent (CR written)
    std::array<std::uint64_t, 5> byKind{};
    std::uint64_t malformed = 0;
    std::array<std::uint64_t, 5> events{};
    std::uint64_t samples = 0;

    std::uint64_t answersExpected = 0, answersReceived = 0, answersMissing = 0, answersUnexpected = 0,
                  answersAbandoned = 0;
    std::vector<std::int64_t> roundTripsUs;

    std::array<std::uint64_t, static_cast<std::size_t>(Command::Count)> commands{};
    std::uint64_t unknownLines = 0;

    std::uint64_t bytesSent = 0, writes = 0;

    std::uint64_t lines() const { return records + malformed; }
    // 0 when every owed answer came and nothing else did, 1 otherwise.
    int exitCode() const { return answersMissing == 0 && answersUnexpected == 0 ? 0 : 1; }

    std::string text(const ConsoleModel& console) const;
    std::string json(const ConsoleModel& console) const;
};

} // namespace devsim
