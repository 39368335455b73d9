#include "console/core/IniFile.h"

#include "common/Color.h"

#include "RefusingFolder.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

class IniFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath("Orvik.ini"); }
};

TEST_F(IniFileTest, MissingFileGivesDefaults)
{
    TIniFile ini(path());
    EXPECT_EQ(ini.readString("Com", "ComPortNo", "COM1"), "COM1");
    EXPECT_EQ(ini.readInteger("Com", "BaudRate", 7), 7);
    EXPECT_TRUE(ini.readBool("Com", "Wrap", true));
    EXPECT_FALSE(ini.sectionExists("Com"));
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(IniFileTest, IntegersAndBooleans)
{
    writeFile(path(),
        "[Com]\r\n"
        "BaudRate=13\r\n"
        "Hex1=0x0D\r\n"
        "Hex2=0X1f\r\n"
        "Hex3=$0D\r\n"
        "Short=0x\r\n"
        "Neg=-2147483647\r\n"
        "Blank= 12 \r\n"
        "Wrap=yes\r\n"
        "Echo=0\r\n"
        "CR=2\r\n"
        "Empty=\r\n"
        "Signed0x=-0x10\r\n");
    TIniFile ini(path());
    EXPECT_EQ(ini.readInteger("Com", "BaudRate", 7), 13);
    EXPECT_EQ(ini.readInteger("Com", "Hex1", 7), 13);
    EXPECT_EQ(ini.readInteger("Com", "Hex2", 7), 31);
    EXPECT_EQ(ini.readInteger("Com", "Hex3", 7), 13);
    EXPECT_EQ(ini.readInteger("Com", "Short", 7), 7);
    EXPECT_EQ(ini.readInteger("Com", "Neg", 0), -2147483647);
    EXPECT_EQ(ini.readInteger("Com", "Blank", 0), 12);
    EXPECT_EQ(ini.readInteger("Com", "Signed0x", 5), 5);
    EXPECT_EQ(ini.readInteger("Com", "Empty", 9), 9);
    EXPECT_TRUE(ini.readBool("Com", "Wrap", true));
    EXPECT_FALSE(ini.readBool("Com", "Wrap", false));
    EXPECT_FALSE(ini.readBool("Com", "Echo", true));
    EXPECT_TRUE(ini.readBool("Com", "CR", false));
    // A key that is present but empty is an empty text, not the default.
    EXPECT_EQ(ini.readString("Com", "Empty", "dflt"), "");
}

TEST_F(IniFileTest, SectionsAndKeysIgnoreCase)
{
    writeFile(path(), "[commands]\npusk=go\n[\xCB\xEE\xE3]\n\xCA\xEB\xFE\xF7=1\n  Spaced Key  =v\n");
    TIniFile ini(path());
    EXPECT_EQ(ini.readString("COMMANDS", "PUSK", ""), "go");
    EXPECT_EQ(ini.readString("Commands", "Pusk", ""), "go");
    // Cyrillic names fold too (Windows-1251 "Лог"/"ЛОГ", "Ключ"/"КЛЮЧ").
    EXPECT_EQ(ini.readString("\xCB\xCE\xC3", "\xCA\xCB\xDE\xD7", ""), "1");
    EXPECT_EQ(ini.readString("\xCB\xEE\xE3", "spaced key", ""), "v");

    ini.writeString("COMMANDS", "PUSK", "stop");
    EXPECT_EQ(readAll(path()).count("pusk="), 1) << "an existing key is replaced where it stands";
    EXPECT_EQ(TIniFile(path()).readString("commands", "pusk", ""), "stop");
}

TEST_F(IniFileTest, TextsStayAsTheyAre)
{
    TIniFile ini(path());
    const QByteArray cyrillic = "\xCF\xD3\xD1\xCA  \xF2\xE5\xF1\xF2 ";
    ini.writeString("Commands", "PUSK", cyrillic);
    ini.writeString("Commands", "RESTART", " a=b;c ");
    ini.writeString("Log", "FileName", "/tmp/with blanks/OrvikLog.txt");
    TIniFile again(path());
    EXPECT_EQ(again.readString("Commands", "PUSK", ""), cyrillic);
    EXPECT_EQ(again.readString("Commands", "RESTART", ""), " a=b;c ");
    EXPECT_EQ(again.readString("Log", "FileName", ""), "/tmp/with blanks/OrvikLog.txt");
}

// Paths and port names: code-page bytes where the code page holds the text, marked UTF-8
// where it does not; either way the text reads back exactly.
TEST_F(IniFileTest, TextsOutsideTheCodePageReadBackExactly)
{
    struct Case {
        QString text;
        QByteArray stored;
    };
    const Case cases[] = {
        {QStringLiteral("/home/bench/OrvikLog.txt"), "/home/bench/OrvikLog.txt"},
        {QStringLiteral("/tmp/журнал.txt"), "/tmp/\xE6\xF3\xF0\xED\xE0\xEB.txt"},
        {QStringLiteral("/home/zo\u00EB/OrvikLog.txt"), "\xEF\xBB\xBF/home/zo\xC3\xAB/OrvikLog.txt"},
        {QStringLiteral("/дом/zo\u00EB"), "\xEF\xBB\xBF/\xD0\xB4\xD0\xBE\xD0\xBC/zo\xC3\xAB"},
        // Code-page text that would read as the mark is marked itself.
        {QStringLiteral("\u043F\u00BB\u0457x"), "\xEF\xBB\xBF\xD0\xBF\xC2\xBB\xD1\x97x"},
    };
    for (const Case& c : cases) {
        QFile::remove(path());
        TIniFile ini(path());
        ini.writeText("Log", "FileName", c.text);
        EXPECT_EQ(readAll(path()), "[Log]\nFileName=" + c.stored + '\n') << c.text.toStdString();
        EXPECT_EQ(TIniFile(path()).readText("Log", "FileName", {}), c.text) << c.text.toStdString();
    }

    // What another program wrote reads as code-page text, a mark followed by bytes that are
    // no UTF-8 included; a missing key gives the default as it is.
    writeFile(path(), "[Log]\nA=\xE6\xF3\xF0\nB=\xEF\xBB\xBF\xE6\n");
    TIniFile other(path());
    EXPECT_EQ(other.readText("Log", "A", {}), QStringLiteral("жур"));
    EXPECT_EQ(other.readText("Log", "B", {}), QStringLiteral("\u043F\u00BB\u0457\u0436"));
    EXPECT_EQ(other.readText("Log", "C", QStringLiteral("zo\u00EB")), QStringLiteral("zo\u00EB"));
}

TEST_F(IniFileTest, LongValuesAreCutToTheBuffer)
{
    const QByteArray longValue(5000, 'v');
    TIniFile ini(path());
    ini.writeString("Commands", "PUSK", longValue);
    EXPECT_EQ(TIniFile(path()).readString("Commands", "PUSK", "").size(), TIniFile::kValueBuffer - 1);
}

TEST_F(IniFileTest, EveryWriteReachesTheFileInSectionOrder)
{
    {
        TIniFile ini(path());
        ini.writeString("Com", "ComPortNo", "COM1");
        EXPECT_EQ(readAll(path()), "[Com]\nComPortNo=COM1\n");
        ini.writeInteger("Com", "BaudRate", 7);
        ini.writeBool("Log", "NewLog", false);
        ini.writeInteger("Color", "Main", TColor(0x80000001u));
        ini.writeBool("Com", "Wrap", true);
    }
    EXPECT_EQ(readAll(path()),
        "[Com]\nComPortNo=COM1\nBaudRate=7\nWrap=1\n[Log]\nNewLog=0\n[Color]\nMain=-2147483647\n");
    EXPECT_EQ(TIniFile(path()).readInteger("Color", "Main", 0), TColor(0x80000001u));
}

TEST_F(IniFileTest, CommentsAndForeignLinesSurvive)
{
    writeFile(path(), "; settings\r\n[Com]\r\nComPortNo=COM3\r\n\r\n[Other]\r\nx=1\r\n");
    TIniFile ini(path());
    ini.writeBool("Com", "Echo", false);
    EXPECT_EQ(readAll(path()), "; settings\n[Com]\nComPortNo=COM3\nEcho=0\n\n[Other]\nx=1\n");
}

// Files edited on other systems end lines with CR LF, LF or a lone CR; a value must read
// the same before and after the file is rewritten, whatever ended its line.
TEST_F(IniFileTest, EveryLineEndingEndsALine)
{
    writeFile(path(), "[Port]\r\nName=COM2\r\r\nBaud=9600\rParity=0\nStop=1");
    TIniFile ini(path());
    EXPECT_EQ(ini.readString("Port", "Name", ""), "COM2");
    EXPECT_EQ(ini.readString("Port", "Baud", ""), "9600");
    EXPECT_EQ(ini.readString("Port", "Parity", ""), "0");
    EXPECT_EQ(ini.readString("Port", "Stop", ""), "1");
    ini.writeString("Port", "Baud", "115200");
    TIniFile again(path());
    EXPECT_EQ(again.readString("Port", "Name", ""), "COM2");
    EXPECT_EQ(again.readString("Port", "Baud", ""), "115200");
    EXPECT_EQ(again.readString("Port", "Parity", ""), "0");
    EXPECT_EQ(again.readString("Port", "Stop", ""), "1");
}

TEST_F(IniFileTest, UnwritableFolderRaisesWithThePath)
{
    // A read-only folder stops everyone but root; a "folder" that is a plain file stops root too.
    QString target = path();
    if (geteuid() == 0) {
        writeFile(dir.filePath("plain"), "x");
        target = dir.filePath("plain/Orvik.ini");
    } else {
        ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    TIniFile ini(target);
    try {
        ini.writeString("Com", "ComPortNo", "COM1");
        ADD_FAILURE() << "no error";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(QString::fromStdString(e.what()), "Unable to write to " + target);
    }
    QFile::setPermissions(
        dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(IniFileTest, AFolderRefusingNewFilesStillTakesTheFileInPlace)
{
    writeFile(path(), "; bench settings\n[Com]\nComPortNo=COM1\n");
    RefusingFolder refusing(dir.path());
    if (!refusing.refuses())
        GTEST_SKIP() << "this file system cannot make a folder refuse new files";
    TIniFile ini(path());
    ini.writeString("Com", "ComPortNo", "/dev/ttyUSB0");
    ini.writeInteger("Position", "Left", 140);
    EXPECT_EQ(readAll(path()), "; bench settings\n[Com]\nComPortNo=/dev/ttyUSB0\n[Position]\nLeft=140\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Orvik.ini"});

    // A file that is not there cannot be made in such a folder: still the error.
    TIniFile missing(dir.filePath("other.ini"));
    EXPECT_THROW(missing.writeString("Com", "ComPortNo", "COM1"), EIniFileException);
}

TEST_F(IniFileTest, MissingFolderRaisesAndKeepsTheProfile)
{
    const QString bad = dir.filePath("no/such/folder/Orvik.ini");
    TIniFile ini(bad);
    EXPECT_THROW(ini.writeString("Com", "ComPortNo", "COM1"), EIniFileException);
    try {
        ini.writeString("Com", "ComPortNo", "COM1");
    } catch (const EIniFileException& e) {
        EXPECT_EQ(QString::fromStdString(e.what()), "Unable to write to " + bad);
        EXPECT_EQ(e.path(), bad);
    }
    EXPECT_EQ(ini.readString("Com", "ComPortNo", "none"), "none") << "a failed write is not kept";
}

// A writer killed between two keys leaves the file as it was after the last whole write:
// never a torn file.
TEST_F(IniFileTest, KilledWriterNeverLeavesATornFile)
{
    for (int round = 0; round < 20; ++round) {
        QFile::remove(path());
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(fds[0]);
            TIniFile ini(path());
            for (int i = 0;; ++i) {
                ini.writeInteger("Com", "Key" + QByteArray::number(i % 40), i);
                if (i == 5) {
                    const char go = 1;
                    (void)!::write(fds[1], &go, 1);
                }
            }
        }
        close(fds[1]);
        char go = 0;
        ASSERT_EQ(::read(fds[0], &go, 1), 1);
        usleep(useconds_t(500 * round));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        close(fds[0]);
        const QByteArray content = readAll(path());
        ASSERT_TRUE(content.startsWith("[Com]\nKey0=")) << content.left(80).constData();
        ASSERT_TRUE(content.endsWith('\n')) << "torn file in round " << round;
        for (const QByteArray& line : content.split('\n').mid(1)) {
            if (!line.isEmpty()) {
                ASSERT_TRUE(line.startsWith("Key") && line.contains('=')) << line.constData();
            }
        }
    }
}

} // namespace
