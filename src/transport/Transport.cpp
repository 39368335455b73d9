#include "transport/Transport.h"

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

TTransport::OpenFailure TTransport::DiagnoseOpenFailure(const std::exception& error) const
{
    const QString text = QString::fromLocal8Bit(error.what());
    return {false, text, text};
}
