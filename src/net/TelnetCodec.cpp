#include "net/TelnetCodec.h"

#include <utility>

using namespace telnet;

namespace {

bool weMayDo(uint8_t option)
{
    return option == optBinary || option == optSuppressGoAhead || option == optComPort;
}

bool heMayDo(uint8_t option)
{
    return option == optBinary || option == optSuppressGoAhead;
}

void put(QByteArray& out, uint8_t verb, uint8_t option)
{
    out.append(char(IAC));
    out.append(char(verb));
    out.append(char(option));
}

} // namespace

QByteArray TTelnetCodec::Start()
{
    QByteArray out;
    for (const uint8_t option : {optBinary, optSuppressGoAhead}) {
        options_[option].usAsked = true;
        put(out, WILL, option);
        options_[option].himAsked = true;
        put(out, DO, option);
    }
    options_[optComPort].usAsked = true;
    put(out, WILL, optComPort);
    return out;
}

void TTelnetCodec::Feed(
    QByteArrayView in, QByteArray& data, std::vector<TTelnetEvent>& events, QByteArray& reply)
{
    for (const char ch : in) {
        const auto byte = uint8_t(ch);
        switch (state_) {
        case State::Data:
            if (byte == IAC) {
                // A command between CR and NUL parts them: the NUL is then the device's.
                state_ = State::Iac;
                afterCr_ = false;
                break;
            }
            // Not in binary, the server sends a CR alone as CR NUL: the NUL is Telnet's.
            if (std::exchange(afterCr_, false) && byte == 0 && !RemoteBinary())
                break;
            data.append(ch);
            afterCr_ = byte == '\r';
            break;
        case State::Iac:
            command(byte);
            if (byte == IAC) {
                data.append(ch);
                afterCr_ = false;
            }
            break;
        case State::Verb:
            state_ = State::Data;
            verb(verb_, byte, events, reply);
            break;
        case State::Sub:
            if (byte == IAC)
                state_ = State::SubIac;
            else if (sub_.size() < kMaxSubnegotiation)
                sub_.append(ch);
            else
                subTooLong_ = true;
            break;
        case State::SubIac:
            if (byte == IAC) {
                state_ = State::Sub;
                if (sub_.size() < kMaxSubnegotiation)
                    sub_.append(ch);
                else
                    subTooLong_ = true;
            } else if (byte == SE) {
                state_ = State::Data;
                if (!subTooLong_)
                    subnegotiation(events);
            } else {
                // A command inside a subnegotiation ends it unfinished; the command counts.
                command(byte);
            }
            break;
        }
    }
}

void TTelnetCodec::command(uint8_t byte)
{
    state_ = State::Data;
    if (byte == WILL || byte == WONT || byte == DO || byte == DONT) {
        verb_ = byte;
        state_ = State::Verb;
    } else if (byte == SB) {
        sub_.clear();
        subTooLong_ = false;
        state_ = State::Sub;
    }
    // IAC IAC is a data byte (the caller keeps it); NOP, GA, DM and the others carry nothing
    // for a serial line.
}

void TTelnetCodec::verb(uint8_t verb, uint8_t option, std::vector<TTelnetEvent>& events, QByteArray& reply)
{
    Option& o = options_[option];
    const auto tell = [&](TTelnetEvent::Kind kind) {
        if (option == optComPort)
            events.push_back({kind, TComPortCommand::Signature, 0, {}});
    };
    switch (verb) {
    case DO:
        if (o.us) {
            o.usAsked = false;
        } else if (weMayDo(option)) {
            o.us = true;
            if (!o.usAsked)
                put(reply, WILL, option);
            o.usAsked = false;
            tell(TTelnetEvent::Kind::ComPortAccepted);
        } else {
            put(reply, WONT, option);
        }
        break;
    case DONT:
        if (o.us) {
            o.us = false;
            put(reply, WONT, option);
            tell(TTelnetEvent::Kind::ComPortRefused);
        } else if (o.usAsked) {
            tell(TTelnetEvent::Kind::ComPortRefused);
        }
        o.usAsked = false;
        break;
    case WILL:
        if (o.him) {
            o.himAsked = false;
        } else if (heMayDo(option)) {
            o.him = true;
            if (!o.himAsked)
                put(reply, DO, option);
            o.himAsked = false;
        } else {
            put(reply, DONT, option);
        }
        break;
    case WONT:
        if (o.him) {
            o.him = false;
            put(reply, DONT, option);
        }
        o.himAsked = false;
        break;
    }
}

void TTelnetCodec::subnegotiation(std::vector<TTelnetEvent>& events)
{
    if (sub_.size() < 2 || uint8_t(sub_[0]) != optComPort || uint8_t(sub_[1]) < kServerCommandOffset)
        return;
    const int code = uint8_t(sub_[1]) - kServerCommandOffset;
    if (code > int(TComPortCommand::PurgeData))
        return;
    TTelnetEvent e;
    e.kind = TTelnetEvent::Kind::ComPortAnswer;
    e.command = TComPortCommand(code);
    const QByteArrayView value = QByteArrayView(sub_).sliced(2);
    switch (e.command) {
    case TComPortCommand::Signature:
        e.text = value.toByteArray();
        break;
    case TComPortCommand::SetBaudRate:
        if (value.size() != 4)
            return;
        for (const char c : value)
            e.value = (e.value << 8) | uint8_t(c);
        break;
    case TComPortCommand::FlowControlSuspend:
    case TComPortCommand::FlowControlResume:
        break;
    default:
        if (value.size() != 1)
            return;
        e.value = uint8_t(value[0]);
        break;
    }
    events.push_back(e);
}

QByteArray TTelnetCodec::EscapeData(QByteArrayView data)
{
    QByteArray out;
    out.reserve(data.size() + data.count(char(IAC)));
    for (const char c : data) {
        out.append(c);
        if (uint8_t(c) == IAC)
            out.append(c);
    }
    return out;
}

QByteArray TTelnetCodec::EncodeData(QByteArrayView data) const
{
    if (LocalBinary())
        return EscapeData(data);
    // Not in binary, a CR must be followed by NUL (or LF, which then arrives as CR NUL LF and
    // is the same CR LF at the other end).
    QByteArray out;
    out.reserve(data.size() + data.count(char(IAC)) + data.count('\r'));
    for (const char c : data) {
        out.append(c);
        if (uint8_t(c) == IAC)
            out.append(c);
        else if (c == '\r')
            out.append('\0');
    }
    return out;
}

QByteArray TTelnetCodec::Command(TComPortCommand command, QByteArrayView value)
{
    QByteArray out;
    out.append(char(IAC));
    out.append(char(SB));
    out.append(char(optComPort));
    out.append(char(command));
    out.append(EscapeData(value));
    out.append(char(IAC));
    out.append(char(SE));
    return out;
}

QByteArray TTelnetCodec::Command(TComPortCommand command, uint8_t value)
{
    const char c = char(value);
    return Command(command, QByteArrayView(&c, 1));
}

QByteArray TTelnetCodec::SetBaudRate(uint32_t rate)
{
    const char value[4] = {char(rate >> 24), char(rate >> 16), char(rate >> 8), char(rate)};
    return Command(TComPortCommand::SetBaudRate, QByteArrayView(value, 4));
}
