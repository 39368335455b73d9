#include "CliSettings.h"

#include "archive/ArchiveStore.h"
#include "serial/ComPort.h"
#include "session/DeviceSession.h"
#include "settings/LineOptions.h"
#include "settings/PortSection.h"

TCliSettings TCliSettings::read(const TIniFile& ini, const QString& dataFolder)
{
    TCliSettings s;
    s.port = portSection::PortName(ini);
    s.settingsFile = ini.fileName();
    const TLineOptions lines = TLineOptions::Load(ini);
    s.dtr = lines.on[TLineOptions::DTR];
    s.rts = lines.on[TLineOptions::RTS];
    s.cr = lines.on[TLineOptions::CR];
    s.lf = lines.on[TLineOptions::LF];
    s.echo = lines.on[TLineOptions::Echo];
    s.autoReconnect = ini.readBool("Com", "AutoReconnect", true);
    s.appendLF = ini.readBool("Terminal", "AppendLF", true);
    s.force7Bit = ini.readBool("Terminal", "Force7Bit", false);
    s.temperatureLimit = ini.readString("Limits", "TEMPERATURE", "50");
    s.voltageLimit = ini.readString("Limits", "Voltage", "50");
    s.currentLimit = ini.readString("Limits", "Current", "50");
    s.archiveFile = ini.readText("Archive", "File", defaultArchiveFile(dataFolder));
    s.keep = ini.readInteger("Archive", "Keep", ArchiveStore::kDefaultKeep);
    if (s.keep < 1)
        s.keep = ArchiveStore::kDefaultKeep;
    s.journalKeep = ini.readInteger("Archive", "JournalKeep", ArchiveStore::kDefaultJournalKeep);
    if (s.journalKeep < 0)
        s.journalKeep = ArchiveStore::kDefaultJournalKeep;
    return s;
}

void TCliSettings::applyTo(TComPort& port) const
{
    portSection::ApplyDefaults(port);
    // The port is closed: nothing is reopened, so nothing can fail here.
    if (!settingsFile.isEmpty())
        portSection::Load(TIniFile(settingsFile), port);
    port.SetPort(this->port);
}

void TCliSettings::applyTo(TDeviceSession& session) const
{
    session.setLimitText(TLimit::Voltage, voltageLimit);
    session.setLimitText(TLimit::Current, currentLimit);
    session.setLimitText(TLimit::Temperature, temperatureLimit);
    session.setLineEnds(cr, lf);
    session.setEcho(echo);
    session.setShaping(appendLF, force7Bit);
    // The console's data log is the window's choice; a recording keeps the archive only.
    session.setLogChoices(false, false);
}

QString rateText(const TTransport& port)
{
    if (const uint32_t actual = port.ActualBaudRate(); actual > 0)
        return QString::number(actual);
    const auto* com = dynamic_cast<const TComPort*>(&port);
    if (!com)
        return {};
    return com->BaudRate() == brCustom ? QString::number(com->CustomBaudRate())
                                       : BaudRateToText(com->BaudRate());
}

TSessionValues TCliSettings::sessionValues() const
{
    return {voltageLimit, currentLimit, temperatureLimit, appendLF, force7Bit};
}
