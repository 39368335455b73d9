#include "session/TransportFactory.h"

#include "net/NetPortName.h"
#include "net/NetTransport.h"
#include "serial/ComPort.h"

TTransport* CreateTransport(const QString& name, QObject* parent)
{
    // A port on another machine ("rfc2217://", "socket://") is a transport of its own, whose
    // open never blocks; anything else names a serial device.
    TTransport* transport
        = IsNetPortName(name) ? static_cast<TTransport*>(new TNetTransport(parent)) : new TComPort(parent);
    transport->SetPort(name);
    return transport;
}
