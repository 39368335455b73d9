#include "serial/widgets/SerialPortList.h"

#include "serial/DeviceIdentity.h"
#include "serial/EComPort.h"
#include "serial/SerialDevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace {

QString readAttribute(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.read(256)).trimmed();
}

// The USB device a tty belongs to: the first folder above its device that has idVendor.
QString describe(const QByteArray& entry, const QString& kernelName)
{
    QString dir = QFileInfo(QFile::decodeName(entry + "/device")).canonicalFilePath();
    QStringList parts;
    for (int depth = 0; depth < 4 && !dir.isEmpty(); ++depth) {
        if (QFileInfo::exists(dir + QStringLiteral("/idVendor"))) {
            for (const char* attribute : {"manufacturer", "product"}) {
                const QString value = readAttribute(dir + '/' + QLatin1String(attribute));
                if (!value.isEmpty())
                    parts << value;
            }
            QString text = parts.join(QLatin1Char(' '));
            const QString serial = readAttribute(dir + QStringLiteral("/serial"));
            if (!serial.isEmpty())
                text += (text.isEmpty() ? QString() : QStringLiteral(", ")) + QStringLiteral("serial ")
                    + serial;
            return text.isEmpty() ? kernelName : text + QStringLiteral(" (") + kernelName + ')';
        }
        const QString up = QFileInfo(dir).path();
        if (up == dir)
            break;
        dir = up;
    }
    return kernelName;
}

// Kernel name → the first (sorted) /dev/serial/by-id link that points at it.
QHash<QString, QString> stableNames(const QString& dev)
{
    QHash<QString, QString> names;
    const QDir byId(dev + QStringLiteral("/serial/by-id"));
    QStringList links = byId.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& link : links) {
        const QString target = QFileInfo(byId.filePath(link)).symLinkTarget();
        if (target.isEmpty())
            continue;
        const QString kernelName = QFileInfo(target).fileName();
        if (!names.contains(kernelName))
            names.insert(kernelName, byId.filePath(link));
    }
    return names;
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// serial_core exports the UART type of each slot; 0 is "unknown": no chip behind it.
bool isUnknownUart(const QByteArray& entry)
{
    QFile type(QFile::decodeName(entry + "/type"));
    if (!type.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const int value = type.readAll().trimmed().toInt(&ok);
    return ok && value == 0;
}

bool isRealPort(const QByteArray& entry)
{
    struct stat st { };
    // Virtual terminals, ptys and the console have no device behind them.
    if (::stat((entry + "/device").constData(), &st) != 0)
        return false;
    return !isUnknownUart(entry);
}

} // namespace

// One pair of roots for the list and for the identities a reconnection compares.
QString SerialPortsDevRoot()
{
    return DeviceDevRoot();
}

void SetSerialPortsDevRoot(const QString& root)
{
    SetDeviceDevRoot(root);
}

QString SerialPortsSysfsRoot()
{
    return DeviceSysfsRoot();
}

void SetSerialPortsSysfsRoot(const QString& root)
{
    SetDeviceSysfsRoot(root);
}

bool SerialPortNameLess(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

void ListSerialPorts(QStringList& list)
{
    ListSerialPorts(list, DeviceSysfsRoot());
}

void ListSerialPorts(QStringList& list, const QString& sysfsRoot)
{
    QStringList found;
    for (const TSerialDeviceInfo& device : ListSerialDevices(sysfsRoot, DeviceDevRoot()))
        found << device.path;
    list = found;
}

std::vector<TSerialDeviceInfo> ListSerialDevices(const QString& sysfsRoot, const QString& devRoot)
{
    const QByteArray dirPath = QFile::encodeName(sysfsRoot + QStringLiteral("/class/tty"));
    std::unique_ptr<DIR, DirCloser> dir(::opendir(dirPath.constData()));
    if (!dir)
        throw EComPort(CError_RegError, errno);
    const QHash<QString, QString> stable = stableNames(devRoot);
    std::vector<TSerialDeviceInfo> found;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir.get());
        if (!e) {
            if (const int error = errno)
                throw EComPort(CError_RegError, error);
            break;
        }
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        if (!isRealPort(dirPath + '/' + name))
            continue;
        TSerialDeviceInfo device;
        device.kernelName = QFile::decodeName(name);
        device.path = stable.value(device.kernelName, devRoot + '/' + device.kernelName);
        device.description = describe(dirPath + '/' + name, device.kernelName);
        found.push_back(device);
    }
    std::stable_sort(found.begin(), found.end(), [](const TSerialDeviceInfo& a, const TSerialDeviceInfo& b) {
        return SerialPortNameLess(a.path, b.path);
    });
    return found;
}

bool SerialDeviceExists(const QString& portName)
{
    if (portName.isEmpty())
        return false;
    struct stat st { };
    return ::stat(PortNameToDevicePath(portName).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}
