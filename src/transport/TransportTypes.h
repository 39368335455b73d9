#pragma once
// Plain values a transport reports: what its name led to when it opened (for a reconnection
// to open that device again and no other) and the line errors its driver counted.

#include <QByteArray>
#include <QString>
#include <cstdint>

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

// The modem lines the device drives, as last read.
struct TLineState {
    bool cts = false;
    bool dsr = false;
    bool rlsd = false; // carrier detect
    bool ring = false;
};

// Errors of the received line counted by the driver.
struct TLineErrorCounts {
    uint64_t Framing = 0;
    uint64_t Parity = 0;
    uint64_t Overrun = 0;
    uint64_t Breaks = 0;
    bool operator==(const TLineErrorCounts&) const = default;
};
