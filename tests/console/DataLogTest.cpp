#include "session/DataLog.h"

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
    EXPECT_EQ(withTxtExtension("/home/u/data"), "/home/u/data.txt");
    EXPECT_EQ(withTxtExtension("/home/u/data.txt"), "/home/u/data.txt");
    EXPECT_EQ(withTxtExtension("/home/u/data.TXT"), "/home/u/data.TXT");
    EXPECT_EQ(withTxtExtension("/home/u/data.Txt"), "/home/u/data.Txt.txt");
    EXPECT_EQ(withIniExtension("/a/set"), "/a/set.ini");
    EXPECT_EQ(withIniExtension("/a/set.Ini"), "/a/set.Ini.ini");
    EXPECT_EQ(withIniExtension("/a/set.INI"), "/a/set.INI");
    EXPECT_EQ(programFolderOf("/opt/orvik/bin/orvik"), "/opt/orvik/bin/");
    EXPECT_EQ(programFolderOf("/orvik"), "/");
}

} // namespace
