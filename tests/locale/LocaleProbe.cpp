// Prints, one "key<TAB>text" line each in UTF-8, every text the serial port's set-up dialog,
// the terminal's settings dialog and the port errors show in the environment it is started
// with. The locale tests run it under chosen environments and from a folder without a
// catalogue, because the locale is fixed when the application object is made.

#include "common/Intl.h"
#include "serial/EComPort.h"
#include "serial/widgets/ComSetupFrm.h"
#include "serial/widgets/SerialPortList.h"
#include "terminal/ComTrmSetForm.h"
#include "terminal/CustomComTerminal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

void print(const QString& key, const QString& text)
{
    const QByteArray line = (key + QLatin1Char('\t') + text + QLatin1Char('\n')).toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
}

// Every caption of the dialog by objectName; list items joined by '|' under "<name>#items".
void printDialog(const QDialog& dialog)
{
    const QString form = dialog.objectName();
    print(form, dialog.windowTitle());
    QList<QWidget*> children = dialog.findChildren<QWidget*>();
    std::sort(children.begin(), children.end(),
        [](const QWidget* a, const QWidget* b) { return a->objectName() < b->objectName(); });
    for (const QWidget* w : children) {
        const QString key = form + QLatin1Char('/') + w->objectName();
        if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        if (!w->toolTip().isEmpty())
            print(key + QLatin1String("#tip"), w->toolTip());
        if (const auto* box = qobject_cast<const QGroupBox*>(w)) {
            print(key, box->title());
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            print(key, button->text());
        } else if (const auto* label = qobject_cast<const QLabel*>(w)) {
            print(key, label->text());
        } else if (const auto* list = qobject_cast<const QComboBox*>(w)) {
            QStringList items;
            for (int i = 0; i < list->count(); ++i)
                items << list->itemText(i);
            print(key + QLatin1String("#items"), items.join(QLatin1Char('|')));
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // An empty device list, so the port box reads the same on every machine.
    QTemporaryDir sysfs;
    QDir(sysfs.path()).mkpath(QStringLiteral("class/tty"));
    SetSerialPortsSysfsRoot(sysfs.path());

    TComSetupFrm setup;
    printDialog(setup);
    TComTrmSetForm terminal;
    printDialog(terminal);
    for (const auto& [key, text] : TCustomComTerminal::Texts())
        print(QStringLiteral("TComTerminal/") + key, text);

    // With a folder argument, also saves a picture of each dialog there, to look at the layout
    // a translation gives.
    if (argc > 1) {
        for (QDialog* dialog : {static_cast<QDialog*>(&setup), static_cast<QDialog*>(&terminal)}) {
            dialog->show();
            QApplication::processEvents();
            dialog->grab().save(QDir(QString::fromLocal8Bit(argv[1]))
                                    .filePath(dialog->objectName() + QStringLiteral(".png")));
            dialog->hide();
        }
    }

    for (int number = 1; number <= 23; ++number) {
        print(QStringLiteral("EComPort/%1").arg(number), EComPort(number).Message());
        print(QStringLiteral("EComPort/%1/2").arg(number), EComPort(number, 2).Message());
    }
    // The set-up dialog's reason line: the texts it is made of, before their arguments.
    for (const char* text : {"Cannot open %1: %2.", "%1 refused the line settings (%2 baud): %3.",
             "The device runs at %1 baud, not the %2 asked for.",
             "Your user needs access to the device (on Debian: membership of the group \"dialout\", then log "
             "in again)."})
        print(QStringLiteral("Reason/") + QString::fromLatin1(text).section(QLatin1Char(' '), 0, 2),
            intl::sp(text));
    // what() carries the same text for the standard error report.
    print(QStringLiteral("EComPort/1/2/what"), QString::fromUtf8(EComPort(1, 2).what()));
    return 0;
}
