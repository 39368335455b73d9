#pragma once
// TForm1, the console's main window: it creates the pages (terminal, settings, graphic data,
// help, archive, journal) and wires them to the port, the device session (TDeviceSession, which
// does the work with the device) and the settings file object.

#include "common/Color.h"
#include "console/core/AppPaths.h"
#include "console/core/IniFile.h"
#include "session/DeviceSession.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

class QTabWidget;

class ArchivePage;
class TCaptureArchive;
class TCalculator;
class TCaptionButton;
class TComPort;
class TCommandForm;
class TConnectionSetup;
class TPortReconnector;
class TScopeOnEvent;
class TSessionTape;
class TStatusLine;
class HelpPage;
class JournalPage;
class ScopePage;
class SetupPage;
class TerminalPage;
class TJournalArchive;
class TJournalRecorder;
class TLinkMonitor;
class TTrayIcon;
class TWarningDialog;
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
    void SendToCom(const QByteArray& Text);
    static QByteArray GetStr(const QByteArray& S, int N) { return ::GetStr(S, N); }
    // Settings file and connection set-up.
    void LoadIni();
    void SaveIni();
    // Opens the port, showing its set-up dialog after every failed attempt; false when the
    // operator cancelled the dialog instead.
    bool OpenCom();

    // --- handlers
    void FormCreate();
    void FormClose();
    void MainColorChange();
    void TerminalBackColorChange();
    void TerminalFontColorChange();
    void Button10Click();
    void CaptionButton1Click();
    void TrayIcon1DblClick();
    void WinCalcClick();
    void Button15Click();
    // The eight preset buttons, in the order of their dialogs TForm2 ... TForm9.
    void PresetClick(int preset);
    void Button8Click();
    void Button14Click();
    void Button16Click();
    void Button19Click();
    void LogClick();
    void BitBtn1Click();
    void ViewLogClick();
    void BitBtn5Click();
    void BitBtn6Click();
    void ComPort1AfterClose();

    // --- state
    const QString& ProgramFolder() const { return programFolder_; }
    const TAppPaths& Paths() const { return paths_; }
    const QString& SettingsPath() const { return settingsPath_; }
    TIniFile* SettingsFile() const { return iniFile_.get(); }
    TDeviceSession& Session() const { return *session_; }
    const TRecordParser& Parser() const { return session_->parser(); }
    bool LogOpen() const { return session_->logOpen(); }
    TCommandForm* PresetDialog(int preset) const;
    TWindowPosition& WindowPosition() const { return *position_; }

    // How errors reach the operator (the application's error report); tests replace it.
    std::function<void(const QString& message)> ErrorReport;
    // When the window must be closed by (milliseconds since the epoch; 0 for no such time):
    // the archive's backlog is written until then, and what still waits is reported.
    std::int64_t CloseDeadline = 0;
    // The open and save file dialogs; an empty result means the operator cancelled.
    std::function<QString(const QString& caption, const QString& folder, const QString& filter, bool save)>
        FileDialog;
    // Answers whether CTRL is held while a preset button's click is handled.
    std::function<bool()> ControlKeyDown;

    // --- components and pages; the controls are the pages', by their design names
    TComPort* ComPort1 = nullptr;
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
    TLinkMonitor* LinkMonitor() const { return monitor_; }
    // What a counted event does to the pages.
    TScopeOnEvent* ScopeOnEvent() const { return scopeOnEvent_; }
    TJournalRecorder& JournalRecorder() const { return session_->journal(); }
    // Recording and replaying sessions (the terminal page's session bar).
    TSessionTape* SessionTape() const { return tape_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Runs a handler. The one place where an exception leaving a handler becomes the
    // application's error report; unwinding on into the event loop would end the program.
    void run(const std::function<void()>& handler);
    // A handler as the controls and components are wired to it; the event's arguments are
    // not needed.
    auto guarded(std::function<void()> handler)
    {
        return [this, handler = std::move(handler)](auto&&...) { run(handler); };
    }
    auto on(void (TForm1::*handler)())
    {
        return guarded([this, handler] { (this->*handler)(); });
    }

    void buildWindow();
    void wirePages();
    // The session's values follow the controls; its signals reach the pages.
    void setUpSession();
    void syncSession();
    // What the window, the monitor and the journal make of the port's opens and closes.
    void setUpConnection();
    void setWindowColor(TColor color);
    void reportError(const QString& message, const QString& subject = QStringLiteral("console"));

    // What the session reports.
    void eventCounted();
    void clearScope();
    void lineHandled(const TLineOutcome& outcome);
    void logFailed(int error);

    TAppPaths paths_;
    QString programFolder_;
    QString settingsPath_;
    std::unique_ptr<TIniFile> iniFile_;
    TDeviceSession* session_ = nullptr;
    TConnectionSetup* connection_ = nullptr;
    TLinkMonitor* monitor_ = nullptr;
    TJournalArchive* journalArchive_ = nullptr;
    TScopeOnEvent* scopeOnEvent_ = nullptr;
    bool awayAtEvent_ = false; // the window was minimised or in the tray when the event came
    std::unique_ptr<TWindowPosition> position_;
    TCaptureArchive* captures_ = nullptr;
    TSessionTape* tape_ = nullptr;
    QStringList errorsOnScreen_; // reports being shown right now
    bool logSyncing_ = false;
    bool closed_ = false;
};
