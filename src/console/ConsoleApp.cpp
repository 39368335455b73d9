#include "console/ConsoleApp.h"

#include "console/MainUnit.h"
#include "console/OrderlyExit.h"
#include "console/ProgramIcon.h"
#include "console/core/TerminationSignals.h"
#include "serial/ComPort.h"

#include <QApplication>
#include <QMessageBox>

int RunConsole(int& argc, char** argv, const std::function<void(TForm1&)>& started)
{
    QApplication app(argc, argv);
    SetUpApplicationIdentity();
    // Port errors raised where no caller can catch them (inside a delivery) reach the
    // operator as the application's error report.
    TCustomComPort::SetErrorReporter([](const std::exception& error) {
        QMessageBox::critical(
            QApplication::activeWindow(), QApplication::applicationName(), QString::fromUtf8(error.what()));
    });
    TForm1 form;
    TTerminationSignals terminationSignals;
    auto* orderlyExit = new TOrderlyExit(form);
    QObject::connect(
        &terminationSignals, &TTerminationSignals::Received, orderlyExit, &TOrderlyExit::Request);
    form.show();
    if (started)
        started(form);
    return app.exec();
}
