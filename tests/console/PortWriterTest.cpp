#include "session/PortWriter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A port whose device takes a given number of bytes and then no more until told; a waiting
// write that cannot finish gives up as after its timeout.
class FakeTarget : public TWriteTarget {
public:
    qsizetype room = 1 << 20;
    QByteArray wire;
    int waitedWrites = 0;
    int timeouts = 0;

    Outcome write(QByteArrayView bytes, bool wait) override
    {
        const qsizetype n = std::min(room, bytes.size());
        wire += bytes.first(n).toByteArray();
        room -= n;
        if (wait)
            ++waitedWrites;
        if (wait && n < bytes.size()) {
            ++timeouts;
            return {n, QStringLiteral("WriteFile function failed (110)")};
        }
        return {n, {}};
    }
};

struct Report {
    QString failure;
    int dropped;
};

class PortWriterTest : public ::testing::Test {
protected:
    FakeTarget port;
    TPortWriter writer{port};
    std::vector<Report> reports;

    void SetUp() override
    {
        writer.OnStallEnded = [this](const QString& failure, int dropped) {
            reports.push_back({failure, dropped});
        };
    }
};

const QByteArray kOk = "OK\r\n";

TEST_F(PortWriterTest, AStallWaitsOnceDropsAndCountsAndEndsWhenTheDeviceReadsAgain)
{
    EXPECT_TRUE(writer.write({kOk, kOk}));
    EXPECT_EQ(port.wire, kOk + kOk);

    port.room = 0; // the device stops reading
    EXPECT_FALSE(writer.write({kOk, kOk, kOk}));
    EXPECT_TRUE(writer.stalled());
    for (int block = 0; block < 50; ++block)
        EXPECT_FALSE(writer.write({kOk, kOk}));
    EXPECT_FALSE(writer.write({"PUSK\r\n"})); // the operator's command as well
    EXPECT_EQ(port.waitedWrites, 2) << "only the write that began the stall waited";
    EXPECT_EQ(port.timeouts, 1);
    EXPECT_EQ(writer.dropped(), 3 + 100 + 1);
    EXPECT_TRUE(reports.empty()) << "reported once, when the stall ends";

    port.room = 1 << 20; // reading again
    EXPECT_TRUE(writer.write({kOk}));
    EXPECT_FALSE(writer.stalled());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].failure, QStringLiteral("WriteFile function failed (110)"));
    EXPECT_EQ(reports[0].dropped, 104);
    EXPECT_EQ(port.wire, kOk + kOk + kOk);

    // The next stall waits once again and is reported on its own.
    port.room = 0;
    EXPECT_FALSE(writer.write({kOk}));
    port.room = 100;
    EXPECT_TRUE(writer.write({kOk}));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].dropped, 1);
    EXPECT_EQ(port.waitedWrites, 3);
}

// A text the device got only the head of is finished first once it reads again; what came
// after it in the same write is dropped, and nothing is held but that one rest.
TEST_F(PortWriterTest, ACutTextIsFinishedBeforeAnythingElse)
{
    struct Case {
        const char* name;
        qsizetype room; // bytes the device took before it stopped
        QByteArray wireAtStall;
        int droppedAtStall;
        QByteArray wireAtEnd;
        int droppedAtEnd;
    };
    // Then, still held, "PUSK" is sent; the device takes one byte and "VCC" is sent; it
    // reads again and "OK" is sent.
    const Case cases[] = {
        {"nothing taken", 0, "", 3, "VCC\r\nOK\r\n", 4},
        {"first whole", 4, "OK\r\n", 2, "OK\r\nVCC\r\nOK\r\n", 3},
        {"second cut", 5, "OK\r\nO", 1, "OK\r\nOK\r\nOK\r\n", 3},
        {"third cut at its end", 11, "OK\r\nOK\r\nOK\r", 0, "OK\r\nOK\r\nOK\r\nOK\r\n", 2},
    };
    for (const Case& c : cases) {
        FakeTarget target;
        TPortWriter w(target);
        std::vector<Report> ended;
        w.OnStallEnded = [&](const QString&, int dropped) { ended.push_back({{}, dropped}); };
        target.room = c.room;
        EXPECT_FALSE(w.write({kOk, kOk, kOk})) << c.name;
        EXPECT_EQ(target.wire, c.wireAtStall) << c.name;
        EXPECT_EQ(w.dropped(), c.droppedAtStall) << c.name;

        EXPECT_FALSE(w.write({"PUSK\r\n"})) << c.name;
        target.room = 1;
        EXPECT_FALSE(w.write({"VCC\r\n"})) << c.name;
        target.room = 1 << 20;
        EXPECT_TRUE(w.write({kOk})) << c.name;
        EXPECT_EQ(target.wire, c.wireAtEnd) << c.name;
        ASSERT_EQ(ended.size(), 1u) << c.name;
        EXPECT_EQ(ended[0].dropped, c.droppedAtEnd) << c.name;
        EXPECT_EQ(target.waitedWrites, 1) << c.name;
    }
}

TEST_F(PortWriterTest, AClosedPortEndsTheStallAndForgetsTheRest)
{
    port.room = 6;
    EXPECT_FALSE(writer.write({kOk, kOk, kOk}));
    writer.portClosed();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].dropped, 1);
    EXPECT_FALSE(writer.stalled());

    port.room = 1 << 20;
    EXPECT_TRUE(writer.write({kOk}));
    EXPECT_EQ(port.wire, "OK\r\nOK" + kOk) << "the rest of the cut text went with the old connection";
    writer.portClosed();
    EXPECT_EQ(reports.size(), 1u) << "no stall, nothing to report";
}

} // namespace
