// The console program as installed, with one addition for the signal tests: once its window
// is up it chooses RS232 on a port that cannot be opened, so the connection's retry loop
// holds the port's set-up dialog open. It prints "MODAL" when that modal dialog is shown,
// "LOOP ENDED" when the retry loop has returned and "CLOSE" when the window gets its close.

#include "console/ConsoleApp.h"
#include "console/MainUnit.h"
#include "console/SetupPage.h"
#include "serial/ComPort.h"

#include <QApplication>
#include <QEvent>
#include <QRadioButton>
#include <QTimer>
#include <cstdio>

namespace {

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

class CloseWatch : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close)
            say("CLOSE");
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char** argv)
{
    return RunConsole(argc, argv, [](TForm1& form) {
        form.installEventFilter(new CloseWatch(&form));
        form.ComPort1->SetPort(QStringLiteral("/nonexistent/ttyORVIK"));
        QTimer::singleShot(0, &form, [&form] {
            form.Setup->RSBut->click();
            say("LOOP ENDED");
        });
        auto* poll = new QTimer(&form);
        QObject::connect(poll, &QTimer::timeout, poll, [poll] {
            if (!QApplication::activeModalWidget())
                return;
            say("MODAL");
            poll->stop();
        });
        poll->start(10);
    });
}
