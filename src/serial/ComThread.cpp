#include "serial/ComThread.h"

#include "common/QueuedCall.h"
#include "serial/ComPort.h"
#include "serial/SerialDevice.h"

#include <QMetaObject>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

// Hand-over point between the event thread and the port's thread. The event thread leaves
// one job and waits for it; the port's thread runs it from its event loop or, while
// stopping, from Stop itself. Shared with the queued calls, which may outlive the thread.
struct TComThread::Mailbox {
    std::mutex mutex;
    std::condition_variable cv;
    std::function<void()> job;
    bool jobDone = true;
    bool released = false; // the waiting event thread was let go (close from a handler)
    bool ended = false;
    std::exception_ptr error;
    std::thread::id runner; // thread running a job right now
    std::function<void()> onDone; // wakes the event thread's input pump; cleared at its end

    void runPending()
    {
        std::function<void()> j;
        {
            std::lock_guard lock(mutex);
            if (!job)
                return;
            j = std::move(job);
            job = nullptr;
            runner = std::this_thread::get_id();
        }
        std::exception_ptr e;
        try {
            j();
        } catch (...) {
            e = std::current_exception();
        }
        std::lock_guard lock(mutex);
        runner = {};
        error = e;
        jobDone = true;
        if (onDone)
            onDone();
        cv.notify_all();
    }
};

TComThread::TComThread(
    TCustomComPort* port, ISerialDevice* device, TComEvents events, TSyncMethod method, uint64_t session)
    : port_(port)
    , device_(device)
    , watched_(events)
    , method_(method)
    , session_(session)
    , mailbox_(std::make_shared<Mailbox>())
{
}

TComThread::~TComThread()
{
    Stop();
}

void TComThread::Start()
{
    device_->setEventMask(EventsToMask(watched_));
    ISerialDevice* device = device_;
    mailbox_->onDone = [device] { device->wakePump(); };
    thread_ = std::thread([this] { run(); });
}

void TComThread::Stop()
{
    if (!thread_.joinable())
        return;
    device_->cancelWait();
    std::this_thread::yield();
    std::shared_ptr<Mailbox> mb = mailbox_;
    {
        std::unique_lock lock(mb->mutex);
        // Closing from inside a delivery: the event thread waits for the job that is
        // running on this very stack; let it go so it can see the stop and end.
        if (mb->runner == std::this_thread::get_id()) {
            mb->released = true;
            mb->cv.notify_all();
        }
        while (!mb->ended) {
            if (mb->job) {
                lock.unlock();
                mb->runPending();
                lock.lock();
                continue;
            }
            mb->cv.wait(lock);
        }
    }
    thread_.join();
}

namespace {
// An error of the handling that says the device went away closes the port like a hang-up;
// any other ends the thread without a report.
bool deviceGone(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EComPort& e) {
        return ClassifyErrno(e.SystemError(), TDevicePhase::Io) == TErrnoKind::HangUp;
    } catch (...) {
        return false;
    }
}
} // namespace

TComThread::Outcome TComThread::deliver(TComEvents events)
{
    switch (method_) {
    case smThreadSync: {
        std::shared_ptr<Mailbox> mb = mailbox_;
        {
            std::lock_guard lock(mb->mutex);
            TCustomComPort* port = port_;
            mb->job = [port, events] { port->DispatchEvents(events); };
            mb->jobDone = false;
            mb->error = nullptr;
        }
        // A close that began after this batch was taken may already be waiting in Stop;
        // it runs the job itself, so it must hear of it.
        mb->cv.notify_all();
        postQueuedCall(port_, [mb] { mb->runPending(); });
        // The device keeps taking input meanwhile, so the next batch finds it all queued.
        device_->pumpInput([&mb] {
            std::lock_guard lock(mb->mutex);
            return mb->jobDone || mb->released;
        });
        std::unique_lock lock(mb->mutex);
        mb->cv.wait(lock, [&] { return mb->jobDone || mb->released; });
        if (mb->released)
            return Outcome::Failed;
        if (mb->error)
            return deviceGone(mb->error) ? Outcome::DeviceGone : Outcome::Failed;
        return Outcome::Handled;
    }
    case smNone:
        try {
            port_->DispatchEvents(events);
        } catch (...) {
            return deviceGone(std::current_exception()) ? Outcome::DeviceGone : Outcome::Failed;
        }
        return Outcome::Handled;
    case smWindowSync: {
        // One queued message per event in dispatch order; the thread goes on at once.
        static constexpr TComEvent kOrder[]
            = {evError, evRxChar, evTxEmpty, evBreak, evRing, evCTS, evDSR, evRxFlag, evRLSD, evRx80Full};
        TCustomComPort* port = port_;
        const uint64_t session = session_;
        for (TComEvent ev : kOrder)
            if (events.contains(ev))
                postQueuedCall(port_, [port, session, ev] { port->windowEvent(session, ev); });
        return Outcome::Handled;
    }
    }
    return Outcome::Failed;
}

void TComThread::run()
{
    bool hungUp = false;
    for (;;) {
        uint32_t mask = 0;
        const int r = device_->waitEvent(mask);
        if (r == ECANCELED)
            break;
        if (r != 0) {
            hungUp = ClassifyErrno(r, TDevicePhase::Io) == TErrnoKind::HangUp;
            break;
        }
        const TComEvents events = MaskToEvents(mask) & watched_;
        lastEvents_ = events.bits();
        if (events.empty())
            continue;
        const Outcome outcome = deliver(events);
        if (outcome != Outcome::Handled) {
            hungUp = outcome == Outcome::DeviceGone;
            break;
        }
    }
    device_->setEventMask(0);
    device_->purge(comm::PURGE_TXCLEAR | comm::PURGE_RXCLEAR);
    if (hungUp) {
        // The close runs on the port's thread through the normal close path; it joins
        // this thread, so it must not be waited for here.
        TCustomComPort* port = port_;
        const uint64_t session = session_;
        postQueuedCall(port_, [port, session] { port->hangUpFromThread(session); });
    }
    std::lock_guard lock(mailbox_->mutex);
    mailbox_->onDone = nullptr; // a job finishing after this must not touch the device
    mailbox_->ended = true;
    mailbox_->cv.notify_all();
}
