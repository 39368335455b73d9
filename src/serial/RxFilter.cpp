#include "serial/RxFilter.h"

#include <cstring>

void TRxFilter::setOptions(const Options& options)
{
    if (options.marked != options_.marked)
        state_ = 0;
    options_ = options;
}

void TRxFilter::put(char c, QByteArray& out, Result& r) const
{
    if (options_.discardNull && c == 0)
        return;
    if (options_.watchEventChar && c == options_.eventChar)
        r.eventChar = true;
    out.append(c);
    ++r.appended;
}

void TRxFilter::putRun(const char* run, std::size_t n, QByteArray& out, Result& r) const
{
    if (n == 0)
        return;
    if (options_.watchEventChar && std::memchr(run, static_cast<unsigned char>(options_.eventChar), n))
        r.eventChar = true;
    out.append(run, qsizetype(n));
    r.appended += n;
}

TRxFilter::Result TRxFilter::feed(const char* raw, std::size_t count, QByteArray& out)
{
    Result r;
    std::size_t i = 0;
    while (i < count) {
        if (state_ == 0) {
            // Plain bytes go over in runs up to the next byte that needs a look.
            std::size_t j = i;
            while (
                j < count && !(options_.marked && raw[j] == '\xFF') && !(options_.discardNull && raw[j] == 0))
                ++j;
            putRun(raw + i, j - i, out, r);
            if (j == count)
                break;
            if (raw[j] == '\xFF' && options_.marked)
                state_ = 1;
            // else: a NUL to discard
            i = j + 1;
            continue;
        }
        const char c = raw[i++];
        if (state_ == 1) {
            if (c == '\xFF') {
                put(c, out, r);
                state_ = 0;
            } else if (c == 0) {
                state_ = 2;
            } else {
                // Not a marker (the tty never sends this): keep both bytes.
                put('\xFF', out, r);
                put(c, out, r);
                state_ = 0;
            }
        } else {
            ++r.errorBytes;
            put(options_.replace ? options_.replaceChar : c, out, r);
            state_ = 0;
        }
    }
    return r;
}
