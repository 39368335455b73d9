// The settings file, the connection set-up and the line-signal lamps of the main window.
#include "console/MainUnit.h"

#include "common/Cp1251.h"
#include "console/ColorBox.h"
#include "console/CommandDialogs.h"
#include "serial/ComPort.h"
#include "serial/widgets/ComLed.h"
#include "serial/widgets/ComSetupFrm.h"
#include "terminal/ComTerminal.h"
#include "terminal/logic/TermSettingsSection.h"
#include "widgets/ValidateEdit.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace {

namespace text {
const QString closed = QStringLiteral("Closed");
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
    ComPort1->OnAfterClose = [this](QObject*) { ComPort1AfterClose(); };

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

    ComPort1->BeginSettingsUpdate();
    try {
        ComPort1->SetPort(unicode(ini.readString("Com", "ComPortNo", "COM1")));
        ComPort1->SetBaudRate(TBaudRate(ordinal(ini, "BaudRate", br9600, br256000)));
        ComPort1->SetDataBits(TDataBits(ordinal(ini, "DataBits", dbEight, dbEight)));
        ComPort1->SetStopBits(TStopBits(ordinal(ini, "StopBits", sbOneStopBit, sbTwoStopBits)));
    } catch (...) {
        ComPort1->EndSettingsUpdate();
        throw;
    }
    ComPort1->EndSettingsUpdate();

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
            (this->*handler)();
    }

    TempLimit->SetText(unicode(ini.readString("Limits", "TEMPERATURE", "50")));
    VoltageLimit->SetText(unicode(ini.readString("Limits", "Voltage", "50")));
    CurrentLimit->SetText(unicode(ini.readString("Limits", "Current", "50")));

    LogIncomming->setChecked(ini.readBool("Log", "LogIncomming", true));
    LogOutgoing->setChecked(ini.readBool("Log", "LogOutgoing", true));
    setChoice(AppendLog, ini.readBool("Log", "AppendLog", true));
    setChoice(NewLog, ini.readBool("Log", "NewLog", false));
    LogFile->setText(unicode(ini.readString("Log", "FileName", ansi(programFolder_ + "OrvikLog.txt"))));

    move(ini.readInteger("Position", "Left", 100), ini.readInteger("Position", "Top", 100));

    MainColor->SetSelected(ini.readInteger("Color", "Main", clSilver));
    TerminalBackColor->SetSelected(ini.readInteger("Color", "TerminalBackColor", clAqua));
    TerminalFontColor->SetSelected(ini.readInteger("Color", "TerminalFontColor", clBlack));
    EchoFontColor->SetSelected(ini.readInteger("Color", "EchoFontColor", clGray));
    MainColorChange();
    TerminalBackColorChange();
    TerminalFontColorChange();

    TTermSettingsSection::Load(ini, *Memo1);
}

void TForm1::SaveIni()
{
    iniFile_ = std::make_unique<TIniFile>(settingsPath_);
    TIniFile& ini = *iniFile_;

    ini.writeString("Com", "ComPortNo", ansi(ComPort1->Port()));
    ini.writeInteger("Com", "BaudRate", ComPort1->BaudRate());
    ini.writeInteger("Com", "DataBits", ComPort1->DataBits());
    ini.writeInteger("Com", "StopBits", ComPort1->StopBits());
    for (QCheckBox* box : {Wrap, Echo, CR, LF, DTR, RTS})
        ini.writeBool("Com", ansi(box->objectName()), box->isChecked());

    ini.writeBool("Log", "LogIncomming", LogIncomming->isChecked());
    ini.writeBool("Log", "LogOutgoing", LogOutgoing->isChecked());
    ini.writeBool("Log", "AppendLog", AppendLog->isChecked());
    ini.writeBool("Log", "NewLog", NewLog->isChecked());
    ini.writeString("Log", "FileName", ansi(LogFile->text()));

    ini.writeInteger("Color", "Main", MainColor->Selected());
    ini.writeInteger("Color", "TerminalBackColor", TerminalBackColor->Selected());
    ini.writeInteger("Color", "TerminalFontColor", TerminalFontColor->Selected());
    ini.writeInteger("Color", "EchoFontColor", EchoFontColor->Selected());

    for (std::size_t i = 0; i < dialogs_.size(); ++i)
        ini.writeString("Commands", kCommandKeys[i], dialogs_[i] ? dialogs_[i]->CommandText() : QByteArray());

    ini.writeString("Limits", "TEMPERATURE", ansi(TempLimit->Text()));
    ini.writeString("Limits", "Voltage", ansi(VoltageLimit->Text()));
    ini.writeString("Limits", "Current", ansi(CurrentLimit->Text()));

    ini.writeInteger("Position", "Left", x());
    ini.writeInteger("Position", "Top", y());

    TTermSettingsSection::Save(ini, *Memo1);
}

