#pragma once
// CSV rows as every export writes them: UTF-8, comma-separated, rows ended by CR LF. A field
// is quoted when it holds a comma, a quote or a line break (quotes doubled). A text that a
// spreadsheet would run as a formula (=, +, -, @, tab or CR first, and not a number) gets a
// leading apostrophe, which spreadsheets show as text; numbers are written as they are.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <initializer_list>

inline constexpr char kCsvLineEnd[] = "\r\n";

// A decimal number as a spreadsheet reads one: sign, digits, point, exponent ("-15", "+2.5",
// "-1e-3").
inline bool isCsvNumber(const QByteArray& f)
{
    qsizetype i = 0;
    const auto digits = [&] {
        const qsizetype from = i;
        while (i < f.size() && f[i] >= '0' && f[i] <= '9')
            ++i;
        return i - from;
    };
    if (i < f.size() && (f[i] == '+' || f[i] == '-'))
        ++i;
    qsizetype mantissa = digits();
    if (i < f.size() && f[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < f.size() && (f[i] == 'e' || f[i] == 'E')) {
        ++i;
        if (i < f.size() && (f[i] == '+' || f[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == f.size();
}

inline void appendCsvField(QByteArray& out, const QString& field)
{
    QByteArray f = field.toUtf8();
    if (!f.isEmpty() && QByteArray("=+-@\t\r").contains(f.front()) && !isCsvNumber(f))
        f.prepend('\'');
    if (f.contains(',') || f.contains('"') || f.contains('\n') || f.contains('\r')) {
        f.replace("\"", "\"\"");
        out += '"' + f + '"';
    } else {
        out += f;
    }
}

inline void appendCsvRow(QByteArray& out, std::initializer_list<QString> fields)
{
    bool first = true;
    for (const QString& field : fields) {
        if (!first)
            out += ',';
        first = false;
        appendCsvField(out, field);
    }
    out += kCsvLineEnd;
}

// A row of whole numbers, which never need quoting or neutralising.
inline void appendCsvNumbers(QByteArray& out, std::initializer_list<std::int64_t> numbers)
{
    bool first = true;
    for (const std::int64_t n : numbers) {
        if (!first)
            out += ',';
        first = false;
        out += QByteArray::number(qlonglong(n));
    }
    out += kCsvLineEnd;
}
