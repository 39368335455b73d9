#include "console/MainUnit.h"

#include "archive/CaptureRecorder.h"
#include "common/Cp1251.h"
#include "common/FileNames.h"
#include "console/ArchivePage.h"
#include "console/CaptureArchive.h"
#include "console/ColorBox.h"
#include "console/CommandDialogs.h"
#include "console/ConnectionSetup.h"
#include "console/DesktopPrograms.h"
#include "console/HelpPage.h"
#include "console/JournalArchive.h"
#include "console/JournalPage.h"
#include "console/PageControls.h"
#include "console/ProgramIcon.h"
#include "console/ScopeOnEvent.h"
#include "console/ScopePage.h"
#include "console/ScopeToolBar.h"
#include "console/SessionTape.h"
#include "console/SetupPage.h"
#include "console/StatusLine.h"
#include "console/TerminalPage.h"
#include "console/WindowPosition.h"
#include "console/WindowTexts.h"
#include "serial/ComPort.h"
#include "serial/PortReconnector.h"
#include "session/JournalRecorder.h"
#include "session/LinkMonitor.h"
#include "terminal/ComTerminal.h"
#include "widgets/Calculator.h"
#include "widgets/CaptionButton.h"
#include "widgets/Switch.h"
#include "widgets/TrayIcon.h"
#include "widgets/ValidateEdit.h"
#include "widgets/WarningDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstring>
#include <utility>

TForm1::TForm1()
    : TForm1(TAppPaths::forRunningProgram())
{
}

TForm1::TForm1(const QString& programFolder)
    : TForm1(TAppPaths::portable(programFolder))
{
}

TForm1::TForm1(const TAppPaths& paths)
    : paths_(paths)
    , programFolder_(paths.programFolder())
{
    ErrorReport = [this](const QString& message) {
        QMessageBox::critical(this, QCoreApplication::applicationName(), message);
    };
    ControlKeyDown = [] { return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier); };
    FileDialog = [this](const QString& caption, const QString& folder, const QString& filter, bool save) {
        return save ? QFileDialog::getSaveFileName(this, caption, folder, filter)
                    : QFileDialog::getOpenFileName(this, caption, folder, filter);
    };
    position_ = std::make_unique<TWindowPosition>(*this);
    buildWindow();
    FormCreate();
    Terminal->CreateDialogs(this, iniFile_.get());
}

TForm1::~TForm1()
{
    // Dialogs are child windows; the terminal drops the port before either goes.
    if (Terminal)
        Terminal->Memo1->SetComPort(nullptr);
    // The port is a child and closes after this window's own members are gone: its close
    // notification must not reach them.
    if (ComPort1) {
        ComPort1->OnAfterClose = nullptr;
        ComPort1->OnAfterOpen = nullptr;
    }
}

