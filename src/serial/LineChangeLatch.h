#pragma once
// Turns samples of a device's modem lines and line counters into EV_* events and a CE_*
// error word. Every query of the device samples the lines, and every sample moves the
// baseline, so what a sample finds is kept here until the event wait takes it: a status
// query made while the event thread hands a batch over must not swallow a line change.
//
// Not thread-safe: the device calls it under its own lock.

#include <cstdint>

struct TLineSample {
    // Interrupt counters of the driver (TIOCGICOUNT) where it keeps them; otherwise only
    // the MS_* bits of the modem lines are compared.
    bool counted = false;
    uint32_t modem = 0; // MS_* bits
    int cts = 0, dsr = 0, rng = 0, dcd = 0;
    int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

class TLineChangeLatch {
public:
    void reset(const TLineSample& baseline);

    // A status query: what the sample finds stays pending for the next wait; the error
    // word gathered since the last status query is returned and cleared.
    uint32_t takeStatusErrors(const TLineSample& sample);
    // The event wait: the events found now and by earlier queries, limited to the mask.
    uint32_t takeWaitEvents(const TLineSample& sample, uint32_t mask);

    // Events and errors that come without a sample (a scripted device, a driver report).
    void raise(uint32_t events, uint32_t errorWord = 0);
    bool pending(uint32_t mask) const { return (events_ & mask) != 0; }

private:
    void observe(const TLineSample& sample);

    TLineSample last_;
    uint32_t events_ = 0;
    uint32_t errorWord_ = 0;
};
