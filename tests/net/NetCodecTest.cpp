// Port names and the Telnet layer: inputs against expected outputs, each Telnet case fed
// once whole and once a byte at a time.

#include "net/NetPortName.h"
#include "net/TelnetCodec.h"

#include <gtest/gtest.h>

namespace {

using namespace telnet;

QByteArray B(std::initializer_list<int> bytes)
{
    QByteArray out;
    for (const int b : bytes)
        out.append(char(b));
    return out;
}

TEST(NetPortName, NamesAreTakenOrRefusedWithTheirReason)
{
    struct Case {
        const char* name;
        bool network;
        TNetPortKind kind;
        const char* host; // nullptr: refused
        int port;
        const char* reasonPart;
    };
    const Case cases[] = {
        {"rfc2217://127.0.0.1:2217", true, TNetPortKind::Rfc2217, "127.0.0.1", 2217, ""},
        {"RFC2217://bench-3.lab:7000", true, TNetPortKind::Rfc2217, "bench-3.lab", 7000, ""},
        {"socket://localhost:1", true, TNetPortKind::Socket, "localhost", 1, ""},
        {"socket://[::1]:65535", true, TNetPortKind::Socket, "::1", 65535, ""},
        {"rfc2217://[fe80::1%eth0]:2217", true, TNetPortKind::Rfc2217, "fe80::1%eth0", 2217, ""},
        {"rfc2217://::1:2217", true, TNetPortKind::Rfc2217, nullptr, 0, "квадратни скоби"},
        {"rfc2217://[::1:2217", true, TNetPortKind::Rfc2217, nullptr, 0, "„]“"},
        {"rfc2217://[host]:2217", true, TNetPortKind::Rfc2217, nullptr, 0, "IPv6"},
        {"rfc2217://[::1]2217", true, TNetPortKind::Rfc2217, nullptr, 0, "номерът на порта"},
        {"socket://host", true, TNetPortKind::Socket, nullptr, 0, "номерът на порта"},
        {"socket://host:", true, TNetPortKind::Socket, nullptr, 0, "номерът на порта"},
        {"socket://:2217", true, TNetPortKind::Socket, nullptr, 0, "адресът"},
        {"socket://host:0", true, TNetPortKind::Socket, nullptr, 0, "от 1 до 65535"},
        {"socket://host:65536", true, TNetPortKind::Socket, nullptr, 0, "от 1 до 65535"},
        {"socket://host:+80", true, TNetPortKind::Socket, nullptr, 0, "от 1 до 65535"},
        {"socket://host:80/x", true, TNetPortKind::Socket, nullptr, 0, "от 1 до 65535"},
        {"socket://my host:80", true, TNetPortKind::Socket, nullptr, 0, "интервал"},
        {"telnet://host:23", true, TNetPortKind::Socket, nullptr, 0, "Непознат вид"},
        {"/dev/ttyUSB0", false, TNetPortKind::Socket, nullptr, 0, "Непознат вид"},
        {"COM1", false, TNetPortKind::Socket, nullptr, 0, "Непознат вид"},
        {"://x:1", false, TNetPortKind::Socket, nullptr, 0, "Непознат вид"},
    };
    for (const Case& c : cases) {
        const QString name = QString::fromUtf8(c.name);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsNetPortName(name), c.network);
        QString reason;
        const auto parsed = ParseNetPortName(name, &reason);
        if (!c.host) {
            ASSERT_FALSE(parsed);
            EXPECT_TRUE(reason.contains(QString::fromUtf8(c.reasonPart))) << reason.toStdString();
            EXPECT_TRUE(reason.contains(name)) << reason.toStdString();
            continue;
        }
        ASSERT_TRUE(parsed) << reason.toStdString();
        EXPECT_EQ(parsed->Kind, c.kind);
        EXPECT_EQ(parsed->Host, QString::fromUtf8(c.host));
        EXPECT_EQ(parsed->Port, c.port);
        EXPECT_EQ(ParseNetPortName(NetPortNameText(*parsed)), parsed);
    }
}

