// The settings file and the connection set-up of the main window, driven through its
// controls: what a file gives the window, what closing writes and where, the save-path
// rules, and opening the port with the set-up dialog after a failed attempt.
#include "console/MainUnit.h"

#include "../serial/widgets/FakeSysfs.h"
#include "common/Cp1251.h"
#include "console/ColorBox.h"
#include "console/CommandDialogs.h"
#include "console/JournalPage.h"
#include "console/LineTracePanel.h"
#include "console/ScopePage.h"
#include "console/SetupPage.h"
#include "console/StatusLine.h"
#include "console/TerminalPage.h"
#include "console/WindowPosition.h"
#include "console/core/LineTraceModel.h"
#include "serial/ComPort.h"
#include "serial/FakeSerialDevice.h"
#include "serial/widgets/ComComboBox.h"
#include "serial/widgets/ComLed.h"
#include "serial/widgets/ComSetupFrm.h"
#include "serial/widgets/SerialPortList.h"
#include "session/LinkMonitor.h"
#include "session/PortReconnector.h"
#include "terminal/ComTerminal.h"
#include "widgets/Switch.h"
#include "widgets/ValidateEdit.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

namespace {

bool waitFor(const std::function<bool()>& done, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// The connection state the status line at the bottom of the window shows.
QString statusText(QWidget& form)
{
    auto* line = form.findChild<TStatusLine*>(QStringLiteral("StatusLine"));
    return line ? line->connectionState() : QString();
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Escape-function codes the port hands the device for the DTR and RTS lines.
constexpr uint32_t kSetRts = 3, kClrRts = 4, kSetDtr = 5, kClrDtr = 6;

class SettingsTest : public ::testing::Test {
protected:
    QTemporaryDir folder;
    std::vector<QString> errors;

    QString path(const char* name) const { return folder.path() + QLatin1Char('/') + QLatin1String(name); }

    std::unique_ptr<TForm1> makeForm()
    {
        auto form = std::make_unique<TForm1>(folder.path());
        form->ErrorReport = [this](const QString& m) { errors.push_back(m); };
        return form;
    }
};

TEST_F(SettingsTest, FirstStartGivesDefaultsAndClosingWritesEverySectionInOrder)
{
    auto form = makeForm();
    EXPECT_EQ(form->SettingsPath(), path("Orvik.ini"));
    EXPECT_EQ(form->ComPort1->Port(), QStringLiteral("COM1"));
    EXPECT_EQ(form->SerialPort->BaudRate(), br9600);
    // The window creates the port with 1.5 stop bits; the file's default makes it 1.
    EXPECT_EQ(form->SerialPort->StopBits(), sbOneStopBit);
    EXPECT_TRUE(form->Terminal->DTR->isChecked());
    EXPECT_TRUE(form->Terminal->RTS->isChecked());
    EXPECT_TRUE(form->Setup->AutoReconnect->isChecked());
    EXPECT_EQ(form->Setup->LogFile->text(), form->ProgramFolder() + QStringLiteral("OrvikLog.txt"));
    EXPECT_EQ(form->Scope->TempLimit->Text(), QStringLiteral("50"));
    EXPECT_EQ(form->pos(), QPoint(100, 100));
    EXPECT_EQ(form->Setup->TerminalBackColor->Selected(), clAqua);
    form->close();

    const QByteArray ini = readAll(path("Orvik.ini"));
    qsizetype at = -1;
    for (const char* section : {"[Com]", "[Log]", "[Color]", "[Commands]", "[Limits]", "[Position]"}) {
        const qsizetype next = ini.indexOf(section);
        ASSERT_GT(next, at) << section << "\n" << ini.toStdString();
        at = next;
    }
    EXPECT_TRUE(ini.contains("BaudRate=7"));
    EXPECT_TRUE(ini.contains("Main=12632256"));
    EXPECT_TRUE(ini.contains("TerminalBackColor=16776960"));
    EXPECT_TRUE(ini.contains("EchoFontColor=8421504"));
    EXPECT_TRUE(ini.contains("NewLog=0"));
}

// "Показвай графиката при събитие" lives in a section of its own after the others; a file
// written by the design's program, without it, keeps the design's switch to the chart.
TEST_F(SettingsTest, ShowScopeOnEventIsSavedAfterTheOtherSectionsAndADesignFileKeepsItOn)
{
    writeFile(path("Orvik.ini"),
        "[Com]\r\nComPortNo=COM1\r\n[Log]\r\nNewLog=0\r\n[Color]\r\nMain=12632256\r\n[Commands]\r\n"
        "PUSK=PUSK\r\n[Limits]\r\nVoltage=50\r\n[Position]\r\nLeft=100\r\n");
    {
        auto form = makeForm();
        EXPECT_TRUE(form->Setup->ShowScopeOnEvent->isChecked());
        EXPECT_EQ(form->Setup->ShowScopeOnEvent->text(), QStringLiteral("Показвай графиката при събитие"));
        form->close();
    }
    QByteArray ini = readAll(path("Orvik.ini"));
    EXPECT_GT(ini.indexOf("[Events]"), ini.indexOf("[Terminal]")) << ini.toStdString();
    EXPECT_GT(ini.indexOf("[Terminal]"), ini.indexOf("[Position]"));
    EXPECT_TRUE(ini.mid(ini.indexOf("[Events]")).contains("ShowScopeOnEvent=1")) << ini.toStdString();
    {
        auto form = makeForm();
        form->Setup->ShowScopeOnEvent->click();
        form->close();
    }
    EXPECT_TRUE(readAll(path("Orvik.ini")).contains("ShowScopeOnEvent=0"));
    EXPECT_FALSE(makeForm()->Setup->ShowScopeOnEvent->isChecked());
}

// Every section, key and value as the window writes them, byte for byte, from a window whose
// every setting differs from its default; then the same file read and written again unchanged.
TEST_F(SettingsTest, TheFileIsWrittenKeyForKeyAndComesBackUnchanged)
{
    const QByteArray expected
        = "[Com]\nComPortNo=/dev/ttyUSB3\nBaudRate=0\nCustomBaudRate=250000\nDataBits=2\n"
          "StopBits=2\nWrap=0\nEcho=1\nCR=0\nLF=1\nDTR=1\nRTS=0\nAutoReconnect=0\n"
          "[Log]\nLogIncomming=1\nLogOutgoing=0\nAppendLog=0\nNewLog=1\n"
          "FileName=/tmp/\xE6\xF3\xF0\xED\xE0\xEB.txt\n"
          "[Color]\nMain=16777215\nTerminalBackColor=0\nTerminalFontColor=255\n"
          "EchoFontColor=16711680\n"
          "[Commands]\nPUSK=\xD1\xD2\xC0\xD0\xD2\nRESTART=\nDIAGNOSTIC=\nINVERTER=\n"
          "RECTIFIER=\nVCC=\nCURRENT=\nTEMPERATURE=t\xB0"
          "C\n"
          "[Limits]\nTEMPERATURE=-7\nVoltage=220\nCurrent=15\n"
          "[Position]\nLeft=140\nTop=160\n"
          "[Archive]\nFile=<folder>/OrvikArchive.db\nKeep=1000\nJournalKeep=1000000\n"
          "[Terminal]\nEmulation=1\nColumns=80\nRows=24\nFitToWindow=1\n"
          "ScrollbackLines=777\nCaret=0\nForce7Bit=0\nSendLF=1\nAppendLF=1\nArrowKeys=0\n"
          "ShowControls=0\n"
          "[Events]\nShowScopeOnEvent=0\n";
    const auto written = [this] {
        QByteArray bytes = readAll(path("Orvik.ini"));
        return bytes.replace(cp1251::encode(folder.path()), "<folder>");
    };
    {
        auto form = makeForm();
        form->ComPort1->SetPort(QStringLiteral("/dev/ttyUSB3"));
        form->SerialPort->SetCustomBaudRate(250000);
        form->SerialPort->SetBaudRate(brCustom);
        form->SerialPort->SetDataBits(dbSeven);
        form->SerialPort->SetStopBits(sbTwoStopBits);
        for (QCheckBox* box : {form->Terminal->Wrap, form->Terminal->CR, form->Terminal->RTS,
                 form->Setup->AutoReconnect, form->Setup->LogOutgoing, form->Setup->ShowScopeOnEvent})
            box->click();
        form->Setup->NewLog->setChecked(true);
        form->Setup->LogFile->setText(QStringLiteral("/tmp/журнал.txt"));
        form->Setup->MainColor->SetSelected(clWhite);
        form->Setup->TerminalBackColor->SetSelected(clBlack);
        form->Setup->TerminalFontColor->SetSelected(clRed);
        form->Setup->EchoFontColor->SetSelected(clBlue);
        form->PresetDialog(0)->Edit2->setText(QStringLiteral("СТАРТ"));
        form->PresetDialog(7)->Edit2->setText(QStringLiteral("t°C"));
        form->Scope->TempLimit->SetText(QStringLiteral("-7"));
        form->Scope->VoltageLimit->SetText(QStringLiteral("220"));
        form->Scope->CurrentLimit->SetText(QStringLiteral("15"));
        form->Terminal->Memo1->SetEmulation(teVT52);
        form->Terminal->Memo1->SetScrollbackLines(777);
        form->move(140, 160);
        form->close();
    }
    EXPECT_EQ(written().toStdString(), expected.toStdString());
    makeForm()->close();
    EXPECT_EQ(written().toStdString(), expected.toStdString());
}

TEST_F(SettingsTest, ValuesAreReadWithTheNumberRules)
{
    struct Case {
        QByteArray com;
        TBaudRate baud;
        bool wrap;
    };
    const Case cases[] = {
        {"BaudRate=13\r\nWrap=yes\r\n", br115200, true}, {"BaudRate=0x0D\r\nWrap=0\r\n", br115200, false},
        {"BaudRate=$0D\r\nWrap=2\r\n", br115200, true},
        {"BaudRate=99\r\nWrap=0\r\n", br9600, false}, // no such rate: the default
    };
    for (const Case& c : cases) {
        writeFile(path("Orvik.ini"), "[com]\r\n" + c.com);
        auto form = makeForm();
        EXPECT_EQ(form->SerialPort->BaudRate(), c.baud) << c.com.toStdString();
        EXPECT_EQ(form->Terminal->Wrap->isChecked(), c.wrap) << c.com.toStdString();
        EXPECT_EQ(form->Terminal->Memo1->WrapLines(), c.wrap) << c.com.toStdString();
    }
}

TEST_F(SettingsTest, EverySettingComesBackAtTheNextStart)
{
    {
        auto form = makeForm();
        form->ComPort1->SetPort(QStringLiteral("/dev/ttyUSB3"));
        form->SerialPort->SetBaudRate(br57600);
        form->SerialPort->SetDataBits(dbSeven);
        form->SerialPort->SetStopBits(sbTwoStopBits);
        for (QCheckBox* box : {form->Terminal->Wrap, form->Terminal->Echo, form->Terminal->CR,
                 form->Terminal->LF, form->Terminal->DTR, form->Terminal->RTS, form->Setup->AutoReconnect})
            box->click();
        form->Setup->LogIncomming->setChecked(false);
        form->Setup->NewLog->setChecked(true);
        form->Setup->LogFile->setText(QStringLiteral("/tmp/журнал.txt"));
        form->Setup->MainColor->SetSelected(clWhite);
        form->Setup->TerminalBackColor->SetSelected(clBlack);
        form->Setup->TerminalFontColor->SetSelected(clRed);
        form->Setup->EchoFontColor->SetSelected(clBlue);
        form->PresetDialog(0)->Edit2->setText(QStringLiteral("СТАРТ"));
        form->Scope->TempLimit->SetText(QStringLiteral("-7"));
        form->Scope->VoltageLimit->SetText(QStringLiteral("220"));
        form->Scope->CurrentLimit->SetText(QStringLiteral("15"));
        form->move(140, 160);
        form->close();
    }
    auto form = makeForm();
    EXPECT_EQ(form->ComPort1->Port(), QStringLiteral("/dev/ttyUSB3"));
    EXPECT_EQ(form->SerialPort->BaudRate(), br57600);
    EXPECT_EQ(form->SerialPort->DataBits(), dbSeven);
    EXPECT_EQ(form->SerialPort->StopBits(), sbTwoStopBits);
    for (QCheckBox* box : {form->Terminal->Wrap, form->Terminal->Echo, form->Terminal->CR, form->Terminal->LF,
             form->Terminal->DTR, form->Terminal->RTS, form->Setup->AutoReconnect})
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    EXPECT_FALSE(form->Reconnector->Enabled());
    EXPECT_FALSE(form->Terminal->Memo1->WrapLines());
    EXPECT_FALSE(form->Terminal->Memo1->LocalEcho());
    EXPECT_FALSE(form->Setup->LogIncomming->isChecked());
    EXPECT_TRUE(form->Setup->NewLog->isChecked());
    EXPECT_FALSE(form->Setup->AppendLog->isChecked());
    EXPECT_EQ(form->Setup->LogFile->text(), QStringLiteral("/tmp/журнал.txt"));
    EXPECT_EQ(form->Setup->MainColor->Selected(), clWhite);
    EXPECT_EQ(form->Setup->TerminalBackColor->Selected(), clBlack);
    EXPECT_EQ(form->Terminal->Memo1->Color(), clBlack);
    EXPECT_EQ(form->Terminal->Memo1->FontColor(), clRed);
    EXPECT_EQ(form->Setup->EchoFontColor->Selected(), clBlue);
    EXPECT_EQ(form->PresetDialog(0)->Edit2->text(), QStringLiteral("СТАРТ"));
    EXPECT_EQ(form->Scope->TempLimit->Text(), QStringLiteral("-7"));
    EXPECT_EQ(form->Scope->VoltageLimit->Text(), QStringLiteral("220"));
    EXPECT_EQ(form->Scope->CurrentLimit->Text(), QStringLiteral("15"));
    EXPECT_EQ(form->pos(), QPoint(140, 160));
    // Texts are stored in the 8-bit code page.
    EXPECT_TRUE(readAll(path("Orvik.ini")).contains("PUSK=\xD1\xD2\xC0\xD0\xD2"));
}

TEST_F(SettingsTest, AProgramFolderOutsideTheCodePageKeepsItsPaths)
{
    const QString program = path("zo\u00EB");
    ASSERT_TRUE(QDir().mkpath(program));
    const QString logPath = program + QStringLiteral("/OrvikLog.txt");
    {
        TForm1 form(program);
        form.ErrorReport = [this](const QString& m) { errors.push_back(m); };
        EXPECT_EQ(form.Setup->LogFile->text(), logPath);
        form.Setup->Log->SetStateOn(true);
        EXPECT_TRUE(form.LogOpen());
        form.close();
    }
    EXPECT_TRUE(QFile::exists(logPath));
    EXPECT_TRUE(readAll(program + QStringLiteral("/Orvik.ini"))
                    .contains("FileName=\xEF\xBB\xBF" + QFile::encodeName(logPath) + '\n'));
    TForm1 again(program);
    EXPECT_EQ(again.Setup->LogFile->text(), logPath);
    EXPECT_TRUE(errors.empty());
}

// The frame's corner is saved and restored as that same corner: restarts without moving
// leave the window where it was. The offscreen platform has no frame, so one is injected,
// known from the first show on as under a window manager.
TEST_F(SettingsTest, TheWindowComesBackWhereItsFrameWas)
{
    const QMargins frame(4, 30, 4, 4);
    writeFile(path("Orvik.ini"), "[Position]\nLeft=140\nTop=160\n");
    for (int restart = 0; restart < 3; ++restart) {
        auto form = makeForm();
        bool frameKnown = false;
        form->WindowPosition().FrameMargins = [&] { return frameKnown ? frame : QMargins(); };
        frameKnown = true;
        form->show();
        EXPECT_EQ(form->geometry().topLeft(), QPoint(144, 190)) << restart;
        form->close();
        const QByteArray ini = readAll(path("Orvik.ini"));
        EXPECT_TRUE(ini.contains("Left=140\nTop=160\n")) << restart << ini.toStdString();
    }

    // Loaded while shown, with the frame known.
    writeFile(path("moved.ini"), "[Position]\nLeft=-2\nTop=300\n");
    auto form = makeForm();
    form->WindowPosition().FrameMargins = [&] { return frame; };
    form->show();
    form->FileDialog
        = [&](const QString&, const QString&, const QString&, bool) { return path("moved.ini"); };
    form->Setup->BitBtn5->click();
    EXPECT_EQ(form->geometry().topLeft(), QPoint(2, 330));
    form->close();
    EXPECT_TRUE(readAll(path("moved.ini")).contains("Left=-2\nTop=300\n"));
    EXPECT_TRUE(errors.empty());
}

// As a window manager does: the frame is told only after the window was shown and placed,
// with no move or resize of the window to go with it. The window is put right once the
// frame is known, and a close before that saves the corner asked for, not the client
// area's corner taken for the frame's.
TEST_F(SettingsTest, AFrameToldLateStillGivesTheSavedPlace)
{
    const QMargins frame(1, 20, 1, 5);
    writeFile(path("Orvik.ini"), "[Position]\nLeft=140\nTop=160\n");
    for (const bool toldBeforeClose : {true, false}) {
        SCOPED_TRACE(toldBeforeClose);
        auto form = makeForm();
        bool frameKnown = false;
        form->WindowPosition().FrameMargins = [&] { return frameKnown ? frame : QMargins(); };
        form->show();
        QCoreApplication::processEvents(); // the show's own moves and resizes pass unframed
        if (toldBeforeClose) {
            frameKnown = true;
            EXPECT_TRUE(waitFor([&] { return form->geometry().topLeft() == QPoint(141, 180); }));
            EXPECT_TRUE(waitFor([&] { return !form->WindowPosition().settling(); }));
        }
        form->close();
        EXPECT_TRUE(readAll(path("Orvik.ini")).contains("Left=140\nTop=160\n"));
    }
}

TEST_F(SettingsTest, ACustomRateIsKeptBesideBaudRateZero)
{
    const struct {
        QByteArray com;
        int custom;
    } cases[] = {{"BaudRate=0\r\nCustomBaudRate=921600\r\n", 921600}, {"BaudRate=0\r\n", 9600}};
    for (const auto& c : cases) {
        writeFile(path("Orvik.ini"), "[Com]\r\n" + c.com);
        auto form = makeForm();
        EXPECT_EQ(form->SerialPort->BaudRate(), brCustom) << c.com.toStdString();
        EXPECT_EQ(form->SerialPort->CustomBaudRate(), c.custom) << c.com.toStdString();
    }
    {
        auto form = makeForm();
        form->SerialPort->SetCustomBaudRate(1500000);
        form->close();
    }
    const QByteArray ini = readAll(path("Orvik.ini"));
    QList<QByteArray> lines = ini.split('\n');
    for (QByteArray& line : lines)
        line = line.trimmed();
    EXPECT_TRUE(lines.contains("BaudRate=0")) << ini.toStdString();
    EXPECT_TRUE(lines.contains("CustomBaudRate=1500000")) << ini.toStdString();
    auto form = makeForm();
    EXPECT_EQ(form->SerialPort->CustomBaudRate(), 1500000);
}

TEST_F(SettingsTest, TheLogChoicesFollowTheGroupRules)
{
    struct Case {
        const char* keys;
        bool append, fresh;
    };
    for (const Case& c : {Case{"AppendLog=1\nNewLog=1\n", false, true},
             Case{"AppendLog=0\nNewLog=0\n", false, false}, Case{"AppendLog=1\nNewLog=0\n", true, false}}) {
        writeFile(path("Orvik.ini"), QByteArray("[Log]\n") + c.keys);
        auto form = makeForm();
        EXPECT_EQ(form->Setup->AppendLog->isChecked(), c.append) << c.keys;
        EXPECT_EQ(form->Setup->NewLog->isChecked(), c.fresh) << c.keys;
    }
}

TEST_F(SettingsTest, AnotherFileLoadedReceivesTheSaveAtClosing)
{
    writeFile(path("bench.ini"), "[Com]\nComPortNo=/dev/ttyACM1\nBaudRate=9\n");
    auto form = makeForm();
    form->FileDialog = [&](const QString&, const QString&, const QString&, bool save) {
        EXPECT_FALSE(save);
        return path("bench.ini");
    };
    form->Setup->BitBtn5->click();
    EXPECT_EQ(form->ComPort1->Port(), QStringLiteral("/dev/ttyACM1"));
    EXPECT_EQ(form->SerialPort->BaudRate(), br19200);
    form->PresetDialog(2)->Edit2->setText(QStringLiteral("DIAG")); // edited, never confirmed
    form->close();
    EXPECT_FALSE(QFile::exists(path("Orvik.ini")));
    const QByteArray ini = readAll(path("bench.ini"));
    EXPECT_TRUE(ini.contains("DIAGNOSTIC=DIAG"));
    EXPECT_TRUE(ini.contains("BaudRate=9"));
}

TEST_F(SettingsTest, SavingToAFileAddsTheExtensionAndGoesBackToTheDefaultPath)
{
    auto form = makeForm();
    const std::pair<const char*, const char*> cases[] = {{"plain", "plain.ini"},
        {"mixed.Ini", "mixed.Ini.ini"}, {"upper.INI", "upper.INI"}, {"a.ini", "a.ini"}};
    for (const auto& [chosen, written] : cases) {
        form->FileDialog = [&](const QString&, const QString& dir, const QString&, bool save) {
            EXPECT_TRUE(save);
            EXPECT_EQ(dir, form->ProgramFolder());
            return path(chosen);
        };
        form->Setup->BitBtn6->click();
        EXPECT_TRUE(QFile::exists(path(written))) << written;
        EXPECT_EQ(form->SettingsPath(), path("Orvik.ini"));
    }
    form->FileDialog = [](const QString&, const QString&, const QString&, bool) { return QString(); };
    form->Setup->BitBtn6->click(); // cancelled: nothing happens
    EXPECT_FALSE(QFile::exists(path("Orvik.ini")));
    EXPECT_TRUE(errors.empty());
}

TEST_F(SettingsTest, AnUnwritableSettingsFileIsReportedAndTheWindowStillCloses)
{
    auto form = makeForm();
    auto line = std::make_shared<FakeSerialLine>();
    form->SerialPort->SetDeviceFactory(FakeSerialLine::factory(line));
    form->ComPort1->OpenPort();
    // A folder where the file should be: no write can succeed, not even as root.
    ASSERT_TRUE(QDir().mkdir(path("Orvik.ini")));
    form->close();
    QCoreApplication::processEvents();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], QStringLiteral("Unable to write to ") + path("Orvik.ini"));
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->ComPort1->Connected());
}

