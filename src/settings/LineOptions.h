#pragma once
// The line options of section "Com": Wrap, Echo, CR, LF, DTR and RTS, each "1" or "0", on when
// the file lacks it. The terminal page shows them as boxes; orvik-cli answers and drives the
// lines by them.

#include <array>

class TIniFile;

struct TLineOptions {
    enum Option { Wrap, Echo, CR, LF, DTR, RTS, Count };
    // The keys, in the order of Option and of the file.
    static constexpr std::array<const char*, Count> kKeys{"Wrap", "Echo", "CR", "LF", "DTR", "RTS"};

    std::array<bool, Count> on{true, true, true, true, true, true};

    static TLineOptions Load(const TIniFile& ini);
    void Save(TIniFile& ini) const;
};
