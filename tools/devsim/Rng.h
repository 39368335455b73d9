#pragma once
// A small seeded generator (xoshiro256**) with its own range mapping, so that a seed gives
// the same lines on every compiler and standard library.

#include <cstdint>

namespace devsim {

class Rng {
public:
    explicit Rng(std::uint64_t seed)
    {
        for (auto& word : s_) {
            seed += 0x9E3779B97F4A7C15ull; // splitmix64 spreads a small seed over all 256 bits
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            word = z ^ (z >> 31);
        }
    }

    std::uint64_t next()
    {
        const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
        return result;
    }

    // Uniform in [lo, hi], both included.
    std::int64_t uniform(std::int64_t lo, std::int64_t hi)
    {
        if (hi <= lo)
            return lo;
        const std::uint64_t span = static_cast<std::uint64_t>(hi - lo) + 1;
        // Reject the top partial block so every value is equally likely.
        const std::uint64_t limit = span == 0 ? 0 : UINT64_MAX - UINT64_MAX % span;
        std::uint64_t x = next();
        while (span != 0 && x >= limit)
            x = next();
        return lo + static_cast<std::int64_t>(span == 0 ? x : x % span);
    }

    // Uniform in [0, 1).
    double real() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

    bool chance(double p) { return real() < p; }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t s_[4];
};

} // namespace devsim
