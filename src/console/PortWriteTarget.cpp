#include "console/PortWriteTarget.h"

#include "serial/ComPort.h"

#include <cerrno>

TWriteTarget::Outcome TPortWriteTarget::write(QByteArrayView bytes, bool wait)
{
    std::unique_ptr<PortOperation> operation = InitOperation();
    port_.StartWrite(bytes.data(), int(bytes.size()), operation.get());
    if (!wait && operation->Transferred < operation->Size)
        return {operation->Transferred, {}};
    // Also for a write done at once: the wait finishes it for the port's links.
    try {
        port_.WaitForOperation(operation.get());
    } catch (const EComPort& e) {
        if (e.SystemError() != ETIMEDOUT)
            throw;
        return {operation->Transferred, QString::fromUtf8(e.what())};
    }
    return {bytes.size(), {}};
}
