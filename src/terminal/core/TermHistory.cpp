#include "terminal/core/TermHistory.h"

#include <algorithm>

TTermHistory::TTermHistory(int capacity)
    : capacity_(std::max(0, capacity))
{
}

void TTermHistory::SetCapacity(int capacity)
{
    capacity = std::max(0, capacity);
    if (capacity == capacity_)
        return;
    // Rebuild the ring in order, keeping the newest rows that fit.
    std::vector<Line> kept;
    const int keep = std::min(count_, capacity);
    kept.reserve(std::size_t(keep));
    for (std::int64_t line = endLine_ - keep; line < endLine_; ++line)
        kept.push_back(std::move(ring_[std::size_t((head_ + (line - FirstLine())) % ring_.size())]));
    ring_ = std::move(kept);
    ring_.shrink_to_fit();
    capacity_ = capacity;
    head_ = 0;
    count_ = keep;
}

void TTermHistory::Push(const TTermCell* cells, int columns, bool wrapped, bool oneAttr)
{
    if (capacity_ == 0) {
        ++endLine_;
        return;
    }
    // The ring only wraps once it is full, so until then the next slot is the one appended.
    Line* slot = nullptr;
    if (count_ < capacity_) {
        slot = &ring_.emplace_back();
        ++count_;
    } else {
        // Full: the oldest slot takes the new row, reusing its storage.
        slot = &ring_[std::size_t(head_)];
        if (++head_ == int(ring_.size()))
            head_ = 0;
    }
    int length = std::min(columns, kMaxColumns);
    while (length > 0 && cells[length - 1] == TTermCell{})
        --length;
    // Built in locals: writing through the slot's string and vector would make the compiler
    // reload them after every character.
    char text[kMaxColumns];
    slot->runs.clear();
    slot->wrapped = wrapped;
    if (oneAttr) {
        // Most rows scrolled off a device's output: one run, and only the characters to copy.
        for (int x = 0; x < length; ++x)
            text[x] = cells[x].Ch;
        if (length > 0) {
            const TTermCell& c = cells[0];
            slot->runs.push_back(Run{0, c.Underline, c.Control, c.ForeColor, c.BackColor});
        }
    } else {
        Run run{};
        for (int x = 0; x < length; ++x) {
            const TTermCell& c = cells[x];
            text[x] = c.Ch;
            if (x == 0 || run.fore != c.ForeColor || run.back != c.BackColor || run.underline != c.Underline
                || run.control != c.Control) {
                run = Run{std::uint16_t(x), c.Underline, c.Control, c.ForeColor, c.BackColor};
                slot->runs.push_back(run);
            }
        }
    }
    slot->text.assign(text, std::size_t(length));
    ++endLine_;
}

void TTermHistory::Clear()
{
    ring_ = {};
    head_ = 0;
    count_ = 0;
}

const TTermHistory::Line& TTermHistory::at(std::int64_t line) const
{
    return ring_[std::size_t((head_ + (line - FirstLine())) % std::int64_t(ring_.size()))];
}

void TTermHistory::Row(std::int64_t line, std::vector<TTermCell>& out, int minColumns) const
{
    out.clear();
    if (Contains(line)) {
        const Line& l = at(line);
        out.resize(l.text.size());
        std::size_t run = 0;
        for (std::size_t x = 0; x < l.text.size(); ++x) {
            while (run + 1 < l.runs.size() && l.runs[run + 1].start <= x)
                ++run;
            const Run& r = l.runs[run];
            out[x] = TTermCell{l.text[x], r.fore, r.back, r.underline, r.control};
        }
    }
    if (int(out.size()) < minColumns)
        out.resize(std::size_t(minColumns));
}

const std::string& TTermHistory::Text(std::int64_t line) const
{
    static const std::string none;
    return Contains(line) ? at(line).text : none;
}

bool TTermHistory::Wrapped(std::int64_t line) const
{
    return Contains(line) && at(line).wrapped;
}

std::size_t TTermHistory::MemoryUsage() const
{
    std::size_t bytes = ring_.capacity() * sizeof(Line);
    for (const Line& l : ring_) {
        // Short strings live inside the slot itself.
        if (l.text.capacity() > std::string().capacity())
            bytes += l.text.capacity() + 1;
        bytes += l.runs.capacity() * sizeof(Run);
    }
    return bytes;
}
