#include "serial/SerialDevice.h"

#include <QFile>
#include <cerrno>

TErrnoKind ClassifyErrno(int error, TDevicePhase phase)
{
    switch (error) {
    case 0:
        return TErrnoKind::None;
    case EINTR:
        return TErrnoKind::Retry;
    case EAGAIN:
        return TErrnoKind::WouldBlock;
    case ETIMEDOUT:
        return TErrnoKind::TimedOut;
    case ENOENT:
        return TErrnoKind::NotFound;
    case ENODEV:
    case ENXIO:
        // Gone before it was opened, or gone while in use (adapter pulled).
        return phase == TDevicePhase::Open ? TErrnoKind::NotFound : TErrnoKind::HangUp;
    case EBUSY:
        return TErrnoKind::Busy;
    case EACCES:
    case EPERM:
    case EROFS:
        return TErrnoKind::Permission;
    case ENOTTY:
    case EINVAL:
    case ENOSYS:
    case EOPNOTSUPP:
        return TErrnoKind::Unsupported;
    case EIO:
    case EPIPE:
        return phase == TDevicePhase::Open ? TErrnoKind::Other : TErrnoKind::HangUp;
    default:
        return TErrnoKind::Other;
    }
}

QByteArray PortNameToDevicePath(const QString& name)
{
    if (name.startsWith(QLatin1Char('/')))
        return QFile::encodeName(name);
    if (IsRemotePortName(name))
        return name.toUtf8();
    if (name.size() > 3 && name.left(3).compare(QLatin1String("COM"), Qt::CaseInsensitive) == 0) {
        bool ok = false;
        const int n = name.mid(3).toInt(&ok);
        if (ok && n >= 1 && name.mid(3).at(0).isDigit())
            return "/dev/ttyS" + QByteArray::number(n - 1);
    }
    return "/dev/" + QFile::encodeName(name);
}

bool IsRemotePortName(const QString& name)
{
    return name.contains(QLatin1String("://"));
}
