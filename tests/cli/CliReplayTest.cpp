// A session recorded by orvik-cli record replays, as fast as it goes, to the same captures
// and journal rows; a cut-off recording replays up to its last whole entry; a recording of
// a newer format is refused with the reason.
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include "ArchiveRows.h"
#include "ChildProcess.h"

namespace {

const QString kJournal
    = QStringLiteral("SELECT time, kind, subject, value, text FROM journal ORDER BY time, kind, subject");
const QString kCaptures
    = QStringLiteral("SELECT c.id, started, ended, port, points, event, event_time, x_title, "
                     "y_title, hex(d.x), hex(d.y) FROM captures c JOIN capture_data d ON "
                     "d.capture_id = c.id ORDER BY c.id");

} // namespace

TEST(CliReplay, RecordedSessionReplaysToTheSameArchive)
{
    QTemporaryDir dir;
    const QString session = dir.filePath(QStringLiteral("bench.ses"));
    const QString original = dir.filePath(QStringLiteral("original.db"));
    {
        ChildProcess sim;
        ASSERT_TRUE(sim.start(QStringLiteral(ORVIK_DEVSIM),
            {"--rate", "60", "--seed", "9", "--events", "0.3", "--mix", "va=5,tr=4,burst=2", "--quiet"}));
        QByteArray first;
        ASSERT_TRUE(sim.readLine(first));
        ChildProcess cli;
        ASSERT_TRUE(cli.start(QStringLiteral(ORVIK_CLI),
            {"record", "--port", QString::fromLocal8Bit(first.mid(5).trimmed()), "--archive", original,
                "--settings", "/dev/null", "--duration", "4", "--session", session}));
        ASSERT_TRUE(cli.finished(30000));
        ASSERT_EQ(cli.exitCode(), 0);
    }
    QFile f(session);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray whole = f.readAll();
    f.close();
    const QStringList originalCaptures = archiveRows(original, kCaptures);
    const QStringList originalJournal = archiveRows(original, kJournal);
    ASSERT_GE(originalCaptures.size(), 2);

    QByteArray newer = whole;
    newer[8] = char(2);
    const struct Case {
        const char* name;
        QByteArray file;
        int exitCode;
        bool whole; // the archive equals the original
    } cases[] = {
        {"the whole recording", whole, 0, true},
        {"cut off inside its last entry", whole.left(whole.size() - 3), 0, false},
        {"a newer format", newer, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QStringLiteral("replayed.ses"));
        const QString archive = dir.filePath(QStringLiteral("replayed.db"));
        QFile::remove(archive);
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(c.file);
        out.close();
        ChildProcess cli;
        ASSERT_TRUE(cli.start(QStringLiteral(ORVIK_CLI),
            {"replay", path, "--speed", "max", "--archive", archive, "--settings", "/dev/null"}));
        ASSERT_TRUE(cli.finished(30000));
        EXPECT_EQ(cli.exitCode(), c.exitCode);
        const QStringList captures = archiveRows(archive, kCaptures);
        const QStringList journal = archiveRows(archive, kJournal);
        if (c.whole) {
            EXPECT_EQ(captures.join('\n').toStdString(), originalCaptures.join('\n').toStdString());
            EXPECT_EQ(journal.join('\n').toStdString(), originalJournal.join('\n').toStdString());
        } else if (c.exitCode == 0) {
            // Everything up to the cut: the captures before the last one, and no row that
            // the original lacks.
            EXPECT_GE(captures.size(), originalCaptures.size() - 1);
            for (const QString& row : journal)
                EXPECT_TRUE(originalJournal.contains(row)) << row.toStdString();
        } else {
            EXPECT_TRUE(captures.isEmpty());
        }
    }
}

// A recording that ends with samples (the live capture then ended by its quiet spell, after the
// last bytes were recorded): the replay ends that capture with the recording, stored whole
// and journalled, its end at its last sample.
TEST(CliReplay, CaptureEndingAfterTheRecordingIsStored)
{
    const auto entry = [](char kind, std::int64_t us, const QByteArray& bytes) {
        QByteArray e(13, '\0');
        e[0] = kind;
        qToLittleEndian<std::int64_t>(us, e.data() + 1);
        qToLittleEndian<std::uint32_t>(std::uint32_t(bytes.size()), e.data() + 9);
        return e + bytes;
    };
    const std::int64_t t0 = 1'765'000'000'000'000; // 2025-12-06T05:46:40Z
    QByteArray file = QByteArrayLiteral("ORVIKSES\x01\x00\x00\x00");
    file += entry(3, t0, "opened\t/dev/ttyUSB0\t9600");
    file += entry(1, t0 + 1000, "W:SCxVm10\rW:ST10;12;*\rW:ST1");
    file += entry(1, t0 + 250'000, "5;-3;*\r");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ends-with-samples.ses"));
    const QString archive = dir.filePath(QStringLiteral("replayed.db"));
    {
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(file);
    }
    ChildProcess cli;
    ASSERT_TRUE(cli.start(QStringLiteral(ORVIK_CLI),
        {"replay", path, "--speed", "max", "--archive", archive, "--settings", "/dev/null"}));
    ASSERT_TRUE(cli.finished(30000));
    EXPECT_EQ(cli.exitCode(), 0);
    EXPECT_EQ(archiveRows(archive, QStringLiteral("SELECT started, ended, points, origin FROM captures"))
                  .join('\n')
                  .toStdString(),
        ("2025-12-06T05:46:40.001Z|2025-12-06T05:46:40.250Z|4|replay:" + path).toStdString());
    EXPECT_EQ(
        archiveRows(archive, QStringLiteral("SELECT time, kind, value FROM journal WHERE kind = 'capture'"))
            .join('\n')
            .toStdString(),
        "2025-12-06T05:46:40.001Z|capture|4");
}
