#pragma once
// TDeviceSession: everything the console does with the device, without a window. It takes the
// port's received bytes, shapes them as the terminal shows them (AppendLF, Force7Bit), logs
// them, parses the records, answers them (the answers to one received block in one write),
// writes the operator's commands, keeps the data log and the journal, and feeds the capture
// recorder. Whoever shows it (the window, a command-line program, a test) listens to its
// signals; the values it needs (limits, line ends, echo, log choices) are set on it.

#include "session/DataLog.h"
#include "session/JournalRecorder.h"
#include "session/JournalRow.h"
#include "session/PortWriter.h"
#include "session/RecordParser.h"
#include "transport/ComLink.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>
#include <memory>

class CaptureRecorder;
class TLinkMonitor;
class TTransport;

class TDeviceSession : public QObject, private TRecordView {
    Q_OBJECT
public:
    explicit TDeviceSession(TTransport& transport, QObject* parent = nullptr);
    ~TDeviceSession() override;

    TTransport& transport() const { return transport_; }

    // --- values the session holds; the window sets them as the operator changes them
    // A limit as its edit shows it (Windows-1251); read as a whole number at every record.
    void setLimitText(TLimit which, const QByteArray& text) { limits_[std::size_t(which)] = text; }
    void setLineEnds(bool cr, bool lf)
    {
        cr_ = cr;
        lf_ = lf;
    }
    void setEcho(bool on) { echo_ = on; }
    void setShaping(bool appendLF, bool force7Bit)
    {
        appendLF_ = appendLF;
        force7Bit_ = force7Bit;
    }
    void setLogChoices(bool incoming, bool outgoing)
    {
        logIncoming_ = incoming;
        logOutgoing_ = outgoing;
    }
    // The archive's recorder of the live trace (null for none): the session feeds it its
    // points and events and tells it the port and the units the points came in.
    void setCaptureRecorder(CaptureRecorder* recorder);

    // --- the data log
    // Appends to an existing file when append is set; false when it cannot be opened.
    bool openLog(const QString& path, bool append);
    void closeLog();
    bool logOpen() const { return log_.isOpen(); }

    // --- what the operator does
    // A command (or an answer) with the chosen line ends, logged, written and echoed. With
    // the transport closed nothing is sent and sendRefused is emitted.
    void send(const QByteArray& text) override;
    void resetCounters();
    void resetReadouts();
    void resetScope();

    // Received bytes as the transport delivers them (public for a replay or a test).
    void receive(const char* bytes, int count);
    // The transport closed: a stall of the writer ends, a line cut off is forgotten.
    void transportClosed();

    const TRecordParser& parser() const { return *parser_; }
    TJournalRecorder& journal() const { return *journal_; }
    // The journal's rows go to every sink added here.
    void addJournalSink(TJournalSink* sink) { journalSinks_.add(sink); }
    // Every sink added, as one: where another session's rows go to be shown as this one's.
    TJournalSink& journalSinks() { return journalSinks_; }
    TPortWriter& writer() const { return *writer_; }
    // The link's figures and the line inspector's log.
    TLinkMonitor& monitor() const { return *monitor_; }
    // The path of the open log (or of the last one opened).
    const QString& logPath() const { return logPath_; }

signals:
    // Read-outs: the record's text (Windows-1251) and the colour from its limit.
    void readoutText(TReadout which, const QByteArray& text);
    void readoutColor(TReadout which, TColor color);
    void counterChanged(TEvent which, quint16 value, TColor background);
    // A counted emergency event, before its line is handled.
    void eventArrived();
    void leftAxisTitle(const QString& title);
    void bottomAxisTitle(const QString& title);
    void pointAdded(double x, double y);
    void scopeCleared();
    // The live trace's capture got its first point.
    void captureBegun();
    // Every line ended by CR, once handled; the views point into the line (valid during the
    // call only, so a direct connection).
    void lineHandled(const TLineOutcome& outcome);
    // What is sent, as the terminal shows it in the echo colour.
    void echoed(const QByteArray& text);
    // A received chunk as shaped, once its records are handled and answered.
    void received(const QByteArray& text);
    // Something was to be sent while the transport was closed.
    void sendRefused();
    // A log write failed (errno); the log is closed.
    void logFailed(int error);
    // Handling received bytes failed (a write the transport refused): the failure's message,
    // empty when it has none. The bytes after it are handled as usual.
    void failed(const QString& message);
    // A stall of the writer ended: its failure and the texts dropped meanwhile.
    void stallEnded(const QString& failure, int dropped);

private:
    void writeLog(QByteArrayView bytes);
    // Logs, parses and answers a shaped chunk.
    void take(const QByteArray& text);

    // TRecordView
    QByteArray limitText(TLimit which) const override { return limits_[std::size_t(which)]; }
    void setReadoutText(TReadout which, QByteArrayView text) override;
    void setReadoutColor(TReadout which, TColor color) override { emit readoutColor(which, color); }
    void setCounter(TEvent which, std::uint16_t value, TColor background) override
    {
        emit counterChanged(which, value, background);
    }
    void eventCounted() override { emit eventArrived(); }
    void setLeftAxisTitle(const QString& title) override;
    void setBottomAxisTitle(const QString& title) override;
    void addPoint(double x, double y) override;
    void clearScope() override;
    void lineOutcome(const TLineOutcome& outcome) override;

    TTransport& transport_;
    TLinkMonitor* monitor_;
    TComLink link_;
    bool attached_ = true;
    std::unique_ptr<TRecordParser> parser_;
    TJournalFanOut journalSinks_;
    std::unique_ptr<TJournalRecorder> journal_;
    CaptureRecorder* recorder_ = nullptr;
    // The units of the device's samples, as its last SC record gave them.
    QString xTitle_;
    QString yTitle_;
    std::unique_ptr<TWriteTarget> writeTarget_;
    std::unique_ptr<TPortWriter> writer_;
    TDataLog log_;
    QString logPath_;

    std::array<QByteArray, 3> limits_;
    bool cr_ = true;
    bool lf_ = true;
    bool echo_ = true;
    bool appendLF_ = true;
    bool force7Bit_ = false;
    bool logIncoming_ = true;
    bool logOutgoing_ = true;

    // Answers to the records of one received block go out in one write once the block is
    // parsed: a flood costs a write per block instead of one per record.
    bool collectingAnswers_ = false;
    QByteArrayList answers_;
};
