// Capture boundaries: record sequences go through the record parser, whose view feeds the
// recorder as the window does; each case is fed whole and a byte at a time, and what the
// recorder hands over for storing is compared with the expected captures.
#include "archive/CaptureRecorder.h"
#include "session/RecordParser.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

class FeedingView : public TRecordView {
public:
    explicit FeedingView(CaptureRecorder& recorder)
        : recorder_(recorder)
    {
    }
    QString xTitle, yTitle;

    QByteArray limitText(TLimit) const override { return "50"; }
    void setReadoutText(TReadout, QByteArrayView) override { }
    void setReadoutColor(TReadout, TColor) override { }
    void setCounter(TEvent, std::uint16_t, TColor) override { }
    void eventCounted() override { }
    void setLeftAxisTitle(const QString& t) override { yTitle = t; }
    void setBottomAxisTitle(const QString& t) override { xTitle = t; }
    void addPoint(double x, double y) override { recorder_.addPoint(std::int64_t(x), std::int32_t(y)); }
    void clearScope() override { recorder_.reset(); }
    void send(const QByteArray&) override { }
    // The window hands the recorder each counted event with the journal's time of it.
    void lineOutcome(const TLineOutcome& o) override
    {
        if (o.event && clock)
            recorder_.eventCounted(QString::fromLatin1(eventName(*o.event)), clock());
    }
    std::function<std::int64_t()> clock;

private:
    CaptureRecorder& recorder_;
};

struct Expected {
    std::int64_t key;
    std::vector<std::int64_t> x;
    std::vector<std::int32_t> y;
    QString xTitle = {};
    QString yTitle = {};
};

struct Harness {
    CaptureRecorder recorder;
    FeedingView view{recorder};
    TRecordParser parser{view};
    std::vector<CaptureData> stored;
    std::int64_t now = 1'796'727'062'125; // 2026-12-08T10:51:02.125Z

    Harness()
    {
        recorder.clock = [this] { return now; };
        view.clock = [this] { return now; };
        recorder.portName = [] { return QStringLiteral("/dev/pts/7"); };
        recorder.xTitle = [this] { return view.xTitle; };
        recorder.yTitle = [this] { return view.yTitle; };
        QObject::connect(
            &recorder, &CaptureRecorder::captureReady, [this](const CaptureData& c) { stored.push_back(c); });
    }
    void feed(const QByteArray& bytes, bool split)
    {
        if (!split) {
            parser.feed(bytes);
            return;
        }
        for (char c : bytes)
            parser.feed(QByteArrayView(&c, 1));
    }
};

QByteArray samples(int first, int count)
{
    QByteArray r = "W:ST";
    for (int i = 0; i < count; ++i)
        r += QByteArray::number(first + i) + ';';
    return r + "*\r";
}

std::vector<std::int64_t> iota(std::int64_t n, std::int64_t step = 1)
{
    std::vector<std::int64_t> v;
    for (std::int64_t i = 0; i < n; ++i)
        v.push_back(i * step);
    return v;
}

std::vector<std::int32_t> values(int first, int n)
{
    std::vector<std::int32_t> v;
    for (int i = 0; i < n; ++i)
        v.push_back(first + i);
    return v;
}

void expectStored(
    const std::vector<CaptureData>& stored, const std::vector<Expected>& expected, const char* name)
{
    ASSERT_EQ(stored.size(), expected.size()) << name;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(stored[i].key, expected[i].key) << name << " #" << i;
        EXPECT_EQ(stored[i].x, expected[i].x) << name << " #" << i;
        EXPECT_EQ(stored[i].y, expected[i].y) << name << " #" << i;
        EXPECT_EQ(stored[i].xTitle, expected[i].xTitle) << name << " #" << i;
        EXPECT_EQ(stored[i].yTitle, expected[i].yTitle) << name << " #" << i;
        EXPECT_EQ(stored[i].port, QStringLiteral("/dev/pts/7"));
    }
}

} // namespace

