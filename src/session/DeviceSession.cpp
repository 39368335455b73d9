#include "session/DeviceSession.h"

#include "archive/CaptureRecorder.h"
#include "common/ReceivedText.h"
#include "session/LinkMonitor.h"
#include "session/PortWriteTarget.h"
#include "transport/Transport.h"

#include <QScopeGuard>
#include <utility>

TDeviceSession::TDeviceSession(TTransport& transport, QObject* parent)
    : QObject(parent)
    , transport_(transport)
    // Attached before the session's own link: a line is logged before the parser's verdict.
    , monitor_(new TLinkMonitor(&transport, this))
    , parser_(std::make_unique<TRecordParser>(static_cast<TRecordView&>(*this)))
    , journal_(std::make_unique<TJournalRecorder>(journalSinks_))
    , writeTarget_(std::make_unique<TPortWriteTarget>(transport))
    , writer_(std::make_unique<TPortWriter>(*writeTarget_))
{
    writer_->OnStallEnded
        = [this](const QString& failure, int dropped) { emit stallEnded(failure, dropped); };
    link_.RxBufHandler = [this](QObject*, const char* bytes, int count) { receive(bytes, count); };
    transport_.AttachLink(&link_);
    connect(&transport_, &TTransport::Destroying, this, [this] {
        transport_.DetachLink(&link_);
        attached_ = false;
    });
}

TDeviceSession::~TDeviceSession()
{
    // A transport that went first has detached the link already.
    if (attached_)
        transport_.DetachLink(&link_);
    log_.close();
}

// --- data log

bool TDeviceSession::openLog(const QString& path, bool append)
{
    logPath_ = path;
    return log_.open(path, append);
}

void TDeviceSession::closeLog()
{
    log_.close();
}

void TDeviceSession::writeLog(QByteArrayView bytes)
{
    if (!log_.isOpen() || log_.write(bytes))
        return;
    // The log closed itself; sending and receiving go on.
    emit logFailed(log_.lastError());
}

// --- sending

void TDeviceSession::send(const QByteArray& text)
{
    if (!transport_.Connected()) {
        emit sendRefused();
        return;
    }
    QByteArray line = text;
    if (cr_)
        line += '\r';
    if (lf_)
        line += '\n';
    if (logOutgoing_)
        writeLog(line);
    if (collectingAnswers_)
        answers_.append(line);
    else if (!writer_->write({line}))
        return;
    if (echo_) {
        if (cr_ && !lf_)
            line += '\n';
        emit echoed(line);
        if (logIncoming_)
            writeLog(line);
    }
}

// --- received records

void TDeviceSession::receive(const char* bytes, int count)
{
    const QByteArray text = shapeReceived(bytes, count, appendLF_, force7Bit_);
    // Reported here: unwinding into the transport's delivery would end its reception. The
    // chunk is shown all the same.
    try {
        take(text);
    } catch (const std::exception& e) {
        emit failed(QString::fromUtf8(e.what()));
    } catch (...) {
        emit failed({});
    }
    emit received(text);
}

void TDeviceSession::take(const QByteArray& text)
{
    if (logIncoming_)
        writeLog(text);
    // A block arriving while this one is parsed (a listener ran the event loop) adds its
    // answers behind this block's, which keeps them in order on the wire.
    const bool outer = std::exchange(collectingAnswers_, true);
    {
        const auto restore = qScopeGuard([this, outer] { collectingAnswers_ = outer; });
        parser_->feed(text);
    }
    if (outer)
        return;
    const QByteArrayList answers = std::exchange(answers_, {});
    // A listener of the parse may have closed the transport meanwhile: the answers then go
    // nowhere.
    if (!answers.isEmpty() && transport_.Connected())
        writer_->write(answers);
}

void TDeviceSession::transportClosed()
{
    writer_->portClosed();
    // A record cut off by the close must not run into the first record of the next
    // connection.
    parser_->dropPartialLine();
}

void TDeviceSession::setReadoutText(TReadout which, QByteArrayView text)
{
    emit readoutText(which, text.toByteArray());
}

void TDeviceSession::setCaptureRecorder(CaptureRecorder* recorder)
{
    recorder_ = recorder;
    if (!recorder)
        return;
    recorder->portName = [this] { return transport_.Port(); };
    recorder->xTitle = [this] { return xTitle_; };
    recorder->yTitle = [this] { return yTitle_; };
}

void TDeviceSession::setLeftAxisTitle(const QString& title)
{
    yTitle_ = title;
    emit leftAxisTitle(title);
}

void TDeviceSession::setBottomAxisTitle(const QString& title)
{
    xTitle_ = title;
    emit bottomAxisTitle(title);
}

void TDeviceSession::addPoint(double x, double y)
{
    emit pointAdded(x, y);
    if (!recorder_)
        return;
    recorder_->addPoint(std::int64_t(x), std::int32_t(y));
    if (recorder_->pointCount() == 1)
        emit captureBegun();
}

void TDeviceSession::clearScope()
{
    if (recorder_)
        recorder_->reset();
    emit scopeCleared();
}

void TDeviceSession::lineOutcome(const TLineOutcome& outcome)
{
    monitor_->lineOutcome(outcome);
    journal_->lineOutcome(outcome);
    // The capture this event starts remembers the event's row by its time.
    if (outcome.event && recorder_)
        recorder_->eventCounted(QString::fromLatin1(eventName(*outcome.event)), journal_->lastRowMs());
    emit lineHandled(outcome);
}

void TDeviceSession::resetCounters()
{
    parser_->resetCounters();
    journal_->resetByButton(TResetKind::Counters);
}

void TDeviceSession::resetReadouts()
{
    parser_->resetReadouts();
    journal_->resetByButton(TResetKind::Readouts);
}

void TDeviceSession::resetScope()
{
    parser_->resetScope();
    journal_->resetByButton(TResetKind::Scope);
}
