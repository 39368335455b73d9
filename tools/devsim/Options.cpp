#include "Options.h"

#include <charconv>
#include <cstdlib>
#include <functional>
#include <map>

namespace devsim {

const char* const kUsage = R"(usage: orvik-devsim [options]
Simulates the diagnostic device on a pseudo-terminal (its path is printed first as
"PORT <path>") or on a serial device. Options (a value may also follow "="):
  --device PATH         use this serial device instead of a pseudo-terminal
  --baud N              line speed of --device (115200)
  --seed N              seed of the generator (default: from the clock, printed)
  --rate R              lines per second (10); 0 sends only what commands ask for
  --count N             stop after N lines         --duration S   stop after S seconds
  --flood               send as fast as the line takes (no pacing, no window, no gaps)
  --window N            records awaiting an answer at most (1; 0 = unlimited)
  --answer-timeout MS   an answer not in after MS counts as missing (1000; 0 = never)
  --malformed P         share of stream lines replaced by malformed lines (0)
  --events P            share of W:TR records carrying an emergency event (0.1)
  --mix va=W,tr=W,burst=W,rs=W   weights of the stream (5,4,1,0)
  --burst-samples N     samples per transient capture (96)
  --no-capture-on-event an emergency event is not followed by a capture
  --no-scope-reset      captures do not begin with W:RS+ROSC
  --chunk-max N         largest single write (16); 0 = whole lines
  --split-gap-us N      pause between the pieces of a line (500; 0 with --flood)
  --hangup-after N      close the line after N lines   --hangup-mid  ...inside line N+1
  --hangup-grace MS     wait after the last owed answer before closing (100)
  --idle                send nothing spontaneously until PUSK
  --crlf                end every line with CR LF instead of CR
  --start-delay MS      wait after the console opens the line (200)
  --linger MS           listen for stray answers before ending (100)
  --reconnect           wait for the console again when it closes the line
  --reopen              after the hang-up, open a new pseudo-terminal and wait again
  --link PATH           keep a symbolic link at PATH to the pseudo-terminal (printed as
                        the port), re-pointed when the line is reopened
  --record-log FILE     write every line sent and every answer as JSON lines
  --json                print the figures as one JSON object
  --quiet               no progress messages on stderr
  --version             print the version and end
)";

namespace {

template <typename T> bool number(const std::string& text, T& value)
{
    const char* end = text.data() + text.size();
    if constexpr (std::is_floating_point_v<T>) {
        char* stop = nullptr;
        value = static_cast<T>(std::strtod(text.c_str(), &stop));
        return !text.empty() && stop == end;
    } else {
        const auto [ptr, ec] = std::from_chars(text.data(), end, value);
        return ec == std::errc() && ptr == end;
    }
}

bool parseMix(const std::string& text, GeneratorOptions& g)
{
    std::map<std::string, int*> keys{
        {"va", &g.weightVa}, {"tr", &g.weightTr}, {"burst", &g.weightBurst}, {"rs", &g.weightRs}};
    std::size_t at = 0;
    while (at <= text.size()) {
        const auto comma = std::min(text.find(',', at), text.size());
        const auto item = text.substr(at, comma - at);
        const auto eq = item.find('=');
        if (eq == std::string::npos)
            return false;
        const auto key = keys.find(item.substr(0, eq));
        int weight = 0;
        if (key == keys.end() || !number(item.substr(eq + 1), weight) || weight < 0)
            return false;
        *key->second = weight;
        at = comma + 1;
    }
    return true;
}

} // namespace

std::string parseOptions(const std::vector<std::string>& args, Options& o)
{
    using Setter = std::function<bool(const std::string&)>;
    auto nonNegative = [](auto& field) {
        return [&field](const std::string& v) { return number(v, field) && field >= 0; };
    };
    auto share = [](double& field) {
        return [&field](const std::string& v) { return number(v, field) && field >= 0.0 && field <= 1.0; };
    };
    const std::map<std::string, Setter> valued{
        {"--device", [&](const std::string& v) { return !(o.device = v).empty(); }},
        {"--baud", [&](const std::string& v) { return number(v, o.baud) && o.baud > 0; }},
        {"--seed",
            [&](const std::string& v) {
                std::uint64_t s = 0;
                return number(v, s) && (o.seed = s, true);
            }},
        {"--rate", nonNegative(o.rate)},
        {"--count", nonNegative(o.count)},
        {"--duration", nonNegative(o.duration)},
        {"--window",
            [&](const std::string& v) {
                int w = 0;
                return number(v, w) && w >= 0 && (o.window = w, true);
            }},
        {"--answer-timeout", nonNegative(o.answerTimeoutMs)},
        {"--malformed", share(o.generator.malformedRate)},
        {"--events", share(o.generator.eventRate)},
        {"--mix", [&](const std::string& v) { return parseMix(v, o.generator); }},
        {"--burst-samples",
            [&](const std::string& v) {
                return number(v, o.generator.burstSamples) && o.generator.burstSamples > 0;
            }},
        {"--chunk-max", nonNegative(o.chunkMax)},
        {"--split-gap-us",
            [&](const std::string& v) {
                int g = 0;
                return number(v, g) && g >= 0 && (o.splitGapUs = g, true);
            }},
        {"--hangup-after",
            [&](const std::string& v) { return number(v, o.hangupAfter) && o.hangupAfter > 0; }},
        {"--hangup-grace", nonNegative(o.hangupGraceMs)},
        {"--start-delay", nonNegative(o.startDelayMs)},
        {"--linger", nonNegative(o.lingerMs)},
        {"--record-log", [&](const std::string& v) { return !(o.recordLog = v).empty(); }},
        {"--link", [&](const std::string& v) { return !(o.link = v).empty(); }},
    };
    const std::map<std::string, bool*> flags{{"--flood", &o.flood}, {"--hangup-mid", &o.hangupMid},
        {"--idle", &o.idle}, {"--crlf", &o.crlf}, {"--reconnect", &o.reconnect}, {"--reopen", &o.reopen},
        {"--json", &o.json}, {"--quiet", &o.quiet}, {"--help", &o.help}, {"--version", &o.version}};
    bool noCapture = false, noScopeReset = false;
    const std::map<std::string, bool*> negations{
        {"--no-capture-on-event", &noCapture}, {"--no-scope-reset", &noScopeReset}};

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (const auto f = flags.find(name); f != flags.end() && !value) {
            *f->second = true;
            continue;
        }
        if (const auto f = negations.find(name); f != negations.end() && !value) {
            *f->second = true;
            continue;
        }
        const auto v = valued.find(name);
        if (v == valued.end())
            return "unknown option: " + args[i];
        if (!value) {
            if (i + 1 >= args.size())
                return "missing value for " + name;
            value = args[++i];
        }
        if (!v->second(*value))
            return "bad value for " + name + ": " + *value;
    }
    if (noCapture)
        o.generator.burstAfterEvent = false;
    if (noScopeReset)
        o.generator.scopeResetBeforeBurst = false;
    if (o.hangupMid && o.hangupAfter == 0)
        return "--hangup-mid needs --hangup-after";
    if (o.reopen && o.hangupAfter == 0)
        return "--reopen needs --hangup-after";
    if (!o.device.empty() && (o.reopen || !o.link.empty()))
        return "--reopen and --link work on a pseudo-terminal, not with --device";
    return {};
}

} // namespace devsim
