#include "settings/LineOptions.h"

#include "settings/IniFile.h"

TLineOptions TLineOptions::Load(const TIniFile& ini)
{
    TLineOptions o;
    for (int i = 0; i < Count; ++i)
        o.on[std::size_t(i)] = ini.readBool("Com", kKeys[std::size_t(i)], true);
    return o;
}

void TLineOptions::Save(TIniFile& ini) const
{
    for (int i = 0; i < Count; ++i)
        ini.writeBool("Com", kKeys[std::size_t(i)], on[std::size_t(i)]);
}
