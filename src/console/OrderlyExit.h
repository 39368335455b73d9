#pragma once
// Ends the program the ordinary way when it is asked to from outside (a termination
// signal): reports go to standard error from then on, open modal dialogs are cancelled and
// the event loops they ran are left, and then the main window closes as if the operator
// closed it (settings saved, port closed, log closed) and the application quits. Whatever
// still holds the program after the deadline is cut short: the window is closed from where
// it stands and every event loop left, and should even that hang, the process ends.

#include <QObject>
#include <QString>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class QTimer;
class TForm1;

class TOrderlyExit : public QObject {
    Q_OBJECT
public:
    explicit TOrderlyExit(TForm1& mainWindow, int deadlineMs = 4000);
    // Ends the last resort: the program got past the window's close.
    ~TOrderlyExit() override;

    void Request(int signal);
    bool Requested() const { return requested_; }

    // Where reports go once the exit has begun; standard error unless a test replaces it.
    std::function<void(const QString& message)> Report;

private:
    void step();
    void finish();

    TForm1& form_;
    int deadlineMs_;
    bool requested_ = false;
    bool finished_ = false;
    QTimer* timer_ = nullptr;
    qint64 startedMs_ = 0;
    std::thread lastResort_;
    std::mutex lastResortMutex_;
    std::condition_variable lastResortCancelled_;
    bool cancelled_ = false;
};
