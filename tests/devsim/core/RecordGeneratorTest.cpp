#include "RecordGenerator.h"
#include "ConsoleModel.h"
#include "Reference.h"

#include <gtest/gtest.h>

using namespace devsim;

namespace {

GeneratorOptions everything()
{
    GeneratorOptions g;
    g.eventRate = 0.5;
    g.malformedRate = 0.3;
    g.weightRs = 2;
    return g;
}

std::vector<Line> streamLines(std::uint64_t seed, const GeneratorOptions& g, int steps)
{
    RecordGenerator gen(seed, g);
    std::vector<Line> lines;
    for (int i = 0; i < steps; ++i)
        for (auto& l : gen.stream())
            lines.push_back(std::move(l));
    return lines;
}

TEST(RecordGenerator, EveryLineOwesTheAnswersTheProtocolGivesIt)
{
    int malformed = 0, answered = 0;
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        for (const auto& line : streamLines(seed, everything(), 60)) {
            SCOPED_TRACE(line.text);
            EXPECT_EQ(line.text.find('\r'), std::string::npos);
            EXPECT_EQ(line.text.find('\n'), std::string::npos);
            const auto r = reference::read(line.text);
            EXPECT_EQ(line.expect, r.answers);
            if (line.malformed.empty()) {
                EXPECT_EQ(r.type, kKindNames[static_cast<std::size_t>(line.kind)]);
            }
            malformed += !line.malformed.empty();
            answered += r.answers > 0;
        }
    }
    EXPECT_GT(malformed, 100);
    EXPECT_GT(answered, 1000);
}

TEST(RecordGenerator, TextsCarryTheirFields)
{
    RecordGenerator gen(7, {});
    for (int i = 0; i < 50; ++i) {
        const Line va = gen.va();
        EXPECT_EQ(va.text, "W:VA" + va.voltage + "/" + va.current);
        EXPECT_NO_THROW((void)std::stoi(va.voltage)); // the console reads whole numbers only
        EXPECT_GE(std::stoi(va.current), 0);
        const Line tr = gen.tr(i % 6 - 1);
        EXPECT_EQ(tr.text, "W:TR" + tr.temperature + "/" + tr.event);
        EXPECT_EQ(tr.expect, i % 6 == 0 ? 0 : 1);
        const Line sc = gen.sc();
        ASSERT_EQ(sc.text.size(), 7 + std::to_string(sc.scale).size());
        EXPECT_EQ(sc.text[5], sc.yUnit);
        EXPECT_EQ(sc.text[6], sc.xUnit);
        EXPECT_EQ(sc.text.substr(7), std::to_string(sc.scale));
    }
    EXPECT_EQ(gen.rs(ResetAll | ResetScope).text, "W:RS+RALL+ROSC");
    EXPECT_EQ(gen.rs(ResetAll | ResetScope).expect, 2);
    EXPECT_EQ(gen.rs(ResetReadouts).text, "W:RS+RVA\xD2");
}

TEST(RecordGenerator, CaptureIsSplitOverSeveralSampleRecords)
{
    GeneratorOptions g;
    g.burstSamples = 150;
    RecordGenerator gen(11, g);
    const auto lines = gen.capture();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0].text, "W:RS+ROSC");
    EXPECT_EQ(lines[1].kind, Kind::SC);
    std::size_t samples = 0;
    int peak = 0;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const auto& st = lines[i];
        ASSERT_EQ(st.kind, Kind::ST);
        std::string expected = "W:ST";
        for (const auto s : st.samples) {
            expected += std::to_string(s) + ";";
            peak = std::max(peak, std::abs(s));
        }
        EXPECT_EQ(st.text, expected + "*");
        EXPECT_LE(st.samples.size(), 20u);
        samples += st.samples.size();
    }
    EXPECT_EQ(samples, 150u);
    EXPECT_GT(lines.size(), 6u);
    EXPECT_GT(peak, 100); // a transient, not noise

    g.scopeResetBeforeBurst = false;
    EXPECT_EQ(RecordGenerator(11, g).capture()[0].kind, Kind::SC);
}

TEST(RecordGenerator, SeedFixesTheLines)
{
    auto texts = [](std::uint64_t seed) {
        std::vector<std::string> t;
        for (const auto& l : streamLines(seed, everything(), 80))
            t.push_back(l.text);
        return t;
    };
    EXPECT_EQ(texts(5), texts(5));
    EXPECT_NE(texts(5), texts(6));
}

TEST(RecordGenerator, DiagnosticCountsEachEventOnce)
{
    RecordGenerator gen(1, {});
    const auto lines = gen.diagnostic();
    ConsoleModel model;
    int answers = 0;
    for (const auto& l : lines) {
        model.apply(l);
        answers += l.expect;
    }
    EXPECT_EQ(answers, 6);
    for (const auto c : model.counters)
        EXPECT_EQ(c, 1);
    EXPECT_EQ(lines.back().event, "RK0");
}

Line make(Kind kind)
{
    Line l;
    l.kind = kind;
    return l;
}

TEST(ConsoleModel, FollowsCountersReadoutsAndScope)
{
    ConsoleModel m;
    Line ev = make(Kind::TR);
    ev.temperature = "80";
    ev.event = "SUK";
    for (int i = 0; i < 65537; ++i)
        m.apply(ev);
    EXPECT_EQ(m.counters[4], 1); // unsigned 16-bit: 65536 counts wrap to 0
    EXPECT_EQ(m.temperature, "80");

    Line sc = make(Kind::SC);
    sc.yUnit = 'T';
    sc.xUnit = 'u';
    sc.scale = 5;
    m.apply(sc);
    EXPECT_EQ(m.yTitle,
        "t \xB0"
        "C");
    EXPECT_EQ(m.xTitle, "\xB5S");
    sc.yUnit = 'Q';
    sc.xUnit = 'q';
    sc.scale = 7;
    m.apply(sc);
    EXPECT_EQ(m.yTitle,
        "t \xB0"
        "C"); // unknown letters keep the titles
    EXPECT_EQ(m.scale, 7);

    Line st = make(Kind::ST);
    st.samples = {10, 12, 15};
    EXPECT_EQ(m.apply(st), 0);
    st.samples = {20};
    EXPECT_EQ(m.apply(st), 3);

    Line rs = make(Kind::RS);
    rs.resets = ResetReadouts;
    m.apply(rs);
    EXPECT_EQ(m.temperature, "0");
    EXPECT_EQ(m.counters[4], 1);
    rs.resets = ResetScope;
    m.apply(rs);
    EXPECT_EQ(m.samples, 0);
    EXPECT_EQ(m.scale, 1);
    rs.resets = ResetCounters;
    m.apply(rs);
    EXPECT_EQ(m.counters[4], 0);

    Line va = make(Kind::VA);
    va.voltage = "-15";
    va.current = "3";
    m.apply(va);
    m.apply(st);
    rs.resets = ResetAll;
    m.apply(rs);
    EXPECT_EQ(m.voltage, "0");
    EXPECT_EQ(m.samples, 0);
}

} // namespace
