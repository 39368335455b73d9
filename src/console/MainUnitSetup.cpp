// The settings file and connection set-up of the main window. These members are the hooks
// the settings-file and connection work fills in; until then they keep the window usable
// with the design's defaults.
#include "console/MainUnit.h"

#include "serial/ComPort.h"
#include "terminal/ComTerminal.h"

#include <QCheckBox>
#include <QLineEdit>

void TForm1::LoadIni()
{
    iniFile_ = std::make_unique<TIniFile>(settingsPath_);
    // To be filled: port, boxes, limits, log options, position and colours from the file.
    LogFile->setText(programFolder_ + QStringLiteral("OrvikLog.txt"));
    move(100, 100);
}

void TForm1::SaveIni()
{
    iniFile_ = std::make_unique<TIniFile>(settingsPath_);
    // To be filled: every setting written in order.
}

void TForm1::OpenCom()
{
    // To be filled: open ComPort1, showing its set-up dialog after every failed attempt.
}

void TForm1::RSButClick()
{
    // To be filled: choose RS232 and OpenCom.
}

void TForm1::NoneButClick()
{
    // To be filled: close the port and show "Closed".
}

void TForm1::Button9Click()
{
    // To be filled: the port's set-up dialog.
}

void TForm1::DTRClick()
{
    // To be filled: drive the DTR line of an open port.
}

void TForm1::RTSClick()
{
    // To be filled: drive the RTS line of an open port.
}

void TForm1::WrapClick()
{
    Memo1->SetWrapLines(Wrap->isChecked());
}

void TForm1::EchoClick()
{
    Memo1->SetLocalEcho(Echo->isChecked());
}

void TForm1::BitBtn5Click()
{
    // To be filled: load the settings from a chosen file.
}

void TForm1::BitBtn6Click()
{
    // To be filled: save the settings to a chosen file.
}
