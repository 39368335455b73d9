#pragma once
// TConsoleSettings: the window's settings file. It holds the settings path (the folder's
// Orvik.ini after start; a file loaded with "Зареди от файл" from then on) and the file object
// of the last load or save, and reads and writes the sections in the file's order, each
// through the part that owns it. "Зареди от файл" and "Запази във файл" are handled here.

#include "console/FileDialog.h"
#include "console/core/AppPaths.h"
#include "console/core/IniFile.h"

#include <QObject>
#include <QString>
#include <memory>

class ScopePage;
class SetupPage;
class TCaptureArchive;
class TComPort;
class TConnectionSetup;
class TErrorReports;
class TerminalPage;
class TSessionView;
class TWindowChrome;
class TWindowPosition;

class TConsoleSettings : public QObject {
public:
    // The owners of the sections, and what follows a load.
    struct Parts {
        TComPort& port;
        TConnectionSetup& connection;
        TerminalPage& terminal;
        SetupPage& setup;
        ScopePage& scope;
        TWindowPosition& position;
        TWindowChrome& chrome;
        TCaptureArchive& captures;
        TSessionView& sessionView;
        TErrorReports& reports;
    };
    TConsoleSettings(
        const TAppPaths& paths, const Parts& parts, const TFileDialog& fileDialog, QObject* parent = nullptr);

    const QString& Path() const { return path_; }
    TIniFile* File() const { return file_.get(); }

    // Every section but "Commands", read from the file at the settings path and applied. A port
    // that cannot be reopened under the file's name is raised once the rest is applied.
    void LoadIni();
    // Every section, written to the file at the settings path; a failing write stops at its key.
    void SaveIni();

    void BitBtn5Click();
    void BitBtn6Click();

private:
    TAppPaths paths_;
    Parts parts_;
    const TFileDialog& fileDialog_;
    QString path_;
    std::unique_ptr<TIniFile> file_;
};
