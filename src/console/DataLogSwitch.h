#pragma once
// TDataLogSwitch: the data log as the settings page drives it. The switch opens the log file
// (appending when "Добави към лог" is chosen and the file exists) and closes it; a file that
// cannot be opened turns the switch back off without a word. A write that fails later is
// reported once, and the switch goes off while sending and receiving go on. The file is chosen
// with a save dialog (".txt" added unless it ends so) and shown in the desktop's text viewer.

#include "console/FileDialog.h"

#include <QObject>
#include <QString>

class SetupPage;
class TDeviceSession;
class TErrorReports;

class TDataLogSwitch : public QObject {
public:
    // The dialog is asked in dataFolder.
    TDataLogSwitch(TDeviceSession& session, SetupPage& setup, TErrorReports& reports,
        const TFileDialog& fileDialog, const QString& dataFolder, QObject* parent = nullptr);

    void LogClick();
    void BitBtn1Click();
    void ViewLogClick();
    // The window closes: the log with it, when the switch is on.
    void Close();

private:
    void logFailed(int error);
    void switchOff();

    TDeviceSession& session_;
    SetupPage& setup_;
    TErrorReports& reports_;
    const TFileDialog& fileDialog_;
    QString dataFolder_;
    bool syncing_ = false; // the switch is being turned off here, not by the operator
};
