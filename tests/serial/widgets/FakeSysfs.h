#pragma once
// A fake sysfs tree for the device list: class/tty/<name> entries, with or without a device
// behind them and a UART type, created in the order given (directory order is the
// filesystem's, so the list must sort).

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

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
};
