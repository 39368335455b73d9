// The Telnet layer of a network port on arbitrary server traffic: fed whole and in random
// chunks it must give the same bytes, answers and replies, reply only with option refusals
// or agreements, never give more data than came, and pass any data that follows back intact.

#include "FuzzInput.h"
#include "net/TelnetCodec.h"

#include <vector>

namespace {

struct Output {
    QByteArray data;
    std::vector<TTelnetEvent> events;
    QByteArray reply;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    ChunkSizes chunks(input.byte());
    const QByteArray traffic = input.rest();

    TTelnetCodec whole;
    Output a;
    whole.Start();
    whole.Feed(traffic, a.data, a.events, a.reply);

    TTelnetCodec pieces;
    Output b;
    pieces.Start();
    for (qsizetype at = 0; at < traffic.size();) {
        const qsizetype n = std::min<qsizetype>(chunks.next(), traffic.size() - at);
        pieces.Feed(QByteArrayView(traffic).sliced(at, n), b.data, b.events, b.reply);
        at += n;
    }
    FUZZ_CHECK(a.data == b.data && a.events == b.events && a.reply == b.reply);
    FUZZ_CHECK(a.data.size() <= traffic.size());
    FUZZ_CHECK(a.reply.size() % 3 == 0);
    for (qsizetype i = 0; i < a.reply.size(); i += 3) {
        const auto verb = std::uint8_t(a.reply[i + 1]);
        FUZZ_CHECK(std::uint8_t(a.reply[i]) == telnet::IAC);
        FUZZ_CHECK(verb >= telnet::WILL && verb <= telnet::DONT);
    }
    for (const TTelnetEvent& e : a.events)
        FUZZ_CHECK(e.text.size() <= TTelnetCodec::kMaxSubnegotiation);

    // Whatever state the traffic left, a subnegotiation's end and a pair of NOPs bring the
    // layer back to data (an unfinished command may take two of those bytes as data), and
    // data escaped as a server sends it then passes unchanged: IAC doubled, and outside
    // binary a CR followed by Telnet's NUL.
    const QByteArray reset("\xff\xf0\xff\xf1\xff\xf1", 6);
    const QByteArray tail = traffic.left(64);
    QByteArray sent;
    for (const char ch : tail) {
        sent.append(ch);
        if (std::uint8_t(ch) == telnet::IAC)
            sent.append(ch);
        else if (ch == '\r' && !whole.RemoteBinary())
            sent.append('\0');
    }
    Output c;
    whole.Feed(reset + sent, c.data, c.events, c.reply);
    FUZZ_CHECK(c.data.endsWith(tail) && c.data.size() <= tail.size() + 2);
    return 0;
}
