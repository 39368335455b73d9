#pragma once
// One line for the operator on why a port is not as asked: the set-up dialog shows it after
// a failed open instead of a message box. No widgets.

#include <QString>

class EComPort;
class TCustomComPort;

// "Cannot open <port>: <system's error text>." with, for a permission error, how to get
// access to the device; the port error's own message when the system gave no code. A rate
// the device refused is named.
QString OpenFailureText(const TCustomComPort& port, const EComPort& error);

// For an open port whose device runs more than kRateTolerancePercent off the rate asked:
// what it runs at; otherwise empty.
inline constexpr double kRateTolerancePercent = 2.0;
QString RateDeviationText(const TCustomComPort& port);
