#include "console/MainUnit.h"

#include "archive/ArchiveStore.h"
#include "archive/CaptureRecorder.h"
#include "chart/Chart.h"
#include "chart/ScopeForm.h"
#include "chart/core/ChartTraces.h"
#include "chart/core/ScopeFormValues.h"
#include "common/Cp1251.h"
#include "console/ArchivePage.h"
#include "console/ColorBox.h"
#include "console/CommandDialogs.h"
#include "console/JournalArchive.h"
#include "console/JournalPage.h"
#include "console/ProgramIcon.h"
#include "console/ScopeOnEvent.h"
#include "console/ScopeToolBar.h"
#include "console/StatusLine.h"
#include "console/WindowPosition.h"
#include "console/core/JpegImage.h"
#include "serial/ComPort.h"
#include "serial/PortReconnector.h"
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
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QStandardPaths>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <tuple>
#include <utility>

namespace {

// The window's own texts, in one place.
namespace text {
const QString caption = QStringLiteral("Orvik  v1.8 -  Комплекс за изследване на аварийни процеси - ЖБФ");
const QString pageTerminal = QStringLiteral("Терминал");
const QString pageSetup = QStringLiteral("Настройки");
const QString pageScope = QStringLiteral("Графични данни");
const QString pageHelp = QStringLiteral("Помощ");
const QString pageJournal = QStringLiteral("Журнал");
const QString pageArchive = QStringLiteral("Архив");
const QString command = QStringLiteral("COMMAND:");
const QString send = QStringLiteral("Изпрати -->>");
const QString sendHint = QStringLiteral("Sending The Command");
const QString groupControls = QStringLiteral(" Контроли: ( натисни и задръж CTRL ) ");
const QString groupDevices = QStringLiteral(" Устройства: ");
const QString groupMeasurements = QStringLiteral(" Измервания: ");
const QString groupLine = QStringLiteral(" Настройки: ");
const QString status = QStringLiteral("Статус:");
const QString groupConnection = QStringLiteral(" Connection Type ");
const QString connectionNone = QStringLiteral("Изключен");
const QString autoReconnect = QStringLiteral("Автоматично свързване");
const QString rsSetup = QStringLiteral("RS232 Настройки");
const QString lptSetup = QStringLiteral("LPT  Настройки");
const QString usbSetup = QStringLiteral("USB  Настройки");
const QString terminalSetup = QStringLiteral("Терминал");
const QString port = QStringLiteral("Port:");
const QString closed = QStringLiteral("Closed");
const QString baud = QStringLiteral("Baud:");
const QString notSet = QStringLiteral("Not Set");
const QString groupColors = QStringLiteral("Color Settings");
const QString mainColor = QStringLiteral("основен цвят");
const QString terminalBack = QStringLiteral("Фон на терминала:");
const QString terminalFont = QStringLiteral("Шрифт на терминала:");
const QString echoFont = QStringLiteral("Шрифт ехо:");
const QString groupLog = QStringLiteral(" Записване на данни: ");
const QString logIncoming = QStringLiteral("Входящи данни");
const QString logOutgoing = QStringLiteral("Изходящи данни");
const QString appendLog = QStringLiteral("Добави към лог");
const QString newLog = QStringLiteral("Създай нов");
const QString chooseLog = QStringLiteral("Избери лог файл:");
const QString viewLog = QStringLiteral("Покажи лог файла");
const QString groupGlobal = QStringLiteral(" Глобални настройки: ");
const QString loadFromFile = QStringLiteral("Зареди от файл");
const QString saveToFile = QStringLiteral("Запази във файл");
const QString groupStatistics = QStringLiteral(" Статистика: ");
const QString voltage = QStringLiteral("Напрежение:");
const QString current = QStringLiteral("Ток:");
const QString temperature = QStringLiteral("Температура:");
const QString limit = QStringLiteral("Граница:");
const QString reset = QStringLiteral("Нулиране");
const QString groupEvents = QStringLiteral(" Аварийни събития: ");
const QString helpOverview = QStringLiteral("ОБЩА ХАРАКТЕРИСТИКА");
const QString winCalc = QStringLiteral("Windows калкулатор");
const QString ownCalc = QStringLiteral("Вграден  калкулатор");
const QString warningCaption = QStringLiteral("Connection Error");
const QString warningMessage = QStringLiteral("Not Connected !  Go to Setup tab.");
const QString trayHint = QStringLiteral("Minimize to tray");
const QString textFilter = QStringLiteral("Text File (*.txt);;All (*)");
const QString logWriteFailed = QStringLiteral("Грешка при запис в лог файла %1: %2");
const QString savePicture = QStringLiteral("Запис на графиката");
const QString pictureFilter = QStringLiteral("Картини PNG (*.png)");
const QString unknownError = QStringLiteral("Неочаквана грешка");
const QString stallEnded
    = QStringLiteral("%1\n\nУстройството не приемаше данни; неизпратени отговори и команди: %2.");
} // namespace text

// The desktop programs that stand in for the system calculator and the text viewer.
const char* const kCalculators[]
    = {"gnome-calculator", "kcalc", "galculator", "mate-calc", "qalculate-gtk", "xcalc"};
const char* const kTextViewers[]
    = {"gnome-text-editor", "gedit", "mousepad", "pluma", "xed", "kate", "kwrite", "leafpad", "xdg-open"};

QString systemMessage(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Starts the first of the programs found on PATH with the arguments; the error text when none
// can be started.
template <std::size_t N> QString startFirst(const char* const (&programs)[N], const QStringList& arguments)
{
    for (const char* name : programs) {
        const QString exe = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (exe.isEmpty())
            continue;
        if (QProcess::startDetached(exe, arguments))
            return {};
    }
    return systemMessage(ENOENT);
}

QFont pixelFont(const QFont& base, int pixels, bool bold)
{
    QFont f = base;
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

QGroupBox* group(const QString& caption, QWidget* parent)
{
    auto* box = new QGroupBox(caption, parent);
    return box;
}

QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QCheckBox* checkBox(const char* name, const QString& caption, bool checked, QWidget* parent)
{
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setChecked(checked);
    return c;
}

QLabel* label(const QString& caption, QWidget* parent, const char* name = nullptr)
{
    auto* l = new QLabel(caption, parent);
    if (name)
        l->setObjectName(QString::fromLatin1(name));
    return l;
}

QPixmap helpPicture(const QString& resource)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QPixmap::fromImage(decodeJpeg(file.readAll()));
}

QString helpText()
{
    QFile file(QStringLiteral(":/help/overview.txt"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

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
    createDialogs();
}

TForm1::~TForm1()
{
    // Dialogs are child windows; the terminal drops the port before either goes.
    if (Memo1)
        Memo1->SetComPort(nullptr);
    // The port is a child and closes after this window's own members are gone: its close
    // notification must not reach them.
    if (ComPort1) {
        ComPort1->OnAfterClose = nullptr;
        ComPort1->OnAfterOpen = nullptr;
    }
    // The scope bar and its legend hold the traces, a member that goes before the children.
    delete ScopeBar;
    ScopeBar = nullptr;
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
    // Attached before the terminal and the lamps.
    session_ = new TDeviceSession(*ComPort1, this);
    monitor_ = &session_->monitor();

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->tabBar()->setFont(pixelFont(font(), 11, true));
    PageControl1->tabBar()->setAttribute(Qt::WA_Hover);
    PageControl1->addTab(buildTerminalPage(), text::pageTerminal);
    PageControl1->addTab(buildSetupPage(), text::pageSetup);
    PageControl1->addTab(buildScopePage(), text::pageScope);
    PageControl1->addTab(buildHelpPage(), text::pageHelp);
    PageControl1->addTab(buildArchivePage(), text::pageArchive);
    Journal = new JournalPage(monitor_->log());
    PageControl1->addTab(Journal, text::pageJournal);
    session_->addJournalSink(Journal->model());
    journalArchive_ = new TJournalArchive(*archive_, *Archive, *Journal, session_->journal(), this);
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
    scopeOnEvent_ = new TScopeOnEvent(*this, *PageControl1, PageControl1->indexOf(Chart1->parentWidget()),
        {PageControl1->indexOf(Archive), PageControl1->indexOf(Journal)}, *StatusLine, *ShowScopeOnEvent,
        this);

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
    setUpSession();
    setUpConnection();
}

QWidget* TForm1::buildTerminalPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Terminal"));

    Memo1 = new TComTerminal(page);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->SetEmulation(teNone);
    Memo1->SetLocalEcho(true);
    Memo1->SetSendLF(true);
    Memo1->SetAppendLF(true);
    Memo1->SetWrapLines(true);
    Memo1->SetScrollBars(ssBoth);
    Memo1->SetFitToWindow(true);
    QFont termFont = TComTerminal::DefaultTerminalFont();
    termFont.setPixelSize(12);
    Memo1->setFont(termFont);
    Memo1->SetColor(clAqua);
    Memo1->SetFontColor(clBlack);
    Memo1->SetComPort(ComPort1);
    Memo1->setMinimumSize(360, 200);

    auto* commandRow = new QHBoxLayout;
    commandRow->addWidget(label(text::command, page));
    Edit1 = new QLineEdit(page);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    commandRow->addWidget(Edit1, 1);
    Button8 = button("Button8", text::send, page);
    Button8->setToolTip(text::sendHint);
    connect(Button8, &QPushButton::clicked, this, on(&TForm1::Button8Click));
    commandRow->addWidget(Button8);

    Button1 = button("Button1", QStringLiteral("PUSK"), page);
    Button2 = button("Button2", QStringLiteral("RESTART"), page);
    Button5 = button("Button5", QStringLiteral("DIAGNOSTIC"), page);
    Button3 = button("Button3", QStringLiteral("INVERTER"), page);
    Button4 = button("Button4", QStringLiteral("RECTIFIER"), page);
    Button6 = button("Button6", QStringLiteral("Vcc"), page);
    Button7 = button("Button7", QStringLiteral("It"), page);
    Button11 = button("Button11", QStringLiteral("t°C"), page);
    // Button11 keeps its hint but never shows it.
    Button11->installEventFilter(this);
    presetButtons_ = {Button1, Button2, Button5, Button3, Button4, Button6, Button7, Button11};
    for (std::size_t i = 0; i < presetButtons_.size(); ++i) {
        presetButtons_[i]->setMinimumWidth(72);
        connect(presetButtons_[i], &QPushButton::clicked, this,
            [this, i] { run([this, i] { PresetClick(int(i)); }); });
    }
    auto makeGroup = [page](const QString& caption, std::initializer_list<QPushButton*> buttons) {
        auto* box = group(caption, page);
        auto* row = new QHBoxLayout(box);
        for (QPushButton* b : buttons)
            row->addWidget(b);
        return box;
    };
    auto* presets = new QHBoxLayout;
    presets->addWidget(makeGroup(text::groupControls, {Button1, Button2, Button5}), 3);
    presets->addWidget(makeGroup(text::groupDevices, {Button3, Button4}), 2);
    presets->addWidget(makeGroup(text::groupMeasurements, {Button6, Button7, Button11}), 3);

    auto* lineBox = group(text::groupLine, page);
    auto* lineLayout = new QVBoxLayout(lineBox);
    Wrap = checkBox("Wrap", QStringLiteral("Wrap"), true, lineBox);
    Echo = checkBox("Echo", QStringLiteral("Echo"), true, lineBox);
    CR = checkBox("CR", QStringLiteral("CR"), true, lineBox);
    LF = checkBox("LF", QStringLiteral("LF"), true, lineBox);
    DTR = checkBox("DTR", QStringLiteral("DTR"), false, lineBox);
    RTS = checkBox("RTS", QStringLiteral("RTS"), false, lineBox);
    for (QCheckBox* c : {Wrap, Echo, CR, LF, DTR, RTS})
        lineLayout->addWidget(c);
    connect(Wrap, &QCheckBox::clicked, this, on(&TForm1::WrapClick));
    connect(Echo, &QCheckBox::clicked, this, on(&TForm1::EchoClick));
    connect(DTR, &QCheckBox::clicked, this, on(&TForm1::DTRClick));
    connect(RTS, &QCheckBox::clicked, this, on(&TForm1::RTSClick));
    auto* separator = new QFrame(lineBox);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    lineLayout->addWidget(separator);
    lineLayout->addWidget(label(text::status, lineBox));
    // Each lamp stands under its label; the lamps themselves are put into these places.
    auto* lamps = new QGridLayout;
    const char* lampNames[] = {"Rx", "Tx", "CAR", "DSR", "CTS", "RING"};
    for (int i = 0; i < 6; ++i) {
        auto* caption = label(QString::fromLatin1(lampNames[i]), lineBox);
        caption->setAlignment(Qt::AlignHCenter);
        auto* place = new QWidget(lineBox);
        place->setObjectName(QStringLiteral("LampPlace") + QString::fromLatin1(lampNames[i]));
        place->setFixedSize(15, 15);
        auto* placeLayout = new QHBoxLayout(place);
        placeLayout->setContentsMargins(0, 0, 0, 0);
        LampPlaces[std::size_t(i)] = place;
        lamps->addWidget(caption, (i / 3) * 2, i % 3, Qt::AlignHCenter);
        lamps->addWidget(place, (i / 3) * 2 + 1, i % 3, Qt::AlignHCenter);
    }
    lineLayout->addLayout(lamps);
    lineLayout->addStretch();

    auto* grid = new QGridLayout(page);
    grid->addWidget(Memo1, 0, 0);
    grid->addLayout(commandRow, 1, 0);
    grid->addLayout(presets, 2, 0);
    grid->addWidget(lineBox, 0, 1, 3, 1);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(0, 1);
    return page;
}

QWidget* TForm1::buildSetupPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Setup"));

    auto* connection = group(text::groupConnection, page);
    auto* c = new QGridLayout(connection);
    NoneBut = new QRadioButton(text::connectionNone, connection);
    NoneBut->setObjectName(QStringLiteral("NoneBut"));
    NoneBut->setChecked(true);
    RSBut = new QRadioButton(connection);
    RSBut->setObjectName(QStringLiteral("RSBut"));
    Button9 = button("Button9", text::rsSetup, connection);
    LptBut = new QRadioButton(connection);
    LptBut->setObjectName(QStringLiteral("LptBut"));
    Button12 = button("Button12", text::lptSetup, connection);
    UsbBut = new QRadioButton(connection);
    UsbBut->setObjectName(QStringLiteral("UsbBut"));
    Button13 = button("Button13", text::usbSetup, connection);
    Button10 = button("Button10", text::terminalSetup, connection);
    Label3 = label(text::closed, connection, "Label3");
    Label5 = label(text::notSet, connection, "Label5");
    c->addWidget(NoneBut, 0, 0, 1, 3);
    c->addWidget(RSBut, 1, 0);
    c->addWidget(Button9, 1, 1, 1, 2);
    c->addWidget(label(text::port, connection), 2, 1);
    c->addWidget(Label3, 2, 2);
    c->addWidget(label(text::baud, connection), 3, 1);
    c->addWidget(Label5, 3, 2);
    c->addWidget(LptBut, 4, 0);
    c->addWidget(Button12, 4, 1, 1, 2);
    c->addWidget(UsbBut, 5, 0);
    c->addWidget(Button13, 5, 1, 1, 2);
    c->addWidget(Button10, 6, 1, 1, 2);
    AutoReconnect = new QCheckBox(text::autoReconnect, connection);
    AutoReconnect->setObjectName(QStringLiteral("AutoReconnect"));
    AutoReconnect->setChecked(true);
    c->addWidget(AutoReconnect, 7, 0, 1, 3);
    c->setColumnStretch(2, 1);
    c->setRowStretch(8, 1);
    connect(RSBut, &QRadioButton::clicked, this, on(&TForm1::RSButClick));
    connect(NoneBut, &QRadioButton::clicked, this, on(&TForm1::NoneButClick));
    connect(Button9, &QPushButton::clicked, this, on(&TForm1::Button9Click));
    connect(Button10, &QPushButton::clicked, this, on(&TForm1::Button10Click));

    auto* colors = group(text::groupColors, page);
    auto* k = new QGridLayout(colors);
    auto colorRow = [&](int row, const char* name, const QString& caption, TColor initial) {
        auto* box = new TColorBox(colors);
        box->setObjectName(QString::fromLatin1(name));
        box->SetSelected(initial);
        k->addWidget(label(caption, colors), row, 0);
        k->addWidget(box, row, 1);
        return box;
    };
    MainColor = colorRow(0, "MainColor", text::mainColor, clSilver);
    TerminalBackColor = colorRow(1, "TerminalBackColor", text::terminalBack, clAqua);
    TerminalFontColor = colorRow(2, "TerminalFontColor", text::terminalFont, clBlack);
    EchoFontColor = colorRow(3, "EchoFontColor", text::echoFont, clGray);
    k->setColumnStretch(1, 1);
    k->setRowStretch(4, 1);
    MainColor->OnChange = on(&TForm1::MainColorChange);
    TerminalBackColor->OnChange = on(&TForm1::TerminalBackColorChange);
    TerminalFontColor->OnChange = on(&TForm1::TerminalFontColorChange);

    auto* logBox = group(text::groupLog, page);
    auto* g = new QGridLayout(logBox);
    Log = new TSwitch(logBox);
    Log->setObjectName(QStringLiteral("Log"));
    Log->SetCaption(QStringLiteral("Log"));
    Log->setFixedSize(50, 60);
    Log->OnClick = on(&TForm1::LogClick);
    Log->OnOn = on(&TForm1::LogClick);
    Log->OnOff = on(&TForm1::LogClick);
    LogIncomming = checkBox("LogIncomming", text::logIncoming, true, logBox);
    LogOutgoing = checkBox("LogOutgoing", text::logOutgoing, true, logBox);
    AppendLog = new QRadioButton(text::appendLog, logBox);
    AppendLog->setObjectName(QStringLiteral("AppendLog"));
    AppendLog->setChecked(true);
    NewLog = new QRadioButton(text::newLog, logBox);
    NewLog->setObjectName(QStringLiteral("NewLog"));
    LogFile = new QLineEdit(logBox);
    LogFile->setObjectName(QStringLiteral("LogFile"));
    BitBtn1 = button("BitBtn1", QString(), logBox);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    ViewLog = button("ViewLog", text::viewLog, logBox);
    g->addWidget(Log, 0, 0, 4, 1, Qt::AlignTop);
    g->addWidget(LogIncomming, 0, 1);
    g->addWidget(LogOutgoing, 1, 1);
    g->addWidget(AppendLog, 2, 1);
    g->addWidget(NewLog, 3, 1);
    g->addWidget(label(text::chooseLog, logBox), 4, 0, 1, 2);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(LogFile, 1);
    fileRow->addWidget(BitBtn1);
    g->addLayout(fileRow, 5, 0, 1, 2);
    g->addWidget(ViewLog, 6, 0, 1, 2, Qt::AlignLeft);
    g->setColumnStretch(1, 1);
    g->setRowStretch(7, 1);
    connect(BitBtn1, &QPushButton::clicked, this, on(&TForm1::BitBtn1Click));
    connect(ViewLog, &QPushButton::clicked, this, on(&TForm1::ViewLogClick));

    auto* global = group(text::groupGlobal, page);
    auto* gl = new QVBoxLayout(global);
    BitBtn5 = button("BitBtn5", text::loadFromFile, global);
    BitBtn5->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    BitBtn6 = button("BitBtn6", text::saveToFile, global);
    BitBtn6->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    ShowScopeOnEvent = checkBox("ShowScopeOnEvent", TScopeOnEvent::optionCaption(), true, global);
    gl->addWidget(BitBtn5);
    gl->addWidget(BitBtn6);
    gl->addWidget(ShowScopeOnEvent);
    gl->addStretch();
    connect(BitBtn5, &QPushButton::clicked, this, on(&TForm1::BitBtn5Click));
    connect(BitBtn6, &QPushButton::clicked, this, on(&TForm1::BitBtn6Click));

    auto* grid = new QGridLayout(page);
    grid->addWidget(connection, 0, 0);
    grid->addWidget(colors, 0, 1);
    grid->addWidget(logBox, 1, 0);
    grid->addWidget(global, 1, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    return page;
}

namespace {
// Width a read-out needs for text in its font, with its margins.
int readoutWidth(const QLabel* l, const QString& text)
{
    const QMargins m = l->contentsMargins();
    return l->fontMetrics().horizontalAdvance(text) + m.left() + m.right() + 2 * l->margin() + 2;
}
} // namespace

QWidget* TForm1::buildScopePage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Scope"));

    Chart1 = new TChart(page);
    // The design's chart: paging, flat view, margins, axis titles and the red Series1.
    Series1 = SetupScopeChart(*Chart1);
    traces_ = std::make_unique<TChartTraces>(*Chart1, *Series1);
    Series2 = traces_->SlotSeries(0);
    Chart1->setMinimumSize(300, 200);
    ScopeBar = new TScopeToolBar(*Chart1, *traces_, page);
    ScopeBar->ErrorReport = [this](const QString& message) { reportError(message); };
    ScopeBar->ChoosePictureFile = [this](const QString& name) {
        const QString proposed = QDir(paths_.dataFolder()).filePath(name + QStringLiteral(".png"));
        return FileDialog ? FileDialog(text::savePicture, proposed, text::pictureFilter, true) : QString();
    };
    // A trace's limit is the read-out's of its quantity, known by the scale record's unit; the
    // voltage's is a band.
    ScopeBar->LimitFor = [this](const QString& unit) -> std::optional<measure::TLimit> {
        const std::tuple<QString, TValidateEdit*, bool> quantities[]
            = {{QStringLiteral("V"), VoltageLimit, true}, {QStringLiteral("A"), CurrentLimit, false},
                {QStringLiteral("t °C"), TempLimit, false}};
        for (const auto& [u, edit, band] : quantities) {
            const auto level
                = u == unit ? parseWholeNumber(cp1251::encode(edit->Text()).toStdString()) : std::nullopt;
            if (level) {
                return measure::TLimit{double(*level), band};
            }
        }
        return std::nullopt;
    };

    Button18 = button("Button18", QStringLiteral("+"), page);
    Button17 = button("Button17", QStringLiteral("-"), page);
    Button20 = button("Button20", QStringLiteral("><"), page);
    Button19 = button("Button19", QStringLiteral("C"), page);
    auto* scopeButtons = new QHBoxLayout;
    scopeButtons->setSpacing(7);
    // The bar takes the room up to the buttons: the scope cursor's read-out grows with the traces.
    scopeButtons->addWidget(ScopeBar, 1);
    for (auto [b, pixels] : {std::pair{Button18, 27}, {Button17, 27}, {Button20, 16}, {Button19, 16}}) {
        b->setFont(pixelFont(font(), pixels, true));
        b->setFixedSize(25, 25);
        scopeButtons->addWidget(b);
    }
    connect(Button18, &QPushButton::clicked, this, on(&TForm1::Button18Click));
    connect(Button17, &QPushButton::clicked, this, on(&TForm1::Button17Click));
    connect(Button20, &QPushButton::clicked, this, on(&TForm1::Button20Click));
    connect(Button19, &QPushButton::clicked, this, on(&TForm1::Button19Click));

    auto* stats = group(text::groupStatistics, page);
    auto* s = new QGridLayout(stats);
    const QFont big = pixelFont(font(), 27, true);
    auto readoutRow = [&](int row, const QString& caption, const char* name, const QString& unit,
                          const char* limitName, TValidateEdit*& limitEdit) {
        s->addWidget(label(caption, stats), row, 0, 1, 3);
        auto* value = label(QStringLiteral("0"), stats, name);
        value->setFont(big);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // Of fixed size, so that a new value repaints the read-out alone: a label that may
        // change size has the window laid out again, and the tab widget then repaints all
        // of itself, once per record. It only widens, for a longer value than any before.
        value->setFixedSize(
            std::max(80, readoutWidth(value, QStringLiteral("-8888"))), value->sizeHint().height());
        s->addWidget(value, row + 1, 0, 1, 2, Qt::AlignRight | Qt::AlignVCenter);
        s->addWidget(label(unit, stats), row + 1, 2);
        s->addWidget(label(text::limit, stats), row + 2, 0);
        limitEdit = new TValidateEdit(stats);
        limitEdit->setObjectName(QString::fromLatin1(limitName));
        limitEdit->SetMaxLength(4);
        limitEdit->SetMinValue(1);
        limitEdit->SetMaxValue(9999);
        limitEdit->SetText(QStringLiteral("50"));
        limitEdit->setMaximumWidth(60);
        s->addWidget(limitEdit, row + 2, 1);
        return value;
    };
    Voltage = readoutRow(0, text::voltage, "Voltage", QStringLiteral("V"), "VoltageLimit", VoltageLimit);
    Current = readoutRow(3, text::current, "Current", QStringLiteral("A"), "CurrentLimit", CurrentLimit);
    Temperature
        = readoutRow(6, text::temperature, "Temperature", QStringLiteral("°C"), "TempLimit", TempLimit);
    Button16 = button("Button16", text::reset, stats);
    s->addWidget(Button16, 9, 0, 1, 3);
    connect(Button16, &QPushButton::clicked, this, on(&TForm1::Button16Click));

    auto* events = group(text::groupEvents, page);
    auto* e = new QGridLayout(events);
    QFont counterFont = font();
    counterFont.setBold(true);
    for (int i = 0; i < kEventCount; ++i) {
        const QString name = QString::fromLatin1(eventName(TEvent(i)));
        auto* frame = group(QStringLiteral(" %1: ").arg(name), events);
        auto* fl = new QHBoxLayout(frame);
        fl->setContentsMargins(4, 2, 4, 4);
        auto* box = new TValidateEdit(frame);
        box->setObjectName(name);
        box->SetColor(clBackground);
        box->SetFontColor(clBlack);
        box->setFont(counterFont);
        box->SetText(QStringLiteral("0"));
        fl->addWidget(box);
        Counters[std::size_t(i)] = box;
        e->addWidget(frame, i / 2, i % 2);
    }
    Button14 = button("Button14", text::reset, events);
    e->addWidget(Button14, 2, 1);
    connect(Button14, &QPushButton::clicked, this, on(&TForm1::Button14Click));

    auto* right = new QVBoxLayout;
    right->addWidget(stats);
    right->addWidget(events);
    right->addStretch();

    auto* grid = new QGridLayout(page);
    grid->addWidget(Chart1, 0, 0);
    grid->addLayout(scopeButtons, 1, 0);
    grid->addLayout(right, 0, 1, 2, 1);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(0, 1);
    return page;
}

QWidget* TForm1::buildHelpPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet1"));
    WinCalc = button("WinCalc", text::winCalc, page);
    Button15 = button("Button15", text::ownCalc, page);
    connect(WinCalc, &QPushButton::clicked, this, on(&TForm1::WinCalcClick));
    connect(Button15, &QPushButton::clicked, this, on(&TForm1::Button15Click));

    PageControl2 = new QTabWidget(page);
    PageControl2->setObjectName(QStringLiteral("PageControl2"));
    Memo2 = new QPlainTextEdit;
    Memo2->setObjectName(QStringLiteral("Memo2"));
    Memo2->setReadOnly(true);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setPlainText(helpText());
    PageControl2->addTab(Memo2, text::helpOverview);
    for (int i = 0; i < 3; ++i) {
        auto* box = new QScrollArea;
        box->setObjectName(QStringLiteral("ScrollBox%1").arg(i + 1));
        auto* image = new QLabel;
        image->setObjectName(QStringLiteral("Image%1").arg(i + 1));
        const QPixmap picture = helpPicture(QStringLiteral(":/help/scheme%1.jpg").arg(i + 1));
        image->setPixmap(picture);
        image->resize(picture.size());
        box->setWidget(image);
        SchemeBoxes[std::size_t(i)] = box;
        SchemeImages[std::size_t(i)] = image;
        PageControl2->addTab(box, QStringLiteral("Схема %1").arg(i + 1));
    }

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(WinCalc);
    buttons->addWidget(Button15);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(buttons);
    layout->addWidget(PageControl2, 1);
    return page;
}

void TForm1::createDialogs()
{
    dialogs_ = {new TForm2(this), new TForm3(this), new TForm4(this), new TForm5(this), new TForm6(this),
        new TForm7(this), new TForm8(this), new TForm9(this)};
    for (std::size_t i = 0; i < dialogs_.size(); ++i) {
        TCommandForm* dialog = dialogs_[i];
        dialog->setWindowFlag(Qt::Window);
        dialog->FormCreate(iniFile_.get());
        QPushButton* owner = presetButtons_[i];
        dialog->OnConfirm = [owner](const QString& confirmed) { owner->setToolTip(confirmed); };
    }
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
    // The capture so far is committed before the window goes.
    recorder_->flush();
    closeArchive();
    if (Log->StateOn())
        session_->closeLog();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    FormClose();
    for (TCommandForm* dialog : dialogs_)
        dialog->hide();
    event->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Button11 && event->type() == QEvent::ToolTip)
        return true;
    return QWidget::eventFilter(watched, event);
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
    setWindowColor(MainColor->Selected());
}