void TForm1::BitBtn5Click()
{
    const QString path = FileDialog(text::loadCaption, programFolder_, text::iniFilter, false);
    if (path.isEmpty())
        return;
    // The chosen file stays the settings path: the save at closing writes to it.
    settingsPath_ = path;
    LoadIni();
}

void TForm1::BitBtn6Click()
{
    const QString path = FileDialog(text::saveCaption, programFolder_, text::iniFilter, true);
    if (path.isEmpty())
        return;
    settingsPath_ = path;
    if (!settingsPath_.endsWith(QLatin1String(".ini")) && !settingsPath_.endsWith(QLatin1String(".INI")))
        settingsPath_ += QLatin1String(".ini");
    try {
        SaveIni();
    } catch (const std::exception& e) {
        // The save stops at the failing key and the settings path stays the chosen file.
        reportError(QString::fromUtf8(e.what()));
        return;
    }
    settingsPath_ = programFolder_ + QStringLiteral("Orvik.ini");
}

// --- connection

bool TForm1::OpenCom()
{
    for (;;) {
        ComPort1->ClosePort();
        try {
            ComPort1->OpenPort();
            break;
        } catch (const EComPort&) {
            // No message for a failed open: the set-up dialog is the answer. Cancel ends
            // the attempt, so an operator without a device is never held in this loop.
            if (!RunSetupDialog(*ComPort1, this))
                return false;
        }
    }
    Label3->setText(ComPort1->Port());
    Label5->setText(BaudRateToText(ComPort1->BaudRate()));
    ComPort1->SetDtrLine(DTR->isChecked());
    ComPort1->SetRtsLine(RTS->isChecked());
    return true;
}

void TForm1::connectSerial()
{
    try {
        if (!OpenCom()) {
            ComPort1->ClosePort();
            NoneBut->setChecked(true);
        }
    } catch (const std::exception& e) {
        // The list of devices could not be read (or a line could not be set): the port
        // stays closed and the serial type stays chosen.
        try {
            ComPort1->ClosePort();
        } catch (...) {
        }
        reportError(QString::fromUtf8(e.what()));
    }
}

void TForm1::RSButClick()
{
    connectSerial();
}

void TForm1::NoneButClick()
{
    try {
        ComPort1->ClosePort();
    } catch (const std::exception& e) {
        reportError(QString::fromUtf8(e.what()));
    }
}

void TForm1::Button9Click()
{
    try {
        RunSetupDialog(*ComPort1, this);
    } catch (const std::exception& e) {
        reportError(QString::fromUtf8(e.what()));
        return;
    }
    if (RSBut->isChecked())
        connectSerial();
}

void TForm1::ComPort1AfterClose()
{
    Label3->setText(text::closed);
    // A record cut off by the close must not run into the first record of the next
    // connection.
    parser_->dropPartialLine();
}

void TForm1::DTRClick()
{
    if (!ComPort1->Connected())
        return;
    try {
        ComPort1->SetDtrLine(DTR->isChecked());
    } catch (const std::exception& e) {
        reportError(QString::fromUtf8(e.what()));
    }
}

void TForm1::RTSClick()
{
    if (!ComPort1->Connected())
        return;
    try {
        ComPort1->SetRtsLine(RTS->isChecked());
    } catch (const std::exception& e) {
        reportError(QString::fromUtf8(e.what()));
    }
}

void TForm1::WrapClick()
{
    Memo1->SetWrapLines(Wrap->isChecked());
}

void TForm1::EchoClick()
{
    Memo1->SetLocalEcho(Echo->isChecked());
}
