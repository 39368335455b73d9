#pragma once
// A fake sysfs tree for the device list: class/tty/<name> entries, with or without a device
// behind them and a UART type, created in the order given (directory order is the
// filesystem's, so the list must sort).

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <utility>

struct FakeSysfs {
    QTemporaryDir dir;

    QString root() const { return dir.path(); }
    QString ttyDir() const { return dir.path() + QStringLiteral("/class/tty"); }

    FakeSysfs() { QDir().mkpath(ttyDir()); }

    // type < 0: no type attribute (USB, ACM); 0: a UART slot without a chip.
    void add(const QString& name, bool device = true, int type = -1)
    {
        const QString entry = ttyDir() + '/' + name;
        QDir().mkpath(entry);
        if (device)
            QDir().mkpath(entry + QStringLiteral("/device"));
        if (type >= 0) {
            QFile f(entry + QStringLiteral("/type"));
            if (f.open(QIODevice::WriteOnly))
                f.write(QByteArray::number(type) + '\n');
        }
    }
    // As the kernel lays it out: the class entry and its device are symbolic links.
    void addLinked(const QString& name)
    {
        const QString real = dir.path() + QStringLiteral("/devices/") + name;
        QDir().mkpath(real + QStringLiteral("/") + name);
        QDir().mkpath(real + QStringLiteral("/port"));
        QFile::link(real + QStringLiteral("/port"), real + '/' + name + QStringLiteral("/device"));
        QFile::link(real + '/' + name, ttyDir() + '/' + name);
    }
    // A USB adapter: the tty under its interface, the maker's attributes on the USB device.
    void addUsb(const QString& name, const QByteArray& manufacturer, const QByteArray& product,
        const QByteArray& serial)
    {
        const QString usb = dir.path() + QStringLiteral("/devices/usb1/1-%1").arg(++usbCount_);
        const QString interface = usb + QStringLiteral("/1-%1:1.0").arg(usbCount_);
        const QString tty = interface + '/' + name;
        QDir().mkpath(tty);
        const std::pair<const char*, QByteArray> attributes[] = {
            {"idVendor", "0403"}, {"manufacturer", manufacturer}, {"product", product}, {"serial", serial}};
        for (const auto& [file, value] : attributes) {
            if (value.isEmpty())
                continue;
            QFile f(usb + '/' + QLatin1String(file));
            if (f.open(QIODevice::WriteOnly))
                f.write(value + '\n');
        }
        QFile::link(interface, tty + QStringLiteral("/device"));
        QFile::link(tty, ttyDir() + '/' + name);
    }

private:
    int usbCount_ = 0;
};

// A fake /dev: device nodes (plain files here) and the stable names udev makes for USB
// serial devices, links into the folder two levels up.
struct FakeDev {
    QTemporaryDir dir;

    QString root() const { return dir.path(); }
    QString byId(const QString& link) const { return dir.path() + QStringLiteral("/serial/by-id/") + link; }

    void addNode(const QString& name)
    {
        QFile f(dir.path() + '/' + name);
        if (f.open(QIODevice::WriteOnly))
            f.close();
    }
    void addById(const QString& link, const QString& name)
    {
        QDir().mkpath(dir.path() + QStringLiteral("/serial/by-id"));
        QFile::link(QStringLiteral("../../") + name, byId(link));
    }
};
