#include "console/ErrorReports.h"

#include "console/WindowTexts.h"
#include "session/JournalRecorder.h"

#include <exception>

TErrorReports::TErrorReports(TJournalRecorder& journal, const TShow& show, QObject* parent)
    : QObject(parent)
    , journal_(journal)
    , show_(show)
{
}

void TErrorReports::Report(const QString& message, const QString& subject)
{
    journal_.error(subject, message);
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            // A report box runs the event loop; the same failure coming again meanwhile
            // (every answer to a device that stopped reading) is not stacked on top of it.
            if (!show_ || onScreen_.contains(message))
                return;
            onScreen_.append(message);
            show_(message);
            onScreen_.removeOne(message);
        },
        Qt::QueuedConnection);
}

void TErrorReports::ReportFailure(const QString& failure)
{
    if (!failure.isEmpty())
        Report(failure);
}

TErrorReports::TShow TErrorReports::Reporter(const QString& subject)
{
    return [this, subject](const QString& message) { Report(message, subject); };
}

void TErrorReports::Run(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        Report(QString::fromUtf8(e.what()));
    } catch (...) {
        Report(text::unknownError);
    }
}
