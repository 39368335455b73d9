#pragma once
// TComSetupFrm: the port's modal set-up dialog, six setting boxes and OK/Cancel; and
// RunSetupDialog, which shows it for a port and applies the choice on OK.
//
// Use, either way:
//     RunSetupDialog(*ComPort1);            // this library's function
//     ComPort1->RunSetupDialog();           // the port's operation, once
//                                           // InstallComSetupDialog() ran at start
// Both raise EComPort 23 without showing anything when the device list cannot be read, and
// pass on the port's error when OK reopens an open port under a new name that fails (the
// port is closed then). Cancel changes nothing.
//
// After a failed open the caller passes the error: the dialog then shows the name that
// failed, selected, and one line with the reason (never a message box).

#include <QDialog>
#include <QFileSystemWatcher>
#include <QTimer>
#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class EComPort;
class TComComboBox;
class TCustomComPort;

class TComSetupFrm : public QDialog {
    Q_OBJECT

public:
    // Fills the six boxes' items (reads the device list: EComPort 23).
    explicit TComSetupFrm(QWidget* parent = nullptr);
    ~TComSetupFrm() override;

    // Combo1..Combo6 in their order: port, baud rate, data bits, stop bits, parity, flow.
    std::array<TComComboBox*, 6> Combos() const { return {Combo1, Combo2, Combo3, Combo4, Combo5, Combo6}; }

    // The line under the settings saying why the port is not as asked; hidden when empty.
    void SetReason(const QString& text);

    // The design's controls (objectName = member name).
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    TComComboBox* Combo1 = nullptr;
    TComComboBox* Combo2 = nullptr;
    TComComboBox* Combo3 = nullptr;
    TComComboBox* Combo4 = nullptr;
    TComComboBox* Combo5 = nullptr;
    TComComboBox* Combo6 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QLabel* Reason = nullptr;
    // The rate used when the baud-rate box says "Custom" (the port's CustomBaudRate): any
    // positive whole number, the common high rates offered. Shown only with "Custom".
    QComboBox* CustomRate = nullptr;
    static const QStringList& CustomRateSuggestions();
    // The whole number in CustomRate, 0 when it holds none.
    int CustomRateValue() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Devices that come and go while the dialog is open show in the port box: their nodes
    // and stable names appear under /dev (sysfs cannot be watched).
    void watchDevices();
    void baudRateChosen();
    void devicesChanged();
    QFileSystemWatcher devices_;
    QTimer settle_;
};

// Shows the dialog for port modally (parent: the active window when none is given) and on
// OK applies all six boxes inside one settings update, so an open port is configured once.
// Returns whether OK closed the dialog.
bool RunSetupDialog(TCustomComPort& port, QWidget* parent = nullptr, const EComPort* openFailure = nullptr);
// The same after an open that failed later (a port on another machine), with its reason.
bool RunSetupDialog(TCustomComPort& port, QWidget* parent, const QString& openFailureReason);

// Makes TCustomComPort::RunSetupDialog() run this dialog.
void InstallComSetupDialog();
