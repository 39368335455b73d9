// The settings reader on arbitrary file contents: reading any section and key must not crash,
// a value never exceeds the read buffer, and a plain key written back reads back the same
// from a fresh read of the file, with the other keys left as they were.

#include "FuzzInput.h"
#include "console/core/IniFile.h"
#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

namespace {

const QString& scratchFile()
{
    // Memory-backed when there is one: every run writes the file twice.
    static const QString dir
        = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static const QString path = dir + "/orvik-fuzz-ini-" + QString::number(getpid()) + ".ini";
    return path;
}

// A name that the file's line syntax can hold unchanged.
bool plainName(const QByteArray& s)
{
    if (s.isEmpty() || s.size() > 64)
        return false;
    if (s.front() == ' ' || s.front() == '\t' || s.back() == ' ' || s.back() == '\t' || s.front() == ';')
        return false;
    for (char c : s) {
        if (c == '\r' || c == '\n' || c == '=' || c == '[' || c == ']' || c == '\0')
            return false;
    }
    return true;
}

bool plainValue(const QByteArray& s)
{
    if (s.size() >= TIniFile::kValueBuffer - 1)
        return false;
    if (!s.isEmpty() && (s.front() == ' ' || s.front() == '\t' || s.back() == ' ' || s.back() == '\t'))
        return false;
    // Quotes around a whole value may be taken off by the reader.
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
        return false;
    return !s.contains('\r') && !s.contains('\n') && !s.contains('\0');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    const QByteArray section = in.field();
    const QByteArray key = in.field();
    const QByteArray value = in.field();
    const QByteArray otherKey = in.field();
    const QByteArray contents = in.rest();

    const QString& path = scratchFile();
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(contents);
    }

    TIniFile ini(path);
    const QByteArray s = ini.readString(section, key, "default");
    FUZZ_CHECK(s.size() < TIniFile::kValueBuffer);
    (void)ini.readInteger(section, key, -7);
    (void)ini.readBool(section, key, true);
    (void)ini.sectionExists(section);
    const QByteArray other = ini.readString(section, otherKey, "none");

    if (plainName(section) && plainName(key) && plainValue(value)) {
        ini.writeString(section, key, value);
        FUZZ_CHECK(ini.readString(section, key, "x") == value);
        TIniFile again(path);
        FUZZ_CHECK(again.readString(section, key, "x") == value);
        FUZZ_CHECK(again.sectionExists(section));
        // Keys match without regard to case, Cyrillic included: only a pair with an ASCII
        // side is known to differ by comparing ASCII-folded bytes. A file holding NUL bytes is
        // not text; how its other keys survive a rewrite is not checked here.
        const auto ascii = [](const QByteArray& b) {
            return std::all_of(
                b.begin(), b.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        };
        if (plainName(otherKey) && !contents.contains('\0') && (ascii(key) || ascii(otherKey))
            && otherKey.toLower() != key.toLower())
            FUZZ_CHECK(again.readString(section, otherKey, "none") == other);
    }
    QFile::remove(path);
    return 0;
}
