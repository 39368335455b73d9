#pragma once
// TForm1, the console's main window: the terminal page with the preset commands, the settings
// page, the scope page with read-outs, limits and event counters, and the help page. It owns
// the port, the terminal bound to it, the chart, the dialogs, the data log and the settings
// file object; the device session (TDeviceSession) does the work with the device.

#include "common/Color.h"
#include "console/core/AppPaths.h"
#include "console/core/IniFile.h"
#include "console/core/ReadoutShade.h"
#include "session/DataLog.h"
#include "session/DeviceSession.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QScrollArea;

class ArchivePage;
struct CaptureRow;
struct StoredCapture;
class TChartTraces;
class ArchiveStore;
class CaptureRecorder;
class TCalculator;
class TCaptionButton;
class TChart;
class TColorBox;
class TComLed;
class TComPort;
class TCommandForm;
class TComTerminal;
class TLineSeries;
class TPortReconnector;
class TScopeOnEvent;
class TScopeToolBar;
class TStatusLine;
class JournalPage;
class TJournalArchive;
class TJournalRecorder;
class TLinkMonitor;
class TSwitch;
class TTrayIcon;
class TValidateEdit;
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
    // A stored capture as a reference trace beside the live line, in its own colour and units;
    // the scope page is shown. False when as many as the chart takes are shown already.
    // Scope-data resets leave references until they are hidden.
    bool ShowReference(const StoredCapture& capture);
    void HideReferences(const std::vector<std::int64_t>& ids);
    TChartTraces& Traces() const { return *traces_; }

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
    void Button1Click() { PresetClick(0); }
    void Button2Click() { PresetClick(1); }
    void Button5Click() { PresetClick(2); }
    void Button3Click() { PresetClick(3); }
    void Button4Click() { PresetClick(4); }
    void Button6Click() { PresetClick(5); }
    void Button7Click() { PresetClick(6); }
    void Button11Click() { PresetClick(7); }
    void Button8Click();
    void Button14Click();
    void Button16Click();
    void Button17Click();
    void Button18Click();
    void Button19Click();
    void Button20Click();
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
    void WrapClick();
    void EchoClick();

    // --- state
    const QString& ProgramFolder() const { return programFolder_; }
    const TAppPaths& Paths() const { return paths_; }
    const QString& SettingsPath() const { return settingsPath_; }
    TIniFile* SettingsFile() const { return iniFile_.get(); }
    TDeviceSession& Session() const { return *session_; }
    const TRecordParser& Parser() const { return session_->parser(); }
    bool LogOpen() const { return session_->logOpen(); }
    TCommandForm* PresetDialog(int preset) const { return dialogs_[std::size_t(preset)]; }
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

    // --- components and controls, by their design names
    TComPort* ComPort1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    TComTerminal* Memo1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button8 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button11 = nullptr;
    QCheckBox* Wrap = nullptr;
    QCheckBox* Echo = nullptr;
    QCheckBox* CR = nullptr;
    QCheckBox* LF = nullptr;
    QCheckBox* DTR = nullptr;
    QCheckBox* RTS = nullptr;
    // Places of the six line-signal lamps, in the order Rx, Tx, CAR, DSR, CTS, RING.
    std::array<QWidget*, 6> LampPlaces{};
    std::array<TComLed*, 6> Lamps{};

    QRadioButton* NoneBut = nullptr;
    QRadioButton* RSBut = nullptr;
    QRadioButton* LptBut = nullptr;
    QRadioButton* UsbBut = nullptr;
    QPushButton* Button9 = nullptr;
    QPushButton* Button12 = nullptr;
    QPushButton* Button13 = nullptr;
    QPushButton* Button10 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label5 = nullptr;
    QCheckBox* AutoReconnect = nullptr;
    // Reopens the port after its device went away (AutoReconnect).
    TPortReconnector* Reconnector = nullptr;
    TColorBox* MainColor = nullptr;
    TColorBox* TerminalBackColor = nullptr;
    TColorBox* TerminalFontColor = nullptr;
    TColorBox* EchoFontColor = nullptr;
    QCheckBox* LogIncomming = nullptr;
    QCheckBox* LogOutgoing = nullptr;
    QRadioButton* AppendLog = nullptr;
    QRadioButton* NewLog = nullptr;
    TSwitch* Log = nullptr;
    QLineEdit* LogFile = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* ViewLog = nullptr;
    QPushButton* BitBtn5 = nullptr;
    QPushButton* BitBtn6 = nullptr;
    // Whether a counted event shows the chart page (the design's behaviour, on by default).
    QCheckBox* ShowScopeOnEvent = nullptr;

    TChart* Chart1 = nullptr;
    TLineSeries* Series1 = nullptr;
    // The first reference trace's line (the grey one); the others are Series3 … Series9.
    TLineSeries* Series2 = nullptr;
    // "Задръж", "PNG", the scope cursor's read-out below the chart and the traces' legend.
    TScopeToolBar* ScopeBar = nullptr;
    QLabel* Voltage = nullptr;
    QLabel* Current = nullptr;
    QLabel* Temperature = nullptr;
    TValidateEdit* VoltageLimit = nullptr;
    TValidateEdit* CurrentLimit = nullptr;
    TValidateEdit* TempLimit = nullptr;
    QPushButton* Button16 = nullptr;
    QPushButton* Button17 = nullptr;
    QPushButton* Button18 = nullptr;
    QPushButton* Button19 = nullptr;
    QPushButton* Button20 = nullptr;
    // The event counters in the order of kEventKinds, each named after its kind.
    std::array<TValidateEdit*, kEventCount> Counters{};
    TValidateEdit* Counter(TEvent which) const { return Counters[std::size_t(which)]; }
    QPushButton* Button14 = nullptr;

    QTabWidget* PageControl2 = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
    std::array<QScrollArea*, 3> SchemeBoxes{};
    std::array<QLabel*, 3> SchemeImages{};
    QPushButton* WinCalc = nullptr;
    QPushButton* Button15 = nullptr;

    ArchivePage* Archive = nullptr;

    TWarningDialog* Warning1 = nullptr;
    TCalculator* Calculator1 = nullptr;
    TTrayIcon* TrayIcon1 = nullptr;
    TCaptionButton* CaptionButton1 = nullptr;
    TStatusLine* StatusLine = nullptr;
    JournalPage* Journal = nullptr;
    TLinkMonitor* LinkMonitor() const { return monitor_; }
    // What a counted event does to the pages.
    TScopeOnEvent* ScopeOnEvent() const { return scopeOnEvent_; }
    TJournalRecorder& JournalRecorder() const { return session_->journal(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

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
    QWidget* buildTerminalPage();
    QWidget* buildSetupPage();
    QWidget* buildScopePage();
    QWidget* buildHelpPage();
    void createDialogs();
    // The capture archive: its store, the recorder fed by the parser's view, and the page.
    ArchivePage* buildArchivePage();
    void loadArchiveSettings(const TIniFile& ini);
    void saveArchiveSettings(TIniFile& ini);
    void closeArchive();
    // The live trace's capture: begun with its first point, numbered once the archive stored it.
    void liveCaptureBegun();
    void captureStored(const CaptureRow& row);
    // The session's values follow the controls; its signals reach the pages.
    void setUpSession();
    void syncSession();
    void setUpConnection();
    void connectSerial();
    // After the port was opened, reopened or reconfigured: Label3 and Label5 show it and the
    // DTR and RTS lines follow their boxes.
    void portReconfigured();
    void setWindowColor(TColor color);
    void reportError(const QString& message, const QString& subject = QStringLiteral("console"));
    QLabel* readout(TReadout which) const;
    void paintReadout(TReadout which);
    void readoutsBack();
    void linkDownOnReadouts();

    // What the session reports.
    void setReadoutText(TReadout which, const QByteArray& text);
    void setReadoutColor(TReadout which, TColor color);
    void setCounter(TEvent which, std::uint16_t value, TColor background);
    void eventCounted();
    void clearScope();
    void lineHandled(const TLineOutcome& outcome);
    void logFailed(int error);

    TAppPaths paths_;
    QString programFolder_;
    QString settingsPath_;
    std::unique_ptr<TIniFile> iniFile_;
    TDeviceSession* session_ = nullptr;
    TLinkMonitor* monitor_ = nullptr;
    TJournalArchive* journalArchive_ = nullptr;
    TScopeOnEvent* scopeOnEvent_ = nullptr;
    TReadoutShade readoutShade_;
    bool awayAtEvent_ = false; // the window was minimised or in the tray when the event came
    std::unique_ptr<TWindowPosition> position_;
    ArchiveStore* archive_ = nullptr;
    CaptureRecorder* recorder_ = nullptr;
    std::unique_ptr<TChartTraces> traces_;
    QStringList errorsOnScreen_; // reports being shown right now
    bool logSyncing_ = false;
    std::array<TCommandForm*, 8> dialogs_{};
    std::array<QPushButton*, 8> presetButtons_{};
    bool closed_ = false;
};
