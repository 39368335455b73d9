// The set-up boxes and dialog against the scriptable device and a fake device list: what is
// offered and selected, what OK applies and how often the device is configured, Cancel,
// and the failures.

#include "../SerialTestSupport.h"
#include "FakeSysfs.h"

#include "serial/ComPort.h"
#include "serial/FakeSerialDevice.h"
#include "serial/widgets/ComComboBox.h"
#include "serial/widgets/ComSetupFrm.h"
#include "serial/widgets/SerialPortList.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// The device list of every test: a fake tree, so the machine's ports do not matter.
class SetupTest : public ::testing::Test {
protected:
    FakeSysfs sys;
    std::shared_ptr<FakeSerialLine> line = std::make_shared<FakeSerialLine>();
    TComPort port;

    void SetUp() override
    {
        for (const char* name : {"COM2", "COM10", "COM1", "COM3"})
            sys.add(QString::fromLatin1(name));
        SetSerialPortsSysfsRoot(sys.root());
        port.SetDeviceFactory(FakeSerialLine::factory(line));
        port.SetPort(QStringLiteral("/dev/COM1"));
    }
    void TearDown() override { SetSerialPortsSysfsRoot(QStringLiteral("/sys")); }

    struct Counts {
        int opens, configs, timeouts, sizes;
        bool operator==(const Counts&) const = default;
    };
    Counts counts() const
    {
        return {line->openCount(), line->lineConfigCount(), line->timeoutsCount(), line->queueSizesCount()};
    }
};

// The operator picks an item (what a click in the drop-down list does).
void pick(TComComboBox* combo, const QString& text)
{
    const int index = combo->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

// Runs RunSetupDialog, doing `act` on the dialog once it is shown; act closes it. Returns
// whether the dialog was shown.
bool runDialog(TCustomComPort& port, const std::function<void(TComSetupFrm&)>& act,
    const EComPort* openFailure = nullptr)
{
    bool shown = false;
    QElapsedTimer since;
    since.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* form = qobject_cast<TComSetupFrm*>(QApplication::activeModalWidget());
        if (form && !shown) {
            shown = true;
            poll.stop();
            act(*form);
        } else if (since.elapsed() > 20000 && form) {
            form->reject(); // never leave a test hanging in a modal loop
        }
    });
    poll.start(5);
    RunSetupDialog(port, nullptr, openFailure);
    return shown;
}

void clickOk(TComSetupFrm& form)
{
    form.Button1->click();
}

} // namespace

TEST_F(SetupTest, DialogLayoutTextsAndTabOrder)
{
    TComSetupFrm form;
    EXPECT_EQ(form.objectName(), QStringLiteral("ComSetupFrm"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Setup"));
    EXPECT_EQ(form.GroupBox1->title(), QStringLiteral(" Settings "));
    const QStringList captions{"Port", "Baud rate", "Data bits", "Stop bits", "Parity", "Flow control"};
    const QLabel* labels[] = {form.Label1, form.Label2, form.Label3, form.Label4, form.Label5, form.Label6};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(labels[i]->text(), captions[i]);
        EXPECT_EQ(labels[i]->objectName(), QStringLiteral("Label%1").arg(i + 1));
        EXPECT_EQ(form.Combos()[i]->objectName(), QStringLiteral("Combo%1").arg(i + 1));
        EXPECT_FALSE(form.Combos()[i]->AutoApply());
        // Only the port box takes typed text: device paths the system does not list.
        EXPECT_EQ(form.Combos()[i]->isEditable(), i == 0);
    }
    EXPECT_EQ(form.Button1->text(), QStringLiteral("OK"));
    EXPECT_TRUE(form.Button1->isDefault());
    EXPECT_EQ(form.Button2->text(), QStringLiteral("Cancel"));

    EXPECT_EQ(form.Combo1->count(), 4);
    EXPECT_EQ(form.Combo2->count(), 16);
    EXPECT_EQ(form.Combo2->itemText(0), QStringLiteral("Custom"));
    EXPECT_EQ(form.Combo2->itemText(15), QStringLiteral("256000"));
    EXPECT_EQ(form.Combo4->itemText(1), QStringLiteral("1.5"));
    EXPECT_EQ(form.Combo5->itemText(4), QStringLiteral("Space"));
    EXPECT_EQ(form.Combo6->itemText(3), QStringLiteral("Custom"));
    // Without a port each box starts on its first item.
    for (TComComboBox* combo : form.Combos())
        EXPECT_EQ(combo->currentIndex(), 0);

    form.show();
    QWidget* expected[] = {form.Combo1, form.Combo2, form.Combo3, form.Combo4, form.Combo5, form.Combo6,
        form.Button1, form.Button2, form.Combo1};
    // The next control that Tab reaches (labels and the group take no focus; the port box's
    // edit is part of the box).
    const auto nextTabStop = [](QWidget* w) {
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus) || qobject_cast<QComboBox*>(w->parentWidget()));
        return w;
    };
    for (int i = 0; i + 1 < int(std::size(expected)); ++i)
        EXPECT_EQ(nextTabStop(expected[i]), expected[i + 1]) << i;
    EXPECT_GE(form.width(), 231);
    EXPECT_GE(form.height(), 216);
    EXPECT_FALSE(form.Reason->isVisible());
}

