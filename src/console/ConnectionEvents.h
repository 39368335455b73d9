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
#include <QString>
#include <functional>

class CaptureRecorder;
class ScopePage;
class SetupPage;
class TDeviceSession;
class TErrorReports;
class TPortReconnector;
class TStatusLine;
class TTransport;

class TConnectionEvents : public QObject {
public:
    struct Parts {
        TDeviceSession& session;
        // The rate the open port runs at, as the journal's row gives it.
        std::function<QString()> rate;
        // Whose opens are journalled as `reconnected` instead; null for none.
        const TPortReconnector* reconnector;
        SetupPage& setup;
        ScopePage& scope;
        TStatusLine& status;
        // The live trace's recorder: what it holds is written at a close.
        CaptureRecorder& recorder;
        TErrorReports& reports;
    };
    // Made after every other listener of the transport, so that it hears of an open or a
    // close once they all have (as the serial port's after-open and after-close events did).
    TConnectionEvents(TTransport& transport, const Parts& parts);
    ~TConnectionEvents() override;

    void ComPort1AfterOpen();
    void ComPort1AfterClose();

private:
    TTransport& transport_;
    Parts parts_;
    TComLink link_;
};
