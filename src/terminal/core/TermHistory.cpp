#include "terminal/core/TermHistory.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

// The block's size when the first row arrives: a screenful of device output or so.
constexpr std::size_t kFirstBlock = 4096;

} // namespace

TTermHistory::TTermHistory(int capacity)
    : capacity_(std::max(0, capacity))
{
}

void TTermHistory::SetCapacity(int capacity)
{
    capacity = std::max(0, capacity);
    if (capacity == capacity_)
        return;
    capacity_ = capacity;
    rebuild(std::min(count_, capacity), 0);
}

void TTermHistory::rebuild(int keep, std::size_t minBytes)
{
    const auto slotOf = [this](int i) { return std::size_t((head_ + i) % int(ring_.size())); };
    std::size_t live = 0;
    for (int i = count_ - keep; i < count_; ++i)
        live += recordSize(ring_[slotOf(i)]);
    std::vector<Line> ring;
    ring.reserve(std::size_t(keep));
    std::vector<char> bytes;
    if (const std::size_t need = live + minBytes; need > 0)
        bytes.resize(std::bit_ceil(std::max(kFirstBlock, need + need / 2)));
    std::uint64_t offset = 0;
    for (int i = count_ - keep; i < count_; ++i) {
        Line l = ring_[slotOf(i)];
        const std::size_t size = recordSize(l);
        if (size > 0)
            std::memcpy(bytes.data() + offset, record(l), size);
        l.at = offset;
        offset += size;
        ring.push_back(l);
    }
    ring_ = std::move(ring);
    bytes_ = std::move(bytes);
    end_ = offset;
    head_ = 0;
    count_ = keep;
}

std::uint64_t TTermHistory::placeGrowing(std::size_t size)
{
    for (;;) {
        if (const std::optional<std::uint64_t> pos = fit(size))
            return *pos;
        rebuild(count_, size);
    }
}

void TTermHistory::Push(const TTermCell* cells, int columns, bool wrapped, bool oneAttr)
{
    ++endLine_;
    if (capacity_ == 0)
        return;
    if (count_ == capacity_) {
        // Full: the oldest row goes, its slot and its bytes free for the new one.
        if (++head_ == int(ring_.size()))
            head_ = 0;
        --count_;
    }
    int length = std::min(columns, kMaxColumns);
    while (length > 0 && cells[length - 1] == TTermCell{})
        --length;
    Run more[kMaxColumns];
    const int moreCount = oneAttr || length == 0 ? 0 : moreRuns(cells, length, more);
    const std::size_t size = std::size_t(length) + std::size_t(moreCount) * sizeof(Run);

    std::uint64_t at = end_;
    if (size > 0) {
        const std::optional<std::uint64_t> pos = fit(size);
        at = pos ? *pos : placeGrowing(size);
        char* out = bytes_.data() + (at & (bytes_.size() - 1));
        // Four at a time: the loop's own counting costs as much as the copying.
        int x = 0;
        for (; x + 4 <= length; x += 4) {
            out[x] = cells[x].Ch;
            out[x + 1] = cells[x + 1].Ch;
            out[x + 2] = cells[x + 2].Ch;
            out[x + 3] = cells[x + 3].Ch;
        }
        for (; x < length; ++x)
            out[x] = cells[x].Ch;
        if (moreCount > 0)
            std::memcpy(out + length, more, std::size_t(moreCount) * sizeof(Run));
        end_ = at + size;
    }

    // While the ring has never been full its rows start at slot 0 and it grows at its end.
    Line* line = nullptr;
    const std::size_t ringSize = ring_.size();
    if (std::size_t(count_) == ringSize) {
        if (ringSize == ring_.capacity())
            ring_.reserve(std::min(std::size_t(capacity_), std::max<std::size_t>(64, ringSize * 2)));
        line = &ring_.emplace_back();
    } else {
        std::size_t slot = std::size_t(head_) + std::size_t(count_);
        if (slot >= ringSize)
            slot -= ringSize;
        line = &ring_[slot];
    }
    line->at = at;
    line->first = length > 0 ? runOf(cells[0], 0) : Run{};
    line->length = std::uint16_t(length);
    line->moreRuns = std::uint16_t(moreCount);
    line->wrapped = wrapped;
    ++count_;
}

int TTermHistory::moreRuns(const TTermCell* cells, int length, Run* more)
{
    int count = 0;
    Run run = length > 0 ? runOf(cells[0], 0) : Run{};
    for (int x = 1; x < length; ++x) {
        const TTermCell& c = cells[x];
        if (run.fore != c.ForeColor || run.back != c.BackColor || run.underline != c.Underline
            || run.control != c.Control) {
            run = runOf(c, x);
            more[count++] = run;
        }
    }
    return count;
}

void TTermHistory::Clear()
{
    ring_ = {};
    bytes_ = {};
    end_ = 0;
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
        if (l.length > 0) {
            out.resize(l.length);
            const char* text = record(l);
            const char* more = text + l.length;
            const auto run = [&](int i) {
                if (i == 0)
                    return l.first;
                Run r;
                std::memcpy(&r, more + std::size_t(i - 1) * sizeof(Run), sizeof r);
                return r;
            };
            for (int i = 0; i <= l.moreRuns; ++i) {
                const Run r = run(i);
                const std::size_t end = i < l.moreRuns ? run(i + 1).start : l.length;
                for (std::size_t x = r.start; x < end; ++x)
                    out[x] = TTermCell{text[x], r.fore, r.back, r.underline, r.control};
            }
        }
    }
    if (int(out.size()) < minColumns)
        out.resize(std::size_t(minColumns));
}

std::string TTermHistory::Text(std::int64_t line) const
{
    if (!Contains(line))
        return {};
    const Line& l = at(line);
    return l.length > 0 ? std::string(record(l), l.length) : std::string();
}

bool TTermHistory::Wrapped(std::int64_t line) const
{
    return Contains(line) && at(line).wrapped;
}

std::size_t TTermHistory::MemoryUsage() const
{
    return ring_.capacity() * sizeof(Line) + bytes_.capacity();
}