TEST_F(SettingsTest, AFailedSaveToAChosenFileKeepsThatPath)
{
    auto form = makeForm();
    const QString target = path("missing-folder/x.ini");
    form->FileDialog = [&](const QString&, const QString&, const QString&, bool) { return target; };
    form->Setup->BitBtn6->click();
    QCoreApplication::processEvents();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], QStringLiteral("Unable to write to ") + target);
    EXPECT_EQ(form->SettingsPath(), target);
}

// --- connection

class ConnectionTest : public SettingsTest {
protected:
    FakeSysfs sys;
    std::shared_ptr<FakeSerialLine> line = std::make_shared<FakeSerialLine>();
    std::unique_ptr<TForm1> form;
    int dialogsShown = 0;

    void SetUp() override
    {
        sys.add(QStringLiteral("ttyUSB0"));
        sys.add(QStringLiteral("ttyUSB1"));
        SetSerialPortsSysfsRoot(sys.root());
        form = makeForm();
        form->SerialPort->SetDeviceFactory(FakeSerialLine::factory(line));
        form->ComPort1->SetPort(QStringLiteral("/dev/ttyUSB0"));
    }
    void TearDown() override
    {
        form.reset();
        SetSerialPortsSysfsRoot(QStringLiteral("/sys"));
    }

