#pragma once
// Shared helpers of the serial tests: waiting on a condition while the event loop runs,
// and a recorder that writes every link call and notification into one ordered log.

#include "serial/ComPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <thread>

// Runs the event loop until pred holds or the deadline passes.
inline bool waitFor(const std::function<bool()>& pred, int timeoutMs = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Waits for pred without running the event loop, so that nothing queued for this thread
// (a delivery the event thread waits on) runs meanwhile.
inline bool waitOutsideEventLoop(const std::function<bool()>& pred, int timeoutMs = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct Recorder {
    QStringList log;
    QByteArray received;
    TComLink link;

    static QString onOff(bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); }

    // Every link slot and every port event writes one entry.
    void wire(TCustomComPort& port, bool dataLink = true)
    {
        link.ConnHandler = [this](QObject*, bool on) { log << "Conn" + onOff(on); };
        if (dataLink)
            link.RxBufHandler = [this](QObject*, const char* b, int n) {
                received.append(b, n);
                log << QStringLiteral("RxBuf%1").arg(n);
            };
        link.TxBufHandler = [this](QObject*, const char*, int n) { log << QStringLiteral("TxBuf%1").arg(n); };
        link.TxEmptyHandler = [this](QObject*) { log << "TxEmpty"; };
        link.RxFlagHandler = [this](QObject*) { log << "RxFlag"; };
        link.CtsHandler = [this](QObject*, bool on) { log << "Cts" + onOff(on); };
        link.DsrHandler = [this](QObject*, bool on) { log << "Dsr" + onOff(on); };
        link.RlsdHandler = [this](QObject*, bool on) { log << "Rlsd" + onOff(on); };
        link.RingHandler = [this](QObject*) { log << "Ring"; };
        link.TxHandler = [this](QObject*, bool on) { log << "Tx" + onOff(on); };
        link.RxHandler = [this](QObject*, bool on) { log << "Rx" + onOff(on); };
        port.OnBeforeOpen = [this](QObject*) { log << "OnBeforeOpen"; };
        port.OnAfterOpen = [this](QObject*) { log << "OnAfterOpen"; };
        port.OnBeforeClose = [this](QObject*) { log << "OnBeforeClose"; };
        port.OnAfterClose = [this](QObject*) { log << "OnAfterClose"; };
        port.OnCTSChange = [this](QObject*, bool on) { log << "OnCTS" + onOff(on); };
        port.OnDSRChange = [this](QObject*, bool on) { log << "OnDSR" + onOff(on); };
        port.OnRLSDChange = [this](QObject*, bool on) { log << "OnRLSD" + onOff(on); };
        port.OnRxChar = [this](QObject*, int n) { log << QStringLiteral("OnRxChar%1").arg(n); };
        port.OnRxBuf = [this](QObject*, const char*, int n) { log << QStringLiteral("OnRxBuf%1").arg(n); };
        port.OnTxEmpty = [this](QObject*) { log << "OnTxEmpty"; };
        port.OnBreak = [this](QObject*) { log << "OnBreak"; };
        port.OnRing = [this](QObject*) { log << "OnRing"; };
        port.OnRxFlag = [this](QObject*) { log << "OnRxFlag"; };
        port.OnRx80Full = [this](QObject*) { log << "OnRx80Full"; };
        port.OnError = [this](QObject*, TComErrors e) { log << QStringLiteral("OnError%1").arg(e.bits()); };
        port.AttachLink(&link);
    }
};