void TForm1::buildWindow()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(text::caption);
    setWindowIcon(ProgramIcon());
    resize(853, 588);
    QFont windowFont(QStringLiteral("MS Sans Serif"));
    windowFont.setPixelSize(11);
    setFont(windowFont);
    setAutoFillBackground(true);

    ComPort1 = new TComPort(this);
    ComPort1->setObjectName(QStringLiteral("ComPort1"));
    // Attached before the terminal and the lamps.
    session_ = new TDeviceSession(*ComPort1, this);
    monitor_ = &session_->monitor();

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->tabBar()->setFont(controls::pixelFont(font(), 11, true));
    PageControl1->tabBar()->setAttribute(Qt::WA_Hover);
    Terminal = new TerminalPage;
    Setup = new SetupPage;
    Scope = new ScopePage;
    Help = new HelpPage;
    PageControl1->addTab(Terminal, text::pageTerminal);
    PageControl1->addTab(Setup, text::pageSetup);
    PageControl1->addTab(Scope, text::pageScope);
    PageControl1->addTab(Help, text::pageHelp);
    captures_ = new TCaptureArchive(*this, *Scope, paths_.dataFolder());
    Archive = captures_->Page();
    PageControl1->addTab(Archive, text::pageArchive);
    Journal = new JournalPage(monitor_->log());
    PageControl1->addTab(Journal, text::pageJournal);
    session_->addJournalSink(Journal->model());
    journalArchive_ = new TJournalArchive(captures_->Store(), *Archive, *Journal, session_->journal(), this);
    session_->addJournalSink(&journalArchive_->sink());
    Journal->errorReport = [this](const QString& message) { reportError(message); };
    // The pages show the window's colour (the tab frame alone would paint a lighter shade).
    for (int i = 0; i < PageControl1->count(); ++i)
        PageControl1->widget(i)->setAutoFillBackground(true);
    PageControl1->setCurrentIndex(0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(PageControl1);
    StatusLine = new TStatusLine(this);
    layout->addWidget(StatusLine);
    connect(monitor_, &TLinkMonitor::refreshed, StatusLine, &TStatusLine::showFigures);
    connect(monitor_, &TLinkMonitor::refreshed, Journal, &JournalPage::refresh);
    scopeOnEvent_ = new TScopeOnEvent(*this, *PageControl1, PageControl1->indexOf(Scope),
        {PageControl1->indexOf(Archive), PageControl1->indexOf(Journal)}, *StatusLine,
        *Setup->ShowScopeOnEvent, this);

    Warning1 = new TWarningDialog(this);
    Warning1->setObjectName(QStringLiteral("Warning1"));
    Warning1->SetCaption(text::warningCaption);
    Warning1->SetWarningMessage(text::warningMessage);

    Calculator1 = new TCalculator(this);
    Calculator1->setObjectName(QStringLiteral("Calculator1"));

    TrayIcon1 = new TTrayIcon(this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->SetIcon(windowIcon());
    TrayIcon1->SetHint(text::caption);
    TrayIcon1->OnDblClick = on(&TForm1::TrayIcon1DblClick);

    CaptionButton1 = new TCaptionButton(this);
    CaptionButton1->setObjectName(QStringLiteral("CaptionButton1"));
    CaptionButton1->SetHost(PageControl1);
    CaptionButton1->SetStandard(tsbMinimizeToTray);
    CaptionButton1->SetHint(text::trayHint);
    CaptionButton1->SetShowHint(true);
    CaptionButton1->OnClick = on(&TForm1::CaptionButton1Click);

    setWindowColor(clSilver);
    connection_ = new TConnectionSetup(*ComPort1, *Setup, *Terminal, *StatusLine, session_->journal(), *this);
    Reconnector = connection_->Reconnector();
    wirePages();
    setUpSession();
    setUpConnection();
}

void TForm1::wirePages()
{
    TComTerminal* memo = Terminal->Memo1;
    memo->SetComPort(ComPort1);
    Terminal->BindLamps(ComPort1);
    connect(Terminal->Button8, &QPushButton::clicked, this, on(&TForm1::Button8Click));
    for (std::size_t i = 0; i < Terminal->Presets.size(); ++i)
        connect(Terminal->Presets[i], &QPushButton::clicked, this,
            [this, i] { run([this, i] { PresetClick(int(i)); }); });
    connect(Terminal->DTR, &QCheckBox::clicked, this, guarded([this] { connection_->DTRClick(); }));
    connect(Terminal->RTS, &QCheckBox::clicked, this, guarded([this] { connection_->RTSClick(); }));

    connect(Setup->RSBut, &QRadioButton::clicked, this, guarded([this] { connection_->RSButClick(); }));
    connect(Setup->NoneBut, &QRadioButton::clicked, this, guarded([this] { connection_->NoneButClick(); }));
    connect(Setup->Button9, &QPushButton::clicked, this, guarded([this] { connection_->Button9Click(); }));
    connect(Setup->Button10, &QPushButton::clicked, this, on(&TForm1::Button10Click));
    Setup->MainColor->OnChange = on(&TForm1::MainColorChange);
    Setup->TerminalBackColor->OnChange = on(&TForm1::TerminalBackColorChange);
    Setup->TerminalFontColor->OnChange = on(&TForm1::TerminalFontColorChange);
    Setup->Log->OnClick = on(&TForm1::LogClick);
    Setup->Log->OnOn = on(&TForm1::LogClick);
    Setup->Log->OnOff = on(&TForm1::LogClick);
    connect(Setup->BitBtn1, &QPushButton::clicked, this, on(&TForm1::BitBtn1Click));
    connect(Setup->ViewLog, &QPushButton::clicked, this, on(&TForm1::ViewLogClick));
    connect(Setup->BitBtn5, &QPushButton::clicked, this, on(&TForm1::BitBtn5Click));
    connect(Setup->BitBtn6, &QPushButton::clicked, this, on(&TForm1::BitBtn6Click));

    Scope->ScopeBar->ErrorReport = [this](const QString& message) { reportError(message); };
    Scope->ScopeBar->ChoosePictureFile = [this](const QString& name) {
        const QString proposed = QDir(paths_.dataFolder()).filePath(name + QStringLiteral(".png"));
        return FileDialog ? FileDialog(text::savePicture, proposed, text::pictureFilter, true) : QString();
    };
    connect(Scope->Button19, &QPushButton::clicked, this, on(&TForm1::Button19Click));
    connect(Scope->Button16, &QPushButton::clicked, this, on(&TForm1::Button16Click));
    connect(Scope->Button14, &QPushButton::clicked, this, on(&TForm1::Button14Click));

    captures_->PortName = [this] { return ComPort1->Port(); };
    captures_->SaveFileDialog
        = [this](const QString& caption, const QString& proposed, const QString& filter) {
              return FileDialog ? FileDialog(caption, proposed, filter, true) : QString();
          };
    captures_->Report = [this](const QString& message) { reportError(message, QStringLiteral("archive")); };
    captures_->ShowScope = [this] { PageControl1->setCurrentWidget(Scope); };
    connect(captures_, &TCaptureArchive::notWritingChanged, StatusLine, &TStatusLine::setArchiveState);

    tape_ = new TSessionTape(*session_, captures_->Recorder(), *Terminal->Tape, this);
    tape_->ChooseFile = [this](const QString& caption, const QString& filter, bool save) {
        return FileDialog ? FileDialog(caption, paths_.dataFolder(), filter, save) : QString();
    };
    tape_->Values = [this] {
        return TSessionValues{cp1251::encode(Scope->LimitText(TLimit::Voltage)),
            cp1251::encode(Scope->LimitText(TLimit::Current)),
            cp1251::encode(Scope->LimitText(TLimit::Temperature)), Terminal->Memo1->AppendLF(),
            Terminal->Memo1->Force7Bit()};
    };
    tape_->Report = [this](const QString& message) { reportError(message, QStringLiteral("session")); };

    connect(Help->WinCalc, &QPushButton::clicked, this, on(&TForm1::WinCalcClick));
    connect(Help->Button15, &QPushButton::clicked, this, on(&TForm1::Button15Click));
}

TCommandForm* TForm1::PresetDialog(int preset) const
{
    return Terminal->PresetDialog(preset);
}

// --- start and close

void TForm1::FormCreate()
{
    if (!programFolder_.endsWith(QLatin1Char('/')))
        programFolder_ += QLatin1Char('/');
    settingsPath_ = paths_.settingsFile();
    LoadIni();
    // The time scale starts at 1 with the parser.
}

void TForm1::FormClose()
{
    if (closed_)
        return;
    closed_ = true;
    tape_->Stop();
    Reconnector->Stop();
    try {
        SaveIni();
    } catch (const std::exception& e) {
        // The operator must still be able to end the program: report, then go on closing.
        if (ErrorReport)
            ErrorReport(QString::fromStdString(e.what()));
    }
    try {
        ComPort1->ClosePort();
    } catch (const std::exception& e) {
        if (ErrorReport)
            ErrorReport(QString::fromStdString(e.what()));
    }
    if (const QString lost = captures_->Close(CloseDeadline); !lost.isEmpty() && ErrorReport)
        ErrorReport(lost);
    if (Setup->Log->StateOn())
        session_->closeLog();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    FormClose();
    Terminal->HideDialogs();
    event->accept();
}

// --- colours, terminal settings, tray, calculators

void TForm1::setWindowColor(TColor color)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, color::toQColor(color));
    setPalette(p);
}

