#include "settings/PortSection.h"

#include "serial/ComPort.h"
#include "settings/IniFile.h"

namespace {

// An ordinal outside its type's range keeps the default rather than becoming a value the
// port has no meaning for.
int ordinal(const TIniFile& ini, const char* key, int def, int last)
{
    const int value = ini.readInteger("Com", key, def);
    return value < 0 || value > last ? def : value;
}

} // namespace

void portSection::ApplyDefaults(TComPort& port)
{
    port.BeginSettingsUpdate();
    port.SetBaudRate(br9600);
    port.SetDataBits(dbEight);
    port.SetStopBits(sbOne5StopBits);
    port.Parity().SetBits(prNone);
    port.SetEvents(kAllComEvents);
    port.Buffer().SetInputSize(2048);
    port.Buffer().SetOutputSize(2048);
    TComFlowControl& flow = port.FlowControl();
    flow.SetOutCTSFlow(false);
    flow.SetOutDSRFlow(false);
    flow.SetControlDTR(dtrDisable);
    flow.SetControlRTS(rtsDisable);
    flow.SetXonXoffOut(false);
    flow.SetXonXoffIn(false);
    port.EndSettingsUpdate();
}

QString portSection::PortName(const TIniFile& ini)
{
    return ini.readText("Com", "ComPortNo", QStringLiteral("COM1"));
}

std::exception_ptr portSection::Load(const TIniFile& ini, TComPort& port)
{
    std::exception_ptr failure;
    port.BeginSettingsUpdate();
    try {
        port.SetBaudRate(TBaudRate(ordinal(ini, "BaudRate", br9600, br256000)));
        // The rate of BaudRate=0 ("Custom"); a file without it keeps the port's own.
        if (const int custom = ini.readInteger("Com", "CustomBaudRate", 0); custom > 0)
            port.SetCustomBaudRate(custom);
        port.SetDataBits(TDataBits(ordinal(ini, "DataBits", dbEight, dbEight)));
        port.SetStopBits(TStopBits(ordinal(ini, "StopBits", sbOneStopBit, sbTwoStopBits)));
        // Last, so that the others are stored even when the reopen under a new name fails;
        // inside the bracket they only store anyway.
        port.SetPort(PortName(ini));
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        port.EndSettingsUpdate();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    return failure;
}

void portSection::Save(TIniFile& ini, const TComPort& port)
{
    ini.writeText("Com", "ComPortNo", port.Port());
    ini.writeInteger("Com", "BaudRate", port.BaudRate());
    if (port.BaudRate() == brCustom)
        ini.writeInteger("Com", "CustomBaudRate", port.CustomBaudRate());
    ini.writeInteger("Com", "DataBits", port.DataBits());
    ini.writeInteger("Com", "StopBits", port.StopBits());
}
