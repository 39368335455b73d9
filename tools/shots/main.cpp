// orvik-shots OUTPUT_DIR [SECONDS]
// Runs the console as the operator would: chooses the RS232 connection, lets the device's
// traffic flow for SECONDS (default 5), starts a capture with the PUSK preset, then saves one
// picture per page into OUTPUT_DIR. The settings file is the console's own (program folder).
#include "console/MainUnit.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

namespace {

void waitMs(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: orvik-shots OUTPUT_DIR [SECONDS]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 5;
    QDir().mkpath(out);

    TForm1 form;
    form.show();
    waitMs(300);

    // A port that cannot open brings up the set-up dialog; headless nobody answers it.
    bool dialogSeen = false;
    QTimer dismiss;
    QObject::connect(&dismiss, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialogSeen = true;
                form.grab().save(out + QStringLiteral("/setup-dialog.png"));
                modal->grab().save(out + QStringLiteral("/setup-dialog-only.png"));
                dialog->reject();
            }
        }
    });
    dismiss.start(1500);

    form.PageControl1->setCurrentIndex(1);
    form.findChild<QRadioButton*>(QStringLiteral("RSBut"))->click();
    const QString port = form.findChild<QLabel*>(QStringLiteral("Label3"))->text();
    std::printf("port: %s%s\n", qPrintable(port), dialogSeen ? " (the port could not be opened)" : "");

    form.PageControl1->setCurrentIndex(0);
    form.findChild<QPushButton*>(QStringLiteral("Button1"))->click(); // PUSK
    waitMs(seconds * 1000);

    const char* names[] = {"1-terminal", "2-settings", "3-scope", "4-help"};
    for (int i = 0; i < form.PageControl1->count(); ++i) {
        form.PageControl1->setCurrentIndex(i);
        waitMs(400); // the journal page shows what came in at its next refresh
        const QString name = i < 4
            ? QString::fromLatin1(names[i])
            : QStringLiteral("%1-%2").arg(i + 1).arg(form.PageControl1->widget(i)->objectName().toLower());
        const QString file = out + QStringLiteral("/%1.png").arg(name);
        form.PageControl1->setCurrentIndex(i); // a counted event shows the scope page meanwhile
        form.grab().save(file);
        std::printf("%s\n", qPrintable(file));
    }
    form.close();
    return 0;
}
