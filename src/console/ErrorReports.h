#pragma once
// TErrorReports: how a failure reaches the operator from the window. It is journalled at once
// and shown by the application's error report once the current handler has returned (a modal
// box inside a port delivery would run the event loop there); the same report is not shown
// again while it is still on screen. Handlers wired to controls run through Run, the one place
// where an exception leaving a handler becomes such a report: unwinding on into the event loop
// would end the program.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>

class TJournalRecorder;

class TErrorReports : public QObject {
public:
    using TShow = std::function<void(const QString& message)>;

    // show is the window's error report, which tests replace; empty shows nothing.
    TErrorReports(TJournalRecorder& journal, const TShow& show, QObject* parent = nullptr);

    void Report(const QString& message, const QString& subject = QStringLiteral("console"));
    // Reports a failure's text; empty means there was none.
    void ReportFailure(const QString& failure);
    // A function reporting under subject, for the parts that report on their own.
    TShow Reporter(const QString& subject = QStringLiteral("console"));

    void Run(const std::function<void()>& handler);
    // A handler as controls and components are wired to it; the event's arguments are not
    // needed.
    auto Guarded(std::function<void()> handler)
    {
        return [this, handler = std::move(handler)](auto&&...) { Run(handler); };
    }

private:
    TJournalRecorder& journal_;
    const TShow& show_;
    QStringList onScreen_; // reports being shown right now
};