TEST_F(SetupTest, FailedOpenShowsTheNameThatFailedAndWhy)
{
    struct Case {
        const char* name;
        QString port;
        int error;
        bool listed; // the device list holds the name
        bool hint; // the line says how to get access
    };
    const Case cases[] = {
        {"missing", "/dev/ttyUSB7", ENOENT, false, false},
        {"no access", "/dev/COM2", EACCES, true, true},
        {"busy", "/dev/COM3", EBUSY, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        port.SetPort(c.port);
        line->failCall(FakeSerialLine::Call::Open, c.error, 1);
        try {
            port.OpenPort();
            FAIL() << "opened";
        } catch (const EComPort& failure) {
            ASSERT_TRUE(runDialog(
                port,
                [&](TComSetupFrm& form) {
                    EXPECT_EQ(form.Combo1->Text(), c.port);
                    EXPECT_GE(form.Combo1->currentIndex(), 0);
                    EXPECT_EQ(form.Combo1->count(), c.listed ? 4 : 5);
                    EXPECT_TRUE(form.Reason->isVisible());
                    const QString reason = form.Reason->text();
                    EXPECT_TRUE(reason.contains(c.port)) << reason.toStdString();
                    EXPECT_TRUE(reason.contains(QString::fromLocal8Bit(std::strerror(c.error))))
                        << reason.toStdString();
                    EXPECT_EQ(reason.contains(QStringLiteral("dialout")), c.hint) << reason.toStdString();
                    EXPECT_FALSE(reason.contains(QLatin1Char('\n')));
                    clickOk(form);
                },
                &failure));
        }
        // OK keeps the name, so the next attempt tries the same device.
        EXPECT_EQ(port.Port(), c.port);
    }
}

TEST_F(SetupTest, PortBoxTakesATypedPath)
{
    const QString byId = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0");
    ASSERT_TRUE(runDialog(port, [&](TComSetupFrm& form) {
        form.Combo1->lineEdit()->selectAll();
        QTest::keyClicks(form.Combo1->lineEdit(), byId);
        EXPECT_EQ(form.Combo1->Text(), byId);
        EXPECT_EQ(form.Combo1->count(), 4); // typing adds no item
        clickOk(form);
    }));
    EXPECT_EQ(port.Port(), byId);

    // Cancel after typing changes nothing.
    ASSERT_TRUE(runDialog(port, [&](TComSetupFrm& form) {
        form.Combo1->setEditText(QStringLiteral("/dev/pts/99"));
        form.Button2->click();
    }));
    EXPECT_EQ(port.Port(), byId);
}

TEST_F(SetupTest, DeviceListIsSortedAndNamesMatchWithoutRegardToCase)
{
    port.SetPort(QStringLiteral("/dev/com3"));
    ASSERT_TRUE(runDialog(port, [](TComSetupFrm& form) {
        QStringList items;
        for (int i = 0; i < form.Combo1->count(); ++i)
            items << form.Combo1->itemText(i);
        EXPECT_EQ(items, (QStringList{"/dev/COM1", "/dev/COM10", "/dev/COM2", "/dev/COM3"}));
        EXPECT_EQ(form.Combo1->Text(), QStringLiteral("/dev/COM3"));
        clickOk(form);
    }));
    EXPECT_EQ(port.Port(), QStringLiteral("/dev/COM3"));
}

TEST_F(SetupTest, NameNotInTheListGivesNoSelectionAndOkEmptiesIt)
{
    TComPort real; // the system's device layer: an empty name must fail to open
    real.SetPort(QStringLiteral("/dev/ttyNoSuchPort"));
    ASSERT_TRUE(runDialog(real, [](TComSetupFrm& form) {
        EXPECT_EQ(form.Combo1->currentIndex(), -1);
        EXPECT_EQ(form.Combo1->Text(), QString());
        EXPECT_EQ(form.Combo2->Text(), QStringLiteral("9600"));
        clickOk(form);
    }));
    EXPECT_EQ(real.Port(), QString());
    try {
        real.OpenPort();
        ADD_FAILURE() << "an empty port name opened";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 1);
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Unable to open com port"))) << e.what();
    }
    EXPECT_FALSE(real.Connected());
}

