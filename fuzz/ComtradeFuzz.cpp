// The COMTRADE reader on arbitrary files: the first byte chooses a .cfg with its .dat (split at
// the first NUL) or one .cff. It must refuse or read, never crash; what it reads is consistent
// and no larger than the data that is really there, and every channel becomes a capture.

#include "FuzzInput.h"
#include "archive/ComtradeImport.h"
#include "archive/ComtradeReader.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    const bool single = in.byte() % 2 != 0;
    QByteArray cfg;
    QByteArray dat;
    ComtradeResult r;
    if (single) {
        dat = in.rest();
        r = readComtradeCff(dat);
    } else {
        cfg = in.field();
        dat = in.rest();
        r = readComtrade(cfg, dat);
    }
    if (!r.record) {
        FUZZ_CHECK(!r.error.why.isEmpty());
        FUZZ_CHECK(!r.error.message().isEmpty());
        FUZZ_CHECK(r.error.line >= 0 && r.error.field >= 0);
        return 0;
    }
    const ComtradeRecord& rec = *r.record;
    const std::size_t n = rec.timesUs.size();
    FUZZ_CHECK(rec.stamps.size() == n);
    FUZZ_CHECK(std::int64_t(n) <= rec.declaredSamples);
    // Every sample read takes at least one byte of data.
    FUZZ_CHECK(n <= std::size_t(dat.size()));
    FUZZ_CHECK(!rec.rates.empty());
    for (std::size_t c = 0; c < rec.analogs.size(); ++c) {
        FUZZ_CHECK(rec.analogs[c].raw.size() == n);
        const CaptureData capture = comtradeCapture(rec, c);
        FUZZ_CHECK(capture.x.size() == capture.y.size());
        FUZZ_CHECK(capture.x.size() <= n);
        FUZZ_CHECK(!capture.started.isEmpty() || !rec.start.isValid());
    }
    return 0;
}
