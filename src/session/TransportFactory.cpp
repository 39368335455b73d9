#include "session/TransportFactory.h"

#include "serial/ComPort.h"

TTransport* CreateTransport(const QString& name, QObject* parent)
{
    auto* port = new TComPort(parent);
    port->SetPort(name);
    return port;
}
