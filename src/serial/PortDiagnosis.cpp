#include "serial/PortDiagnosis.h"

#include "common/Intl.h"
#include "serial/EComPort.h"
#include "serial/SerialDevice.h"

#include <cstring>

namespace {

QString systemText(int error)
{
    char buffer[256] = {};
    // The GNU strerror_r returns the text, which need not be in the buffer.
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

} // namespace

QString OpenFailureText(const QString& port, const EComPort& error)
{
    const int code = error.SystemError();
    const QString cause = code > 0 ? systemText(code) : error.Message();
    QString text = intl::sp("Cannot open %1: %2.").arg(port, cause);
    if (code > 0 && ClassifyErrno(code, TDevicePhase::Open) == TErrnoKind::Permission)
        text += QLatin1Char(' ')
            + intl::sp(
                "Your user needs access to the device (on Debian: membership of the group \"dialout\", "
                "then log in again).");
    return text;
}
