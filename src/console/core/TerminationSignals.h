#pragma once
// SIGTERM, SIGINT and SIGHUP (a session logging out, Ctrl+C in the starting shell) as a Qt
// signal on the thread that made the object. The handler only writes the signal's number
// into a pipe; a socket notifier reads it on the event loop, where anything may be done.
// One instance at a time; its destruction gives the signals their default action back.

#include <QObject>
#include <memory>

class QSocketNotifier;

class TTerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TTerminationSignals(QObject* parent = nullptr);
    ~TTerminationSignals() override;

    // False when the pipe or a handler could not be set up; the signals then keep their
    // default action.
    bool Installed() const { return installed_; }

signals:
    void Received(int signal);

private:
    void readPipe();

    bool installed_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
};
