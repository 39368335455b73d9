#pragma once
// A port on another machine under the serial port component: the device layer the port
// opens for a name with "://". The network port runs on a thread of its own, so the
// connection, the negotiation and the server's answers go on whatever the port's threads
// do; this layer hands bytes and line events across and waits, within bounds, where the
// device interface must answer at once (the open, the rate the server took).
//
// A lost connection is a hang-up: the port closes as for a pulled adapter, and the
// reconnector opens it again when the server answers. Until a lost name is open again, an
// open of it waits kQuickConnectMs at most and takes a server that is not there yet for a
// device that is not there yet, so a dead server never holds the window up for long.

#include "serial/SerialDevice.h"

#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QThread;
class TNetPort;

class TNetSerialDevice : public ISerialDevice {
public:
    static constexpr int kQuickConnectMs = 300;

    TNetSerialDevice();
    ~TNetSerialDevice() override;

    int identify(const QByteArray& path, TDeviceIdentity& identity) override;
    int open(const QByteArray& path) override;
    void close() override;
    int setQueueSizes(uint32_t inputSize, uint32_t outputSize) override;
    int setLineConfig(const TSerialLineConfig& config) override;
    int setTimeouts(const TSerialTimeouts& timeouts) override;
    int actualBaudRate(uint32_t& rate) override;
    int status(uint32_t& errorWord, uint32_t& inputCount) override;
    int modemStatus(uint32_t& modemStatus) override;
    int escape(uint32_t function) override;
    int purge(uint32_t flags) override;
    int lineErrorCounts(TLineErrorCounts& counts) override;
    int readSome(char* buffer, std::size_t count, std::size_t& got) override;
    int writeSome(const char* data, std::size_t count, std::size_t& put) override;
    int waitReadable(int timeoutMs) override;
    int waitWritable(int timeoutMs) override;
    int setEventMask(uint32_t mask) override;
    int waitEvent(uint32_t& events) override;
    void cancelWait() override;

    struct Shared;

private:
    template <typename F> void onPortThread(F&& f);

    std::shared_ptr<Shared> shared_;
    std::unique_ptr<QThread> thread_;
    TNetPort* port_ = nullptr; // lives on thread_
    QString name_;
    bool quick_ = false;
    bool rfc2217_ = false;
};

// Makes the serial port component open names with "://" through TNetSerialDevice, and tell
// why such an open failed in the network's own words.
void RegisterNetPorts();

// Where a network port's notices go (a request its server left unanswered, said once per
// connection): handler runs on context's thread; without one they go to the log.
void SetNetNoticeHandler(
    QObject* context, std::function<void(const QString& port, const QString& text)> handler);

// Why the last open of a network port name failed; empty when it did not.
QString NetOpenFailureText(const QString& name);
