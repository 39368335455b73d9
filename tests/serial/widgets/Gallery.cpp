// Writes pictures of the set-up dialog and the six lamps into a folder (default /tmp):
// serial_widgets_gallery [folder]. The dialog lists a small fake device tree.

#include "serial/ComPort.h"
#include "serial/widgets/ComComboBox.h"
#include "serial/widgets/ComLed.h"
#include "serial/widgets/ComSetupFrm.h"
#include "serial/widgets/SerialPortList.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");

    QTemporaryDir sys;
    for (const char* name : {"ttyUSB0", "ttyS0", "ttyACM0"}) {
        QDir().mkpath(
            sys.path() + QStringLiteral("/class/tty/") + QLatin1String(name) + QStringLiteral("/device"));
    }
    SetSerialPortsSysfsRoot(sys.path());

    TComPort port;
    port.SetPort(QStringLiteral("/dev/ttyUSB0"));
    port.SetBaudRate(br115200);
    TComSetupFrm form;
    for (TComComboBox* combo : form.Combos())
        combo->SetComPort(&port);
    form.show();

    // The lamps of the main window: caption above each, three lit, one disabled.
    QWidget strip;
    strip.setObjectName(QStringLiteral("LampStrip"));
    auto* grid = new QGridLayout(&strip);
    const struct {
        const char* caption;
        TLedKind kind;
        TLedState state;
    } lamps[] = {
        {"Rx", lkGreenLight, lsOn},
        {"Tx", lkYellowLight, lsOff},
        {"CAR", lkBlueLight, lsOn},
        {"DSR", lkPurpleLight, lsOff},
        {"CTS", lkRedLight, lsOn},
        {"RING", lkBulb, lsOn},
    };
    int column = 0;
    for (const auto& l : lamps) {
        grid->addWidget(new QLabel(QString::fromLatin1(l.caption)), 0, column, Qt::AlignHCenter);
        auto* led = new TComLed;
        led->setFixedSize(25, 25);
        led->SetKind(l.kind);
        led->SetState(l.state);
        grid->addWidget(led, 1, column++, Qt::AlignHCenter);
    }
    // Second row: every kind unlit, and a lit lamp that is disabled.
    column = 0;
    for (TLedKind kind : {lkGreenLight, lkYellowLight, lkBlueLight, lkPurpleLight, lkRedLight, lkBulb}) {
        auto* led = new TComLed;
        led->setFixedSize(25, 25);
        led->SetKind(kind);
        led->SetState(lsOn);
        led->setEnabled(column != 4);
        if (column % 2 == 1)
            led->SetState(lsOff);
        grid->addWidget(led, 2, column++, Qt::AlignHCenter);
    }
    strip.show();

    QTimer::singleShot(300, [&] {
        form.grab().save(folder + QStringLiteral("/serial-setup-dialog.png"));
        strip.grab().scaled(strip.size() * 3).save(folder + QStringLiteral("/serial-lamps.png"));
        app.quit();
    });
    return app.exec();
}
