#include "Json.h"
#include "Options.h"
#include "Stats.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace devsim;

namespace {

TEST(Stats, NearestRankMedianAndP99)
{
    struct Case {
        std::vector<std::int64_t> samples;
        std::int64_t median, p99, max;
    };
    std::vector<std::int64_t> hundred;
    for (int i = 100; i >= 1; --i)
        hundred.push_back(i);
    std::vector<std::int64_t> thousand(1000, 5);
    thousand[3] = 900; // one outlier in a thousand stays out of the 99th percentile
    const Case cases[] = {
        {{}, 0, 0, 0},
        {{7}, 7, 7, 7},
        {{3, 1, 2}, 2, 3, 3},
        {{4, 1, 3, 2}, 2, 4, 4},
        {hundred, 50, 99, 100},
        {thousand, 5, 5, 900},
    };
    for (auto c : cases) {
        const auto r = summarise(c.samples);
        EXPECT_EQ(r.medianUs, c.median);
        EXPECT_EQ(r.p99Us, c.p99);
        EXPECT_EQ(r.maxUs, c.max);
    }
}

TEST(Stats, JsonIsValidAndCarriesTheFigures)
{
    Stats s;
    s.end = "count";
    s.seed = 42;
    s.records = 3;
    s.byKind = {1, 1, 0, 1, 0};
    s.answersExpected = 3;
    s.answersReceived = 2;
    s.answersMissing = 1;
    s.roundTripsUs = {100, 300};
    ConsoleModel console;
    console.voltage = "-15";
    console.yTitle = "t \xB0"
                     "C";
    console.counters[3] = 2;
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(s.json(console)));
    ASSERT_TRUE(doc.isObject());
    const auto o = doc.object();
    EXPECT_EQ(o["end"].toString(), "count");
    EXPECT_EQ(o["by_type"].toObject()["ST"].toInt(), 1);
    EXPECT_EQ(o["answers"].toObject()["missing"].toInt(), 1);
    EXPECT_EQ(o["rtt_us"].toObject()["median"].toInt(), 100);
    EXPECT_EQ(o["console"].toObject()["counters"].toObject()["CFK"].toInt(), 2);
    EXPECT_EQ(o["console"].toObject()["voltage"].toString(), "-15");
    // Bytes above 0x7F come back as the code points of the same number.
    EXPECT_EQ(o["console"].toObject()["y_title"].toString(),
        QString::fromLatin1("t \xB0"
                            "C"));
    EXPECT_EQ(s.exitCode(), 1);
    EXPECT_NE(s.text(console).find("ANSWERS expected=3 received=2 missing=1 unexpected=0 abandoned=0\n"),
        std::string::npos);
}

TEST(Options, ParsesValuesFlagsAndRejectsNonsense)
{
    Options o;
    ASSERT_EQ(
        parseOptions({"--seed", "9", "--rate=250", "--count", "10", "--flood", "--mix", "va=1,rs=3",
                         "--malformed", "0.25", "--hangup-after", "4", "--hangup-mid", "--no-scope-reset"},
            o),
        "");
    EXPECT_EQ(o.seed, 9u);
    EXPECT_EQ(o.rate, 250.0);
    EXPECT_EQ(o.count, 10);
    EXPECT_TRUE(o.flood);
    EXPECT_EQ(o.effectiveWindow(), 0);
    EXPECT_EQ(o.effectiveSplitGapUs(), 0);
    EXPECT_EQ(o.generator.weightVa, 1);
    EXPECT_EQ(o.generator.weightRs, 3);
    EXPECT_EQ(o.generator.weightTr, 4); // not named: unchanged
    EXPECT_EQ(o.generator.malformedRate, 0.25);
    EXPECT_FALSE(o.generator.scopeResetBeforeBurst);

    const std::vector<std::vector<std::string>> bad = {
        {"--rate", "-1"},
        {"--rate", "fast"},
        {"--count"},
        {"--malformed", "1.5"},
        {"--mix", "va=1,xx=2"},
        {"--mix", "va"},
        {"--hangup-mid"},
        {"--reopen"},
        {"--device", "/dev/ttyS0", "--link", "/tmp/x"},
        {"--flood=yes"},
        {"--bogus"},
        {"--seed", "12x"},
    };
    for (const auto& args : bad) {
        Options x;
        EXPECT_NE(parseOptions(args, x), "") << args[0];
    }
}

TEST(Json, QuotesControlAndHighBytes)
{
    EXPECT_EQ(json::quote("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(json::quote("\r\n"), "\"\\u000d\\u000a\"");
    EXPECT_EQ(json::quote("+RVA\xD2"), "\"+RVA\\u00d2\"");
}

} // namespace
