#include "console/ConnectionSetup.h"

#include "console/SetupPage.h"
#include "console/StatusLine.h"
#include "console/TerminalPage.h"
#include "console/WindowTexts.h"
#include "serial/ComPort.h"
#include "session/PortReconnector.h"
#include "serial/widgets/ComSetupFrm.h"
#include "session/JournalRecorder.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>

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
    port_.BeginSettingsUpdate();
    port_.SetPort(QStringLiteral("COM1"));
    port_.SetBaudRate(br9600);
    port_.SetDataBits(dbEight);
    port_.SetStopBits(sbOne5StopBits);
    port_.Parity().SetBits(prNone);
    port_.SetEvents(kAllComEvents);
    port_.Buffer().SetInputSize(2048);
    port_.Buffer().SetOutputSize(2048);
    TComFlowControl& flow = port_.FlowControl();
    flow.SetOutCTSFlow(false);
    flow.SetOutDSRFlow(false);
    flow.SetControlDTR(dtrDisable);
    flow.SetControlRTS(rtsDisable);
    flow.SetXonXoffOut(false);
    flow.SetXonXoffIn(false);
    port_.EndSettingsUpdate();

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
    PortReconfigured();
    return true;
}

void TConnectionSetup::PortReconfigured()
{
    if (!port_.Connected())
        return;
    setup_.Label3->setText(port_.Port());
    const QString rate = Rate();
    setup_.Label5->setText(rate);
    status_.setConnectionState(text::stateOpen.arg(port_.Port(), rate), port_.Port());
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
    port_.ClosePort();
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
