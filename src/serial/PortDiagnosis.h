#pragma once
// One line for the operator on why a port is not as asked: the set-up dialog shows it after
// a failed open instead of a message box. No widgets.

#include <QString>

class EComPort;

// "Cannot open <port>: <system's error text>." with, for a permission error, how to get
// access to the device; the port error's own message when the system gave no code.
QString OpenFailureText(const QString& port, const EComPort& error);
