#pragma once
// TComLink: the optional handlers through which a client (the terminal, a lamp) hears of a
// port's activity. The client owns the record and attaches it with TCustomComPort::AttachLink;
// it must detach before the record goes. Sender is always the port. Every handler runs on
// the thread that owns the port (the user-interface thread with the default delivery).

#include <QObject>
#include <functional>

struct TComLink {
    using TSignalHandler = std::function<void(QObject* Sender, bool OnOff)>;
    using TBufHandler = std::function<void(QObject* Sender, const char* Buffer, int Count)>;
    using TNotifyHandler = std::function<void(QObject* Sender)>;

    TSignalHandler ConnHandler; // true after open, false after close
    TBufHandler RxBufHandler; // received bytes (makes the link a data link)
    TBufHandler TxBufHandler; // bytes of a completed write
    TNotifyHandler TxEmptyHandler; // output queue became empty
    TNotifyHandler RxFlagHandler; // the event byte was received
    TSignalHandler CtsHandler; // line state after open / change; false before close
    TSignalHandler DsrHandler;
    TSignalHandler RlsdHandler;
    TNotifyHandler RingHandler;
    TSignalHandler TxHandler; // true when a write starts, false when output drained
    TSignalHandler RxHandler; // true when bytes are waiting, false when a read emptied the queue
};