void TForm1::TerminalBackColorChange()
{
    Memo1->SetColor(TerminalBackColor->Selected());
}

void TForm1::TerminalFontColorChange()
{
    Memo1->SetFontColor(TerminalFontColor->Selected());
}

void TForm1::Button10Click()
{
    Memo1->RunSettingsDialog();
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
    const QString failure = startFirst(kCalculators, {});
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

// --- the device session

void TForm1::setUpSession()
{
    TDeviceSession* s = session_;
    s->setCaptureRecorder(recorder_);
    // The terminal shows what the session received, as shaped there.
    Memo1->SetHostFed(true);
    connect(s, &TDeviceSession::received, Memo1, &TComTerminal::ShowReceived);
    connect(s, &TDeviceSession::echoed, this, [this](const QByteArray& line) {
        Memo1->SetFontColor(EchoFontColor->Selected());
        Memo1->ShowText(line);
        Memo1->SetFontColor(TerminalFontColor->Selected());
    });
    connect(s, &TDeviceSession::sendRefused, this, [this] {
        Warning1->Execute();
        PageControl1->setCurrentIndex(1);
    });
    connect(s, &TDeviceSession::readoutText, this, &TForm1::setReadoutText);
    connect(s, &TDeviceSession::readoutColor, this, &TForm1::setReadoutColor);
    connect(s, &TDeviceSession::counterChanged, this, &TForm1::setCounter);
    connect(s, &TDeviceSession::eventArrived, this, &TForm1::eventCounted);
    // The device's units reach the chart through the hold: a held picture keeps its own titles.
    connect(
        s, &TDeviceSession::leftAxisTitle, this, [this](const QString& t) { ScopeBar->Hold().SetYUnit(t); });
    connect(s, &TDeviceSession::bottomAxisTitle, this,
        [this](const QString& t) { ScopeBar->Hold().SetXUnit(t); });
    connect(s, &TDeviceSession::pointAdded, this,
        [this](double x, double y) { ScopeBar->Hold().AddPoint(x, y); });
    connect(s, &TDeviceSession::scopeCleared, this, &TForm1::clearScope);
    connect(s, &TDeviceSession::captureBegun, this, &TForm1::liveCaptureBegun);
    connect(s, &TDeviceSession::lineHandled, this, &TForm1::lineHandled);
    connect(s, &TDeviceSession::logFailed, this, &TForm1::logFailed);
    connect(s, &TDeviceSession::failed, this,
        [this](const QString& message) { reportError(message.isEmpty() ? text::unknownError : message); });
    connect(s, &TDeviceSession::stallEnded, this, [this](const QString& failure, int dropped) {
        reportError(text::stallEnded.arg(failure).arg(dropped), QStringLiteral("port"));
    });

    for (QCheckBox* box : {CR, LF, Echo, LogIncomming, LogOutgoing})
        connect(box, &QCheckBox::toggled, this, &TForm1::syncSession);
    for (TValidateEdit* limit : {VoltageLimit, CurrentLimit, TempLimit})
        limit->OnValueChanged = [this](QObject*) { syncSession(); };
    syncSession();
}

// The values the session holds, from the controls that show them.
void TForm1::syncSession()
{
    session_->setLimitText(TLimit::Voltage, cp1251::encode(VoltageLimit->Text()));
    session_->setLimitText(TLimit::Current, cp1251::encode(CurrentLimit->Text()));
    session_->setLimitText(TLimit::Temperature, cp1251::encode(TempLimit->Text()));
    session_->setLineEnds(CR->isChecked(), LF->isChecked());
    session_->setEcho(Echo->isChecked());
    session_->setLogChoices(LogIncomming->isChecked(), LogOutgoing->isChecked());
    session_->setShaping(Memo1->AppendLF(), Memo1->Force7Bit());
}

// --- commands and sending

void TForm1::PresetClick(int preset)
{
    TCommandForm* dialog = dialogs_[std::size_t(preset)];
    if (ControlKeyDown && ControlKeyDown()) {
        dialog->show();
        dialog->raise();
        return;
    }
    SendToCom(dialog->CommandText());
}

void TForm1::Button8Click()
{
    SendToCom(cp1251::encode(Edit1->text()));
}

void TForm1::SendToCom(const QByteArray& Text)
{
    session_->send(Text);
}

// --- received records

QLabel* TForm1::readout(TReadout which) const
{
    switch (which) {
    case TReadout::Voltage:
        return Voltage;
    case TReadout::Current:
        return Current;
    case TReadout::Temperature:
        return Temperature;
    }
    return Voltage;
}

void TForm1::setReadoutText(TReadout which, const QByteArray& bytes)
{
    if (readoutShade_.down())
        readoutsBack();
    QLabel* l = readout(which);
    const QString text = cp1251::decode(bytes.data(), bytes.size());
    readoutShade_.setValue(which, text, QDateTime::currentMSecsSinceEpoch());
    if (text == l->text())
        return;
    const int wanted = readoutWidth(l, text);
    if (wanted > l->minimumWidth())
        l->setFixedWidth(wanted);
    l->setText(text);
}

void TForm1::setReadoutColor(TReadout which, TColor color)
{
    readoutShade_.setColor(which, color);
    paintReadout(which);
}

void TForm1::paintReadout(TReadout which)
{
    QLabel* l = readout(which);
    const std::optional<TColor> shown = readoutShade_.shownColor(which);
    const QColor wanted = shown ? color::toQColor(*shown) : palette().color(QPalette::WindowText);
    // Every VA record sets the colours; a palette change costs a style pass and a repaint.
    if (l->palette().color(QPalette::WindowText) == wanted)
        return;
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, wanted);
    l->setPalette(p);
}

