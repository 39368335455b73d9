#include "console/CsvExport.h"

#include <QPointer>

namespace {
namespace text {
const QString button = QStringLiteral("Експорт CSV");
const QString filter = QStringLiteral("CSV (*.csv)");
const QString failed = QStringLiteral("Грешка при запис на %1: %2");
} // namespace text
} // namespace

QString csv_export::buttonCaption()
{
    return text::button;
}

void csv_export::run(
    QObject* page, const AskFile& ask, const Report& report, const QString& caption, const Write& write)
{
    const QString path = ask ? ask(caption, text::filter) : QString();
    if (path.isEmpty())
        return;
    QPointer<QObject> alive(page);
    write(path, [alive, report, path](const QString& error) {
        if (alive && !error.isEmpty() && report)
            report(text::failed.arg(path, error));
    });
}
