#pragma once
// The serial port's error: a numbered message (1..23) plus the operating system's error
// code of the failed call (-1 when none is attached). Texts pass through the "serialport"
// catalogue.

#include <QByteArray>
#include <QString>
#include <exception>

// Numbers of the port errors, for readable raise sites.
enum : int {
    CError_OpenFailed = 1,
    CError_WriteFailed = 2,
    CError_ReadFailed = 3,
    CError_InvalidAsync = 4,
    CError_PurgeFailed = 5,
    CError_AsyncCheck = 6,
    CError_SetStateFailed = 7,
    CError_TimeoutsFailed = 8,
    CError_SetupComFailed = 9,
    CError_ClearComFailed = 10,
    CError_ModemStatFailed = 11,
    CError_EscapeComFailed = 12,
    CError_TransmitFailed = 13,
    CError_ConnChangeProp = 14,
    CError_EnumPortsFailed = 15,
    CError_StoreFailed = 16,
    CError_LoadFailed = 17,
    CError_RegFailed = 18,
    CError_LedStateFailed = 19,
    CError_ThreadCreated = 20,
    CError_WaitFailed = 21,
    CError_HasLink = 22,
    CError_RegError = 23,
};

class EComPort : public std::exception {
public:
    // systemError -1: plain message; otherwise the message gets the system-code suffix.
    explicit EComPort(int portError, int systemError = -1);

    int PortError() const noexcept { return portError_; }
    int SystemError() const noexcept { return systemError_; }
    const QString& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

    // Untranslated table text of a port error number ("" outside 1..23).
    static const char* RawText(int portError);
    // The composed, translated message for a number and an optional system code.
    static QString ComposeMessage(int portError, int systemError);

private:
    int portError_;
    int systemError_;
    QString message_;
    QByteArray utf8_;
};
