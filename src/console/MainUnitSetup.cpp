// The settings file and the connection set-up of the main window.
#include "console/MainUnit.h"

#include "archive/CaptureRecorder.h"
#include "common/FileNames.h"
#include "console/CaptureArchive.h"
#include "console/LinkMonitor.h"
#include "console/PortSection.h"
#include "console/ScopePage.h"
#include "console/SetupPage.h"
#include "console/StatusLine.h"
#include "console/TerminalPage.h"
#include "console/WindowPosition.h"
#include "console/WindowTexts.h"
#include "console/core/JournalRecorder.h"
#include "serial/ComPort.h"
#include "serial/PortReconnector.h"
#include "serial/widgets/ComSetupFrm.h"
#include "terminal/ComTerminal.h"
#include "terminal/logic/TermSettingsSection.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <exception>

namespace {

// The rate the device took (a UART may round it), else the rate asked for.
QString rateOf(const TComPort& port)
{
    if (const uint32_t actual = port.ActualBaudRate(); actual > 0)
        return QString::number(actual);
    return port.BaudRate() == brCustom ? QString::number(port.CustomBaudRate())
                                       : BaudRateToText(port.BaudRate());
}

} // namespace

void TForm1::setUpConnection()
{
    // The port as the window creates it, before the settings file is applied.
    ComPort1->BeginSettingsUpdate();
    ComPort1->SetPort(QStringLiteral("COM1"));
    ComPort1->SetBaudRate(br9600);
    ComPort1->SetDataBits(dbEight);
    ComPort1->SetStopBits(sbOne5StopBits);
    ComPort1->Parity().SetBits(prNone);
    ComPort1->SetEvents(kAllComEvents);
    ComPort1->Buffer().SetInputSize(2048);
    ComPort1->Buffer().SetOutputSize(2048);
    TComFlowControl& flow = ComPort1->FlowControl();
    flow.SetOutCTSFlow(false);
    flow.SetOutDSRFlow(false);
    flow.SetControlDTR(dtrDisable);
    flow.SetControlRTS(rtsDisable);
    flow.SetXonXoffOut(false);
    flow.SetXonXoffIn(false);
    ComPort1->EndSettingsUpdate();
    ComPort1->OnAfterClose = on(&TForm1::ComPort1AfterClose);
    // Every open, whichever path reopened the port (set-up, settings loaded while open);
    // the reconnector's own open is journalled as `reconnected`.
    ComPort1->OnAfterOpen = [this](QObject*) {
        monitor_->connectionOpened();
        if (!Reconnector || !Reconnector->IsWaiting())
            journal_->connectionOpened(ComPort1->Port(), rateOf(*ComPort1));
    };

    Reconnector = new TPortReconnector(ComPort1, this);
    Reconnector->SetEnabled(Setup->AutoReconnect->isChecked());
    connect(Setup->AutoReconnect, &QCheckBox::toggled, Reconnector, &TPortReconnector::SetEnabled);
    connect(Reconnector, &TPortReconnector::waitingStarted, this, [this](const QString& port) {
        StatusLine->setConnectionState(text::stateWaiting.arg(port), port);
        journal_->connectionWaiting(port);
    });
    connect(Reconnector, &TPortReconnector::lost, this,
        [this](const QString& port) { StatusLine->setConnectionState(text::stateLost.arg(port), port); });
    connect(Reconnector, &TPortReconnector::refused, this, [this](const QString& port, const QString& found) {
        StatusLine->setConnectionState(text::stateRefused.arg(port, found), port);
        journal_->connectionRefused(port, found);
    });
    connect(
        Reconnector, &TPortReconnector::failing, this, [this](const QString& port, const QString& reason) {
            StatusLine->setConnectionState(text::stateFailing.arg(port, reason), port);
            journal_->connectionFailing(port, reason);
        });
    connect(Reconnector, &TPortReconnector::stopped, this,
        [this] { StatusLine->setConnectionState(text::stateClosed); });
    connect(Reconnector, &TPortReconnector::reconnected, this,
        [this](const QString& port) { journal_->connectionReconnected(port, rateOf(*ComPort1)); });
    connect(Reconnector, &TPortReconnector::reconnected, this, on(&TForm1::portReconfigured));
}

// --- settings file

