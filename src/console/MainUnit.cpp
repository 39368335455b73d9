#include "console/MainUnit.h"

#include "archive/CaptureRecorder.h"
#include "common/Cp1251.h"
#include "common/FileNames.h"
#include "console/ArchivePage.h"
#include "console/CaptureArchive.h"
#include "console/ColorBox.h"
#include "console/CommandDialogs.h"
#include "console/DesktopPrograms.h"
#include "console/HelpPage.h"
#include "console/JournalArchive.h"
#include "console/JournalPage.h"
#include "console/LinkMonitor.h"
#include "console/PageControls.h"
#include "console/PortWriteTarget.h"
#include "console/ProgramIcon.h"
#include "console/ScopeOnEvent.h"
#include "console/ScopePage.h"
#include "console/ScopeToolBar.h"
#include "console/SetupPage.h"
#include "console/StatusLine.h"
#include "console/TerminalPage.h"
#include "console/WindowPosition.h"
#include "console/WindowTexts.h"
#include "console/core/JournalRecorder.h"
#include "serial/ComPort.h"
#include "serial/PortReconnector.h"
#include "terminal/ComTerminal.h"
#include "widgets/Calculator.h"
#include "widgets/CaptionButton.h"
#include "widgets/Switch.h"
#include "widgets/TrayIcon.h"
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
    parser_ = std::make_unique<TRecordParser>(static_cast<TRecordView&>(*this));
    journal_ = std::make_unique<TJournalRecorder>(journalSinks_);
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
    // Attached before the terminal: a line is logged before the parser's verdict on it.
    monitor_ = new TLinkMonitor(ComPort1, this);
    portTarget_ = std::make_unique<TPortWriteTarget>(*ComPort1);
    writer_ = std::make_unique<TPortWriter>(*portTarget_);
    writer_->OnStallEnded = [this](const QString& failure, int dropped) {
        reportError(text::stallEnded.arg(failure).arg(dropped), QStringLiteral("port"));
    };

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
    journalSinks_.add(Journal->model());
    journalArchive_ = new TJournalArchive(captures_->Store(), *Archive, *Journal, *journal_, this);
    journalSinks_.add(&journalArchive_->sink());
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
    wirePages();
    setUpConnection();
}

void TForm1::wirePages()
{
    TComTerminal* memo = Terminal->Memo1;
    memo->SetComPort(ComPort1);
    memo->OnStrRecieved
        = [this](QObject* sender, QByteArray& str) { run([&] { Memo1StrRecieved(sender, str); }); };
    Terminal->BindLamps(ComPort1);
    connect(Terminal->Button8, &QPushButton::clicked, this, on(&TForm1::Button8Click));
    for (std::size_t i = 0; i < Terminal->Presets.size(); ++i)
        connect(Terminal->Presets[i], &QPushButton::clicked, this,
            [this, i] { run([this, i] { PresetClick(int(i)); }); });
    connect(Terminal->DTR, &QCheckBox::clicked, this, on(&TForm1::DTRClick));
    connect(Terminal->RTS, &QCheckBox::clicked, this, on(&TForm1::RTSClick));

    connect(Setup->RSBut, &QRadioButton::clicked, this, on(&TForm1::RSButClick));
    connect(Setup->NoneBut, &QRadioButton::clicked, this, on(&TForm1::NoneButClick));
    connect(Setup->Button9, &QPushButton::clicked, this, on(&TForm1::Button9Click));
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
        log_.close();
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
    journal_->error(subject, message);
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
    if (!ComPort1->Connected()) {
        Warning1->Execute();
        PageControl1->setCurrentIndex(1);
        return;
    }
    QByteArray line = Text;
    if (Terminal->CR->isChecked())
        line += '\r';
    if (Terminal->LF->isChecked())
        line += '\n';
    if (Setup->Log->StateOn() && Setup->LogOutgoing->isChecked())
        writeLog(line);
    if (collectingAnswers_)
        answers_.append(line);
    else if (!writer_->write({line}))
        return;
    if (Terminal->Echo->isChecked()) {
        if (Terminal->CR->isChecked() && !Terminal->LF->isChecked())
            line += '\n';
        Terminal->Memo1->SetFontColor(Setup->EchoFontColor->Selected());
        Terminal->Memo1->ShowText(line);
        if (Setup->Log->StateOn() && Setup->LogIncomming->isChecked())
            writeLog(line);
        Terminal->Memo1->SetFontColor(Setup->TerminalFontColor->Selected());
    }
}

