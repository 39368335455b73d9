#include "CliScript.h"

#include <QStringList>
#include <cmath>

namespace {

const QStringList kOps{QStringLiteral("<"), QStringLiteral("<="), QStringLiteral(">"), QStringLiteral(">="),
    QStringLiteral("="), QStringLiteral("!=")};
const QStringList kFields{QStringLiteral("voltage"), QStringLiteral("current"), QStringLiteral("temperature"),
    QStringLiteral("event")};

// The rest of the line after its first word, as written.
QString rest(const QString& line, const QString& word)
{
    return line.mid(line.indexOf(word) + word.size()).trimmed();
}

} // namespace

std::optional<int> parseDuration(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d+(?:\\.\\d+)?)(ms|s|min)?$"));
    const auto m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const double number = m.captured(1).toDouble();
    const QString unit = m.captured(2);
    const double ms = unit == QLatin1String("ms") ? number
        : unit == QLatin1String("min")            ? number * 60000
                                                  : number * 1000;
    if (ms > 24.0 * 3600 * 1000)
        return std::nullopt;
    return int(std::lround(ms));
}

std::optional<std::vector<TScriptStep>> parseScript(const QString& script, QString& error)
{
    std::vector<TScriptStep> steps;
    const QStringList lines = script.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString& word = words[0];
        TScriptStep step;
        step.line = i + 1;
        step.source = line;
        const auto fail = [&](const QString& why) {
            error = QStringLiteral("ред %1: %2: %3").arg(step.line).arg(why, line);
            return std::nullopt;
        };
        // An optional timeout as the last word of an expectation.
        auto timeout = [&](QStringList args) -> std::optional<QStringList> {
            step.ms = kDefaultTimeoutMs;
            if (args.size() > 1 || (!args.isEmpty() && step.kind == TScriptStep::Kind::ExpectRecord)) {
                if (const auto ms = parseDuration(args.last())) {
                    step.ms = *ms;
                    args.removeLast();
                }
            }
            return args;
        };
        if (word == QLatin1String("send")) {
            step.kind = TScriptStep::Kind::Send;
            step.text = rest(line, word);
        } else if (word == QLatin1String("log")) {
            step.kind = TScriptStep::Kind::Log;
            step.text = rest(line, word);
        } else if (word == QLatin1String("wait")) {
            step.kind = TScriptStep::Kind::Wait;
            const auto ms = words.size() == 2 ? parseDuration(words[1]) : std::nullopt;
            if (!ms)
                return fail(QStringLiteral("очаква се продължителност"));
            step.ms = *ms;
        } else if (word == QLatin1String("expect")) {
            step.kind = TScriptStep::Kind::Expect;
            const QStringList args = *timeout(words.mid(1));
            if (args.isEmpty())
                return fail(QStringLiteral("липсва регулярен израз"));
            // The pattern may hold spaces: everything up to the timeout.
            QString pattern = rest(line, word);
            if (args.size() < words.size() - 1)
                pattern = pattern.left(pattern.lastIndexOf(QLatin1Char(' '))).trimmed();
            step.pattern = QRegularExpression(pattern);
            if (!step.pattern.isValid())
                return fail(QStringLiteral("неверен регулярен израз"));
        } else if (word == QLatin1String("expect-record")) {
            step.kind = TScriptStep::Kind::ExpectRecord;
            const QStringList args = *timeout(words.mid(1));
            if (args.size() != 1 && args.size() != 4)
                return fail(QStringLiteral("очаква се ТИП [ПОЛЕ ОП СТОЙНОСТ] [ВРЕМЕ]"));
            step.recordType = args[0].toUpper();
            if (args.size() == 4) {
                step.field = args[1].toLower();
                step.op = args[2] == QLatin1String("==") ? QStringLiteral("=") : args[2];
                step.value = args[3];
                if (!kFields.contains(step.field))
                    return fail(QStringLiteral("непознато поле"));
                if (!kOps.contains(step.op))
                    return fail(QStringLiteral("непознато сравнение"));
            }
        } else if (word == QLatin1String("export-capture")) {
            step.kind = TScriptStep::Kind::ExportCapture;
            if (words.size() != 3 || words[1] != QLatin1String("last"))
                return fail(QStringLiteral("очаква се export-capture last ФАЙЛ.cfg|ФАЙЛ.csv"));
            step.text = words[2];
            if (!step.text.endsWith(QLatin1String(".cfg")) && !step.text.endsWith(QLatin1String(".csv")))
                return fail(QStringLiteral("файлът трябва да е .cfg или .csv"));
        } else {
            return fail(QStringLiteral("непозната стъпка"));
        }
        steps.push_back(step);
    }
    return steps;
}

bool recordMatches(const TScriptStep& step, const TSeenRecord& record)
{
    if (record.type != step.recordType)
        return false;
    if (step.field.isEmpty())
        return true;
    for (const auto& [name, text] : record.fields) {
        if (name != step.field)
            continue;
        bool isNumber = false, wantNumber = false;
        const double have = text.toDouble(&isNumber);
        const double want = step.value.toDouble(&wantNumber);
        // Numbers compare as numbers, anything else (an event's name) as text.
        const int order = isNumber && wantNumber ? (have < want ? -1
                                  : have > want                 ? 1
                                                                : 0)
                                                 : QString::compare(text, step.value, Qt::CaseInsensitive);
        if (step.op == QLatin1String("<"))
            return order < 0;
        if (step.op == QLatin1String("<="))
            return order <= 0;
        if (step.op == QLatin1String(">"))
            return order > 0;
        if (step.op == QLatin1String(">="))
            return order >= 0;
        if (step.op == QLatin1String("="))
            return order == 0;
        return order != 0;
    }
    return false;
}
