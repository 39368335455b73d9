#pragma once
// Makes the device's lines: measurements that drift like a running converter, emergency
// events, and transient captures (scale record plus samples split over several records).
// Everything comes from one seeded generator, so a seed and the same commands give the
// same lines in the same order.

#include "Line.h"
#include "Rng.h"

#include <cstdint>
#include <vector>

namespace devsim {

struct GeneratorOptions {
    double eventRate = 0.1; // share of TR records that carry an emergency event
    double malformedRate = 0.0; // share of stream lines replaced by a malformed line
    int weightVa = 5, weightTr = 4, weightBurst = 1, weightRs = 0; // the stream's mix
    int burstSamples = 96;
    bool burstAfterEvent = true; // an emergency event is followed by its capture
    bool scopeResetBeforeBurst = true; // each capture starts a fresh chart (W:RS+ROSC)
};

class RecordGenerator {
public:
    enum class Unit { Inverter, Rectifier };

    RecordGenerator(std::uint64_t seed, const GeneratorOptions& options);

    // The next step of the spontaneous stream: usually one line, a capture after an event.
    std::vector<Line> stream();

    Line va();
    Line tr(int eventIndex); // -1: "RK0"
    Line sc();
    Line rs(unsigned resets);
    std::vector<Line> capture(); // optional W:RS+ROSC, W:SC, then the W:ST records
    std::vector<Line> diagnostic(); // W:VA, one W:TR per event, W:TR.../RK0
    Line malformed();

    void setUnit(Unit unit) { unit_ = unit; }

private:
    void drift();

    GeneratorOptions options_;
    Rng rng_;
    Unit unit_ = Unit::Inverter;
    double phase_ = 0.0;
    double temperature_ = 38.0;
    double current_ = 6.0;
};

} // namespace devsim
