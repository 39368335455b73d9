#include "console/MainUnit.h"
#include "console/ProgramIcon.h"
#include "serial/ComPort.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv)
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
    form.show();
    return app.exec();
}
