#pragma once
// The system's list of serial devices, read from sysfs: every /sys/class/tty entry backed by
// a device (USB adapters, ACM modems, on-board UARTs) except UART slots of unknown type, as
// device paths ("/dev/ttyUSB0"), sorted case-insensitively (duplicates kept). A device with
// a stable name under /dev/serial/by-id is offered once, by that name, which survives the
// adapter coming back as another ttyUSBn. No widgets.

#include <QString>
#include <QStringList>
#include <vector>

struct TSerialDeviceInfo {
    QString path; // what the port opens: the by-id link where there is one
    QString kernelName; // "ttyUSB0"
    // Manufacturer, product and serial number of a USB device, and the kernel name, as
    // one line ("FTDI FT232R USB UART, serial A1B2C3 (ttyUSB0)").
    QString description;
};

// The devices, sorted by path. A tree that cannot be read raises EComPort 23 ("Registry
// error") with errno as system code. The roots are parameters so tests use a fake tree.
std::vector<TSerialDeviceInfo> ListSerialDevices(const QString& sysfsRoot, const QString& devRoot);

// Replaces list's content with the sorted device paths; on error list stays as it was.
void ListSerialPorts(QStringList& list);
void ListSerialPorts(QStringList& list, const QString& sysfsRoot);

// The roots the short forms read ("/sys", "/dev"); tests point them at a fake tree.
QString SerialPortsSysfsRoot();
void SetSerialPortsSysfsRoot(const QString& root);
QString SerialPortsDevRoot();
void SetSerialPortsDevRoot(const QString& root);

// Whether a port name (as the port maps it to a path) names an existing character device:
// a pseudo-terminal such as the simulator's is one that sysfs does not list.
bool SerialDeviceExists(const QString& portName);

// The order of the list: case-insensitive text order.
bool SerialPortNameLess(const QString& a, const QString& b);
