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

bool SameDevice(const TDeviceIdentity& before, const TDeviceIdentity& now)
{
    using Kind = TDeviceIdentity::Kind;
    if (before.kind == Kind::StableName)
        return true;
    if (before.kind == Kind::Unknown || now.kind == Kind::Unknown)
        return false;
    if (before.kind == Kind::Pty || now.kind == Kind::Pty)
        return !before.link.isEmpty() && !now.link.isEmpty() && before.link != now.link;
    return before.kind == now.kind && before.key == now.key;
}
