#include "session/RecordParser.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

const char* readoutName(TReadout r)
{
    switch (r) {
    case TReadout::Voltage:
        return "V";
    case TReadout::Current:
        return "I";
    case TReadout::Temperature:
        return "T";
    }
    return "?";
}

std::string colorName(TColor c)
{
    if (c == kStateRed)
        return "red";
    if (c == kStateGreen)
        return "green";
    return std::to_string(c);
}

// Records every call of the parser as one line of text, so a case reads as a script.
class FakeView : public TRecordView {
public:
    std::map<TLimit, QByteArray> limits{
        {TLimit::Voltage, "50"}, {TLimit::Current, "50"}, {TLimit::Temperature, "50"}};
    std::vector<std::string> events;

    QByteArray limitText(TLimit which) const override { return limits.at(which); }
    void setReadoutText(TReadout which, QByteArrayView text) override
    {
        events.push_back(std::string("text ") + readoutName(which) + " " + text.toByteArray().toStdString());
    }
    void setReadoutColor(TReadout which, TColor color) override
    {
        events.push_back(std::string("color ") + readoutName(which) + " " + colorName(color));
    }
    void setCounter(TEvent which, std::uint16_t value, TColor background) override
    {
        static const char* names[] = {"RK1", "RK2", "RK3", "CFK", "SUK"};
        events.push_back(std::string("counter ") + names[int(which)] + " " + std::to_string(value) + " "
            + colorName(background));
    }
    void eventCounted() override { events.push_back("event"); }
    void setLeftAxisTitle(const QString& title) override { events.push_back("left " + title.toStdString()); }
    void setBottomAxisTitle(const QString& title) override
    {
        events.push_back("bottom " + title.toStdString());
    }
    void addPoint(double x, double y) override
    {
        events.push_back("point " + std::to_string(qint64(x)) + " " + std::to_string(qint64(y)));
    }
    void clearScope() override { events.push_back("clear"); }
    void send(const QByteArray& text) override { events.push_back("send " + text.toStdString()); }
};

using Events = std::vector<std::string>;

const Events kCounterReset = {"counter RK1 0 green", "counter RK2 0 green", "counter RK3 0 green",
    "counter CFK 0 green", "counter SUK 0 green"};
const Events kReadoutReset
    = {"text V 0", "color V green", "text I 0", "color I green", "text T 0", "color T green"};

