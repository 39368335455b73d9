#pragma once
// What a port name stood for when the port opened, so that a reconnection opens that
// device again and no other one that took the name meanwhile. No widgets.
//
// A stable name udev makes (/dev/serial/by-id, by-path) names one device by construction
// and is trusted. Any other name must lead to the same device: a USB adapter by vendor,
// product, serial number and interface (by the socket it sits in when it has no serial
// number), another device by its path in sysfs. A pseudo-terminal's number is handed to
// the next program that asks for one, so it is never taken again unless the name is a link
// that was made anew (a simulator pointing its link at its new line).

#include "transport/TransportTypes.h"

#include <QByteArray>
#include <QString>

// The folders identities are read from ("/sys", "/dev"); tests point them at a fake tree.
QString DeviceSysfsRoot();
void SetDeviceSysfsRoot(const QString& root);
QString DeviceDevRoot();
void SetDeviceDevRoot(const QString& root);

// The identity of the character device major:minor, named kernelName, as the sysfs tree
// under sysfsRoot tells it.
TDeviceIdentity IdentifyCharDevice(
    const QString& sysfsRoot, unsigned major, unsigned minor, const QString& kernelName);

// What the device path leads to now, without opening it: 0, or an errno (ENOENT when
// nothing is there). rdev gets the device number, for the open to check it is the same.
int IdentifyDevicePath(const QByteArray& path, TDeviceIdentity& identity, unsigned long long* rdev = nullptr);

// The folder whose entries tell that devicePath may exist now: its own folder, or the
// nearest parent that exists (/dev/serial/by-id goes with the last adapter).
QString DeviceWatchFolder(const QString& devicePath);