void TForm1::MainColorChange()
{
    setWindowColor(Setup->MainColor->Selected());
}

void TForm1::TerminalBackColorChange()
{
    Terminal->Memo1->SetColor(Setup->TerminalBackColor->Selected());
}

void TForm1::TerminalFontColorChange()
{
    Terminal->Memo1->SetFontColor(Setup->TerminalFontColor->Selected());
}

void TForm1::Button10Click()
{
    Terminal->Memo1->RunSettingsDialog();
    syncSession();
}

void TForm1::CaptionButton1Click()
{
    TrayIcon1->SetActive(true);
    TrayIcon1->MinimizeToTray();
}

void TForm1::TrayIcon1DblClick()
{
    TrayIcon1->RestoreFromTray();
    TrayIcon1->SetActive(false);
}

void TForm1::WinCalcClick()
{
    const QString failure = desktop::startCalculator();
    if (!failure.isEmpty())
        reportError(failure);
}

void TForm1::Button15Click()
{
    Calculator1->Execute();
}

void TForm1::run(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        reportError(QString::fromUtf8(e.what()));
    } catch (...) {
        reportError(text::unknownError);
    }
}

void TForm1::reportError(const QString& message, const QString& subject)
{
    session_->journal().error(subject, message);
    // Shown once the current handler has returned: a modal box inside a port delivery would
    // run the event loop there.
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            // A report box runs the event loop; the same failure coming again meanwhile
            // (every answer to a device that stopped reading) is not stacked on top of it.
            if (!ErrorReport || errorsOnScreen_.contains(message))
                return;
            errorsOnScreen_.append(message);
            ErrorReport(message);
            errorsOnScreen_.removeOne(message);
        },
        Qt::QueuedConnection);
}

