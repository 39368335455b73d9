#include "serial/widgets/SerialPortList.h"

#include "serial/EComPort.h"
#include "serial/SerialDevice.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace {

QString& sysfsRoot()
{
    static QString root = QStringLiteral("/sys");
    return root;
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

QString SerialPortsSysfsRoot()
{
    return sysfsRoot();
}

void SetSerialPortsSysfsRoot(const QString& root)
{
    sysfsRoot() = root;
}

bool SerialPortNameLess(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

void ListSerialPorts(QStringList& list)
{
    ListSerialPorts(list, sysfsRoot());
}

void ListSerialPorts(QStringList& list, const QString& sysfsRoot)
{
    const QByteArray dirPath = QFile::encodeName(sysfsRoot + QStringLiteral("/class/tty"));
    std::unique_ptr<DIR, DirCloser> dir(::opendir(dirPath.constData()));
    if (!dir)
        throw EComPort(CError_RegError, errno);
    QStringList found;
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
        if (isRealPort(dirPath + '/' + name))
            found << QStringLiteral("/dev/") + QFile::decodeName(name);
    }
    std::stable_sort(found.begin(), found.end(), SerialPortNameLess);
    list = found;
}

bool SerialDeviceExists(const QString& portName)
{
    if (portName.isEmpty())
        return false;
    struct stat st { };
    return ::stat(PortNameToDevicePath(portName).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}
