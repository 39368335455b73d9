#include "serial/DeviceIdentity.h"

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
