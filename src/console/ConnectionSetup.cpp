#include "console/ConnectionSetup.h"

#include "console/SetupPage.h"
#include "console/StatusLine.h"
#include "console/TerminalPage.h"
#include "console/WindowTexts.h"
#include "net/NamedPort.h"
#include "serial/ComPort.h"
#include "serial/widgets/ComSetupFrm.h"
#include "session/JournalRecorder.h"
#include "session/PortReconnector.h"
#include "settings/PortSection.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <utility>

TConnectionSetup::TConnectionSetup(TComPort& port, SetupPage& setup, TerminalPage& terminal,
    TStatusLine& status, TJournalRecorder& journal, QWidget& window)
    : QObject(&window)
    , port_(port)
    , setup_(setup)
    , terminal_(terminal)
    , status_(status)
    , journal_(journal)
    , window_(window)
{
    port_.SetPort(QStringLiteral("COM1"));
    portSection::ApplyDefaults(port_);

    reconnector_ = new TPortReconnector(&port_, this);
    reconnector_->SetEnabled(setup_.AutoReconnect->isChecked());
    connect(setup_.AutoReconnect, &QCheckBox::toggled, reconnector_, &TPortReconnector::SetEnabled);
    connect(reconnector_, &TPortReconnector::waitingStarted, this, [this](const QString& name) {
        status_.setConnectionState(text::stateWaiting.arg(name), name);
        journal_.connectionWaiting(name);
    });
    connect(reconnector_, &TPortReconnector::lost, this,
        [this](const QString& name) { status_.setConnectionState(text::stateLost.arg(name), name); });
    connect(
        reconnector_, &TPortReconnector::refused, this, [this](const QString& name, const QString& found) {
            status_.setConnectionState(text::stateRefused.arg(name, found), name);
            journal_.connectionRefused(name, found);
        });
    connect(
        reconnector_, &TPortReconnector::failing, this, [this](const QString& name, const QString& reason) {
            status_.setConnectionState(text::stateFailing.arg(name, reason), name);
            journal_.connectionFailing(name, reason);
        });
    connect(reconnector_, &TPortReconnector::stopped, this,
        [this] { status_.setConnectionState(text::stateClosed); });
    connect(reconnector_, &TPortReconnector::reconnected, this,
        [this](const QString& name) { journal_.connectionReconnected(name, Rate()); });
    connect(reconnector_, &TPortReconnector::reconnected, this, [this] { PortReconfigured(); });

    // An open that ends later (a port on another machine), whoever started it: the set-up,
    // a new name or a settings file while open, the reconnector.
    connect(&port_, &TTransport::Opened, this, [this] {
        const auto* named = qobject_cast<const TNamedPort*>(&port_);
        if (std::exchange(awaiting_, false) || (named && named->OnNetwork()))
            PortReconfigured();
    });
    connect(&port_, &TTransport::OpenFailed, this, [this](TTransport*, const QString& reason) {
        if (!std::exchange(awaiting_, false))
            return;
        // The dialog runs its own event loop: not from inside the network's handler.
        QMetaObject::invokeMethod(
            this, [this, reason] { openFailed(reason); }, Qt::QueuedConnection);
    });
    connect(&port_, &TTransport::LineSettingsTaken, this, [this] { showRate(); });
}

QString TConnectionSetup::Rate() const
{
    if (const uint32_t actual = port_.ActualBaudRate(); actual > 0)
        return QString::number(actual);
    return port_.BaudRate() == brCustom ? QString::number(port_.CustomBaudRate())
                                        : BaudRateToText(port_.BaudRate());
}

bool TConnectionSetup::OpenCom()
{
    awaiting_ = false;
    for (;;) {
        port_.ClosePort();
        try {
            port_.OpenPort();
            break;
        } catch (const EComPort& e) {
            // No message for a failed open: the set-up dialog is the answer, and it says
            // why. Cancel ends the attempt, so an operator without a device is never held
            // in this loop.
            if (!RunSetupDialog(port_, &window_, &e))
                return false;
        }
    }
    if (port_.Opening()) {
        awaiting_ = true;
        status_.setConnectionState(text::stateOpening.arg(port_.Port()), port_.Port());
        return true;
    }
    PortReconfigured();
    return true;
}

void TConnectionSetup::openFailed(const QString& reason)
{
    // Given up meanwhile ("Изключен"), or opened by another way: nothing to ask.
    if (!setup_.RSBut->isChecked() || port_.Connected() || port_.Opening())
        return;
    // As a failed open of a local port: the dialog says why; OK tries again, Cancel ends it.
    bool again = false;
    try {
        again = RunSetupDialog(port_, &window_, reason) && OpenCom();
    } catch (const std::exception& e) {
        // Nobody above the event loop to raise to: the application's error report.
        TCustomComPort::ReportError(e);
    }
    if (again)
        return;
    port_.ClosePort();
    setup_.NoneBut->setChecked(true);
    status_.setConnectionState(text::stateClosed);
}

void TConnectionSetup::showRate()
{
    if (!port_.Connected())
        return;
    const QString rate = Rate();
    setup_.Label5->setText(rate);
    status_.setConnectionState(text::stateOpen.arg(port_.Port(), rate), port_.Port());
}

void TConnectionSetup::PortReconfigured()
{
    if (!port_.Connected())
        return;
    setup_.Label3->setText(port_.Port());
    showRate();
    // A configuration drives DTR and RTS as its flow control says (here: both held low).
    port_.SetDtrLine(terminal_.DTR->isChecked());
    port_.SetRtsLine(terminal_.RTS->isChecked());
}

void TConnectionSetup::connectSerial()
{
    // Chosen by the operator: a wait for a lost device gives way to an attempt now, and to
    // the set-up dialog if that fails.
    reconnector_->Stop();
    try {
        if (!OpenCom()) {
            port_.ClosePort();
            setup_.NoneBut->setChecked(true);
        }
    } catch (...) {
        // The list of devices could not be read (or a line could not be set): the port
        // stays closed and the serial type stays chosen.
        port_.ClosePort();
        throw;
    }
}

void TConnectionSetup::RSButClick()
{
    connectSerial();
}

void TConnectionSetup::NoneButClick()
{
    reconnector_->Stop();
    const bool wasOpening = std::exchange(awaiting_, false) || port_.Opening();
    port_.ClosePort();
    // An abandoned open closes nothing, so no close tells the status line.
    if (wasOpening)
        status_.setConnectionState(text::stateClosed);
}

void TConnectionSetup::Button9Click()
{
    RunSetupDialog(port_, &window_);
    if (setup_.RSBut->isChecked())
        connectSerial();
    else
        PortReconfigured();
}

void TConnectionSetup::DTRClick()
{
    if (port_.Connected())
        port_.SetDtrLine(terminal_.DTR->isChecked());
}

void TConnectionSetup::RTSClick()
{
    if (port_.Connected())
        port_.SetRtsLine(terminal_.RTS->isChecked());
}
