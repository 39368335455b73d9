#pragma once
// TForm1, the console's main window: it creates the pages (terminal, settings, graphic data,
// help, archive, journal) and the parts that serve them, and wires them to the port, the
// device session (TDeviceSession, which does the work with the device) and the settings file.

#include "console/ConsoleSettings.h"
#include "console/FileDialog.h"
#include "console/core/AppPaths.h"
#include "session/DeviceSession.h"

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

class QTabWidget;

class ArchivePage;
class HelpPage;
class JournalPage;
class ScopePage;
class SetupPage;
class TCalculator;
class TCaptionButton;
class TCaptureArchive;
class TComPort;
class TCommandForm;
class TConnectionEvents;
class TConnectionSetup;
class TDataLogSwitch;
class TErrorReports;
class TerminalPage;
class TJournalArchive;
class TLinkMonitor;
class TPortReconnector;
class TScopeOnEvent;
class TSessionTape;
class TSessionView;
class TStatusLine;
class TTransport;
class TTrayIcon;
class TWarningDialog;
class TWindowChrome;
class TWindowPosition;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    TForm1();
    // Every file in one folder; tests give a folder of their own.
    explicit TForm1(const QString& programFolder);
    explicit TForm1(const TAppPaths& paths);
    ~TForm1() override;

    // --- operations
    void SendToCom(const QByteArray& Text) { session_->send(Text); }
    static QByteArray GetStr(const QByteArray& S, int N) { return ::GetStr(S, N); }
    void LoadIni() { Settings->LoadIni(); }
    void SaveIni() { Settings->SaveIni(); }
    // Saves the settings and closes the port, the archive and the log; reports what fails and
    // goes on, so that the operator can always end the program.
    void FormClose();

    // --- state
    const QString& ProgramFolder() const { return programFolder_; }
    const TAppPaths& Paths() const { return paths_; }
    const QString& SettingsPath() const { return Settings->Path(); }
    TIniFile* SettingsFile() const { return Settings->File(); }
    TDeviceSession& Session() const { return *session_; }
    const TRecordParser& Parser() const { return session_->parser(); }
    bool LogOpen() const { return session_->logOpen(); }
    TCommandForm* PresetDialog(int preset) const;
    TWindowPosition& WindowPosition() const { return *position_; }
    TLinkMonitor* LinkMonitor() const { return &session_->monitor(); }
    TJournalRecorder& JournalRecorder() const { return session_->journal(); }

    // How errors reach the operator (the application's error report); tests replace it.
    std::function<void(const QString& message)> ErrorReport;
    // When the window must be closed by (milliseconds since the epoch; 0 for no such time):
    // the archive's backlog is written until then, and what still waits is reported.
    std::int64_t CloseDeadline = 0;
    // The open and save file dialogs.
    TFileDialog FileDialog;
    // Answers whether CTRL is held while a preset button's click is handled.
    std::function<bool()> ControlKeyDown;

    // --- components, pages and the parts serving them; the controls are the pages', by
    // their design names
    // The port as every part of the console takes it.
    TTransport* ComPort1 = nullptr;
    // The same port as the serial port it is: its set-up, its keys in the settings file.
    TComPort* SerialPort = nullptr;
    QTabWidget* PageControl1 = nullptr;
    TerminalPage* Terminal = nullptr;
    SetupPage* Setup = nullptr;
    ScopePage* Scope = nullptr;
    HelpPage* Help = nullptr;
    ArchivePage* Archive = nullptr;
    JournalPage* Journal = nullptr;
    // Reopens the port after its device went away (AutoReconnect).
    TPortReconnector* Reconnector = nullptr;

    TWarningDialog* Warning1 = nullptr;
    TCalculator* Calculator1 = nullptr;
    TTrayIcon* TrayIcon1 = nullptr;
    TCaptionButton* CaptionButton1 = nullptr;
    TStatusLine* StatusLine = nullptr;
    // What a counted event does to the pages.
    TScopeOnEvent* ScopeOnEvent() const { return scopeOnEvent_; }
    TErrorReports* Reports = nullptr;
    TWindowChrome* Chrome() const { return chrome_.get(); }
    TDataLogSwitch* DataLog = nullptr;
    TSessionView* SessionView = nullptr;
    TConsoleSettings* Settings = nullptr;
    // Recording and replaying sessions (the terminal page's session bar).
    TSessionTape* SessionTape() const { return tape_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();
    void buildPages();
    void buildComponents();
    // The parts serving the pages, each wired to the controls it serves.
    void createParts();

    TAppPaths paths_;
    QString programFolder_;
    TDeviceSession* session_ = nullptr;
    TConnectionSetup* connection_ = nullptr;
    TJournalArchive* journalArchive_ = nullptr;
    TScopeOnEvent* scopeOnEvent_ = nullptr;
    std::unique_ptr<TWindowPosition> position_;
    std::unique_ptr<TWindowChrome> chrome_;
    TCaptureArchive* captures_ = nullptr;
    TSessionTape* tape_ = nullptr;
    // Detached from the port before the port, a child, closes with the window.
    std::unique_ptr<TConnectionEvents> connectionEvents_;
    bool closed_ = false;
};
