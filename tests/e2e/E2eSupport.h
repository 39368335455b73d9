#pragma once
// What the end-to-end tests share: the simulator as a child process, resident memory, and
// whether a sanitizer changes what memory figures mean.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <unistd.h>

#include "ChildProcess.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

inline long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

inline bool waitFor(const std::function<bool()>& done, int ms = 30000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

#ifdef ORVIK_DEVSIM
// One run of orvik-devsim; its port is the first line it prints.
class Simulator {
public:
    explicit Simulator(QStringList args)
    {
        args << QStringLiteral("--json") << QStringLiteral("--quiet");
        // The tests count answers; timing is the benchmarks' business. Without a timeout a
        // late answer (a loaded or sanitized build) is still counted once, and one that never
        // comes still shows as received below expected.
        if (!args.contains(QStringLiteral("--answer-timeout")))
            args << QStringLiteral("--answer-timeout") << QStringLiteral("0");
        if (!process_.start(QStringLiteral(ORVIK_DEVSIM), args))
            return;
        QByteArray first;
        if (process_.readLine(first) && first.startsWith("PORT "))
            port_ = QString::fromLocal8Bit(first.mid(5).trimmed());
    }
    const QString& port() const { return port_; }
    bool finished(int ms = 60000) { return process_.finished(ms); }
    // Ends the run (a signal) and returns its figures.
    QJsonObject stop()
    {
        process_.terminate();
        finished(10000);
        return figures();
    }
    QJsonObject figures()
    {
        output_ += process_.readAll();
        const qsizetype brace = output_.indexOf('{');
        return brace < 0 ? QJsonObject() : QJsonDocument::fromJson(output_.mid(brace)).object();
    }
    int exitCode() const { return process_.exitCode(); }

private:
    ChildProcess process_;
    QString port_;
    QByteArray output_;
};
#endif
