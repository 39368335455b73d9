#include "serial/DeviceIdentity.h"

#include <QFileInfo>

namespace {

QString& sysfsRoot()
{
    static QString root = QStringLiteral("/sys");
    return root;
}

QString& devRoot()
{
    static QString root = QStringLiteral("/dev");
    return root;
}

} // namespace

QString DeviceSysfsRoot()
{
    return sysfsRoot();
}

void SetDeviceSysfsRoot(const QString& root)
{
    sysfsRoot() = root;
}

QString DeviceDevRoot()
{
    return devRoot();
}

void SetDeviceDevRoot(const QString& root)
{
    devRoot() = root;
}

QString DeviceWatchFolder(const QString& devicePath)
{
    QString folder = QFileInfo(devicePath).absolutePath();
    while (!QFileInfo(folder).isDir()) {
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder)
            break;
        folder = up;
    }
    return folder;
}
