#pragma once
// The transport for a port name. Today every name is a serial device ("/dev/ttyUSB0", a pty
// path, "COM1"); other schemes ("socket://", "rfc2217://") get their transports here.

#include <QString>

class QObject;
class TTransport;

// Owned by parent.
TTransport* CreateTransport(const QString& name, QObject* parent);
