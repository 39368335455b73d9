// The settings file, the connection set-up and the line-signal lamps of the main window.
#include "console/MainUnit.h"

#include "archive/CaptureRecorder.h"
#include "common/Cp1251.h"
#include "console/ColorBox.h"
#include "console/CommandDialogs.h"
#include "console/StatusLine.h"
#include "console/WindowPosition.h"
#include "serial/ComPort.h"
#include "serial/PortReconnector.h"
#include "serial/widgets/ComLed.h"
#include "serial/widgets/ComSetupFrm.h"
#include "session/JournalRecorder.h"
#include "session/LinkMonitor.h"
#include "terminal/ComTerminal.h"
#include "terminal/logic/TermSettingsSection.h"
#include "widgets/ValidateEdit.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <exception>
#include <functional>

namespace {

namespace text {
const QString closed = QStringLiteral("Closed");
const QString stateClosed = QStringLiteral("Изключен");
const QString stateOpen = QStringLiteral("Свързан: %1 %2");
const QString stateLost = QStringLiteral("Връзката прекъсна: %1");
const QString stateWaiting = QStringLiteral("Изчакване на %1…");
const QString stateRefused = QStringLiteral("Под %1 е друго устройство (%2); изчакване…");
const QString stateFailing = QStringLiteral("Изчакване на %1: %2");
const QString iniFilter = QStringLiteral("INI File (*.ini)");
const QString loadCaption = QStringLiteral("Зареди от файл");
const QString saveCaption = QStringLiteral("Запази във файл");
} // namespace text

// Keys of the preset commands, in the order of their dialogs TForm2 ... TForm9.
const char* const kCommandKeys[]
    = {"PUSK", "RESTART", "DIAGNOSTIC", "INVERTER", "RECTIFIER", "VCC", "CURRENT", "TEMPERATURE"};

QByteArray ansi(const QString& s)
{
    return cp1251::encode(s);
}

QString unicode(const QByteArray& s)
{
    return cp1251::decode(s);
}

// An ordinal outside its type's range keeps the default rather than becoming a value the
// port has no meaning for.
int ordinal(const TIniFile& ini, const char* key, int def, int last)
{
    const int value = ini.readInteger("Com", key, def);
    return value < 0 || value > last ? def : value;
}

// AppendLog and NewLog are one group, yet the file may say "neither": a choice must be able
// to go off without another coming on.
void setChoice(QRadioButton* choice, bool on)
{
    if (choice->isChecked() == on)
        return;
    if (on) {
        choice->setChecked(true);
        return;
    }
    const bool exclusive = choice->autoExclusive();
    choice->setAutoExclusive(false);
    choice->setChecked(false);
    choice->setAutoExclusive(exclusive);
}

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
            session_->journal().connectionOpened(ComPort1->Port(), rateOf(*ComPort1));
    };

    Reconnector = new TPortReconnector(ComPort1, this);
    Reconnector->SetEnabled(AutoReconnect->isChecked());
    connect(AutoReconnect, &QCheckBox::toggled, Reconnector, &TPortReconnector::SetEnabled);
    connect(Reconnector, &TPortReconnector::waitingStarted, this, [this](const QString& port) {
        StatusLine->setConnectionState(text::stateWaiting.arg(port), port);
        session_->journal().connectionWaiting(port);
    });
    connect(Reconnector, &TPortReconnector::lost, this,
        [this](const QString& port) { StatusLine->setConnectionState(text::stateLost.arg(port), port); });
    connect(Reconnector, &TPortReconnector::refused, this, [this](const QString& port, const QString& found) {
        StatusLine->setConnectionState(text::stateRefused.arg(port, found), port);
        session_->journal().connectionRefused(port, found);
    });
    connect(
        Reconnector, &TPortReconnector::failing, this, [this](const QString& port, const QString& reason) {
            StatusLine->setConnectionState(text::stateFailing.arg(port, reason), port);
            session_->journal().connectionFailing(port, reason);
        });
    connect(Reconnector, &TPortReconnector::stopped, this,
        [this] { StatusLine->setConnectionState(text::stateClosed); });
    connect(Reconnector, &TPortReconnector::reconnected, this,
        [this](const QString& port) { session_->journal().connectionReconnected(port, rateOf(*ComPort1)); });
    connect(Reconnector, &TPortReconnector::reconnected, this, on(&TForm1::portReconfigured));

    // The six lamps, each 25 x 25 under its caption, in the places the terminal page left.
    struct Lamp {
        const char* name;
        TComLedSignal signal;
        TLedKind kind;
    };
    const Lamp lamps[] = {{"ComLed1", lsRx, lkGreenLight}, {"ComLed2", lsTx, lkYellowLight},
        {"ComLed3", lsRLSD, lkBlueLight}, {"ComLed4", lsDSR, lkPurpleLight}, {"ComLed5", lsCTS, lkRedLight},
        {"ComLed6", lsRing, lkBulb}};
    for (std::size_t i = 0; i < Lamps.size(); ++i) {
        QWidget* place = LampPlaces[i];
        place->setFixedSize(25, 25);
        auto* led = new TComLed(place);
        led->setObjectName(QString::fromLatin1(lamps[i].name));
        led->SetLedSignal(lamps[i].signal);
        led->SetKind(lamps[i].kind);
        led->SetComPort(ComPort1);
        place->layout()->addWidget(led);
        Lamps[i] = led;
    }
}

