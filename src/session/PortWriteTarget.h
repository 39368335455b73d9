#pragma once
// The transport as the writer of answers and commands sees it.

#include "session/PortWriter.h"
#include "transport/Transport.h"

class TPortWriteTarget : public TWriteTarget {
public:
    explicit TPortWriteTarget(TTransport& transport)
        : transport_(transport)
    {
    }
    Outcome write(QByteArrayView bytes, bool wait) override
    {
        TTransport::WriteOutcome o = transport_.Write(bytes, wait);
        return {o.written, std::move(o.failure)};
    }

private:
    TTransport& transport_;
};