TEST(CaptureBoundaries, RecordSequencesGiveTheStoredCaptures)
{
    struct Case {
        const char* name;
        QByteArray records;
        std::vector<Expected> expected; // handed over by the records, then by a flush
    };
    const Case cases[] = {
        {"reset ends a capture", "W:ST1;2;3;*\rW:RS+ROSC\rW:ST4;*\r",
            {{1, {0, 1, 2}, {1, 2, 3}}, {2, {0}, {4}}}},
        {"resets without samples create nothing",
            "W:RS+ROSC\rW:RS+ROSC\rW:ST5;*\rW:RS+RALL\rW:RS+RALL\rW:RS+ROSC\r", {{1, {0}, {5}}}},
        {"+RALL and +ROSC together make one boundary", "W:ST1;2;*\rW:RS+RALL+ROSC\rW:ST3;*\r",
            {{1, {0, 1}, {1, 2}}, {2, {0}, {3}}}},
        {"samples over several records", "W:ST1;2;*\rW:VA1/2\rW:ST3;*\rW:TR20/RK1\rW:ST4;*\r",
            {{1, {0, 1, 2, 3}, {1, 2, 3, 4}}}},
        {"a scale change inside keeps the points' X", "W:SCxVm10\rW:ST1;2;*\rW:SCxAs5\rW:ST3;4;*\r",
            {{1, {0, 10, 10, 15}, {1, 2, 3, 4}, QStringLiteral("S"), QStringLiteral("A")}}},
        {"a negative scale", "W:SCxTu-3\rW:ST1;2;3;*\r",
            {{1, {0, -3, -6}, {1, 2, 3}, QStringLiteral("\u00B5S"), QStringLiteral("t \u00B0C")}}},
        {"titles as shown at the store", "W:SCxVm1\rW:ST1;*\rW:RS+ROSC\rW:SCxAs1\rW:ST2;*\r",
            {{1, {0}, {1}, QStringLiteral("mS"), QStringLiteral("V")},
                {2, {0}, {2}, QStringLiteral("S"), QStringLiteral("A")}}},
        {"other resets are no boundary", "W:ST1;*\rW:RS+RRKS\rW:RS+RVA\xD2\rW:ST2;*\r",
            {{1, {0, 1}, {1, 2}}}},
        {"nothing at all", "W:VA1/2\rW:RS+ROSC\r", {}},
    };
    for (const Case& c : cases) {
        for (bool split : {false, true}) {
            Harness h;
            h.feed(c.records, split);
            h.recorder.flush();
            expectStored(h.stored, c.expected, c.name);
        }
    }
}

TEST(CaptureBoundaries, TheScopeButtonIsABoundaryLikeAResetRecord)
{
    Harness h;
    h.feed("W:ST1;2;*\r", false);
    h.parser.resetScope(); // "C"
    h.parser.resetScope();
    h.feed("W:ST3;*\r", false);
    h.recorder.flush();
    expectStored(h.stored, {{1, {0, 1}, {1, 2}}, {2, {0}, {3}}}, "button");
}

TEST(CaptureBoundaries, AFullSampleStoreEndsTheCaptureAtItsCapacity)
{
    for (bool split : {false, true}) {
        Harness h;
        h.feed(samples(0, 6000), split);
        h.feed(samples(6000, 6000), split);
        h.feed("W:RS+ROSC\r", split);
        ASSERT_EQ(h.stored.size(), 1u);
        EXPECT_EQ(h.stored[0].x, iota(TRecordParser::kSampleCapacity));
        EXPECT_EQ(h.stored[0].y, values(0, TRecordParser::kSampleCapacity));
    }
}

TEST(CaptureBoundaries, AQuietCaptureIsStoredThenUpdatedWhenItGrows)
{
    for (bool split : {false, true}) {
        Harness h;
        h.feed("W:ST1;2;*\r", split);
        h.now += CaptureRecorder::kQuietMs - 1;
        h.recorder.checkQuiet();
        EXPECT_TRUE(h.stored.empty()) << "stored before the quiet spell was over";
        h.now += 1;
        h.recorder.checkQuiet();
        h.recorder.checkQuiet();
        ASSERT_EQ(h.stored.size(), 1u);
        EXPECT_EQ(h.stored[0].started, QStringLiteral("2026-12-08T10:51:02.125Z"));
        EXPECT_EQ(h.stored[0].ended, QStringLiteral("2026-12-08T10:51:02.125Z"));

        h.now += 60'000;
        h.feed("W:ST3;*\r", split);
        h.feed("W:RS+ROSC\r", split); // stores the grown capture under the same key
        h.recorder.flush(); // nothing new
        expectStored(h.stored, {{1, {0, 1}, {1, 2}}, {1, {0, 1, 2}, {1, 2, 3}}}, "quiet then growth");
        EXPECT_EQ(h.stored[1].started, QStringLiteral("2026-12-08T10:51:02.125Z"));
        EXPECT_EQ(h.stored[1].ended, QStringLiteral("2026-12-08T10:52:04.125Z"));
    }
}

TEST(CaptureBoundaries, ClosingStoresWhatIsNewAndAReopenedLineGrowsTheSameCapture)
{
    Harness h;
    h.feed("W:ST1;*\r", false);
    h.recorder.flush(); // port closed
    h.recorder.flush(); // window closed: nothing new
    h.feed("W:ST2;*\r", false); // the line came back without a reset
    h.recorder.flush();
    expectStored(h.stored, {{1, {0}, {1}}, {1, {0, 1}, {1, 2}}}, "close");
}

