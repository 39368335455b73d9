#pragma once
// What the end-to-end tests share: the simulator as a child process, resident memory, and
// whether a sanitizer changes what memory figures mean.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <functional>
#include <unistd.h>

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
        process_.start(QStringLiteral(ORVIK_DEVSIM), args);
        if (!process_.waitForStarted(10000))
            return;
        if (!QTest::qWaitFor([&] { return process_.canReadLine(); }, 10000))
            return;
        const QString first = QString::fromLocal8Bit(process_.readLine()).trimmed();
        if (first.startsWith(QStringLiteral("PORT ")))
            port_ = first.mid(5);
    }
    ~Simulator()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            process_.waitForFinished(5000);
        }
    }
    const QString& port() const { return port_; }
    bool finished(int ms = 60000)
    {
        return QTest::qWaitFor([&] { return process_.state() == QProcess::NotRunning; }, ms);
    }
    // Ends the run (a signal) and returns its figures.
    QJsonObject stop()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            finished(10000);
        }
        return figures();
    }
    QJsonObject figures()
    {
        output_ += process_.readAllStandardOutput();
        const qsizetype brace = output_.indexOf('{');
        return brace < 0 ? QJsonObject() : QJsonDocument::fromJson(output_.mid(brace)).object();
    }
    int exitCode() const { return process_.exitCode(); }

private:
    QProcess process_;
    QString port_;
    QByteArray output_;
};
#endif
