#pragma once
// The transport for a port name: a serial device ("/dev/ttyUSB0", a pty path, "COM1") or a
// port on another machine ("socket://host:port", "rfc2217://host:port"), a TNetTransport whose
// open ends later (Opening, then Opened or OpenFailed).

#include <QString>

class QObject;
class TTransport;

// Owned by parent.
TTransport* CreateTransport(const QString& name, QObject* parent);
