#include "console/ConnectionEvents.h"

#include "archive/CaptureRecorder.h"
#include "console/ErrorReports.h"
#include "console/ScopePage.h"
#include "console/SetupPage.h"
#include "console/StatusLine.h"
#include "console/WindowTexts.h"
#include "net/NetSerialDevice.h"
#include "session/DeviceSession.h"
#include "session/JournalRecorder.h"
#include "session/LinkMonitor.h"
#include "session/PortReconnector.h"
#include "transport/Transport.h"

#include <QLabel>

TConnectionEvents::TConnectionEvents(TTransport& transport, const Parts& parts)
    : transport_(transport)
    , parts_(parts)
{
    link_.ConnHandler = [this](QObject*, bool open) {
        if (open)
            ComPort1AfterOpen();
        else
            parts_.reports.Run([this] { ComPort1AfterClose(); });
    };
    transport_.AttachLink(&link_);
    // Port names with "://" are devices on other machines; such a port tells once of a
    // request its server left unanswered.
    RegisterNetPorts();
    SetNetNoticeHandler(this,
        [this](const QString& port, const QString& text) { parts_.session.journal().error(port, text); });
}

TConnectionEvents::~TConnectionEvents()
{
    transport_.DetachLink(&link_);
}

void TConnectionEvents::ComPort1AfterOpen()
{
    parts_.session.monitor().connectionOpened();
    if (!parts_.reconnector || !parts_.reconnector->IsWaiting())
        parts_.session.journal().connectionOpened(transport_.Port(), parts_.rate());
}

void TConnectionEvents::ComPort1AfterClose()
{
    const QString port = transport_.Port();
    parts_.setup.Label3->setText(text::closed);
    parts_.recorder.flush();
    const bool lost = transport_.ClosedByHangUp();
    if (lost)
        parts_.status.setConnectionState(text::stateLost.arg(port), port);
    else
        parts_.status.setConnectionState(text::stateClosed);
    if (lost)
        parts_.session.journal().connectionLost(port);
    else
        parts_.session.journal().connectionClosed(port);
    parts_.session.monitor().connectionClosed(lost);
    parts_.scope.LinkDown();
    parts_.session.transportClosed();
}
