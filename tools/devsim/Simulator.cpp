#include "Simulator.h"

#include "Json.h"

#include <algorithm>

namespace devsim {

namespace {

constexpr std::size_t kHighWater = 4096; // queued output kept ahead of the line in flood mode

std::string samplesJson(const std::vector<std::int32_t>& samples)
{
    std::string s = "[";
    for (std::size_t i = 0; i < samples.size(); ++i)
        s += (i ? "," : "") + std::to_string(samples[i]);
    return s + "]";
}

} // namespace

Simulator::Simulator(const Options& options, std::uint64_t seed, LogSink log)
    : options_(options)
    , log_(std::move(log))
    , generator_(seed, options.generator)
    , splitRng_(seed ^ 0x5EEDC0FFEEull)
    , pausedUntilPusk_(options.idle)
    , timeoutUs_(static_cast<Micros>(options.answerTimeoutMs) * 1000)
{
    stats_.seed = seed;
    if (options_.rate > 0)
        periodUs_ = std::max<Micros>(1, static_cast<Micros>(1e6 / options_.rate));
}

void Simulator::log(const std::string& entry)
{
    if (log_)
        log_(entry);
}

void Simulator::start(Micros now)
{
    if (state_ != State::Waiting)
        return;
    state_ = State::Running;
    nextDue_ = now;
    if (!everStarted_) {
        everStarted_ = true;
        startedAt_ = now;
        if (options_.duration > 0)
            durationEnd_ = now + static_cast<Micros>(options_.duration * 1e6);
    }
    log("{\"ev\":\"start\",\"t_us\":" + std::to_string(now - startedAt_) + "}");
}

void Simulator::received(std::string_view bytes, Micros now)
{
    if (state_ == State::Finished)
        return;
    std::vector<Input> inputs;
    reader_.feed(bytes, inputs);
    const std::string t = std::to_string(now - startedAt_);
    for (const auto& in : inputs) {
        switch (in.type) {
        case Input::Type::Answer:
            if (pending_.empty()) {
                ++stats_.answersUnexpected;
                log("{\"ev\":\"unexpected\",\"t_us\":" + t + "}");
                break;
            }
            ++stats_.answersReceived;
            stats_.roundTripsUs.push_back(now - pending_.front().sentAt);
            log("{\"ev\":\"answer\",\"seq\":" + std::to_string(pending_.front().seq) + ",\"t_us\":" + t
                + ",\"rtt_us\":" + std::to_string(now - pending_.front().sentAt) + "}");
            if (--pending_.front().remaining == 0)
                pending_.pop_front();
            break;
        case Input::Type::Command:
            ++stats_.commands[static_cast<std::size_t>(in.command)];
            log("{\"ev\":\"command\",\"t_us\":" + t
                + ",\"word\":" + json::quote(kCommandNames[static_cast<std::size_t>(in.command)]) + "}");
            command(in.command);
            break;
        case Input::Type::Unknown:
            ++stats_.unknownLines;
            log("{\"ev\":\"unknown\",\"t_us\":" + t + ",\"line\":" + json::quote(in.line) + "}");
            break;
        }
    }
}

void Simulator::command(Command c)
{
    if (state_ != State::Waiting && state_ != State::Running)
        return; // the run is ending: commands are counted, not served
    auto add = [this](Line line) { commandLines_.push_back(std::move(line)); };
    auto addAll = [this](std::vector<Line> lines) {
        for (auto& l : lines)
            commandLines_.push_back(std::move(l));
    };
    switch (c) {
    case Command::Pusk:
        pausedUntilPusk_ = false;
        addAll(generator_.capture());
        break;
    case Command::Restart:
        add(generator_.rs(ResetAll));
        break;
    case Command::Diagnostic:
        addAll(generator_.diagnostic());
        break;
    case Command::Inverter:
        generator_.setUnit(RecordGenerator::Unit::Inverter);
        add(generator_.va());
        break;
    case Command::Rectifier:
        generator_.setUnit(RecordGenerator::Unit::Rectifier);
        add(generator_.va());
        break;
    case Command::Vcc:
    case Command::It:
        add(generator_.va());
        break;
    case Command::Temperature:
        add(generator_.tr(-1));
        break;
    case Command::Count:
        break;
    }
}

void Simulator::queueLine(Line line)
{
    const std::uint64_t start = outBase_ + out_.size();
    out_ += line.text;
    out_ += '\r';
    // The line is complete for the console with its CR, which it may answer before an LF
    // after it is written: the answer is owed from the CR on.
    const std::uint64_t end = outBase_ + out_.size();
    if (options_.crlf)
        out_ += '\n';
    ++linesQueued_;
    if (line.expect > 0)
        ++queuedAwaiting_;
    // Hanging up after N lines cuts the output after line N's CR, or inside line N + 1.
    if (options_.hangupAfter > 0 && !hungUp_) {
        if (!options_.hangupMid && linesQueued_ == options_.hangupAfter)
            cutAt_ = end;
        if (options_.hangupMid && linesQueued_ == options_.hangupAfter + 1)
            cutAt_ = start
                + static_cast<std::uint64_t>(
                    splitRng_.uniform(1, static_cast<std::int64_t>(end - start) - 1));
    }
    queue_.push_back({std::move(line), start, end});
}

void Simulator::release(Micros now)
{
    while (out_.size() < kHighWater) {
        if (options_.count > 0 && linesQueued_ >= options_.count)
            return;
        if (options_.hangupAfter > 0 && !hungUp_
            && linesQueued_ >= options_.hangupAfter + (options_.hangupMid ? 1 : 0))
            return; // nothing after the cut is ever written
        std::deque<Line>* from = nullptr;
        if (!commandLines_.empty()) {
            from = &commandLines_;
        } else if (!streamLines_.empty()) {
            from = &streamLines_;
        } else if (streaming()) {
            if (paced() && now < nextDue_)
                return;
            for (auto& l : generator_.stream())
                streamLines_.push_back(std::move(l));
            from = &streamLines_;
        } else {
            return;
        }
        const int window = options_.effectiveWindow();
        if (from->front().expect > 0 && window > 0 && awaiting() >= static_cast<std::size_t>(window))
            return;
        if (paced() && now < nextDue_)
            return;
        queueLine(std::move(from->front()));
        from->pop_front();
        if (paced()) {
            if (nextDue_ < now - periodUs_)
                nextDue_ = now; // after a long wait for an answer, no catch-up burst
            nextDue_ += periodUs_;
        }
    }
}

std::string_view Simulator::chunk(Micros now)
{
    if (out_.empty() || hangupDue_ || state_ == State::Finished || now < nextChunkAt_)
        return {};
    std::size_t n = out_.size();
    if (options_.chunkMax > 0) {
        if (chunkLeft_ == 0)
            chunkLeft_ = static_cast<std::size_t>(splitRng_.uniform(1, options_.chunkMax));
        n = std::min(n, chunkLeft_);
    }
    if (cutAt_ != kNoCut)
        n = cutAt_ > outBase_ ? static_cast<std::size_t>(std::min<std::uint64_t>(n, cutAt_ - outBase_)) : 0;
    return {out_.data(), n};
}

void Simulator::written(std::size_t n, Micros now)
{
    if (n == 0)
        return;
    n = std::min(n, out_.size());
    out_.erase(0, n);
    outBase_ += n;
    stats_.bytesSent += n;
    ++stats_.writes;
    if (options_.chunkMax > 0) {
        chunkLeft_ -= std::min(chunkLeft_, n);
        if (chunkLeft_ == 0 && !out_.empty())
            nextChunkAt_ = now + options_.effectiveSplitGapUs();
    }
    if (out_.empty())
        chunkLeft_ = 0; // the next line starts a fresh piece
    while (!queue_.empty() && queue_.front().end <= outBase_) {
        lineSent(queue_.front(), now);
        queue_.pop_front();
    }
    if (outBase_ >= cutAt_ && !cutReached_) {
        cutReached_ = true;
        if (!queue_.empty() && queue_.front().start < outBase_)
            cutPartial_ = queue_.front().line.text.substr(0, outBase_ - queue_.front().start);
    }
}

void Simulator::lineSent(const Queued& q, Micros now)
{
    const Line& line = q.line;
    const std::uint64_t seq = stats_.lines() + 1;
    if (line.malformed.empty()) {
        ++stats_.records;
        ++stats_.byKind[static_cast<std::size_t>(line.kind)];
    } else {
        ++stats_.malformed;
    }
    if (line.kind == Kind::TR)
        if (const int e = line.eventIndex(); e >= 0)
            ++stats_.events[static_cast<std::size_t>(e)];
    stats_.samples += line.samples.size();
    const std::int32_t scaleBefore = console_.scale;
    const std::int64_t first = console_.apply(line);
    if (line.expect > 0) {
        --queuedAwaiting_;
        stats_.answersExpected += static_cast<std::uint64_t>(line.expect);
        pending_.push_back({seq, now, line.expect});
    }
    if (!log_)
        return;
    std::string e = "{\"ev\":\"record\",\"seq\":" + std::to_string(seq)
        + ",\"t_us\":" + std::to_string(now - startedAt_) + ",\"type\":"
        + json::quote(line.malformed.empty() ? kKindNames[static_cast<std::size_t>(line.kind)] : "MALFORMED")
        + ",\"line\":" + json::quote(line.text) + ",\"expect\":" + std::to_string(line.expect);
    if (!line.malformed.empty())
        e += ",\"malformed\":" + json::quote(line.malformed);
    switch (line.kind) {
    case Kind::VA:
        e += ",\"voltage\":" + json::quote(line.voltage) + ",\"current\":" + json::quote(line.current);
        break;
    case Kind::TR:
        e += ",\"temperature\":" + json::quote(line.temperature) + ",\"event\":" + json::quote(line.event)
            + ",\"counted\":" + (line.eventIndex() >= 0 ? "true" : "false");
        break;
    case Kind::SC:
        e += ",\"y\":" + json::quote(std::string(1, line.yUnit)) + ",\"x\":"
            + json::quote(std::string(1, line.xUnit)) + ",\"scale\":" + std::to_string(line.scale);
        break;
    case Kind::ST:
        e += ",\"first\":" + std::to_string(first) + ",\"scale\":" + std::to_string(scaleBefore)
            + ",\"samples\":" + samplesJson(line.samples);
        break;
    case Kind::RS: {
        e += ",\"resets\":[";
        bool any = false;
        for (std::size_t i = 0; i < kResetTexts.size(); ++i)
            if (line.resets & (1u << i)) {
                e += (any ? "," : "") + json::quote(kResetTexts[i]);
                any = true;
            }
        e += "]";
        break;
    }
    case Kind::None:
        break;
    }
    log(e + "}");
}

void Simulator::expireAnswers(Micros now)
{
    if (timeoutUs_ <= 0)
        return;
    while (!pending_.empty() && pending_.front().sentAt + timeoutUs_ <= now) {
        const auto& p = pending_.front();
        stats_.answersMissing += static_cast<std::uint64_t>(p.remaining);
        log("{\"ev\":\"missing\",\"seq\":" + std::to_string(p.seq) + ",\"t_us\":"
            + std::to_string(now - startedAt_) + ",\"count\":" + std::to_string(p.remaining) + "}");
        pending_.pop_front();
    }
}

void Simulator::advance(Micros now)
{
    if (state_ == State::Finished)
        return;
    expireAnswers(now);
    if (cutReached_) {
        // A pseudo-terminal throws away what its reader has not taken when the master closes,
        // so the line is closed only once the console has answered what it owes (or those
        // answers timed out), and a grace period later.
        if (!hangupDue_ && pending_.empty()) {
            if (hangupAt_ == kNever)
                hangupAt_ = now + static_cast<Micros>(options_.hangupGraceMs) * 1000;
            if (now >= hangupAt_) {
                hangupDue_ = true;
                log("{\"ev\":\"hangup\",\"t_us\":" + std::to_string(now - startedAt_)
                    + ",\"partial\":" + json::quote(cutPartial_) + "}");
            }
        }
        return;
    }
    if (state_ == State::Running) {
        if (options_.count > 0 && linesQueued_ >= options_.count)
            drainReason_ = "count";
        else if (now >= durationEnd_)
            drainReason_ = "duration";
        if (!drainReason_.empty()) {
            state_ = State::Draining;
            commandLines_.clear();
            streamLines_.clear();
        } else {
            release(now);
        }
    }
    if (state_ == State::Draining && out_.empty() && pending_.empty()) {
        state_ = State::Lingering;
        lingerEnd_ = now + static_cast<Micros>(options_.lingerMs) * 1000;
    }
    if (state_ == State::Lingering && now >= lingerEnd_) {
        stats_.end = drainReason_;
        stats_.elapsedUs = now - startedAt_;
        state_ = State::Finished;
        log("{\"ev\":\"end\",\"t_us\":" + std::to_string(now - startedAt_)
            + ",\"reason\":" + json::quote(stats_.end) + "}");
    }
}

Simulator::Micros Simulator::wakeup(Micros now) const
{
    Micros w = kNever;
    auto consider = [&](Micros t) {
        if (t > now)
            w = std::min(w, t);
    };
    if (!pending_.empty() && timeoutUs_ > 0)
        consider(pending_.front().sentAt + timeoutUs_);
    if (!out_.empty())
        consider(nextChunkAt_);
    if (state_ == State::Running) {
        if (paced())
            consider(nextDue_);
        consider(durationEnd_);
    }
    if (state_ == State::Lingering)
        consider(lingerEnd_);
    if (cutReached_ && hangupAt_ != kNever)
        consider(hangupAt_);
    return w;
}

void Simulator::abandon(Micros now)
{
    for (const auto& p : pending_) {
        stats_.answersAbandoned += static_cast<std::uint64_t>(p.remaining);
        log("{\"ev\":\"abandoned\",\"seq\":" + std::to_string(p.seq) + ",\"t_us\":"
            + std::to_string(now - startedAt_) + ",\"count\":" + std::to_string(p.remaining) + "}");
    }
    pending_.clear();
    // Output not yet written is dropped; a line cut short is not counted as sent, and after
    // a reconnection the lines are made up again (the cut for --hangup-after with them).
    linesQueued_ -= static_cast<std::int64_t>(queue_.size());
    queue_.clear();
    cutAt_ = kNoCut;
    cutReached_ = false;
    cutPartial_.clear();
    hangupAt_ = kNever;
    queuedAwaiting_ = 0;
    outBase_ += out_.size();
    out_.clear();
    chunkLeft_ = 0;
}

void Simulator::stop(const std::string& reason, Micros now)
{
    if (state_ == State::Finished)
        return;
    abandon(now);
    stats_.end = reason;
    stats_.elapsedUs = everStarted_ ? now - startedAt_ : 0;
    state_ = State::Finished;
    log("{\"ev\":\"end\",\"t_us\":" + std::to_string(now - startedAt_) + ",\"reason\":" + json::quote(reason)
        + "}");
}

void Simulator::peerLost(Micros now)
{
    if (state_ == State::Finished)
        return;
    abandon(now);
    log("{\"ev\":\"peer-lost\",\"t_us\":" + std::to_string(now - startedAt_) + "}");
    if (state_ == State::Running)
        state_ = State::Waiting;
}

void Simulator::reopened(Micros now)
{
    if (state_ == State::Finished)
        return;
    hungUp_ = true;
    hangupDue_ = false;
    abandon(now);
    log("{\"ev\":\"reopened\",\"t_us\":" + std::to_string(now - startedAt_) + "}");
    if (state_ == State::Running)
        state_ = State::Waiting;
}

} // namespace devsim