    // Does `act` on every set-up dialog shown while `run` runs; act closes it.
    void withDialogs(const std::function<void(TComSetupFrm&)>& act, const std::function<void()>& run)
    {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<TComSetupFrm*>(QApplication::activeModalWidget());
            if (dialog && dialog->isVisible() && !dialog->property("handled").toBool()) {
                dialog->setProperty("handled", true);
                ++dialogsShown;
                if (dialogsShown > 5)
                    dialog->reject(); // never leave a test in the retry loop
                else
                    act(*dialog);
            }
        });
        poll.start(5);
        run();
    }

    static void pick(TComComboBox* combo, const QString& text)
    {
        const int index = combo->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
};

TEST_F(ConnectionTest, AFailedOpenShowsTheDialogThenThePortThatOpened)
{
    line->failCall(FakeSerialLine::Call::Open, ENOENT, 1);
    withDialogs(
        [](TComSetupFrm& d) {
            pick(d.Combo1, QStringLiteral("/dev/ttyUSB1"));
            pick(d.Combo2, QStringLiteral("19200"));
            d.Button1->click();
        },
        [&] { form->Setup->RSBut->click(); });
    EXPECT_EQ(dialogsShown, 1);
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(line->openedPath(), QByteArray("/dev/ttyUSB1"));
    EXPECT_EQ(form->Setup->Label3->text(), QStringLiteral("/dev/ttyUSB1"));
    EXPECT_EQ(form->Setup->Label5->text(), QStringLiteral("19200"));
    EXPECT_TRUE(form->Setup->RSBut->isChecked());
    EXPECT_EQ(form->StatusLine->connectionState(), QStringLiteral("Свързан: /dev/ttyUSB1 19200"));

    // "Изключен" closes; the last rate stays shown.
    form->Setup->NoneBut->click();
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_EQ(form->Setup->Label3->text(), QStringLiteral("Closed"));
    EXPECT_EQ(form->Setup->Label5->text(), QStringLiteral("19200"));
    EXPECT_EQ(form->StatusLine->connectionState(), QStringLiteral("Изключен"));
}