TEST(TelnetCodec, ReceivedBytesGiveDataAnswersAndReplies)
{
    const TTelnetEvent accepted{TTelnetEvent::Kind::ComPortAccepted, TComPortCommand::Signature, 0, {}};
    const TTelnetEvent refused{TTelnetEvent::Kind::ComPortRefused, TComPortCommand::Signature, 0, {}};
    const auto answer = [](TComPortCommand c, uint32_t v) {
        return TTelnetEvent{TTelnetEvent::Kind::ComPortAnswer, c, v, {}};
    };
    struct Case {
        const char* what;
        QByteArray in;
        QByteArray data;
        std::vector<TTelnetEvent> events;
        QByteArray reply;
    };
    const Case cases[] = {
        {"plain data", "W:VA-15/3\r", "W:VA-15/3\r", {}, {}},
        {"doubled 255 is one data byte", B({'a', IAC, IAC, 'b', IAC, IAC, IAC, IAC}),
            B({'a', 255, 'b', 255, 255}), {}, {}},
        {"answers to our offers are not answered again",
            B({IAC, DO, optBinary, IAC, WILL, optBinary, IAC, DO, optSuppressGoAhead, IAC, WILL,
                optSuppressGoAhead, IAC, DO, optComPort}),
            {}, {accepted}, {}},
        {"the server refuses the COM port option", B({IAC, DONT, optComPort}), {}, {refused}, {}},
        {"unknown options are refused, ECHO included", B({IAC, DO, 24, IAC, WILL, optEcho, IAC, DO, optEcho}),
            {}, {}, B({IAC, WONT, 24, IAC, DONT, optEcho, IAC, WONT, optEcho})},
        {"a request already in force is not answered", B({IAC, DO, optBinary, IAC, DO, optBinary}), {}, {},
            {}},
        {"the server stops binary: we agree once",
            B({IAC, WILL, optBinary, IAC, WONT, optBinary, IAC, WONT, optBinary}), {}, {},
            B({IAC, DONT, optBinary})},
        {"the rate the server took, network order",
            B({IAC, SB, optComPort, 101, 0x00, 0x01, 0xC2, 0x00, IAC, SE, 'x'}), "x",
            {answer(TComPortCommand::SetBaudRate, 115200)}, {}},
        {"a 255 inside a value is doubled", B({IAC, SB, optComPort, 101, 0, 0, IAC, IAC, IAC, IAC, IAC, SE}),
            {}, {answer(TComPortCommand::SetBaudRate, 0xFFFF)}, {}},
        {"modem and line state",
            B({IAC, SB, optComPort, 107, 0xB1, IAC, SE, IAC, SB, optComPort, 106, 0x08, IAC, SE}), {},
            {answer(TComPortCommand::NotifyModemState, 0xB1), answer(TComPortCommand::NotifyLineState, 0x08)},
            {}},
        {"suspend and resume carry no value",
            B({IAC, SB, optComPort, 108, IAC, SE, IAC, SB, optComPort, 109, IAC, SE}), {},
            {answer(TComPortCommand::FlowControlSuspend, 0), answer(TComPortCommand::FlowControlResume, 0)},
            {}},
        {"a short rate, a client's code, another option and an unknown code are dropped",
            B({IAC, SB, optComPort, 101, 1, IAC, SE, IAC, SB, optComPort, 5, 8, IAC, SE, IAC, SB, 24, 0, IAC,
                SE, IAC, SB, optComPort, 140, 1, IAC, SE, 'k'}),
            "k", {}, {}},
        {"a command inside a subnegotiation ends it", B({IAC, SB, optComPort, 107, 0x10, IAC, DO, 24, 'z'}),
            "z", {}, B({IAC, WONT, 24})},
        {"NOP, GA and data mark carry nothing", B({'a', IAC, 241, IAC, 249, IAC, 242, 'b'}), "ab", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool byByte : {false, true}) {
            TTelnetCodec codec;
            codec.Start();
            QByteArray data;
            QByteArray reply;
            std::vector<TTelnetEvent> events;
            if (byByte)
                for (const char ch : c.in)
                    codec.Feed(QByteArrayView(&ch, 1), data, events, reply);
            else
                codec.Feed(c.in, data, events, reply);
            EXPECT_EQ(data, c.data) << "byte at a time: " << byByte;
            EXPECT_EQ(events, c.events) << "byte at a time: " << byByte;
            EXPECT_EQ(reply, c.reply) << "byte at a time: " << byByte;
        }
    }
}

