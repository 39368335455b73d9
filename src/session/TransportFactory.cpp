#include "session/TransportFactory.h"

#include "net/NetSerialDevice.h"
#include "serial/ComPort.h"

TTransport* CreateTransport(const QString& name, QObject* parent)
{
    // A port on another machine ("rfc2217://", "socket://") is the serial port component
    // over the network's device layer: lamps, rate, errors and reconnection as for a local one.
    if (IsRemotePortName(name))
        RegisterNetPorts();
    auto* port = new TComPort(parent);
    port->SetPort(name);
    return port;
}
