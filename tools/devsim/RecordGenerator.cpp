#include "RecordGenerator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace devsim {

namespace {

std::string num(double v)
{
    return std::to_string(static_cast<long>(std::lround(v)));
}

Line stLine(std::vector<std::int32_t> samples)
{
    Line line;
    line.kind = Kind::ST;
    line.expect = 1;
    line.text = "W:ST";
    for (const auto s : samples)
        line.text += std::to_string(s) + ";";
    line.text += "*";
    line.samples = std::move(samples);
    return line;
}

} // namespace

RecordGenerator::RecordGenerator(std::uint64_t seed, const GeneratorOptions& options)
    : options_(options)
    , rng_(seed)
{
}

void RecordGenerator::drift()
{
    phase_ += 0.3 + rng_.real() * 0.9;
    temperature_ = std::clamp(temperature_ + (rng_.real() - 0.48) * 3.0, 20.0, 99.0);
    current_ = std::clamp(current_ + (rng_.real() - 0.5) * 2.0, 0.0, 40.0);
}

Line RecordGenerator::va()
{
    drift();
    Line line;
    line.kind = Kind::VA;
    line.expect = 1;
    if (unit_ == Unit::Inverter)
        line.voltage = num(311.0 * std::sin(phase_) + (rng_.real() - 0.5) * 8.0);
    else
        line.voltage = num(300.0 + (rng_.real() - 0.5) * 30.0);
    line.current = num(current_);
    line.text = "W:VA" + line.voltage + "/" + line.current;
    return line;
}

Line RecordGenerator::tr(int eventIndex)
{
    drift();
    Line line;
    line.kind = Kind::TR;
    line.temperature = num(temperature_);
    line.event = eventIndex < 0 ? "RK0" : std::string(kEventNames[static_cast<std::size_t>(eventIndex)]);
    line.expect = eventIndex < 0 ? 0 : 1;
    line.text = "W:TR" + line.temperature + "/" + line.event;
    return line;
}

Line RecordGenerator::sc()
{
    static constexpr char kY[] = {'A', 'V', 'T'};
    static constexpr char kX[] = {'m', 'u', 's'};
    static constexpr std::int32_t kScales[] = {1, 2, 5, 10};
    Line line;
    line.kind = Kind::SC;
    line.expect = 1;
    // The byte after the type is skipped by the console; the device puts its channel there.
    const char channel = static_cast<char>('1' + rng_.uniform(0, 3));
    line.yUnit = kY[rng_.uniform(0, 2)];
    line.xUnit = kX[rng_.uniform(0, 2)];
    line.scale = kScales[rng_.uniform(0, 3)];
    line.text = std::string("W:SC") + channel + line.yUnit + line.xUnit + std::to_string(line.scale);
    return line;
}

Line RecordGenerator::rs(unsigned resets)
{
    Line line;
    line.kind = Kind::RS;
    line.resets = resets;
    line.text = "W:RS";
    for (std::size_t i = 0; i < kResetTexts.size(); ++i) {
        if (resets & (1u << i)) {
            line.text += kResetTexts[i];
            ++line.expect;
        }
    }
    return line;
}

std::vector<Line> RecordGenerator::capture()
{
    std::vector<Line> lines;
    if (options_.scopeResetBeforeBurst)
        lines.push_back(rs(ResetScope));
    lines.push_back(sc());

    // A fault transient: a quiet pre-trigger stretch, then a step with a damped ringing.
    const int n = std::max(1, options_.burstSamples);
    const int trigger = n / 8;
    const double amplitude = static_cast<double>(rng_.uniform(200, 1000));
    const double tau = static_cast<double>(rng_.uniform(12, 40));
    const double period = static_cast<double>(rng_.uniform(8, 20));
    const double sign = rng_.chance(0.5) ? 1.0 : -1.0;
    std::vector<std::int32_t> wave;
    wave.reserve(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        double y = (rng_.real() - 0.5) * 6.0;
        if (k >= trigger) {
            const double t = k - trigger;
            y += sign * amplitude * std::exp(-t / tau)
                * (std::sin(2.0 * std::numbers::pi * t / period) + 0.3 * std::exp(-t / (tau * 0.3)));
        }
        wave.push_back(static_cast<std::int32_t>(std::lround(y)));
    }
    for (std::size_t at = 0; at < wave.size();) {
        const auto take
            = std::min<std::size_t>(static_cast<std::size_t>(rng_.uniform(6, 20)), wave.size() - at);
        lines.push_back(stLine({wave.begin() + static_cast<std::ptrdiff_t>(at),
            wave.begin() + static_cast<std::ptrdiff_t>(at + take)}));
        at += take;
    }
    return lines;
}

std::vector<Line> RecordGenerator::diagnostic()
{
    std::vector<Line> lines{va()};
    for (int i = 0; i < static_cast<int>(kEventNames.size()); ++i)
        lines.push_back(tr(i));
    lines.push_back(tr(-1));
    return lines;
}

Line RecordGenerator::malformed()
{
    Line line;
    switch (rng_.uniform(0, 5)) {
    case 0:
        line.malformed = "noprefix"; // a line without "W:" is dropped whole
        line.text = "ERR " + std::to_string(rng_.uniform(1, 99)) + " ?? no record here";
        break;
    case 1:
        line.malformed = "unknown"; // unknown record type
        line.text = "W:QX" + std::to_string(rng_.uniform(0, 999));
        break;
    case 2:
        line.malformed = "lowercase"; // types are compared exactly
        line.text = "W:va" + std::to_string(rng_.uniform(0, 300)) + "/" + std::to_string(rng_.uniform(0, 9));
        break;
    case 3:
        line.malformed = "empty"; // "W:" and nothing else
        line.text = "W:";
        break;
    case 4:
        line.malformed = "latin-t"; // +RVA with a Latin T is no reset
        line.text = "W:RS+RVAT";
        break;
    default: {
        // Noise in front of "W:" is ignored; the record itself stands and is answered.
        Line record = va();
        record.malformed = "noise";
        record.text = "#~ x" + record.text;
        return record;
    }
    }
    return line;
}

std::vector<Line> RecordGenerator::stream()
{
    if (options_.malformedRate > 0 && rng_.chance(options_.malformedRate))
        return {malformed()};
    const int total = options_.weightVa + options_.weightTr + options_.weightBurst + options_.weightRs;
    if (total <= 0)
        return {va()};
    std::int64_t pick = rng_.uniform(0, total - 1);
    if ((pick -= options_.weightVa) < 0)
        return {va()};
    if ((pick -= options_.weightTr) < 0) {
        const bool event = rng_.chance(options_.eventRate);
        std::vector<Line> lines{tr(event ? static_cast<int>(rng_.uniform(0, 4)) : -1)};
        if (event && options_.burstAfterEvent) {
            auto more = capture();
            lines.insert(lines.end(), more.begin(), more.end());
        }
        return lines;
    }
    if ((pick -= options_.weightBurst) < 0)
        return capture();
    // Any non-empty set of the four sub-commands; +RALL+ROSC and the like owe two answers.
    return {rs(static_cast<unsigned>(rng_.uniform(1, 15)))};
}

} // namespace devsim
