#pragma once
// TNetPort: a device on another machine, reached by a port name of NetPortName.h: raw TCP
// (socket://, the bytes only; line settings are kept but cannot be sent) or RFC 2217
// (rfc2217://, Telnet with the COM port option: line settings, DTR, RTS, break, flow
// control, the modem lines and line errors).
//
// Nothing here blocks: Open starts the connection and the negotiation and ends in opened()
// or openFailed(reason); everything runs on the thread that owns the object, from its event
// loop. A request the server does not answer is waited for at most kAnswerMs, then the port
// goes on and tells so once (notice()). A connection that breaks after the open is lost();
// with SetReconnect(true) the port then tries again every kRetryMs until the server answers
// (reconnected()). Telnet has no password and no encryption: nothing but the device's bytes
// and COM port commands is ever sent.

#include "net/NetPortName.h"
#include "net/TelnetCodec.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <vector>

class QTcpSocket;

// Line settings in the values RFC 2217 sends.
struct TNetLineSettings {
    uint32_t BaudRate = 9600;
    uint8_t DataSize = 8; // 5 to 8
    uint8_t Parity = 1; // 1 none, 2 odd, 3 even, 4 mark, 5 space
    uint8_t StopSize = 1; // 1 one, 2 two, 3 one and a half
    uint8_t FlowControl = comctl::FlowNone; // FlowNone, FlowXonXoff, FlowHardware
    bool operator==(const TNetLineSettings&) const = default;
};

// What the server answered it took; 0 where it has not answered (yet).
struct TNetTaken {
    uint32_t BaudRate = 0;
    uint8_t DataSize = 0;
    uint8_t Parity = 0;
    uint8_t StopSize = 0;
    bool operator==(const TNetTaken&) const = default;
};

class TNetPort : public QObject {
    Q_OBJECT
public:
    static constexpr int kConnectMs = 5000;
    static constexpr int kNegotiateMs = 3000;
    static constexpr int kAnswerMs = 1000;
    static constexpr int kDeadPeerSeconds = 10;
    static constexpr int kRetryMs = 1000;

    enum class State { Closed, Connecting, Negotiating, Open };
    // Why the last open failed or the connection was lost.
    enum class Failure {
        None,
        Malformed,
        Refused,
        HostNotFound,
        Unreachable,
        TimedOut,
        NotRfc2217,
        Closed,
        Other
    };

    explicit TNetPort(QObject* parent = nullptr);
    ~TNetPort() override;

    // Closes what is open and connects to name; refused at once (openFailed) when the name
    // is malformed.
    void Open(const QString& name);
    // Closes and stops any reconnection; closed() when something was open.
    void Close();

    State CurrentState() const { return state_; }
    Failure LastFailure() const { return failure_; }
    // How long a connection may take to be accepted (kConnectMs unless set).
    void SetConnectTimeout(int ms) { connectMs_ = ms; }
    bool IsOpen() const { return state_ == State::Open; }
    const QString& Name() const { return name_; }
    bool IsRfc2217() const { return parsed_.Kind == TNetPortKind::Rfc2217; }

    // Kept, and sent to an RFC 2217 server now if open, else at the next open.
    void SetLineSettings(const TNetLineSettings& settings);
    const TNetLineSettings& LineSettings() const { return settings_; }
    const TNetTaken& Taken() const { return taken_; }
    void SetDtr(bool on);
    void SetRts(bool on);
    void SetBreak(bool on);
    // Empties the server's buffers: 1 receive, 2 transmit, 3 both.
    void Purge(uint8_t which);

    // The device's bytes; false (nothing sent) unless open.
    bool Write(QByteArrayView data);
    // Bytes handed over but not yet in the kernel's socket buffer.
    qint64 PendingWrite() const;
    // The connection's socket (-1 while there is none), for its options to be checked.
    qintptr SocketDescriptor() const;

    // The last NOTIFY-MODEMSTATE (modemstate:: bits); 0 before any.
    uint8_t ModemState() const { return modemState_; }

    // Whether a lost connection is tried again until it comes back.
    void SetReconnect(bool on);
    bool IsReconnecting() const { return reconnecting_; }

signals:
    void opened();
    void openFailed(const QString& reason);
    void received(const QByteArray& data);
    void modemStateChanged(uint8_t state);
    // Line errors the server reported (linestate:: bits of break, framing, parity, overrun).
    void lineErrors(uint8_t state);
    // The server answered a line setting; Taken() holds it.
    void settingsTaken();
    // Said once per kind for the whole life of an Open: a request not answered in time.
    void notice(const QString& text);
    void lost(const QString& reason);
    // Everything written has gone to the kernel's socket buffer.
    void drained();
    void reconnected();
    void closed();

private:
    void connectNow();
    void onConnected();
    void onReadyRead();
    void onSocketError();
    void onNegotiateTimeout();
    void onAnswerTimer();
    void feed(const QByteArray& bytes);
    void handle(const TTelnetEvent& event);
    void sendLineSettings();
    void sendControl(uint8_t value);
    void request(const QByteArray& bytes, TComPortCommand command, bool blocksOpen);
    void finishOpen();
    void fail(Failure failure, const QString& reason);
    void drop();
    void send(const QByteArray& bytes);
    Failure socketFailure() const;
    QString errorText() const;

    struct Pending {
        TComPortCommand command;
        qint64 sentMs;
        bool blocksOpen;
    };

    QTcpSocket* socket_;
    // Children, so that they move with the port to another thread.
    QTimer connectTimer_{this};
    QTimer negotiateTimer_{this};
    QTimer answerTimer_{this};
    QTimer retryTimer_{this};
    QElapsedTimer clock_;
    TTelnetCodec codec_;
    QString name_;
    TNetPortName parsed_;
    State state_ = State::Closed;
    Failure failure_ = Failure::None;
    int connectMs_ = kConnectMs;
    TNetLineSettings settings_;
    TNetTaken taken_;
    bool dtr_ = false;
    bool rts_ = false;
    bool dtrSet_ = false;
    bool rtsSet_ = false;
    uint8_t modemState_ = 0;
    bool suspended_ = false;
    QByteArray held_; // written while the server asked us to stop
    QByteArray early_; // the device's bytes that came before the open finished
    std::vector<Pending> pending_;
    QSet<int> told_;
    bool reconnect_ = false;
    bool reconnecting_ = false;
};
