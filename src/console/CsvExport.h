#pragma once
// A page's "Експорт CSV": the operator chooses the file, the page's rows are written away from
// the window's thread, and a failure is reported with the file's name and the reason.

#include <QObject>
#include <QString>
#include <functional>

namespace csv_export {

// The caption of every page's export button.
QString buttonCaption();

using AskFile = std::function<QString(const QString& caption, const QString& filter)>;
using Report = std::function<void(const QString& message)>;
using Done = std::function<void(const QString& error)>;
// Writes the rows to `path` and calls `done` later with an empty text or the error.
using Write = std::function<void(const QString& path, Done done)>;

// Nothing happens when the operator cancels; the report is dropped when the page is gone.
void run(QObject* page, const AskFile& ask, const Report& report, const QString& caption, const Write& write);

} // namespace csv_export
