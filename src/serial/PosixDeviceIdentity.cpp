// Identities read from the file system and sysfs (Linux).
#include "serial/DeviceIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

// Unix98 pseudo-terminal slaves.
constexpr unsigned kPtyMajorFirst = 136, kPtyMajorLast = 143;

QString attribute(const QString& folder, const char* name)
{
    QFile f(folder + QLatin1Char('/') + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.read(256)).trimmed();
}

} // namespace

TDeviceIdentity IdentifyCharDevice(
    const QString& sysfs, unsigned major, unsigned minor, const QString& kernelName)
{
    TDeviceIdentity id;
    if (major >= kPtyMajorFirst && major <= kPtyMajorLast) {
        id.kind = TDeviceIdentity::Kind::Pty;
        id.key = QString::number((major - kPtyMajorFirst) * 256 + minor);
        id.description = QStringLiteral("/dev/pts/") + id.key;
        return id;
    }
    QString entry = sysfs + QStringLiteral("/dev/char/%1:%2").arg(major).arg(minor);
    if (!QFileInfo::exists(entry))
        entry = sysfs + QStringLiteral("/class/tty/") + kernelName;
    const QString device = QFileInfo(entry + QStringLiteral("/device")).canonicalFilePath();
    if (device.isEmpty()) {
        id.kind = TDeviceIdentity::Kind::Node;
        id.key = QStringLiteral("%1:%2").arg(major).arg(minor);
        id.description = kernelName;
        return id;
    }
    // The USB device is the first folder above with a vendor; the interface, the one below it.
    QString dir = device;
    QString interface;
    for (int depth = 0; depth < 6 && !dir.isEmpty(); ++depth) {
        if (QFileInfo::exists(dir + QStringLiteral("/idVendor"))) {
            const QString serial = attribute(dir, "serial");
            const QString ids = attribute(dir, "idVendor") + QLatin1Char(':') + attribute(dir, "idProduct");
            const QString number = attribute(interface, "bInterfaceNumber");
            id.kind = TDeviceIdentity::Kind::Usb;
            // Without a serial number only the socket tells two adapters of a kind apart.
            id.key = ids
                + (serial.isEmpty() ? QStringLiteral(" at ") + QFileInfo(dir).fileName()
                                    : QStringLiteral(" serial ") + serial)
                + QStringLiteral(" if ") + number;
            QStringList words;
            for (const char* name : {"manufacturer", "product"}) {
                const QString value = attribute(dir, name);
                if (!value.isEmpty())
                    words << value;
            }
            QString text = words.isEmpty() ? QStringLiteral("USB ") + ids : words.join(QLatin1Char(' '));
            if (!serial.isEmpty())
                text += QStringLiteral(", serial ") + serial;
            id.description = text + QStringLiteral(" (") + kernelName + QLatin1Char(')');
            return id;
        }
        interface = dir;
        const QString up = QFileInfo(dir).path();
        if (up == dir)
            break;
        dir = up;
    }
    id.kind = TDeviceIdentity::Kind::DevicePath;
    id.key = QDir(QFileInfo(sysfs).canonicalFilePath()).relativeFilePath(device);
    id.description = kernelName + QStringLiteral(" (") + id.key + QLatin1Char(')');
    return id;
}

int IdentifyDevicePath(const QByteArray& path, TDeviceIdentity& id, unsigned long long* rdev)
{
    id = {};
    struct stat own { };
    if (::lstat(path.constData(), &own) != 0)
        return errno;
    if (S_ISLNK(own.st_mode))
        id.link = QByteArray::number(qulonglong(own.st_dev)) + ':'
            + QByteArray::number(qulonglong(own.st_ino)) + ':'
            + QByteArray::number(qlonglong(own.st_ctim.tv_sec)) + '.'
            + QByteArray::number(qlonglong(own.st_ctim.tv_nsec));
    struct stat st { };
    if (::stat(path.constData(), &st) != 0)
        return errno;
    if (!S_ISCHR(st.st_mode))
        return ENOTTY;
    if (rdev)
        *rdev = st.st_rdev;
    const QString name = QFile::decodeName(path);
    const QString dev = DeviceDevRoot();
    if (name.startsWith(dev + QStringLiteral("/serial/by-id/"))
        || name.startsWith(dev + QStringLiteral("/serial/by-path/"))) {
        id.kind = TDeviceIdentity::Kind::StableName;
        id.key = name;
        id.description = QFileInfo(name).fileName();
        return 0;
    }
    const QByteArray link = id.link;
    id = IdentifyCharDevice(DeviceSysfsRoot(), ::major(st.st_rdev), ::minor(st.st_rdev),
        QFileInfo(QFileInfo(name).canonicalFilePath()).fileName());
    id.link = link;
    return 0;
}
