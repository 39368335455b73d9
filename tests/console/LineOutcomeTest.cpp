#include "session/RecordParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One line of text per outcome, so a case reads as a script.
std::string describe(const TLineOutcome& o)
{
    static const char* reasonNames[] = {"no-W", "type", "no-event", "number", "no-reset", "full", "long"};
    static const char* fieldNames[] = {"temperature", "voltage", "current", "scale", "sample", "temp-limit",
        "voltage-limit", "current-limit"};
    static const char* eventNames[] = {"RK1", "RK2", "RK3", "CFK", "SUK"};
    static const char* readoutNames[] = {"V", "I", "T"};
    static const char* resetNames[] = {"counters", "readouts", "scope"};
    std::string s = std::string(o.type) + (o.answered() ? " ok" + std::to_string(o.answers) : " silent");
    if (o.unanswered())
        s += " owed";
    for (int i = 0; i < 7; ++i)
        if (o.reasons & (1u << i))
            s += std::string(" ") + reasonNames[i];
    for (int i = 0; i < 8; ++i)
        if (o.badFields & (1u << i))
            s += std::string(" bad:") + fieldNames[i];
    if (o.badSample)
        s += " #" + std::to_string(o.badSample);
    if (o.event)
        s += std::string(" event:") + eventNames[int(*o.event)] + "@" + std::string(o.temperature);
    for (int i = 0; i < o.readingCount; ++i) {
        const auto& r = o.readings[std::size_t(i)];
        s += std::string(" ") + readoutNames[int(r.which)] + "=" + std::string(r.text) + "/"
            + std::to_string(r.limit) + (r.red ? "red" : "green");
    }
    for (int i = 0; i < o.resetCount; ++i)
        s += std::string(" reset:") + resetNames[int(o.resets[std::size_t(i)])];
    return s;
}

class OutcomeView : public TRecordView {
public:
    QByteArray limit = "50";
    std::vector<std::string> outcomes;
    int sends = 0;

    QByteArray limitText(TLimit) const override { return limit; }
    void setReadoutText(TReadout, QByteArrayView) override { }
    void setReadoutColor(TReadout, TColor) override { }
    void setCounter(TEvent, std::uint16_t, TColor) override { }
    void eventCounted() override { }
    void setLeftAxisTitle(const QString&) override { }
    void setBottomAxisTitle(const QString&) override { }
    void addPoint(double, double) override { }
    void clearScope() override { }
    void send(const QByteArray&) override { ++sends; }
    void lineOutcome(const TLineOutcome& o) override { outcomes.push_back(describe(o)); }
};

struct OutcomeCase {
    const char* input;
    std::vector<std::string> expected;
};

TEST(LineOutcome, EveryKindOfLineWholeAndSplit)
{
    const std::vector<OutcomeCase> cases = {
        {"W:VA12/3\r", {"VA ok1 V=12/50green I=3/50green"}},
        {"xx W:VA-60/70\r", {"VA ok1 V=-60/50red I=70/50red"}},
        {"W:TR80/RK2\r", {"TR ok1 event:RK2@80 T=80/50red"}},
        {"W:TR42/RK0\r", {"TR silent no-event T=42/50green"}},
        {"W:TRabc/RK1\r", {"TR ok1 number bad:temperature event:RK1@abc"}},
        {"W:VA1x/3\r", {"VA ok1 number bad:voltage I=3/50green"}},
        {"W:VA1/three\r", {"VA ok1 number bad:current V=1/50green"}},
        {"W:SCxVmten\r", {"SC ok1 number bad:scale"}},
        {"W:ST1;2;q;4;*\r", {"ST silent owed number bad:sample #3"}},
        {"W:ST1;2;*\r", {"ST ok1"}},
        {"W:RS+RVAT\r", {"RS silent no-reset"}},
        {"W:RS+RALL+ROSC\r", {"RS ok2 reset:counters reset:readouts reset:scope reset:scope"}},
        {"W:RS+RVA\xD2\r", {"RS ok1 reset:readouts"}},
        {"W:QQ1\r", {"QQ silent type"}},
        {"W:\r", {" silent type"}},
        {"hello\r", {" silent no-W"}},
        // A LF after the CR is leading text of the next line; one outcome per CR.
        {"W:VA1/2\r\nW:TR1/SUK\r\n\r",
            {"VA ok1 V=1/50green I=2/50green", "TR ok1 event:SUK@1 T=1/50green", " silent no-W"}},
        {"W:VA1/2", {}},
    };
    for (const auto& c : cases) {
        const QByteArray input(c.input);
        {
            OutcomeView v;
            TRecordParser p(v);
            p.feed(input);
            EXPECT_EQ(v.outcomes, c.expected) << c.input << " (whole)";
        }
        {
            OutcomeView v;
            TRecordParser p(v);
            for (char byte : input)
                p.feed(QByteArrayView(&byte, 1));
            EXPECT_EQ(v.outcomes, c.expected) << c.input << " (byte by byte)";
        }
    }
}

TEST(LineOutcome, UnreadableLimitIsNamed)
{
    OutcomeView v;
    v.limit = "5x";
    TRecordParser p(v);
    p.feed("W:TR1/RK1\rW:VA1/2\r");
    EXPECT_EQ(v.outcomes,
        (std::vector<std::string>{"TR ok1 number bad:temp-limit event:RK1@1",
            "VA ok1 number bad:voltage-limit bad:current-limit"}));
}

TEST(LineOutcome, FullStoreAndOverlongLineAreReasons)
{
    OutcomeView v;
    TRecordParser p(v);
    QByteArray samples = "W:ST";
    for (int i = 0; i < TRecordParser::kSampleCapacity + 2; ++i)
        samples += "1;";
    p.feed(samples + "*\r");
    ASSERT_EQ(v.outcomes.size(), 1u);
    EXPECT_EQ(v.outcomes[0], "ST ok1 full");

    QByteArray overlong = "W:VA";
    overlong.append(QByteArray(int(TRecordParser::kMaxPendingLine) + 8, '1'));
    p.feed(overlong);
    p.feed("/2\rW:VA1/2\r");
    ASSERT_EQ(v.outcomes.size(), 3u);
    EXPECT_EQ(v.outcomes[1], " silent long");
    EXPECT_EQ(v.outcomes[2], "VA ok1 V=1/50green I=2/50green");
}

// Resets from the buttons are not a line's.
TEST(LineOutcome, ButtonResetsReportNoOutcome)
{
    OutcomeView v;
    TRecordParser p(v);
    p.resetCounters();
    p.resetReadouts();
    p.resetScope();
    EXPECT_TRUE(v.outcomes.empty());
}

} // namespace