// --- received records

void TForm1::Memo1StrRecieved(QObject*, QByteArray& Str)
{
    if (Setup->Log->StateOn() && Setup->LogIncomming->isChecked())
        writeLog(Str);
    // A block arriving while this one is parsed (a modal box runs the event loop) adds its
    // answers behind this block's, which keeps them in order on the wire.
    const bool outer = std::exchange(collectingAnswers_, true);
    {
        const auto restore = qScopeGuard([this, outer] { collectingAnswers_ = outer; });
        parser_->feed(Str);
    }
    if (outer)
        return;
    const QByteArrayList answers = std::exchange(answers_, {});
    // A handler of the parse may have closed the port meanwhile: the answers then go nowhere.
    if (ComPort1->Connected())
        writer_->write(answers);
}

QByteArray TForm1::limitText(TLimit which) const
{
    return cp1251::encode(Scope->LimitText(which));
}

void TForm1::setReadoutText(TReadout which, QByteArrayView bytes)
{
    Scope->ShowReadout(which, cp1251::decode(bytes.data(), bytes.size()));
}

void TForm1::setReadoutColor(TReadout which, TColor color)
{
    Scope->SetReadoutColor(which, color);
}

void TForm1::setCounter(TEvent which, std::uint16_t value, TColor background)
{
    Scope->SetCounter(which, value, background);
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

// The device's units reach the chart through the hold: a held picture keeps its own titles.
void TForm1::setLeftAxisTitle(const QString& title)
{
    Scope->ScopeBar->Hold().SetYUnit(title);
}

void TForm1::setBottomAxisTitle(const QString& title)
{
    Scope->ScopeBar->Hold().SetXUnit(title);
}

void TForm1::addPoint(double x, double y)
{
    Scope->ScopeBar->Hold().AddPoint(x, y);
    captures_->Recorder().addPoint(std::int64_t(x), std::int32_t(y));
    if (captures_->Recorder().pointCount() == 1)
        captures_->LiveCaptureBegun();
}

void TForm1::clearScope()
{
    captures_->Recorder().reset();
    Scope->ScopeBar->Hold().Reset();
    Scope->ScopeBar->Hold().SetCapture(TTraceInfo{});
}

void TForm1::send(const QByteArray& answer)
{
    SendToCom(answer);
}

void TForm1::Button14Click()
{
    parser_->resetCounters();
    journal_->resetByButton(TResetKind::Counters);
}

void TForm1::Button16Click()
{
    parser_->resetReadouts();
    journal_->resetByButton(TResetKind::Readouts);
}

void TForm1::Button19Click()
{
    parser_->resetScope();
    journal_->resetByButton(TResetKind::Scope);
}

void TForm1::lineOutcome(const TLineOutcome& outcome)
{
    monitor_->lineOutcome(outcome);
    journal_->lineOutcome(outcome);
    if (outcome.isRecord())
        Scope->LinkUp();
    if (outcome.event) {
        const QString name = QString::fromLatin1(eventName(*outcome.event));
        // The capture this event starts remembers the event's row by its time.
        captures_->Recorder().eventCounted(name, journal_->lastRowMs());
        scopeOnEvent_->eventCounted(name, awayAtEvent_);
    }
}

// --- scope buttons

// --- data log

void TForm1::LogClick()
{
    if (logSyncing_)
        return;
    if (Setup->Log->StateOn()) {
        if (log_.isOpen())
            return;
        const QString path = Setup->LogFile->text();
        const bool append = Setup->AppendLog->isChecked() && QFile::exists(path);
        if (!log_.open(path, append)) {
            logSyncing_ = true;
            Setup->Log->SetStateOn(false);
            logSyncing_ = false;
        }
    } else {
        log_.close();
    }
}

void TForm1::writeLog(QByteArrayView bytes)
{
    if (!log_.isOpen() || log_.write(bytes))
        return;
    // Reported once; the log is closed and the switch goes off, sending and receiving go on.
    reportError(text::logWriteFailed.arg(
                    Setup->LogFile->text(), QString::fromLocal8Bit(std::strerror(log_.lastError()))),
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