TEST_F(SetupTest, PseudoTerminalOfThePortIsOfferedAndKept)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const QString pty = QString::fromLocal8Bit(ptsname(master));
    port.SetPort(pty);
    ASSERT_TRUE(runDialog(port, [&](TComSetupFrm& form) {
        EXPECT_EQ(form.Combo1->count(), 5);
        EXPECT_EQ(form.Combo1->Text(), pty);
        // Sorted in among the listed devices.
        EXPECT_EQ(form.Combo1->itemText(4), pty);
        clickOk(form);
    }));
    EXPECT_EQ(port.Port(), pty);
    ::close(master);
}

TEST_F(SetupTest, UnchangedOkReconfiguresAnOpenPortOnceWithoutReopening)
{
    port.OpenPort();
    const Counts before = counts();
    ASSERT_TRUE(runDialog(port, clickOk));
    EXPECT_EQ(counts(), (Counts{before.opens, before.configs + 1, before.timeouts + 1, before.sizes + 1}));
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.Port(), QStringLiteral("/dev/COM1"));

    // Several changes: still one configuration, carrying all of them.
    const Counts second = counts();
    ASSERT_TRUE(runDialog(port, [](TComSetupFrm& form) {
        pick(form.Combo2, QStringLiteral("115200"));
        pick(form.Combo3, QStringLiteral("7"));
        pick(form.Combo4, QStringLiteral("2"));
        pick(form.Combo5, QStringLiteral("Even"));
        clickOk(form);
    }));
    EXPECT_EQ(line->lineConfigCount(), second.configs + 1);
    const TSerialLineConfig c = line->lastLineConfig();
    EXPECT_EQ(c.BaudRate, 115200u);
    EXPECT_EQ(c.ByteSize, 7);
    EXPECT_EQ(c.StopBits, 2);
    EXPECT_EQ(c.Parity, 2);
}

TEST_F(SetupTest, NewNameReopensOnceAndConfiguresOnceAtTheEnd)
{
    port.OpenPort();
    const Counts before = counts();
    ASSERT_TRUE(runDialog(port, [](TComSetupFrm& form) {
        pick(form.Combo1, QStringLiteral("/dev/COM10"));
        pick(form.Combo2, QStringLiteral("19200"));
        clickOk(form);
    }));
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(line->openedPath(), QByteArray("/dev/COM10"));
    EXPECT_EQ(
        counts(), (Counts{before.opens + 1, before.configs + 1, before.timeouts + 1, before.sizes + 1}));
    EXPECT_EQ(line->lastLineConfig().BaudRate, 19200u);
}

TEST_F(SetupTest, FailedReopenPropagatesAndLeavesNoDeferredSettings)
{
    port.OpenPort();
    line->failCall(FakeSerialLine::Call::Open, ENOENT, 1);
    try {
        runDialog(port, [](TComSetupFrm& form) {
            pick(form.Combo1, QStringLiteral("/dev/COM2"));
            clickOk(form);
        });
        ADD_FAILURE() << "the failed reopen was not reported";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 1);
        EXPECT_EQ(e.SystemError(), ENOENT);
    }
    EXPECT_FALSE(port.Connected());
    // The bracket was closed: a setting of a reopened port reaches the device at once.
    port.OpenPort();
    const int configs = line->lineConfigCount();
    port.SetBaudRate(br38400);
    EXPECT_EQ(line->lineConfigCount(), configs + 1);
    EXPECT_EQ(line->lastLineConfig().BaudRate, 38400u);
}

TEST_F(SetupTest, CustomBaudRateUsesThePortsCustomRate)
{
    port.OpenPort();
    ASSERT_TRUE(runDialog(port, [](TComSetupFrm& form) {
        pick(form.Combo2, QStringLiteral("Custom"));
        clickOk(form);
    }));
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(line->lastLineConfig().BaudRate, 9600u);

    port.SetCustomBaudRate(31250);
    ASSERT_TRUE(runDialog(port, [](TComSetupFrm& form) {
        EXPECT_EQ(form.Combo2->Text(), QStringLiteral("Custom"));
        clickOk(form);
    }));
    EXPECT_EQ(line->lastLineConfig().BaudRate, 31250u);
}

