#pragma once
// Splits a fuzzer's input into option bytes, chunk sizes and payload, so that every target
// reads its inputs the same way and a reproducer stays a plain file.

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : data_(data)
        , size_(size)
    {
    }

    // The next byte, or 0 when the input is used up.
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    // Bytes up to (not including) the next NUL, which is consumed.
    QByteArray field()
    {
        const std::size_t start = pos_;
        while (pos_ < size_ && data_[pos_] != 0)
            ++pos_;
        QByteArray out(reinterpret_cast<const char*>(data_ + start), qsizetype(pos_ - start));
        if (pos_ < size_)
            ++pos_;
        return out;
    }
    // Everything not consumed yet.
    QByteArray rest()
    {
        QByteArray out(reinterpret_cast<const char*>(data_ + pos_), qsizetype(size_ - pos_));
        pos_ = size_;
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Chunk lengths from 1 to 16 drawn from a seed: the same payload fed in pieces.
class ChunkSizes {
public:
    explicit ChunkSizes(std::uint8_t seed)
        : state_(seed | 1u)
    {
    }
    int next()
    {
        state_ = state_ * 1103515245u + 12345u;
        return int((state_ >> 16) % 16) + 1;
    }

private:
    std::uint32_t state_;
};

// An invariant the fuzzer broke: abort so that libFuzzer records the input.
#define FUZZ_CHECK(cond)                                                                                     \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond);                \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)
