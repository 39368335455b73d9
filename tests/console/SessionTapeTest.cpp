// A session recorded in the window against the device simulator replays - by orvik-cli and by
// the window itself - to the same captures and journal rows as the original, times included;
// the replayed ones name the recording as their origin, and both lists say so.
#include "console/MainUnit.h"

#include "archive/ArchiveStore.h"
#include "archive/CaptureListModel.h"
#include "console/ArchivePage.h"
#include "console/JournalPage.h"
#include "console/SessionBar.h"
#include "console/SessionTape.h"
#include "console/TerminalPage.h"
#include "serial/ComPort.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "ArchiveRows.h"
#include "ChildProcess.h"

namespace {

const QString kJournal = QStringLiteral(
    "SELECT time, kind, subject, value, text FROM journal ORDER BY time, kind, subject, value");
const QString kCaptures
    = QStringLiteral("SELECT c.id, started, ended, port, points, event, event_time, x_title, "
                     "y_title, hex(d.x), hex(d.y) FROM captures c JOIN capture_data d ON "
                     "d.capture_id = c.id ORDER BY c.id");
const QString kOrigins = QStringLiteral(
    "SELECT DISTINCT origin FROM (SELECT origin FROM journal UNION ALL SELECT origin FROM captures)");

// Counts the capture rows of a journal.
struct CaptureRows : TJournalSink {
    int count = 0;
    void appendJournal(const TJournalRow& row) override { count += row.kind == QLatin1String("capture"); }
};

// The rows of a list that show `text` in a column, as text and as tool tip (-1 when a tool tip
// differs from `tip`).
int showing(const QAbstractItemModel& m, int column, const QString& text, const QString& tip)
{
    int n = 0;
    for (int r = 0; r < m.rowCount(); ++r) {
        const QModelIndex at = m.index(r, column);
        if (at.data().toString() != text)
            continue;
        if (at.data(Qt::ToolTipRole).toString() != tip)
            return -1;
        ++n;
    }
    return n;
}

bool waitFor(const std::function<bool()>& done, int ms = 30000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QTest::qWait(10);
    return done();
}

TEST(SessionTape, RecordedInTheWindowReplaysToTheSameArchive)
{
    QTemporaryDir dir;
    const QString session = dir.filePath(QStringLiteral("bench.ses"));
    const QString liveDir = dir.filePath(QStringLiteral("live"));
    QDir().mkpath(liveDir);
    {
        ChildProcess sim;
        ASSERT_TRUE(sim.start(QStringLiteral(ORVIK_DEVSIM),
            {"--rate", "80", "--seed", "9", "--events", "0.3", "--mix", "va=5,tr=4,burst=2", "--quiet"}));
        QByteArray first;
        ASSERT_TRUE(sim.readLine(first));
        CaptureRows captures;
        TForm1 form(liveDir);
        form.ErrorReport = [](const QString& m) { ADD_FAILURE() << m.toStdString(); };
        form.FileDialog = [&](const QString&, const QString&, const QString&, bool save) {
            EXPECT_TRUE(save);
            return session;
        };
        form.Session().addJournalSink(&captures);
        form.show();
        form.Terminal->Tape->RecordAction->trigger();
        ASSERT_TRUE(form.SessionTape()->Recording());
        form.ComPort1->SetPort(QString::fromLocal8Bit(first.mid(5).trimmed()));
        form.ComPort1->OpenPort();
        ASSERT_TRUE(form.ComPort1->Connected());
        EXPECT_FALSE(form.Terminal->Tape->ReplayAction->isEnabled());
        ASSERT_TRUE(waitFor([&] { return captures.count >= 3; }));
        // Live rows and captures say no origin.
        const QAbstractItemModel& journal = *form.Journal->model();
        const QAbstractItemModel& list = *form.Archive->Model();
        ASSERT_TRUE(waitFor([&] { return journal.rowCount() > 0 && list.rowCount() > 0; }));
        EXPECT_EQ(showing(journal, TJournalModel::ColOrigin, {}, {}), journal.rowCount());
        EXPECT_EQ(showing(list, CaptureListModel::Origin, {}, {}), list.rowCount());
        form.ComPort1->ClosePort();
        form.Terminal->Tape->RecordAction->trigger();
        EXPECT_FALSE(form.SessionTape()->Recording());
        form.close();
    }
    const QString original = defaultArchiveFile(liveDir);
    const QStringList originalCaptures = archiveRows(original, kCaptures);
    const QStringList originalJournal = archiveRows(original, kJournal);
    ASSERT_GE(originalCaptures.size(), 3);
    EXPECT_EQ(archiveRows(original, kOrigins), QStringList{QString()});
    const QStringList replayedOrigin{QStringLiteral("replay:") + session};
    // Every journal row and capture of the replay, listed with the recording's name, its path
    // as the tool tip.
    const auto namesTheRecording = [&](TForm1& form) {
        const QString replayed = QStringLiteral("възпроизведена от bench.ses");
        return waitFor([&] {
            return showing(*form.Journal->model(), TJournalModel::ColOrigin, replayed, session)
                == originalJournal.size()
                && showing(*form.Archive->Model(), CaptureListModel::Origin, replayed, session)
                == originalCaptures.size();
        });
    };

    // orvik-cli replays the window's recording.
    const QString cliArchive = dir.filePath(QStringLiteral("cli.db"));
    {
        ChildProcess cli;
        ASSERT_TRUE(cli.start(QStringLiteral(ORVIK_CLI),
            {"replay", session, "--speed", "max", "--archive", cliArchive, "--settings", "/dev/null"}));
        ASSERT_TRUE(cli.finished(30000));
        EXPECT_EQ(cli.exitCode(), 0);
    }
    EXPECT_EQ(archiveRows(cliArchive, kCaptures).join('\n').toStdString(),
        originalCaptures.join('\n').toStdString());
    EXPECT_EQ(
        archiveRows(cliArchive, kJournal).join('\n').toStdString(), originalJournal.join('\n').toStdString());
    EXPECT_EQ(archiveRows(cliArchive, kOrigins), replayedOrigin);

    // The window replays it, as fast as it goes, without a port.
    const QString replayDir = dir.filePath(QStringLiteral("replay"));
    QDir().mkpath(replayDir);
    {
        TForm1 form(replayDir);
        form.ErrorReport = [](const QString& m) { ADD_FAILURE() << m.toStdString(); };
        form.FileDialog = [&](const QString&, const QString&, const QString&, bool save) {
            EXPECT_FALSE(save);
            return session;
        };
        form.show();
        SessionBar& bar = *form.Terminal->Tape;
        bar.ReplaySpeed->setCurrentIndex(2);
        bar.ReplayAction->trigger();
        EXPECT_FALSE(bar.RecordAction->isEnabled());
        ASSERT_TRUE(waitFor([&] { return !form.SessionTape()->Replay().running(); }));
        EXPECT_FALSE(bar.ReplayAction->isChecked());
        EXPECT_TRUE(bar.RecordAction->isEnabled());
        EXPECT_FALSE(form.ComPort1->Connected());
        // The rows that arrived during the replay and the captures it stored name the recording.
        EXPECT_TRUE(namesTheRecording(form));
        form.close();
    }
    const QString windowArchive = defaultArchiveFile(replayDir);
    EXPECT_EQ(archiveRows(windowArchive, kCaptures).join('\n').toStdString(),
        originalCaptures.join('\n').toStdString());
    EXPECT_EQ(archiveRows(windowArchive, kJournal).join('\n').toStdString(),
        originalJournal.join('\n').toStdString());
    EXPECT_EQ(archiveRows(windowArchive, kOrigins), replayedOrigin);

    // Read back from the archive, they still do.
    {
        TForm1 form(replayDir);
        form.ErrorReport = [](const QString& m) { ADD_FAILURE() << m.toStdString(); };
        form.show();
        EXPECT_TRUE(namesTheRecording(form));
        form.close();
    }
}

} // namespace
