#include "console/MainUnit.h"

#include "common/Cp1251.h"
#include "console/ArchivePage.h"
#include "console/CaptureArchive.h"
#include "console/ColorBox.h"
#include "console/ConnectionEvents.h"
#include "console/ConnectionSetup.h"
#include "console/DataLogSwitch.h"
#include "console/DesktopPrograms.h"
#include "console/ErrorReports.h"
#include "console/HelpPage.h"
#include "console/JournalArchive.h"
#include "console/JournalPage.h"
#include "console/PageControls.h"
#include "console/ProgramIcon.h"
#include "console/ScopeOnEvent.h"
#include "console/ScopePage.h"
#include "console/ScopeToolBar.h"
#include "console/SessionTape.h"
#include "console/SessionView.h"
#include "console/SetupPage.h"
#include "console/StatusLine.h"
#include "console/TerminalPage.h"
#include "console/WindowChrome.h"
#include "console/WindowPosition.h"
#include "console/WindowTexts.h"
#include "net/NamedPort.h"
#include "serial/ComPort.h"
#include "session/LinkMonitor.h"
#include "session/PortReconnector.h"
#include "terminal/ComTerminal.h"
#include "widgets/Calculator.h"
#include "widgets/CaptionButton.h"
#include "widgets/TrayIcon.h"
#include "widgets/WarningDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

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
    if (!programFolder_.endsWith(QLatin1Char('/')))
        programFolder_ += QLatin1Char('/');
    position_ = std::make_unique<TWindowPosition>(*this);
    buildWindow();
    // The time scale starts at 1 with the parser.
    Settings->LoadIni();
    Terminal->CreateDialogs(this, Settings->File());
}

TForm1::~TForm1()
{
    // Dialogs are child windows; the terminal drops the port before either goes.
    if (Terminal)
        Terminal->Memo1->SetComPort(nullptr);
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

    SerialPort = new TNamedPort(this);
    SerialPort->setObjectName(QStringLiteral("ComPort1"));
    ComPort1 = SerialPort;
    // Attached before the terminal and the lamps.
    session_ = new TDeviceSession(*ComPort1, this);
    Reports = new TErrorReports(session_->journal(), ErrorReport, this);
    buildPages();
    buildComponents();
    chrome_ = std::make_unique<TWindowChrome>(*this, *Setup, *Terminal->Memo1, *TrayIcon1);
    TrayIcon1->OnDblClick = Reports->Guarded([this] { chrome_->TrayIcon1DblClick(); });
    CaptionButton1->OnClick = Reports->Guarded([this] { chrome_->CaptionButton1Click(); });
    connection_
        = new TConnectionSetup(*SerialPort, *Setup, *Terminal, *StatusLine, session_->journal(), *this);
    Reconnector = connection_->Reconnector();
    createParts();
}

void TForm1::buildPages()
{
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
    Journal = new JournalPage(session_->monitor().log());
    PageControl1->addTab(Journal, text::pageJournal);
    session_->addJournalSink(Journal->model());
    journalArchive_ = new TJournalArchive(captures_->Store(), *Archive, *Journal, session_->journal(), this);
    session_->addJournalSink(&journalArchive_->sink());
    Journal->errorReport = Reports->Reporter();
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
    connect(&session_->monitor(), &TLinkMonitor::refreshed, StatusLine, &TStatusLine::showFigures);
    connect(&session_->monitor(), &TLinkMonitor::refreshed, Journal, &JournalPage::refresh);
    scopeOnEvent_ = new TScopeOnEvent(*this, *PageControl1, PageControl1->indexOf(Scope),
        {PageControl1->indexOf(Archive), PageControl1->indexOf(Journal)}, *StatusLine,
        *Setup->ShowScopeOnEvent, this);
}

void TForm1::buildComponents()
{
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

    CaptionButton1 = new TCaptionButton(this);
    CaptionButton1->setObjectName(QStringLiteral("CaptionButton1"));
    CaptionButton1->SetHost(PageControl1);
    CaptionButton1->SetStandard(tsbMinimizeToTray);
    CaptionButton1->SetHint(text::trayHint);
    CaptionButton1->SetShowHint(true);
}