TEST_F(ConnectionTest, CancelInTheDialogEndsTheAttempt)
{
    line->failCall(FakeSerialLine::Call::Open, ENOENT);
    withDialogs([](TComSetupFrm& d) { d.Button2->click(); }, [&] { form->Setup->RSBut->click(); });
    EXPECT_EQ(dialogsShown, 1);
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_TRUE(form->Setup->NoneBut->isChecked());
    EXPECT_EQ(form->Setup->Label3->text(), QStringLiteral("Closed"));
    EXPECT_EQ(form->Setup->Label5->text(), QStringLiteral("Not Set"));
}

TEST_F(ConnectionTest, TheLinesFollowTheBoxesAtOpenAndWhileOpen)
{
    form->Terminal->DTR->setChecked(true);
    form->Terminal->DTR->click(); // off while closed: only the box changes
    EXPECT_FALSE(line->isOpen());
    EXPECT_TRUE(line->escapes().empty());
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    auto escapes = line->escapes();
    ASSERT_GE(escapes.size(), 2u);
    EXPECT_EQ(escapes[escapes.size() - 2], kClrDtr);
    EXPECT_EQ(escapes.back(), kSetRts);
    form->Terminal->DTR->click();
    EXPECT_EQ(line->escapes().back(), kSetDtr);
    form->Terminal->RTS->click();
    EXPECT_EQ(line->escapes().back(), kClrRts);
}

