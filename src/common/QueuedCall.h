#pragma once
// Posting a call from one thread to an object living in another (the port's event thread
// to the port's thread, the archive's worker and the window).
//
// Qt's event queue orders the two threads under its own lock, inside the Qt library, which
// ThreadSanitizer does not instrument: without a mark it takes the call's captures (written
// by the event thread, read and freed by the receiver) for a data race. The mark models
// exactly what the queue's lock gives: everything the poster did before the post happens
// before everything the receiver does from the call on. Without ThreadSanitizer it is empty.

#include <QMetaObject>
#include <QObject>
#include <type_traits>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#define ORVIK_TSAN_HANDOVER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORVIK_TSAN_HANDOVER 1
#endif
#endif

#ifdef ORVIK_TSAN_HANDOVER
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace serial_detail {

inline void handOverRelease([[maybe_unused]] const void* key)
{
#ifdef ORVIK_TSAN_HANDOVER
    __tsan_release(const_cast<void*>(key));
#endif
}

inline void handOverAcquire([[maybe_unused]] const void* key)
{
#ifdef ORVIK_TSAN_HANDOVER
    __tsan_acquire(const_cast<void*>(key));
#endif
}

// Marks both hand-overs of one queued call, keyed by its own address in the queue's copy:
// from the poster to the receiver when the call runs, and from the receiver back to
// whichever thread frees the copy (Qt lets the poster free it when the receiver was done
// first).
class HandOverMark {
public:
    HandOverMark() = default;
    // The call is copied into the queue's storage member by member: this member comes
    // last, so its copy marks the end of every write the post makes.
    HandOverMark(HandOverMark&& other) noexcept
        : armed_(true)
    {
        other.armed_ = false;
        release();
    }
    HandOverMark(const HandOverMark&)
        : armed_(true)
    {
        release();
    }
    HandOverMark& operator=(const HandOverMark&) = delete;
    ~HandOverMark()
    {
        if (armed_)
            acquire();
    }
    void received() { acquire(); }
    void done() { release(); }

private:
    void acquire()
    {
#ifdef ORVIK_TSAN_HANDOVER
        __tsan_acquire(this);
#endif
    }
    void release()
    {
#ifdef ORVIK_TSAN_HANDOVER
        __tsan_release(this);
#endif
    }
    bool armed_ = false; // the queue's copy, not the poster's moved-from original
};

template <class F> struct MarkedCall {
    F call;
    HandOverMark mark; // declared last, see HandOverMark
    void operator()()
    {
        mark.received();
        call();
        mark.done();
    }
};

} // namespace serial_detail

// Queues f to run in receiver's thread.
template <class F> void postQueuedCall(QObject* receiver, F&& f)
{
    QMetaObject::invokeMethod(
        receiver, serial_detail::MarkedCall<std::decay_t<F>>{std::forward<F>(f), {}}, Qt::QueuedConnection);
}

// Runs f in receiver's thread and waits until it has run; marked like postQueuedCall, and
// what f did happens before the return.
template <class F> void blockingQueuedCall(QObject* receiver, F&& f)
{
    const char done = 0; // its address is the mark of the way back
    auto call = [&done, g = std::forward<F>(f)]() mutable {
        g();
        serial_detail::handOverRelease(&done);
    };
    QMetaObject::invokeMethod(receiver, serial_detail::MarkedCall<decltype(call)>{std::move(call), {}},
        Qt::BlockingQueuedConnection);
    serial_detail::handOverAcquire(&done);
}

// Connects a signal to a slot of an object that lives in another thread. The call is
// queued like Qt's queued connection, in emission order, with the arguments copied; unlike
// it, the hand-over is marked (see postQueuedCall).
template <class Sender, class... SignalArgs, class Receiver, class... SlotArgs>
QMetaObject::Connection connectAcross(Sender* sender, void (Sender::*signal)(SignalArgs...),
    Receiver* receiver, void (Receiver::*slot)(SlotArgs...))
{
    return QObject::connect(
        sender, signal, sender,
        [receiver, slot](SignalArgs... args) {
            postQueuedCall(receiver, [receiver, slot, ... copies = std::decay_t<SignalArgs>(args)] {
                (receiver->*slot)(copies...);
            });
        },
        Qt::DirectConnection);
}
