#include "session/LineLog.h"
#include "console/core/LineTraceModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> texts(const TLineLog& log)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const TLoggedLine& l = log.at(i);
        std::string s = (l.sent ? "> " : "< ") + visibleText(l.bytes).toStdString();
        const QString v = verdictText(l);
        if (!v.isEmpty())
            s += " | " + v.toStdString();
        out.push_back(s);
    }
    return out;
}

TLineOutcome answered(int answers = 1)
{
    TLineOutcome o;
    o.type = "VA";
    o.answers = answers;
    return o;
}

using Lines = std::vector<std::string>;

TEST(LineLog, ReceivedLinesAreCutAfterEachCrWithTheTerminalsLfLeft)
{
    TLineLog log;
    // The parser's verdicts arrive after the bytes, one per CR.
    log.received("W:VA1/2\r\nW:VA", 1000);
    log.outcome(answered());
    log.received("3/4\rjunk\x1b\x7f\xc0\r", 1010);
    log.outcome(answered());
    TLineOutcome silent;
    silent.reasons = std::uint32_t(TLineReason::NoRecord);
    log.outcome(silent);
    EXPECT_EQ(texts(log),
        (Lines{"< W:VA1/2⟨CR⟩ | отговорен", "< ⟨LF⟩W:VA3/4⟨CR⟩ | отговорен",
            "< junk⟨1B⟩⟨7F⟩А⟨CR⟩ | без отговор: няма „W:“ в реда"}));
    EXPECT_EQ(hexBytes(log.at(0).bytes), QStringLiteral("57 3A 56 41 31 2F 32 0D"));
}

TEST(LineLog, AVerdictBeforeItsLineIsKeptForIt)
{
    TLineLog log;
    log.outcome(answered(2));
    log.received("W:RS+RALL+ROSC\r", 5);
    EXPECT_EQ(texts(log), (Lines{"< W:RS+RALL+ROSC⟨CR⟩ | отговорен ×2"}));
}

TEST(LineLog, LinesWaitingForAVerdictHoldBackTheAnswerSentMeanwhile)
{
    TLineLog log;
    log.received("W:TR80/RK1\r", 100);
    log.sent("OK\r\n", 101); // written while the parser handles the line
    EXPECT_EQ(log.size(), 0u);
    TLineOutcome o;
    o.type = "TR";
    o.answers = 1;
    log.outcome(o);
    EXPECT_EQ(texts(log), (Lines{"< W:TR80/RK1⟨CR⟩ | отговорен", "> OK⟨CR⟩⟨LF⟩"}));
    // A verdict that never comes holds nothing back for more than its wait.
    log.received("W:VA1/1\r", 200);
    log.sent("x\r", 201);
    log.tick(200 + TLineLog::kVerdictWaitMs);
    EXPECT_EQ(log.size(), 4u);
}

TEST(LineLog, BytesWithoutCrForASecondBecomeAPendingLine)
{
    TLineLog log;
    log.received("W:VA1/2\n", 1000); // a device that ends lines with LF alone
    log.tick(1999);
    EXPECT_EQ(log.size(), 0u);
    log.tick(2000);
    EXPECT_EQ(texts(log), (Lines{"< W:VA1/2⟨LF⟩ | без CR"}));
    EXPECT_TRUE(log.at(0).unterminated);
    // Held bytes are shown when the connection ends, too.
    log.received("W:VA", 3000);
    log.closed(3001);
    EXPECT_EQ(texts(log).back(), "< W:VA | без CR");
}

TEST(LineLog, SentLinesAreOnePerSendAndTypedKeysGatherUntilCr)
{
    TLineLog log;
    log.sent("PUSK\r\n", 1);
    log.sent("OK\r\nOK\r\n", 2); // the answers to one block go out in one write
    for (char c : QByteArray("RESTART\r\n"))
        log.sent(QByteArrayView(&c, 1), 3);
    log.sent("N", 4);
    log.sent("O", 4);
    log.sent("\r", 5);
    log.tick(6); // a CR with no LF after it ends the line at the next refresh
    EXPECT_EQ(texts(log),
        (Lines{"> PUSK⟨CR⟩⟨LF⟩", "> OK⟨CR⟩⟨LF⟩", "> OK⟨CR⟩⟨LF⟩", "> RESTART⟨CR⟩⟨LF⟩", "> NO⟨CR⟩"}));
}