void TForm1::createParts()
{
    TErrorReports& reports = *Reports;
    Terminal->Memo1->SetComPort(ComPort1);
    Terminal->BindLamps(ComPort1);
    TConnectionSetup* c = connection_;
    connect(Terminal->DTR, &QCheckBox::clicked, this, reports.Guarded([c] { c->DTRClick(); }));
    connect(Terminal->RTS, &QCheckBox::clicked, this, reports.Guarded([c] { c->RTSClick(); }));
    connect(Setup->RSBut, &QRadioButton::clicked, this, reports.Guarded([c] { c->RSButClick(); }));
    connect(Setup->NoneBut, &QRadioButton::clicked, this, reports.Guarded([c] { c->NoneButClick(); }));
    connect(Setup->Button9, &QPushButton::clicked, this, reports.Guarded([c] { c->Button9Click(); }));
    Setup->MainColor->OnChange = reports.Guarded([this] { chrome_->MainColorChange(); });
    Setup->TerminalBackColor->OnChange = reports.Guarded([this] { chrome_->TerminalBackColorChange(); });
    Setup->TerminalFontColor->OnChange = reports.Guarded([this] { chrome_->TerminalFontColorChange(); });
    DataLog = new TDataLogSwitch(*session_, *Setup, reports, FileDialog, paths_.dataFolder(), this);

    Scope->ScopeBar->ErrorReport = reports.Reporter();
    Scope->ScopeBar->ChoosePictureFile = [this](const QString& name) {
        const QString proposed = QDir(paths_.dataFolder()).filePath(name + QStringLiteral(".png"));
        return FileDialog ? FileDialog(text::savePicture, proposed, text::pictureFilter, true) : QString();
    };
    captures_->PortName = [this] { return ComPort1->Port(); };
    captures_->SaveFileDialog
        = [this](const QString& caption, const QString& proposed, const QString& filter) {
              return FileDialog ? FileDialog(caption, proposed, filter, true) : QString();
          };
    captures_->Report = reports.Reporter(QStringLiteral("archive"));
    captures_->ShowScope = [this] { PageControl1->setCurrentWidget(Scope); };
    connect(captures_, &TCaptureArchive::notWritingChanged, StatusLine, &TStatusLine::setArchiveState);
    connect(Help->WinCalc, &QPushButton::clicked, this,
        reports.Guarded([&reports] { reports.ReportFailure(desktop::startCalculator()); }));
    connect(Help->Button15, &QPushButton::clicked, this, reports.Guarded([this] { Calculator1->Execute(); }));

    SessionView = new TSessionView(*session_,
        {*Terminal, *Setup, *Scope, *PageControl1, *captures_, *scopeOnEvent_, *Warning1, *chrome_, reports},
        ControlKeyDown, this);
    Settings = new TConsoleSettings(paths_,
        {*SerialPort, *connection_, *Terminal, *Setup, *Scope, *position_, *chrome_, *captures_, *SessionView,
            reports},
        FileDialog, this);
    // The last of the port's listeners.
    connectionEvents_ = std::make_unique<TConnectionEvents>(*ComPort1,
        TConnectionEvents::Parts{*session_, [c] { return c->Rate(); }, Reconnector, *Setup, *Scope,
            *StatusLine, captures_->Recorder(), reports});
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
    tape_->Report = reports.Reporter(QStringLiteral("session"));
}

TCommandForm* TForm1::PresetDialog(int preset) const
{
    return Terminal->PresetDialog(preset);
}

// --- closing

void TForm1::FormClose()
{
    if (closed_)
        return;
    closed_ = true;
    tape_->Stop();
    Reconnector->Stop();
    try {
        Settings->SaveIni();
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
    DataLog->Close();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    FormClose();
    Terminal->HideDialogs();
    event->accept();
}