Events concat(std::initializer_list<Events> parts)
{
    Events all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct StreamCase {
    const char* name;
    QByteArray input;
    Events expected;
};

// Runs the stream once as a single chunk and once a byte at a time; both must give the
// same calls.
void expectStream(const StreamCase& c, FakeView base = {})
{
    {
        FakeView v = base;
        TRecordParser p(v);
        p.feed(c.input);
        EXPECT_EQ(v.events, c.expected) << c.name << " (whole)";
    }
    {
        FakeView v = base;
        TRecordParser p(v);
        for (char byte : c.input)
            p.feed(QByteArrayView(&byte, 1));
        EXPECT_EQ(v.events, c.expected) << c.name << " (byte by byte)";
    }
}

TEST(RecordParser, RecordsAndAnswers)
{
    const StreamCase cases[] = {
        {"TR without event", "W:TR42/RK0\r", {"text T 42", "color T green"}},
        {"TR counted", "W:TR80/RK2\r", {"text T 80", "color T red", "counter RK2 1 red", "event", "send OK"}},
        {"TR each event", "W:TR1/RK1\rW:TR1/RK3\rW:TR1/CFK\rW:TR1/SUK\r",
            {"text T 1", "color T green", "counter RK1 1 red", "event", "send OK", "text T 1",
                "color T green", "counter RK3 1 red", "event", "send OK", "text T 1", "color T green",
                "counter CFK 1 red", "event", "send OK", "text T 1", "color T green", "counter SUK 1 red",
                "event", "send OK"}},
        {"TR event name is case-sensitive", "W:TR1/rk1\rW:TR1/RK1 \r",
            {"text T 1", "color T green", "text T 1", "color T green"}},
        {"TR at the limit is green", "W:TR50/RK0\rW:TR51/RK0\rW:TR-90/RK0\r",
            {"text T 50", "color T green", "text T 51", "color T red", "text T -90", "color T green"}},
        {"VA", "W:VA-15/3\r", {"text V -15", "color V green", "text I 3", "color I green", "send OK"}},
        {"VA band and current limit", "W:VA-50/50\rW:VA51/51\rW:VA-51/-900\r",
            {"text V -50", "color V green", "text I 50", "color I green", "send OK", "text V 51",
                "color V red", "text I 51", "color I red", "send OK", "text V -51", "color V red",
                "text I -900", "color I green", "send OK"}},
        {"text before W: and LF after CR", "xx W:VA10/2\r\nW:VA1/1\r\n",
            {"text V 10", "color V green", "text I 2", "color I green", "send OK", "text V 1",
                "color V green", "text I 1", "color I green", "send OK"}},
        {"lines without W: and unknown types", "hello\rW:XX1/2\rW:T\rW:\rw:VA1/1\rW;VA1/1\r", {}},
        {"junk line then record", "junk\rmore W junk\rW:SCxAs3\r", {"left A", "bottom S", "send OK"}},
        {"two and a half records", "W:VA1/2\rW:TR3/RK0\rW:VA5",
            {"text V 1", "color V green", "text I 2", "color I green", "send OK", "text T 3",
                "color T green"}},
        {"SC titles and scale", "W:SCxVm10\rW:SCyTu2\rW:SCzAs1\r",
            {"left V", "bottom mS", "send OK", "left t \u00B0C", "bottom \u00B5S", "send OK", "left A",
                "bottom S", "send OK"}},
        {"SC unknown letters keep the titles", "W:SCxQq7\r", {"send OK"}},
        {"SC short records read nothing beyond their end", "W:SC\rW:SCx\rW:SCxV\rW:SCxVm\r",
            {"send OK", "send OK", "left V", "send OK", "left V", "bottom mS", "send OK"}},
        {"ST accumulates", "W:ST10;12;15;*\rW:ST20;*\r",
            {"point 0 10", "point 1 12", "point 2 15", "send OK", "point 3 20", "send OK"}},
        {"ST list ends at the first empty field", "W:ST1;;2;*\rW:ST*\rW:ST\r",
            {"point 0 1", "send OK", "send OK", "send OK"}},
        {"ST field without a ; ends the list", "W:ST10;12\rW:ST13*\rW:ST14*15;\r",
            {"point 0 10", "point 1 12", "send OK", "point 2 13", "send OK", "point 3 14", "send OK"}},
        {"ST after SC uses the new scale", "W:ST5;*\rW:SCxVm10\rW:ST6;7;*\r",
            {"point 0 5", "send OK", "left V", "bottom mS", "send OK", "point 10 6", "point 20 7",
                "send OK"}},
        {"SC scale not a number keeps the scale", "W:SCxVm4\rW:SCxVmab\rW:ST1;2;*\r",
            {"left V", "bottom mS", "send OK", "left V", "bottom mS", "send OK", "point 0 1", "point 4 2",
                "send OK"}},
        {"RS +RALL+ROSC answers twice", "W:RS+RALL+ROSC\r",
            concat({kCounterReset, kReadoutReset, {"clear", "send OK", "clear", "send OK"}})},
        {"RS +RRKS", "W:RSxx+RRKSyy\r", concat({kCounterReset, {"send OK"}})},
        {"RS +RVA with Cyrillic Te", "W:RS+RVA\xD2\r", concat({kReadoutReset, {"send OK"}})},
        {"RS +RVAT with Latin T resets nothing", "W:RS+RVAT\rW:RS\rW:RSRALL\r", {}},
        {"RS all four in the fixed order", "W:RS+ROSC+RVA\xD2+RALL+RRKS\r",
            concat({kCounterReset, {"send OK"}, kCounterReset, kReadoutReset, {"clear", "send OK"},
                kReadoutReset, {"send OK", "clear", "send OK"}})},
    };
    for (const auto& c : cases)
        expectStream(c);
}

TEST(RecordParser, HalfRecordWaitsForItsCr)
{
    FakeView v;
    TRecordParser p(v);
    p.feed("W:VA1/2\rW:VA3/4\rW:ST7;");
    EXPECT_EQ(std::count(v.events.begin(), v.events.end(), "send OK"), 2);
    v.events.clear();
    p.feed("8;*\r");
    EXPECT_EQ(v.events, (Events{"point 0 7", "point 1 8", "send OK"}));
    EXPECT_EQ(p.pendingBytes(), 0u);
}

TEST(RecordParser, LimitsAreReadAtEveryRecord)
{
    FakeView v;
    v.limits[TLimit::Voltage] = "200";
    TRecordParser p(v);
    p.feed("W:VA-230/5\r");
    EXPECT_EQ(v.events[1], "color V red");
    v.limits[TLimit::Voltage] = "250";
    v.events.clear();
    p.feed("W:VA-230/5\r");
    EXPECT_EQ(v.events[1], "color V green");
}

// A number that cannot be read leaves only the colour that needs it as it was: the read-outs
// are shown, the event is counted and the record is answered.
TEST(RecordParser, UnreadableNumbersSkipOnlyTheColourThatNeedsThem)
{
    const StreamCase cases[] = {
        {"TR temperature", "W:TRabc/RK1\rW:TR2/RK1\r",
            {"text T abc", "counter RK1 1 red", "event", "send OK", "text T 2", "color T green",
                "counter RK1 2 red", "event", "send OK"}},
        {"TR without /", "W:TR42\r", {"text T "}},
        {"VA voltage", "W:VA1.5/2\rW:VA1/2\r",
            {"text V 1.5", "text I 2", "color I green", "send OK", "text V 1", "color V green", "text I 2",
                "color I green", "send OK"}},
        {"VA current", "W:VA1/x\r", {"text V 1", "color V green", "text I x", "send OK"}},
        {"VA out of 32-bit range", "W:VA2147483648/1\r",
            {"text V 2147483648", "text I 1", "color I green", "send OK"}},
        {"ST bad field plots what came before", "W:ST1;2;zz;3;*\rW:ST4;*\r",
            {"point 0 1", "point 1 2", "point 2 4", "send OK"}},
    };
    for (const auto& c : cases)
        expectStream(c);

    // A limit edit holding what the operator is typing: empty, a lone sign, not a number.
    for (const QByteArray& limit : {QByteArray(""), QByteArray("-"), QByteArray("5O")}) {
        const std::string name = "limit \"" + limit.toStdString() + "\"";
        FakeView temperature;
        temperature.limits[TLimit::Temperature] = limit;
        expectStream({name.c_str(), "W:TR80/RK2\rW:TR20/RK0\r",
                         {"text T 80", "counter RK2 1 red", "event", "send OK", "text T 20"}},
            temperature);
        FakeView voltage;
        voltage.limits[TLimit::Voltage] = limit;
        expectStream(
            {name.c_str(), "W:VA-15/3\r", {"text V -15", "text I 3", "color I green", "send OK"}}, voltage);
        FakeView current;
        current.limits[TLimit::Current] = limit;
        expectStream(
            {name.c_str(), "W:VA-15/3\r", {"text V -15", "color V green", "text I 3", "send OK"}}, current);
    }
}

TEST(RecordParser, CounterWrapsAfter65535)
{
    FakeView v;
    TRecordParser p(v);
    QByteArray many;
    for (int i = 0; i < 65535; ++i)
        many += "W:TR1/SUK\r";
    p.feed(many);
    EXPECT_EQ(p.counter(TEvent::SUK), 65535);
    v.events.clear();
    p.feed("W:TR1/SUK\r");
    EXPECT_EQ(p.counter(TEvent::SUK), 0);
    EXPECT_EQ(v.events[2], "counter SUK 0 red");
}

TEST(RecordParser, ScopeResetStartsAgainAtZeroWithScaleOne)
{
    FakeView v;
    TRecordParser p(v);
    p.feed("W:SCxVm5\rW:ST1;2;*\r");
    EXPECT_EQ(p.timeScale(), 5);
    p.resetScope();
    EXPECT_EQ(p.timeScale(), 1);
    EXPECT_EQ(p.sampleCount(), 0);
    v.events.clear();
    p.feed("W:ST9;8;*\rW:RS+ROSC\rW:ST3;*\r");
    EXPECT_EQ(
        v.events, (Events{"point 0 9", "point 1 8", "send OK", "clear", "send OK", "point 0 3", "send OK"}));
}

TEST(RecordParser, SamplesBeyondTheStoreAreIgnoredUntilReset)
{
    FakeView v;
    TRecordParser p(v);
    QByteArray record = "W:ST";
    for (int i = 0; i < TRecordParser::kSampleCapacity + 5; ++i)
        record += QByteArray::number(i) + ';';
    record += "*\r";
    p.feed(record);
    EXPECT_EQ(p.sampleCount(), TRecordParser::kSampleCapacity);
    EXPECT_EQ(p.sample(TRecordParser::kSampleCapacity), TRecordParser::kSampleCapacity - 1);
    EXPECT_EQ(std::count_if(v.events.begin(), v.events.end(), [](auto& e) { return e.starts_with("point"); }),
        TRecordParser::kSampleCapacity);
    EXPECT_EQ(v.events.back(), "send OK");
    v.events.clear();
    p.feed("W:ST1;*\r");
    EXPECT_EQ(v.events, (Events{"send OK"}));
    p.feed("W:RS+ROSC\rW:ST1;*\r");
    EXPECT_EQ(p.sampleCount(), 1);
}

TEST(RecordParser, ReceiveBufferIsBounded)
{
    FakeView v;
    TRecordParser p(v);
    const QByteArray noise(64 * 1024, 'x');
    for (int i = 0; i < 48; ++i) {
        p.feed(noise);
        ASSERT_LE(p.pendingBytes(), TRecordParser::kMaxPendingLine + noise.size());
    }
    // A record after the endless junk is still found...
    p.feed("W:VA1/2\r");
    EXPECT_EQ(v.events.back(), "send OK");
    v.events.clear();
    // ...but a record longer than any legal one is dropped, and the next line is read.
    p.feed("W:ST");
    const QByteArray digits(64 * 1024, '1');
    for (int i = 0; i < 20; ++i)
        p.feed(digits);
    ASSERT_LE(p.pendingBytes(), TRecordParser::kMaxPendingLine + digits.size());
    p.feed(";*\rW:VA3/4\r");
    EXPECT_EQ(v.events, (Events{"text V 3", "color V green", "text I 4", "color I green", "send OK"}));
}

TEST(RecordParser, FullLengthSampleRecordFitsTheBuffer)
{
    FakeView v;
    TRecordParser p(v);
    QByteArray record = "W:ST";
    for (int i = 0; i < TRecordParser::kSampleCapacity; ++i)
        record += "-2147483648;";
    record += "*\r";
    ASSERT_GT(record.size(), 120000);
    for (qsizetype at = 0; at < record.size(); at += 1000)
        p.feed(QByteArrayView(record).sliced(at, std::min<qsizetype>(1000, record.size() - at)));
    EXPECT_EQ(p.sampleCount(), TRecordParser::kSampleCapacity);
    EXPECT_EQ(v.events.back(), "send OK");
}

TEST(GetStr, Fields)
{
    struct {
        const char* s;
        int n;
        const char* expected;
    } cases[] = {
        {"10;12;15;*", 1, "10"},
        {"10;12;15;*", 2, "12"},
        {"10;12;15;*", 3, "15"},
        {"10;12;15;*", 4, ""},
        {"a*b;c", 2, "b"},
        {"a*b;c", 3, "c"},
        {"a*b;c", 7, "c"},
        {"", 1, ""},
        {";x", 1, ""},
        {"abc", 1, "abc"},
        {"abc", 2, "abc"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetStr(c.s, c.n), QByteArray(c.expected)) << c.s << " #" << c.n;
}

TEST(ParseWholeNumber, Forms)
{
    struct {
        const char* text;
        std::optional<std::int32_t> expected;
    } cases[] = {
        {"0", 0},
        {"42", 42},
        {"-15", -15},
        {"+7", 7},
        {"  12", 12},
        {"$1F", 31},
        {"0x1f", 31},
        {"0X10", 16},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"2147483648", std::nullopt},
        {"$100000000", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"12 ", std::nullopt},
        {"1.5", std::nullopt},
        {"yes", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseWholeNumber(c.text), c.expected) << c.text;
}

} // namespace

namespace {

// Random streams of record-like bytes: any split into chunks gives the same calls as the
// whole stream, and nothing is read or written out of bounds (run under the sanitizers).
TEST(RecordParser, RandomStreamsDoNotDependOnChunking)
{
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    const char* pieces[] = {"W:", "TR", "VA", "SC", "ST", "RS", "/", ";", "*", "\r", "\n", "RK1", "SUK",
        "+RALL", "+ROSC", "+RVA\xD2", "+RRKS", "-", "12", "x", "0x1F", "$", "99999999999", "\xD2", " "};
    for (int round = 0; round < 300; ++round) {
        QByteArray stream;
        const int length = int(next() % 200);
        for (int i = 0; i < length; ++i)
            stream += pieces[next() % std::size(pieces)];
        FakeView whole;
        TRecordParser a(whole);
        a.feed(stream);
        FakeView split;
        TRecordParser b(split);
        for (qsizetype at = 0; at < stream.size();) {
            const qsizetype n = std::min<qsizetype>(1 + next() % 9, stream.size() - at);
            b.feed(QByteArrayView(stream).sliced(at, n));
            at += n;
        }
        ASSERT_EQ(whole.events, split.events) << stream.toStdString();
        ASSERT_EQ(a.pendingBytes(), b.pendingBytes());
    }
}

} // namespace
