#pragma once
// The settings file: an INI profile of sections and "key=value" lines in the 8-bit code
// page. Sections and keys are found without regard to case; values are texts kept as they
// are. Every write goes to disk at once, through a temporary file renamed over the old one,
// so the file is whole at every moment even if the program dies mid-save; only where the
// folder refuses the temporary file is the file rewritten in place.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// A settings file that cannot be written. The message is "Unable to write to <path>".
class EIniFileException : public std::runtime_error {
public:
    explicit EIniFileException(const QString& path);
    const QString& path() const { return path_; }

private:
    QString path_;
};

class TIniFile {
public:
    // Values are read through a buffer of this many characters, terminator included.
    static constexpr qsizetype kValueBuffer = 2048;

    // Reads the file if it exists; a missing or unreadable file is an empty profile.
    explicit TIniFile(const QString& fileName);

    const QString& fileName() const { return fileName_; }

    QByteArray readString(const QByteArray& section, const QByteArray& key, const QByteArray& def) const;
    // "0x"/"0X" followed by digits (more than two characters in all) is hexadecimal; anything
    // else is a whole number in decimal or after "$" in hexadecimal; otherwise def.
    std::int32_t readInteger(const QByteArray& section, const QByteArray& key, std::int32_t def) const;
    bool readBool(const QByteArray& section, const QByteArray& key, bool def) const;
    // A text such as a path: code-page bytes as they are, or, for a text the code page
    // cannot hold, UTF-8 behind the byte-order mark EF BB BF (see writeText).
    QString readText(const QByteArray& section, const QByteArray& key, const QString& def) const;

    // Each write stores the key and rewrites the file; failure throws EIniFileException.
    void writeString(const QByteArray& section, const QByteArray& key, const QByteArray& value);
    void writeInteger(const QByteArray& section, const QByteArray& key, std::int32_t value);
    void writeBool(const QByteArray& section, const QByteArray& key, bool value);
    // Code-page bytes when the code page holds every character, so other readers of the
    // file see the text they always did; otherwise the marked UTF-8, which they read as
    // a few odd letters rather than a silently different text.
    void writeText(const QByteArray& section, const QByteArray& key, const QString& value);

    bool sectionExists(const QByteArray& section) const;

private:
    struct Line {
        QByteArray text; // the line as read, for lines that are neither section nor key
        QByteArray key; // empty for other lines
        QByteArray value;
    };
    struct Section {
        QByteArray name; // empty name: lines before the first section
        QByteArray header;
        std::vector<Line> lines;
    };

    const Section* findSection(const QByteArray& name) const;
    Section* findSection(const QByteArray& name);
    const Line* findKey(const QByteArray& section, const QByteArray& key) const;
    void save() const;

    QString fileName_;
    std::vector<Section> sections_;
};