TEST_F(SetupTest, CustomFlowControlKeepsEveryFieldAndPresetsApply)
{
    TComFlowControl& fc = port.FlowControl();
    fc.SetControlRTS(rtsToggle);
    fc.SetOutCTSFlow(true);
    fc.SetXonXoffIn(true);
    fc.SetControlDTR(dtrHandshake);
    ASSERT_TRUE(runDialog(port, [](TComSetupFrm& form) {
        EXPECT_EQ(form.Combo6->Text(), QStringLiteral("Custom"));
        pick(form.Combo6, QStringLiteral("Hardware"));
        pick(form.Combo6, QStringLiteral("Custom")); // the last pick counts
        clickOk(form);
    }));
    EXPECT_EQ(fc.ControlRTS(), rtsToggle);
    EXPECT_TRUE(fc.OutCTSFlow());
    EXPECT_TRUE(fc.XonXoffIn());
    EXPECT_FALSE(fc.XonXoffOut());
    EXPECT_EQ(fc.ControlDTR(), dtrHandshake);

    ASSERT_TRUE(runDialog(port, [](TComSetupFrm& form) {
        pick(form.Combo6, QStringLiteral("Software"));
        clickOk(form);
    }));
    EXPECT_EQ(fc.FlowControl(), fcSoftware);
    EXPECT_EQ(fc.ControlRTS(), rtsDisable);
    EXPECT_FALSE(fc.OutCTSFlow());
    EXPECT_EQ(fc.ControlDTR(), dtrHandshake);
}

TEST_F(SetupTest, CancelLeavesThePortUntouched)
{
    port.OpenPort();
    const Counts before = counts();
    ASSERT_TRUE(runDialog(port, [](TComSetupFrm& form) {
        pick(form.Combo1, QStringLiteral("/dev/COM2"));
        pick(form.Combo2, QStringLiteral("110"));
        pick(form.Combo5, QStringLiteral("Mark"));
        pick(form.Combo6, QStringLiteral("Software"));
        form.Button2->click();
    }));
    EXPECT_EQ(counts(), before);
    EXPECT_EQ(port.Port(), QStringLiteral("/dev/COM1"));
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.Parity().Bits(), prNone);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
}

TEST_F(SetupTest, UnreadableDeviceListRaisesWithoutShowingTheDialog)
{
    SetSerialPortsSysfsRoot(sys.root() + QStringLiteral("/gone"));
    bool shown = false;
    try {
        runDialog(port, [&](TComSetupFrm& form) {
            shown = true;
            clickOk(form);
        });
        ADD_FAILURE() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.PortError(), 23);
        EXPECT_EQ(e.SystemError(), ENOENT);
    }
    EXPECT_FALSE(shown);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // And through the port's own operation once installed.
    InstallComSetupDialog();
    EXPECT_THROW(port.RunSetupDialog(), EComPort);
}

TEST_F(SetupTest, ComboBoxFollowsItsPort)
{
    auto owned = std::make_unique<TComPort>();
    owned->SetBaudRate(br4800);
    TComComboBox combo;
    combo.SetComProperty(TComProperty::cpBaudRate);
    EXPECT_EQ(combo.Text(), QStringLiteral("Custom")); // no port yet: the first item
    combo.SetComPort(owned.get());
    EXPECT_EQ(combo.Text(), QStringLiteral("4800"));

    // Text selects without regard to case and ignores unknown texts; it applies nothing.
    TComComboBox parity;
    parity.SetComProperty(TComProperty::cpParity);
    parity.SetComPort(owned.get());
    parity.SetText(QStringLiteral("odd"));
    EXPECT_EQ(parity.Text(), QStringLiteral("Odd"));
    parity.SetText(QStringLiteral("Sideways"));
    EXPECT_EQ(parity.Text(), QStringLiteral("Odd"));
    EXPECT_EQ(owned->Parity().Bits(), prNone);

    // AutoApply applies each pick at once; OnChange follows the pick.
    int changes = 0;
    combo.OnChange = [&](QObject* sender) {
        EXPECT_EQ(sender, &combo);
        ++changes;
    };
    pick(&combo, QStringLiteral("600"));
    EXPECT_EQ(owned->BaudRate(), br4800);
    combo.SetAutoApply(true);
    pick(&combo, QStringLiteral("1200"));
    EXPECT_EQ(owned->BaudRate(), br1200);
    EXPECT_EQ(changes, 2);

    // The port goes: the box forgets it and shows its first item.
    owned.reset();
    EXPECT_EQ(combo.ComPort(), nullptr);
    EXPECT_EQ(combo.Text(), QStringLiteral("Custom"));
    EXPECT_EQ(parity.ComPort(), nullptr);
    pick(&combo, QStringLiteral("300")); // no port: nothing to apply to, no crash
}