// --- settings file

void TForm1::LoadIni()
{
    iniFile_ = std::make_unique<TIniFile>(settingsPath_);
    const TIniFile& ini = *iniFile_;

    // A port that cannot be reopened under the file's name (or a line that cannot be set)
    // must not stop the rest of the file: the save at closing would write this window's old
    // values over it. The first failure is raised once everything else is applied.
    std::exception_ptr failure;
    const auto keepGoing = [&failure](const std::function<void()>& step) {
        try {
            step();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    };

    ComPort1->BeginSettingsUpdate();
    keepGoing([&] {
        ComPort1->SetBaudRate(TBaudRate(ordinal(ini, "BaudRate", br9600, br256000)));
        // The rate of BaudRate=0 ("Custom"); a file without it keeps the port's own.
        if (const int custom = ini.readInteger("Com", "CustomBaudRate", 0); custom > 0)
            ComPort1->SetCustomBaudRate(custom);
        ComPort1->SetDataBits(TDataBits(ordinal(ini, "DataBits", dbEight, dbEight)));
        ComPort1->SetStopBits(TStopBits(ordinal(ini, "StopBits", sbOneStopBit, sbTwoStopBits)));
        // Last, so that the others are stored even when the reopen under a new name fails;
        // inside the bracket they only store anyway.
        ComPort1->SetPort(ini.readText("Com", "ComPortNo", QStringLiteral("COM1")));
    });
    keepGoing([&] { ComPort1->EndSettingsUpdate(); });

    // A box whose state changes runs its click handler, as a click would.
    const std::pair<QCheckBox*, void (TForm1::*)()> boxes[]
        = {{Wrap, &TForm1::WrapClick}, {Echo, &TForm1::EchoClick}, {CR, nullptr}, {LF, nullptr},
            {DTR, &TForm1::DTRClick}, {RTS, &TForm1::RTSClick}};
    for (const auto& [box, handler] : boxes) {
        const bool on = ini.readBool("Com", ansi(box->objectName()), true);
        if (box->isChecked() == on)
            continue;
        box->setChecked(on);
        if (handler)
            keepGoing([this, handler = handler] { (this->*handler)(); });
    }
    // The bracket above may have reopened the port, or reconfigured it with the lines low.
    keepGoing([this] { portReconfigured(); });
    AutoReconnect->setChecked(ini.readBool("Com", "AutoReconnect", true));

    TempLimit->SetText(unicode(ini.readString("Limits", "TEMPERATURE", "50")));
    VoltageLimit->SetText(unicode(ini.readString("Limits", "Voltage", "50")));
    CurrentLimit->SetText(unicode(ini.readString("Limits", "Current", "50")));

    LogIncomming->setChecked(ini.readBool("Log", "LogIncomming", true));
    LogOutgoing->setChecked(ini.readBool("Log", "LogOutgoing", true));
    setChoice(AppendLog, ini.readBool("Log", "AppendLog", true));
    setChoice(NewLog, ini.readBool("Log", "NewLog", false));
    LogFile->setText(ini.readText("Log", "FileName", paths_.logFile()));

    position_->moveFrameTo(
        {ini.readInteger("Position", "Left", 100), ini.readInteger("Position", "Top", 100)});

    MainColor->SetSelected(ini.readInteger("Color", "Main", clSilver));
    TerminalBackColor->SetSelected(ini.readInteger("Color", "TerminalBackColor", clAqua));
    TerminalFontColor->SetSelected(ini.readInteger("Color", "TerminalFontColor", clBlack));
    EchoFontColor->SetSelected(ini.readInteger("Color", "EchoFontColor", clGray));
    MainColorChange();
    TerminalBackColorChange();
    TerminalFontColorChange();

    loadArchiveSettings(ini);
    TTermSettingsSection::Load(ini, *Memo1);
    // A section of its own after the others; a file without it keeps the design's behaviour.
    ShowScopeOnEvent->setChecked(ini.readBool("Events", "ShowScopeOnEvent", true));

    syncSession();

    if (failure)
        std::rethrow_exception(failure);
}

void TForm1::SaveIni()
{
    iniFile_ = std::make_unique<TIniFile>(settingsPath_);
    TIniFile& ini = *iniFile_;

    ini.writeText("Com", "ComPortNo", ComPort1->Port());
    ini.writeInteger("Com", "BaudRate", ComPort1->BaudRate());
    if (ComPort1->BaudRate() == brCustom)
        ini.writeInteger("Com", "CustomBaudRate", ComPort1->CustomBaudRate());
    ini.writeInteger("Com", "DataBits", ComPort1->DataBits());
    ini.writeInteger("Com", "StopBits", ComPort1->StopBits());
    for (QCheckBox* box : {Wrap, Echo, CR, LF, DTR, RTS})
        ini.writeBool("Com", ansi(box->objectName()), box->isChecked());
    ini.writeBool("Com", "AutoReconnect", AutoReconnect->isChecked());

    ini.writeBool("Log", "LogIncomming", LogIncomming->isChecked());
    ini.writeBool("Log", "LogOutgoing", LogOutgoing->isChecked());
    ini.writeBool("Log", "AppendLog", AppendLog->isChecked());
    ini.writeBool("Log", "NewLog", NewLog->isChecked());
    ini.writeText("Log", "FileName", LogFile->text());

    ini.writeInteger("Color", "Main", MainColor->Selected());
    ini.writeInteger("Color", "TerminalBackColor", TerminalBackColor->Selected());
    ini.writeInteger("Color", "TerminalFontColor", TerminalFontColor->Selected());
    ini.writeInteger("Color", "EchoFontColor", EchoFontColor->Selected());

    for (std::size_t i = 0; i < dialogs_.size(); ++i)
        ini.writeString("Commands", kCommandKeys[i], dialogs_[i] ? dialogs_[i]->CommandText() : QByteArray());

    ini.writeString("Limits", "TEMPERATURE", ansi(TempLimit->Text()));
    ini.writeString("Limits", "Voltage", ansi(VoltageLimit->Text()));
    ini.writeString("Limits", "Current", ansi(CurrentLimit->Text()));

    const QPoint frame = position_->framePosition();
    ini.writeInteger("Position", "Left", frame.x());
    ini.writeInteger("Position", "Top", frame.y());

    saveArchiveSettings(ini);
    TTermSettingsSection::Save(ini, *Memo1);
    ini.writeBool("Events", "ShowScopeOnEvent", ShowScopeOnEvent->isChecked());
}

void TForm1::BitBtn5Click()
{
    const QString path = FileDialog(text::loadCaption, paths_.settingsFolder(), text::iniFilter, false);
    if (path.isEmpty())
        return;
    // The chosen file stays the settings path: the save at closing writes to it.
    settingsPath_ = path;
    LoadIni();
}

void TForm1::BitBtn6Click()
{
    const QString path = FileDialog(text::saveCaption, paths_.settingsFolder(), text::iniFilter, true);
    if (path.isEmpty())
        return;
    settingsPath_ = path;
    if (!settingsPath_.endsWith(QLatin1String(".ini")) && !settingsPath_.endsWith(QLatin1String(".INI")))
        settingsPath_ += QLatin1String(".ini");
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
    Label3->setText(ComPort1->Port());
    const QString rate = rateOf(*ComPort1);
    Label5->setText(rate);
    StatusLine->setConnectionState(text::stateOpen.arg(ComPort1->Port(), rate), ComPort1->Port());
    // A configuration drives DTR and RTS as its flow control says (here: both held low).
    ComPort1->SetDtrLine(DTR->isChecked());
    ComPort1->SetRtsLine(RTS->isChecked());
}

void TForm1::connectSerial()
{
    // Chosen by the operator: a wait for a lost device gives way to an attempt now, and to
    // the set-up dialog if that fails.
    Reconnector->Stop();
    try {
        if (!OpenCom()) {
            ComPort1->ClosePort();
            NoneBut->setChecked(true);
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
    if (RSBut->isChecked())
        connectSerial();
    else
        portReconfigured();
}

void TForm1::ComPort1AfterClose()
{
    Label3->setText(text::closed);
    recorder_->flush();
    const bool lost = ComPort1->ClosedByHangUp();
    if (lost)
        StatusLine->setConnectionState(text::stateLost.arg(ComPort1->Port()), ComPort1->Port());
    else
        StatusLine->setConnectionState(text::stateClosed);
    if (lost)
        session_->journal().connectionLost(ComPort1->Port());
    else
        session_->journal().connectionClosed(ComPort1->Port());
    monitor_->connectionClosed(lost);
    linkDownOnReadouts();
    session_->transportClosed();
}

void TForm1::DTRClick()
{
    if (ComPort1->Connected())
        ComPort1->SetDtrLine(DTR->isChecked());
}

void TForm1::RTSClick()
{
    if (ComPort1->Connected())
        ComPort1->SetRtsLine(RTS->isChecked());
}

void TForm1::WrapClick()
{
    Memo1->SetWrapLines(Wrap->isChecked());
}

void TForm1::EchoClick()
{
    Memo1->SetLocalEcho(Echo->isChecked());
}
