#include "serial/EComPort.h"

#include "common/Intl.h"

#include <array>

namespace {
constexpr std::array<const char*, 23> kTexts = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};
} // namespace

const char* EComPort::RawText(int portError)
{
    return portError >= 1 && portError <= int(kTexts.size()) ? kTexts[portError - 1] : "";
}

QString EComPort::ComposeMessage(int portError, int systemError)
{
    const char* raw = RawText(portError);
    QString text = *raw ? intl::sp(raw) : QString();
    if (systemError != -1)
        text += intl::sp(" (win error code: %d)").replace(QLatin1String("%d"), QString::number(systemError));
    return text;
}

EComPort::EComPort(int portError, int systemError)
    : portError_(portError)
    , systemError_(systemError)
    , message_(ComposeMessage(portError, systemError))
    , utf8_(message_.toUtf8())
{
}
