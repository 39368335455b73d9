#pragma once
// The system's list of serial devices, read from sysfs: every /sys/class/tty entry backed by
// a device (USB adapters, ACM modems, on-board UARTs) except UART slots of unknown type, as
// device paths ("/dev/ttyUSB0"), sorted case-insensitively (duplicates kept). No widgets.

#include <QString>
#include <QStringList>

// Replaces list's content with the sorted device paths. A tree that cannot be read raises
// EComPort 23 ("Registry error") with errno as system code and leaves list as it was.
void ListSerialPorts(QStringList& list);
void ListSerialPorts(QStringList& list, const QString& sysfsRoot);

// The sysfs mount the one-argument form reads ("/sys"); tests point it at a fake tree.
QString SerialPortsSysfsRoot();
void SetSerialPortsSysfsRoot(const QString& root);

// Whether a port name (as the port maps it to a path) names an existing character device:
// a pseudo-terminal such as the simulator's is one that sysfs does not list.
bool SerialDeviceExists(const QString& portName);

// The order of the list: case-insensitive text order.
bool SerialPortNameLess(const QString& a, const QString& b);
