#include "serial/LineChangeLatch.h"

#include "serial/ComTypes.h"

void TLineChangeLatch::reset(const TLineSample& baseline)
{
    last_ = baseline;
    events_ = 0;
    errorWord_ = 0;
}

void TLineChangeLatch::observe(const TLineSample& n)
{
    const TLineSample& o = last_;
    uint32_t ev = 0;
    uint32_t err = 0;
    if (n.counted) {
        if (n.cts != o.cts)
            ev |= comm::EV_CTS;
        if (n.dsr != o.dsr)
            ev |= comm::EV_DSR;
        if (n.dcd != o.dcd)
            ev |= comm::EV_RLSD;
        if (n.rng != o.rng)
            ev |= comm::EV_RING;
        if (n.frame != o.frame)
            err |= comm::CE_FRAME;
        if (n.overrun != o.overrun)
            err |= comm::CE_OVERRUN;
        if (n.parity != o.parity)
            err |= comm::CE_RXPARITY;
        if (n.bufOverrun != o.bufOverrun)
            err |= comm::CE_RXOVER;
        if (err)
            ev |= comm::EV_ERR;
        if (n.brk != o.brk) {
            err |= comm::CE_BREAK;
            ev |= comm::EV_BREAK;
        }
    } else {
        const uint32_t changed = n.modem ^ o.modem;
        if (changed & comm::MS_CTS_ON)
            ev |= comm::EV_CTS;
        if (changed & comm::MS_DSR_ON)
            ev |= comm::EV_DSR;
        if (changed & comm::MS_RLSD_ON)
            ev |= comm::EV_RLSD;
        if ((changed & comm::MS_RING_ON) && (n.modem & comm::MS_RING_ON))
            ev |= comm::EV_RING;
    }
    events_ |= ev;
    errorWord_ |= err;
    last_ = n;
}

uint32_t TLineChangeLatch::takeStatusErrors(const TLineSample& sample)
{
    observe(sample);
    const uint32_t err = errorWord_;
    errorWord_ = 0;
    return err;
}

uint32_t TLineChangeLatch::takeWaitEvents(const TLineSample& sample, uint32_t mask)
{
    observe(sample);
    const uint32_t ev = events_ & mask;
    events_ = 0;
    return ev;
}

void TLineChangeLatch::raise(uint32_t events, uint32_t errorWord)
{
    events_ |= events;
    errorWord_ |= errorWord;
}