void TForm1::LoadIni()
{
    iniFile_ = std::make_unique<TIniFile>(settingsPath_);
    const TIniFile& ini = *iniFile_;

    std::exception_ptr failure = portSection::Load(ini, *ComPort1);
    Terminal->LoadLineOptions(ini);
    // The port may have been reopened, or reconfigured with the lines low; the DTR and RTS
    // lines follow their boxes here.
    try {
        portReconfigured();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    Setup->LoadConnection(ini);
    Scope->LoadLimits(ini);
    Setup->LoadLog(ini, paths_.logFile());
    position_->Load(ini);
    Setup->LoadColors(ini);
    MainColorChange();
    TerminalBackColorChange();
    TerminalFontColorChange();
    captures_->LoadSettings(ini);
    TTermSettingsSection::Load(ini, *Terminal->Memo1);
    Setup->LoadEvents(ini);

    if (failure)
        std::rethrow_exception(failure);
}

void TForm1::SaveIni()
{
    iniFile_ = std::make_unique<TIniFile>(settingsPath_);
    TIniFile& ini = *iniFile_;

    portSection::Save(ini, *ComPort1);
    Terminal->SaveLineOptions(ini);
    Setup->SaveConnection(ini);
    Setup->SaveLog(ini);
    Setup->SaveColors(ini);
    Terminal->SaveCommands(ini);
    Scope->SaveLimits(ini);
    position_->Save(ini);
    captures_->SaveSettings(ini);
    TTermSettingsSection::Save(ini, *Terminal->Memo1);
    Setup->SaveEvents(ini);
}

void TForm1::BitBtn5Click()
{
    const QString path = FileDialog(text::loadFromFile, paths_.settingsFolder(), text::iniFilter, false);
    if (path.isEmpty())
        return;
    // The chosen file stays the settings path: the save at closing writes to it.
    settingsPath_ = path;
    LoadIni();
}

void TForm1::BitBtn6Click()
{
    const QString path = FileDialog(text::saveToFile, paths_.settingsFolder(), text::iniFilter, true);
    if (path.isEmpty())
        return;
    settingsPath_ = withExtension(path, QStringLiteral(".ini"), TExtensionRule::LowerOrUpper);
    // A failing save stops at its key and leaves the settings path at the chosen file.
    SaveIni();
    settingsPath_ = paths_.settingsFile();
}

// --- connection

bool TForm1::OpenCom()
{
    for (;;) {
        ComPort1->ClosePort();
        try {
            ComPort1->OpenPort();
            break;
        } catch (const EComPort& e) {
            // No message for a failed open: the set-up dialog is the answer, and it says
            // why. Cancel ends the attempt, so an operator without a device is never held
            // in this loop.
            if (!RunSetupDialog(*ComPort1, this, &e))
                return false;
        }
    }
    portReconfigured();
    return true;
}

void TForm1::portReconfigured()
{
    if (!ComPort1->Connected())
        return;
    Setup->Label3->setText(ComPort1->Port());
    const QString rate = rateOf(*ComPort1);
    Setup->Label5->setText(rate);
    StatusLine->setConnectionState(text::stateOpen.arg(ComPort1->Port(), rate), ComPort1->Port());
    // A configuration drives DTR and RTS as its flow control says (here: both held low).
    ComPort1->SetDtrLine(Terminal->DTR->isChecked());
    ComPort1->SetRtsLine(Terminal->RTS->isChecked());
}

void TForm1::connectSerial()
{
    // Chosen by the operator: a wait for a lost device gives way to an attempt now, and to
    // the set-up dialog if that fails.
    Reconnector->Stop();
    try {
        if (!OpenCom()) {
            ComPort1->ClosePort();
            Setup->NoneBut->setChecked(true);
        }
    } catch (...) {
        // The list of devices could not be read (or a line could not be set): the port
        // stays closed and the serial type stays chosen.
        ComPort1->ClosePort();
        throw;
    }
}

void TForm1::RSButClick()
{
    connectSerial();
}

void TForm1::NoneButClick()
{
    Reconnector->Stop();
    ComPort1->ClosePort();
}

void TForm1::Button9Click()
{
    RunSetupDialog(*ComPort1, this);
    if (Setup->RSBut->isChecked())
        connectSerial();
    else
        portReconfigured();
}

void TForm1::ComPort1AfterClose()
{
    Setup->Label3->setText(text::closed);
    captures_->Recorder().flush();
    const bool lost = ComPort1->ClosedByHangUp();
    if (lost)
        StatusLine->setConnectionState(text::stateLost.arg(ComPort1->Port()), ComPort1->Port());
    else
        StatusLine->setConnectionState(text::stateClosed);
    if (lost)
        journal_->connectionLost(ComPort1->Port());
    else
        journal_->connectionClosed(ComPort1->Port());
    monitor_->connectionClosed(lost);
    Scope->LinkDown();
    writer_->portClosed();
    // A record cut off by the close must not run into the first record of the next
    // connection.
    parser_->dropPartialLine();
}

void TForm1::DTRClick()
{
    if (ComPort1->Connected())
        ComPort1->SetDtrLine(Terminal->DTR->isChecked());
}

void TForm1::RTSClick()
{
    if (ComPort1->Connected())
        ComPort1->SetRtsLine(Terminal->RTS->isChecked());
}
