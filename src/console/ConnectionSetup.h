#pragma once
// The connection set-up of the settings page: "RS232" opens the port, showing its set-up
// dialog after every failed attempt until an open succeeds or the operator cancels;
// "Изключен" closes it; "RS232 Настройки" shows the dialog at any time. A port on another
// machine opens without holding the window: the status line says it is connecting, and the
// outcome (open, or the dialog with the reason) comes when the network gives it. After every open,
// reopen or reconfiguration Label3 and Label5 show the port, the status line says so and the
// DTR and RTS lines follow their boxes. The reconnector reopens a port whose device went away
// (AutoReconnect); the status line and the journal follow its wait.

#include <QObject>
#include <QString>

class SetupPage;
class TComPort;
class TerminalPage;
class TJournalRecorder;
class TPortReconnector;
class TStatusLine;

class TConnectionSetup : public QObject {
    Q_OBJECT
public:
    // The port as the window creates it, before the settings file is applied.
    TConnectionSetup(TComPort& port, SetupPage& setup, TerminalPage& terminal, TStatusLine& status,
        TJournalRecorder& journal, QWidget& window);

    TPortReconnector* Reconnector() const { return reconnector_; }
    // False when the operator cancelled the set-up dialog instead. True also when the open
    // is still under way (IsOpening); its failure then brings the dialog back later.
    bool OpenCom();
    bool IsOpening() const { return awaiting_; }
    void PortReconfigured();
    void RSButClick();
    void NoneButClick();
    void Button9Click();
    void DTRClick();
    void RTSClick();
    // The rate the device took (a UART may round it), else the rate asked for.
    QString Rate() const;

private:
    void connectSerial();
    void openFailed(const QString& reason);
    void showRate();

    TComPort& port_;
    SetupPage& setup_;
    TerminalPage& terminal_;
    TStatusLine& status_;
    TJournalRecorder& journal_;
    QWidget& window_;
    TPortReconnector* reconnector_ = nullptr;
    bool awaiting_ = false; // an open started by OpenCom has not ended yet
};
