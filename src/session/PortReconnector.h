#pragma once
// TPortReconnector: opens a transport again by itself after its device went away (an adapter
// pulled and plugged in again, a port server restarted), under the same name and without any
// dialog. It knows the transport interface only: the transport says where to watch and how
// to weigh a failed open.
//
// Only a device lost from an open port starts a wait; a close asked for, or a failed first
// open, does not. The first attempt is made at once; then it watches the transport's folder
// (for a serial port the folder of its name, or its nearest existing parent), for the name
// appearing or being renamed into place, and also tries every kRetryMs. An open that ends
// later (a port on another machine) is waited for before the next attempt; its failure
// counts as one of an open that fails at once.
//
// Only the device that was lost is opened again (SameDevice): another one under the name is
// left untouched and told once (refused). A pseudo-terminal named by its own number is not
// waited for at all, as its number goes to the next program that asks. A device that is
// there but cannot be opened is retried without a word for kLastingMs (udev sets the
// device's group after it appears, other programs probe new ports for a moment); past that
// the error is told once (failing) and the wait goes on, trying every kSlowRetryMs and on
// every change of the folder, as a busy device may be let go and access may be granted.
//
// No widgets: the window creates it, stops it when the operator chooses another way, and
// shows its signals.

#include "transport/TransportTypes.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

class TTransport;

class TPortReconnector : public QObject {
    Q_OBJECT
public:
    static constexpr int kRetryMs = 500;
    static constexpr int kLastingMs = 5000;
    static constexpr int kSlowRetryMs = 5000;

    explicit TPortReconnector(TTransport* port, QObject* parent = nullptr);
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

signals:
    // A wait began for port (the journal's `waiting`).
    void waitingStarted(const QString& port);
    // The port is open again (the journal's `reconnected`); the lines and labels are the
    // window's business.
    void reconnected(const QString& port);
    // The device went while reconnection is off, or reconnection was switched off meanwhile,
    // or it was a pseudo-terminal named by its number, which does not come back.
    void lost(const QString& port);
    // Another device is under the name (its description): not opened. Once per device.
    void refused(const QString& port, const QString& found);
    // The device is there but has not opened for kLastingMs: why. Once per error.
    void failing(const QString& port, const QString& reason);
    void stopped();

private:
    void deviceLost();
    void attempt();
    void watch();
    void endWait();
    void failed(const QString& cause, const QString& text);
    void opened();

    TTransport* port_;
    QFileSystemWatcher watcher_;
    QTimer retry_;
    bool enabled_ = true;
    bool waiting_ = false;
    bool attempting_ = false;
    bool opening_ = false; // an open of ours that ends later is under way
    QString name_;
    TDeviceIdentity expected_;
    QString toldRefused_; // the key of the other device told about
    QString toldError_; // the cause told about
    QString error_; // the cause of the failures since errorTimer_ started
    QElapsedTimer errorTimer_;
};
