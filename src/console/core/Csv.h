#pragma once
// CSV rows as the exports write them: UTF-8, comma-separated, a field quoted when it holds a
// comma, a quote or a line break (quotes doubled), rows ended by LF.

#include <QByteArray>
#include <QString>
#include <initializer_list>

inline void appendCsvRow(QByteArray& out, std::initializer_list<QString> fields)
{
    bool first = true;
    for (const QString& field : fields) {
        if (!first)
            out += ',';
        first = false;
        QByteArray f = field.toUtf8();
        if (f.contains(',') || f.contains('"') || f.contains('\n') || f.contains('\r')) {
            f.replace("\"", "\"\"");
            out += '"' + f + '"';
        } else {
            out += f;
        }
    }
    out += '\n';
}