// --- commands and sending

void TForm1::PresetClick(int preset)
{
    TCommandForm* dialog = PresetDialog(preset);
    if (ControlKeyDown && ControlKeyDown()) {
        dialog->show();
        dialog->raise();
        return;
    }
    SendToCom(dialog->CommandText());
}

void TForm1::Button8Click()
{
    SendToCom(cp1251::encode(Terminal->Edit1->text()));
}

void TForm1::SendToCom(const QByteArray& Text)
{
    session_->send(Text);
}

// --- the device session

void TForm1::setUpSession()
{
    TDeviceSession* s = session_;
    TComTerminal* memo = Terminal->Memo1;
    s->setCaptureRecorder(&captures_->Recorder());
    // The terminal shows what the session received, as shaped there.
    memo->SetHostFed(true);
    connect(s, &TDeviceSession::received, memo, &TComTerminal::ShowReceived);
    connect(s, &TDeviceSession::echoed, this, [this, memo](const QByteArray& line) {
        memo->SetFontColor(Setup->EchoFontColor->Selected());
        memo->ShowText(line);
        memo->SetFontColor(Setup->TerminalFontColor->Selected());
    });
    connect(s, &TDeviceSession::sendRefused, this, [this] {
        Warning1->Execute();
        PageControl1->setCurrentWidget(Setup);
    });
    connect(s, &TDeviceSession::readoutText, Scope, [this](TReadout which, const QByteArray& value) {
        Scope->ShowReadout(which, cp1251::decode(value));
    });
    connect(s, &TDeviceSession::readoutColor, Scope, &ScopePage::SetReadoutColor);
    connect(s, &TDeviceSession::counterChanged, Scope, &ScopePage::SetCounter);
    connect(s, &TDeviceSession::eventArrived, this, &TForm1::eventCounted);
    // The device's units reach the chart through the hold: a held picture keeps its own titles.
    TScopeHold& hold = Scope->ScopeBar->Hold();
    connect(s, &TDeviceSession::leftAxisTitle, this, [&hold](const QString& t) { hold.SetYUnit(t); });
    connect(s, &TDeviceSession::bottomAxisTitle, this, [&hold](const QString& t) { hold.SetXUnit(t); });
    connect(s, &TDeviceSession::pointAdded, this, [&hold](double x, double y) { hold.AddPoint(x, y); });
    connect(s, &TDeviceSession::scopeCleared, this, &TForm1::clearScope);
    connect(s, &TDeviceSession::captureBegun, captures_, &TCaptureArchive::LiveCaptureBegun);
    connect(s, &TDeviceSession::lineHandled, this, &TForm1::lineHandled);
    connect(s, &TDeviceSession::logFailed, this, &TForm1::logFailed);
    connect(s, &TDeviceSession::failed, this,
        [this](const QString& message) { reportError(message.isEmpty() ? text::unknownError : message); });
    connect(s, &TDeviceSession::stallEnded, this, [this](const QString& failure, int dropped) {
        reportError(text::stallEnded.arg(failure).arg(dropped), QStringLiteral("port"));
    });

    for (QCheckBox* box :
        {Terminal->CR, Terminal->LF, Terminal->Echo, Setup->LogIncomming, Setup->LogOutgoing})
        connect(box, &QCheckBox::toggled, this, &TForm1::syncSession);
    for (TValidateEdit* limit : {Scope->VoltageLimit, Scope->CurrentLimit, Scope->TempLimit})
        limit->OnValueChanged = [this](QObject*) { syncSession(); };
    syncSession();
}

