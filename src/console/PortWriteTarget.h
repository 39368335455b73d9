#pragma once
// The window's port as the writer of its answers and commands sees it.

#include "console/core/PortWriter.h"

class TCustomComPort;

class TPortWriteTarget : public TWriteTarget {
public:
    explicit TPortWriteTarget(TCustomComPort& port)
        : port_(port)
    {
    }
    Outcome write(QByteArrayView bytes, bool wait) override;

private:
    TCustomComPort& port_;
};