TEST(TelnetCodec, SubnegotiationLongerThanTheBoundIsDroppedWhole)
{
    TTelnetCodec codec;
    QByteArray in = B({IAC, SB, optComPort, 100});
    in.append(QByteArray(TTelnetCodec::kMaxSubnegotiation * 4, 'S'));
    in.append(B({IAC, SE, 'd'}));
    QByteArray data;
    QByteArray reply;
    std::vector<TTelnetEvent> events;
    codec.Feed(in, data, events, reply);
    EXPECT_EQ(data, "d");
    EXPECT_TRUE(events.empty());
}

TEST(TelnetCodec, CommandsAndDataGoOutEscaped)
{
    TTelnetCodec codec;
    EXPECT_EQ(codec.Start(),
        B({IAC, WILL, optBinary, IAC, DO, optBinary, IAC, WILL, optSuppressGoAhead, IAC, DO,
            optSuppressGoAhead, IAC, WILL, optComPort}));
    EXPECT_EQ(TTelnetCodec::EscapeData(B({1, 255, 2, 255, 255})), B({1, 255, 255, 2, 255, 255, 255, 255}));
    EXPECT_EQ(
        TTelnetCodec::SetBaudRate(3000000), B({IAC, SB, optComPort, 1, 0x00, 0x2D, 0xC6, 0xC0, IAC, SE}));
    EXPECT_EQ(TTelnetCodec::SetBaudRate(0x01FFFF00),
        B({IAC, SB, optComPort, 1, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, IAC, SE}));
    EXPECT_EQ(TTelnetCodec::Command(TComPortCommand::SetControl, comctl::DtrOn),
        B({IAC, SB, optComPort, 5, 8, IAC, SE}));
    EXPECT_EQ(TTelnetCodec::Command(TComPortCommand::SetModemStateMask, 255),
        B({IAC, SB, optComPort, 11, 255, 255, IAC, SE}));
}

TEST(TelnetCodec, WithoutBinaryACrTravelsAsCrNul)
{
    // The server's answers to Start(): BINARY taken both ways, or refused both ways.
    const QByteArray binary = B({IAC, DO, optBinary, IAC, WILL, optBinary});
    const QByteArray refused = B({IAC, DONT, optBinary, IAC, WONT, optBinary});
    struct Case {
        const char* what;
        QByteArray answer;
        QByteArray in;
        QByteArray data;
    };
    const Case cases[] = {
        {"binary: NUL after CR is the device's", binary, B({'a', '\r', 0, 'b'}), B({'a', '\r', 0, 'b'})},
        {"refused: CR NUL is a CR", refused, B({'a', '\r', 0, 'b', '\r', 0}), B({'a', '\r', 'b', '\r'})},
        {"refused: CR LF stays", refused, B({'\r', '\n', 0}), B({'\r', '\n', 0})},
        {"refused: a NUL not after CR stays", refused, B({0, 'x', 0}), B({0, 'x', 0})},
        {"refused: 255 then NUL stays", refused, B({'\r', IAC, IAC, 0}), B({'\r', char(255), 0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool byByte : {false, true}) {
            TTelnetCodec codec;
            codec.Start();
            QByteArray data;
            QByteArray reply;
            std::vector<TTelnetEvent> events;
            codec.Feed(c.answer, data, events, reply);
            if (byByte)
                for (const char ch : c.in)
                    codec.Feed(QByteArrayView(&ch, 1), data, events, reply);
            else
                codec.Feed(c.in, data, events, reply);
            EXPECT_EQ(data, c.data) << "byte at a time: " << byByte;
            const QByteArray out = codec.EncodeData(B({'\r', IAC, 'z', '\r'}));
            EXPECT_EQ(out,
                c.answer == binary ? B({'\r', IAC, IAC, 'z', '\r'}) : B({'\r', 0, IAC, IAC, 'z', '\r', 0}));
        }
    }
}

} // namespace