TEST_F(ConnectionTest, SettingsWhileOffEditWithoutOpening)
{
    withDialogs(
        [](TComSetupFrm& d) {
            pick(d.Combo2, QStringLiteral("115200"));
            d.Button1->click();
        },
        [&] { form->Setup->Button9->click(); });
    EXPECT_EQ(dialogsShown, 1);
    EXPECT_EQ(form->SerialPort->BaudRate(), br115200);
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_EQ(line->openCount(), 0);
}

TEST_F(ConnectionTest, AHangUpMidRecordShowsClosedAndRS232Reconnects)
{
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    line->pushInput("W:VA12/3\rW:VA9");
    line->failCall(FakeSerialLine::Call::Open, ENOENT); // not back
    line->hangUp();
    QElapsedTimer t;
    t.start();
    while (form->ComPort1->Connected() && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_FALSE(form->ComPort1->Connected());
    EXPECT_EQ(form->Setup->Label3->text(), QStringLiteral("Closed"));
    // AutoReconnect is on by default: the window waits for the device.
    EXPECT_EQ(form->StatusLine->connectionState(), QStringLiteral("Изчакване на /dev/ttyUSB0…"));
    EXPECT_EQ(form->Scope->Voltage->text(), QStringLiteral("12"));
    EXPECT_EQ(form->Parser().pendingBytes(), 0u); // the cut record is gone

    auto next = std::make_shared<FakeSerialLine>();
    form->SerialPort->SetDeviceFactory(FakeSerialLine::factory(next));
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(form->StatusLine->connectionState(), QStringLiteral("Свързан: /dev/ttyUSB0 9600"));
    TJournalModel* journal = form->Journal->model();
    journal->flush();
    journal->setFilter(TJournalFilter::Connection);
    std::vector<std::string> rows;
    for (int r = journal->rowCount() - 1; r >= 0; --r)
        rows.push_back((journal->row(r).subject + ' ' + journal->row(r).value).toStdString());
    EXPECT_EQ(rows,
        (std::vector<std::string>{
            "/dev/ttyUSB0 opened", "/dev/ttyUSB0 lost", "/dev/ttyUSB0 waiting", "/dev/ttyUSB0 opened"}));
    next->pushInput("W:VA7/1\r");
    t.restart();
    while (form->Scope->Voltage->text() != QStringLiteral("7") && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(form->Scope->Voltage->text(), QStringLiteral("7"));
}

// A settings file loaded while connected reconfigures the open port (and reopens it under a
// new name): afterwards DTR and RTS follow their boxes and the labels show the open port.
TEST_F(ConnectionTest, LoadingWhileConnectedKeepsTheLinesAndShowsTheOpenPort)
{
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    ASSERT_TRUE(line->dtr() && line->rts());
    struct Case {
        const char* name;
        QByteArray com;
        bool lines;
        const char* port;
        const char* baud;
    };
    const Case cases[] = {
        {"nothing changed", "ComPortNo=/dev/ttyUSB0\n", true, "/dev/ttyUSB0", "9600"},
        {"another rate", "ComPortNo=/dev/ttyUSB0\nBaudRate=13\n", true, "/dev/ttyUSB0", "115200"},
        {"another port", "ComPortNo=/dev/ttyUSB1\nBaudRate=13\n", true, "/dev/ttyUSB1", "115200"},
        {"boxes off", "ComPortNo=/dev/ttyUSB1\nDTR=0\nRTS=0\n", false, "/dev/ttyUSB1", "9600"},
        {"boxes on, first port", "ComPortNo=/dev/ttyUSB0\n", true, "/dev/ttyUSB0", "9600"},
    };
    form->FileDialog
        = [&](const QString&, const QString&, const QString&, bool) { return path("bench.ini"); };
    for (const Case& c : cases) {
        writeFile(path("bench.ini"), "[Com]\n" + c.com);
        form->Setup->BitBtn5->click();
        ASSERT_TRUE(form->ComPort1->Connected()) << c.name;
        EXPECT_EQ(line->openedPath(), QByteArray(c.port)) << c.name;
        EXPECT_EQ(line->dtr(), c.lines) << c.name;
        EXPECT_EQ(line->rts(), c.lines) << c.name;
        EXPECT_EQ(form->Setup->Label3->text(), QString::fromLatin1(c.port)) << c.name;
        EXPECT_EQ(form->Setup->Label5->text(), QString::fromLatin1(c.baud)) << c.name;
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(errors.empty());
}

// A settings file naming a port that cannot be opened, loaded while connected: the failed
// reopen is reported and the program goes on with the port closed; the rest of the file is
// applied, and closing still saves (into that file) and completes the log.
TEST_F(ConnectionTest, LoadingAFileWhosePortCannotOpenIsReportedAndTheProgramGoesOn)
{
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    form->Setup->LogFile->setText(path("bench.log"));
    form->Setup->Log->SetStateOn(true);
    ASSERT_TRUE(form->LogOpen());
    form->Terminal->Edit1->setText(QStringLiteral("Vcc"));
    form->Terminal->Button8->click();
    form->PresetDialog(0)->Edit2->setText(QStringLiteral("PUSK 2")); // edited, never confirmed

    writeFile(path("bench.ini"), "[Com]\nComPortNo=/dev/ttyUSB7\nBaudRate=9\n[Color]\nMain=255\n");
    form->FileDialog
        = [&](const QString&, const QString&, const QString&, bool) { return path("bench.ini"); };
    line->failCall(FakeSerialLine::Call::Open, ENOENT);
    EXPECT_NO_THROW(form->Setup->BitBtn5->click());
    QCoreApplication::processEvents();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("Unable to open com port"))) << errors[0].toStdString();
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_EQ(form->Setup->Label3->text(), QStringLiteral("Closed"));
    EXPECT_EQ(form->ComPort1->Port(), QStringLiteral("/dev/ttyUSB7"));
    EXPECT_EQ(form->SerialPort->BaudRate(), br19200);
    EXPECT_EQ(form->Setup->MainColor->Selected(), TColor(255));

    form->close();
    EXPECT_TRUE(readAll(path("bench.ini")).contains("PUSK=PUSK 2"));
    EXPECT_TRUE(readAll(path("bench.ini")).contains("Main=255"));
    EXPECT_EQ(readAll(path("bench.log")), "Vcc\r\nVcc\r\n"); // sent, then its echo
}

TEST_F(ConnectionTest, ALostDeviceIsReopenedWithItsLinesAndLabels)
{
    form->Terminal->DTR->setChecked(false);
    form->Terminal->RTS->setChecked(true);
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    line->pushInput("W:VA12/3\rW:VA9");
    ASSERT_TRUE(waitFor([&] { return form->Scope->Voltage->text() == QStringLiteral("12"); }));
    line->failCall(FakeSerialLine::Call::Open, EACCES, 2); // udev has not given the group yet
    line->hangUp();
    ASSERT_TRUE(waitFor([&] { return !form->ComPort1->Connected(); }));
    EXPECT_EQ(form->Setup->Label3->text(), QStringLiteral("Closed"));
    EXPECT_EQ(statusText(*form), QStringLiteral("Изчакване на /dev/ttyUSB0…"));
    const std::size_t escapesBefore = line->escapes().size();

    ASSERT_TRUE(waitFor([&] { return form->ComPort1->Connected(); }, 10000));
    EXPECT_EQ(dialogsShown, 0);
    EXPECT_TRUE(errors.empty()) << errors.front().toStdString();
    EXPECT_EQ(form->Setup->Label3->text(), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(statusText(*form), QStringLiteral("Свързан: /dev/ttyUSB0 9600"));
    const auto escapes = line->escapes();
    ASSERT_GE(escapes.size(), escapesBefore + 2);
    EXPECT_EQ(escapes[escapes.size() - 2], kClrDtr);
    EXPECT_EQ(escapes.back(), kSetRts);
    // The record cut off by the unplug does not spoil the first one on the new line.
    line->pushInput("W:VA7/1\r");
    ASSERT_TRUE(waitFor([&] { return form->Scope->Voltage->text() == QStringLiteral("7"); }));
    EXPECT_EQ(form->Scope->Current->text(), QStringLiteral("1"));

    // In the journal: opened, lost, waiting, reconnected - the reopening is no second "opened".
    TJournalModel* journal = form->Journal->model();
    journal->setFilter(TJournalFilter::Connection);
    std::vector<std::string> rows;
    for (int r = journal->rowCount() - 1; r >= 0; --r)
        rows.push_back((journal->row(r).value + ' ' + journal->row(r).text).toStdString());
    EXPECT_EQ(rows,
        (std::vector<std::string>{"opened Връзката с /dev/ttyUSB0 е отворена при 9600 бода",
            "lost Връзката с /dev/ttyUSB0 прекъсна",
            "waiting Изчакване на /dev/ttyUSB0 за повторно свързване",
            "reconnected Връзката с /dev/ttyUSB0 е възстановена при 9600 бода"}));

    // The line inspector marks the loss and the return as rows of their own, in their place.
    form->LinkMonitor()->refresh();
    const TLineLog& log = form->LinkMonitor()->log();
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < log.size(); ++i)
        if (!log.at(i).sent)
            lines.push_back(visibleText(log.at(i)).toStdString());
    EXPECT_EQ(lines,
        (std::vector<std::string>{"W:VA12/3⟨CR⟩", "W:VA9", "——— връзката прекъсна ———",
            "——— връзката е възстановена ———", "W:VA7/1⟨CR⟩"}));
}

TEST_F(ConnectionTest, RS232WhileWaitingTriesAtOnceThenShowsTheDialog)
{
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    line->failCall(FakeSerialLine::Call::Open, ENOENT);
    line->hangUp();
    ASSERT_TRUE(waitFor([&] { return form->Reconnector->IsWaiting(); }));
    withDialogs(
        [&](TComSetupFrm& d) {
            EXPECT_FALSE(form->Reconnector->IsWaiting());
            EXPECT_TRUE(d.Reason->text().contains(QStringLiteral("/dev/ttyUSB0")));
            line->clearFailures();
            d.Button1->click();
        },
        [&] { form->Setup->RSBut->click(); });
    EXPECT_EQ(dialogsShown, 1);
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(statusText(*form), QStringLiteral("Свързан: /dev/ttyUSB0 9600"));

    // With AutoReconnect off the loss is only said.
    form->Setup->AutoReconnect->click();
    line->hangUp();
    ASSERT_TRUE(waitFor([&] { return !form->ComPort1->Connected(); }));
    EXPECT_FALSE(form->Reconnector->IsWaiting());
    EXPECT_EQ(statusText(*form), QStringLiteral("Връзката прекъсна: /dev/ttyUSB0"));
}

TEST_F(ConnectionTest, TheRateLabelShowsTheRateTheDeviceTook)
{
    form->SerialPort->SetBaudRate(brCustom);
    form->SerialPort->SetCustomBaudRate(921600);
    line->setRateRounding([](uint32_t) { return 923077u; }); // 24 MHz / 26
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(form->Setup->Label5->text(), QStringLiteral("923077"));
}

TEST_F(ConnectionTest, TheLampsShowTheLinesOfThePort)
{
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    ASSERT_NE(form->Terminal->Lamps[4], nullptr);
    EXPECT_EQ(form->Terminal->Lamps[4]->LedSignal(), lsCTS);
    EXPECT_EQ(form->Terminal->Lamps[4]->State(), lsOff);
    line->setModemStatus(0x10); // CTS on
    QElapsedTimer t;
    t.start();
    while (form->Terminal->Lamps[4]->State() != lsOn && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(form->Terminal->Lamps[4]->State(), lsOn);
    EXPECT_EQ(form->Terminal->Lamps[3]->State(), lsOff); // DSR
}

} // namespace

TEST_F(ConnectionTest, TheStatusLineAndTheInspectorShowWhatCrossedTheLink)
{
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    line->raiseLineErrors(comm::CE_FRAME);
    line->raiseLineErrors(comm::CE_FRAME | comm::CE_OVERRUN);
    line->raiseBreak();
    line->pushInput("W:TR42/RK0\rhello\rW:VA1/2\r");
    TLineInspectorModel* lines = form->Journal->Inspector->model();
    QElapsedTimer t;
    t.start();
    while (lines->rowCount() < 4 && t.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        form->LinkMonitor()->refresh();
    }
    ASSERT_EQ(lines->rowCount(), 4);
    auto cell = [&](int row, int column) { return lines->index(row, column).data().toString(); };
    EXPECT_EQ(cell(0, TLineInspectorModel::ColText), QStringLiteral("W:TR42/RK0⟨CR⟩"));
    EXPECT_EQ(cell(0, TLineInspectorModel::ColVerdict),
        QStringLiteral("без отговор: събитие, което не се брои (RK0)"));
    EXPECT_EQ(cell(1, TLineInspectorModel::ColVerdict), QStringLiteral("без отговор: няма „W:“ в реда"));
    EXPECT_EQ(cell(2, TLineInspectorModel::ColVerdict), QStringLiteral("отговорен"));
    // The answer goes out while the line is handled, and is listed after it.
    EXPECT_EQ(cell(3, TLineInspectorModel::ColDirection), QStringLiteral("→"));
    EXPECT_EQ(cell(3, TLineInspectorModel::ColText), QStringLiteral("OK⟨CR⟩⟨LF⟩"));
    // RK0 is owed no answer.
    EXPECT_TRUE(form->StatusLine->figuresText().contains(QStringLiteral("Без отговор: 0 | Отхвърлени: 1")))
        << form->StatusLine->figuresText().toStdString();
    EXPECT_TRUE(form->StatusLine->figuresText().endsWith(QStringLiteral("Грешки: 4")))
        << form->StatusLine->figuresText().toStdString();
    EXPECT_EQ(form->StatusLine->findChild<QLabel*>(QStringLiteral("StatusLineErrors"))->toolTip(),
        QStringLiteral("Грешки на линията от отварянето: рамка 2, четност 0, препълване 1, break 1"));
}

// A long stable name neither widens the window nor keeps it from its design size; the name
// is shortened in the middle and whole in the tool tip. The figures stand still while the
// port is closed.
TEST_F(ConnectionTest, TheStatusLineKeepsTheWindowAtItsDesignSize)
{
    const QString name = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4E5F6-if00-port0");
    form->ComPort1->SetPort(name);
    form->resize(853, 588);
    form->show();
    EXPECT_FALSE(form->LinkMonitor()->refreshing());
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    EXPECT_TRUE(form->LinkMonitor()->refreshing());
    line->pushInput("W:VA1/2\r");
    waitFor([&] { return form->LinkMonitor()->stats().records() == 1; });
    QCoreApplication::processEvents();
    EXPECT_EQ(form->width(), 853);
    EXPECT_LE(form->minimumSizeHint().width(), 853);
    EXPECT_LE(form->StatusLine->sizeHint().width(), 853);
    auto* state = form->StatusLine->findChild<QLabel*>(QStringLiteral("StatusConnection"));
    ASSERT_TRUE(state);
    const QString whole = QStringLiteral("Свързан: %1 9600").arg(name);
    EXPECT_EQ(state->toolTip(), whole);
    EXPECT_EQ(form->StatusLine->connectionState(), whole);
    EXPECT_TRUE(state->text().startsWith(QStringLiteral("Свързан: /dev/"))) << state->text().toStdString();
    EXPECT_TRUE(state->text().contains(QChar(0x2026)) && state->text().endsWith(QStringLiteral("port0 9600")))
        << state->text().toStdString();

    // Large figures stay within their fields.
    form->StatusLine->showFigures({123456.0, 99999999.0, 123456.0, 12345678901u, 99999}, {10000, 2, 3, 4});
    for (QLabel* field : form->StatusLine->findChildren<QLabel*>()) {
        if (field == state)
            continue;
        EXPECT_LE(field->fontMetrics().horizontalAdvance(field->text()), field->contentsRect().width())
            << field->text().toStdString();
    }
    EXPECT_EQ(form->width(), 853);

    form->Setup->NoneBut->click();
    EXPECT_FALSE(form->LinkMonitor()->refreshing());
    EXPECT_TRUE(form->StatusLine->figuresText().startsWith(
        QStringLiteral("Прием: 0 B/s | Предаване: 0 B/s | Записи: 0/s")))
        << form->StatusLine->figuresText().toStdString();
}

// Another adapter under the lost one's name: the window says so and journals it once, and
// takes the lost one when it is back.
TEST_F(ConnectionTest, AnotherDeviceUnderTheNameIsShownAndJournalledOnce)
{
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    const TDeviceIdentity ours = form->ComPort1->Identity();
    line->setIdentity({TDeviceIdentity::Kind::Usb, QStringLiteral("1a86:7523 at 1-2 if 00"),
        QStringLiteral("USB 1a86:7523 (ttyUSB0)"), {}});
    line->hangUp();
    ASSERT_TRUE(waitFor([&] { return line->identifyCount() >= 4; }, 10000));
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_EQ(statusText(*form),
        QStringLiteral("Под /dev/ttyUSB0 е друго устройство (USB 1a86:7523 (ttyUSB0)); изчакване…"));
    TJournalModel* journal = form->Journal->model();
    journal->setFilter(TJournalFilter::Connection);
    int refusals = 0;
    for (int r = 0; r < journal->rowCount(); ++r)
        refusals += journal->row(r).value == QStringLiteral("refused");
    EXPECT_EQ(refusals, 1);
    line->setIdentity(ours);
    ASSERT_TRUE(waitFor([&] { return form->ComPort1->Connected(); }));
    EXPECT_EQ(statusText(*form), QStringLiteral("Свързан: /dev/ttyUSB0 9600"));
}
