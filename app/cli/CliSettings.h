#pragma once
// What orvik-cli takes from the settings file the console writes: the port's line settings,
// the line ends and echo, the limits, the reading shapes, reconnection and the archive. A
// file that is missing or lacks a key gives the console's own defaults.

#include "session/SessionReplay.h"
#include "settings/IniFile.h"

#include <QByteArray>
#include <QString>

class TComPort;
class TDeviceSession;
class TIniFile;
class TTransport;

struct TCliSettings {
    QString port; // the file's ComPortNo unless given
    QString settingsFile; // where the port's line settings are read from
    bool dtr = true;
    bool rts = true;
    bool cr = true;
    bool lf = true;
    bool echo = true;
    bool autoReconnect = true;
    bool appendLF = true;
    bool force7Bit = false;
    QByteArray voltageLimit = "50";
    QByteArray currentLimit = "50";
    QByteArray temperatureLimit = "50";
    QString archiveFile;
    int keep = 0;
    int journalKeep = 0;

    // The values a replay needs to answer and read as the recording did.
    TSessionValues sessionValues() const;

    static TCliSettings read(const TIniFile& ini, const QString& dataFolder);
    // The port as the window sets it up, then the file's port section over it (the window's
    // reader), under the name chosen.
    void applyTo(TComPort& port) const;
    void applyTo(TDeviceSession& session) const;
};

// The rate the device took (a UART may round it), else the rate asked for.
QString rateText(const TTransport& port);
