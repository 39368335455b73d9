#pragma once
// TPortReconnector: opens a port again by itself after its device went away (an adapter
// pulled and plugged in again), under the same name and without any dialog.
//
// Only a device lost from an open port starts a wait; a close asked for, or a failed first
// open, does not. While waiting it watches the folder of the port's name (not of the device
// a link points to), or its nearest existing parent (/dev/serial/by-id goes with the last
// adapter), for the name appearing or being renamed into place, and also tries every
// kRetryMs. Every failure during the wait is retried silently: udev sets the device's group
// after it appears, and other programs probe new ports for a moment.
//
// No widgets: the window creates it, stops it when the operator chooses another way, and
// shows its signals.

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

class TCustomComPort;

class TPortReconnector : public QObject {
    Q_OBJECT
public:
    static constexpr int kRetryMs = 500;

    explicit TPortReconnector(TCustomComPort* port, QObject* parent = nullptr);
    ~TPortReconnector() override;

    // Whether a lost device is waited for; off, the loss is only told (lost()). Switching
    // it off during a wait ends the wait the same way.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);

    bool IsWaiting() const { return waiting_; }
    // The port name being waited for.
    const QString& WaitedPort() const { return name_; }
    // Ends a wait (the operator chose "off", or to open the port by hand); emits stopped()
    // when one was running.
    void Stop();

    // The folder whose entries tell that the path may exist now: its own folder, or the
    // nearest parent that exists.
    static QString WatchFolder(const QString& devicePath);

signals:
    // A wait began for port (the journal's `waiting`).
    void waitingStarted(const QString& port);
    // The port is open again (the journal's `reconnected`); the lines and labels are the
    // window's business.
    void reconnected(const QString& port);
    // The device went while reconnection is off, or reconnection was switched off meanwhile.
    void lost(const QString& port);
    void stopped();

private:
    void deviceLost();
    void attempt();
    void watch();
    void endWait();

    TCustomComPort* port_;
    QFileSystemWatcher watcher_;
    QTimer retry_;
    bool enabled_ = true;
    bool waiting_ = false;
    bool attempting_ = false;
    QString name_;
};
