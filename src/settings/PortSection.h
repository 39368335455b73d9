#pragma once
// The port's keys of section "Com" in the settings file: its name, the baud rate as its ordinal
// (with the rate itself beside ordinal 0, "Custom"), the data bits and the stop bits as theirs.

#include <QString>
#include <exception>

class TComPort;
class TIniFile;

namespace portSection {

// The console's port before any settings file: 9600 8-N-1.5, every event, 2 KiB buffers, no
// flow control, DTR and RTS left to the line options.
void ApplyDefaults(TComPort& port);

// The port's name alone ("COM1" when the file has none): what a transport is made for.
QString PortName(const TIniFile& ini);

// Applies the file to the port, which an open port takes at once. A port that cannot be
// reopened under the file's name must not stop the rest of the file: the first failure is
// returned, for the caller to raise once everything else is applied.
std::exception_ptr Load(const TIniFile& ini, TComPort& port);
void Save(TIniFile& ini, const TComPort& port);

} // namespace portSection
