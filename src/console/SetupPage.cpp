#include "console/SetupPage.h"

#include "common/Color.h"
#include "console/ColorBox.h"
#include "console/PageControls.h"
#include "console/ScopeOnEvent.h"
#include "console/WindowTexts.h"
#include "console/core/IniFile.h"
#include "widgets/Switch.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

using namespace controls;

namespace {

// AppendLog and NewLog are one group, yet the file may say "neither": a choice must be able
// to go off without another coming on.
void setChoice(QRadioButton* choice, bool on)
{
    if (choice->isChecked() == on)
        return;
    if (on) {
        choice->setChecked(true);
        return;
    }
    const bool exclusive = choice->autoExclusive();
    choice->setAutoExclusive(false);
    choice->setChecked(false);
    choice->setAutoExclusive(exclusive);
}

QRadioButton* radio(const char* name, const QString& caption, QWidget* parent)
{
    auto* r = new QRadioButton(caption, parent);
    r->setObjectName(QString::fromLatin1(name));
    return r;
}

} // namespace

SetupPage::SetupPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Setup"));

    auto* connection = new QGroupBox(text::groupConnection, this);
    auto* c = new QGridLayout(connection);
    NoneBut = radio("NoneBut", text::connectionNone, connection);
    NoneBut->setChecked(true);
    RSBut = radio("RSBut", QString(), connection);
    Button9 = button("Button9", text::rsSetup, connection);
    LptBut = radio("LptBut", QString(), connection);
    Button12 = button("Button12", text::lptSetup, connection);
    UsbBut = radio("UsbBut", QString(), connection);
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
    AutoReconnect = checkBox("AutoReconnect", text::autoReconnect, true, connection);
    c->addWidget(AutoReconnect, 7, 0, 1, 3);
    c->setColumnStretch(2, 1);
    c->setRowStretch(8, 1);

    auto* colors = new QGroupBox(text::groupColors, this);
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

    auto* logBox = new QGroupBox(text::groupLog, this);
    auto* g = new QGridLayout(logBox);
    Log = new TSwitch(logBox);
    Log->setObjectName(QStringLiteral("Log"));
    Log->SetCaption(QStringLiteral("Log"));
    Log->setFixedSize(50, 60);
    LogIncomming = checkBox("LogIncomming", text::logIncoming, true, logBox);
    LogOutgoing = checkBox("LogOutgoing", text::logOutgoing, true, logBox);
    AppendLog = radio("AppendLog", text::appendLog, logBox);
    AppendLog->setChecked(true);
    NewLog = radio("NewLog", text::newLog, logBox);
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

    auto* global = new QGroupBox(text::groupGlobal, this);
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

    auto* grid = new QGridLayout(this);
    grid->addWidget(connection, 0, 0);
    grid->addWidget(colors, 0, 1);
    grid->addWidget(logBox, 1, 0);
    grid->addWidget(global, 1, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
}

void SetupPage::LoadConnection(const TIniFile& ini)
{
    AutoReconnect->setChecked(ini.readBool("Com", "AutoReconnect", true));
}

void SetupPage::SaveConnection(TIniFile& ini) const
{
    ini.writeBool("Com", "AutoReconnect", AutoReconnect->isChecked());
}

void SetupPage::LoadLog(const TIniFile& ini, const QString& defaultFile)
{
    LogIncomming->setChecked(ini.readBool("Log", "LogIncomming", true));
    LogOutgoing->setChecked(ini.readBool("Log", "LogOutgoing", true));
    setChoice(AppendLog, ini.readBool("Log", "AppendLog", true));
    setChoice(NewLog, ini.readBool("Log", "NewLog", false));
    LogFile->setText(ini.readText("Log", "FileName", defaultFile));
}

void SetupPage::SaveLog(TIniFile& ini) const
{
    ini.writeBool("Log", "LogIncomming", LogIncomming->isChecked());
    ini.writeBool("Log", "LogOutgoing", LogOutgoing->isChecked());
    ini.writeBool("Log", "AppendLog", AppendLog->isChecked());
    ini.writeBool("Log", "NewLog", NewLog->isChecked());
    ini.writeText("Log", "FileName", LogFile->text());
}

void SetupPage::LoadColors(const TIniFile& ini)
{
    MainColor->SetSelected(ini.readInteger("Color", "Main", clSilver));
    TerminalBackColor->SetSelected(ini.readInteger("Color", "TerminalBackColor", clAqua));
    TerminalFontColor->SetSelected(ini.readInteger("Color", "TerminalFontColor", clBlack));
    EchoFontColor->SetSelected(ini.readInteger("Color", "EchoFontColor", clGray));
}

void SetupPage::SaveColors(TIniFile& ini) const
{
    ini.writeInteger("Color", "Main", MainColor->Selected());
    ini.writeInteger("Color", "TerminalBackColor", TerminalBackColor->Selected());
    ini.writeInteger("Color", "TerminalFontColor", TerminalFontColor->Selected());
    ini.writeInteger("Color", "EchoFontColor", EchoFontColor->Selected());
}

// A section of its own after the others; a file without it keeps the design's behaviour.
void SetupPage::LoadEvents(const TIniFile& ini)
{
    ShowScopeOnEvent->setChecked(ini.readBool("Events", "ShowScopeOnEvent", true));
}

void SetupPage::SaveEvents(TIniFile& ini) const
{
    ini.writeBool("Events", "ShowScopeOnEvent", ShowScopeOnEvent->isChecked());
}
