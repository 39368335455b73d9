#include "serial/PortDiagnosis.h"

#include "common/Intl.h"
#include "serial/ComPort.h"
#include "serial/EComPort.h"
#include "serial/SerialDevice.h"

#include <cmath>
#include <cstring>

namespace {

QString systemText(int error)
{
    char buffer[256] = {};
    // The GNU strerror_r returns the text, which need not be in the buffer.
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

} // namespace

QString OpenFailureText(const TCustomComPort& port, const EComPort& error)
{
    const int code = error.SystemError();
    const QString cause = code > 0 ? systemText(code) : error.Message();
    QString text = error.PortError() == CError_SetStateFailed
        ? intl::sp("%1 refused the line settings (%2 baud): %3.")
              .arg(port.Port(), QString::number(port.RequestedBaudRate()), cause)
        : intl::sp("Cannot open %1: %2.").arg(port.Port(), cause);
    if (code > 0 && ClassifyErrno(code, TDevicePhase::Open) == TErrnoKind::Permission)
        text += QLatin1Char(' ')
            + intl::sp(
                "Your user needs access to the device (on Debian: membership of the group \"dialout\", "
                "then log in again).");
    return text;
}

QString RateDeviationText(const TCustomComPort& port)
{
    const double asked = port.RequestedBaudRate();
    const double actual = port.ActualBaudRate();
    if (!port.Connected() || asked <= 0 || actual <= 0)
        return {};
    if (std::abs(actual - asked) * 100.0 <= asked * kRateTolerancePercent)
        return {};
    return intl::sp("The device runs at %1 baud, not the %2 asked for.")
        .arg(QString::number(qint64(actual)), QString::number(qint64(asked)));
}
