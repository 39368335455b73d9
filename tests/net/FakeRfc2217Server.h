#pragma once
// A small RFC 2217 server for tests: takes one client at a time on 127.0.0.1, agrees to the
// negotiation (or not), answers the COM port commands (or not) and records what came.

#include "net/TelnetCodec.h"

#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdint>
#include <vector>

class FakeRfc2217Server : public QObject {
public:
    struct Command {
        int code;
        QByteArray value;
    };

    bool negotiate = true; // agrees to COM-PORT-OPTION
    bool refuseComPort = false; // says DONT to it
    bool answerControl = true; // answers SET-CONTROL
    uint32_t takeRate = 0; // the rate answered; 0: the rate asked

    QByteArray data; // the device's bytes received, unescaped
    std::vector<Command> commands;
    int connections = 0;

    FakeRfc2217Server()
    {
        server_.setProxy(QNetworkProxy::NoProxy);
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                ++connections;
                client_ = s;
                state_ = 0;
                connect(s, &QTcpSocket::readyRead, this, [this, s] { read(s); });
            }
        });
    }
    quint16 port() const { return server_.serverPort(); }
    QTcpSocket* client() const { return client_; }
    void stopListening() { server_.close(); }

    void send(const QByteArray& bytes)
    {
        if (client_)
            client_->write(bytes);
    }
    void sendData(const QByteArray& bytes) { send(TTelnetCodec::EscapeData(bytes)); }
    void notify(TComPortCommand command, uint8_t value)
    {
        const char v = char(value);
        send(serverCommand(int(command), QByteArray(&v, 1)));
    }
    int count(TComPortCommand command) const
    {
        int n = 0;
        for (const Command& c : commands)
            n += c.code == int(command);
        return n;
    }

private:
    static QByteArray serverCommand(int code, const QByteArray& value)
    {
        QByteArray out = TTelnetCodec::Command(TComPortCommand(0), value);
        out[3] = char(code + kServerCommandOffset);
        return out;
    }

    void read(QTcpSocket* s)
    {
        using namespace telnet;
        for (const char ch : s->readAll()) {
            const auto b = uint8_t(ch);
            switch (state_) {
            case 0:
                if (b == IAC)
                    state_ = 1;
                else
                    data.append(ch);
                break;
            case 1:
                if (b == IAC) {
                    data.append(ch);
                    state_ = 0;
                } else if (b == SB) {
                    sub_.clear();
                    state_ = 3;
                } else {
                    verb_ = b;
                    state_ = 2;
                }
                break;
            case 2:
                state_ = 0;
                answerVerb(s, b);
                break;
            case 3:
                if (b == IAC)
                    state_ = 4;
                else
                    sub_.append(ch);
                break;
            case 4:
                if (b == IAC) {
                    sub_.append(ch);
                    state_ = 3;
                } else {
                    state_ = 0;
                    answerCommand(s);
                }
                break;
            }
        }
    }

    void answerVerb(QTcpSocket* s, uint8_t option)
    {
        using namespace telnet;
        if (!negotiate)
            return;
        const char reply[3] = {char(IAC), char(0), char(option)};
        QByteArray r(reply, 3);
        if (verb_ == WILL)
            r[1] = char(option == optComPort && refuseComPort ? DONT : DO);
        else if (verb_ == DO)
            r[1] = char(WILL);
        else
            return;
        s->write(r);
    }

    void answerCommand(QTcpSocket* s)
    {
        if (sub_.size() < 2)
            return;
        const int code = uint8_t(sub_[1]);
        QByteArray value = sub_.mid(2);
        commands.push_back({code, value});
        if (code == int(TComPortCommand::SetControl) && !answerControl)
            return;
        if (code == int(TComPortCommand::SetBaudRate) && takeRate) {
            value = QByteArray(4, 0);
            for (int i = 0; i < 4; ++i)
                value[i] = char(takeRate >> (24 - 8 * i));
        }
        s->write(serverCommand(code, value));
    }

    QTcpServer server_;
    QTcpSocket* client_ = nullptr;
    int state_ = 0;
    uint8_t verb_ = 0;
    QByteArray sub_;
};