TEST(LineLog, HoldsOnlyTheNewestLines)
{
    TLineLog log(TLineLog::kCapacity);
    for (int i = 0; i < 10005; ++i)
        log.sent(QByteArray::number(i) + "\r\n", i);
    EXPECT_EQ(log.size(), TLineLog::kCapacity);
    EXPECT_EQ(log.total(), 10005u);
    EXPECT_EQ(log.at(0).bytes, QByteArray("5\r\n"));
    EXPECT_EQ(log.at(log.size() - 1).bytes, QByteArray("10004\r\n"));
    // A long line keeps its head and counts the rest: 10,000 sample records of 120 KB, or
    // a flood of noise without a CR, must not take the memory.
    TLineLog one;
    QByteArray samples = "W:ST";
    for (int i = 0; i < 30000; ++i)
        samples += "123;";
    one.received(samples + "*\r", 0);
    one.outcome(TLineOutcome{});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one.at(0).bytes.size(), TLineLog::kKeptBytes);
    EXPECT_EQ(one.at(0).length, samples.size() + 2);
    EXPECT_TRUE(visibleText(one.at(0)).endsWith(QStringLiteral("123;… (+119494 байта)")))
        << visibleText(one.at(0)).toStdString();
    for (int i = 0; i < 50; ++i)
        one.received(QByteArray(100000, 'x'), 1000 + i * 100);
    EXPECT_EQ(one.size(), 1u);
    one.tick(2000);
    ASSERT_EQ(one.size(), 2u);
    EXPECT_TRUE(one.at(1).unterminated);
    EXPECT_EQ(one.at(1).length, 5000000);
    EXPECT_EQ(one.at(1).bytes.size(), TLineLog::kKeptBytes);
}

TEST(LineInspectorModel, PauseFreezesTheViewWhileLinesAreCollected)
{
    TLineLog log(100);
    TLineInspectorModel model(log);
    log.sent("A\r\n", 1);
    model.refresh();
    EXPECT_EQ(model.rowCount(), 1);
    model.setPaused(true);
    for (int i = 0; i < 150; ++i)
        log.sent("B\r\n", 2);
    model.refresh();
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.index(0, TLineInspectorModel::ColText).data().toString(), QStringLiteral("A⟨CR⟩⟨LF⟩"));
    EXPECT_EQ(log.size(), 100u);
    model.setPaused(false);
    EXPECT_EQ(model.rowCount(), 100);
    EXPECT_EQ(model.index(0, TLineInspectorModel::ColText).data().toString(), QStringLiteral("B⟨CR⟩⟨LF⟩"));
    // Batches after that keep the bound: the oldest rows go as new ones come.
    for (int i = 0; i < 30; ++i)
        log.sent(QByteArray::number(i) + "\r\n", 3);
    model.refresh();
    EXPECT_EQ(model.rowCount(), 100);
    EXPECT_EQ(model.index(99, TLineInspectorModel::ColText).data().toString(), QStringLiteral("29⟨CR⟩⟨LF⟩"));
    EXPECT_EQ(model.index(99, TLineInspectorModel::ColDirection).data().toString(), QStringLiteral("→"));
}

// One time line: a journal row's time finds the line it came from (the last to cross at or
// before it); the link's loss and return are rows of their own among the lines.
TEST(LineInspectorModel, AMomentFindsItsLineAndTheLinksLossAndReturnAreRows)
{
    TLineLog log;
    TLineInspectorModel model(log);
    EXPECT_EQ(model.rowAtTime(1000), -1);
    log.received("W:TR80/RK1\r", 1000);
    log.outcome(answered());
    log.sent("OK\r\n", 1001);
    log.received("W:VA1/2\r", 2000);
    log.outcome(answered());
    log.sent("OK\r\n", 2001);
    log.received("W:VA", 2500); // cut off by the loss
    log.closed(3000);
    log.mark(TLinkMark::Lost, 3000);
    log.mark(TLinkMark::Back, 9000);
    log.received("W:VA3/4\r", 9100);
    log.outcome(answered());
    log.received("W:VA5/6\rW:VA7/8\r", 9200); // one block
    log.outcome(answered());
    log.outcome(answered());
    model.refresh();
    ASSERT_EQ(model.rowCount(), 10);
    const auto cell = [&](int row, int column) { return model.index(row, column).data().toString(); };
    EXPECT_EQ(cell(5, TLineInspectorModel::ColText), QStringLiteral("——— връзката прекъсна ———"));
    EXPECT_EQ(cell(6, TLineInspectorModel::ColText), QStringLiteral("——— връзката е възстановена ———"));
    EXPECT_EQ(cell(6, TLineInspectorModel::ColDirection), QStringLiteral("—"));
    EXPECT_EQ(cell(6, TLineInspectorModel::ColVerdict), QString());
    EXPECT_EQ(cell(4, TLineInspectorModel::ColVerdict), QStringLiteral("без CR"));
    // The line received, not the answer sent after it.
    const std::pair<qint64, int> moments[] = {{999, 0}, {1000, 0}, {1500, 0}, {2000, 2}, {2001, 2}, {2600, 4},
        {3000, 5}, {8999, 5}, {9050, 6}, {9100, 7}, {9200, 8}, {99999, 8}};
    for (const auto& [ms, row] : moments)
        EXPECT_EQ(model.rowAtTime(ms), row) << ms;
    EXPECT_TRUE(linesCsv(log).contains(",—,——— връзката прекъсна ———,,"));
}

TEST(LineInspectorModel, ExportHasEveryHeldLine)
{
    TLineLog log;
    log.received("a,\"b\"\r", 0);
    log.outcome(TLineOutcome{});
    const QByteArray csv = linesCsv(log);
    EXPECT_TRUE(csv.startsWith("time,direction,text,hex,outcome\r\n"));
    EXPECT_TRUE(csv.contains(",←,\"a,\"\"b\"\"⟨CR⟩\",61 2C 22 62 22 0D,"));
}

} // namespace
