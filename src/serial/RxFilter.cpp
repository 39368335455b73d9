#include "serial/RxFilter.h"

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

TRxFilter::Result TRxFilter::feed(const char* raw, std::size_t count, QByteArray& out)
{
    Result r;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = raw[i];
        if (!options_.marked) {
            put(c, out, r);
            continue;
        }
        switch (state_) {
        case 0:
            if (c == '\xFF')
                state_ = 1;
            else
                put(c, out, r);
            break;
        case 1:
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
            break;
        default:
            ++r.errorBytes;
            put(options_.replace ? options_.replaceChar : c, out, r);
            state_ = 0;
            break;
        }
    }
    return r;
}