void TForm1::readoutsBack()
{
    readoutShade_.linkUp();
    for (TReadout which : {TReadout::Voltage, TReadout::Current, TReadout::Temperature}) {
        paintReadout(which);
        readout(which)->setToolTip({});
    }
}

void TForm1::linkDownOnReadouts()
{
    readoutShade_.linkDown(QDateTime::currentMSecsSinceEpoch());
    for (TReadout which : {TReadout::Voltage, TReadout::Current, TReadout::Temperature}) {
        paintReadout(which);
        readout(which)->setToolTip(readoutShade_.toolTip(which));
    }
}

void TForm1::setCounter(TEvent which, std::uint16_t value, TColor background)
{
    TValidateEdit* box = Counter(which);
    box->SetColor(background);
    box->SetText(QString::number(value));
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
    ScopeBar->Hold().Reset();
    ScopeBar->Hold().SetCapture(TTraceInfo{});
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
    if (outcome.isRecord() && readoutShade_.down())
        readoutsBack();
    if (outcome.event)
        scopeOnEvent_->eventCounted(QString::fromLatin1(eventName(*outcome.event)), awayAtEvent_);
}

// --- scope buttons

void TForm1::Button18Click()
{
    Chart1->ZoomByPercent(120);
}

void TForm1::Button17Click()
{
    Chart1->ZoomByPercent(80);
}