TEST(CaptureEvents, EachCaptureKnowsTheEventThatStartedIt)
{
    struct Step {
        std::int64_t afterMs; // time passed before the bytes come
        QByteArray bytes;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<QString> events; // of the captures handed over, in order
    };
    const auto kinds = {"RK1", "RK2", "RK3", "CFK", "SUK"};
    std::vector<Case> cases;
    for (const char* kind : kinds) {
        cases.push_back({"event, reset, samples",
            {{0, "W:TR80/" + QByteArray(kind) + "\r"}, {5, "W:RS+ROSC\rW:SCxAm1\r"}, {5, "W:ST1;2;*\r"}},
            {QString::fromLatin1(kind)}});
        cases.push_back({"event, samples without a reset",
            {{0, "W:TR20/" + QByteArray(kind) + "\r"}, {3, "W:ST1;*\rW:ST2;*\r"}},
            {QString::fromLatin1(kind)}});
    }
    const std::vector<Case> more = {
        {"no event: a capture after PUSK", {{0, "W:RS+ROSC\rW:ST1;*\r"}}, {QString()}},
        {"RK0 counts nothing", {{0, "W:TR20/RK0\r"}, {1, "W:ST1;*\r"}}, {QString()}},
        {"ten seconds is still in time", {{0, "W:TR20/RK2\r"}, {10000, "W:ST1;*\r"}},
            {QStringLiteral("RK2")}},
        {"an event over ten seconds old", {{0, "W:TR20/RK2\r"}, {10001, "W:ST1;*\r"}}, {QString()}},
        {"the last of two events", {{0, "W:TR20/RK1\rW:TR20/CFK\rW:RS+ROSC\r"}, {1, "W:ST1;*\r"}},
            {QStringLiteral("CFK")}},
        {"an event starts one capture only",
            {{0, "W:TR20/SUK\rW:ST1;*\rW:RS+ROSC\r"}, {1, "W:ST2;*\rW:RS+ROSC\r"}},
            {QStringLiteral("SUK"), QString()}},
        {"an event during a capture goes to the next",
            {{0, "W:ST1;*\rW:TR20/RK3\rW:ST2;*\r"}, {1, "W:RS+ROSC\rW:ST3;*\r"}},
            {QString(), QStringLiteral("RK3")}},
        {"a reset of everything between event and samples",
            {{0, "W:TR20/RK1\rW:RS+RALL\r"}, {2, "W:ST1;*\r"}}, {QStringLiteral("RK1")}},
    };
    cases.insert(cases.end(), more.begin(), more.end());
    for (const Case& c : cases) {
        for (bool split : {false, true}) {
            Harness h;
            for (const Step& step : c.steps) {
                h.now += step.afterMs;
                h.feed(step.bytes, split);
            }
            h.recorder.flush();
            std::vector<QString> events;
            for (const CaptureData& stored : h.stored)
                events.push_back(stored.event);
            EXPECT_EQ(events, c.events) << c.name << (split ? " (byte by byte)" : "");
        }
    }
}

TEST(CaptureEvents, TheEventAndItsTimeStayWithACaptureThatGrowsAfterItWasStored)
{
    Harness h;
    h.feed("W:TR80/RK1\r", false);
    h.now += 250;
    h.feed("W:RS+ROSC\rW:ST1;*\r", false);
    h.now += CaptureRecorder::kQuietMs;
    h.recorder.checkQuiet();
    h.feed("W:TR80/RK2\rW:ST2;*\r", false); // counted inside the capture: not its event
    h.recorder.flush();
    ASSERT_EQ(h.stored.size(), 2u);
    for (const CaptureData& c : h.stored) {
        EXPECT_EQ(c.key, 1);
        EXPECT_EQ(c.event, QStringLiteral("RK1"));
        EXPECT_EQ(c.eventTime, QStringLiteral("2026-12-08T10:51:02.125Z"));
        EXPECT_EQ(c.started, QStringLiteral("2026-12-08T10:51:02.375Z"));
    }
}

TEST(CaptureBoundaries, AGrowingCaptureIsHandedOverMarkedGrowingUntilItsFirstEnd)
{
    Harness h;
    h.feed("W:ST1;2;*\r", false);
    h.recorder.checkGrowth();
    h.recorder.checkGrowth(); // nothing new
    h.feed("W:ST3;*\r", false);
    h.now += CaptureRecorder::kQuietMs;
    h.recorder.checkQuiet(); // the end: its journal row is due now, with every point
    h.feed("W:ST4;*\r", false);
    h.recorder.checkGrowth(); // grew after its end
    h.feed("W:RS+ROSC\r", false); // ended again: handed over once more
    h.feed("W:ST5;*\r", false);
    h.recorder.checkGrowth();
    expectStored(h.stored,
        {{1, {0, 1}, {1, 2}}, {1, {0, 1, 2}, {1, 2, 3}}, {1, {0, 1, 2, 3}, {1, 2, 3, 4}},
            {1, {0, 1, 2, 3}, {1, 2, 3, 4}}, {2, {0}, {5}}},
        "growth");
    std::vector<bool> growing;
    for (const CaptureData& c : h.stored)
        growing.push_back(c.growing);
    EXPECT_EQ(growing, (std::vector<bool>{true, false, false, false, true}));
}