// The values the session holds, from the controls that show them.
void TForm1::syncSession()
{
    for (TLimit which : {TLimit::Voltage, TLimit::Current, TLimit::Temperature})
        session_->setLimitText(which, cp1251::encode(Scope->LimitText(which)));
    session_->setLineEnds(Terminal->CR->isChecked(), Terminal->LF->isChecked());
    session_->setEcho(Terminal->Echo->isChecked());
    session_->setLogChoices(Setup->LogIncomming->isChecked(), Setup->LogOutgoing->isChecked());
    session_->setShaping(Terminal->Memo1->AppendLF(), Terminal->Memo1->Force7Bit());
}

void TForm1::eventCounted()
{
    // The page is chosen once the event's row is written (lineOutcome), knowing the event.
    awayAtEvent_ = TrayIcon1->InTray() || isMinimized();
    if (TrayIcon1->InTray())
        TrayIcon1DblClick();
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
}

void TForm1::clearScope()
{
    Scope->ScopeBar->Hold().Reset();
    Scope->ScopeBar->Hold().SetCapture(TTraceInfo{});
}

void TForm1::Button14Click()
{
    session_->resetCounters();
}

void TForm1::Button16Click()
{
    session_->resetReadouts();
}

void TForm1::Button19Click()
{
    session_->resetScope();
}

void TForm1::lineHandled(const TLineOutcome& outcome)
{
    if (outcome.isRecord())
        Scope->LinkUp();
    if (outcome.event)
        scopeOnEvent_->eventCounted(QString::fromLatin1(eventName(*outcome.event)), awayAtEvent_);
}

// --- scope buttons

// --- data log

void TForm1::LogClick()
{
    if (logSyncing_)
        return;
    if (Setup->Log->StateOn()) {
        if (session_->logOpen())
            return;
        const QString path = Setup->LogFile->text();
        const bool append = Setup->AppendLog->isChecked() && QFile::exists(path);
        if (!session_->openLog(path, append)) {
            logSyncing_ = true;
            Setup->Log->SetStateOn(false);
            logSyncing_ = false;
        }
    } else {
        session_->closeLog();
    }
}

void TForm1::logFailed(int error)
{
    // Reported once; the log is closed and the switch goes off, sending and receiving go on.
    reportError(
        text::logWriteFailed.arg(Setup->LogFile->text(), QString::fromLocal8Bit(std::strerror(error))),
        QStringLiteral("log"));
    logSyncing_ = true;
    Setup->Log->SetStateOn(false);
    logSyncing_ = false;
}

void TForm1::BitBtn1Click()
{
    const QString chosen
        = FileDialog ? FileDialog(QString(), paths_.dataFolder(), text::textFilter, true) : QString();
    if (chosen.isEmpty())
        return;
    Setup->LogFile->setText(withExtension(chosen, QStringLiteral(".txt"), TExtensionRule::LowerOrUpper));
}

void TForm1::ViewLogClick()
{
    const QString failure = desktop::openTextFile(Setup->LogFile->text());
    if (!failure.isEmpty())
        reportError(failure);
}