void TForm1::Button20Click()
{
    Chart1->UndoZoom();
}

// --- data log

void TForm1::LogClick()
{
    if (logSyncing_)
        return;
    if (Log->StateOn()) {
        if (session_->logOpen())
            return;
        const QString path = LogFile->text();
        const bool append = AppendLog->isChecked() && QFile::exists(path);
        if (!session_->openLog(path, append)) {
            logSyncing_ = true;
            Log->SetStateOn(false);
            logSyncing_ = false;
        }
    } else {
        session_->closeLog();
    }
}

void TForm1::logFailed(int error)
{
    // Reported once; the log is closed and the switch goes off, sending and receiving go on.
    reportError(text::logWriteFailed.arg(LogFile->text(), systemMessage(error)), QStringLiteral("log"));
    logSyncing_ = true;
    Log->SetStateOn(false);
    logSyncing_ = false;
}

void TForm1::BitBtn1Click()
{
    const QString chosen
        = FileDialog ? FileDialog(QString(), paths_.dataFolder(), text::textFilter, true) : QString();
    if (chosen.isEmpty())
        return;
    LogFile->setText(withTxtExtension(chosen));
}

void TForm1::ViewLogClick()
{
    // The path is the single argument as it stands, blanks included.
    const QString failure = startFirst(kTextViewers, {LogFile->text()});
    if (!failure.isEmpty())
        reportError(failure);
}
