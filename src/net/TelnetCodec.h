#pragma once
// The Telnet layer of an RFC 2217 connection, with no socket: received bytes in, the
// device's bytes, the server's COM port answers and the replies the negotiation owes out;
// commands in, bytes to send out. Negotiated: BINARY and SUPPRESS-GO-AHEAD both ways,
// COM-PORT-OPTION from our side; every other option is refused. A data byte 255 travels
// doubled both ways; where BINARY is refused, a CR travels as CR NUL. Input may be split
// anywhere.

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>
#include <vector>

namespace telnet {
inline constexpr uint8_t IAC = 255;
inline constexpr uint8_t DONT = 254;
inline constexpr uint8_t DO = 253;
inline constexpr uint8_t WONT = 252;
inline constexpr uint8_t WILL = 251;
inline constexpr uint8_t SB = 250;
inline constexpr uint8_t SE = 240;
inline constexpr uint8_t optBinary = 0;
inline constexpr uint8_t optEcho = 1;
inline constexpr uint8_t optSuppressGoAhead = 3;
inline constexpr uint8_t optComPort = 44;
} // namespace telnet

// COM-PORT-OPTION commands as the client sends them; a server's answer carries code + 100.
enum class TComPortCommand : uint8_t {
    Signature = 0,
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyLineState = 6,
    NotifyModemState = 7,
    FlowControlSuspend = 8,
    FlowControlResume = 9,
    SetLineStateMask = 10,
    SetModemStateMask = 11,
    PurgeData = 12,
};
inline constexpr uint8_t kServerCommandOffset = 100;

// SET-CONTROL values.
namespace comctl {
inline constexpr uint8_t FlowNone = 1;
inline constexpr uint8_t FlowXonXoff = 2;
inline constexpr uint8_t FlowHardware = 3;
inline constexpr uint8_t BreakOn = 5;
inline constexpr uint8_t BreakOff = 6;
inline constexpr uint8_t DtrOn = 8;
inline constexpr uint8_t DtrOff = 9;
inline constexpr uint8_t RtsOn = 11;
inline constexpr uint8_t RtsOff = 12;
} // namespace comctl

// NOTIFY-MODEMSTATE and NOTIFY-LINESTATE bits.
namespace modemstate {
inline constexpr uint8_t Carrier = 0x80;
inline constexpr uint8_t Ring = 0x40;
inline constexpr uint8_t Dsr = 0x20;
inline constexpr uint8_t Cts = 0x10;
inline constexpr uint8_t RingTrailingEdge = 0x04;
} // namespace modemstate
namespace linestate {
inline constexpr uint8_t Break = 0x10;
inline constexpr uint8_t Framing = 0x08;
inline constexpr uint8_t Parity = 0x04;
inline constexpr uint8_t Overrun = 0x02;
} // namespace linestate

struct TTelnetEvent {
    enum class Kind {
        ComPortAccepted, // the server does COM-PORT-OPTION
        ComPortRefused, // it will not (or stopped)
        ComPortAnswer, // an answer or notification of the server
    };
    Kind kind = Kind::ComPortAnswer;
    TComPortCommand command = TComPortCommand::Signature; // as the client's code
    uint32_t value = 0; // the rate, or the one value byte
    QByteArray text; // SIGNATURE
    bool operator==(const TTelnetEvent&) const = default;
};

class TTelnetCodec {
public:
    // Longest subnegotiation kept; a longer one is dropped whole.
    static constexpr int kMaxSubnegotiation = 256;

    // The requests that open the negotiation.
    QByteArray Start();
    // Received bytes: the device's bytes are appended to data, the server's COM port
    // messages to events, the replies owed to reply.
    void Feed(QByteArrayView in, QByteArray& data, std::vector<TTelnetEvent>& events, QByteArray& reply);

    bool ComPortAccepted() const { return options_[telnet::optComPort].us; }
    bool LocalBinary() const { return options_[telnet::optBinary].us; }
    bool RemoteBinary() const { return options_[telnet::optBinary].him; }

    // The device's bytes ready to send: 255 doubled.
    static QByteArray EscapeData(QByteArrayView data);
    // The same as the negotiation stands: a CR goes out as CR NUL while the server has not
    // taken BINARY from us.
    QByteArray EncodeData(QByteArrayView data) const;
    // IAC SB COM-PORT-OPTION command value IAC SE, value bytes escaped.
    static QByteArray Command(TComPortCommand command, QByteArrayView value);
    static QByteArray Command(TComPortCommand command, uint8_t value);
    static QByteArray SetBaudRate(uint32_t rate);

private:
    struct Option {
        bool us = false; // we do it
        bool usAsked = false; // we asked and wait for the answer
        bool him = false; // the server does it
        bool himAsked = false;
    };
    enum class State { Data, Iac, Verb, Sub, SubIac };

    void verb(uint8_t verb, uint8_t option, std::vector<TTelnetEvent>& events, QByteArray& reply);
    void subnegotiation(std::vector<TTelnetEvent>& events);
    void command(uint8_t byte);

    std::array<Option, 256> options_{};
    State state_ = State::Data;
    uint8_t verb_ = 0;
    QByteArray sub_;
    bool subTooLong_ = false;
    bool afterCr_ = false; // the last data byte was CR
};
