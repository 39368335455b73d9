// The settings file and the connection set-up of the main window.
#include "console/MainUnit.h"

#include "archive/CaptureRecorder.h"
#include "common/FileNames.h"
#include "console/CaptureArchive.h"
#include "console/ConnectionSetup.h"
#include "console/PortSection.h"
#include "console/ScopePage.h"
#include "console/SetupPage.h"
#include "console/StatusLine.h"
#include "console/TerminalPage.h"
#include "console/WindowPosition.h"
#include "console/WindowTexts.h"
#include "net/NetSerialDevice.h"
#include "serial/ComPort.h"
#include "session/PortReconnector.h"
#include "session/JournalRecorder.h"
#include "session/LinkMonitor.h"
#include "terminal/ComTerminal.h"
#include "terminal/logic/TermSettingsSection.h"

#include <QLabel>
#include <exception>

void TForm1::setUpConnection()
{
    ComPort1->OnAfterClose = on(&TForm1::ComPort1AfterClose);
    // Every open, whichever path reopened the port (set-up, settings loaded while open);
    // the reconnector's own open is journalled as `reconnected`.
    ComPort1->OnAfterOpen = [this](QObject*) {
        monitor_->connectionOpened();
        if (!Reconnector || !Reconnector->IsWaiting())
            session_->journal().connectionOpened(ComPort1->Port(), connection_->Rate());
    };
    // Port names with "://" are devices on other machines; such a port tells once of a
    // request its server left unanswered.
    RegisterNetPorts();
    SetNetNoticeHandler(
        this, [this](const QString& port, const QString& text) { session_->journal().error(port, text); });
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
        connection_->PortReconfigured();
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
    syncSession();

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
    return connection_->OpenCom();
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
        session_->journal().connectionLost(ComPort1->Port());
    else
        session_->journal().connectionClosed(ComPort1->Port());
    monitor_->connectionClosed(lost);
    Scope->LinkDown();
    session_->transportClosed();
}
