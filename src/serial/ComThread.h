#pragma once
// TComThread: the event thread of an open port. It waits on the device for the watched
// events or a stop request and hands each batch to the port as its SyncMethod says.

#include "serial/ComTypes.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

class TCustomComPort;
class ISerialDevice;

class TComThread {
public:
    TComThread(
        TCustomComPort* port, ISerialDevice* device, TComEvents events, TSyncMethod method, uint64_t session);
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    void Start();
    // Ends the thread; called on the port's thread, which keeps running the deliveries the
    // thread queued for it until the thread has ended.
    void Stop();
    // Events of the last completed wait.
    TComEvents Events() const { return TComEvents::fromBits(lastEvents_.load()); }

    struct Mailbox;

private:
    void run();
    enum class Outcome { Handled, Failed, DeviceGone };
    Outcome deliver(TComEvents events);

    TCustomComPort* port_;
    ISerialDevice* device_;
    TComEvents watched_;
    TSyncMethod method_;
    uint64_t session_;
    std::atomic<uint32_t> lastEvents_{0};
    std::shared_ptr<Mailbox> mailbox_;
    std::thread thread_;
};
