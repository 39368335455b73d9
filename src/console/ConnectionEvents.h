#pragma once
// TConnectionEvents: what the window, the link monitor and the journal make of the port's
// opens and closes, whoever opened or closed it (the set-up, a settings file loaded while open,
// the reconnector, the device going away). An open counts for the monitor and is journalled,
// unless the reconnector made it (that is journalled as `reconnected`); a close shows "Closed"
// on the settings page and the state on the status line, writes the trace recorded so far,
// journals a lost or closed connection, and greys the read-outs. A network port's notices (a
// request its server left unanswered) go to the journal.

#include "transport/ComLink.h"

#include <QObject>

class ScopePage;
class SetupPage;
class TCaptureArchive;
class TConnectionSetup;
class TDeviceSession;
class TErrorReports;
class TStatusLine;
class TTransport;

class TConnectionEvents : public QObject {
public:
    struct Parts {
        TDeviceSession& session;
        TConnectionSetup& connection;
        SetupPage& setup;
        ScopePage& scope;
        TStatusLine& status;
        TCaptureArchive& captures;
        TErrorReports& reports;
    };
    // Attached after every other listener of the transport: it hears of an open or a close
    // once they all have.
    TConnectionEvents(TTransport& transport, const Parts& parts);
    ~TConnectionEvents() override;

    void ComPort1AfterOpen();
    void ComPort1AfterClose();

private:
    TTransport& transport_;
    Parts parts_;
    TComLink link_;
};
