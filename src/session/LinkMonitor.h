#pragma once
// TLinkMonitor: listens to the transport beside the session and keeps the figures of the link
// and the line inspector's log. It attaches its link before the session does, so a line's
// bytes are logged before the parser's verdict on it arrives; its timer shows held bytes,
// and tells the status line and the inspector a few times a second, never per record, and
// only while the port is open: at the close it tells them once more, with the rates at 0.

#include "session/LineLog.h"
#include "session/LinkStats.h"
#include "transport/ComLink.h"
#include "transport/TransportTypes.h"

#include <QObject>
#include <functional>

class QTimer;
class TTransport;

class TLinkMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 250;

    explicit TLinkMonitor(TTransport* port, QObject* parent = nullptr);
    ~TLinkMonitor() override;

    // Milliseconds since the epoch; tests give their own clock.
    std::function<qint64()> clockMs;

    // The parser's verdict on a line (from the window's record view).
    void lineOutcome(const TLineOutcome& outcome);
    // The port closed: bytes held without CR are shown, and the figures once more; a lost
    // link gets a row that says so.
    void connectionClosed(bool lost = false);
    // The port opened: after a loss, a row says the link is back.
    void connectionOpened();

    const TLinkStats& stats() const { return stats_; }
    const TLineLog& log() const { return log_; }

    // Runs one refresh now (the timer's work).
    void refresh();
    // Whether the timer runs (the port is open).
    bool refreshing() const;

signals:
    void refreshed(const TLinkFigures& figures, const TLineErrorCounts& lineErrors);

private:
    void dropPort();
    void portOpen(bool open);

    TTransport* port_ = nullptr;
    TComLink link_;
    TLinkStats stats_;
    TLineLog log_;
    QTimer* timer_ = nullptr;
    bool lost_ = false;
    TLineErrorCounts lastErrors_;
};
