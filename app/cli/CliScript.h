#pragma once
// The small language of `orvik-cli run`, a step a line:
//
//   send TEXT                                  the text with the settings' line ends
//   expect REGEX [TIMEOUT]                     a received line matching REGEX
//   expect-record TYPE [FIELD OP VALUE] [TIMEOUT]
//                                              a parsed record of TYPE (VA, TR, SC, ST, RS);
//                                              FIELD voltage, current, temperature or event,
//                                              OP < <= > >= = !=
//   wait DURATION
//   export-capture last FILE.cfg|FILE.csv      the last capture stored, as COMTRADE or CSV
//   log TEXT                                   TEXT on standard output
//   # a comment (also an empty line)
//
// TIMEOUT and DURATION are a number with ms, s or min (a bare number is seconds); an
// expectation without one waits kDefaultTimeoutMs. An expectation looks at what arrived
// since the previous expectation was met, so an answer that came during a send is not lost.

#include <QRegularExpression>
#include <QString>
#include <optional>
#include <vector>

struct TScriptStep {
    enum class Kind { Send, Expect, ExpectRecord, Wait, ExportCapture, Log };
    int line = 0; // in the script, from 1
    QString source; // the line as written
    Kind kind = Kind::Log;
    QString text; // send, log; the path of export-capture
    QRegularExpression pattern; // expect
    QString recordType; // expect-record
    QString field; // expect-record; empty: any record of the type
    QString op;
    QString value;
    int ms = 0; // the timeout of an expectation, the duration of wait
};

// A record as an expectation sees it: its type and its fields' texts.
struct TSeenRecord {
    QString type;
    std::vector<std::pair<QString, QString>> fields;
};

constexpr int kDefaultTimeoutMs = 5000;

// The steps of a script; on a mistake, nothing and `error` naming the line.
std::optional<std::vector<TScriptStep>> parseScript(const QString& script, QString& error);
// "2s", "500ms", "1.5", "1min" in milliseconds; nothing when it is none of these.
std::optional<int> parseDuration(const QString& text);
bool recordMatches(const TScriptStep& step, const TSeenRecord& record);
