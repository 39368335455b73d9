// The whole console against the device simulator on a pseudo-terminal, driven only through
// the window's controls: the connection chosen on the settings page, records split at
// random points, preset buttons and the command line, the data log, the settings file
// across a restart, and the device hanging up in the middle of a record.
#include "console/MainUnit.h"
#include "console/ScopePage.h"
#include "console/StatusLine.h"

#include "E2eSupport.h"
#include "console/CommandDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "chart/Chart.h"
#include "serial/ComPort.h"
#include "widgets/Switch.h"
#include "widgets/ValidateEdit.h"

namespace {

template <class T> T* find(QWidget& root, const char* name)
{
    T* w = root.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

void writeSettings(const QString& folder, const QString& port, bool autoReconnect = true)
{
    QFile f(folder + QStringLiteral("/Orvik.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Com]\r\nComPortNo=" + port.toLocal8Bit()
        + "\r\nBaudRate=13\r\nAutoReconnect=" + (autoReconnect ? "1" : "0") + "\r\n");
}

// The connection state the status line at the bottom of the window shows.
QString statusText(QWidget& form)
{
    auto* line = form.findChild<TStatusLine*>(QStringLiteral("StatusLine"));
    return line ? line->connectionState() : QString();
}

class ConsoleDevice : public ::testing::Test {
protected:
    QTemporaryDir folder;
    QStringList errors;
    std::unique_ptr<TForm1> form;

    void start()
    {
        form = std::make_unique<TForm1>(folder.path());
        form->ErrorReport = [this](const QString& m) { errors << m; };
        form->ControlKeyDown = [] { return false; };
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void chooseRS232()
    {
        form->PageControl1->setCurrentIndex(1);
        find<QRadioButton>(*form, "RSBut")->click();
    }
};

TEST_F(ConsoleDevice, RecordsSplitAtRandomBecomeReadoutsCountersAndPointsEachAnsweredOnce)
{
    Simulator sim({"--count", "600", "--flood", "--seed", "11", "--malformed", "0.1", "--events", "0.3",
        "--mix", "va=5,tr=4,burst=2", "--chunk-max", "7"});
    ASSERT_FALSE(sim.port().isEmpty());
    writeSettings(folder.path(), sim.port());
    start();
    chooseRS232();
    ASSERT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(find<QLabel>(*form, "Label3")->text(), sim.port());
    EXPECT_EQ(find<QLabel>(*form, "Label5")->text(), QStringLiteral("115200"));

    ASSERT_TRUE(sim.finished());
    const QJsonObject run = sim.figures();
    const QJsonObject answers = run["answers"].toObject();
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_GT(answers["expected"].toInt(), 100);
    EXPECT_EQ(answers["received"].toInt(), answers["expected"].toInt());
    EXPECT_EQ(answers["missing"].toInt(), 0);
    EXPECT_EQ(answers["unexpected"].toInt(), 0);

    // What the device says the console should show now.
    const QJsonObject shown = run["console"].toObject();
    const QJsonObject counters = shown["counters"].toObject();
    for (const char* name : {"RK1", "RK2", "RK3", "CFK", "SUK"})
        EXPECT_EQ(find<TValidateEdit>(*form, name)->Text(), QString::number(counters[name].toInt())) << name;
    EXPECT_EQ(find<QLabel>(*form, "Voltage")->text(), shown["voltage"].toString());
    EXPECT_EQ(find<QLabel>(*form, "Current")->text(), shown["current"].toString());
    EXPECT_EQ(find<QLabel>(*form, "Temperature")->text(), shown["temperature"].toString());
    EXPECT_EQ(form->Scope->Series1->Count(), shown["samples"].toInt());
    EXPECT_EQ(form->Scope->Chart1->LeftAxis().Title().Caption(), shown["y_title"].toString());
    EXPECT_EQ(form->Scope->Chart1->BottomAxis().Title().Caption(), shown["x_title"].toString());
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(ConsoleDevice, PresetsAndTheCommandLineReachTheDevice)
{
    Simulator sim({"--rate", "0", "--seed", "2"});
    ASSERT_FALSE(sim.port().isEmpty());
    writeSettings(folder.path(), sim.port());
    start();
    chooseRS232();
    ASSERT_TRUE(form->ComPort1->Connected());
    const char* words[] = {"PUSK", "RESTART", "DIAGNOSTIC", "INVERTER", "RECTIFIER", "Vcc", "It", "t\u00b0C"};
    const char* buttons[]
        = {"Button1", "Button2", "Button5", "Button3", "Button4", "Button6", "Button7", "Button11"};
    for (int i = 0; i < 8; ++i)
        form->PresetDialog(i)->Edit2->setText(QString::fromUtf8(words[i]));
    form->PageControl1->setCurrentIndex(0);
    // CR only on the first round, CR LF on the second: the device takes either.
    find<QCheckBox>(*form, "LF")->setChecked(false);
    for (int round = 0; round < 2; ++round) {
        for (const char* b : buttons) {
            find<QPushButton>(*form, b)->click();
            QTest::qWait(5);
        }
        find<QCheckBox>(*form, "LF")->setChecked(true);
    }
    find<QLineEdit>(*form, "Edit1")->setText(QStringLiteral("Vcc"));
    find<QPushButton>(*form, "Button8")->click();
    QTest::qWait(1500); // let the device answer what it was asked
    const QJsonObject commands = sim.stop()["commands"].toObject();
    for (const char* key : {"PUSK", "RESTART", "DIAGNOSTIC", "INVERTER", "RECTIFIER", "IT", "TEMP"})
        EXPECT_EQ(commands[key].toInt(), 2) << key;
    EXPECT_EQ(commands["VCC"].toInt(), 3);
}

TEST_F(ConsoleDevice, TheLogHoldsTheTrafficInOrderAndSettingsComeBack)
{
    Simulator sim({"--count", "120", "--flood", "--seed", "5", "--chunk-max", "5", "--record-log",
        folder.path() + QStringLiteral("/device.jsonl")});
    ASSERT_FALSE(sim.port().isEmpty());
    writeSettings(folder.path(), sim.port());
    start();
    const QString logPath = folder.path() + QStringLiteral("/traffic.txt");
    find<QLineEdit>(*form, "LogFile")->setText(logPath);
    find<QRadioButton>(*form, "NewLog")->setChecked(true);
    auto* log = find<TSwitch>(*form, "Log");
    QTest::mouseClick(log, Qt::LeftButton);
    ASSERT_TRUE(log->StateOn());
    chooseRS232();
    ASSERT_TRUE(sim.finished());
    const QJsonObject answers = sim.figures()["answers"].toObject();
    EXPECT_EQ(answers["missing"].toInt(), 0);
    form->close();

    // The log: everything the device sent, in order, with every answer after its record.
    QFile f(logPath);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray logged = f.readAll();
    QByteArray sent;
    QFile deviceLog(folder.path() + QStringLiteral("/device.jsonl"));
    ASSERT_TRUE(deviceLog.open(QIODevice::ReadOnly));
    int expectedAnswers = 0;
    for (const QByteArray& line : deviceLog.readAll().split('\n')) {
        const QJsonObject ev = QJsonDocument::fromJson(line).object();
        if (ev["ev"].toString() == QStringLiteral("record")) {
            sent += ev["line"].toString().toLatin1() + '\r';
            expectedAnswers += ev["expect"].toInt();
        }
    }
    QByteArray incoming = logged;
    // Each answer is logged twice: as sent and as echoed.
    EXPECT_EQ(incoming.count("OK\r\n"), 2 * expectedAnswers);
    incoming.replace("OK\r\n", "");
    incoming.replace("\r\n", "\r"); // the terminal adds a line feed after each CR
    EXPECT_EQ(incoming, sent);

    // The settings written at closing come back at the next start.
    form.reset();
    start();
    EXPECT_EQ(find<QLineEdit>(*form, "LogFile")->text(), logPath);
    EXPECT_TRUE(find<QRadioButton>(*form, "NewLog")->isChecked());
    EXPECT_EQ(form->ComPort1->Port(), sim.port());
    EXPECT_EQ(form->SerialPort->BaudRate(), br115200);
}

TEST_F(ConsoleDevice, AHangUpMidRecordLeavesTheWindowResponsiveAndRS232Reconnects)
{
    Simulator sim({"--rate", "200", "--seed", "9", "--hangup-after", "30", "--hangup-mid"});
    ASSERT_FALSE(sim.port().isEmpty());
    writeSettings(folder.path(), sim.port(), false);
    start();
    chooseRS232();
    ASSERT_TRUE(form->ComPort1->Connected());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ComPort1->Connected(); }, 20000));
    EXPECT_EQ(find<QLabel>(*form, "Label3")->text(), QStringLiteral("Closed"));
    EXPECT_EQ(statusText(*form), QStringLiteral("Връзката прекъсна: ") + sim.port());
    EXPECT_EQ(sim.figures()["answers"].toObject()["missing"].toInt(), 0);
    // Still responsive: the command line takes typing and the pages switch.
    auto* edit = find<QLineEdit>(*form, "Edit1");
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("Vcc"));
    EXPECT_EQ(edit->text(), QStringLiteral("Vcc"));
    form->PageControl1->setCurrentIndex(2);
    EXPECT_EQ(form->PageControl1->currentIndex(), 2);

    // The device is back (on a new line): choosing RS232 again connects.
    Simulator again({"--count", "20", "--rate", "200", "--seed", "10"});
    ASSERT_FALSE(again.port().isEmpty());
    form->ComPort1->SetPort(again.port());
    chooseRS232();
    ASSERT_TRUE(form->ComPort1->Connected());
    ASSERT_TRUE(again.finished());
    const QJsonObject answers = again.figures()["answers"].toObject();
    EXPECT_EQ(answers["received"].toInt(), answers["expected"].toInt());
    EXPECT_EQ(answers["unexpected"].toInt(), 0);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// The line disappears and comes back under the same name (as an adapter re-plugged behind a
// fixed device link): the piece of a record cut off with the old line is not taken for the
// start of the first record on the new one, and every record there is answered.
TEST_F(ConsoleDevice, ALineReopenedUnderTheSameNameReconnectsByChoosingRS232Again)
{
    const QString link = folder.path() + QStringLiteral("/ttyDevice");
    Simulator sim({"--count", "60", "--rate", "200", "--seed", "12", "--hangup-after", "20", "--hangup-mid",
        "--reopen", "--link", link});
    ASSERT_EQ(sim.port(), link);
    const auto linkInode = [&] {
        struct stat st { };
        return lstat(QFile::encodeName(link).constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    const ino_t first = linkInode();
    writeSettings(folder.path(), link, false);
    start();
    chooseRS232();
    ASSERT_TRUE(form->ComPort1->Connected());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ComPort1->Connected(); }, 20000));
    EXPECT_EQ(find<QLabel>(*form, "Label3")->text(), QStringLiteral("Closed"));
    // The link is replaced, not edited, when the new line is there.
    ASSERT_TRUE(QTest::qWaitFor([&] { return linkInode() != first && linkInode() != 0; }, 10000));

    chooseRS232();
    ASSERT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(find<QLabel>(*form, "Label3")->text(), link);
    ASSERT_TRUE(sim.finished());
    const QJsonObject run = sim.figures();
    const QJsonObject answers = run["answers"].toObject();
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_GT(answers["expected"].toInt(), 20);
    EXPECT_EQ(answers["received"].toInt(), answers["expected"].toInt());
    EXPECT_EQ(answers["missing"].toInt(), 0);
    EXPECT_EQ(answers["unexpected"].toInt(), 0);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// The adapter is pulled and plugged in again: the console says it waits, opens the same
// name again by itself, and every record on the new line is answered.
TEST_F(ConsoleDevice, APulledDeviceIsReconnectedByItself)
{
    const QString link = folder.path() + QStringLiteral("/ttyDevice");
    Simulator sim({"--count", "60", "--rate", "200", "--seed", "14", "--hangup-after", "20", "--hangup-mid",
        "--reopen", "--link", link});
    ASSERT_EQ(sim.port(), link);
    writeSettings(folder.path(), link);
    start();
    EXPECT_TRUE(find<QCheckBox>(*form, "AutoReconnect")->isChecked());
    chooseRS232();
    ASSERT_TRUE(form->ComPort1->Connected());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ComPort1->Connected(); }, 20000));
    EXPECT_EQ(find<QLabel>(*form, "Label3")->text(), QStringLiteral("Closed"));
    EXPECT_EQ(statusText(*form), QStringLiteral("Изчакване на %1…").arg(link));

    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ComPort1->Connected(); }, 20000));
    EXPECT_EQ(find<QLabel>(*form, "Label3")->text(), link);
    EXPECT_EQ(find<QLabel>(*form, "Label5")->text(), QStringLiteral("115200"));
    EXPECT_EQ(statusText(*form), QStringLiteral("Свързан: %1 115200").arg(link));
    EXPECT_TRUE(find<QRadioButton>(*form, "RSBut")->isChecked());
    ASSERT_TRUE(sim.finished());
    const QJsonObject answers = sim.figures()["answers"].toObject();
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_GT(answers["expected"].toInt(), 20);
    EXPECT_EQ(answers["received"].toInt(), answers["expected"].toInt());
    EXPECT_EQ(answers["missing"].toInt(), 0);
    EXPECT_EQ(answers["unexpected"].toInt(), 0);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// A device that never comes back: "Изключен" ends the wait, and nothing opens the port after.
TEST_F(ConsoleDevice, ChoosingOffEndsTheWaitForAPulledDevice)
{
    const QString link = folder.path() + QStringLiteral("/ttyDevice");
    Simulator sim({"--rate", "200", "--seed", "15", "--hangup-after", "10", "--link", link});
    ASSERT_EQ(sim.port(), link);
    writeSettings(folder.path(), link);
    start();
    chooseRS232();
    ASSERT_TRUE(form->ComPort1->Connected());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ComPort1->Connected(); }, 20000));
    ASSERT_EQ(statusText(*form), QStringLiteral("Изчакване на %1…").arg(link));
    find<QRadioButton>(*form, "NoneBut")->click();
    EXPECT_EQ(statusText(*form), QStringLiteral("Изключен"));
    EXPECT_EQ(find<QLabel>(*form, "Label3")->text(), QStringLiteral("Closed"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

} // namespace
