#include "console/ConsoleSettings.h"

#include "common/FileNames.h"
#include "console/CaptureArchive.h"
#include "console/ConnectionSetup.h"
#include "console/ErrorReports.h"
#include "console/PortSection.h"
#include "console/ScopePage.h"
#include "console/SessionView.h"
#include "console/SetupPage.h"
#include "console/TerminalPage.h"
#include "console/WindowChrome.h"
#include "console/WindowPosition.h"
#include "console/WindowTexts.h"
#include "terminal/ComTerminal.h"
#include "terminal/logic/TermSettingsSection.h"

#include <QPushButton>
#include <exception>

TConsoleSettings::TConsoleSettings(
    const TAppPaths& paths, const Parts& parts, const TFileDialog& fileDialog, QObject* parent)
    : QObject(parent)
    , paths_(paths)
    , parts_(parts)
    , fileDialog_(fileDialog)
    , path_(paths.settingsFile())
{
    TErrorReports& reports = parts_.reports;
    connect(parts_.setup.BitBtn5, &QPushButton::clicked, this, reports.Guarded([this] { BitBtn5Click(); }));
    connect(parts_.setup.BitBtn6, &QPushButton::clicked, this, reports.Guarded([this] { BitBtn6Click(); }));
}

void TConsoleSettings::LoadIni()
{
    file_ = std::make_unique<TIniFile>(path_);
    const TIniFile& ini = *file_;

    std::exception_ptr failure = portSection::Load(ini, parts_.port);
    parts_.terminal.LoadLineOptions(ini);
    // The port may have been reopened, or reconfigured with the lines low; the DTR and RTS
    // lines follow their boxes here.
    try {
        parts_.connection.PortReconfigured();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    parts_.setup.LoadConnection(ini);
    parts_.scope.LoadLimits(ini);
    parts_.setup.LoadLog(ini, paths_.logFile());
    parts_.position.Load(ini);
    parts_.setup.LoadColors(ini);
    parts_.chrome.ApplyColors();
    parts_.captures.LoadSettings(ini);
    TTermSettingsSection::Load(ini, *parts_.terminal.Memo1);
    parts_.setup.LoadEvents(ini);
    parts_.sessionView.Sync();

    if (failure)
        std::rethrow_exception(failure);
}

void TConsoleSettings::SaveIni()
{
    file_ = std::make_unique<TIniFile>(path_);
    TIniFile& ini = *file_;

    portSection::Save(ini, parts_.port);
    parts_.terminal.SaveLineOptions(ini);
    parts_.setup.SaveConnection(ini);
    parts_.setup.SaveLog(ini);
    parts_.setup.SaveColors(ini);
    parts_.terminal.SaveCommands(ini);
    parts_.scope.SaveLimits(ini);
    parts_.position.Save(ini);
    parts_.captures.SaveSettings(ini);
    TTermSettingsSection::Save(ini, *parts_.terminal.Memo1);
    parts_.setup.SaveEvents(ini);
}

void TConsoleSettings::BitBtn5Click()
{
    const QString path = fileDialog_(text::loadFromFile, paths_.settingsFolder(), text::iniFilter, false);
    if (path.isEmpty())
        return;
    // The chosen file stays the settings path: the save at closing writes to it.
    path_ = path;
    LoadIni();
}

void TConsoleSettings::BitBtn6Click()
{
    const QString path = fileDialog_(text::saveToFile, paths_.settingsFolder(), text::iniFilter, true);
    if (path.isEmpty())
        return;
    path_ = withExtension(path, QStringLiteral(".ini"), TExtensionRule::LowerOrUpper);
    // A failing save stops at its key and leaves the settings path at the chosen file.
    SaveIni();
    path_ = paths_.settingsFile();
}
