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

#include <QByteArray>
#include <QString>

struct TDeviceIdentity {
    enum class Kind {
        Unknown, // nothing could be told
        StableName, // a udev name under serial/by-id or serial/by-path
        Pty, // a pseudo-terminal
        Usb, // a USB serial adapter
        DevicePath, // another device sysfs knows
        Node, // a character device sysfs does not list: its numbers
    };
    Kind kind = Kind::Unknown;
    QString key; // what must match, by kind
    QString description; // for the operator: "FTDI FT232R USB UART, serial A1B2C3 (ttyUSB0)"
    QByteArray link; // the name's own link as found (device, inode, change time); empty: no link

    bool operator==(const TDeviceIdentity&) const = default;
};

// Whether `now` may be taken for the device that was open as `before`.
bool SameDevice(const TDeviceIdentity& before, const TDeviceIdentity& now);

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
