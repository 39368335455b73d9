#include "session/DataLog.h"

#include "common/FileNames.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(DataLog, AppendCreatesAMissingFileAndAppendsToAnExistingOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("OrvikLog.txt");
    TDataLog log;
    ASSERT_TRUE(log.open(path, true));
    EXPECT_TRUE(log.write("first\r\n"));
    EXPECT_TRUE(log.close());
    ASSERT_TRUE(log.open(path, true));
    EXPECT_TRUE(log.write("second\r"));
    log.close();
    EXPECT_EQ(readAll(path), "first\r\nsecond\r");
}

TEST(DataLog, NewLogEmptiesAnExistingFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("OrvikLog.txt");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old content");
    }
    TDataLog log;
    ASSERT_TRUE(log.open(path, false));
    log.write("new");
    log.close();
    EXPECT_EQ(readAll(path), "new");
}

TEST(DataLog, BytesPassUnchangedThroughTheBuffer)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    QByteArray expected;
    TDataLog log;
    ASSERT_TRUE(log.open(path, false));
    for (int i = 0; i < 300; ++i) {
        QByteArray piece(i % 200, char(i));
        expected += piece;
        ASSERT_TRUE(log.write(piece));
    }
    // Full buffers are on disk already while the log is open; the rest after closing.
    EXPECT_EQ(readAll(path), expected.left(expected.size() / TDataLog::kBufferSize * TDataLog::kBufferSize));
    log.close();
    EXPECT_EQ(readAll(path), expected);
}

TEST(DataLog, FileThatCannotBeOpened)
{
    QTemporaryDir dir;
    TDataLog log;
    EXPECT_FALSE(log.open(dir.filePath("missing/folder/log.txt"), true));
    EXPECT_FALSE(log.isOpen());
    EXPECT_NE(log.lastError(), 0);
    EXPECT_FALSE(log.write("x"));
}

TEST(DataLog, FullDiskClosesTheLog)
{
    TDataLog log;
    ASSERT_TRUE(log.open("/dev/full", false));
    bool failed = false;
    for (int i = 0; i < 10 && !failed; ++i)
        failed = !log.write(QByteArray(100, 'x'));
    EXPECT_TRUE(failed);
    EXPECT_EQ(log.lastError(), ENOSPC);
    EXPECT_FALSE(log.isOpen());
    EXPECT_FALSE(log.write("more")) << "later writes are no-ops";
}

TEST(DataLogNames, ExtensionRules)
{
    using enum TExtensionRule;
    const struct {
        const char* chosen;
        const char* extension;
        TExtensionRule rule;
        const char* written;
    } cases[] = {
        // The log and the settings file: the two spellings of the design, nothing else.
        {"/home/u/data", ".txt", LowerOrUpper, "/home/u/data.txt"},
        {"/home/u/data.txt", ".txt", LowerOrUpper, "/home/u/data.txt"},
        {"/home/u/data.TXT", ".txt", LowerOrUpper, "/home/u/data.TXT"},
        {"/home/u/data.Txt", ".txt", LowerOrUpper, "/home/u/data.Txt.txt"},
        {"/a/set", ".ini", LowerOrUpper, "/a/set.ini"},
        {"/a/set.Ini", ".ini", LowerOrUpper, "/a/set.Ini.ini"},
        {"/a/set.INI", ".ini", LowerOrUpper, "/a/set.INI"},
        // Exports and pictures: any case; another extension is kept and the ending added.
        {"/e/cap.CSV", ".csv", AnyCase, "/e/cap.CSV"},
        {"/e/cap.Png", ".png", AnyCase, "/e/cap.Png"},
        {"/e/cap.txt", ".csv", AnyCase, "/e/cap.txt.csv"},
        // The terminal's text: any extension stands; a dot in a folder name is none.
        {"/t/a.b/log", ".txt", AnyExtension, "/t/a.b/log.txt"},
        {"/t/log.csv", ".txt", AnyExtension, "/t/log.csv"},
        // Nothing chosen stays nothing, whatever the rule.
        {"", ".ini", LowerOrUpper, ""},
        {"", ".csv", AnyCase, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(withExtension(QString::fromUtf8(c.chosen), QString::fromLatin1(c.extension), c.rule),
            QString::fromUtf8(c.written))
            << c.chosen << " " << c.extension;
    EXPECT_EQ(programFolderOf("/opt/orvik/bin/orvik"), "/opt/orvik/bin/");
    EXPECT_EQ(programFolderOf("/orvik"), "/");
}

} // namespace
