#pragma once
// TForm1, the console's main window: it creates the pages (terminal, settings, graphic data,
// help, archive, journal) and wires them to the port, the record parser, the data log and the
// settings file object; the record protocol itself lives in TRecordParser.

#include "common/Color.h"
#include "console/core/AppPaths.h"
#include "console/core/DataLog.h"
#include "console/core/IniFile.h"
#include "console/core/JournalRow.h"
#include "console/core/PortWriter.h"
#include "console/core/RecordParser.h"

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
class TPortReconnector;
class TScopeOnEvent;
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

class TForm1 : public QWidget, private TRecordView {
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
    void Memo1StrRecieved(QObject* Sender, QByteArray& Str);
    void Button14Click();
    void Button16Click();
    void Button19Click();
    void LogClick();
    void BitBtn1Click();
    void ViewLogClick();
    void BitBtn5Click();
    void BitBtn6Click();
    void RSButClick();
    void NoneButClick();
    void Button9Click();
    void ComPort1AfterClose();
    void DTRClick();
    void RTSClick();

    // --- state
    const QString& ProgramFolder() const { return programFolder_; }
    const TAppPaths& Paths() const { return paths_; }
    const QString& SettingsPath() const { return settingsPath_; }
    TIniFile* SettingsFile() const { return iniFile_.get(); }
    const TRecordParser& Parser() const { return *parser_; }
    bool LogOpen() const { return log_.isOpen(); }
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
    TJournalRecorder& JournalRecorder() const { return *journal_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Runs a handler. The one place where an exception leaving a handler becomes the
    // application's error report; unwinding on into the event loop would end the program.
    void run(const std::function<void()>& handler);
    // A handler as the controls and components are wired to it; the event's arguments are
    // not needed.
    auto on(void (TForm1::*handler)())
    {
        return [this, handler](auto&&...) { run([this, handler] { (this->*handler)(); }); };
    }

    void buildWindow();
    void wirePages();
    void setUpConnection();
    void connectSerial();
    // After the port was opened, reopened or reconfigured: Label3 and Label5 show it and the
    // DTR and RTS lines follow their boxes.
    void portReconfigured();
    void setWindowColor(TColor color);
    void writeLog(QByteArrayView text);
    void reportError(const QString& message, const QString& subject = QStringLiteral("console"));

    // TRecordView
    QByteArray limitText(TLimit which) const override;
    void setReadoutText(TReadout which, QByteArrayView text) override;
    void setReadoutColor(TReadout which, TColor color) override;
    void setCounter(TEvent which, std::uint16_t value, TColor background) override;
    void eventCounted() override;
    void setLeftAxisTitle(const QString& title) override;
    void setBottomAxisTitle(const QString& title) override;
    void addPoint(double x, double y) override;
    void clearScope() override;
    void send(const QByteArray& text) override;
    void lineOutcome(const TLineOutcome& outcome) override;

    TAppPaths paths_;
    QString programFolder_;
    QString settingsPath_;
    std::unique_ptr<TIniFile> iniFile_;
    std::unique_ptr<TRecordParser> parser_;
    TJournalFanOut journalSinks_;
    std::unique_ptr<TJournalRecorder> journal_;
    TLinkMonitor* monitor_ = nullptr;
    TJournalArchive* journalArchive_ = nullptr;
    TScopeOnEvent* scopeOnEvent_ = nullptr;
    bool awayAtEvent_ = false; // the window was minimised or in the tray when the event came
    std::unique_ptr<TWindowPosition> position_;
    TCaptureArchive* captures_ = nullptr;
    QStringList errorsOnScreen_; // reports being shown right now
    // Answers to the records of one received block go out in one write once the block is
    // parsed: a flood costs a write per block instead of one per record.
    bool collectingAnswers_ = false;
    QByteArrayList answers_;
    std::unique_ptr<TWriteTarget> portTarget_;
    std::unique_ptr<TPortWriter> writer_;
    TDataLog log_;
    bool logSyncing_ = false;
    bool closed_ = false;
};
