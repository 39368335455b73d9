#include "Stats.h"

#include "Json.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace devsim {

RoundTrip summarise(std::vector<std::int64_t>& samplesUs)
{
    RoundTrip r;
    r.count = samplesUs.size();
    if (samplesUs.empty())
        return r;
    std::sort(samplesUs.begin(), samplesUs.end());
    auto rank = [&](double q) {
        auto k = static_cast<std::size_t>(q * static_cast<double>(r.count) + 0.999999999);
        return samplesUs[std::clamp<std::size_t>(k, 1, r.count) - 1];
    };
    r.medianUs = rank(0.5);
    r.p99Us = rank(0.99);
    r.maxUs = samplesUs.back();
    r.meanUs = std::accumulate(samplesUs.begin(), samplesUs.end(), std::int64_t{0})
        / static_cast<std::int64_t>(r.count);
    return r;
}

namespace {

std::string ms(std::int64_t us)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", static_cast<double>(us) / 1000.0);
    return buf;
}

} // namespace

std::string Stats::text(const ConsoleModel& console) const
{
    auto rt = roundTripsUs;
    const auto r = summarise(rt);
    std::string out;
    out += "END " + end + "\n";
    out += "SEED " + std::to_string(seed) + "\n";
    out += "ELAPSED_MS " + ms(elapsedUs) + "\n";
    out += "RECORDS " + std::to_string(records);
    for (std::size_t i = 0; i < byKind.size(); ++i)
        out += " " + std::string(kKindNames[i]) + "=" + std::to_string(byKind[i]);
    out += " MALFORMED=" + std::to_string(malformed) + " SAMPLES=" + std::to_string(samples) + "\n";
    out += "EVENTS";
    for (std::size_t i = 0; i < events.size(); ++i)
        out += " " + std::string(kEventNames[i]) + "=" + std::to_string(events[i]);
    out += "\n";
    out += "ANSWERS expected=" + std::to_string(answersExpected) + " received="
        + std::to_string(answersReceived) + " missing=" + std::to_string(answersMissing) + " unexpected="
        + std::to_string(answersUnexpected) + " abandoned=" + std::to_string(answersAbandoned) + "\n";
    out += "RTT_MS n=" + std::to_string(r.count) + " median=" + ms(r.medianUs) + " p99=" + ms(r.p99Us)
        + " max=" + ms(r.maxUs) + "\n";
    out += "COMMANDS";
    for (std::size_t i = 0; i < commands.size(); ++i)
        out += " " + std::string(kCommandNames[i]) + "=" + std::to_string(commands[i]);
    out += " UNKNOWN=" + std::to_string(unknownLines) + "\n";
    out += "BYTES " + std::to_string(bytesSent) + " WRITES " + std::to_string(writes) + "\n";
    out += "CONSOLE";
    for (std::size_t i = 0; i < console.counters.size(); ++i)
        out += " " + std::string(kEventNames[i]) + "=" + std::to_string(console.counters[i]);
    out += " samples=" + std::to_string(console.samples) + " scale=" + std::to_string(console.scale) + "\n";
    return out;
}

std::string Stats::json(const ConsoleModel& console) const
{
    auto rt = roundTripsUs;
    const auto r = summarise(rt);
    auto obj = [](auto names, const auto& values) {
        std::string s = "{";
        for (std::size_t i = 0; i < values.size(); ++i)
            s += (i ? "," : "") + json::quote(names[i]) + ":" + std::to_string(values[i]);
        return s + "}";
    };
    std::string s = "{";
    s += "\"end\":" + json::quote(end);
    s += ",\"seed\":" + std::to_string(seed);
    s += ",\"elapsed_us\":" + std::to_string(elapsedUs);
    s += ",\"lines\":" + std::to_string(lines());
    s += ",\"records\":" + std::to_string(records);
    s += ",\"by_type\":" + obj(kKindNames, byKind);
    s += ",\"malformed\":" + std::to_string(malformed);
    s += ",\"samples\":" + std::to_string(samples);
    s += ",\"events\":" + obj(kEventNames, events);
    s += ",\"answers\":{\"expected\":" + std::to_string(answersExpected) + ",\"received\":"
        + std::to_string(answersReceived) + ",\"missing\":" + std::to_string(answersMissing)
        + ",\"unexpected\":" + std::to_string(answersUnexpected)
        + ",\"abandoned\":" + std::to_string(answersAbandoned) + "}";
    s += ",\"rtt_us\":{\"count\":" + std::to_string(r.count) + ",\"median\":" + std::to_string(r.medianUs)
        + ",\"p99\":" + std::to_string(r.p99Us) + ",\"max\":" + std::to_string(r.maxUs)
        + ",\"mean\":" + std::to_string(r.meanUs) + "}";
    s += ",\"commands\":" + obj(kCommandNames, commands);
    s += ",\"unknown_lines\":" + std::to_string(unknownLines);
    s += ",\"bytes\":" + std::to_string(bytesSent) + ",\"writes\":" + std::to_string(writes);
    s += ",\"console\":{\"counters\":" + obj(kEventNames, console.counters);
    s += ",\"voltage\":" + json::quote(console.voltage) + ",\"current\":" + json::quote(console.current)
        + ",\"temperature\":" + json::quote(console.temperature) + ",\"y_title\":"
        + json::quote(console.yTitle) + ",\"x_title\":" + json::quote(console.xTitle) + ",\"scale\":"
        + std::to_string(console.scale) + ",\"samples\":" + std::to_string(console.samples) + "}";
    return s + "}";
}

} // namespace devsim
