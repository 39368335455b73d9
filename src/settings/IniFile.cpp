#include "settings/IniFile.h"

#include "common/Cp1251.h"
#include "session/RecordParser.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace {

// Case folding of the 8-bit code page: Latin letters and the Cyrillic block (with Yo).
unsigned char fold(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDF)
        return static_cast<unsigned char>(c + 32);
    if (c == 0xA8)
        return 0xB8;
    return c;
}

bool sameName(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimmed(const QByteArray& text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && isBlank(text[from]))
        ++from;
    while (to > from && isBlank(text[to - 1]))
        --to;
    return text.mid(from, to - from);
}

// A line break inside a value would split the line; the value ends there.
QByteArray singleLine(const QByteArray& value)
{
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '\r' || value[i] == '\n')
            return value.left(i);
    }
    return value;
}

const QByteArray kUtf8Mark = QByteArrayLiteral("\xEF\xBB\xBF");

} // namespace

EIniFileException::EIniFileException(const QString& path)
    : std::runtime_error(QStringLiteral("Unable to write to %1").arg(path).toStdString())
    , path_(path)
{
}

TIniFile::TIniFile(const QString& fileName)
    : fileName_(fileName)
{
    sections_.push_back({});
    QFile file(fileName_);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray content = file.readAll();
    qsizetype pos = 0;
    while (pos < content.size()) {
        // CR LF, LF and a lone CR all end a line: a CR left inside a value would be lost
        // the next time the file is written, so the value would change by being saved.
        qsizetype eol = pos;
        while (eol < content.size() && content[eol] != '\n' && content[eol] != '\r')
            ++eol;
        QByteArray text = content.mid(pos, eol - pos);
        pos = eol + 1;
        if (eol + 1 < content.size() && content[eol] == '\r' && content[eol + 1] == '\n')
            ++pos;
        const QByteArray t = trimmed(text);
        if (t.startsWith('[')) {
            const qsizetype close = t.indexOf(']');
            Section section;
            section.name = trimmed(t.mid(1, close < 0 ? -1 : close - 1));
            section.header = text;
            sections_.push_back(std::move(section));
            continue;
        }
        Line line;
        line.text = text;
        const qsizetype eq = text.indexOf('=');
        if (eq > 0 && !t.startsWith(';')) {
            line.key = trimmed(text.left(eq));
            line.value = text.mid(eq + 1);
        }
        sections_.back().lines.push_back(std::move(line));
    }
}

const TIniFile::Section* TIniFile::findSection(const QByteArray& name) const
{
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        if (sameName(sections_[i].name, name))
            return &sections_[i];
    }
    return nullptr;
}

TIniFile::Section* TIniFile::findSection(const QByteArray& name)
{
    return const_cast<Section*>(std::as_const(*this).findSection(name));
}

const TIniFile::Line* TIniFile::findKey(const QByteArray& section, const QByteArray& key) const
{
    const Section* s = findSection(section);
    if (!s)
        return nullptr;
    for (const Line& line : s->lines) {
        if (!line.key.isEmpty() && sameName(line.key, key))
            return &line;
    }
    return nullptr;
}

bool TIniFile::sectionExists(const QByteArray& section) const
{
    return findSection(section) != nullptr;
}

QByteArray TIniFile::readString(const QByteArray& section, const QByteArray& key, const QByteArray& def) const
{
    const Line* line = findKey(section, key);
    const QByteArray& value = line ? line->value : def;
    return value.left(kValueBuffer - 1);
}

std::int32_t TIniFile::readInteger(const QByteArray& section, const QByteArray& key, std::int32_t def) const
{
    QByteArray text = trimmed(readString(section, key, {}));
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = '$' + text.mid(2);
    // The "0x" form is taken only at the start; parseWholeNumber would also take it after a sign.
    if (text.startsWith("-0x") || text.startsWith("-0X") || text.startsWith("+0x") || text.startsWith("+0X"))
        return def;
    const auto value = parseWholeNumber({text.constData(), std::size_t(text.size())});
    return value ? *value : def;
}

bool TIniFile::readBool(const QByteArray& section, const QByteArray& key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

QString TIniFile::readText(const QByteArray& section, const QByteArray& key, const QString& def) const
{
    if (!findKey(section, key))
        return def;
    const QByteArray value = readString(section, key, {});
    if (value.startsWith(kUtf8Mark)) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8(value.mid(kUtf8Mark.size()));
        if (!utf8.hasError())
            return text;
    }
    return cp1251::decode(value);
}

void TIniFile::writeText(const QByteArray& section, const QByteArray& key, const QString& value)
{
    const QByteArray bytes = cp1251::encode(value);
    const bool held = cp1251::decode(bytes) == value && !bytes.startsWith(kUtf8Mark);
    writeString(section, key, held ? bytes : kUtf8Mark + value.toUtf8());
}

void TIniFile::writeString(const QByteArray& section, const QByteArray& key, const QByteArray& value)
{
    const auto before = sections_;
    const QByteArray v = singleLine(value);
    Section* s = findSection(section);
    if (!s) {
        Section fresh;
        fresh.name = section;
        fresh.header = '[' + section + ']';
        sections_.push_back(std::move(fresh));
        s = &sections_.back();
    }
    Line* found = nullptr;
    std::size_t insertAt = s->lines.size();
    for (std::size_t i = 0; i < s->lines.size(); ++i) {
        Line& line = s->lines[i];
        if (line.key.isEmpty())
            continue;
        insertAt = i + 1;
        if (sameName(line.key, key)) {
            found = &line;
            break;
        }
    }
    if (found) {
        found->value = v;
        found->text = found->key + '=' + v;
    } else {
        // After the section's last key, so blank lines and comments that close it stay last.
        s->lines.insert(s->lines.begin() + std::ptrdiff_t(insertAt), Line{key + '=' + v, key, v});
    }
    try {
        save();
    } catch (...) {
        sections_ = before;
        throw;
    }
}

void TIniFile::writeInteger(const QByteArray& section, const QByteArray& key, std::int32_t value)
{
    writeString(section, key, QByteArray::number(value));
}

void TIniFile::writeBool(const QByteArray& section, const QByteArray& key, bool value)
{
    writeString(section, key, value ? "1" : "0");
}

void TIniFile::save() const
{
    QByteArray out;
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        const Section& s = sections_[i];
        if (i > 0)
            out += s.header + '\n';
        for (const Line& line : s.lines)
            out += line.text + '\n';
    }
    QSaveFile file(fileName_);
    if (file.open(QIODevice::WriteOnly)) {
        if (file.write(out) != out.size() || !file.commit())
            throw EIniFileException(fileName_);
        return;
    }
    // A folder that refuses the temporary file (a shared bench computer) may still hold a
    // writable file: it is then rewritten in place, without the protection of the rename.
    QFile inPlace(fileName_);
    if (!inPlace.open(QIODevice::WriteOnly | QIODevice::Truncate) || inPlace.write(out) != out.size()
        || !inPlace.flush())
        throw EIniFileException(fileName_);
}
